#include "trace/Journal.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace {

const QString CRLF = QStringLiteral("\r\n");

TEST(Journal, EachLineEndsInCrLf)
{
    Journal journal;
    journal.AfficheMessage(QStringLiteral("un"));
    journal.AfficheMessage(QString());
    journal.AfficheMessage(QStringLiteral("deux\r\ntrois"));
    EXPECT_EQ(journal.contenu(), QStringLiteral("un\r\n\r\ndeux\r\ntrois\r\n"));
}

TEST(Journal, ClearInAnyLetterCaseEmptiesAndAddsNothing)
{
    for (const char* mot : {"clear", "CLEAR", "Clear", "cLeAr"}) {
        Journal journal;
        journal.AfficheMessage(QStringLiteral("ligne"));
        journal.AfficheMessage(QLatin1String(mot));
        EXPECT_TRUE(journal.contenu().isEmpty()) << mot;
        journal.AfficheMessage(QStringLiteral("apres"));
        EXPECT_EQ(journal.contenu(), QStringLiteral("apres\r\n")) << mot;
    }
}

TEST(Journal, ClearWithAnythingAroundIsAnOrdinaryLine)
{
    for (const char* mot : {" clear", "clear ", "clear all", "clea", "clear\r\n"}) {
        Journal journal;
        journal.AfficheMessage(QLatin1String(mot));
        EXPECT_EQ(journal.contenu(), QLatin1String(mot) + CRLF) << mot;
    }
}

TEST(Journal, ExactlyTheCapacityStaysOneMoreIsCutBack)
{
    Journal plein;
    plein.AfficheMessage(QString(Journal::Capacite - 2, QLatin1Char('x')));
    EXPECT_EQ(plein.contenu().size(), Journal::Capacite);

    Journal deborde;
    deborde.AfficheMessage(QString(Journal::Capacite - 1, QLatin1Char('x')));
    EXPECT_EQ(deborde.contenu(), QStringLiteral("....\r\n"));

    // The line that crossed the limit goes too, together with everything before it.
    Journal progressif;
    progressif.AfficheMessage(QString(15000, QLatin1Char('a')));
    progressif.AfficheMessage(QString(6000, QLatin1Char('b')));
    EXPECT_EQ(progressif.contenu(), Journal::MarqueCoupure);
    progressif.AfficheMessage(QStringLiteral("suite"));
    EXPECT_EQ(progressif.contenu(), QStringLiteral("....\r\nsuite\r\n"));
}

TEST(Journal, AHugeMessageIsNeverVisible)
{
    Journal journal;
    journal.AfficheMessage(QStringLiteral("avant"));
    journal.AfficheMessage(QString(1'000'000, QLatin1Char('z')));
    EXPECT_EQ(journal.contenu(), Journal::MarqueCoupure);
}

TEST(Journal, SignalsTellAnAppendFromAReplacement)
{
    Journal journal;
    QSignalSpy ajout(&journal, &Journal::ligneAjoutee);
    QSignalSpy remplace(&journal, &Journal::contenuRemplace);
    QSignalSpy record(&journal, &Journal::messageJournalise);

    journal.AfficheMessage(QStringLiteral("un"));
    journal.AfficheMessage(QString(Journal::Capacite, QLatin1Char('x')));
    journal.AfficheMessage(QStringLiteral("clear"));

    ASSERT_EQ(ajout.count(), 1);
    EXPECT_EQ(ajout.at(0).at(0).toString(), QStringLiteral("un"));
    EXPECT_EQ(remplace.count(), 2);
    // The record has every line, the cut-back one too, and no clear.
    ASSERT_EQ(record.count(), 2);
    EXPECT_EQ(record.at(1).at(0).toString().size(), Journal::Capacite);
}

} // namespace
