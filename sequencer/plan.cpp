// What a step will do: which file, in which folder, with which parameters and wait rule, and what
// its installer's exit codes mean. Decided here once; the launcher carries it out, the checker and
// the log report it.

#include "stagerun.h"

#define DIRECT_LAUNCH_ARGUMENTS " "
#define OPTION_MARKER_LENGTH 5

StepPlan Plan;
OptionNotes LaunchOptions;

static const char ResponseMarker[] = " -F1\"";
static const char LogMarker[] = " -F2\"";

// An empty hardware-id text is contained in every hardware id: it names no device.
static BOOL IsBlankText(const char *text)
{
    while (*text == ' ')
        text++;
    return *text == '\0';
}

static BOOL SetRelativeTargetPath(const char *file)
{
    return CopyText(TargetPath, sizeof(TargetPath), ".\\") &&
           AppendText(TargetPath, sizeof(TargetPath), file, FILE_SIZE);
}

static void Skip(StepSkip reason)
{
    Plan.action = ACTION_SKIP;
    Plan.skip = reason;
}

// The -f1 value ends at the first double quote followed by a blank; without one, at the first
// double quote, so that a last option's closing quote stays out of the path.
static const char *FindResponseValueEnd(const char *value)
{
    for (const char *c = value; *c != '\0'; c++) {
        if (c[0] == '"' && c[1] == ' ')
            return c;
    }
    const char *quote = strchr(value, '"');
    return quote != NULL ? quote : value + strlen(value);
}

// " -F1"<path>"" when the expanded response file exists; empty when it is missing or too long.
static void BuildResponsePart(const char *value, size_t length, char *part)
{
    char raw[PARAMETERS_SIZE];
    part[0] = '\0';
    memcpy(raw, value, length);
    raw[length] = '\0';
    const char *expanded = ExpandPathTokens(raw);
    LaunchOptions.response = OPTION_TOO_LONG;
    if (expanded == NULL ||
        !CopyText(LaunchOptions.responsePath, sizeof(LaunchOptions.responsePath), expanded))
        return;
    LaunchOptions.response = OPTION_MISSING;
    if (!FileExists(LaunchOptions.responsePath))
        return;
    LaunchOptions.response = OPTION_PASSED;
    if (!AppendText(part, PARAMETERS_SIZE, ResponseMarker, PARAMETERS_SIZE) ||
        !AppendText(part, PARAMETERS_SIZE, LaunchOptions.responsePath, PARAMETERS_SIZE) ||
        !AppendText(part, PARAMETERS_SIZE, "\"", PARAMETERS_SIZE)) {
        LaunchOptions.response = OPTION_TOO_LONG;
        part[0] = '\0';
    }
}

// Rewrites the response-file (-f1) and log-file (-f2) options of a setup program's arguments.
// Arguments without either option pass as written. Arguments longer than the parameters can hold
// give FALSE; an option that does not fit in what remains is dropped as a missing response file
// is, so nothing reaches the installer cut. LaunchOptions tells what became of each option.
BOOL BuildLaunchParameters(const char *arguments, char *parameters)
{
    char upper[PARAMETERS_SIZE];
    char responsePart[PARAMETERS_SIZE] = {};
    char logPart[PARAMETERS_SIZE] = {};
    parameters[0] = '\0';
    LaunchOptions.response = OPTION_ABSENT;
    LaunchOptions.log = OPTION_ABSENT;
    LaunchOptions.responsePath[0] = '\0';
    if (!CopyText(upper, sizeof(upper), arguments))
        return FALSE;
    UpperCaseAscii(upper);
    CopyText(parameters, PARAMETERS_SIZE, arguments);
    const char *response = strstr(upper, ResponseMarker);
    const char *log = strstr(upper, LogMarker);
    if (response == NULL && log == NULL)
        return TRUE;
    // What stands before the options: up to the -f1 marker, or else up to the first blank.
    size_t keep = response != NULL ? (size_t)(response - upper) : strcspn(parameters, " ");
    parameters[keep] = '\0';
    if (response != NULL) {
        const char *value = response + OPTION_MARKER_LENGTH;
        BuildResponsePart(value, (size_t)(FindResponseValueEnd(value) - value), responsePart);
    }
    if (log != NULL) {
        const char *expanded = ExpandPathTokens(log + OPTION_MARKER_LENGTH);
        LaunchOptions.log = OPTION_PASSED;
        if (expanded == NULL || !AppendText(logPart, sizeof(logPart), LogMarker, PARAMETERS_SIZE) ||
            !AppendText(logPart, sizeof(logPart), expanded, PARAMETERS_SIZE)) {
            LaunchOptions.log = OPTION_TOO_LONG;
            logPart[0] = '\0';
        }
    }
    if (!AppendText(parameters, PARAMETERS_SIZE, responsePart, PARAMETERS_SIZE) &&
        LaunchOptions.response == OPTION_PASSED)
        LaunchOptions.response = OPTION_TOO_LONG;
    if (!AppendText(parameters, PARAMETERS_SIZE, logPart, PARAMETERS_SIZE) &&
        LaunchOptions.log == OPTION_PASSED)
        LaunchOptions.log = OPTION_TOO_LONG;
    return TRUE;
}

