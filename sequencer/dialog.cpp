// The modal progress dialog: launches an installer with rewritten options and waits for it, or
// installs a driver for a present device.

#include "stagerun.h"

#include <shellapi.h>

#define LAUNCH_PAUSE 200
#define RESPONSE_PATH_SIZE 150
#define OPTION_MARKER_LENGTH 5

static const char ResponseMarker[] = " -F1\"";
static const char LogMarker[] = " -F2\"";

// The -f1 value ends at the first double quote followed by a blank; without one, at the first
// double quote, so that a last option's closing quote stays out of the path.
static const char *FindResponseValueEnd(const char *value)
{
    for (const char *c = value; *c != '\0'; c++) {
        if (c[0] == '"' && c[1] == ' ')
            return c;
    }
    const char *quote = strchr(value, '"');
    return quote != NULL ? quote : value + strlen(value);
}

// " -F1"<path>"" when the expanded response file exists; empty when it is missing or too long.
static void BuildResponsePart(const char *value, size_t length, char *part)
{
    char raw[PARAMETERS_SIZE];
    char responsePath[RESPONSE_PATH_SIZE];
    part[0] = '\0';
    memcpy(raw, value, length);
    raw[length] = '\0';
    const char *expanded = ExpandPathTokens(raw);
    if (expanded == NULL || !CopyText(responsePath, sizeof(responsePath), expanded) ||
        !FileExists(responsePath))
        return;
    if (!AppendText(part, PARAMETERS_SIZE, ResponseMarker, PARAMETERS_SIZE) ||
        !AppendText(part, PARAMETERS_SIZE, responsePath, PARAMETERS_SIZE) ||
        !AppendText(part, PARAMETERS_SIZE, "\"", PARAMETERS_SIZE))
        part[0] = '\0';
}

// Rewrites the response-file (-f1) and log-file (-f2) options of a setup program's arguments.
// Arguments without either option pass as written. Arguments longer than the parameters can hold
// give FALSE; an option that does not fit in what remains is dropped as a missing response file
// is, so nothing reaches the installer cut.
BOOL BuildLaunchParameters(const char *arguments, char *parameters)
{
    char upper[PARAMETERS_SIZE];
    char responsePart[PARAMETERS_SIZE] = {};
    char logPart[PARAMETERS_SIZE] = {};
    parameters[0] = '\0';
    if (!CopyText(upper, sizeof(upper), arguments))
        return FALSE;
    UpperCaseAscii(upper);
    CopyText(parameters, PARAMETERS_SIZE, arguments);
    const char *response = strstr(upper, ResponseMarker);
    const char *log = strstr(upper, LogMarker);
    if (response == NULL && log == NULL)
        return TRUE;
    // What stands before the options: up to the -f1 marker, or else up to the first blank.
    size_t keep = response != NULL ? (size_t)(response - upper) : strcspn(parameters, " ");
    parameters[keep] = '\0';
    if (response != NULL) {
        const char *value = response + OPTION_MARKER_LENGTH;
        BuildResponsePart(value, (size_t)(FindResponseValueEnd(value) - value), responsePart);
    }
    if (log != NULL) {
        const char *expanded = ExpandPathTokens(log + OPTION_MARKER_LENGTH);
        if (expanded == NULL || !AppendText(logPart, sizeof(logPart), LogMarker, PARAMETERS_SIZE) ||
            !AppendText(logPart, sizeof(logPart), expanded, PARAMETERS_SIZE))
            logPart[0] = '\0';
    }
    AppendText(parameters, PARAMETERS_SIZE, responsePart, PARAMETERS_SIZE);
    AppendText(parameters, PARAMETERS_SIZE, logPart, PARAMETERS_SIZE);
    return TRUE;
}

static void LaunchInstaller(int n)
{
    char parameters[PARAMETERS_SIZE];
    if (IsSameText(GetExtensionPart(TargetPath), "msi"))
        CopyText(parameters, sizeof(parameters), SetupTable.Arguments[n]);
    else
        BuildLaunchParameters(SetupTable.Arguments[n], parameters);
    KillWindowsInstallers();
    ShellExecuteA(NULL, "open", TargetPath, parameters, NULL, SW_SHOW);
    Sleep(LAUNCH_PAUSE);
}

// The INF is always found from the program's directory, whatever directory is current.
static void InstallDriver(HWND dialog, int n)
{
    const char *infPath = ResolveRelativePath(ModuleDirectory, SetupTable.File[n]);
    if (infPath == NULL || !CopyText(TargetPath, sizeof(TargetPath), infPath))
        return;
    char text[ARGUMENTS_SIZE];
    char hardwareId[HARDWARE_ID_SIZE] = {};
    CopyText(text, sizeof(text), SetupTable.Arguments[n]);
    FindDeviceByHardwareId(text, text, hardwareId);
    if (hardwareId[0] == '\0')
        return;
    char description[] = "";
    BOOL rebootNeeded = FALSE;
    InstallDriverForDevice(dialog, hardwareId, description, TargetPath, 0, 0, &rebootNeeded);
    if (rebootNeeded == TRUE)
        RebootRequired = 1;
}

INT_PTR CALLBACK InstallerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    int n = CurrentEntry;
    switch (message) {
    case WM_INITDIALOG:
        if (SetupTable.Kind[n][0] == '1' || SetupTable.Kind[n][0] == '2') {
            LaunchInstaller(n);
            SetTimer(dialog, TIMER_DIALOG_WATCH, STEP_TIMER_PERIOD, NULL);
            return TRUE;
        }
        if (SetupTable.Kind[n][0] == '0') {
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
            if (IsStepBusy('*', watched)) {
                SetTimer(dialog, TIMER_DIALOG_WATCH, STEP_TIMER_PERIOD, NULL);
                return FALSE;
            }
            EndDialog(dialog, TIMER_DIALOG_WATCH);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            return FALSE;
        KillTimer(dialog, TIMER_DRIVER_INSTALL);
        KillTimer(dialog, TIMER_DIALOG_WATCH);
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
