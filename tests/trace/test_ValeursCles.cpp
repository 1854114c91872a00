#include "trace/ValeursCles.h"

#include <gtest/gtest.h>

namespace {

// The one grammar of an address with its port: PROXY= and velorin-rejoue both read it.
TEST(ValeursCles, HostAndPortForms)
{
    const struct
    {
        const char* texte;
        const char* hote; // nullptr: refused
        quint16 port;
    } cas[] = {
        {"127.0.0.1:10001", "127.0.0.1", 10001},
        {"localhost:1", "localhost", 1},
        {"hote:080", "hote", 80},
        {"[::1]:65535", "::1", 65535},
        {"[fe80::1%eth0]:80", "fe80::1%eth0", 80},
        {"::1:4000", nullptr, 0},         // a bare IPv6 address: its last field could be the port
        {"[::1]4000", nullptr, 0},        // no colon after the bracket
        {"[localhost]:4000", nullptr, 0}, // brackets hold an IPv6 address only
        {"[127.0.0.1]:4000", nullptr, 0},
        {"[]:4000", nullptr, 0},
        {"hote:0", nullptr, 0},
        {"hote:65536", nullptr, 0},
        {"hote:+80", nullptr, 0},
        {"hote:-80", nullptr, 0},
        {"hote: 80", nullptr, 0},
        {"hote:80 ", nullptr, 0},
        {"hote:0x50", nullptr, 0},
        {"hote:99999999999999999999", nullptr, 0},
        {"hote:", nullptr, 0},
        {":80", nullptr, 0},
        {"hote", nullptr, 0},
        {"", nullptr, 0},
    };
    for (const auto& c : cas) {
        const auto lu = litHotePort(QLatin1String(c.texte));
        ASSERT_EQ(lu.has_value(), c.hote != nullptr) << c.texte;
        if (lu) {
            EXPECT_EQ(lu->hote, QLatin1String(c.hote)) << c.texte;
            EXPECT_EQ(lu->port, c.port) << c.texte;
        }
    }
}

// A seed the command line takes is one a scenario takes, and the other way round.
TEST(ValeursCles, SeedsHaveOneBoundAsTextAndAsJson)
{
    const struct
    {
        const char* texte;
        double json;
        std::optional<quint64> attendue;
    } cas[] = {
        {"0", 0, 0},
        {"7", 7, 7},
        {"9007199254740992", 9007199254740992.0, GraineMax},
        {"9007199254740993", 9007199254740994.0, std::nullopt},
        {"18446744073709551615", 18446744073709551615.0, std::nullopt},
    };
    for (const auto& c : cas) {
        EXPECT_EQ(graineTexte(QLatin1String(c.texte)), c.attendue) << c.texte;
        EXPECT_EQ(graineJson(QJsonValue(c.json)), c.attendue) << c.texte;
    }
    for (const char* faux : {"", "-1", "+5", "5 ", "x", "1e3", "0x10", "1.0"})
        EXPECT_EQ(graineTexte(QLatin1String(faux)), std::nullopt) << faux;
    for (const QJsonValue& faux : {QJsonValue(-1), QJsonValue(1.5), QJsonValue(QStringLiteral("7")),
                                   QJsonValue(true), QJsonValue()})
        EXPECT_EQ(graineJson(faux), std::nullopt);
}

TEST(ValeursCles, FramingInAnyCase)
{
    EXPECT_EQ(decoupageParCR(QStringLiteral("CR")), true);
    EXPECT_EQ(decoupageParCR(QStringLiteral("cr")), true);
    EXPECT_EQ(decoupageParCR(QStringLiteral("None")), false);
    for (const char* faux : {"", "LF", "CRLF", " CR"})
        EXPECT_EQ(decoupageParCR(QLatin1String(faux)), std::nullopt) << faux;
}

} // namespace
