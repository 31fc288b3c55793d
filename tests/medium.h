// A simulated machine with the launcher on an installation medium, for scenario tests.
#pragma once

#include <gtest/gtest.h>

#include "sim.h"
#include "stagerun.h"

#include <string>

// The launcher at <directory>\stagerun.exe beside a StageRun.ini holding the given text.
inline void MakeMedium(const std::string &ini, const std::string &directory = "C:\\Pkg",
                       const std::string &exeName = "stagerun.exe")
{
    sim::UseTemporaryDrives("CD");
    sim::SetModulePath(directory + "\\" + exeName);
    sim::WriteFile(directory + "\\" + exeName, "MZ");
    if (!ini.empty())
        sim::WriteFile(directory + "\\StageRun.ini", ini);
}

// A program on the medium that runs for the given time once started.
inline void AddInstaller(const std::string &path, DWORD runMs, sim::Program program = {})
{
    sim::WriteFile(path, "MZ");
    program.runMs = runMs;
    sim::DefineProgram(path.substr(path.rfind('\\') + 1), program);
}

inline std::vector<DWORD> LaunchTimes()
{
    std::vector<DWORD> times;
    for (const sim::Launch &launch : sim::Launches())
        times.push_back(launch.timeMs);
    return times;
}

// Installers must come up in view, whatever the launcher's own show state: every launch asks for
// SW_SHOW.
inline ::testing::AssertionResult AllLaunchesShown()
{
    for (const sim::Launch &launch : sim::Launches()) {
        if (launch.showCommand != SW_SHOW)
            return ::testing::AssertionFailure()
                   << launch.file << " launched with show command " << launch.showCommand;
    }
    return ::testing::AssertionSuccess();
}

// Names the cases of a table after their name field.
struct ByName {
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case> &info) const
    {
        return info.param.name;
    }
};

inline ::testing::AssertionResult Finished(const sim::RunResult &result)
{
    if (result.finished)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "run stopped at " << result.endMs << " ms: " << result.stuck;
}
