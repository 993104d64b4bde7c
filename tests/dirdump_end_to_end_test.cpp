// dirdump run as a real program in a fresh directory: exact stdout, stderr,
// exit status and every file it leaves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "program_runner.h"

namespace {

namespace fs = std::filesystem;

using d88test::Bytes;
using d88test::RunProgram;
using d88test::RunResult;
using d88test::TempDir;

using Entries = std::map<std::string, std::string>;

constexpr size_t kSectorSize = 1024;
constexpr size_t kDirectory = 399 * kSectorSize;
constexpr size_t kMap = kDirectory + 512;

const std::string kMissingDirectoryWarning =
    "dirdump: disk %d: the directory (logical sector 18f) could not be read whole; its missing "
    "bytes are taken as zeros\n";

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Bytes of every value, different for each seed.
Bytes Pattern(size_t size, int seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(seed * 37 + i * 7 + i / 256);
    }
    return bytes;
}

std::string Printf(const char* format, int value) {
    char text[256];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The sector pieces " %03x" of sectors first..last.
std::string SectorPieces(int first, int last) {
    std::string pieces;
    for (int sector = first; sector <= last; ++sector) {
        pieces += Printf(" %03x", sector);
    }
    return pieces;
}

// A data disk laid out through its directory: names in the name table,
// owners in the allocation map (every sector free until given), and stored
// files in their sectors.
class DataDiskLayout {
public:
    DataDiskLayout() : logical(d88test::BlankLogicalDisk()) {
        for (size_t sector = 0; sector < 400; ++sector) {
            logical[kMap + sector] = 0xFF;
        }
    }

    // Entry `index` gets the name bytes (up to 4; the rest stay zero).
    DataDiskLayout& Name(int index, const std::string& name) {
        d88test::Put(logical, kDirectory + 4 * index, d88test::TextBytes(name.substr(0, 4)));
        return *this;
    }

    // The allocation map gives `sector` to `owner` (any byte value).
    DataDiskLayout& Own(int sector, int owner) {
        logical[kMap + sector] = static_cast<uint8_t>(owner);
        return *this;
    }

    // Names entry `index`, gives it `sectors` and stores `content` there: a
    // header with the content's length, then as much content as the sectors
    // hold.
    DataDiskLayout& Store(int index, const std::string& name, const Bytes& content,
                          const std::vector<int>& sectors) {
        Name(index, name);
        Bytes stored(6, 0);
        stored[4] = static_cast<uint8_t>((content.size() - 1) & 0xFF);
        stored[5] = static_cast<uint8_t>((content.size() - 1) >> 8);
        stored.insert(stored.end(), content.begin(), content.end());
        size_t offset = 0;
        for (int sector : sectors) {
            Own(sector, index);
            if (offset < stored.size()) {
                const size_t size = std::min(kSectorSize, stored.size() - offset);
                Fill(sector, Bytes(stored.begin() + static_cast<std::ptrdiff_t>(offset),
                                   stored.begin() + static_cast<std::ptrdiff_t>(offset + size)));
                offset += size;
            }
        }
        return *this;
    }

    // Puts `bytes` at the start of logical sector `sector`.
    DataDiskLayout& Fill(int sector, const Bytes& bytes) {
        d88test::Put(logical, sector * kSectorSize, bytes);
        return *this;
    }

    d88test::Disk Disk() const { return d88test::MakeDataDisk(logical); }

    // The disk's 400 logical sectors as they are laid out.
    Bytes logical;
};

// The record of logical sector `sector` on a disk that MakeDataDisk built.
d88test::Sector& RecordOf(d88test::Disk& disk, int sector) {
    return disk.Track(sector / 5)[sector % 5];
}

void RemoveSector(d88test::Disk& disk, int sector) {
    auto& records = disk.Track(sector / 5);
    records.erase(records.begin() + sector % 5);
}

class DirdumpEndToEnd : public ::testing::Test {
protected:
    // Runs dirdump in `directory` (the work directory by default) on an image
    // of `disks`, kept outside it.
    RunResult Run(const std::vector<d88test::Disk>& disks, const std::string& directory = "") {
        d88test::WriteFile(imagePath, d88test::BuildImage(disks));
        const std::string& where = directory.empty() ? work.Path() : directory;
        return RunProgram(DIRDUMP_PROGRAM, {imagePath}, where);
    }

    TempDir images;
    TempDir work;
    const std::string imagePath = images / "image.d88";
};

TEST_F(DirdumpEndToEnd, UsageErrorWritesNothing) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"a.d88", "b.d88"}}) {
        const auto result = RunProgram(DIRDUMP_PROGRAM, arguments, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Usage: dirdump [d88file]\n");
        EXPECT_EQ(work.Entries(), Entries{});
    }
}

