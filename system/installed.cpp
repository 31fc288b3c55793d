// What the machine has installed: the Windows Installer's products, a program's version resource
// and the registry, as the [Detect] rules ask.

#include "stagerun.h"

#include <msi.h>

FARPROC GetSystemProcedure(const char *library, const char *procedure)
{
    HMODULE module = LoadLibraryExA(library, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == NULL && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Systems without the search flags reject it: name the system directory outright.
        char path[MAX_PATH];
        UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH || !AppendText(path, MAX_PATH, "\\", 1) ||
            !AppendText(path, MAX_PATH, library, MAX_PATH))
            return NULL;
        module = LoadLibraryExA(path, NULL, 0);
    }
    return module != NULL ? GetProcAddress(module, procedure) : NULL;
}

typedef decltype(&MsiQueryProductStateA) QueryProductStateFn;
typedef decltype(&MsiGetProductInfoA) GetProductInfoFn;

int QueryProduct(char *code, char *version, DWORD size)
{
    QueryProductStateFn queryState =
        (QueryProductStateFn)(void *)GetSystemProcedure("msi.dll", "MsiQueryProductStateA");
    GetProductInfoFn getInfo =
        (GetProductInfoFn)(void *)GetSystemProcedure("msi.dll", "MsiGetProductInfoA");
    if (queryState == NULL || getInfo == NULL)
        return -1;
    UpperCaseAscii(code);
    if (queryState(code) != INSTALLSTATE_DEFAULT)
        return 0;
    if (version != NULL && getInfo(code, "VersionString", version, &size) != ERROR_SUCCESS)
        version[0] = '\0';
    return 1;
}

// VS_VERSIONINFO: a header of three words, its key "VS_VERSION_INFO" in UTF-16 with its zero,
// padding to four bytes, then the fixed information.
#define FIXED_INFO_OFFSET 40

int QueryFileVersion(const char *path, DWORD *parts)
{
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL)
        return -1;
    int read = 0;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL data = resource != NULL ? LoadResource(module, resource) : NULL;
    const BYTE *bytes = data != NULL ? (const BYTE *)LockResource(data) : NULL;
    VS_FIXEDFILEINFO info;
    if (bytes != NULL && SizeofResource(module, resource) >= FIXED_INFO_OFFSET + sizeof(info)) {
        memcpy(&info, bytes + FIXED_INFO_OFFSET, sizeof(info));
        if (info.dwSignature == VS_FFI_SIGNATURE) {
            parts[0] = HIWORD(info.dwFileVersionMS);
            parts[1] = LOWORD(info.dwFileVersionMS);
            parts[2] = HIWORD(info.dwFileVersionLS);
            parts[3] = LOWORD(info.dwFileVersionLS);
            read = 1;
        }
    }
    FreeLibrary(module);
    return read;
}

// The views by their flags, never by the Wow6432Node name: reg: is the machine's own view, which
// on 32-bit Windows ignores the flag.
LONG QueryRegistry(const DetectRule *rule, DWORD *type, BYTE *data, DWORD *size)
{
    HKEY key;
    REGSAM view = rule->kind == DETECT_REG32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    LONG error = RegOpenKeyExA(rule->root, rule->subject, 0, KEY_QUERY_VALUE | view, &key);
    if (error != ERROR_SUCCESS)
        return error;
    if (rule->hasValue)
        error = RegQueryValueExA(key, rule->valueName, NULL, type, data, size);
    RegCloseKey(key);
    return error;
}
