// Host stand-in for <commctrl.h>.
#pragma once
#include <windows.h>

void WINAPI InitCommonControls(void);
