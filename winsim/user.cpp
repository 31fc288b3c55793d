// Simulated machine: window classes, windows, the message queue, timers, modal dialogs, message
// boxes and the program's string resources.
#include "internal.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>

#include "../res/resource.h"

namespace sim
{
namespace
{

struct Window {
    std::string className;
    WNDPROC windowProc;
    DLGPROC dialogProc;
    bool alive;
    bool visible;
    bool everShown;
    std::map<UINT_PTR, DWORD> timers; // id -> due time
    std::map<UINT_PTR, UINT> periods;
};
std::vector<Window> windows; // HWND = index + 1
std::map<std::string, WNDPROC> classes;
std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;
HWND mainWindow = NULL;

struct ActiveDialog {
    HWND window;
    bool ended;
    INT_PTR result;
    size_t record;
};
std::vector<ActiveDialog> dialogStack;
std::vector<DialogRecord> dialogs;
std::vector<MessageBoxRecord> messageBoxes;
std::deque<int> scriptedAnswers;
std::vector<TimerEvent> timerEvents;

const struct {
    UINT id;
    const char *text;
} strings[] = {
#define RES_STRING(id, text) {id, text},
#include "../res/strings.inc"
#undef RES_STRING
};

Window *WindowOf(HWND window)
{
    size_t index = (size_t)(uintptr_t)window;
    if (index == 0 || index > windows.size() || !windows[index - 1].alive)
        return nullptr;
    return &windows[index - 1];
}

bool IsDialogWindow(HWND window)
{
    Window *w = WindowOf(window);
    return w != nullptr && w->dialogProc != nullptr;
}

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window *w = WindowOf(window);
    if (w == nullptr)
        return 0;
    if (w->dialogProc != nullptr) {
        INT_PTR handled = w->dialogProc(window, message, wParam, lParam);
        // The dialog manager turns the close box into WM_CLOSE, and WM_CLOSE into Cancel.
        if (!handled && message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
            Deliver(window, WM_CLOSE, 0, 0);
        else if (!handled && message == WM_CLOSE)
            Deliver(window, WM_COMMAND, IDCANCEL, 0);
        return handled;
    }
    LRESULT result = w->windowProc(window, message, wParam, lParam);
    // Once a top-level window has returned from it, Windows may end the process at any moment.
    if (message == WM_ENDSESSION && wParam != FALSE)
        StopRun("Windows ended the session");
    return result;
}

HWND NewWindow(const std::string &className, WNDPROC windowProc, DLGPROC dialogProc)
{
    windows.push_back({className, windowProc, dialogProc, true, false, false, {}, {}});
    return (HWND)(uintptr_t)windows.size();
}

// The earliest due timer, if any is due by the given time.
bool DueTimer(DWORD byMs, HWND *window, UINT_PTR *id, DWORD *due)
{
    bool found = false;
    for (size_t i = 0; i < windows.size(); i++) {
        if (!windows[i].alive)
            continue;
        for (const auto &timer : windows[i].timers) {
            if (timer.second <= byMs && (!found || timer.second < *due)) {
                found = true;
                *window = (HWND)(uintptr_t)(i + 1);
                *id = timer.first;
                *due = timer.second;
            }
        }
    }
    return found;
}

DWORD NextTimerDue()
{
    HWND window;
    UINT_PTR id;
    DWORD due = kForever;
    DueTimer(kForever - 1, &window, &id, &due);
    return due;
}

bool TakeMessage(MSG *message, bool remove)
{
    if (!queue.empty()) {
        *message = queue.front();
        if (remove)
            queue.pop_front();
        return true;
    }
    if (quitPosted) {
        *message = {NULL, WM_QUIT, (WPARAM)quitCode, 0, Now(), {0, 0}};
        if (remove)
            quitPosted = false;
        return true;
    }
    HWND window;
    UINT_PTR id;
    DWORD due;
    if (DueTimer(Now(), &window, &id, &due)) {
        *message = {window, WM_TIMER, id, 0, Now(), {0, 0}};
        if (remove) {
            Window *w = WindowOf(window);
            w->timers[id] = Now() + w->periods[id];
            timerEvents.push_back({Now(), IsDialogWindow(window), id, 'F'});
        }
        return true;
    }
    return false;
}

// Waits in virtual time until a message arrives; a wait that nothing can end stops the run.
void WaitForMessage(MSG *message)
{
    while (!TakeMessage(message, true)) {
        DWORD next = NextTimerDue();
        DWORD event = NextEventTime();
        if (event < next)
            next = event;
        if (next == kForever)
            StopRun("waiting for a message that can never come");
        AdvanceTo(next);
    }
}

} // namespace

HWND MainWindow()
{
    return mainWindow;
}

bool WindowEverShown(HWND window)
{
    size_t index = (size_t)(uintptr_t)window;
    return index != 0 && index <= windows.size() && windows[index - 1].everShown;
}

const std::vector<DialogRecord> &Dialogs()
{
    return dialogs;
}

const std::vector<MessageBoxRecord> &MessageBoxes()
{
    return messageBoxes;
}

void ScriptMessageBoxAnswer(int answer)
{
    scriptedAnswers.push_back(answer);
}

const std::vector<TimerEvent> &TimerEvents()
{
    return timerEvents;
}

void PressKey(int virtualKey)
{
    if (!dialogStack.empty())
        queue.push_back(
            {dialogStack.back().window, WM_KEYDOWN, (WPARAM)virtualKey, 0, Now(), {0, 0}});
}

void ClickDialogClose()
{
    if (!dialogStack.empty())
        queue.push_back({dialogStack.back().window, WM_SYSCOMMAND, SC_CLOSE, 0, Now(), {0, 0}});
}

void PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam)
{
    PostMessageA(mainWindow, message, wParam, lParam);
}

