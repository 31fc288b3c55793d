// The hand-off to the 64-bit sibling when the 32-bit launcher runs on 64-bit Windows.
#include "medium.h"

#include <cstdlib>

// Started from another folder, which holds a stagerun64.exe of its own that must never run.
static void MakeHost(bool isWow64, bool siblingThere = true, DWORD siblingMs = 0,
                     DWORD siblingExit = 0)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n[SetupSilent]\nSetup1=1,a.exe, ,\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    sim::Program sibling;
    sibling.exitCode = siblingExit;
    if (siblingThere)
        AddInstaller("C:\\Pkg\\stagerun64.exe", siblingMs, sibling);
    sim::WriteFile("D:\\Elsewhere\\stagerun64.exe", "MZ");
    SetCurrentDirectoryA("D:\\Elsewhere");
    sim::SetWow64(isWow64);
}

struct HostCase {
    const char *name;
    bool isWow64;
    const char *tail;
    bool siblingThere;
    LCID locale;
    const char *launched; // "" when nothing starts
    const char *parameters;
    int exitCode;
    const char *caption; // of the error box; NULL for none
    DWORD siblingMs = 0, siblingExit = 0;
    bool installerBusy = false; // the first msiexec.exe runs an installation
};
class HandOff : public ::testing::TestWithParam<HostCase>
{
};

static const char Sibling[] = "C:\\Pkg\\stagerun64.exe";

// The sibling is found beside the program, whatever directory is current, and comes up in view.
TEST_P(HandOff, StartsTheSiblingOrRunsItself)
{
    const HostCase &c = GetParam();
    MakeHost(c.isWow64, c.siblingThere, c.siblingMs, c.siblingExit);
    sim::SetSystemDefaultLocale(c.locale);
    DWORD first = sim::AddProcess("msiexec.exe", 600);
    DWORD second = sim::AddProcess("msiexec.exe", 600);
    DWORD third = sim::AddProcess("msiexec.exe", 600);
    if (c.installerBusy) {
        sim::NamedMutex busy;
        busy.creatorPid = first;
        sim::AddMutex("Global\\_MSIExecute", busy);
    }
    sim::RunResult result = sim::Run(c.tail);
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(c.exitCode, result.exitCode);
    std::vector<std::string> started;
    for (const sim::Launch &launch : sim::Launches()) {
        if (launch.pid != 0)
            started.push_back(launch.file + " " + launch.parameters);
    }
    std::vector<std::string> expected;
    if (c.launched[0] != '\0')
        expected.push_back(std::string(c.launched) + " " + c.parameters);
    EXPECT_EQ(expected, started);
    // The sibling beside the program runs, not the one in the current folder.
    if (c.isWow64 && c.siblingThere) {
        EXPECT_EQ(Sibling, sim::Launches()[0].path);
    }
    // A caller waits for this program: it returns when the sibling has ended, with its code.
    if (c.isWow64) {
        EXPECT_EQ(c.siblingMs, result.endMs);
        EXPECT_EQ(NULL, sim::MainWindow());
    }
    ASSERT_EQ(c.caption != NULL ? 1u : 0u, sim::MessageBoxes().size());
    if (c.caption != NULL) {
        EXPECT_EQ(c.caption, sim::MessageBoxes()[0].caption);
        EXPECT_EQ("The system cannot find the file specified.\r\n", sim::MessageBoxes()[0].text);
    }
    EXPECT_TRUE(AllLaunchesShown());
    // Two Windows Installer processes are ended either way, by the hand-off or before the launch,
    // but none while an installation runs: the hand-off does not wait for it, the sibling does.
    EXPECT_EQ(!c.installerBusy, sim::FindProcess(first)->terminated);
    EXPECT_EQ(!c.installerBusy, sim::FindProcess(second)->terminated);
    EXPECT_FALSE(sim::FindProcess(third)->terminated);
}

// "stagerun64.exe cannot be started." in code page 949.
static const char KoreanCaption[] = "stagerun64.exe\xb8\xa6 \xbd\xc3\xc0\xdb\xc7\xd2 \xbc\xf6 "
                                    "\xbe\xf8\xbd\xc0\xb4\xcf\xb4\xd9.";

INSTANTIATE_TEST_SUITE_P(
    Hosts, HandOff,
    ::testing::Values(
        HostCase{"Wow64", true, "", true, 0x0409, Sibling, "", 0, NULL},
        HostCase{"Wow64Silent", true, "/s", true, 0x0409, Sibling, "/s", 0, NULL},
        HostCase{"Wow64SilentUpper", true, "/S", true, 0x0409, Sibling, "/s", 0, NULL},
        HostCase{"Native32", false, "", true, 0x0409, ".\\a.exe", " ", 0, NULL},
        HostCase{"SiblingMissing", true, "", false, 0x0409, "", "", EXIT_HANDOFF_FAILED,
                 "Cannot start stagerun64.exe"},
        HostCase{"SiblingMissingKorean", true, "", false, 0x0412, "", "", EXIT_HANDOFF_FAILED,
                 KoreanCaption},
        HostCase{"SiblingMissingSilent", true, "/s", false, 0x0409, "", "", EXIT_HANDOFF_FAILED,
                 NULL},
        HostCase{"SiblingsCode", true, "/s /norestart", true, 0x0409, Sibling, "/s /norestart",
                 EXIT_RESTART_NEEDED, NULL, 7000, EXIT_RESTART_NEEDED},
        HostCase{"SiblingFails", true, "/NORESTART", true, 0x0409, Sibling, "/norestart",
                 EXIT_INSTALL_FAILED, NULL, 2500, EXIT_INSTALL_FAILED},
        HostCase{"InstallerBusy", true, "", true, 0x0409, Sibling, "", 0, NULL, 0, 0, true}),
    ByName());

// The log switch is passed on as the path it came to (tokens expanded, the rest as written), even
// where that log cannot be written: the sibling tries for itself.
INSTANTIATE_TEST_SUITE_P(
    LogSwitch, HandOff,
    ::testing::Values(HostCase{"Silent", true, "/log /s", true, 0x0409, Sibling,
                               "/s /log:\"C:\\Users\\Setup\\AppData\\Local\\Temp\\StageRun.log\"",
                               0, NULL},
                      HostCase{"Path", true, "/log:\"%CurDir%\\No Logs\\A.log\"", true, 0x0409,
                               Sibling, "/log:\"C:\\Pkg\\No Logs\\A.log\"", 0, NULL},
                      HostCase{"AllThree", true, "/log:D:\\a.log /norestart /s", true, 0x0409,
                               Sibling, "/s /norestart /log:\"D:\\a.log\"", 0, NULL}),
    [](const ::testing::TestParamInfo<HostCase> &info) { return std::string(info.param.name); });

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
