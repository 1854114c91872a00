#include "trace/Lisible.h"

#include <gtest/gtest.h>

namespace {

QString octets(std::initializer_list<int> codes)
{
    QString s;
    for (int c : codes)
        s += QChar(char16_t(c));
    return s;
}

TEST(Lisible, EveryNamedControlCharacter)
{
    const struct
    {
        int code;
        const char* nom;
    } noms[] = {{0, "Nul/"},   {1, "Soh/"},  {2, "Stx/"}, {3, "Etx/"},  {5, "Enq/"},
                {6, "Ack/"},   {10, "Lf/"},  {13, "Cr/"}, {16, "Dle/"}, {17, "Xon/"},
                {19, "Xoff/"}, {21, "Nak/"}, {27, "Esc/"}};
    for (const auto& n : noms)
        EXPECT_EQ(trsfChaineRecuEnLisible(octets({n.code})), QLatin1String(n.nom)) << n.code;
}

TEST(Lisible, UnnamedCodesOutsidePrintableRangeAsDecimalBetweenAmpersands)
{
    for (int code : {4, 7, 8, 9, 11, 12, 14, 15, 18, 20, 22, 23, 24, 25, 26, 28, 29, 30, 31})
        EXPECT_EQ(trsfChaineRecuEnLisible(octets({code})), QStringLiteral("&%1&").arg(code))
            << code;
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({127})), QStringLiteral("&127&"));
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({200})), QStringLiteral("&200&"));
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({233})), QStringLiteral("&233&"));
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({255})), QStringLiteral("&255&"));
}

TEST(Lisible, PrintableRangeBoundsAreCopied)
{
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({32, 126})), QStringLiteral(" ~"));
    EXPECT_EQ(trsfChaineRecuEnLisible(QStringLiteral("&4&")), QStringLiteral("&4&"));
    EXPECT_EQ(trsfChaineRecuEnLisible(QString()), QString());
}

TEST(Lisible, FramesFromTheProtocols)
{
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({27, 'V', 13})), QStringLiteral("Esc/VCr/"));
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({'A', 9, 'B'})), QStringLiteral("A&9&B"));
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({2, '1', '2', 3})), QStringLiteral("Stx/12Etx/"));
    EXPECT_EQ(trsfChaineRecuEnLisible(octets({27, 'P', '1', 13, 10})),
              QStringLiteral("Esc/P1Cr/Lf/"));
}

} // namespace
