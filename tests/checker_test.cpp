// The medium checker: the findings each trap gives, what it cannot read, and that the plan it
// prints is the run the launcher then performs.
#include "checking.h"
#include "installer_images.h"
#include "json_check.h"

#include <regex>
#include <sstream>

// "code@line" of every finding, in report order; line 0 for the list as a whole, "-" for the
// medium folder.
static std::vector<std::string> FindingCodes(const std::string &text)
{
    std::vector<std::string> codes;
    std::regex finding("(StageRun\\.ini(?::(\\d+))?|.*): (?:error|warning): ([a-z-]+): .*");
    std::istringstream lines(text);
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        if (!std::regex_match(line, match, finding))
            continue;
        std::string where = match[1].str().rfind("StageRun.ini", 0) == 0
                                ? (match[2].matched ? match[2].str() : "0")
                                : "-";
        codes.push_back(match[3].str() + "@" + where);
    }
    return codes;
}

// The same from the JSON report: "file" the medium folder gives "-".
static std::vector<std::string> JsonFindingCodes(const std::string &json)
{
    std::regex finding("\\{\"file\": \"([^\"]*)\", \"line\": (\\d+), \"step\": \\d+, "
                       "\"severity\": \"(?:error|warning)\", \"code\": \"([a-z-]+)\"");
    return EachMatch(json, finding, [](const std::smatch &m) {
        return m[3].str() + "@" + (m[1].str() == "StageRun.ini" ? m[2].str() : "-");
    });
}

struct MediumCase {
    const char *name;
    std::string ini;
    std::vector<std::string> files; // beside the list unless they name a folder
    bool silent;
    std::vector<std::string> findings;
    int exitCode;
    int runExitCode = -1; // the launcher's, as the report predicts it; -1: not looked at
    bool noRestart = false;
    std::vector<std::pair<std::string, std::string>> installers = {}; // name and contents
};
static void PrintTo(const MediumCase &medium, std::ostream *out)
{
    *out << medium.name;
}
class CheckedMedium : public ::testing::TestWithParam<MediumCase>
{
};

TEST_P(CheckedMedium, GivesItsFindings)
{
    const MediumCase &c = GetParam();
    MakeMedium(c.ini);
    AddInstaller("C:\\Pkg\\stagerun64.exe", 0);
    for (const std::string &file : c.files) {
        if (file.back() == '\\')
            sim::MakeDirectory("C:\\Pkg\\" + file.substr(0, file.size() - 1));
        else
            sim::WriteFile("C:\\Pkg\\" + file, "MZ");
    }
    for (const auto &installer : c.installers)
        sim::WriteFile("C:\\Pkg\\" + installer.first, installer.second);
    NoRestart = c.noRestart;
    CheckOutput out = Check("C:\\Pkg", c.silent);
    EXPECT_EQ(c.findings, FindingCodes(out.text)) << out.text;
    EXPECT_EQ(c.exitCode, out.exitCode);
    CheckOutput json = Check("C:\\Pkg", c.silent, true);
    EXPECT_EQ(c.findings, JsonFindingCodes(json.text)) << json.text;
    EXPECT_EQ(c.exitCode, json.exitCode);
    if (c.runExitCode < 0)
        return;
    std::string code = std::to_string(c.runExitCode);
    EXPECT_NE(std::string::npos, out.text.find("\nExit    " + code + " ")) << out.text;
    EXPECT_NE(std::string::npos, json.text.find("\"runExitCode\": " + code + ",")) << json.text;
}

static std::string Keys(int count)
{
    std::string keys = "[SetupList]\n";
    for (int n = 1; n <= count; n++)
        keys += "Setup" + std::to_string(n) + "=1,a.exe,/" + std::to_string(n) + "\n";
    return keys;
}

