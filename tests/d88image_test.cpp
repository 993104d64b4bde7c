// D88Image on images built in code: the disk scan, disk selection, sector
// lookup by track index and ID, runs of sectors, ID listings, and calls made
// outside the reader's limits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "d88image.h"
#include "program_runner.h"

namespace {

using d88test::BuildDisk;
using d88test::BuildImage;
using d88test::Bytes;
using d88test::Disk;
using d88test::MakeSector;
using d88test::Sector;
using d88test::TempDir;

constexpr size_t kHeaderSize = D88Image::kDiskHeaderSize;
constexpr size_t kRecordSize = D88Image::kSectorRecordSize;
// What a buffer holds before a read; a byte still equal to it was not written.
constexpr uint8_t kUntouched = 0xEE;

// Sector data whose bytes differ from those of any other seed and from
// kUntouched runs, so that a misplaced or partial read shows.
Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed * 41 + i % 199);
    }
    return bytes;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes Untouched(size_t size) { return Bytes(size, kUntouched); }

Sector WithCount(Sector sector, uint16_t count) {
    sector.count = count;
    return sector;
}

Disk NamedDisk(const std::string& name) {
    Disk disk;
    disk.name = name;
    return disk;
}

class D88ImageTest : public ::testing::Test {
protected:
    // Writes `bytes` to a new file of the temporary directory and opens it.
    bool OpenImage(const Bytes& bytes) {
        const std::string path = dir / ("image" + std::to_string(imageNumber++) + ".d88");
        d88test::WriteFile(path, bytes);
        return image.Open(path.c_str());
    }

    // Every kind of read comes back 0 and leaves its buffer as it was.
    void ExpectNothingRead(int32_t track, int c, int h, int r, int n) {
        Bytes buffer = Untouched(4096);
        EXPECT_EQ(image.ReadSector(track, c, h, r, n, buffer.data(), 4096), 0);
        EXPECT_EQ(image.ReadSectors(track, c, h, r, n, buffer.data(), 4096), 0);
        EXPECT_EQ(image.ReadTrackIds(track, buffer.data(), 4096), 0);
        EXPECT_EQ(buffer, Untouched(4096));
    }

    void ExpectNoDiskSelected() {
        EXPECT_EQ(image.GetCurrentDisk(), -1);
        EXPECT_EQ(image.GetMediaType(), -1);
        EXPECT_STREQ(image.GetDiskName(), "");
    }

    // Declared first so that the image file is closed before its directory goes.
    TempDir dir;
    D88Image image;
    int imageNumber = 0;
};

// ---------------------------------------------------------------------------
// Disk scan

struct ScanCase {
    const char* name;
    Bytes image;
    int32_t diskCount;
};

void PrintTo(const ScanCase& scan, std::ostream* out) { *out << scan.name; }

Bytes BareHeaders(int count) {
    std::vector<Disk> disks;
    for (int i = 0; i < count; ++i) {
        disks.push_back(NamedDisk("D" + std::to_string(i)));
    }
    return BuildImage(disks);
}

Disk DiskWithSizeField(uint32_t size) {
    Disk disk = NamedDisk("SIZED");
    disk.diskSize = size;
    return disk;
}

std::vector<ScanCase> ScanCases() {
    Bytes cutHeader = BareHeaders(3);
    cutHeader.resize(2 * kHeaderSize + 500);
    Disk tooLong = NamedDisk("LONG");
    tooLong.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    tooLong.diskSize = static_cast<uint32_t>(BuildDisk(tooLong).size() + 4096);
    return {
        {"EmptyFile", Bytes{}, 0},
        {"OneByteShortOfAHeader", Bytes(kHeaderSize - 1, 0), 0},
        {"ExactlyOneHeader", BareHeaders(1), 1},
        {"TwoDisks", BareHeaders(2), 2},
        {"HeaderCutShort", cutHeader, 2},
        {"SixtyFiveDisks", BareHeaders(65), 64},
        {"SizeFieldZero", BuildImage({DiskWithSizeField(0)}), 64},
        {"SizeFieldPastTheEnd", BuildImage({tooLong, NamedDisk("UNSEEN")}), 1},
        {"SizeFieldOf2GiB", BuildImage({DiskWithSizeField(0x80000000u), NamedDisk("UNSEEN")}), 1},
        {"SizeFieldAllOnes", BuildImage({DiskWithSizeField(0xFFFFFFFFu), NamedDisk("UNSEEN")}), 1},
    };
}

class DiskScanTest : public D88ImageTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(DiskScanTest, CountsWholeHeaders) {
    ASSERT_TRUE(OpenImage(GetParam().image));
    EXPECT_EQ(image.GetDiskCount(), GetParam().diskCount);
    ExpectNoDiskSelected();
    if (GetParam().diskCount > 0) {
        EXPECT_TRUE(image.SelectDisk(GetParam().diskCount - 1));
    }
    EXPECT_FALSE(image.SelectDisk(GetParam().diskCount));
}

