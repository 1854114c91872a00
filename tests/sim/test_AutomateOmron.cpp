#include "Trames.h"
#include "sim/AutomateOmron.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

namespace {

struct Automate : ::testing::Test
{
    PanneauFactice panneau;
    HorlogeFigee horloge;
    AutomateOmron automate{panneau, horloge};
};

// Requests and replies are written without their ESC and CR.
TEST_F(Automate, WorkedExchanges)
{
    const struct
    {
        bool homingX, homingZ;
        const char *requete, *reponse, *ligne;
    } cas[] = {
        {false, false, "V1", "1version Velorin", " demande version firmware --> version Velorin"},
        // Too short for a tag: the CR takes its place.
        {false, false, "V", "\rversion Velorin", " demande version firmware --> version Velorin"},
        {false, false, "P1", "10000000000000000a", " demande position --> 0 / 0 a"},
        {false, false, "T1P", "10000000000000000", " demande si memo goulotte --> 0 / 0"},
        {true, false, "D100001200000003000", "1POM NOk",
         " demande de deplacement vers 00012000 / 00003000"},
        {true, true, "D100001200000003000", "1Ok",
         " demande de deplacement vers 00012000 / 00003000"},
        // Ready per axis: homed, or asked to go to 0.
        {true, false, "D1x0001200000000000", "1Ok",
         " demande de deplacement vers 00012000 / 00000000"},
        {false, false, "D1x0000000000000000", "1Ok",
         " demande de deplacement vers 00000000 / 00000000"},
        {false, false, "Z1X", "1Ok", " demande de HOMING sur X"},
        {false, false, "M1X+12", "1Ok", " demande JOG X+12\r  --> Ok"},
        {false, false, "SR05056", "SRCA98", " READ register 5056 --> CA98"},
        {false, false, "SW050300001", "SWOK", " WRITE register 5030 = 1  -> SWOK"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.requete);
        PanneauFactice p;
        p.homingX = c.homingX;
        p.homingZ = c.homingZ;
        AutomateOmron a(p, horloge);
        EXPECT_EQ(a.traite(trame(c.requete)), trame(c.reponse));
        EXPECT_EQ(p.lignes, QStringList{ts + QLatin1String(c.ligne)});
    }
}

TEST_F(Automate, PositionStatusLetterAndRoundedFields)
{
    const struct
    {
        const char *demX, *relX, *demZ, *relZ, *reponse, *ligne;
    } cas[] = {
        // Compared by value: leading zeros do not matter.
        {"00012000", "12000", "00003000", "00003000", "10001200000003000a", "12000 / 3000 a"},
        {"00012000", "00012000", "00003000", "1500", "10001200000001500b", "12000 / 1500 b"},
        {"00012000", "10000", "0", "00000000", "10001000000000000c", "10000 / 0 c"},
        {"1", "0", "-1", "0", "10000000000000000d", "0 / 0 d"},
        {"-0002000", "-2000", "0", "0", "1000-200000000000a", "-2000 / 0 a"},
        // Halves to the even neighbour; the status compares unrounded values.
        {"2.5", "2.5", "3.5", "3.5", "10000000200000004a", "2 / 4 a"},
        {"-2.5", "-2.5", "-1.5", "-1.5", "1000000-2000000-2a", "-2 / -2 a"},
        {"2", "2.4", "0", "0", "10000000200000000c", "2 / 0 c"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.reponse);
        panneau.lignes.clear();
        panneau.posDemX = QLatin1String(c.demX);
        panneau.posRelleX = QLatin1String(c.relX);
        panneau.posDemZ = QLatin1String(c.demZ);
        panneau.posRelleZ = QLatin1String(c.relZ);
        EXPECT_EQ(automate.traite(trame("P1")), trame(c.reponse));
        EXPECT_EQ(panneau.lignes, QStringList{ts + " demande position --> " + c.ligne});
    }
}

// The first draws of the chute sequence, which every start gives again: X in 20000..29999,
// Z in 25000..34999, X drawn before Z.
TEST_F(Automate, MemoGoulotteTickedFollowsTheFixedSequence)
{
    const struct
    {
        const char* champs;
        const char* ligne;
    } tirages[] = {
        {"0002705500030334", " demande si memo goulotte --> 27055 / 30334"},
        {"0002579500027895", " demande si memo goulotte --> 25795 / 27895"},
        {"0002301900032747", " demande si memo goulotte --> 23019 / 32747"},
    };
    panneau.tpNon0 = true;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(automate.traite(trame("T1P")),
                  trame(QLatin1Char('1') + QLatin1String(tirages[i].champs)))
            << i;
        EXPECT_EQ(panneau.lignes.takeLast(), ts + QLatin1String(tirages[i].ligne));
    }
    // Unticked requests draw nothing: the sequence takes up where it stopped.
    panneau.tpNon0 = false;
    EXPECT_EQ(automate.traite(trame("T1P")), trame("10000000000000000"));
    panneau.tpNon0 = true;
    EXPECT_EQ(automate.traite(trame("T1P")),
              trame(QLatin1Char('1') + QLatin1String(tirages[2].champs)));

