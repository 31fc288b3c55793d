// On 64-bit Windows the run is made by the 64-bit launcher, which sees %programfiles% and the
// system folder as they are; a 32-bit program sees "Program Files (x86)" and SysWOW64 instead. So
// the 32-bit checker hands the whole check to the 64-bit checker beside it, as the 32-bit launcher
// hands the run to its 64-bit sibling.

#include "check.h"

#define CHECKER64_NAME "stagerun-check64.exe"
// The sibling's path and the folder, each in quotes, and the switches.
#define HANDOFF_COMMAND_SIZE (2 * MAX_PATH + 32)

// A text in quotes, its trailing backslashes doubled: "D:\" would otherwise end in a quote.
static BOOL AppendQuoted(char *command, const char *text)
{
    size_t length = strlen(text);
    size_t slashes = 0;
    while (slashes < length && text[length - 1 - slashes] == '\\')
        slashes++;
    return AppendText(command, HANDOFF_COMMAND_SIZE, "\"", 1) &&
           AppendText(command, HANDOFF_COMMAND_SIZE, text, length) &&
           AppendText(command, HANDOFF_COMMAND_SIZE, text + length - slashes, slashes) &&
           AppendText(command, HANDOFF_COMMAND_SIZE, "\"", 1);
}

// The same switches and folder as this check was given.
static BOOL BuildCommand(const char *path, const CheckRequest *request, char *command)
{
    command[0] = '\0';
    return AppendQuoted(command, path) &&
           (!request->silent || AppendText(command, HANDOFF_COMMAND_SIZE, " /s", 3)) &&
           (!request->json || AppendText(command, HANDOFF_COMMAND_SIZE, " /json", 6)) &&
           (!NoRestart || AppendText(command, HANDOFF_COMMAND_SIZE, " " NORESTART_SWITCH,
                                     HANDOFF_COMMAND_SIZE)) &&
           (request->folder == NULL || (AppendText(command, HANDOFF_COMMAND_SIZE, " ", 1) &&
                                        AppendQuoted(command, request->folder)));
}

// The sibling's output goes where this program's goes; its exit code is passed on.
static int RunSibling(const char *path, char *command)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    HANDLE *standard[] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; i++) {
        *standard[i] = GetStdHandle(which[i]);
        SetHandleInformation(*standard[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION child;
    if (!CreateProcessA(path, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child))
        return -1;
    DWORD exitCode = CHECK_UNREADABLE;
    if (WaitForSingleObject(child.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(child.hProcess, &exitCode))
        exitCode = CHECK_UNREADABLE;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return (int)exitCode;
}

int HandCheckTo64BitChecker(const CheckRequest *request)
{
    char path[MAX_PATH];
    char command[HANDOFF_COMMAND_SIZE];
    char message[MESSAGE_SIZE];
    if (!GetSiblingPath(CHECKER64_NAME, path, sizeof(path)) ||
        !BuildCommand(path, request, command)) {
        ReportUnreadable(request, "the path of " CHECKER64_NAME " or the folder's is too long");
        return CHECK_UNREADABLE;
    }
    fflush(ReportOut != NULL ? ReportOut : stdout);
    int exitCode = RunSibling(path, command);
    if (exitCode >= 0)
        return exitCode;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        snprintf(message, sizeof(message),
                 "%s is missing: on 64-bit Windows the check is made by the 64-bit checker, which "
                 "sees the system as the 64-bit launcher does",
                 path);
    else
        snprintf(message, sizeof(message), "%s cannot be started (error %lu)", path,
                 (unsigned long)error);
    ReportUnreadable(request, message);
    return CHECK_UNREADABLE;
}