INSTANTIATE_TEST_SUITE_P(Images, DiskScanTest, ::testing::ValuesIn(ScanCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(D88ImageTest, SecondDiskStartsWhereTheFirstDiskSizeSays) {
    Disk first = NamedDisk("FIRST");
    first.mediaType = 0x10;
    first.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    Disk second = NamedDisk("SECOND");
    second.mediaType = 0x20;
    second.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 2)));
    ASSERT_TRUE(OpenImage(BuildImage({first, second})));
    ASSERT_EQ(image.GetDiskCount(), 2);

    ASSERT_TRUE(image.SelectDisk(1));
    EXPECT_EQ(image.GetCurrentDisk(), 1);
    EXPECT_STREQ(image.GetDiskName(), "SECOND");
    EXPECT_EQ(image.GetMediaType(), 0x20);
    // Track offsets count from the start of the selected disk.
    Bytes buffer(1024);
    EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), 1024), 1024);
    EXPECT_EQ(buffer, Pattern(1024, 2));

    ASSERT_TRUE(image.SelectDisk(0));
    EXPECT_STREQ(image.GetDiskName(), "FIRST");
    EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), 1024), 1024);
    EXPECT_EQ(buffer, Pattern(1024, 1));
}

TEST_F(D88ImageTest, SixtyFiveDisksKeepTheFirstSixtyFour) {
    ASSERT_TRUE(OpenImage(BareHeaders(65)));
    ASSERT_EQ(image.GetDiskCount(), 64);
    ASSERT_TRUE(image.SelectDisk(2));
    EXPECT_EQ(image.GetCurrentDisk(), 2);
    EXPECT_STREQ(image.GetDiskName(), "D2");
    ASSERT_TRUE(image.SelectDisk(63));
    EXPECT_STREQ(image.GetDiskName(), "D63");
    EXPECT_FALSE(image.SelectDisk(64));
}

TEST_F(D88ImageTest, SizeFieldZeroCountsTheSameDiskSixtyFourTimes) {
    Disk disk = NamedDisk("LOOP");
    disk.diskSize = 0;
    disk.mediaType = 0x20;
    ASSERT_TRUE(OpenImage(BuildImage({disk, NamedDisk("NEXT")})));
    ASSERT_EQ(image.GetDiskCount(), 64);
    for (int32_t index = 0; index < 64; ++index) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(image.SelectDisk(index));
        EXPECT_EQ(image.GetCurrentDisk(), index);
        EXPECT_STREQ(image.GetDiskName(), "LOOP");
        EXPECT_EQ(image.GetMediaType(), 0x20);
    }
}

// ---------------------------------------------------------------------------
// Open

TEST_F(D88ImageTest, OpenFailsForAMissingPathOrADirectory) {
    EXPECT_FALSE(image.Open((dir / "missing.d88").c_str()));
    EXPECT_EQ(image.GetDiskCount(), 0);
    EXPECT_FALSE(image.SelectDisk(0));

    // A directory would otherwise open as an image of no disks.
    EXPECT_FALSE(image.Open(dir.Path().c_str()));
    EXPECT_EQ(image.GetDiskCount(), 0);
    EXPECT_FALSE(image.SelectDisk(0));
}

TEST_F(D88ImageTest, OpenWithoutAPathClosesTheFile) {
    EXPECT_TRUE(image.Open());

    Disk disk = NamedDisk("DISK");
    disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    EXPECT_TRUE(image.Open());
    EXPECT_EQ(image.GetDiskCount(), 0);
    EXPECT_EQ(image.GetCurrentDisk(), -1);
    EXPECT_EQ(image.GetMediaType(), -1);
    EXPECT_FALSE(image.SelectDisk(0));
    EXPECT_EQ(image.GetCurrentDisk(), -1);
    // The selected disk's track table outlives the file; with no file, the
    // track is still not read.
    ExpectNothingRead(0, 0, 0, 1, 3);
}

// Whether the earlier file is still open or was closed by Open() without a
// path, a new image starts with no disk selected.
TEST_F(D88ImageTest, OpenOfAnotherImageDropsTheSelection) {
    Disk disk = NamedDisk("DISK");
    disk.mediaType = 0x10;
    disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    for (bool closedBetween : {false, true}) {
        SCOPED_TRACE(closedBetween);
        ASSERT_TRUE(OpenImage(BuildImage({disk})));
        ASSERT_TRUE(image.SelectDisk(0));
        if (closedBetween) {
            ASSERT_TRUE(image.Open());
        }
        // The second image begins with the same disk, so a selection carried
        // over from the first would still find the sector.
        ASSERT_TRUE(OpenImage(BuildImage({disk, NamedDisk("B1"), NamedDisk("B2")})));
        EXPECT_EQ(image.GetDiskCount(), 3);
        ExpectNoDiskSelected();
        ExpectNothingRead(0, 0, 0, 1, 3);
        ASSERT_TRUE(image.SelectDisk(2));
        EXPECT_STREQ(image.GetDiskName(), "B2");
    }
}

