#include "trace/Journal.h"
#include "trace/MiroirSortie.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

QByteArray contenuDe(std::FILE* fichier)
{
    std::fflush(fichier);
    std::rewind(fichier);
    QByteArray lu;
    char bloc[4096];
    size_t n = 0;
    while ((n = std::fread(bloc, 1, sizeof bloc, fichier)) > 0)
        lu.append(bloc, qsizetype(n));
    std::fseek(fichier, 0, SEEK_END);
    return lu;
}

using Fichier = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Lines gathered during a pass all reach the stream before the event loop waits again, in
// order and byte for byte; a clear writes nothing; what is left goes out when the mirror goes.
TEST(MiroirSortie, EveryLineReachesTheStreamBeforeTheProgramWaits)
{
    Fichier fichier(std::tmpfile(), &std::fclose);
    ASSERT_NE(fichier, nullptr);
    Journal journal;
    auto miroir = std::make_unique<MiroirSortie>(journal, fichier.get());

    journal.AfficheMessage(QStringLiteral("un"));
    journal.AfficheMessage(QStringLiteral("clear"));
    journal.AfficheMessage(QString::fromLatin1("deux \x1b\r", 7) + QChar(0) + QStringLiteral("é"));
    QEventLoop boucle;
    QTimer::singleShot(20, &boucle, &QEventLoop::quit);
    boucle.exec();
    EXPECT_EQ(contenuDe(fichier.get()), QByteArray("un\ndeux \x1b\r\0\xc3\xa9\n", 14));

    for (int i = 0; i < 3000; ++i)
        journal.AfficheMessage(QString(100, QLatin1Char('x')));
    journal.AfficheMessage(QStringLiteral("fin"));
    miroir.reset();
    const QByteArray tout = contenuDe(fichier.get());
    EXPECT_EQ(tout.size(), 14 + 3000 * 101 + 4);
    EXPECT_TRUE(tout.endsWith("x\nfin\n"));
}

} // namespace
