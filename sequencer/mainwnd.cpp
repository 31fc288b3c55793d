// The hidden main window: works through the step table on its timers.

#include "stagerun.h"

#define LAUNCH_PAUSE 200
#define POLL_PAUSE 300
#define SETTLE_ROUNDS 20

// The process the current step started, held for its exit code; NULL when there is none.
static HANDLE StepProcess;

static void Advance(HWND window)
{
    CurrentEntry++;
    SetTimer(window, TIMER_NEXT_ENTRY, STEP_TIMER_PERIOD, NULL);
}

static void OpenInstallerDialog(HWND window)
{
    int dialog = IsSameText(LanguageCode, "kor") ? IDD_INSTALL_KOREAN : IDD_INSTALL_ENGLISH;
    DialogBoxParamA(hInstance, MAKEINTRESOURCEA(dialog), window, InstallerDialogProc, 0);
}

// When the current step began to wait for another installation; 0 while it does not wait.
static DWORD InstallerWaitStart;

// Whether the current step may be launched now; otherwise leftover Windows Installer processes
// are ended first.
static BOOL IsLaunchDue(void)
{
    // While Windows ends the session nothing starts; should it go on, so does the wait.
    if (Outcome.sessionEnding)
        return FALSE;
    InstallerState state = TestWindowsInstaller();
    DWORD now = GetTickCount();
    if (state == INSTALLER_BUSY && InstallerWaitStart == 0) {
        InstallerWaitStart = now != 0 ? now : 1;
        LogInstallerWait(0, FALSE);
        return FALSE;
    }
    if (InstallerWaitStart != 0) {
        DWORD waited = now - InstallerWaitStart;
        if (state == INSTALLER_BUSY && waited < INSTALLER_WAIT_LIMIT)
            return FALSE;
        InstallerWaitStart = 0;
        LogInstallerWait(waited, state != INSTALLER_BUSY);
    }
    if (state == INSTALLER_FREE)
        KillWindowsInstallers();
    else if (state == INSTALLER_UNKNOWN)
        LogInstallerState(state);
    return TRUE;
}

// For an .msi the process is the Windows Installer client, whose exit code is the package's.
static void LaunchStepInstaller(void)
{
    INT_PTR answer = OpenThroughShell(TargetPath, Plan.parameters, &StepProcess);
    LogLaunch(answer);
    if (answer <= 32)
        NoteFailure(FAILURE_LAUNCH, 0);
    else
        AddStartedProcess(StepProcess, GetFileNamePart(TargetPath));
    Sleep(LAUNCH_PAUSE);
}

// The watch has let the step go: its installer's code, when it has ended, counts for the run.
void EndStepInstaller(void)
{
    if (StepProcess == NULL)
        return;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(StepProcess, &code);
    CloseHandle(StepProcess);
    StepProcess = NULL;
    LogInstallerExit(code);
    NoteInstallerExit(code);
    // Installed means installed: a plain success whose rule does not hold failed. After a code
    // that means a restart the rule is only logged, as the restart may complete the installation.
    BOOL declared;
    ExitMeaning meaning = MeaningOfExitCode(code, &declared);
    BOOL counts = meaning == MEANING_SUCCESS;
    if (code == STILL_ACTIVE || Plan.detect < DETECT_HOLDS ||
        (!counts && meaning != MEANING_RESTART_NEEDED && meaning != MEANING_RESTART_STARTED))
        return;
    BOOL holds = EvaluateDetectRule();
    LogDetectAfter(holds, counts);
    if (counts && !holds)
        NoteFailure(FAILURE_NOT_DETECTED, 0);
}

void LaunchWhenDue(HWND window, UINT_PTR waitTimer, UINT_PTR watchTimer)
{
    KillTimer(window, waitTimer);
    if (!IsLaunchDue()) {
        SetTimer(window, waitTimer, STEP_TIMER_PERIOD, NULL);
        return;
    }
    LaunchStepInstaller();
    SetTimer(window, watchTimer, STEP_TIMER_PERIOD, NULL);
}

static void LaunchDirectly(HWND window)
{
    LaunchWhenDue(window, TIMER_INSTALLER_WAIT, TIMER_WATCH_ENTRY);
}

// Without a fresh copy, whatever an earlier run left in the Windows directory would run: a copy
// that fails skips the step as a missing file does.
static BOOL CopyIfAsked(void)
{
    if (Plan.copySource[0] == '\0')
        return TRUE;
    BOOL copied = CopyFileA(Plan.copySource, CopyTargetPath, FALSE);
    LogCopy(copied);
    if (!copied)
        NoteFailure(FAILURE_COPY, 0);
    return copied;
}

static void RemoveListedDevice(int n)
{
    char text[ARGUMENTS_SIZE];
    char hardwareId[HARDWARE_ID_SIZE] = {};
    CopyText(text, sizeof(text), SetupTable.Arguments[n]);
    int found = FindDeviceByHardwareId(text, text, hardwareId);
    LogDevice(hardwareId);
    if (found && hardwareId[0] != '\0') {
        char description[] = "";
        LogDeviceRemoval(RemoveDeviceById(description, hardwareId, 0));
    }
}