INSTANTIATE_TEST_SUITE_P(
    Media, CheckedMedium,
    ::testing::Values(
        MediumCase{"Clean",
                   "[SetupList]\nSetup1=0,drv.inf,vid_1234\nSetup2=1,sub\\a.exe, ,b.exe~*.tmp\n"
                   "Setup3=1,app\\s.exe,-s -f1\"%curdir%\\app\\s.iss\" -f2\"%windir%\\s.log\", ,1\n"
                   "Setup4=2,t.exe,/q\nSetup5=-1,x,vid_1234\nSetup6=-2\n"
                   "[SetupSilent]\nSetup1=1,a.exe, ,\n",
                   {"drv.inf", "sub\\a.exe", "app\\s.exe", "app\\s.iss", "app\\t.exe"},
                   false,
                   {},
                   CHECK_CLEAN,
                   EXIT_RESTART_STARTED}, // the restart question answered Yes
        MediumCase{"NumberingGapCrLf",
                   "[SetupList]\r\nSetup1=1,a.exe,/1\r\n\r\nSetup3=1,a.exe,/3\r\n",
                   {"a.exe"},
                   false,
                   {"numbering-gap@4"},
                   CHECK_ERRORS},
        MediumCase{"ValueTooLong",
                   "[SetupList]\nSetup1=1,a.exe,/1\nSetup2=1,a.exe,/" + std::string(141, 'x') +
                       "\n",
                   {"a.exe"},
                   false,
                   {"value-too-long@3"},
                   CHECK_ERRORS},
        MediumCase{"FieldTooLong",
                   "[SetupList]\nSetup1=1," + std::string(100, 'f') + ",/1\n",
                   {},
                   false,
                   {"field-too-long@2"},
                   CHECK_ERRORS},
        MediumCase{"UnknownKind",
                   "[SetupList]\nSetup1=3,a.exe,/1\nSetup2=1,a.exe,/2\n",
                   {"a.exe"},
                   false,
                   {"unknown-kind@2"},
                   CHECK_ERRORS},
        MediumCase{
            "TooManySteps", Keys(100), {"a.exe"}, false, {"too-many-steps@101"}, CHECK_ERRORS},
        MediumCase{"NoSteps", "[SetupList]\n", {}, false, {"no-steps@0"}, CHECK_ERRORS},
        MediumCase{"FileMissing",
                   "[SetupList]\nSetup1=1,a.exe, ,\n",
                   {},
                   false,
                   {"file-missing@2"},
                   CHECK_ERRORS,
                   EXIT_INSTALL_FAILED},
        MediumCase{"RestartLeftToTheCaller",
                   "[SetupSilent]\nSetup1=1,a.exe, , ,1\n",
                   {"a.exe"},
                   true,
                   {},
                   CHECK_CLEAN,
                   EXIT_RESTART_NEEDED,
                   true},
        // A key of the silent run's steps is used; one the ini reader reads as a comment is none.
        MediumCase{"QuotesAndExitCodes",
                   "[SetupList]\nSetup1=1,a.exe,/x \"a,b\n[SetupSilent]\nSetup1=1,s.exe, ,\n"
                   "[ExitCodes]\n;c.exe=1:success\nS.exe=1:success\nA.exe=5:sucess\nsub\\a.exe=1\n",
                   {"a.exe", "s.exe"},
                   false,
                   {"unclosed-quote@2", "exit-codes-invalid@8", "exit-codes-unused@9"},
                   CHECK_ERRORS},
        // A rule that cannot be read; one for no launch; an installed step changes no prediction.
        MediumCase{"DetectRules",
                   "[SetupList]\nSetup1=1,a.exe, ,\nSetup2=1,b.exe, , ,1\nSetup3=0,d.inf,vid\n"
                   "[Detect]\na.exe=file:a.exe\nB.EXE=file:%curdir%\\b.exe\nd.inf=file:C:\\x\n"
                   "gone.exe=file:C:\\x\n",
                   {"a.exe", "b.exe", "d.inf"},
                   false,
                   {"detect-invalid@6", "detect-unused@8", "detect-unused@9"},
                   CHECK_ERRORS,
                   0},
        // A kind "1" step in a subfolder leaves it current for the ".\" paths after it.
        MediumCase{"FolderCarriedOver",
                   "[SetupList]\nSetup1=1,sub\\a.exe, ,\nSetup2=2,t.exe, ,\nSetup3=0,d.inf,vid\n",
                   {"sub\\a.exe", "t.exe", "d.inf"},
                   false,
                   {"file-missing@3", "file-missing@4"},
                   CHECK_ERRORS},
        // The step that changed folders is not the point: the file is nowhere.
        MediumCase{"MissingEverywhereAfterFolderChange",
                   "[SetupList]\nSetup1=1,sub\\a.exe, ,\nSetup2=2,none.exe, ,\n",
                   {"sub\\a.exe"},
                   false,
                   {"file-missing@3"},
                   CHECK_ERRORS},
        MediumCase{"InfOnlyInTheCurrentFolder",
                   "[SetupList]\nSetup1=1,sub\\a.exe, ,\nSetup2=0,d.inf,vid\n",
                   {"sub\\a.exe", "sub\\d.inf"},
                   false,
                   {"inf-missing@3"},
                   CHECK_ERRORS},
        MediumCase{"FolderMissing",
                   "[SetupList]\nSetup1=1,none\\a.exe, ,\n",
                   {},
                   false,
                   {"folder-missing@2"},
                   CHECK_ERRORS},
        MediumCase{"TrimmedBlank",
                   "[SetupList]\nSetup1=1,a.exe, \nSetup2=1,a.exe,/2, \n",
                   {"a.exe"},
                   false,
                   {"trimmed-blank@2", "trimmed-blank@3"},
                   CHECK_WARNINGS},
        // A silent run reads [SetupSilent]: its lines, not those of [SetupList].
        MediumCase{"TrimmedBlankSilent",
                   "[SetupList]\nSetup1=1,a.exe, \n[SetupSilent]\nSetup1=1,a.exe,/s\n"
                   "Setup2=1,a.exe,/2, \n",
                   {"a.exe"},
                   true,
                   {"trimmed-blank@5"},
                   CHECK_WARNINGS},
        MediumCase{"WaitSeparators",
                   "[SetupList]\nSetup1=1,a.exe, ,b.exe*c.exe\nSetup2=1,a.exe,/x,*.tmp\n"
                   "Setup3=1,a.exe,/x,b.exe~c.exe\nSetup4=1,a.exe, ,b.exe~*.tmp\n",
                   {"a.exe"},
                   false,
                   {"wait-separator@2", "wait-separator@3", "wait-separator@4"},
                   CHECK_WARNINGS},
        MediumCase{"ResponseFileMissing",
                   "[SetupList]\nSetup1=1,a.exe,-s -f1\"%curdir%\\x.iss\"\n",
                   {"a.exe"},
                   false,
                   {"response-file-missing@2"},
                   CHECK_ERRORS},
        MediumCase{"OptionsOnPackage",
                   "[SetupList]\nSetup1=1,p.msi,/qn -f2\"a.log\"\n",
                   {"p.msi"},
                   false,
                   {"options-on-msi@2"},
                   CHECK_WARNINGS},
        MediumCase{"BlankHardwareId",
                   "[SetupList]\nSetup1=-1, ,\nSetup2=0,d.inf, ,\n",
                   {"d.inf"},
                   false,
                   {"empty-hardware-id@2", "empty-hardware-id@3"},
                   CHECK_ERRORS},
        MediumCase{"RestartFlag",
                   "[SetupList]\nSetup1=1,a.exe, , ,y\n",
                   {"a.exe"},
                   false,
                   {"restart-flag@2"},
                   CHECK_WARNINGS},
        MediumCase{"RestartFlagOnDeviceStep",
                   "[SetupList]\nSetup1=1,a.exe, , ,1\nSetup2=-2,x, , ,1\n",
                   {"a.exe"},
                   false,
                   {"restart-flag-ignored@3"},
                   CHECK_WARNINGS},
        // A [SetupSilent] without keys is a placeholder (the kit's template has one).
        MediumCase{"SilentSectionPlaceholder",
                   "[SetupList]\nSetup1=1,a.exe, ,\n[SetupSilent]\n;Setup1=1,a.exe, ,\n",
                   {"a.exe"},
                   true,
                   {},
                   CHECK_CLEAN},
        MediumCase{"SilentSectionEmpty",
                   "[SetupList]\nSetup1=1,a.exe, ,\n[SetupSilent]\nSetup2=1,a.exe, ,\n",
                   {"a.exe"},
                   true,
                   {"silent-section-empty@0"},
                   CHECK_WARNINGS},
        MediumCase{
            "DuplicateKeyAndSection",
            "[SetupList]\nSetup1=1,a.exe, ,\nSetup1=1,b.exe, ,\n[setuplist]\nSetup2=1,a.exe, ,\n",
            {"a.exe"},
            false,
            {"duplicate-key@3", "duplicate-section@4"},
            CHECK_WARNINGS},
        MediumCase{"ByteOrderMark",
                   "\xEF\xBB\xBF[SetupList]\nSetup1=1,a.exe, ,\n",
                   {"a.exe"},
                   false,
                   {"encoding@1"},
                   CHECK_WARNINGS},
        MediumCase{"Utf16",
                   std::string("\xFF\xFE[\0S\0e\0t\0u\0p\0L\0i\0s\0t\0]\0\n\0S\0e\0t\0u\0p\0001\0="
                               "\0001\0,\0a\0.\0e\0x\0e\0,\0 \0,\0\n\0",
                               60),
                   {"a.exe"},
                   false,
                   {"encoding@1"},
                   CHECK_WARNINGS},
        MediumCase{"OutsideAscii",
                   "[SetupList]\nSetup1=1,caf\xE9.exe, ,\n",
                   {"caf\xE9.exe"},
                   false,
                   {"code-page@2"},
                   CHECK_WARNINGS},
        MediumCase{"DllRedirection",
                   "[SetupList]\nSetup1=1,a.exe, ,\n",
                   {"a.exe", "stagerun.exe.local\\"},
                   false,
                   {"dll-redirection@-"},
                   CHECK_ERRORS},
        // As the launcher ends a run that loaded no step.
        MediumCase{"NoStepsFailsTheRun",
                   "[SetupList]\nSetup1=\n",
                   {},
                   false,
                   {"no-steps@2"},
                   CHECK_ERRORS,
                   EXIT_INSTALL_FAILED},
        // A recognised installer without its unattended switches in a silent run: NSIS's "/s"
        // in lower case, a direct launch, an .msi without a quiet option; an unknown one is none.
        MediumCase{"NotSilent",
                   "[SetupSilent]\nSetup1=1,n.exe,/s\nSetup2=1,n.exe,/S\nSetup3=1,b.exe, ,\n"
                   "Setup4=2,b.exe,/passive\nSetup5=1,p.msi,/norestart\nSetup6=1,a.exe, ,\n",
                   {"a.exe"},
                   true,
                   {"not-silent@2", "not-silent@4", "not-silent@6"},
                   CHECK_WARNINGS,
                   -1,
                   false,
                   {{"n.exe", PeImage(".text", NsisFirstHeader)},
                    {"b.exe", PeImage(".wixburn")},
                    {"p.msi", CompoundFile(0x000C1084)}}}),
    [](const ::testing::TestParamInfo<MediumCase> &info) { return std::string(info.param.name); });

