// [Detect] rules: what they say, and whether one holds on this machine.

#include "stagerun.h"

static const char *const KindPrefixes[] = {"msi:", "file:", "reg:", "reg32:"};
static const char *const CompareTexts[] = {"", "<=", ">=", "!=", "=", "<", ">"};

BOOL ReadVersion(const char *text, DWORD *parts)
{
    memset(parts, 0, VERSION_PARTS * sizeof(DWORD));
    for (int count = 0; count < VERSION_PARTS; count++) {
        size_t length = strspn(text, "0123456789");
        if (length == 0 || !ReadNumberText(text, length, &parts[count]))
            return FALSE;
        text += length;
        if (*text == '\0')
            return TRUE;
        if (*text++ != '.')
            return FALSE;
    }
    return FALSE;
}

int CompareVersions(const DWORD *a, const DWORD *b)
{
    for (int i = 0; i < VERSION_PARTS; i++) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

static BOOL Fails(char *why, const char *text)
{
    CopyText(why, DETECT_FOUND_SIZE, text);
    return FALSE;
}

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, hexadecimal digits in either case.
static BOOL IsProductCode(const char *text)
{
    static const BYTE Groups[] = {8, 4, 4, 4, 12};
    if (*text++ != '{')
        return FALSE;
    for (int g = 0; g < 5; g++) {
        if (strspn(text, "0123456789abcdefABCDEF") != Groups[g])
            return FALSE;
        text += Groups[g];
        if (*text++ != (g < 4 ? '-' : '}'))
            return FALSE;
    }
    return *text == '\0';
}

// Leading and trailing blanks aside.
static char *Trimmed(char *text)
{
    text += strspn(text, " ");
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == ' ')
        text[--length] = '\0';
    return text;
}

// ROOT\KEY or ROOT\KEY,VALUE: the first comma ends the key; an empty value name is the default.
static BOOL ReadRegistryTarget(char *target, DetectRule *rule, char *why)
{
    static const char *const Roots[] = {"HKLM\\", "HKEY_LOCAL_MACHINE\\", "HKCU\\",
                                        "HKEY_CURRENT_USER\\"};
    char *comma = strchr(target, ',');
    if (comma != NULL) {
        *comma = '\0';
        rule->hasValue = TRUE;
        CopyText(rule->valueName, sizeof(rule->valueName), comma + 1);
    }
    for (int r = 0; r < 4; r++) {
        size_t length = strlen(Roots[r]);
        if (StartsWithText(target, Roots[r]) && target[length] != '\0') {
            rule->root = r < 2 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
            return CopyText(rule->subject, sizeof(rule->subject), target + length) ||
                   Fails(why, "too long");
        }
    }
    return Fails(why, "not HKLM\\KEY or HKCU\\KEY");
}

// KIND:TARGET [OP OPERAND]. The operator begins at the first "=", "!", "<" or ">"; blanks
// around it are ignored, those within the target are kept.
BOOL ReadDetectRule(const char *text, DetectRule *rule, char *why)
{
    char copy[DETECT_SIZE];
    memset(rule, 0, sizeof(*rule));
    int kind = 0;
    while (kind < 4 && !StartsWithText(text, KindPrefixes[kind]))
        kind++;
    if (kind == 4 || !CopyText(copy, sizeof(copy), text + strlen(KindPrefixes[kind])))
        return Fails(why, "no msi:, file:, reg: or reg32:");
    rule->kind = (DetectKind)kind;
    char *op = copy + strcspn(copy, "=!<>");
    if (*op != '\0') {
        int c = COMPARE_LE;
        while (c <= COMPARE_GT && !StartsWithText(op, CompareTexts[c]))
            c++;
        char *operand = c <= COMPARE_GT ? Trimmed(op + strlen(CompareTexts[c])) : op;
        if (c > COMPARE_GT || *operand == '\0' || operand[strcspn(operand, "=!<>")] != '\0')
            return Fails(why, "not OP VALUE, OP one of = != < <= > >=");
        rule->op = (CompareOp)c;
        CopyText(rule->operand, sizeof(rule->operand), operand);
        *op = '\0';
    }
    char *target = Trimmed(copy);
    DWORD version[VERSION_PARTS];
    if (rule->op != COMPARE_NONE && kind <= DETECT_FILE && !ReadVersion(rule->operand, version))
        return Fails(why, "not a version: 1 to 4 numbers and dots");
    if (kind == DETECT_MSI)
        return (IsProductCode(target) && CopyText(rule->subject, sizeof(rule->subject), target)) ||
               Fails(why, "not a product code {GUID}");
    if (kind >= DETECT_REG)
        return ReadRegistryTarget(target, rule, why);
    const char *path = ExpandPathTokensKeepingCase(target);
    if (path == NULL || !CopyText(rule->subject, sizeof(rule->subject), path))
        return Fails(why, "too long");
    BOOL absolute = (path[0] != '\0' && path[1] == ':' && path[2] == '\\') ||
                    (path[0] == '\\' && path[1] == '\\');
    return absolute || Fails(why, "not an absolute path");
}

