// Installer files for the tests: a minimal valid PE image, or a compound file, holding only the
// bytes a recognition rule looks at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline void Put16(std::string &bytes, size_t at, uint32_t value)
{
    bytes[at] = (char)(value & 0xFF);
    bytes[at + 1] = (char)(value >> 8 & 0xFF);
}

inline void Put32(std::string &bytes, size_t at, uint32_t value)
{
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

inline std::string Wide(const std::string &text)
{
    std::string wide;
    for (char c : text)
        wide += std::string(1, c) + '\0';
    return wide;
}

struct ImageResource {
    uint32_t type, id;
    std::string data;
};

// A PE32 image with a ".text" section, the named sections after it, and a ".rsrc" section holding
// the resource when there is one (type, id, one language); then what follows the image.
inline std::string PeImage(const std::vector<std::string> &names = {},
                           const ImageResource *resource = nullptr, const std::string &after = "")
{
    const uint32_t fileAlignment = 0x200, sectionAlignment = 0x1000, peAt = 0x40;
    std::vector<std::string> sections = {".text"};
    sections.insert(sections.end(), names.begin(), names.end());
    std::vector<std::string> contents(sections.size(), std::string(16, '\xC3'));
    uint32_t resourceRva = 0;
    if (resource != nullptr) {
        resourceRva = sectionAlignment * (uint32_t)(sections.size() + 1);
        // Three directory levels of one entry each, the data entry, then the data.
        std::string tree(0x58, '\0');
        const uint32_t ids[] = {resource->type, resource->id, 0x409};
        for (uint32_t level = 0; level < 3; level++) {
            Put16(tree, level * 0x18 + 14, 1);
            Put32(tree, level * 0x18 + 16, ids[level]);
            Put32(tree, level * 0x18 + 20, (level + 1) * 0x18 | (level < 2 ? 0x80000000 : 0));
        }
        Put32(tree, 0x48, resourceRva + 0x58);
        Put32(tree, 0x4C, (uint32_t)resource->data.size());
        sections.push_back(".rsrc");
        contents.push_back(tree + resource->data);
    }
    std::string image(fileAlignment, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, peAt);
    image.replace(peAt, 4, std::string("PE\0\0", 4));
    Put16(image, peAt + 4, 0x14C);
    Put16(image, peAt + 6, (uint32_t)sections.size());
    Put16(image, peAt + 20, 224);
    Put16(image, peAt + 22, 0x102);
    const size_t optional = peAt + 24;
    Put16(image, optional, 0x10B);
    Put32(image, optional + 28, 0x400000);
    Put32(image, optional + 32, sectionAlignment);
    Put32(image, optional + 36, fileAlignment);
    Put32(image, optional + 56, sectionAlignment * (uint32_t)(sections.size() + 1));
    Put32(image, optional + 60, fileAlignment);
    Put16(image, optional + 68, 2);
    Put32(image, optional + 92, 16);
    if (resource != nullptr) {
        Put32(image, optional + 96 + 16, resourceRva);
        Put32(image, optional + 96 + 20, (uint32_t)contents.back().size());
    }
    for (size_t i = 0; i < sections.size(); i++) {
        size_t entry = optional + 224 + i * 40;
        uint32_t raw =
            ((uint32_t)contents[i].size() + fileAlignment - 1) / fileAlignment * fileAlignment;
        image.replace(entry, sections[i].size(), sections[i]);
        Put32(image, entry + 8, (uint32_t)contents[i].size());
        Put32(image, entry + 12, sectionAlignment * (uint32_t)(i + 1));
        Put32(image, entry + 16, raw);
        Put32(image, entry + 20, (uint32_t)image.size());
        image += contents[i] + std::string(raw - contents[i].size(), '\0');
    }
    return image + after;
}

// A version resource's String block: its lengths and type, the UTF-16 key, the value at the next
// 32-bit boundary.
inline std::string VersionString(const std::string &key, const std::string &value)
{
    std::string block = std::string(6, '\0') + Wide(key) + std::string(2, '\0');
    block += std::string((4 - block.size() % 4) % 4, '\0') + Wide(value) + std::string(2, '\0');
    Put16(block, 0, (uint32_t)block.size());
    Put16(block, 2, (uint32_t)value.size() + 1);
    Put16(block, 4, 1);
    return block;
}

// NSIS's first header: flags, its signature and magic text, the two lengths.
inline std::string NsisFirstHeader()
{
    return std::string(4, '\0') +
           "\xEF\xBE\xAD\xDE"
           "NullsoftInst" +
           std::string(8, '\0');
}

// A compound file: the header with its signature, 512-byte sectors and the directory in sector 0,
// then that sector with the root storage's entry and its class id.
inline std::string CompoundFile(uint32_t classData1)
{
    std::string file(1024, '\0');
    file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    Put16(file, 0x1E, 9);
    Put32(file, 0x30, 0);
    file.replace(512, 20, Wide("Root Entry"));
    file[512 + 0x42] = 5;
    Put32(file, 512 + 0x50, classData1);
    file.replace(512 + 0x58, 8, std::string("\xC0\0\0\0\0\0\0\x46", 8));
    return file;
}
