// Shared run state of the launcher and the operations each subsystem offers the others.
#pragma once

#include <string.h>
#include <windows.h>

#include "../res/resource.h"

// Step table: slots 1..LAST_SETUP_SLOT hold the steps in file order; slot 0 is never used.
#define SETUP_SLOTS 100
#define LAST_SETUP_SLOT (SETUP_SLOTS - 1)
#define KIND_SIZE 3
#define FILE_SIZE 100
#define ARGUMENTS_SIZE 200
#define WAITLIST_SIZE 100
#define REBOOTFLAG_SIZE 2
// The fields of a step in the order the list gives them, and the bytes each slot holds.
#define SETUP_FIELD_COUNT 5
extern const size_t SetupFieldCapacities[SETUP_FIELD_COUNT];
extern const char *const SetupFieldNames[SETUP_FIELD_COUNT];

struct SetupTableArrays {
    char Kind[SETUP_SLOTS][KIND_SIZE];
    char File[SETUP_SLOTS][FILE_SIZE];
    char Arguments[SETUP_SLOTS][ARGUMENTS_SIZE];
    char WaitList[SETUP_SLOTS][WAITLIST_SIZE];
    char RebootFlag[SETUP_SLOTS][REBOOTFLAG_SIZE];
};

#define MODULE_DIRECTORY_SIZE 256
#define WINDOWS_DIRECTORY_SIZE 80
#define TARGET_PATH_SIZE 152
#define COPY_TARGET_PATH_SIZE 80
#define HARDWARE_ID_SIZE 356
// The directory part of a path is taken from its first 200 characters only.
#define DIRECTORY_SCAN_LIMIT 200

// Exit codes, the deployment tools' convention: every step did what it says (0), and a restart is
// needed but was not done (3010) or was started (1641); a step found the Windows Installer busy
// (1618, which the tools retry); a step failed (1603). Before any step: refused to run beside a DLL
// redirection (1); the 64-bit sibling failed to start (2).
#define EXIT_DLL_REDIRECTION 1
#define EXIT_HANDOFF_FAILED 2
#define EXIT_INSTALL_FAILED 1603
#define EXIT_INSTALLER_BUSY 1618
#define EXIT_RESTART_STARTED 1641
#define EXIT_RESTART_NEEDED 3010

#define TIMER_NEXT_ENTRY 200
#define TIMER_WATCH_ENTRY 201
#define TIMER_INSTALLER_WAIT 202 // a launch waits for another installation to end
#define TIMER_DRIVER_INSTALL 300
#define TIMER_DIALOG_WATCH 301
#define TIMER_DIALOG_INSTALLER_WAIT 302
#define STEP_TIMER_PERIOD 500

// Set at start-up (entry function and setup list).
extern HINSTANCE hInstance;
extern BYTE SilentMode;
// "/norestart": the run never restarts the machine and never asks; the exit code tells.
#define NORESTART_SWITCH "/norestart"
extern BYTE NoRestart;
// The step log the command line asks for: "/log" in the user's temporary folder, "/log:<path>".
enum LogSwitchKind { LOG_SWITCH_NONE, LOG_SWITCH_TEMP, LOG_SWITCH_PATH };
extern LogSwitchKind LogSwitch;
// The log's path: as the switch gave it, then as the log opened it; empty when no log can be had.
extern char LogPath[MAX_PATH];
extern char LanguageCode[4];
extern char ModuleDirectory[MODULE_DIRECTORY_SIZE];
extern SetupTableArrays SetupTable;

// Run state of the sequencer, shared with the installer dialog.
extern int CurrentEntry;
extern int RebootRequired;
extern char TargetPath[TARGET_PATH_SIZE];
extern char CopyTargetPath[COPY_TARGET_PATH_SIZE];
extern char WindowsDirectory[WINDOWS_DIRECTORY_SIZE];
extern DWORD SelfProcessId;

// Application shell (app/).
typedef BOOL(WINAPI *IsWow64ProcessFn)(HANDLE, PBOOL);
extern IsWow64ProcessFn IsWow64ProcessPtr;
BOOL IsRunningUnderWow64(void);
// The path of the program of that name beside this one, into capacity bytes.
BOOL GetSiblingPath(const char *name, char *path, size_t capacity);
// For the 32-bit launcher on 64-bit Windows: the run's exit code, once the sibling has ended
// (EXIT_HANDOFF_FAILED when it could not be started).
int HandOffTo64BitSibling(void);
void DispatchPendingMessages(void);
LPSTR SkipProgramName(LPSTR commandLine);

