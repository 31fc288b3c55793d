// How the run went, and the exit code that tells it to whoever started the launcher.

#include "stagerun.h"

RunOutcome Outcome;

// The first failure is the one the log names; every one counts.
void NoteFailure(StepFailure failure, DWORD detail)
{
    if (Outcome.failures++ > 0)
        return;
    Outcome.failedStep = Plan.number;
    Outcome.failure = failure;
    Outcome.detail = detail;
}

// 3010 and 1641 are successes that need a restart; any other code but 0 is a failure. One still
// running is not known.
void NoteInstallerExit(DWORD code)
{
    if (code == STILL_ACTIVE)
        return;
    if (code == EXIT_RESTART_NEEDED || code == EXIT_RESTART_STARTED) {
        if (Outcome.restartStep == 0)
            Outcome.restartStep = Plan.number;
    } else if (code != 0) {
        NoteFailure(FAILURE_EXIT_CODE, code);
    }
}

// A failure wins over a restart; a restart the launcher started over one that is still needed.
int DecideExitCode(void)
{
    if (Outcome.failures > 0)
        return EXIT_INSTALL_FAILED;
    if (Outcome.restart == RESTART_STARTED)
        return EXIT_RESTART_STARTED;
    if (Outcome.restart != RESTART_NOT_NEEDED || Outcome.restartStep != 0)
        return EXIT_RESTART_NEEDED;
    return 0;
}
