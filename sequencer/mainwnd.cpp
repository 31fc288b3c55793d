// The hidden main window: works through the step table on its timers.

#include "stagerun.h"

#include <shellapi.h>

#define LAUNCH_PAUSE 200
#define POLL_PAUSE 300
#define SETTLE_ROUNDS 20

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

static void LaunchDirectly(HWND window)
{
    KillWindowsInstallers();
    LogLaunch((INT_PTR)ShellExecuteA(NULL, "open", TargetPath, Plan.parameters, NULL, SW_SHOW));
    Sleep(LAUNCH_PAUSE);
    SetTimer(window, TIMER_WATCH_ENTRY, STEP_TIMER_PERIOD, NULL);
}

// Without a fresh copy, whatever an earlier run left in the Windows directory would run: a copy
// that fails skips the step as a missing file does.
static BOOL CopyIfAsked(void)
{
    if (Plan.copySource[0] == '\0')
        return TRUE;
    BOOL copied = CopyFileA(Plan.copySource, CopyTargetPath, FALSE);
    LogCopy(copied);
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
    SelfProcessId = GetCurrentProcessId();
    PlanStep(CurrentEntry);
    LogStep();
    switch (Plan.action) {
    case ACTION_END:
        DestroyWindow(window);
        return;
    case ACTION_SKIP:
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

// Whether the step's installer, or a process of its wait list, still runs. The installer and
// plain names count only as processes of the run, started by this program at any depth; a pattern
// is matched against every process. On return the buffer holds the last name looked at.
BOOL IsStepBusy(char *watched)
{
    int n = CurrentEntry;
    CopyText(watched, WATCHED_NAME_SIZE, GetFileNamePart(SetupTable.File[n]));
    if (IsRunProcessRunning(watched))
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
    Advance(window);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    BOOL restart;
    switch (message) {
    case WM_CREATE:
        JoinRunJob();
        LoadSetupList();
        LogSetupList();
        CurrentEntry = 1;
        SetTimer(window, TIMER_NEXT_ENTRY, STEP_TIMER_PERIOD, NULL);
        return 0;
    case WM_TIMER:
        if (wParam == TIMER_NEXT_ENTRY)
            StartStep(window);
        else if (wParam == TIMER_WATCH_ENTRY)
            WatchStep(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDM_EXIT)
            break;
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        KillTimer(window, TIMER_NEXT_ENTRY);
        KillTimer(window, TIMER_WATCH_ENTRY);
        EndRunWatch();
        // A step asked for a restart, and the run is silent or the user agrees.
        restart = RebootRequired == 1 && (SilentMode || AskRestart());
        LogRestart(restart);
        if (restart)
            RestartSystem();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
