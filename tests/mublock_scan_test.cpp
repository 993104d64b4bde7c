// mublock's block scan against a plain byte-by-byte scan of the same disks:
// pseudo-random data disks crowded with "RM" signatures and 0xFD bytes, at
// densities that give short blocks, long blocks and candidates past the
// length bound, some with tracks that cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "program_runner.h"

namespace {

using d88test::Bytes;
using d88test::TempDir;

constexpr size_t kSector = d88test::kDataDiskSectorSize;
constexpr size_t kTrackBytes = kSector * d88test::kDataDiskSectorsPerTrack;
constexpr uint8_t kTerminator = 0xFD;

struct ExpectedRun {
    std::string out;
    std::map<std::string, std::string> files;
};

// The block scan done the slow, plain way over one disk's buffer: from the
// first byte of each candidate sector, count 0xFD bytes one by one.
void ScanByteByByte(const Bytes& buffer, int disk, int& counter, ExpectedRun& expected) {
    for (size_t sector = 0; sector < d88test::kDataDiskSectors; ++sector) {
        const size_t start = sector * kSector;
        if (buffer[start + 6] != 'R' || buffer[start + 7] != 'M') {
            continue;
        }
        size_t length = 0;
        int terminators = 0;
        for (size_t taken = 0; taken < 16383 && start + taken < buffer.size(); ++taken) {
            if (buffer[start + taken] == kTerminator && ++terminators == 5) {
                length = taken + 1;
                break;
            }
        }
        if (length == 0) {
            continue;
        }
        char name[16];
        std::snprintf(name, sizeof name, "MU%03d", counter++);
        char line[80];
        std::snprintf(line, sizeof line, "%5s diskno=%1d trk=%02d sec=%2d size=%4d\n", name, disk,
                      static_cast<int>(sector / 5 + 1), static_cast<int>(sector % 5 + 1),
                      static_cast<int>(length));
        expected.out += line;
        const auto first = buffer.begin() + static_cast<std::ptrdiff_t>(start);
        expected.files[name] =
            length > 6 ? std::string(first + 6, first + static_cast<std::ptrdiff_t>(length)) : "";
    }
}

// One pseudo-random disk: bytes other than 0xFD, then 0xFD at about one
// byte in `spacing`, the signature in about half the sectors, and now and
// then a run of 0xFD from byte 0 of a sector (blocks of length 5 and 6).
Bytes RandomLogicalDisk(std::mt19937& random, uint32_t spacing) {
    Bytes logical = d88test::BlankLogicalDisk();
    for (uint8_t& byte : logical) {
        byte = static_cast<uint8_t>(random() % 253);
    }
    for (uint8_t& byte : logical) {
        if (random() % spacing == 0) {
            byte = kTerminator;
        }
    }
    for (size_t sector = 0; sector < d88test::kDataDiskSectors; ++sector) {
        if (random() % 2 == 0) {
            d88test::Put(logical, sector * kSector + 6, d88test::TextBytes("RM"));
        }
        if (random() % 16 == 0) {
            const size_t run = 1 + random() % 6;
            for (size_t position = 0; position < run; ++position) {
                logical[sector * kSector + position] = kTerminator;
            }
        }
    }
    return logical;
}

class MublockScan : public testing::TestWithParam<uint32_t> {};

TEST_P(MublockScan, MatchesByteByByteScan) {
    std::mt19937 random(GetParam());
    std::vector<d88test::Disk> disks;
    ExpectedRun expected;
    int counter = 0;
    int disk = 0;
    for (uint32_t spacing : {8u, 30u, 400u, 1500u, 4000u}) {
        Bytes logical = RandomLogicalDisk(random, spacing);
        d88test::Disk image = d88test::MakeDataDisk(logical);
        // Tracks that cannot be read leave zeros in the buffer.
        for (int lost = random() % 6; lost > 0; --lost) {
            const int track = static_cast<int>(random() % d88test::kDataDiskTracks);
            image.tracks.erase(track);
            std::fill_n(logical.begin() + static_cast<std::ptrdiff_t>(track * kTrackBytes), kTrackBytes, 0);
        }
        ScanByteByByte(logical, disk++, counter, expected);
        disks.push_back(std::move(image));
    }
    ASSERT_GT(counter, 200);

    TempDir images;
    const std::string path = images / "image.d88";
    d88test::WriteFile(path, d88test::BuildImage(disks));
    TempDir work;
    const auto result = d88test::RunProgram(MUBLOCK_PROGRAM, {path}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, expected.out);
    EXPECT_TRUE(work.Entries() == expected.files) << "the files differ from the byte-by-byte scan's";
}

INSTANTIATE_TEST_SUITE_P(Seeds, MublockScan, testing::Values(1u, 2u, 3u, 4u));

}  // namespace
