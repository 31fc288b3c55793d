// Path helpers, relative paths and directory tokens.
#include "medium.h"

TEST(Paths, DirectoryFileNameAndExtension)
{
    static const struct {
        std::string path, directory, fileName, extension;
    } cases[] = {
        /* 0 */ {"C:\\Program Files\\Tool\\setup.exe", "C:\\Program Files\\Tool", "setup.exe",
                 "exe"},
        /* 1 */ {"C:\\setup.exe", "C:", "setup.exe", "exe"},
        /* 2 */ {"C:\\Tool\\", "C:\\Tool", "", "C:\\Tool\\"},
        /* 3 */ {"setup.exe", "", "setup.exe", "exe"},
        /* 4 */ {"setup", "", "setup", "setup"},
        /* 5 */ {"C:\\Tools.old\\setup", "C:\\Tools.old", "setup", "old\\setup"},
        /* 6 */ {"archive.tar.msi", "", "archive.tar.msi", "msi"},
        /* 7 */ {"a/b\\c/d", "a/b", "c/d", "a/b\\c/d"},
        /* 8 */
        {"C:\\" + std::string(190, 'a') + "\\b\\" + std::string(50, 'c'),
         "C:\\" + std::string(190, 'a') + "\\b", std::string(50, 'c'),
         "C:\\" + std::string(190, 'a') + "\\b\\" + std::string(50, 'c')},
    };
    int number = 0;
    for (const auto &c : cases) {
        std::string copy = c.path;
        EXPECT_EQ(c.directory, GetDirectoryPart(copy.c_str())) << "case " << number;
        EXPECT_EQ(c.fileName, GetFileNamePart(copy.c_str())) << "case " << number;
        EXPECT_EQ(c.extension, GetExtensionPart(copy.c_str())) << "case " << number;
        EXPECT_EQ(c.path, copy) << "case " << number << ": input changed";
        number++;
    }
    // The result may be stored back over its own argument.
    char path[256] = "D:\\Media\\Disk1\\stagerun.exe";
    CopyText(path, sizeof(path), GetDirectoryPart(path));
    EXPECT_STREQ("D:\\Media\\Disk1", path);
}

TEST(Paths, ResolveRelativePath)
{
    static const struct {
        std::string base, relative;
        bool refused;
        std::string expected;
    } cases[] = {
        /* 0 */ {"C:\\A\\B\\C", "..\\..\\x\\setup.exe", false, "C:\\A\\x\\setup.exe"},
        /* 1 */ {"C:\\A\\B\\C", "sub\\..\\y.exe", false, "C:\\A\\B\\C\\sub\\..\\y.exe"},
        /* 2 */ {"C:\\A\\B\\C", "..", false, "C:\\A\\B\\C\\.."},
        /* 3 */ {"C:\\A\\B\\C", "", false, "C:\\A\\B\\C\\"},
        /* 4 */ {"C:\\A\\B\\C", "../x", false, "C:\\A\\B\\C\\../x"},
        /* 5 */ {"C:\\A\\", "..\\x.inf", false, "C:\\A\\x.inf"},
        /* 6 */ {"C:\\A", "..\\..\\x.inf", true, ""},
        /* 7 */ {std::string(200, 'b'), "x", true, ""},
        /* 8 */ {"C:\\" + std::string(150, 'b'), std::string(102, 'r'), true, ""},
        /* 9 */
        {"C:\\" + std::string(150, 'b'), std::string(101, 'r'), false,
         "C:\\" + std::string(150, 'b') + "\\" + std::string(101, 'r')},
    };
    int number = 0;
    for (const auto &c : cases) {
        const char *result = ResolveRelativePath(c.base.c_str(), c.relative.c_str());
        if (c.refused) {
            EXPECT_EQ(nullptr, result) << "case " << number;
        } else {
            ASSERT_NE(nullptr, result) << "case " << number;
            EXPECT_EQ(c.expected, result) << "case " << number;
        }
        number++;
    }
}

