// Path helpers: directory, file name and extension of a path, relative paths and directory tokens.

#include "stagerun.h"

#include <direct.h>

#define PATH_RESULT_SIZE 256
#define RELATIVE_BASE_SIZE 200
#define TOKEN_RESULT_SIZE 100
#define INI_PATH_SIZE 100

static char DirectoryResult[PATH_RESULT_SIZE];
static char RelativeResult[PATH_RESULT_SIZE];
static char TokenResult[TOKEN_RESULT_SIZE];
static char TokenWorkingCopy[PATH_RESULT_SIZE];

static const char *FindLast(const char *text, char wanted)
{
    const char *found = NULL;
    for (; *text != '\0'; text++) {
        if (*text == wanted)
            found = text;
    }
    return found;
}

char *GetDirectoryPart(const char *path)
{
    char working[DIRECTORY_SCAN_LIMIT + 1] = {};
    for (size_t i = 0; i < DIRECTORY_SCAN_LIMIT && path[i] != '\0'; i++)
        working[i] = path[i];
    const char *lastBackslash = FindLast(working, '\\');
    size_t keep = lastBackslash != NULL ? (size_t)(lastBackslash - working) : 0;
    for (size_t i = 0; i < PATH_RESULT_SIZE; i++)
        DirectoryResult[i] = i < keep ? working[i] : '\0';
    return DirectoryResult;
}

const char *GetFileNamePart(const char *path)
{
    const char *lastBackslash = FindLast(path, '\\');
    return lastBackslash != NULL ? lastBackslash + 1 : path;
}

const char *GetExtensionPart(const char *path)
{
    const char *lastDot = FindLast(path, '.');
    return lastDot != NULL ? lastDot + 1 : path;
}

// Returns NULL when the base is too long, climbs above its drive, or the join does not fit.
char *ResolveRelativePath(const char *base, const char *relative)
{
    char working[RELATIVE_BASE_SIZE];
    if (!CopyText(working, sizeof(working), base))
        return NULL;
    while (relative[0] == '.' && relative[1] == '.' && relative[2] == '\\') {
        char *lastBackslash = (char *)FindLast(working, '\\');
        if (lastBackslash == NULL)
            return NULL;
        *lastBackslash = '\0';
        relative += 3;
    }
    RelativeResult[0] = '\0';
    if (!AppendText(RelativeResult, PATH_RESULT_SIZE, working, RELATIVE_BASE_SIZE) ||
        !AppendText(RelativeResult, PATH_RESULT_SIZE, "\\", 1) ||
        !AppendText(RelativeResult, PATH_RESULT_SIZE, relative, PATH_RESULT_SIZE))
        return NULL;
    return RelativeResult;
}

enum TokenKind {
    TOKEN_TEMP,
    TOKEN_CURDIR,
    TOKEN_SYSTEMROOT,
    TOKEN_SYSTEM32,
    TOKEN_PROGRAMFILES,
    TOKEN_ROOT,
    TOKEN_INSTPATH
};

static const struct {
    const char *text;
    TokenKind kind;
} PathTokens[] = {
    {"%windir%", TOKEN_TEMP},
    {"%curdir%", TOKEN_CURDIR},
    {"%systemroot%", TOKEN_SYSTEMROOT},
    {"%system32root%", TOKEN_SYSTEM32},
    {"%programfiles%", TOKEN_PROGRAMFILES},
    {"%root%", TOKEN_ROOT},
    {"%instpath%", TOKEN_INSTPATH},
};

static BOOL AppendInstallPath(size_t windowsLength)
{
    char iniPath[INI_PATH_SIZE] = {};
    // One byte more than the result holds: a quoted value whose closing quote only just fits
    // comes back one character short, which a read into the result alone would not show.
    char value[TOKEN_RESULT_SIZE + 1] = {};
    if (!AppendText(iniPath, sizeof(iniPath), WindowsDirectory, windowsLength) ||
        !AppendText(iniPath, sizeof(iniPath), "\\hubpanel.ini", INI_PATH_SIZE))
        return FALSE;
    DWORD length =
        GetPrivateProfileStringA("autoplay", "inst_path", "", value, sizeof(value), iniPath);
    if (length >= TOKEN_RESULT_SIZE - 1)
        return FALSE; // the read may have cut the value
    if (length > 0 && value[length - 1] == '\\')
        value[length - 1] = '\0';
    return AppendText(TokenResult, TOKEN_RESULT_SIZE, value, TOKEN_RESULT_SIZE);
}

