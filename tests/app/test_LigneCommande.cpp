#include "app/LigneCommande.h"

#include <gtest/gtest.h>

namespace {

struct CasLigne
{
    const char* nom;
    const char* texte;
    bool aide;
    std::optional<QString> port;
    std::optional<QString> mode;
    bool journal;
};

class Ligne : public ::testing::TestWithParam<CasLigne>
{
};

TEST_P(Ligne, KeysAreFoundAnywhereInTheUpperCasedText)
{
    const CasLigne& cas = GetParam();
    const LigneCommande ligne = LigneCommande::lire(QString::fromUtf8(cas.texte));
    EXPECT_EQ(ligne.aide, cas.aide);
    EXPECT_EQ(ligne.portIP, cas.port);
    EXPECT_EQ(ligne.mode, cas.mode);
    EXPECT_EQ(ligne.journalStdout, cas.journal);
}

INSTANTIATE_TEST_SUITE_P(
    LigneCommande, Ligne,
    ::testing::Values(
        CasLigne{"empty", "", false, std::nullopt, std::nullopt, false},
        CasLigne{"lowerCaseKeys", "portip=2000 mode=modeecho", false, "2000", "MODEECHO", false},
        CasLigne{"anyOrderAndExtraWords", "MODE=MODULELASERS PORTIP=2000 extra", false, "2000",
                 "MODULELASERS", false},
        CasLigne{"helpInsideAWord", "/?", true, std::nullopt, std::nullopt, false},
        CasLigne{"comIsIgnored", "COM=1", false, std::nullopt, std::nullopt, false},
        CasLigne{"keyWithoutValue", "portip= mode=", false, "", "", false},
        CasLigne{"keyInsideALongerWord", "xportip=7 automode=modemuet", false, "7", "MODEMUET",
                 false},
        CasLigne{"firstOccurrenceOnly", "portip=1 portip=2", false, "1", std::nullopt, false},
        // Only a blank ends a value: a tab belongs to it.
        CasLigne{"tabIsPartOfTheValue", "portip=1\t2", false, "1\t2", std::nullopt, false},
        CasLigne{"logToStdout", "Log=StdOut portip=2", false, "2", std::nullopt, true},
        CasLigne{"logToSomethingElse", "log=stdoutx", false, std::nullopt, std::nullopt, false}),
    [](const auto& cas) { return std::string(cas.param.nom); });

TEST(PortValide, WholeNumbersFrom1To65535Only)
{
    EXPECT_EQ(portValide(QStringLiteral("1")), quint16(1));
    EXPECT_EQ(portValide(QStringLiteral("10001")), quint16(10001));
    EXPECT_EQ(portValide(QStringLiteral("65535")), quint16(65535));
    EXPECT_EQ(portValide(QStringLiteral("002000")), quint16(2000));
    for (const char* faux : {"", "0", "65536", "99999999999", "-1", "+80", "12a", " 80", "8 0",
                             "1e3"})
        EXPECT_EQ(portValide(QLatin1String(faux)), std::nullopt) << faux;
}

} // namespace

namespace {

TEST(LigneCommande, ControlPortKey)
{
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("portip=2000 control=2001")).portControle,
              QStringLiteral("2001"));
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("Control=")).portControle, QString());
    EXPECT_EQ(LigneCommande::lire(QStringLiteral("portip=2000")).portControle, std::nullopt);
}

} // namespace