TEST(Checker, SiblingMissingAndNoLauncher)
{
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n");
    sim::WriteFile("C:\\Pkg\\a.exe", "MZ");
    EXPECT_EQ(std::vector<std::string>{"sibling-missing@-"}, FindingCodes(Check("C:\\Pkg").text));
    sim::WriteFile("D:\\Bare\\StageRun.ini", "[SetupList]\nSetup1=1,a.exe, ,\n");
    sim::WriteFile("D:\\Bare\\a.exe", "MZ");
    EXPECT_EQ(std::vector<std::string>{"no-launcher@-"}, FindingCodes(Check("D:\\Bare").text));
}

// What cannot be read is said in one line, with exit code 3, for every bad list of the launcher's
// own tests too (tests/badlist_test.cpp runs them through the checker as well).
TEST(Checker, UnreadableMedia)
{
    MakeMedium("");
    sim::MakeDirectory("D:\\Empty");
    sim::WriteFile("D:\\File", "x");
    sim::MakeDirectory("D:\\Folder\\StageRun.ini");
    sim::WriteFile("D:\\Huge\\StageRun.ini", "[SetupList]\n" + std::string(5 << 20, ';'));
    const struct {
        const char *folder, *message;
    } cases[] = {
        {"D:\\Missing", "stagerun-check: D:\\Missing: no such folder\n"},
        {"D:\\File", "stagerun-check: D:\\File: no such folder\n"},
        {"D:\\Empty", "stagerun-check: D:\\Empty: no StageRun.ini in this folder\n"},
        {"D:\\Folder", "stagerun-check: D:\\Folder: no StageRun.ini in this folder\n"},
        {"D:\\Huge", "stagerun-check: D:\\Huge\\StageRun.ini is larger than 4194304 bytes: not a "
                     "setup list\n"},
    };
    for (const auto &c : cases) {
        CheckOutput out = Check(c.folder);
        EXPECT_EQ(CHECK_UNREADABLE, out.exitCode) << c.folder;
        EXPECT_EQ(c.message, out.text);
    }
    SetCurrentDirectoryA("D:\\Empty");
    EXPECT_EQ("{\"error\": \"D:\\\\Empty: no StageRun.ini in this folder\", \"exitCode\": 3}\n",
              Check(NULL, false, true).text);
}

