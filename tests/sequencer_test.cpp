// The sequencer: steps in order, on its timers, with its waiting rules, in virtual time.
#include "medium.h"

static const char UsbWidget[] = "USB\\VID_1234&PID_0001&REV_0100";

// Driver, installer in a subfolder with a wait list, setup program with response and log files,
// and the restart question at the end.
TEST(Sequencer, TypicalRun)
{
    MakeMedium("[SetupList]\n"
               "Setup1=0,drv.inf,vid_1234\n"
               "Setup2=1,Driver\\setup.exe, ,helper.exe\n"
               "Setup3=1,app\\setup.exe,-s -f1\"%curdir%\\app\\setup.iss\" "
               "-f2\"%windir%\\setup.log\", ,1\n");
    sim::WriteFile("C:\\Pkg\\drv.inf", "[Version]\n");
    sim::WriteFile("C:\\Pkg\\app\\setup.iss", "");
    sim::AddDevice({{UsbWidget, "USB\\VID_1234&PID_0001"}, "Widget"});
    AddInstaller("C:\\Pkg\\Driver\\setup.exe", 3000);
    AddInstaller("C:\\Pkg\\app\\Setup.exe", 1000);
    // A helper that runs as the launcher's own child until 6000 ms holds the second step.
    sim::At(4000, [] { sim::AddProcess("helper.exe", sim::kLauncherPid, 2000); });
    sim::ScriptMessageBoxAnswer(IDYES);

    sim::RunResult result = sim::Run("");

    EXPECT_TRUE(Finished(result));
    ASSERT_EQ(1u, sim::DriverInstalls().size());
    EXPECT_EQ(UsbWidget, sim::DriverInstalls()[0].hardwareId);
    EXPECT_EQ("C:\\Pkg\\drv.inf", sim::DriverInstalls()[0].infPath);
    EXPECT_EQ(0u, sim::DriverInstalls()[0].flags);
    EXPECT_EQ(1000u, sim::DriverInstalls()[0].timeMs); // one timer period after the dialog opened
    ASSERT_EQ(2u, sim::Launches().size());
    const sim::Launch &installer = sim::Launches()[0];
    EXPECT_EQ("open", installer.verb);
    EXPECT_EQ(".\\setup.exe", installer.file);
    EXPECT_EQ(" ", installer.parameters);
    EXPECT_EQ("C:\\Pkg\\Driver", installer.currentDirectory);
    EXPECT_EQ(1500u, installer.timeMs);
    EXPECT_EQ(sim::kLauncherPid, sim::FindProcess(installer.pid)->parentPid);
    const sim::Launch &setup = sim::Launches()[1];
    EXPECT_EQ("-s -F1\"C:\\Pkg\\APP\\SETUP.ISS\" -F2\"C:\\WINDOWS\\temp\\SETUP.LOG\"",
              setup.parameters);
    EXPECT_EQ("C:\\Pkg\\app", setup.currentDirectory);
    // Installer gone at 4500, helper at 6000: the poll at 6600 finds nothing, then 20 settle
    // rounds of 300 ms and 500 ms more.
    EXPECT_EQ(6600u + 6000u + 500u, setup.timeMs);
    ASSERT_EQ(2u, sim::Dialogs().size());
    EXPECT_TRUE(AllLaunchesShown());
    EXPECT_EQ(IDD_INSTALL_ENGLISH, sim::Dialogs()[0].templateId);
    EXPECT_EQ(TIMER_DRIVER_INSTALL, sim::Dialogs()[0].result);
    EXPECT_EQ(TIMER_DIALOG_WATCH, sim::Dialogs()[1].result);
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    EXPECT_EQ("Reboot system now?", sim::MessageBoxes()[0].text);
    ASSERT_EQ(1u, sim::RestartRequests().size());
    EXPECT_EQ((UINT)(EWX_REBOOT | EWX_FORCE), sim::RestartRequests()[0].flags);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// Each step kills its own timer first and arms one timer last: never two at once.
TEST(Sequencer, AtMostOneTimerArmed)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\nSetup2=1,b.exe,-x\nSetup3=0,d.inf,vid\n");
    AddInstaller("C:\\Pkg\\a.exe", 1200);
    AddInstaller("C:\\Pkg\\b.exe", 900);
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    sim::AddDevice({{"PCI\\VID_9"}, "Nine"});
    EXPECT_TRUE(Finished(sim::Run("")));
    int armed = 0;
    for (const sim::TimerEvent &event : sim::TimerEvents()) {
        armed += event.what == 'S' ? 1 : event.what == 'K' ? -1 : 0;
        EXPECT_LE(armed, 1) << "at " << event.timeMs << " ms, timer " << event.id;
    }
}

