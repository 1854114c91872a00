#include "ClientHttp.h"
#include "ProcessusVelorin.h"
#include "app/LigneCommande.h"
#include "app/Programme.h"
#include "app/controle/ApiControle.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTcpSocket>

namespace {

// What the control port takes, and what it refuses, over raw sockets: the bounds are in how
// much of a request is read, which an HTTP library would hide.
class Bornes : public ::testing::Test
{
protected:
    Programme programme{LigneCommande::lire(QStringLiteral("portip=0 control=0")), false};
    quint16 port = 0;

    void demarre(const EcouteControle::Bornes& bornes = {})
    {
        programme.controle()->setBornes(bornes);
        ASSERT_TRUE(programme.demarre());
        port = programme.controle()->port();
    }

    // Sends `envoi` on a fresh connection and reads until `reponses` whole answers came or the
    // port closed the connection.
    static QList<std::pair<int, QJsonObject>> echange(quint16 port, const QByteArray& envoi,
                                                      int reponses = 1)
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        QByteArray lu;
        QList<std::pair<int, QJsonObject>> resultat;
        const auto decoupe = [&] {
            for (;;) {
                const qsizetype fin = lu.indexOf("\r\n\r\n");
                if (fin < 0)
                    return;
                const QByteArray tete = lu.left(fin);
                const qsizetype ici = tete.toLower().indexOf("content-length:");
                const qint64 longueur =
                    ici < 0 ? 0 : tete.mid(ici + 15).split('\r').first().trimmed().toLongLong();
                if (lu.size() < fin + 4 + longueur)
                    return;
                resultat.append({tete.split(' ').value(1).toInt(),
                                 QJsonDocument::fromJson(lu.mid(fin + 4, longueur)).object()});
                lu.remove(0, fin + 4 + longueur);
            }
        };
        ProcessusVelorin::attend([&] { return s.state() == QAbstractSocket::ConnectedState; });
        s.write(envoi);
        ProcessusVelorin::attend([&] {
            lu += s.readAll();
            decoupe();
            return resultat.size() >= reponses || s.state() != QAbstractSocket::ConnectedState;
        });
        lu += s.readAll();
        decoupe();
        return resultat;
    }
};

