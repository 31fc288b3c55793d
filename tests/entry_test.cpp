// Entry and hidden window: the silent switch, the hidden window, how the loop ends.
#include <gtest/gtest.h>

#include "sim.h"
#include "stagerun.h"

TEST(Entry, SmokeNoSetupList)
{
    sim::UseTemporaryDrives();
    sim::MakeDirectory("C:\\Pkg");
    sim::RunResult result = sim::Run("");
    EXPECT_TRUE(result.finished) << result.stuck;
    EXPECT_EQ(0, result.exitCode);
}
