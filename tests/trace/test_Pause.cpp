#include "support/HorlogeFigee.h"
#include "trace/Pause.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Pause, EndsAtTheFirstStepPastTheRequestedTimeWithEventsEveryStep)
{
    HorlogeFigee horloge;
    int passes = 0;
    timePauseMs(500.0f, horloge, [&] { ++passes; });
    // 10 ms steps: 500 is not strictly past 500, so the 51st step ends it.
    EXPECT_EQ(horloge.sommeils, 51);
    EXPECT_EQ(passes, 51);
}

TEST(Pause, ZeroOrNegativeStillRunsEventsOnce)
{
    for (float duree : {0.0f, -100.0f, std::numeric_limits<float>::quiet_NaN()}) {
        HorlogeFigee horloge;
        int passes = 0;
        timePauseMs(duree, horloge, [&] { ++passes; });
        EXPECT_EQ(passes, 1) << duree;
        EXPECT_EQ(horloge.sommeils, 1) << duree;
    }
}

TEST(Pause, RealClockWaitsAtLeastTheRequestedTime)
{
    const Horloge& horloge = HorlogeSysteme::instance();
    const double debut = Get_Exact_Milli_Second(horloge);
    timePauseMs(30.0f);
    EXPECT_GE(Get_Exact_Milli_Second(horloge) - debut, 29.0);
}

} // namespace
