// Simulated machine: drives mapped to host folders, paths, files, ini reading and environment.
#include "internal.h"

#include <direct.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iconv.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sim
{
namespace
{

std::map<char, std::string> drives; // letter -> host directory
std::string currentDirectory = "C:\\";
std::string modulePath = "C:\\Pkg\\stagerun.exe";
std::string windowsDirectory = "C:\\WINDOWS";
LCID systemLocale = 0x0409;
const char kUserTemp[] = "C:\\Users\\Setup\\AppData\\Local\\Temp";
std::map<std::string, std::string> environment = {{"PROGRAMFILES", "C:\\Program Files"},
                                                  {"SYSTEMROOT", "C:\\WINDOWS"},
                                                  {"TEMP", kUserTemp},
                                                  {"TMP", kUserTemp},
                                                  {"USERPROFILE", "C:\\Users\\Setup"},
                                                  {"WINDIR", "C:\\WINDOWS"}};
std::string temporaryRoot;

std::vector<std::string> deniedWrites; // full paths, lower case
std::map<char, size_t> freeSpace;      // by drive letter; a drive not listed has room
struct FileHandle {
    std::string path; // full
    bool writable, append;
    size_t position;
};
std::map<uintptr_t, FileHandle> fileHandles;
uintptr_t nextFileHandle = 1;

char UpperLetter(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1a;
}

std::string Trim(const std::string &text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpace(text[begin]))
        begin++;
    while (end > begin && IsSpace(text[end - 1]))
        end--;
    return text.substr(begin, end - begin);
}

bool SameTextIgnoringCase(const std::string &a, const std::string &b)
{
    return LowerAscii(a) == LowerAscii(b);
}

// What "X:" stands for. Only one directory is current; another drive's is the value of the hidden
// "=X:" variable when the environment has one (taken as it is, even when it names another
// drive), else the drive's root.
std::string DriveDirectory(char letter)
{
    if (UpperLetter(currentDirectory[0]) == letter)
        return currentDirectory;
    auto found = environment.find(std::string("=") + letter + ":");
    if (found != environment.end() && found->second.size() >= 3 && found->second[1] == ':' &&
        found->second[2] == '\\')
        return found->second;
    return std::string(1, letter) + ":\\";
}

void RemoveTree(const std::string &path)
{
    DIR *dir = opendir(path.c_str());
    if (dir != nullptr) {
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                RemoveTree(path + "/" + name);
        }
        closedir(dir);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

void RemoveTemporaryDrives()
{
    if (!temporaryRoot.empty())
        RemoveTree(temporaryRoot);
}

// Characters of Latin Extended-A (U+0100..U+017F) as the Windows-1252 conversion writes them: the
// letter without its mark where the code page has no better one, '?' where none fits.
const char kLatinExtendedA[] = "AaAaAaCcCcCcCcDd\xD0"
                               "dEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKk?LlLlLl?"
                               "?LlNnNnNn???OoOoOo\x8C\x9C"
                               "RrRrRrSsSsSs\x8A\x9A"
                               "TtTtTtUuUuUuUuUuUuWwYy\x9F"
                               "ZzZz\x8E\x9E"
                               "?";
// Windows-1252 bytes 0x80..0x9F; 0 where the code page leaves the byte undefined (such a byte and
// the control character of the same number stand for each other).
const unsigned short kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// One character in the ANSI code page of the system locale, '?' where it has none.
std::string AnsiCharacter(unsigned c)
{
    if (c < 0x80)
        return std::string(1, (char)c);
    if (PRIMARYLANGID(SystemLocale()) == LANG_KOREAN) {
        std::string out = "?";
        iconv_t converter = iconv_open("CP949", "UTF-32LE");
        if (converter != (iconv_t)-1) {
            char in[4] = {(char)(c & 0xFF), (char)((c >> 8) & 0xFF), (char)((c >> 16) & 0xFF), 0};
            char bytes[8];
            char *inPointer = in, *outPointer = bytes;
            size_t inLeft = sizeof(in), outLeft = sizeof(bytes);
            if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) != (size_t)-1)
                out.assign(bytes, (size_t)(outPointer - bytes));
            iconv_close(converter);
        }
        return out;
    }
    // Windows-1252, and some of the stand-ins the platform writes for characters outside it: the
    // bare letter for Latin Extended-A, ASCII for full-width forms, a blank for the ideographic
    // space, "-" for hyphens and the minus sign (not its whole table: others become '?').
    if (c >= 0xA0 && c <= 0xFF)
        return std::string(1, (char)c);
    for (unsigned byte = 0; byte < 32; byte++) {
        if (kCp1252High[byte] == c || (kCp1252High[byte] == 0 && byte != 0 && c == 0x80 + byte))
            return std::string(1, (char)(0x80 + byte));
    }
    if (c >= 0x100 && c <= 0x17F)
        return std::string(1, kLatinExtendedA[c - 0x100]);
    if (c >= 0xFF01 && c <= 0xFF5E)
        return std::string(1, (char)(c - 0xFF01 + 0x21));
    if (c == 0x3000)
        return " ";
    if (c == 0x2010 || c == 0x2011 || c == 0x2212)
        return "-";
    return "?";
}

