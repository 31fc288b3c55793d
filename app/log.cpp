// The step log: what happened on the target, one line per event with the local time to the
// millisecond, appended under a header line per run. Written only when asked for; a log that
// cannot be opened or written is left and the run goes on as without it.

#include "../res/version.h"
#include "stagerun.h"

#include <stdarg.h>

#define LOG_FILE_NAME "StageRun.log"
// A longer line goes on in the next, which repeats the time and starts with "+ ".
#define LOG_LINE_SIZE 256
#define STAMP_SIZE 32
// Room for the longest of the short number formats below and a 32-bit number.
#define NUMBER_SIZE 24
#define MESSAGE_SIZE 512
#define WINDOWS_VERSION_SIZE 48

typedef LONG(WINAPI *RtlGetVersionFn)(RTL_OSVERSIONINFOW *);

static HANDLE LogFile; // NULL while no log is written
static char LogLine[LOG_LINE_SIZE + 2];
static size_t LogLength;
static char LogStamp[STAMP_SIZE];
// What holds the current step, and since when.
static char Holder[WATCHED_NAME_SIZE];
static DWORD HolderPid;
static DWORD HeldSince;
static BOOL WatchSeen;

static void StartLine(const char *mark)
{
    LogLength = 0;
    for (const char *c = LogStamp; *c != '\0'; c++)
        LogLine[LogLength++] = *c;
    for (const char *c = mark; *c != '\0'; c++)
        LogLine[LogLength++] = *c;
}

// A write that fails leaves the log for the rest of the run.
static void WriteLine(void)
{
    DWORD written = 0;
    LogLine[LogLength++] = '\r';
    LogLine[LogLength++] = '\n';
    if (!WriteFile(LogFile, LogLine, (DWORD)LogLength, &written, NULL) || written != LogLength) {
        CloseHandle(LogFile);
        LogFile = NULL;
    }
    LogLength = 0;
}

// Texts go in whole: what does not fit the line goes on in the next, and a double-byte character
// is never parted.
static void Put(const char *text)
{
    const unsigned char *c = (const unsigned char *)text;
    while (*c != '\0' && LogFile != NULL) {
        size_t size = IsDBCSLeadByte(*c) && c[1] != '\0' ? 2 : 1;
        if (LogLength + size > LOG_LINE_SIZE) {
            WriteLine();
            StartLine("+ ");
            continue;
        }
        for (size_t i = 0; i < size; i++)
            LogLine[LogLength++] = (char)*c++;
    }
}

static void PutNumber(const char *format, UINT value)
{
    char digits[NUMBER_SIZE];
    wsprintfA(digits, format, value);
    Put(digits);
}

// The code and the system's text for it, on one line.
static void PutError(DWORD code)
{
    char text[MESSAGE_SIZE];
    PutNumber("error %u", code);
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof(text), NULL);
    if (length == 0 || length >= sizeof(text))
        return;
    while (length > 0 && (unsigned char)text[length - 1] <= ' ')
        text[--length] = '\0';
    for (DWORD i = 0; i < length; i++) {
        if (text[i] == '\r' || text[i] == '\n')
            text[i] = ' ';
    }
    Put(": ");
    Put(text);
}

