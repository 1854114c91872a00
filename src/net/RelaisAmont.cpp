#include "RelaisAmont.h"

#include "ServeurCanaux.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTcpSocket>

#include <algorithm>

std::optional<std::pair<QString, quint16>> RelaisAmont::adresseValide(const QString& texte)
{
    const qsizetype deuxPoints = texte.lastIndexOf(QLatin1Char(':'));
    if (deuxPoints <= 0)
        return std::nullopt;
    QString hote = texte.left(deuxPoints);
    if (hote.startsWith(QLatin1Char('[')) && hote.endsWith(QLatin1Char(']')))
        hote = hote.mid(1, hote.size() - 2);
    else if (hote.contains(QLatin1Char(':')))
        return std::nullopt; // a v6 address needs its brackets
    bool ok = false;
    const uint port = texte.mid(deuxPoints + 1).toUInt(&ok);
    if (hote.isEmpty() || !ok || port == 0 || port > 65535)
        return std::nullopt;
    return std::pair{hote, quint16(port)};
}

RelaisAmont::RelaisAmont(QString hote_, quint16 port_, ServeurCanaux& serveur_,
                         SortieMessages& journal_, QObject* parent)
    : QObject(parent), hote(std::move(hote_)), port(port_), serveur(serveur_), journal(journal_)
{
}

RelaisAmont::~RelaisAmont()
{
    for (auto& [canal, socket] : amont) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
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
    amont[canal] = socket;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Bound first, so that its port is known before the connection is made: should the
    // device be Velorin itself, it is told by that port (estAmont).
    socket->bind(QHostAddress(hote).protocol() == QAbstractSocket::IPv6Protocol
                     ? QHostAddress::AnyIPv6
                     : QHostAddress::Any);
    connect(socket, &QTcpSocket::readyRead, this, [this, canal, socket] {
        serveur.envoieAuClient(canal, QString::fromLatin1(socket->readAll()));
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, canal, socket] { perdu(canal, socket); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, canal, socket] { perdu(canal, socket); });
    // What the client sends before the connection is made waits here until it is.
    connect(socket, &QTcpSocket::connected, this, [this, canal, socket] {
        const auto attente = avantConnexion.find(canal);
        if (attente != avantConnexion.end()) {
            socket->write(attente->second);
            avantConnexion.erase(attente);
        }
    });
    socket->connectToHost(hote, port);
}

void RelaisAmont::transmet(int canal, const QString& octets)
{
    const auto it = amont.find(canal);
    if (it == amont.end())
        return;
    if (it->second->state() == QAbstractSocket::ConnectedState)
        it->second->write(octets.toLatin1());
    else
        avantConnexion[canal] += octets.toLatin1();
}

void RelaisAmont::ferme(int canal)
{
    const auto it = amont.find(canal);
    if (it == amont.end())
        return;
    QTcpSocket* socket = it->second;
    amont.erase(it);
    avantConnexion.erase(canal);
    socket->disconnect(this);
    socket->disconnectFromHost();
    socket->deleteLater();
}

bool RelaisAmont::estAmont(const QString& adresse, quint16 portClient) const
{
    if (std::none_of(amont.begin(), amont.end(), [portClient](const auto& paire) {
            return paire.second->localPort() == portClient;
        }))
        return false;
    const QHostAddress client(adresse);
    return client.isLoopback() || QNetworkInterface::allAddresses().contains(client);
}

// The device refused or dropped the connection: the client's goes too, after what the device
// had still sent.
void RelaisAmont::perdu(int canal, QTcpSocket* socket)
{
    const auto it = amont.find(canal);
    if (it == amont.end() || it->second != socket)
        return;
    if (socket->bytesAvailable() > 0)
        serveur.envoieAuClient(canal, QString::fromLatin1(socket->readAll()));
    const QString raison = QStringLiteral("appareil relayé ") + cible() + QStringLiteral(" : ")
                           + socket->errorString();
    journal.AfficheMessage(Horodatage(false, HorlogeSysteme::instance()) + QLatin1Char(' ') + raison
                           + QStringLiteral(", canal ") + QString::number(canal)
                           + QStringLiteral(" fermé"));
    ferme(canal);
    serveur.coupeClient(canal, raison);
}
