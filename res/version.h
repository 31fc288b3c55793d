// The one version number of StageRun. The resource scripts, the programs and the build
// (CMakeLists.txt, scripts/kit.py) all read it from here: change it only here.
#pragma once

#define STAGERUN_VERSION_MAJOR 1
#define STAGERUN_VERSION_MINOR 0
#define STAGERUN_VERSION_PATCH 0

#define STAGERUN_STRINGIZE_(x) #x
#define STAGERUN_STRINGIZE(x) STAGERUN_STRINGIZE_(x)
// "1.0.0": for the version resource and for a program's own /version output.
#define STAGERUN_VERSION                                                                           \
    STAGERUN_STRINGIZE(STAGERUN_VERSION_MAJOR)                                                     \
    "." STAGERUN_STRINGIZE(STAGERUN_VERSION_MINOR) "." STAGERUN_STRINGIZE(STAGERUN_VERSION_PATCH)

#define STAGERUN_PRODUCT_NAME "StageRun"
#define STAGERUN_COPYRIGHT "Copyright (C) 2026 The StageRun developers"
