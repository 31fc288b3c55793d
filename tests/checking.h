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

inline CheckOutput Check(const char *folder, bool silent = false, bool json = false,
                         bool starter = false)
{
    ReportOut = tmpfile();
    CheckRequest request = {folder, silent, json, starter};
    int exitCode = CheckMedium(&request);
    std::string text;
    rewind(ReportOut);
    for (int c; (c = fgetc(ReportOut)) != EOF;)
        text += (char)c;
    fclose(ReportOut);
    ReportOut = NULL;
    return {exitCode, text};
}

// Each match of the pattern in the text, as format makes it.
template <class Format>
std::vector<std::string> EachMatch(const std::string &text, const std::regex &pattern,
                                   Format format)
{
    std::vector<std::string> made;
    for (std::sregex_iterator i(text.begin(), text.end(), pattern), end; i != end; ++i)
        made.push_back(format(*i));
    return made;
}

// Text from the JSON report, its escapes undone.
inline std::string Unescaped(const std::string &text)
{
    return std::regex_replace(text, std::regex("\\\\(.)"), "$1");
}

// "file|folder|parameters" of each step the JSON report plans to launch, in order.
inline std::vector<std::string> PlannedLaunches(const std::string &json)
{
    std::regex step(
        "\"action\": \"(?:launch|dialog)\",(?: \"copyFrom\": \"[^\"]*\",)? \"file\": "
        "\"([^\"]*)\", \"folder\": \"([^\"]*)\", \"parameters\": \"((?:[^\"\\\\]|\\\\.)*)\"");
    return EachMatch(json, step, [](const std::smatch &m) {
        return Unescaped(m[1].str() + "|" + m[2].str() + "|" + m[3].str());
    });
}

// "step|folder" of each step the JSON report plans to skip, with the folder it looked in.
inline std::vector<std::string> PlannedSkips(const std::string &json)
{
    std::regex step("\"step\": (\\d+), \"line\": \\d+, \"action\": \"skip\", \"file\": "
                    "\"(?:[^\"\\\\]|\\\\.)*\", \"folder\": \"((?:[^\"\\\\]|\\\\.)*)\"");
    return EachMatch(json, step,
                     [](const std::smatch &m) { return m[1].str() + "|" + Unescaped(m[2].str()); });
}
