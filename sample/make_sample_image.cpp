// Writes the sample image that the README runs the tools on: two data disks,
// each with a directory in logical sector 399 listing stored files, some of
// which are RM blocks.
#include <cstdio>
#include <string>
#include <vector>

#include "d88_builder.h"

namespace {

using d88test::Bytes;

struct StoredFile {
    std::string name;
    Bytes content;
};

// An RM block: the signature, then four 0xFD-ended parts; with the file
// header in front, the fifth 0xFD counted from the header is the last byte.
Bytes RmBlock(const std::string& title, size_t partSize, uint8_t seed) {
    Bytes block = d88test::TextBytes("RM" + title);
    for (int part = 0; part < 4; ++part) {
        for (size_t i = 0; i < partSize; ++i) {
            block.push_back(static_cast<uint8_t>((seed + part * 31 + i * 7) % 0xF0));
        }
        block.push_back(0xFD);
    }
    block.push_back(0xFD);
    return block;
}

// Lays `files` out from logical sector `firstSector` on: the first sector of
// each begins with the 6-byte file header, and the directory in sector 399
// names them and maps their sectors.
d88test::Disk StoreFiles(const std::vector<StoredFile>& files, const std::string& diskName) {
    Bytes logical = d88test::BlankLogicalDisk();
    const size_t directory = 399 * 1024;
    for (size_t s = 0; s < 400; ++s) {
        logical[directory + 512 + s] = 0xFF;
    }
    size_t sector = 2;
    for (size_t index = 0; index < files.size(); ++index) {
        const StoredFile& file = files[index];
        Bytes stored(6, 0);
        const size_t lengthField = file.content.size() - 1;
        stored[4] = static_cast<uint8_t>(lengthField);
        stored[5] = static_cast<uint8_t>(lengthField >> 8);
        stored.insert(stored.end(), file.content.begin(), file.content.end());
        for (size_t i = 0; i < 4 && i < file.name.size(); ++i) {
            logical[directory + 4 * index + i] = static_cast<uint8_t>(file.name[i]);
        }
        for (size_t offset = 0; offset < stored.size(); offset += 1024, ++sector) {
            logical[directory + 512 + sector] = static_cast<uint8_t>(index);
            const size_t size = std::min<size_t>(1024, stored.size() - offset);
            d88test::Put(logical, sector * 1024,
                         Bytes(stored.begin() + static_cast<std::ptrdiff_t>(offset),
                               stored.begin() + static_cast<std::ptrdiff_t>(offset + size)));
        }
        ++sector;  // leave a free sector between files
    }
    return d88test::MakeDataDisk(logical, diskName);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("Usage: make_sample_image OUTPUT\n", stderr);
        return 1;
    }
    const std::vector<d88test::Disk> disks = {
        StoreFiles({{"SNG1", RmBlock("Morning", 40, 1)},
                    {"SNG2", RmBlock("Evening", 381, 2)},
                    {"MEMO", d88test::TextBytes("Two songs on this disk.\r\n")}},
                   "SAMPLE DISK A"),
        StoreFiles({{"SNG3", RmBlock("Night", 640, 3)},
                    {"DATA", Bytes(300, 0x20)}},
                   "SAMPLE DISK B"),
    };
    try {
        d88test::WriteFile(argv[1], d88test::BuildImage(disks));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_image: %s\n", error.what());
        return 1;
    }
    return 0;
}