// Whether two paths name the same file, compared in full.
static BOOL IsSameFilePath(const char *a, const char *b)
{
    char fullA[MAX_PATH], fullB[MAX_PATH];
    DWORD lengthA = GetFullPathNameA(a, sizeof(fullA), fullA, NULL);
    DWORD lengthB = GetFullPathNameA(b, sizeof(fullB), fullB, NULL);
    return lengthA > 0 && lengthA < sizeof(fullA) && lengthB > 0 && lengthB < sizeof(fullB) &&
           IsSameText(fullA, fullB);
}

// Kind "2": the file is taken from the current directory and runs as a copy in the Windows
// directory. A destination that does not fit would be another file: skipped as a missing one.
static BOOL PlanCopy(int n)
{
    UINT length = GetWindowsDirectoryA(WindowsDirectory, sizeof(WindowsDirectory));
    if (length == 0 || length >= sizeof(WindowsDirectory) ||
        !SetRelativeTargetPath(SetupTable.File[n]) ||
        !CopyText(CopyTargetPath, sizeof(CopyTargetPath), WindowsDirectory) ||
        !AppendText(CopyTargetPath, sizeof(CopyTargetPath), "\\", 1) ||
        !AppendText(CopyTargetPath, sizeof(CopyTargetPath), GetFileNamePart(TargetPath),
                    FILE_SIZE)) {
        Skip(SKIP_PATH_TOO_LONG);
        return FALSE;
    }
    if (!FileExists(TargetPath)) {
        Skip(SKIP_FILE_MISSING);
        return FALSE;
    }
    // In the Windows folder itself the file is its own copy: copying it onto itself would fail.
    if (!IsSameFilePath(TargetPath, CopyTargetPath))
        CopyText(Plan.copySource, sizeof(Plan.copySource), TargetPath);
    return CopyText(TargetPath, sizeof(TargetPath), CopyTargetPath);
}

// Kind "1": a relative file runs from its own directory, which is made current here and stays
// current for later steps; every later ".\" path depends on it.
static BOOL PlanRunInPlace(int n)
{
    const char *file = SetupTable.File[n];
    if (file[0] != '\0' && file[1] == ':')
        return CopyText(TargetPath, sizeof(TargetPath), file);
    // The directory part only looks at the first 200 characters; beyond them it would be wrong.
    char joined[DIRECTORY_SCAN_LIMIT];
    if (!CopyText(joined, sizeof(joined), ModuleDirectory) ||
        !AppendText(joined, sizeof(joined), "\\", 1) ||
        !AppendText(joined, sizeof(joined), file, FILE_SIZE)) {
        Skip(SKIP_PATH_TOO_LONG);
        return FALSE;
    }
    CopyText(Plan.folder, sizeof(Plan.folder), GetDirectoryPart(joined));
    // Else ".\<name>" would be looked for, and run, in whatever directory an earlier step left.
    if (!MakeDirectoryCurrent(Plan.folder)) {
        Skip(SKIP_FOLDER_UNAVAILABLE);
        return FALSE;
    }
    return SetRelativeTargetPath(GetFileNamePart(file));
}

