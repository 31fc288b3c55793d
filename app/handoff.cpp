// Hands the run over to the 64-bit sibling when the 32-bit launcher runs on 64-bit Windows.

#include "stagerun.h"

#include <shellapi.h>

// Looked up at run time: kernels before XP SP2 lack the export.
IsWow64ProcessFn IsWow64ProcessPtr =
    (IsWow64ProcessFn)(void *)GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process");

BOOL IsRunningUnderWow64(void)
{
    BOOL wow64 = FALSE;
    if (IsWow64ProcessPtr == NULL)
        return FALSE;
    IsWow64ProcessPtr(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

BOOL HandOffTo64BitSibling(void)
{
    if (!IsRunningUnderWow64())
        return FALSE;
    KillWindowsInstallers();
    // The sibling is this same program, so a silent run stays silent.
    ShellExecuteA(NULL, "open", "stagerun64.exe", SilentMode ? "/s" : "", NULL, SW_SHOW);
    return TRUE;
}
