#include "net/Planificateur.h"
#include "support/Attente.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

QStringList* avertissements = nullptr;

void note(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (avertissements != nullptr && type != QtDebugMsg)
        *avertissements << message;
}

// A wait longer than a timer's int holds neither wraps round to a short one nor is refused:
// what is planned after it runs first, and nothing is said.
TEST(Planificateur, AWaitPastATimersRangeIsNeitherShortenedNorRefused)
{
    QStringList dits;
    avertissements = &dits;
    const QtMessageHandler avant = qInstallMessageHandler(note);
    QStringList ordre;
    {
        PlanificateurQt planificateur;
        planificateur.apres(4294967300.0, [&] { ordre << QStringLiteral("2^32 + 4 ms"); });
        planificateur.apres(25.0 * 86400000, [&] { ordre << QStringLiteral("25 days"); });
        planificateur.apres(20, [&] { ordre << QStringLiteral("20 ms"); });
        EXPECT_TRUE(attendre([&] { return !ordre.isEmpty(); }));
        QCoreApplication::processEvents();
    }
    qInstallMessageHandler(avant);
    avertissements = nullptr;
    EXPECT_EQ(ordre, QStringList{QStringLiteral("20 ms")});
    EXPECT_EQ(dits, QStringList{});
}

// A long wait is made of shorter ones, in order, and its action runs once at the end.
TEST(Planificateur, ALongWaitIsChained)
{
    PlanificateurQt planificateur(nullptr, 10);
    QStringList ordre;
    planificateur.apres(45, [&] { ordre << QStringLiteral("45"); });
    planificateur.apres(25, [&] { ordre << QStringLiteral("25"); });
    planificateur.apres(5, [&] { ordre << QStringLiteral("5"); });
    ASSERT_TRUE(attendre([&] { return ordre.size() == 3; }));
    EXPECT_EQ(ordre, QStringList({"5", "25", "45"}));
}

} // namespace
