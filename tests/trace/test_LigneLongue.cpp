#include "trace/HistoriqueJournal.h"
#include "trace/Journal.h"
#include "trace/LigneLongue.h"
#include "trace/Lisible.h"

#include <gtest/gtest.h>

namespace {

TEST(LigneLongue, ReadableLengthIsTheLengthOfTheReadableText)
{
    QString tous;
    for (int code = 0; code < 256; ++code)
        tous += QChar(char16_t(code));
    tous += QChar(0x20AC); // an operator's euro sign: &8364&
    for (const QString& texte : {QString(), QStringLiteral("abc"), tous, QString(1000, QChar(19))})
        EXPECT_EQ(longueurLisible(texte), trsfChaineRecuEnLisible(texte).size());
}

TEST(LigneLongue, ALineTheLogCanKeepIsWrittenWhole)
{
    Journal journal;
    HistoriqueJournal record(journal);
    AfficheLisible(journal, QStringLiteral("<1 "), QStringLiteral("\x1bV1\r"), QStringLiteral("!"));
    AfficheBrut(journal, QStringLiteral("jog "), QStringLiteral("\x1b\r"));
    EXPECT_EQ(journal.contenu(), QStringLiteral("<1 Esc/V1Cr/!\r\njog \x1b\r\r\n"));
    EXPECT_EQ(record.total(), 2);
}

// Whatever was there before, such a line leaves the log cut back, as it would have whole;
// the record keeps its beginning and says how much was left out.
TEST(LigneLongue, AMegabyteArrivalIsNeverBuiltWhole)
{
    Journal journal;
    HistoriqueJournal record(journal);
    journal.AfficheMessage(QStringLiteral("avant"));
    const QString arrivee(10 * 1024 * 1024, QChar(27));
    AfficheLisible(journal, QStringLiteral("<1 (08:54:28.3) "), arrivee);
    EXPECT_EQ(journal.contenu(), Journal::MarqueCoupure);

    const QString ligne = record.depuis(1).at(0);
    EXPECT_TRUE(ligne.startsWith(QLatin1String("<1 (08:54:28.3) Esc/Esc/")));
    EXPECT_TRUE(ligne.endsWith(QStringLiteral(" [... %1 octets non affichés]").arg(arrivee.size() - 4096)))
        << ligne.right(60).toStdString();
    EXPECT_LT(ligne.size(), 4096 * 4 + 100);

    // At the limit: the whole line is exactly one character too long once its CR LF is added.
    Journal juste;
    AfficheBrut(juste, QStringLiteral("x"), QString(Journal::Capacite - 3, QLatin1Char('y')));
    EXPECT_EQ(juste.contenu().size(), Journal::Capacite);
    AfficheBrut(juste, QString(), QString(Journal::Capacite + 1, QLatin1Char('y')));
    EXPECT_EQ(juste.contenu(), Journal::MarqueCoupure);
}

} // namespace
