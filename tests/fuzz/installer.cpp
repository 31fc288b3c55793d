// The installer recognition over arbitrary file contents: it always ends with one of its types and
// leaves no file open, whatever the headers claim.
#include "check.h"
#include "fuzz.h"

#include <string>

static std::string InstallerFile;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    sim::UseTemporaryDrives("C");
    sim::WriteFile("C:\\Pkg\\setup.exe", "");
    InstallerFile = sim::HostPath("C:\\Pkg\\setup.exe");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    WriteInput(InstallerFile, data, size);
    InstallerType type = RecognizeInstaller("C:\\Pkg\\setup.exe");
    FUZZ_CHECK(type >= TYPE_UNKNOWN && type < INSTALLER_TYPES);
    FUZZ_CHECK(sim::OpenHandleCount() == 0);
    return 0;
}
