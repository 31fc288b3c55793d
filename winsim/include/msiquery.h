// Host stand-in for <msiquery.h>: reading a package's tables through the Windows Installer.
#pragma once
#include <msi.h>

#define MSIDBOPEN_READONLY (LPCSTR)0
#define ERROR_OPEN_FAILED 110L
#define ERROR_FUNCTION_FAILED 1627L
#define ERROR_BAD_QUERY_SYNTAX 1615L

UINT WINAPI MsiOpenDatabaseA(LPCSTR path, LPCSTR persist, MSIHANDLE *database);
UINT WINAPI MsiDatabaseOpenViewA(MSIHANDLE database, LPCSTR query, MSIHANDLE *view);
UINT WINAPI MsiViewExecute(MSIHANDLE view, MSIHANDLE parameters);
UINT WINAPI MsiViewFetch(MSIHANDLE view, MSIHANDLE *record);
UINT WINAPI MsiRecordGetStringA(MSIHANDLE record, UINT field, LPSTR value, LPDWORD size);