TEST_F(D88ImageTest, ReadsComeFromTheFileOpenedLast) {
    // Two images of the same layout: only the data tells them apart.
    std::vector<Bytes> images;
    for (uint8_t seed : {1, 2, 3}) {
        Disk disk = NamedDisk("DISK");
        disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, seed)));
        images.push_back(BuildImage({disk}));
    }
    for (size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE(i);
        if (i == 2) {
            ASSERT_TRUE(image.Open());
        }
        ASSERT_TRUE(OpenImage(images[i]));
        ASSERT_TRUE(image.SelectDisk(0));
        Bytes buffer(1024);
        EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), 1024), 1024);
        EXPECT_EQ(buffer, Pattern(1024, static_cast<uint8_t>(i + 1)));
    }
}

TEST_F(D88ImageTest, FailedOpenOfAnotherPathClosesTheEarlierFile) {
    ASSERT_TRUE(OpenImage(BareHeaders(2)));
    ASSERT_TRUE(image.SelectDisk(1));
    EXPECT_FALSE(image.Open((dir / "missing.d88").c_str()));
    EXPECT_EQ(image.GetDiskCount(), 0);
    ExpectNoDiskSelected();
    EXPECT_FALSE(image.SelectDisk(0));
}

// ---------------------------------------------------------------------------
// Selection

TEST_F(D88ImageTest, NothingIsSelectedOnANewObject) {
    EXPECT_EQ(image.GetDiskCount(), 0);
    ExpectNoDiskSelected();
    EXPECT_FALSE(image.SelectDisk(0));
    ExpectNothingRead(0, 0, 0, 1, 3);
}