// A driver step whose INF is in the current folder but not beside the program, where it would be
// installed from, is skipped as well, without opening the dialog.
TEST(Sequencer, MissingFileSkippedAndNextStepHalfASecondLater)
{
    MakeMedium("[SetupList]\nSetup1=1,missing.exe, ,\nSetup2=2,gone.exe, ,\nSetup3=0,no.inf,x\n"
               "Setup4=1,sub\\missing.exe, ,\nSetup5=0,sub.inf,vid_1234\nSetup6=1,here.exe, ,\n");
    AddInstaller("C:\\Pkg\\here.exe", 0);
    AddInstaller("C:\\WINDOWS\\gone.exe", 0); // left by an earlier run: not to be run again
    sim::WriteFile("C:\\Pkg\\sub\\sub.inf", "");
    sim::AddDevice({{UsbWidget}, "Widget"});
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_EQ(std::vector<DWORD>{3000}, LaunchTimes());
    EXPECT_TRUE(sim::Dialogs().empty());
}

// With the Windows folder current (reached here through "..\"), a kind "2" file is its own copy:
// it runs as it is, and is not emptied by a copy onto itself.
TEST(Sequencer, CopyInTheWindowsFolderRuns)
{
    MakeMedium("[SetupList]\nSetup1=1,..\\WINDOWS\\first.exe, ,\nSetup2=2,tool.exe, ,\n");
    AddInstaller("C:\\WINDOWS\\first.exe", 0);
    AddInstaller("C:\\WINDOWS\\tool.exe", 0);
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(2u, sim::Launches().size());
    EXPECT_EQ("C:\\WINDOWS\\tool.exe", sim::Launches()[1].file);
    EXPECT_EQ("MZ", sim::ReadFileAt("C:\\WINDOWS\\tool.exe"));
}

// A kind "1" step in a subfolder leaves it current: a later kind "2" step copies from there and
// runs the copy in the Windows directory; a drive-qualified file changes nothing.
TEST(Sequencer, DirectoriesCarryOver)
{
    MakeMedium("[SetupList]\nSetup1=1,sub\\first.exe, ,\nSetup2=2,tool.exe, ,\n"
               "Setup3=1,D:\\Other\\abs.exe, ,\nSetup4=2,tool.exe,/quiet\n");
    AddInstaller("C:\\Pkg\\sub\\first.exe", 0);
    AddInstaller("C:\\Pkg\\sub\\tool.exe", 0);
    AddInstaller("C:\\Pkg\\tool.exe", 0); // not the one the copy takes
    sim::WriteFile("C:\\Pkg\\sub\\tool.exe", "from sub");
    AddInstaller("D:\\Other\\abs.exe", 0);
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(4u, sim::Launches().size());
    EXPECT_EQ("C:\\Pkg\\sub", sim::Launches()[0].currentDirectory);
    EXPECT_EQ("C:\\WINDOWS\\tool.exe", sim::Launches()[1].file);
    EXPECT_EQ("from sub", sim::ReadFileAt("C:\\WINDOWS\\tool.exe"));
    EXPECT_EQ("D:\\Other\\abs.exe", sim::Launches()[2].file);
    EXPECT_EQ("C:\\Pkg\\sub", sim::Launches()[2].currentDirectory);
    EXPECT_EQ("C:\\WINDOWS\\tool.exe", sim::Launches()[3].file);
    EXPECT_EQ("/quiet", sim::Launches()[3].parameters);
    EXPECT_TRUE(AllLaunchesShown());
}

// A medium at a drive's root: "D:" alone would name the folder current on that drive, which an
// earlier step left in a subfolder; the root is meant.
TEST(Sequencer, MediumAtADriveRoot)
{
    MakeMedium("[SetupList]\nSetup1=1,sub\\a.exe, ,\nSetup2=1,b.exe, ,\n", "D:");
    AddInstaller("D:\\sub\\a.exe", 0);
    AddInstaller("D:\\b.exe", 0);
    sim::WriteFile("D:\\sub\\b.exe", "not this one");
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(2u, sim::Launches().size());
    EXPECT_EQ("D:\\sub", sim::Launches()[0].currentDirectory);
    EXPECT_EQ("D:\\", sim::Launches()[1].currentDirectory);
}

// A folder that cannot be made current skips its step; the current folder stays where the last
// step left it, so nothing of that folder runs in its place.
TEST(Sequencer, FolderThatCannotBeMadeCurrentIsSkipped)
{
    MakeMedium("[SetupList]\nSetup1=1,driver\\setup.exe, ,\nSetup2=1,app\\setup.exe,-s\n"
               "Setup3=1,app\\setup.exe, ,\nSetup4=2,tool.exe, ,\n");
    AddInstaller("C:\\Pkg\\driver\\setup.exe", 0);
    AddInstaller("C:\\Pkg\\driver\\tool.exe", 0);
    sim::WriteFile("C:\\Pkg\\app", "a file, not a folder");
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(2u, sim::Launches().size());
    EXPECT_EQ(" ", sim::Launches()[0].parameters);
    EXPECT_EQ("C:\\WINDOWS\\tool.exe", sim::Launches()[1].file);
    EXPECT_EQ("C:\\Pkg\\driver", sim::Launches()[1].currentDirectory);
    EXPECT_TRUE(sim::Dialogs().empty());
}

