#include "sim/MoteurDefauts.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"
#include "trace/Lisible.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace {

QJsonValue json(const char* texte)
{
    const QJsonDocument d = QJsonDocument::fromJson(texte);
    return d.isArray() ? QJsonValue(d.array()) : QJsonValue(d.object());
}

struct Banc
{
    PanneauFactice panneau;
    double temps = 0;
    HorlogeFigee horloge;
    MoteurDefauts moteur{panneau, panneau, [this] { return temps; }, horloge};

    QList<int> ajoute(const char* regles)
    {
        auto r = moteur.ajoute(json(regles));
        EXPECT_TRUE(std::holds_alternative<QList<int>>(r)) << regles;
        return std::holds_alternative<QList<int>>(r) ? std::get<QList<int>>(r) : QList<int>{};
    }
    // Which of the requests, one per character command ("PVPD..."), had their reply dropped.
    QString supprimees(const QString& commandes, int canal = 1)
    {
        QString resultat;
        for (const QChar c : commandes)
            resultat +=
                moteur.requete(canal, QString(QChar(27)) + c + QStringLiteral("1\r")).supprime
                    ? QLatin1Char('x')
                    : QLatin1Char('.');
        return resultat;
    }
};

// Which requests a rule fires on: every field of the match must hold, nth and every count the
// requests that match the rest.
TEST(MoteurDefauts, MatchingFiresExactlyWhereAsked)
{
    const struct
    {
        const char* nom;
        const char* regle;
        const char* commandes;
        const char* attendu;
    } cas[] = {
        {"command", R"({"match":{"command":"D"},"action":{"type":"drop"}})", "PDVD", ".x.x"},
        {"nthOfTheMatching", R"({"match":{"command":"D","nth":2},"action":{"type":"drop"}})",
         "DPDD", "..x."},
        {"every", R"({"match":{"every":2},"action":{"type":"drop"}})", "PPPPP", ".x.x."},
        {"count", R"({"match":{"command":"P"},"action":{"type":"drop"},"count":2})", "PPPP",
         "xx.."},
        {"mode", R"({"match":{"mode":"moduleLASERS"},"action":{"type":"drop"}})", "PP", ".."},
        {"modeAnyCase", R"({"match":{"mode":"AutomateOmron"},"action":{"type":"drop"}})", "P", "x"},
        {"regex", R"({"match":{"request":"^Esc/V1"},"action":{"type":"drop"}})", "PVP", ".x."},
        {"noMatchAll", R"({"action":{"type":"drop"}})", "PV", "xx"},
    };
    for (const auto& c : cas) {
        Banc b;
        b.ajoute(c.regle);
        EXPECT_EQ(b.supprimees(QLatin1String(c.commandes)), QLatin1String(c.attendu)) << c.nom;
    }

    Banc canal;
    canal.ajoute(R"({"match":{"channel":2},"action":{"type":"drop"}})");
    EXPECT_EQ(canal.supprimees(QStringLiteral("PP"), 1), QStringLiteral(".."));
    EXPECT_EQ(canal.supprimees(QStringLiteral("PP"), 2), QStringLiteral("xx"));
    EXPECT_EQ(canal.panneau.lignes.size(), 2);
    EXPECT_TRUE(canal.panneau.lignes.at(0).endsWith(
        QStringLiteral(" défaut n° 1 drop : pas de réponse sur canal 2")));
}

// The same seed gives the same draws, so a run repeats exactly; another seed, other draws.
TEST(MoteurDefauts, ASeededProbabilityRepeats)
{
    const auto tirages = [](quint64 graine) {
        Banc b;
        b.moteur.graine(graine);
        b.ajoute(R"({"match":{"probability":0.5},"action":{"type":"drop"}})");
        return b.supprimees(QString(64, QLatin1Char('P')));
    };
    const QString premier = tirages(7);
    EXPECT_EQ(tirages(7), premier);
    EXPECT_NE(tirages(8), premier);
    EXPECT_GT(premier.count(QLatin1Char('x')), 16);
    EXPECT_LT(premier.count(QLatin1Char('x')), 48);

    Banc ensemble;
    ensemble.ajoute(
        R"({"seed":7,"faults":[{"match":{"probability":0.5},"action":{"type":"drop"}}]})");
    EXPECT_EQ(ensemble.supprimees(QString(64, QLatin1Char('P'))), premier) << "the rule set's seed";
}