// The plan the checker prints is what the launcher then does on the same medium: the same files,
// folders and parameters, in order, and the same skipped steps, each with the folder the launcher
// looked in (a kind "1" step makes its own folder current first).
TEST(Checker, PlanIsTheRun)
{
    MakeMedium("[SetupList]\n"
               "Setup1=1,Driver\\setup.exe, ,helper.exe\n"
               "Setup2=2,tool.exe,/quiet\n"
               "Setup3=1,app\\setup.exe,-s -f1\"%curdir%\\app\\setup.iss\" "
               "-f2\"%windir%\\setup.log\", ,1\n"
               "Setup4=1,missing.exe, ,\n"
               "Setup5=1,D:\\Other\\abs.exe,-x -f1\"none.iss\"\n"
               "Setup6=1,Driver\\gone.exe, ,\n");
    AddInstaller("C:\\Pkg\\stagerun64.exe", 0);
    AddInstaller("C:\\Pkg\\Driver\\setup.exe", 100);
    AddInstaller("C:\\Pkg\\Driver\\tool.exe", 100);
    AddInstaller("C:\\Pkg\\app\\Setup.exe", 100);
    AddInstaller("D:\\Other\\abs.exe", 100);
    sim::WriteFile("C:\\Pkg\\app\\setup.iss", "");
    std::string json = Check("C:\\Pkg", false, true).text;
    std::vector<std::string> planned = PlannedLaunches(json);
    ASSERT_TRUE(Finished(sim::Run("/log:C:\\run.log")));
    std::vector<std::string> ran;
    for (const sim::Launch &launch : sim::Launches())
        ran.push_back(launch.file + "|" + launch.currentDirectory + "|" + launch.parameters);
    EXPECT_EQ(4u, ran.size());
    EXPECT_EQ(ran, planned) << json;
    std::string log = sim::ReadFileAt("C:\\run.log");
    std::vector<std::string> skipped =
        EachMatch(log, std::regex("step (\\d+): skipped: .* \\(current folder (.*)\\)\r"),
                  [](const std::smatch &m) { return m[1].str() + "|" + m[2].str(); });
    EXPECT_EQ((std::vector<std::string>{"4|C:\\Pkg", "6|C:\\Pkg\\Driver"}), skipped) << log;
    EXPECT_EQ(skipped, PlannedSkips(json)) << json;
}

