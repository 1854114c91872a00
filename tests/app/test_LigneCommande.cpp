#include "app/AideLigneCommande.h"
#include "app/Arret.h"
#include "app/LigneCommande.h"
#include "app/controle/ScenarioLu.h"

#include <gtest/gtest.h>

#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace {

using Valeur = std::optional<QString>;
const Valeur absente = std::nullopt;

struct CasLigne
{
    const char* nom;
    const char* texte;
    bool aide;
    Valeur port;
    Valeur mode;
    Valeur journal = absente;
    Valeur adresse = absente;
    Valeur adresseControle = absente;
    Valeur pret = absente;
    bool trace = false;
    QStringList inconnus = {};
};

class Ligne : public ::testing::TestWithParam<CasLigne>
{
};

TEST_P(Ligne, KeysAreFoundAnywhereInTheUpperCasedText)
{
    const CasLigne& cas = GetParam();
    const LigneCommande ligne = LigneCommande::lire(QString::fromUtf8(cas.texte));
    EXPECT_EQ(ligne.aide, cas.aide);
    EXPECT_EQ(ligne.portIP, cas.port);
    EXPECT_EQ(ligne.mode, cas.mode);
    EXPECT_EQ(ligne.journal, cas.journal);
    EXPECT_EQ(ligne.adresse, cas.adresse);
    EXPECT_EQ(ligne.adresseControle, cas.adresseControle);
    EXPECT_EQ(ligne.fichierPret, cas.pret);
    EXPECT_EQ(ligne.trace, cas.trace);
    EXPECT_EQ(ligne.inconnus, cas.inconnus);
}

INSTANTIATE_TEST_SUITE_P(
    LigneCommande, Ligne,
    ::testing::Values(
        CasLigne{"empty", "", false, absente, absente},
        CasLigne{"lowerCaseKeys", "portip=2000 mode=modeecho", false, "2000", "MODEECHO"},
        CasLigne{"anyOrderAndExtraWords", "MODE=MODULELASERS PORTIP=2000 extra", false, "2000",
                 "MODULELASERS"},
        CasLigne{"helpInsideAWord", "/?", true, absente, absente},
        CasLigne{"aQuestionMarkInAPathIsNoHelp", "ready=/tmp/a?b", false, absente, absente, absente,
                 absente, absente, "/tmp/a?b"},
        CasLigne{"keyWithoutValue", "portip= mode=", false, "", ""},
        CasLigne{"keyInsideALongerWord", "xportip=7 automode=modemuet", false, "7", "MODEMUET"},
        CasLigne{"firstOccurrenceOnly", "portip=1 portip=2", false, "1", absente},
        // Only a blank ends a value: a tab belongs to it.
        CasLigne{"tabIsPartOfTheValue", "portip=1\t2", false, "1\t2", absente},
        // Files and addresses keep the case they were typed in.
        CasLigne{"pathsKeepTheirCase", "Log=/tmp/Run.log READY=/tmp/Pret.json", false, absente,
                 absente, "/tmp/Run.log", absente, absente, "/tmp/Pret.json"},
        CasLigne{"bindIsNotControlBind", "control_bind=::1 bind=fe80::A%eth0", false, absente,
                 absente, absente, "fe80::A%eth0", "::1"},
        CasLigne{"controlBindAlone", "CONTROL_BIND=0.0.0.0", false, absente, absente, absente,
                 absente, "0.0.0.0"},
        CasLigne{"traceOnOnly", "trace=on", false, absente, absente, absente, absente, absente,
                 absente, true},
        CasLigne{"traceAnythingElse", "trace=yes", false, absente, absente},
        // A misspelt key is named; known keys, even inside a longer word, are not.
        CasLigne{"unknownKeysAreNamed",
                 "PORTPI=2000 COM=1 /portip=3 =x",
                 false,
                 "3",
                 absente,
                 absente,
                 absente,
                 absente,
                 absente,
                 false,
                 {QStringLiteral("PORTPI=2000"), QStringLiteral("COM=1")}}),
    [](const auto& cas) { return std::string(cas.param.nom); });

