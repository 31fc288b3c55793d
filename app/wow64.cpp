// Whether this 32-bit program runs on 64-bit Windows, where the launcher and the checker hand their
// work to their 64-bit builds, and where those builds are.

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

// The sibling is started from this program's own folder, never found by name in the current one.
BOOL GetSiblingPath(const char *name, char *path, size_t capacity)
{
    DWORD length = GetModuleFileNameA(NULL, path, (DWORD)capacity);
    if (length == 0 || length >= capacity) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    char *own = strrchr(path, '\\');
    if (own == NULL) {
        SetLastError(ERROR_BAD_PATHNAME);
        return FALSE;
    }
    own[1] = '\0';
    if (!AppendText(path, capacity, name, capacity)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}
