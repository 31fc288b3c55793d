// stagerun-check /new: a starter StageRun.ini for the installers in a folder and its subfolders,
// printed and never written, with what the checker knows of each installer. Saved beside them it
// checks without errors; the author then orders the steps and fills in what is still unknown.

#include "check.h"

// Folders below the medium that are read, and the notes kept of what was left out.
#define STARTER_DEPTH 8
#define NOTE_LIMIT 20
#define NOTE_SIZE (CHECK_PATH_SIZE + 64)

struct StarterStep {
    char file[FILE_SIZE]; // relative to the medium folder
    InstallerType type;
};

static const char *const StarterLaunchers[] = {"stagerun.exe", "stagerun64.exe",
                                               "stagerun-check.exe", "stagerun-check64.exe"};
static StarterStep Steps[LAST_SETUP_SLOT];
static int StepCount;
static int Unlisted; // installers past the last slot
static char Notes[NOTE_LIMIT][NOTE_SIZE];
static int NoteCount;
static int NotesUnlisted;
static char Medium[CHECK_PATH_SIZE];

static char LowerLetter(char c)
{
    return (char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

// Folder and name order, letter case ignored: a folder's files come before its subfolders.
static int CompareFiles(const char *a, const char *b)
{
    for (;;) {
        const char *endA = strchr(a, '\\'), *endB = strchr(b, '\\');
        if ((endA == NULL) != (endB == NULL))
            return endA == NULL ? -1 : 1;
        size_t lengthA = endA != NULL ? (size_t)(endA - a) : strlen(a);
        size_t lengthB = endB != NULL ? (size_t)(endB - b) : strlen(b);
        for (size_t i = 0; i < lengthA && i < lengthB; i++) {
            if (LowerLetter(a[i]) != LowerLetter(b[i]))
                return (unsigned char)LowerLetter(a[i]) - (unsigned char)LowerLetter(b[i]);
        }
        if (lengthA != lengthB)
            return lengthA < lengthB ? -1 : 1;
        if (endA == NULL)
            return 0;
        a = endA + 1;
        b = endB + 1;
    }
}

static void AddNote(const char *format, const char *path)
{
    if (NoteCount == NOTE_LIMIT) {
        NotesUnlisted++;
        return;
    }
    snprintf(Notes[NoteCount++], NOTE_SIZE, format, path);
}

static BOOL EndsWith(const char *name, const char *ending)
{
    size_t length = strlen(name), size = strlen(ending);
    return length > size && IsSameText(name + length - size, ending);
}

static BOOL IsInstallerName(const char *name)
{
    for (const char *launcher : StarterLaunchers) {
        if (IsSameText(name, launcher))
            return FALSE;
    }
    return EndsWith(name, ".exe") || EndsWith(name, ".msi");
}

// Keeps the first installers in folder and name order: when the table is full, one that sorts
// before its last takes that one's place.
static void AddStep(const char *file)
{
    if (strlen(file) >= FILE_SIZE) {
        AddNote("; left out: %s (a path longer than 99 characters does not fit the File field)",
                file);
        return;
    }
    if (strchr(file, ',') != NULL) {
        AddNote("; left out: %s (a comma would split the File field)", file);
        return;
    }
    int slot = StepCount;
    if (StepCount == LAST_SETUP_SLOT) {
        Unlisted++;
        slot = 0;
        for (int i = 1; i < StepCount; i++) {
            if (CompareFiles(Steps[i].file, Steps[slot].file) > 0)
                slot = i;
        }
        if (CompareFiles(file, Steps[slot].file) > 0)
            return;
    } else {
        StepCount++;
    }
    CopyText(Steps[slot].file, FILE_SIZE, file);
}

// relative: the folder below the medium's, "" for the medium's own.
static BOOL ReadFolder(const char *relative, int depth)
{
    char pattern[CHECK_PATH_SIZE];
    WIN32_FIND_DATAA found;
    int written = snprintf(pattern, sizeof(pattern), "%s%s%s\\*", Medium,
                           relative[0] != '\0' ? "\\" : "", relative);
    if (written < 0 || written >= (int)sizeof(pattern)) {
        AddNote("; not read: %s (its path is too long)", relative);
        return TRUE;
    }
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) {
        if (depth == 0)
            return FALSE;
        AddNote("; not read: %s (the folder cannot be listed)", relative);
        return TRUE;
    }
    do {
        const char *name = found.cFileName;
        BOOL folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        char path[CHECK_PATH_SIZE];
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 ||
            (!folder && !IsInstallerName(name)))
            continue;
        written =
            snprintf(path, sizeof(path), "%s%s%s", relative, relative[0] != '\0' ? "\\" : "", name);
        if (written < 0 || strlen(Medium) + 1 + (size_t)written >= sizeof(path))
            AddNote("; left out: a name in %s (its path is too long)", relative);
        else if (!folder)
            AddStep(path);
        else if (depth + 1 > STARTER_DEPTH)
            AddNote("; not read: %s (folders more than 8 levels down are not read)", path);
        else
            ReadFolder(path, depth + 1);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return TRUE;
}

static void SortSteps(void)
{
    for (int i = 1; i < StepCount; i++) {
        StarterStep step = Steps[i];
        int j = i;
        for (; j > 0 && CompareFiles(Steps[j - 1].file, step.file) > 0; j--)
            Steps[j] = Steps[j - 1];
        Steps[j] = step;
    }
}

// Always fits: ReadFolder keeps only files whose full path does.
static BOOL FullPath(char *path, const char *file)
{
    int written = snprintf(path, CHECK_PATH_SIZE, "%s\\%s", Medium, file);
    return written > 0 && written < CHECK_PATH_SIZE;
}

// What was recognised, in a comment above the step.
static void WriteRecognized(int n)
{
    const StarterStep *step = &Steps[n - 1];
    if (step->type == TYPE_UNKNOWN) {
        fputs("; unknown installer type: find its silent switches in its documentation\n",
              ReportOut);
        return;
    }
    fprintf(ReportOut, "; %s", InstallerKinds[step->type].name);
    if (step->type == TYPE_MSI) {
        char path[CHECK_PATH_SIZE];
        char why[MESSAGE_SIZE / 2];
        PackageIdentity identity;
        FullPath(path, step->file);
        if (!ReadPackageIdentity(path, &identity, why, sizeof(why)))
            fprintf(ReportOut, " (its Property table cannot be read: %s)", why);
        const char *separator = ": ";
        for (int i = 0; i < PACKAGE_PROPERTIES; i++) {
            if (identity.values[i][0] != '\0')
                fprintf(ReportOut, "%s%s", separator, identity.values[i]);
            separator = identity.values[i][0] != '\0' ? " " : separator;
        }
    }
    fputc('\n', ReportOut);
}

static void WriteItems(void)
{
    BOOL header = FALSE;
    for (int n = 1; n <= StepCount; n++) {
        const InstallerKind *kind = &InstallerKinds[Steps[n - 1].type];
        char item[32];
        if (!FormatExitCodeItem(Steps[n - 1].type, item, sizeof(item)))
            continue;
        fputs(header ? "" : "\n[" EXIT_CODES_SECTION "]\n", ReportOut);
        header = TRUE;
        fprintf(ReportOut, "; %lu: %s\n%s=%s\n", (unsigned long)kind->noteCode, kind->noteWhy,
                Steps[n - 1].file, item);
    }
    header = FALSE;
    for (int n = 1; n <= StepCount; n++) {
        char path[CHECK_PATH_SIZE];
        char why[MESSAGE_SIZE / 2];
        char rule[DETECT_SIZE];
        PackageIdentity identity;
        FullPath(path, Steps[n - 1].file);
        if (Steps[n - 1].type != TYPE_MSI ||
            !ReadPackageIdentity(path, &identity, why, sizeof(why)) ||
            !FormatDetectRule(&identity, rule, sizeof(rule)))
            continue;
        fputs(header ? ""
                     : "\n[" DETECT_SECTION "]\n; skips the step where the package's product "
                       "is installed in this version or a later one\n",
              ReportOut);
        header = TRUE;
        fprintf(ReportOut, "%s=%s\n", Steps[n - 1].file, rule);
    }
}

int PrintStarterList(const char *folder)
{
    CopyText(Medium, sizeof(Medium), folder);
    StepCount = Unlisted = NoteCount = NotesUnlisted = 0;
    if (ReportOut == NULL)
        ReportOut = stdout;
    if (!ReadFolder("", 0)) {
        fprintf(ReportOut, "stagerun-check: %s: the folder cannot be read\n", folder);
        return CHECK_UNREADABLE;
    }
    SortSteps();
    for (int i = 0; i < StepCount; i++) {
        char path[CHECK_PATH_SIZE];
        FullPath(path, Steps[i].file);
        Steps[i].type = RecognizeInstaller(path);
    }
    fprintf(ReportOut,
            "; " SETUP_LIST_NAME ": a starter list by stagerun-check /new for the installers in\n"
            "; %s and its subfolders, in name order, each folder's files before its subfolders.\n"
            "; Save it beside them, then check it: stagerun-check, and stagerun-check /s.\n",
            folder);
    for (int i = 0; i < NoteCount; i++)
        fprintf(ReportOut, "%s\n", Notes[i]);
    if (NotesUnlisted > 0)
        fprintf(ReportOut, "; and %d more left out or not read\n", NotesUnlisted);
    if (Unlisted > 0)
        fprintf(ReportOut, "; %d more installers did not fit: a list holds at most %d steps\n",
                Unlisted, LAST_SETUP_SLOT);
    if (StepCount == 0)
        fputs("; no .exe or .msi installer was found\n", ReportOut);
    fputs("\n[SetupList]\n; Reorder the steps as the products need: what another product needs "
          "runs first.\n; Kind,File,Arguments,WaitList,RebootFlag\n",
          ReportOut);
    for (int n = 1; n <= StepCount; n++) {
        WriteRecognized(n);
        fprintf(ReportOut, "Setup%d=1,%s, ,\n", n, Steps[n - 1].file);
    }
    fputs("\n[SetupSilent]\n; The same steps with each installer's unattended switches.\n",
          ReportOut);
    for (int n = 1; n <= StepCount; n++) {
        const InstallerKind *kind = &InstallerKinds[Steps[n - 1].type];
        if (Steps[n - 1].type == TYPE_UNKNOWN)
            fprintf(ReportOut,
                    "; unknown installer type: find its silent switches in its "
                    "documentation\nSetup%d=1,%s, ,\n",
                    n, Steps[n - 1].file);
        else
            fprintf(ReportOut, "Setup%d=1,%s,%s\n", n, Steps[n - 1].file, kind->written);
    }
    WriteItems();
    return CHECK_CLEAN;
}
