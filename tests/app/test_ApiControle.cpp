#include "ClientHttp.h"
#include "ProcessusVelorin.h"
#include "app/FenetrePrincipale.h"
#include "app/LigneCommande.h"
#include "app/Programme.h"
#include "app/controle/ApiControle.h"
#include "sim/MouvementAxes.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QNetworkInterface>
#include <QPlainTextEdit>
#include <QTest>
#include <QThread>

namespace {

class Controle : public ::testing::Test
{
protected:
    Programme programme{LigneCommande::lire(QStringLiteral("portip=0 control=0")), false};
    EtatAppareil& modele = programme.etat();
    FenetrePrincipale& fenetre = *programme.fenetre();
    quint16 portAppareil = 0;
    quint16 portControle = 0;
    std::unique_ptr<ClientHttp> http;
    Hote hote;

    void SetUp() override
    {
        ASSERT_TRUE(programme.demarre());
        portAppareil = programme.appareil().portEcoute();
        portControle = programme.controle()->port();
        http = std::make_unique<ClientHttp>(portControle);
    }
    QJsonObject etat() { return http->get(QStringLiteral("/state")).json; }
};

TEST_F(Controle, StateTellsWhatTheWindowShows)
{
    modele.setLbl_PosDemX(QStringLiteral("00012000"));
    const QJsonObject e = etat();
    EXPECT_EQ(e.value("Cmb_Simulate").toString(), QStringLiteral("automateOMRON"));
    EXPECT_EQ(e.value("Lbl_PosDemX").toString(), QStringLiteral("00012000"));
    EXPECT_EQ(e.value("Lbl_PosRelleZ").toString(), QStringLiteral("0"));
    EXPECT_EQ(e.value("Chk_HOMING_X_ok").toBool(true), false);
    EXPECT_EQ(e.value("Txt_ValeurLu").toString(), QStringLiteral("500"));
    EXPECT_EQ(e.value("NbCanaux").toInt(-1), 0);
    EXPECT_EQ(e.value("PortIP").toInt(), portAppareil);
    EXPECT_TRUE(e.value("Lbl_LiaisonValide").isString());
    EXPECT_EQ(http->get(QStringLiteral("/health")).json.value("version").toString(),
              QStringLiteral(VELORIN_VERSION));
}

// A script can tell whether the window kept up under its load: Timer_Deplacement's ticks are
// counted and their worst lateness kept, until it asks for a fresh start.
TEST_F(Controle, TimersTellHowLateTheMotionTickCame)
{
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return http->get(QStringLiteral("/timers"))
                       .json.value("Timer_Deplacement")
                       .toObject()
                       .value("ticks")
                       .toInt()
                   >= 2;
        },
        3000));
    const auto tics = [&] {
        return http->get(QStringLiteral("/timers")).json.value("Timer_Deplacement").toObject();
    };
    const int avant = tics().value("ticks").toInt();
    QThread::msleep(250); // the window is busy: the next tick comes late
    ASSERT_TRUE(QTest::qWaitFor([&] { return tics().value("ticks").toInt() > avant; }, 30000));
    const QJsonObject tard = tics();
    EXPECT_EQ(tard.value("interval_ms").toDouble(), 100);
    EXPECT_GE(tard.value("late_max_ms").toDouble(), 100);

    const QJsonObject remis =
        http->post(QStringLiteral("/timers/reset")).json.value("Timer_Deplacement").toObject();
    EXPECT_EQ(remis.value("ticks").toInt(-1), 0);
    EXPECT_EQ(remis.value("late_max_ms").toDouble(-1), 0);
}

