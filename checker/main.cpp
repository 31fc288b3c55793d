// stagerun-check: shows what the launcher will do with a medium, before it ships.

#include "check.h"
#include "version.h"

static const char Usage[] =
    "usage: stagerun-check [/s] [/norestart] [/json] [folder]\n"
    "       stagerun-check /new [folder]\n"
    "       stagerun-check /version\n"
    "  Reads the medium in folder (default: the current folder) as the launcher would and\n"
    "  prints each step it will perform and what in the medium will not work as written.\n"
    "  /s     check the silent run (stagerun /s)\n"
    "  /norestart  the run's exit code for a command line with /norestart\n"
    "  /json  one JSON document for build pipelines\n"
    "  /new   print a starter StageRun.ini for the .exe and .msi installers in folder and its\n"
    "         subfolders (exit code 0), writing nothing\n"
    "  On 64-bit Windows stagerun-check.exe hands the check to stagerun-check64.exe beside it,\n"
    "  which sees the system as the 64-bit launcher does.\n"
    "exit codes: 0 clean, 1 warnings only, 2 errors, 3 the medium could not be read (or\n"
    "stagerun-check64.exe is missing on 64-bit Windows)\n";

int main(int argc, char **argv)
{
    CheckRequest request = {NULL, FALSE, FALSE, FALSE};
    for (int i = 1; i < argc; i++) {
        const char *argument = argv[i];
        if (IsSameText(argument, "/s") || IsSameText(argument, "-s")) {
            request.silent = TRUE;
        } else if (IsSameText(argument, "/new") || IsSameText(argument, "--new")) {
            request.starter = TRUE;
        } else if (IsSameText(argument, "/json") || IsSameText(argument, "--json")) {
            request.json = TRUE;
        } else if (IsSameText(argument, NORESTART_SWITCH)) {
            NoRestart = TRUE; // as the launcher reads it from its command line
        } else if (IsSameText(argument, "/version") || IsSameText(argument, "--version")) {
            fputs("stagerun-check " STAGERUN_VERSION "\n", stdout);
            return CHECK_CLEAN;
        } else if (IsSameText(argument, "/?") || IsSameText(argument, "/help") ||
                   IsSameText(argument, "--help")) {
            fputs(Usage, stdout);
            return CHECK_CLEAN;
        } else if ((argument[0] == '/' && argument[1] != '\0' && argument[2] == '\0') ||
                   argument[0] == '-' || request.folder != NULL) {
            fprintf(stderr, "stagerun-check: unexpected argument %s\n%s", argument, Usage);
            return CHECK_UNREADABLE;
        } else {
            request.folder = argument;
        }
    }
    return CheckMedium(&request);
}