// A copy that fails skips its step instead of running what the Windows folder holds.
TEST(Sequencer, FailedCopyIsSkipped)
{
    MakeMedium("[SetupList]\nSetup1=2,tool.exe, ,\nSetup2=2,tool.exe,/quiet\n");
    AddInstaller("C:\\Pkg\\tool.exe", 0);
    sim::MakeDirectory("C:\\WINDOWS\\tool.exe");
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_TRUE(sim::Launches().empty());
    EXPECT_TRUE(sim::Dialogs().empty());
}

// One upper-casing on both sides of every comparison. In the Korean code page the trail byte of
// many syllables is an ASCII letter ("\x8c\x63" is one syllable): upper-cased byte by byte it would
// name another file, folder or process. In Windows-1252 the system's rules upper-case accented
// letters, which names in a process list keep as they are.
struct NameCase {
    const char *codePage;
    LCID locale;
    std::string name, upper;
};
class NonAsciiNames : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(NonAsciiNames, AreWaitedForAndKept)
{
    const NameCase &c = GetParam();
    sim::SetSystemDefaultLocale(c.locale);
    MakeMedium("[SetupList]\nSetup1=1," + c.name +
               ".exe, ,\n"
               "Setup2=1,next.exe,-s -f1\"%curdir%\\" +
               c.name + "\\a.iss\" -f2\"%curdir%\\" + c.name + "\\a.log\"\n");
    AddInstaller("C:\\Pkg\\" + c.name + ".exe", 3000);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    sim::WriteFile("C:\\Pkg\\" + c.name + "\\a.iss", "");
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(2u, sim::Launches().size());
    // Started at 500 ms, gone at 3500: the poll at 3700 finds it gone, then the settle rounds.
    EXPECT_EQ(3700u + 300u + 6000u + 500u, sim::Launches()[1].timeMs);
    EXPECT_EQ("-s -F1\"C:\\Pkg\\" + c.upper + "\\A.ISS\" -F2\"C:\\Pkg\\" + c.upper + "\\A.LOG\"",
              sim::Launches()[1].parameters);
}

INSTANTIATE_TEST_SUITE_P(CodePages, NonAsciiNames,
                         ::testing::Values(NameCase{"Korean949", 0x0412, "\x8c\x63", "\x8c\x63"},
                                           NameCase{"Western1252", 0x0409, "caf\xe9", "CAF\xe9"}),
                         [](const ::testing::TestParamInfo<NameCase> &info) {
                             return std::string(info.param.codePage);
                         });

struct WaitCase {
    const char *name, *waitList;
    // Started at 0 ms by the installer, each running until the time given; a grandchild is
    // started at 0 ms by the first child; an other is started by Explorer at 0 ms.
    std::vector<sim::Spawn> children, grandchildren, others;
    DWORD nextLaunchMs;
    // 1: joining a job of its own fails, and snapshots follow the run; 2: the children ask to
    // leave the launcher's job; 4: the installer ends at 800, before the first poll
    int variant;
};
class WaitList : public ::testing::TestWithParam<WaitCase>
{
};

// Programs that run from startMs until the times the spawns give, started by the process that
// starts at startMs.
static std::vector<sim::Spawn> RunUntil(const std::vector<sim::Spawn> &spawns, DWORD startMs,
                                        bool breakAway = false)
{
    std::vector<sim::Spawn> started;
    for (const sim::Spawn &s : spawns) {
        sim::Program program;
        program.runMs = s.afterMs - startMs;
        program.breaksAway = breakAway;
        sim::DefineProgram(s.name, program);
        started.push_back({s.name, 0});
    }
    return started;
}