    // Every start begins the same sequence again.
    AutomateOmron autre(panneau, horloge);
    EXPECT_EQ(autre.traite(trame("T9P")),
              trame(QLatin1Char('9') + QLatin1String(tirages[0].champs)));
}

TEST_F(Automate, RegisterReads)
{
    const struct
    {
        const char *numero, *champ;
    } cas[] = {{"05014", "0080"}, {"05015", "0000"}, {"05055", "3A98"}, {"05056", "CA98"},
               {"05057", "0001"}, {"05083", "38A4"}, {"05084", "BDD8"}, {"05085", "0000"},
               {"05100", "0033"}, {"05030", "0000"}, {"00000", "0000"}, {"05058", "0000"}};
    panneau.homingX = true;
    for (const auto& c : cas) {
        SCOPED_TRACE(c.numero);
        panneau.lignes.clear();
        EXPECT_EQ(automate.traite(trame(QLatin1String("SR") + c.numero)),
                  trame(QLatin1String("SR") + c.champ));
        const QString ligne =
            QStringLiteral(" READ register %1 --> %2").arg(QString(c.numero).toInt()).arg(c.champ);
        EXPECT_EQ(panneau.lignes, QStringList{ts + ligne});
    }
    panneau.homingX = false;
    panneau.homingZ = true;
    EXPECT_EQ(automate.traite(trame("SR05014")), trame("SR0000"));
    EXPECT_EQ(automate.traite(trame("SR05015")), trame("SR0080"));
}

TEST_F(Automate, RegisterWritesClearAHomingFlagOnlyWithZero)
{
    const struct
    {
        const char *requete, *reponse, *ligne;
        bool homingXApres, homingZApres;
    } cas[] = {
        {"SW050140000", "SWNO", "5014 = 0  -> SWNO", false, true},
        {"SW050150000", "SWNO", "5015 = 0  -> SWNO", true, false},
        {"SW050140001", "SWNO", "5014 = 1  -> SWNO", true, true},
        {"SW05014zz12", "SWNO", "5014 = 0  -> SWNO", false, true}, // not hexadecimal: 0
        {"SW050150a0f", "SWNO", "5015 = 2575  -> SWNO", true, true},
        {"SW050300000", "SWOK", "5030 = 0  -> SWOK", true, true},
        {"SW050290001", "SWNO", "5029 = 1  -> SWNO", true, true},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.requete);
        panneau.lignes.clear();
        panneau.homingX = panneau.homingZ = true;
        EXPECT_EQ(automate.traite(trame(c.requete)), trame(c.reponse));
        EXPECT_EQ(panneau.lignes, QStringList{ts + " WRITE register " + c.ligne});
        EXPECT_EQ(panneau.homingX, c.homingXApres);
        EXPECT_EQ(panneau.homingZ, c.homingZApres);
    }
    // Registers keep nothing: a written one still reads its table value.
    automate.traite(trame("SW050560000"));
    EXPECT_EQ(automate.traite(trame("SR05056")), trame("SRCA98"));
}

TEST_F(Automate, IgnoredRequestsLeaveNoTrace)
{
    panneau.homingX = true;
    // The last one would clear homing X if it were taken for a write.
    const QString ignorees[] = {QString(),
                                QStringLiteral("P1") + CR,
                                ESC + QStringLiteral("P1"),
                                trame("P1") + QChar(10),
                                trame("p1"),
                                trame("Q1"),
                                trame("T1X"),
                                trame("T1"),
                                trame(""),
                                trame("SX050140000")};
    for (const QString& requete : ignorees) {
        EXPECT_TRUE(automate.traite(requete).isEmpty()) << requete.toStdString();
        EXPECT_TRUE(panneau.lignes.isEmpty()) << requete.toStdString();
    }
    EXPECT_TRUE(panneau.homingX);
}

TEST_F(Automate, NonNumericFieldsAreLoggedAndIgnored)
{
    const struct
    {
        const char *requete, *ligne;
    } cas[] = {
        {"D100001200A00003000", "position non numerique : Esc/D100001200A00003000Cr/"},
        {"D10000120000000-300", "position non numerique : Esc/D10000120000000-300Cr/"},
        {"D1000012000", "position non numerique : Esc/D1000012000Cr/"}, // Z is the CR alone
        {"SR05O14", "registre non numerique : Esc/SR05O14Cr/"},
        {"SW05-140000", "registre non numerique : Esc/SW05-140000Cr/"},
    };
    panneau.homingX = true;
    panneau.posDemX = QStringLiteral("00004000");
    for (const auto& c : cas) {
        SCOPED_TRACE(c.requete);
        panneau.lignes.clear();
        EXPECT_TRUE(automate.traite(trame(c.requete)).isEmpty());
        EXPECT_EQ(panneau.lignes, QStringList{ts + " requete ignoree, " + c.ligne});
        EXPECT_EQ(panneau.posDemX, QStringLiteral("00004000"));
        EXPECT_EQ(panneau.posDemZ, QStringLiteral("0"));
        EXPECT_TRUE(panneau.homingX);
    }
}

} // namespace