// One UTF-8 sequence at text[*i], moving *i past it: the character, or U+FFFD for a malformed
// sequence, which takes in the bytes the platform's decoder reads before it sees the fault (a lead
// byte with the continuation bytes that still fit it).
unsigned DecodeUtf8(const std::string &text, size_t *i)
{
    unsigned lead = (unsigned char)text[(*i)++];
    if (lead < 0x80)
        return lead;
    size_t following = lead >= 0xC2 && lead <= 0xDF   ? 1
                       : lead >= 0xE0 && lead <= 0xEF ? 2
                       : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                      : 0;
    unsigned c = lead & (0x7F >> (following + 1));
    for (size_t k = following; k > 0; k--) {
        unsigned next = *i < text.size() ? (unsigned char)text[*i] ^ 0x80 : 0x100;
        if (next >= 0x40)
            return 0xFFFD;
        c = (c << 6) | next;
        if (k == 2 && c >= (0x110000 >> 6))
            return 0xFFFD; // beyond Unicode: this byte is not taken in
        (*i)++;
        if ((k == 3 && c < 0x10) || (k == 2 && (c < 0x20 || (c >= 0x360 && c <= 0x37F))) ||
            (k == 1 && c < 0x80))
            return 0xFFFD; // overlong, or a surrogate
    }
    return following > 0 ? c : 0xFFFD;
}

// The text of an ini file in the ANSI code page. A file that starts with a UTF-8 or UTF-16
// byte-order mark is read in that encoding and converted one UTF-16 unit at a time (a character
// beyond U+FFFF is two units, each without an ANSI counterpart); any other is taken as ANSI
// already.
std::string IniText(const std::string &raw)
{
    std::vector<unsigned> units;
    auto byte = [&raw](size_t i) { return (unsigned)(unsigned char)raw[i]; };
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        for (size_t i = 3; i < raw.size();) {
            unsigned c = DecodeUtf8(raw, &i);
            if (c >= 0x10000) {
                units.push_back(0xD800 + ((c - 0x10000) >> 10));
                units.push_back(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                units.push_back(c);
            }
        }
    } else if (raw.size() >= 2 &&
               (raw.compare(0, 2, "\xFF\xFE") == 0 || raw.compare(0, 2, "\xFE\xFF") == 0)) {
        bool little = raw[0] == '\xFF';
        for (size_t i = 2; i + 1 < raw.size(); i += 2) // an odd last byte is no character
            units.push_back(little ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1));
    } else {
        return raw;
    }
    std::string text;
    for (unsigned unit : units)
        text += AnsiCharacter(unit);
    return text;
}

// One ini file, parsed as the platform does: lines end at CR or LF; sections by "[name]" up to the
// last "]", the name trimmed; keys up to the first "="; blanks trimmed; a NUL ends a name or a
// value; the first of duplicate sections and keys wins. The lines before the first section header
// belong to no section.
struct IniKey {
    std::string name, value;
    bool hasValue;
};
struct IniSection {
    std::string name;
    std::vector<IniKey> keys;
    bool headed; // false for the lines before the first header
};

std::string UpToNul(const std::string &text)
{
    return text.substr(0, text.find('\0'));
}