TEST(Paths, ExpandPathTokens)
{
    MakeMedium("");
    sim::SetEnvironment("ProgramFiles", "C:\\Program Files");
    CopyText(ModuleDirectory, sizeof(ModuleDirectory), "D:\\Install");
    static const struct {
        const char *hubpanel; // NULL: no hubpanel.ini
        std::string path;
        std::string expected; // empty: refused
    } cases[] = {
        /* 0 */ {NULL, "%WinDir%\\setup.exe", "C:\\WINDOWS\\temp\\SETUP.EXE"},
        /* 1 */ {NULL, "%SystemRoot%\\a.msi", "C:\\WINDOWS\\A.MSI"},
        /* 2 */ {NULL, "%system32root%\\drv.inf", "C:\\WINDOWS\\SYSTEM32\\DRV.INF"},
        /* 3 */ {NULL, "%root%\\tools", "C:\\TOOLS"},
        /* 4 */ {NULL, "abc%root%\\x", "C:\\X"},
        /* 5 */ {NULL, "%curdir%\\a%windir%\\b", "C:\\WINDOWS\\temp\\B"},
        /* 6 */ {NULL, "%root%\\%root%", "C:\\%ROOT%"},
        /* 7 */ {NULL, "setup\\Disk1\\Data.msi", "SETUP\\DISK1\\DATA.MSI"},
        /* 8 */ {NULL, "%curdir%\\Drivers\\setup.msi", "D:\\Install\\DRIVERS\\SETUP.MSI"},
        /* 9 */ {NULL, "%programfiles%\\app", "C:\\Program Files\\APP"},
        /* 10 */
        {"[autoplay]\ninst_path=C:\\Program Files\\Hub\\\n", "%instpath%\\setup.exe",
         "C:\\Program Files\\Hub\\SETUP.EXE"},
        /* 11 */ {"[autoplay]\ninst_path=E:\\Hub\\\\\n", "%instpath%x", "E:\\Hub\\X"},
        /* 12 */ {"[other]\n", "%instpath%\\setup.exe", "\\SETUP.EXE"},
        /* 13 */ {NULL, "%instpath%\\setup.exe", "\\SETUP.EXE"},
        /* 14 */ {NULL, "%curdir%\\" + std::string(89, 'x'), ""},
        /* 15 */
        {NULL, "%curdir%\\" + std::string(88, 'x'), "D:\\Install\\" + std::string(88, 'X')},
        /* 16 */ {NULL, std::string(256, 'p'), ""},
    };
    int number = 0;
    for (const auto &c : cases) {
        if (c.hubpanel != NULL)
            sim::WriteFile("C:\\WINDOWS\\hubpanel.ini", c.hubpanel);
        else
            unlink(sim::HostPath("C:\\WINDOWS\\hubpanel.ini").c_str());
        std::string input = c.path;
        const char *result = ExpandPathTokens(input.c_str());
        if (c.expected.empty()) {
            EXPECT_EQ(nullptr, result) << "case " << number;
        } else {
            ASSERT_NE(nullptr, result) << "case " << number;
            EXPECT_EQ(c.expected, result) << "case " << number;
        }
        EXPECT_EQ(c.path, input) << "case " << number << ": input changed";
        number++;
    }
}

// Without the environment variable the text itself stands in; a failing Windows directory
// leaves only "\temp".
TEST(Paths, ExpandPathTokensOnABrokenMachine)
{
    MakeMedium("");
    sim::SetEnvironment("ProgramFiles", "");
    EXPECT_STREQ("%ProgramFiles%\\A", ExpandPathTokens("%programfiles%\\a"));
    sim::SetWindowsDirectory(std::string(80, 'w'));
    EXPECT_EQ(nullptr, ExpandPathTokens("%windir%\\a"));
    EXPECT_STREQ("D:\\X", ExpandPathTokens("D:\\x"));
}
