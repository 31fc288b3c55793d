// Simulated machine: devices, driver installation, the loader, the process token and restart.
#include "internal.h"

#include <cfgmgr32.h>
#include <msi.h>
#include <msiquery.h>
#include <newdev.h>
#include <setupapi.h>

#include <cstdlib>
#include <cstring>

namespace sim
{
namespace
{

const DWORD kRootDevInst = 1;
const DWORD kFirstDevInst = 100;
const LONG kShutdownPrivilege = 19;
const DWORD kErrorNoSuchDevinst = 0xE000020B;
const DWORD kErrorInvalidUserBuffer = 1784;
const DWORD kErrorNoSuchPrivilege = 1313;
const DWORD kErrorMessageNotFound = 317;

std::vector<Device> devices; // DevInst = kFirstDevInst + index
std::vector<bool> removed;
std::map<uintptr_t, std::vector<DWORD>> deviceLists;
uintptr_t nextDeviceList = 1;
bool deviceListsFail = false;
bool rootLocateFails = false;
CONFIGRET rescanResult = CR_SUCCESS;
int rescans = 0;
BOOL driverResult = TRUE;
BOOL driverNeedsReboot = FALSE;
std::vector<DriverInstall> driverInstalls;

std::vector<std::string> failingLibraries;
std::vector<LibraryLoad> libraryLoads;
bool searchRestricted = false;
bool wow64 = false;
DWORD windowsVersion[3] = {10, 0, 19045};

DWORD tokenOpenError = 0;
bool tokenHoldsShutdown = true;
bool shutdownEnabled = false;
DWORD exitWindowsError = 0;
std::vector<RestartRequest> restartRequests;
int allocations = 0;

std::map<std::string, std::string> fileVersions; // by lower-case full path: the resource's bytes
// Files loaded as data, by module handle: the bytes of their version resource, empty for none.
std::map<uintptr_t, std::string> dataModules;

Device *DeviceOf(DWORD devInst)
{
    if (devInst < kFirstDevInst || devInst - kFirstDevInst >= devices.size())
        return nullptr;
    return &devices[devInst - kFirstDevInst];
}

std::string PropertyBytes(const Device &device, DWORD property)
{
    std::string bytes;
    if (property == SPDRP_HARDWAREID) {
        for (const std::string &id : device.hardwareIds)
            bytes += id + '\0';
        if (!bytes.empty())
            bytes += '\0';
        if (device.paddedHardwareIdSize > bytes.size())
            bytes.resize(device.paddedHardwareIdSize, '\0');
    } else if (property == SPDRP_DEVICEDESC && !device.description.empty()) {
        bytes = device.description + '\0';
    }
    return bytes;
}

const uintptr_t kKernel32 = 0x7c800000;
const uintptr_t kNtdll = 0x7c900000;
const uintptr_t kNewdev = 0x6e000000;
const uintptr_t kCfgmgr32 = 0x6c000000;
const uintptr_t kMsi = 0x6a000000;

// A VS_VERSIONINFO as a resource compiler lays it out: the header, its key in UTF-16 with the
// terminating zero, padding to 4 bytes, then the fixed file information; no children.
std::string VersionResource(WORD major, WORD minor, WORD build, WORD revision)
{
    std::string bytes;
    auto word = [&bytes](DWORD value) {
        bytes += (char)(value & 0xFF);
        bytes += (char)((value >> 8) & 0xFF);
    };
    word(0); // the length, once known
    word(sizeof(VS_FIXEDFILEINFO));
    word(0); // binary
    for (const char *c = "VS_VERSION_INFO";; c++) {
        word((BYTE)*c);
        if (*c == '\0')
            break;
    }
    while (bytes.size() % 4 != 0)
        bytes += '\0';
    DWORD versionMs = (DWORD)major << 16 | minor, versionLs = (DWORD)build << 16 | revision;
    const DWORD fixed[13] = {VS_FFI_SIGNATURE, 0x00010000, versionMs,
                             versionLs,        versionMs,  versionLs};
    for (DWORD value : fixed) {
        word(value & 0xFFFF);
        word(value >> 16);
    }
    bytes[0] = (char)(bytes.size() & 0xFF);
    bytes[1] = (char)(bytes.size() >> 8);
    return bytes;
}

// A resource named by number, directly or written "#16"; 0 for one named by text.
WORD ResourceNumber(LPCSTR name)
{
    if ((uintptr_t)name >> 16 == 0)
        return (WORD)(uintptr_t)name;
    return name[0] == '#' ? (WORD)atoi(name + 1) : 0;
}

} // namespace

int AddDevice(const Device &device)
{
    devices.push_back(device);
    removed.push_back(false);
    return (int)(kFirstDevInst + devices.size() - 1);
}

const std::vector<DriverInstall> &DriverInstalls()
{
    return driverInstalls;
}

std::vector<int> RemovedDevices()
{
    std::vector<int> result;
    for (size_t i = 0; i < removed.size(); i++) {
        if (removed[i])
            result.push_back((int)(kFirstDevInst + i));
    }
    return result;
}

int RescanCount()
{
    return rescans;
}

void ScriptDriverInstall(BOOL result, BOOL needsReboot)
{
    driverResult = result;
    driverNeedsReboot = needsReboot;
}

void ScriptRescanResult(CONFIGRET result)
{
    rescanResult = result;
}

void FailDeviceLists(bool fail)
{
    deviceListsFail = fail;
}

void FailRootLocate(bool fail)
{
    rootLocateFails = fail;
}

void FailLibrary(const std::string &name)
{
    failingLibraries.push_back(LowerAscii(name));
}

const std::vector<LibraryLoad> &LibraryLoads()
{
    return libraryLoads;
}

bool DllSearchRestricted()
{
    return searchRestricted;
}

void SetWow64(bool isWow64)
{
    wow64 = isWow64;
}

void SetWindowsVersion(DWORD major, DWORD minor, DWORD build)
{
    windowsVersion[0] = major;
    windowsVersion[1] = minor;
    windowsVersion[2] = build;
}

void FailTokenOpen(DWORD error)
{
    tokenOpenError = error;
}

void TokenLacksShutdownPrivilege()
{
    tokenHoldsShutdown = false;
}

void FailExitWindows(DWORD error)
{
    exitWindowsError = error;
}

const std::vector<RestartRequest> &RestartRequests()
{
    return restartRequests;
}

int OpenAllocationCount()
{
    return allocations;
}

void SetFileVersion(const std::string &windowsPath, WORD major, WORD minor, WORD build,
                    WORD revision)
{
    std::string full;
    if (!ResolvePath(windowsPath, &full))
        abort();
    fileVersions[LowerAscii(full)] = VersionResource(major, minor, build, revision);
}

} // namespace sim