TEST_F(Controle, PatchActsOnTheVeryNextRequest)
{
    ASSERT_TRUE(hote.connecte(portAppareil));
    const QByteArray deplacement("\033D100000400000003000\r");
    EXPECT_EQ(hote.echange(deplacement, 10), QByteArray("\0331POM NOk\r"));

    auto r = http->patch(R"({"Chk_HOMING_X_ok": true, "Chk_HOMING_Z_ok": true})");
    ASSERT_EQ(r.statut, 200);
    EXPECT_TRUE(r.json.value("Chk_HOMING_Z_ok").toBool());
    EXPECT_EQ(hote.echange(deplacement, 5), QByteArray("\0331Ok\r"));

    // Unticked through the API, the X axis freezes where it is.
    Timer_Deplacement_Timer(modele);
    ASSERT_EQ(http->patch(R"({"Chk_HOMING_X_ok": false})").statut, 200);
    Timer_Deplacement_Timer(modele);
    Timer_Deplacement_Timer(modele);
    EXPECT_EQ(modele.Lbl_PosRelleX(), QStringLiteral("2000"));
    EXPECT_EQ(modele.Lbl_PosRelleZ(), QStringLiteral("00003000"));
    EXPECT_EQ(hote.echange("\x1bP1\r", 20), QByteArray("\03310000200000003000c\r"));

    ASSERT_EQ(http->patch(R"({"Cmb_Simulate": "MODULElasers", "Txt_ValeurLu": "1234"})").statut,
              200);
    EXPECT_EQ(fenetre.findChild<QWidget*>(QStringLiteral("FrmModuleLasers"))->isVisible(), true)
        << "the mode change ran the selector's own handler";
    EXPECT_EQ(hote.echange("\x1bM10121\r", 9), QByteArray("/1123405\r"));
    // Each change leaves one line that names the controls and their new values.
    EXPECT_TRUE(programme.journal().contenu().contains(
        QStringLiteral(" controle HTTP : Chk_HOMING_X_ok = décoché\r\n")));
    EXPECT_TRUE(programme.journal().contenu().contains(
        QStringLiteral(" controle HTTP : Txt_ValeurLu = 1234, Cmb_Simulate = MODULElasers\r\n")));
}

TEST_F(Controle, RefusedPatchChangesNothingAndNamesTheFault)
{
    const struct
    {
        const char* nom;
        QByteArray corps;
        const char* champ;
        const char* code;
    } cas[] = {
        {"invalidJson", "{\"Chk_TPnon0\": tru", "", "bad_json"},
        {"notAnObject", "[true]", "", "wrong_type"},
        {"unknownField", R"({"Chk_TPnon0": true, "Vitesse": 3})", "Vitesse", "unknown_field"},
        {"readOnlyField", R"({"Chk_TPnon0": true, "Lbl_PosDemX": "5"})", "Lbl_PosDemX",
         "unknown_field"},
        {"wrongTypeBool", R"({"Txt_ValeurLu": "7", "Chk_TPnon0": 1})", "Chk_TPnon0", "wrong_type"},
        {"wrongTypeText", R"({"Chk_TPnon0": true, "Txt_ValeurLu": 7})", "Txt_ValeurLu",
         "wrong_type"},
        {"unknownMode", R"({"Chk_TPnon0": true, "Cmb_Simulate": "robot"})", "Cmb_Simulate",
         "invalid_value"},
        {"emptyMode", R"({"Chk_TPnon0": true, "Cmb_Simulate": ""})", "Cmb_Simulate",
         "invalid_value"},
        {"textTooLong",
         "{\"Chk_TPnon0\": true, \"Txt_ValeurLu\": \"" + QByteArray(1025, '7') + "\"}",
         "Txt_ValeurLu", "too_long"},
    };
    const QJsonObject avant = etat();
    const QString journalAvant = programme.journal().contenu();
    for (const auto& c : cas) {
        const auto r = http->patch(c.corps);
        EXPECT_EQ(r.statut, 400) << c.nom;
        EXPECT_FALSE(r.json.value("error").toString().isEmpty()) << c.nom;
        EXPECT_EQ(r.json.value("field").toString(), QLatin1String(c.champ)) << c.nom;
        EXPECT_EQ(r.json.value("code").toString(), QLatin1String(c.code)) << c.nom;
    }
    EXPECT_EQ(etat(), avant);
    EXPECT_EQ(programme.journal().contenu(), journalAvant);
    // A text at its bound is taken.
    EXPECT_EQ(http->patch("{\"Txt_ValeurLu\": \"" + QByteArray(1024, '7') + "\"}").statut, 200);
}

