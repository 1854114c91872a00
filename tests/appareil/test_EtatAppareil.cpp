#include "appareil/EtatAppareil.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>

#include <functional>

namespace {

class JournalFactice : public SortieMessages
{
public:
    QStringList lignes;
    void AfficheMessage(const QString& message) override { lignes << message; }
};

TEST(ModeSimulation, NamesAreTakenInAnyCaseAndNothingElseIsAMode)
{
    const struct
    {
        const char* nom;
        ModeSimulation mode;
    } cas[] = {
        {"automateOMRON", ModeSimulation::AutomateOmron},
        {"AUTOMATEOMRON", ModeSimulation::AutomateOmron},
        {"moduleLasers", ModeSimulation::ModuleLasers},
        {"modemuet", ModeSimulation::ModeMuet},
        {"modeECHO", ModeSimulation::ModeEcho},
        {"", ModeSimulation::Aucun},
        {"modeECHO ", ModeSimulation::Aucun},
        {"echo", ModeSimulation::Aucun},
        {"automateOMRONx", ModeSimulation::Aucun},
    };
    for (const auto& c : cas)
        EXPECT_EQ(modeDeNom(QString::fromUtf8(c.nom)), c.mode) << c.nom;
    // Each name is read back as its own mode: the selector, the replies and the API agree.
    for (ModeSimulation mode : {ModeSimulation::AutomateOmron, ModeSimulation::ModuleLasers,
                                ModeSimulation::ModeMuet, ModeSimulation::ModeEcho})
        EXPECT_EQ(modeDeNom(nomMode(mode)), mode) << nomMode(mode).toStdString();
    EXPECT_EQ(nomMode(ModeSimulation::AutomateOmron), QStringLiteral("automateOMRON"));
    EXPECT_EQ(nomMode(ModeSimulation::ModuleLasers), QStringLiteral("moduleLASERS"));
    EXPECT_EQ(nomMode(ModeSimulation::ModeMuet), QStringLiteral("modeMUET"));
    EXPECT_EQ(nomMode(ModeSimulation::ModeEcho), QStringLiteral("modeECHO"));
    EXPECT_TRUE(nomMode(ModeSimulation::Aucun).isEmpty());
}

class Etat : public ::testing::Test
{
protected:
    JournalFactice journal;
    EtatAppareil etat{journal};
};

TEST_F(Etat, StartsAsTheWindowFirstShowedIt)
{
    EXPECT_EQ(etat.modeSimulation(), ModeSimulation::Aucun);
    EXPECT_EQ(etat.Cmb_Simulate(), QString());
    for (const QString& position :
         {etat.Lbl_PosDemX(), etat.Lbl_PosDemZ(), etat.Lbl_PosRelleX(), etat.Lbl_PosRelleZ()})
        EXPECT_EQ(position, QStringLiteral("0"));
    EXPECT_FALSE(etat.Chk_HOMING_X_ok() || etat.Chk_HOMING_Z_ok() || etat.Chk_TPnon0()
                 || etat.Chk_TraceIP());
    EXPECT_EQ(etat.Txt_ValeurLu(), QStringLiteral("500"));
    EXPECT_EQ(etat.Lbl_LiaisonValide(), QStringLiteral("liaison valide ?"));
    EXPECT_FALSE(etat.fondLiaison().has_value());
    EXPECT_EQ(etat.Txt_PortIP(), QStringLiteral("10001"));
}

// A view redraws on change(): a write that changes nothing must not make it, one that changes
// something must, whichever value it is.
TEST_F(Etat, EachRealChangeIsSaidOnceAndARewriteNever)
{
    const struct
    {
        const char* nom;
        std::function<void(EtatAppareil&)> ecrit;
    } cas[] = {
        {"Lbl_PosDemX", [](EtatAppareil& e) { e.setLbl_PosDemX(QStringLiteral("12000")); }},
        {"Lbl_PosDemZ", [](EtatAppareil& e) { e.setLbl_PosDemZ(QStringLiteral("3000")); }},
        {"Lbl_PosRelleX", [](EtatAppareil& e) { e.setLbl_PosRelleX(QStringLiteral("1")); }},
        {"Lbl_PosRelleZ", [](EtatAppareil& e) { e.setLbl_PosRelleZ(QStringLiteral("2")); }},
        {"Chk_HOMING_X_ok", [](EtatAppareil& e) { e.setChk_HOMING_X_ok(true); }},
        {"Chk_HOMING_Z_ok", [](EtatAppareil& e) { e.setChk_HOMING_Z_ok(true); }},
        {"Chk_TPnon0", [](EtatAppareil& e) { e.setChk_TPnon0(true); }},
        {"Chk_TraceIP", [](EtatAppareil& e) { e.setChk_TraceIP(true); }},
        {"Txt_ValeurLu", [](EtatAppareil& e) { e.setTxt_ValeurLu(QStringLiteral("1234")); }},
        {"Txt_PortIP", [](EtatAppareil& e) { e.setTxt_PortIP(QStringLiteral("0")); }},
        {"Lbl_LiaisonValide",
         [](EtatAppareil& e) { e.setLbl_LiaisonValide(QStringLiteral("port connecté"), 0xFF); }},
        {"Cmb_Simulate", [](EtatAppareil& e) { e.selectionneMode(QStringLiteral("modeecho")); }},
    };
    for (const auto& c : cas) {
        QSignalSpy changes(&etat, &EtatAppareil::change);
        c.ecrit(etat);
        EXPECT_EQ(changes.count(), 1) << c.nom;
        c.ecrit(etat);
        EXPECT_EQ(changes.count(), 1) << c.nom << ", written twice";
    }
    EXPECT_TRUE(journal.lignes.isEmpty()) << "a change of state is not a log line";
}

TEST_F(Etat, TheLinkLabelsColourAloneIsAChange)
{
    etat.setLbl_LiaisonValide(QStringLiteral("1 liaison(s) valide(s)"), 0x00FF00);
    QSignalSpy changes(&etat, &EtatAppareil::change);
    etat.setLbl_LiaisonValide(QStringLiteral("1 liaison(s) valide(s)"), 0xFF0000);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(etat.fondLiaison(), 0xFF0000u);
}

TEST_F(Etat, OnlyAKnownModeIsTakenAndOnlyANewOneIsSaid)
{
    QSignalSpy modes(&etat, &EtatAppareil::modeChange);
    const struct
    {
        const char* texte;
        bool pris;
        ModeSimulation apres;
        int dits;
    } cas[] = {
        {"automateOMRON", true, ModeSimulation::AutomateOmron, 1},
        {"AutomateOmron", true, ModeSimulation::AutomateOmron, 1},
        {"lasers", false, ModeSimulation::AutomateOmron, 1},
        {"", false, ModeSimulation::AutomateOmron, 1},
        {"MODULELASERS", true, ModeSimulation::ModuleLasers, 2},
    };
    for (const auto& c : cas) {
        EXPECT_EQ(etat.modeConnu(QString::fromUtf8(c.texte)), c.pris) << c.texte;
        EXPECT_EQ(etat.selectionneMode(QString::fromUtf8(c.texte)), c.pris) << c.texte;
        EXPECT_EQ(etat.modeSimulation(), c.apres) << c.texte;
        EXPECT_EQ(modes.count(), c.dits) << c.texte;
    }
    EXPECT_EQ(etat.Cmb_Simulate(), QStringLiteral("moduleLASERS"));
}

// A reset puts back the device, not the operator's own settings.
TEST_F(Etat, AResetPutsTheDeviceBackAndLeavesTheTraceAndTheLink)
{
    etat.selectionneMode(QStringLiteral("modeECHO"));
    etat.setLbl_PosDemX(QStringLiteral("12000"));
    etat.setLbl_PosRelleZ(QStringLiteral("3000"));
    etat.setChk_HOMING_X_ok(true);
    etat.setChk_TPnon0(true);
    etat.setTxt_ValeurLu(QStringLiteral("9"));
    etat.setChk_TraceIP(true);
    etat.setLbl_LiaisonValide(QStringLiteral("port connecté"), 0x00FF00);
    etat.setTxt_PortIP(QStringLiteral("40000"));
    QSignalSpy modes(&etat, &EtatAppareil::modeChange);

    etat.reinitialiseControles();
    EXPECT_EQ(etat.modeSimulation(), ModeSimulation::AutomateOmron);
    EXPECT_EQ(modes.count(), 1);
    // A device that started in another mode (MODE=, a machine's laser) goes back to that one.
    etat.selectionneMode(QStringLiteral("moduleLASERS"));
    etat.retiensModeDeDepart();
    etat.selectionneMode(QStringLiteral("modeECHO"));
    etat.reinitialiseControles();
    EXPECT_EQ(etat.modeSimulation(), ModeSimulation::ModuleLasers);
    EXPECT_EQ(etat.Lbl_PosDemX(), QStringLiteral("0"));
    EXPECT_EQ(etat.Lbl_PosRelleZ(), QStringLiteral("0"));
    EXPECT_FALSE(etat.Chk_HOMING_X_ok());
    EXPECT_FALSE(etat.Chk_TPnon0());
    EXPECT_EQ(etat.Txt_ValeurLu(), QStringLiteral("500"));
    EXPECT_TRUE(etat.Chk_TraceIP());
    EXPECT_EQ(etat.Lbl_LiaisonValide(), QStringLiteral("port connecté"));
    EXPECT_EQ(etat.Txt_PortIP(), QStringLiteral("40000"));
}

TEST_F(Etat, TheClearIsTwoLinesTheSecondStamped)
{
    etat.AfficheMessage(QStringLiteral("avant"));
    etat.efface();
    ASSERT_EQ(journal.lignes.size(), 3);
    EXPECT_EQ(journal.lignes.at(0), QStringLiteral("avant"));
    EXPECT_EQ(journal.lignes.at(1), QStringLiteral("clear"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d clear$"))
                    .match(journal.lignes.at(2))
                    .hasMatch())
        << journal.lignes.at(2).toStdString();
}

} // namespace
