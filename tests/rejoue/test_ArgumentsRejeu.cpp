#include "rejoue/ArgumentsRejeu.h"
#include "rejoue/Rejoueur.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

QStringList mots(const char* texte)
{
    return QString::fromLatin1(texte).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(ArgumentsRejeu, OptionsInAnyOrder)
{
    OptionsRejeu options;
    ASSERT_EQ(std::get<Demande>(litArguments(
                  mots("--json j.jsonl --timeout-ms 50 [::1]:7 --timing recorded"), options)),
              Demande::Rejeu);
    EXPECT_EQ(options.journal, QStringLiteral("j.jsonl"));
    EXPECT_EQ(options.hote, QStringLiteral("::1"));
    EXPECT_EQ(options.port, 7);
    EXPECT_TRUE(options.json);
    EXPECT_TRUE(options.tempsEnregistre);
    EXPECT_EQ(options.delaiMs, 50);

    OptionsRejeu egal;
    ASSERT_EQ(std::get<Demande>(litArguments(mots("--timeout-ms=9 --timing=recorded j h:1"), egal)),
              Demande::Rejeu);
    EXPECT_EQ(egal.delaiMs, 9);
    EXPECT_TRUE(egal.tempsEnregistre);
    EXPECT_FALSE(egal.json);

    // Help wins over anything wrong beside it.
    OptionsRejeu aide;
    EXPECT_EQ(std::get<Demande>(litArguments(mots("--bad -h"), aide)), Demande::Aide);
}

TEST(ArgumentsRejeu, WrongCommandLinesSayWhy)
{
    const struct
    {
        const char* ligne;
        const char* raison;
    } cas[] = {
        {"", "un journal et une adresse"},
        {"j.jsonl", "un journal et une adresse"},
        {"j.jsonl h:1 autre", "un journal et une adresse"},
        {"j.jsonl h", "adresse invalide : h"},
        {"--timing fast j h:1", "--timing attend recorded"},
        {"j h:1 --timing", "--timing attend recorded"},
        {"--timeout-ms 0 j h:1", "--timeout-ms attend"},
        {"--timeout-ms x j h:1", "--timeout-ms attend"},
        {"--jsn j h:1", "option inconnue : --jsn"},
        {"--json=1 j h:1", "option inconnue : --json=1"},
    };
    for (const auto& c : cas) {
        OptionsRejeu options;
        const auto lu = litArguments(mots(c.ligne), options);
        ASSERT_TRUE(std::holds_alternative<QString>(lu)) << c.ligne;
        EXPECT_TRUE(std::get<QString>(lu).startsWith(QString::fromUtf8(c.raison)))
            << c.ligne << ": " << std::get<QString>(lu).toStdString();
    }
}

} // namespace

TEST(Rejoueur, RecordedGapsNeverOverflowAndStayWithinAMinute)
{
    constexpr qint64 plus = std::numeric_limits<qint64>::max();
    constexpr qint64 moins = std::numeric_limits<qint64>::min();
    constexpr qint64 minute = Rejoueur::EcartMaxUs;
    const struct
    {
        const char* nom;
        qint64 precedent;
        qint64 mono;
        qint64 ecart;
    } cas[] = {
        {"forward", 1000, 4000, 3000},
        {"back, as when two runs are joined", 4000, 1000, 0},
        {"days, cut to a minute", 0, 3 * 86400LL * 1000 * 1000, minute},
        {"whole range forward", moins, plus, minute},
        {"whole range back", plus, moins, 0},
        {"just past a minute", 5, 5 + minute + 1, minute},
    };
    for (const auto& c : cas)
        EXPECT_EQ(Rejoueur::ecartUs(c.precedent, c.mono), c.ecart) << c.nom;
}
