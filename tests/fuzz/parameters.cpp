// BuildLaunchParameters over arbitrary arguments, with program directories long enough to make
// a %curdir% option overflow. The arguments never change; the parameters end inside their 256
// bytes; arguments without an -f1 or -f2 marker pass unchanged, and the text in front of the
// options keeps its own case.
#include "fuzz.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    sim::UseTemporaryDrives("C");
    sim::WriteFile("C:\\Pkg\\setup.iss", "");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    size_t padding = in.ConsumeIntegralInRange<size_t>(0, 250);
    std::string module = padding < 8 ? "C:\\Pkg" : "C:\\" + std::string(padding, 'p');
    std::string arguments = AsText(in.ConsumeRemainingBytesAsString());
    CopyText(ModuleDirectory, sizeof(ModuleDirectory), module.c_str());

    std::unique_ptr<char[]> input = ExactCopy(arguments);
    std::unique_ptr<char[]> parameters(new char[PARAMETERS_SIZE]);
    memset(parameters.get(), 0x5A, PARAMETERS_SIZE);
    BOOL built = BuildLaunchParameters(input.get(), parameters.get());
    FUZZ_CHECK(arguments == input.get());
    FUZZ_CHECK(memchr(parameters.get(), '\0', PARAMETERS_SIZE) != nullptr);
    FUZZ_CHECK(built == (arguments.size() < PARAMETERS_SIZE));
    if (!built)
        return 0;

    std::string result = parameters.get();
    std::string upper = UpperAscii(arguments);
    size_t response = upper.find(" -F1\"");
    size_t log = upper.find(" -F2\"");
    size_t blank = arguments.find(' ');
    if (response == std::string::npos && log == std::string::npos)
        FUZZ_CHECK(result == arguments); // character for character
    else if (response != std::string::npos)
        FUZZ_CHECK(result.compare(0, response, arguments, 0, response) == 0);
    else
        FUZZ_CHECK(result.compare(0, blank, arguments, 0, blank) == 0);
    return 0;
}