// Every error a program may meet carries its code beside the message.
TEST_F(Bornes, EachErrorSaysItsCode)
{
    ASSERT_NO_FATAL_FAILURE(demarre());
    const auto avec = [](const char* debut, const QByteArray& corps) {
        return QByteArray(debut) + "\r\nContent-Type: application/json\r\nContent-Length: "
               + QByteArray::number(corps.size()) + "\r\n\r\n" + corps;
    };
    // The largest body taken: read whole, then refused for its text.
    const QByteArray texteMax = "{\"Txt_ValeurLu\": \"" + QByteArray(1024 * 1024 - 20, 'a') + "\"}";
    ASSERT_EQ(texteMax.size(), 1024 * 1024);
    const struct
    {
        const char* nom;
        QByteArray requete;
        int statut;
        const char* code;
    } cas[] = {
        {"unknownPath", "GET /etat HTTP/1.1\r\n\r\n", 404, "not_found"},
        {"wrongMethod", "PUT /state HTTP/1.1\r\n\r\n", 405, "method_not_allowed"},
        {"noSuchRule", "DELETE /faults/99 HTTP/1.1\r\nX-Velorin: 1\r\n\r\n", 404, "no_such_rule"},
        {"noJournal", "GET /journal HTTP/1.1\r\n\r\n", 409, "no_journal"},
        {"badJson", avec("POST /wait HTTP/1.1", "{x"), 400, "bad_json"},
        {"notAnObject", avec("POST /wait HTTP/1.1", "[1]"), 400, "wrong_type"},
        {"badSince", "GET /log?since=x HTTP/1.1\r\n\r\n", 400, "invalid_value"},
        {"waitWithoutSince", "GET /log?wait_ms=5 HTTP/1.1\r\n\r\n", 400, "bad_combination"},
        {"waitTooLong", "GET /log?since=0&wait_ms=60001 HTTP/1.1\r\n\r\n", 400, "out_of_range"},
        {"timeoutNotANumber",
         avec("POST /wait HTTP/1.1", R"({"arrived": true, "timeout_ms": "1"})"), 400, "wrong_type"},
        {"twoConditions", avec("POST /wait HTTP/1.1", R"({"arrived": true, "connections": 1})"),
         400, "bad_combination"},
        {"unknownCondition", avec("POST /wait HTTP/1.1", R"({"idle": true})"), 400,
         "unknown_field"},
        // A whole number of the wrong sign is out of its range, not of the wrong type.
        {"negativeConnections", avec("POST /wait HTTP/1.1", R"({"connections": -1})"), 400,
         "out_of_range"},
        {"connectionsNotANumber", avec("POST /wait HTTP/1.1", R"({"connections": "1"})"), 400,
         "wrong_type"},
        {"ruleIdZero", avec("POST /wait HTTP/1.1", R"({"fault_fired": 0})"), 400, "out_of_range"},
        {"negativeSinceOfAWait",
         avec("POST /wait HTTP/1.1", R"({"log_contains": "x", "since": -1})"), 400,
         "invalid_value"},
        {"sinceOfAWaitNotANumber",
         avec("POST /wait HTTP/1.1", R"({"log_contains": "x", "since": "1"})"), 400, "wrong_type"},
        {"resetClockNotBool", avec("POST /reset HTTP/1.1", R"({"clock": 1})"), 400, "wrong_type"},
        {"resetUnknown", avec("POST /reset HTTP/1.1", R"({"horloge": true})"), 400,
         "unknown_field"},
        {"ruleUnknownField",
         avec("POST /faults HTTP/1.1", R"({"action": {"type": "drop"}, "x": 1})"), 400,
         "unknown_field"},
        {"ruleOutOfRange",
         avec("POST /faults HTTP/1.1", R"({"action": {"type": "delay", "ms": -1}})"), 400,
         "out_of_range"},
        {"clockOutOfRange", avec("PATCH /clock HTTP/1.1", R"({"speed": 10001})"), 400,
         "out_of_range"},
        {"textTooLong", avec("PATCH /state HTTP/1.1", texteMax), 400, "too_long"},
        {"bodyTooLarge", "PATCH /state HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n", 413,
         "payload_too_large"},
        {"headersTooLarge", "GET /health HTTP/1.1\r\nX-Remplissage: " + QByteArray(70000, 'a'), 431,
         "headers_too_large"},
        {"chunked", "POST /faults HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 411,
         "length_required"},
        {"badRequestLine", "BONJOUR\r\n\r\n", 400, "bad_request"},
    };
    for (const auto& c : cas) {
        const auto reponses = echange(port, c.requete);
        ASSERT_EQ(reponses.size(), 1) << c.nom;
        EXPECT_EQ(reponses.first().first, c.statut) << c.nom;
        EXPECT_EQ(reponses.first().second.value("code").toString(), QLatin1String(c.code)) << c.nom;
        EXPECT_FALSE(reponses.first().second.value("error").toString().isEmpty()) << c.nom;
    }
}

// Several requests on one connection, sent at once, are answered each in turn.
TEST_F(Bornes, OneConnectionServesRequestsInTurn)
{
    ASSERT_NO_FATAL_FAILURE(demarre());
    const auto reponses = echange(port,
                                  "GET /health HTTP/1.1\r\n\r\n"
                                  "POST /wait HTTP/1.1\r\nContent-Type: application/json\r\n"
                                  "Content-Length: 39\r\n\r\n"
                                  "{\"connections\": 0, \"timeout_ms\": 60000}"
                                  "GET /etat HTTP/1.1\r\nConnection: close\r\n\r\n",
                                  3);
    ASSERT_EQ(reponses.size(), 3);
    EXPECT_EQ(reponses.at(0).second.value("status").toString(), QStringLiteral("ok"));
    EXPECT_EQ(reponses.at(1).second.value("condition").toString(), QStringLiteral("connections"));
    EXPECT_EQ(reponses.at(2).first, 404);
}

TEST_F(Bornes, IdleConnectionsCloseAndTheCrowdIsTurnedAway)
{
    EcouteControle::Bornes bornes;
    bornes.connexionsMax = 2;
    bornes.connexion.inactiviteMs = 200;
    ASSERT_NO_FATAL_FAILURE(demarre(bornes));
    QTcpSocket premiere;
    QTcpSocket seconde;
    QTcpSocket troisieme;
    for (QTcpSocket* s : {&premiere, &seconde}) {
        s->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(ProcessusVelorin::attend(
            [&] { return programme.controle()->connexions() == (s == &premiere ? 1 : 2); }));
    }
    troisieme.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(ProcessusVelorin::attend(
        [&] { return troisieme.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(programme.journal().contenu().count(QStringLiteral("les suivantes sont refusées")),
              1);
    // Idle, the first two go too, and the port takes new clients again.
    EXPECT_TRUE(ProcessusVelorin::attend([&] {
        return premiere.state() == QAbstractSocket::UnconnectedState
               && seconde.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(echange(port, "GET /health HTTP/1.1\r\n\r\n").value(0).first, 200);
}

} // namespace
