// State shared by the parts of the simulated machine.
#pragma once

#include "sim.h"

#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace sim
{

// Handles: every one the program opens is counted until it is closed.
enum HandleKind {
    HANDLE_SNAPSHOT,
    HANDLE_PROCESS,
    HANDLE_TOKEN,
    HANDLE_DEVICE_LIST,
    HANDLE_FILE,
    HANDLE_THREAD,
    HANDLE_JOB,
    HANDLE_MUTEX,
    HANDLE_KEY,
    HANDLE_MODULE, // a file loaded as data: not a handle CloseHandle takes
    HANDLE_MSI,    // a Windows Installer database, view or record: MsiCloseHandle closes it
    HANDLE_FIND    // a directory listing: FindClose closes it
};
HANDLE OpenHandle(HandleKind kind, uintptr_t object);
bool LookupHandle(HANDLE handle, HandleKind kind, uintptr_t *object);
bool CloseSimHandle(HANDLE handle);

// Virtual time: moves the clock forward, running process events and test actions on the way.
void AdvanceTo(DWORD timeMs);
DWORD NextEventTime(); // kForever when nothing is scheduled
// Leaves the run by longjmp: no C++ object may live in the frames it skips, hence plain text.
[[noreturn]] void StopRun(const char *why);

// Files.
bool ResolvePath(const std::string &path, std::string *windowsPath); // full, normalised
std::string HostPathOf(const std::string &windowsPath);              // of a full, normalised path
// The same, and what is there (as stat tells it) into info: st_mode 0 when nothing is.
std::string HostPathOf(const std::string &windowsPath, struct stat *info);
bool IsDirectoryAt(const std::string &windowsPath);
void ForgetFileHandle(uintptr_t id);                        // its handle was closed
std::string ActualFileName(const std::string &windowsPath); // the name's case on disk
LCID SystemLocale();
std::string ModuleFileName(); // the launcher's file name, without its directory
// The program file the shell starts for a name, in full; false when there is none.
bool FindProgramFile(const std::string &name, std::string *windowsPath);

// Processes.
DWORD StartProgram(const std::string &fileName, const std::string &processName, DWORD parentPid);
bool ProgramCannotStart(const std::string &fileName);

// Text.
std::string Utf16ToUtf8(const WCHAR *text);
std::string LowerAscii(std::string text);
// The characters of ANSI text: a byte each, in the Korean code page a lead byte with its trail.
std::vector<std::string> AnsiCharacters(const std::string &text);

} // namespace sim