using namespace sim;

// --- SetupAPI ----------------------------------------------------------------------------------
HDEVINFO WINAPI SetupDiGetClassDevsA(LPCGUID, PCSTR, HWND, DWORD flags)
{
    if (deviceListsFail) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<DWORD> list;
    for (size_t i = 0; i < devices.size(); i++) {
        if (!removed[i] && (devices[i].present || (flags & DIGCF_PRESENT) == 0))
            list.push_back((DWORD)(kFirstDevInst + i));
    }
    uintptr_t id = nextDeviceList++;
    deviceLists[id] = list;
    return OpenHandle(HANDLE_DEVICE_LIST, id);
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data)
{
    uintptr_t id;
    if (!LookupHandle(set, HANDLE_DEVICE_LIST, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(kErrorInvalidUserBuffer);
        return FALSE;
    }
    const std::vector<DWORD> &list = deviceLists[id];
    if (index >= list.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    memset(&data->ClassGuid, 0, sizeof(data->ClassGuid));
    data->DevInst = list[index];
    data->Reserved = 0;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                              PDWORD dataType, PBYTE buffer, DWORD size,
                                              PDWORD requiredSize)
{
    uintptr_t id;
    Device *device = DeviceOf(data->DevInst);
    if (!LookupHandle(set, HANDLE_DEVICE_LIST, &id) || device == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD error = property == SPDRP_HARDWAREID ? device->hardwareIdError : device->descriptionError;
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    std::string bytes = PropertyBytes(*device, property);
    if (bytes.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    if (dataType != nullptr)
        *dataType = property == SPDRP_HARDWAREID ? 7 /* REG_MULTI_SZ */ : 1 /* REG_SZ */;
    if (requiredSize != nullptr)
        *requiredSize = (DWORD)bytes.size();
    if (bytes.size() > size || buffer == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, bytes.data(), bytes.size());
    return TRUE;
}

BOOL WINAPI SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA data)
{
    uintptr_t id;
    if (!LookupHandle(set, HANDLE_DEVICE_LIST, &id) || DeviceOf(data->DevInst) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    removed[data->DevInst - kFirstDevInst] = true;
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    uintptr_t id;
    if (!LookupHandle(set, HANDLE_DEVICE_LIST, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    deviceLists.erase(id);
    CloseSimHandle(set);
    return TRUE;
}

// --- CfgMgr32 and newdev, reached only through the loader -------------------------------------
CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST devInst, ULONG)
{
    Device *device = DeviceOf(devInst);
    if (device == nullptr || removed[devInst - kFirstDevInst] || !device->present)
        return CR_NO_SUCH_DEVNODE;
    *status = 0x0180200A; // DN_DRIVER_LOADED | DN_STARTED | ...
    *problem = 0;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Locate_DevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG)
{
    if (rootLocateFails || deviceId != nullptr)
        return CR_NO_SUCH_DEVNODE;
    *devInst = kRootDevInst;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST devInst, ULONG)
{
    if (devInst != kRootDevInst)
        return CR_INVALID_DEVNODE;
    rescans++;
    return rescanResult;
}

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND owner, LPCSTR hardwareId, LPCSTR infPath,
                                               DWORD installFlags, PBOOL rebootRequired)
{
    driverInstalls.push_back({Now(), hardwareId, infPath, installFlags, owner});
    bool listed = false;
    for (size_t i = 0; i < devices.size(); i++) {
        for (const std::string &id : devices[i].hardwareIds) {
            if (!removed[i] && devices[i].present && LowerAscii(id) == LowerAscii(hardwareId))
                listed = true;
        }
    }
    if (!listed) {
        SetLastError(kErrorNoSuchDevinst);
        return FALSE;
    }
    if (!FileExistsAt(infPath)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (!driverResult) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (rebootRequired != nullptr)
        *rebootRequired = driverNeedsReboot;
    return TRUE;
}

// --- ntdll, reached only through the loader ---------------------------------------------------
// The system's own numbers, whatever the program's manifest names. Takes OSVERSIONINFOW or the
// longer OSVERSIONINFOEXW (284 bytes), whose extra fields are not simulated.
static LONG WINAPI RtlGetVersion(PRTL_OSVERSIONINFOW info)
{
    const LONG kStatusInvalidParameter = (LONG)0xC000000D;
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) && info->dwOSVersionInfoSize != 284)
        return kStatusInvalidParameter;
    info->dwMajorVersion = windowsVersion[0];
    info->dwMinorVersion = windowsVersion[1];
    info->dwBuildNumber = windowsVersion[2];
    info->dwPlatformId = 2; // VER_PLATFORM_WIN32_NT
    info->szCSDVersion[0] = 0;
    return 0;
}

// --- The loader --------------------------------------------------------------------------------
HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    if (name != nullptr && (LowerAscii(name) == "kernel32" || LowerAscii(name) == "kernel32.dll"))
        return (HMODULE)kKernel32;
    if (name != nullptr && (LowerAscii(name) == "ntdll" || LowerAscii(name) == "ntdll.dll"))
        return (HMODULE)kNtdll;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return NULL;
}

// As Windows maps a file for its resources: a file that is there, not empty, and an executable
// image, which here is a file that begins with "MZ". Its version resource is what it had then.
static HMODULE LoadDataFile(const char *name)
{
    std::string full, contents;
    bool named = ResolvePath(name, &full);
    size_t slash = named ? full.rfind('\\') : 0;
    DWORD error = 0;
    if (!named || !IsDirectoryAt(full.substr(0, slash < 3 ? 3 : slash)))
        error = ERROR_PATH_NOT_FOUND;
    else if (IsDirectoryAt(full))
        error = ERROR_ACCESS_DENIED;
    else if (!FileExistsAt(full))
        error = ERROR_FILE_NOT_FOUND;
    else if ((contents = ReadFileAt(full)).empty())
        error = ERROR_FILE_INVALID;
    else if (contents.compare(0, 2, "MZ") != 0)
        error = ERROR_BAD_EXE_FORMAT;
    if (error != 0) {
        SetLastError(error);
        return NULL;
    }
    HMODULE module = (HMODULE)OpenHandle(HANDLE_MODULE, 0);
    auto version = fileVersions.find(LowerAscii(full));
    dataModules[(uintptr_t)module] = version != fileVersions.end() ? version->second : "";
    return module;
}

HMODULE WINAPI LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags)
{
    libraryLoads.push_back({name, flags});
    std::string file = LowerAscii(name);
    file = file.substr(
        file.find_last_of("\\/") == std::string::npos ? 0 : file.find_last_of("\\/") + 1);
    for (const std::string &failing : failingLibraries) {
        if (failing == file) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return NULL;
        }
    }
    if (flags & LOAD_LIBRARY_AS_DATAFILE)
        return LoadDataFile(name);
    if (file == "newdev.dll")
        return (HMODULE)kNewdev;
    if (file == "msi.dll")
        return (HMODULE)kMsi;
    if (file == "cfgmgr32.dll")
        return (HMODULE)kCfgmgr32;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return NULL;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    std::string procedure = name;
    uintptr_t m = (uintptr_t)module;
    FARPROC found = nullptr;
    // Exports the kernel or ntdll lacks are named before the process starts, as static
    // initialisation looks them up before any test code runs.
    const char *missing = getenv("WINSIM_MISSING_EXPORTS");
    if ((m == kKernel32 || m == kNtdll) && missing != nullptr && strstr(missing, name) != nullptr)
        found = nullptr;
    else if (m == kNtdll && procedure == "RtlGetVersion")
        found = (FARPROC)(void *)RtlGetVersion;
    else if (m == kKernel32 && procedure == "IsWow64Process")
        found = (FARPROC)(void *)IsWow64Process;
    else if (m == kKernel32 && procedure == "SetDefaultDllDirectories")
        found = (FARPROC)(void *)SetDefaultDllDirectories;
    else if (m == kKernel32 && procedure == "SetSearchPathMode")
        found = (FARPROC)(void *)SetSearchPathMode;
    else if (m == kNewdev && procedure == "UpdateDriverForPlugAndPlayDevicesA")
        found = (FARPROC)(void *)UpdateDriverForPlugAndPlayDevicesA;
    else if (m == kCfgmgr32 && procedure == "CM_Get_DevNode_Status")
        found = (FARPROC)(void *)CM_Get_DevNode_Status;
    else if (m == kCfgmgr32 && procedure == "CM_Locate_DevNodeA")
        found = (FARPROC)(void *)CM_Locate_DevNodeA;
    else if (m == kCfgmgr32 && procedure == "CM_Reenumerate_DevNode")
        found = (FARPROC)(void *)CM_Reenumerate_DevNode;
    else if (m == kMsi && procedure == "MsiQueryProductStateA")
        found = (FARPROC)(void *)MsiQueryProductStateA;
    else if (m == kMsi && procedure == "MsiGetProductInfoA")
        found = (FARPROC)(void *)MsiGetProductInfoA;
    else if (m == kMsi && procedure == "MsiOpenDatabaseA")
        found = (FARPROC)(void *)MsiOpenDatabaseA;
    else if (m == kMsi && procedure == "MsiDatabaseOpenViewA")
        found = (FARPROC)(void *)MsiDatabaseOpenViewA;
    else if (m == kMsi && procedure == "MsiViewExecute")
        found = (FARPROC)(void *)MsiViewExecute;
    else if (m == kMsi && procedure == "MsiViewFetch")
        found = (FARPROC)(void *)MsiViewFetch;
    else if (m == kMsi && procedure == "MsiRecordGetStringA")
        found = (FARPROC)(void *)MsiRecordGetStringA;
    else if (m == kMsi && procedure == "MsiCloseHandle")
        found = (FARPROC)(void *)MsiCloseHandle;
    if (found == nullptr)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return found;
}

