// Installer files for the tests: a minimal valid PE image, or a compound file, holding only the
// bytes a recognition rule looks at.
#pragma once

#include <cstdint>
#include <string>

inline void Put(std::string &bytes, size_t at, uint32_t value, int size = 4)
{
    for (int i = 0; i < size; i++)
        bytes[at + i] = (char)(value >> 8 * i);
}

inline std::string Wide(const std::string &text)
{
    std::string wide;
    for (char c : text)
        wide += std::string(1, c) + '\0';
    return wide + std::string(2, '\0');
}

// A PE32 image of one 512-byte section at address 0x1000, holding a resource of the type and id
// when type is not 0; then what follows the image.
inline std::string PeImage(const std::string &section = ".text", const std::string &after = "",
                           uint32_t type = 0, uint32_t id = 0, const std::string &data = "")
{
    // Offset, value and size of each field: "MZ", where "PE" is, "PE"; i386, one section, the
    // optional header's size, an executable; PE32, its base, alignments, sizes, a Windows program,
    // 16 data directories, where the resources are; the section's sizes and places. In the
    // section: three resource directory levels of one entry each (type, id, language) lead to the
    // data entry at 0x48, whose data follows it.
    const uint32_t resources = type != 0 ? 0x1000 : 0, size = (uint32_t)data.size();
    const uint32_t fields[] = {
        0,     0x5A4D,   2, 0x3C,  0x40,       4, 0x40,  0x4550,     4, 0x44,  0x14C,     2,
        0x46,  1,        2, 0x54,  224,        2, 0x56,  0x102,      2, 0x58,  0x10B,     2,
        0x74,  0x400000, 4, 0x78,  0x1000,     4, 0x7C,  0x200,      4, 0x90,  0x2000,    4,
        0x94,  0x200,    4, 0x9C,  2,          2, 0xB4,  16,         4, 0xC8,  resources, 4,
        0x140, 0x200,    4, 0x144, 0x1000,     4, 0x148, 0x200,      4, 0x14C, 0x200,     4,
        0x20E, 1,        2, 0x210, type,       4, 0x214, 0x80000018, 4, 0x226, 1,         2,
        0x228, id,       4, 0x22C, 0x80000030, 4, 0x23E, 1,          2, 0x240, 0x409,     4,
        0x244, 0x48,     4, 0x248, 0x1058,     4, 0x24C, size,       4};
    std::string image(0x400, '\0');
    for (size_t i = 0; i < sizeof(fields) / sizeof(fields[0]); i += 3)
        Put(image, fields[i], fields[i + 1], (int)fields[i + 2]);
    image.replace(0x138, section.size(), section);
    return image.replace(0x258, data.size(), data) + after;
}

// NSIS's first header: flags, signature, magic text, two lengths.
const std::string NsisFirstHeader("\0\0\0\0\xEF\xBE\xAD\xDENullsoftInst\0\0\0\0\0\0\0\0", 28);

// A compound file of 512-byte sectors, its directory in sector 0, whose root storage has the class
// whose first part is given.
inline std::string CompoundFile(uint32_t classData1)
{
    std::string file = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(1016, '\0');
    Put(file, 0x1E, 9, 2);
    file[512 + 0x42] = 5;
    Put(file, 512 + 0x50, classData1);
    Put(file, 512 + 0x58, 0xC0);
    file[512 + 0x5F] = 0x46;
    return file;
}
