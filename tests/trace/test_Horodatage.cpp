#include "support/HorlogeFigee.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cstdlib>
#include <ctime>

namespace {

struct CasStamp
{
    const char* nom;
    QTime heure;
    float secondes;
    const char* attendu;
};

class Stamp : public ::testing::TestWithParam<CasStamp>
{
};

TEST_P(Stamp, TimeOfDayThenTenthsFromTheSecondsSinceMidnight)
{
    HorlogeFigee horloge;
    horloge.heure = GetParam().heure;
    horloge.secondes = GetParam().secondes;
    EXPECT_EQ(Horodatage(false, horloge), QString::fromLatin1(GetParam().attendu));
}

INSTANTIATE_TEST_SUITE_P(
    Horodatage, Stamp,
    ::testing::Values(
        CasStamp{"ordinary", QTime(8, 54, 28), 32068.3f, "08:54:28.3"},
        CasStamp{"halfSecondAfterMidnight", QTime(0, 0, 0), 0.5f, "00:00:00.5"},
        CasStamp{"wholeSecondHasNoPoint", QTime(0, 0, 1), 1.0f, "00:00:01.0"},
        CasStamp{"zeroAtMidnight", QTime(0, 0, 0), 0.0f, "00:00:00.0"},
        // 7 significant digits: 32068.35 prints as 32068.35, so the tenths digit is 3.
        CasStamp{"hundredthsDoNotRound", QTime(8, 54, 28), 32068.35f, "08:54:28.3"},
        // The tenths come from a later read and may belong to the next second.
        CasStamp{"secondBoundary", QTime(11, 59, 59), 43200.0f, "11:59:59.0"},
        CasStamp{"lastTenthOfTheDay", QTime(23, 59, 59), 86399.95f, "23:59:59.9"},
        CasStamp{"smallFraction", QTime(0, 0, 0), 0.05f, "00:00:00.0"},
        CasStamp{"afternoon", QTime(15, 4, 5), 54245.7f, "15:04:05.7"}),
    [](const auto& cas) { return std::string(cas.param.nom); });

TEST(Horodatage, DateFormPutsTheDayFirstAndHas21Characters)
{
    HorlogeFigee horloge;
    horloge.date = QDate(2026, 3, 7);
    const QString avec = Horodatage(true, horloge);
    EXPECT_EQ(avec, QStringLiteral("07-03-2026 08:54:28.3"));
    EXPECT_EQ(avec.size(), 21);
    EXPECT_EQ(Horodatage(false, horloge).size(), 10);
}

TEST(Horodatage, PointWhateverTheLocale)
{
    const QLocale avant;
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    HorlogeFigee horloge;
    EXPECT_EQ(Horodatage(false, horloge), QStringLiteral("08:54:28.3"));
    QLocale::setDefault(avant);
}

} // namespace

namespace {

// The system clock keeps the offset from UTC between stamps: it must still be the zone's own,
// including zones half or three quarters of an hour off and west of Greenwich.
TEST(HorlogeSysteme, TimeOfDayIsLocalTimeInEveryZone)
{
    const QByteArray avant = qgetenv("TZ");
    const bool avaitZone = qEnvironmentVariableIsSet("TZ");
    for (const char* zone : {"UTC0", "XYZ-5:45", "ABC+3:30", "DEF-13"}) {
        qputenv("TZ", zone);
        tzset();
        const HorlogeSysteme& horloge = HorlogeSysteme::instance();
        const int attendu = QTime::currentTime().msecsSinceStartOfDay();
        const int lu = horloge.heureDuJour().msecsSinceStartOfDay();
        const int ecart = std::abs(lu - attendu);
        EXPECT_LT(std::min(ecart, 86400000 - ecart), 2000) << zone;
        const double ecartSecondes = std::abs(double(horloge.secondesDepuisMinuit()) - lu / 1000.0);
        EXPECT_LT(std::min(ecartSecondes, 86400 - ecartSecondes), 2.0) << zone;
    }
    if (avaitZone)
        qputenv("TZ", avant);
    else
        qunsetenv("TZ");
    tzset();
}

} // namespace