TEST_F(DirdumpEndToEnd, ImageThatCannotBeOpened) {
    // "ファイルをオープンできません.\n" in Shift_JIS.
    const std::string message =
        "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5"
        "\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";
    for (const std::string& path : {images / "missing.d88", images.Path()}) {
        const auto result = RunProgram(DIRDUMP_PROGRAM, {path}, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, message);
        EXPECT_EQ(work.Entries(), Entries{});
    }
}

TEST_F(DirdumpEndToEnd, EmptyImageWritesNothing) {
    const auto result = Run({});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), Entries{});
}

// The length boundaries: 1018 content bytes fit the first sector, 1024 each
// further one; the copy stops at the length. Each file owns one sector more
// than it needs, which must not be read.
TEST_F(DirdumpEndToEnd, FileLengths) {
    struct Case {
        size_t length;
        std::vector<int> sectors;
        std::string pieces;
    };
    std::vector<int> sixtySix;
    for (int sector = 100; sector < 166; ++sector) {
        sixtySix.push_back(sector);
    }
    const std::vector<Case> cases = {
        {1, {16, 17}, " size=0001 (    1)"},
        {1018, {16, 17}, " size=03fa ( 1018)"},
        {1019, {16, 17, 18}, " size=03fb ( 1019) 011"},
        {2042, {16, 17, 18}, " size=07fa ( 2042) 011"},
        {2043, {16, 17, 18, 19}, " size=07fb ( 2043) 011 012"},
        {2048, {16, 17, 18, 19}, " size=0800 ( 2048) 011 012"},
        {65536, sixtySix, " size=10000 (65536)" + SectorPieces(101, 164)},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.length);
        TempDir here;
        const Bytes content = Pattern(test.length, 1);
        const auto result = Run({DataDiskLayout().Store(0, "LEN", content, test.sectors).Disk()},
                                here.Path());
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, "00 : LEN  : " + test.pieces + "\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(here.Entries(), (Entries{{"LEN", Text(content)}}));
    }
}

// Names are the entry's bytes up to the first NUL, written unconverted; the
// console pads them to 4 bytes.
TEST_F(DirdumpEndToEnd, NamesAreWrittenAsTheyStand) {
    DataDiskLayout layout;
    layout.Store(0, "ABCD", Pattern(3, 0), {1})
        .Store(1, std::string("A\0BC", 4), Pattern(4, 1), {2})
        .Store(2, "Z\xFF\xFF\xFF", Pattern(5, 2), {3})
        .Store(3, "\x83\x65\x83\x58", Pattern(6, 3), {4})  // "テス" in Shift_JIS
        .Store(4, "a b", Pattern(7, 4), {5});
    const auto result = Run({layout.Disk()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "00 : ABCD :  size=0003 (    3)\n"
              "01 : A    :  size=0004 (    4)\n"
              "02 : Z\xFF\xFF\xFF :  size=0005 (    5)\n"
              "03 : \x83\x65\x83\x58 :  size=0006 (    6)\n"
              "04 : a b  :  size=0007 (    7)\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), (Entries{{"ABCD", Text(Pattern(3, 0))},
                                       {"A", Text(Pattern(4, 1))},
                                       {"Z\xFF\xFF\xFF", Text(Pattern(5, 2))},
                                       {"\x83\x65\x83\x58", Text(Pattern(6, 3))},
                                       {"a b", Text(Pattern(7, 4))}}));
}