// The installer (a.exe, 1 s) starts at 500 ms and its first poll is at 1200 ms.
TEST_P(WaitList, HoldsTheStep)
{
    const WaitCase &c = GetParam();
    MakeMedium(std::string("[SetupList]\nSetup1=1,a.exe, ,") + c.waitList +
               "\nSetup2=1,next.exe, ,\n");
    sim::Program a;
    a.children = RunUntil(c.children, 500, (c.variant & 2) != 0);
    if (!c.grandchildren.empty()) {
        sim::Program child;
        child.runMs = c.children[0].afterMs - 500;
        child.children = RunUntil(c.grandchildren, 500);
        sim::DefineProgram(c.children[0].name, child);
    }
    AddInstaller("C:\\Pkg\\a.exe", (c.variant & 4) != 0 ? 300 : 1000, a);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    for (const sim::Spawn &s : c.others)
        sim::AddProcess(s.name, sim::kExplorerPid, s.afterMs);
    if ((c.variant & 1) != 0)
        sim::StartLauncherInJob();
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(2u, sim::Launches().size());
    EXPECT_EQ(c.nextLaunchMs, sim::Launches()[1].timeMs);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// Done at the poll p: p + 300, 20 settle rounds of 300 ms, then 500 ms. Polls come at 1200 and
// 1700 ms, then every 800 ms (300 ms pause before the wait list, 500 ms timer).
static DWORD After(DWORD poll)
{
    return poll + 300 + 6000 + 500;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaitList,
    ::testing::Values(
        WaitCase{"Blank", " ", {}, {}, {}, After(1700), 0},
        WaitCase{"SecondNameHolds", "b.exe~c.exe", {{"c.exe", 4000}}, {}, {}, After(4100), 0},
        WaitCase{"EmptyNamesSkipped", "b.exe~~c.exe~", {{"b.exe", 2400}}, {}, {}, After(2500), 0},
        WaitCase{
            "PatternMatchesAnyStarter", "*.tmp", {}, {}, {{"other.tmp", 3000}}, After(3300), 0},
        WaitCase{"NameCaseIgnored", "c.exe", {{"C.EXE", 2100}}, {}, {}, After(2500), 0},
        WaitCase{"PlainNameRunOnly", "other.tmp", {}, {}, {{"other.tmp", 5000}}, After(1700), 0},
        // The child that started it has gone at 1500: an orphan three levels down still holds.
        WaitCase{"OrphanHolds", "c.exe", {{"b.exe", 1500}}, {{"c.exe", 4000}}, {}, After(4100), 0},
        WaitCase{"UnlistedDoesNotHold", " ", {{"tray.exe", 30000}}, {}, {}, After(1700), 0},
        WaitCase{"BreakawayHolds", "c.exe", {{"c.exe", 4000}}, {}, {}, After(4100), 2},
        // The launcher cannot join a job of its own: snapshots follow the run.
        WaitCase{"OrphanNoJob", "c.exe", {{"b.exe", 1500}}, {{"c.exe", 4000}}, {}, After(4100), 1},
        WaitCase{"OtherNoJob", "c.exe", {}, {}, {{"c.exe", 5000}}, After(1700), 1},
        // Its starter had ended before the first poll, at 1200; polls then every 800 ms.
        WaitCase{"BreakawayOfEarlyEnder", "c.exe", {{"c.exe", 4000}}, {}, {}, After(4400), 2 | 4},
        WaitCase{
            "OrphanOfEarlyEnderNoJob", "c.exe", {{"c.exe", 4000}}, {}, {}, After(4400), 1 | 4}),
    ByName());

// A process of the run that leaves the job still starts, and is still the run's, and so is what
// it starts after it left: b.exe (500-3000) starts c.exe at 2000, which runs until 5500.
TEST(Sequencer, BreakawayStaysInTheRun)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,b.exe~c.exe\nSetup2=1,next.exe, ,\n");
    sim::Program a;
    a.children = {{"b.exe", 0}};
    AddInstaller("C:\\Pkg\\a.exe", 1000, a);
    sim::Program b;
    b.runMs = 2500;
    b.breaksAway = true;
    b.children = {{"c.exe", 1500}};
    sim::DefineProgram("b.exe", b);
    sim::Program c;
    c.runMs = 3500;
    sim::DefineProgram("c.exe", c);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    EXPECT_TRUE(Finished(sim::Run("")));
    int started = 0;
    for (const sim::ProcessRecord &r : sim::Processes())
        started += r.name == "b.exe";
    EXPECT_EQ(1, started);
    EXPECT_EQ(After(5700), sim::Launches()[1].timeMs);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// While a step waits for names only, the job's list answers: a snapshot when a process joins the
// run and one when it ends, none per poll of the 20 s installer (two more end Windows Installers
// before the launch).
TEST(Sequencer, SnapshotsOnlyWhenAProcessJoinsOrEnds)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,b.exe\n");
    AddInstaller("C:\\Pkg\\a.exe", 20000);
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_EQ(4, sim::SnapshotsTaken());
}

// An installer that starts a copy of itself and ends is waited for through the settle rounds,
// though the copy's parent is the first one, which has gone.
TEST(Sequencer, SelfRestartingInstallerHeldBySettleRounds)
{
    MakeMedium("[SetupList]\nSetup1=1,boot.exe, ,\nSetup2=1,next.exe, ,\n");
    sim::Program boot;
    boot.restartsOnce = true;
    AddInstaller("C:\\Pkg\\boot.exe", 1000, boot); // 500-1500, again 1500-2500
    AddInstaller("C:\\Pkg\\next.exe", 0);
    EXPECT_TRUE(Finished(sim::Run("")));
    std::vector<const sim::ProcessRecord *> boots;
    for (const sim::ProcessRecord &r : sim::Processes()) {
        if (r.name == "boot.exe")
            boots.push_back(&r);
    }
    ASSERT_EQ(2u, boots.size());
    EXPECT_EQ(sim::kLauncherPid, boots[0]->parentPid);
    EXPECT_EQ(boots[0]->pid, boots[1]->parentPid);
    EXPECT_EQ(After(2700), sim::Launches()[1].timeMs);
}

struct RestartCase {
    const char *name, *tail;
    LCID locale;
    int answer;
    size_t questions, restarts;
};
class EndOfRun : public ::testing::TestWithParam<RestartCase>
{
};

