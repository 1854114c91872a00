#include "trace/RetardTic.h"

#include <gtest/gtest.h>

namespace {

TEST(RetardTic, KeepsTheWorstGapBeyondThePeriodUntilReset)
{
    RetardTic retard(100);
    retard.tic(1000);
    EXPECT_EQ(retard.retardMaxMs(), 0); // one tick is no gap yet
    retard.tic(1100);
    retard.tic(1237); // 37 ms late
    retard.tic(1300); // early after a late one: not negative lateness
    retard.tic(1402);
    EXPECT_DOUBLE_EQ(retard.retardMaxMs(), 37);
    EXPECT_EQ(retard.tics(), 5);

    retard.reinitialise();
    retard.tic(5000); // the gap across the reset does not count
    EXPECT_EQ(retard.retardMaxMs(), 0);
    retard.tic(5104);
    EXPECT_DOUBLE_EQ(retard.retardMaxMs(), 4);
    EXPECT_EQ(retard.tics(), 2);
}

} // namespace