std::vector<IniSection> ParseIni(const std::string &raw)
{
    std::string text = IniText(raw);
    std::vector<IniSection> sections = {{"", {}, false}};
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                sections.push_back({UpToNul(Trim(line.substr(1, close - 1))), {}, true});
                continue;
            }
        }
        size_t equals = line.find('=');
        IniKey key;
        key.hasValue = equals != std::string::npos;
        key.name = UpToNul(Trim(key.hasValue ? line.substr(0, equals) : line));
        key.value = key.hasValue ? UpToNul(Trim(line.substr(equals + 1))) : "";
        sections.back().keys.push_back(key);
    }
    return sections;
}

// The last text parsed and its sections: a list is read key by key, each read of the same text.
// UTF-16 text is parsed after conversion to the system's code page, so that is part of the key.
std::string lastRaw;
LCID lastLocale;
std::vector<IniSection> lastSections;
bool parsed = false;

const std::vector<IniSection> &ParsedIni(const std::string &raw)
{
    if (!parsed || raw != lastRaw || systemLocale != lastLocale) {
        lastSections = ParseIni(raw);
        lastRaw = raw;
        lastLocale = systemLocale;
        parsed = true;
    }
    return lastSections;
}

} // namespace

void ForgetIniText()
{
    std::string().swap(lastRaw);
    std::vector<IniSection>().swap(lastSections);
    parsed = false;
}

// The characters of ANSI text: a byte each, in the Korean code page a lead byte with its trail
// byte.
std::vector<std::string> AnsiCharacters(const std::string &text)
{
    bool korean = PRIMARYLANGID(SystemLocale()) == LANG_KOREAN;
    std::vector<std::string> characters;
    characters.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        size_t length = korean && (unsigned char)text[i] >= 0x81 && i + 1 < text.size() ? 2 : 1;
        characters.push_back(text.substr(i, length));
        i += length - 1;
    }
    return characters;
}

// Trail bytes of double-byte characters stay as they are: names differing there are other names.
std::string LowerAscii(std::string text)
{
    for (size_t i = 0; i < text.size(); i++) {
        if (IsDBCSLeadByte((BYTE)text[i]) && i + 1 < text.size())
            i++;
        else if (text[i] >= 'A' && text[i] <= 'Z')
            text[i] = (char)(text[i] - 'A' + 'a');
    }
    return text;
}

void MapDrive(char letter, const std::string &hostDirectory)
{
    drives[UpperLetter(letter)] = hostDirectory;
}

void UseTemporaryDrives(const std::string &letters)
{
    // TMPDIR as every program takes it: the fuzz runs put the drives in memory.
    const char *folder = getenv("TMPDIR");
    std::string pattern =
        std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/winsim-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        abort();
    temporaryRoot = pattern;
    atexit(RemoveTemporaryDrives);
    for (char letter : letters) {
        std::string host = temporaryRoot + "/" + std::string(1, UpperLetter(letter));
        mkdir(host.c_str(), 0755);
        MapDrive(letter, host);
    }
    MakeDirectory(windowsDirectory + "\\system32");
    MakeDirectory(windowsDirectory + "\\temp");
    MakeDirectory(kUserTemp);
}

bool ResolvePath(const std::string &path, std::string *windowsPath)
{
    std::string text = path;
    for (char &c : text) {
        if (c == '/')
            c = '\\';
    }
    std::string base;
    std::string rest;
    if (text.size() >= 2 && text[1] == ':' && isalpha((unsigned char)text[0])) {
        char letter = UpperLetter(text[0]);
        rest = text.substr(2);
        base = (!rest.empty() && rest[0] == '\\') ? std::string(1, letter) + ":\\"
                                                  : DriveDirectory(letter);
    } else if (text.compare(0, 2, "\\\\") == 0) {
        return false; // no network shares here
    } else if (!text.empty() && text[0] == '\\') {
        base = currentDirectory.substr(0, 2) + "\\";
        rest = text;
    } else {
        base = currentDirectory;
        rest = text;
    }
    // The parts are appended to the drive's root as they come; ".." takes the last one back.
    std::string result = base.substr(0, 2) + "\\";
    result.reserve(base.size() + rest.size() + 1);
    std::string joined = base.substr(3) + "\\" + rest;
    for (size_t start = 0; start <= joined.size();) {
        size_t end = joined.find('\\', start);
        end = end == std::string::npos ? joined.size() : end;
        size_t length = end - start;
        if (length == 2 && joined.compare(start, 2, "..") == 0) {
            if (result.size() > 3)
                result.erase(result.rfind('\\') > 2 ? result.rfind('\\') : 3);
        } else if (length > 0 && !(length == 1 && joined[start] == '.')) {
            if (result.size() > 3)
                result += '\\';
            result.append(joined, start, length);
        }
        start = end + 1;
    }
    if (result.size() >= MAX_PATH)
        return false;
    *windowsPath = result;
    return true;
}

