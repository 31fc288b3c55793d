// Reads the list's raw text for what the ini reader hides: lines, repeated keys and sections,
// trimmed blank fields and the encoding.

#include "check.h"

#define CHUNK_SIZE 4096
#define LINE_SIZE 512
#define KEY_PREFIX "setup"

ListScan Scan;

static const char *const SectionNames[SCANNED_SECTIONS] = {"SetupList", "SetupSilent", "StageRun",
                                                           EXIT_CODES_SECTION, DETECT_SECTION};

// One line as it streams past: its start is kept, of its end only what the checks need.
static struct {
    char start[LINE_SIZE];
    size_t length;
    char lastNonBlank;
    BOOL blankAfterIt;
    BOOL nonAscii;
} Line;
static int LineNumber;
static int CurrentSection; // -1 outside the sections we look at
static BOOL SectionRepeated;
static BOOL LastWasCr;

static BOOL IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

ScannedSection SectionIndex(const char *section)
{
    for (int i = 0; i < SCANNED_SECTIONS; i++) {
        if (IsSameText(section, SectionNames[i]))
            return (ScannedSection)i;
    }
    return SECTION_SETUP_LIST;
}

// The number of a key "SetupN" written as the launcher asks for it (no sign, no leading zero).
static int KeyNumber(const char *name, size_t length)
{
    size_t prefix = sizeof(KEY_PREFIX) - 1;
    if (length <= prefix || length > prefix + 4 || name[prefix] == '0')
        return 0;
    for (size_t i = 0; i < prefix; i++) {
        if ((name[i] | 0x20) != KEY_PREFIX[i])
            return 0;
    }
    int number = 0;
    for (size_t i = prefix; i < length; i++) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        number = number * 10 + (name[i] - '0');
    }
    return number <= SCANNED_KEY_LIMIT ? number : 0;
}

static void SectionLine(const char *text)
{
    const char *close = strchr(text, ']');
    size_t length = close != NULL ? (size_t)(close - text) : strlen(text);
    while (length > 0 && IsBlank(text[0])) {
        text++;
        length--;
    }
    while (length > 0 && IsBlank(text[length - 1]))
        length--;
    char name[LINE_SIZE];
    memcpy(name, text, length);
    name[length] = '\0';
    CurrentSection = -1;
    for (int i = 0; i < SCANNED_SECTIONS; i++) {
        if (!IsSameText(name, SectionNames[i]))
            continue;
        CurrentSection = i;
        SectionRepeated = Scan.sectionSeen[i];
        if (SectionRepeated)
            AddFinding(FINDING_WARNING, LineNumber, 0, "duplicate-section",
                       "[%s] is given again: the keys below this line are not read", name);
        Scan.sectionSeen[i] = TRUE;
    }
}

static void KeyLine(const char *text)
{
    const char *equals = strchr(text, '=');
    if (equals == NULL || CurrentSection < 0)
        return;
    size_t length = (size_t)(equals - text);
    while (length > 0 && IsBlank(text[length - 1]))
        length--;
    // A line that starts with ";" is a comment.
    int keyed = CurrentSection - SECTION_EXIT_CODES;
    if (keyed >= 0 && !SectionRepeated && text[0] != ';' && length > 0 &&
        Scan.fileKeyCount[keyed] < FILE_KEY_LIMIT) {
        int k = Scan.fileKeyCount[keyed]++;
        memcpy(Scan.fileKey[keyed][k], text, length);
        Scan.fileKey[keyed][k][length] = '\0';
        Scan.fileKeyLine[keyed][k] = LineNumber;
        return;
    }
    int number = KeyNumber(text, length);
    if (number == 0)
        return;
    int section = CurrentSection;
    if (SectionRepeated)
        return;
    if (Scan.keyLine[section][number] != 0) {
        AddFinding(FINDING_WARNING, LineNumber, 0, "duplicate-key",
                   "Setup%d is given again in [%s]: the value at line %d is the one read", number,
                   SectionNames[section], Scan.keyLine[section][number]);
        return;
    }
    Scan.keyLine[section][number] = LineNumber;
    Scan.keyCount[section]++;
    const char *value = equals + 1;
    while (IsBlank(*value))
        value++;
    Scan.keyHasValue[section][number] = *value != '\0';
    if (Scan.keyHasValue[section][number] && number > Scan.lastKey[section])
        Scan.lastKey[section] = number;
    // "1,x.exe, " means a blank third field, but the reader trims it: the field is gone.
    Scan.trailingBlank[section][number] = Line.lastNonBlank == ',' && Line.blankAfterIt;
}

