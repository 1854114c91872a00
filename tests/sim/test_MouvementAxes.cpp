#include "Trames.h"
#include "sim/AutomateOmron.h"
#include "sim/MouvementAxes.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

namespace {

// Each axis at its own pace in the same ticks: steps, then a copy of the demand text once at
// most one step away.
TEST(MouvementAxes, StepsThenCopiesTheDemandText)
{
    const struct
    {
        const char *demX, *demZ;
        QStringList etapes; // real X and Z texts after each tick
    } cas[] = {
        {"00012000",
         "00003000",
         {"2000 1500", "4000 00003000", "6000 00003000", "8000 00003000", "10000 00003000",
          "00012000 00003000"}},
        {"-0003000", "00001501", {"-2000 1500", "-0003000 00001501"}},
        {"00002000", "-0001500", {"00002000 -0001500"}},
        {"00002001", "00000000", {"2000 00000000", "00002001 00000000"}},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.demX);
        PanneauFactice p;
        p.homingX = p.homingZ = true;
        p.posDemX = QLatin1String(c.demX);
        p.posDemZ = QLatin1String(c.demZ);
        for (const QString& etape : c.etapes + QStringList{c.etapes.last()}) {
            Timer_Deplacement_Timer(p);
            EXPECT_EQ(p.posRelleX + " " + p.posRelleZ, etape);
        }
    }
}

TEST(MouvementAxes, UntickedAxisStaysAndResumesWhereItStopped)
{
    PanneauFactice p;
    p.posDemX = QStringLiteral("00012000");
    p.posDemZ = QStringLiteral("00003000");
    for (int i = 0; i < 5; ++i)
        Timer_Deplacement_Timer(p);
    EXPECT_EQ(p.posRelleX + " " + p.posRelleZ, QStringLiteral("0 0"));

    p.homingX = true;
    Timer_Deplacement_Timer(p);
    Timer_Deplacement_Timer(p);
    p.homingX = false;
    for (int i = 0; i < 5; ++i)
        Timer_Deplacement_Timer(p);
    EXPECT_EQ(p.posRelleX + " " + p.posRelleZ, QStringLiteral("4000 0"));

    p.homingX = true;
    for (const char* etape : {"6000", "8000", "10000", "00012000"}) {
        Timer_Deplacement_Timer(p);
        EXPECT_EQ(p.posRelleX, QLatin1String(etape));
    }
}

// A refused demand stands: the host polling with P sees the axis start once it is homed.
TEST(MouvementAxes, PollingARefusedDemandUntilArrival)
{
    PanneauFactice p;
    HorlogeFigee horloge;
    AutomateOmron automate(p, horloge);

    EXPECT_EQ(automate.traite(trame("D100000400000000000")), trame("1POM NOk"));
    EXPECT_EQ(p.posDemX + " " + p.posDemZ, QStringLiteral("00004000 00000000"));
    Timer_Deplacement_Timer(p);
    EXPECT_EQ(automate.traite(trame("P1")), trame("10000000000000000c"));

    p.homingX = true;
    Timer_Deplacement_Timer(p);
    EXPECT_EQ(automate.traite(trame("P1")), trame("10000200000000000c"));
    Timer_Deplacement_Timer(p);
    EXPECT_EQ(automate.traite(trame("P1")), trame("10000400000000000a"));
}

} // namespace
