// The medium checker over arbitrary StageRun.ini contents, as JSON and as text: it always ends
// with one of its exit codes, the same for both forms, and its JSON is well-formed. The text form
// is checked for every other input (by a bit of the first byte, as the silent run is), which keeps
// the rate near twice as high.
#include "../json_check.h"
#include "check.h"
#include "fuzz.h"

#include <string>

static std::string ListFile;
static FILE *Discard;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    sim::UseTemporaryDrives("C");
    sim::SetModulePath("C:\\Pkg\\stagerun.exe");
    sim::WriteFile("C:\\Pkg\\stagerun.exe", "MZ");
    sim::WriteFile("C:\\Pkg\\stagerun64.exe", "MZ");
    sim::WriteFile("C:\\Pkg\\a.exe", "MZ");
    sim::WriteFile("C:\\Pkg\\sub\\a.exe", "MZ");
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    sim::WriteFile("C:\\Pkg\\StageRun.ini", "");
    ListFile = sim::HostPath("C:\\Pkg\\StageRun.ini");
    Discard = fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    WriteInput(ListFile, data, size);
    bool silent = size > 0 && (data[0] & 1) != 0;
    CheckRequest request = {"C:\\Pkg", silent, TRUE, FALSE};
    char *json = NULL;
    size_t length = 0;
    ReportOut = open_memstream(&json, &length);
    int exitCode = CheckMedium(&request);
    fclose(ReportOut);
    FUZZ_CHECK(exitCode >= CHECK_CLEAN && exitCode <= CHECK_UNREADABLE);
    FUZZ_CHECK(IsJson(std::string(json, length)));
    free(json);
    ReportOut = NULL;
    if (size > 0 && (data[0] & 2) != 0) {
        request.json = FALSE;
        ReportOut = Discard;
        FUZZ_CHECK(CheckMedium(&request) == exitCode);
        ReportOut = NULL;
    }
    // An input that ends with more allocations than frees is run again by the fuzzer, in search
    // of a leak: the stand-in's ini cache is the one thing that outlives an input.
    sim::ForgetIniText();
    return 0;
}