// The folder's entry whose name is the given one apart from case, read with a buffer of our own
// (opendir's is a large allocation per call).
static bool FindEntryIgnoringCase(const std::string &hostDirectory, std::string *name)
{
    int folder = open(hostDirectory.c_str(), O_RDONLY | O_DIRECTORY);
    if (folder < 0)
        return false;
    alignas(dirent64) char entries[4096];
    for (ssize_t count; (count = getdents64(folder, entries, sizeof(entries))) > 0;) {
        for (ssize_t at = 0; at < count;) {
            const dirent64 *entry = (const dirent64 *)(entries + at);
            at += entry->d_reclen;
            if (SameTextIgnoringCase(entry->d_name, *name)) {
                *name = entry->d_name;
                close(folder);
                return true;
            }
        }
    }
    close(folder);
    return false;
}

// What is at a host path, followed where it is a link; st_mode 0 when nothing is.
static bool Look(const std::string &hostPath, struct stat *info)
{
    if (lstat(hostPath.c_str(), info) == 0 &&
        (!S_ISLNK(info->st_mode) || stat(hostPath.c_str(), info) == 0))
        return true;
    info->st_mode = 0;
    return false;
}

std::string HostPathOf(const std::string &windowsPath, struct stat *info)
{
    info->st_mode = 0;
    auto drive = drives.find(UpperLetter(windowsPath[0]));
    if (drive == drives.end())
        return "/nonexistent-drive/" + windowsPath.substr(0, 1);
    std::string host = drive->second;
    // A name as written is the one entry that matches it: the simulation never makes two names
    // that differ only in case. Only other spellings, and names not there, need folders read;
    // below a name that is not there, nothing is.
    std::string written = host;
    written.reserve(host.size() + windowsPath.size());
    for (char c : windowsPath.substr(windowsPath.size() > 3 ? 2 : windowsPath.size()))
        written += c == '\\' ? '/' : c;
    if (Look(written, info))
        return written;
    bool there = true, asWritten = true;
    for (size_t start = 3; start < windowsPath.size();) {
        size_t end = windowsPath.find('\\', start);
        end = end == std::string::npos ? windowsPath.size() : end;
        bool last = end == windowsPath.size();
        std::string part = windowsPath.substr(start, end - start);
        start = end + 1;
        // The whole path as written was looked at already.
        if (!there || (!(last && asWritten) && Look(host + "/" + part, info))) {
            host += "/" + part;
            continue;
        }
        there = FindEntryIgnoringCase(host, &part);
        asWritten = false;
        host += "/" + part;
        if (there && last)
            there = Look(host, info);
    }
    if (!there)
        info->st_mode = 0;
    return host;
}

std::string HostPathOf(const std::string &windowsPath)
{
    struct stat info;
    return HostPathOf(windowsPath, &info);
}

std::string HostPath(const std::string &path)
{
    std::string full;
    return ResolvePath(path, &full) ? HostPathOf(full) : std::string();
}

// What is at a path, in one look where it is written as on disk; st_mode 0 when nothing is.
static void LookAt(const std::string &windowsPath, struct stat *info)
{
    std::string full;
    if (ResolvePath(windowsPath, &full))
        HostPathOf(full, info);
    else
        info->st_mode = 0;
}

bool IsDirectoryAt(const std::string &windowsPath)
{
    struct stat info;
    LookAt(windowsPath, &info);
    return S_ISDIR(info.st_mode);
}

static bool IsFileAt(const std::string &windowsPath)
{
    struct stat info;
    LookAt(windowsPath, &info);
    return info.st_mode != 0 && !S_ISDIR(info.st_mode);
}

bool FileExistsAt(const std::string &windowsPath)
{
    struct stat info;
    LookAt(windowsPath, &info);
    return info.st_mode != 0;
}

std::string ActualFileName(const std::string &windowsPath)
{
    std::string host = HostPath(windowsPath);
    return host.substr(host.rfind('/') + 1);
}