std::string Utf16ToUtf8(const WCHAR *text)
{
    std::string out;
    for (; *text != 0; text++) {
        unsigned c = *text;
        if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            text++;
        }
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace sim

using namespace sim;

void WINAPI InitCommonControls(void) {}

int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size)
{
    for (const auto &s : strings) {
        if (s.id != id || size <= 0)
            continue;
        int length = (int)strlen(s.text);
        if (length > size - 1)
            length = size - 1;
        memcpy(buffer, s.text, (size_t)length);
        buffer[length] = '\0';
        return length;
    }
    if (size > 0)
        buffer[0] = '\0';
    SetLastError(1814); // ERROR_RESOURCE_NAME_NOT_FOUND
    return 0;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *windowClass)
{
    if (windowClass->cbSize != sizeof(WNDCLASSEXA) || windowClass->lpszClassName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string name = LowerAscii(windowClass->lpszClassName);
    if (classes.count(name) != 0) {
        SetLastError(1410); // ERROR_CLASS_ALREADY_EXISTS
        return 0;
    }
    classes[name] = windowClass->lpfnWndProc;
    return (ATOM)(0xC000 + classes.size());
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD style, int, int, int, int, HWND,
                            HMENU, HINSTANCE, LPVOID)
{
    auto found = classes.find(LowerAscii(className != nullptr ? className : ""));
    if (found == classes.end()) {
        SetLastError(1407); // ERROR_CANNOT_FIND_WND_CLASS
        return NULL;
    }
    HWND window = NewWindow(found->first, found->second, nullptr);
    if (mainWindow == NULL)
        mainWindow = window;
    if (Deliver(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return NULL;
    }
    if (style & WS_VISIBLE)
        ShowWindow(window, SW_SHOW);
    return window;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    Window *w = WindowOf(window);
    if (w == nullptr) {
        SetLastError(1400); // ERROR_INVALID_WINDOW_HANDLE
        return FALSE;
    }
    Deliver(window, WM_DESTROY, 0, 0);
    w = WindowOf(window);
    if (w != nullptr) {
        w->timers.clear();
        w->alive = false;
        w->visible = false;
    }
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    Window *w = WindowOf(window);
    if (w == nullptr)
        return FALSE;
    BOOL wasVisible = w->visible;
    w->visible = command != SW_HIDE;
    w->everShown = w->everShown || w->visible;
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    return WindowOf(window) != nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR)
{
    return (HCURSOR)(uintptr_t)0x10011;
}

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE, LPCSTR name)
{
    return (uintptr_t)name == IDC_STAGERUN ? (HACCEL)(uintptr_t)0x20109 : NULL;
}

// Alt+"?" and Alt+"/" of table 109 become command 104 for the window.
int WINAPI TranslateAcceleratorA(HWND window, HACCEL table, LPMSG message)
{
    if (table == NULL || message->message != 0x0106 /* WM_SYSCHAR */ ||
        (message->wParam != '?' && message->wParam != '/'))
        return 0;
    Deliver(window, WM_COMMAND, (1 << 16) | IDM_ABOUT, 0);
    return 1;
}

BOOL WINAPI GetMessageA(LPMSG message, HWND, UINT, UINT)
{
    WaitForMessage(message);
    return message->message != WM_QUIT;
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND, UINT, UINT, UINT remove)
{
    return TakeMessage(message, (remove & PM_REMOVE) != 0);
}

BOOL WINAPI TranslateMessage(const MSG *)
{
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *message)
{
    return Deliver(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (WindowOf(window) == nullptr)
        return FALSE;
    queue.push_back({window, message, wParam, lParam, Now(), {0, 0}});
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_CLOSE)
        DestroyWindow(window);
    else if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
        Deliver(window, WM_CLOSE, 0, 0);
    return 0;
}

void WINAPI PostQuitMessage(int exitCode)
{
    quitPosted = true;
    quitCode = exitCode;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC)
{
    Window *w = WindowOf(window);
    if (w == nullptr) {
        SetLastError(1400);
        return 0;
    }
    if (elapse < 10)
        elapse = 10; // USER_TIMER_MINIMUM
    w->timers[id] = Now() + elapse;
    w->periods[id] = elapse;
    timerEvents.push_back({Now(), w->dialogProc != nullptr, id, 'S'});
    return id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id)
{
    Window *w = WindowOf(window);
    if (w == nullptr || w->timers.erase(id) == 0) {
        SetLastError(1402); // ERROR_INVALID_TIMER_HANDLE
        return FALSE;
    }
    timerEvents.push_back({Now(), w->dialogProc != nullptr, id, 'K'});
    return TRUE;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND, DLGPROC dialogProc,
                               LPARAM initParam)
{
    int templateId = (int)(uintptr_t)templateName;
    if (templateId != IDD_INSTALL_ENGLISH && templateId != IDD_INSTALL_KOREAN) {
        SetLastError(1812); // ERROR_RESOURCE_DATA_NOT_FOUND
        return -1;
    }
    HWND dialog = NewWindow("#32770", nullptr, dialogProc);
    dialogs.push_back({templateId, Now(), kForever, 0});
    dialogStack.push_back({dialog, false, 0, dialogs.size() - 1});
    Deliver(dialog, WM_INITDIALOG, 0, initParam);
    if (!dialogStack.back().ended)
        ShowWindow(dialog, SW_SHOW);
    while (!dialogStack.back().ended) {
        MSG message;
        WaitForMessage(&message);
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam); // left for the outer loop
            break;
        }
        if (message.hwnd == dialog && message.message == WM_KEYDOWN &&
            (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
            Deliver(dialog, WM_COMMAND, message.wParam == VK_RETURN ? IDOK : IDCANCEL, 0);
            continue;
        }
        DispatchMessageA(&message);
    }
    ActiveDialog finished = dialogStack.back();
    dialogStack.pop_back();
    dialogs[finished.record].closeMs = Now();
    dialogs[finished.record].result = finished.result;
    // As the dialog manager does once its loop has ended: the window and its timers go.
    DestroyWindow(dialog);
    return finished.result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result)
{
    for (ActiveDialog &active : dialogStack) {
        if (active.window == dialog) {
            active.ended = true;
            active.result = result;
            return TRUE;
        }
    }
    SetLastError(1400);
    return FALSE;
}

