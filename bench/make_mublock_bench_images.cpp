// Writes the two images that bench/mublock.sh times mublock on, each of 64
// data disks:
//   NO_BLOCKS_IMAGE    every sector starts a candidate ("RM" at bytes 6 and
//                      7), but one 0xFD in 16 sectors leaves every candidate
//                      short of its fifth 0xFD: no block at all;
//   MANY_BLOCKS_IMAGE  blocks of 200 to 3,000 bytes one after another, each
//                      from the sector after the end of the one before.
#include <cstdio>
#include <exception>
#include <random>
#include <vector>

#include "d88_builder.h"

namespace {

using d88test::Bytes;

constexpr int kDisks = 64;
constexpr size_t kSector = d88test::kDataDiskSectorSize;
constexpr uint8_t kTerminator = 0xFD;

// Logical bytes with no 0xFD and no "RM" of their own.
Bytes FilledLogicalDisk(std::mt19937& random) {
    Bytes logical = d88test::BlankLogicalDisk();
    for (uint8_t& byte : logical) {
        byte = static_cast<uint8_t>(random() % 0x40);
    }
    return logical;
}

d88test::Disk NoBlocksDisk(std::mt19937& random) {
    Bytes logical = FilledLogicalDisk(random);
    for (size_t sector = 0; sector < d88test::kDataDiskSectors; ++sector) {
        d88test::Put(logical, sector * kSector + 6, d88test::TextBytes("RM"));
        if (sector % 16 == 15) {
            logical[sector * kSector + 512] = kTerminator;
        }
    }
    return d88test::MakeDataDisk(logical);
}

d88test::Disk ManyBlocksDisk(std::mt19937& random) {
    Bytes logical = FilledLogicalDisk(random);
    size_t sector = 0;
    for (;;) {
        const size_t start = sector * kSector;
        const size_t length = 200 + random() % 2801;
        if (start + length > logical.size()) {
            break;
        }
        d88test::Put(logical, start + 6, d88test::TextBytes("RM"));
        for (size_t part = 1; part <= 4; ++part) {
            logical[start + length * part / 5] = kTerminator;
        }
        logical[start + length - 1] = kTerminator;
        sector = (start + length + kSector - 1) / kSector;
    }
    return d88test::MakeDataDisk(logical);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("Usage: make_mublock_bench_images NO_BLOCKS_IMAGE MANY_BLOCKS_IMAGE\n", stderr);
        return 1;
    }
    std::mt19937 random(1);
    try {
        std::vector<d88test::Disk> disks;
        for (int disk = 0; disk < kDisks; ++disk) {
            disks.push_back(NoBlocksDisk(random));
        }
        d88test::WriteFile(argv[1], d88test::BuildImage(disks));
        disks.clear();
        for (int disk = 0; disk < kDisks; ++disk) {
            disks.push_back(ManyBlocksDisk(random));
        }
        d88test::WriteFile(argv[2], d88test::BuildImage(disks));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_mublock_bench_images: %s\n", error.what());
        return 1;
    }
    return 0;
}
