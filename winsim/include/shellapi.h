// Host stand-in for <shellapi.h>.
#pragma once
#include <windows.h>

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, INT showCommand);
