#include "RelaisAmont.h"

#include "ServeurCanaux.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTcpSocket>

#include <QList>

#include <algorithm>

RelaisAmont::RelaisAmont(QString hote_, quint16 port_, ServeurCanaux& serveur_,
                         SortieMessages& journal_, const Horloge& horlogeMur_, QObject* parent)
    : QObject(parent), hote(std::move(hote_)), port(port_), serveur(serveur_), journal(journal_),
      horlogeMur(horlogeMur_)
{
    horloge.start();
    surveillance.setInterval(250);
    connect(&surveillance, &QTimer::timeout, this, &RelaisAmont::surveilleBlocages);
}

RelaisAmont::~RelaisAmont()
{
    for (auto& [canal, liaison] : liaisons) {
        liaison.socket->disconnect(this);
        liaison.socket->abort();
        delete liaison.socket;
    }
}

QString RelaisAmont::cible() const
{
    return (hote.contains(QLatin1Char(':')) ? QLatin1Char('[') + hote + QLatin1Char(']') : hote)
           + QLatin1Char(':') + QString::number(port);
}

void RelaisAmont::ouvre(int canal)
{
    ferme(canal);
    auto* socket = new QTcpSocket(this);
    liaisons[canal].socket = socket;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Unbounded, Qt would take whatever the device sends, however far behind the client is.
    socket->setReadBufferSize(LectureMax);
    // Bound first, so that its port is known before the connection is made: should the
    // device be Velorin itself, it is told by that port (estAmont).
    socket->bind(QHostAddress(hote).protocol() == QAbstractSocket::IPv6Protocol
                     ? QHostAddress::AnyIPv6
                     : QHostAddress::Any);
    connect(socket, &QTcpSocket::readyRead, this, [this, canal] { depuisAppareil(canal); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, canal] { appareilAvance(canal); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, canal, socket] { perdu(canal, socket); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, canal, socket] { perdu(canal, socket); });
    // What the client sends before the connection is made waits here until it is.
    connect(socket, &QTcpSocket::connected, this, [this, canal, socket] {
        const auto it = liaisons.find(canal);
        if (it == liaisons.end() || it->second.socket != socket)
            return;
        if (!it->second.avantConnexion.isEmpty())
            socket->write(std::exchange(it->second.avantConnexion, QByteArray()));
        appareilAvance(canal);
    });
    socket->connectToHost(hote, port);
    if (!surveillance.isActive())
        surveillance.start();
}

qint64 RelaisAmont::versAppareil(const Liaison& liaison)
{
    return liaison.avantConnexion.size()
           + (liaison.socket->state() == QAbstractSocket::ConnectedState
                  ? liaison.socket->bytesToWrite()
                  : 0);
}

qint64 RelaisAmont::enAttenteVersAppareil(int canal) const
{
    const auto it = liaisons.find(canal);
    return it == liaisons.end() ? 0 : versAppareil(it->second);
}

void RelaisAmont::transmet(int canal, const QString& octets)
{
    const auto it = liaisons.find(canal);
    if (it == liaisons.end())
        return;
    Liaison& liaison = it->second;
    if (liaison.socket->state() == QAbstractSocket::ConnectedState)
        liaison.socket->write(octets.toLatin1());
    else
        liaison.avantConnexion += octets.toLatin1();
    if (!liaison.clientRetenu && versAppareil(liaison) > Borne) {
        liaison.clientRetenu = true;
        serveur.retientClient(canal, true);
    }
}

// The device took some of what waits for it: the client is read again once little is left.
void RelaisAmont::appareilAvance(int canal)
{
    const auto it = liaisons.find(canal);
    if (it == liaisons.end())
        return;
    Liaison& liaison = it->second;
    if (liaison.clientRetenu && versAppareil(liaison) < Reprise) {
        liaison.clientRetenu = false;
        serveur.retientClient(canal, false);
    } else if (!liaison.clientRetenu && versAppareil(liaison) > Borne) {
        liaison.clientRetenu = true;
        serveur.retientClient(canal, true);
    }
}

