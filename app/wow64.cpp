// Whether this 32-bit program runs on 64-bit Windows: the launcher and the checker then hand their
// work to their 64-bit builds.

#include "stagerun.h"

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