void MakeDirectory(const std::string &windowsPath)
{
    std::string full;
    if (!ResolvePath(windowsPath, &full))
        abort();
    for (size_t i = 3; i <= full.size(); i++) {
        if (i == full.size() || full[i] == '\\')
            mkdir(HostPathOf(full.substr(0, i)).c_str(), 0755);
    }
}

void WriteFile(const std::string &windowsPath, const std::string &contents)
{
    std::string full;
    if (!ResolvePath(windowsPath, &full))
        abort();
    MakeDirectory(full.substr(0, full.rfind('\\')));
    std::ofstream out(HostPathOf(full), std::ios::binary);
    out << contents;
}

static std::string ReadHostFile(const std::string &hostPath)
{
    std::string contents;
    int file = open(hostPath.c_str(), O_RDONLY);
    if (file < 0)
        return contents;
    // A short read of a regular file is its end: no further read to be told so.
    char chunk[4096];
    for (ssize_t count = sizeof(chunk); count == (ssize_t)sizeof(chunk);) {
        count = read(file, chunk, sizeof(chunk));
        if (count > 0)
            contents.append(chunk, (size_t)count);
    }
    close(file);
    return contents;
}

std::string ReadFileAt(const std::string &windowsPath)
{
    return ReadHostFile(HostPath(windowsPath));
}

void SetModulePath(const std::string &windowsPath)
{
    modulePath = windowsPath;
}

std::string ModuleFileName()
{
    return modulePath.substr(modulePath.rfind('\\') + 1);
}

// As CreateProcess looks for a program: a name that starts with a drive, a backslash or a "." or
// ".." folder is taken as it stands; any other, even one with folders in it, is looked for beside
// the calling program, then in the current directory, the system directory and the Windows
// directory. A name without an extension gets ".exe".
bool FindProgramFile(const std::string &name, std::string *windowsPath)
{
    std::string file = name;
    for (char &c : file) {
        if (c == '/')
            c = '\\';
    }
    if (file.empty())
        return false;
    size_t slash = file.rfind('\\');
    if (file.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        file += ".exe";
    bool asItStands = (file.size() >= 2 && file[1] == ':') || file[0] == '\\' ||
                      file.compare(0, 2, ".\\") == 0 || file.compare(0, 3, "..\\") == 0;
    std::vector<std::string> candidates = {file};
    if (!asItStands) {
        candidates = {modulePath.substr(0, modulePath.rfind('\\')) + "\\" + file, file,
                      windowsDirectory + "\\system32\\" + file, windowsDirectory + "\\" + file};
    }
    for (const std::string &candidate : candidates) {
        std::string full;
        if (ResolvePath(candidate, &full) && IsFileAt(full)) {
            *windowsPath = full.substr(0, full.rfind('\\') + 1) + ActualFileName(full);
            return true;
        }
    }
    return false;
}

void SetWindowsDirectory(const std::string &windowsPath)
{
    windowsDirectory = windowsPath;
}

void SetSystemDefaultLocale(LCID locale)
{
    systemLocale = locale;
}

LCID SystemLocale()
{
    return systemLocale;
}

void SetEnvironment(const std::string &name, const std::string &value)
{
    std::string key = name;
    for (char &c : key)
        c = UpperLetter(c);
    if (value.empty())
        environment.erase(key);
    else
        environment[key] = value;
}

std::string CurrentDirectory()
{
    return currentDirectory;
}

void DenyWrites(const std::string &windowsPath)
{
    std::string full;
    if (!ResolvePath(windowsPath, &full))
        abort();
    deniedWrites.push_back(LowerAscii(full));
}

void SetFreeSpace(char drive, size_t bytes)
{
    freeSpace[UpperLetter(drive)] = bytes;
}

static bool IsWriteDenied(const std::string &full)
{
    std::string path = LowerAscii(full);
    for (const std::string &denied : deniedWrites) {
        if (path == denied || path.compare(0, denied.size() + 1, denied + "\\") == 0)
            return true;
    }
    return false;
}

} // namespace sim

