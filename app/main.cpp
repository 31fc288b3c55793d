// Entry point: silent switch, DLL search hardening, the hidden main window and its message loop.

#include "stagerun.h"

#include <commctrl.h>

#define TEXT_BUFFER_SIZE 100

typedef BOOL(WINAPI *SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI *SetSearchPathModeFn)(DWORD);

// A quit message met here is put back for the message loop, which would otherwise wait forever.
void DispatchPendingMessages(void)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam);
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The command line after the program name and the blanks that follow it. A quoted name ends at
// its closing quote, so "D:\stagerun.exe"/s is a silent run. Bytes compare unsigned, so that a
// name with non-ASCII characters is skipped whole.
LPSTR SkipProgramName(LPSTR commandLine)
{
    unsigned char *cursor = (unsigned char *)commandLine;
    if (*cursor == '"') {
        cursor++;
        while (*cursor != '\0' && *cursor != '"')
            cursor++;
        if (*cursor == '"')
            cursor++;
    } else {
        while (*cursor > ' ')
            cursor++;
    }
    while (*cursor != '\0' && *cursor <= ' ')
        cursor++;
    return (LPSTR)cursor;
}

// A DLL planted beside the program or in the current directory must never be loaded.
static void RestrictDllSearch(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32");
    SetDefaultDllDirectoriesFn setDefault =
        (SetDefaultDllDirectoriesFn)(void *)GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault == NULL || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryA("");
    SetSearchPathModeFn setMode =
        (SetSearchPathModeFn)(void *)GetProcAddress(kernel, "SetSearchPathMode");
    if (setMode != NULL)
        setMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

// A "<program>.local" folder or file redirects the loader to DLLs beside the program.
static BOOL HasDllRedirection(void)
{
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    AppendText(path, sizeof(path), ".local", sizeof(path));
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    char title[TEXT_BUFFER_SIZE];
    char className[TEXT_BUFFER_SIZE];

    RestrictDllSearch();
    if (HasDllRedirection())
        return EXIT_DLL_REDIRECTION;
    if (IsSameText(commandLine, "/s"))
        SilentMode = 1;
    switch (HandOffTo64BitSibling()) {
    case HANDOFF_DONE:
        return 0;
    case HANDOFF_FAILED:
        return EXIT_HANDOFF_FAILED;
    case HANDOFF_NOT_NEEDED:
        break;
    }

    InitCommonControls();
    LoadStringA(instance, IDS_APP_TITLE, title, TEXT_BUFFER_SIZE);
    LoadStringA(instance, IDC_STAGERUN, className, TEXT_BUFFER_SIZE);

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDC_STAGERUN);
    windowClass.lpszClassName = className;
    RegisterClassExA(&windowClass);

    hInstance = instance;
    HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, NULL, NULL, instance, NULL);
    if (window == NULL)
        return 0;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_STAGERUN));
    MSG message = {};
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return (int)message.wParam;
}