TEST_F(D88ImageTest, FailedSelectDiskLeavesNoDiskSelected) {
    Disk disk = NamedDisk("DISK");
    disk.mediaType = 0x10;
    disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    ASSERT_TRUE(OpenImage(BuildImage({disk, disk, disk})));
    for (int32_t index : {-1, 3, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(image.SelectDisk(1));
        EXPECT_FALSE(image.SelectDisk(index));
        EXPECT_EQ(image.GetDiskCount(), 3);
        ExpectNoDiskSelected();
        ExpectNothingRead(0, 0, 0, 1, 3);
    }
}

TEST_F(D88ImageTest, DiskNamesAndMediaTypes) {
    struct NameCase {
        std::string field;
        std::string name;
        uint8_t mediaType;
    };
    const std::vector<NameCase> cases = {
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP", 0x00},
        {std::string("ABCDE\0GHIJKLMNOP", 16), "ABCDE", 0x20},
        {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOP", 0xFF},
        {"XY", "XY", 0x10},
        {"", "", 0x01},
    };
    std::vector<Disk> disks;
    for (const NameCase& entry : cases) {
        Disk disk = NamedDisk(entry.field);
        disk.mediaType = entry.mediaType;
        disks.push_back(disk);
    }
    ASSERT_TRUE(OpenImage(BuildImage(disks)));
    // Selected in order, so that a longer earlier name could leave bytes behind.
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        ASSERT_TRUE(image.SelectDisk(static_cast<int32_t>(i)));
        char expected[17] = {};
        std::memcpy(expected, cases[i].name.data(), cases[i].name.size());
        EXPECT_EQ(std::memcmp(image.GetDiskName(), expected, sizeof expected), 0)
            << image.GetDiskName();
        EXPECT_EQ(image.GetMediaType(), cases[i].mediaType);
    }
}

// ---------------------------------------------------------------------------
// Tracks

TEST_F(D88ImageTest, TrackIndexBounds) {
    Disk disk = NamedDisk("DISK");
    disk.Track(163).push_back(MakeSector(81, 1, 1, 3, Pattern(1024, 7)));
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer(1024);
    EXPECT_EQ(image.ReadSector(163, 81, 1, 1, 3, buffer.data(), 1024), 1024);
    EXPECT_EQ(buffer, Pattern(1024, 7));
    EXPECT_EQ(image.ReadTrackIds(163, buffer.data(), 4), 4);
    for (int32_t track : {164, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(track);
        ExpectNothingRead(track, 81, 1, 1, 3);
    }
}

struct TrackOffsetCase {
    const char* name;
    std::optional<uint32_t> trackOffset;
    std::optional<uint32_t> diskSize;
    bool read;
};

void PrintTo(const TrackOffsetCase& offsets, std::ostream* out) { *out << offsets.name; }

class TrackOffsetTest : public D88ImageTest,
                        public ::testing::WithParamInterface<TrackOffsetCase> {};

// Track 0 lies right after the header, at offset 0x2B0, whatever the fields say.
TEST_P(TrackOffsetTest, OffsetIsBoundedByTheDiskSize) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    if (GetParam().trackOffset) {
        disk.trackOffsets[0] = *GetParam().trackOffset;
    }
    disk.diskSize = GetParam().diskSize;
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));
    if (GetParam().read) {
        Bytes buffer(1024);
        EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), 1024), 1024);
        EXPECT_EQ(buffer, Pattern(1024, 1));
        EXPECT_EQ(image.ReadTrackIds(0, buffer.data(), 4), 4);
    } else {
        ExpectNothingRead(0, 0, 0, 1, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, TrackOffsetTest,
    ::testing::Values(TrackOffsetCase{"WithinTheDisk", std::nullopt, std::nullopt, true},
                      TrackOffsetCase{"Zero", 0u, std::nullopt, false},
                      TrackOffsetCase{"EqualToTheDiskSize", std::nullopt, 0x2B0u, true},
                      TrackOffsetCase{"PastTheDiskSize", std::nullopt, 0x2AFu, false},
                      // Disk sizes of 2^31 and more are no negative numbers.
                      TrackOffsetCase{"InADiskOf2GiB", std::nullopt, 0x80000000u, true},
                      TrackOffsetCase{"InADiskOf4GiB", std::nullopt, 0xFFFFFFFFu, true},
                      // Accepted, but the seek lands past the end of the file.
                      TrackOffsetCase{"At2GiBInADiskOf4GiB", 0x80000000u, 0xFFFFFFFFu, false},
                      TrackOffsetCase{"AllOnes", 0xFFFFFFFFu, 0xFFFFFFFFu, false},
                      TrackOffsetCase{"At2GiBPastTheDiskSize", 0x80000000u, 0x7FFFFFFFu, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// ReadSector

struct LookupCase {
    int c, h, r, n;
    int seed;  // the sector's Pattern seed, or 0 when no sector matches
    size_t size;
};

void PrintTo(const LookupCase& lookup, std::ostream* out) {
    *out << "C " << lookup.c << ", H " << lookup.h << ", R " << lookup.r << ", N " << lookup.n;
}

class SectorLookupTest : public D88ImageTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(SectorLookupTest, FindsTheFirstRecordWithTheWholeId) {
    Disk disk = NamedDisk("DISK");
    disk.Track(4) = {
        MakeSector(0, 0, 1, 3, Pattern(1024, 1)),
        MakeSector(0, 0, 2, 3, Pattern(1024, 2)),
        MakeSector(0, 0, 2, 3, Pattern(1024, 3)),
        MakeSector(255, 1, 254, 2, Pattern(512, 4)),
    };
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    const LookupCase& lookup = GetParam();
    Bytes buffer = Untouched(4096);
    const int32_t got = image.ReadSector(4, lookup.c, lookup.h, lookup.r, lookup.n, buffer.data(), 4096);
    if (lookup.seed == 0) {
        EXPECT_EQ(got, 0);
        EXPECT_EQ(buffer, Untouched(4096));
    } else {
        EXPECT_EQ(got, static_cast<int32_t>(lookup.size));
        EXPECT_EQ(Slice(buffer, 0, lookup.size), Pattern(lookup.size, static_cast<uint8_t>(lookup.seed)));
        EXPECT_EQ(Slice(buffer, lookup.size, 4096 - lookup.size), Untouched(4096 - lookup.size));
    }
}

INSTANTIATE_TEST_SUITE_P(Ids, SectorLookupTest,
                         ::testing::Values(LookupCase{0, 0, 1, 3, 1, 1024},
                                           LookupCase{0, 0, 2, 3, 2, 1024},  // duplicate: first
                                           LookupCase{255, 1, 254, 2, 4, 512},
                                           LookupCase{0, 0, 1, 2, 0, 0},  // N differs
                                           LookupCase{0, 1, 1, 3, 0, 0},
                                           LookupCase{1, 0, 1, 3, 0, 0},
                                           LookupCase{0, 0, 3, 3, 0, 0},
                                           LookupCase{-1, 1, 254, 2, 0, 0},
                                           LookupCase{255, 1, -2, 2, 0, 0},
                                           LookupCase{256, 0, 1, 3, 0, 0},
                                           LookupCase{-256, 0, 1, 3, 0, 0},
                                           LookupCase{0, 256, 1, 3, 0, 0},
                                           LookupCase{0, 0, 257, 3, 0, 0},
                                           LookupCase{0, 0, 1, 259, 0, 0}));

class CapacityTest : public D88ImageTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(CapacityTest, ReadsTheSmallerOfDataSizeAndCapacity) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 5)));
    disk.Track(0).push_back(MakeSector(0, 0, 2, 3, Pattern(1024, 6)));
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    const int32_t capacity = GetParam();
    const size_t expected = static_cast<size_t>(std::min(capacity, 1024));
    Bytes buffer = Untouched(4096);
    EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), capacity), static_cast<int32_t>(expected));
    EXPECT_EQ(Slice(buffer, 0, expected), Pattern(expected, 5));
    EXPECT_EQ(Slice(buffer, expected, 4096 - expected), Untouched(4096 - expected));
}

