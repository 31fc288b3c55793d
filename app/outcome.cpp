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

static void NoteStep(int *step)
{
    if (*step == 0)
        *step = Plan.number;
}

// The step's rules tell what its installer's code means. One still running is not known.
void NoteInstallerExit(DWORD code)
{
    BOOL declared;
    if (code == STILL_ACTIVE)
        return;
    switch (MeaningOfExitCode(code, &declared)) {
    case MEANING_SUCCESS:
        break;
    case MEANING_RESTART_NEEDED:
        NoteStep(&Outcome.restartStep);
        break;
    case MEANING_RESTART_STARTED:
        NoteStep(&Outcome.restartStartedStep);
        break;
    case MEANING_BUSY:
        NoteStep(&Outcome.busyStep);
        break;
    case MEANING_FAILURE:
        NoteFailure(FAILURE_EXIT_CODE, code);
        break;
    }
}

BOOL IsRestartUnderWay(void)
{
    return Outcome.restartStartedStep != 0 || Outcome.sessionEnding;
}

// A failure wins over a busy Windows Installer, which the tools retry; that over a restart under
// way, by the launcher, an installer or Windows; that over a restart still needed.
int DecideExitCode(void)
{
    if (Outcome.failures > 0)
        return EXIT_INSTALL_FAILED;
    if (Outcome.busyStep != 0)
        return EXIT_INSTALLER_BUSY;
    if (Outcome.restart == RESTART_STARTED || IsRestartUnderWay())
        return EXIT_RESTART_STARTED;
    if (Outcome.restart != RESTART_NOT_NEEDED || Outcome.restartStep != 0)
        return EXIT_RESTART_NEEDED;
    return 0;
}
