// The Windows Installer before a launch: whether it runs another installation, and the ending of
// its leftover processes, which would otherwise make the next installer find it busy.

#include "stagerun.h"

// Windows Installer owns this mutex for as long as it runs an installation's execute sequence.
#define MSI_EXECUTE_MUTEX "Global\\_MSIExecute"

// Owned by no one, or abandoned by an owner that ended: free. Taken for the test only, and given
// back at once, as other installers' launchers do. INSTALLER_UNKNOWN, with the last error, when
// the mutex exists but cannot be opened or waited on.
InstallerState TestWindowsInstaller(void)
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, MSI_EXECUTE_MUTEX);
    if (mutex == NULL)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? INSTALLER_FREE : INSTALLER_UNKNOWN;
    InstallerState state = INSTALLER_UNKNOWN;
    switch (WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        ReleaseMutex(mutex);
        state = INSTALLER_FREE;
        break;
    case WAIT_TIMEOUT:
        state = INSTALLER_BUSY;
        break;
    }
    DWORD error = GetLastError();
    CloseHandle(mutex);
    SetLastError(error);
    return state;
}

// Ends up to two running Windows Installer processes: leftovers, as long as no installation runs.
void KillWindowsInstallers(void)
{
    char name[] = "msiexec.exe";
    KillProcessByName(name);
    KillProcessByName(name);
}
