// The check: loads the list and plans every step exactly as the launcher does, then says what
// each step will do and what in the medium will not do what it seems to say.

#include "check.h"

static ScannedSection Section;
static int FolderStep; // the last step that made a folder other than the medium's current
// The files of the other section's steps: an [ExitCodes] key may be meant for that run.
static char OtherFiles[SETUP_SLOTS][FILE_SIZE];
static char OtherKinds[SETUP_SLOTS][KIND_SIZE];

static int KeyLine(int number)
{
    return number <= SCANNED_KEY_LIMIT ? Scan.keyLine[Section][number] : 0;
}

static BOOL JoinPath(char *path, const char *folder, const char *name)
{
    return CopyText(path, CHECK_PATH_SIZE, folder) && AppendText(path, CHECK_PATH_SIZE, "\\", 1) &&
           AppendText(path, CHECK_PATH_SIZE, name, CHECK_PATH_SIZE);
}

static BOOL FileInFolder(const char *folder, const char *name)
{
    char path[CHECK_PATH_SIZE];
    return JoinPath(path, folder, name) && FileExists(path);
}

static void MediumFindings(const char *folder)
{
    BOOL launcher = FileInFolder(folder, LAUNCHER_NAME);
    BOOL sibling = FileInFolder(folder, SIBLING_NAME);
    if (launcher && !sibling)
        AddFinding(FINDING_ERROR, -1, 0, "sibling-missing",
                   SIBLING_NAME " is not beside " LAUNCHER_NAME
                                ": on 64-bit Windows the run is handed to it and fails");
    if (!launcher && !sibling)
        AddFinding(FINDING_WARNING, -1, 0, "no-launcher",
                   "neither " LAUNCHER_NAME " nor " SIBLING_NAME " is in the folder");
    const char *const redirections[] = {LAUNCHER_NAME ".local", SIBLING_NAME ".local"};
    for (const char *name : redirections) {
        char path[CHECK_PATH_SIZE];
        if (JoinPath(path, folder, name) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            AddFinding(FINDING_ERROR, -1, 0, "dll-redirection",
                       "%s redirects the launcher's DLLs: the launcher refuses to run", name);
    }
}

static void ListFindings(void)
{
    if (Scan.encoding == ENCODING_UTF8_BOM)
        AddFinding(FINDING_WARNING, 1, 0, "encoding",
                   "the list starts with a UTF-8 byte order mark, which Windows versions read "
                   "differently; save it as plain ANSI text");
    else if (Scan.encoding == ENCODING_UTF16)
        AddFinding(FINDING_WARNING, 1, 0, "encoding",
                   "the list is UTF-16 text: it is converted to the system's ANSI code page, so "
                   "names outside that code page change; save it as plain ANSI text");
    if (Scan.firstNonAsciiLine != 0)
        AddFinding(FINDING_WARNING, Scan.firstNonAsciiLine, 0, "code-page",
                   "characters outside ASCII are read in the target system's ANSI code page "
                   "(949 on Korean Windows, 1252 on Western): they name other characters on "
                   "other systems");
    // A section with no keys at all is a placeholder; keys without a Setup1 value are a mistake.
    if (Scan.keyCount[SECTION_SETUP_SILENT] > 0 && !Scan.keyHasValue[SECTION_SETUP_SILENT][1])
        AddFinding(FINDING_WARNING, Scan.keyLine[SECTION_SETUP_SILENT][1], 0,
                   "silent-section-empty",
                   "[SetupSilent] has no Setup1 value: a silent run (/s) uses [SetupList]");
}

// The list as loaded: where and why it ends.
static void ListEndFindings(char *reason, size_t capacity)
{
    int key = SetupListStatus.key;
    int line = KeyLine(key);
    switch (SetupListStatus.end) {
    case LIST_EMPTY_KEY:
        snprintf(reason, capacity, "after step %d: Setup%d is empty or missing", key - 1, key);
        if (Scan.lastKey[Section] > key) {
            int next = key + 1;
            while (!Scan.keyHasValue[Section][next])
                next++;
            AddFinding(FINDING_ERROR, KeyLine(next), 0, "numbering-gap",
                       "Setup%d is empty or missing, so the list ends there: Setup%d and the "
                       "keys after it never run",
                       key, next);
        } else if (key == 1)
            AddFinding(FINDING_ERROR, line, 0, "no-steps",
                       "[%s] has no Setup1 value: the launcher does nothing",
                       SetupListStatus.section);
        return;
    case LIST_VALUE_TOO_LONG:
        snprintf(reason, capacity, "before step %d: its value is too long", key);
        AddFinding(FINDING_ERROR, line, key, "value-too-long",
                   "the value of Setup%d is longer than 149 characters: the list ends before it",
                   key);
        return;
    case LIST_FIELD_TOO_LONG:
        snprintf(reason, capacity, "before step %d: its %s field is too long", key,
                 SetupFieldNames[SetupListStatus.field - 1]);
        AddFinding(FINDING_ERROR, line, key, "field-too-long",
                   "the %s field of Setup%d is longer than its %d characters: the list ends "
                   "before it",
                   SetupFieldNames[SetupListStatus.field - 1], key,
                   (int)SetupFieldCapacities[SetupListStatus.field - 1] - 1);
        return;
    case LIST_TABLE_FULL:
        snprintf(reason, capacity, "after step %d: at most %d steps are read", key - 1,
                 LAST_SETUP_SLOT);
        AddFinding(FINDING_ERROR, line, key, "too-many-steps",
                   "at most %d steps are read: Setup%d and the keys after it never run",
                   LAST_SETUP_SLOT, key);
        return;
    case LIST_NO_PROGRAM_PATH:
    case LIST_NO_FILE:
        snprintf(reason, capacity, "at once: no list is read");
        return;
    }
}

static void ReportFileMissing(int n, const char *file, const char *current, BOOL folderChanged)
{
    const char *name = file[0] == '.' && file[1] == '\\' ? file + 2 : file;
    if (!folderChanged && FolderStep != 0 && FileInFolder(ModuleDirectory, name))
        AddFinding(FINDING_ERROR, KeyLine(n), n, "file-missing",
                   "%s is not in %s, the folder step %d made current (it is in the medium's "
                   "folder, where this step does not look)",
                   name, current, FolderStep);
    else
        AddFinding(FINDING_ERROR, KeyLine(n), n, "file-missing", "%s is not in %s", name, current);
}

// current: the folder the step looked in; folderChanged: the step itself made it current.
static void ReportSkip(int n, const char *current, BOOL folderChanged)
{
    static const char *const Reasons[] = {"",
                                          "its file is missing",
                                          "its folder cannot be made current",
                                          "a path it needs is too long",
                                          "its hardware-id text is blank",
                                          "the INF it would install is missing"};
    char summary[MESSAGE_SIZE];
    snprintf(summary, sizeof(summary), "skipped: %s", Reasons[Plan.skip]);
    ReportStepBegin(n, KeyLine(n), "skip", summary);
    ReportField("file", "file", SetupTable.File[n], NULL);
    ReportField("folder", "looked in", current, NULL);
    ReportStepEnd();
    switch (Plan.skip) {
    case SKIP_FILE_MISSING:
        ReportFileMissing(n, TargetPath, current, folderChanged);
        break;
    case SKIP_FOLDER_UNAVAILABLE:
        AddFinding(FINDING_ERROR, KeyLine(n), n, "folder-missing",
                   "the folder %s does not exist or cannot be made current: the step is skipped",
                   Plan.folder);
        break;
    case SKIP_PATH_TOO_LONG:
        AddFinding(FINDING_ERROR, KeyLine(n), n, "path-too-long",
                   "a path the step needs does not fit the launcher's buffers: the step is "
                   "skipped");
        break;
    case SKIP_NO_HARDWARE_ID:
        AddFinding(FINDING_ERROR, KeyLine(n), n, "empty-hardware-id",
                   "a blank hardware-id text would match every device: the step is skipped");
        break;
    case SKIP_INF_MISSING:
        AddFinding(FINDING_ERROR, KeyLine(n), n, "inf-missing",
                   "%s passes the test in the current folder, but the driver is installed from "
                   "%s, which is missing: the step is skipped",
                   SetupTable.File[n], Plan.infPath);
        break;
    case SKIP_NONE:
        break;
    }
}

// Names as the launcher's watch reads them: with "~", one holding "*." is a pattern of what
// follows its first character; with "*", every name is plain and counts only a process the run
// started, at any depth.
#define RUN_PROCESS_RULE "started by the run, at any depth"

// The process the launch starts holds the step whatever its name: a package's is its
// installation, the Windows Installer's.
static void ReportWaits(int n)
{
    char name[WATCHED_NAME_SIZE];
    CopyText(name, sizeof(name), GetFileNamePart(SetupTable.File[n]));
    ReportWait(name, Plan.isPackage
                         ? "its installation: the msiexec.exe the launch starts, until "
                           "it ends"
                         : "the process the launch starts, and any of that name " RUN_PROCESS_RULE);
    const char *cursor = SetupTable.WaitList[n];
    BOOL misfit = Plan.waitSeparator == '*' && strchr(cursor, '~') != NULL;
    while (NextListName(&cursor, Plan.waitSeparator, name, sizeof(name)) > 0) {
        char *pattern = WaitPattern(name);
        if (strspn(name, " \t") == strlen(name))
            continue; // a blank field: the name of no process
        if (pattern != NULL) {
            char rule[WATCHED_NAME_SIZE + 64];
            snprintf(rule, sizeof(rule), "any process whose name contains \"%s\"", pattern);
            ReportWait(name, rule);
        } else {
            ReportWait(name, RUN_PROCESS_RULE);
        }
        if (Plan.waitSeparator == '~' ? strchr(name, '*') != NULL && strncmp(name, "*.", 2) != 0
                                      : name[0] == '.')
            misfit = TRUE;
    }
    if (misfit)
        AddFinding(FINDING_WARNING, KeyLine(n), n, "wait-separator",
                   Plan.waitSeparator == '~'
                       ? "a directly launched step separates its wait list with \"~\"; a name "
                         "holding \"*\" is only a useful pattern when it starts with \"*.\""
                       : "a step under the progress dialog separates its wait list with \"*\" "
                         "and has no patterns: \"~\" is part of a name and \"*.x\" is the plain "
                         "name \".x\"");
}

static void ReportParameters(int n)
{
    const char *arguments = SetupTable.Arguments[n];
    ReportField("parameters", "parameters", Plan.parameters,
                Plan.action == ACTION_LAUNCH ? "none (a single blank)" : NULL);
    if (Plan.isPackage) {
        char scratch[PARAMETERS_SIZE];
        BuildLaunchParameters(arguments, scratch);
        if (LaunchOptions.response != OPTION_ABSENT || LaunchOptions.log != OPTION_ABSENT)
            AddFinding(FINDING_WARNING, KeyLine(n), n, "options-on-msi",
                       "the -f1/-f2 options of an .msi step are passed as written, not rewritten");
        return;
    }
    if (LaunchOptions.response == OPTION_PASSED)
        ReportField("response", "-f1 file", LaunchOptions.responsePath, NULL);
    if (LaunchOptions.response == OPTION_MISSING) {
        char note[MESSAGE_SIZE];
        snprintf(note, sizeof(note), "%s (missing: the -f1 option is dropped)",
                 LaunchOptions.responsePath);
        ReportField("responseMissing", "-f1 file", LaunchOptions.responsePath, note);
        AddFinding(FINDING_ERROR, KeyLine(n), n, "response-file-missing",
                   "the response file %s is missing: the -f1 option is dropped and the "
                   "installer runs without it",
                   LaunchOptions.responsePath);
    }
    if (LaunchOptions.response == OPTION_TOO_LONG || LaunchOptions.log == OPTION_TOO_LONG)
        AddFinding(FINDING_ERROR, KeyLine(n), n, "option-too-long",
                   "an -f1 or -f2 option is too long once its path is expanded: it is dropped");
}

// The line of the [ExitCodes] or [Detect] key the ini reader finds for a file, else the step's.
static int FileKeyLine(ScannedSection section, int n)
{
    int keyed = section - SECTION_EXIT_CODES;
    for (int k = 0; k < Scan.fileKeyCount[keyed]; k++) {
        if (IsSameText(Scan.fileKey[keyed][k], SetupTable.File[n]))
            return Scan.fileKeyLine[keyed][k];
    }
    return KeyLine(n);
}

// The rule as this machine answers it; one that cannot be read leaves the step without one.
static void ReportDetect(int n)
{
    ReportDetectRule();
    if (Plan.detect == DETECT_INVALID)
        AddFinding(FINDING_ERROR, FileKeyLine(SECTION_DETECT, n), n, "detect-invalid",
                   "[" DETECT_SECTION "] %s: \"%s\" cannot be read (%s), so the step runs as if "
                   "it had no rule; write msi:{PRODUCT-CODE}, file:PATH, reg:ROOT\\KEY or "
                   "reg:ROOT\\KEY,VALUE, each with an optional comparison (=, !=, <, <=, >, >=) "
                   "and a value after it",
                   SetupTable.File[n], Plan.detectText, Plan.detectFound);
}

static void ReportInstalled(int n)
{
    ReportStepBegin(n, KeyLine(n), "installed",
                    "already installed on this machine: skipped, and counts as done");
    ReportField("file", "file", TargetPath, NULL);
    ReportField("folder", "folder", Plan.folder, NULL);
    ReportDetect(n);
    ReportStepEnd();
}

static void ReportExitCodes(int n)
{
    ReportExitRules();
    if (Plan.ignoredExitItems[0] != '\0')
        AddFinding(FINDING_ERROR, FileKeyLine(SECTION_EXIT_CODES, n), n, "exit-codes-invalid",
                   "[" EXIT_CODES_SECTION "] %s: \"%s\" cannot be read and is ignored; write "
                   "code:success, code:restart or code:failure, each code once, in at most 159 "
                   "characters",
                   SetupTable.File[n], Plan.ignoredExitItems);
    ReportExitCodeStep(n);
    ReportDetect(n);
}

// A package's identity from its Property table, and the [Detect] rule to write when the step has
// none. A database the Windows Installer cannot read is said in one line: the check goes on.
static void ReportPackage(int n, const char *path)
{
    static const char *const Names[PACKAGE_PROPERTIES] = {"productName", "productVersion",
                                                          "productCode", "upgradeCode"};
    static const char *const Labels[PACKAGE_PROPERTIES] = {"product", "version", "productCode",
                                                           "upgradeCode"};
    PackageIdentity identity;
    char why[MESSAGE_SIZE / 2]; // its sentences are short
    if (!ReadPackageIdentity(path, &identity, why, sizeof(why))) {
        char note[MESSAGE_SIZE];
        snprintf(note, sizeof(note), "cannot be read: %s", why);
        ReportField("packageError", "package", why, note);
        return;
    }
    for (int i = 0; i < PACKAGE_PROPERTIES; i++) {
        if (identity.values[i][0] != '\0')
            ReportField(Names[i], Labels[i], identity.values[i], NULL);
    }
    char rule[DETECT_SIZE];
    if (Plan.detect == DETECT_NONE && FormatDetectRule(&identity, rule, sizeof(rule))) {
        char note[MESSAGE_SIZE];
        snprintf(note, sizeof(note), "[" DETECT_SECTION "] %s=%s", SetupTable.File[n], rule);
        ReportField("detectRule", "declare", rule, note);
    }
}

// What the step's installer is, what a run of it nobody watches needs, and the exit code of it the
// defaults read wrong. In a silent run, one whose arguments hold none of its unattended switches
// shows its window and waits for someone to answer it.
static void ReportInstaller(int n)
{
    const char *path = Plan.copySource[0] != '\0' ? Plan.copySource : TargetPath;
    InstallerType type = RecognizeInstaller(path);
    const InstallerKind *kind = &InstallerKinds[type];
    ReportField("installer", "installer", kind->id, kind->name);
    if (type == TYPE_UNKNOWN)
        return;
    ReportField("unattended", "unattended", kind->unattended, NULL);
    BOOL declared = FALSE;
    char item[32];
    if (FormatExitCodeItem(type, item, sizeof(item)) &&
        (MeaningOfExitCode(kind->noteCode, &declared), !declared)) {
        char note[MESSAGE_SIZE];
        snprintf(note, sizeof(note), "[" EXIT_CODES_SECTION "] %s=%s (%lu: %s)", SetupTable.File[n],
                 item, (unsigned long)kind->noteCode, kind->noteWhy);
        ReportField("exitCodeItem", "declare", item, note);
    }
    if (type == TYPE_MSI)
        ReportPackage(n, path);
    if (SilentMode && !HasUnattendedSwitch(type, SetupTable.Arguments[n]))
        AddFinding(FINDING_WARNING, KeyLine(n), n, "not-silent",
                   "%s (%s) gets none of its unattended switches: in this silent run it shows its "
                   "window and waits for someone; pass %s",
                   SetupTable.File[n], kind->name, kind->unattended);
}

static void ReportLaunch(int n)
{
    BOOL direct = Plan.action == ACTION_LAUNCH;
    ReportStepBegin(n, KeyLine(n), direct ? "launch" : "dialog",
                    direct ? "run directly, wait for it and its wait list, then settle about 6 s"
                           : "run under the progress dialog, which waits for it and its wait "
                             "list");
    if (Plan.copySource[0] != '\0') {
        char note[MESSAGE_SIZE];
        snprintf(note, sizeof(note), "%s\\%s into the Windows folder", Plan.folder,
                 GetFileNamePart(Plan.copySource));
        ReportField("copyFrom", "copies", Plan.copySource, note);
    } else if (SetupTable.Kind[n][0] == '2') {
        ReportField("copyFrom", "copies", "", "nothing: the file is in the Windows folder already");
    }
    ReportField("file", "file", TargetPath, NULL);
    ReportField("folder", "folder", Plan.folder, NULL);
    ReportParameters(n);
    ReportFlag("restart", "restart", Plan.reboot);
    ReportInstaller(n);
    ReportExitCodes(n);
    ReportWaits(n);
    ReportStepEnd();
}

static void ReportDevice(int n)
{
    const char *text = SetupTable.Arguments[n];
    if (Plan.action == ACTION_RESCAN) {
        ReportStepBegin(n, KeyLine(n), "rescan", "rescan the hardware");
    } else if (Plan.action == ACTION_REMOVE_DEVICE) {
        ReportStepBegin(n, KeyLine(n), "remove-device",
                        "remove the present device whose first hardware id contains the text");
        ReportField("hardwareIdText", "device", text, NULL);
    } else {
        ReportStepBegin(n, KeyLine(n), "install-driver",
                        "install the INF's driver for the present device whose first hardware id "
                        "contains the text, under the progress dialog");
        ReportField("inf", "INF", Plan.infPath, NULL);
        ReportField("hardwareIdText", "device", text, NULL);
    }
    ReportStepEnd();
}

// Findings the plan does not decide on, only the author's intent.
static void StepTextFindings(int n)
{
    const char *flag = SetupTable.RebootFlag[n];
    const char *kind = SetupTable.Kind[n];
    if (flag[0] != '\0' && strcmp(flag, "1") != 0)
        AddFinding(FINDING_WARNING, KeyLine(n), n, "restart-flag",
                   "the restart flag \"%s\" is not \"1\": no restart is asked for", flag);
    else if (flag[0] != '\0' && kind[0] != '1' && kind[0] != '2')
        AddFinding(FINDING_WARNING, KeyLine(n), n, "restart-flag-ignored",
                   "a device step asks for no restart: its restart flag is ignored (a driver that "
                   "needs one asks for it itself)");
    if (SetupListStatus.unclosedQuote[n])
        AddFinding(FINDING_WARNING, KeyLine(n), n, "unclosed-quote",
                   "a double quote is never closed, so every comma of the value separates fields, "
                   "also those after the quote");
    if (n <= SCANNED_KEY_LIMIT && Scan.trailingBlank[Section][n])
        AddFinding(FINDING_WARNING, KeyLine(n), n, "trimmed-blank",
                   "the blank after the last comma is trimmed by the ini reader, so that field "
                   "is empty%s; end the value with a comma (\", ,\")",
                   SetupTable.Arguments[n][0] == '\0' && (kind[0] == '1' || kind[0] == '2')
                       ? " and the step runs under the progress dialog instead of directly"
                       : "");
}

// Plans every step in order, as the launcher's timer would; returns the step the run ends at.
static int WalkSteps(BOOL *restart)
{
    char current[CHECK_PATH_SIZE];
    char now[CHECK_PATH_SIZE];
    FolderStep = 0;
    *restart = FALSE;
    for (int n = 1;; n++) {
        GetCurrentDirectoryA(sizeof(current), current);
        PlanStep(n);
        if (Plan.action == ACTION_END)
            return n;
        // A kind "1" step makes its own folder current before it looks for its file.
        GetCurrentDirectoryA(sizeof(now), now);
        BOOL folderChanged = !IsSameText(now, current);
        StepTextFindings(n);
        switch (Plan.action) {
        case ACTION_SKIP:
            ReportSkip(n, now, folderChanged);
            NoteFailure(FAILURE_SKIPPED, (DWORD)Plan.skip);
            break;
        case ACTION_INSTALLED:
            ReportInstalled(n);
            break;
        case ACTION_LAUNCH:
        case ACTION_DIALOG_LAUNCH:
            ReportLaunch(n);
            *restart = *restart || Plan.reboot;
            break;
        default:
            ReportDevice(n);
            break;
        }
        if (folderChanged)
            FolderStep = IsSameText(now, ModuleDirectory) ? 0 : n;
    }
}

static BOOL CheckFolder(const CheckRequest *request, char *folder, char *message)
{
    DWORD length = GetFullPathNameA(request->folder != NULL ? request->folder : ".",
                                    CHECK_PATH_SIZE, folder, NULL);
    if (length == 0 || length >= CHECK_PATH_SIZE) {
        snprintf(message, MESSAGE_SIZE, "%s: the folder's path cannot be read",
                 request->folder != NULL ? request->folder : ".");
        return FALSE;
    }
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        snprintf(message, MESSAGE_SIZE, "%s: no such folder", folder);
        return FALSE;
    }
    // Paths are joined with a backslash of their own; a root stays "D:", as the launcher has it.
    if (folder[length - 1] == '\\')
        folder[length - 1] = '\0';
    return TRUE;
}