// The 32-bit checker on 64-bit Windows hands the check, with the same switches and folder, to the
// 64-bit checker beside it, prints nothing itself and passes the exit code on; without that sibling
// it says so, with exit code 3. Elsewhere it checks itself, and says first for which launcher.
struct HandOffCase {
    const char *name;
    bool wow64, siblingThere;
    const char *folder;
    bool silent, json;
    int exitCode;
    std::string output;  // the start of what this program prints
    std::string command; // the sibling's command line; empty when none is started
};
class CheckerHandOff : public ::testing::TestWithParam<HandOffCase>
{
};

TEST_P(CheckerHandOff, ChecksAsTheLauncherRuns)
{
    const HandOffCase &c = GetParam();
    MakeMedium("[SetupList]\nSetup1=1,a.exe, ,\n", "D:\\My Media");
    sim::WriteFile("D:\\My Media\\a.exe", "MZ");
    sim::WriteFile("D:\\My Media\\stagerun64.exe", "MZ");
    sim::SetModulePath("C:\\Tools\\stagerun-check.exe");
    if (c.siblingThere) {
        sim::Program sibling;
        sibling.exitCode = CHECK_WARNINGS;
        AddInstaller("C:\\Tools\\stagerun-check64.exe", 300, sibling);
    }
    sim::SetWow64(c.wow64);
    CheckOutput out = Check(c.folder, c.silent, c.json);
    EXPECT_EQ(c.exitCode, out.exitCode);
    EXPECT_EQ(c.output, out.text.substr(0, c.output.size())) << out.text;
    if (c.command.empty()) {
        EXPECT_TRUE(sim::Launches().empty());
        return;
    }
    ASSERT_EQ(1u, sim::Launches().size());
    EXPECT_EQ("C:\\Tools\\stagerun-check64.exe", sim::Launches()[0].file);
    EXPECT_EQ(c.command, sim::Launches()[0].parameters);
    EXPECT_EQ(0, sim::OpenHandleCount());
    if (c.siblingThere) {
        EXPECT_EQ("", out.text);
        EXPECT_NE(sim::kForever, sim::FindProcess(sim::Launches()[0].pid)->endMs);
    }
}