TEST_P(EndOfRun, AsksOnceOrRestartsSilently)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, , ,1\nSetup2=1,b.exe, ,\n"
               "[SetupSilent]\nSetup1=1,a.exe, , ,1\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    AddInstaller("C:\\Pkg\\b.exe", 0);
    sim::SetSystemDefaultLocale(GetParam().locale);
    sim::ScriptMessageBoxAnswer(GetParam().answer);
    EXPECT_TRUE(Finished(sim::Run(GetParam().tail)));
    EXPECT_EQ(GetParam().questions, sim::MessageBoxes().size());
    EXPECT_EQ(GetParam().restarts, sim::RestartRequests().size());
    if (GetParam().questions == 1) {
        EXPECT_EQ((UINT)0x40024, sim::MessageBoxes()[0].style);
        EXPECT_EQ(GetParam().locale == 0x412, sim::MessageBoxes()[0].wide);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EndOfRun,
                         ::testing::Values(RestartCase{"AnsweredYes", "", 0x409, IDYES, 1, 1},
                                           RestartCase{"AnsweredNo", "", 0x409, IDNO, 1, 0},
                                           RestartCase{"KoreanYes", "", 0x412, IDYES, 1, 1},
                                           RestartCase{"SilentNoQuestion", "/s", 0x409, IDNO, 0,
                                                       1}),
                         ByName());

// A step already installed runs nothing, ends nothing and asks for no restart; its folder still
// becomes current, so the next step's file is found there.
TEST(Sequencer, InstalledStepIsSkipped)
{
    MakeMedium("[SetupList]\nSetup1=1,sub\\a.exe, , ,1\nSetup2=2,tool.exe, ,\n"
               "[Detect]\nSUB\\A.EXE=file:%curdir%\\sub\\a.exe\n");
    AddInstaller("C:\\Pkg\\sub\\a.exe", 1000);
    AddInstaller("C:\\Pkg\\sub\\tool.exe", 0);
    DWORD msiexec = sim::AddProcess("msiexec.exe", 600);
    sim::RunResult result = sim::Run("");
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(0, result.exitCode);
    ASSERT_EQ(1u, sim::Launches().size());
    EXPECT_EQ("C:\\WINDOWS\\tool.exe", sim::Launches()[0].file);
    EXPECT_EQ(1000u, sim::Launches()[0].timeMs);
    EXPECT_EQ(1000u, sim::FindProcess(msiexec)->endMs); // by step 2's launch
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

// Only a step whose flag is "1" and whose installer was there to run asks for the restart.
TEST(Sequencer, NoQuestionWithoutFlagOrInstaller)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, , ,0\nSetup2=1,missing.exe, , ,1\n"
               "Setup3=1,gone.exe,/q, ,1\nSetup4=2,lost.exe, , ,1\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_EQ(1u, sim::Launches().size());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_TRUE(sim::RestartRequests().empty());
}

// Under another name the launcher still knows its own children and waits for them.
TEST(Sequencer, RenamedLauncherStillWaits)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\nSetup2=1,next.exe, ,\n", "C:\\Pkg",
               "stagerun64.exe");
    sim::AddProcess("stagerun.exe", sim::kExplorerPid); // another copy, not this one
    AddInstaller("C:\\Pkg\\a.exe", 3000);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_EQ(After(3700), sim::Launches()[1].timeMs);
}

// Two Windows Installer processes are ended before a launch, with an exit code that does not read
// as still running; a third is left. When the first cannot be opened, none is ended.
TEST(Sequencer, EndsTwoWindowsInstallers)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    DWORD first = sim::AddProcess("msiexec.exe", 600);
    DWORD second = sim::AddProcess("MsiExec.exe", 600);
    DWORD third = sim::AddProcess("msiexec.exe", 600);
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_TRUE(sim::FindProcess(first)->terminated);
    EXPECT_TRUE(sim::FindProcess(second)->terminated);
    EXPECT_NE((DWORD)STILL_ACTIVE, sim::FindProcess(first)->exitCode);
    EXPECT_EQ(sim::kForever, sim::FindProcess(third)->endMs);
}

TEST(Sequencer, WindowsInstallerThatCannotBeOpened)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    DWORD locked = sim::AddProcess("msiexec.exe", 600, sim::kForever, false);
    DWORD open = sim::AddProcess("msiexec.exe", 600);
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_EQ(sim::kForever, sim::FindProcess(locked)->endMs);
    EXPECT_EQ(sim::kForever, sim::FindProcess(open)->endMs);
    EXPECT_EQ(1u, sim::Launches().size());
}

// Device steps: removal of the matching device only, never of the first device for a blank text;
// a rescan; an unknown kind ends the run.
TEST(Sequencer, DeviceSteps)
{
    MakeMedium("[SetupList]\nSetup1=-1, , \nSetup2=-1,x,vid_1234\nSetup3=0,d.inf, \n"
               "Setup4=-2,x\nSetup5=-3,x\nSetup6=-2,x\n");
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    int first = sim::AddDevice({{"ROOT\\FIRST"}, "First"});
    int widget = sim::AddDevice({{UsbWidget}, "Widget"});
    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_EQ(std::vector<int>{widget}, sim::RemovedDevices());
    (void)first;
    EXPECT_TRUE(sim::Dialogs().empty());
    EXPECT_TRUE(sim::DriverInstalls().empty());
    EXPECT_EQ(1, sim::RescanCount());
}

