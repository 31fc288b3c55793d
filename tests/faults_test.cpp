// The platform failing along the way: installers that cannot start, end at once or never end,
// process snapshots and device lists that cannot be had, device properties that cannot be read,
// and a restart that is refused. Each run goes on as it should, releases every handle, and shows
// only the boxes it is meant to.
#include "medium.h"

// --- Processes: step 1 runs a.exe, directly (" ") or under the dialog ("/q"); step 2 next.exe ---
// A msiexec.exe runs from the start; Windows Installer's mutex as each case has it.
enum MsiState {
    MSI_IDLE,
    MSI_PROCESS_LOCKED, // the msiexec.exe cannot be opened to be ended
    MSI_BUSY,           // msiexec.exe owns the mutex until 29.8 s
    MSI_BUSY_PAST_LIMIT,
    MSI_ABANDONED, // its owner ended without releasing it
    MSI_MUTEX_LOCKED
};
struct ProcessFault {
    const char *name, *arguments;
    DWORD runMs;
    bool cannotStart, failSnapshots;
    int msi;
    DWORD escapeAtMs;   // Esc pressed in the dialog; 0 for none
    DWORD nextLaunchMs; // when next.exe starts
    INT_PTR dialogResult;
    bool msiexecEnded; // the running msiexec.exe was ended, at the launch
    DWORD firstLaunchMs = 500;
};
static void PrintTo(const ProcessFault &fault, std::ostream *out)
{
    *out << fault.name;
}
class ProcessFaults : public ::testing::TestWithParam<ProcessFault>
{
};

// A direct launch at 500 ms polls at 1200 ms, then 300 ms, 20 settle rounds of 300 ms and 500 ms
// more: next.exe at 8000 ms. A dialog launch polls at 1200 ms too, ends 300 ms later, and the
// next step starts 500 ms after that.
static const DWORD kAfterDirect = 8000;
static const DWORD kAfterDialog = 2000;

