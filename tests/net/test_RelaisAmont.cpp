#include "net/CoucheSocketEpoll.h"
#include "net/CoucheSocketFactice.h"
#include "net/RelaisAmont.h"
#include "net/ServeurCanaux.h"
#include "support/Attente.h"
#include "support/HorlogeFigee.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {

// A socket of the system's own, for what Qt's classes cannot do: listen without ever accepting,
// with a backlog or a receive buffer of one's choosing, or hold a connection without reading.
struct Descripteur
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ~Descripteur() { ::close(fd); }
    Descripteur() = default;
    Descripteur(const Descripteur&) = delete;
    Descripteur& operator=(const Descripteur&) = delete;

    static sockaddr_in boucle(quint16 port)
    {
        sockaddr_in adresse{};
        adresse.sin_family = AF_INET;
        adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        adresse.sin_port = htons(port);
        return adresse;
    }
    void tamponReception(int octets) const
    {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &octets, sizeof octets);
    }
    // Listens on a port the system picks; returns it.
    quint16 ecoute(int fileAttente) const
    {
        sockaddr_in adresse = boucle(0);
        socklen_t taille = sizeof adresse;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&adresse), taille) != 0
            || ::listen(fd, fileAttente) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr*>(&adresse), &taille) != 0)
            return 0;
        return ntohs(adresse.sin_port);
    }
    bool connecte(quint16 port) const
    {
        const sockaddr_in adresse = boucle(port);
        return ::connect(fd, reinterpret_cast<const sockaddr*>(&adresse), sizeof adresse) == 0;
    }
};

struct SortieFactice : SortieMessages
{
    QStringList lignes;
    void AfficheMessage(const QString& message) override { lignes << message; }
};

// The channel pool relaying to a device, both on real sockets of this process.
class Relais : public ::testing::Test
{
protected:
    CoucheSocketEpoll couche;
    PanneauServeurFactice panneau;
    HorlogeFigee horloge;
    SortieFactice journal;
    ServeurCanaux serveur{couche, panneau, horloge, [] { QCoreApplication::processEvents(); }};
    std::unique_ptr<RelaisAmont> relais;
    quint16 port = 0;

    void SetUp() override
    {
        couche.setEvenements(&serveur);
        couche.setLocalPort(0, 0);
        ASSERT_TRUE(couche.Listen(0));
        port = quint16(couche.LocalPort(0));
    }
    void TearDown() override
    {
        serveur.setRelais(nullptr);
        couche.setEvenements(nullptr);
    }
    void relaieVers(quint16 portAppareil)
    {
        relais = std::make_unique<RelaisAmont>(QStringLiteral("127.0.0.1"), portAppareil, serveur,
                                               journal, HorlogeSysteme::instance());
        serveur.setRelais(relais.get());
    }
};