// File > Exit arriving while a step is watched is handled by the watch's own message pumps: the
// restart question of the destroyed window shows when it was handled.
struct ExitCase {
    const char *name;
    bool duringWalk; // posted while a poll walks the process list, else during a settle pause
    DWORD postMs, questionMs;
};
class ExitDuringWatch : public ::testing::TestWithParam<ExitCase>
{
};

// a.exe ends at 1500; the poll at 1700 walks the list once for what it started, and the pattern's
// test at 2000 walks 44 processes; settle rounds pump at 2300, 2600, ...
TEST_P(ExitDuringWatch, EndsTheRun)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,*.tmp,1\nSetup2=1,next.exe, ,\n");
    AddInstaller("C:\\Pkg\\a.exe", 1000);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    for (int i = 0; i < 40; i++)
        sim::AddProcess("svchost.exe", 4);
    auto post = [] { sim::PostToMainWindow(WM_COMMAND, IDM_EXIT, 0); };
    if (GetParam().duringWalk)
        sim::WhileWalking(GetParam().postMs, 30, post);
    else
        sim::At(GetParam().postMs, post);
    sim::RunResult result = sim::Run("");
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(1u, sim::Launches().size());
    ASSERT_EQ(1u, sim::MessageBoxes().size());
    EXPECT_EQ(GetParam().questionMs, sim::MessageBoxes()[0].timeMs);
    EXPECT_LT(result.endMs, 9000u);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExitDuringWatch,
                         ::testing::Values(ExitCase{"SettlePause", false, 3000, 3200},
                                           ExitCase{"ProcessWalk", true, 1800, 2000}),
                         ByName());

// A program directory and file name that together pass 199 characters would have their directory
// taken from a cut path: the step is skipped as a missing file is.
TEST(Sequencer, JoinedPathTooLongIsSkipped)
{
    const std::string directory = "C:\\" + std::string(150, 'm');
    const std::string deepFile = "sub\\" + std::string(37, 'f') + ".exe"; // 199 characters joined
    MakeMedium("[SetupList]\nSetup1=1,sub\\" + std::string(38, 'f') + ".exe, ,\nSetup2=1," +
                   deepFile + ", ,\n",
               directory);
    AddInstaller(directory + "\\sub\\" + std::string(38, 'f') + ".exe", 0);
    AddInstaller(directory + "\\" + deepFile, 0);
    EXPECT_TRUE(Finished(sim::Run("")));
    ASSERT_EQ(1u, sim::Launches().size());
    EXPECT_EQ(directory + "\\sub", sim::Launches()[0].currentDirectory);
    EXPECT_EQ(1000u, sim::Launches()[0].timeMs);
}

// From how a run went to its exit code, and the step log's last line that says why.
struct OutcomeCase {
    const char *name, *ini, *tail;
    void (*prepare)();
    int exitCode;
    size_t restarts;
    const char *why;           // after "==== end of run, exit code <n>: "
    bool sessionEnded = false; // Windows ended the process once the session ended
};
class ExitCode : public ::testing::TestWithParam<OutcomeCase>
{
};

TEST_P(ExitCode, FromHowTheRunWent)
{
    const OutcomeCase &c = GetParam();
    MakeMedium(c.ini);
    AddInstaller("C:\\Pkg\\a.exe", 1000);
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    c.prepare();
    std::string tail = c.tail[0] != '\0' ? std::string(c.tail) + " /log" : "/log";
    sim::RunResult result = sim::Run(tail);
    if (c.sessionEnded) {
        EXPECT_EQ("Windows ended the session", result.stuck);
    } else {
        EXPECT_TRUE(Finished(result));
        EXPECT_EQ(c.exitCode, result.exitCode);
    }
    EXPECT_EQ(c.restarts, sim::RestartRequests().size());
    std::string log = sim::ReadFileAt("C:\\Users\\Setup\\AppData\\Local\\Temp\\StageRun.log");
    std::string last = "==== end of run, exit code " + std::to_string(c.exitCode) + ": " + c.why;
    EXPECT_EQ(last + "\r\n",
              log.substr(log.size() < last.size() + 2 ? 0 : log.size() - last.size() - 2));
    EXPECT_EQ(0, sim::OpenHandleCount());
}

static void EndsWith(const char *file, DWORD code)
{
    sim::Program program;
    program.exitCode = code;
    AddInstaller(std::string("C:\\Pkg\\") + file, 500, program);
}

static const char Flagged[] =
    "[SetupList]\nSetup1=1,a.exe, , ,1\n[SetupSilent]\nSetup1=1,a.exe, , ,1\n";