static BOOL WriteReplacement(TokenKind kind, size_t windowsLength)
{
    // A Windows directory too long for its buffer was not returned at all.
    BOOL needsWindows = kind != TOKEN_CURDIR && kind != TOKEN_PROGRAMFILES;
    if (needsWindows && windowsLength >= WINDOWS_DIRECTORY_SIZE)
        return FALSE;
    switch (kind) {
    case TOKEN_TEMP:
        return AppendText(TokenResult, TOKEN_RESULT_SIZE, WindowsDirectory, windowsLength) &&
               AppendText(TokenResult, TOKEN_RESULT_SIZE, "\\temp", TOKEN_RESULT_SIZE);
    case TOKEN_CURDIR:
        return AppendText(TokenResult, TOKEN_RESULT_SIZE, ModuleDirectory, MODULE_DIRECTORY_SIZE);
    case TOKEN_SYSTEMROOT:
        return AppendText(TokenResult, TOKEN_RESULT_SIZE, WindowsDirectory, windowsLength);
    case TOKEN_SYSTEM32:
        return AppendText(TokenResult, TOKEN_RESULT_SIZE, WindowsDirectory, windowsLength) &&
               AppendText(TokenResult, TOKEN_RESULT_SIZE, "\\SYSTEM32", TOKEN_RESULT_SIZE);
    case TOKEN_PROGRAMFILES:
        return ExpandEnvironmentStringsA("%ProgramFiles%", TokenResult, TOKEN_RESULT_SIZE) <=
               TOKEN_RESULT_SIZE;
    case TOKEN_ROOT:
        return AppendText(TokenResult, TOKEN_RESULT_SIZE, WindowsDirectory,
                          windowsLength < 2 ? windowsLength : 2);
    case TOKEN_INSTPATH:
        return AppendInstallPath(windowsLength);
    }
    return FALSE;
}

// Tokens are found whatever their case; the rest of the path is upper-cased unless asked to keep
// its case. Returns NULL when the path or the expanded text does not fit its buffer.
static char *ExpandTokens(const char *path, BOOL keepCase)
{
    for (size_t i = 0; i < PATH_RESULT_SIZE; i++)
        TokenWorkingCopy[i] = '\0';
    if (!CopyText(TokenWorkingCopy, PATH_RESULT_SIZE, path))
        return NULL;
    UINT windowsLength = GetWindowsDirectoryA(WindowsDirectory, WINDOWS_DIRECTORY_SIZE);
    UpperCaseAscii(TokenWorkingCopy);
    // Upper-casing keeps every byte in place: the path and its copy match offset for offset.
    const char *source = keepCase ? path : TokenWorkingCopy;
    for (size_t t = 0; t < sizeof(PathTokens) / sizeof(PathTokens[0]); t++) {
        char token[TOKEN_RESULT_SIZE];
        CopyText(token, sizeof(token), PathTokens[t].text);
        UpperCaseAscii(token);
        const char *found = strstr(TokenWorkingCopy, token);
        if (found == NULL)
            continue;
        for (size_t i = 0; i < TOKEN_RESULT_SIZE; i++)
            TokenResult[i] = '\0';
        const char *rest = source + (found - TokenWorkingCopy) + strlen(token);
        if (!WriteReplacement(PathTokens[t].kind, windowsLength) ||
            !AppendText(TokenResult, TOKEN_RESULT_SIZE, rest, PATH_RESULT_SIZE))
            return NULL;
        return TokenResult;
    }
    CopyText(TokenWorkingCopy, PATH_RESULT_SIZE, source);
    return TokenWorkingCopy;
}

char *ExpandPathTokens(const char *path)
{
    return ExpandTokens(path, FALSE);
}

char *ExpandPathTokensKeepingCase(const char *path)
{
    return ExpandTokens(path, TRUE);
}

// The directory of a file at a drive's root is the drive alone ("D:"), which would name the
// directory current on that drive rather than its root.
BOOL MakeDirectoryCurrent(const char *directory)
{
    char root[] = "?:\\";
    if (directory[0] != '\0' && directory[1] == ':' && directory[2] == '\0') {
        root[0] = directory[0];
        directory = root;
    }
    // The C runtime numbers drives from 1 for "A"; other characters name no drive.
    if (directory[0] >= 'A' && directory[0] <= 'Z')
        _chdrive(directory[0] - 64);
    return SetCurrentDirectoryA(directory);
}
