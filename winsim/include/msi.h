// Host stand-in for <msi.h>: what the launcher asks the Windows Installer about a product.
#pragma once
#include <windows.h>

typedef enum tagINSTALLSTATE {
    INSTALLSTATE_INVALIDARG = -2,
    INSTALLSTATE_UNKNOWN = -1,
    INSTALLSTATE_ADVERTISED = 1,
    INSTALLSTATE_ABSENT = 2,
    INSTALLSTATE_DEFAULT = 5
} INSTALLSTATE;
#define ERROR_UNKNOWN_PRODUCT 1605L
#define ERROR_UNKNOWN_PROPERTY 1608L

INSTALLSTATE WINAPI MsiQueryProductStateA(LPCSTR product);
UINT WINAPI MsiGetProductInfoA(LPCSTR product, LPCSTR property, LPSTR value, LPDWORD size);

// Every handle the Windows Installer hands out (databases, views, records) is closed with this.
typedef DWORD MSIHANDLE;
UINT WINAPI MsiCloseHandle(MSIHANDLE handle);
