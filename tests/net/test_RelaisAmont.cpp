#include "net/CoucheSocketFactice.h"
#include "net/CoucheSocketQt.h"
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

namespace {

struct SortieFactice : SortieMessages
{
    QStringList lignes;
    void AfficheMessage(const QString& message) override { lignes << message; }
};

// The channel pool relaying to a device, both on real sockets of this process.
class Relais : public ::testing::Test
{
protected:
    CoucheSocketQt couche;
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
                                               journal);
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

} // namespace
