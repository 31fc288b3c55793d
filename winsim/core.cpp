// Simulated machine: handles, virtual time, processes, the shell's launches and the run itself.
#include "internal.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace sim
{
namespace
{

struct HandleEntry {
    HandleKind kind;
    uintptr_t object;
};
std::map<uintptr_t, HandleEntry> handles;
uintptr_t nextHandle = 0x100;

DWORD clockMs = 0;
DWORD limitMs = kForever;
DWORD lastError = 0;

struct Action {
    DWORD timeMs;
    unsigned order;
    std::function<void()> fn;
};
std::vector<Action> actions;
unsigned actionOrder = 0;

struct PendingSpawn {
    DWORD timeMs;
    DWORD parentPid;
    std::string name;
};
// Processes in creation order, which is the order a snapshot lists them in.
std::vector<ProcessRecord> processes = {
    {0, 0, "[System Process]", 0, kForever, STILL_ACTIVE, false, 0},
    {4, 0, "System", 0, kForever, STILL_ACTIVE, false, 0},
    {kExplorerPid, 4, "explorer.exe", 0, kForever, STILL_ACTIVE, false, 0},
};
// The system's own processes run for ever; the idle and System processes cannot be opened.
Program SystemProcess(bool canBeOpened)
{
    Program program;
    program.runMs = kForever;
    program.canBeOpened = canBeOpened;
    return program;
}
std::map<DWORD, Program> behaviours = {
    {0, SystemProcess(false)}, {4, SystemProcess(false)}, {kExplorerPid, SystemProcess(true)}};
std::vector<PendingSpawn> spawns;
std::map<std::string, Program> programs; // by lower-case file name
DWORD nextPid = 5000;
bool snapshotsFail = false;
int snapshotsTaken = 0;
bool reuseIds = false;
// Jobs by id: whether each lets a process break away. Id 1 is the job a launcher may start in.
const uintptr_t kOuterJob = 1;
std::map<uintptr_t, bool> jobs = {{kOuterJob, false}};
uintptr_t nextJob = 2;
std::vector<Launch> launches;

struct Snapshot {
    std::vector<PROCESSENTRY32> entries;
    size_t next = 0;
};
std::map<uintptr_t, Snapshot> snapshots;
uintptr_t nextSnapshot = 1;

struct WalkAction {
    DWORD fromMs;
    size_t entry;
    std::function<void()> fn;
};
std::vector<WalkAction> walkActions;

struct SimMutex {
    std::string name;
    NamedMutex state;
    DWORD ownerPid;
};
std::vector<SimMutex> mutexes;

uintptr_t launcherJob = 0;
bool running = false;
bool ranOnce = false;
jmp_buf stopJump;
std::string stopReason;

ProcessRecord *Record(DWORD pid)
{
    for (size_t i = processes.size(); i-- > 0;) {
        if (processes[i].pid == pid)
            return &processes[i];
    }
    return nullptr;
}

bool HandleOpenTo(size_t index)
{
    for (const auto &h : handles) {
        if (h.second.kind == HANDLE_PROCESS && h.second.object == index)
            return true;
    }
    return false;
}

// The id freed last: that of an ended process, no longer used, with no handle open to it.
DWORD FreeProcessId()
{
    DWORD best = 0, bestEnd = 0;
    for (size_t i = 0; i < processes.size(); i++) {
        const ProcessRecord &p = processes[i];
        if (p.endMs == kForever || Record(p.pid) != &p || HandleOpenTo(i))
            continue;
        if (best == 0 || p.endMs >= bestEnd) {
            best = p.pid;
            bestEnd = p.endMs;
        }
    }
    return best;
}

Program ProgramFor(const std::string &name)
{
    auto found = programs.find(LowerAscii(name));
    return found != programs.end() ? found->second : Program();
}

DWORD CreateProcessRecord(const std::string &name, DWORD parentPid, const Program &behaviour)
{
    DWORD pid = reuseIds ? FreeProcessId() : 0;
    if (pid == 0) {
        pid = nextPid;
        nextPid += 4;
    }
    // A process belongs to its starter's job unless it breaks away, which the job must allow.
    const ProcessRecord *parent = Record(parentPid);
    uintptr_t job = parent != nullptr && parent->endMs == kForever ? parent->job : 0;
    if (job != 0 && behaviour.breaksAway) {
        if (!jobs[job])
            return 0;
        job = 0;
    }
    processes.push_back({pid, parentPid, name, clockMs, kForever, STILL_ACTIVE, false, job});
    behaviours[pid] = behaviour;
    for (const Spawn &s : behaviour.children)
        spawns.push_back({clockMs + s.afterMs, pid, s.name});
    return pid;
}

void EndProcess(ProcessRecord &p, DWORD exitCode, bool terminated)
{
    p.endMs = clockMs;
    p.exitCode = exitCode;
    p.terminated = terminated;
    // What it had not started yet never starts.
    for (size_t i = spawns.size(); i-- > 0;) {
        if (spawns[i].parentPid == p.pid)
            spawns.erase(spawns.begin() + (long)i);
    }
}

DWORD EndTime(const ProcessRecord &p)
{
    const Program &b = behaviours[p.pid];
    if (p.endMs != kForever || b.runMs == kForever)
        return kForever;
    return p.startMs + b.runMs;
}

// The earliest process end or child start still to come.
DWORD NextProcessEvent()
{
    DWORD best = kForever;
    for (const ProcessRecord &p : processes) {
        DWORD end = EndTime(p);
        if (end < best)
            best = end;
    }
    for (const PendingSpawn &s : spawns) {
        if (s.timeMs < best)
            best = s.timeMs;
    }
    return best;
}

void RunProcessEventsAt(DWORD when)
{
    for (size_t i = 0; i < spawns.size();) {
        if (spawns[i].timeMs <= when) {
            PendingSpawn s = spawns[i];
            spawns.erase(spawns.begin() + (long)i);
            StartProgram(s.name, s.name, s.parentPid);
        } else {
            i++;
        }
    }
    for (size_t i = 0; i < processes.size(); i++) {
        if (EndTime(processes[i]) > when)
            continue;
        Program b = behaviours[processes[i].pid];
        if (b.restartsOnce) {
            // The copy's parent is the process that started it, which then ends.
            b.restartsOnce = false;
            b.children.clear();
            CreateProcessRecord(processes[i].name, processes[i].pid, b);
        }
        EndProcess(processes[i], b.exitCode, false);
    }
}

} // namespace

// --- Handles -----------------------------------------------------------------------------------
HANDLE OpenHandle(HandleKind kind, uintptr_t object)
{
    uintptr_t value = nextHandle;
    nextHandle += 4;
    handles[value] = {kind, object};
    return (HANDLE)value;
}

bool LookupHandle(HANDLE handle, HandleKind kind, uintptr_t *object)
{
    auto found = handles.find((uintptr_t)handle);
    if (found == handles.end() || found->second.kind != kind)
        return false;
    *object = found->second.object;
    return true;
}

bool CloseSimHandle(HANDLE handle)
{
    auto found = handles.find((uintptr_t)handle);
    if (found == handles.end())
        return false;
    if (found->second.kind == HANDLE_SNAPSHOT)
        snapshots.erase(found->second.object);
    else if (found->second.kind == HANDLE_FILE)
        ForgetFileHandle(found->second.object);
    handles.erase(found);
    return true;
}

int OpenHandleCount()
{
    return (int)handles.size();
}

// --- Time --------------------------------------------------------------------------------------
DWORD Now()
{
    return clockMs;
}

void At(DWORD timeMs, std::function<void()> fn)
{
    actions.push_back({timeMs, actionOrder++, std::move(fn)});
}

DWORD NextEventTime()
{
    DWORD best = NextProcessEvent();
    for (const Action &a : actions) {
        if (a.timeMs < best)
            best = a.timeMs;
    }
    return best;
}

void AdvanceTo(DWORD timeMs)
{
    for (;;) {
        DWORD processWhen = NextProcessEvent();
        size_t actionIndex = actions.size();
        for (size_t i = 0; i < actions.size(); i++) {
            if (actionIndex == actions.size() || actions[i].timeMs < actions[actionIndex].timeMs ||
                (actions[i].timeMs == actions[actionIndex].timeMs &&
                 actions[i].order < actions[actionIndex].order))
                actionIndex = i;
        }
        DWORD actionWhen = actionIndex < actions.size() ? actions[actionIndex].timeMs : kForever;
        DWORD when = processWhen < actionWhen ? processWhen : actionWhen;
        if (when == kForever || when > timeMs)
            break;
        if (when > clockMs)
            clockMs = when;
        if (running && clockMs > limitMs)
            StopRun("time limit reached");
        if (processWhen <= actionWhen) {
            RunProcessEventsAt(processWhen);
        } else {
            std::function<void()> fn = std::move(actions[actionIndex].fn);
            actions.erase(actions.begin() + (long)actionIndex);
            fn();
        }
    }
    if (timeMs > clockMs)
        clockMs = timeMs;
    if (running && clockMs > limitMs)
        StopRun("time limit reached");
}

void StopRun(const char *why)
{
    stopReason = why;
    longjmp(stopJump, 1);
}

// --- Processes ---------------------------------------------------------------------------------
void DefineProgram(const std::string &fileName, const Program &program)
{
    programs[LowerAscii(fileName)] = program;
}

bool ProgramCannotStart(const std::string &fileName)
{
    return ProgramFor(fileName).cannotStart;
}

DWORD StartProgram(const std::string &fileName, const std::string &processName, DWORD parentPid)
{
    return CreateProcessRecord(processName, parentPid, ProgramFor(fileName));
}

DWORD AddProcess(const std::string &name, DWORD parentPid, DWORD runMs, bool canBeOpened)
{
    Program program;
    program.runMs = runMs;
    program.canBeOpened = canBeOpened;
    return CreateProcessRecord(name, parentPid, program);
}

const std::vector<ProcessRecord> &Processes()
{
    return processes;
}

const ProcessRecord *FindProcess(DWORD pid)
{
    return Record(pid);
}

const std::vector<Launch> &Launches()
{
    return launches;
}

void FailSnapshots(bool fail)
{
    snapshotsFail = fail;
}

int SnapshotsTaken()
{
    return snapshotsTaken;
}

void ReuseProcessIds()
{
    reuseIds = true;
}

void StartLauncherInJob()
{
    launcherJob = kOuterJob;
}

void WhileWalking(DWORD fromMs, size_t entry, std::function<void()> fn)
{
    walkActions.push_back({fromMs, entry, std::move(fn)});
}

// --- Named mutexes ---------------------------------------------------------------------------
void AddMutex(const std::string &name, const NamedMutex &mutex)
{
    mutexes.push_back({name, mutex, mutex.owned ? mutex.creatorPid : 0});
}

static SimMutex *MutexNamed(const std::string &name)
{
    for (SimMutex &m : mutexes) {
        if (m.name == name)
            return &m;
    }
    return nullptr;
}

void ReleaseMutexOf(const std::string &name)
{
    MutexNamed(name)->ownerPid = 0;
}

DWORD MutexOwner(const std::string &name)
{
    return MutexNamed(name)->ownerPid;
}

static bool Running(DWORD pid)
{
    const ProcessRecord *p = Record(pid);
    return p != nullptr && p->endMs == kForever;
}

static bool MutexExists(size_t index)
{
    const SimMutex &m = mutexes[index];
    if (Running(m.state.creatorPid) || m.state.keptOpen)
        return true;
    for (const auto &h : handles) {
        if (h.second.kind == HANDLE_MUTEX && h.second.object == index)
            return true;
    }
    return false;
}

// --- The run -----------------------------------------------------------------------------------
RunResult Run(const std::string &commandTail, int showCommand, DWORD limit)
{
    if (ranOnce) {
        fprintf(stderr,
                "sim::Run: a scenario needs a fresh process; run the tests through ctest\n");
        abort();
    }
    ranOnce = true;
    limitMs = limit;
    Program launcher;
    launcher.runMs = kForever;
    processes.push_back({kLauncherPid, kExplorerPid, ModuleFileName(), clockMs, kForever,
                         STILL_ACTIVE, false, launcherJob});
    behaviours[kLauncherPid] = launcher;
    RunResult result = {false, 0, 0, ""};
    static char tail[1024];
    snprintf(tail, sizeof(tail), "%s", commandTail.c_str());
    running = true;
    if (setjmp(stopJump) == 0) {
        result.exitCode = WinMain((HINSTANCE)(uintptr_t)0x400000, NULL, tail, showCommand);
        result.finished = true;
    } else {
        result.stuck = stopReason;
    }
    running = false;
    result.endMs = clockMs;
    EndProcess(*Record(kLauncherPid), (DWORD)result.exitCode, false);
    return result;
}

} // namespace sim

