// Small text helpers over NUL-terminated 8-bit text in fixed-size buffers.
#include "stagerun.h"

static char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

BOOL IsSameText(const char *a, const char *b)
{
    while (*a != '\0' && UpperAscii(*a) == UpperAscii(*b)) {
        a++;
        b++;
    }
    return UpperAscii(*a) == UpperAscii(*b);
}

BOOL StartsWithText(const char *text, const char *start)
{
    for (; *start != '\0'; text++, start++) {
        if (UpperAscii(*text) != UpperAscii(*start))
            return FALSE;
    }
    return TRUE;
}

BOOL ReadNumberText(const char *text, size_t length, DWORD *value)
{
    BOOL negative = length > 0 && text[0] == '-';
    BOOL hex = length > 2 && text[0] == '0' && (text[1] | 0x20) == 'x';
    DWORD base = hex ? 16 : 10;
    DWORD limit = negative ? 0x80000000u : 0xFFFFFFFFu;
    size_t i = negative ? 1 : hex ? 2 : 0;
    *value = 0;
    if (i == length)
        return FALSE;
    for (; i < length; i++) {
        DWORD c = (DWORD)(text[i] | 0x20);
        DWORD digit = c - '0' < 10 ? c - '0' : c - 'a' < 6 ? c - 'a' + 10 : base;
        if (digit >= base || *value > (limit - digit) / base)
            return FALSE;
        *value = *value * base + digit;
    }
    if (negative)
        *value = 0u - *value;
    return TRUE;
}

// Leaves double-byte characters whole: in the Korean code page many trail bytes are ASCII letters.
void UpperCaseAscii(char *text)
{
    for (; *text != '\0'; text++) {
        if (IsDBCSLeadByte((BYTE)*text) && text[1] != '\0')
            text++;
        else
            *text = UpperAscii(*text);
    }
}

// Copies the whole of source or nothing: a path or argument cut short would name something else.
BOOL CopyText(char *destination, size_t capacity, const char *source)
{
    size_t length = 0;
    if (capacity == 0)
        return FALSE;
    while (source[length] != '\0') {
        if (length + 1 >= capacity)
            return FALSE;
        length++;
    }
    for (size_t i = 0; i <= length; i++)
        destination[i] = source[i];
    return TRUE;
}

// Appends at most count characters of source, all of them or nothing.
BOOL AppendText(char *destination, size_t capacity, const char *source, size_t count)
{
    size_t length = strlen(destination);
    size_t added = 0;
    while (added < count && source[added] != '\0')
        added++;
    if (length + added + 1 > capacity)
        return FALSE;
    memcpy(destination + length, source, added);
    destination[length + added] = '\0';
    return TRUE;
}

BOOL FileExists(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Takes the next name of a separated list; runs of separators count as one and the ends are
// ignored. With quoted, a separator between a double quote and the next one belongs to the name (a
// quote never closed hides nothing). Returns 1 with the name stored, 0 at the end of the list, -1
// when the name does not fit (the cursor then still moves past it).
static int TakeName(const char **cursor, char separator, BOOL quoted, char *name, size_t capacity)
{
    const char *text = *cursor;
    while (*text != '\0' && *text == separator)
        text++;
    if (*text == '\0') {
        *cursor = text;
        return 0;
    }
    size_t length = 0;
    while (text[length] != '\0' && text[length] != separator) {
        const char *close = quoted && text[length] == '"' ? strchr(text + length + 1, '"') : NULL;
        length = close != NULL ? (size_t)(close - text) + 1 : length + 1;
    }
    *cursor = text + length;
    if (length + 1 > capacity)
        return -1;
    for (size_t i = 0; i < length; i++)
        name[i] = text[i];
    name[length] = '\0';
    return 1;
}

int NextListName(const char **cursor, char separator, char *name, size_t capacity)
{
    return TakeName(cursor, separator, FALSE, name, capacity);
}

int NextSetupField(const char **cursor, char *name, size_t capacity)
{
    return TakeName(cursor, ',', TRUE, name, capacity);
}
