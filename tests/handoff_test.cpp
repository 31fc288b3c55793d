// The hand-off to the 64-bit sibling when the 32-bit launcher runs on 64-bit Windows.
#include "medium.h"

#include <cstdlib>

static void MakeHost(bool isWow64)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n[SetupSilent]\nSetup1=1,a.exe, ,\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    AddInstaller("C:\\Pkg\\stagerun64.exe", 0);
    sim::SetWow64(isWow64);
}

struct HostCase {
    const char *name;
    bool isWow64;
    const char *tail;
    bool handsOver;
    const char *parameters;
};
class HandOff : public ::testing::TestWithParam<HostCase>
{
};

// The sibling is found beside the program, whatever directory is current, and comes up in view.
TEST_P(HandOff, StartsTheSiblingOrRunsItself)
{
    MakeHost(GetParam().isWow64);
    DWORD first = sim::AddProcess("msiexec.exe", 600);
    DWORD second = sim::AddProcess("msiexec.exe", 600);
    DWORD third = sim::AddProcess("msiexec.exe", 600);
    sim::RunResult result = sim::Run(GetParam().tail);
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(0, result.exitCode);
    ASSERT_EQ(1u, sim::Launches().size());
    const sim::Launch &launch = sim::Launches()[0];
    if (GetParam().handsOver) {
        EXPECT_EQ("stagerun64.exe", launch.file);
        EXPECT_EQ("C:\\Pkg\\stagerun64.exe", launch.path);
        EXPECT_EQ("C:\\", launch.currentDirectory);
        EXPECT_EQ(GetParam().parameters, launch.parameters);
        EXPECT_EQ(0u, result.endMs);
        EXPECT_EQ(NULL, sim::MainWindow());
    } else {
        EXPECT_EQ(".\\a.exe", launch.file);
        EXPECT_NE(nullptr, sim::MainWindow());
    }
    EXPECT_TRUE(AllLaunchesShown());
    // Two Windows Installer processes are ended either way, by the hand-off or before the launch.
    EXPECT_TRUE(sim::FindProcess(first)->terminated);
    EXPECT_TRUE(sim::FindProcess(second)->terminated);
    EXPECT_FALSE(sim::FindProcess(third)->terminated);
}

INSTANTIATE_TEST_SUITE_P(Hosts, HandOff,
                         ::testing::Values(HostCase{"Wow64", true, "", true, ""},
                                           HostCase{"Wow64Silent", true, "/s", true, "/s"},
                                           HostCase{"Wow64SilentUpper", true, "/S", true, "/s"},
                                           HostCase{"Native", false, "", false, ""}),
                         ByName());

// A kernel without the export counts as 32-bit, whatever the machine is. The export is looked up
// before the entry function, so the scenario runs in a freshly started copy of this test program.
TEST(HandOffDeathTest, NoExportRunsItself)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("WINSIM_MISSING_EXPORTS", "IsWow64Process", 1);
    EXPECT_EXIT(
        {
            MakeHost(true);
            sim::RunResult result = sim::Run("");
            bool ranItself = result.finished && sim::Launches().size() == 1 &&
                             sim::Launches()[0].file == ".\\a.exe" && IsWow64ProcessPtr == NULL;
            exit(ranItself ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
