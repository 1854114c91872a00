#include "ClientHttp.h"
#include "ProcessusVelorin.h"
#include "app/FenetrePrincipale.h"
#include "app/LigneCommande.h"
#include "app/Programme.h"
#include "app/controle/ApiControle.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>

#include <functional>

namespace {

// The waits of the control API, in the program itself: each answers once its condition holds
// and not before, through the event loop the test turns while it waits for the answer.
class Attente : public ::testing::Test
{
protected:
    QTemporaryDir dossier;
    Programme programme{LigneCommande::lire(QStringLiteral("portip=0 control=0 journal=")
                                            + dossier.path() + QStringLiteral("/trafic.jsonl")),
                        false};
    EtatAppareil& etat = programme.etat();
    quint16 portAppareil = 0;
    std::unique_ptr<ClientHttp> http;
    Hote hote;

    void SetUp() override
    {
        ASSERT_TRUE(programme.demarre());
        portAppareil = programme.appareil().portEcoute();
        http = std::make_unique<ClientHttp>(programme.controle()->port());
    }
    qint64 suivant(const QString& chemin)
    {
        return http->get(chemin).json.value("next").toInteger();
    }
    // A request answered meanwhile shows the wait was taken and still waits.
    void attendToujours(QNetworkReply* attente)
    {
        ASSERT_EQ(http->get(QStringLiteral("/health")).statut, 200);
        EXPECT_FALSE(attente->isFinished());
    }
};

TEST_F(Attente, EachConditionAnswersOnceItHolds)
{
    int regle = 0;
    const QByteArray deplacement("\033D100000400000003000\r");
    const struct
    {
        const char* nom;
        std::function<void()> prepare;
        std::function<QByteArray()> condition;
        std::function<void()> declenche;
        std::function<void(const QJsonObject&)> verifie;
    } cas[] = {
        {"log_contains", [] {}, [] { return QByteArray(R"({"log_contains": "bonjour à tous"})"); },
         [&] { etat.AfficheMessage(QStringLiteral("on dit bonjour à tous")); },
         [&](const QJsonObject& r) {
             EXPECT_EQ(r.value("line").toString(), QStringLiteral("on dit bonjour à tous"));
             EXPECT_EQ(r.value("number").toInteger(), r.value("next").toInteger());
         }},
        {"connections", [] {}, [] { return QByteArray(R"({"connections": 1})"); },
         [&] { ASSERT_TRUE(hote.connecte(portAppareil)); },
         [](const QJsonObject& r) { EXPECT_EQ(r.value("connections").toInt(), 1); }},
        {"fault_fired",
         [&] {
             regle = http->envoie("POST", QStringLiteral("/faults"),
                                  R"({"match": {"command": "P"}, "action": {"type": "drop"}})")
                         .json.value("ids")
                         .toArray()
                         .at(0)
                         .toInt();
         },
         [&] { return QStringLiteral(R"({"fault_fired": %1})").arg(regle).toUtf8(); },
         [&] { hote.socket.write("\x1bP1\r"); },
         [&](const QJsonObject& r) {
             EXPECT_EQ(r.value("fault").toObject().value("id").toInt(), regle);
             EXPECT_EQ(r.value("fault").toObject().value("fired").toInt(), 1);
         }},
        // In step mode nothing moves until device time is run.
        {"arrived",
         [&] {
             ASSERT_EQ(
                 http->envoie("PATCH", QStringLiteral("/clock"), R"({"mode": "step"})").statut,
                 200);
             http->patch(R"({"Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true})");
             EXPECT_EQ(hote.echange(deplacement, 5), QByteArray("\0331Ok\r"));
         },
         [] { return QByteArray(R"({"arrived": true})"); },
         [&] { http->envoie("POST", QStringLiteral("/clock/advance"), R"({"ms": 10000})"); },
         [](const QJsonObject& r) {
             EXPECT_TRUE(r.value("arrived").toBool());
             EXPECT_EQ(r.value("state").toObject().value("Lbl_PosRelleZ").toString(),
                       QStringLiteral("00003000"));
         }},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.nom);
        c.prepare();
        QNetworkReply* attente = http->lance("POST", QStringLiteral("/wait"), c.condition());
        attendToujours(attente);
        c.declenche();
        const auto r = http->recoit(attente);
        ASSERT_EQ(r.statut, 200);
        EXPECT_EQ(r.json.value("condition").toString(), QLatin1String(c.nom));
        c.verifie(r.json);
    }
}

