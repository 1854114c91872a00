#include "Trames.h"
#include "sim/ConversionsTrame.h"
#include "sim/ModuleLasers.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

namespace {

// ESC, body, checksum as the host sends it, CR.
QString requete(const char* corps, const char* checksum)
{
    return ESC + QLatin1String(corps) + QLatin1String(checksum) + CR;
}

struct Lasers : ::testing::Test
{
    PanneauFactice panneau;
    HorlogeFigee horloge;
    ModuleLasers lasers{panneau, horloge};

    // Runs one frame; returns its reply and leaves its log lines in panneau.lignes.
    QString traite(const QString& texte)
    {
        panneau.lignes.clear();
        return lasers.traite(texte);
    }
};

TEST_F(Lasers, EveryCommandPayloadAndLogLine)
{
    const struct
    {
        const char *corps, *cs, *reponse, *ligne; // reponse: payload and checksum
    } cas[] = {
        {"V1", "79", "1version Simulation module Lasers54",
         " demande version -> 1version Simulation module Lasers"},
        {"Q101", "1D", "1OK35", " demande RESET mode 1 -> 1OK"},
        {"X1011", "E5", "1OK35", " demande laser n° 1 on/off=1 -> 1OK"},
        {"G10101000200", "A4", "1OK35", " active mode detect laser n° 1 min=100 max=200 -> 1OK"},
        {"M101", "21", "105000A", " lecture mesure laser n° 1 -> 10500"},
        {"C1", "8C", "124039", " demande tension alim -> 1240"},
        {"X1x20", "9D", "1OK35", " demande laser n° 2 on/off=0 -> 1OK"},
        {"g1", "68", "1006F", " lecture detect -> 100"},
        {"M7x2", "D2", "7050004", " lecture mesure laser n° 2 -> 70500"},
        {"Y1ABCDEFGH", "52", "1OK35", " renome carte -> 1OK"},
        // Too short: parameters fall on the checksum and the CR, or past the end.
        {"V", "AA", "Aversion Simulation module Lasers44",
         " demande version -> Aversion Simulation module Lasers"},
        {"X1", "77", "1OK35", " demande laser n° 7 on/off=\r -> 1OK"},
        {"G1", "88", "1OK35", " active mode detect laser n° 8 min=0 max=0 -> 1OK"},
        // Two frames in one text: one body up to the last checksum, which matches it.
        {"V179\r\x1bQ101", "FE", "1version Simulation module Lasers54",
         " demande version -> 1version Simulation module Lasers"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.corps);
        EXPECT_EQ(traite(requete(c.corps, c.cs)), QLatin1Char('/') + QLatin1String(c.reponse) + CR);
        EXPECT_EQ(panneau.lignes, QStringList{ts + QString::fromUtf8(c.ligne)});
    }
}

TEST_F(Lasers, ChecksumErrorsAreLoggedInThreeLinesAndNotAnswered)
{
    const struct
    {
        QString texte;
        const char *calcule, *lisible;
    } cas[] = {
        {requete("V1", "7A"), "79", "Esc/V17ACr/"},
        {requete("G10101000200", "a4"), "A4", "Esc/G10101000200a4Cr/"},
        {requete("V179\r\x1bQ101", "1D"), "FE", "Esc/V179Cr/Esc/Q1011DCr/"},
        // No room for a checksum.
        {QString(ESC) + CR, "00", "Esc/Cr/"},
        {ESC + QStringLiteral("V") + CR, "00", "Esc/VCr/"},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.lisible);
        EXPECT_TRUE(traite(c.texte).isEmpty());
        EXPECT_EQ(panneau.lignes,
                  (QStringList{ts + " erreur de checksum",
                               "   check sum calculer = " + QLatin1String(c.calcule),
                               "   chaine recu = " + QLatin1String(c.lisible)}));
    }
}

TEST_F(Lasers, IgnoredWithoutATrace)
{
    // An empty body is valid, but "0" is no command.
    const QString ignorees[] = {QString(),
                                QStringLiteral("V179") + CR,
                                ESC + QStringLiteral("V179"),
                                requete("V1", "79") + QChar(10),
                                requete("", "00"),
                                requete("Z1", "75")};
    for (const QString& texte : ignorees) {
        EXPECT_TRUE(traite(texte).isEmpty()) << texte.toStdString();
        EXPECT_TRUE(panneau.lignes.isEmpty()) << texte.toStdString();
    }
}

TEST_F(Lasers, MeasurementIsTheLastFourCharactersOfTheOperatorsText)
{
    const struct
    {
        const char *valeur, *reponse;
    } cas[] = {{"", "100000F"}, {"12345", "1234501"}, {"ab", "100abAC"}, {"500", "105000A"}};
    for (const auto& c : cas) {
        panneau.valeurLu = QLatin1String(c.valeur);
        EXPECT_EQ(traite(requete("M101", "21")), QLatin1Char('/') + QLatin1String(c.reponse) + CR)
            << c.valeur;
    }
}

TEST_F(Lasers, DetectionThresholdsAreReadLeniently)
{
    const struct
    {
        const char *seuils, *log;
    } cas[] = {{"0100-005", "min=100 max=-5"},
               {"12AB    ", "min=12 max=0"},
               {"&HFF&O17", "min=255 max=15"},
               {" 1 21E2 ", "min=12 max=100"}};
    for (const auto& c : cas) {
        const QString corps = QStringLiteral("G1x2") + QLatin1String(c.seuils);
        EXPECT_EQ(traite(ESC + corps + ComCalculCStarvik2(corps) + CR),
                  QStringLiteral("/1OK35") + CR);
        EXPECT_EQ(panneau.lignes,
                  QStringList{ts + QString::fromUtf8(" active mode detect laser n° 2 ") + c.log
                              + " -> 1OK"});
    }
}

} // namespace