static const char Missing[] = "C:\\Tools\\stagerun-check64.exe is missing: on 64-bit Windows the "
                              "check is made by the 64-bit checker, which sees the system as the "
                              "64-bit launcher does";

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckerHandOff,
    ::testing::Values(
        HandOffCase{"Wow64", true, true, "D:\\My Media\\", true, true, CHECK_WARNINGS, "",
                    "\"C:\\Tools\\stagerun-check64.exe\" /s /json \"D:\\My Media\\\\\""},
        HandOffCase{"Wow64CurrentFolder", true, true, NULL, false, false, CHECK_WARNINGS, "",
                    "\"C:\\Tools\\stagerun-check64.exe\""},
        HandOffCase{"Wow64NoSibling", true, false, "D:\\My Media", false, false, CHECK_UNREADABLE,
                    std::string("stagerun-check: ") + Missing + "\n",
                    "\"C:\\Tools\\stagerun-check64.exe\" \"D:\\My Media\""},
        HandOffCase{"Native", false, true, "D:\\My Media", false, false, CHECK_CLEAN,
                    "For     stagerun64.exe on 64-bit Windows\nMedium  D:\\My Media\n", ""},
        HandOffCase{
            "NativeJson", false, true, "D:\\My Media", false, true, CHECK_CLEAN,
            "{\"launcher\": \"stagerun64.exe\", \"windows\": \"64-bit\", \"medium\": ", ""}),
    ByName());

// The JSON report is one well-formed document for a medium that uses every section, in the normal
// and the silent run: each step's fields, waits and exit-code rules, the findings with their paths
// and quotes (a code given twice among them).
TEST(Checker, JsonReportIsWellFormed)
{
    MakeMedium("[SetupList]\nSetup1=0,d.inf,vid_1234\nSetup2=1,sub\\a.exe, ,b.exe~*.tmp\n"
               "Setup3=2,t.exe,/q -f1\"%curdir%\\s.iss\" -f2\"%windir%\\s.log\", ,1\n"
               "Setup4=-1,x,vid_1234\nSetup5=-2\n"
               "[SetupSilent]\nSetup1=1,a.exe, ,\n"
               "[StageRun]\nLog=%windir%\\setup.log\n"
               "[ExitCodes]\nsub\\a.exe=1638:success 5:restart,5:failure\nt.exe=0:restart\n"
               "[Detect]\nsub\\a.exe=reg:HKLM\\SOFTWARE\\\"A\",V>=1\nt.exe=file:t.exe\n"
               "a.exe=file:%curdir%\\a.exe\n");
    for (const char *file : {"stagerun64.exe", "d.inf", "a.exe", "sub\\a.exe", "sub\\t.exe"})
        sim::WriteFile(std::string("C:\\Pkg\\") + file, "MZ");
    std::string json = Check("C:\\Pkg", false, true).text;
    EXPECT_TRUE(IsJson(json)) << json;
    EXPECT_NE(std::string::npos, json.find("\"code\": \"exit-codes-invalid\"")) << json;
    std::string silent = Check("C:\\Pkg", true, true).text;
    EXPECT_TRUE(IsJson(silent)) << silent;
}

