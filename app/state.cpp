// Storage of the process-wide run state declared in stagerun.h.
#include "stagerun.h"

HINSTANCE hInstance;
BYTE SilentMode;
BYTE NoRestart;
LogSwitchKind LogSwitch;
char LogPath[MAX_PATH];
char LanguageCode[4];
char ModuleDirectory[MODULE_DIRECTORY_SIZE];
SetupTableArrays SetupTable;
SetupListState SetupListStatus;

int CurrentEntry;
int RebootRequired;
char TargetPath[TARGET_PATH_SIZE];
char CopyTargetPath[COPY_TARGET_PATH_SIZE];
char WindowsDirectory[WINDOWS_DIRECTORY_SIZE];
DWORD SelfProcessId;
