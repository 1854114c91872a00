#include "Rejoueur.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <memory>
#include <optional>

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
// No more than place bytes are taken.
QString lit(QTcpSocket& socket, qsizetype place)
{
    return socket.isReadable() && place > 0 ? QString::fromLatin1(socket.read(place)) : QString();
}

// How much of a reply is read at most.
qsizetype limite(const QString& attendue)
{
    return attendue.size() + Rejoueur::MargeReponse;
}

bool attend(QTcpSocket& socket, qint64 ms)
{
    return socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(int(ms));
}

// What has already arrived, without waiting for more (for delaiMs at most, however much keeps
// coming), place bytes at most.
QString dejaArrive(QTcpSocket& socket, int delaiMs, qsizetype place)
{
    QElapsedTimer chrono;
    chrono.start();
    QString recu = lit(socket, place);
    while (recu.size() < place && chrono.elapsed() < delaiMs && attend(socket, 0))
        recu += lit(socket, place - recu.size());
    return recu;
}

// The reply to a request: until it is as long as the recorded one, or delaiMs has gone by;
// where none was recorded, until silenceMs goes by without a byte. Never longer than limite().
QString reponse(QTcpSocket& socket, const QString& attendue, int delaiMs, int silenceMs)
{
    const qsizetype place = limite(attendue);
    QElapsedTimer attente;
    attente.start();
    QString recue = lit(socket, place);
    if (attendue.isEmpty()) {
        while (recue.size() < place && attente.elapsed() < delaiMs
               && attend(socket, std::min(silenceMs, delaiMs)))
            recue += lit(socket, place - recue.size());
    } else {
        while (recue.size() < attendue.size() && reste(attente, delaiMs) > 0
               && attend(socket, reste(attente, delaiMs)))
            recue += lit(socket, place - recue.size());
    }
    return recue + lit(socket, place - recue.size());
}

// What follows a reply on its connection joins it, up to its limit.
void ajoute(ReponseComparee& precedente, QTcpSocket& socket, int delaiMs)
{
    const qsizetype place = limite(precedente.attendue);
    precedente.recue += dejaArrive(socket, delaiMs, place - precedente.recue.size());
    precedente.coupee = precedente.recue.size() >= place;
}

// A recorded time that no gap can be computed from (before the clock's origin) is refused,
// naming its line, before anything is sent.
std::optional<EchecRejeu> tempsAbsurde(const QList<Conversation>& liste)
{
    for (const Conversation& conversation : liste) {
        for (const Echange& echange : conversation.echanges) {
            if (echange.monoUs < 0)
                return EchecRejeu{
                    QStringLiteral("timing"),
                    QStringLiteral("ligne %1 : mono_us négatif (%2), aucun écart ne peut en être "
                                   "tiré pour --timing recorded")
                        .arg(echange.ligne)
                        .arg(echange.monoUs)};
        }
    }
    return std::nullopt;
}

// Out of descriptors, the system says "out of resources": say what ran out.
QString injoignable(const QString& appareil, const HotePort& cible, const QTcpSocket& socket,
                    qint64 ligne, qsizetype ouvertes)
{
    if (socket.error() == QAbstractSocket::SocketResourceError)
        return QStringLiteral("plus de descripteur de fichier libre pour se connecter à %1:%2 "
                              "(ligne %3) : %4 connexions déjà ouvertes, la limite du processus "
                              "est atteinte (ulimit -n)")
            .arg(cible.hote)
            .arg(cible.port)
            .arg(ligne)
            .arg(ouvertes);
    const QString qui = appareil.isEmpty() ? QStringLiteral("appareil")
                                           : QStringLiteral("appareil %1").arg(appareil);
    return QStringLiteral("%1 injoignable à %2:%3 (ligne %4) : %5")
        .arg(qui, cible.hote)
        .arg(cible.port)
        .arg(ligne)
        .arg(socket.errorString());
}

} // namespace

qint64 Rejoueur::ecartUs(qint64 precedentUs, qint64 monoUs)
{
    qint64 ecart = 0;
    if (__builtin_sub_overflow(monoUs, precedentUs, &ecart))
        return monoUs > precedentUs ? EcartMaxUs : 0;
    return std::clamp<qint64>(ecart, 0, EcartMaxUs);
}

std::variant<QList<ReponseComparee>, EchecRejeu>
Rejoueur::rejoue(const QList<Conversation>& liste) const
{
    if (r.tempsEnregistre) {
        if (auto refus = tempsAbsurde(liste))
            return *refus;
    }
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
            const qint64 attenteUs =
                ecartUs(monoPrecedent, echange.monoUs) - depuisPrecedente.nsecsElapsed() / 1000;
            if (attenteUs > 0)
                QThread::usleep(quint64(attenteUs));
        }
        depuisPrecedente.start();
        monoPrecedent = echange.monoUs;

        if (!socket) {
            socket = std::make_unique<QTcpSocket>();
            // What Qt takes from the system is bounded too; the rest waits there.
            socket->setReadBufferSize(MargeReponse);
            const HotePort cible = r.cibles.value(conversation.appareil);
            socket->connectToHost(cible.hote, cible.port);
            if (!socket->waitForConnected(r.delaiConnexionMs)) {
                const qsizetype ouvertes = std::count_if(sockets.begin(), sockets.end(),
                                                         [](const auto& s) { return s != nullptr; })
                                           - 1;
                EchecRejeu echec{
                    socket->error() == QAbstractSocket::SocketResourceError
                        ? QStringLiteral("descriptors")
                        : QStringLiteral("unreachable"),
                    injoignable(conversation.appareil, cible, *socket, echange.ligne, ouvertes)};
                // What comes after (the report, a file to write) must not meet a process with
                // no descriptor left.
                for (const auto& ouverte : sockets) {
                    if (ouverte)
                        ouverte->abort();
                }
                return echec;
            }
            // Each request goes out at once, in one piece: the device takes one arrival as one
            // request.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        } else if (derniere[etape.conversation] >= 0) {
            ajoute(resultat[derniere[etape.conversation]], *socket, r.delaiMs);
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
        QString recue = reponse(*socket, echange.reponse, r.delaiMs, r.silenceMs);
        const bool coupee = recue.size() >= limite(echange.reponse);
        resultat.append(ReponseComparee{echange.ligne, conversation.canal, echange.requete,
                                        echange.reponse, std::move(recue), coupee,
                                        conversation.appareil, etape.conversation});

        if (etape.echange == conversation.echanges.size() - 1) {
            ajoute(resultat.last(), *socket, r.delaiMs);
            socket->disconnectFromHost();
            socket.reset();
        }
    }
    return resultat;
}