// An MSI step's block names the package by its Property table, read through the Windows
// Installer, and the [Detect] rule to write; a package it cannot open is said in one line. Every
// handle is closed.
TEST(Checker, PackageIdentity)
{
    MakeMedium("[SetupList]\nSetup1=1,w.msi,/qn\nSetup2=1,x.msi,/qn\n");
    sim::WriteFile("C:\\Pkg\\stagerun64.exe", "MZ");
    sim::WriteFile("C:\\Pkg\\w.msi", CompoundFile(0x000C1084));
    sim::WriteFile("C:\\Pkg\\x.msi", CompoundFile(0x000C1084));
    sim::SetMsiProperties("C:\\Pkg\\w.msi",
                          {{"Manufacturer", "Acme"},
                           {"ProductCode", "{8F1D2C3B-4A5E-4F60-9B7C-1D2E3F405162}"},
                           {"ProductName", "Widget"},
                           {"ProductVersion", "2.4.1"}});
    CheckOutput out = Check("C:\\Pkg");
    EXPECT_NE(std::string::npos,
              out.text.find("    installer   Windows Installer package\n"
                            "    unattended  /qn (or /quiet, /passive)\n"
                            "    product     Widget\n"
                            "    version     2.4.1\n"
                            "    productCode {8F1D2C3B-4A5E-4F60-9B7C-1D2E3F405162}\n"
                            "    declare     [Detect] w.msi=msi:{8F1D2C3B-4A5E-4F60-9B7C-"
                            "1D2E3F405162}>=2.4.1\n"
                            "    exit codes"))
        << out.text;
    EXPECT_NE(std::string::npos,
              out.text.find("    unattended  /qn (or /quiet, /passive)\n"
                            "    package     cannot be read: the Windows Installer cannot read it "
                            "(error 110)\n"))
        << out.text;
    EXPECT_EQ(CHECK_CLEAN, out.exitCode);
    std::string json = Check("C:\\Pkg", false, true).text;
    EXPECT_NE(std::string::npos,
              json.find("\"productName\": \"Widget\", \"productVersion\": \"2.4.1\", "
                        "\"productCode\": \"{8F1D2C3B-4A5E-4F60-9B7C-1D2E3F405162}\", "
                        "\"detectRule\": \"msi:{8F1D2C3B-4A5E-4F60-9B7C-1D2E3F405162}>=2.4.1\""))
        << json;
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// /new prints a starter list for the installers in the folder and below, writes nothing, and the
// list, saved beside them, checks without errors; a folder that is not there cannot be read.
TEST(Checker, StarterList)
{
    MakeMedium("");
    sim::WriteFile("C:\\Pkg\\Setup.exe", PeImage(".text", NsisFirstHeader));
    sim::WriteFile("C:\\Pkg\\app.msi", CompoundFile(0x000C1084));
    sim::SetMsiProperties(
        "C:\\Pkg\\app.msi",
        {{"ProductVersion", "1.0"}, {"ProductCode", "{11111111-2222-3333-4444-555555555555}"}});
    sim::WriteFile("C:\\Pkg\\tools\\inst.exe", PeImage());
    sim::WriteFile("C:\\Pkg\\tools\\readme.txt", "");
    sim::WriteFile("C:\\Pkg\\stagerun64.exe", "MZ");
    CheckOutput starter = Check("C:\\Pkg", false, false, true);
    const std::string &list = starter.text;
    EXPECT_EQ(CHECK_CLEAN, starter.exitCode);
    EXPECT_EQ("; StageRun.ini: a starter list by stagerun-check /new for the installers in\n"
              "; C:\\Pkg and its subfolders, in name order, each folder's files before its "
              "subfolders.\n"
              "; Save it beside them, then check it: stagerun-check, and stagerun-check /s.\n"
              "\n[SetupList]\n"
              "; Reorder the steps as the products need: what another product needs runs first.\n"
              "; Kind,File,Arguments,WaitList,RebootFlag\n"
              "; Windows Installer package: 1.0 {11111111-2222-3333-4444-555555555555}\n"
              "Setup1=1,app.msi, ,\n"
              "; NSIS\n"
              "Setup2=1,Setup.exe, ,\n"
              "; unknown installer type: find its silent switches in its documentation\n"
              "Setup3=1,tools\\inst.exe, ,\n"
              "\n[SetupSilent]\n"
              "; The same steps with each installer's unattended switches.\n"
              "Setup1=1,app.msi,/qn\n"
              "Setup2=1,Setup.exe,/S\n"
              "; unknown installer type: find its silent switches in its documentation\n"
              "Setup3=1,tools\\inst.exe, ,\n"
              "\n[Detect]\n"
              "; skips the step where the package's product is installed in this version or a "
              "later one\n"
              "app.msi=msi:{11111111-2222-3333-4444-555555555555}>=1.0\n",
              list);
    EXPECT_FALSE(sim::FileExistsAt("C:\\Pkg\\StageRun.ini"));
    EXPECT_EQ(0, sim::OpenHandleCount());
    sim::WriteFile("C:\\Pkg\\StageRun.ini", list);
    for (bool silent : {false, true}) {
        CheckOutput out = Check("C:\\Pkg", silent);
        EXPECT_NE(std::string::npos, out.text.find("\n0 errors, ")) << out.text;
    }
    EXPECT_EQ(CHECK_UNREADABLE, Check("C:\\Missing", false, false, true).exitCode);
}
