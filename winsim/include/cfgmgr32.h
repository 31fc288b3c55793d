// Host stand-in for <cfgmgr32.h>: the configuration manager calls the launcher makes.
#pragma once
#include <windows.h>

typedef DWORD DEVINST, *PDEVINST;
typedef DWORD CONFIGRET;
typedef CHAR *DEVINSTID_A;

#define CR_SUCCESS 0x00000000
#define CR_FAILURE 0x00000013
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_INVALID_DEVNODE 0x00000005
#define CR_ACCESS_DENIED 0x00000033
#define CM_LOCATE_DEVNODE_NORMAL 0x00000000

CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST devInst, ULONG flags);
CONFIGRET WINAPI CM_Locate_DevNodeA(PDEVINST devInst, DEVINSTID_A deviceId, ULONG flags);
CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags);
