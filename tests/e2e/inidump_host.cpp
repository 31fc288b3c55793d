// The ini reading probe of tests/e2e/fixtures/inidump.c run against the Win32 stand-in: the same
// queries and the same output lines, with each ini file's folder mapped to drive D:.
//
//   inidump_host [--locale LCID] INI QUERIES [INI QUERIES...]     (host paths)
//
// --locale sets the simulated system locale (and so the ANSI code page), e.g. 0x0412 for Korean.
#include <windows.h>

#include "sim.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#define INIDUMP_HOST
#include "fixtures/inidump.c"

int main(int argc, char **argv)
{
    int first = 1;
    if (argc > 2 && strcmp(argv[1], "--locale") == 0) {
        char *end;
        unsigned long locale = strtoul(argv[2], &end, 0);
        if (*end != 0 || end == argv[2])
            return 2;
        sim::SetSystemDefaultLocale((LCID)locale);
        first = 3;
    }
    if (argc - first < 2 || (argc - first) % 2 != 0) {
        fprintf(stderr, "usage: inidump_host [--locale LCID] INI QUERIES [INI QUERIES...]\n");
        return 2;
    }
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof(cwd)) == nullptr)
        return 2;
    for (int i = first; i < argc; i += 2) {
        std::string path = argv[i];
        if (path.empty() || path[0] != '/')
            path = std::string(cwd) + "/" + path;
        size_t slash = path.rfind('/');
        sim::MapDrive('D', slash == 0 ? "/" : path.substr(0, slash));
        std::string windowsPath = "D:\\" + path.substr(slash + 1);
        printf("== %s\n", inidump_base_name(argv[i + 1]));
        if (!inidump_file(windowsPath.c_str(), argv[i + 1]))
            return 2;
    }
    return 0;
}
