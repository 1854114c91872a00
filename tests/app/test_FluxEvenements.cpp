#include "ProcessusVelorin.h"
#include "app/controle/ApiControle.h"
#include "app/controle/RessourceEvenements.h"
#include "trace/Journal.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A client of GET /events on a raw socket with a small receive buffer, which reads only when
// told: a browser tab that stopped reading.
class ClientLent
{
public:
    explicit ClientLent(quint16 port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int petit = 1024;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &petit, sizeof petit);
        sockaddr_in adresse{};
        adresse.sin_family = AF_INET;
        adresse.sin_port = htons(port);
        adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connecte = ::connect(fd, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) == 0;
        const QByteArray demande = "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        connecte = connecte
                   && ::send(fd, demande.constData(), size_t(demande.size()), 0) == demande.size();
    }
    ~ClientLent() { ferme(); }
    ClientLent(const ClientLent&) = delete;
    ClientLent& operator=(const ClientLent&) = delete;

    void ferme()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // What has come so far, without waiting.
    void lit()
    {
        pollfd p{fd, POLLIN, 0};
        char tampon[65536];
        while (::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0) {
            const ssize_t n = ::recv(fd, tampon, sizeof tampon, 0);
            if (n <= 0)
                return;
            recu.append(tampon, qsizetype(n));
        }
    }

    bool connecte = false;
    QByteArray recu;

private:
    int fd = -1;
};

struct Bilan
{
    qint64 evenements = 0; // lines and whole areas
    qint64 perdus = 0;     // as the stream says
    QList<qint64> avis;    // each loss said
};

Bilan compte(const QByteArray& flux)
{
    Bilan bilan;
    const QByteArray corps = flux.mid(flux.indexOf("\r\n\r\n") + 4);
    for (const QByteArray& evenement : corps.split('\n')) {
        if (evenement.startsWith("data: {\"lost\":")) {
            const qint64 n = QJsonDocument::fromJson(evenement.mid(6)).object()["lost"].toInteger();
            bilan.perdus += n;
            bilan.avis.append(n);
        } else if (evenement.startsWith("data: ")) {
            ++bilan.evenements;
        }
    }
    return bilan;
}

class FluxEvenementsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto r = std::make_unique<RessourceEvenements>(journal, bornes);
        ressource = r.get();
        api.ajoute(std::move(r));
        QString raison;
        ASSERT_TRUE(api.demarre(QStringLiteral("0"), {}, journal, raison)) << raison.toStdString();
    }

    FluxEvenements::Bornes bornes{50, 1024 * 1024, 1024};
    Journal journal;
    ApiControle api;
    RessourceEvenements* ressource = nullptr;
};

// A client that never reads: lines past its queue are dropped and counted, the sender never
// waits, and once the client reads again every event is there or said lost, exactly.
TEST_F(FluxEvenementsTest, AClientThatDoesNotReadLosesCountedLinesAndNothingWaits)
{
    ClientLent client(api.port());
    ASSERT_TRUE(client.connecte);
    ASSERT_TRUE(ProcessusVelorin::attend([&] { return ressource->flux() == 1; }));
    // Far more than the socket buffers (4 MiB at most for the sender here) and the queue hold
    // together.
    constexpr int Lignes = 20000;
    const QString remplissage(1000, QLatin1Char('x'));
    for (int i = 0; i < Lignes; ++i) {
        journal.AfficheMessage(QString::number(i) + remplissage);
        if (i % 200 == 0)
            QCoreApplication::processEvents();
    }
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        client.lit();
        const Bilan b = compte(client.recu);
        // The area sent at the start, then one event per line logged.
        return b.evenements + b.perdus == Lignes + 1;
    })) << compte(client.recu).evenements
        << " + " << compte(client.recu).perdus;
    const Bilan bilan = compte(client.recu);
    EXPECT_GT(bilan.perdus, 0);
    EXPECT_LT(bilan.perdus, Lignes);
    // The stream goes on after the loss.
    journal.AfficheMessage(QStringLiteral("encore une"));
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        client.lit();
        return client.recu.endsWith("data: \"encore une\"\n\n");
    }));
}

// Line ends, quotes and control characters cannot break an event: each line is one JSON text.
TEST_F(FluxEvenementsTest, EachLineIsOneJsonTextAndTheAreaComesFirst)
{
    journal.AfficheMessage(QStringLiteral("clear")); // the port's opening line
    journal.AfficheMessage(QStringLiteral("déjà là"));
    ClientLent client(api.port());
    ASSERT_TRUE(ProcessusVelorin::attend([&] { return ressource->flux() == 1; }));
    journal.AfficheMessage(QStringLiteral("a\r\ndata: b \"c\" \x1b"));
    journal.AfficheMessage(QStringLiteral("clear"));
    ASSERT_TRUE(ProcessusVelorin::attend([&] {
        client.lit();
        return client.recu.endsWith("event: contenu\ndata: []\n\n");
    }));
    const QByteArray attendu = "HTTP/1.1 200 OK\r\n"
                               "Content-Type: text/event-stream; charset=utf-8\r\n"
                               "Cache-Control: no-store\r\n"
                               "Connection: close\r\n\r\n"
                               "event: contenu\ndata: [\"déjà là\"]\n\n"
                               "data: \"a\\r\\ndata: b \\\"c\\\" \\u001b\"\n\n"
                               "event: contenu\ndata: []\n\n";
    EXPECT_EQ(client.recu.toStdString(), attendu.toStdString());
}

// A tab closed takes its stream with it.
TEST_F(FluxEvenementsTest, AClientThatLeavesReleasesItsStream)
{
    ClientLent client(api.port());
    ASSERT_TRUE(ProcessusVelorin::attend([&] { return ressource->flux() == 1; }));
    client.ferme();
    ASSERT_TRUE(ProcessusVelorin::attend([&] { return ressource->flux() == 0; }));
    EXPECT_TRUE(ProcessusVelorin::attend([&] { return api.connexions() == 0; }));
    journal.AfficheMessage(QStringLiteral("personne n'écoute"));
}

} // namespace
