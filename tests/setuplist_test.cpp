// The setup list: splitting, sections, the capacity rule, language and start directories.
#include "medium.h"

#include <cstring>

struct Step {
    const char *kind, *file, *arguments, *waitList, *rebootFlag;
};

static void ExpectSteps(const std::vector<Step> &steps, int caseNumber)
{
    for (size_t i = 0; i < steps.size(); i++) {
        int n = (int)i + 1;
        EXPECT_STREQ(steps[i].kind, SetupTable.Kind[n]) << "case " << caseNumber << " step " << n;
        EXPECT_STREQ(steps[i].file, SetupTable.File[n]) << "case " << caseNumber << " step " << n;
        EXPECT_STREQ(steps[i].arguments, SetupTable.Arguments[n]) << "case " << caseNumber;
        EXPECT_STREQ(steps[i].waitList, SetupTable.WaitList[n]) << "case " << caseNumber;
        EXPECT_STREQ(steps[i].rebootFlag, SetupTable.RebootFlag[n]) << "case " << caseNumber;
    }
    int next = (int)steps.size() + 1;
    EXPECT_STREQ("", SetupTable.Kind[next]) << "case " << caseNumber << ": list should end";
    EXPECT_STREQ("", SetupTable.File[next]) << "case " << caseNumber;
}

static std::string Repeat(char c, size_t count)
{
    return std::string(count, c);
}

TEST(SetupList, Splitting)
{
    static const struct {
        std::string ini;
        std::vector<Step> steps;
    } cases[] = {
        /* 0 */ {"[SetupList]\nSetup1=1,driver\\setup.exe, ,setup.exe~isetup.exe,1\n",
                 {{"1", "driver\\setup.exe", " ", "setup.exe~isetup.exe", "1"}}},
        /* 1 */ {"[SetupList]\nSetup1=1,,setup.exe\n", {{"1", "setup.exe", "", "", ""}}},
        /* 2 */ {"[SetupList]\nSetup1=2,tool.exe\n", {{"2", "tool.exe", "", "", ""}}},
        /* 3 */
        {"[SetupList]\nSetup1=1,a.exe, ,\nSetup3=1,c.exe, ,\n", {{"1", "a.exe", " ", "", ""}}},
        /* 4 */
        {"[setuplist]\nSETUP1 = ,,1,a.exe,x,y,1,extra,more,\n", {{"1", "a.exe", "x", "y", "1"}}},
        /* 5 */
        {"[SetupList]\nSetup1=\"0,drv.inf,PCI\\VEN_1234\"\n",
         {{"0", "drv.inf", "PCI\\VEN_1234", "", ""}}},
        /* 6 */
        {"[SetupList]\nSetup1=1,a.exe\nSetup1=2,b.exe\nSetup2=-1, ,\n",
         {{"1", "a.exe", "", "", ""}, {"-1", " ", "", "", ""}}},
        /* 7 */ {"[SetupList]\nSetup1=\n", {}},
        /* 8 */ {"[Other]\nSetup1=1,a.exe\n", {}},
        /* 9 */
        {"[SetupList]\nSetup1=1,a.msi,/qn ADDLOCAL=\"Core,Extras\" REMOVE=\"A,,B\", ,1\n",
         {{"1", "a.msi", "/qn ADDLOCAL=\"Core,Extras\" REMOVE=\"A,,B\"", " ", "1"}}},
        /* 10 */ // a quote never closed hides no comma
        {"[SetupList]\nSetup1=1,a.exe,/x=\"a\" /y=\"b,c,1\n",
         {{"1", "a.exe", "/x=\"a\" /y=\"b", "c", "1"}}},
        /* 11 */ // quotes in two fields stay in each, and no pair spans the comma between them
        {"[SetupList]\nSetup1=1,\"a b.exe\",/x \"y\", ,\n",
         {{"1", "\"a b.exe\"", "/x \"y\"", " ", ""}}},
        /* 12 */ // of three quotes the first two pair: the third is the one never closed
        {"[SetupList]\nSetup1=1,\"a.exe\",/x \"y,z,1\n", {{"1", "\"a.exe\"", "/x \"y", "z", "1"}}},
    };
    MakeMedium("");
    int number = 0;
    for (const auto &c : cases) {
        memset(&SetupTable, 0, sizeof(SetupTable));
        sim::WriteFile("C:\\Pkg\\StageRun.ini", c.ini);
        LoadSetupList();
        ExpectSteps(c.steps, number++);
    }
}