TEST_P(ProcessFaults, RunGoesOn)
{
    const ProcessFault &f = GetParam();
    MakeMedium(std::string("[SetupList]\nSetup1=1,a.exe,") + f.arguments +
               ",\nSetup2=1,next.exe, ,\n");
    sim::Program a;
    a.cannotStart = f.cannotStart;
    a.exitCode = 0xC0000005; // what a crash reports
    AddInstaller("C:\\Pkg\\a.exe", f.runMs, a);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    DWORD msiexec = sim::AddProcess("msiexec.exe", sim::kExplorerPid, sim::kForever,
                                    f.msi != MSI_PROCESS_LOCKED);
    sim::NamedMutex mutex;
    mutex.creatorPid = f.msi == MSI_ABANDONED ? sim::AddProcess("other.exe", 4, 100) : msiexec;
    mutex.keptOpen = f.msi == MSI_ABANDONED;
    mutex.canBeOpened = f.msi != MSI_MUTEX_LOCKED;
    if (f.msi >= MSI_BUSY)
        sim::AddMutex("Global\\_MSIExecute", mutex);
    if (f.msi == MSI_BUSY)
        sim::At(29800, [] { sim::ReleaseMutexOf("Global\\_MSIExecute"); });
    sim::FailSnapshots(f.failSnapshots);
    if (f.escapeAtMs != 0)
        sim::At(f.escapeAtMs, [] { sim::PressKey(VK_ESCAPE); });

    EXPECT_TRUE(Finished(sim::Run("", SW_SHOWNORMAL, 30 * 60 * 1000)));
    ASSERT_EQ(2u, sim::Launches().size());
    const sim::Launch &launch = sim::Launches()[0];
    EXPECT_EQ(f.cannotStart, launch.pid == 0);
    EXPECT_EQ(f.firstLaunchMs, launch.timeMs);
    EXPECT_EQ(f.nextLaunchMs, sim::Launches()[1].timeMs);
    if (launch.pid != 0 && f.runMs > f.nextLaunchMs) { // not waited for
        EXPECT_GT(sim::FindProcess(launch.pid)->endMs, sim::Launches()[1].timeMs);
    }
    ASSERT_EQ(f.dialogResult != 0 ? 1u : 0u, sim::Dialogs().size());
    if (f.dialogResult != 0) {
        EXPECT_EQ(f.dialogResult, sim::Dialogs()[0].result);
    }
    EXPECT_EQ(f.msiexecEnded, sim::FindProcess(msiexec)->terminated);
    if (f.msiexecEnded) {
        EXPECT_EQ(launch.timeMs, sim::FindProcess(msiexec)->endMs);
    }
    if (f.msi >= MSI_BUSY) { // taken for the test only
        EXPECT_NE(sim::kLauncherPid, sim::MutexOwner("Global\\_MSIExecute"));
    }
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_EQ(0, sim::OpenHandleCount());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProcessFaults,
    ::testing::Values(
        ProcessFault{"CannotStartDirect", " ", 0, true, false, false, 0, kAfterDirect, 0, true},
        ProcessFault{"CannotStartDialog", "/q", 0, true, false, false, 0, kAfterDialog, 301, true},
        ProcessFault{"CrashesAtOnceDirect", " ", 0, false, false, false, 0, kAfterDirect, 0, true},
        ProcessFault{"CrashesAtOnceDialog", "/q", 0, false, false, false, 0, kAfterDialog, 301,
                     true},
        ProcessFault{"NeverEndsDialogEsc", "/q", sim::kForever, false, false, false, 5000, 5500,
                     IDCANCEL, true},
        // Without snapshots only its own process, by its handle, holds a step (a.exe ends at
        // 20500, the poll at 20700 finds it gone), and nothing is ended.
        ProcessFault{"NoSnapshotsDirect", " ", 20000, false, true, false, 0, 20700 + 6800, 0,
                     false},
        ProcessFault{"NoSnapshotsDialog", "/q", 20000, false, true, false, 0, 21500, 301, false},
        ProcessFault{"MsiexecLockedDirect", " ", 0, false, false, true, 0, kAfterDirect, 0, false},
        ProcessFault{"MsiexecLockedDialog", "/q", 0, false, false, true, 0, kAfterDialog, 301,
                     false},
        // Another installation runs: nothing is ended while it does; the launch asks every 500 ms
        // and goes ahead at the first ask after the release (30000), or after 10 minutes, as the
        // next launch does again.
        ProcessFault{"InstallerBusyDirect", " ", 0, false, false, MSI_BUSY, 0, 37500, 0, true,
                     30000},
        ProcessFault{"InstallerBusyDialog", "/q", 0, false, false, MSI_BUSY, 0, 31500, 301, true,
                     30000},
        ProcessFault{"InstallerBusyPastTheLimit", " ", 0, false, false, MSI_BUSY_PAST_LIMIT, 0,
                     608000 + 600000, 0, false, 600500},
        ProcessFault{"AbandonedMutexIsFree", " ", 0, false, false, MSI_ABANDONED, 0, kAfterDirect,
                     0, true},
        ProcessFault{"MutexThatCannotBeOpened", "/q", 0, false, false, MSI_MUTEX_LOCKED, 0,
                     kAfterDialog, 301, false}),
    ByName());

// A directly launched installer that never ends holds the run for as long as it runs.
TEST(Faults, NeverEndingDirectLaunchWaitsOn)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\nSetup2=1,next.exe, ,\n");
    AddInstaller("C:\\Pkg\\a.exe", sim::kForever);
    AddInstaller("C:\\Pkg\\next.exe", 0);
    sim::RunResult result = sim::Run("", SW_SHOWNORMAL, 120000);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ("time limit reached", result.stuck);
    ASSERT_EQ(1u, sim::Launches().size());
    EXPECT_EQ(sim::kForever, sim::FindProcess(sim::Launches()[0].pid)->endMs);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    // Stopped while it waits: the run's job, the installer it watches, and the installer's process
    // held for its exit code.
    EXPECT_EQ(3, sim::OpenHandleCount());
}

// --- Devices: step 1 the device step, step 2 next.exe. The target device is listed after an
// optional first device whose hardware-id read fails. ---
struct DeviceFault {
    const char *name, *step;
    DWORD firstDeviceError; // ERROR_INSUFFICIENT_BUFFER: an oversized property; 0: no such device
    bool failLists, failRootLocate;
    CONFIGRET rescanResult;
    size_t removals, installs, rescans, bufferBoxes;
};
static void PrintTo(const DeviceFault &fault, std::ostream *out)
{
    *out << fault.name;
}
class DeviceFaults : public ::testing::TestWithParam<DeviceFault>
{
};