const char *const DeclaredExitMeanings[DECLARED_MEANINGS] = {"success", "restart", "failure"};
const char *const ExitMeaningNames[] = {"success", "restart needed", "failure", "restart started",
                                        "Windows Installer busy"};
// Windows Installer's codes, as the deployment tools read them: 1707 is its "installation
// completed successfully", 1641 a restart it started, 1618 another installation in progress.
const ExitRule DefaultExitRules[DEFAULT_EXIT_RULES] = {
    {0, MEANING_SUCCESS},
    {1707, MEANING_SUCCESS},
    {EXIT_RESTART_NEEDED, MEANING_RESTART_NEEDED},
    {EXIT_RESTART_STARTED, MEANING_RESTART_STARTED},
    {EXIT_INSTALLER_BUSY, MEANING_BUSY}};

static const ExitRule *FindExitRule(const ExitRule *rules, int count, DWORD code)
{
    for (int i = 0; i < count; i++) {
        if (rules[i].code == code)
            return &rules[i];
    }
    return NULL;
}

// "code:meaning": a code of 32 bits and a declared meaning, for a code not given before.
static BOOL ReadExitItem(const char *item, ExitRule *rule)
{
    const char *colon = strchr(item, ':');
    DWORD code;
    if (colon == NULL || !ReadNumberText(item, (size_t)(colon - item), &code))
        return FALSE;
    for (int m = 0; m < DECLARED_MEANINGS; m++) {
        if (IsSameText(colon + 1, DeclaredExitMeanings[m]) &&
            FindExitRule(Plan.exitRules, Plan.exitRuleCount, code) == NULL) {
            rule->code = code;
            rule->meaning = (ExitMeaning)m;
            return TRUE;
        }
    }
    return FALSE;
}

// The step's [ExitCodes] value, keyed by its File as written: items separated by blanks or
// commas. An item that cannot be read is left for the log and the checker to name; a value the
// read cut is not read at all, as its last item could be another code.
static void PlanExitCodes(int n)
{
    char items[sizeof(Plan.exitCodes)];
    char item[sizeof(Plan.exitCodes)];
    DWORD length =
        ReadListValue(EXIT_CODES_SECTION, SetupTable.File[n], Plan.exitCodes, sizeof(items));
    if (length >= EXIT_CODES_SIZE) {
        CopyText(Plan.ignoredExitItems, sizeof(Plan.ignoredExitItems), "(over 159 characters)");
        return;
    }
    CopyText(items, sizeof(items), Plan.exitCodes);
    for (char *c = items; *c != '\0'; c++) {
        if (*c == ',' || *c == '\t')
            *c = ' ';
    }
    const char *cursor = items;
    while (NextListName(&cursor, ' ', item, sizeof(item)) > 0) {
        if (Plan.exitRuleCount < EXIT_RULE_LIMIT &&
            ReadExitItem(item, &Plan.exitRules[Plan.exitRuleCount])) {
            Plan.exitRuleCount++;
            continue;
        }
        // The items ignored, each with one blank between, take no more room than the value.
        if (Plan.ignoredExitItems[0] != '\0')
            AppendText(Plan.ignoredExitItems, sizeof(Plan.ignoredExitItems), " ", 1);
        AppendText(Plan.ignoredExitItems, sizeof(Plan.ignoredExitItems), item, sizeof(item));
    }
}

ExitMeaning MeaningOfExitCode(DWORD code, BOOL *declared)
{
    const ExitRule *rule = FindExitRule(Plan.exitRules, Plan.exitRuleCount, code);
    *declared = rule != NULL;
    if (rule == NULL)
        rule = FindExitRule(DefaultExitRules, DEFAULT_EXIT_RULES, code);
    return rule != NULL ? rule->meaning : MEANING_FAILURE;
}

