// Host stand-in for the part of <windows.h> the launcher uses: Win32's sizes and constant values.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define CONST const
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned int DWORD;
typedef unsigned int UINT;
typedef int INT;
typedef int LONG;
typedef unsigned int ULONG;
typedef unsigned long long ULONGLONG;
typedef char CHAR;
typedef char16_t WCHAR; // UTF-16, two bytes, as on Windows
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef void *PVOID, *LPVOID, *HANDLE;
typedef const void *LPCVOID;
typedef char *LPSTR, *PSTR;
typedef const char *LPCSTR, *PCSTR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef DWORD *LPDWORD, *PDWORD;
typedef ULONG *PULONG;
typedef BOOL *PBOOL;
typedef BYTE *PBYTE, *LPBYTE;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef DWORD LCID;
typedef HANDLE *PHANDLE;
typedef INT_PTR(WINAPI *FARPROC)();

#define DECLARE_HANDLE(name)                                                                       \
    struct name##__ {                                                                              \
        int unused;                                                                                \
    };                                                                                             \
    typedef struct name##__ *name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HACCEL);
DECLARE_HANDLE(HKEY);
DECLARE_HANDLE(HRSRC);
typedef HINSTANCE HMODULE;
typedef HANDLE HGLOBAL;
typedef HKEY *PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef HICON HCURSOR;
typedef HANDLE HLOCAL;

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define LANG_NEUTRAL 0x00
#define LANG_KOREAN 0x12
#define SUBLANG_DEFAULT 0x01

// Errors
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_BAD_NETPATH 53L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_FILE_INVALID 1006L
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_SHUTDOWN_IN_PROGRESS 1115L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// Files
#define OFS_MAXPATHNAME 128
typedef struct _OFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT, *LPOFSTRUCT;
typedef int HFILE;
#define HFILE_ERROR ((HFILE)-1)
#define OF_EXIST 0x00004000
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define GENERIC_ALL 0x10000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_READ 0x80000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED; // never passed: synchronous writes only

// Time and system
typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;
typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW, RTL_OSVERSIONINFOW, *PRTL_OSVERSIONINFOW;

// Processes and modules
#define STILL_ACTIVE 259
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000
#define WAIT_TIMEOUT 0x00000102
#define WAIT_FAILED 0xFFFFFFFF
#define WAIT_ABANDONED 0x00000080
#define STARTF_USESTDHANDLES 0x00000100
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)
#define HANDLE_FLAG_INHERIT 0x00000001
typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved, lpDesktop, lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow, cbReserved2;
    BYTE *lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;
typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess, hThread;
    DWORD dwProcessId, dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;
#define PROCESS_TERMINATE 0x0001
#define PROCESS_QUERY_INFORMATION 0x0400
#define TOKEN_QUERY 0x0008
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define SE_PRIVILEGE_ENABLED 0x00000002L
#define SE_SHUTDOWN_NAME "SeShutdownPrivilege"
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define RT_VERSION MAKEINTRESOURCEA(16)
#define VS_VERSION_INFO 1
#define VS_FFI_SIGNATURE 0xFEEF04BDL
typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;
// Registry: the two predefined roots the launcher reads, and the views of a 64-bit system.
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define KEY_QUERY_VALUE 0x0001
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE 0x00000001
#define BASE_SEARCH_PATH_PERMANENT 0x00008000

typedef struct _LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID, *PLUID;
typedef struct _LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;
typedef struct _TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

// Messages and windows
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUERYENDSESSION 0x0011
#define WM_QUIT 0x0012
#define WM_ENDSESSION 0x0016
#define WM_KEYDOWN 0x0100
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define SC_CLOSE 0xF060
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_VISIBLE 0x10000000L
#define CW_USEDEFAULT ((int)0x80000000)
#define COLOR_WINDOW 5
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWDEFAULT 10

#define MB_OK 0x00000000L
#define MB_YESNO 0x00000004L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_TOPMOST 0x00040000L

#define EWX_REBOOT 0x00000002
#define EWX_FORCE 0x00000004

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK *DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK *TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;
typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;
typedef struct tagWNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXA;

// kernel32
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
HMODULE WINAPI LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags);
BOOL WINAPI FreeLibrary(HMODULE module);
HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
LPVOID WINAPI LockResource(HGLOBAL data);
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size);
LSTATUS WINAPI RegCloseKey(HKEY key);
BOOL WINAPI SetDllDirectoryA(LPCSTR path);
BOOL WINAPI SetSearchPathMode(DWORD flags);
BOOL WINAPI SetDefaultDllDirectories(DWORD flags);
UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                      DWORD size, LPCSTR fileName);
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);
HFILE WINAPI OpenFile(LPCSTR fileName, LPOFSTRUCT info, UINT style);
DWORD WINAPI GetFileAttributesA(LPCSTR fileName);
typedef struct _FILETIME {
    DWORD dwLowDateTime, dwHighDateTime;
} FILETIME;
typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD nFileSizeHigh, nFileSizeLow, dwReserved0, dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;
HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL WINAPI FindClose(HANDLE find);
BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path);
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define CP_ACP 0
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPVOID overlapped);
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD high);
typedef LONG *PLONG;
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define ERROR_NEGATIVE_SEEK 131L
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD WINAPI GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filePart);
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int count, LPWSTR wide,
                               int size);
DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer);
LCID WINAPI GetSystemDefaultLCID(void);
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD code, DWORD language, LPSTR buffer,
                            DWORD size, void *arguments);
HLOCAL WINAPI LocalFree(HLOCAL memory);
HANDLE WINAPI GetCurrentProcess(void);
DWORD WINAPI GetCurrentProcessId(void);
HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD processId);
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
BOOL WINAPI CloseHandle(HANDLE handle);
DWORD WINAPI GetProcessId(HANDLE process);
BOOL WINAPI DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                            HANDLE *target, DWORD access, BOOL inherit, DWORD options);
HANDLE WINAPI OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);
BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                           LPSECURITY_ATTRIBUTES thread, BOOL inheritHandles, DWORD flags,
                           LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                           LPPROCESS_INFORMATION information);
HANDLE WINAPI GetStdHandle(DWORD which);
BOOL WINAPI SetHandleInformation(HANDLE handle, DWORD mask, DWORD flags);
HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE templateFile);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                      LPOVERLAPPED overlapped);
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
void WINAPI GetLocalTime(LPSYSTEMTIME time);
DWORD WINAPI GetTickCount(void);
UINT WINAPI GetACP(void);
BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64);
// Job objects: only what the launcher's watch of its run asks for.
#define SYNCHRONIZE 0x00100000L
#define JOB_OBJECT_LIMIT_BREAKAWAY_OK 0x00000800
#define ERROR_MORE_DATA 234L
typedef enum _JOBOBJECTINFOCLASS {
    JobObjectBasicProcessIdList = 3,
    JobObjectBasicLimitInformation = 2,
    JobObjectExtendedLimitInformation = 9
} JOBOBJECTINFOCLASS;
typedef struct _JOBOBJECT_BASIC_LIMIT_INFORMATION {
    long long PerProcessUserTimeLimit, PerJobUserTimeLimit;
    DWORD LimitFlags;
    SIZE_T MinimumWorkingSetSize, MaximumWorkingSetSize;
    DWORD ActiveProcessLimit;
    ULONG_PTR Affinity;
    DWORD PriorityClass, SchedulingClass;
} JOBOBJECT_BASIC_LIMIT_INFORMATION;
typedef struct _IO_COUNTERS {
    unsigned long long ReadOperationCount, WriteOperationCount, OtherOperationCount;
    unsigned long long ReadTransferCount, WriteTransferCount, OtherTransferCount;
} IO_COUNTERS;
typedef struct _JOBOBJECT_EXTENDED_LIMIT_INFORMATION {
    JOBOBJECT_BASIC_LIMIT_INFORMATION BasicLimitInformation;
    IO_COUNTERS IoInfo;
    SIZE_T ProcessMemoryLimit, JobMemoryLimit, PeakProcessMemoryUsed, PeakJobMemoryUsed;
} JOBOBJECT_EXTENDED_LIMIT_INFORMATION;
typedef struct _JOBOBJECT_BASIC_PROCESS_ID_LIST {
    DWORD NumberOfAssignedProcesses;
    DWORD NumberOfProcessIdsInList;
    ULONG_PTR ProcessIdList[1];
} JOBOBJECT_BASIC_PROCESS_ID_LIST;
HANDLE WINAPI CreateJobObjectA(LPSECURITY_ATTRIBUTES security, LPCSTR name);
BOOL WINAPI SetInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS infoClass, LPVOID info,
                                    DWORD length);
BOOL WINAPI AssignProcessToJobObject(HANDLE job, HANDLE process);
BOOL WINAPI QueryInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS infoClass, LPVOID info,
                                      DWORD length, LPDWORD returnLength);

// advapi32
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                  DWORD length, PTOKEN_PRIVILEGES previous, PDWORD returnLength);

// user32
int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *windowClass);
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI ShowWindow(HWND window, int command);
BOOL WINAPI UpdateWindow(HWND window);
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);
HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);
int WINAPI TranslateAcceleratorA(HWND window, HACCEL table, LPMSG message);
BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT first, UINT last);
BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove);
BOOL WINAPI TranslateMessage(const MSG *message);
LRESULT WINAPI DispatchMessageA(const MSG *message);
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int exitCode);
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback);
BOOL WINAPI KillTimer(HWND window, UINT_PTR id);
INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
LPSTR WINAPI CharUpperA(LPSTR text);
BOOL WINAPI IsDBCSLeadByte(BYTE byte);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);
BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason);

// The program's entry point, called by the simulated process start.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
