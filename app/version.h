// The program's version, as the step log names it.
#pragma once

#define STAGERUN_VERSION "1.0.0"
