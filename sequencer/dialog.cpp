// The modal progress dialog: launches an installer with rewritten options and waits for it, or
// installs a driver for a present device.

#include "stagerun.h"

static void InstallDriver(HWND dialog, int n)
{
    char text[ARGUMENTS_SIZE];
    char hardwareId[HARDWARE_ID_SIZE] = {};
    CopyText(text, sizeof(text), SetupTable.Arguments[n]);
    FindDeviceByHardwareId(text, text, hardwareId);
    LogDevice(hardwareId);
    if (hardwareId[0] == '\0')
        return;
    char description[] = "";
    BOOL rebootNeeded = FALSE;
    int installed =
        InstallDriverForDevice(dialog, hardwareId, description, Plan.infPath, 0, 0, &rebootNeeded);
    LogDriverInstall(installed, rebootNeeded == TRUE);
    if (!installed)
        NoteFailure(FAILURE_DRIVER, 0);
    if (rebootNeeded == TRUE)
        RebootRequired = 1;
}

// While it waits for Windows Installer, the dialog shows and answers.
static void LaunchUnderDialog(HWND dialog)
{
    LaunchWhenDue(dialog, TIMER_DIALOG_INSTALLER_WAIT, TIMER_DIALOG_WATCH);
}

INT_PTR CALLBACK InstallerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    int n = CurrentEntry;
    switch (message) {
    case WM_INITDIALOG:
        if (Plan.action == ACTION_DIALOG_LAUNCH) {
            LaunchUnderDialog(dialog);
            return TRUE;
        }
        if (Plan.action == ACTION_INSTALL_DRIVER) {
            // The dialog shows before the installation starts on the timer.
            SetTimer(dialog, TIMER_DRIVER_INSTALL, STEP_TIMER_PERIOD, NULL);
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        if (wParam == TIMER_DRIVER_INSTALL) {
            KillTimer(dialog, TIMER_DRIVER_INSTALL);
            InstallDriver(dialog, n);
            EndDialog(dialog, TIMER_DRIVER_INSTALL);
            return TRUE;
        }
        if (wParam == TIMER_DIALOG_WATCH) {
            char watched[WATCHED_NAME_SIZE];
            KillTimer(dialog, TIMER_DIALOG_WATCH);
            BOOL busy = IsStepBusy(watched);
            LogWatch(busy, watched);
            if (busy) {
                SetTimer(dialog, TIMER_DIALOG_WATCH, STEP_TIMER_PERIOD, NULL);
                return FALSE;
            }
            EndDialog(dialog, TIMER_DIALOG_WATCH);
            return TRUE;
        }
        if (wParam == TIMER_DIALOG_INSTALLER_WAIT) {
            LaunchUnderDialog(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            return FALSE;
        LogDialogAnswer(LOWORD(wParam));
        KillTimer(dialog, TIMER_DRIVER_INSTALL);
        KillTimer(dialog, TIMER_DIALOG_WATCH);
        // Closed while it waited for another installation: its installer never started.
        if (KillTimer(dialog, TIMER_DIALOG_INSTALLER_WAIT))
            NoteFailure(FAILURE_LAUNCH, 0);
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