// Setup list and paths (setuplist/).
#define SETUP_LIST_NAME "StageRun.ini"
// The 64-bit sibling beside the 32-bit launcher.
#define SIBLING_NAME "stagerun64.exe"
// How loading the setup list went, for the checker and the log.
enum ListEnd {
    LIST_NO_PROGRAM_PATH, // the program's own folder could not be told or made current
    LIST_NO_FILE,
    LIST_EMPTY_KEY,      // the key after the last step is empty or missing
    LIST_VALUE_TOO_LONG, // over 149 characters
    LIST_FIELD_TOO_LONG,
    LIST_TABLE_FULL // a step after the 99th
};
struct SetupListState {
    char section[16];
    int steps; // loaded into slots 1..steps
    ListEnd end;
    int key;   // the number of the key where loading stopped
    int field; // LIST_FIELD_TOO_LONG: 1 to 5, the field that does not fit
    // Steps whose value opens a double quote it never closes: split at every comma.
    BYTE unclosedQuote[SETUP_SLOTS];
};
extern SetupListState SetupListStatus;
void ChooseLanguage(void);
void LoadSetupList(void);
// As LoadSetupList, for the program at that path.
void LoadSetupListAt(const char *programPath);
// This program's path into MODULE_DIRECTORY_SIZE bytes; empty when the read cut it.
void ReadProgramPath(char *path);
// The medium's folder, the program's own, into ModuleDirectory; empty when it cannot be told.
void SetModuleDirectory(const char *programPath);
// The medium's step-log path, [StageRun] Log= of its list, into LOG_SETTING_SIZE bytes: two
// more than a path takes, so that a value the read cut shows. FALSE for none, or one cut.
#define LOG_SETTING_SIZE (MAX_PATH + 2)
BOOL ReadLogSetting(char *path);
// A value of the medium's list, wherever the current folder is; its length as the read gives it.
DWORD ReadListValue(const char *section, const char *key, char *value, DWORD size);
BOOL FileExists(const char *path);
BOOL IsSameText(const char *a, const char *b);
BOOL StartsWithText(const char *text, const char *start); // letter case aside
// A 32-bit number as installers' codes are written: decimal, negative as a signed number
// (-1, -2147023294), or hexadecimal after 0x (0x80070642).
BOOL ReadNumberText(const char *text, size_t length, DWORD *value);
void UpperCaseAscii(char *text);
BOOL CopyText(char *destination, size_t capacity, const char *source);
BOOL AppendText(char *destination, size_t capacity, const char *source, size_t count);
int NextListName(const char **cursor, char separator, char *name, size_t capacity);
// The next field of a step's value: as NextListName at commas, but a comma between double quotes
// stays in its field.
int NextSetupField(const char **cursor, char *name, size_t capacity);
char *GetDirectoryPart(const char *path);
const char *GetFileNamePart(const char *path);
const char *GetExtensionPart(const char *path);
char *ResolveRelativePath(const char *base, const char *relative);
char *ExpandPathTokens(const char *path);
char *ExpandPathTokensKeepingCase(const char *path);
BOOL MakeDirectoryCurrent(const char *directory);

// Sequencer and installer dialog (sequencer/).
#define PARAMETERS_SIZE 256
#define WATCHED_NAME_SIZE 256
#define RESPONSE_PATH_SIZE 150

