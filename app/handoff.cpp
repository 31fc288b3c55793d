// Hands the run over to the 64-bit sibling when the 32-bit launcher runs on 64-bit Windows.

#include "stagerun.h"

// Said in the run's language: code page 949 bytes, which is the ANSI code page wherever the
// system locale makes the run Korean.
static void ReportFailedHandOff(void)
{
    ChooseLanguage();
    ShowLastError(IsSameText(LanguageCode, "kor") ? SIBLING_NAME
                      "\xb8\xa6 \xbd\xc3\xc0\xdb\xc7\xd2 \xbc\xf6 "
                      "\xbe\xf8\xbd\xc0\xb4\xcf\xb4\xd9."
                                                  : "Cannot start " SIBLING_NAME);
}

// The switches the sibling is to run with: the same program, so a silent run stays silent and
// writes the same log.
static void BuildSiblingParameters(char *parameters)
{
    BOOL logged = LogPath[0] != '\0';
    int length = wsprintfA(parameters, "%s%s%s%s%s", SilentMode ? "/s " : "",
                           NoRestart ? NORESTART_SWITCH " " : "", logged ? LOG_SWITCH ":\"" : "",
                           LogPath, logged ? "\" " : "");
    if (length > 0)
        parameters[length - 1] = '\0';
}

// A deployment tool that started this program waits for it: so it waits for the sibling, and
// ends with the sibling's exit code.
int HandOffTo64BitSibling(void)
{
    char path[MAX_PATH];
    char parameters[sizeof("/s " NORESTART_SWITCH " " LOG_SWITCH ":\"\"") + MAX_PATH];
    // Never waits: the sibling does, at its first launch.
    InstallerState installer = TestWindowsInstaller();
    if (installer == INSTALLER_FREE)
        KillWindowsInstallers();
    else
        LogInstallerState(installer);
    if (GetSiblingPath(SIBLING_NAME, path, sizeof(path))) {
        HANDLE sibling;
        BuildSiblingParameters(parameters);
        INT_PTR result = OpenThroughShell(path, parameters, &sibling);
        LogHandOff(path, parameters, result);
        if (result > 32) {
            // Without a process handle to wait on, the exit code cannot be passed on: 2.
            DWORD code = EXIT_HANDOFF_FAILED;
            WaitForSingleObject(sibling, INFINITE);
            GetExitCodeProcess(sibling, &code);
            CloseHandle(sibling);
            Outcome.handedOver = TRUE;
            return (int)code;
        }
        // The shell's own codes below 32 for a missing file, path or access name the same
        // errors as the system's codes of the same number.
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError((DWORD)result);
    }
    ReportFailedHandOff();
    return EXIT_HANDOFF_FAILED;
}
