// Process entry of the Windows executables, in place of the C runtime's start-up code.

#include "stagerun.h"

typedef void (*StaticInitializerFn)(void);

// Provided by the linker: the module's own image, and the static initialisers between a -1 and a 0.
extern "C" IMAGE_DOS_HEADER __ImageBase;
extern "C" StaticInitializerFn __CTOR_LIST__[];

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// Runs the static initialisers (IsWow64ProcessPtr) last first, as the runtime's start-up does.
static void RunStaticInitializers(void)
{
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != NULL)
        count++;
    for (size_t i = count; i >= 1; i--)
        __CTOR_LIST__[i]();
}

static int GetShowCommand(void)
{
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

extern "C" void WinMainCRTStartup(void)
{
    RunStaticInitializers();
    int result = WinMain((HINSTANCE)&__ImageBase, NULL, SkipProgramName(GetCommandLineA()),
                         GetShowCommand());
    ExitProcess((UINT)result);
}
