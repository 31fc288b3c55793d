// The installer dialog: launch parameters, its wait list, driver steps, and the user ending it.
#include "medium.h"

// Every row of the worked examples, with the program at D:\Pkg and Windows at C:\WINDOWS.
TEST(Dialog, BuildLaunchParameters)
{
    MakeMedium("", "D:\\Pkg");
    CopyText(ModuleDirectory, sizeof(ModuleDirectory), "D:\\Pkg");
    static const struct {
        bool responseFileExists;
        std::string arguments, expected;
    } cases[] = {
        /* 0 */ {true, "-s -f1\"%curdir%\\setup.iss\" -f2\"%windir%\\setup.log\"",
                 "-s -F1\"D:\\Pkg\\SETUP.ISS\" -F2\"C:\\WINDOWS\\temp\\SETUP.LOG\""},
        /* 1 */
        {false, "-s -f1\"%curdir%\\setup.iss\" -f2\"%windir%\\setup.log\"",
         "-s -F2\"C:\\WINDOWS\\temp\\SETUP.LOG\""},
        /* 2 */ {false, "-s -f2\"c:\\logs\\setup.log\"", "-s -F2\"C:\\LOGS\\SETUP.LOG\""},
        /* 3 */ {false, "-s -sms -f2\"%windir%\\a.log\"", "-s -F2\"C:\\WINDOWS\\temp\\A.LOG\""},
        /* 4 */ {false, "-f1\"a.iss\" -f2\"b.log\"", "-f1\"a.iss\" -F2\"B.LOG\""},
        /* 5 */ {false, "/S /v/qn", "/S /v/qn"},
        /* 6 */ {false, " /S", " /S"},
        /* 7 */ {false, "single", "single"},
        /* 8 */ {false, "-s ", "-s "},
        /* 9 */ {true, "-s -f1\"%curdir%\\setup.iss\"", "-s -F1\"D:\\Pkg\\SETUP.ISS\""},
        /* 10 */ {true, "-s -F1\"%CURDIR%\\SETUP.ISS\" -sms", "-s -F1\"D:\\Pkg\\SETUP.ISS\""},
        /* 11 */ {true, "-s -f1\"%curdir%\\" + std::string(120, 'x') + "\"", "-s"},
    };
    int number = 0;
    for (const auto &c : cases) {
        unlink(sim::HostPath("D:\\Pkg\\setup.iss").c_str());
        if (c.responseFileExists)
            sim::WriteFile("D:\\Pkg\\setup.iss", "");
        char parameters[PARAMETERS_SIZE];
        EXPECT_TRUE(BuildLaunchParameters(c.arguments.c_str(), parameters));
        EXPECT_EQ(c.expected, parameters) << "case " << number++;
    }
}

// What reaches the installer never holds a cut option: one that does not fit is left out.
TEST(Dialog, ParametersThatDoNotFit)
{
    MakeMedium("");
    CopyText(ModuleDirectory, sizeof(ModuleDirectory), "C:\\Pkg");
    std::string longLog = "-s -f2\"%curdir%\\" + std::string(120, 'l') + ".log\"";
    char parameters[PARAMETERS_SIZE];
    EXPECT_TRUE(BuildLaunchParameters(longLog.c_str(), parameters));
    EXPECT_STREQ("-s", parameters);
    std::string switches = std::string(190, 's') + " -f2\"c:\\a.log\"";
    EXPECT_TRUE(BuildLaunchParameters(switches.c_str(), parameters));
    EXPECT_EQ(std::string(190, 's') + " -F2\"C:\\A.LOG\"", parameters);
    EXPECT_FALSE(BuildLaunchParameters(std::string(256, 'a').c_str(), parameters));
}

struct LaunchCase {
    const char *name, *step;
    const char *file;
    const char *parameters;
};
class DialogLaunch : public ::testing::TestWithParam<LaunchCase>
{
};

