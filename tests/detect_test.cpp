// [Detect] rules: what they say, how versions compare, and what each kind finds on the machine.
#include "medium.h"

TEST(Detect, RuleGrammar)
{
    static const struct {
        const char *text;
        bool valid;
        DetectKind kind = DETECT_MSI;
        CompareOp op = COMPARE_NONE;
        const char *subject = "", *valueName = "", *operand = "";
    } cases[] = {
        /* 0 */ {"msi:{36F68A90-239C-34df-B58C-64B30153CE35}>=14.38.33135", true, DETECT_MSI,
                 COMPARE_GE, "{36F68A90-239C-34df-B58C-64B30153CE35}", "", "14.38.33135"},
        /* 1 */
        {"MSI:{36F68A90-239C-34DF-B58C-64B30153CE35}", true, DETECT_MSI, COMPARE_NONE,
         "{36F68A90-239C-34DF-B58C-64B30153CE35}", "", ""},
        /* 2 */
        {"file:%programfiles%\\My App\\app.exe >= 2.1", true, DETECT_FILE, COMPARE_GE,
         "C:\\Program Files\\My App\\app.exe", "", "2.1"},
        /* 3 */
        {"reg32:HKLM\\SOFTWARE\\Vendor\\Tools,Version>=3", true, DETECT_REG32, COMPARE_GE,
         "SOFTWARE\\Vendor\\Tools", "Version", "3"},
        /* 4 */
        {"reg:HKEY_CURRENT_USER\\Software\\A b,Display Name != x y", true, DETECT_REG, COMPARE_NE,
         "Software\\A b", "Display Name", "x y"},
        /* 5 */ {"reg:hkcu\\Software\\A,", true, DETECT_REG, COMPARE_NONE, "Software\\A", "", ""},
        /* 6 */ {"reg:HKLM\\A,V<0x10", true, DETECT_REG, COMPARE_LT, "A", "V", "0x10"},
        /* 7 */
        {"file:\\\\server\\share\\a.exe=1", true, DETECT_FILE, COMPARE_EQ,
         "\\\\server\\share\\a.exe", "", "1"},
        // Invalid: kind, product code, version, comparison, root, relative path.
        /* 8 */ {"path:C:\\a.exe", false},
        /* 9 */ {"msi:{36F68A90-239C-34DF-B58C-64B30153CE3}", false},
        /* 10 */ {"msi:36F68A90-239C-34DF-B58C-64B30153CE35", false},
        /* 11 */ {"file:C:\\a.exe>=2.x", false},
        /* 12 */ {"file:C:\\a.exe>=1.2.3.4.5", false},
        /* 13 */ {"file:C:\\a.exe=>2", false},
        /* 14 */ {"file:C:\\a.exe!2", false},
        /* 15 */ {"reg:HKLM\\A,V=", false},
        /* 16 */ {"reg:HKCR\\A", false},
        /* 17 */ {"reg:HKLM\\", false},
        /* 18 */ {"file:app\\a.exe", false},
        /* 19 */
        {"file:%curdir%\\a.exe", true, DETECT_FILE, COMPARE_NONE, "C:\\Pkg\\a.exe", "", ""},
    };
    MakeMedium("");
    sim::SetEnvironment("ProgramFiles", "C:\\Program Files");
    LoadSetupList();
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        DetectRule rule;
        char why[DETECT_FOUND_SIZE] = "";
        ASSERT_EQ(cases[i].valid, ReadDetectRule(cases[i].text, &rule, why) != FALSE) << i;
        if (!cases[i].valid) {
            EXPECT_STRNE("", why) << i;
            continue;
        }
        EXPECT_EQ(cases[i].kind, rule.kind) << i;
        EXPECT_EQ(cases[i].op, rule.op) << i;
        EXPECT_STREQ(cases[i].subject, rule.subject) << i;
        EXPECT_STREQ(cases[i].valueName, rule.valueName) << i;
        EXPECT_STREQ(cases[i].operand, rule.operand) << i;
    }
    // Codes as [ExitCodes] and number values take them: signed, hexadecimal, 32 bits at most.
    static const struct {
        const char *text;
        bool valid;
        DWORD value;
    } numbers[] = {
        /* 0 */ {"1638", true, 1638},
        {"4294967295", true, 0xFFFFFFFF},
        /* 2 */ {"-1", true, 0xFFFFFFFF},
        {"-2147023294", true, 0x80070642},
        /* 4 */ {"0x80070642", true, 0x80070642},
        {"0XfF", true, 255},
        /* 6 */ {"4294967296", false, 0},
        {"-2147483649", false, 0},
        /* 8 */ {"0x100000000", false, 0},
        {"-0x1", false, 0},
        /* 10 */ {"0x", false, 0},
        {"12a", false, 0},
    };
    for (size_t i = 0; i < sizeof(numbers) / sizeof(numbers[0]); i++) {
        DWORD value = 0;
        const char *text = numbers[i].text;
        EXPECT_EQ(numbers[i].valid, ReadNumberText(text, strlen(text), &value) != FALSE) << i;
        if (numbers[i].valid) {
            EXPECT_EQ(numbers[i].value, value) << i;
        }
    }
}

