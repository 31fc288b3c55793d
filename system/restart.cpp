// The restart question, the forced restart with the shutdown privilege, and the error report.
#include "stagerun.h"

#define RESTART_TOKEN_ACCESS (TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY)
#define QUESTION_STYLE (MB_YESNO | MB_ICONQUESTION | MB_TOPMOST)

// Korean texts go through the wide message box so they read right whatever the code page.
BOOL AskRestart(void)
{
    int answer;
    if (IsSameText(LanguageCode, "kor"))
        answer = MessageBoxW(NULL,
                             (LPCWSTR)u"프로그램 설치가 끝났습니다. 설치를 완료하려면 시스템을 "
                                      u"재부팅하여야 합니다. 지금 재부팅 하시겠습니까?",
                             (LPCWSTR)u"시스템 재부팅", QUESTION_STYLE);
    else
        answer = MessageBoxA(NULL, "Reboot system now?", "System Rebooting", QUESTION_STYLE);
    return answer == IDYES;
}

// Each failed step is reported and the next one still runs. Without a token there is nothing
// to adjust, so the adjustment is skipped and the restart is requested all the same.
BOOL RestartSystem(void)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), RESTART_TOKEN_ACCESS, &token)) {
        ShowLastError("OpenProcessToken");
    } else {
        TOKEN_PRIVILEGES privileges = {};
        LookupPrivilegeValueA(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
        // Set on success too: ERROR_NOT_ALL_ASSIGNED when the token lacks the privilege.
        if (GetLastError() != ERROR_SUCCESS)
            ShowLastError("AdjustTokenPrivileges");
        CloseHandle(token);
    }
    BOOL requested = ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
    LogRestartResult(requested);
    if (!requested)
        ShowLastError("ExitWindowsEx");
    return requested;
}

int ShowLastError(const char *caption)
{
    DWORD code = GetLastError();
    if (MayShowBox(caption)) {
        char *text = NULL;
        DWORD length =
            FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, NULL, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
        MessageBoxA(NULL, length > 0 && text != NULL ? text : "FAILURE", caption, MB_OK);
        if (text != NULL)
            LocalFree(text);
    }
    SetLastError(code);
    return 0;
}