// A step that does not fit its slots is not loaded and the list ends before it: cut, "-10" would
// become "-1" and a file name another file.
TEST(SetupList, CapacityEndsTheList)
{
    const std::string first = "Setup1=1,first.exe\n";
    static const struct {
        std::string second;
        bool loaded;
    } cases[] = {
        /* 0 */ {"-10,a.exe", false},
        /* 1 */ {"11,a.exe", true},
        /* 2 */ {"1," + Repeat('f', 99), true},
        /* 3 */ {"1," + Repeat('f', 100), false},
        /* 4 */ {"1,a.exe,x," + Repeat('w', 99), true},
        /* 5 */ {"1,a.exe,x," + Repeat('w', 100), false},
        /* 6 */ {"1,a.exe,x,w,10", false},
        /* 7 */ {"1,a.exe,x,w,1," + Repeat('z', 135), true},  // 149 characters in all
        /* 8 */ {"1,a.exe,x,w,1," + Repeat('z', 136), false}, // longer than a value may be
    };
    MakeMedium("");
    int number = 0;
    for (const auto &c : cases) {
        memset(&SetupTable, 0, sizeof(SetupTable));
        sim::WriteFile("C:\\Pkg\\StageRun.ini",
                       "[SetupList]\n" + first + "Setup2=" + c.second + "\nSetup3=1,third.exe\n");
        LoadSetupList();
        EXPECT_STREQ("first.exe", SetupTable.File[1]) << "case " << number;
        EXPECT_STREQ(c.loaded ? "third.exe" : "", SetupTable.File[3]) << "case " << number;
        EXPECT_EQ(c.loaded, SetupTable.Kind[2][0] != '\0') << "case " << number;
        number++;
    }
}

TEST(SetupList, AtMostNinetyNineSteps)
{
    std::string ini = "[SetupList]\n";
    for (int n = 1; n <= 120; n++)
        ini += "Setup" + std::to_string(n) + "=1,s" + std::to_string(n) + ".exe\n";
    MakeMedium(ini);
    LoadSetupList();
    EXPECT_STREQ("s99.exe", SetupTable.File[99]);
    EXPECT_STREQ("", SetupTable.File[0]);
}

TEST(SetupList, SilentSection)
{
    static const struct {
        const char *ini;
        BYTE silent;
        const char *file;
    } cases[] = {
        /* 0 */ {"[SetupList]\nSetup1=1,n.exe\n[SetupSilent]\nSetup1=1,s.exe\n", 1, "s.exe"},
        /* 1 */ {"[SetupList]\nSetup1=1,n.exe\n[SetupSilent]\nSetup1=1,s.exe\n", 0, "n.exe"},
        /* 2 */ {"[SetupList]\nSetup1=1,n.exe\n", 1, "n.exe"},
        /* 3 */
        {"[SetupList]\nSetup1=1,n.exe\n[SetupSilent]\nSetup1=\nSetup2=1,s.exe\n", 1, "n.exe"},
        /* 4 */ {"[SetupList]\nSetup1=1,n.exe\n[SetupSilent]\nSetup2=1,s.exe\n", 1, "n.exe"},
    };
    MakeMedium("");
    int number = 0;
    for (const auto &c : cases) {
        memset(&SetupTable, 0, sizeof(SetupTable));
        SilentMode = c.silent;
        sim::WriteFile("C:\\Pkg\\StageRun.ini", c.ini);
        LoadSetupList();
        EXPECT_STREQ(c.file, SetupTable.File[1]) << "case " << number++;
    }
}

TEST(SetupList, LanguageFromSystemLocale)
{
    static const struct {
        LCID locale;
        const char *code;
    } cases[] = {
        {0x0412, "kor"}, {0x0812, "kor"}, {0x0409, "eng"}, {0x0411, "eng"}, {0x0012, "kor"}};
    MakeMedium("");
    for (const auto &c : cases) {
        sim::SetSystemDefaultLocale(c.locale);
        LoadSetupList();
        EXPECT_STREQ(c.code, LanguageCode) << std::hex << c.locale;
    }
}

// The program's directory becomes current on its own drive; the list is found there even when the
// path is longer than the 128 characters the old existence test could take.
TEST(SetupList, StartDirectories)
{
    const std::string deep = "D:\\Setup\\" + Repeat('d', 60) + "\\" + Repeat('e', 60);
    MakeMedium("[SetupList]\nSetup1=1,a.exe\n", deep);
    SetCurrentDirectoryA("C:\\WINDOWS");
    OFSTRUCT info;
    EXPECT_EQ(HFILE_ERROR, OpenFile((deep + "\\StageRun.ini").c_str(), &info, OF_EXIST));
    LoadSetupList();
    EXPECT_EQ(deep, ModuleDirectory);
    EXPECT_EQ(deep, sim::CurrentDirectory());
    EXPECT_STREQ("a.exe", SetupTable.File[1]);
}

// A folder of the list's name is no list.
TEST(SetupList, DirectoryIsNoList)
{
    MakeMedium("");
    sim::MakeDirectory("C:\\Pkg\\StageRun.ini");
    LoadSetupList();
    EXPECT_STREQ("", SetupTable.Kind[1]);
}

// A program path the directory part would cut, or one the module-name read cut, names another
// folder: no list is read, as when none is there.
TEST(SetupList, ProgramPathTooLongReadsNoList)
{
    const struct {
        size_t directoryLength; // of the program's folder; the path adds "\\stagerun.exe"
        bool loads;
    } cases[] = {{187, true}, {188, false}, {244, false}};
    for (const auto &c : cases) {
        const std::string directory = "C:\\" + Repeat('p', c.directoryLength - 3);
        MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n", directory);
        // An ancestor's list that a cut path would find instead.
        sim::WriteFile(directory.substr(0, 150) + "\\StageRun.ini",
                       "[SetupList]\nSetup1=1,x.exe\n");
        memset(&SetupTable, 0, sizeof(SetupTable));
        LoadSetupList();
        EXPECT_STREQ(c.loads ? "a.exe" : "", SetupTable.File[1]) << c.directoryLength;
    }
}