TEST(Detect, VersionsCompare)
{
    static const struct {
        const char *a, *b;
        int order; // 2: a is no version
    } cases[] = {
        /* 0 */ {"14.9", "14.38", -1},
        {"2.1", "2.1.0.0", 0},
        /* 2 */ {"14.40.33810.0", "14.38.33135", 1},
        {"3", "10", -1},
        /* 4 */ {"4294967295", "4294967294", 1},
        {"1.2.3.4.5", "1", 2},
        /* 6 */ {"1..2", "1", 2},
        {"v1", "1", 2},
        /* 8 */ {"4294967296", "1", 2},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        DWORD a[VERSION_PARTS], b[VERSION_PARTS];
        ASSERT_TRUE(ReadVersion(cases[i].b, b)) << i;
        EXPECT_EQ(cases[i].order != 2, ReadVersion(cases[i].a, a) != FALSE) << i;
        if (cases[i].order != 2) {
            EXPECT_EQ(cases[i].order, CompareVersions(a, b)) << i;
        }
    }
}

static const char Vc[] = "{36F68A90-239C-34DF-B58C-64B30153CE35}";

// One machine for every row: a product for the machine and one for another user, a program with
// a version and one without, and the registry with different data in its two views.
static void MakeMachine()
{
    sim::AddInstalledProduct(Vc, "14.40.33810.0");
    sim::AddInstalledProduct("{11111111-2222-3333-4444-555555555555}", "1.0",
                             sim::FOR_ANOTHER_USER);
    sim::WriteFile("C:\\Program Files\\App\\app.exe", "MZ");
    sim::SetFileVersion("C:\\Program Files\\App\\app.exe", 2, 1, 0, 7);
    sim::WriteFile("C:\\Program Files\\App\\plain.exe", "MZ");
    sim::MakeDirectory("C:\\Program Files\\App\\folder.exe");
    sim::SetRegistryNumber(sim::VIEW_32, "HKLM\\SOFTWARE\\Vendor\\Tools", "Version", 3);
    sim::SetRegistryText(sim::VIEW_64, "HKLM\\SOFTWARE\\Vendor\\Tools", "Version", "10.2");
    sim::SetRegistryText(sim::VIEW_64, "HKLM\\SOFTWARE\\Vendor\\Tools", "Edition", "Pro");
    sim::SetRegistryValue(sim::VIEW_64, "HKLM\\SOFTWARE\\Vendor\\Tools", "Raw", REG_SZ, "9.1");
    sim::SetRegistryText(sim::VIEW_64, "HKCU\\Software\\Vendor", "Path", "C:\\x");
    sim::DenyRegistryKey(sim::VIEW_64, "HKLM\\SOFTWARE\\Locked");
}

TEST(Detect, EvaluatedOnTheMachine)
{
    static const struct {
        const char *rule;
        bool holds;
        const char *found;
    } cases[] = {
        /* 0 */ {"msi:{36f68a90-239c-34df-b58c-64b30153ce35}>=14.38.33135", true,
                 "is installed, version 14.40.33810.0"},
        /* 1 */
        {"msi:{36F68A90-239C-34DF-B58C-64B30153CE35}<14.40.33810", false,
         "is installed, version 14.40.33810.0"},
        /* 2 */ {"msi:{11111111-2222-3333-4444-555555555555}", false, "is not installed"},
        /* 3 */ {"file:%programfiles%\\App\\app.exe>=2.1", true, "has version 2.1.0.7"},
        /* 4 */ {"file:%programfiles%\\App\\plain.exe>=2.1", false, "has no version"},
        /* 5 */ {"file:%programfiles%\\App\\plain.exe", true, "exists"},
        /* 6 */ {"file:%programfiles%\\App\\folder.exe", false, "is missing"},
        /* 7 */ {"reg:HKLM\\SOFTWARE\\Vendor\\Tools,Version>=3", true, "is \"10.2\""},
        /* 8 */ {"reg32:HKLM\\SOFTWARE\\Vendor\\Tools,Version>=4", false, "is 3"},
        /* 9 */ {"reg32:HKLM\\SOFTWARE\\Vendor\\Tools,Edition", false, "is missing"},
        /* 10 */ {"reg:HKLM\\SOFTWARE\\Vendor\\Tools,Edition=pro", true, "is \"Pro\""},
        /* 11 */
        {"reg:HKLM\\SOFTWARE\\Vendor\\Tools,Edition>pro", false, "is \"Pro\", text: only = and !="},
        /* 12 */ {"reg:HKLM\\SOFTWARE\\Vendor\\Tools,Raw=9.1", true, "is \"9.1\""},
        /* 13 */ {"reg32:HKLM\\SOFTWARE\\Vendor\\Tools,Version=x", false, "is 3, a number"},
        /* 14 */ {"reg:HKCU\\Software\\Vendor,Path", true, "exists"},
        /* 15 */ {"reg32:HKCU\\Software\\Vendor", true, "exists"},
        /* 16 */ {"reg:HKLM\\SOFTWARE\\Locked", false, "cannot be read (error 5)"},
    };
    MakeMedium("");
    sim::SetEnvironment("ProgramFiles", "C:\\Program Files");
    MakeMachine();
    LoadSetupList();
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        ASSERT_TRUE(ReadDetectRule(cases[i].rule, &Plan.detectRule, Plan.detectFound)) << i;
        EXPECT_EQ(cases[i].holds, EvaluateDetectRule() != FALSE) << i;
        EXPECT_STREQ(cases[i].found, Plan.detectFound) << i;
    }
    sim::FailLibrary("msi.dll");
    ReadDetectRule("msi:{36F68A90-239C-34DF-B58C-64B30153CE35}", &Plan.detectRule,
                   Plan.detectFound);
    EXPECT_FALSE(EvaluateDetectRule());
    EXPECT_STREQ("cannot be asked", Plan.detectFound);
    EXPECT_EQ(0, sim::OpenHandleCount());
}