INSTANTIATE_TEST_SUITE_P(Capacities, CapacityTest, ::testing::Values(0, 1, 512, 1023, 1024, 1025, 2048));

// Records of one track: R 1 to 6, data 16 bytes each, with the given counts.
std::vector<Sector> CountedTrack(const std::vector<uint16_t>& counts) {
    std::vector<Sector> records;
    for (size_t i = 0; i < counts.size(); ++i) {
        const int r = static_cast<int>(i) + 1;
        records.push_back(WithCount(MakeSector(0, 0, r, 0, Pattern(16, static_cast<uint8_t>(r))), counts[i]));
    }
    return records;
}

// Records (0, 0, r, 0) of `track` that ReadSector finds, by R.
std::vector<int> FoundSectors(D88Image& image, int32_t track, int lastR) {
    std::vector<int> found;
    for (int r = 1; r <= lastR; ++r) {
        Bytes buffer(16);
        if (image.ReadSector(track, 0, 0, r, 0, buffer.data(), 16) == 16) {
            EXPECT_EQ(buffer, Pattern(16, static_cast<uint8_t>(r)));
            found.push_back(r);
        }
    }
    return found;
}

TEST_F(D88ImageTest, SectorCountsEndTheWalk) {
    Disk disk = NamedDisk("DISK");
    // Every record says 5: the sixth is never reached.
    disk.Track(0) = CountedTrack({5, 5, 5, 5, 5, 5});
    // A count below its position + 1 does not end the walk; the equal one does.
    disk.Track(1) = CountedTrack({4, 1, 2, 4, 4, 4});
    // A count of 0 ends the walk at once, even on a matching record.
    disk.Track(2) = CountedTrack({6, 0, 6, 6, 6, 6});
    disk.Track(3) = CountedTrack({0, 6, 6, 6, 6, 6});
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    EXPECT_EQ(FoundSectors(image, 0, 6), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(FoundSectors(image, 1, 6), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(FoundSectors(image, 2, 6), (std::vector<int>{1}));
    EXPECT_EQ(FoundSectors(image, 3, 6), (std::vector<int>{}));
}

TEST_F(D88ImageTest, CutOffRecordIsNotFound) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0) = {MakeSector(0, 0, 1, 3, Pattern(1024, 1)), MakeSector(0, 0, 2, 3, Pattern(1024, 2))};
    Bytes bytes = BuildImage({disk});
    bytes.resize(kHeaderSize + kRecordSize + 1024 + kRecordSize - 1);
    ASSERT_TRUE(OpenImage(bytes));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer = Untouched(1024);
    EXPECT_EQ(image.ReadSector(0, 0, 0, 2, 3, buffer.data(), 1024), 0);
    EXPECT_EQ(buffer, Untouched(1024));
    EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), 1024), 1024);
    EXPECT_EQ(image.ReadTrackIds(0, buffer.data(), 64), 4);
}

// Data cut off by the end of the file counts only as far as it arrived; the
// rest of the buffer keeps what it held, and a run of sectors stops there.
TEST_F(D88ImageTest, CutOffDataCountsOnlyWhatArrived) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    Bytes bytes = BuildImage({disk});
    bytes.resize(kHeaderSize + kRecordSize + 100);
    ASSERT_TRUE(OpenImage(bytes));
    ASSERT_TRUE(image.SelectDisk(0));

    for (int32_t capacity : {1024, 2048, 300, 50}) {
        SCOPED_TRACE(capacity);
        const size_t arrived = static_cast<size_t>(std::min(capacity, 100));
        Bytes buffer = Untouched(2048);
        EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), capacity),
                  static_cast<int32_t>(arrived));
        EXPECT_EQ(Slice(buffer, 0, arrived), Pattern(arrived, 1));
        EXPECT_EQ(Slice(buffer, arrived, 2048 - arrived), Untouched(2048 - arrived));
    }
    Bytes buffer = Untouched(2048);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buffer.data(), 1024), 0);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buffer.data(), 50), 50);
    EXPECT_EQ(Slice(buffer, 0, 100), Pattern(100, 1));
}

// ---------------------------------------------------------------------------
// ReadSectors

// Logical bytes of a data disk: every sector's bytes differ from the others'.
Bytes DataDiskContent() {
    Bytes logical(d88test::kDataDiskBytes);
    for (size_t i = 0; i < logical.size(); ++i) {
        logical[i] = static_cast<uint8_t>(i / 1024 * 13 + i % 251);
    }
    return logical;
}