TEST_F(DirdumpEndToEnd, EntryWithoutSectorsTruncatesItsFile) {
    d88test::WriteFile(work / "NONE", Pattern(100, 0));
    DataDiskLayout layout;
    layout.Name(0, "NONE").Store(1, "NEXT", Pattern(10, 1), {7});
    const auto result = Run({layout.Disk()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "00 : NONE : \n01 : NEXT :  size=000a (   10)\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), (Entries{{"NONE", ""}, {"NEXT", Text(Pattern(10, 1))}}));
}

TEST_F(DirdumpEndToEnd, FullNameTableListsAll128Entries) {
    DataDiskLayout layout;
    std::string expectedOut;
    Entries expectedFiles;
    for (int entry = 0; entry < 128; ++entry) {
        const std::string name = Printf("F%03x", entry);
        layout.Store(entry, name, Pattern(entry + 1, entry), {entry * 3});
        expectedOut += Printf("%02x : ", entry) + name + " : " +
                       Printf(" size=%04x", entry + 1) + Printf(" (%5d)\n", entry + 1);
        expectedFiles[name] = Text(Pattern(entry + 1, entry));
    }
    const auto result = Run({layout.Disk()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, expectedOut);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), expectedFiles);
}

// A file takes only the sectors whose map byte is its own index, in
// ascending order, and only as many as its length needs.
TEST_F(DirdumpEndToEnd, AllocationMapSelectsTheSectors) {
    const Bytes keep = Pattern(2043, 1);
    const Bytes tooLong = Pattern(3000, 2);
    DataDiskLayout layout;
    layout.Store(0, "KEEP", keep, {10, 20, 30, 50})  // 50 is more than the length needs
        .Store(1, "LONG", tooLong, {40})             // one sector for 3000 bytes
        .Name(3, "GONE")                             // after the terminating entry 2
        .Own(11, 0x80)
        .Own(12, 0x81)
        .Own(13, 2)
        .Own(14, 3)
        .Own(15, 0xFF);
    for (int sector : {11, 12, 13, 14, 15, 50}) {
        layout.Fill(sector, Pattern(kSectorSize, sector));
    }
    const auto result = Run({layout.Disk()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "00 : KEEP :  size=07fb ( 2043) 014 01e\n"
              "01 : LONG :  size=0bb8 ( 3000)\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), (Entries{{"KEEP", Text(keep)},
                                       {"LONG", Text(tooLong).substr(0, 1018)}}));
}

