// The medium checker over arbitrary StageRun.ini contents, as JSON and as text: it always ends
// with one of its exit codes, the same for both forms, and its JSON keeps its brackets balanced
// outside strings.
#include "check.h"
#include "fuzz.h"

#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    sim::UseTemporaryDrives("C");
    sim::SetModulePath("C:\\Pkg\\stagerun.exe");
    sim::WriteFile("C:\\Pkg\\a.exe", "MZ");
    sim::WriteFile("C:\\Pkg\\sub\\a.exe", "MZ");
    sim::WriteFile("C:\\Pkg\\d.inf", "");
    return 0;
}

// Outside strings, every "{" and "[" is closed in order, and nothing follows the document.
static bool IsBalancedJson(const std::string &json)
{
    std::string open;
    bool inString = false;
    for (size_t i = 0; i < json.size(); i++) {
        char c = json[i];
        if (inString) {
            if (c == '\\')
                i++;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            open += c;
        } else if (c == '}' || c == ']') {
            if (open.empty() || open.back() != (c == '}' ? '{' : '['))
                return false;
            open.pop_back();
        } else if (open.empty() && c != '\n') {
            return false;
        }
    }
    return open.empty() && !inString;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    sim::WriteFile("C:\\Pkg\\StageRun.ini", std::string((const char *)data, size));
    bool silent = size > 0 && (data[0] & 1) != 0;
    CheckRequest request = {"C:\\Pkg", silent, TRUE};
    ReportOut = tmpfile();
    int exitCode = CheckMedium(&request);
    std::string json;
    rewind(ReportOut);
    for (int c; (c = fgetc(ReportOut)) != EOF;)
        json += (char)c;
    fclose(ReportOut);
    FUZZ_CHECK(exitCode >= CHECK_CLEAN && exitCode <= CHECK_UNREADABLE);
    FUZZ_CHECK(IsBalancedJson(json));
    request.json = FALSE;
    ReportOut = fopen("/dev/null", "w");
    FUZZ_CHECK(CheckMedium(&request) == exitCode);
    fclose(ReportOut);
    ReportOut = NULL;
    return 0;
}
