#include "net/CoucheSocketEpoll.h"
#include "net/CoucheSocketFactice.h"
#include "net/ServeurCanaux.h"
#include "support/Attente.h"
#include "support/HorlogeFigee.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

struct Recepteur : EvenementsSocket
{
    QList<qintptr> demandes;
    QStringList erreurs;
    QList<int> fermetures; // closes reported as the client's own
    std::function<void(qintptr)> surDemande;
    std::function<void(int)> surDonnees;

    void WSserveur_ConnectionRequest(int, qintptr requestID) override
    {
        demandes << requestID;
        if (surDemande)
            surDemande(requestID);
    }
    void WSserveur_DataArrival(int Index, qint64) override
    {
        if (surDonnees)
            surDonnees(Index);
    }
    void WSserveur_Error(int Index, int Number, const QString& Description) override
    {
        erreurs << QStringLiteral("%1 %2 %3").arg(Index).arg(Number).arg(Description);
    }
    void WSserveur_Close(int Index) override { fermetures << Index; }
};

// The array listening on a free port, and one client on the loopback address.
class SocketsEpoll : public ::testing::Test
{
protected:
    Recepteur recepteur;
    CoucheSocketEpoll couche;
    QTcpSocket client;

    void SetUp() override
    {
        couche.setEvenements(&recepteur);
        couche.setLocalPort(0, 0);
        ASSERT_TRUE(couche.Listen(0)) << couche.erreurListen().toStdString();
        ASSERT_EQ(couche.State(0), CoucheSocket::AEcoute);
        client.connectToHost(QHostAddress::LocalHost, quint16(couche.LocalPort(0)));
    }

    void accepterSurCanal1()
    {
        recepteur.surDemande = [this](qintptr id) {
            couche.Load(1);
            couche.Accept(1, id);
        };
        ASSERT_TRUE(attendre([&] {
            return client.state() == QAbstractSocket::ConnectedState
                   && couche.State(1) == CoucheSocket::Connecte;
        }));
    }

    QByteArray recevoir(qsizetype taille)
    {
        QByteArray recu;
        attendre([&] {
            recu += client.readAll();
            return recu.size() >= taille;
        });
        return recu;
    }
};

