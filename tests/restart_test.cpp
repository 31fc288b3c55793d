// Restart and error report: the restart question, the forced restart and its error boxes.
#include <gtest/gtest.h>

#include "sim.h"
#include "stagerun.h"

#include <string>

static const char *const kKoreanQuestion = "프로그램 설치가 끝났습니다. 설치를 완료하려면 "
                                           "시스템을 재부팅하여야 합니다. 지금 재부팅 "
                                           "하시겠습니까?";
static const char *const kNotAllAssigned =
    "Not all privileges or groups referenced are assigned to the caller.\r\n";
static const char *const kPrivilegeNotHeld = "A required privilege is not held by the client.\r\n";

static void ExpectErrorBox(const sim::MessageBoxRecord &box, const char *caption, const char *text)
{
    EXPECT_EQ(caption, box.caption);
    EXPECT_EQ(text, box.text) << caption;
    EXPECT_EQ((UINT)MB_OK, box.style) << caption;
    EXPECT_FALSE(box.wide) << caption;
    EXPECT_EQ(NULL, box.owner) << caption;
}

TEST(Restart, AskRestart)
{
    static const struct {
        const char *language;
        int answer;
        bool korean;
    } tests[] = {
        /* 0 */ {"kor", IDYES, true},  {"KOR", IDNO, true},  {"Kor", IDYES, true},
        /* 3 */ {"eng", IDYES, false}, {"ko", IDYES, false}, {"", IDNO, false},
        /* 6 */ {"kor", 0, true},      {"eng", 0, false}, // the box failed
    };
    for (size_t i = 0; i < sizeof(tests) / sizeof(tests[0]); i++) {
        snprintf(LanguageCode, sizeof(LanguageCode), "%s", tests[i].language);
        sim::ScriptMessageBoxAnswer(tests[i].answer);
        EXPECT_EQ(tests[i].answer == IDYES, AskRestart() != FALSE) << i;
        ASSERT_EQ(i + 1, sim::MessageBoxes().size());
        const sim::MessageBoxRecord &box = sim::MessageBoxes().back();
        EXPECT_EQ(tests[i].korean, box.wide) << i;
        EXPECT_EQ(tests[i].korean ? kKoreanQuestion : "Reboot system now?", box.text) << i;
        EXPECT_EQ(tests[i].korean ? "시스템 재부팅" : "System Rebooting", box.caption) << i;
        EXPECT_EQ(0x40024u, box.style) << i;
        EXPECT_EQ(NULL, box.owner) << i;
    }
    // Asking never restarts, whatever the answer.
    EXPECT_TRUE(sim::RestartRequests().empty());
}

TEST(Restart, RestartSystemRequestsForcedReboot)
{
    SetLastError(0xdeadbeef);
    RestartSystem();
    EXPECT_TRUE(sim::MessageBoxes().empty());
    ASSERT_EQ(1u, sim::RestartRequests().size());
    EXPECT_EQ((UINT)(EWX_REBOOT | EWX_FORCE), sim::RestartRequests()[0].flags);
    EXPECT_EQ(0u, sim::RestartRequests()[0].reason);
}

// Without a token the adjustment is skipped; either way the restart is requested, and refused.
TEST(Restart, RestartSystemReportsEachFailedStep)
{
    static const struct {
        const char *caption, *text;
    } expected[] = {
        /* 0 */ {"OpenProcessToken", "Access is denied.\r\n"},
        /* 1 */ {"ExitWindowsEx", kPrivilegeNotHeld},
        /* 2 */ {"AdjustTokenPrivileges", kNotAllAssigned},
        /* 3 */ {"ExitWindowsEx", kPrivilegeNotHeld},
    };
    sim::FailTokenOpen(ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    RestartSystem();
    EXPECT_EQ(2u, sim::MessageBoxes().size());
    sim::FailTokenOpen(0);
    sim::TokenLacksShutdownPrivilege();
    SetLastError(0xdeadbeef);
    RestartSystem();
    ASSERT_EQ(4u, sim::MessageBoxes().size());
    for (size_t i = 0; i < 4; i++)
        ExpectErrorBox(sim::MessageBoxes()[i], expected[i].caption, expected[i].text);
    EXPECT_TRUE(sim::RestartRequests().empty());
}

TEST(Restart, ShowLastError)
{
    int allocations = sim::OpenAllocationCount();
    static const struct {
        DWORD code;
        const char *text;
    } tests[] = {
        /* 0 */ {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        /* 1 */ {ERROR_NOT_ALL_ASSIGNED, kNotAllAssigned},
        /* 2 */ {0x20001234, "FAILURE"}, // no system text
        /* 3 */ {0xdeadbeef, "FAILURE"},
    };
    for (size_t i = 0; i < sizeof(tests) / sizeof(tests[0]); i++) {
        std::string caption = "Step " + std::to_string(i);
        SetLastError(tests[i].code);
        EXPECT_EQ(0, ShowLastError(caption.c_str())) << i;
        EXPECT_EQ(tests[i].code, GetLastError()) << i;
        ASSERT_EQ(i + 1, sim::MessageBoxes().size());
        ExpectErrorBox(sim::MessageBoxes().back(), caption.c_str(), tests[i].text);
        EXPECT_EQ(allocations, sim::OpenAllocationCount()) << i;
    }
}