// Sector 399 is the directory itself; a file that owns it copies its bytes.
TEST_F(DirdumpEndToEnd, FileOwningTheDirectorySector) {
    const Bytes content = Pattern(2042, 1);
    DataDiskLayout layout;
    // Storing into 399 would overwrite the directory: the map alone gives it.
    layout.Store(0, "DIRS", content, {398}).Own(399, 0).Store(1, "NEXT", Pattern(5, 2), {3});
    const auto result = Run({layout.Disk()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "00 : DIRS :  size=07fa ( 2042) 18f\n"
              "01 : NEXT :  size=0005 (    5)\n");
    EXPECT_EQ(result.err, "");
    const std::string directory = Text(layout.logical).substr(kDirectory, kSectorSize);
    EXPECT_EQ(work.Entries(), (Entries{{"DIRS", Text(content).substr(0, 1018) + directory},
                                       {"NEXT", Text(Pattern(5, 2))}}));
}

// Entry indices start again on each disk; a disk whose first entry begins
// with 0xFF lists nothing; a later disk's file replaces an earlier one of the
// same name.
TEST_F(DirdumpEndToEnd, DisksAreProcessedInTurn) {
    DataDiskLayout first;
    first.Store(0, "SAME", Pattern(1500, 1), {5, 6}).Store(1, "ONLY", Pattern(9, 2), {7});
    DataDiskLayout ended;
    ended.Name(0, "\xFFXYZ").Store(1, "HIDE", Pattern(9, 3), {5});
    DataDiskLayout last;
    last.Store(0, "SAME", Pattern(20, 4), {9});
    const auto result = Run({first.Disk(), ended.Disk(), last.Disk()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "00 : SAME :  size=05dc ( 1500) 006\n"
              "01 : ONLY :  size=0009 (    9)\n"
              "00 : SAME :  size=0014 (   20)\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(),
              (Entries{{"SAME", Text(Pattern(20, 4))}, {"ONLY", Text(Pattern(9, 2))}}));
}

// Bytes that an owned sector does not supply are zeros, never what an
// earlier file left; each such sector is warned about.
TEST_F(DirdumpEndToEnd, UnreadableSectorsAreZerosAndWarned) {
    const Bytes cut = Pattern(2042, 3);
    DataDiskLayout layout;
    layout.Store(0, "PREV", Pattern(2043, 1), {10, 11, 12})
        .Store(1, "GONE", Pattern(500, 2), {20})
        .Store(2, "CUT", cut, {30, 31});
    d88test::Disk disk = layout.Disk();
    RemoveSector(disk, 20);
    RecordOf(disk, 31).data.resize(600);
    const auto result = Run({disk});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              "00 : PREV :  size=07fb ( 2043) 00b 00c\n"
              "01 : GONE :  size=0001 (    1)\n"
              "02 : CUT  :  size=07fa ( 2042) 01f\n");
    EXPECT_EQ(result.err,
              "dirdump: disk 0, entry 01 (GONE): logical sector 014 could not be read whole; its "
              "missing bytes are taken as zeros\n"
              "dirdump: disk 0, entry 02 (CUT): logical sector 01f could not be read whole; its "
              "missing bytes are taken as zeros\n");
    EXPECT_EQ(work.Entries(),
              (Entries{{"PREV", Text(Pattern(2043, 1))},
                       {"GONE", std::string(1, '\0')},
                       {"CUT", Text(cut).substr(0, 1018 + 600) + std::string(424, '\0')}}));
}

// A sector whose data the end of the image cuts off is warned about like a
// missing one: only the bytes that arrived are taken, the rest are zeros.
TEST_F(DirdumpEndToEnd, SectorCutOffByTheEndOfTheImageIsWarned) {
    const Bytes content = Pattern(2000, 4);
    DataDiskLayout layout;
    layout.Store(0, "AA", content, {397, 398});
    d88test::Disk disk = layout.Disk();
    // The directory (R 5) first in its track, so that the image can end
    // inside the last record's data: logical sector 398 (R 4).
    auto& lastTrack = disk.Track(79);
    std::rotate(lastTrack.begin(), lastTrack.begin() + 4, lastTrack.end());
    Bytes image = d88test::BuildImage({disk});
    image.resize(image.size() - kSectorSize + 100);
    d88test::WriteFile(imagePath, image);
    const auto result = RunProgram(DIRDUMP_PROGRAM, {imagePath}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "00 : AA   :  size=07d0 ( 2000) 18e\n");
    EXPECT_EQ(result.err,
              "dirdump: disk 0, entry 00 (AA): logical sector 18e could not be read whole; its "
              "missing bytes are taken as zeros\n");
    EXPECT_EQ(work.Entries(),
              (Entries{{"AA", Text(content).substr(0, 1018 + 100) + std::string(882, '\0')}}));
}

// A disk without a directory sector lists no file: the previous disk's
// directory must not be applied to it and overwrite the files just written.
TEST_F(DirdumpEndToEnd, DiskWithoutDirectoryListsNothing) {
    DataDiskLayout first;
    first.Store(0, "KEEP", Pattern(1200, 1), {5, 6});
    DataDiskLayout second;
    second.Fill(5, Pattern(kSectorSize, 2)).Fill(6, Pattern(kSectorSize, 3));
    d88test::Disk withoutDirectory = second.Disk();
    RemoveSector(withoutDirectory, 399);
    const auto result = Run({first.Disk(), withoutDirectory});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "00 : KEEP :  size=04b0 ( 1200) 006\n");
    EXPECT_EQ(result.err, Printf(kMissingDirectoryWarning.c_str(), 1));
    EXPECT_EQ(work.Entries(), (Entries{{"KEEP", Text(Pattern(1200, 1))}}));
}

