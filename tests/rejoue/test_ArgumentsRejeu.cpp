#include "rejoue/ArgumentsRejeu.h"
#include "rejoue/RapportJunit.h"
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

    OptionsRejeu appareils;
    ASSERT_EQ(std::get<Demande>(
                  litArguments(mots("j plc=127.0.0.1:5 --junit r.xml laser-2=[::1]:6"), appareils)),
              Demande::Rejeu);
    ASSERT_EQ(appareils.appareils.size(), 2);
    EXPECT_EQ(appareils.appareils[0].nom, QStringLiteral("plc"));
    EXPECT_EQ(appareils.appareils[0].adresse.port, 5);
    EXPECT_EQ(appareils.appareils[1].nom, QStringLiteral("laser-2"));
    EXPECT_EQ(appareils.appareils[1].adresse.hote, QStringLiteral("::1"));
    EXPECT_EQ(appareils.junit, QStringLiteral("r.xml"));
    EXPECT_TRUE(appareils.hote.isEmpty());

    OptionsRejeu pret;
    ASSERT_EQ(std::get<Demande>(litArguments(mots("--ready=p.json j"), pret)), Demande::Rejeu);
    EXPECT_EQ(pret.fichierPret, QStringLiteral("p.json"));
    EXPECT_EQ(pret.journal, QStringLiteral("j"));

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
        // One address per device, each named, each once.
        {"j plc=h:1 h:2", "h:2 : chaque adresse est NOM=HOTE:PORT quand une l'est"},
        {"j h:2 plc=h:1", "h:2 : chaque adresse est NOM=HOTE:PORT"},
        {"j p/c=h:1", "nom d'appareil invalide : p/c"},
        {"j =h:1", "nom d'appareil invalide :"},
        {"j plc=h", "adresse invalide : plc=h"},
        {"j plc=h:1 laser=h:2 plc=h:3", "appareil plc donné deux fois"},
        {"j --ready", "--ready attend un nom de fichier"},
        {"--ready= j", "--ready attend un nom de fichier"},
        {"--ready r.json j h:1", "--ready donne les adresses : aucune autre n'est attendue (h:1)"},
        {"--ready r.json", "un journal et une adresse"},
        {"j h:1 --junit", "--junit attend un nom de fichier"},
    };
    for (const auto& c : cas) {
        OptionsRejeu options;
        const auto lu = litArguments(mots(c.ligne), options);
        ASSERT_TRUE(std::holds_alternative<QString>(lu)) << c.ligne;
        EXPECT_TRUE(std::get<QString>(lu).startsWith(QString::fromUtf8(c.raison)))
            << c.ligne << ": " << std::get<QString>(lu).toStdString();
    }
}

TEST(ArgumentsRejeu, JunitFoundOnAWrongCommandLineToo)
{
    EXPECT_EQ(cheminJunit(mots("--bad --junit a.xml j")), QStringLiteral("a.xml"));
    EXPECT_EQ(cheminJunit(mots("j --junit=b.xml --timing x")), QStringLiteral("b.xml"));
    EXPECT_EQ(cheminJunit(mots("j h:1 --junit")), QString());
}

TEST(RapportJunit, WhatXmlCannotHoldIsEscapedOrReplaced)
{
    const struct
    {
        const char* nom;
        QString texte;
        bool dansAttribut;
        QString attendu;
    } cas[] = {
        {"markup", QStringLiteral("a<b>&\"c'"), true,
         QStringLiteral("a&lt;b&gt;&amp;&quot;c&apos;")},
        {"control characters, in readable notation, itself escaped",
         QString::fromLatin1("x\x01\x1b\x04\x7fy"), false,
         QStringLiteral("xSoh/Esc/&amp;4&amp;\x7fy")},
        {"line ends kept in text", QStringLiteral("a\n\tb"), false, QStringLiteral("a\n\tb")},
        {"line ends kept in an attribute", QStringLiteral("a\n\tb"), true,
         QStringLiteral("a&#10;&#9;b")},
        {"a lone surrogate and a non-character", QString(QChar(0xD800)) + QChar(0xFFFF), false,
         QString(QChar(0xFFFD)) + QChar(0xFFFD)},
        {"a pair of surrogates kept", QString::fromUtf8("\xF0\x9F\x98\x80"), false,
         QString::fromUtf8("\xF0\x9F\x98\x80")},
    };
    for (const auto& c : cas)
        EXPECT_EQ(echappeXml(c.texte, c.dansAttribut), c.attendu) << c.nom;
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
