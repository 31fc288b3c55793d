// LoadSetupList over arbitrary StageRun.ini contents, read through the simulated ini reader. The
// table must hold exactly the leading steps whose fields all fit, split at runs of commas outside
// double quotes, every field ending inside its slot, and nothing at all in the slots after them.
#include "fuzz.h"

#include <algorithm>
#include <vector>

static const size_t Capacities[5] = {KIND_SIZE, FILE_SIZE, ARGUMENTS_SIZE, WAITLIST_SIZE,
                                     REBOOTFLAG_SIZE};

static char *Field(int slot, int field)
{
    char *fields[5] = {SetupTable.Kind[slot], SetupTable.File[slot], SetupTable.Arguments[slot],
                       SetupTable.WaitList[slot], SetupTable.RebootFlag[slot]};
    return fields[field];
}

static std::string ReadValue(const char *section, int number)
{
    char key[16];
    char value[4096];
    snprintf(key, sizeof(key), "Setup%d", number);
    GetPrivateProfileStringA(section, key, "", value, sizeof(value), ".\\StageRun.ini");
    return value;
}

// A comma separates unless an odd number of quotes stands before it and another quote after it.
static size_t NextSeparator(const std::string &value, size_t at)
{
    for (size_t i = value.find(',', at); i != std::string::npos; i = value.find(',', i + 1)) {
        size_t before = std::count(value.begin(), value.begin() + (long)i, '"');
        if (before % 2 == 0 || value.find('"', i) == std::string::npos)
            return i;
    }
    return std::string::npos;
}

// The step as the reader gives it; false when its value is empty, over 149 characters, or has a
// field over its slot's capacity.
static bool ExpectedStep(const char *section, int number, std::vector<std::string> *fields)
{
    std::string value = ReadValue(section, number);
    if (value.empty() || value.size() >= 150)
        return false;
    fields->assign(5, "");
    size_t field = 0;
    for (size_t at = 0; field < 5 && at < value.size();) {
        size_t end = NextSeparator(value, at);
        end = end == std::string::npos ? value.size() : end;
        if (end > at) {
            if (end - at >= Capacities[field])
                return false;
            (*fields)[field++] = value.substr(at, end - at);
        }
        at = end + 1;
    }
    return true;
}

static std::string ListFile;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    sim::UseTemporaryDrives("C");
    sim::SetModulePath("C:\\Pkg\\stagerun.exe");
    sim::WriteFile("C:\\Pkg\\StageRun.ini", "");
    ListFile = sim::HostPath("C:\\Pkg\\StageRun.ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    memset(&SetupTable, 0, sizeof(SetupTable));
    SilentMode = size > 0 && (data[0] & 1) != 0;
    WriteInput(ListFile, data, size);
    LoadSetupList();
    FUZZ_CHECK(strcmp(ModuleDirectory, "C:\\Pkg") == 0);
    FUZZ_CHECK(strcmp(LanguageCode, "eng") == 0);
    const char *section =
        SilentMode && !ReadValue("SetupSilent", 1).empty() ? "SetupSilent" : "SetupList";
    bool listEnded = false;
    for (int slot = 0; slot < SETUP_SLOTS; slot++) {
        std::vector<std::string> expected;
        bool loaded = slot > 0 && !listEnded && ExpectedStep(section, slot, &expected);
        listEnded = listEnded || (slot > 0 && !loaded);
        for (int field = 0; field < 5; field++) {
            FUZZ_CHECK(EndsCleanlyWithin(Field(slot, field), Capacities[field]));
            FUZZ_CHECK(loaded ? expected[field] == Field(slot, field)
                              : Field(slot, field)[0] == '\0');
        }
    }
    return 0;
}