struct RunCase {
    const char* name;
    int32_t track, c, h, r, length;
    int32_t result;
    size_t firstLogicalSector;
};

void PrintTo(const RunCase& run, std::ostream* out) { *out << run.name; }

class SectorRunTest : public D88ImageTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(SectorRunTest, ReadsLogicalSectorsInOrder) {
    const Bytes logical = DataDiskContent();
    ASSERT_TRUE(OpenImage(BuildImage({d88test::MakeDataDisk(logical)})));
    ASSERT_TRUE(image.SelectDisk(0));
    image.SetSectorRange(1, 5);

    const RunCase& run = GetParam();
    const size_t room = static_cast<size_t>(run.length) + 2048;
    const size_t result = static_cast<size_t>(run.result);
    Bytes buffer = Untouched(room);
    EXPECT_EQ(image.ReadSectors(run.track, run.c, run.h, run.r, 3, buffer.data(), run.length), run.result);
    EXPECT_EQ(Slice(buffer, 0, result), Slice(logical, run.firstLogicalSector * 1024, result));
    EXPECT_EQ(Slice(buffer, result, room - result), Untouched(room - result));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SectorRunTest,
    ::testing::Values(
        RunCase{"IntoTheNextTrackOnTheOtherHead", 0, 0, 0, 1, 6 * 1024, 6 * 1024, 0},
        RunCase{"IntoTheNextCylinder", 1, 0, 1, 5, 2 * 1024, 2 * 1024, 9},
        RunCase{"IntoCylinderTwo", 3, 1, 1, 5, 2 * 1024, 2 * 1024, 19},
        RunCase{"PartialLastStep", 0, 0, 0, 1, 1024 + 512, 1024 + 512, 0},
        RunCase{"LengthZero", 0, 0, 0, 1, 0, 0, 0},
        RunCase{"PastTheLastTrackOfTheDisk", 79, 39, 1, 1, 6 * 1024, 5 * 1024, 395},
        // Track 1 holds C 0, H 1: asking for C 0, H 0 on it finds nothing.
        RunCase{"TrackIndexAndIdDisagree", 1, 0, 0, 1, 1024, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(D88ImageTest, SectorsReadInAnyOrder) {
    const Bytes logical = DataDiskContent();
    ASSERT_TRUE(OpenImage(BuildImage({d88test::MakeDataDisk(logical)})));
    ASSERT_TRUE(image.SelectDisk(0));
    // Back and forth over the whole disk, each sector twice.
    for (int32_t s : {399, 0, 125, 126, 250, 1, 398, 125, 0, 399, 200, 126, 250, 1, 398, 200}) {
        SCOPED_TRACE(s);
        const int32_t track = s / 5;
        Bytes buffer(1024);
        ASSERT_EQ(image.ReadSector(track, track / 2, track % 2, s % 5 + 1, 3, buffer.data(), 1024), 1024);
        EXPECT_EQ(buffer, Slice(logical, static_cast<size_t>(s) * 1024, 1024));
    }
}

TEST_F(D88ImageTest, RunStopsBeforeAMissingSector) {
    const Bytes logical = DataDiskContent();
    Disk disk = d88test::MakeDataDisk(logical);
    disk.Track(0).erase(disk.Track(0).begin() + 2);
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));
    image.SetSectorRange(1, 5);

    Bytes buffer = Untouched(5 * 1024);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buffer.data(), 5 * 1024), 2 * 1024);
    EXPECT_EQ(Slice(buffer, 0, 2048), Slice(logical, 0, 2048));
    EXPECT_EQ(Slice(buffer, 2048, 3 * 1024), Untouched(3 * 1024));
}

TEST_F(D88ImageTest, RunChangesTrackOnlyAtTheLastSectorOfTheRange) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0) = {MakeSector(0, 0, 7, 3, Pattern(1024, 7)), MakeSector(0, 0, 8, 3, Pattern(1024, 8)),
                     MakeSector(0, 0, 9, 3, Pattern(1024, 9))};
    disk.Track(1) = {MakeSector(0, 1, 1, 3, Pattern(1024, 1)), MakeSector(0, 1, 10, 3, Pattern(1024, 10))};
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));
    image.SetSectorRange(1, 5);

    Bytes buffer = Untouched(5 * 1024);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 7, 3, buffer.data(), 5 * 1024), 3 * 1024);
    EXPECT_EQ(Slice(buffer, 0, 1024), Pattern(1024, 7));
    EXPECT_EQ(Slice(buffer, 2048, 1024), Pattern(1024, 9));
    EXPECT_EQ(Slice(buffer, 3072, 2048), Untouched(2048));
}

