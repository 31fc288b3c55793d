// The current-directory and launch probe of tests/e2e/fixtures/dirprobe.c run against the Win32
// stand-in: the same steps and the same output lines, on the same folders.
//
//   dirprobe_host C_FOLDER D_FOLDER     (the host folders that drives C: and D: stand for)
#include <direct.h>
#include <shellapi.h>
#include <windows.h>

#include "sim.h"

#include <cstdio>
#include <cstring>

#define DIRPROBE_HOST

static void dirprobe_set_variable(const char *name, const char *value)
{
    sim::SetEnvironment(name, value != nullptr ? value : "");
}

// What the launched copy writes into its marker: the file that started, its show state and the
// directory it started in.
static void dirprobe_started(char *out, size_t size)
{
    const sim::Launch &launch = sim::Launches().back();
    snprintf(out, size, "%s show %d in %s", launch.path.c_str(), launch.showCommand,
             launch.currentDirectory.c_str());
}

#include "fixtures/dirprobe.c"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: dirprobe_host C_FOLDER D_FOLDER\n");
        return 2;
    }
    sim::MapDrive('C', argv[1]);
    sim::MapDrive('D', argv[2]);
    sim::SetModulePath("C:\\srprobe\\prog\\dirprobe.exe");
    dirprobe_run();
    return 0;
}