static void EndLine(void)
{
    LineNumber++;
    size_t kept = Line.length < LINE_SIZE ? Line.length : LINE_SIZE - 1;
    Line.start[kept] = '\0';
    if (Line.nonAscii && Scan.firstNonAsciiLine == 0)
        Scan.firstNonAsciiLine = LineNumber;
    const char *text = Line.start;
    while (IsBlank(*text))
        text++;
    if (*text == '[')
        SectionLine(text + 1);
    else
        KeyLine(text);
    memset(&Line, 0, sizeof(Line));
}

// A line ends at CR, LF or CR LF, as the ini reader ends it.
static void TakeCharacter(char c)
{
    BOOL afterCr = LastWasCr;
    LastWasCr = c == '\r';
    if (c == '\n' && afterCr)
        return;
    if (c == '\r' || c == '\n') {
        EndLine();
        return;
    }
    if (Line.length < LINE_SIZE - 1)
        Line.start[Line.length] = c;
    Line.length++;
    if ((unsigned char)c >= 0x80)
        Line.nonAscii = TRUE;
    if (IsBlank(c)) {
        Line.blankAfterIt = Line.lastNonBlank != '\0';
    } else {
        Line.lastNonBlank = c;
        Line.blankAfterIt = FALSE;
    }
}

static void TakeBytes(const unsigned char *bytes, DWORD count, BOOL *bigEndian, BOOL *pending,
                      unsigned char *held)
{
    for (DWORD i = 0; i < count; i++) {
        if (Scan.encoding != ENCODING_UTF16) {
            TakeCharacter((char)bytes[i]);
            continue;
        }
        // UTF-16: code units below 0x80 as they are, others as one non-ASCII stand-in.
        if (!*pending) {
            *held = bytes[i];
            *pending = TRUE;
            continue;
        }
        *pending = FALSE;
        unsigned unit =
            *bigEndian ? (unsigned)(*held << 8 | bytes[i]) : (unsigned)(bytes[i] << 8 | *held);
        TakeCharacter(unit < 0x80 ? (char)unit : (char)0x80);
    }
}

BOOL ScanListFile(const char *path, char *message, size_t capacity)
{
    memset(&Scan, 0, sizeof(Scan));
    memset(&Line, 0, sizeof(Line));
    LineNumber = 0;
    CurrentSection = -1;
    SectionRepeated = FALSE;
    LastWasCr = FALSE;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        snprintf(message, capacity, "%s cannot be read (error %lu)", path,
                 (unsigned long)GetLastError());
        return FALSE;
    }
    DWORD size = GetFileSize(file, NULL);
    if (size == INVALID_FILE_SIZE || size > LIST_FILE_LIMIT) {
        CloseHandle(file);
        snprintf(message, capacity, "%s is larger than %d bytes: not a setup list", path,
                 LIST_FILE_LIMIT);
        return FALSE;
    }
    unsigned char chunk[CHUNK_SIZE];
    DWORD count = 0;
    BOOL first = TRUE, bigEndian = FALSE, pending = FALSE, ok = TRUE;
    unsigned char held = 0;
    while ((ok = ReadFile(file, chunk, sizeof(chunk), &count, NULL)) && count > 0) {
        const unsigned char *bytes = chunk;
        if (first) {
            first = FALSE;
            if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
                Scan.encoding = ENCODING_UTF8_BOM;
                bytes += 3;
                count -= 3;
            } else if (count >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) ||
                                      (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
                Scan.encoding = ENCODING_UTF16;
                bigEndian = bytes[0] == 0xFE;
                bytes += 2;
                count -= 2;
            }
        }
        TakeBytes(bytes, count, &bigEndian, &pending, &held);
    }
    CloseHandle(file);
    if (!ok) {
        snprintf(message, capacity, "%s cannot be read (error %lu)", path,
                 (unsigned long)GetLastError());
        return FALSE;
    }
    if (Line.length > 0)
        EndLine();
    return TRUE;
}
