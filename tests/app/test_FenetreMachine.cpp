#include "app/Arret.h"
#include "app/FenetrePrincipale.h"
#include "app/machine/FenetreMachine.h"
#include "app/machine/PosteMachine.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>

namespace {

DescriptionAppareil decrit(const char* nom, const char* mode)
{
    DescriptionAppareil description;
    description.nom = QLatin1String(nom);
    description.mode = QLatin1String(mode);
    return description;
}

// The selector names each device with its mode and port, and shows one device's console at a
// time: that device's model and its own log lines, never another's.
TEST(FenetreMachine, ShowsTheSelectedDeviceOnly)
{
    HorlogeDispositif horloge([] {});
    BoucleEpoll boucle;
    Arret arret([] {});
    std::vector<std::unique_ptr<PosteMachine>> postes;
    postes.push_back(
        std::make_unique<PosteMachine>(decrit("plc", "automateOMRON"), horloge, boucle, arret));
    postes.push_back(
        std::make_unique<PosteMachine>(decrit("laser", "moduleLASERS"), horloge, boucle, arret));
    postes[0]->etat().selectionneMode(QStringLiteral("automateOMRON"));
    postes[1]->etat().selectionneMode(QStringLiteral("moduleLASERS"));
    postes[1]->etat().setTxt_PortIP(QStringLiteral("4321"));
    postes[0]->journal().AfficheMessage(QStringLiteral("ligne du plc"));
    postes[1]->journal().AfficheMessage(QStringLiteral("ligne du laser"));

    FenetreMachine fenetre(postes, QStringLiteral("usine.json"));
    EXPECT_TRUE(fenetre.windowTitle().endsWith(QStringLiteral("usine.json")));
    auto* selecteur = fenetre.findChild<QComboBox*>(QStringLiteral("Cmb_Appareil"));
    ASSERT_NE(selecteur, nullptr);
    ASSERT_EQ(selecteur->count(), 2);
    EXPECT_EQ(selecteur->itemText(1), QStringLiteral("laser — moduleLASERS — 4321"));

    const auto zone = [&fenetre] {
        fenetre.console()->synchroniseZone();
        return fenetre.console()
            ->findChild<QPlainTextEdit*>(QStringLiteral("TextMsg"))
            ->toPlainText();
    };
    EXPECT_EQ(&fenetre.console()->etat(), &postes[0]->etat());
    EXPECT_TRUE(zone().contains(QStringLiteral("ligne du plc")));
    EXPECT_FALSE(zone().contains(QStringLiteral("ligne du laser")));

    fenetre.selectionne(1);
    EXPECT_EQ(selecteur->currentIndex(), 1);
    EXPECT_EQ(&fenetre.console()->etat(), &postes[1]->etat());
    EXPECT_TRUE(zone().contains(QStringLiteral("ligne du laser")));
    EXPECT_FALSE(zone().contains(QStringLiteral("ligne du plc")));

    // A mode changed elsewhere (the control API) shows in the selector.
    postes[0]->etat().selectionneMode(QStringLiteral("modeECHO"));
    EXPECT_TRUE(selecteur->itemText(0).startsWith(QStringLiteral("plc — modeECHO")));
}

} // namespace
