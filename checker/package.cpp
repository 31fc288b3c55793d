// A Windows Installer package's identity, read from its Property table by the Windows Installer
// itself (msi.dll from the system folder, never one on the medium): the checker has no reader of
// its own for the database format.

#include "check.h"

#include <msi.h>
#include <msiquery.h>

typedef decltype(&MsiOpenDatabaseA) OpenDatabaseFn;
typedef decltype(&MsiDatabaseOpenViewA) OpenViewFn;
typedef decltype(&MsiViewExecute) ExecuteFn;
typedef decltype(&MsiViewFetch) FetchFn;
typedef decltype(&MsiRecordGetStringA) GetStringFn;
typedef decltype(&MsiCloseHandle) CloseFn;

static const char *const PropertyNames[PACKAGE_PROPERTIES] = {"ProductName", "ProductVersion",
                                                              "ProductCode", "UpgradeCode"};

// A value that does not fit is no value: the read fails and says which.
static UINT ReadRow(GetStringFn getString, MSIHANDLE record, PackageIdentity *identity, char *why,
                    size_t capacity)
{
    char name[PACKAGE_VALUE_SIZE];
    DWORD size = sizeof(name);
    UINT status = getString(record, 1, name, &size);
    if (status == ERROR_MORE_DATA)
        return ERROR_SUCCESS; // a property this read does not look for: no name is that long
    if (status != ERROR_SUCCESS)
        return status;
    for (int i = 0; i < PACKAGE_PROPERTIES; i++) {
        if (strcmp(name, PropertyNames[i]) != 0)
            continue;
        size = PACKAGE_VALUE_SIZE;
        status = getString(record, 2, identity->values[i], &size);
        if (status == ERROR_MORE_DATA)
            snprintf(why, capacity, "its %s is longer than %d characters", name,
                     PACKAGE_VALUE_SIZE - 1);
        return status;
    }
    return ERROR_SUCCESS;
}

BOOL ReadPackageIdentity(const char *path, PackageIdentity *identity, char *why, size_t capacity)
{
    OpenDatabaseFn openDatabase =
        (OpenDatabaseFn)(void *)GetSystemProcedure("msi.dll", "MsiOpenDatabaseA");
    OpenViewFn openView = (OpenViewFn)(void *)GetSystemProcedure("msi.dll", "MsiDatabaseOpenViewA");
    ExecuteFn execute = (ExecuteFn)(void *)GetSystemProcedure("msi.dll", "MsiViewExecute");
    FetchFn fetch = (FetchFn)(void *)GetSystemProcedure("msi.dll", "MsiViewFetch");
    GetStringFn getString =
        (GetStringFn)(void *)GetSystemProcedure("msi.dll", "MsiRecordGetStringA");
    CloseFn closeHandle = (CloseFn)(void *)GetSystemProcedure("msi.dll", "MsiCloseHandle");
    memset(identity, 0, sizeof(*identity));
    why[0] = '\0';
    if (openDatabase == NULL || openView == NULL || execute == NULL || fetch == NULL ||
        getString == NULL || closeHandle == NULL) {
        snprintf(why, capacity, "the Windows Installer (msi.dll) cannot be loaded");
        return FALSE;
    }
    MSIHANDLE database = 0, view = 0, record = 0;
    UINT status = openDatabase(path, MSIDBOPEN_READONLY, &database);
    if (status == ERROR_SUCCESS)
        status = openView(database, "SELECT `Property`, `Value` FROM `Property`", &view);
    if (status == ERROR_SUCCESS)
        status = execute(view, 0);
    while (status == ERROR_SUCCESS && (status = fetch(view, &record)) == ERROR_SUCCESS) {
        status = ReadRow(getString, record, identity, why, capacity);
        closeHandle(record);
    }
    closeHandle(view);
    closeHandle(database);
    if (status == ERROR_NO_MORE_ITEMS)
        return TRUE;
    if (why[0] == '\0')
        snprintf(why, capacity, "the Windows Installer cannot read it (error %u)", status);
    return FALSE;
}

BOOL FormatDetectRule(const PackageIdentity *identity, char *rule, size_t capacity)
{
    const char *code = identity->values[PACKAGE_CODE];
    const char *version = identity->values[PACKAGE_VERSION];
    if (code[0] == '\0')
        return FALSE;
    int length =
        snprintf(rule, capacity, "msi:%s%s%s", code, version[0] != '\0' ? ">=" : "", version);
    return length > 0 && (size_t)length < capacity;
}
