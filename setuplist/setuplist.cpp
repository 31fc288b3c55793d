// Reads StageRun.ini into the step table and sets the start-of-run language and directories; reads
// the medium's step-log setting.
#include "stagerun.h"

#define SETUP_LIST_FILE ".\\" SETUP_LIST_NAME
#define VALUE_SIZE 150
#define KEY_SIZE 16

// Two bytes more than the longest value we accept, so that a value cut by the read shows: a quoted
// value whose closing quote only just fits loses its last character, one byte short of room.
static char SetupValue[VALUE_SIZE + 2];

// Returns the value's length; VALUE_SIZE or more means the value is longer than we accept.
static DWORD ReadSetupValue(const char *section, int number)
{
    char key[KEY_SIZE];
    wsprintfA(key, "Setup%d", number);
    for (size_t i = 0; i < sizeof(SetupValue); i++)
        SetupValue[i] = '\0';
    return GetPrivateProfileStringA(section, key, "", SetupValue, sizeof(SetupValue),
                                    SETUP_LIST_FILE);
}

const char *const SetupFieldNames[SETUP_FIELD_COUNT] = {"Kind", "File", "Arguments", "WaitList",
                                                        "RebootFlag"};
const size_t SetupFieldCapacities[SETUP_FIELD_COUNT] = {KIND_SIZE, FILE_SIZE, ARGUMENTS_SIZE,
                                                        WAITLIST_SIZE, REBOOTFLAG_SIZE};

// Splits the value at runs of commas outside double quotes into the slot's fields. A field that
// does not fit its slot refuses the whole step: cut, "-10" would become "-1" and a file name
// another file.
static BOOL StoreStep(int slot)
{
    char *fields[SETUP_FIELD_COUNT] = {SetupTable.Kind[slot], SetupTable.File[slot],
                                       SetupTable.Arguments[slot], SetupTable.WaitList[slot],
                                       SetupTable.RebootFlag[slot]};
    char staged[SETUP_FIELD_COUNT][ARGUMENTS_SIZE] = {};
    const char *cursor = SetupValue;
    for (int field = 0; field < SETUP_FIELD_COUNT; field++) {
        int found = NextSetupField(&cursor, staged[field], SetupFieldCapacities[field]);
        if (found < 0) {
            SetupListStatus.field = field + 1;
            return FALSE;
        }
        if (found == 0)
            break;
    }
    for (int field = 0; field < SETUP_FIELD_COUNT; field++)
        CopyText(fields[field], SetupFieldCapacities[field], staged[field]);
    // Quotes pair from the left, so the last one is never closed when their count is odd.
    int quotes = 0;
    for (const char *c = SetupValue; *c != '\0'; c++)
        quotes += *c == '"';
    SetupListStatus.unclosedQuote[slot] = (BYTE)(quotes % 2);
    return TRUE;
}

void ChooseLanguage(void)
{
    LCID locale = GetSystemDefaultLCID();
    CopyText(LanguageCode, sizeof(LanguageCode),
             PRIMARYLANGID(locale) == LANG_KOREAN ? "kor" : "eng");
}

static void EndList(ListEnd end, int key)
{
    SetupListStatus.end = end;
    SetupListStatus.key = key;
}

void ReadProgramPath(char *path)
{
    memset(path, 0, MODULE_DIRECTORY_SIZE);
    DWORD length = GetModuleFileNameA(NULL, path, MODULE_DIRECTORY_SIZE);
    // A path the read cut names another folder.
    if (length >= MODULE_DIRECTORY_SIZE)
        path[0] = '\0';
}

void SetModuleDirectory(const char *programPath)
{
    memset(ModuleDirectory, 0, sizeof(ModuleDirectory));
    // A path longer than its directory part looks at would name another folder and so another
    // list: none.
    size_t pathLength = strlen(programPath);
    if (pathLength > 0 && pathLength <= DIRECTORY_SCAN_LIMIT)
        CopyText(ModuleDirectory, sizeof(ModuleDirectory), GetDirectoryPart(programPath));
}

void LoadSetupList(void)
{
    char path[MODULE_DIRECTORY_SIZE];
    ReadProgramPath(path);
    LoadSetupListAt(path);
}

void LoadSetupListAt(const char *programPath)
{
    ChooseLanguage();
    memset(&SetupListStatus, 0, sizeof(SetupListStatus));
    EndList(LIST_NO_PROGRAM_PATH, 0);
    // No list is read when the folder cannot be told or made current.
    SetModuleDirectory(programPath);
    if (ModuleDirectory[0] == '\0' || !MakeDirectoryCurrent(ModuleDirectory))
        return;

    CopyText(SetupListStatus.section, sizeof(SetupListStatus.section), "SetupList");
    if (SilentMode && ReadSetupValue("SetupSilent", 1) > 0)
        CopyText(SetupListStatus.section, sizeof(SetupListStatus.section), "SetupSilent");

    EndList(LIST_NO_FILE, 0);
    if (!FileExists(SETUP_LIST_FILE))
        return;
    // The list ends at the first empty key, at the first step that does not fit, and after the
    // last slot of the table.
    for (int slot = 1; slot <= LAST_SETUP_SLOT + 1; slot++) {
        DWORD length = ReadSetupValue(SetupListStatus.section, slot);
        if (length == 0)
            EndList(LIST_EMPTY_KEY, slot);
        else if (slot > LAST_SETUP_SLOT)
            EndList(LIST_TABLE_FULL, slot);
        else if (length >= VALUE_SIZE)
            EndList(LIST_VALUE_TOO_LONG, slot);
        else if (!StoreStep(slot))
            EndList(LIST_FIELD_TOO_LONG, slot);
        else {
            SetupListStatus.steps = slot;
            continue;
        }
        return;
    }
}

DWORD ReadListValue(const char *section, const char *key, char *value, DWORD size)
{
    char listPath[MODULE_DIRECTORY_SIZE + sizeof(SETUP_LIST_NAME)];
    value[0] = '\0';
    if (ModuleDirectory[0] == '\0')
        return 0;
    CopyText(listPath, sizeof(listPath), ModuleDirectory);
    AppendText(listPath, sizeof(listPath), "\\" SETUP_LIST_NAME, sizeof(listPath));
    return GetPrivateProfileStringA(section, key, "", value, size, listPath);
}

BOOL ReadLogSetting(char *path)
{
    DWORD length = ReadListValue("StageRun", "Log", path, LOG_SETTING_SIZE);
    return length > 0 && length < MAX_PATH;
}
