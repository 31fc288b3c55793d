// Full path names and the wide characters of the ANSI code page.
#include "internal.h"

#include <cstring>
#include <iconv.h>

namespace sim
{
namespace
{

// One character of the system's ANSI code page as UTF-16, as the platform converts it: bytes that
// Windows-1252 leaves undefined stand for the control characters of the same number.
std::u16string WideCharacter(const std::string &character)
{
    bool korean = PRIMARYLANGID(SystemLocale()) == LANG_KOREAN;
    unsigned char first = (unsigned char)character[0];
    if (first < 0x80)
        return std::u16string(1, (char16_t)first);
    iconv_t converter = iconv_open("UTF-16LE", korean ? "CP949" : "WINDOWS-1252");
    std::u16string out;
    if (converter != (iconv_t)-1) {
        char bytes[8];
        char *in = (char *)character.data(), *outPointer = bytes;
        size_t inLeft = character.size(), outLeft = sizeof(bytes);
        if (iconv(converter, &in, &inLeft, &outPointer, &outLeft) != (size_t)-1) {
            for (char *c = bytes; c + 1 < outPointer; c += 2)
                out += (char16_t)((unsigned char)c[0] | (unsigned char)c[1] << 8);
        }
        iconv_close(converter);
    }
    if (out.empty())
        out = korean ? u"\u30fb" : std::u16string(1, (char16_t)first);
    return out;
}

} // namespace
} // namespace sim

using namespace sim;

DWORD WINAPI GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filePart)
{
    std::string full;
    if (!ResolvePath(name, &full)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (full.size() + 1 > size)
        return (DWORD)full.size() + 1;
    memcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart != NULL)
        *filePart = buffer + full.rfind('\\') + 1;
    return (DWORD)full.size();
}

// Only the ANSI code page, NUL-terminated input (count -1), as the program calls it.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int count, LPWSTR wide, int size)
{
    if (codePage != CP_ACP || count != -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string out;
    out.reserve(strlen(text) + 1);
    const char *ascii = text;
    while (*ascii != '\0' && (unsigned char)*ascii < 0x80)
        out += (char16_t)*ascii++;
    // Past the ASCII start, character by character in the code page.
    for (const std::string &character : AnsiCharacters(ascii))
        out += WideCharacter(character);
    out += u'\0';
    if (size == 0)
        return (int)out.size();
    if ((int)out.size() > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(wide, out.data(), out.size() * sizeof(WCHAR));
    return (int)out.size();
}
