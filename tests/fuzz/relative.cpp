// ResolveRelativePath over arbitrary bases and relative paths: neither argument changes, and the
// result is the base less one component per leading "..\", a backslash and the rest, whole and
// inside its 256 bytes; refused (NULL) when the base is 200 characters or more, when it climbs
// above the base's first component, or when the join does not fit.
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    std::string base = AsText(in.ConsumeRandomLengthString(400));
    std::string relative = AsText(in.ConsumeRemainingBytesAsString());
    std::unique_ptr<char[]> baseCopy = ExactCopy(base);
    std::unique_ptr<char[]> relativeCopy = ExactCopy(relative);
    const char *result = ResolveRelativePath(baseCopy.get(), relativeCopy.get());
    FUZZ_CHECK(base == baseCopy.get());
    FUZZ_CHECK(relative == relativeCopy.get());

    std::string working = base;
    std::string rest = relative;
    bool refused = base.size() >= 200;
    while (!refused && rest.compare(0, 3, "..\\") == 0) {
        size_t last = working.rfind('\\');
        refused = last == std::string::npos;
        if (!refused)
            working.resize(last);
        rest = rest.substr(3);
    }
    std::string expected = working + "\\" + rest;
    if (refused || expected.size() > 255)
        FUZZ_CHECK(result == nullptr);
    else
        FUZZ_CHECK(result != nullptr && expected == result);
    return 0;
}
