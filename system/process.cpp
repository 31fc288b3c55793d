// Process watch: find, recognise and end running processes. Names of the run's own processes are
// answered from a table of the processes this run started, at any depth; everything else takes
// one Tool Help snapshot.

#include "stagerun.h"

#include <tlhelp32.h>

// The older form of PROCESS_ALL_ACCESS, which every Windows version accepts.
#define PROCESS_ALL_ACCESS_LEGACY 0x1F0FFF
// Exit code given to an ended process; never STILL_ACTIVE, which pollers read as alive.
#define ENDED_EXIT_CODE 1

enum ProcessTest { TEST_SAME_NAME, TEST_CONTAINS };

HeldByProcess HeldBy;

// One process of the run. While it runs a handle to it is held: Windows gives a process id to
// another process only once every handle to the old one is closed, so a held id and a parent id
// equal to it always mean this process. An ended entry keeps its name for the log.
struct RunProcess {
    DWORD pid, parentPid;
    HANDLE handle;
    BOOL running;
    BOOL listed; // seen by the refresh under way
    char name[MAX_PATH];
};
static RunProcess RunTable[RUN_TABLE_SIZE];
// The job this run's processes belong to; NULL when the launcher could not join one.
static HANDLE RunJob;
// A process of the run did not fit the table: names then count whoever started the process.
static BOOL RunTableOverflow;

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
            matches = strcmp(entry->szExeFile, text) == 0;
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

// Every process the launcher starts from now on, and all they start, belongs to the job, orphans
// included, unless it asks to break away. Closing the job's last handle ends nothing. Windows 7
// cannot nest jobs: a launcher already in one stays out, and the run is followed over snapshots.
void JoinRunJob(void)
{
    HANDLE job = CreateJobObjectA(NULL, NULL);
    if (job == NULL)
        return;
    // The extended form: Wine refuses the basic one.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits)) &&
        AssignProcessToJobObject(job, GetCurrentProcess()))
        RunJob = job;
    else
        CloseHandle(job);
}

static void EndRunProcess(RunProcess *p)
{
    if (p->handle != NULL)
        CloseHandle(p->handle);
    p->handle = NULL;
    p->running = FALSE;
}

void EndRunWatch(void)
{
    for (int i = 0; i < RUN_TABLE_SIZE; i++)
        EndRunProcess(&RunTable[i]);
    if (RunJob != NULL)
        CloseHandle(RunJob);
    RunJob = NULL;
}

static void NoteHolder(const PROCESSENTRY32 *entry, const char *starter, BOOL anyStarter)
{
    CopyText(HeldBy.name, sizeof(HeldBy.name), entry->szExeFile);
    HeldBy.pid = entry->th32ProcessID;
    HeldBy.starterPid = entry->th32ParentProcessID;
    CopyText(HeldBy.starter, sizeof(HeldBy.starter), starter);
    HeldBy.anyStarter = anyStarter;
}

static RunProcess *FindRunProcess(DWORD pid, BOOL running)
{
    for (int i = 0; i < RUN_TABLE_SIZE; i++) {
        if (RunTable[i].pid == pid && RunTable[i].running == running &&
            (running || RunTable[i].name[0] != '\0'))
            return &RunTable[i];
    }
    return NULL;
}

// Takes a process into the table, in a free slot or in that of an ended process, with its
// handle; NULL when the table is full.
static RunProcess *AddRunProcessWith(DWORD pid, DWORD parentPid, HANDLE handle, const char *name)
{
    RunProcess *slot = NULL;
    for (int i = 0; i < RUN_TABLE_SIZE && (slot == NULL || slot->name[0] != '\0'); i++) {
        if (!RunTable[i].running)
            slot = &RunTable[i];
    }
    if (slot == NULL) {
        RunTableOverflow = TRUE;
        if (handle != NULL)
            CloseHandle(handle);
        return NULL;
    }
    slot->pid = pid;
    slot->parentPid = parentPid;
    slot->handle = handle;
    slot->running = TRUE;
    slot->listed = TRUE;
    CopyText(slot->name, sizeof(slot->name), name);
    UpperCaseAscii(slot->name);
    return slot;
}

static void AddRunProcess(const PROCESSENTRY32 *entry)
{
    AddRunProcessWith(entry->th32ProcessID, entry->th32ParentProcessID,
                      OpenProcess(SYNCHRONIZE, FALSE, entry->th32ProcessID), entry->szExeFile);
}

// Whether the launcher or a running process of the run started the snapshot entry.
static BOOL StartedByRun(const PROCESSENTRY32 *entry)
{
    return entry->th32ParentProcessID == SelfProcessId ||
           FindRunProcess(entry->th32ParentProcessID, TRUE) != NULL;
}

// Brings the table up to date over one snapshot: it adds every process that a running process of
// the run started, in as many passes as the snapshot's order needs, and in job mode the job's
// unlisted ids too. Without a job it marks the processes the snapshot lists. FALSE without a
// snapshot.
static BOOL ReadRunSnapshot(const ULONG_PTR *jobIds, DWORD jobIdCount)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return FALSE;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL added = TRUE; added;) {
        added = FALSE;
        for (BOOL more = Process32First(snapshot, &entry); more;
             more = Process32Next(snapshot, &entry)) {
            DispatchPendingMessages();
            RunProcess *known = FindRunProcess(entry.th32ProcessID, TRUE);
            if (known != NULL) {
                if (jobIds == NULL)
                    known->listed = TRUE;
                continue;
            }
            BOOL inJob = FALSE;
            for (DWORD i = 0; i < jobIdCount && !inJob; i++)
                inJob = jobIds[i] == entry.th32ProcessID;
            if (entry.th32ProcessID != SelfProcessId && (inJob || StartedByRun(&entry)) &&
                !RunTableOverflow) {
                AddRunProcess(&entry);
                // What it started may be listed before it; the job lists what joined it.
                added = added || !inJob;
            }
        }
    }
    CloseHandle(snapshot);
    return TRUE;
}