TEST(LigneCommande, ControlPortKey)
{
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("portip=2000 control=2001")).portControle,
              QStringLiteral("2001"));
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("Control=")).portControle, QString());
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("control_bind=::1")).portControle, std::nullopt);
}

TEST(LigneCommande, LogDestinations)
{
    EXPECT_TRUE(LigneCommande::lire(QStringLiteral("Log=StdOut")).journalStdout());
    EXPECT_FALSE(LigneCommande::lire(QStringLiteral("log=stdoutx")).journalStdout());
    EXPECT_TRUE(LigneCommande::lire(QStringLiteral("log=off")).journalCoupe());
    EXPECT_FALSE(LigneCommande::lire(QStringLiteral("log=/tmp/off")).journalCoupe());
}

TEST(PortValide, WholeNumbersFrom0To65535Only)
{
    EXPECT_EQ(portValide(QStringLiteral("0")), quint16(0));
    EXPECT_EQ(portValide(QStringLiteral("10001")), quint16(10001));
    EXPECT_EQ(portValide(QStringLiteral("65535")), quint16(65535));
    EXPECT_EQ(portValide(QStringLiteral("002000")), quint16(2000));
    for (const char* faux : {"", "65536", "99999999999", "-1", "+80", "12a", " 80", "8 0", "1e3"})
        EXPECT_EQ(portValide(QLatin1String(faux)), std::nullopt) << faux;
}

} // namespace

TEST(LigneCommande, ShutdownPauseKey)
{
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("shutdown_pause_ms=20 portip=0")).pauseArret,
              QStringLiteral("20"));
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("portip=0")).pauseArret, std::nullopt);
    EXPECT_TRUE(LigneCommande::lire(QStringLiteral("SHUTDOWN_PAUSE_MS=0")).inconnus.isEmpty());
}

