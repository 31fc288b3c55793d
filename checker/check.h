// The medium checker: reads a medium as the launcher would and reports what it will do, without
// launching, copying, installing or changing anything.
#pragma once

#include "stagerun.h"

#include <stdio.h>

#define LAUNCHER_NAME "stagerun.exe"

// A setup list is a few kilobytes; a larger file is not one we check.
#define LIST_FILE_LIMIT (4 * 1024 * 1024)
#define CHECK_PATH_SIZE MAX_PATH
#define MESSAGE_SIZE 1024

enum CheckExit { CHECK_CLEAN, CHECK_WARNINGS, CHECK_ERRORS, CHECK_UNREADABLE };
enum Severity { FINDING_WARNING, FINDING_ERROR };

// What the raw text of the list says where the ini reader does not tell: the line of each key,
// keys given twice, values whose last blank field the reader trims, and the file's encoding.
#define SCANNED_KEY_LIMIT 1000
#define SCANNED_SECTIONS 5
enum ScannedSection {
    SECTION_SETUP_LIST,
    SECTION_SETUP_SILENT,
    SECTION_STAGERUN,
    SECTION_EXIT_CODES,
    SECTION_DETECT
};
// Sections keyed by a step's File: [ExitCodes] and [Detect], from SECTION_EXIT_CODES on. Their
// first keys are looked at, each as long as a line the scan keeps.
#define FILE_KEYED_SECTIONS 2
#define FILE_KEY_LIMIT 100
#define FILE_KEY_SIZE 512
enum ListEncoding { ENCODING_ANSI, ENCODING_UTF8_BOM, ENCODING_UTF16 };
struct ListScan {
    ListEncoding encoding;
    int firstNonAsciiLine; // 0 when every byte is ASCII
    BOOL sectionSeen[SCANNED_SECTIONS];
    // Line of the first "SetupN" key in each section, 0 when absent; N up to SCANNED_KEY_LIMIT.
    int keyLine[SCANNED_SECTIONS][SCANNED_KEY_LIMIT + 1];
    BOOL keyHasValue[SCANNED_SECTIONS][SCANNED_KEY_LIMIT + 1];
    BOOL trailingBlank[SCANNED_SECTIONS][SCANNED_KEY_LIMIT + 1];
    int lastKey[SCANNED_SECTIONS];  // the highest N with a value
    int keyCount[SCANNED_SECTIONS]; // "SetupN" keys read, empty ones too
    char fileKey[FILE_KEYED_SECTIONS][FILE_KEY_LIMIT][FILE_KEY_SIZE];
    int fileKeyLine[FILE_KEYED_SECTIONS][FILE_KEY_LIMIT];
    int fileKeyCount[FILE_KEYED_SECTIONS];
};
extern ListScan Scan;

// The options of one check.
struct CheckRequest {
    const char *folder; // NULL: the current folder
    BOOL silent;
    BOOL json;
    BOOL starter; // /new: print a starter list for the installers in the folder instead
};

// Report (report.cpp): findings are kept, steps are written as they are planned.
extern FILE *ReportOut;
void AddFinding(Severity severity, int line, int step, const char *code, const char *format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 5, 6)))
#endif
    ;
void BeginFindings(const CheckRequest *request);
void BeginReport(const CheckRequest *request, const char *medium);
// action: a short word for pipelines; summary: a sentence for people.
void ReportStepBegin(int number, int line, const char *action, const char *summary);
// note, when not NULL, is what the text report shows in place of the value.
void ReportField(const char *name, const char *label, const char *value, const char *note);
void ReportFlag(const char *name, const char *label, BOOL value);
void ReportWait(const char *name, const char *rule);
void ReportStepEnd(void);
// What the planned step's installer's codes mean, its declared rules first.
void ReportExitRules(void);
// The planned step's [Detect] rule and what it found on this machine, when it has one.
void ReportDetectRule(void);
// Lists the steps whose installers' codes can still change the run's exit code.
void ReportExitCodeStep(int number);
// The exit code the medium gives the run; asked: a restart question, answered Yes, decides it.
void ReportEnd(const char *reason, BOOL restart, int runExitCode, BOOL asked);
int EndReport(void);
void ReportUnreadable(const CheckRequest *request, const char *message);

// Raw scan (scan.cpp): FALSE with a message when the file cannot be read.
BOOL ScanListFile(const char *path, char *message, size_t capacity);
ScannedSection SectionIndex(const char *section);

// Installers (installer.cpp): the technology of a launch step's installer, told from its bytes.
enum InstallerType {
    TYPE_UNKNOWN,
    TYPE_MSI,
    TYPE_BURN,
    TYPE_INNO,
    TYPE_NSIS,
    TYPE_INSTALLSHIELD,
    TYPE_ADVANCED,
    INSTALLER_TYPES
};
struct InstallerKind {
    const char *id;              // in the JSON report
    const char *name;            // for people
    const char *unattended;      // the switches to write for a run nobody watches
    const char *written;         // those a starter list writes: nothing it would have to supply
    const char *const *switches; // any one of them makes a run unattended (see installer.cpp)
    BOOL caseSensitive;          // NSIS reads its switches in their exact case, and "/" only
    DWORD noteCode;              // an exit code the defaults read wrong for this type; 0: none
    ExitMeaning noteMeaning;     // what it means
    const char *noteWhy;
};
extern const InstallerKind InstallerKinds[INSTALLER_TYPES];
InstallerType RecognizeInstaller(const char *path);
BOOL HasUnattendedSwitch(InstallerType type, const char *arguments);
// The [ExitCodes] item, "code:meaning", for the type's code of note; FALSE when it has none.
BOOL FormatExitCodeItem(InstallerType type, char *item, size_t capacity);

// A Windows Installer package's identity (package.cpp): ProductName, ProductVersion, ProductCode
// and UpgradeCode in this order, each empty when the package lacks it.
#define PACKAGE_PROPERTIES 4
#define PACKAGE_VALUE_SIZE 256
enum PackageProperty { PACKAGE_NAME, PACKAGE_VERSION, PACKAGE_CODE, PACKAGE_UPGRADE_CODE };
struct PackageIdentity {
    char values[PACKAGE_PROPERTIES][PACKAGE_VALUE_SIZE];
};
// FALSE, and why, when the database cannot be opened or read.
BOOL ReadPackageIdentity(const char *path, PackageIdentity *identity, char *why, size_t capacity);
// The [Detect] rule that tells the package's product is installed: msi:{ProductCode}>=version;
// FALSE when the package has no ProductCode or the rule does not fit.
BOOL FormatDetectRule(const PackageIdentity *identity, char *rule, size_t capacity);

// /new (starter.cpp): a starter list for the installers in the folder and its subfolders, on
// ReportOut; the exit code.
int PrintStarterList(const char *folder);

// The whole check (check.cpp); returns the exit code.
int CheckMedium(const CheckRequest *request);
// The 32-bit checker on 64-bit Windows: the check by the 64-bit checker beside it (handoff.cpp).
int HandCheckTo64BitChecker(const CheckRequest *request);