TEST_F(D88ImageTest, SectorRangeSurvivesOpenAndSelectDisk) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0) = {MakeSector(0, 0, 1, 3, Pattern(1024, 1)), MakeSector(0, 0, 2, 3, Pattern(1024, 2)),
                     MakeSector(0, 0, 3, 3, Pattern(1024, 3))};
    disk.Track(1) = {MakeSector(0, 1, 1, 3, Pattern(1024, 4))};
    image.SetSectorRange(1, 2);
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer(3 * 1024);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buffer.data(), 3 * 1024), 3 * 1024);
    EXPECT_EQ(Slice(buffer, 2048, 1024), Pattern(1024, 4));
}

TEST_F(D88ImageTest, ShortSectorEndsTheRunAndLeavesItsBytesUncounted) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0) = {MakeSector(0, 0, 1, 3, Pattern(1024, 1)), MakeSector(0, 0, 2, 3, Pattern(512, 2)),
                     MakeSector(0, 0, 3, 3, Pattern(1024, 3))};
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer = Untouched(3 * 1024);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buffer.data(), 3 * 1024), 1024);
    EXPECT_EQ(Slice(buffer, 1024, 512), Pattern(512, 2));
    EXPECT_EQ(Slice(buffer, 1536, 1536), Untouched(1536));
}

TEST_F(D88ImageTest, LongSectorGivesOnlyOneStep) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0) = {MakeSector(0, 0, 1, 3, Pattern(2048, 1)), MakeSector(0, 0, 2, 3, Pattern(1024, 2))};
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer(2048);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buffer.data(), 2048), 2048);
    EXPECT_EQ(Slice(buffer, 0, 1024), Pattern(1024, 1));
    EXPECT_EQ(Slice(buffer, 1024, 1024), Pattern(1024, 2));
}

// ---------------------------------------------------------------------------
// ReadTrackIds

TEST_F(D88ImageTest, TrackIdsInTrackOrder) {
    Disk disk = NamedDisk("DISK");
    disk.Track(6) = {MakeSector(3, 0, 9, 2, Pattern(512, 1)), MakeSector(3, 0, 1, 3, Pattern(1024, 2)),
                     MakeSector(200, 255, 128, 0, Pattern(128, 3))};
    disk.Track(7) = CountedTrack({5, 5, 5, 5, 5, 5});
    disk.Track(8) = CountedTrack({0, 0, 3, 3});
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer = Untouched(64);
    ASSERT_EQ(image.ReadTrackIds(6, buffer.data(), 64), 12);
    EXPECT_EQ(Slice(buffer, 0, 12), (Bytes{3, 0, 9, 2, 3, 0, 1, 3, 200, 255, 128, 0}));
    EXPECT_EQ(Slice(buffer, 12, 52), Untouched(52));

    buffer = Untouched(64);
    ASSERT_EQ(image.ReadTrackIds(7, buffer.data(), 64), 20);
    EXPECT_EQ(Slice(buffer, 0, 20), (Bytes{0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0}));

    buffer = Untouched(64);
    ASSERT_EQ(image.ReadTrackIds(7, buffer.data(), 8), 8);
    EXPECT_EQ(Slice(buffer, 0, 8), (Bytes{0, 0, 1, 0, 0, 0, 2, 0}));
    EXPECT_EQ(Slice(buffer, 8, 56), Untouched(56));

    // Records of count 0 are listed and the listing goes on past them, up to
    // the record whose count equals its position + 1.
    EXPECT_EQ(image.ReadTrackIds(8, buffer.data(), 64), 12);
}

TEST_F(D88ImageTest, TrackIdsOfATrackWithoutARecordCount) {
    // No record's count ever equals its position + 1: the listing runs
    // through the rest of the file.
    Disk disk = NamedDisk("DISK");
    disk.Track(0) = CountedTrack({0, 0});
    disk.Track(1) = CountedTrack({0});
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer = Untouched(64);
    ASSERT_EQ(image.ReadTrackIds(0, buffer.data(), 64), 12);
    EXPECT_EQ(Slice(buffer, 0, 12), (Bytes{0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0}));
}

// ---------------------------------------------------------------------------
// Calls outside the limits

TEST_F(D88ImageTest, NegativeCapacityOrLengthReadsNothing) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 1)));
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    Bytes buffer = Untouched(1024);
    for (int32_t size : {-1, -4, INT32_MIN}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), size), 0);
        EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 3, buffer.data(), size), 0);
        EXPECT_EQ(image.ReadTrackIds(0, buffer.data(), size), 0);
    }
    EXPECT_EQ(buffer, Untouched(1024));
}

TEST_F(D88ImageTest, SizeCodeOutsideZeroToTwentyThreeReadsNothing) {
    Disk disk = NamedDisk("DISK");
    // Records that carry the size codes asked for, so only the limit refuses them.
    disk.Track(0) = {MakeSector(0, 0, 1, 24, Pattern(64, 1)), MakeSector(0, 0, 1, 31, Pattern(64, 2)),
                     MakeSector(0, 0, 1, 32, Pattern(64, 3)), MakeSector(0, 0, 1, 23, Pattern(64, 4))};
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    for (int32_t n : {24, 31, 32, -1, INT32_MAX}) {
        SCOPED_TRACE(n);
        Bytes buffer = Untouched(64);
        EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, n, buffer.data(), 64), 0);
        EXPECT_EQ(buffer, Untouched(64));
    }
    Bytes buffer(64);
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 23, buffer.data(), 64), 64);
    EXPECT_EQ(buffer, Pattern(64, 4));
}