using namespace sim;

// --- kernel32 ----------------------------------------------------------------------------------
DWORD WINAPI GetLastError(void)
{
    return lastError;
}

void WINAPI SetLastError(DWORD code)
{
    lastError = code;
}

void WINAPI Sleep(DWORD milliseconds)
{
    AdvanceTo(clockMs + milliseconds);
}

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    struct tm start = {};
    sscanf(kLocalTimeAtStart, "%d-%d-%d %d:%d:%d", &start.tm_year, &start.tm_mon, &start.tm_mday,
           &start.tm_hour, &start.tm_min, &start.tm_sec);
    start.tm_year -= 1900;
    start.tm_mon -= 1;
    time_t seconds = timegm(&start) + clockMs / 1000;
    struct tm now;
    gmtime_r(&seconds, &now);
    *time = {(WORD)(now.tm_year + 1900), (WORD)(now.tm_mon + 1), (WORD)now.tm_wday,
             (WORD)now.tm_mday,          (WORD)now.tm_hour,      (WORD)now.tm_min,
             (WORD)now.tm_sec,           (WORD)(clockMs % 1000)};
}

// The machine started an hour before the program.
DWORD WINAPI GetTickCount(void)
{
    return 3600000 + clockMs;
}

HANDLE WINAPI GetCurrentProcess(void)
{
    return (HANDLE)(LONG_PTR)-1;
}

