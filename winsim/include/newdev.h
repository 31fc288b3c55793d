// Host stand-in for <newdev.h>: driver installation for a present device.
#pragma once
#include <windows.h>

#define INSTALLFLAG_FORCE 0x00000001

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND owner, LPCSTR hardwareId, LPCSTR infPath,
                                               DWORD installFlags, PBOOL rebootRequired);