// The system's libraries stay loaded, as they do for a program that has them loaded elsewhere.
BOOL WINAPI FreeLibrary(HMODULE module)
{
    uintptr_t m = (uintptr_t)module;
    if (dataModules.erase(m) == 1)
        return CloseSimHandle((HANDLE)module);
    if (m == kKernel32 || m == kNtdll || m == kNewdev || m == kCfgmgr32 || m == kMsi)
        return TRUE;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

// Only files loaded as data have resources here: the launcher's own (module NULL) are not
// simulated. The version resource is the one resource such a file has.
HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type)
{
    auto found = dataModules.find((uintptr_t)module);
    if (module != NULL && found == dataModules.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    if (module == NULL || found->second.empty() || ResourceNumber(type) != 16) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return NULL;
    }
    if (ResourceNumber(name) != VS_VERSION_INFO) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NULL;
    }
    return (HRSRC)(void *)&found->second;
}

// The resource's bytes stay where they are until the module is freed.
static std::string *ResourceOf(HMODULE module, HRSRC resource)
{
    auto found = dataModules.find((uintptr_t)module);
    if (found == dataModules.end() || resource != (HRSRC)(void *)&found->second) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &found->second;
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource)
{
    std::string *bytes = ResourceOf(module, resource);
    return bytes != nullptr ? (HGLOBAL) & (*bytes)[0] : NULL;
}