TEST(Arret, PauseFrom0To500MillisecondsOnly)
{
    const struct
    {
        const char* texte;
        std::optional<int> ms;
    } cas[] = {
        {"0", 0},
        {"500", 500},
        {"007", 7},
        {"501", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+5", std::nullopt},
        {"1e2", std::nullopt},
        {" 5", std::nullopt},
        {"0500", std::nullopt},
        {"99999999999", std::nullopt},
    };
    for (const auto& c : cas)
        EXPECT_EQ(Arret::pauseValide(QString::fromLatin1(c.texte)), c.ms) << c.texte;
}

// Every key of the table: explained by --help in its usage and on a line of its own, read by
// the command line in any letter case, and named nowhere as unknown. The members a scenario
// shares with the command line are taken by scenarios.
TEST(ClesLigneCommande, EveryKeyIsExplainedAndRead)
{
    const QStringList aide = lignesAide();
    const QString usage = aide.mid(0, 5).join(QLatin1Char('\n'));
    for (const CleLigneCommande& cle : clesLigneCommande()) {
        const QString nom = cle.nom;
        EXPECT_TRUE(usage.contains(QLatin1Char('[') + nom)) << cle.usage;
        EXPECT_EQ(aide.filter(QRegularExpression(QStringLiteral("^    ") + nom)).size(), 1)
            << cle.usage;
        const QString texte = nom.toLower() + QStringLiteral("On");
        const LigneCommande ligne = LigneCommande::lire(texte);
        EXPECT_TRUE(ligne.inconnus.isEmpty()) << cle.usage;
        if (cle.valeur)
            EXPECT_EQ(ligne.*cle.valeur,
                      cle.casseTapee ? QStringLiteral("On") : QStringLiteral("ON"))
                << cle.usage;
        else
            EXPECT_TRUE(ligne.trace);
        if (cle.scenario) {
            const auto lu =
                ScenarioLu::lit(QJsonObject{{QLatin1String(cle.scenario), QJsonValue(true)}});
            ASSERT_TRUE(std::holds_alternative<ScenarioLu::Refus>(lu)) << cle.scenario;
            EXPECT_NE(std::get<ScenarioLu::Refus>(lu).code, QStringLiteral("unknown_field"))
                << cle.scenario;
        }
    }
    // The table names each key once.
    QStringList noms;
    for (const CleLigneCommande& cle : clesLigneCommande())
        noms << cle.nom;
    EXPECT_EQ(noms.size(), QSet<QString>(noms.begin(), noms.end()).size());
}

// The environment gives VELORIN_<KEY> for a key the arguments leave out; the arguments win, an
// empty variable is absent, and a value keeps its letter case only where the key's does.
TEST(LigneCommande, KeysFromTheEnvironment)
{
    struct Cas
    {
        const char* nom;
        const char* arguments;
        std::vector<std::pair<const char*, const char*>> variables;
        std::optional<QString> LigneCommande::*membre;
        std::optional<QString> attendu;
    };
    const std::vector<Cas> cas = {
        {"absent des arguments",
         "",
         {{"VELORIN_PORTIP", "10001"}},
         &LigneCommande::portIP,
         QStringLiteral("10001")},
        {"les arguments gagnent",
         "PORTIP=5",
         {{"VELORIN_PORTIP", "10001"}},
         &LigneCommande::portIP,
         QStringLiteral("5")},
        {"vide : absent",
         "",
         {{"VELORIN_CONTROL", ""}},
         &LigneCommande::portControle,
         std::nullopt},
        {"majuscules pour un mode",
         "",
         {{"VELORIN_MODE", "moduleLasers"}},
         &LigneCommande::mode,
         QStringLiteral("MODULELASERS")},
        {"casse gardée pour un fichier, blancs compris",
         "",
         {{"VELORIN_SCENARIO", "/etc/Velorin/mon scenario.json"}},
         &LigneCommande::scenario,
         QStringLiteral("/etc/Velorin/mon scenario.json")},
        {"une clé qui finit une autre ne la donne pas",
         "",
         {{"VELORIN_CONTROL_BIND", "0.0.0.0"}},
         &LigneCommande::adresse,
         std::nullopt},
        {"et l'autre est lue",
         "",
         {{"VELORIN_CONTROL_BIND", "0.0.0.0"}},
         &LigneCommande::adresseControle,
         QStringLiteral("0.0.0.0")},
        {"sans préfixe, rien", "", {{"PORTIP", "7"}}, &LigneCommande::portIP, std::nullopt},
    };
    for (const Cas& c : cas) {
        QProcessEnvironment environnement;
        for (const auto& [variable, valeur] : c.variables)
            environnement.insert(QString::fromUtf8(variable), QString::fromUtf8(valeur));
        const LigneCommande ligne =
            LigneCommande::lire(QString::fromUtf8(c.arguments), environnement);
        EXPECT_EQ(ligne.*c.membre, c.attendu) << c.nom;
        EXPECT_TRUE(ligne.inconnus.isEmpty()) << c.nom;
    }
    // TRACE= has no value of its own to keep: the arguments' OFF still wins over ON.
    QProcessEnvironment trace;
    trace.insert(QStringLiteral("VELORIN_TRACE"), QStringLiteral("on"));
    EXPECT_TRUE(LigneCommande::lire(QString(), trace).trace);
    EXPECT_FALSE(LigneCommande::lire(QStringLiteral("TRACE=OFF"), trace).trace);
    // Every key of the table has its variable.
    for (const CleLigneCommande& cle : clesLigneCommande()) {
        QProcessEnvironment environnement;
        environnement.insert(variableEnvironnement(cle), QStringLiteral("On"));
        const LigneCommande ligne = LigneCommande::lire(QString(), environnement);
        if (cle.valeur)
            EXPECT_EQ(ligne.*cle.valeur,
                      cle.casseTapee ? QStringLiteral("On") : QStringLiteral("ON"))
                << cle.usage;
        else
            EXPECT_TRUE(ligne.trace);
    }
}