static int RecordMessageBox(HWND owner, const std::string &text, const std::string &caption,
                            UINT type, bool wide)
{
    int answer = (type & 0xF) == MB_YESNO ? IDNO : IDOK;
    if (!scriptedAnswers.empty()) {
        answer = scriptedAnswers.front();
        scriptedAnswers.pop_front();
    }
    messageBoxes.push_back({Now(), owner, text, caption, type, wide, answer});
    SetLastError(ERROR_SUCCESS); // the box's own calls leave their mark on the last error
    return answer;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    return RecordMessageBox(owner, text ? text : "", caption ? caption : "Error", type, false);
}

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    return RecordMessageBox(owner, text ? Utf16ToUtf8(text) : "",
                            caption ? Utf16ToUtf8(caption) : "Error", type, true);
}

// Code page 949 when the system locale is Korean: lead bytes 0x81 to 0xFE; Windows-1252 has none.
BOOL WINAPI IsDBCSLeadByte(BYTE byte)
{
    return PRIMARYLANGID(SystemLocale()) == LANG_KOREAN && byte >= 0x81 && byte <= 0xFE;
}

// The system's rules for its ANSI code page: Windows-1252 upper-cases its accented letters too;
// the Korean code page 949 changes only ASCII, leaving double-byte characters intact.
LPSTR WINAPI CharUpperA(LPSTR text)
{
    bool korean = PRIMARYLANGID(SystemLocale()) == LANG_KOREAN;
    for (unsigned char *c = (unsigned char *)text; *c != 0; c++) {
        if (IsDBCSLeadByte(*c) && c[1] != 0) {
            c++; // lead and trail byte of one character
        } else if (*c >= 'a' && *c <= 'z') {
            *c = (unsigned char)(*c - 32);
        } else if (!korean && ((*c >= 0xE0 && *c <= 0xFE && *c != 0xF7))) {
            *c = (unsigned char)(*c - 32);
        } else if (!korean && (*c == 0x9A || *c == 0x9C || *c == 0x9E)) {
            *c = (unsigned char)(*c - 16);
        } else if (!korean && *c == 0xFF) {
            *c = 0x9F;
        }
    }
    return text;
}

// Output is limited to 1024 characters, as the platform's.
int wsprintfA(LPSTR buffer, LPCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    char scratch[1025];
    int length = vsnprintf(scratch, sizeof(scratch), format, args);
    va_end(args);
    if (length < 0)
        return 0;
    if (length > 1024)
        length = 1024;
    memcpy(buffer, scratch, (size_t)length);
    buffer[length] = '\0';
    return length;
}
