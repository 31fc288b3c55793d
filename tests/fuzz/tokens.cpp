// ExpandPathTokens over arbitrary paths, Windows directories (some too long for their buffer),
// program directories, ProgramFiles values and hubpanel.ini values. The path is never changed;
// the result is the first token's directory and the upper-cased rest, never cut: it is refused
// (NULL) only when it would not fit, and a path without a token comes back whole, upper-cased.
#include "fuzz.h"

static const char *const Tokens[] = {"%WINDIR%",       "%CURDIR%", "%SYSTEMROOT%", "%SYSTEM32ROOT%",
                                     "%PROGRAMFILES%", "%ROOT%",   "%INSTPATH%"};

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    sim::UseTemporaryDrives("CD");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    size_t padding = in.ConsumeIntegralInRange<size_t>(0, 90);
    std::string windows = padding < 8 ? "C:\\WINDOWS" : "C:\\" + std::string(padding, 'W');
    std::string module = AsText(in.ConsumeRandomLengthString(MODULE_DIRECTORY_SIZE - 1));
    std::string programFiles = AsText(in.ConsumeRandomLengthString(150));
    std::string install = AsText(in.ConsumeRandomLengthString(150));
    std::string path = AsText(in.ConsumeRemainingBytesAsString());
    sim::SetWindowsDirectory(windows);
    CopyText(ModuleDirectory, sizeof(ModuleDirectory), module.c_str());
    sim::SetEnvironment("ProgramFiles", programFiles);
    sim::WriteFile("C:\\WINDOWS\\hubpanel.ini", "[autoplay]\ninst_path=" + install + "\n");

    std::unique_ptr<char[]> input = ExactCopy(path);
    const char *result = ExpandPathTokens(input.get());
    FUZZ_CHECK(path == input.get());
    FUZZ_CHECK(result != input.get());

    std::string upper = UpperAscii(path);
    std::string expected = upper;
    bool fits = path.size() < 256;
    for (int t = 0; t < 7 && fits; t++) {
        size_t at = upper.find(Tokens[t]);
        if (at == std::string::npos)
            continue;
        char value[4096];
        GetPrivateProfileStringA("autoplay", "inst_path", "", value, sizeof(value),
                                 (windows + "\\hubpanel.ini").c_str());
        std::string installPath = value;
        if (!installPath.empty() && installPath.back() == '\\')
            installPath.pop_back();
        const std::string replacements[] = {windows + "\\temp",
                                            module,
                                            windows,
                                            windows + "\\SYSTEM32",
                                            programFiles.empty() ? "%ProgramFiles%" : programFiles,
                                            windows.substr(0, 2),
                                            installPath};
        expected = replacements[t] + upper.substr(at + strlen(Tokens[t]));
        // Comfortably inside the 100-byte result; the Windows directory inside its 80 bytes.
        fits =
            expected.size() < 98 && strlen(value) < 98 && (t == 1 || t == 4 || windows.size() < 80);
        break;
    }
    if (fits)
        FUZZ_CHECK(result != nullptr);
    if (result != nullptr)
        FUZZ_CHECK(expected == result);
    return 0;
}
