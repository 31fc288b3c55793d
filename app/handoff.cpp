// Hands the run over to the 64-bit sibling when the 32-bit launcher runs on 64-bit Windows.

#include "stagerun.h"

#include <shellapi.h>

// The sibling is started from this program's own folder, never found by name in the current one.
static BOOL GetSiblingPath(char *path, size_t capacity)
{
    DWORD length = GetModuleFileNameA(NULL, path, (DWORD)capacity);
    if (length == 0 || length >= capacity) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    char *name = strrchr(path, '\\');
    if (name == NULL) {
        SetLastError(ERROR_BAD_PATHNAME);
        return FALSE;
    }
    name[1] = '\0';
    if (!AppendText(path, capacity, SIBLING_NAME, capacity)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

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

HandOffResult HandOffTo64BitSibling(void)
{
    char path[MAX_PATH];
    // Room for "/s", the log switch and the longest log path.
    char parameters[sizeof("/s " LOG_SWITCH ":\"\"") + MAX_PATH];
    if (!IsRunningUnderWow64())
        return HANDOFF_NOT_NEEDED;
    KillWindowsInstallers();
    if (GetSiblingPath(path, sizeof(path))) {
        // The sibling is this same program: a silent run stays silent, and writes the same log.
        wsprintfA(parameters, LogPath[0] != '\0' ? "%s%s" LOG_SWITCH ":\"%s\"" : "%s",
                  SilentMode ? "/s" : "", SilentMode ? " " : "", LogPath);
        INT_PTR result = (INT_PTR)ShellExecuteA(NULL, "open", path, parameters, NULL, SW_SHOW);
        LogHandOff(path, parameters, result);
        if (result > 32)
            return HANDOFF_DONE;
        // The shell's own codes below 32 for a missing file, path or access name the same
        // errors as the system's codes of the same number.
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError((DWORD)result);
    }
    if (!SilentMode)
        ReportFailedHandOff();
    return HANDOFF_FAILED;
}
