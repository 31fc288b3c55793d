// Tells a launch step's installer technology from the file's own bytes, with the markers its
// builders write, and what an unattended run of it needs. The file is read, never run or loaded as
// code: a few bounded reads at offsets its headers give, each checked; a file too short or
// malformed for a rule is simply not of that type.

#include "check.h"

#define DOS_HEADER_SIZE 64
#define PE_HEADER_SIZE 24 // "PE\0\0" and the file header
// The optional header as far as the resource directory's entry of a PE32+ image.
#define OPTIONAL_HEADER_READ 136
#define SECTION_LIMIT 96 // the most sections Windows loads
#define SECTION_ENTRY_SIZE 40
#define RESOURCE_CHUNK 64 // directory entries read at once
#define RESOURCE_SUBDIRECTORY ((DWORD)0x80000000)
#define RT_RCDATA_ID 10
#define RT_VERSION_ID 16
#define INNO_OFFSET_TABLE_ID 11111
// A version resource's strings lie well inside its first kilobytes.
#define VERSION_READ 8192
// After the image: NSIS's first header at one of its first 512-byte boundaries, and the start of
// an InstallShield setup stream.
#define OVERLAY_READ 4608
#define NSIS_ALIGNMENT 512
#define TAIL_READ (16 * 1024)
#define COMPOUND_HEADER_READ 0x34
#define DIRECTORY_ENTRY_SIZE 128
#define ROOT_STORAGE 5

struct ImageFile {
    HANDLE file;
    ULONGLONG size;
    BYTE sections[SECTION_LIMIT * SECTION_ENTRY_SIZE];
    int sectionCount;
    ULONGLONG imageEnd; // the end of the last section's data in the file
    DWORD resourceRva;
};

static const char *const UnknownSwitches[] = {NULL};
static const char *const MsiSwitches[] = {"qn*", "q", "quiet", "passive", NULL};
static const char *const BurnSwitches[] = {"quiet", "passive", "q", "s", "silent", NULL};
static const char *const InnoSwitches[] = {"verysilent", "silent", NULL};
static const char *const NsisSwitches[] = {"S", NULL};
static const char *const InstallShieldSwitches[] = {"s", NULL};
static const char *const AdvancedSwitches[] = {"exenoui", NULL};

// In the order of InstallerType. A code of note is 0 when the defaults treat every code right.
// InstallShield's InstallScript setups need a response file recorded with -r: a starter list
// writes the switches of its MSI-based setups, which need none.
const InstallerKind InstallerKinds[INSTALLER_TYPES] = {
    {"unknown", "unknown: find its unattended switches in its documentation", "", "",
     UnknownSwitches, FALSE, 0, MEANING_SUCCESS, NULL},
    {"msi", "Windows Installer package", "/qn (or /quiet, /passive)", "/qn", MsiSwitches, FALSE, 0,
     MEANING_SUCCESS, NULL},
    {"burn", "WiX Burn bundle", "/quiet (or /passive)", "/quiet", BurnSwitches, FALSE, 1638,
     MEANING_SUCCESS, "a newer version is installed"},
    {"inno", "Inno Setup", "/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-",
     "/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-", InnoSwitches, FALSE, 8,
     MEANING_RESTART_NEEDED, "a restart is needed before setup can go on"},
    {"nsis", "NSIS", "/S (upper case: NSIS takes \"/s\" for no switch)", "/S", NsisSwitches, TRUE,
     0, MEANING_SUCCESS, NULL},
    {"installshield", "InstallShield",
     "-s -f1\"<response file>\" (InstallScript), or /s /v\"/qn\" (MSI-based)", "/s /v\"/qn\"",
     InstallShieldSwitches, FALSE, 0, MEANING_SUCCESS, NULL},
    {"advanced-installer", "Advanced Installer", "/exenoui /qn", "/exenoui /qn", AdvancedSwitches,
     FALSE, 0, MEANING_SUCCESS, NULL},
};

static WORD Word(const BYTE *at)
{
    return (WORD)(at[0] | at[1] << 8);
}

static DWORD Dword(const BYTE *at)
{
    return (DWORD)at[0] | (DWORD)at[1] << 8 | (DWORD)at[2] << 16 | (DWORD)at[3] << 24;
}

