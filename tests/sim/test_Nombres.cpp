#include "sim/Nombres.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Nombres, DecimalAcceptsWhatAHostWrites)
{
    const struct
    {
        const char* texte;
        double valeur;
        bool entier;
    } cas[] = {{"00012000", 12000, true},
               {"-0003000", -3000, true},
               {" 12 ", 12, true},
               {"+7", 7, true},
               {"1.5", 1.5, false},
               {"-.5", -0.5, false},
               {"0", 0, true},
               {"-123456789012345", -123456789012345.0, true},
               {"1234567890123456", 1234567890123456.0, true}};
    for (const auto& c : cas) {
        SCOPED_TRACE(c.texte);
        EXPECT_EQ(valeurDecimale(QLatin1String(c.texte)), c.valeur);
        EXPECT_EQ(entierDecimal(QLatin1String(c.texte)),
                  c.entier ? std::optional<qint64>(qint64(c.valeur)) : std::nullopt);
    }
}

TEST(Nombres, DecimalRefusesAnythingElse)
{
    for (const char* texte :
         {"", " ", "000-2000", "12a", "1e5", "+", ".", "-", "1 2", "\r", "0x10", "1,5"}) {
        EXPECT_EQ(valeurDecimale(QLatin1String(texte)), std::nullopt) << texte;
        EXPECT_EQ(entierDecimal(QLatin1String(texte)), std::nullopt) << texte;
    }
}

// Threshold fields of the laser module; the usual ones are in its own tests.
TEST(Nombres, LenientReadingStopsAtTheFirstCharacterThatCannotContinue)
{
    const struct
    {
        const char* texte;
        double valeur;
    } cas[] = {{"&hff", 255}, {"&O19", 1}, {"&X12", 0}, {"1e-1", 0.1}, {"1E", 1},
               {"2.5x", 2.5}, {"", 0},     {"-", 0},    {"ABCD", 0},   {"- 3", -3}};
    for (const auto& c : cas)
        EXPECT_DOUBLE_EQ(valeurSouple(QLatin1String(c.texte)), c.valeur) << c.texte;
}

TEST(Nombres, FixedWidthFieldsKeepTheLastCharacters)
{
    EXPECT_EQ(champPosition(12000), QStringLiteral("00012000"));
    EXPECT_EQ(champPosition(0), QStringLiteral("00000000"));
    EXPECT_EQ(champPosition(-2000), QStringLiteral("000-2000"));
    EXPECT_EQ(champPosition(123456789), QStringLiteral("23456789"));
    EXPECT_EQ(champPosition(std::numeric_limits<qint64>::min()), QStringLiteral("54775808"));
    // Appended after what the text already holds, as a reply and a log line are built.
    QString texte = QStringLiteral("P");
    ajouteChampPosition(texte, -7);
    ajouteEntier(texte, -1234567890123);
    EXPECT_EQ(texte, QStringLiteral("P000000-7-1234567890123"));
    EXPECT_EQ(champRegistre(51864), QStringLiteral("CA98"));
    EXPECT_EQ(champRegistre(51), QStringLiteral("0033"));
    EXPECT_EQ(champRegistre(0), QStringLiteral("0000"));
    EXPECT_EQ(champRegistre(0x12345), QStringLiteral("2345"));
}

} // namespace
