// Starting a program through the shell while holding its process, for its exit code.

#include "stagerun.h"

#include <shellapi.h>

// As ShellExecuteA starts it (verb, folder, show command, no error box of the shell's own), plus
// the process handle, which the caller closes.
INT_PTR OpenThroughShell(const char *file, const char *parameters, HANDLE *process)
{
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_SHOW;
    *process = ShellExecuteExA(&info) ? info.hProcess : NULL;
    return (INT_PTR)info.hInstApp;
}