TEST_F(D88ImageTest, TrackIdsListOnlyWholeIdsThatFit) {
    Disk disk = NamedDisk("DISK");
    disk.Track(0) = CountedTrack({3, 3, 3});
    ASSERT_TRUE(OpenImage(BuildImage({disk})));
    ASSERT_TRUE(image.SelectDisk(0));

    for (const auto& [capacity, listed] : std::vector<std::pair<int32_t, int32_t>>{
             {0, 0}, {1, 0}, {3, 0}, {5, 4}, {6, 4}, {7, 4}, {11, 8}}) {
        SCOPED_TRACE(capacity);
        // Guard bytes after the capacity show anything written past it.
        Bytes buffer = Untouched(32);
        EXPECT_EQ(image.ReadTrackIds(0, buffer.data(), capacity), listed);
        const size_t written = static_cast<size_t>(listed);
        EXPECT_EQ(Slice(buffer, written, 32 - written), Untouched(32 - written));
    }
}

// ---------------------------------------------------------------------------
// Images of 2 GiB and more

// The bytes of a track of `records` as BuildDisk lays them after the header.
Bytes TrackBytes(const std::vector<Sector>& records) {
    Disk disk;
    disk.Track(0) = records;
    Bytes bytes = BuildDisk(disk);
    return Slice(bytes, kHeaderSize, bytes.size() - kHeaderSize);
}

bool WriteAt(int descriptor, uint64_t offset, const Bytes& bytes) {
    return pwrite(descriptor, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
           static_cast<ssize_t>(bytes.size());
}

TEST_F(D88ImageTest, DisksAndTracksPast2GiBAnd4GiB) {
    // Disk 0 has its track at 2 GiB and ends past it; disk 1 starts past
    // 2 GiB and ends past 4 GiB, where disk 2 starts. Everything else is a
    // hole of the sparse file.
    constexpr uint64_t kTrackOfDisk0 = 0x80000000u;
    constexpr uint64_t kDisk1 = 0x80001000u;
    constexpr uint64_t kDisk2 = kDisk1 + 0x80000000u;
    Disk disk0 = NamedDisk("FIRST");
    disk0.trackOffsets[0] = static_cast<uint32_t>(kTrackOfDisk0);
    disk0.diskSize = static_cast<uint32_t>(kDisk1);
    Disk disk1 = NamedDisk("SECOND");
    disk1.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 2)));
    disk1.diskSize = static_cast<uint32_t>(kDisk2 - kDisk1);
    Disk disk2 = NamedDisk("THIRD");
    disk2.Track(0).push_back(MakeSector(0, 0, 1, 3, Pattern(1024, 3)));
    const Bytes disk2Bytes = BuildDisk(disk2);
    const uint64_t fileSize = kDisk2 + disk2Bytes.size();

    const std::string path = dir / "big.d88";
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(descriptor, 0) << std::strerror(errno);
    struct stat status {};
    if (ftruncate(descriptor, static_cast<off_t>(fileSize)) != 0 || fstat(descriptor, &status) != 0 ||
        static_cast<uint64_t>(status.st_blocks) * 512 > fileSize / 2) {
        close(descriptor);
        GTEST_SKIP() << "the temporary directory's file system holds no sparse file of "
                     << fileSize << " bytes";
    }
    const bool written = WriteAt(descriptor, 0, BuildDisk(disk0)) &&
                         WriteAt(descriptor, kTrackOfDisk0,
                                 TrackBytes({MakeSector(0, 0, 1, 3, Pattern(1024, 1))})) &&
                         WriteAt(descriptor, kDisk1, BuildDisk(disk1)) &&
                         WriteAt(descriptor, kDisk2, disk2Bytes);
    ASSERT_EQ(close(descriptor), 0);
    ASSERT_TRUE(written);

    ASSERT_TRUE(image.Open(path.c_str()));
    ASSERT_EQ(image.GetDiskCount(), 3);
    const char* names[] = {"FIRST", "SECOND", "THIRD"};
    for (int32_t index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(image.SelectDisk(index));
        EXPECT_STREQ(image.GetDiskName(), names[index]);
        Bytes buffer(1024);
        EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 3, buffer.data(), 1024), 1024);
        EXPECT_EQ(buffer, Pattern(1024, static_cast<uint8_t>(index + 1)));
        EXPECT_EQ(image.ReadTrackIds(0, buffer.data(), 64), 4);
    }
}

}  // namespace