TEST_P(DeviceFaults, RunGoesOn)
{
    const DeviceFault &f = GetParam();
    MakeMedium(std::string("[SetupList]\nSetup1=") + f.step + "\nSetup2=1,next.exe, ,\n");
    AddInstaller("C:\\Pkg\\next.exe", 0);
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    if (f.firstDeviceError != 0) {
        sim::Device first{{"PCI\\VEN_8086&DEV_0001"}, "First"};
        if (f.firstDeviceError == ERROR_INSUFFICIENT_BUFFER)
            first.paddedHardwareIdSize = 400;
        else
            first.hardwareIdError = f.firstDeviceError;
        sim::AddDevice(first);
    }
    sim::AddDevice({{"PCI\\VEN_8086&DEV_1234"}, "Target"});
    sim::FailDeviceLists(f.failLists);
    sim::FailRootLocate(f.failRootLocate);
    sim::ScriptRescanResult(f.rescanResult);

    EXPECT_TRUE(Finished(sim::Run("")));
    EXPECT_EQ(1u, sim::Launches().size());
    EXPECT_EQ(f.removals, sim::RemovedDevices().size());
    EXPECT_EQ(f.installs, sim::DriverInstalls().size());
    EXPECT_EQ(f.rescans, (size_t)sim::RescanCount());
    ASSERT_EQ(f.bufferBoxes, sim::MessageBoxes().size());
    for (const sim::MessageBoxRecord &box : sim::MessageBoxes())
        EXPECT_EQ("오류: 버퍼가 부족합니다.", box.caption + ": " + box.text);
    EXPECT_EQ(0, sim::OpenHandleCount());
}

static const char kRemove[] = "-1,x,ven_8086";
static const char kDriver[] = "0,d.inf,ven_8086";
static const DWORD kReadError = 31; // ERROR_GEN_FAILURE: neither missing nor oversized

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceFaults,
    ::testing::Values(
        DeviceFault{"NoDeviceListRemove", kRemove, 0, true, false, CR_SUCCESS, 0, 0, 0, 0},
        DeviceFault{"NoDeviceListDriver", kDriver, 0, true, false, CR_SUCCESS, 0, 0, 0, 0},
        DeviceFault{"MissingPropertyRemove", kRemove, ERROR_INVALID_DATA, false, false, CR_SUCCESS,
                    1, 0, 0, 0},
        DeviceFault{"MissingPropertyDriver", kDriver, ERROR_INVALID_DATA, false, false, CR_SUCCESS,
                    0, 1, 0, 0},
        // The search passes over it silently; the removal and the install's own look-up report it.
        DeviceFault{"OversizedPropertyRemove", kRemove, ERROR_INSUFFICIENT_BUFFER, false, false,
                    CR_SUCCESS, 1, 0, 0, 1},
        DeviceFault{"OversizedPropertyDriver", kDriver, ERROR_INSUFFICIENT_BUFFER, false, false,
                    CR_SUCCESS, 0, 1, 0, 1},
        // Any other read error ends the search: nothing found, nothing done.
        DeviceFault{"ReadErrorRemove", kRemove, kReadError, false, false, CR_SUCCESS, 0, 0, 0, 0},
        DeviceFault{"ReadErrorDriver", kDriver, kReadError, false, false, CR_SUCCESS, 0, 0, 0, 0},
        DeviceFault{"RootNotLocated", "-2,x", 0, false, true, CR_SUCCESS, 0, 0, 0, 0},
        DeviceFault{"RescanRefused", "-2,x", 0, false, false, CR_FAILURE, 0, 0, 1, 0}),
    ByName());

// --- Restart: a step asks for it; the token or the restart itself fails ---
struct RestartFault {
    const char *name, *tail;
    DWORD tokenError;
    bool lacksPrivilege;
    DWORD exitError;
    std::string boxes; // each as caption: text|
};
static void PrintTo(const RestartFault &fault, std::ostream *out)
{
    *out << fault.name;
}
class RestartFaults : public ::testing::TestWithParam<RestartFault>
{
};

