#include "trace/HistoriqueJournal.h"
#include "trace/Journal.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(HistoriqueJournal, NumbersLinesAcrossClearsAndKeepsOnlyTheNewest)
{
    Journal journal;
    HistoriqueJournal historique(journal);
    journal.AfficheMessage(QStringLiteral("un"));
    journal.AfficheMessage(QStringLiteral("clear"));
    journal.AfficheMessage(QStringLiteral("deux"));
    EXPECT_EQ(historique.total(), 2);
    EXPECT_EQ(historique.depuis(0), (QStringList{QStringLiteral("un"), QStringLiteral("deux")}));
    EXPECT_EQ(historique.depuis(1), QStringList{QStringLiteral("deux")});
    EXPECT_TRUE(historique.depuis(2).isEmpty());
    EXPECT_TRUE(historique.depuis(99).isEmpty());
    EXPECT_TRUE(historique.depuis(std::numeric_limits<qint64>::max()).isEmpty());

    for (qsizetype i = 0; i < HistoriqueJournal::LignesMax; ++i)
        journal.AfficheMessage(QString::number(i + 3));
    EXPECT_EQ(historique.premierGarde(), 3);
    const QStringList gardees = historique.depuis(0);
    ASSERT_EQ(gardees.size(), HistoriqueJournal::LignesMax);
    EXPECT_EQ(gardees.first(), QStringLiteral("3"));
    // Asked from before the oldest kept line, a script is told how many it missed.
    EXPECT_EQ(historique.premierApres(0), 3);
    EXPECT_EQ(historique.perduesApres(0), 2);
    EXPECT_EQ(historique.perduesApres(1), 1);
    EXPECT_EQ(historique.perduesApres(std::numeric_limits<qint64>::max()), 0);
    EXPECT_EQ(historique.premierApres(std::numeric_limits<qint64>::max()), historique.total() + 1);

    // A few huge lines push the old ones out too: memory stays bounded.
    journal.AfficheMessage(QString(HistoriqueJournal::CaracteresMax, QLatin1Char('x')));
    EXPECT_EQ(historique.depuis(0).size(), 1);
}

} // namespace
