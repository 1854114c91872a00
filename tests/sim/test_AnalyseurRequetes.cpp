#include "Trames.h"
#include "sim/AnalyseurRequetes.h"
#include "support/CanalFactice.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

namespace {

struct Analyseur : ::testing::Test
{
    PanneauFactice panneau;
    CanalFactice canal;
    HorlogeFigee horloge;
    AnalyseurRequetes analyseur{panneau, canal, horloge};

    QStringList envois() const
    {
        QStringList chaines;
        for (const auto& e : canal.envois)
            chaines << e.chaine;
        return chaines;
    }
};

TEST_F(Analyseur, RoadOfOneRequest)
{
    analyseur.AnalyseChaineRecu(trame("P1"));
    EXPECT_EQ(panneau.lignes, QStringList{ts + " demande position --> 0 / 0 a"});
    ASSERT_EQ(canal.envois.size(), 1);
    EXPECT_EQ(canal.envois[0].canal, 1);
    EXPECT_EQ(canal.envois[0].chaine, trame("10000000000000000a"));
    EXPECT_EQ(canal.envois[0].chaine.size(), 20);
}

// One text that every mode takes: a PLC version request that is also a valid laser frame. The
// rows share one analyser, so each also shows that the mode is read afresh for every text.
TEST_F(Analyseur, ModeIsTheSelectorUpperCasedAndExact)
{
    const QString requete = trame("V179");
    const struct
    {
        const char* mode;
        QString reponse, ligne; // empty: nothing sent, no log line
    } cas[] = {
        {"automateOMRON", trame("1version Velorin"),
         ts + " demande version firmware --> version Velorin"},
        {"AutomateOmron", trame("1version Velorin"),
         ts + " demande version firmware --> version Velorin"},
        {"moduleLASERS", QStringLiteral("/1version Simulation module Lasers54") + CR,
         ts + " demande version -> 1version Simulation module Lasers"},
        {"modeECHO", requete, ts + "mode ECHO -> Esc/V179Cr/"},
        {"modeecho", requete, ts + "mode ECHO -> Esc/V179Cr/"},
        {"modeMUET", QString(), ts + "mode MUET recu= Esc/V179Cr/"},
        {" modeECHO", QString(), QString()},
        {"modeECHO ", QString(), QString()},
        {"ECHO", QString(), QString()},
        {"", QString(), QString()},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.mode);
        panneau.mode = QLatin1String(c.mode);
        panneau.lignes.clear();
        canal.envois.clear();
        analyseur.AnalyseChaineRecu(requete);
        EXPECT_EQ(envois(), c.reponse.isEmpty() ? QStringList() : QStringList{c.reponse});
        EXPECT_EQ(panneau.lignes, c.ligne.isEmpty() ? QStringList() : QStringList{c.ligne});
    }
}

TEST_F(Analyseur, EchoAndMuteTakeAnyText)
{
    panneau.mode = QStringLiteral("modeECHO");
    QString texte = trame("P1");
    for (int code : {0, 10, 127, 128, 200, 255})
        texte += QChar(char16_t(code));
    analyseur.AnalyseChaineRecu(texte);
    analyseur.AnalyseChaineRecu(QString()); // logged, but there is nothing to send
    panneau.mode = QStringLiteral("modeMUET");
    analyseur.AnalyseChaineRecu(QString());

    EXPECT_EQ(envois(), QStringList{texte});
    EXPECT_EQ(panneau.lignes, (QStringList{ts + "mode ECHO -> Esc/P1Cr/Nul/Lf/&127&&128&&200&&255&",
                                           ts + "mode ECHO -> ", ts + "mode MUET recu= "}));
}

TEST_F(Analyseur, ReplyGoesToTheCurrentChannel)
{
    canal.canalCourant = 3;
    analyseur.AnalyseChaineRecu(trame("V1"));
    ASSERT_EQ(canal.envois.size(), 1);
    EXPECT_EQ(canal.envois[0].canal, 3);
}

} // namespace