// A list is taken whole or not at all, and the error names the field and gives its code.
TEST(MoteurDefauts, ABadRuleRefusesTheWholeSetAndNamesItsField)
{
    const struct
    {
        const char* corps;
        const char* champ;
        const char* code;
    } cas[] = {
        {R"([{"action":{"type":"drop"}},{"action":{"type":"delay","ms":-1}}])", "[1].action.ms",
         "out_of_range"},
        {R"([{"action":{"type":"warp"}}])", "[0].action.type", "invalid_value"},
        {R"({"action":{"type":"drop"},"cuont":1})", "cuont", "unknown_field"},
        {R"({"match":{"nth":0},"action":{"type":"drop"}})", "match.nth", "out_of_range"},
        {R"({"match":{"probability":1.5},"action":{"type":"drop"}})", "match.probability",
         "out_of_range"},
        {R"({"match":{"request":"("},"action":{"type":"drop"}})", "match.request", "invalid_value"},
        {R"({"match":{"command":"DD"},"action":{"type":"drop"}})", "match.command",
         "invalid_value"},
        // A mode no request is received in: the rule would never fire.
        {R"({"match":{"mode":"automateOMRN"},"action":{"type":"drop"}})", "match.mode",
         "invalid_value"},
        // A connection carries no request to match.
        {R"({"match":{"command":"P"},"action":{"type":"refuse"}})", "match.command",
         "bad_combination"},
        {R"([{"action":{"type":"drop"}},{"match":{"mode":"modeECHO"},"action":{"type":"greeting","bytes":"G"}}])",
         "[1].match.mode", "bad_combination"},
        {R"({"match":{"request":"^$"},"action":{"type":"accept_delay","ms":5}})", "match.request",
         "bad_combination"},
        {R"({"action":{"type":"axis_stop","axis":"Y","at":1}})", "action.axis", "invalid_value"},
        {R"({"action":{"type":"reply","bytes":"\u20ac"}})", "action.bytes", "invalid_value"},
        {R"({"action":{"type":"corrupt","how":"scramble"}})", "action.how", "invalid_value"},
        {R"({"action":{"type":"close","when":"later"}})", "action.when", "invalid_value"},
        {R"({"match":{"command":"D"}})", "action", "invalid_value"},
        {R"({"action":"drop"})", "action", "wrong_type"},
        {R"({"match":"P","action":{"type":"drop"}})", "match", "wrong_type"},
        {R"({"seed":-1,"faults":[]})", "seed", "invalid_value"},
        {R"({"seed":1,"faults":{}})", "faults", "wrong_type"},
        {R"(3)", "", "invalid_value"},
    };
    for (const auto& c : cas) {
        Banc b;
        const auto r = b.moteur.ajoute(QByteArray(c.corps) == "3" ? QJsonValue(3) : json(c.corps));
        ASSERT_TRUE(std::holds_alternative<RegleDefaut::Erreur>(r)) << c.corps;
        EXPECT_EQ(std::get<RegleDefaut::Erreur>(r).champ, QLatin1String(c.champ)) << c.corps;
        EXPECT_EQ(std::get<RegleDefaut::Erreur>(r).code, QLatin1String(c.code)) << c.corps;
        EXPECT_FALSE(b.moteur.actif()) << c.corps;
    }
}

// What a rule's mode may name, in any letter case, and what a connection rule may match on.
TEST(MoteurDefauts, RulesWithinTheirBoundsAreTaken)
{
    for (const char* corps : {
             R"({"match":{"mode":"MODULElasers"},"action":{"type":"drop"}})",
             R"({"match":{"mode":"modemuet","command":"P"},"action":{"type":"drop"}})",
             R"({"match":{"channel":2,"every":3},"action":{"type":"refuse"}})",
             R"({"match":{"nth":2,"probability":0.5},"action":{"type":"greeting","bytes":"G"}})",
         }) {
        Banc b;
        EXPECT_FALSE(std::holds_alternative<RegleDefaut::Erreur>(b.moteur.ajoute(json(corps))))
            << corps;
    }
}

// after_ms arms a rule and duration_ms ends it, both in device time.
TEST(MoteurDefauts, DeviceTimeArmsAndEndsRules)
{
    Banc b;
    b.ajoute(R"({"action":{"type":"drop"},"after_ms":300,"duration_ms":200})");
    EXPECT_EQ(b.supprimees(QStringLiteral("P")), QStringLiteral("."));
    b.temps = 300;
    EXPECT_EQ(b.supprimees(QStringLiteral("P")), QStringLiteral("x"));
    b.temps = 499;
    EXPECT_EQ(b.supprimees(QStringLiteral("P")), QStringLiteral("x"));
    b.temps = 500;
    EXPECT_EQ(b.supprimees(QStringLiteral("P")), QStringLiteral("."));
    EXPECT_FALSE(b.moteur.actif()) << "an ended rule goes";
}

TEST(MoteurDefauts, ARepliesBytesAreChangedAsAsked)
{
    const QString laser = QStringLiteral("/105000A\r");
    const struct
    {
        const char* action;
        QString attendu;
    } cas[] = {
        {R"({"type":"corrupt","how":"checksum"})", QStringLiteral("/105000B\r")},
        {R"({"type":"corrupt","how":"byte","at":2})", QStringLiteral("/205000A\r")},
        {R"({"type":"corrupt","how":"truncate","length":4})", QStringLiteral("/105")},
        {R"({"type":"reply","bytes":"Esc/1POM NOkCr/"})", QStringLiteral("\x1b"
                                                                         "1POM NOk\r")},
        {R"({"type":"reply","bytes":"&0&&255&a&b"})",
         QString(QChar(0)) + QChar(255) + QStringLiteral("a&b")},
    };
    for (const auto& c : cas) {
        Banc b;
        b.ajoute((QByteArray(R"({"action":)") + c.action + "}").constData());
        const DecisionReponse d = b.moteur.requete(1, QStringLiteral("\x1bM10121\r"));
        EXPECT_EQ(d.transforme(laser), c.attendu) << c.action;
    }
    EXPECT_EQ(depuisLisible(trsfChaineRecuEnLisible(QStringLiteral("\x1b\x01\r\n\x7f~&"))),
              QStringLiteral("\x1b\x01\r\n\x7f~&"));
}

// PLC faults without a request match hold from their arming; with one, from the request that
// fires them.
TEST(MoteurDefauts, PlcFaultsHoldOnceArmed)
{
    Banc b;
    b.panneau.homingZ = true;
    b.ajoute(R"([{"action":{"type":"axis_stop","axis":"X","at":6000}},
                 {"action":{"type":"homing_lost","axis":"Z"},"after_ms":200},
                 {"match":{"command":"S"},"action":{"type":"register","number":5014,"value":7}}])");
    b.moteur.temps();
    EXPECT_EQ(b.moteur.arret(QLatin1Char('X')), 6000);
    EXPECT_EQ(b.moteur.arret(QLatin1Char('Z')), std::nullopt);
    EXPECT_EQ(b.moteur.registre(5014), std::nullopt) << "not before an S request";
    EXPECT_TRUE(b.panneau.homingZ);
    b.temps = 200;
    b.moteur.temps();
    EXPECT_FALSE(b.panneau.homingZ);
    b.moteur.requete(1, QStringLiteral("\x1bSR05014\r"));
    EXPECT_EQ(b.moteur.registre(5014), 7u);
    EXPECT_EQ(b.moteur.registre(5015), std::nullopt);
}

} // namespace