DWORD WINAPI GetCurrentProcessId(void)
{
    return kLauncherPid;
}

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD)
{
    if (snapshotsFail || (flags & TH32CS_SNAPPROCESS) == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    snapshotsTaken++;
    Snapshot snapshot;
    for (const ProcessRecord &p : processes) {
        if (p.endMs != kForever)
            continue;
        PROCESSENTRY32 entry;
        memset(&entry, 0, sizeof(entry));
        entry.dwSize = sizeof(entry);
        entry.th32ProcessID = p.pid;
        entry.th32ParentProcessID = p.parentPid;
        entry.cntThreads = 1;
        snprintf(entry.szExeFile, sizeof(entry.szExeFile), "%s", p.name.c_str());
        snapshot.entries.push_back(entry);
    }
    uintptr_t id = nextSnapshot++;
    snapshots[id] = snapshot;
    return OpenHandle(HANDLE_SNAPSHOT, id);
}

static BOOL NextSnapshotEntry(HANDLE handle, LPPROCESSENTRY32 entry, bool first)
{
    uintptr_t id;
    if (!LookupHandle(handle, HANDLE_SNAPSHOT, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (entry->dwSize < sizeof(PROCESSENTRY32)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    Snapshot &snapshot = snapshots[id];
    if (first)
        snapshot.next = 0;
    if (snapshot.next >= snapshot.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    for (size_t i = 0; i < walkActions.size(); i++) {
        if (walkActions[i].entry == snapshot.next && walkActions[i].fromMs <= clockMs) {
            std::function<void()> fn = std::move(walkActions[i].fn);
            walkActions.erase(walkActions.begin() + (long)i);
            fn();
            break;
        }
    }
    *entry = snapshot.entries[snapshot.next++];
    return TRUE;
}

BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    return NextSnapshotEntry(snapshot, entry, true);
}

BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry)
{
    return NextSnapshotEntry(snapshot, entry, false);
}

// A process handle refers to one process record, which an id given again does not change.
static HANDLE OpenProcessHandle(const ProcessRecord *p)
{
    return OpenHandle(HANDLE_PROCESS, (uintptr_t)(p - processes.data()));
}

// The process a handle names; NULL with ERROR_INVALID_HANDLE when it names none.
static ProcessRecord *ProcessOfHandle(HANDLE handle)
{
    uintptr_t index;
    if (!LookupHandle(handle, HANDLE_PROCESS, &index)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &processes[index];
}

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD processId)
{
    ProcessRecord *p = Record(processId);
    if (p == nullptr || p->endMs != kForever || processId == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (!behaviours[processId].canBeOpened) {
        SetLastError(ERROR_ACCESS_DENIED);
        return NULL;
    }
    return OpenProcessHandle(p);
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    const ProcessRecord *p = ProcessOfHandle(process);
    if (p == nullptr)
        return FALSE;
    *exitCode = p->exitCode;
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode)
{
    ProcessRecord *p = ProcessOfHandle(process);
    if (p == nullptr)
        return FALSE;
    if (p->endMs != kForever) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    EndProcess(*p, exitCode, true);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    uintptr_t module;
    if (LookupHandle(handle, HANDLE_MODULE, &module) || LookupHandle(handle, HANDLE_MSI, &module) ||
        !CloseSimHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// A program started as the shell would find it by full path; the launch is recorded with verb
// "create", the command line as its parameters. The standard handles are not simulated.
BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR directory,
                           LPSTARTUPINFOA, LPPROCESS_INFORMATION information)
{
    Launch launch = {clockMs,
                     "create",
                     application ? application : "",
                     commandLine ? commandLine : "",
                     directory ? directory : "",
                     CurrentDirectory(),
                     SW_SHOWNORMAL,
                     "",
                     0};
    std::string full;
    bool found = application != nullptr && ResolvePath(application, &full) && FileExistsAt(full) &&
                 !IsDirectoryAt(full);
    std::string name = full.substr(full.rfind('\\') + 1);
    if (found && !ProgramCannotStart(name)) {
        launch.path = full;
        launch.pid = StartProgram(name, name, kLauncherPid);
    }
    launches.push_back(launch);
    if (launch.pid == 0) {
        SetLastError(found ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    information->hProcess = OpenProcessHandle(Record(launch.pid));
    information->hThread = OpenHandle(HANDLE_THREAD, launch.pid);
    information->dwProcessId = launch.pid;
    information->dwThreadId = launch.pid + 1;
    return TRUE;
}

HANDLE WINAPI GetStdHandle(DWORD which)
{
    return (HANDLE)(uintptr_t)(0x10 + (which & 0xF));
}

BOOL WINAPI SetHandleInformation(HANDLE, DWORD, DWORD)
{
    return TRUE;
}

HANDLE WINAPI CreateJobObjectA(LPSECURITY_ATTRIBUTES, LPCSTR)
{
    uintptr_t id = nextJob++;
    jobs[id] = false;
    return OpenHandle(HANDLE_JOB, id);
}

BOOL WINAPI SetInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS infoClass, LPVOID info,
                                    DWORD length)
{
    uintptr_t id;
    if (!LookupHandle(job, HANDLE_JOB, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The basic form is the head of the extended one.
    DWORD size = infoClass == JobObjectExtendedLimitInformation
                     ? sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION)
                     : sizeof(JOBOBJECT_BASIC_LIMIT_INFORMATION);
    if ((infoClass != JobObjectBasicLimitInformation &&
         infoClass != JobObjectExtendedLimitInformation) ||
        length != size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    jobs[id] = (((JOBOBJECT_BASIC_LIMIT_INFORMATION *)info)->LimitFlags &
                JOB_OBJECT_LIMIT_BREAKAWAY_OK) != 0;
    return TRUE;
}

// Only the launcher joins, and only when it is in no job yet (no nesting, as on Windows 7).
BOOL WINAPI AssignProcessToJobObject(HANDLE job, HANDLE process)
{
    uintptr_t id;
    if (!LookupHandle(job, HANDLE_JOB, &id) || process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ProcessRecord *launcher = Record(kLauncherPid);
    if (launcher->job != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    launcher->job = id;
    return TRUE;
}

// The ids of the job's running processes, in start order; as many as fit, with ERROR_MORE_DATA
// when not all did.
BOOL WINAPI QueryInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS infoClass, LPVOID info,
                                      DWORD length, LPDWORD returnLength)
{
    uintptr_t id;
    if (!LookupHandle(job, HANDLE_JOB, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const DWORD head = offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList);
    if (infoClass != JobObjectBasicProcessIdList || length < head) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    JOBOBJECT_BASIC_PROCESS_ID_LIST *list = (JOBOBJECT_BASIC_PROCESS_ID_LIST *)info;
    // The ids run on past the structure's one-entry array.
    ULONG_PTR *ids = (ULONG_PTR *)((char *)info + head);
    DWORD room = (length - head) / sizeof(ULONG_PTR);
    list->NumberOfAssignedProcesses = 0;
    list->NumberOfProcessIdsInList = 0;
    for (const ProcessRecord &p : processes) {
        if (p.job != id || p.endMs != kForever)
            continue;
        list->NumberOfAssignedProcesses++;
        if (list->NumberOfProcessIdsInList < room)
            ids[list->NumberOfProcessIdsInList++] = p.pid;
    }
    if (returnLength != nullptr)
        *returnLength = head + list->NumberOfProcessIdsInList * (DWORD)sizeof(ULONG_PTR);
    if (list->NumberOfProcessIdsInList < list->NumberOfAssignedProcesses) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE process)
{
    const ProcessRecord *p = ProcessOfHandle(process);
    return p != nullptr ? p->pid : 0;
}

// Only the launcher's own process handles, within the launcher.
BOOL WINAPI DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                            HANDLE *target, DWORD, BOOL, DWORD)
{
    const ProcessRecord *p = ProcessOfHandle(source);
    if (p == nullptr || sourceProcess != GetCurrentProcess() ||
        targetProcess != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *target = OpenProcessHandle(p);
    return TRUE;
}

HANDLE WINAPI OpenMutexA(DWORD, BOOL, LPCSTR name)
{
    for (size_t i = 0; i < mutexes.size(); i++) {
        if (mutexes[i].name != name || !MutexExists(i))
            continue;
        if (!mutexes[i].state.canBeOpened) {
            SetLastError(ERROR_ACCESS_DENIED);
            return NULL;
        }
        return OpenHandle(HANDLE_MUTEX, i);
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return NULL;
}

BOOL WINAPI ReleaseMutex(HANDLE mutex)
{
    uintptr_t index;
    if (!LookupHandle(mutex, HANDLE_MUTEX, &index)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mutexes[index].ownerPid != kLauncherPid) {
        SetLastError(288); // ERROR_NOT_OWNER
        return FALSE;
    }
    mutexes[index].ownerPid = 0;
    return TRUE;
}

// --- shell32 -----------------------------------------------------------------------------------
#define SE_ERR_FNF 2
#define SE_ERR_ACCESSDENIED 5

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                               INT showCommand)
{
    Launch launch = {clockMs,
                     verb ? verb : "",
                     file ? file : "",
                     parameters ? parameters : "",
                     directory ? directory : "",
                     CurrentDirectory(),
                     showCommand,
                     "",
                     0};
    INT_PTR result = 42;
    if (file == nullptr || !FindProgramFile(file, &launch.path)) {
        result = SE_ERR_FNF;
    } else {
        std::string name = launch.path.substr(launch.path.rfind('\\') + 1);
        if (ProgramCannotStart(name)) {
            result = SE_ERR_ACCESSDENIED;
        } else {
            size_t dot = name.rfind('.');
            bool package = dot != std::string::npos && LowerAscii(name.substr(dot)) == ".msi";
            // A package opens through its association: the Windows Installer runs it.
            launch.pid = StartProgram(name, package ? "msiexec.exe" : name, kLauncherPid);
        }
    }
    launches.push_back(launch);
    SetLastError(result > 32 ? 0 : (DWORD)result);
    return (HINSTANCE)result;
}

// As Windows does: without SEE_MASK_FLAG_NO_UI a failed start is said in an error box, and the
// process handle is given only with SEE_MASK_NOCLOSEPROCESS, for a process that started.
BOOL WINAPI ShellExecuteExA(LPSHELLEXECUTEINFOA info)
{
    if (info == nullptr || info->cbSize != sizeof(*info)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = NULL;
    info->hInstApp = ShellExecuteA(info->hwnd, info->lpVerb, info->lpFile, info->lpParameters,
                                   info->lpDirectory, info->nShow);
    DWORD error = GetLastError();
    if ((INT_PTR)info->hInstApp <= 32) {
        if ((info->fMask & SEE_MASK_FLAG_NO_UI) == 0)
            MessageBoxA(info->hwnd, "Windows cannot find the file.", info->lpFile,
                        MB_OK | MB_ICONHAND);
        SetLastError(error);
        return FALSE;
    }
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS)
        info->hProcess = OpenProcessHandle(Record(launches.back().pid));
    return TRUE;
}

// A mutex is signalled while no running process owns it: the waiter takes it, and learns when its
// owner had ended without releasing it. It may be taken again by its owner.
static DWORD WaitForMutex(size_t index, DWORD milliseconds)
{
    DWORD deadline = milliseconds == INFINITE ? kForever : clockMs + milliseconds;
    for (;;) {
        SimMutex &m = mutexes[index];
        if (m.ownerPid == 0 || m.ownerPid == kLauncherPid || !Running(m.ownerPid)) {
            bool abandoned = m.ownerPid != 0 && m.ownerPid != kLauncherPid;
            m.ownerPid = kLauncherPid;
            return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
        DWORD next = NextEventTime();
        if (next == kForever && deadline == kForever)
            StopRun("waits for a mutex that is never released");
        if (next > deadline) {
            AdvanceTo(deadline);
            return WAIT_TIMEOUT;
        }
        AdvanceTo(next);
    }
}

// A process handle is signalled when the process has ended; waiting lets virtual time run.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    uintptr_t mutex;
    if (LookupHandle(handle, HANDLE_MUTEX, &mutex))
        return WaitForMutex(mutex, milliseconds);
    const ProcessRecord *p = ProcessOfHandle(handle);
    if (p == nullptr)
        return WAIT_FAILED;
    // By index: time running on may start processes and move the records.
    size_t index = (size_t)(p - processes.data());
    DWORD deadline = milliseconds == INFINITE ? kForever : clockMs + milliseconds;
    for (;;) {
        if (processes[index].endMs != kForever)
            return WAIT_OBJECT_0;
        DWORD next = NextEventTime();
        if (next == kForever && deadline == kForever)
            StopRun("waits for a process that never ends");
        if (next > deadline) {
            AdvanceTo(deadline);
            return WAIT_TIMEOUT;
        }
        AdvanceTo(next);
    }
}