TEST_F(SocketsEpoll, RequestNobodyAcceptsIsClosed)
{
    EXPECT_TRUE(attendre([&] { return recepteur.demandes.size() == 1; }));
    EXPECT_TRUE(attendre([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(couche.State(1), CoucheSocket::Ferme);
}

} // namespace

struct AccesCoucheSocketEpoll
{
    static void demandeSansInscription(CoucheSocketEpoll& couche, int descripteur)
    {
        couche.inscrit = [](int, std::uint32_t) {
            errno = ENOSPC;
            return false;
        };
        couche.demandeConnexion(descripteur, QStringLiteral("127.0.0.1"), 1);
    }
};

namespace {

// A descriptor the loop cannot watch is closed all the same, and said.
TEST(SocketsEpollInscription, ADescriptorThatCannotBeWatchedIsClosed)
{
    Recepteur recepteur;
    CoucheSocketEpoll couche;
    couche.setEvenements(&recepteur);
    int tube[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, tube), 0);
    recepteur.surDemande = [&](qintptr id) {
        couche.Load(1);
        couche.Accept(1, id);
    };
    AccesCoucheSocketEpoll::demandeSansInscription(couche, tube[0]);
    EXPECT_EQ(recepteur.erreurs.size(), 1);
    EXPECT_EQ(couche.State(1), CoucheSocket::Erreur);
    EXPECT_EQ(::fcntl(tube[0], F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
    ::close(tube[1]);
}

TEST_F(SocketsEpoll, AcceptedClientsBytesArriveAndGoBackUnchanged)
{
    accepterSurCanal1();
    EXPECT_EQ(couche.RemoteHostIP(1), QStringLiteral("127.0.0.1"));
    QByteArray octets;
    for (int i = 0; i < 256; ++i)
        octets += char(i);
    QString recu;
    recepteur.surDonnees = [&](int Index) { recu += couche.GetData(Index); };
    client.write(octets);
    ASSERT_TRUE(attendre([&] { return recu.size() >= 256; }));
    ASSERT_EQ(recu.size(), 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(recu[i].unicode(), i);
    EXPECT_TRUE(couche.GetData(1).isEmpty()) << "taken once";

    couche.SendData(1, recu);
    EXPECT_EQ(recevoir(256), octets);
}

// Whatever piled up in the system while the window thread was busy is taken in bounded
// pieces: one arrival never costs the process megabytes.
TEST_F(SocketsEpoll, ABigSendArrivesInBoundedPiecesInOrder)
{
    accepterSurCanal1();
    QByteArray octets(2 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < octets.size(); ++i)
        octets[i] = char('a' + i % 23);
    QByteArray recu;
    qsizetype plusGrande = 0;
    recepteur.surDonnees = [&](int Index) {
        const QByteArray morceau = couche.GetData(Index).toLatin1();
        plusGrande = std::max(plusGrande, morceau.size());
        recu += morceau;
    };
    client.write(octets);
    client.waitForBytesWritten(2000);
    QTest::qSleep(100);
    ASSERT_TRUE(attendre([&] {
        client.waitForBytesWritten(10);
        return recu.size() >= octets.size();
    }));
    EXPECT_TRUE(recu == octets);
    EXPECT_LE(plusGrande, 64 * 1024);
    EXPECT_GT(plusGrande, 0);
}

class DepartClient : public SocketsEpoll, public ::testing::WithParamInterface<bool>
{
};

TEST_P(DepartClient, ReadsClosingWithoutAnErrorUntilClosed)
{
    accepterSurCanal1();
    if (GetParam()) {
        const linger sansDelai{1, 0}; // the close sends a reset
        ::setsockopt(int(client.socketDescriptor()), SOL_SOCKET, SO_LINGER, &sansDelai,
                     sizeof sansDelai);
        client.abort();
    } else {
        client.disconnectFromHost();
    }
    EXPECT_TRUE(attendre([&] { return couche.State(1) == CoucheSocket::FermetureParHomologue; }));
    EXPECT_EQ(recepteur.erreurs, QStringList());
    couche.Close(1);
    EXPECT_EQ(couche.State(1), CoucheSocket::Ferme);
}

INSTANTIATE_TEST_SUITE_P(SocketsEpoll, DepartClient, ::testing::Values(false, true),
                         [](const auto& cas) { return cas.param ? "reset" : "orderlyClose"; });

TEST_F(SocketsEpoll, ReplyToARequestFollowedByAHalfCloseStillArrives)
{
    accepterSurCanal1();
    recepteur.surDonnees = [&](int Index) { couche.SendData(Index, couche.GetData(Index)); };
    client.write("ping");
    ASSERT_TRUE(client.waitForBytesWritten(5000));
    ::shutdown(int(client.socketDescriptor()), SHUT_WR);
    EXPECT_EQ(recevoir(4), QByteArray("ping"));
    EXPECT_TRUE(attendre([&] { return couche.State(1) == CoucheSocket::FermetureParHomologue; }));
}

TEST_F(SocketsEpoll, SendingToAClientThatHasGoneDoesNotBringTheProcessDown)
{
    std::signal(SIGPIPE, SIG_IGN);
    accepterSurCanal1();
    client.abort();
    // Before the departure is noticed: the first send draws a reset, the next ones meet a
    // dead socket.
    for (int k = 0; k < 3; ++k)
        couche.SendData(1, QStringLiteral("ARRET"));
    EXPECT_TRUE(attendre([&] { return couche.State(1) == CoucheSocket::FermetureParHomologue; }));
    couche.SendData(1, QStringLiteral("ARRET"));
    EXPECT_EQ(recepteur.erreurs, QStringList());
}

TEST(LocalIP, DottedIPv4Text)
{
    CoucheSocketEpoll couche;
    const QHostAddress adresse(couche.LocalIP(0));
    EXPECT_EQ(adresse.protocol(), QAbstractSocket::IPv4Protocol) << couche.LocalIP(0).toStdString();
    EXPECT_EQ(adresse.toString(), couche.LocalIP(0));
}

TEST(PoolSurSocketsEpoll, EchoAndChannelReuse)
{
    CoucheSocketEpoll couche;
    PanneauServeurFactice panneau;
    HorlogeFigee horloge;
    ServeurCanaux serveur(couche, panneau, horloge, [] { QCoreApplication::processEvents(); });
    couche.setEvenements(&serveur);
    serveur.setAnalyse([&](const QString& recu) { serveur.EnvoieSurCanal(recu); });
    couche.setLocalPort(0, 0);
    ASSERT_TRUE(couche.Listen(0));
    const auto port = quint16(couche.LocalPort(0));

    QTcpSocket premier;
    premier.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(attendre([&] { return couche.State(1) == CoucheSocket::Connecte; }));
    EXPECT_EQ(panneau.lignes.last(),
              QStringLiteral("port connecté sur canal 1   IP client : 127.0.0.1"));
    premier.disconnectFromHost();
    ASSERT_TRUE(attendre([&] { return couche.State(1) == CoucheSocket::FermetureParHomologue; }));

    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(attendre([&] { return couche.State(1) == CoucheSocket::Connecte; }));
    EXPECT_TRUE(panneau.lignes.contains(QStringLiteral("Liberation du canal 1")));
    EXPECT_EQ(serveur.NbCanaux(), 1);
    second.write("\x1bV\r");
    QByteArray recu;
    EXPECT_TRUE(attendre([&] { return (recu += second.readAll()) == "\x1bV\r"; }));
}

} // namespace

namespace {

// A client that sends without reading its replies.
class ClientQuiNeLitPas : public SocketsEpoll
{
protected:
    int arrivees = 0;

    void SetUp() override
    {
        SocketsEpoll::SetUp();
        accepterSurCanal1();
        recepteur.surDonnees = [this](int Index) {
            ++arrivees;
            couche.GetData(Index);
        };
        // Once the system's buffers are full, what the server sends piles up on its side.
        client.setReadBufferSize(4096);
    }
    // Sends replies until the channel has more than this much waiting to be sent.
    void remplit(qint64 octets)
    {
        const QString bloc(64 * 1024, QLatin1Char('r'));
        for (int essai = 0; essai < 2000 && couche.octetsEnAttente(1) <= octets; ++essai) {
            couche.SendData(1, bloc);
            QCoreApplication::processEvents();
        }
        ASSERT_GT(couche.octetsEnAttente(1), octets);
    }
};

TEST_F(ClientQuiNeLitPas, ItsChannelIsNoLongerReadUntilItsRepliesDrain)
{
    remplit(256 * 1024);
    QCoreApplication::processEvents();
    const int avant = arrivees;
    client.write("requete");
    // Once written, the bytes are in the server's receive queue (loopback delivers at once):
    // a channel still read would see them at the next pass of the event loop.
    ASSERT_TRUE(attendre([&] { return client.bytesToWrite() == 0; }));
    for (int passe = 0; passe < 10; ++passe)
        QCoreApplication::processEvents();
    EXPECT_EQ(arrivees, avant) << "a full channel is not read";

    // The client reads at last: the output drains and the pending request is taken.
    client.setReadBufferSize(0);
    ASSERT_TRUE(attendre([&] {
        client.readAll();
        return arrivees > avant;
    }));
    EXPECT_EQ(couche.State(1), CoucheSocket::Connecte);
}

TEST_F(ClientQuiNeLitPas, ItsChannelIsClosedWhenStalledTooLong)
{
    couche.setDelaiBlocageMs(0);
    remplit(1024 * 1024);
    ASSERT_TRUE(attendre([&] { return couche.State(1) == CoucheSocket::Ferme; }));
    ASSERT_EQ(recepteur.erreurs.size(), 1);
    EXPECT_TRUE(recepteur.erreurs.at(0).startsWith(QLatin1String("1 10055 le client ne lit plus")))
        << recepteur.erreurs.at(0).toStdString();
    // The array closed it, not the client: no close is reported as the client's.
    for (int passe = 0; passe < 10; ++passe)
        QCoreApplication::processEvents();
    EXPECT_TRUE(recepteur.fermetures.isEmpty());
}

} // namespace

// Several arrays on one loop of the process's: each serves its own clients, and a channel
// closed with a large reply still queued delivers all of it before the end of the stream.
TEST(SocketsEpollPartages, TwoArraysOnOneLoopAndQueuedOutputOutlivesTheClose)
{
    BoucleEpoll boucle;
    const QByteArray grande(4 * 1024 * 1024, 'z');
    struct Element
    {
        Recepteur recepteur;
        CoucheSocketEpoll couche;
        QTcpSocket client;
        explicit Element(BoucleEpoll& b) : couche(&b) {}
    };
    std::vector<std::unique_ptr<Element>> elements;
    for (int i = 0; i < 2; ++i) {
        auto e = std::make_unique<Element>(boucle);
        Element* p = e.get();
        p->couche.setEvenements(&p->recepteur);
        p->couche.setLocalPort(0, 0);
        ASSERT_TRUE(p->couche.Listen(0));
        p->recepteur.surDemande = [p](qintptr id) {
            p->couche.Load(1);
            p->couche.Accept(1, id);
        };
        // The first array answers with the large reply and closes at once.
        p->recepteur.surDonnees = [p, i, &grande](int Index) {
            const QString recu = p->couche.GetData(Index);
            p->couche.SendData(Index, i == 0 ? QString::fromLatin1(grande) : recu);
            if (i == 0)
                p->couche.Close(Index);
        };
        p->client.connectToHost(QHostAddress::LocalHost, quint16(p->couche.LocalPort(0)));
        elements.push_back(std::move(e));
    }
    for (auto& e : elements) {
        ASSERT_TRUE(attendre([&] { return e->couche.State(1) == CoucheSocket::Connecte; }));
        e->client.write("ping");
    }
    QByteArray recuLent;
    QByteArray echo;
    ASSERT_TRUE(attendre([&] {
        recuLent += elements[0]->client.readAll();
        echo += elements[1]->client.readAll();
        return recuLent.size() >= grande.size() && echo == "ping"
               && elements[0]->client.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_TRUE(recuLent == grande);
}