// What a step will do, as decided by PlanStep for the launcher, the checker and the log.
enum StepAction {
    ACTION_END, // not a step: the run ends here
    ACTION_SKIP,
    ACTION_INSTALLED,     // a launch whose [Detect] rule holds: nothing runs, and it counts as done
    ACTION_LAUNCH,        // started directly, watched with "~" names and patterns, then settled
    ACTION_DIALOG_LAUNCH, // started by the progress dialog, which waits for its "*" names
    ACTION_INSTALL_DRIVER,
    ACTION_REMOVE_DEVICE,
    ACTION_RESCAN
};
// What an installer's exit code means for the run. The first three can be declared in
// [ExitCodes] (the words of DeclaredExitMeanings); the others are defaults only.
enum ExitMeaning {
    MEANING_SUCCESS,
    MEANING_RESTART_NEEDED, // a success that needs a restart, as 3010
    MEANING_FAILURE,
    MEANING_RESTART_STARTED, // the installer started a restart: no step may start after it
    MEANING_BUSY             // another installation is in progress: the tools retry later
};
#define DECLARED_MEANINGS 3
extern const char *const DeclaredExitMeanings[DECLARED_MEANINGS];
extern const char *const ExitMeaningNames[];
struct ExitRule {
    DWORD code;
    ExitMeaning meaning;
};
#define EXIT_CODES_SECTION "ExitCodes"
// An [ExitCodes] value holds at most 159 characters; its shortest item, "1:success" and a
// separator, takes ten, so at most EXIT_RULE_LIMIT items fit.
#define EXIT_CODES_SIZE 160
#define EXIT_RULE_LIMIT 16
#define DEFAULT_EXIT_RULES 5
extern const ExitRule DefaultExitRules[DEFAULT_EXIT_RULES];
// [Detect]: one rule per installer, keyed as [ExitCodes], that tells whether its product is
// installed: before the step (installed: skipped) and after it (not installed: failed).
#define DETECT_SECTION "Detect"
#define DETECT_SIZE 260 // a rule holds at most 259 characters
#define DETECT_FOUND_SIZE 320
enum DetectKind { DETECT_MSI, DETECT_FILE, DETECT_REG, DETECT_REG32 };
// In the order of the texts that name them, the longer first where one begins another.
enum CompareOp {
    COMPARE_NONE,
    COMPARE_LE,
    COMPARE_GE,
    COMPARE_NE,
    COMPARE_EQ,
    COMPARE_LT,
    COMPARE_GT
};
struct DetectRule {
    DetectKind kind;
    CompareOp op;
    HKEY root;
    char subject[MAX_PATH]; // the product code, the expanded path, or the key below its root
    BOOL hasValue;          // a registry value is named: valueName
    char valueName[MAX_PATH];
    char operand[DETECT_SIZE];
};
enum DetectState { DETECT_NONE, DETECT_INVALID, DETECT_HOLDS, DETECT_DOES_NOT_HOLD };
// A version: one to four decimal numbers separated by dots, missing parts 0.
#define VERSION_PARTS 4
BOOL ReadVersion(const char *text, DWORD *parts);
int CompareVersions(const DWORD *a, const DWORD *b);
BOOL ReadDetectRule(const char *text, DetectRule *rule, char *why);
// Evaluates the planned step's rule on this machine: whether it holds, and what it found.
BOOL EvaluateDetectRule(void);
enum StepSkip {
    SKIP_NONE,
    SKIP_FILE_MISSING,
    SKIP_FOLDER_UNAVAILABLE, // the folder of a kind "1" step cannot be made current
    SKIP_PATH_TOO_LONG,      // a path the step needs does not fit its buffer
    SKIP_NO_HARDWARE_ID,     // a device step with a blank hardware-id text
    SKIP_INF_MISSING         // a driver step's INF is not beside the program
};
struct StepPlan {
    int number;
    StepAction action;
    StepSkip skip;
    char folder[MAX_PATH];               // current while the step runs
    char copySource[TARGET_PATH_SIZE];   // kind "2": copied to CopyTargetPath, which runs;
                                         // empty when the file is in the Windows folder already
    char parameters[PARAMETERS_SIZE];    // as the installer receives them
    char infPath[MODULE_DIRECTORY_SIZE]; // driver steps: the INF installed
    char waitSeparator;                  // of the step's wait list
    BOOL isPackage;                      // an .msi: the arguments pass as written
    BOOL reboot;                         // the step asks for a restart at the end of the run
    // Launches: the step's [ExitCodes] value as read (two bytes more show a value the read cut),
    // the rules it declares, and its items that were not read, separated by blanks.
    char exitCodes[EXIT_CODES_SIZE + 2];
    ExitRule exitRules[EXIT_RULE_LIMIT];
    int exitRuleCount;
    char ignoredExitItems[EXIT_CODES_SIZE + 2];
    // Launches: the step's [Detect] rule as read (two bytes more show a value the read cut), what
    // it says, and what its last evaluation found, or why it cannot be read.
    char detectText[DETECT_SIZE + 2];
    DetectRule detectRule;
    DetectState detect;
    char detectFound[DETECT_FOUND_SIZE];
};
enum OptionFate { OPTION_ABSENT, OPTION_PASSED, OPTION_MISSING, OPTION_TOO_LONG };
// What the last BuildLaunchParameters did with the response-file and log-file options.
struct OptionNotes {
    OptionFate response, log;
    char responsePath[RESPONSE_PATH_SIZE];
};
extern StepPlan Plan;
extern OptionNotes LaunchOptions;
void PlanStep(int n);
BOOL BuildLaunchParameters(const char *arguments, char *parameters);
// The text a wait-list name matches against every process when it is a pattern, else NULL.
char *WaitPattern(char *name);
// What the code of the planned step's installer means; declared: [ExitCodes] said so.
ExitMeaning MeaningOfExitCode(DWORD code, BOOL *declared);