// Bad input to the clock is refused whole, naming the field, and nothing changes; each change
// that is taken is said in the log and shown in the title; a reset leaves the clock alone.
TEST_F(Controle, TheClockRefusesBadInputWholeAndSaysEachChange)
{
    ASSERT_EQ(http->envoie("PATCH", QStringLiteral("/clock"), R"({"mode": "step"})").statut, 200);
    const QJsonObject avant = http->get(QStringLiteral("/clock")).json;
    const QString journalAvant = programme.journal().contenu();
    const struct
    {
        const char* chemin;
        const char* methode;
        QByteArray corps;
        const char* champ;
        const char* code;
    } cas[] = {
        {"/clock", "PATCH", R"({"speed": -1})", "speed", "out_of_range"},
        {"/clock", "PATCH", R"({"speed": "x10"})", "speed", "wrong_type"},
        {"/clock", "PATCH", R"({"speed": 10001})", "speed", "out_of_range"},
        {"/clock", "PATCH", R"({"mode": "warp"})", "mode", "invalid_value"},
        {"/clock", "PATCH", R"({"speed": 2, "mode": "real"})", "mode", "bad_combination"},
        {"/clock", "PATCH", R"({"vitesse": 2})", "vitesse", "unknown_field"},
        {"/clock", "PATCH", "[2]", "", "wrong_type"},
        {"/clock/advance", "POST", R"({"ms": -1})", "ms", "out_of_range"},
        {"/clock/advance", "POST", R"({"ms": "100"})", "ms", "wrong_type"},
        {"/clock/advance", "POST", R"({"ms": 86400001})", "ms", "out_of_range"},
        {"/clock/advance", "POST", R"({"ms": 100, "until": "arrived"})", "ms", "bad_combination"},
        {"/clock/advance", "POST", R"({"until": "there"})", "until", "invalid_value"},
        {"/clock/advance", "POST", R"({"until": "arrived", "max_ms": -5})", "max_ms",
         "out_of_range"},
        {"/clock/advance", "POST", R"({"ms": 100, "max_ms": 5})", "max_ms", "bad_combination"},
        {"/clock/advance", "POST", "{}", "", "bad_combination"},
        {"/clock/advance", "POST", "{\"ms\": 1", "", "bad_json"},
    };
    for (const auto& c : cas) {
        const auto r = http->envoie(c.methode, QLatin1String(c.chemin), c.corps);
        EXPECT_EQ(r.statut, 400) << c.corps.toStdString();
        EXPECT_EQ(r.json.value("field").toString(), QLatin1String(c.champ))
            << c.corps.toStdString();
        EXPECT_EQ(r.json.value("code").toString(), QLatin1String(c.code)) << c.corps.toStdString();
    }
    EXPECT_EQ(http->get(QStringLiteral("/clock")).json, avant);
    EXPECT_EQ(programme.journal().contenu(), journalAvant);

    ASSERT_EQ(http->envoie("PATCH", QStringLiteral("/clock"), R"({"speed": 100})").statut, 200);
    EXPECT_EQ(fenetre.windowTitle(), QStringLiteral("Velorin v" VELORIN_VERSION " — horloge x100"));
    EXPECT_TRUE(programme.journal().contenu().contains(QStringLiteral(" horloge : x100\r\n")));
    ASSERT_EQ(http->post(QStringLiteral("/reset")).statut, 200);
    EXPECT_EQ(http->get(QStringLiteral("/clock")).json.value("speed").toDouble(), 100);
    ASSERT_EQ(http->envoie("PATCH", QStringLiteral("/clock"), R"({"mode": "real"})").statut, 200);
    EXPECT_EQ(fenetre.windowTitle(), QStringLiteral("Velorin v" VELORIN_VERSION));
}

TEST_F(Controle, UnknownPathsAndWrongMethodsAnswerInJson)
{
    auto r = http->get(QStringLiteral("/etat"));
    EXPECT_EQ(r.statut, 404);
    EXPECT_EQ(r.json.value("error").toString(), QStringLiteral("not found"));
    r = http->envoie("DELETE", QStringLiteral("/state"), {});
    EXPECT_EQ(r.statut, 405);
    EXPECT_EQ(r.json.value("allowed").toArray(), (QJsonArray{"GET", "PATCH"}));
    EXPECT_EQ(http->get(QStringLiteral("/reset")).statut, 405);
    EXPECT_EQ(http->post(QStringLiteral("/health")).statut, 405);
    EXPECT_EQ(http->get(QStringLiteral("/log?since=abc")).statut, 400);
}

