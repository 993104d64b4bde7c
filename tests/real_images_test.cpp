// D88Image on the real images kept as test data: their disks, names and
// media, and every sector their tracks list read back whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "d88image.h"

namespace {

using d88test::Bytes;

struct RealImage {
    const char* file;
    const char* name;
    int32_t tracks;
    int32_t sectorsPerTrack;
    int32_t sizeCode;
};

void PrintTo(const RealImage& image, std::ostream* out) { *out << image.file; }

// As the images' README describes them; both hold one disk of media 0x00.
// The HuBASIC image's name runs on past byte 15: only the first 16 bytes count.
const RealImage kRealImages[] = {
    {"HuBASIC_Format_2D.d88", "by_github_ORYZAP", 80, 16, 1},
    {"FPUTEST.D77", "D77_DISK", 154, 8, 3},
};

class RealImageTest : public ::testing::TestWithParam<RealImage> {
protected:
    void SetUp() override {
        path = std::string(REAL_IMAGES_DIR) + "/" + GetParam().file;
        if (!std::filesystem::is_regular_file(path)) {
            GTEST_SKIP() << "real image " << path << " is not there";
        }
        ASSERT_TRUE(image.Open(path.c_str()));
    }

    std::string path;
    D88Image image;
};

TEST_P(RealImageTest, OneDiskWithItsNameAndMedia) {
    EXPECT_EQ(image.GetDiskCount(), 1);
    ASSERT_TRUE(image.SelectDisk(0));
    EXPECT_STREQ(image.GetDiskName(), GetParam().name);
    EXPECT_EQ(image.GetMediaType(), 0);
}

// Every listed sector reads back with its data size, and the data is the
// bytes the image stores for it: its tracks lie one after another behind
// the header, each record followed by its data.
TEST_P(RealImageTest, EveryListedSectorReadsBackWhole) {
    const RealImage& expected = GetParam();
    ASSERT_TRUE(image.SelectDisk(0));
    const Bytes file = d88test::ReadFile(path);
    const size_t sectorSize = size_t{128} << expected.sizeCode;
    // Larger than any data size a record can give.
    constexpr int32_t kCapacity = 0x10000;
    Bytes ids(1024);
    Bytes data(kCapacity);
    size_t sectorsRead = 0;
    int32_t tracksListed = 0;
    for (int32_t track = 0; track < D88Image::kTrackCount; ++track) {
        const int32_t listed = image.ReadTrackIds(track, ids.data(), static_cast<int32_t>(ids.size()));
        if (listed == 0) {
            continue;
        }
        SCOPED_TRACE("track " + std::to_string(track));
        EXPECT_EQ(track, tracksListed) << "tracks follow one another from 0";
        ++tracksListed;
        EXPECT_EQ(listed, 4 * expected.sectorsPerTrack);
        for (int32_t i = 0; i < listed; i += 4) {
            const uint8_t* id = &ids[static_cast<size_t>(i)];
            EXPECT_EQ(id[3], expected.sizeCode);
            const size_t dataSize = size_t{128} << id[3];
            ASSERT_EQ(image.ReadSector(track, id[0], id[1], id[2], id[3], data.data(), kCapacity),
                      static_cast<int32_t>(dataSize));
            const size_t stored = D88Image::kDiskHeaderSize +
                                  sectorsRead * (D88Image::kSectorRecordSize + sectorSize) +
                                  D88Image::kSectorRecordSize;
            ASSERT_LE(stored + dataSize, file.size());
            EXPECT_TRUE(std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(dataSize),
                                   file.begin() + static_cast<std::ptrdiff_t>(stored)))
                << "sector " << sectorsRead;
            ++sectorsRead;
        }
    }
    EXPECT_EQ(tracksListed, expected.tracks);
    EXPECT_EQ(sectorsRead, static_cast<size_t>(expected.tracks * expected.sectorsPerTrack));
}

// With the sector range set to a track's sector numbers, a run from sector 1
// of track 0 reads the first tracks whole, in the order the image stores them.
TEST_P(RealImageTest, RunOfSectorsAcrossTracks) {
    const RealImage& expected = GetParam();
    ASSERT_TRUE(image.SelectDisk(0));
    image.SetSectorRange(1, expected.sectorsPerTrack);
    const Bytes file = d88test::ReadFile(path);
    const size_t sectorSize = size_t{128} << expected.sizeCode;
    const size_t sectors = static_cast<size_t>(3 * expected.sectorsPerTrack);
    Bytes buffer(sectors * sectorSize);
    ASSERT_EQ(image.ReadSectors(0, 0, 0, 1, expected.sizeCode, buffer.data(),
                                static_cast<int32_t>(buffer.size())),
              static_cast<int32_t>(buffer.size()));
    for (size_t s = 0; s < sectors; ++s) {
        const size_t stored = D88Image::kDiskHeaderSize +
                              s * (D88Image::kSectorRecordSize + sectorSize) + D88Image::kSectorRecordSize;
        EXPECT_TRUE(std::equal(buffer.begin() + static_cast<std::ptrdiff_t>(s * sectorSize),
                               buffer.begin() + static_cast<std::ptrdiff_t>((s + 1) * sectorSize),
                               file.begin() + static_cast<std::ptrdiff_t>(stored)))
            << "sector " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(Images, RealImageTest, ::testing::ValuesIn(kRealImages),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

}  // namespace