using namespace sim;

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR name, DWORD size)
{
    if (size == 0)
        return 0;
    size_t length = modulePath.size();
    if (length >= size) {
        // As since Vista: cut, terminated, and flagged.
        memcpy(name, modulePath.c_str(), size - 1);
        name[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(name, modulePath.c_str(), length + 1);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)length;
}

static UINT CopyDirectoryResult(const std::string &text, LPSTR buffer, UINT size)
{
    if (text.size() >= size)
        return (UINT)text.size() + 1;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return (UINT)text.size();
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    return CopyDirectoryResult(windowsDirectory, buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    return CopyDirectoryResult(windowsDirectory + "\\system32", buffer, size);
}

LCID WINAPI GetSystemDefaultLCID(void)
{
    return systemLocale;
}

DWORD WINAPI GetFileAttributesA(LPCSTR fileName)
{
    std::string full;
    struct stat info;
    if (!ResolvePath(fileName, &full)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    HostPathOf(full, &info);
    if (info.st_mode == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

// Its record holds 128 characters: longer names fail even where the file exists. A bare name is
// also looked for in the Windows and system directories.
HFILE WINAPI OpenFile(LPCSTR fileName, LPOFSTRUCT info, UINT style)
{
    if (strlen(fileName) >= OFS_MAXPATHNAME) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return HFILE_ERROR;
    }
    std::vector<std::string> candidates = {fileName};
    if (strchr(fileName, '\\') == nullptr && strchr(fileName, '/') == nullptr) {
        candidates.push_back(windowsDirectory + "\\" + fileName);
        candidates.push_back(windowsDirectory + "\\system32\\" + fileName);
    }
    for (const std::string &candidate : candidates) {
        std::string full;
        if (ResolvePath(candidate, &full) && IsFileAt(full)) {
            info->cBytes = sizeof(OFSTRUCT);
            snprintf(info->szPathName, sizeof(info->szPathName), "%s", full.c_str());
            return (style & OF_EXIST) ? 1 : HFILE_ERROR;
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return HFILE_ERROR;
}

BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists)
{
    std::string from, to;
    if (!ResolvePath(existing, &from) || !ResolvePath(newName, &to) || !FileExistsAt(from) ||
        IsDirectoryAt(from)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (!IsDirectoryAt(to.substr(0, to.rfind('\\') < 3 ? 3 : to.rfind('\\')))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (FileExistsAt(to) && (failIfExists || IsDirectoryAt(to))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // The source is open for reading while the destination is opened for writing.
    if (HostPathOf(from) == HostPathOf(to)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    std::ifstream in(HostPathOf(from), std::ios::binary);
    std::ofstream out(HostPathOf(to), std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return TRUE;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path)
{
    std::string full;
    if (!ResolvePath(path, &full) || !IsDirectoryAt(full)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    currentDirectory = full;
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer)
{
    return CopyDirectoryResult(currentDirectory, buffer, size);
}

// As the C runtime's: the current directory becomes "X:", which is the drive's root unless an
// "=X:" variable names another directory.
int _chdrive(int drive)
{
    if (drive < 1 || drive > 26)
        return -1;
    char path[] = {(char)('A' + drive - 1), ':', '\0'};
    return SetCurrentDirectoryA(path) ? 0 : -1;
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                      DWORD size, LPCSTR fileName)
{
    if (size == 0)
        return 0;
    std::string path = fileName;
    if (path.find('\\') == std::string::npos && path.find('/') == std::string::npos)
        path = windowsDirectory + "\\" + path; // a bare name lives in the Windows directory
    std::string full, host;
    struct stat info;
    std::string value = Trim(defaultValue != nullptr ? defaultValue : "");
    if (ResolvePath(path, &full) && (host = HostPathOf(full, &info), info.st_mode != 0) &&
        !S_ISDIR(info.st_mode)) {
        for (const IniSection &s : ParsedIni(ReadHostFile(host))) {
            if (!s.headed || !SameTextIgnoringCase(s.name, Trim(section)))
                continue;
            for (const IniKey &k : s.keys) {
                if (SameTextIgnoringCase(k.name, Trim(key))) {
                    value = k.value;
                    break;
                }
            }
            break;
        }
    }
    // Counted in characters: a pair of enclosing quotes goes, the closing one by the platform's own
    // reckoning: whenever the size reaches the length of the value after its opening quote, the
    // last character copied is dropped, even when the closing quote did not fit (so one character
    // short of room, the value loses its last character instead).
    std::vector<std::string> characters = AnsiCharacters(value);
    bool quoted = characters.size() >= 2 && (characters[0] == "\"" || characters[0] == "'") &&
                  characters.back() == characters[0];
    if (quoted)
        characters.erase(characters.begin());
    size_t count = characters.size() < size - 1 ? characters.size() : size - 1;
    if (quoted && size >= characters.size() && count > 0)
        count--;
    std::string result;
    for (size_t i = 0; i < count; i++)
        result += characters[i];
    size_t length = result.size() < size - 1 ? result.size() : size - 1;
    memcpy(buffer, result.c_str(), length);
    buffer[length] = '\0';
    SetLastError(ERROR_SUCCESS);
    return (DWORD)length;
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size)
{
    std::string result;
    const char *c = source;
    while (*c != '\0') {
        const char *close = *c == '%' ? strchr(c + 1, '%') : nullptr;
        if (close != nullptr) {
            std::string name(c + 1, close);
            for (char &ch : name)
                ch = UpperLetter(ch);
            auto found = environment.find(name);
            if (found != environment.end()) {
                result += found->second;
                c = close + 1;
                continue;
            }
        }
        result += *c++;
    }
    if (result.size() + 1 <= size)
        memcpy(destination, result.c_str(), result.size() + 1);
    return (DWORD)result.size() + 1;
}

// Only files on the mapped drives, opened or created: no devices, pipes or streams, and only the
// dispositions that keep what a file holds (the program never truncates one).
HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE)
{
    if (disposition != OPEN_ALWAYS && disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // The ANSI name is refused before anything is looked at when it does not fit MAX_PATH; an
    // empty one names no file.
    std::string full;
    if (fileName[0] == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (strlen(fileName) >= MAX_PATH || !ResolvePath(fileName, &full)) {
        SetLastError(strncmp(fileName, "\\\\", 2) == 0 ? ERROR_BAD_NETPATH
                                                       : ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    size_t slash = full.rfind('\\');
    if (!IsDirectoryAt(full.substr(0, slash < 3 ? 3 : slash))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool exists = FileExistsAt(full);
    bool writing =
        (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    if ((exists && IsDirectoryAt(full)) || ((writing || !exists) && IsWriteDenied(full))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists && disposition == OPEN_EXISTING) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!exists)
        std::ofstream(HostPathOf(full), std::ios::binary);
    // Append data without write data: every write goes to the end, whoever else writes the file.
    bool append = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) == 0;
    uintptr_t id = nextFileHandle++;
    fileHandles[id] = {full, writing, append, 0};
    SetLastError(exists && disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return OpenHandle(HANDLE_FILE, id);
}

void sim::ForgetFileHandle(uintptr_t id)
{
    fileHandles.erase(id);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED)
{
    *written = 0;
    uintptr_t id;
    if (!LookupHandle(file, HANDLE_FILE, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FileHandle &f = fileHandles[id];
    if (!f.writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string host = HostPathOf(f.path);
    struct stat info;
    size_t length = stat(host.c_str(), &info) == 0 ? (size_t)info.st_size : 0;
    size_t at = f.append ? length : f.position;
    size_t growth = at + size > length ? at + size - length : 0;
    auto space = freeSpace.find(UpperLetter(f.path[0]));
    if (space != freeSpace.end()) {
        if (growth > space->second) {
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        space->second -= growth;
    }
    std::fstream out(host, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp((std::streamoff)at);
    out.write((const char *)buffer, size);
    f.position = at + size;
    *written = size;
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPVOID)
{
    *read = 0;
    uintptr_t id;
    if (!LookupHandle(file, HANDLE_FILE, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FileHandle &f = fileHandles[id];
    int host = open(HostPathOf(f.path).c_str(), O_RDONLY);
    ssize_t count = host < 0 ? 0 : pread(host, buffer, size, (off_t)f.position);
    if (host >= 0)
        close(host);
    *read = count > 0 ? (DWORD)count : 0;
    f.position += *read;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD high)
{
    uintptr_t id;
    struct stat info;
    if (!LookupHandle(file, HANDLE_FILE, &id) ||
        (HostPathOf(fileHandles[id].path, &info), info.st_mode == 0)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    if (high != NULL)
        *high = 0;
    return (DWORD)info.st_size;
}

// As Windows moves it: from the start, the current position or the end, a 64-bit distance when
// distanceHigh is given (which then gets the new position's high part), else a signed 32-bit one
// whose result must fit 32 bits. A position before the start fails; one past the end does not.
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method)
{
    uintptr_t id;
    struct stat info;
    if (!LookupHandle(file, HANDLE_FILE, &id) ||
        (HostPathOf(fileHandles[id].path, &info), info.st_mode == 0)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    FileHandle &f = fileHandles[id];
    long long move =
        distanceHigh != NULL
            ? (long long)(((unsigned long long)(DWORD)*distanceHigh << 32) | (DWORD)distance)
            : (long long)distance;
    long long base = method == FILE_BEGIN     ? 0
                     : method == FILE_CURRENT ? (long long)f.position
                     : method == FILE_END     ? (long long)info.st_size
                                              : -1;
    if (base < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    long long position = base + move;
    if (position < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh == NULL && position > 0xFFFFFFFELL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    f.position = (size_t)position;
    if (distanceHigh != NULL)
        *distanceHigh = (LONG)(position >> 32);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)position;
}

// TMP, TEMP, USERPROFILE, else the Windows directory; made full and ended with a backslash.
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer)
{
    std::string path = windowsDirectory;
    for (const char *name : {"TMP", "TEMP", "USERPROFILE"}) {
        auto found = environment.find(name);
        if (found != environment.end()) {
            path = found->second;
            break;
        }
    }
    std::string full;
    if (ResolvePath(path, &full))
        path = full;
    if (path.back() != '\\')
        path += '\\';
    if (path.size() + 1 > size)
        return (DWORD)path.size() + 1;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

// The ANSI code page of the system locale: 949 for Korean, Windows-1252 for the others here.
UINT WINAPI GetACP(void)
{
    return PRIMARYLANGID(systemLocale) == LANG_KOREAN ? 949 : 1252;
}

// --- Directory listings ------------------------------------------------------------------------
// Only "folder\*" and "folder\*.*" are simulated. A folder other than a root lists "." and ".."
// first; Windows promises no order for the rest (a FAT medium gives them in the order they were
// written), so the stand-in gives them in reverse name order, for a program to sort them itself.
namespace
{
struct Listing {
    std::vector<std::pair<std::string, struct stat>> entries;
    size_t next = 0;
};
std::map<uintptr_t, Listing> listings;
uintptr_t nextListing = 1;

bool FillFindData(Listing &listing, LPWIN32_FIND_DATAA data)
{
    if (listing.next >= listing.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    const auto &entry = listing.entries[listing.next++];
    memset(data, 0, sizeof(*data));
    bool folder = S_ISDIR(entry.second.st_mode);
    data->dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data->nFileSizeLow = folder ? 0 : (DWORD)entry.second.st_size;
    data->nFileSizeHigh = folder ? 0 : (DWORD)((uint64_t)entry.second.st_size >> 32);
    snprintf(data->cFileName, sizeof(data->cFileName), "%s", entry.first.c_str());
    return true;
}
} // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    std::string text = pattern;
    size_t slash = text.rfind('\\');
    if (slash == std::string::npos ||
        (text.substr(slash + 1) != "*" && text.substr(slash + 1) != "*.*"))
        abort();
    std::string full;
    std::string folder = text.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':')
        folder += '\\'; // "C:" alone is that drive's current directory
    if (!ResolvePath(folder, &full) || !IsDirectoryAt(full)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Listing listing;
    std::string host = HostPathOf(full);
    DIR *dir = opendir(host.c_str());
    if (dir == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.rbegin(), names.rend());
    if (full.size() > 3)
        names.insert(names.begin(), {".", ".."});
    for (const std::string &name : names) {
        struct stat info;
        if (stat((host + "/" + name).c_str(), &info) == 0)
            listing.entries.push_back({name, info});
    }
    if (!FillFindData(listing, data)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    uintptr_t id = nextListing++;
    listings[id] = listing;
    return OpenHandle(HANDLE_FIND, id);
}

BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data)
{
    uintptr_t id;
    if (!LookupHandle(find, HANDLE_FIND, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return FillFindData(listings[id], data) ? TRUE : FALSE;
}

BOOL WINAPI FindClose(HANDLE find)
{
    uintptr_t id;
    if (!LookupHandle(find, HANDLE_FIND, &id)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    listings.erase(id);
    return CloseSimHandle(find) ? TRUE : FALSE;
}
