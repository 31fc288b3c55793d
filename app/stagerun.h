// Shared run state of the launcher and the operations each subsystem offers the others.
#pragma once

#include <string.h>
#include <windows.h>

#include "../res/resource.h"

// Step table: slots 1..LAST_SETUP_SLOT hold the steps in file order; slot 0 is never used.
#define SETUP_SLOTS 100
#define LAST_SETUP_SLOT (SETUP_SLOTS - 1)
#define KIND_SIZE 3
#define FILE_SIZE 100
#define ARGUMENTS_SIZE 200
#define WAITLIST_SIZE 100
#define REBOOTFLAG_SIZE 2

struct SetupTableArrays {
    char Kind[SETUP_SLOTS][KIND_SIZE];
    char File[SETUP_SLOTS][FILE_SIZE];
    char Arguments[SETUP_SLOTS][ARGUMENTS_SIZE];
    char WaitList[SETUP_SLOTS][WAITLIST_SIZE];
    char RebootFlag[SETUP_SLOTS][REBOOTFLAG_SIZE];
};

#define MODULE_DIRECTORY_SIZE 256
#define WINDOWS_DIRECTORY_SIZE 80
#define TARGET_PATH_SIZE 152
#define COPY_TARGET_PATH_SIZE 80
#define HARDWARE_ID_SIZE 356
// The directory part of a path is taken from its first 200 characters only.
#define DIRECTORY_SCAN_LIMIT 200

// Exit codes other than 0: refused to run beside a DLL redirection; the 64-bit sibling failed to
// start.
#define EXIT_DLL_REDIRECTION 1
#define EXIT_HANDOFF_FAILED 2

#define TIMER_NEXT_ENTRY 200
#define TIMER_WATCH_ENTRY 201
#define TIMER_DRIVER_INSTALL 300
#define TIMER_DIALOG_WATCH 301
#define STEP_TIMER_PERIOD 500

// Set at start-up (entry function and setup list).
extern HINSTANCE hInstance;
extern BYTE SilentMode;
extern char LanguageCode[4];
extern char ModuleDirectory[MODULE_DIRECTORY_SIZE];
extern SetupTableArrays SetupTable;

// Run state of the sequencer, shared with the installer dialog.
extern int CurrentEntry;
extern int RebootRequired;
extern char TargetPath[TARGET_PATH_SIZE];
extern char CopyTargetPath[COPY_TARGET_PATH_SIZE];
extern char WindowsDirectory[WINDOWS_DIRECTORY_SIZE];
extern DWORD SelfProcessId;

// Application shell (app/).
typedef BOOL(WINAPI *IsWow64ProcessFn)(HANDLE, PBOOL);
extern IsWow64ProcessFn IsWow64ProcessPtr;
BOOL IsRunningUnderWow64(void);
enum HandOffResult { HANDOFF_NOT_NEEDED, HANDOFF_DONE, HANDOFF_FAILED };
HandOffResult HandOffTo64BitSibling(void);
void DispatchPendingMessages(void);
LPSTR SkipProgramName(LPSTR commandLine);

// Setup list and paths (setuplist/).
void ChooseLanguage(void);
void LoadSetupList(void);
BOOL FileExists(const char *path);
BOOL IsSameText(const char *a, const char *b);
void UpperCaseAscii(char *text);
BOOL CopyText(char *destination, size_t capacity, const char *source);
BOOL AppendText(char *destination, size_t capacity, const char *source, size_t count);
int NextListName(const char **cursor, char separator, char *name, size_t capacity);
char *GetDirectoryPart(const char *path);
const char *GetFileNamePart(const char *path);
const char *GetExtensionPart(const char *path);
char *ResolveRelativePath(const char *base, const char *relative);
char *ExpandPathTokens(const char *path);
BOOL MakeDirectoryCurrent(const char *directory);

// Sequencer and installer dialog (sequencer/).
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InstallerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#define PARAMETERS_SIZE 256
#define WATCHED_NAME_SIZE 256
BOOL BuildLaunchParameters(const char *arguments, char *parameters);
BOOL IsStepBusy(char separator, char *watched);

// System services (system/).
DWORD FindProcessIdByName(char *name);
BOOL IsChildProcessRunning(char *name);
BOOL IsProcessPatternRunning(char *text);
BOOL KillProcessByName(char *text);
void KillWindowsInstallers(void);
int FindDeviceByHardwareId(char *firstText, char *secondText, char *hardwareId);
int InstallDriverForDevice(HWND owner, char *hardwareId, char *description, const char *infPath,
                           DWORD installFlags, int byDescription, BOOL *rebootRequired);
int RemoveDeviceById(char *description, char *hardwareId, int byDescription);
int LocateDevice(char *hardwareId, char *description, int byDescription);
int GetHardwareIdByDescription(char *hardwareId, char *description);
int RescanDevices(void);
BOOL AskRestart(void);
void RestartSystem(void);
int ShowLastError(const char *caption);
