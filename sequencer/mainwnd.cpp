// The hidden main window: works through the step table on its timers.

#include "stagerun.h"

#include <shellapi.h>

#define LAUNCH_PAUSE 200
#define POLL_PAUSE 300
#define SETTLE_ROUNDS 20
#define DIRECT_LAUNCH_ARGUMENTS " "

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

// An empty hardware-id text is contained in every hardware id: it names no device.
static BOOL IsBlankText(const char *text)
{
    while (*text == ' ')
        text++;
    return *text == '\0';
}

static BOOL SetRelativeTargetPath(const char *file)
{
    return CopyText(TargetPath, sizeof(TargetPath), ".\\") &&
           AppendText(TargetPath, sizeof(TargetPath), file, FILE_SIZE);
}

// Kind "2": copies the file into the Windows directory; the copy is what runs.
static BOOL PrepareCopy(int n)
{
    UINT length = GetWindowsDirectoryA(WindowsDirectory, sizeof(WindowsDirectory));
    if (length == 0 || length >= sizeof(WindowsDirectory) ||
        !SetRelativeTargetPath(SetupTable.File[n]))
        return FALSE;
    // A destination that does not fit would be another file: skip the step as a missing one.
    if (!CopyText(CopyTargetPath, sizeof(CopyTargetPath), WindowsDirectory) ||
        !AppendText(CopyTargetPath, sizeof(CopyTargetPath), "\\", 1) ||
        !AppendText(CopyTargetPath, sizeof(CopyTargetPath), GetFileNamePart(TargetPath), FILE_SIZE))
        return FALSE;
    // Without a fresh copy, whatever an earlier run left in the Windows directory would run.
    if (!CopyFileA(TargetPath, CopyTargetPath, FALSE))
        return FALSE;
    return CopyText(TargetPath, sizeof(TargetPath), CopyTargetPath);
}

// Kind "1": a relative file runs from its own directory, which stays current for later steps.
static BOOL PrepareRunInPlace(int n)
{
    const char *file = SetupTable.File[n];
    if (file[0] != '\0' && file[1] == ':')
        return CopyText(TargetPath, sizeof(TargetPath), file);
    // The directory part only looks at the first 200 characters; beyond them it would be wrong.
    char joined[DIRECTORY_SCAN_LIMIT];
    if (!CopyText(joined, sizeof(joined), ModuleDirectory) ||
        !AppendText(joined, sizeof(joined), "\\", 1) ||
        !AppendText(joined, sizeof(joined), file, FILE_SIZE))
        return FALSE;
    // Else ".\<name>" would be looked for, and run, in whatever directory an earlier step left.
    if (!MakeDirectoryCurrent(GetDirectoryPart(joined)))
        return FALSE;
    return SetRelativeTargetPath(GetFileNamePart(file));
}

static void LaunchStep(HWND window, int n)
{
    if (!FileExists(TargetPath)) {
        Advance(window);
        return;
    }
    if (IsSameText(SetupTable.RebootFlag[n], "1"))
        RebootRequired = 1;
    if (strcmp(SetupTable.Arguments[n], DIRECT_LAUNCH_ARGUMENTS) != 0) {
        OpenInstallerDialog(window);
        Advance(window);
        return;
    }
    KillWindowsInstallers();
    ShellExecuteA(NULL, "open", TargetPath, SetupTable.Arguments[n], NULL, SW_SHOW);
    Sleep(LAUNCH_PAUSE);
    SetTimer(window, TIMER_WATCH_ENTRY, STEP_TIMER_PERIOD, NULL);
}

static void RemoveListedDevice(int n)
{
    char text[ARGUMENTS_SIZE];
    char hardwareId[HARDWARE_ID_SIZE] = {};
    CopyText(text, sizeof(text), SetupTable.Arguments[n]);
    if (FindDeviceByHardwareId(text, text, hardwareId) && hardwareId[0] != '\0') {
        char description[] = "";
        RemoveDeviceById(description, hardwareId, 0);
    }
}

static void StartStep(HWND window)
{
    KillTimer(window, TIMER_NEXT_ENTRY);
    if (CurrentEntry > LAST_SETUP_SLOT) {
        DestroyWindow(window);
        return;
    }
    SelfProcessId = GetCurrentProcessId();
    int n = CurrentEntry;
    const char *kind = SetupTable.Kind[n];
    if (kind[0] == '2' || kind[0] == '1') {
        BOOL prepared = kind[0] == '2' ? PrepareCopy(n) : PrepareRunInPlace(n);
        if (prepared)
            LaunchStep(window, n);
        else
            Advance(window);
        return;
    }
    if (kind[0] == '0') {
        if (!IsBlankText(SetupTable.Arguments[n]) && SetRelativeTargetPath(SetupTable.File[n]) &&
            FileExists(TargetPath))
            OpenInstallerDialog(window);
    } else if (IsSameText(kind, "-1")) {
        if (!IsBlankText(SetupTable.Arguments[n]))
            RemoveListedDevice(n);
    } else if (IsSameText(kind, "-2")) {
        RescanDevices();
    } else {
        DestroyWindow(window);
        return;
    }
    Advance(window);
}

// Whether the step's installer, or a process of its wait list, still runs. The installer and
// plain names count only as children of this program; a name holding "*." is a pattern matched
// against every process. On return the buffer holds the last name looked at.
BOOL IsStepBusy(char separator, char *watched)
{
    int n = CurrentEntry;
    CopyText(watched, WATCHED_NAME_SIZE, GetFileNamePart(SetupTable.File[n]));
    if (IsChildProcessRunning(watched))
        return TRUE;
    Sleep(POLL_PAUSE);
    const char *cursor = SetupTable.WaitList[n];
    while (NextListName(&cursor, separator, watched, WATCHED_NAME_SIZE) > 0) {
        BOOL busy = strstr(watched, "*.") != NULL ? IsProcessPatternRunning(watched + 1)
                                                  : IsChildProcessRunning(watched);
        if (busy)
            return TRUE;
    }
    return FALSE;
}

static void WatchStep(HWND window)
{
    char watched[WATCHED_NAME_SIZE];
    KillTimer(window, TIMER_WATCH_ENTRY);
    if (IsStepBusy('~', watched)) {
        SetTimer(window, TIMER_WATCH_ENTRY, STEP_TIMER_PERIOD, NULL);
        return;
    }
    // Settle: an installer that restarts itself within about 6 s keeps the step alive.
    for (int round = 0; round < SETTLE_ROUNDS; round++) {
        Sleep(POLL_PAUSE);
        DispatchPendingMessages();
        if (watched[0] != '\0' && IsChildProcessRunning(watched)) {
            SetTimer(window, TIMER_WATCH_ENTRY, STEP_TIMER_PERIOD, NULL);
            return;
        }
    }
    Advance(window);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        LoadSetupList();
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
        if (RebootRequired == 1) {
            if (SilentMode || AskRestart())
                RestartSystem();
        }
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
