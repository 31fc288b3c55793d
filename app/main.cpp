// Entry point: the switches, DLL search hardening, the hidden main window and its message loop.

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

static BOOL IsBlank(char c)
{
    return c != '\0' && (unsigned char)c <= ' ';
}

// Takes the next word of the tail, up to a blank outside quotes, without its quotes and as much
// of it as fits; FALSE when not all of it did.
static BOOL TakeWord(const char **cursor, char *word, size_t capacity)
{
    const char *c = *cursor;
    size_t used = 0;
    BOOL quoted = FALSE;
    BOOL whole = TRUE;
    for (; *c != '\0' && (quoted || !IsBlank(*c)); c++) {
        if (*c == '"')
            quoted = !quoted;
        else if (used + 1 < capacity)
            word[used++] = *c;
        else
            whole = FALSE;
    }
    word[used] = '\0';
    *cursor = c;
    return whole;
}

// "/s" alone is a silent run, as it always was, and so is a tail of "/s" with "/norestart" and
// one log switch, each at most once, in any order. The first log switch turns the log on, and
// "/norestart" holds, whatever else the tail holds; other words are ignored.
static void ReadSwitches(const char *tail)
{
    int words = 0;
    int silentWords = 0;
    int logWords = 0;
    int noRestartWords = 0;
    const char *cursor = tail;
    for (;;) {
        while (IsBlank(*cursor))
            cursor++;
        if (*cursor == '\0')
            break;
        char word[sizeof(LOG_SWITCH) + MAX_PATH];
        BOOL whole = TakeWord(&cursor, word, sizeof(word));
        words++;
        if (IsSameText(word, "/s")) {
            silentWords++;
            continue;
        }
        if (IsSameText(word, NORESTART_SWITCH)) {
            noRestartWords++;
            continue;
        }
        // "/log", or "/log:" and a path, in either case.
        const size_t switchLength = sizeof(LOG_SWITCH) - 1;
        if (strlen(word) < switchLength)
            continue;
        char mark = word[switchLength];
        word[switchLength] = '\0';
        if (!IsSameText(word, LOG_SWITCH) || (mark != '\0' && mark != ':') || logWords++ > 0)
            continue;
        LogSwitch = mark == '\0' ? LOG_SWITCH_TEMP : LOG_SWITCH_PATH;
        // A path that did not fit would name another file: then none. A bare "/log" has no path.
        if (mark == '\0' || !whole ||
            !CopyText(LogPath, sizeof(LogPath), word + sizeof(LOG_SWITCH)))
            LogPath[0] = '\0';
    }
    NoRestart = noRestartWords > 0;
    if (IsSameText(tail, "/s") || (words > 1 && silentWords == 1 && logWords <= 1 &&
                                   noRestartWords <= 1 && words == 1 + logWords + noRestartWords))
        SilentMode = 1;
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

static int RunLauncher(HINSTANCE instance)
{
    char title[TEXT_BUFFER_SIZE];
    char className[TEXT_BUFFER_SIZE];

    if (HasDllRedirection())
        return EXIT_DLL_REDIRECTION;
    if (IsRunningUnderWow64())
        return HandOffTo64BitSibling();

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
    if (window == NULL) {
        NoteFailure(FAILURE_ENDED_EARLY, 0);
        return EXIT_INSTALL_FAILED;
    }
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    RestrictDllSearch();
    ReadSwitches(commandLine);
    OpenLog(commandLine);
    int exitCode = RunLauncher(instance);
    LogEnd(exitCode);
    return exitCode;
}
