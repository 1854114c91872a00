#include "Rejoueur.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

struct Etape
{
    qsizetype conversation;
    qsizetype echange;
    qint64 ligne;
};

// Exchanges of every conversation in the journal's order, so that channels interleave as they
// did.
QList<Etape> etapes(const QList<Conversation>& liste)
{
    QList<Etape> resultat;
    for (qsizetype c = 0; c < liste.size(); ++c) {
        for (qsizetype e = 0; e < liste[c].echanges.size(); ++e)
            resultat.append(Etape{c, e, liste[c].echanges[e].ligne});
    }
    std::stable_sort(resultat.begin(), resultat.end(),
                     [](const Etape& a, const Etape& b) { return a.ligne < b.ligne; });
    return resultat;
}

qint64 reste(const QElapsedTimer& depuis, qint64 delaiMs)
{
    return std::max<qint64>(0, delaiMs - depuis.elapsed());
}

// A connection the device has closed keeps what it had received; it is only no longer waited on.
QString lit(QTcpSocket& socket)
{
    return socket.isReadable() ? QString::fromLatin1(socket.readAll()) : QString();
}

constexpr qint64 EcartMaxUs = 60 * 1000 * 1000;

bool attend(QTcpSocket& socket, qint64 ms)
{
    return socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(int(ms));
}

// What has already arrived, without waiting for more (for delaiMs at most, however much keeps
// coming).
QString dejaArrive(QTcpSocket& socket, int delaiMs)
{
    QElapsedTimer chrono;
    chrono.start();
    QString recu = lit(socket);
    while (chrono.elapsed() < delaiMs && attend(socket, 0))
        recu += lit(socket);
    return recu;
}

// The reply to a request: until it is as long as the recorded one, or delaiMs has gone by;
// where none was recorded, until silenceMs goes by without a byte.
QString reponse(QTcpSocket& socket, const QString& attendue, int delaiMs, int silenceMs)
{
    QElapsedTimer attente;
    attente.start();
    QString recue = lit(socket);
    if (attendue.isEmpty()) {
        while (attente.elapsed() < delaiMs && attend(socket, std::min(silenceMs, delaiMs)))
            recue += lit(socket);
    } else {
        while (recue.size() < attendue.size() && reste(attente, delaiMs) > 0
               && attend(socket, reste(attente, delaiMs)))
            recue += lit(socket);
    }
    return recue + lit(socket);
}

} // namespace

std::variant<QList<ReponseComparee>, QString>
Rejoueur::rejoue(const QList<Conversation>& liste) const
{
    const QList<Etape> ordre = etapes(liste);
    std::vector<std::unique_ptr<QTcpSocket>> sockets(liste.size());
    // Per conversation, its last reply in resultat: what comes after it belongs to it.
    std::vector<qsizetype> derniere(liste.size(), -1);
    QList<ReponseComparee> resultat;
    QElapsedTimer depuisPrecedente;
    qint64 monoPrecedent = 0;

    for (const Etape& etape : ordre) {
        const Conversation& conversation = liste[etape.conversation];
        const Echange& echange = conversation.echanges[etape.echange];
        auto& socket = sockets[etape.conversation];

        if (r.tempsEnregistre && depuisPrecedente.isValid()) {
            // A journal joined from two runs may hold a gap of days: no gap is kept past a
            // minute.
            const qint64 ecartUs = std::min(echange.monoUs - monoPrecedent, EcartMaxUs);
            const qint64 attenteUs = ecartUs - depuisPrecedente.nsecsElapsed() / 1000;
            if (attenteUs > 0)
                QThread::usleep(quint64(attenteUs));
        }
        depuisPrecedente.start();
        monoPrecedent = echange.monoUs;

        if (!socket) {
            socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(r.hote, r.port);
            if (!socket->waitForConnected(r.delaiConnexionMs))
                return QStringLiteral("appareil injoignable à %1:%2 (ligne %3) : %4")
                    .arg(r.hote)
                    .arg(r.port)
                    .arg(echange.ligne)
                    .arg(socket->errorString());
            // Each request goes out at once, in one piece: the device takes one arrival as one
            // request.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        } else if (derniere[etape.conversation] >= 0) {
            resultat[derniere[etape.conversation]].recue += dejaArrive(*socket, r.delaiMs);
        }

        if (!echange.requete.isEmpty() && socket->state() == QAbstractSocket::ConnectedState) {
            socket->write(echange.requete.toLatin1());
            QElapsedTimer envoi;
            envoi.start();
            while (socket->bytesToWrite() > 0 && socket->state() == QAbstractSocket::ConnectedState
                   && socket->waitForBytesWritten(int(reste(envoi, r.delaiMs)))) {
            }
        }
        derniere[etape.conversation] = resultat.size();
        resultat.append(ReponseComparee{echange.ligne, conversation.canal, echange.requete,
                                        echange.reponse,
                                        reponse(*socket, echange.reponse, r.delaiMs, r.silenceMs)});

        if (etape.echange == conversation.echanges.size() - 1) {
            resultat.last().recue += dejaArrive(*socket, r.delaiMs);
            socket->disconnectFromHost();
            socket.reset();
        }
    }
    return resultat;
}
