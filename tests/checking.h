// Running the medium checker inside a host test, and reading its report back.
#pragma once

#include "check.h"
#include "medium.h"

#include <cstdio>
#include <regex>

struct CheckOutput {
    int exitCode;
    std::string text;
};

inline CheckOutput Check(const char *folder, bool silent = false, bool json = false)
{
    ReportOut = tmpfile();
    CheckRequest request = {folder, silent, json};
    int exitCode = CheckMedium(&request);
    std::string text;
    rewind(ReportOut);
    for (int c; (c = fgetc(ReportOut)) != EOF;)
        text += (char)c;
    fclose(ReportOut);
    ReportOut = NULL;
    return {exitCode, text};
}

// "file|folder|parameters" of each step the JSON report plans to launch, in order.
inline std::vector<std::string> PlannedLaunches(const std::string &json)
{
    std::vector<std::string> planned;
    std::regex step(
        "\"action\": \"(?:launch|dialog)\",(?: \"copyFrom\": \"[^\"]*\",)? \"file\": "
        "\"([^\"]*)\", \"folder\": \"([^\"]*)\", \"parameters\": \"((?:[^\"\\\\]|\\\\.)*)\"");
    for (std::sregex_iterator i(json.begin(), json.end(), step), end; i != end; ++i) {
        std::string fields = (*i)[1].str() + "|" + (*i)[2].str() + "|" + (*i)[3].str();
        planned.push_back(std::regex_replace(fields, std::regex("\\\\(.)"), "$1"));
    }
    return planned;
}

// "step|folder" of each step the JSON report plans to skip, with the folder it looked in.
inline std::vector<std::string> PlannedSkips(const std::string &json)
{
    std::vector<std::string> planned;
    std::regex step("\"step\": (\\d+), \"line\": \\d+, \"action\": \"skip\", \"file\": "
                    "\"(?:[^\"\\\\]|\\\\.)*\", \"folder\": \"((?:[^\"\\\\]|\\\\.)*)\"");
    for (std::sregex_iterator i(json.begin(), json.end(), step), end; i != end; ++i)
        planned.push_back((*i)[1].str() + "|" +
                          std::regex_replace((*i)[2].str(), std::regex("\\\\(.)"), "$1"));
    return planned;
}