TEST_F(Controle, SinceLosesNoLineAcrossClearsAndCutBacks)
{
    const qint64 depart = http->get(QStringLiteral("/log")).json.value("next").toInteger();
    modele.AfficheMessage(QStringLiteral("un"));
    ASSERT_EQ(http->post(QStringLiteral("/log/clear")).statut, 200);
    // The button's work, and the record of who asked for it.
    EXPECT_EQ(programme.journal().contenu().count(QStringLiteral("\r\n")), 2);
    modele.AfficheMessage(QStringLiteral("deux"));
    for (int i = 0; i < 400; ++i)
        modele.AfficheMessage(QString(60, QLatin1Char('x')));
    modele.AfficheMessage(QStringLiteral("fin"));
    ASSERT_TRUE(programme.journal().contenu().startsWith(QLatin1String("....")));

    const auto r = http->get(QStringLiteral("/log?since=%1").arg(depart));
    const QJsonArray lignes = r.json.value("lines").toArray();
    ASSERT_EQ(lignes.size(), 405);
    EXPECT_EQ(lignes.at(0).toString(), QStringLiteral("un"));
    EXPECT_TRUE(lignes.at(1).toString().endsWith(QLatin1String(" clear")));
    EXPECT_TRUE(
        lignes.at(2).toString().endsWith(QStringLiteral(" controle HTTP : zone message effacée")));
    EXPECT_EQ(lignes.at(3).toString(), QStringLiteral("deux"));
    EXPECT_EQ(lignes.last().toString(), QStringLiteral("fin"));
    EXPECT_EQ(r.json.value("next").toInteger(), depart + 405);
    EXPECT_EQ(r.json.value("missed").toInteger(), 0);

    // Any line number a script may send, up to the largest, is an answer, never a crash.
    const auto loin = http->get(QStringLiteral("/log?since=9223372036854775807"));
    EXPECT_EQ(loin.statut, 200);
    EXPECT_TRUE(loin.json.value("lines").toArray().isEmpty());
    EXPECT_EQ(http->get(QStringLiteral("/log?since=9223372036854775808")).statut, 400);
    EXPECT_TRUE(http->get(QStringLiteral("/log?since=%1").arg(depart + 405))
                    .json.value("lines")
                    .toArray()
                    .isEmpty());
    // Without since: the message area as it stands.
    EXPECT_EQ(http->get(QStringLiteral("/log")).json.value("lines").toArray().first().toString(),
              QStringLiteral("...."));
}

TEST_F(Controle, ResetPutsTheDeviceBackAndLeavesChannelsAndLog)
{
    ASSERT_TRUE(hote.connecte(portAppareil));
    ASSERT_EQ(http->patch(R"({"Chk_HOMING_X_ok": true, "Chk_TPnon0": true, "Txt_ValeurLu": "9",
                              "Cmb_Simulate": "modeECHO", "Chk_TraceIP": true})")
                  .statut,
              200);
    modele.setLbl_PosDemX(QStringLiteral("00012000"));
    const qint64 lignes = http->get(QStringLiteral("/log")).json.value("next").toInteger();

    const QJsonObject e = http->post(QStringLiteral("/reset")).json;
    EXPECT_EQ(e.value("Cmb_Simulate").toString(), QStringLiteral("automateOMRON"));
    EXPECT_EQ(e.value("Lbl_PosDemX").toString(), QStringLiteral("0"));
    EXPECT_FALSE(e.value("Chk_HOMING_X_ok").toBool());
    EXPECT_FALSE(e.value("Chk_TPnon0").toBool());
    EXPECT_EQ(e.value("Txt_ValeurLu").toString(), QStringLiteral("500"));
    EXPECT_TRUE(e.value("Chk_TraceIP").toBool()) << "the trace is not device state";
    EXPECT_EQ(e.value("NbCanaux").toInt(), 1);
    // One line says what the script did.
    const auto apres = http->get(QStringLiteral("/log?since=%1").arg(lignes)).json;
    ASSERT_EQ(apres.value("lines").toArray().size(), 1);
    EXPECT_TRUE(apres.value("lines").toArray().at(0).toString().contains(
        QStringLiteral(" controle HTTP : remise à zéro")));

    const QJsonArray canaux =
        http->get(QStringLiteral("/channels")).json.value("channels").toArray();
    ASSERT_EQ(canaux.size(), 1);
    EXPECT_EQ(canaux.at(0).toObject(), (QJsonObject{{"canal", 1},
                                                    {"state", 7},
                                                    {"label", QStringLiteral("port connecté")},
                                                    {"remote", "127.0.0.1"}}));
}

TEST_F(Controle, ListensOnLoopbackOnly)
{
    for (const QHostAddress& adresse : QNetworkInterface::allAddresses()) {
        if (adresse.isLoopback() || adresse.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        QTcpSocket dehors;
        dehors.connectToHost(adresse, portControle);
        EXPECT_FALSE(dehors.waitForConnected(2000)) << adresse.toString().toStdString();
    }
    QTcpSocket local;
    local.connectToHost(QHostAddress::LocalHost, portControle);
    EXPECT_TRUE(local.waitForConnected(2000));
}

TEST(ControleDemarrage, BadOrBusyControlPortIsAStartUpError)
{
    QTcpServer occupe;
    ASSERT_TRUE(occupe.listen(QHostAddress::LocalHost, 0));
    for (const QString& port :
         {QStringLiteral("x"), QStringLiteral("-1"), QString::number(occupe.serverPort())}) {
        Programme programme(LigneCommande::lire(QStringLiteral("portip=0 control=") + port), false);
        EXPECT_FALSE(programme.demarre()) << port.toStdString();
        EXPECT_TRUE(programme.journal().contenu().contains(QLatin1String("port de controle")));
    }
}

} // namespace