// Writes one event: the local time, then the format with its arguments. A leading "@" puts
// "step <n>: " for the current step. %s is a text, %q a text in quotes, %c a character, %u a
// number, %x one in four hexadecimal digits, %a what a ShellExecute result tells, %e the last
// error as the event began. Every event gives that error back, so the run reads what it would
// without a log.
static void Note(const char *format, ...)
{
    SYSTEMTIME now;
    va_list arguments;
    if (LogFile == NULL)
        return;
    DWORD error = GetLastError();
    GetLocalTime(&now);
    wsprintfA(LogStamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
              now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    StartLine("");
    if (*format == '@') {
        format++;
        PutNumber("step %u: ", (UINT)Plan.number);
    }
    va_start(arguments, format);
    for (; *format != '\0'; format++) {
        char character[2] = {*format, '\0'};
        if (*format != '%') {
            Put(character);
            continue;
        }
        switch (*++format) {
        case 's':
            Put(va_arg(arguments, const char *));
            break;
        case 'q':
            Put("\"");
            Put(va_arg(arguments, const char *));
            Put("\"");
            break;
        case 'c':
            character[0] = (char)va_arg(arguments, int);
            Put(character);
            break;
        case 'u':
            PutNumber("%u", va_arg(arguments, UINT));
            break;
        case 'x':
            PutNumber("%04x", va_arg(arguments, UINT));
            break;
        case 'a': {
            // Above 32 the program started.
            INT_PTR result = va_arg(arguments, INT_PTR);
            Put(result > 32 ? "started (ShellExecute answered "
                            : "not started (ShellExecute answered ");
            PutNumber("%u", (UINT)result);
            if (result <= 32) {
                Put(", last ");
                PutError(error);
            }
            Put(")");
            break;
        }
        default:
            PutError(error);
            break;
        }
    }
    va_end(arguments);
    if (LogFile != NULL)
        WriteLine();
    SetLastError(error);
}

// The system's own numbers: GetVersionEx tells a program whose manifest does not name the
// system an older version.
static void ReadWindowsVersion(char *text)
{
    RtlGetVersionFn getVersion =
        (RtlGetVersionFn)(void *)GetProcAddress(GetModuleHandleA("ntdll"), "RtlGetVersion");
    RTL_OSVERSIONINFOW version;
    version.dwOSVersionInfoSize = sizeof(version);
    if (getVersion == NULL || getVersion(&version) != 0)
        CopyText(text, WINDOWS_VERSION_SIZE, "Windows (unknown)");
    else
        wsprintfA(text, "Windows %u.%u.%u", version.dwMajorVersion, version.dwMinorVersion,
                  version.dwBuildNumber);
}

// Where the log goes: the switch's path or the temporary folder, else the medium's own setting.
// A path may hold the setup list's tokens (%windir%, %curdir%...), and keeps its case.
static BOOL FindLogPath(void)
{
    char asked[LOG_SETTING_SIZE];
    if (LogSwitch == LOG_SWITCH_TEMP) {
        DWORD length = GetTempPathA(MAX_PATH, LogPath);
        return length > 0 && length < MAX_PATH &&
               AppendText(LogPath, MAX_PATH, LOG_FILE_NAME, MAX_PATH);
    }
    if (LogSwitch == LOG_SWITCH_PATH ? !CopyText(asked, sizeof(asked), LogPath)
                                     : !ReadLogSetting(asked))
        return FALSE;
    const char *expanded = ExpandPathTokensKeepingCase(asked);
    return asked[0] != '\0' && expanded != NULL && CopyText(LogPath, MAX_PATH, expanded);
}

void OpenLog(const char *commandTail)
{
    char program[MODULE_DIRECTORY_SIZE];
    char windows[WINDOWS_VERSION_SIZE];
    ReadProgramPath(program);
    SetModuleDirectory(program);
    if (!FindLogPath()) {
        LogPath[0] = '\0';
        return;
    }
    // Append data only: every line goes to the end, also while the other launcher writes.
    HANDLE file = CreateFileA(LogPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    LogFile = file;
    ReadWindowsVersion(windows);
    BOOL wide = sizeof(void *) == 8;
    Note("==== StageRun " STAGERUN_VERSION ", %s-bit on %s-bit %s, language %x, code page "
         "%u; program %s; command line %q; medium %s",
         wide ? "64" : "32", wide || IsRunningUnderWow64() ? "64" : "32", windows,
         (UINT)GetSystemDefaultLCID(), GetACP(), program, commandTail, ModuleDirectory);
}

// Why the run ends with its exit code: a failure in the order of StepFailure (a skip in the order
// of StepSkip), a restart in the order of RestartFate. %u is the installer's code.
static const char *const FailureTexts[] = {"",
                                           "copy failed",
                                           "not started",
                                           "driver not installed",
                                           "exit code %u",
                                           "no setup list",
                                           "ended early",
                                           "installed, but the [" DETECT_SECTION
                                           "] rule does not hold"};
static const char *const SkipTexts[] = {"file missing", "no folder", "path too long",
                                        "no hardware id"};
static const char *const RestartTexts[] = {"an installer needs a restart",
                                           "no restart (/norestart)", "no restart (answered No)",
                                           "restart refused", "restart started"};

// The last line: the exit code and why.
void LogEnd(int exitCode)
{
    const RunOutcome &o = Outcome;
    char why[2 * NUMBER_SIZE + 64]; // the step, then the longest text with its number
    const char *text = "all steps done";
    UINT number = (UINT)o.detail;
    if (o.handedOver)
        text = SIBLING_NAME "'s";
    else if (exitCode == EXIT_DLL_REDIRECTION)
        text = "a .local would redirect its DLLs";
    else if (exitCode == EXIT_HANDOFF_FAILED)
        text = SIBLING_NAME " not started";
    else if (o.failures > 0)
        text = o.failure == FAILURE_SKIPPED ? SkipTexts[o.detail - SKIP_FILE_MISSING]
                                            : FailureTexts[o.failure - FAILURE_SKIPPED];
    else if (o.busyStep != 0) {
        text = "step %u found the Windows Installer busy";
        number = (UINT)o.busyStep;
    } else if (o.restartStartedStep != 0) {
        text = "step %u started a restart: no step after it";
        number = (UINT)o.restartStartedStep;
    } else if (o.sessionEnding)
        text = "Windows ends the session: no step after it";
    else if (o.restart != RESTART_NOT_NEEDED || o.restartStep != 0)
        text = RestartTexts[o.restart];
    int used = o.failedStep > 0 ? wsprintfA(why, "step %u failed: ", (UINT)o.failedStep) : 0;
    wsprintfA(why + used, text, number);
    Note("==== end of run, exit code %u: %s", (UINT)exitCode, why);
    if (LogFile != NULL)
        CloseHandle(LogFile);
    LogFile = NULL;
}

void LogHandOff(const char *path, const char *parameters, INT_PTR result)
{
    Note("hand-off to %s, parameters %q: %a", path, parameters, result);
}

void LogSetupList(void)
{
    static const char *const EndTexts[] = {
        "", "", "empty or missing", "value too long", " does not fit", "table full"};
    const SetupListState &list = SetupListStatus;
    if (list.end == LIST_NO_PROGRAM_PATH) {
        Note("no setup list: the program's folder is unusable");
        return;
    }
    Note("setup list %s\\" SETUP_LIST_NAME ", section [%s]", ModuleDirectory, list.section);
    for (int n = 1; n <= list.steps; n++)
        Note("Setup%u=%q,%q,%q,%q,%q", (UINT)n, SetupTable.Kind[n], SetupTable.File[n],
             SetupTable.Arguments[n], SetupTable.WaitList[n], SetupTable.RebootFlag[n]);
    if (list.end == LIST_NO_FILE)
        Note("no " SETUP_LIST_NAME " found");
    else
        Note("%u steps loaded; the list ends at Setup%u: %s%s", (UINT)list.steps, (UINT)list.key,
             list.end == LIST_FIELD_TOO_LONG ? SetupFieldNames[list.field - 1] : "",
             EndTexts[list.end]);
}

static void LogSkip(int n)
{
    char folder[MAX_PATH];
    DWORD length;
    switch (Plan.skip) {
    case SKIP_FILE_MISSING:
        length = GetCurrentDirectoryA(sizeof(folder), folder);
        Note("@skipped: %s is missing (current folder %s)", TargetPath,
             length > 0 && length < sizeof(folder) ? folder : "unknown");
        break;
    case SKIP_FOLDER_UNAVAILABLE:
        Note("@skipped: folder %s cannot be made current", Plan.folder);
        break;
    case SKIP_PATH_TOO_LONG:
        Note("@skipped: a path with %q does not fit", SetupTable.File[n]);
        break;
    case SKIP_INF_MISSING:
        Note("@skipped: %s is there, but the driver would be installed from %s, which is missing",
             TargetPath, Plan.infPath);
        break;
    default:
        Note("@skipped: the hardware-id text is blank");
        break;
    }
}

static void LogLaunchPlan(int n)
{
    BOOL direct = Plan.action == ACTION_LAUNCH;
    if (Plan.copySource[0] != '\0')
        Note("@copy %s to %s", Plan.copySource, CopyTargetPath);
    else if (SetupTable.Kind[n][0] == '2')
        Note("@%s is in the Windows folder already: not copied", TargetPath);
    Note("@run %s in %s %s, parameters %q%s; waits for it and the wait list %q (split at %c)%s%s",
         TargetPath, Plan.folder, direct ? "directly" : "under the dialog", Plan.parameters,
         Plan.isPackage ? " (package: as written)" : "", SetupTable.WaitList[n], Plan.waitSeparator,
         direct ? ", then settles" : "", Plan.reboot ? "; asks for a restart" : "");
    if (Plan.exitCodes[0] != '\0')
        Note("@[" EXIT_CODES_SECTION "] %q", Plan.exitCodes);
    if (Plan.detect == DETECT_INVALID)
        Note("@[" DETECT_SECTION "] %q cannot be read (%s): ignored", Plan.detectText,
             Plan.detectFound);
    else if (Plan.detect != DETECT_NONE)
        Note("@[" DETECT_SECTION "] %s %s: the step runs", Plan.detectText, Plan.detectFound);
    if (Plan.ignoredExitItems[0] != '\0')
        Note("@[" EXIT_CODES_SECTION "] ignores what it cannot read: %q", Plan.ignoredExitItems);
}

// What became of a -f1 or -f2 option, in the order of OptionFate.
static void LogOption(const char *option, OptionFate fate, const char *path)
{
    static const char *const Fates[] = {"", "@%s passed", "@%s dropped: %s is missing",
                                        "@%s dropped: its path does not fit"};
    if (fate != OPTION_ABSENT)
        Note(Fates[fate], option, path);
}

void LogStep(void)
{
    int n = Plan.number;
    Holder[0] = '\0';
    WatchSeen = FALSE;
    switch (Plan.action) {
    case ACTION_END:
        if (n > SetupListStatus.steps)
            Note("@no more steps: the run ends");
        else
            Note("@Kind %q is no step: the run ends", SetupTable.Kind[n]);
        break;
    case ACTION_SKIP:
        LogSkip(n);
        break;
    case ACTION_INSTALLED:
        Note("@already installed: %s %s: skipped", Plan.detectText, Plan.detectFound);
        break;
    case ACTION_LAUNCH:
    case ACTION_DIALOG_LAUNCH:
        LogLaunchPlan(n);
        break;
    case ACTION_INSTALL_DRIVER:
        Note("@install the driver %s for the device matching %q", Plan.infPath,
             SetupTable.Arguments[n]);
        break;
    case ACTION_REMOVE_DEVICE:
        Note("@remove the device matching %q", SetupTable.Arguments[n]);
        break;
    case ACTION_RESCAN:
        Note("@rescan the hardware");
        break;
    }
    LogOption("-f1", LaunchOptions.response, LaunchOptions.responsePath);
    LogOption("-f2", LaunchOptions.log, "");
}

void LogCopy(BOOL copied)
{
    Note(copied ? "@copied" : "@copy failed (%e): skipped");
}

void LogLaunch(INT_PTR result)
{
    Note("@%a", result);
}

// A process ended before a launch or the hand-off: the most drastic thing done to the machine.
void LogProcessEnd(const char *name, DWORD id, BOOL ended)
{
    Note(ended ? "ended %s (process %u)" : "could not end %s (process %u): %e", name, (UINT)id);
}

static const char InstallerBusy[] =
    "@Windows Installer is busy with another installation: ending nothing%s";

// At the hand-off there is no step to name; the sibling waits for a busy Windows Installer.
void LogInstallerState(InstallerState state)
{
    const char *format = state == INSTALLER_BUSY
                             ? InstallerBusy
                             : "@Windows Installer's state cannot be told (%e): ending nothing%s";
    Note(format + (Plan.number == 0), Plan.number == 0 ? " before the hand-off" : "");
}

void LogInstallerWait(DWORD waitedMs, BOOL free)
{
    if (waitedMs == 0)
        Note(InstallerBusy, ", waiting for it, at most 10 minutes");
    else
        Note(free ? "@Windows Installer became free after %u.%u s: going on"
                  : "@Windows Installer still busy after %u.%u s: launching anyway",
             (UINT)(waitedMs / 1000), (UINT)(waitedMs % 1000 / 100));
}

// Notes each change of what holds the step: how long the last holder held it, and a new one with
// its id and the process of the run that started it.
void LogWatch(BOOL busy, const char *watched)
{
    const char *holder = busy ? watched : "";
    DWORD holderPid = busy ? HeldBy.pid : 0;
    if (LogFile == NULL || (WatchSeen && strcmp(holder, Holder) == 0 && holderPid == HolderPid))
        return;
    DWORD now = GetTickCount();
    if (Holder[0] != '\0')
        Note("@%s held it for %u.%u s", Holder, (now - HeldSince) / 1000,
             (now - HeldSince) % 1000 / 100);
    else if (!busy)
        Note("@nothing holds it");
    if (busy && HeldBy.anyStarter)
        Note("@held by %s (id %u), as %s matches it whoever started it", HeldBy.name,
             (UINT)HeldBy.pid, watched);
    else if (busy && HeldBy.starterPid == SelfProcessId)
        Note("@held by %s (id %u), started by this launcher", HeldBy.name, (UINT)HeldBy.pid);
    else if (busy && HeldBy.starter[0] != '\0')
        Note("@held by %s (id %u), started by %s (id %u)", HeldBy.name, (UINT)HeldBy.pid,
             HeldBy.starter, (UINT)HeldBy.starterPid);
    else if (busy)
        Note("@held by %s (id %u), started by id %u, which has ended", HeldBy.name,
             (UINT)HeldBy.pid, (UINT)HeldBy.starterPid);
    CopyText(Holder, sizeof(Holder), holder);
    HolderPid = holderPid;
    HeldSince = now;
    WatchSeen = TRUE;
}

void LogSettleRound(int round, const char *watched)
{
    Note("@settle round %u found %s back", (UINT)round, watched);
}

void LogDevice(const char *hardwareId)
{
    if (hardwareId[0] != '\0')
        Note("@device found: %s", hardwareId);
    else
        Note("@found no device matching %q", SetupTable.Arguments[Plan.number]);
}

void LogDriverInstall(int installed, BOOL rebootNeeded)
{
    if (!installed)
        Note("@driver not installed (last %e)");
    else
        Note("@driver installed, restart %s", rebootNeeded ? "needed" : "not needed");
}

void LogDeviceRemoval(int removed)
{
    Note(removed ? "@device removal requested" : "@no device removed");
}

void LogRescan(int rescanned)
{
    Note(rescanned ? "@hardware rescanned" : "@hardware rescan failed");
}

void LogDialogAnswer(int command)
{
    Note("@dialog closed by the user: %s",
         command == IDOK ? "OK (Enter)" : "Cancel (Esc or close box)");
}

void LogRestart(BOOL restart)
{
    Note(IsRestartUnderWay()   ? "no restart of the launcher's own: one is under way"
         : RebootRequired != 1 ? "no step asked for a restart"
         : SilentMode          ? "restart: silent run, not asked"
         : restart             ? "restart: answered Yes"
                               : "restart: answered No");
}

void LogRestartResult(BOOL requested)
{
    Note(requested ? "restart requested" : "restart refused (%e)");
}

// The code, what it means for the run and the rule that said so.
void LogInstallerExit(DWORD code)
{
    BOOL declared;
    ExitMeaning meaning = MeaningOfExitCode(code, &declared);
    Note(code != STILL_ACTIVE ? "@%s ended with exit code %u: %s (%s)"
                              : "@%s still runs: exit code unknown",
         GetFileNamePart(TargetPath), (UINT)code, ExitMeaningNames[meaning],
         declared ? "[" EXIT_CODES_SECTION "]" : "default");
}

void LogDetectAfter(BOOL holds, BOOL counts)
{
    Note(holds    ? "@installed: %s %s"
         : counts ? "@installed, but the [" DETECT_SECTION "] rule does not hold: %s %s"
                  : "@not installed yet, the restart may change it: %s %s",
         Plan.detectText, Plan.detectFound);
}

void LogSession(UINT message, BOOL ending)
{
    Note(message == WM_QUERYENDSESSION ? "Windows asks to end the session: no further step starts"
         : ending                      ? "Windows ends the session: the run ends"
                                       : "the session goes on, and so does the run");
}

void LogNoFurtherStep(void)
{
    Note("no further step starts: step %u's installer started a restart",
         (UINT)Outcome.restartStartedStep);
}

BOOL MayShowBox(const char *caption)
{
    if (!SilentMode)
        return TRUE;
    Note("silent run, no message box: %q: %e", caption);
    return FALSE;
}
