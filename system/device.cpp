// Device operations: find, remove and rescan devices and install drivers through SetupAPI.

#include "stagerun.h"

#include <cfgmgr32.h>
#include <newdev.h>
#include <setupapi.h>

typedef decltype(&CM_Get_DevNode_Status) GetDevNodeStatusFn;
typedef decltype(&CM_Locate_DevNodeA) LocateDevNodeFn;
typedef decltype(&CM_Reenumerate_DevNode) ReenumerateDevNodeFn;
typedef decltype(&UpdateDriverForPlugAndPlayDevicesA) UpdateDriverFn;

enum DeviceWalk { WALK_FIND, WALK_REMOVE, WALK_LOCATE, WALK_DESCRIPTION };

// The property buffer keeps one zero byte past what the platform may fill, so that the first
// string of a property that fills all of it still ends inside the buffer.
static BYTE PropertyBuffer[HARDWARE_ID_SIZE + 1];

static BOOL IsDevicePresent(DEVINST device)
{
    GetDevNodeStatusFn getStatus =
        (GetDevNodeStatusFn)(void *)GetSystemProcedure("cfgmgr32.dll", "CM_Get_DevNode_Status");
    ULONG status = 0;
    ULONG problem = 0;
    return getStatus == NULL || getStatus(&status, &problem, device, 0) != CR_NO_SUCH_DEVNODE;
}

// Always Korean: the wide box shows it right whatever the system's code page. A silent run logs
// the last error, ERROR_INSUFFICIENT_BUFFER, instead.
static void ShowBufferTooSmall(void)
{
    if (MayShowBox("Error"))
        MessageBoxW(NULL, (LPCWSTR)u"버퍼가 부족합니다.", (LPCWSTR)u"오류", MB_OK);
}

static BOOL ReadProperty(HDEVINFO devices, SP_DEVINFO_DATA *device, DWORD property,
                         DWORD *reportedSize)
{
    for (size_t i = 0; i < sizeof(PropertyBuffer); i++)
        PropertyBuffer[i] = 0;
    *reportedSize = 0;
    BOOL read = SetupDiGetDeviceRegistryPropertyA(devices, device, property, NULL, PropertyBuffer,
                                                  HARDWARE_ID_SIZE, reportedSize);
    if (*reportedSize > HARDWARE_ID_SIZE)
        *reportedSize = HARDWARE_ID_SIZE;
    if (read && strlen((char *)PropertyBuffer) >= HARDWARE_ID_SIZE) {
        // A first string without its zero inside the buffer is as good as one that did not fit.
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return read;
}

// The property's first string equals the text, case aside: text and its zero within the size.
static BOOL IsFirstStringEqual(char *text, DWORD reportedSize)
{
    CharUpperA(text);
    CharUpperA((char *)PropertyBuffer);
    size_t length = strlen(text);
    return length + 1 <= reportedSize && memcmp(text, PropertyBuffer, length + 1) == 0;
}

static BOOL IsFirstStringContaining(char *firstText, char *secondText, DEVINST device)
{
    CharUpperA(firstText);
    CharUpperA((char *)PropertyBuffer);
    if (strstr((char *)PropertyBuffer, firstText) == NULL)
        return FALSE;
    CharUpperA(secondText);
    CharUpperA((char *)PropertyBuffer);
    if (strstr((char *)PropertyBuffer, secondText) == NULL)
        return FALSE;
    return IsDevicePresent(device);
}

// One pass over every device of every class, present or not; see the table of the four walks.
static int WalkDevices(DeviceWalk walk, char *text, char *secondText, int byDescription,
                       char *hardwareId)
{
    HDEVINFO devices = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE)
        return 0;
    DWORD property = (walk == WALK_DESCRIPTION || (walk != WALK_FIND && byDescription))
                         ? SPDRP_DEVICEDESC
                         : SPDRP_HARDWAREID;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof(device);
    int result = 0;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); index++) {
        DispatchPendingMessages();
        DWORD reportedSize;
        if (!ReadProperty(devices, &device, property, &reportedSize)) {
            DWORD error = GetLastError();
            if (error == ERROR_INVALID_DATA)
                continue;
            if (error == ERROR_INSUFFICIENT_BUFFER) {
                if (walk != WALK_FIND)
                    ShowBufferTooSmall();
                continue;
            }
            if (walk == WALK_REMOVE)
                continue;
            break;
        }
        if (walk == WALK_FIND) {
            if (!IsFirstStringContaining(text, secondText, device.DevInst))
                continue;
            size_t length = strlen((char *)PropertyBuffer);
            for (size_t i = 0; i < HARDWARE_ID_SIZE && (i <= length || i < reportedSize); i++)
                hardwareId[i] = i <= length ? (char)PropertyBuffer[i] : '\0';
        } else {
            if (!IsFirstStringEqual(text, reportedSize))
                continue;
            if (walk == WALK_REMOVE) {
                SetupDiRemoveDevice(devices, &device);
            } else if (walk == WALK_DESCRIPTION) {
                // A failed read leaves the hardware id empty, which installs nothing.
                hardwareId[0] = '\0';
                if (ReadProperty(devices, &device, SPDRP_HARDWAREID, &reportedSize))
                    CopyText(hardwareId, HARDWARE_ID_SIZE, (char *)PropertyBuffer);
            }
        }
        result = 1;
        break;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return result;
}

int FindDeviceByHardwareId(char *firstText, char *secondText, char *hardwareId)
{
    return WalkDevices(WALK_FIND, firstText, secondText, 0, hardwareId);
}

int RemoveDeviceById(char *description, char *hardwareId, int byDescription)
{
    return WalkDevices(WALK_REMOVE, byDescription ? description : hardwareId, NULL, byDescription,
                       NULL);
}

int LocateDevice(char *hardwareId, char *description, int byDescription)
{
    return WalkDevices(WALK_LOCATE, byDescription ? description : hardwareId, NULL, byDescription,
                       NULL);
}

int GetHardwareIdByDescription(char *hardwareId, char *description)
{
    return WalkDevices(WALK_DESCRIPTION, description, NULL, 1, hardwareId);
}

int InstallDriverForDevice(HWND owner, char *hardwareId, char *description, const char *infPath,
                           DWORD installFlags, int byDescription, BOOL *rebootRequired)
{
    char localId[HARDWARE_ID_SIZE] = {};
    if (!LocateDevice(hardwareId, description, byDescription))
        return 0;
    if (byDescription) {
        // The description may have gone between the two walks: then there is nothing to install.
        if (!GetHardwareIdByDescription(localId, description) || localId[0] == '\0')
            return 0;
    } else if (!CopyText(localId, sizeof(localId), hardwareId)) {
        return 0;
    }
    UpdateDriverFn updateDriver = (UpdateDriverFn)(void *)GetSystemProcedure(
        "newdev.dll", "UpdateDriverForPlugAndPlayDevicesA");
    if (updateDriver == NULL)
        return 0;
    return updateDriver(owner, localId, infPath, installFlags, rebootRequired) ? 1 : 0;
}

int RescanDevices(void)
{
    LocateDevNodeFn locate =
        (LocateDevNodeFn)(void *)GetSystemProcedure("cfgmgr32.dll", "CM_Locate_DevNodeA");
    ReenumerateDevNodeFn reenumerate =
        (ReenumerateDevNodeFn)(void *)GetSystemProcedure("cfgmgr32.dll", "CM_Reenumerate_DevNode");
    DEVINST root;
    if (locate == NULL || reenumerate == NULL ||
        locate(&root, NULL, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
        return 0;
    return reenumerate(root, 0) == CR_SUCCESS ? 1 : 0;
}
