#include "app/controle/ScenarioLu.h"
#include "sim/MoteurDefauts.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace {

QJsonValue json(const char* texte)
{
    const QJsonDocument d = QJsonDocument::fromJson(texte);
    return d.isArray() ? QJsonValue(d.array()) : QJsonValue(d.object());
}

// A member nothing reads is named by its whole path, at any depth, in scenarios and rules
// alike, with the same reason and code.
TEST(MembresInconnus, NamedByTheirPathWhereverTheyAre)
{
    const struct
    {
        const char* nom;
        const char* document;
        const char* champ;
    } scenarios[] = {
        {"top", R"({"state": {}, "graine": 7})", "graine"},
        {"clock", R"({"clock": {"speed": 2, "pas": 1}})", "clock.pas"},
        {"autoHoming", R"({"auto_homing": {"delay_ms": 5, "axis": "X"}})", "auto_homing.axis"},
    };
    for (const auto& c : scenarios) {
        const auto lu = ScenarioLu::lit(json(c.document).toObject());
        ASSERT_TRUE(std::holds_alternative<ScenarioLu::Refus>(lu)) << c.nom;
        const auto& refus = std::get<ScenarioLu::Refus>(lu);
        EXPECT_EQ(refus.champ, QLatin1String(c.champ)) << c.nom;
        EXPECT_EQ(refus.raison, QStringLiteral("unknown field")) << c.nom;
        EXPECT_EQ(refus.code, QStringLiteral("unknown_field")) << c.nom;
    }

    const struct
    {
        const char* nom;
        const char* regles;
        const char* chemin;
        const char* champ;
    } regles[] = {
        {"rule", R"({"action": {"type": "drop"}, "x": 1})", "", "x"},
        {"match", R"({"match": {"cmd": "P"}, "action": {"type": "drop"}})", "", "match.cmd"},
        {"action", R"({"action": {"type": "drop", "ms": 1}})", "", "action.ms"},
        {"inAList", R"([{"action": {"type": "drop"}}, {"action": {"type": "refuse", "y": 0}}])", "",
         "[1].action.y"},
        {"set", R"({"seed": 1, "faults": [], "graine": 2})", "", "graine"},
        {"underAPath", R"({"seed": 1, "regles": []})", "faults", "faults.regles"},
    };
    for (const auto& c : regles) {
        PanneauFactice panneau;
        HorlogeFigee horloge;
        MoteurDefauts moteur(
            panneau, panneau, [] { return 0.0; }, horloge);
        const auto lu = moteur.ajoute(json(c.regles), QLatin1String(c.chemin));
        ASSERT_TRUE(std::holds_alternative<RegleDefaut::Erreur>(lu)) << c.nom;
        const auto& erreur = std::get<RegleDefaut::Erreur>(lu);
        EXPECT_EQ(erreur.champ, QLatin1String(c.champ)) << c.nom;
        EXPECT_EQ(erreur.raison, QStringLiteral("unknown field")) << c.nom;
        EXPECT_EQ(erreur.code, QStringLiteral("unknown_field")) << c.nom;
    }
}

} // namespace