// A name with a "/" would reach outside the current directory: it is
// refused, its sectors are not read, and the run goes on to end with 1.
TEST_F(DirdumpEndToEnd, NamesWithSlashAreRefused) {
    TempDir root;
    const std::string run = root / "run";
    fs::create_directory(run);
    DataDiskLayout layout;
    layout.Store(0, "../x", Pattern(10, 0), {1})
        .Store(1, "/tmp", Pattern(10, 1), {2})
        .Store(2, "OK", Pattern(10, 2), {3})
        .Store(3, "a/\x81\x01", Pattern(10, 3), {4});
    const auto result = Run({layout.Disk()}, run);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out,
              "00 : ../x : \n"
              "01 : /tmp : \n"
              "02 : OK   :  size=000a (   10)\n"
              "03 : a/\x81\x01 : \n");
    EXPECT_EQ(result.err,
              "dirdump: disk 0, entry 00 (../x): the name holds \"/\"; no file written\n"
              "dirdump: disk 0, entry 01 (/tmp): the name holds \"/\"; no file written\n"
              "dirdump: disk 0, entry 03 (a/\\x81\\x01): the name holds \"/\"; no file written\n");
    EXPECT_EQ(root.Entries(), (Entries{{"run", "<dir>"}, {"run/OK", Text(Pattern(10, 2))}}));
}