TEST_P(RestartFaults, ReportsEachFailedStep)
{
    const RestartFault &f = GetParam();
    MakeMedium("[SetupList]\nSetup1=1,a.exe, , ,1\n[SetupSilent]\nSetup1=1,a.exe, , ,1\n");
    AddInstaller("C:\\Pkg\\a.exe", 0);
    sim::ScriptMessageBoxAnswer(IDYES);
    if (f.tokenError != 0)
        sim::FailTokenOpen(f.tokenError);
    if (f.lacksPrivilege)
        sim::TokenLacksShutdownPrivilege();
    if (f.exitError != 0)
        sim::FailExitWindows(f.exitError);

    sim::RunResult result = sim::Run(f.tail);
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(EXIT_RESTART_NEEDED, result.exitCode); // asked for, and not done
    std::string boxes;
    for (const sim::MessageBoxRecord &box : sim::MessageBoxes())
        boxes += box.caption + ": " + box.text + "|";
    EXPECT_EQ(f.boxes, boxes);
    EXPECT_TRUE(sim::RestartRequests().empty());
    EXPECT_EQ(0, sim::OpenHandleCount());
    EXPECT_EQ(0, sim::OpenAllocationCount());
}

static const std::string kQuestion = "System Rebooting: Reboot system now?|";
static const std::string kNotHeld =
    "ExitWindowsEx: A required privilege is not held by the client.\r\n|";
static const std::string kNotAssigned = "AdjustTokenPrivileges: Not all privileges or groups "
                                        "referenced are assigned to the caller.\r\n|";

INSTANTIATE_TEST_SUITE_P(
    Cases, RestartFaults,
    ::testing::Values(
        RestartFault{"TokenDenied", "", ERROR_ACCESS_DENIED, false, 0,
                     kQuestion + "OpenProcessToken: Access is denied.\r\n|" + kNotHeld},
        RestartFault{"TokenErrorWithoutText", "", 1234, false, 0,
                     kQuestion + "OpenProcessToken: FAILURE|" + kNotHeld},
        RestartFault{"NoShutdownPrivilege", "", 0, true, 0, kQuestion + kNotAssigned + kNotHeld},
        RestartFault{"ExitWindowsRefused", "", 0, false, ERROR_SHUTDOWN_IN_PROGRESS,
                     kQuestion + "ExitWindowsEx: A system shutdown is in progress.\r\n|"}),
    ByName());

// --- A silent run has nobody to answer a box: each one the launcher can show is asked for (an
// oversized device property, the shell's own box for a program that cannot start, the restart's
// error boxes), none appears, and the log says what each would have said. ---
TEST(Faults, SilentRunShowsNoBox)
{
    const char steps[] = "Setup1=-1,x,ven_2\nSetup2=1,cannot.exe,/q\nSetup3=1,a.exe, , ,1\n";
    MakeMedium(std::string("[SetupList]\n") + steps + "[SetupSilent]\n" + steps);
    sim::Device oversized;
    oversized.hardwareIds = {"PCI\\VEN_1"};
    oversized.paddedHardwareIdSize = 400;
    sim::AddDevice(oversized);
    sim::AddDevice({{"PCI\\VEN_2"}, "Two"});
    sim::Program cannot;
    cannot.cannotStart = true;
    AddInstaller("C:\\Pkg\\cannot.exe", 0, cannot);
    AddInstaller("C:\\Pkg\\a.exe", 0);
    sim::FailTokenOpen(ERROR_ACCESS_DENIED);
    sim::FailExitWindows(ERROR_ACCESS_DENIED);

    sim::RunResult result = sim::Run("/s /log");
    EXPECT_TRUE(Finished(result));
    EXPECT_EQ(EXIT_INSTALL_FAILED, result.exitCode);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    std::string log = sim::ReadFileAt("C:\\Users\\Setup\\AppData\\Local\\Temp\\StageRun.log");
    size_t unshown = 0;
    for (size_t at = 0; (at = log.find("silent run, no message box: ", at)) != std::string::npos;
         at++)
        unshown++;
    EXPECT_EQ(3u, unshown) << log;
    for (const char *said :
         {"\"Error\": error 122: The data area passed to a system call is too small.",
          "\"OpenProcessToken\": error 5: Access is denied.",
          "\"ExitWindowsEx\": error 5: Access is denied."})
        EXPECT_NE(std::string::npos, log.find(said)) << said;
    EXPECT_EQ(1u, sim::RemovedDevices().size());
    EXPECT_EQ(0, sim::OpenHandleCount());
}