// The step's [Detect] rule, keyed as [ExitCodes]: read, and evaluated on this machine. A rule
// that cannot be read, or that the read cut, counts as none, and Plan says why.
static void PlanDetect(int n)
{
    DWORD length =
        ReadListValue(DETECT_SECTION, SetupTable.File[n], Plan.detectText, DETECT_SIZE + 2);
    if (length == 0)
        return;
    Plan.detect = DETECT_INVALID;
    if (length >= DETECT_SIZE)
        CopyText(Plan.detectFound, sizeof(Plan.detectFound), "too long");
    else if (ReadDetectRule(Plan.detectText, &Plan.detectRule, Plan.detectFound))
        Plan.detect = EvaluateDetectRule() ? DETECT_HOLDS : DETECT_DOES_NOT_HOLD;
}

static void PlanLaunch(int n)
{
    // A copy's source was tested already; the copy itself is made only when the step runs.
    if (Plan.copySource[0] == '\0' && !FileExists(TargetPath)) {
        Skip(SKIP_FILE_MISSING);
        return;
    }
    PlanDetect(n);
    if (Plan.detect == DETECT_HOLDS) {
        Plan.action = ACTION_INSTALLED;
        return;
    }
    Plan.reboot = IsSameText(SetupTable.RebootFlag[n], "1");
    PlanExitCodes(n);
    const char *arguments = SetupTable.Arguments[n];
    if (strcmp(arguments, DIRECT_LAUNCH_ARGUMENTS) == 0) {
        Plan.action = ACTION_LAUNCH;
        Plan.waitSeparator = '~';
        CopyText(Plan.parameters, sizeof(Plan.parameters), arguments);
        return;
    }
    Plan.action = ACTION_DIALOG_LAUNCH;
    Plan.waitSeparator = '*';
    Plan.isPackage = IsSameText(GetExtensionPart(TargetPath), "msi");
    if (Plan.isPackage)
        CopyText(Plan.parameters, sizeof(Plan.parameters), arguments);
    else
        BuildLaunchParameters(arguments, Plan.parameters);
}

// Kind "0": the file is looked for in the current directory, but the INF is always installed from
// the program's directory; a step whose INF is not there would open the dialog for nothing.
static void PlanDriver(int n)
{
    const char *infPath = ResolveRelativePath(ModuleDirectory, SetupTable.File[n]);
    if (IsBlankText(SetupTable.Arguments[n]))
        Skip(SKIP_NO_HARDWARE_ID);
    else if (!SetRelativeTargetPath(SetupTable.File[n]))
        Skip(SKIP_PATH_TOO_LONG);
    else if (!FileExists(TargetPath))
        Skip(SKIP_FILE_MISSING);
    else if (infPath == NULL || !CopyText(Plan.infPath, sizeof(Plan.infPath), infPath))
        Skip(SKIP_PATH_TOO_LONG);
    else if (!FileExists(Plan.infPath))
        Skip(SKIP_INF_MISSING);
    else
        Plan.action = ACTION_INSTALL_DRIVER;
}

void PlanStep(int n)
{
    memset(&Plan, 0, sizeof(Plan));
    memset(&LaunchOptions, 0, sizeof(LaunchOptions));
    TargetPath[0] = '\0';
    Plan.number = n;
    Plan.action = ACTION_END;
    if (n > LAST_SETUP_SLOT)
        return;
    const char *kind = SetupTable.Kind[n];
    if (kind[0] == '2' || kind[0] == '1') {
        BOOL prepared = kind[0] == '2' ? PlanCopy(n) : PlanRunInPlace(n);
        if (!prepared)
            return;
        GetCurrentDirectoryA(sizeof(Plan.folder), Plan.folder);
        PlanLaunch(n);
    } else if (kind[0] == '0') {
        PlanDriver(n);
    } else if (IsSameText(kind, "-1")) {
        if (IsBlankText(SetupTable.Arguments[n]))
            Skip(SKIP_NO_HARDWARE_ID);
        else
            Plan.action = ACTION_REMOVE_DEVICE;
    } else if (IsSameText(kind, "-2")) {
        Plan.action = ACTION_RESCAN;
    }
}

char *WaitPattern(char *name)
{
    return strstr(name, "*.") != NULL ? name + 1 : NULL;
}