static const char Clean[] = "all steps done";
// An [ExitCodes] value of 160 characters, one more than is read.
static const std::string DeclaredTooLong =
    "[SetupList]\nSetup1=1,b.exe,/q\n[ExitCodes]\nb.exe=5:success " + std::string(141, '0') +
    "1:failure\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, ExitCode,
    ::testing::Values(
        OutcomeCase{"Clean", "[SetupList]\nSetup1=1,a.exe, ,\nSetup2=1,a.exe,/q\n", "", +[] {}, 0,
                    0, Clean},
        OutcomeCase{"AbsentDeviceIsNoFailure", "[SetupList]\nSetup1=0,d.inf,vid_9\n", "", +[] {}, 0,
                    0, Clean},
        OutcomeCase{"InstallerMissing", "[SetupList]\nSetup1=1,gone.exe, ,\nSetup2=1,a.exe, ,\n",
                    "", +[] {}, EXIT_INSTALL_FAILED, 0, "step 1 failed: file missing"},
        OutcomeCase{"InstallerFails", "[SetupList]\nSetup1=1,b.exe,/q\n", "",
                    +[] { EndsWith("b.exe", 1603); }, EXIT_INSTALL_FAILED, 0,
                    "step 1 failed: exit code 1603"},
        OutcomeCase{"DirectInstallerFails", "[SetupList]\nSetup1=1,b.exe, ,\n", "",
                    +[] { EndsWith("b.exe", 5); }, EXIT_INSTALL_FAILED, 0,
                    "step 1 failed: exit code 5"},
        OutcomeCase{"CannotStart", "[SetupList]\nSetup1=1,b.exe,/q\n", "",
                    +[] {
                        sim::Program cannot;
                        cannot.cannotStart = true;
                        AddInstaller("C:\\Pkg\\b.exe", 0, cannot);
                    },
                    EXIT_INSTALL_FAILED, 0, "step 1 failed: not started"},
        OutcomeCase{"CopyFails", "[SetupList]\nSetup1=2,a.exe, ,\n", "",
                    +[] { sim::MakeDirectory("C:\\WINDOWS\\a.exe"); }, EXIT_INSTALL_FAILED, 0,
                    "step 1 failed: copy failed"},
        OutcomeCase{"DriverFails", "[SetupList]\nSetup1=0,d.inf,vid_1\n", "",
                    +[] {
                        sim::AddDevice({{"USB\\VID_1"}, "One"});
                        sim::ScriptDriverInstall(FALSE, FALSE);
                    },
                    EXIT_INSTALL_FAILED, 0, "step 1 failed: driver not installed"},
        OutcomeCase{"NoList", "", "", +[] {}, EXIT_INSTALL_FAILED, 0, "no setup list"},
        OutcomeCase{"InstallerNeedsRestart", "[SetupList]\nSetup1=1,b.exe,/q\n", "",
                    +[] { EndsWith("b.exe", 3010); }, EXIT_RESTART_NEEDED, 0,
                    "an installer needs a restart"},
        // No step after it (the missing file would fail the run), no restart on top of it.
        OutcomeCase{"InstallerStartedRestart",
                    "[SetupSilent]\nSetup1=1,b.exe, , ,1\nSetup2=1,gone.exe, ,\n", "/s",
                    +[] { EndsWith("b.exe", 1641); }, EXIT_RESTART_STARTED, 0,
                    "step 1 started a restart: no step after it"},
        // The rest still runs; a restart started later does not win over it.
        OutcomeCase{"InstallerBusy", "[SetupList]\nSetup1=1,b.exe,/q\nSetup2=1,c.exe,/q\n", "",
                    +[] {
                        EndsWith("b.exe", EXIT_INSTALLER_BUSY);
                        EndsWith("c.exe", 1641);
                    },
                    EXIT_INSTALLER_BUSY, 0, "step 1 found the Windows Installer busy"},
        OutcomeCase{"FailureWinsOverBusy", "[SetupList]\nSetup1=1,b.exe,/q\nSetup2=1,gone.exe, ,\n",
                    "", +[] { EndsWith("b.exe", EXIT_INSTALLER_BUSY); }, EXIT_INSTALL_FAILED, 0,
                    "step 2 failed: file missing"},
        // Keys ignore letter case; an item that cannot be read leaves the others in force.
        OutcomeCase{"DeclaredCodes",
                    "[SetupList]\nSetup1=1,b.exe,/q\nSetup2=1,a.exe, ,\n[ExitCodes]\n"
                    "B.EXE=oops 1638:success\na.exe=0:restart\n",
                    "", +[] { EndsWith("b.exe", 1638); }, EXIT_RESTART_NEEDED, 0,
                    "an installer needs a restart"},
        // Step 2 would start at 8500 (and fail) while the session has not ended yet; the log's
        // last line is written before Windows ends the process.
        OutcomeCase{"SessionEnds", "[SetupList]\nSetup1=1,a.exe, ,\nSetup2=1,gone.exe, ,\n", "",
                    +[] {
                        sim::At(800, [] { sim::PostToMainWindow(WM_QUERYENDSESSION, 0, 0); });
                        sim::At(12000, [] { sim::PostToMainWindow(WM_ENDSESSION, TRUE, 0); });
                    },
                    EXIT_RESTART_STARTED, 0, "Windows ends the session: no step after it", true},
        // Another program refused the end of the session: the waiting run goes on.
        OutcomeCase{"SessionGoesOn", "[SetupList]\nSetup1=1,b.exe,/q\nSetup2=1,a.exe,/q\n", "",
                    +[] {
                        EndsWith("b.exe", 0);
                        sim::At(800, [] { sim::PostToMainWindow(WM_QUERYENDSESSION, 0, 0); });
                        sim::At(3000, [] { sim::PostToMainWindow(WM_ENDSESSION, FALSE, 0); });
                    },
                    0, 0, Clean},
        // Installed means installed; after a restart code the rule does not count.
        OutcomeCase{"NotInstalledAfterAll",
                    "[SetupList]\nSetup1=1,a.exe, ,\n[Detect]\na.exe=file:C:\\Pkg\\done.txt\n", "",
                    +[] {}, EXIT_INSTALL_FAILED, 0,
                    "step 1 failed: installed, but the [Detect] rule does not hold"},
        OutcomeCase{"RestartMayCompleteIt",
                    "[SetupList]\nSetup1=1,b.exe,/q\n[Detect]\nb.exe=file:C:\\Pkg\\done.txt\n", "",
                    +[] { EndsWith("b.exe", 3010); }, EXIT_RESTART_NEEDED, 0,
                    "an installer needs a restart"},
        // Closed while it waited for another installation: its installer never started.
        OutcomeCase{"ClosedWhileInstallerBusy", "[SetupList]\nSetup1=1,a.exe,/q\n", "",
                    +[] {
                        sim::NamedMutex busy;
                        busy.creatorPid = sim::AddProcess("msiexec.exe", 600);
                        sim::AddMutex("Global\\_MSIExecute", busy);
                        sim::At(5000, [] { sim::PressKey(VK_ESCAPE); });
                    },
                    EXIT_INSTALL_FAILED, 0, "step 1 failed: not started"},
        // Nor while its launch waits for Windows Installer (free at 3000): b.exe would fail.
        OutcomeCase{"SessionEndsWhileInstallerBusy", "[SetupList]\nSetup1=1,b.exe,/q\n", "",
                    +[] {
                        EndsWith("b.exe", 1603);
                        sim::NamedMutex busy;
                        busy.creatorPid = sim::AddProcess("msiexec.exe", 600, 2900);
                        sim::AddMutex("Global\\_MSIExecute", busy);
                        sim::At(1000, [] { sim::PostToMainWindow(WM_QUERYENDSESSION, 0, 0); });
                        sim::At(12000, [] { sim::PostToMainWindow(WM_ENDSESSION, TRUE, 0); });
                    },
                    EXIT_RESTART_STARTED, 0, "Windows ends the session: no step after it", true},
        OutcomeCase{"FlagNoRestart", Flagged, "/s /norestart", +[] {}, EXIT_RESTART_NEEDED, 0,
                    "no restart (/norestart)"},
        OutcomeCase{"FlagAnsweredNo", Flagged, "", +[] { sim::ScriptMessageBoxAnswer(IDNO); },
                    EXIT_RESTART_NEEDED, 0, "no restart (answered No)"},
        OutcomeCase{"FlagSilent", Flagged, "/s", +[] {}, EXIT_RESTART_STARTED, 1,
                    "restart started"},
        OutcomeCase{"FailureWinsOverRestart",
                    "[SetupSilent]\nSetup1=1,a.exe, , ,1\nSetup2=1,gone.exe, ,\n", "/s", +[] {},
                    EXIT_INSTALL_FAILED, 1, "step 2 failed: file missing"},
        OutcomeCase{"DeclaredCodesSeparatedByCommas",
                    "[SetupList]\nSetup1=1,b.exe,/q\nSetup2=1,c.exe,/q\n[ExitCodes]\n"
                    "b.exe=1638:success,5:restart\nc.exe=1638:success,5:restart\n",
                    "",
                    +[] {
                        EndsWith("b.exe", 1638);
                        EndsWith("c.exe", 5);
                    },
                    EXIT_RESTART_NEEDED, 0, "an installer needs a restart"},
        // Not read at all, so 5 keeps its default meaning.
        OutcomeCase{"DeclaredCodesTooLong", DeclaredTooLong.c_str(), "",
                    +[] { EndsWith("b.exe", 5); }, EXIT_INSTALL_FAILED, 0,
                    "step 1 failed: exit code 5"},
        OutcomeCase{"InstallerBusyTwice", "[SetupList]\nSetup1=1,b.exe,/q\nSetup2=1,c.exe,/q\n", "",
                    +[] {
                        EndsWith("b.exe", EXIT_INSTALLER_BUSY);
                        EndsWith("c.exe", EXIT_INSTALLER_BUSY);
                    },
                    EXIT_INSTALLER_BUSY, 0, "step 1 found the Windows Installer busy"}),
    ByName());
