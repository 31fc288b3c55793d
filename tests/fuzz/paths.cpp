// The path helpers and the two text primitives under everything else, over arbitrary text:
// GetDirectoryPart looks at the first 200 characters only and returns a copy; GetFileNamePart and
// GetExtensionPart return views just after the last backslash or dot; CopyText copies all or
// nothing; NextListName hands out each name between runs of separators whole, or refuses it
// without writing, and never moves its cursor past the end of the text.
#include "fuzz.h"

#include <vector>

static void CheckHelpers(const std::string &text, const char *path)
{
    std::string first = text.substr(0, 200);
    size_t slash = first.rfind('\\');
    const char *directory = GetDirectoryPart(path);
    FUZZ_CHECK(directory < path || directory > path + text.size());
    FUZZ_CHECK((slash == std::string::npos ? "" : first.substr(0, slash)) == directory);
    slash = text.rfind('\\');
    FUZZ_CHECK(GetFileNamePart(path) == path + (slash == std::string::npos ? 0 : slash + 1));
    size_t dot = text.rfind('.');
    FUZZ_CHECK(GetExtensionPart(path) == path + (dot == std::string::npos ? 0 : dot + 1));
}

static void CheckCopy(const std::string &text, const char *path, size_t capacity)
{
    std::unique_ptr<char[]> destination(new char[capacity + 1]);
    memset(destination.get(), 'x', capacity + 1);
    BOOL copied = CopyText(destination.get(), capacity, path);
    FUZZ_CHECK(copied == (text.size() < capacity));
    if (copied)
        FUZZ_CHECK(text == destination.get());
    for (size_t i = copied ? text.size() + 1 : 0; i <= capacity; i++)
        FUZZ_CHECK(destination[i] == 'x');
}

static void CheckList(const std::string &text, const char *path, char separator, size_t capacity)
{
    const std::string refused("\0refused", 8); // never a name: the text holds no NUL
    std::vector<std::string> expected;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(separator, at);
        end = end == std::string::npos ? text.size() : end;
        if (end > at)
            expected.push_back(end - at < capacity ? text.substr(at, end - at) : refused);
        at = end + 1;
    }
    const char *cursor = path;
    std::unique_ptr<char[]> name(new char[capacity + 1]);
    for (size_t n = 0;; n++) {
        memset(name.get(), 'x', capacity + 1);
        const char *before = cursor;
        int found = NextListName(&cursor, separator, name.get(), capacity);
        FUZZ_CHECK(cursor >= before && cursor <= path + text.size());
        FUZZ_CHECK(name[capacity] == 'x');
        if (found == 0) {
            FUZZ_CHECK(n == expected.size());
            return;
        }
        FUZZ_CHECK(n < expected.size() && cursor > before);
        FUZZ_CHECK(expected[n] == (found > 0 ? std::string(name.get()) : refused));
        if (found < 0)
            FUZZ_CHECK(name[0] == 'x');
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    char separator = in.ConsumeIntegral<char>();
    size_t capacity = in.ConsumeIntegralInRange<size_t>(0, 300);
    std::string text = AsText(in.ConsumeRemainingBytesAsString());
    std::unique_ptr<char[]> path = ExactCopy(text);
    CheckHelpers(text, path.get());
    CheckCopy(text, path.get(), capacity);
    CheckList(text, path.get(), separator, capacity);
    FUZZ_CHECK(text == path.get());
    return 0;
}
