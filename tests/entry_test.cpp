// Entry and hidden window: the silent switch, the hidden window, how the loop ends, DLL safety.
#include "medium.h"

static const char SilentAndNormalLists[] = "[SetupList]\nSetup1=1,normal.exe, ,\n"
                                           "[SetupSilent]\nSetup1=1,quiet.exe, ,\n";

struct SwitchCase {
    const char *name, *tail;
    BYTE silent, noRestart;
};
class SilentSwitch : public ::testing::TestWithParam<SwitchCase>
{
};

TEST_P(SilentSwitch, ChoosesTheSection)
{
    MakeMedium(SilentAndNormalLists);
    AddInstaller("C:\\Pkg\\normal.exe", 0);
    AddInstaller("C:\\Pkg\\quiet.exe", 0);
    EXPECT_TRUE(Finished(sim::Run(GetParam().tail)));
    EXPECT_EQ(GetParam().silent, SilentMode);
    EXPECT_EQ(GetParam().noRestart, NoRestart);
    ASSERT_EQ(1u, sim::Launches().size());
    EXPECT_EQ(GetParam().silent ? ".\\quiet.exe" : ".\\normal.exe", sim::Launches()[0].file);
}

INSTANTIATE_TEST_SUITE_P(
    Tails, SilentSwitch,
    ::testing::Values(SwitchCase{"Lower", "/s", 1, 0}, SwitchCase{"Upper", "/S", 1, 0},
                      SwitchCase{"None", "", 0, 0}, SwitchCase{"TrailingBlank", "/s ", 0, 0},
                      SwitchCase{"Dash", "-s", 0, 0}, SwitchCase{"LongForm", "/silent", 0, 0},
                      SwitchCase{"LeadingBlank", " /s", 0, 0},
                      SwitchCase{"NoRestart", "/s /norestart", 1, 1},
                      SwitchCase{"NoRestartFirst", "/NoRestart  /S", 1, 1},
                      SwitchCase{"AllThree", "/norestart /log /s", 1, 1},
                      SwitchCase{"NoRestartAlone", "/norestart", 0, 1},
                      SwitchCase{"NoRestartTwice", "/s /norestart /norestart", 0, 1},
                      SwitchCase{"NoRestartAndMore", "/s /norestart /q", 0, 1}),
    ByName());

// The tail starts after the program name: a quoted name ends at its closing quote, an unquoted one
// at the first blank, and the blanks after it are skipped.
TEST(Entry, SkipProgramName)
{
    const struct {
        const char *commandLine, *tail;
    } cases[] = {
        {"\"D:\\stagerun.exe\"/s", "/s"},
        {"\"D:\\my media\\stagerun.exe\" /S", "/S"},
        {"D:\\stagerun.exe /s", "/s"},
        {"D:\\stagerun.exe \t /s ", "/s "},
        {"D:\\stagerun.exe", ""},
        {"\"D:\\unclosed /s", ""},
        {"\"D:\\\xc7\xd1\\stagerun.exe\"/s", "/s"},
        {"D:\\\xc7\xd1\\stagerun.exe /s", "/s"},
        {"D:\\a\"b c\"\\stagerun.exe /s", "c\"\\stagerun.exe /s"},
    };
    for (const auto &c : cases) {
        std::string commandLine = c.commandLine;
        EXPECT_STREQ(c.tail, SkipProgramName(&commandLine[0])) << c.commandLine;
    }
}

struct ShowCase {
    const char *name;
    int command; // how the launcher itself was started
};
class ShowCommand : public ::testing::TestWithParam<ShowCase>
{
};

// However the launcher is started, its window never shows and the installers come up in view.
TEST_P(ShowCommand, WindowHiddenInstallersShown)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\nSetup2=1,b.exe,/q\n");
    AddInstaller("C:\\Pkg\\a.exe", 2000);
    AddInstaller("C:\\Pkg\\b.exe", 0);
    EXPECT_TRUE(Finished(sim::Run("", GetParam().command)));
    EXPECT_NE(nullptr, sim::MainWindow());
    EXPECT_FALSE(sim::WindowEverShown(sim::MainWindow()));
    EXPECT_EQ(2u, sim::Launches().size());
    EXPECT_TRUE(AllLaunchesShown());
}

INSTANTIATE_TEST_SUITE_P(Commands, ShowCommand,
                         ::testing::Values(ShowCase{"Normal", SW_SHOWNORMAL},
                                           ShowCase{"Maximized", SW_SHOWMAXIMIZED},
                                           ShowCase{"Show", SW_SHOW},
                                           ShowCase{"Default", SW_SHOWDEFAULT},
                                           ShowCase{"Minimized", SW_SHOWMINIMIZED}),
                         ByName());

// File > Exit and the close box end the run at once, mid-step: the rest of the list never ran, a
// failure.
struct EndingCase {
    const char *name;
    UINT message;
    WPARAM wParam;
};
class EndingMessage : public ::testing::TestWithParam<EndingCase>
{
};

TEST_P(EndingMessage, EndsTheLoop)
{
    MakeMedium("[SetupList]\nSetup1=1,forever.exe, \nSetup2=1,never.exe, ,\n");
    AddInstaller("C:\\Pkg\\forever.exe", sim::kForever);
    AddInstaller("C:\\Pkg\\never.exe", 0);
    sim::At(3000, [] { sim::PostToMainWindow(GetParam().message, GetParam().wParam, 0); });
    sim::RunResult result = sim::Run("");
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(EXIT_INSTALL_FAILED, result.exitCode);
    EXPECT_LE(result.endMs, 3500u);
    EXPECT_EQ(1u, sim::Launches().size());
}

INSTANTIATE_TEST_SUITE_P(Messages, EndingMessage,
                         ::testing::Values(EndingCase{"FileExit", WM_COMMAND, IDM_EXIT},
                                           EndingCase{"Close", WM_CLOSE, 0},
                                           EndingCase{"CloseBox", WM_SYSCOMMAND, SC_CLOSE}),
                         ByName());

TEST(Entry, MissingListEndsOnFirstTick)
{
    MakeMedium("");
    sim::RunResult result = sim::Run("");
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(EXIT_INSTALL_FAILED, result.exitCode); // nothing was installed
    EXPECT_EQ(500u, result.endMs);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_TRUE(sim::Launches().empty());
}

// A ".local" file or folder beside the program would redirect its DLLs: refuse to run.
TEST(Entry, RefusesDllRedirection)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    sim::MakeDirectory("C:\\Pkg\\stagerun.exe.local");
    sim::RunResult result = sim::Run("");
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(1, result.exitCode);
    EXPECT_TRUE(sim::Launches().empty());
    EXPECT_EQ(NULL, sim::MainWindow());
}

TEST(Entry, RestrictsDllSearchFirst)
{
    MakeMedium("");
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_TRUE(sim::DllSearchRestricted());
}