TEST_F(Relais, BytesGoBothWaysAndADeviceThatLeavesClosesItsClient)
{
    QTcpServer appareil;
    ASSERT_TRUE(appareil.listen(QHostAddress::LocalHost, 0));
    relaieVers(appareil.serverPort());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(attendre([&] { return appareil.hasPendingConnections(); }));
    QTcpSocket* cote = appareil.nextPendingConnection();
    client.write("\x1bP1\r");
    QByteArray vers;
    ASSERT_TRUE(attendre([&] { return (vers += cote->readAll()) == "\x1bP1\r"; }));
    cote->write("\x1b\xff\x00ok\r", 6);
    QByteArray retour;
    ASSERT_TRUE(attendre([&] { return (retour += client.readAll()).size() == 6; }));
    EXPECT_EQ(retour, QByteArray("\x1b\xff\x00ok\r", 6));
    cote->close();
    ASSERT_TRUE(attendre([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(journal.lignes.last().endsWith(QStringLiteral(", canal 1 fermé")))
        << journal.lignes.last().toStdString();
}

// A relay to Velorin's own port would open one connection for each it takes.
TEST_F(Relais, ARelayThatLeadsBackToItselfIsCutAtItsFirstTurn)
{
    relaieVers(port);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(attendre([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_LE(serveur.NbCanaux(), 2);
    EXPECT_TRUE(panneau.lignes.contains(
        QStringLiteral("connexion refusée sur canal 2 : le PROXY mène à Velorin lui-même")))
        << panneau.lignes.join(QLatin1Char('\n')).toStdString();
}

// Each of the three ways a side may fall behind the other: Velorin holds no more than the bound
// (and one read) for it, and after the stall delay the client is closed, with the reason.
TEST_F(Relais, ADeviceThatNeverReadsHoldsBackTheClientThenClosesIt)
{
    Descripteur appareil; // its connections are made by the system and never read
    appareil.tamponReception(16 * 1024);
    const quint16 portAppareil = appareil.ecoute(8);
    ASSERT_NE(portAppareil, 0);
    relaieVers(portAppareil);
    relais->setDelaiBlocageMs(500);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(attendre([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write(QByteArray(48 * 1024 * 1024, 'x'));
    qint64 plus = 0;
    ASSERT_TRUE(attendre([&] {
        plus = std::max(plus, relais->enAttenteVersAppareil(1));
        return client.state() == QAbstractSocket::UnconnectedState;
    })) << plus;
    EXPECT_GT(plus, RelaisAmont::Borne);
    EXPECT_LE(plus, RelaisAmont::Borne + RelaisAmont::LectureMax);
    EXPECT_TRUE(journal.lignes.last().contains(
        QStringLiteral(" : l'appareil ne lit plus ce que le client envoie (")))
        << journal.lignes.last().toStdString();
}

TEST_F(Relais, ADeviceThatNeverAcceptsHoldsAtMostTheBoundThenClosesTheClient)
{
    // A backlog of 0 holds one connection: the next ones wait for an accept that never comes.
    Descripteur appareil;
    const quint16 portAppareil = appareil.ecoute(0);
    ASSERT_NE(portAppareil, 0);
    Descripteur premier;
    ASSERT_TRUE(premier.connecte(portAppareil));
    relaieVers(portAppareil);
    relais->setDelaiBlocageMs(500);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(attendre([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write(QByteArray(16 * 1024 * 1024, 'y'));
    qint64 plus = 0;
    ASSERT_TRUE(attendre([&] {
        plus = std::max(plus, relais->enAttenteVersAppareil(1));
        return client.state() == QAbstractSocket::UnconnectedState;
    })) << plus;
    EXPECT_GT(plus, RelaisAmont::Borne);
    EXPECT_LE(plus, RelaisAmont::Borne + RelaisAmont::LectureMax);
    EXPECT_TRUE(journal.lignes.last().contains(
        QStringLiteral(" : l'appareil n'accepte pas la connexion (")))
        << journal.lignes.last().toStdString();
}

TEST_F(Relais, AClientThatNeverReadsHoldsBackTheDeviceThenIsClosed)
{
    QTcpServer appareil;
    ASSERT_TRUE(appareil.listen(QHostAddress::LocalHost, 0));
    relaieVers(appareil.serverPort());
    // The relay's own guard, not the socket layer's: the client's output may stay just under
    // the layer's threshold while the device is held back.
    couche.setDelaiBlocageMs(3600 * 1000);
    relais->setDelaiBlocageMs(500);
    Descripteur client; // connected, never read
    client.tamponReception(16 * 1024);
    ASSERT_TRUE(client.connecte(port));
    ASSERT_TRUE(attendre([&] { return appareil.hasPendingConnections(); }));
    QTcpSocket* cote = appareil.nextPendingConnection();
    cote->write(QByteArray(48 * 1024 * 1024, 'z'));
    qint64 plus = 0;
    ASSERT_TRUE(attendre([&] {
        plus = std::max(plus, couche.octetsEnAttente(1));
        return cote->state() == QAbstractSocket::UnconnectedState;
    })) << plus;
    EXPECT_GT(plus, RelaisAmont::Borne);
    EXPECT_LE(plus, RelaisAmont::Borne + RelaisAmont::LectureMax);
    EXPECT_TRUE(
        journal.lignes.last().contains(QStringLiteral(" : le client ne lit plus ses réponses (")))
        << journal.lignes.last().toStdString();
}

} // namespace