static void StartStep(HWND window)
{
    KillTimer(window, TIMER_NEXT_ENTRY);
    // While Windows ends the session no step starts; should it go on, so does the run.
    if (Outcome.sessionEnding) {
        SetTimer(window, TIMER_NEXT_ENTRY, STEP_TIMER_PERIOD, NULL);
        return;
    }
    // A step started now would be cut off by the restart an installer has begun.
    if (IsRestartUnderWay()) {
        LogNoFurtherStep();
        DestroyWindow(window);
        return;
    }
    SelfProcessId = GetCurrentProcessId();
    InstallerWaitStart = 0;
    PlanStep(CurrentEntry);
    LogStep();
    switch (Plan.action) {
    case ACTION_END:
        Outcome.listDone = TRUE;
        DestroyWindow(window);
        return;
    case ACTION_SKIP:
        NoteFailure(FAILURE_SKIPPED, (DWORD)Plan.skip);
        break;
    case ACTION_INSTALLED:
        break;
    case ACTION_LAUNCH:
    case ACTION_DIALOG_LAUNCH:
        if (!CopyIfAsked())
            break;
        if (Plan.reboot)
            RebootRequired = 1;
        if (Plan.action == ACTION_LAUNCH) {
            LaunchDirectly(window);
            return;
        }
        OpenInstallerDialog(window);
        EndStepInstaller();
        break;
    case ACTION_INSTALL_DRIVER:
        OpenInstallerDialog(window);
        break;
    case ACTION_REMOVE_DEVICE:
        RemoveListedDevice(CurrentEntry);
        break;
    case ACTION_RESCAN:
        LogRescan(RescanDevices());
        break;
    }
    Advance(window);
}

// Whether the step's installer, or a process of its wait list, still runs. The process the launch
// started counts whatever its name (an .msi runs as msiexec.exe); the installer's name, for what
// it leaves behind, and plain names count only as processes of the run, started by this program
// at any depth; a pattern is matched against every process. On return the buffer holds the last
// name looked at.
BOOL IsStepBusy(char *watched)
{
    int n = CurrentEntry;
    CopyText(watched, WATCHED_NAME_SIZE, GetFileNamePart(SetupTable.File[n]));
    // The name test first: it brings the run's processes up to date on every poll.
    if (IsRunProcessRunning(watched) || IsStartedProcessRunning(StepProcess))
        return TRUE;
    Sleep(POLL_PAUSE);
    const char *cursor = SetupTable.WaitList[n];
    while (NextListName(&cursor, Plan.waitSeparator, watched, WATCHED_NAME_SIZE) > 0) {
        char *pattern = WaitPattern(watched);
        if (pattern != NULL ? IsProcessPatternRunning(pattern) : IsRunProcessRunning(watched))
            return TRUE;
    }
    return FALSE;
}

static void WatchStep(HWND window)
{
    char watched[WATCHED_NAME_SIZE];
    KillTimer(window, TIMER_WATCH_ENTRY);
    BOOL busy = IsStepBusy(watched);
    LogWatch(busy, watched);
    if (busy) {
        SetTimer(window, TIMER_WATCH_ENTRY, STEP_TIMER_PERIOD, NULL);
        return;
    }
    // Settle: an installer that restarts itself within about 6 s keeps the step alive.
    for (int round = 0; round < SETTLE_ROUNDS; round++) {
        Sleep(POLL_PAUSE);
        DispatchPendingMessages();
        if (watched[0] != '\0' && IsRunProcessRunning(watched)) {
            LogSettleRound(round + 1, watched);
            SetTimer(window, TIMER_WATCH_ENTRY, STEP_TIMER_PERIOD, NULL);
            return;
        }
    }
    EndStepInstaller();
    Advance(window);
}

// A step asked for a restart: not with /norestart; in a silent run without asking; never on top of
// one under way.
static void EndOfRunRestart(void)
{
    if (RebootRequired != 1 || IsRestartUnderWay()) {
        LogRestart(FALSE);
    } else if (NoRestart) {
        Outcome.restart = RESTART_SUPPRESSED; // the run's last log line says so
    } else if (SilentMode || AskRestart()) {
        LogRestart(TRUE);
        Outcome.restart = RestartSystem() ? RESTART_STARTED : RESTART_REFUSED;
    } else {
        LogRestart(FALSE);
        Outcome.restart = RESTART_DECLINED;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        JoinRunJob();
        LoadSetupList();
        LogSetupList();
        if (SetupListStatus.steps == 0)
            NoteFailure(FAILURE_NO_LIST, 0);
        CurrentEntry = 1;
        SetTimer(window, TIMER_NEXT_ENTRY, STEP_TIMER_PERIOD, NULL);
        return 0;
    case WM_TIMER:
        if (wParam == TIMER_NEXT_ENTRY)
            StartStep(window);
        else if (wParam == TIMER_WATCH_ENTRY)
            WatchStep(window);
        else if (wParam == TIMER_INSTALLER_WAIT)
            LaunchDirectly(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDM_EXIT)
            break;
        DestroyWindow(window);
        return 0;
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
        // Windows sends these to every top-level window, hidden ones too.
        Outcome.sessionEnding = message == WM_QUERYENDSESSION || wParam != FALSE;
        LogSession(message, Outcome.sessionEnding);
        if (message == WM_QUERYENDSESSION)
            return TRUE;
        // The process may be ended as soon as this returns: the run ends, and says so, first.
        if (Outcome.sessionEnding) {
            DestroyWindow(window);
            LogEnd(DecideExitCode());
        }
        return 0;
    case WM_DESTROY:
        KillTimer(window, TIMER_NEXT_ENTRY);
        KillTimer(window, TIMER_WATCH_ENTRY);
        KillTimer(window, TIMER_INSTALLER_WAIT);
        EndStepInstaller();
        EndRunWatch();
        // Ended from the menu or by closing the window, the rest of the list never ran.
        if (!Outcome.listDone && !IsRestartUnderWay())
            NoteFailure(FAILURE_ENDED_EARLY, 0);
        EndOfRunRestart();
        PostQuitMessage(DecideExitCode());
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
