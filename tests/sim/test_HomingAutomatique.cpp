#include "sim/HomingAutomatique.h"
#include "sim/MoteurDefauts.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

namespace {

const QString Homing = QString(QChar(27)) + QStringLiteral("Z1X\r");

// A homing asked completes once its delay of device time has gone, and only then.
TEST(HomingAutomatique, AxisTicksOnceItsDelayHasGone)
{
    PanneauFactice panneau;
    HorlogeFigee horloge;
    HomingAutomatique homing(panneau, panneau, horloge);
    homing.regle(300);
    homing.requete(Homing, 1000);
    homing.temps(1299);
    EXPECT_FALSE(panneau.homingX);
    homing.temps(1300);
    EXPECT_TRUE(panneau.homingX);
    EXPECT_FALSE(panneau.homingZ);
    // Stamped by the clock it was handed, not the system's.
    EXPECT_EQ(panneau.lignes,
              QStringList{QStringLiteral("08:54:28.3 homing X fait (automatique)")});
}

TEST(HomingAutomatique, ResetForgetsWhatWasAsked)
{
    PanneauFactice panneau;
    HorlogeFigee horloge;
    HomingAutomatique homing(panneau, panneau, horloge);
    homing.regle(0);
    homing.requete(Homing, 0);
    homing.oublie();
    homing.temps(10);
    EXPECT_FALSE(panneau.homingX);
}

// A firing's log line carries the stamp of the clock the engine was handed.
TEST(MoteurDefauts, FiringStampedByTheClockItWasHanded)
{
    PanneauFactice panneau;
    HorlogeFigee horloge;
    horloge.heure = QTime(17, 3, 9);
    horloge.secondes = 61389.7f;
    MoteurDefauts moteur(
        panneau, panneau, [] { return 0.0; }, horloge);
    const auto ids = moteur.ajoute(
        QJsonDocument::fromJson(R"({"match":{"command":"P"},"action":{"type":"drop"}})").object());
    ASSERT_TRUE(std::holds_alternative<QList<int>>(ids));
    EXPECT_TRUE(moteur.requete(1, QString(QChar(27)) + QStringLiteral("P1\r")).supprime);
    ASSERT_FALSE(panneau.lignes.isEmpty());
    EXPECT_TRUE(panneau.lignes.last().startsWith(QStringLiteral("17:03:09.7 défaut n° 1")))
        << panneau.lignes.last().toStdString();
}

} // namespace