// How the run went, for its exit code and the log's last line.
enum StepFailure {
    FAILURE_NONE,
    FAILURE_SKIPPED, // its file, folder or path was not there: detail is the StepSkip
    FAILURE_COPY,
    FAILURE_LAUNCH,
    FAILURE_DRIVER,
    FAILURE_EXIT_CODE,   // its installer's code means a failure: detail
    FAILURE_NO_LIST,     // no setup list, or no step in it
    FAILURE_ENDED_EARLY, // the run was ended before the end of its list, or never began
    FAILURE_NOT_DETECTED // its installer succeeded, but its [Detect] rule does not hold
};
enum RestartFate {
    RESTART_NOT_NEEDED,
    RESTART_SUPPRESSED, // /norestart
    RESTART_DECLINED,
    RESTART_REFUSED, // asked for, and the system refused it
    RESTART_STARTED
};
struct RunOutcome {
    int failures;
    int failedStep; // the first failure's step, 0 for the run as a whole
    StepFailure failure;
    DWORD detail;
    int restartStep;        // the first step whose installer needs a restart
    int busyStep;           // the first step whose installer found the Windows Installer busy
    int restartStartedStep; // the step whose installer started a restart: the last one to start
    BOOL sessionEnding;     // Windows is ending the session: no step starts
    RestartFate restart;
    BOOL listDone;   // the run came to the end of its list
    BOOL handedOver; // the 32-bit launcher passes on its sibling's exit code
};
extern RunOutcome Outcome;
void NoteFailure(StepFailure failure, DWORD detail); // of the step Plan holds, 0 for none
void NoteInstallerExit(DWORD code); // STILL_ACTIVE: it still runs, its code is not known
// An installer or Windows itself is restarting the machine: the run starts no step and never
// restarts on top of it.
BOOL IsRestartUnderWay(void);
int DecideExitCode(void);

// Starts the current step's installer, from the main window or the dialog, and arms watchTimer;
// while Windows Installer runs another installation it ends nothing and arms waitTimer to try
// again, for at most INSTALLER_WAIT_LIMIT, then launches all the same. The process started holds
// the step until it ends, whatever name it runs under; the step's end reads its exit code.
#define INSTALLER_WAIT_LIMIT (10 * 60 * 1000)
void LaunchWhenDue(HWND window, UINT_PTR waitTimer, UINT_PTR watchTimer);
void EndStepInstaller(void);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InstallerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsStepBusy(char *watched);

