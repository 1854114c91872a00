#include "sim/ConversionsTrame.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Checksum, WorkedExamples)
{
    const struct
    {
        QString texte;
        const char* attendu;
    } cas[] = {
        {QStringLiteral("abc"), "DA"},
        {QStringLiteral("1OK"), "35"},
        {QStringLiteral("10500"), "0A"},
        {QStringLiteral("PXX"), "00"},
        {QString(), "00"},
        {QStringLiteral("V1"), "79"},
        {QStringLiteral("1version Simulation module Lasers"), "54"},
        {QStringLiteral("G10101000200"), "A4"},
    };
    for (const auto& c : cas)
        EXPECT_EQ(ComCalculCStarvik2(c.texte), QLatin1String(c.attendu)) << c.texte.toStdString();
}

TEST(Checksum, BytesAbove127CountAsUnsignedAndDigitsAreUpperCase)
{
    EXPECT_EQ(ComCalculCStarvik2(QString(QChar(0xFF))), QStringLiteral("01"));
    EXPECT_EQ(ComCalculCStarvik2(QString(QChar(0x80))), QStringLiteral("80"));
    EXPECT_EQ(ComCalculCStarvik2(QString(QChar(0x01))), QStringLiteral("FF"));
    // A long text whose sum passes many multiples of 256.
    EXPECT_EQ(ComCalculCStarvik2(QString(256, QChar(0xFF))), QStringLiteral("00"));
}

TEST(HexDec, Examples)
{
    const struct
    {
        QString texte;
        qint32 attendu;
    } cas[] = {
        {QStringLiteral("1F"), 31},
        {QStringLiteral("ff"), 255},
        {QStringLiteral("aB"), 171},
        {QStringLiteral("0010"), 16},
        {QStringLiteral("FFFF"), 65535},
        {QStringLiteral("1G"), 0},
        {QStringLiteral("12 "), 0},
        {QStringLiteral("-1"), 0},
        {QStringLiteral("+1"), 0},
        {QStringLiteral("0x10"), 0},
        {QString(), 0},
        {QStringLiteral("0000"), 0},
        {QStringLiteral(" 12"), 0},
        {QStringLiteral("1\r"), 0},
    };
    for (const auto& c : cas)
        EXPECT_EQ(HexDec(c.texte), c.attendu) << c.texte.toStdString();
}

TEST(HexDec, SaturatesBeyond7FFFFFFF)
{
    EXPECT_EQ(HexDec(QStringLiteral("7FFFFFFF")), std::numeric_limits<qint32>::max());
    EXPECT_EQ(HexDec(QStringLiteral("80000000")), std::numeric_limits<qint32>::max());
    EXPECT_EQ(HexDec(QStringLiteral("100000000")), std::numeric_limits<qint32>::max());
    EXPECT_EQ(HexDec(QString(40, QLatin1Char('F'))), std::numeric_limits<qint32>::max());
    EXPECT_EQ(HexDec(QStringLiteral("0000000000000001")), 1);
    // An invalid character still gives 0, whatever came before it.
    EXPECT_EQ(HexDec(QStringLiteral("FFFFFFFFFFZ")), 0);
}

} // namespace
