// Process watch: find, recognise and end running processes through one Tool Help snapshot each.

#include "stagerun.h"

#include <tlhelp32.h>

// The older form of PROCESS_ALL_ACCESS, which every Windows version accepts.
#define PROCESS_ALL_ACCESS_LEGACY 0x1F0FFF
// Exit code given to an ended process; never STILL_ACTIVE, which pollers read as alive.
#define ENDED_EXIT_CODE 1

enum ProcessTest { TEST_SAME_NAME, TEST_CHILD, TEST_CONTAINS };

// One pass over a fresh snapshot; at the first match the entry holds it and the result is TRUE.
static BOOL WalkProcesses(char *text, ProcessTest test, PROCESSENTRY32 *entry)
{
    UpperCaseAscii(text);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL matches = FALSE;
    entry->dwSize = sizeof(*entry);
    BOOL more = Process32First(snapshot, entry);
    while (more && !matches) {
        DispatchPendingMessages();
        UpperCaseAscii(entry->szExeFile);
        if (test == TEST_CONTAINS)
            matches = strstr(entry->szExeFile, text) != NULL;
        else
            matches = strcmp(entry->szExeFile, text) == 0 &&
                      (test == TEST_SAME_NAME || entry->th32ParentProcessID == SelfProcessId);
        if (!matches)
            more = Process32Next(snapshot, entry);
    }
    CloseHandle(snapshot);
    return matches;
}

DWORD FindProcessIdByName(char *name)
{
    PROCESSENTRY32 entry;
    return WalkProcesses(name, TEST_SAME_NAME, &entry) ? entry.th32ProcessID : 0;
}

BOOL IsChildProcessRunning(char *name)
{
    PROCESSENTRY32 entry;
    return WalkProcesses(name, TEST_CHILD, &entry);
}

BOOL IsProcessPatternRunning(char *text)
{
    PROCESSENTRY32 entry;
    return WalkProcesses(text, TEST_CONTAINS, &entry);
}

// Ends the first process whose name contains the text; a later match is not tried when the
// first cannot be opened.
BOOL KillProcessByName(char *text)
{
    PROCESSENTRY32 entry;
    if (!WalkProcesses(text, TEST_CONTAINS, &entry))
        return FALSE;
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS_LEGACY, FALSE, entry.th32ProcessID);
    if (process == NULL) {
        LogProcessEnd(entry.szExeFile, entry.th32ProcessID, FALSE);
        return FALSE;
    }
    LogProcessEnd(entry.szExeFile, entry.th32ProcessID, TerminateProcess(process, ENDED_EXIT_CODE));
    CloseHandle(process);
    return TRUE;
}

// Ends up to two running Windows Installer processes, as every launch does first.
void KillWindowsInstallers(void)
{
    char name[] = "msiexec.exe";
    KillProcessByName(name);
    KillProcessByName(name);
}