static BOOL IsLaunchKind(const char *kind)
{
    return kind[0] == '1' || kind[0] == '2';
}

// A key of [ExitCodes] or [Detect] that names no step's File in either list; a rule of [Detect]
// counts only for a launch.
static void FileKeyFindings(ScannedSection section)
{
    int keyed = section - SECTION_EXIT_CODES;
    BOOL detect = section == SECTION_DETECT;
    for (int k = 0; k < Scan.fileKeyCount[keyed]; k++) {
        const char *key = Scan.fileKey[keyed][k];
        BOOL used = FALSE;
        for (int n = 1; n <= LAST_SETUP_SLOT; n++)
            used = used ||
                   (IsSameText(key, SetupTable.File[n]) &&
                    (!detect || IsLaunchKind(SetupTable.Kind[n]))) ||
                   (IsSameText(key, OtherFiles[n]) && (!detect || IsLaunchKind(OtherKinds[n])));
        if (!used)
            AddFinding(FINDING_WARNING, Scan.fileKeyLine[keyed][k], 0,
                       detect ? "detect-unused" : "exit-codes-unused",
                       "[%s] %s names no %sstep's file in [SetupList] or [SetupSilent], so it is "
                       "never used; the key is the File field as written",
                       detect ? DETECT_SECTION : EXIT_CODES_SECTION, key, detect ? "launch " : "");
    }
}