// What the device sent goes to the client, unless the client is too far behind: it then
// waits in the socket (LectureMax at most, the rest in the system) until the client reads.
void RelaisAmont::depuisAppareil(int canal)
{
    const auto it = liaisons.find(canal);
    if (it == liaisons.end())
        return;
    Liaison& liaison = it->second;
    if (serveur.enAttenteVersClient(canal) > Borne) {
        liaison.appareilRetenu = true;
        return;
    }
    liaison.appareilRetenu = false;
    if (liaison.socket->bytesAvailable() > 0)
        serveur.envoieAuClient(canal, QString::fromLatin1(liaison.socket->readAll()));
}

void RelaisAmont::sortieClient(int canal, qint64 enAttente)
{
    const auto it = liaisons.find(canal);
    if (it != liaisons.end() && it->second.appareilRetenu && enAttente < Reprise)
        depuisAppareil(canal);
}

// Since when each side has been held back; past the stall delay the client is closed, with the
// side that fell behind named.
void RelaisAmont::surveilleBlocages()
{
    if (liaisons.empty()) {
        surveillance.stop();
        return;
    }
    const qint64 maintenant = horloge.elapsed();
    const QString duree = QString::number(double(delaiBlocageMs) / 1000.0);
    QList<std::pair<int, QString>> bloques;
    for (auto& [canal, liaison] : liaisons) {
        const auto tenu = [&](bool retenu, qint64& depuisMs) {
            if (!retenu) {
                depuisMs = -1;
                return false;
            }
            if (depuisMs < 0)
                depuisMs = maintenant;
            return maintenant - depuisMs >= delaiBlocageMs;
        };
        if (tenu(liaison.clientRetenu, liaison.clientRetenuDepuisMs)) {
            const QString quoi =
                liaison.socket->state() == QAbstractSocket::ConnectedState
                    ? QStringLiteral("l'appareil ne lit plus ce que le client envoie")
                    : QStringLiteral("l'appareil n'accepte pas la connexion");
            bloques.append({canal, QStringLiteral("appareil relayé %1 : %2 (%3 octets en attente "
                                                  "depuis %4 s)")
                                       .arg(cible(), quoi)
                                       .arg(versAppareil(liaison))
                                       .arg(duree)});
        } else if (tenu(liaison.appareilRetenu, liaison.appareilRetenuDepuisMs)) {
            bloques.append({canal, QStringLiteral("appareil relayé %1 : le client ne lit plus "
                                                  "ses réponses (%2 octets en attente depuis %3 s)")
                                       .arg(cible())
                                       .arg(serveur.enAttenteVersClient(canal))
                                       .arg(duree)});
        }
    }
    for (const auto& [canal, raison] : bloques)
        coupe(canal, raison);
}

void RelaisAmont::ferme(int canal)
{
    const auto it = liaisons.find(canal);
    if (it == liaisons.end())
        return;
    QTcpSocket* socket = it->second.socket;
    liaisons.erase(it);
    socket->disconnect(this);
    socket->disconnectFromHost();
    socket->deleteLater();
}

bool RelaisAmont::estAmont(const QString& adresse, quint16 portClient) const
{
    if (std::none_of(liaisons.begin(), liaisons.end(), [portClient](const auto& paire) {
            return paire.second.socket->localPort() == portClient;
        }))
        return false;
    const QHostAddress client(adresse);
    return client.isLoopback() || QNetworkInterface::allAddresses().contains(client);
}

// The connection to the device ends, and the client's with it, for the reason given.
void RelaisAmont::coupe(int canal, const QString& raison)
{
    journal.AfficheMessage(Horodatage(false, horlogeMur) + QLatin1Char(' ') + raison
                           + QStringLiteral(", canal ") + QString::number(canal)
                           + QStringLiteral(" fermé"));
    ferme(canal);
    serveur.coupeClient(canal, raison);
}

// The device refused or dropped the connection: the client's goes too, after what the device
// had still sent.
void RelaisAmont::perdu(int canal, QTcpSocket* socket)
{
    const auto it = liaisons.find(canal);
    if (it == liaisons.end() || it->second.socket != socket)
        return;
    if (socket->bytesAvailable() > 0)
        serveur.envoieAuClient(canal, QString::fromLatin1(socket->readAll()));
    coupe(canal, QStringLiteral("appareil relayé ") + cible() + QStringLiteral(" : ")
                     + socket->errorString());
}
