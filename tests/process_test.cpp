// Process watch: finding, recognising and ending processes by name over Tool Help snapshots.
#include <gtest/gtest.h>

#include "sim.h"
#include "stagerun.h"

#include <cctype>
#include <string>

static std::string Upper(std::string text)
{
    for (char &c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

static bool Ended(DWORD pid)
{
    return sim::FindProcess(pid)->endMs != sim::kForever;
}

TEST(ProcessWatch, FindProcessIdByName)
{
    DWORD otherParent = sim::AddProcess("Setup.EXE", sim::kExplorerPid);
    sim::AddProcess("setup.exe", sim::kLauncherPid);
    sim::AddProcess("notepad.exe", sim::kExplorerPid);
    int handles = sim::OpenHandleCount();
    static const struct {
        const char *name;
        DWORD pid;
    } tests[] = {
        /* 0 */ {"setup.exe", otherParent}, // case aside, the first of two
        /* 1 */ {"SETUP.exe", otherParent},
        /* 2 */ {"explorer.exe", sim::kExplorerPid},
        /* 3 */ {"setup", 0}, // equality, not containment
        /* 4 */ {"etup.exe", 0},
        /* 5 */ {"setup.exe.", 0},
        /* 6 */ {"", 0},
    };
    for (size_t i = 0; i < sizeof(tests) / sizeof(tests[0]); i++) {
        char name[64];
        snprintf(name, sizeof(name), "%s", tests[i].name);
        EXPECT_EQ(tests[i].pid, FindProcessIdByName(name)) << i;
        EXPECT_EQ(Upper(tests[i].name), name) << i;
        EXPECT_EQ(handles, sim::OpenHandleCount()) << i;
    }
}

// Without a job, the run is followed over snapshots from the launcher down: a process counts when
// a process of the run started it, also one that has ended since, and only then.
TEST(ProcessWatch, IsRunProcessRunning)
{
    sim::ReuseProcessIds();
    SelfProcessId = sim::kLauncherPid;
    sim::AddProcess("INST.EXE", sim::kExplorerPid);
    DWORD child = sim::AddProcess("setup.exe", sim::kLauncherPid, 1000);
    DWORD grandchild = sim::AddProcess("Inst.exe", child, 3000);
    sim::AddProcess("deep.exe", grandchild, 2000);
    static const struct {
        DWORD atMs;
        const char *name;
        BOOL running;
        DWORD starterPid;
        const char *starter;
    } tests[] = {
        /* 0 */ {0, "inst.exe", TRUE, 5004, "SETUP.EXE"}, // after one of another starter
        /* 1 */ {0, "deep.exe", TRUE, 5008, "INST.EXE"},
        /* 2 */ {0, "explorer.exe", FALSE, 0, ""},
        /* 3 */ {0, "stagerun.exe", FALSE, 0, ""},           // the launcher itself
        /* 4 */ {1500, "inst.exe", TRUE, 5004, "SETUP.EXE"}, // its starter has ended
        /* 5 */ {1500, "setup.exe", FALSE, 0, ""},
        /* 6 */ {2500, "deep.exe", FALSE, 0, ""},
        /* 7 */ {3500, "inst.exe", FALSE, 0, ""},
    };
    ASSERT_EQ(5004u, child);
    for (size_t i = 0; i < sizeof(tests) / sizeof(tests[0]); i++) {
        if (tests[i].atMs > sim::Now())
            Sleep(tests[i].atMs - sim::Now());
        char name[64];
        snprintf(name, sizeof(name), "%s", tests[i].name);
        HeldBy = {};
        EXPECT_EQ(tests[i].running, IsRunProcessRunning(name)) << i;
        EXPECT_EQ(Upper(tests[i].name), name) << i;
        EXPECT_EQ(tests[i].starterPid, HeldBy.starterPid) << i;
        EXPECT_STREQ(tests[i].starter, HeldBy.starter) << i;
    }
    // The ended ids went back to the system: a process another program starts under a new
    // process that took the id of one of the run is not of the run.
    DWORD taken = sim::AddProcess("other.exe", sim::kExplorerPid);
    ASSERT_EQ(grandchild, taken);
    sim::AddProcess("inst.exe", taken);
    char name[] = "inst.exe";
    EXPECT_FALSE(IsRunProcessRunning(name));
    EndRunWatch();
    EXPECT_EQ(0, sim::OpenHandleCount());
}

// Past the table's bound, a name counts whoever started the process: the step waits longer
// rather than end too early.
TEST(ProcessWatch, PastTheTableEveryStarterCounts)
{
    SelfProcessId = sim::kLauncherPid;
    sim::AddProcess("other.exe", sim::kExplorerPid);
    for (int i = 0; i < RUN_TABLE_SIZE; i++)
        sim::AddProcess("busy.exe", sim::kLauncherPid);
    char name[] = "other.exe";
    EXPECT_FALSE(IsRunProcessRunning(name));
    sim::AddProcess("late.exe", sim::kLauncherPid);
    EXPECT_TRUE(IsRunProcessRunning(name));
    EXPECT_TRUE(HeldBy.anyStarter);
}

TEST(ProcessWatch, IsProcessPatternRunning)
{
    int handles = sim::OpenHandleCount();
    DWORD isdel = sim::AddProcess("_ISDEL.TMP", sim::kExplorerPid);
    DWORD tmpExe = sim::AddProcess("a.tmp.exe", sim::kExplorerPid);
    sim::AddProcess("XMSIEXEC.EXE", sim::kExplorerPid);
    static const struct {
        const char *text;
        BOOL running;
    } tests[] = {
        /* 0 */ {".tmp", TRUE},       {"_isdel", TRUE},       {"msiexec.exe", TRUE},
        /* 3 */ {"", TRUE},           {"_isdel.tmp.", FALSE}, {"a.tmp.exe.", FALSE},
        /* 6 */ {"setup.exe", FALSE},
    };
    for (size_t i = 0; i < sizeof(tests) / sizeof(tests[0]); i++) {
        char text[64];
        snprintf(text, sizeof(text), "%s", tests[i].text);
        EXPECT_EQ(tests[i].running, IsProcessPatternRunning(text)) << i;
        EXPECT_EQ(Upper(tests[i].text), text) << i;
    }

    // ".TMP" at the end of one name and in the middle of another: each call ends the first.
    char tmp[] = ".tmp";
    EXPECT_TRUE(KillProcessByName(tmp));
    EXPECT_TRUE(Ended(isdel));
    EXPECT_FALSE(Ended(tmpExe));
    EXPECT_TRUE(IsProcessPatternRunning(tmp));
    EXPECT_TRUE(KillProcessByName(tmp));
    EXPECT_TRUE(Ended(tmpExe));
    EXPECT_FALSE(IsProcessPatternRunning(tmp));
    EXPECT_FALSE(KillProcessByName(tmp));
    EXPECT_EQ(handles, sim::OpenHandleCount());
}

TEST(ProcessWatch, KillProcessByName)
{
    int handles = sim::OpenHandleCount();
    sim::AddProcess("notepad.exe", sim::kExplorerPid);
    DWORD installers[] = {sim::AddProcess("msiexec.exe", sim::kExplorerPid),
                          sim::AddProcess("MsiExec.EXE", 4),
                          sim::AddProcess("msiexec.exe", sim::kLauncherPid)};
    char name[] = "msiexec.exe";

    EXPECT_TRUE(KillProcessByName(name));
    EXPECT_STREQ("MSIEXEC.EXE", name);
    EXPECT_TRUE(Ended(installers[0]));
    EXPECT_FALSE(Ended(installers[1]));
    EXPECT_TRUE(KillProcessByName(name));
    EXPECT_TRUE(Ended(installers[1]));
    EXPECT_FALSE(Ended(installers[2]));
    for (int i = 0; i < 2; i++) {
        const sim::ProcessRecord *ended = sim::FindProcess(installers[i]);
        EXPECT_TRUE(ended->terminated) << i;
        EXPECT_EQ(1u, ended->exitCode) << i; // never STILL_ACTIVE
    }
    EXPECT_EQ(handles, sim::OpenHandleCount());
}

TEST(ProcessWatch, NoMatchOutcomes)
{
    int handles = sim::OpenHandleCount();
    DWORD locked = sim::AddProcess("msiexec.exe", sim::kExplorerPid, sim::kForever, false);
    DWORD open = sim::AddProcess("msiexec.exe", sim::kLauncherPid);
    char name[] = "msiexec.exe";
    EXPECT_FALSE(KillProcessByName(name));
    EXPECT_FALSE(KillProcessByName(name));
    EXPECT_FALSE(Ended(locked));
    EXPECT_FALSE(Ended(open));

    // An empty text acts on the first entry, the idle process, which cannot be opened.
    char empty[] = "";
    EXPECT_FALSE(KillProcessByName(empty));
    for (const sim::ProcessRecord &p : sim::Processes())
        EXPECT_FALSE(p.terminated) << p.name;

    // No snapshot: every operation gives its no-match outcome, the text upper-cased all the same.
    SelfProcessId = sim::kLauncherPid;
    sim::FailSnapshots(true);
    char names[4][16] = {"msiexec.exe", "msiexec.exe", "msiexec.exe", "msiexec.exe"};
    EXPECT_EQ(0u, FindProcessIdByName(names[0]));
    EXPECT_FALSE(IsRunProcessRunning(names[1]));
    EXPECT_FALSE(IsProcessPatternRunning(names[2]));
    EXPECT_FALSE(KillProcessByName(names[3]));
    EXPECT_FALSE(Ended(open));
    for (int i = 0; i < 4; i++)
        EXPECT_STREQ("MSIEXEC.EXE", names[i]) << i;
    EXPECT_EQ(handles, sim::OpenHandleCount());
}
