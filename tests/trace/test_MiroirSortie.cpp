#include "support/Attente.h"
#include "trace/Journal.h"
#include "trace/MiroirSortie.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

struct Tube
{
    int lecture = -1;
    int ecriture = -1;
    Tube()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            lecture = fds[0];
            ecriture = fds[1];
        }
    }
    ~Tube()
    {
        for (int fd : {lecture, ecriture})
            if (fd >= 0)
                ::close(fd);
    }
    // Whatever the pipe holds now, without waiting.
    QByteArray lit() const
    {
        QByteArray lu;
        char bloc[65536];
        const int drapeaux = ::fcntl(lecture, F_GETFL);
        ::fcntl(lecture, F_SETFL, drapeaux | O_NONBLOCK);
        ssize_t n;
        while ((n = ::read(lecture, bloc, sizeof bloc)) > 0)
            lu.append(bloc, qsizetype(n));
        ::fcntl(lecture, F_SETFL, drapeaux);
        return lu;
    }
};

// Lines gathered during a pass all reach the stream before the event loop waits again, in
// order and byte for byte; a clear writes nothing; what is left goes out when the mirror goes.
TEST(MiroirSortie, EveryLineReachesTheStreamBeforeTheProgramWaits)
{
    Tube tube;
    Journal journal;
    auto miroir = std::make_unique<MiroirSortie>(journal, tube.ecriture);

    journal.AfficheMessage(QStringLiteral("un"));
    journal.AfficheMessage(QStringLiteral("clear"));
    journal.AfficheMessage(QString::fromLatin1("deux \x1b\r", 7) + QChar(0) + QStringLiteral("é"));
    QByteArray lu;
    EXPECT_TRUE(attendre([&] {
        lu += tube.lit();
        return lu.size() >= 14;
    }));
    EXPECT_EQ(lu, QByteArray("un\ndeux \x1b\r\0\xc3\xa9\n", 14));

    for (int i = 0; i < 300; ++i)
        journal.AfficheMessage(QString(100, QLatin1Char('x')));
    journal.AfficheMessage(QStringLiteral("fin"));
    miroir.reset();
    const QByteArray reste = tube.lit();
    EXPECT_EQ(reste.size(), 300 * 101 + 4);
    EXPECT_TRUE(reste.endsWith("x\nfin\n"));
}

// A reader that stops reading never holds the program: lines wait up to the bound, whole lines
// past it are dropped, and once the reader catches up one line says how many were lost, before
// the lines that follow. Nothing is ever cut inside a line.
TEST(MiroirSortie, AReaderThatStopsReadingCostsLinesNeverTheProgram)
{
    Tube tube;
    Journal journal;
    const qsizetype limite = 64 * 1024;
    MiroirSortie miroir(journal, tube.ecriture, false, limite);

    // The pipe itself holds 64 KiB, the mirror 64 KiB more: 2000 lines of 100 bytes overflow.
    const QString ligne(99, QLatin1Char('a'));
    for (int i = 0; i < 2000; ++i) {
        journal.AfficheMessage(ligne);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(attendre([&] { return miroir.lignesPerdues() > 0; }));

    QByteArray lu;
    ASSERT_TRUE(attendre([&] {
        lu += tube.lit();
        return miroir.lignesPerdues() == 0
               && lu.endsWith(" lignes du journal perdues : la sortie ne les lisait pas\n");
    }));
    journal.AfficheMessage(QStringLiteral("apres"));
    ASSERT_TRUE(attendre([&] {
        lu += tube.lit();
        return lu.endsWith("apres\n");
    }));
    const QList<QByteArray> lignes = lu.split('\n');
    qint64 gardees = 0;
    qint64 perdues = -1;
    for (const QByteArray& l : lignes) {
        if (l == ligne.toLatin1())
            ++gardees;
        else if (l.endsWith("lignes du journal perdues : la sortie ne les lisait pas"))
            perdues = l.left(l.indexOf(' ')).toLongLong();
        else
            EXPECT_TRUE(l.isEmpty() || l == "apres") << l.left(40).toStdString();
    }
    EXPECT_EQ(gardees + perdues, 2000);
    EXPECT_GT(perdues, 0);
}

// A line longer than everything that may wait goes out whole once nothing else waits, instead
// of being dropped every time.
TEST(MiroirSortie, ALineLongerThanTheBoundGoesAloneNotNever)
{
    Tube tube;
    Journal journal;
    MiroirSortie miroir(journal, tube.ecriture, false, 1024);
    const QString longue(200 * 1024, QLatin1Char('L'));
    journal.AfficheMessage(longue);
    journal.AfficheMessage(QStringLiteral("court"));
    QByteArray lu;
    ASSERT_TRUE(attendre([&] {
        lu += tube.lit();
        return lu.size() >= longue.size() + 1;
    }));
    EXPECT_TRUE(lu.startsWith(longue.toLatin1() + '\n'));
}

// A reader that has gone for good (a closed pipe) ends the mirror, not the program.
TEST(MiroirSortie, AClosedReaderEndsTheMirrorOnly)
{
    Tube tube;
    Journal journal;
    MiroirSortie miroir(journal, tube.ecriture);
    ::close(tube.lecture);
    tube.lecture = -1;
    for (int i = 0; i < 100; ++i) {
        journal.AfficheMessage(QStringLiteral("ligne"));
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(attendre([&] {
        journal.AfficheMessage(QStringLiteral("encore"));
        return !miroir.actif();
    }));
    EXPECT_EQ(miroir.lignesPerdues(), 0);
}

} // namespace