// A package gets its arguments as written; a kind "2" copy is launched from the Windows directory.
// Either way the installer comes up in view.
TEST_P(DialogLaunch, Parameters)
{
    MakeMedium(std::string("[SetupList]\nSetup1=") + GetParam().step + "\n");
    AddInstaller("C:\\Pkg\\Data.MSI", 0);
    AddInstaller("C:\\Pkg\\setup.exe", 0);
    sim::WriteFile("C:\\Pkg\\a.iss", "");
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(1u, sim::Launches().size());
    EXPECT_EQ(GetParam().file, sim::Launches()[0].file);
    EXPECT_EQ(GetParam().parameters, sim::Launches()[0].parameters);
    EXPECT_TRUE(AllLaunchesShown());
    ASSERT_EQ(1u, sim::Dialogs().size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DialogLaunch,
    ::testing::Values(LaunchCase{"PackageAsWritten", "1,Data.MSI,/qb -f1\"a.iss\" -f2\"b.log\"",
                                 ".\\Data.MSI", "/qb -f1\"a.iss\" -f2\"b.log\""},
                      LaunchCase{"CopyInWindowsDirectory", "2,setup.exe,-s -f1\"%curdir%\\a.iss\"",
                                 "C:\\WINDOWS\\setup.exe", "-s -F1\"C:\\Pkg\\A.ISS\""},
                      // Only a single blank means no arguments.
                      LaunchCase{"TwoBlanks", "1,setup.exe,  ,", ".\\setup.exe", "  "},
                      LaunchCase{"OptionsRewritten",
                                 "1,setup.exe,-s -f1\"%curdir%\\a.iss\" -f2\"x.log\" -extra",
                                 ".\\setup.exe", "-s -F1\"C:\\Pkg\\A.ISS\" -F2\"X.LOG\" -EXTRA"}),
    ByName());

struct DialogWaitCase {
    const char *name, *waitList;
    std::vector<sim::Spawn> children; // started by the installer, each running until the time given
    DWORD closeMs;
};
class DialogWait : public ::testing::TestWithParam<DialogWaitCase>
{
};

// The installer (1 s) starts at 500 ms; polls at 1200, 1700, then every 800 ms; no settle rounds.
TEST_P(DialogWait, HoldsTheDialog)
{
    MakeMedium(std::string("[SetupList]\nSetup1=1,a.exe,/x,") + GetParam().waitList + "\n");
    sim::Program a;
    for (const sim::Spawn &s : GetParam().children) {
        sim::Program child;
        child.runMs = s.afterMs - 500;
        sim::DefineProgram(s.name, child);
        a.children.push_back({s.name, 0});
    }
    AddInstaller("C:\\Pkg\\a.exe", 1000, a);
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(1u, sim::Dialogs().size());
    EXPECT_EQ(GetParam().closeMs, sim::Dialogs()[0].closeMs);
    EXPECT_EQ(TIMER_DIALOG_WATCH, sim::Dialogs()[0].result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DialogWait,
    ::testing::Values(
        DialogWaitCase{"Blank", " ", {}, 2000},
        DialogWaitCase{"SecondNameHolds", "setup2.exe*update.exe", {{"update.exe", 3000}}, 3600},
        DialogWaitCase{
            "EmptyNamesSkipped", "*setup2.exe**update.exe*", {{"setup2.exe", 2400}}, 2800},
        DialogWaitCase{"TildeIsNoSeparator", "b.exe~update.exe", {{"update.exe", 3000}}, 2000},
        DialogWaitCase{"StarIsTheSeparator", "*.tmp", {{"x.tmp", 3000}}, 2000}),
    ByName());

// A package runs under the Windows Installer's name: the process the launch started holds the
// step until it ends (4500), with or without the name in the wait list, and its code counts.
struct PackageCase {
    const char *name, *step;
    DWORD code, nextLaunchMs;
    int exitCode;
};
class Package : public ::testing::TestWithParam<PackageCase>
{
};

TEST_P(Package, HeldByItsInstallation)
{
    const PackageCase &c = GetParam();
    MakeMedium(std::string("[SetupList]\nSetup1=") + c.step + "\nSetup2=1,next.exe, ,\n");
    sim::Program package;
    package.exitCode = c.code;
    AddInstaller("C:\\Pkg\\app.msi", 4000, package);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    sim::RunResult result = sim::Run("");
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ("msiexec.exe", sim::FindProcess(sim::Launches()[0].pid)->name);
    ASSERT_EQ(2u, sim::Launches().size());
    EXPECT_EQ(c.nextLaunchMs, sim::Launches()[1].timeMs);
    EXPECT_EQ(c.exitCode, result.exitCode);
}

// Polls every 500 ms from 1200 while it runs; the one at 4700 finds it gone.
INSTANTIATE_TEST_SUITE_P(
    Cases, Package,
    ::testing::Values(PackageCase{"NamedInWaitList", "1,app.msi,/qb,msiexec.exe", 0, 5500, 0},
                      PackageCase{"BlankWaitList", "1,app.msi,/qb", 1603, 5500, 1603}),
    ByName());

struct KeyCase {
    const char *name;
    int key; // 0: the close box
    INT_PTR result;
};
class DialogKeys : public ::testing::TestWithParam<KeyCase>
{
};

// Enter, Esc and the close box end the dialog at once; the installer goes on running.
TEST_P(DialogKeys, EndTheDialog)
{
    MakeMedium("[SetupList]\nSetup1=1,slow.exe,/x\nSetup2=1,next.exe, ,\n");
    AddInstaller("C:\\Pkg\\slow.exe", sim::kForever);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    sim::At(5000, [] {
        if (GetParam().key == 0)
            sim::ClickDialogClose();
        else
            sim::PressKey(GetParam().key);
    });
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(1u, sim::Dialogs().size());
    EXPECT_EQ(GetParam().result, sim::Dialogs()[0].result);
    EXPECT_LE(sim::Dialogs()[0].closeMs, 5000u + 300u);
    ASSERT_EQ(2u, sim::Launches().size());
    EXPECT_EQ(sim::kForever, sim::FindProcess(sim::Launches()[0].pid)->endMs);
}

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeys,
                         ::testing::Values(KeyCase{"Enter", VK_RETURN, IDOK},
                                           KeyCase{"Escape", VK_ESCAPE, IDCANCEL},
                                           KeyCase{"CloseBox", 0, IDCANCEL}),
                         ByName());

struct DriverCase {
    const char *name, *hardwareId;
    BOOL needsReboot;
    size_t installs;
    size_t questions;
};
class DriverStep : public ::testing::TestWithParam<DriverCase>
{
};

// The INF is found from the program's directory; no device, no install and no message.
TEST_P(DriverStep, InstallsForAPresentDevice)
{
    MakeMedium("[SetupList]\nSetup1=1,sub\\a.exe, ,\nSetup2=0,..\\drv\\x.inf,pci\\ven_8086\n");
    AddInstaller("C:\\Pkg\\sub\\a.exe", 0);
    sim::WriteFile("C:\\Pkg\\drv\\x.inf", ""); // where the existence test looks, from sub
    sim::WriteFile("C:\\drv\\x.inf", "");
    sim::AddDevice({{GetParam().hardwareId}, "Adapter"});
    sim::ScriptDriverInstall(TRUE, GetParam().needsReboot);
    sim::SetSystemDefaultLocale(0x412);
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(1u, sim::Dialogs().size());
    EXPECT_EQ(IDD_INSTALL_KOREAN, sim::Dialogs()[0].templateId);
    EXPECT_EQ(sim::Dialogs()[0].openMs + 500, sim::Dialogs()[0].closeMs);
    ASSERT_EQ(GetParam().installs, sim::DriverInstalls().size());
    if (GetParam().installs == 1) {
        EXPECT_EQ("C:\\drv\\x.inf", sim::DriverInstalls()[0].infPath);
    }
    EXPECT_EQ(GetParam().questions, sim::MessageBoxes().size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverStep,
    ::testing::Values(DriverCase{"Installs", "PCI\\VEN_8086&DEV_1234", FALSE, 1, 0},
                      DriverCase{"InstallsAndAsksRestart", "PCI\\VEN_8086&DEV_1234", TRUE, 1, 1},
                      DriverCase{"NoMatchingDevice", "PCI\\VEN_10DE&DEV_0001", TRUE, 0, 0}),
    ByName());