// Job mode: the job's id list answers alone while no process joined or ended. A process that left
// the job, or was started outside it, is followed by its handle. When a process of the run ends,
// one snapshot, taken while its handle still keeps its id from any other process, adds what it
// started outside the job; a new id in the job costs one as well. FALSE when the list cannot be
// read, or does not fit the table: then snapshots follow the run.
static BOOL ReadRunJob(void)
{
    // JOBOBJECT_BASIC_PROCESS_ID_LIST with room for the table and the launcher. Its own one-entry
    // array may not be indexed further: optimisers take it at its word.
    struct {
        DWORD assigned, listed;
        ULONG_PTR ids[RUN_TABLE_SIZE + 1];
    } list;
    if (!QueryInformationJobObject(RunJob, JobObjectBasicProcessIdList, &list, sizeof(list), NULL))
        return FALSE;
    BOOL changed = FALSE;
    for (int i = 0; i < RUN_TABLE_SIZE; i++) {
        RunProcess *p = &RunTable[i];
        if (!p->running)
            continue;
        for (DWORD j = 0; j < list.listed && !p->listed; j++)
            p->listed = list.ids[j] == p->pid;
        if (!p->listed)
            p->listed = WaitForSingleObject(p->handle, 0) == WAIT_TIMEOUT;
        changed = changed || !p->listed;
    }
    for (DWORD j = 0; j < list.listed; j++) {
        DWORD pid = (DWORD)list.ids[j];
        changed = changed || (pid != SelfProcessId && FindRunProcess(pid, TRUE) == NULL);
    }
    // Without a snapshot what joined waits for the next poll; what ended ends all the same.
    if (changed)
        ReadRunSnapshot(list.ids, list.listed);
    return TRUE;
}

// The processes the refresh did not find have ended; without a snapshot none is known to have.
static void RefreshRunTable(void)
{
    for (int i = 0; i < RUN_TABLE_SIZE; i++)
        RunTable[i].listed = FALSE;
    if ((RunJob != NULL && ReadRunJob()) || ReadRunSnapshot(NULL, 0)) {
        for (int i = 0; i < RUN_TABLE_SIZE; i++) {
            if (RunTable[i].running && !RunTable[i].listed)
                EndRunProcess(&RunTable[i]);
        }
    }
}

// Looked for at once, it joins the table under the name it runs as. Should it have ended
// already, the table keeps it by a handle of its own, under the name of the file started, until
// the next refresh has looked for what it started.
void AddStartedProcess(HANDLE process, const char *name)
{
    DWORD pid = GetProcessId(process);
    HANDLE own;
    RefreshRunTable();
    if (pid == 0 || RunTableOverflow || FindRunProcess(pid, TRUE) != NULL ||
        !DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &own, SYNCHRONIZE,
                         FALSE, 0))
        return;
    AddRunProcessWith(pid, SelfProcessId, own, name);
}

BOOL IsStartedProcessRunning(HANDLE process)
{
    if (process == NULL || WaitForSingleObject(process, 0) != WAIT_TIMEOUT)
        return FALSE;
    PROCESSENTRY32 entry;
    entry.th32ProcessID = GetProcessId(process);
    entry.th32ParentProcessID = SelfProcessId;
    const RunProcess *known = FindRunProcess(entry.th32ProcessID, TRUE);
    CopyText(entry.szExeFile, sizeof(entry.szExeFile), known != NULL ? known->name : "");
    NoteHolder(&entry, "", FALSE);
    return TRUE;
}

// A process of the run, other than the launcher, of exactly that name. On a match HeldBy names it
// and the process of the run that started it.
BOOL IsRunProcessRunning(char *name)
{
    UpperCaseAscii(name);
    RefreshRunTable();
    if (RunTableOverflow) {
        PROCESSENTRY32 entry;
        if (!WalkProcesses(name, TEST_SAME_NAME, &entry))
            return FALSE;
        NoteHolder(&entry, "", TRUE);
        return TRUE;
    }
    for (int i = 0; i < RUN_TABLE_SIZE; i++) {
        const RunProcess *p = &RunTable[i];
        if (!p->running || strcmp(p->name, name) != 0)
            continue;
        const RunProcess *starter = FindRunProcess(p->parentPid, TRUE);
        if (starter == NULL)
            starter = FindRunProcess(p->parentPid, FALSE);
        PROCESSENTRY32 entry;
        entry.th32ProcessID = p->pid;
        entry.th32ParentProcessID = p->parentPid;
        CopyText(entry.szExeFile, sizeof(entry.szExeFile), p->name);
        NoteHolder(&entry, starter != NULL ? starter->name : "", FALSE);
        return TRUE;
    }
    return FALSE;
}

BOOL IsProcessPatternRunning(char *text)
{
    PROCESSENTRY32 entry;
    if (!WalkProcesses(text, TEST_CONTAINS, &entry))
        return FALSE;
    NoteHolder(&entry, "", TRUE);
    return TRUE;
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