// Which orders (below, equal, above: bits 0, 1, 2) each comparison accepts.
static const BYTE CompareOrders[] = {0, 3, 6, 5, 2, 1, 4};

static BOOL Compares(int order, CompareOp op)
{
    return (CompareOrders[op] >> (order + 1)) & 1;
}

// Appends to what was found; always TRUE or FALSE as given, for the callers' returns.
static BOOL Found(BOOL holds, const char *format, const char *text)
{
    char *found = Plan.detectFound;
    size_t used = strlen(found);
    if (used + strlen(format) + strlen(text) < DETECT_FOUND_SIZE)
        wsprintfA(found + used, format, text);
    return holds;
}

static BOOL CompareVersionText(const char *text)
{
    DWORD found[VERSION_PARTS], wanted[VERSION_PARTS];
    if (!ReadVersion(text, found))
        return Found(FALSE, ", not a version", "");
    ReadVersion(Plan.detectRule.operand, wanted);
    return Compares(CompareVersions(found, wanted), Plan.detectRule.op);
}

static BOOL EvaluateRegistry(void)
{
    const DetectRule *rule = &Plan.detectRule;
    BYTE data[DETECT_SIZE + 1];
    DWORD type = REG_NONE;
    DWORD size = DETECT_SIZE;
    LONG error = QueryRegistry(rule, &type, data, &size);
    char number[32];
    if (error == ERROR_FILE_NOT_FOUND)
        return Found(FALSE, "is missing", "");
    if (error == ERROR_MORE_DATA && rule->op == COMPARE_NONE)
        error = ERROR_SUCCESS; // there, however long
    if (error != ERROR_SUCCESS) {
        wsprintfA(number, "%lu", (unsigned long)error);
        return Found(FALSE, "cannot be read (error %s)", number);
    }
    if (rule->op == COMPARE_NONE)
        return Found(TRUE, "exists", "");
    DWORD value = 0, wanted;
    if (type == REG_DWORD) {
        // Windows keeps whatever size was written: a short one reads as its bytes.
        memcpy(&value, data, size < sizeof(value) ? size : sizeof(value));
        wsprintfA(number, "%lu", (unsigned long)value);
        Found(FALSE, "is %s", number);
        if (!ReadNumberText(rule->operand, strlen(rule->operand), &wanted))
            return Found(FALSE, ", a number", "");
        return Compares(value < wanted ? -1 : value > wanted ? 1 : 0, rule->op);
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return Found(FALSE, "is of another type", "");
    data[size] = '\0'; // stored without its zero, text ends where its bytes do
    Found(FALSE, "is \"%s\"", (const char *)data);
    DWORD parts[VERSION_PARTS];
    if (ReadVersion((const char *)data, parts) && ReadVersion(rule->operand, parts))
        return CompareVersionText((const char *)data);
    if (rule->op != COMPARE_EQ && rule->op != COMPARE_NE)
        return Found(FALSE, ", text: only = and !=", "");
    return Compares(IsSameText((const char *)data, rule->operand) ? 0 : 1, rule->op);
}

BOOL EvaluateDetectRule(void)
{
    const DetectRule *rule = &Plan.detectRule;
    char version[64];
    DWORD parts[VERSION_PARTS];
    Plan.detectFound[0] = '\0';
    if (rule->kind >= DETECT_REG)
        return EvaluateRegistry();
    if (rule->kind == DETECT_MSI) {
        char code[sizeof(rule->subject)];
        CopyText(code, sizeof(code), rule->subject);
        int state = QueryProduct(code, rule->op != COMPARE_NONE ? version : NULL, sizeof(version));
        if (state <= 0)
            return Found(FALSE, state < 0 ? "cannot be asked" : "is not installed", "");
        if (rule->op == COMPARE_NONE)
            return Found(TRUE, "is installed", "");
        Found(FALSE, "is installed, version %s", version[0] != '\0' ? version : "unknown");
        return CompareVersionText(version);
    }
    // A folder of that name is not the file.
    DWORD attributes = GetFileAttributesA(rule->subject);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Found(FALSE, "is missing", "");
    if (rule->op == COMPARE_NONE)
        return Found(TRUE, "exists", "");
    int read = QueryFileVersion(rule->subject, parts);
    if (read <= 0)
        return Found(FALSE, read < 0 ? "cannot be read" : "has no version", "");
    wsprintfA(version, "%lu.%lu.%lu.%lu", (unsigned long)parts[0], (unsigned long)parts[1],
              (unsigned long)parts[2], (unsigned long)parts[3]);
    Found(FALSE, "has version %s", version);
    return CompareVersionText(version);
}