// An output that cannot be created, written or closed is reported with its
// name and reason; the line is ended and the run goes on to end with 1.
TEST_F(DirdumpEndToEnd, OutputFailuresAreReported) {
    fs::create_directory(work / "DIR");
    fs::create_directory(work / "D\x01\\");
    fs::create_symlink("/dev/full", work / "FULL");
    fs::create_symlink("/dev/full", work / "BIG");
    std::vector<int> bigSectors;
    for (int sector = 100; sector < 165; ++sector) {
        bigSectors.push_back(sector);
    }
    DataDiskLayout layout;
    layout.Store(0, "DIR", Pattern(10, 0), {1})
        .Store(1, "D\x01\\", Pattern(10, 1), {2})
        .Store(2, "FULL", Pattern(10, 2), {3})
        .Store(3, "BIG", Pattern(65536, 3), bigSectors)
        .Store(4, "OK", Pattern(10, 4), {4});
    const auto result = Run({layout.Disk()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out,
              "00 : DIR  : \n"
              "01 : D\x01\\  : \n"
              "02 : FULL :  size=000a (   10)\n"
              "03 : BIG  :  size=10000 (65536)" + SectorPieces(101, 164) + "\n"
              "04 : OK   :  size=000a (   10)\n");
    EXPECT_EQ(result.err,
              "dirdump: DIR: Is a directory\n"
              "dirdump: D\\x01\\x5C: Is a directory\n"
              "dirdump: FULL: No space left on device\n"
              "dirdump: BIG: No space left on device\n");
    EXPECT_EQ(work.Entries(), (Entries{{"DIR", "<dir>"},
                                       {"D\x01\\", "<dir>"},
                                       {"FULL", "<other>"},
                                       {"BIG", "<other>"},
                                       {"OK", Text(Pattern(10, 4))}}));
}

// An image named like a file its directory lists, in the current directory,
// is never emptied: that file is refused, the others are written, status 1.
TEST_F(DirdumpEndToEnd, FileNamedLikeTheImageIsRefused) {
    DataDiskLayout layout;
    layout.Store(0, "ONE", Pattern(10, 0), {1})
        .Store(1, "IMG", Pattern(20, 1), {2})
        .Store(2, "TWO", Pattern(30, 2), {3});
    const Bytes image = d88test::BuildImage({layout.Disk()});
    d88test::WriteFile(work / "IMG", image);
    const auto result = RunProgram(DIRDUMP_PROGRAM, {"IMG"}, work.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out,
              "00 : ONE  :  size=000a (   10)\n"
              "01 : IMG  : \n"
              "02 : TWO  :  size=001e (   30)\n");
    EXPECT_EQ(result.err, "dirdump: IMG: it is the image being read; not overwritten\n");
    EXPECT_EQ(work.Entries(), (Entries{{"ONE", Text(Pattern(10, 0))},
                                       {"IMG", Text(image)},
                                       {"TWO", Text(Pattern(30, 2))}}));
}

TEST_F(DirdumpEndToEnd, StandardOutputThatCannotBeWritten) {
    DataDiskLayout layout;
    layout.Store(0, "ONE", Pattern(10, 0), {1});
    d88test::WriteFile(imagePath, d88test::BuildImage({layout.Disk()}));
    const auto result = RunProgram("/bin/sh", {"-c", "exec \"$0\" \"$1\" > /dev/full",
                                               DIRDUMP_PROGRAM, imagePath},
                                   work.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "dirdump: standard output: No space left on device\n");
    EXPECT_EQ(work.Entries(), (Entries{{"ONE", Text(Pattern(10, 0))}}));
}

// The bytes of a file stored from logical sector `first` on, in consecutive
// sectors, of a disk laid out by MakeDataDisk at `diskStart` of `image`.
std::string StoredContent(const Bytes& image, size_t diskStart, int first, size_t length) {
    std::string content;
    for (size_t position = 6; position < 6 + length; ++position) {
        const size_t sector = first + position / kSectorSize;
        content += static_cast<char>(
            image[diskStart + 0x2B0 + sector * (16 + kSectorSize) + 16 + position % kSectorSize]);
    }
    return content;
}

TEST_F(DirdumpEndToEnd, SampleImage) {
    const auto result = RunProgram(DIRDUMP_PROGRAM, {SAMPLE_IMAGE}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "00 : SNG1 :  size=00ae (  174)\n"
              "01 : SNG2 :  size=0602 ( 1538) 005\n"
              "02 : MEMO :  size=0019 (   25)\n"
              "00 : SNG3 :  size=0a0c ( 2572) 003 004\n"
              "01 : DATA :  size=012c (  300)\n");
    const Bytes image = d88test::ReadFile(SAMPLE_IMAGE);
    const size_t secondDisk = image[0x1C] | image[0x1D] << 8 | image[0x1E] << 16;
    const Entries files = work.Entries();
    EXPECT_EQ(files, (Entries{{"SNG1", StoredContent(image, 0, 2, 174)},
                              {"SNG2", StoredContent(image, 0, 4, 1538)},
                              {"MEMO", "Two songs on this disk.\r\n"},
                              {"SNG3", StoredContent(image, secondDisk, 2, 2572)},
                              {"DATA", std::string(300, ' ')}}));
    EXPECT_EQ(files.at("SNG1").substr(0, 9), "RMMorning");
    EXPECT_EQ(files.at("SNG3").substr(2570), "\xFD\xFD");
}

// Neither real image is a data disk. On the 2D disk (256-byte sectors, N = 1)
// no sector of size code 3 exists at track 79: the directory is missing.
TEST_F(DirdumpEndToEnd, RealImageWithoutDirectorySector) {
    const std::string path = REAL_IMAGES_DIR "/HuBASIC_Format_2D.d88";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "real image " << path << " is not there";
    }
    const auto result = RunProgram(DIRDUMP_PROGRAM, {path}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Printf(kMissingDirectoryWarning.c_str(), 0));
    EXPECT_EQ(work.Entries(), Entries{});
}

// The 1024-byte-sector disk does hold C 39, H 1, R 5, N 3 at track 79, and it
// is freshly formatted, all 0xE5: 128 entries named E5 E5 E5 E5 whose map
// bytes (229) name no entry, so one empty file written 128 times.
TEST_F(DirdumpEndToEnd, RealImageWithFormattedDirectorySector) {
    const std::string path = REAL_IMAGES_DIR "/FPUTEST.D77";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "real image " << path << " is not there";
    }
    const auto result = RunProgram(DIRDUMP_PROGRAM, {path}, work.Path());
    std::string expectedOut;
    for (int entry = 0; entry < 128; ++entry) {
        expectedOut += Printf("%02x : \xE5\xE5\xE5\xE5 : \n", entry);
    }
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, expectedOut);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), (Entries{{"\xE5\xE5\xE5\xE5", ""}}));
}

}  // namespace
