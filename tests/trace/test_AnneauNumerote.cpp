#include "trace/AnneauNumerote.h"

#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QStringList>

#include <limits>

namespace {

constexpr qint64 Max = std::numeric_limits<qint64>::max();

// What a reader is given after the number it last saw, for rings bounded in count or in size.
TEST(AnneauNumerote, AReaderGetsWhatCameAfterItAndIsToldWhatItMissed)
{
    const struct
    {
        const char* nom;
        qsizetype nombreMax;
        qsizetype tailleMax;
        QStringList ajoutees;
        qint64 apres;
        QStringList attendues;
        qint64 premier;
        qint64 perdues;
    } cas[] = {
        {"empty", 3, 100, {}, 0, {}, 1, 0},
        {"all", 3, 100, {"a", "b"}, 0, {"a", "b"}, 1, 0},
        {"afterTheFirst", 3, 100, {"a", "b"}, 1, {"b"}, 2, 0},
        {"upToDate", 3, 100, {"a", "b"}, 2, {}, 3, 0},
        {"aheadOfTheTotal", 3, 100, {"a", "b"}, 7, {}, 3, 0},
        {"largestNumber", 3, 100, {"a", "b"}, Max, {}, 3, 0},
        {"countBoundMissed", 2, 100, {"a", "b", "c", "d"}, 0, {"c", "d"}, 3, 2},
        {"countBoundPartlyMissed", 2, 100, {"a", "b", "c", "d"}, 1, {"c", "d"}, 3, 1},
        {"countBoundNothingMissed", 2, 100, {"a", "b", "c", "d"}, 3, {"d"}, 4, 0},
        {"sizeBound", 10, 4, {"aa", "bb", "cc"}, 0, {"bb", "cc"}, 2, 1},
        {"newestKeptThoughTooLarge", 10, 4, {"aa", "bbbbbbb"}, 0, {"bbbbbbb"}, 2, 1},
        {"sizeBoundExactlyMet", 10, 4, {"a", "bbb"}, 0, {"a", "bbb"}, 1, 0},
    };
    for (const auto& c : cas) {
        AnneauNumerote<QString> anneau(c.nombreMax, c.tailleMax);
        for (const QString& ligne : c.ajoutees)
            anneau.ajoute(ligne);
        EXPECT_EQ(anneau.total(), c.ajoutees.size()) << c.nom;
        EXPECT_EQ(anneau.depuis(c.apres), c.attendues) << c.nom;
        EXPECT_EQ(anneau.premierApres(c.apres), c.premier) << c.nom;
        EXPECT_EQ(anneau.perduesApres(c.apres), c.perdues) << c.nom;
    }
}

// Room made by the oldest line leaving is used again: the size kept follows what is in it.
TEST(AnneauNumerote, SizeFreedByEvictionIsCounted)
{
    AnneauNumerote<QByteArray> anneau(100, 10);
    for (int i = 0; i < 1000; ++i)
        anneau.ajoute(QByteArray(3, char('a' + i % 26)));
    EXPECT_EQ(anneau.total(), 1000);
    const QByteArrayList gardees = anneau.depuis(0);
    ASSERT_EQ(gardees.size(), 3);
    EXPECT_EQ(anneau.premierGarde(), 998);
    EXPECT_EQ(gardees.last(), QByteArray(3, char('a' + 999 % 26)));
}

} // namespace