// System services (system/).
DWORD FindProcessIdByName(char *name);
// The processes of the run: those the launcher started, and all they started, at any depth, also
// when the one in between has ended. At most this many are known at once; past that a name
// counts every process of that name, whoever started it.
#define RUN_TABLE_SIZE 64
void JoinRunJob(void);
// Lets go of the run's processes and its job at the end of the run; nothing of the run ends.
void EndRunWatch(void);
BOOL IsRunProcessRunning(char *name);
// The process a launch started is the run's from its start, not from the first look: what it
// starts outside the job is found when it ends, however soon.
void AddStartedProcess(HANDLE process, const char *name);
// Whether the process a launch started still runs; on TRUE HeldBy names it.
BOOL IsStartedProcessRunning(HANDLE process);
// The process the last name or pattern test that matched found: its name and id, and the process
// that started it (its name when it is a known process of the run, else empty). anyStarter: a
// pattern, or a full table, matched it whoever started it.
struct HeldByProcess {
    char name[MAX_PATH];
    DWORD pid, starterPid;
    char starter[MAX_PATH];
    BOOL anyStarter;
};
extern HeldByProcess HeldBy;
BOOL IsProcessPatternRunning(char *text);
BOOL KillProcessByName(char *text);
enum InstallerState {
    INSTALLER_FREE,
    INSTALLER_BUSY,   // another process owns the mutex of a running installation
    INSTALLER_UNKNOWN // the mutex exists but cannot be tested: not waited for, nothing ended
};
InstallerState TestWindowsInstaller(void);
void KillWindowsInstallers(void);
// Libraries outside the KnownDLLs list are loaded from the system directory only, when needed.
FARPROC GetSystemProcedure(const char *library, const char *procedure);
// What the Windows Installer says of a product: 1 installed for the machine or this user, with its
// version when one is asked for (empty when it cannot be read); 0 not installed; -1 it cannot be
// asked. The code is upper-cased in place.
int QueryProduct(char *code, char *version, DWORD size);
// The fixed file version of a program's version resource: 1 read, 0 it has none, -1 the file
// cannot be loaded as data (the last error tells why).
int QueryFileVersion(const char *path, DWORD *parts);
// The rule's registry key, and its value when it names one, in the view it names; the data of a
// value into size bytes. A system error code.
LONG QueryRegistry(const DetectRule *rule, DWORD *type, BYTE *data, DWORD *size);
int FindDeviceByHardwareId(char *firstText, char *secondText, char *hardwareId);
int InstallDriverForDevice(HWND owner, char *hardwareId, char *description, const char *infPath,
                           DWORD installFlags, int byDescription, BOOL *rebootRequired);
int RemoveDeviceById(char *description, char *hardwareId, int byDescription);
int LocateDevice(char *hardwareId, char *description, int byDescription);
int GetHardwareIdByDescription(char *hardwareId, char *description);
int RescanDevices(void);
BOOL AskRestart(void);
BOOL RestartSystem(void); // whether the restart was requested
int ShowLastError(const char *caption);
// "open" through the shell, as ShellExecuteA would, holding the started process; returns the
// shell's answer, above 32 when the program started.
INT_PTR OpenThroughShell(const char *file, const char *parameters, HANDLE *process);

// Step log (app/log.cpp): written only when asked for; each call notes one event, and does
// nothing when no log is written. A log that cannot be written is left, and the run goes on.
#define LOG_SWITCH "/log"
void OpenLog(const char *commandTail);
void LogEnd(int exitCode);
void LogHandOff(const char *path, const char *parameters, INT_PTR result);
void LogSetupList(void);
void LogStep(void);
void LogCopy(BOOL copied);
void LogLaunch(INT_PTR result);
void LogProcessEnd(const char *name, DWORD id, BOOL ended);
// Why no Windows Installer process is ended before a launch or the hand-off.
void LogInstallerState(InstallerState state);
// A wait for another installation: begun (waitedMs 0), or over after waitedMs, free or not.
void LogInstallerWait(DWORD waitedMs, BOOL free);
void LogWatch(BOOL busy, const char *watched);
void LogSettleRound(int round, const char *watched);
void LogDevice(const char *hardwareId);
void LogDriverInstall(int installed, BOOL rebootNeeded);
void LogDeviceRemoval(int removed);
void LogRescan(int rescanned);
void LogDialogAnswer(int command);
void LogRestart(BOOL restart);
void LogRestartResult(BOOL requested);
void LogInstallerExit(DWORD code); // STILL_ACTIVE: it still runs
void LogDetectAfter(BOOL holds, BOOL counts);
void LogSession(UINT message, BOOL ending);
void LogNoFurtherStep(void);
// FALSE in a silent run, which nobody answers: what the box would say, the last error (every box
// of the launcher but the restart question reports one), goes to the log instead.
BOOL MayShowBox(const char *caption);
