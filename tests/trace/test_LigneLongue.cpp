#include "trace/HistoriqueJournal.h"
#include "trace/Journal.h"
#include "trace/LigneLongue.h"

#include <gtest/gtest.h>

namespace {

TEST(LigneLongue, ALineTheLogCanKeepIsWrittenWhole)
{
    Journal journal;
    HistoriqueJournal record(journal);
    AfficheLisible(journal, QStringLiteral("<1 "), QStringLiteral("\x1bV1\r"), QStringLiteral("!"));
    AfficheBrut(journal, QStringLiteral("jog "), QStringLiteral("\x1b\r"));
    EXPECT_EQ(journal.contenu(), QStringLiteral("<1 Esc/V1Cr/!\r\njog \x1b\r\r\n"));
    EXPECT_EQ(record.total(), 2);
}

// The largest arrival is longer than the message area can ever keep: the area is cut back, and
// the record still holds every byte of it, readable.
TEST(LigneLongue, AWholeArrivalReachesTheRecordEvenWhenTheAreaCannotKeepIt)
{
    Journal journal;
    HistoriqueJournal record(journal);
    journal.AfficheMessage(QStringLiteral("avant"));
    QString arrivee(64 * 1024, QChar(27));
    arrivee[40000] = QLatin1Char('!');
    AfficheLisible(journal, QStringLiteral("<1 (08:54:28.3) "), arrivee);
    EXPECT_EQ(journal.contenu(), Journal::MarqueCoupure);

    const QString ligne = record.depuis(1).at(0);
    EXPECT_EQ(ligne.size(), 16 + 4 * (arrivee.size() - 1) + 1);
    EXPECT_EQ(ligne.mid(16 + 4 * 40000, 6), QStringLiteral("!Esc/E"));

    // At the limit: the whole line is exactly one character too long once its CR LF is added.
    Journal juste;
    AfficheBrut(juste, QStringLiteral("x"), QString(Journal::Capacite - 3, QLatin1Char('y')));
    EXPECT_EQ(juste.contenu().size(), Journal::Capacite);
    AfficheBrut(juste, QString(), QString(Journal::Capacite + 1, QLatin1Char('y')));
    EXPECT_EQ(juste.contenu(), Journal::MarqueCoupure);
}

} // namespace
