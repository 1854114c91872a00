#include "app/ZoneMessages.h"
#include "trace/Journal.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>

namespace {

class Zone : public ::testing::Test
{
protected:
    Journal journal;
    QPlainTextEdit zone;
    ZoneMessages vue{journal, zone};

    // What the area must show for the log as it stands.
    QString attendu() const { return ZoneMessages::texteAffiche(journal.contenu()); }
    QString montre() const { return zone.document()->toRawText(); }
};

TEST_F(Zone, ShowsTheLogExactlyThroughAppendsCutBacksAndTyping)
{
    for (int i = 0; i < 400; ++i)
        journal.AfficheMessage(QStringLiteral("ligne %1 ").arg(i) + QString(60, QLatin1Char('x')));
    vue.synchronise();
    EXPECT_EQ(montre(), attendu());
    EXPECT_TRUE(journal.contenu().startsWith(QLatin1String("....\r\n")));

    journal.AfficheMessage(QStringLiteral("CLEAR"));
    vue.synchronise();
    EXPECT_EQ(montre(), QString());

    // What the operator types becomes part of the log, and lines go on below it.
    QTest::keyClicks(&zone, QStringLiteral("note"));
    journal.AfficheMessage(QStringLiteral("suite"));
    EXPECT_EQ(journal.contenu(), QStringLiteral("notesuite\r\n"));
    vue.synchronise();
    EXPECT_EQ(montre(), attendu());
}

// The area follows the log on its own, at most every 50 ms: after a burst it shows exactly
// the log, whether the burst ended in a cut-back or in plain appends.
TEST_F(Zone, CatchesUpWithABurstOnItsOwn)
{
    for (int salve : {10000, 137}) {
        for (int i = 0; i < salve; ++i)
            journal.AfficheMessage(
                QStringLiteral("12:00:00.0 demande position --> %1 / 0 a").arg(i));
        EXPECT_TRUE(QTest::qWaitFor([&] { return montre() == attendu(); }, 30000)) << salve;
        EXPECT_EQ(zone.textCursor().position(), zone.document()->characterCount() - 1);
    }
}

// Typed while logged lines wait to be shown: the lines are not lost, they follow the typing.
TEST_F(Zone, TypingBetweenTwoRefreshesKeepsTheLinesNotYetShown)
{
    journal.AfficheMessage(QStringLiteral("premiere"));
    vue.synchronise();
    journal.AfficheMessage(QStringLiteral("en attente"));
    QTest::keyClicks(&zone, QStringLiteral("note"));
    EXPECT_EQ(journal.contenu(), QStringLiteral("premiere\r\nnoteen attente\r\n"));
    vue.synchronise();
    EXPECT_EQ(montre(), attendu());
}

// An edit changes the log where it was made and nowhere else: the lone CR of a JOG line, a LF
// and a non-breaking space elsewhere in the log keep their bytes.
TEST_F(Zone, AnEditChangesOnlyWhatWasEdited)
{
    const QString avant = QStringLiteral("12:00:00.0 demande JOG \x1b\r  --> Ok\r\n"
                                         "a\u00a0b\r\n"
                                         "lf\nici\r\n");
    const struct
    {
        const char* nom;
        int position; // in the area
        std::function<void(QPlainTextEdit&)> saisie;
        QString apres;
    } cas[] = {
        {"typeAtTheEnd", -1, [](QPlainTextEdit& z) { QTest::keyClicks(&z, QStringLiteral("!")); },
         avant + QStringLiteral("!")},
        {"typeInTheMiddle", 26,
         [](QPlainTextEdit& z) { QTest::keyClicks(&z, QStringLiteral("X")); },
         QStringLiteral("12:00:00.0 demande JOG \x1b\r X --> Ok\r\na\u00a0b\r\nlf\nici\r\n")},
        {"enterGivesCrLf", 34, [](QPlainTextEdit& z) { QTest::keyClick(&z, Qt::Key_Return); },
         QStringLiteral("12:00:00.0 demande JOG \x1b\r  --> Ok\r\n\r\na\u00a0b\r\nlf\nici\r\n")},
        {"backspaceRemovesOneCharacter", 37,
         [](QPlainTextEdit& z) { QTest::keyClick(&z, Qt::Key_Backspace); },
         QStringLiteral("12:00:00.0 demande JOG \x1b\r  --> Ok\r\na\u00a0\r\nlf\nici\r\n")},
        {"backspaceOverALoneCrJoinsTheLines", 25,
         [](QPlainTextEdit& z) { QTest::keyClick(&z, Qt::Key_Backspace); },
         QStringLiteral("12:00:00.0 demande JOG \x1b  --> Ok\r\na\u00a0b\r\nlf\nici\r\n")},
    };
    for (const auto& c : cas) {
        journal.AfficheMessage(QStringLiteral("clear"));
        vue.synchronise();
        journal.remplaceContenu(QString());
        journal.AfficheMessage(avant.chopped(2));
        vue.synchronise();
        ASSERT_EQ(journal.contenu(), avant) << c.nom;
        QTextCursor curseur(zone.document());
        if (c.position < 0)
            curseur.movePosition(QTextCursor::End);
        else
            curseur.setPosition(c.position);
        zone.setTextCursor(curseur);
        c.saisie(zone);
        EXPECT_EQ(journal.contenu(), c.apres) << c.nom;
        journal.AfficheMessage(QStringLiteral("suite"));
        vue.synchronise();
        EXPECT_EQ(montre(), attendu()) << c.nom;
    }
}

TEST(ZoneMessagesCorrespondance, EachLineEndIsOneCharacterOfTheArea)
{
    const QString journal = QStringLiteral("ab\r\nc\rd\ne");
    EXPECT_EQ(ZoneMessages::texteAffiche(journal), QStringLiteral("ab\u2029c\u2029d\u2029e"));
    const int attendus[] = {0, 1, 2, 4, 5, 6, 7, 8, 9};
    for (int position = 0; position < 9; ++position)
        EXPECT_EQ(ZoneMessages::positionDansJournal(journal, position), attendus[position])
            << position;
}

} // namespace