TEST_F(Attente, ATimeOutAnswers408WithWhatWasSeen)
{
    const auto r =
        http->envoie("POST", QStringLiteral("/wait"), R"({"connections": 2, "timeout_ms": 50})");
    EXPECT_EQ(r.statut, 408);
    EXPECT_EQ(r.json.value("code").toString(), QStringLiteral("timeout"));
    EXPECT_EQ(r.json.value("connections").toInt(-1), 0);
    EXPECT_GE(r.json.value("waited_ms").toInteger(), 50);
}

// GET /log and GET /journal with wait_ms answer as soon as something comes after `since`, and
// empty at the time-out.
TEST_F(Attente, TheLogAndTheJournalWaitForWhatComesNext)
{
    const qint64 ligne = suivant(QStringLiteral("/log"));
    QNetworkReply* log =
        http->lance("GET", QStringLiteral("/log?since=%1&wait_ms=30000").arg(ligne), {});
    const qint64 evenement = suivant(QStringLiteral("/journal"));
    QNetworkReply* journal =
        http->lance("GET", QStringLiteral("/journal?since=%1&wait_ms=30000").arg(evenement), {});
    attendToujours(log);
    EXPECT_FALSE(journal->isFinished());

    // The line is an event of the traffic journal too.
    etat.AfficheMessage(QStringLiteral("voici"));
    for (QNetworkReply* attente : {log, journal}) {
        const auto r = http->recoit(attente);
        ASSERT_EQ(r.statut, 200);
        EXPECT_TRUE(QJsonDocument(r.json).toJson().contains("voici"));
    }

    auto r =
        http->get(QStringLiteral("/log?since=%1&wait_ms=20").arg(suivant(QStringLiteral("/log"))));
    EXPECT_EQ(r.statut, 200);
    EXPECT_TRUE(r.json.value("lines").toArray().isEmpty());
}

TEST_F(Attente, TheEndAnswersPendingWaits503)
{
    QNetworkReply* attente =
        http->lance("POST", QStringLiteral("/wait"), R"({"log_contains": "jamais"})");
    attendToujours(attente);
    programme.controle()->arrete();
    const auto r = http->recoit(attente);
    EXPECT_EQ(r.statut, 503);
    EXPECT_EQ(r.json.value("code").toString(), QStringLiteral("shutting_down"));
}

// {"clock": true} also brings device time and the tick count back to 0; a plain reset leaves
// them.
TEST_F(Attente, AResetWithTheClockStartsDeviceTimeAgain)
{
    ASSERT_EQ(http->envoie("PATCH", QStringLiteral("/clock"), R"({"mode": "step"})").statut, 200);
    // The clock ran in real time until then: on a slow machine, a tick may already be counted.
    const int avant = http->get(QStringLiteral("/clock")).json.value("ticks").toInt();
    ASSERT_EQ(http->envoie("POST", QStringLiteral("/clock/advance"), R"({"ms": 1000})").statut,
              200);
    ASSERT_EQ(http->post(QStringLiteral("/reset")).statut, 200);
    EXPECT_EQ(http->get(QStringLiteral("/clock")).json.value("ticks").toInt(), avant + 10);
    ASSERT_EQ(http->envoie("POST", QStringLiteral("/reset"), R"({"clock": true})").statut, 200);
    const QJsonObject horloge = http->get(QStringLiteral("/clock")).json;
    EXPECT_EQ(horloge.value("ticks").toInt(-1), 0);
    EXPECT_EQ(horloge.value("device_ms").toDouble(-1), 0);
    EXPECT_EQ(horloge.value("mode").toString(), QStringLiteral("step"));
}

} // namespace
