// The simulated machine behind the Win32 stand-in: what a host test describes and inspects.
#pragma once

#include <cfgmgr32.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace sim
{

const DWORD kForever = 0xFFFFFFFF;
const DWORD kLauncherPid = 4000;
const DWORD kExplorerPid = 1500;

// --- The machine ---------------------------------------------------------------------------
// Maps a drive letter to a host directory; files live there for real.
void MapDrive(char letter, const std::string &hostDirectory);
// Maps every drive named in the test's paths to fresh directories under a temporary folder.
void UseTemporaryDrives(const std::string &letters = "CD");
std::string HostPath(const std::string &windowsPath);
void WriteFile(const std::string &windowsPath, const std::string &contents);
void MakeDirectory(const std::string &windowsPath);
bool FileExistsAt(const std::string &windowsPath);
std::string ReadFileAt(const std::string &windowsPath);
// Drops the ini text read last and its sections, so that a fuzz input frees all it allocated.
void ForgetIniText();
void SetModulePath(const std::string &windowsPath);
void SetWindowsDirectory(const std::string &windowsPath);
void SetSystemDefaultLocale(LCID locale);
// An empty value removes the variable. "=D:" names the directory that a drive-relative path such
// as "D:" or "D:setup" stands for while another drive is current: only what the program inherited
// (from a command prompt, say) sets it, never SetCurrentDirectoryA.
void SetEnvironment(const std::string &name, const std::string &value);
// What IsWow64Process answers. A kernel without the export (early 32-bit systems) is described
// before the process starts, in WINSIM_MISSING_EXPORTS (e.g. "IsWow64Process").
void SetWow64(bool isWow64);
// What RtlGetVersion reports (10.0.19045 unless set).
void SetWindowsVersion(DWORD major, DWORD minor, DWORD build);
std::string CurrentDirectory();
// Files the program writes. Under a folder (or at a file) whose writes are denied, as on a
// read-only medium or a folder without write permission, creating or opening a file for writing
// fails with ERROR_ACCESS_DENIED. A drive with a free-space limit fails a write that needs more
// with ERROR_DISK_FULL and writes none of it.
void DenyWrites(const std::string &windowsPath);
void SetFreeSpace(char drive, size_t bytes);

// --- Processes -------------------------------------------------------------------------------
struct Spawn {
    std::string name;
    DWORD afterMs;
};
// How an executable behaves when it is started, by the launcher or by another program.
struct Program {
    DWORD runMs = 0;             // kForever: never ends by itself
    std::vector<Spawn> children; // started as its own children
    bool restartsOnce = false;   // as it ends starts a copy of itself, as its own child
    bool breaksAway = false;     // asks to leave its starter's job (CREATE_BREAKAWAY_FROM_JOB)
    DWORD exitCode = 0;
    bool cannotStart = false; // the shell fails to start it
    bool canBeOpened = true;  // OpenProcess for termination is refused when false
};
void DefineProgram(const std::string &fileName, const Program &program);
// A process already running when the launcher starts, or one that appears as the child of the
// given parent: as Windows does for a start with an explicit parent (a start through the consent
// service, say), it belongs to that parent's job.
DWORD AddProcess(const std::string &name, DWORD parentPid, DWORD runMs = kForever,
                 bool canBeOpened = true);
struct ProcessRecord {
    DWORD pid;
    DWORD parentPid;
    std::string name;
    DWORD startMs;
    DWORD endMs; // kForever while running
    DWORD exitCode;
    bool terminated; // ended by TerminateProcess
    uintptr_t job;   // the job it belongs to, 0 for none
};
// Every process ever started, in start order.
const std::vector<ProcessRecord> &Processes();
// From now on, as Windows may: an id goes back to the system once its process has ended and no
// handle to it is open, and the next process started takes the id freed last.
void ReuseProcessIds();
const ProcessRecord *FindProcess(DWORD pid); // the latest process that had that id
struct Launch {
    DWORD timeMs;
    std::string verb, file, parameters, directory, currentDirectory;
    int showCommand;  // as asked for: what the started program finds in its start-up information
    std::string path; // the file that was found, in full; empty when none was
    DWORD pid;        // 0 when nothing started
};
const std::vector<Launch> &Launches();
void FailSnapshots(bool fail);
int SnapshotsTaken();
// The launcher starts inside a job that cannot be nested, as under a deployment agent on
// Windows 7: joining another job fails.
void StartLauncherInJob();
// Runs fn once, when the program reads entry number `entry` (from 0) of a process snapshot at or
// after fromMs: for input that arrives while a walk over a long process list is under way.
void WhileWalking(DWORD fromMs, size_t entry, std::function<void()> fn);

// Named mutexes as Windows has them. A mutex exists while a process holds a handle to it: its
// creator while it runs, another one while keptOpen, or the launcher. The creator owns it from the
// start when owned, until ReleaseMutexOf; should the owner end still owning it, the mutex is
// abandoned. One that cannot be opened is refused with ERROR_ACCESS_DENIED, as one created with a
// stricter security descriptor is.
struct NamedMutex {
    DWORD creatorPid = 0;
    bool owned = true;
    bool keptOpen = false;
    bool canBeOpened = true;
};
void AddMutex(const std::string &name, const NamedMutex &mutex);
void ReleaseMutexOf(const std::string &name);
DWORD MutexOwner(const std::string &name); // 0: owned by no one

// --- Registry, installed products and file versions -----------------------------------------
// Keys are written "HKLM\SOFTWARE\Vendor" or "HKCU\Software\Vendor", letter case ignored, and
// made as needed. As on 64-bit Windows, HKLM\SOFTWARE and what lies below it has a separate 32-bit
// view (what 32-bit programs see, and KEY_WOW64_32KEY opens); the rest of HKLM, and HKCU, which is
// this user's own, is the same in both views.
enum RegistryView { VIEW_64, VIEW_32 };
// A value as stored: its type and its bytes exactly (a REG_SZ needs its own terminating zero).
void SetRegistryValue(RegistryView view, const std::string &key, const std::string &name,
                      DWORD type, const std::string &bytes);
void SetRegistryText(RegistryView view, const std::string &key, const std::string &name,
                     const std::string &text); // REG_SZ with its terminating zero
void SetRegistryNumber(RegistryView view, const std::string &key, const std::string &name,
                       DWORD number); // REG_DWORD
// Opening the key (or one below it) fails with ERROR_ACCESS_DENIED.
void DenyRegistryKey(RegistryView view, const std::string &key);
// A product the Windows Installer knows, by its product code in braces.
enum ProductContext { FOR_MACHINE, FOR_THIS_USER, FOR_ANOTHER_USER };
void AddInstalledProduct(const std::string &code, const std::string &version,
                         ProductContext context = FOR_MACHINE);
// Makes the file (which must exist) a Windows Installer database whose Property table holds these
// rows, {Property, Value}, in this order. MsiOpenDatabaseA fails with ERROR_OPEN_FAILED on any
// other file, as Windows does on a missing file or one that is no database.
void SetMsiProperties(const std::string &windowsPath,
                      const std::vector<std::pair<std::string, std::string>> &rows);
// The fixed file version in the version resource of a program file (which must exist and begin
// with "MZ" to be loaded as a data file); a file without one has no version resource.
void SetFileVersion(const std::string &windowsPath, WORD major, WORD minor, WORD build,
                    WORD revision);

// --- Devices -------------------------------------------------------------------------------
struct Device {
    std::vector<std::string> hardwareIds; // empty: the device lacks the property
    std::string description;
    bool present = true;
    DWORD hardwareIdError = 0; // a read error instead of the property
    DWORD descriptionError = 0;
    size_t paddedHardwareIdSize = 0; // reports the hardware ids this many bytes long
};
int AddDevice(const Device &device); // returns its device instance
struct DriverInstall {
    DWORD timeMs;
    std::string hardwareId, infPath;
    DWORD flags;
    HWND owner;
};
const std::vector<DriverInstall> &DriverInstalls();
std::vector<int> RemovedDevices();
int RescanCount();
void ScriptDriverInstall(BOOL result, BOOL needsReboot);
void ScriptRescanResult(CONFIGRET result);
void FailDeviceLists(bool fail);
void FailRootLocate(bool fail);
void FailLibrary(const std::string &name);
struct LibraryLoad {
    std::string name;
    DWORD flags;
};
const std::vector<LibraryLoad> &LibraryLoads();
bool DllSearchRestricted();

// --- Restart ---------------------------------------------------------------------------------
void FailTokenOpen(DWORD error);
void TokenLacksShutdownPrivilege();
void FailExitWindows(DWORD error);
struct RestartRequest {
    DWORD timeMs;
    UINT flags;
    DWORD reason;
};
const std::vector<RestartRequest> &RestartRequests();

// --- User interface --------------------------------------------------------------------------
struct MessageBoxRecord {
    DWORD timeMs;
    HWND owner;
    std::string text, caption; // UTF-8 for the wide box, the raw bytes for the ANSI one
    UINT style;
    bool wide;
    int answer;
};
void ScriptMessageBoxAnswer(int answer);
const std::vector<MessageBoxRecord> &MessageBoxes();
struct DialogRecord {
    int templateId;
    DWORD openMs, closeMs;
    INT_PTR result;
};
const std::vector<DialogRecord> &Dialogs();
struct TimerEvent {
    DWORD timeMs;
    bool dialog; // on a dialog window rather than the main window
    UINT_PTR id;
    char what; // 'S' set, 'K' kill of an armed timer, 'F' fired
};
const std::vector<TimerEvent> &TimerEvents();
HWND MainWindow();
bool WindowEverShown(HWND window);
// Presses a key in the active modal dialog (VK_RETURN or VK_ESCAPE), or clicks its close box.
void PressKey(int virtualKey);
void ClickDialogClose();
void PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam);

// --- Time and the run ------------------------------------------------------------------------
DWORD Now();
// The local time GetLocalTime gives at virtual time 0.
const char kLocalTimeAtStart[] = "2024-06-03 09:00:00.000";
// Runs fn when the clock reaches the given time.
void At(DWORD timeMs, std::function<void()> fn);
struct RunResult {
    bool finished; // the entry function returned
    int exitCode;
    DWORD endMs;
    std::string stuck; // why the run was stopped when it did not finish
};
// Starts the launcher with the command-line tail; at most once per test process.
RunResult Run(const std::string &commandTail, int showCommand = SW_SHOWNORMAL,
              DWORD limitMs = 10 * 60 * 1000);
int OpenHandleCount();
int OpenAllocationCount();

} // namespace sim