LPVOID WINAPI LockResource(HGLOBAL data)
{
    return data;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource)
{
    std::string *bytes = ResourceOf(module, resource);
    return bytes != nullptr ? (DWORD)bytes->size() : 0;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR path)
{
    searchRestricted = searchRestricted || (path != nullptr && path[0] == '\0');
    return TRUE;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD flags)
{
    searchRestricted = (flags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;
    return TRUE;
}

BOOL WINAPI SetSearchPathMode(DWORD)
{
    return TRUE;
}

BOOL WINAPI IsWow64Process(HANDLE, PBOOL result)
{
    *result = wow64 ? TRUE : FALSE;
    return TRUE;
}

// --- Token, privileges, restart ----------------------------------------------------------------
BOOL WINAPI OpenProcessToken(HANDLE, DWORD access, PHANDLE token)
{
    if (tokenOpenError != 0) {
        SetLastError(tokenOpenError);
        return FALSE;
    }
    *token = OpenHandle(HANDLE_TOKEN, access);
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR name, PLUID luid)
{
    if (LowerAscii(name) != "seshutdownprivilege") {
        SetLastError(kErrorNoSuchPrivilege);
        return FALSE;
    }
    luid->LowPart = kShutdownPrivilege;
    luid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD,
                                  PTOKEN_PRIVILEGES, PDWORD)
{
    uintptr_t access;
    if (!LookupHandle(token, HANDLE_TOKEN, &access)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((access & TOKEN_ADJUST_PRIVILEGES) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    bool assignedAll = true;
    for (DWORD i = 0; !disableAll && i < newState->PrivilegeCount; i++) {
        bool shutdown = newState->Privileges[i].Luid.LowPart == (DWORD)kShutdownPrivilege &&
                        newState->Privileges[i].Luid.HighPart == 0;
        if (!shutdown || !tokenHoldsShutdown)
            assignedAll = false;
        else
            shutdownEnabled = (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    SetLastError(assignedAll ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason)
{
    if (exitWindowsError != 0) {
        SetLastError(exitWindowsError);
        return FALSE;
    }
    if (!shutdownEnabled) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    restartRequests.push_back({Now(), flags, reason});
    return TRUE;
}

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID, DWORD code, DWORD, LPSTR buffer, DWORD size,
                            void *)
{
    static const struct {
        DWORD code;
        const char *text;
    } messages[] = {
        {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
        {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
        {ERROR_BAD_PATHNAME, "The specified path is invalid.\r\n"},
        {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.\r\n"},
        {ERROR_MORE_DATA, "More data is available.\r\n"},
        {ERROR_FILE_INVALID, "The volume for a file has been externally altered so that the "
                             "opened file is no longer valid.\r\n"},
        {ERROR_UNKNOWN_PRODUCT,
         "This action is only valid for products that are currently installed.\r\n"},
        {ERROR_UNKNOWN_PROPERTY, "Unknown property.\r\n"},
        {ERROR_RESOURCE_TYPE_NOT_FOUND,
         "The specified resource type cannot be found in the image file.\r\n"},
        {ERROR_RESOURCE_NAME_NOT_FOUND,
         "The specified resource name cannot be found in the image file.\r\n"},
        {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used "
                                  "by another process.\r\n"},
        {ERROR_DISK_FULL, "There is not enough space on the disk.\r\n"},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\r\n"},
        {ERROR_NOT_ALL_ASSIGNED,
         "Not all privileges or groups referenced are assigned to the caller.\r\n"},
        {ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client.\r\n"},
        {ERROR_SHUTDOWN_IN_PROGRESS, "A system shutdown is in progress.\r\n"},
    };
    // As Windows does, an allocating call that fails hands back no buffer.
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && buffer != nullptr)
        *(char **)buffer = nullptr;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto &m : messages) {
        if (m.code != code)
            continue;
        size_t length = strlen(m.text);
        if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
            char *text = (char *)malloc(length + 1);
            memcpy(text, m.text, length + 1);
            *(char **)buffer = text;
            allocations++;
        } else {
            if (length + 1 > size) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            memcpy(buffer, m.text, length + 1);
        }
        return (DWORD)length;
    }
    SetLastError(kErrorMessageNotFound);
    return 0;
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    if (memory != nullptr) {
        free(memory);
        allocations--;
    }
    return NULL;
}
