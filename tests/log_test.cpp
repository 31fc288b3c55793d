// The step log: what typical, failing and faulty runs write, where the switches put it, and that a
// log that cannot be written leaves the run exactly as it is without one.
#include "medium.h"

#include <regex>
#include <sstream>

static const char TempLog[] = "C:\\Users\\Setup\\AppData\\Local\\Temp\\StageRun.log";

// The log's lines without their time stamps, each of which must be a local time of this run.
static std::vector<std::string> LogLines(const std::string &path = TempLog)
{
    static const std::regex stamp("^2024-06-03 09:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} ");
    std::string text = sim::ReadFileAt(path);
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("(not ended) " + text.substr(start));
            break;
        }
        std::string line = text.substr(start, end - start);
        EXPECT_TRUE(std::regex_search(line, stamp)) << line;
        lines.push_back(line.substr(line.size() < 24 ? line.size() : 24));
        start = end + 2;
    }
    return lines;
}

static std::string Header(const std::string &tail)
{
    return "==== StageRun 1.0.0, 64-bit on 64-bit Windows 10.0.19045, language 0409, code page "
           "1252; program C:\\Pkg\\stagerun.exe; command line \"" +
           tail + "\"; medium C:\\Pkg";
}

// Driver, installer held by its wait list (which comes back in a settle round), setup program with
// -f1/-f2 under the dialog, a copy, a missing file, and the restart question answered Yes.
TEST(StepLog, TypicalRun)
{
    MakeMedium(
        "[SetupList]\nSetup1=0,drv.inf,vid_1234\nSetup2=1,Driver\\setup.exe, ,helper.exe\n"
        "Setup3=1,app\\setup.exe,-s -f1\"%curdir%\\app\\setup.iss\" -f2\"%windir%\\s.log\", ,1\n"
        "Setup4=2,tool.exe,/q,sub.exe\nSetup5=1,nothere.exe, ,\n");
    sim::WriteFile("C:\\Pkg\\drv.inf", "[Version]\n");
    sim::WriteFile("C:\\Pkg\\app\\setup.iss", "");
    sim::AddDevice({{"USB\\VID_1234&PID_0001&REV_0100"}, "Widget"});
    AddInstaller("C:\\Pkg\\Driver\\setup.exe", 1000);
    AddInstaller("C:\\Pkg\\app\\setup.exe", 1000);
    sim::Program tool;
    tool.children = {{"sub.exe", 100}}; // outlives the tool that started it
    AddInstaller("C:\\Pkg\\app\\tool.exe", 1000, tool);
    sim::Program sub;
    sub.runMs = 1500;
    sim::DefineProgram("sub.exe", sub);
    sim::At(4000, [] { sim::AddProcess("helper.exe", sim::kLauncherPid, 2000); });
    sim::ScriptMessageBoxAnswer(IDYES);
    sim::SetWindowsVersion(6, 1, 7601);

    EXPECT_TRUE(Finished(sim::Run("/log")));
    const std::vector<std::string> expected = {
        "==== StageRun 1.0.0, 64-bit on 64-bit Windows 6.1.7601, language 0409, code page 1252; "
        "program C:\\Pkg\\stagerun.exe; command line \"/log\"; medium C:\\Pkg",
        "setup list C:\\Pkg\\StageRun.ini, section [SetupList]",
        "Setup1=\"0\",\"drv.inf\",\"vid_1234\",\"\",\"\"",
        "Setup2=\"1\",\"Driver\\setup.exe\",\" \",\"helper.exe\",\"\"",
        "Setup3=\"1\",\"app\\setup.exe\",\"-s -f1\"%curdir%\\app\\setup.iss\" "
        "-f2\"%windir%\\s.log\"\",\" \",\"1\"",
        "Setup4=\"2\",\"tool.exe\",\"/q\",\"sub.exe\",\"\"",
        "Setup5=\"1\",\"nothere.exe\",\" \",\"\",\"\"",
        "5 steps loaded; the list ends at Setup6: empty or missing",
        "step 1: install the driver C:\\Pkg\\drv.inf for the device matching \"vid_1234\"",
        "step 1: device found: USB\\VID_1234&PID_0001&REV_0100",
        "step 1: driver installed, restart not needed",
        "step 2: run .\\setup.exe in C:\\Pkg\\Driver directly, parameters \" \"; waits for it and "
        "the wait list \"helper.exe\" (split at ~), then settles",
        "step 2: started (ShellExecute answered 42)",
        "step 2: held by SETUP.EXE (id 5000), started by this launcher",
        "step 2: SETUP.EXE held it for 0.8 s",
        "step 2: settle round 4 found HELPER.EXE back",
        "step 2: held by HELPER.EXE (id 5004), started by this launcher",
        "step 2: HELPER.EXE held it for 1.6 s",
        "step 2: setup.exe ended with exit code 0: success (default)",
        "step 3: run .\\setup.exe in C:\\Pkg\\app under the dialog, parameters \"-s "
        "-F1\"C:\\Pkg\\APP\\SETUP.ISS\" -F2\"C:\\WINDOWS\\temp\\S.LOG\"\"; waits for it and the "
        "wait list \" \" (split at *); asks for a restart",
        "step 3: -f1 passed",
        "step 3: -f2 passed",
        "step 3: started (ShellExecute answered 42)",
        "step 3: held by SETUP.EXE (id 5008), started by this launcher",
        "step 3: SETUP.EXE held it for 0.8 s",
        "step 3: setup.exe ended with exit code 0: success (default)",
        "step 4: copy .\\tool.exe to C:\\WINDOWS\\tool.exe",
        "step 4: run C:\\WINDOWS\\tool.exe in C:\\Pkg\\app under the dialog, parameters \"/q\"; "
        "waits for it and the wait list \"sub.exe\" (split at *)",
        "step 4: copied",
        "step 4: started (ShellExecute answered 42)",
        "step 4: held by TOOL.EXE (id 5012), started by this launcher",
        "step 4: TOOL.EXE held it for 0.8 s",
        "step 4: held by SUB.EXE (id 5016), started by TOOL.EXE (id 5012)",
        "step 4: SUB.EXE held it for 0.8 s",
        "step 4: tool.exe ended with exit code 0: success (default)",
        "step 5: skipped: .\\nothere.exe is missing (current folder C:\\Pkg)",
        "step 6: no more steps: the run ends",
        "restart: answered Yes",
        "restart requested",
        "==== end of run, exit code 1603: step 5 failed: file missing",
    };
    EXPECT_EQ(expected, LogLines());
    // Each line carries the local time of its event: the second step started at 1.5 s.
    EXPECT_NE(std::string::npos, sim::ReadFileAt(TempLog).find(
                                     "2024-06-03 09:00:01.500 step 2: started (ShellExecute"));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// Runs that fail along the way: each case's log after its header.
struct FailingRun {
    const char *name, *ini, *tail;
    void (*prepare)();
    std::vector<std::string> lines; // from the first step on, but for the list's own cases
};
class FailingRuns : public ::testing::TestWithParam<FailingRun>
{
};

TEST_P(FailingRuns, AreLogged)
{
    const FailingRun &c = GetParam();
    MakeMedium(c.ini);
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    c.prepare();
    EXPECT_TRUE(Finished(sim::Run(c.tail)));
    std::vector<std::string> lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Header(c.tail), lines[0]);
    auto from = std::find_if(lines.begin() + 1, lines.end(), [&c](const std::string &line) {
        return line.compare(0, 4, c.lines[0], 0, 4) == 0;
    });
    EXPECT_EQ(c.lines, std::vector<std::string>(from, lines.end()));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

static void Nothing() {}

static void CannotStartAndCopyFails()
{
    sim::Program cannot;
    cannot.cannotStart = true;
    AddInstaller("C:\\Pkg\\a.exe", 0, cannot);
    AddInstaller("C:\\Pkg\\tool.exe", 0);
    sim::MakeDirectory("C:\\WINDOWS\\tool.exe");
    sim::WriteFile("C:\\Pkg\\app", "a file where a folder should be");
}

static void DeviceFailures()
{
    sim::AddDevice({{"PCI\\VEN_8086&DEV_1234"}, "Target"});
    sim::ScriptDriverInstall(FALSE, FALSE);
    sim::ScriptRescanResult(CR_FAILURE);
}

static void DriverAsksRestartAndExitWindowsFails()
{
    sim::AddDevice({{"PCI\\VEN_8086&DEV_1234"}, "Target"});
    sim::ScriptDriverInstall(TRUE, TRUE);
    sim::FailExitWindows(ERROR_SHUTDOWN_IN_PROGRESS);
}

static void NeverEndsAndEsc()
{
    AddInstaller("C:\\Pkg\\a.exe", sim::kForever);
    sim::At(3000, [] { sim::PressKey(VK_ESCAPE); });
}

static void DllRedirection()
{
    sim::MakeDirectory("C:\\Pkg\\stagerun.exe.local");
}

// Two Windows Installer processes before the hand-off: one that can be ended, one that cannot.
static void HandOffFails()
{
    sim::SetWow64(true);
    sim::AddProcess("msiexec.exe", 600);
    sim::AddProcess("msiexec.exe", 600, sim::kForever, false);
}

// Another installation holds Windows Installer until 2.8 s; then the package fails after 3 s.
static void InstallerBusyThenPackageFails()
{
    sim::NamedMutex busy;
    busy.creatorPid = sim::AddProcess("msiexec.exe", 600);
    sim::AddMutex("Global\\_MSIExecute", busy);
    sim::At(2800, [] { sim::ReleaseMutexOf("Global\\_MSIExecute"); });
    sim::Program package;
    package.exitCode = 1603;
    AddInstaller("C:\\Pkg\\app.msi", 3000, package);
}

// Step 1 is installed; step 2's installer ends 0 without installing what its rule names.
static void InstalledAndNot()
{
    sim::AddInstalledProduct("{36F68A90-239C-34DF-B58C-64B30153CE35}", "14.40.33810.0");
    AddInstaller("C:\\Pkg\\vc.exe", 0);
    AddInstaller("C:\\Pkg\\b.exe", 0);
}

static const char Tail[] = "/log";
static const char Esc[] = "step 1: dialog closed by the user: Cancel (Esc or close box)";

INSTANTIATE_TEST_SUITE_P(
    Cases, FailingRuns,
    ::testing::Values(
        FailingRun{"NoList",
                   "",
                   Tail,
                   Nothing,
                   {"setup list C:\\Pkg\\StageRun.ini, section [SetupList]",
                    "no StageRun.ini found", "step 1: no more steps: the run ends",
                    "no step asked for a restart",
                    "==== end of run, exit code 1603: no setup list"}},
        FailingRun{"FieldTooLong",
                   "[SetupSilent]\nSetup1=-3,x\nSetup2=1,a.exe,x, ,12\n",
                   "/s /log",
                   Nothing,
                   {"setup list C:\\Pkg\\StageRun.ini, section [SetupSilent]",
                    "Setup1=\"-3\",\"x\",\"\",\"\",\"\"",
                    "1 steps loaded; the list ends at Setup2: RebootFlag does not fit",
                    "step 1: Kind \"-3\" is no step: the run ends", "no step asked for a restart",
                    "==== end of run, exit code 0: all steps done"}},
        FailingRun{"CannotStartAndCopyFails",
                   "[SetupList]\nSetup1=1,a.exe,/q\nSetup2=2,tool.exe, ,\nSetup3=1,app\\b.exe, ,\n",
                   Tail,
                   CannotStartAndCopyFails,
                   {"step 1: run .\\a.exe in C:\\Pkg under the dialog, parameters \"/q\"; waits "
                    "for it and the wait list \"\" (split at *)",
                    "step 1: not started (ShellExecute answered 5, last error 5: Access is "
                    "denied.)",
                    "step 1: nothing holds it", "step 2: copy .\\tool.exe to C:\\WINDOWS\\tool.exe",
                    "step 2: run C:\\WINDOWS\\tool.exe in C:\\Pkg directly, parameters \" \"; "
                    "waits for it and the wait list \"\" (split at ~), then settles",
                    "step 2: copy failed (error 5: Access is denied.): skipped",
                    "step 3: skipped: folder C:\\Pkg\\app cannot be made current",
                    "step 4: no more steps: the run ends", "no step asked for a restart",
                    "==== end of run, exit code 1603: step 1 failed: not started"}},
        FailingRun{"DeviceFailures",
                   "[SetupList]\nSetup1=0,d.inf,ven_8086\nSetup2=0,d.inf,ven_9999\n"
                   "Setup3=-1,x,ven_8086\nSetup4=-2,x\nSetup5=0,d.inf, \n",
                   Tail,
                   DeviceFailures,
                   {"step 1: install the driver C:\\Pkg\\d.inf for the device matching "
                    "\"ven_8086\"",
                    "step 1: device found: PCI\\VEN_8086&DEV_1234",
                    "step 1: driver not installed (last error 5: Access is denied.)",
                    "step 2: install the driver C:\\Pkg\\d.inf for the device matching "
                    "\"ven_9999\"",
                    "step 2: found no device matching \"ven_9999\"",
                    "step 3: remove the device matching \"ven_8086\"",
                    "step 3: device found: PCI\\VEN_8086&DEV_1234",
                    "step 3: device removal requested", "step 4: rescan the hardware",
                    "step 4: hardware rescan failed",
                    "step 5: skipped: the hardware-id text is blank",
                    "step 6: no more steps: the run ends", "no step asked for a restart",
                    "==== end of run, exit code 1603: step 1 failed: driver not installed"}},
        FailingRun{"RestartRefused",
                   "[SetupList]\nSetup1=0,d.inf,ven_8086\n",
                   "/log /s",
                   DriverAsksRestartAndExitWindowsFails,
                   {"step 1: install the driver C:\\Pkg\\d.inf for the device matching "
                    "\"ven_8086\"",
                    "step 1: device found: PCI\\VEN_8086&DEV_1234",
                    "step 1: driver installed, restart needed",
                    "step 2: no more steps: the run ends", "restart: silent run, not asked",
                    "restart refused (error 1115: A system shutdown is in progress.)",
                    "silent run, no message box: \"ExitWindowsEx\": error 1115: A system "
                    "shutdown is in progress.",
                    "==== end of run, exit code 3010: restart refused"}},
        FailingRun{"EscAndRestartDeclined",
                   "[SetupList]\nSetup1=1,a.exe,/q, ,1\n",
                   Tail,
                   NeverEndsAndEsc,
                   {"step 1: run .\\a.exe in C:\\Pkg under the dialog, parameters \"/q\"; waits "
                    "for it and the wait list \" \" (split at *); asks for a restart",
                    "step 1: started (ShellExecute answered 42)",
                    "step 1: held by A.EXE (id 5000), started by this launcher", Esc,
                    "step 1: a.exe still runs: exit code unknown",
                    "step 2: no more steps: the run ends", "restart: answered No",
                    "==== end of run, exit code 3010: no restart (answered No)"}},
        FailingRun{"InstallerBusyThenPackageFails",
                   "[SetupList]\nSetup1=1,app.msi,/qn\n",
                   Tail,
                   InstallerBusyThenPackageFails,
                   {"step 1: run .\\app.msi in C:\\Pkg under the dialog, parameters \"/qn\" "
                    "(package: as written); waits for it and the wait list \"\" (split at *)",
                    "step 1: Windows Installer is busy with another installation: ending "
                    "nothing, waiting for it, at most 10 minutes",
                    "step 1: Windows Installer became free after 2.5 s: going on",
                    "ended MSIEXEC.EXE (process 5000)",
                    "step 1: started (ShellExecute answered 42)",
                    "step 1: held by MSIEXEC.EXE (id 5004), started by this launcher",
                    "step 1: APP.MSI held it for 2.8 s",
                    "step 1: app.msi ended with exit code 1603: failure (default)",
                    "step 2: no more steps: the run ends", "no step asked for a restart",
                    "==== end of run, exit code 1603: step 1 failed: exit code 1603"}},
        FailingRun{"Detected",
                   "[SetupList]\nSetup1=1,vc.exe, ,\nSetup2=1,b.exe,/q\n[Detect]\n"
                   "vc.exe=msi:{36F68A90-239C-34DF-B58C-64B30153CE35}>=14.38.33135\n"
                   "b.exe=reg:HKLM\\SOFTWARE\\B,Version\n",
                   Tail,
                   InstalledAndNot,
                   {"step 1: already installed: msi:{36F68A90-239C-34DF-B58C-64B30153CE35}"
                    ">=14.38.33135 is installed, version 14.40.33810.0: skipped",
                    "step 2: run .\\b.exe in C:\\Pkg under the dialog, parameters \"/q\"; waits "
                    "for it and the wait list \"\" (split at *)",
                    "step 2: [Detect] reg:HKLM\\SOFTWARE\\B,Version is missing: the step runs",
                    "step 2: started (ShellExecute answered 42)", "step 2: nothing holds it",
                    "step 2: b.exe ended with exit code 0: success (default)",
                    "step 2: installed, but the [Detect] rule does not hold: "
                    "reg:HKLM\\SOFTWARE\\B,Version is missing",
                    "step 3: no more steps: the run ends", "no step asked for a restart",
                    "==== end of run, exit code 1603: step 2 failed: installed, but the [Detect] "
                    "rule does not hold"}},
        FailingRun{"DllRedirection",
                   "[SetupList]\nSetup1=1,a.exe, ,\n",
                   Tail,
                   DllRedirection,
                   {"==== end of run, exit code 1: a .local would redirect its DLLs"}},
        FailingRun{"HandOffFails",
                   "[SetupList]\nSetup1=1,a.exe, ,\n",
                   "/s /log",
                   HandOffFails,
                   {"ended MSIEXEC.EXE (process 5000)",
                    "could not end MSIEXEC.EXE (process 5004): error 5: Access is denied.",
                    "hand-off to C:\\Pkg\\stagerun64.exe, parameters \"/s /log:\"C:\\Users\\"
                    "Setup\\AppData\\Local\\Temp\\StageRun.log\"\": not started (ShellExecute "
                    "answered 2, last error 2: The system cannot find the file specified.)",
                    "silent run, no message box: \"Cannot start stagerun64.exe\": error 2: The "
                    "system cannot find the file specified.",
                    "==== end of run, exit code 2: stagerun64.exe not started"}},
        // The first rule for a code holds; the second is named and left.
        FailingRun{"DeclaredCodeTwice",
                   "[SetupList]\nSetup1=1,b.exe,/q\n[ExitCodes]\nb.exe=5:success 5:failure\n",
                   Tail,
                   +[] {
                       sim::Program program;
                       program.exitCode = 5;
                       AddInstaller("C:\\Pkg\\b.exe", 1000, program);
                   },
                   {"step 1: run .\\b.exe in C:\\Pkg under the dialog, parameters \"/q\"; waits "
                    "for it and the wait list \"\" (split at *)",
                    "step 1: [ExitCodes] \"5:success 5:failure\"",
                    "step 1: [ExitCodes] ignores what it cannot read: \"5:failure\"",
                    "step 1: started (ShellExecute answered 42)",
                    "step 1: held by B.EXE (id 5000), started by this launcher",
                    "step 1: B.EXE held it for 0.8 s",
                    "step 1: b.exe ended with exit code 5: success ([ExitCodes])",
                    "step 2: no more steps: the run ends", "no step asked for a restart",
                    "==== end of run, exit code 0: all steps done"}}),
    [](const ::testing::TestParamInfo<FailingRun> &info) { return std::string(info.param.name); });

// Whether the text parts into whole characters of code page 949, whose lead bytes are 0x81-0xFE.
static bool WholeCharacters(const std::string &text)
{
    size_t i = 0;
    while (i < text.size())
        i += (unsigned char)text[i] >= 0x81 ? 2 : 1;
    return i == text.size();
}

// A line longer than the log's buffer goes on in the next, never parting a double-byte character:
// in code page 949 "\xb0\xa1" is one character. The command line is the author's, however long.
TEST(StepLog, LongLinesGoOnWhole)
{
    sim::SetSystemDefaultLocale(0x0412);
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n");
    std::string head = "==== StageRun 1.0.0, 64-bit on 64-bit Windows 10.0.19045, language 0412, "
                       "code page 949; program C:\\Pkg\\stagerun.exe; command line \"/log ";
    // The characters straddle the end of the first line, which holds 232 bytes after its time.
    std::string tail = (232 - head.size()) % 2 == 0 ? "/log x" : "/log ";
    for (int i = 0; i < 150; i++)
        tail += "\xb0\xa1";
    EXPECT_TRUE(Finished(sim::Run(tail)));
    std::vector<std::string> lines = LogLines();
    ASSERT_LE(3u, lines.size());
    std::string header = lines[0];
    for (size_t i = 1; i < lines.size() && lines[i].compare(0, 2, "+ ") == 0; i++) {
        EXPECT_TRUE(WholeCharacters(lines[i])) << i;
        header += lines[i].substr(2);
    }
    EXPECT_TRUE(WholeCharacters(lines[0]));
    EXPECT_EQ("+ ", lines[1].substr(0, 2));
    EXPECT_EQ("==== StageRun 1.0.0, 64-bit on 64-bit Windows 10.0.19045, language 0412, code page "
              "949; program C:\\Pkg\\stagerun.exe; command line \"" +
                  tail + "\"; medium C:\\Pkg",
              header);
}

// Where the log goes, and which tails are silent runs.
struct LogSwitchCase {
    const char *name, *tail, *listSetting;
    const char *log; // "" for none anywhere
    BYTE silent;
};
class LogSwitches : public ::testing::TestWithParam<LogSwitchCase>
{
};

TEST_P(LogSwitches, PutTheLogThere)
{
    const LogSwitchCase &c = GetParam();
    MakeMedium(std::string("[SetupList]\nSetup1=1,a.exe, ,\n[SetupSilent]\nSetup1=1,a.exe, ,\n") +
               c.listSetting);
    AddInstaller("C:\\Pkg\\a.exe", 0);
    sim::MakeDirectory("D:\\Logs");
    sim::MakeDirectory("C:\\my logs");
    EXPECT_TRUE(Finished(sim::Run(c.tail)));
    EXPECT_EQ(c.silent, SilentMode);
    EXPECT_EQ(1u, sim::Launches().size());
    for (const char *other : {TempLog, "C:\\Pkg\\Setup.log", "D:\\Logs\\run.log",
                              "C:\\my logs\\a.log", "C:\\WINDOWS\\temp\\Logs.log"}) {
        if (c.log != std::string(other)) {
            EXPECT_FALSE(sim::FileExistsAt(other)) << other;
        }
    }
    if (c.log[0] == '\0')
        return;
    std::vector<std::string> lines = LogLines(c.log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Header(c.tail), lines[0]);
    EXPECT_EQ("==== end of run, exit code 0: all steps done", lines.back());
}

static const char Setting[] = "[StageRun]\nLog=%curdir%\\Setup.log\n";
static const std::string TooLong = "/log:C:\\" + std::string(300, 'x');

INSTANTIATE_TEST_SUITE_P(
    Tails, LogSwitches,
    ::testing::Values(
        LogSwitchCase{"Temp", "/log", "", TempLog, 0},
        LogSwitchCase{"TempSilent", "/LOG /s", "", TempLog, 1},
        LogSwitchCase{"QuotedPath", "/log:\"C:\\my logs\\a.log\" /S", "", "C:\\my logs\\a.log", 1},
        LogSwitchCase{"Token", "/log:%WINDIR%\\Logs.log", "", "C:\\WINDOWS\\temp\\Logs.log", 0},
        LogSwitchCase{"OtherWordsNotSilent", "/s x /log", "", TempLog, 0},
        LogSwitchCase{"FirstOfTwo", "/s /log /log:D:\\Logs\\run.log", "", TempLog, 0},
        LogSwitchCase{"NotASwitch", "/logs /s", "", "", 0},
        LogSwitchCase{"EmptyPath", "/log:", "", "", 0},
        LogSwitchCase{"PathTooLong", TooLong.c_str(), Setting, "", 0},
        LogSwitchCase{"ListSetting", "", Setting, "C:\\Pkg\\Setup.log", 0},
        LogSwitchCase{"SwitchBeforeSetting", "/log", Setting, TempLog, 0}),
    [](const ::testing::TestParamInfo<LogSwitchCase> &info) {
        return std::string(info.param.name);
    });

// Everything the run did that anyone could see, and when.
static std::string Trace(const sim::RunResult &result)
{
    std::ostringstream out;
    for (const sim::Launch &l : sim::Launches())
        out << "launch " << l.timeMs << " " << l.file << " [" << l.parameters << "] "
            << l.currentDirectory << "\n";
    for (const sim::DialogRecord &d : sim::Dialogs())
        out << "dialog " << d.openMs << "-" << d.closeMs << " " << d.result << "\n";
    for (const sim::MessageBoxRecord &b : sim::MessageBoxes())
        out << "box " << b.timeMs << " " << b.caption << ": " << b.text << "\n";
    for (const sim::DriverInstall &i : sim::DriverInstalls())
        out << "driver " << i.timeMs << " " << i.hardwareId << "\n";
    for (const sim::RestartRequest &r : sim::RestartRequests())
        out << "restart " << r.timeMs << "\n";
    out << "end " << result.endMs << " exit " << result.exitCode << " handles "
        << sim::OpenHandleCount();
    return out.str();
}

// The run is the one without a log, whether the log is written or cannot be opened or written.
struct Unwritable {
    const char *name, *tail;
    void (*fault)();
    size_t loggedLines; // whole lines written before the fault
};
class UnwritableLog : public ::testing::TestWithParam<Unwritable>
{
};

TEST_P(UnwritableLog, LeavesTheRunAsItIs)
{
    MakeMedium("[SetupList]\nSetup1=0,d.inf,vid_1\nSetup2=1,a.exe, ,b.exe,1\n"
               "Setup3=1,c.exe,/q, ,1\n");
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    sim::AddDevice({{"USB\\VID_1"}, "One"});
    AddInstaller("C:\\Pkg\\a.exe", 1000);
    sim::At(2000, [] { sim::AddProcess("b.exe", sim::kLauncherPid, 2500); });
    AddInstaller("C:\\Pkg\\c.exe", sim::kForever);
    sim::At(15000, [] { sim::PressKey(VK_RETURN); });
    sim::ScriptMessageBoxAnswer(IDYES);
    sim::FailExitWindows(ERROR_ACCESS_DENIED);
    GetParam().fault();

    sim::RunResult result = sim::Run(GetParam().tail);
    EXPECT_TRUE(Finished(result));
    // The driver at 1 s; a.exe from 1.5 s, then b.exe until 4.5 s, found gone at 4.6 s and settled
    // for 6 s; c.exe at 11.1 s until Enter; the restart question half a second later.
    EXPECT_EQ("launch 1500 .\\a.exe [ ] C:\\Pkg\n"
              "launch 11100 .\\c.exe [/q] C:\\Pkg\n"
              "dialog 500-1000 300\n"
              "dialog 11100-15000 1\n"
              "box 15500 System Rebooting: Reboot system now?\n"
              "box 15500 ExitWindowsEx: Access is denied.\r\n\n"
              "driver 1000 USB\\VID_1\n"
              "end 15500 exit 3010 handles 0",
              Trace(result));
    std::string text = sim::ReadFileAt(TempLog);
    EXPECT_EQ(GetParam().loggedLines, LogLines().size()) << text;
    EXPECT_TRUE(text.empty() || text.substr(text.size() - 2) == "\r\n") << text;
}

static void NoFault() {}
static void ReadOnlyFolder()
{
    sim::DenyWrites("C:\\Users\\Setup\\AppData\\Local\\Temp");
}
static void FolderInItsPlace()
{
    sim::MakeDirectory(TempLog);
}
static void DiskFull()
{
    sim::SetFreeSpace('C', 0);
}
// Room for the header and the list, not for the first step.
static void DiskFullLater()
{
    sim::SetFreeSpace('C', 500);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnwritableLog,
    ::testing::Values(Unwritable{"NoLog", "", NoFault, 0},
                      Unwritable{"Written", "/log", NoFault, 25},
                      Unwritable{"ReadOnlyFolder", "/log", ReadOnlyFolder, 0},
                      Unwritable{"FolderInItsPlace", "/log", FolderInItsPlace, 0},
                      Unwritable{"DiskFull", "/log", DiskFull, 0},
                      Unwritable{"DiskFullLater", "/log", DiskFullLater, 5},
                      Unwritable{"PathTooLong", TooLong.c_str(), NoFault, 0}),
    [](const ::testing::TestParamInfo<Unwritable> &info) { return std::string(info.param.name); });

// Every event gives back the last error it began with, which the run may still read; a write that
// fails leaves the log, and the end of the run closes it.
TEST(StepLog, EventsGiveTheLastErrorBack)
{
    MakeMedium("[SetupList]\nSetup1=2,tool.exe, ,\n");
    LogSwitch = LOG_SWITCH_TEMP;
    OpenLog("/log");
    PlanStep(1);
    SetLastError(ERROR_ACCESS_DENIED);
    LogCopy(FALSE);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    sim::SetFreeSpace('C', 0);
    SetLastError(1234);
    LogStep();
    EXPECT_EQ(1234u, GetLastError());
    LogEnd(0);
    EXPECT_EQ(0, sim::OpenHandleCount());
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("step 1: copy failed (error 5: Access is denied.): skipped", lines[1]);
}