// Exactly count bytes at offset, all inside the file.
static BOOL ReadAt(const ImageFile *image, ULONGLONG offset, void *buffer, DWORD count)
{
    if (offset > image->size || count > image->size - offset)
        return FALSE;
    LONG high = (LONG)(offset >> 32);
    SetLastError(NO_ERROR);
    if (SetFilePointer(image->file, (LONG)(DWORD)offset, &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return FALSE;
    DWORD read = 0;
    return ReadFile(image->file, buffer, count, &read, NULL) && read == count;
}

static BOOL Holds(const BYTE *bytes, DWORD count, const char *text)
{
    size_t length = strlen(text);
    for (DWORD i = 0; count >= length && i <= count - length; i++) {
        if (memcmp(bytes + i, text, length) == 0)
            return TRUE;
    }
    return FALSE;
}

// A compound file whose root storage has the class of an installation package (patches and
// transforms have their own).
static BOOL IsWindowsInstallerPackage(const ImageFile *image)
{
    static const BYTE PackageClass[16] = {0x84, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    BYTE header[COMPOUND_HEADER_READ];
    BYTE root[DIRECTORY_ENTRY_SIZE];
    if (!ReadAt(image, 0, header, sizeof(header)))
        return FALSE;
    WORD shift = Word(header + 0x1E);
    DWORD sector = Dword(header + 0x30);
    if ((shift != 9 && shift != 12) || sector >= 0xFFFFFFFAUL)
        return FALSE;
    // Sector 0 starts after the header, which takes one sector.
    return ReadAt(image, ((ULONGLONG)sector + 1) << shift, root, sizeof(root)) &&
           root[0x42] == ROOT_STORAGE && memcmp(root + 0x50, PackageClass, 16) == 0;
}

static BOOL ReadImageHeaders(ImageFile *image)
{
    BYTE dos[DOS_HEADER_SIZE];
    BYTE pe[PE_HEADER_SIZE];
    BYTE optional[OPTIONAL_HEADER_READ];
    if (!ReadAt(image, 0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z')
        return FALSE;
    ULONGLONG at = Dword(dos + 0x3C);
    if (!ReadAt(image, at, pe, sizeof(pe)) || memcmp(pe, "PE\0\0", 4) != 0)
        return FALSE;
    image->sectionCount = Word(pe + 6);
    WORD optionalSize = Word(pe + 20);
    DWORD kept = optionalSize < sizeof(optional) ? optionalSize : (DWORD)sizeof(optional);
    if (image->sectionCount == 0 || image->sectionCount > SECTION_LIMIT || kept < 2 ||
        !ReadAt(image, at + PE_HEADER_SIZE, optional, kept))
        return FALSE;
    WORD magic = Word(optional);
    DWORD directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (directories == 0)
        return FALSE;
    // The resource directory is the third data directory, when the header lists that many.
    image->resourceRva = 0;
    if (kept >= directories + 3 * 8 && Dword(optional + directories - 4) > 2)
        image->resourceRva = Dword(optional + directories + 2 * 8);
    if (!ReadAt(image, at + PE_HEADER_SIZE + optionalSize, image->sections,
                (DWORD)image->sectionCount * SECTION_ENTRY_SIZE))
        return FALSE;
    image->imageEnd = 0;
    for (int i = 0; i < image->sectionCount; i++) {
        const BYTE *section = image->sections + i * SECTION_ENTRY_SIZE;
        ULONGLONG end = (ULONGLONG)Dword(section + 20) + Dword(section + 16);
        if (Dword(section + 16) != 0 && end > image->imageEnd)
            image->imageEnd = end;
    }
    return TRUE;
}

static BOOL HasSection(const ImageFile *image, const char *name)
{
    for (int i = 0; i < image->sectionCount; i++) {
        if (strncmp((const char *)image->sections + i * SECTION_ENTRY_SIZE, name, 8) == 0)
            return TRUE;
    }
    return FALSE;
}

// Reads count bytes at an address of the loaded image, from the section whose data holds them all.
static BOOL ReadAtAddress(const ImageFile *image, DWORD rva, void *buffer, DWORD count)
{
    for (int i = 0; i < image->sectionCount; i++) {
        const BYTE *section = image->sections + i * SECTION_ENTRY_SIZE;
        DWORD start = Dword(section + 12), length = Dword(section + 16);
        if (rva >= start && rva - start < length && count <= length - (rva - start))
            return ReadAt(image, (ULONGLONG)Dword(section + 20) + (rva - start), buffer, count);
    }
    return FALSE;
}

static BOOL ReadResourceBytes(const ImageFile *image, DWORD offset, void *buffer, DWORD count)
{
    DWORD rva = image->resourceRva + offset;
    return rva >= offset && ReadAtAddress(image, rva, buffer, count);
}

// The entry of the resource directory at offset whose id is the one asked for (the first entry when
// id is 0): what it points to.
static BOOL FindResourceEntry(const ImageFile *image, DWORD offset, DWORD id, DWORD *target)
{
    BYTE header[16];
    BYTE entries[RESOURCE_CHUNK * 8];
    if (!ReadResourceBytes(image, offset, header, sizeof(header)))
        return FALSE;
    // Entries named by a string come first, those with a number after them.
    DWORD total = (DWORD)Word(header + 12) + Word(header + 14);
    for (DWORD at = id == 0 ? 0 : Word(header + 12); at < total; at += RESOURCE_CHUNK) {
        DWORD count = total - at < RESOURCE_CHUNK ? total - at : RESOURCE_CHUNK;
        if (!ReadResourceBytes(image, offset + 16 + at * 8, entries, count * 8))
            return FALSE;
        for (DWORD i = 0; i < count; i++) {
            if (id == 0 || Dword(entries + i * 8) == id) {
                *target = Dword(entries + i * 8 + 4);
                return TRUE;
            }
        }
    }
    return FALSE;
}

// The address and size of the data of a resource of that type and id (any id when 0), in its
// first language.
static BOOL FindResourceData(const ImageFile *image, DWORD type, DWORD id, DWORD *rva, DWORD *size)
{
    DWORD entry = 0;
    BYTE data[16];
    if (image->resourceRva == 0 || !FindResourceEntry(image, 0, type, &entry) ||
        (entry & RESOURCE_SUBDIRECTORY) == 0 ||
        !FindResourceEntry(image, entry & ~RESOURCE_SUBDIRECTORY, id, &entry) ||
        (entry & RESOURCE_SUBDIRECTORY) == 0 ||
        !FindResourceEntry(image, entry & ~RESOURCE_SUBDIRECTORY, 0, &entry) ||
        (entry & RESOURCE_SUBDIRECTORY) != 0 ||
        !ReadResourceBytes(image, entry, data, sizeof(data)))
        return FALSE;
    *rva = Dword(data);
    *size = Dword(data + 4);
    return TRUE;
}

// Inno Setup's loader finds its offset table in this resource.
static BOOL HasInnoOffsetTable(const ImageFile *image)
{
    DWORD rva = 0, size = 0;
    char id[6];
    return FindResourceData(image, RT_RCDATA_ID, INNO_OFFSET_TABLE_ID, &rva, &size) &&
           size >= sizeof(id) && ReadAtAddress(image, rva, id, sizeof(id)) &&
           memcmp(id, "rDlPtS", sizeof(id)) == 0;
}

// Whether the UTF-16 text at bytes is the ASCII text (with its terminating NUL when whole).
static BOOL IsWideText(const BYTE *bytes, const char *text, BOOL whole)
{
    size_t length = strlen(text) + (whole ? 1 : 0);
    for (size_t i = 0; i < length; i++) {
        if (bytes[2 * i] != (BYTE)text[i] || bytes[2 * i + 1] != 0)
            return FALSE;
    }
    return TRUE;
}

// The version resource's ProductName string: a String block is a length, a value length and a type
// (six bytes), its UTF-16 key, then the value at the next 32-bit boundary.
static BOOL ProductNameBegins(const ImageFile *image, const char *start)
{
    static BYTE version[VERSION_READ];
    static const char Key[] = "ProductName";
    const DWORD keySize = 2 * sizeof(Key);
    const DWORD startSize = 2 * (DWORD)strlen(start);
    DWORD rva = 0, size = 0;
    if (!FindResourceData(image, RT_VERSION_ID, 0, &rva, &size))
        return FALSE;
    DWORD count = size < sizeof(version) ? size : (DWORD)sizeof(version);
    if (!ReadAtAddress(image, rva, version, count))
        return FALSE;
    for (DWORD key = 6; key + keySize <= count; key += 4) {
        DWORD value = (key + keySize + 3) & ~(DWORD)3;
        if (IsWideText(version + key, Key, TRUE) && value + startSize <= count &&
            IsWideText(version + value, start, FALSE))
            return TRUE;
    }
    return FALSE;
}

// What follows the image in the file: NSIS's first header (flags, 0xDEADBEEF, "NullsoftInst") is
// looked for at 512-byte boundaries, as its own loader does, and InstallShield's stream anywhere.
static InstallerType RecognizeOverlay(const ImageFile *image)
{
    static const BYTE NsisSignature[16] = {0xEF, 0xBE, 0xAD, 0xDE, 'N', 'u', 'l', 'l',
                                           's',  'o',  'f',  't',  'I', 'n', 's', 't'};
    static BYTE overlay[OVERLAY_READ];
    ULONGLONG start = image->imageEnd;
    if (start >= image->size)
        return TYPE_UNKNOWN;
    DWORD count = image->size - start < OVERLAY_READ ? (DWORD)(image->size - start) : OVERLAY_READ;
    if (!ReadAt(image, start, overlay, count))
        return TYPE_UNKNOWN;
    ULONGLONG boundary = (start + NSIS_ALIGNMENT - 1) & ~(ULONGLONG)(NSIS_ALIGNMENT - 1);
    for (DWORD at = (DWORD)(boundary - start); at + 4 + sizeof(NsisSignature) <= count;
         at += NSIS_ALIGNMENT) {
        if (memcmp(overlay + at + 4, NsisSignature, sizeof(NsisSignature)) == 0)
            return TYPE_NSIS;
    }
    return Holds(overlay, count, "ISSetupStream") ? TYPE_INSTALLSHIELD : TYPE_UNKNOWN;
}

static BOOL TailHolds(const ImageFile *image, const char *text)
{
    static BYTE tail[TAIL_READ];
    DWORD count = image->size < TAIL_READ ? (DWORD)image->size : TAIL_READ;
    return ReadAt(image, image->size - count, tail, count) && Holds(tail, count, text);
}

static InstallerType Recognize(ImageFile *image)
{
    static const BYTE CompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    BYTE start[sizeof(CompoundSignature)];
    if (!ReadAt(image, 0, start, sizeof(start)))
        return TYPE_UNKNOWN;
    if (memcmp(start, CompoundSignature, sizeof(start)) == 0)
        return IsWindowsInstallerPackage(image) ? TYPE_MSI : TYPE_UNKNOWN;
    if (!ReadImageHeaders(image))
        return TYPE_UNKNOWN;
    if (HasSection(image, ".wixburn"))
        return TYPE_BURN;
    if (HasInnoOffsetTable(image))
        return TYPE_INNO;
    InstallerType after = RecognizeOverlay(image);
    if (after != TYPE_UNKNOWN)
        return after;
    if (ProductNameBegins(image, "InstallShield"))
        return TYPE_INSTALLSHIELD;
    return TailHolds(image, "ADVINSTSFX") ? TYPE_ADVANCED : TYPE_UNKNOWN;
}

InstallerType RecognizeInstaller(const char *path)
{
    static ImageFile image;
    image.file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (image.file == INVALID_HANDLE_VALUE)
        return TYPE_UNKNOWN;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(image.file, &high);
    InstallerType type = TYPE_UNKNOWN;
    if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) {
        image.size = (ULONGLONG)high << 32 | low;
        type = Recognize(&image);
    }
    CloseHandle(image.file);
    return type;
}

// A blank-separated word of the arguments that is one of the type's switches after its "/" (or
// "-", where the type takes both), in the type's own letter case or in any; a switch ending in
// "*" takes any ending.
static BOOL IsSwitch(const InstallerKind *kind, const char *word, size_t length)
{
    if (length < 2 || (word[0] != '/' && (kind->caseSensitive || word[0] != '-')))
        return FALSE;
    word++;
    length--;
    for (const char *const *name = kind->switches; *name != NULL; name++) {
        size_t size = strlen(*name);
        BOOL prefix = size > 0 && (*name)[size - 1] == '*';
        size -= prefix ? 1 : 0;
        if (length < size || (!prefix && length != size))
            continue;
        BOOL same = TRUE;
        for (size_t i = 0; i < size && same; i++) {
            char a = word[i], b = (*name)[i];
            if (!kind->caseSensitive) {
                a = (char)(a >= 'A' && a <= 'Z' ? a + 32 : a);
                b = (char)(b >= 'A' && b <= 'Z' ? b + 32 : b);
            }
            same = a == b;
        }
        if (same)
            return TRUE;
    }
    return FALSE;
}

BOOL HasUnattendedSwitch(InstallerType type, const char *arguments)
{
    const InstallerKind *kind = &InstallerKinds[type];
    for (const char *at = arguments; *at != '\0';) {
        size_t length = strcspn(at, " \t");
        if (IsSwitch(kind, at, length))
            return TRUE;
        at += length;
        at += strspn(at, " \t");
    }
    return FALSE;
}

BOOL FormatExitCodeItem(InstallerType type, char *item, size_t capacity)
{
    const InstallerKind *kind = &InstallerKinds[type];
    if (kind->noteCode == 0)
        return FALSE;
    snprintf(item, capacity, "%lu:%s", (unsigned long)kind->noteCode,
             DeclaredExitMeanings[kind->noteMeaning]);
    return TRUE;
}