// As the launcher would end the run: a skipped step fails it, a restart the list asks for is
// started (after the question in a normal run) unless /norestart holds.
static int PredictExitCode(BOOL restart)
{
    if (SetupListStatus.steps == 0)
        NoteFailure(FAILURE_NO_LIST, 0);
    if (restart)
        Outcome.restart = NoRestart ? RESTART_SUPPRESSED : RESTART_STARTED;
    return DecideExitCode();
}

int CheckMedium(const CheckRequest *request)
{
    char folder[CHECK_PATH_SIZE];
    char path[CHECK_PATH_SIZE];
    char message[MESSAGE_SIZE];
    // A starter list reads only the medium's files: any checker can write it.
    if (IsRunningUnderWow64() && !request->starter)
        return HandCheckTo64BitChecker(request);
    BeginFindings(request);
    if (!CheckFolder(request, folder, message)) {
        ReportUnreadable(request, message);
        return CHECK_UNREADABLE;
    }
    if (request->starter)
        return PrintStarterList(folder);
    if (!JoinPath(path, folder, SETUP_LIST_NAME) || !FileExists(path)) {
        snprintf(message, sizeof(message), "%s: no %s in this folder", folder, SETUP_LIST_NAME);
        ReportUnreadable(request, message);
        return CHECK_UNREADABLE;
    }
    if (!ScanListFile(path, message, sizeof(message))) {
        ReportUnreadable(request, message);
        return CHECK_UNREADABLE;
    }
    // The launcher finds its list from its own path: check as if it stood in the folder.
    JoinPath(path, folder, LAUNCHER_NAME); // no longer than the list's path
    SilentMode = request->silent ? 0 : 1;
    memset(&SetupTable, 0, sizeof(SetupTable));
    LoadSetupListAt(path);
    memcpy(OtherFiles, SetupTable.File, sizeof(OtherFiles));
    memcpy(OtherKinds, SetupTable.Kind, sizeof(OtherKinds));
    SilentMode = request->silent ? 1 : 0;
    memset(&SetupTable, 0, sizeof(SetupTable));
    memset(&Outcome, 0, sizeof(Outcome));
    LoadSetupListAt(path);
    if (SetupListStatus.end == LIST_NO_PROGRAM_PATH) {
        snprintf(message, sizeof(message),
                 "%s: the launcher reads no list in a folder whose path is this long", folder);
        ReportUnreadable(request, message);
        return CHECK_UNREADABLE;
    }
    Section = SectionIndex(SetupListStatus.section);
    BeginReport(request, folder);
    MediumFindings(folder);
    ListFindings();
    BOOL restart = FALSE;
    int end = WalkSteps(&restart);
    char reason[MESSAGE_SIZE];
    if (end <= SetupListStatus.steps) {
        snprintf(reason, sizeof(reason), "at step %d: kind \"%s\" ends the run", end,
                 SetupTable.Kind[end]);
        AddFinding(FINDING_ERROR, KeyLine(end), end, "unknown-kind",
                   "kind \"%s\" is none of 1, 2, 0, -1, -2: the run ends here%s",
                   SetupTable.Kind[end],
                   end < SetupListStatus.steps ? " and later steps never run" : "");
    } else {
        ListEndFindings(reason, sizeof(reason));
    }
    FileKeyFindings(SECTION_EXIT_CODES);
    FileKeyFindings(SECTION_DETECT);
    ReportEnd(reason, restart, PredictExitCode(restart), restart && !request->silent && !NoRestart);
    return EndReport();
}
