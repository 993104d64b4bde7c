// mublock run as a real program in a fresh directory: exact stdout, stderr,
// exit status and every file it leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "program_runner.h"

namespace {

using d88test::Bytes;
using d88test::RunProgram;
using d88test::RunResult;
using d88test::TempDir;

using Entries = std::map<std::string, std::string>;

constexpr size_t kSector = d88test::kDataDiskSectorSize;
constexpr uint8_t kTerminator = 0xFD;

// "ファイルをオープンできません.\n" in Shift_JIS.
const std::string kOpenFailedMessage =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5"
    "\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";

// A data disk's logical bytes filled with (i + shift) % 251: no 0xFD byte
// anywhere, and never "RM" in two bytes in a row, so only the bytes a test
// puts there make candidates and terminators, while block contents still
// differ from place to place.
Bytes PatternedLogicalDisk(size_t shift = 0) {
    Bytes logical = d88test::BlankLogicalDisk();
    for (size_t i = 0; i < logical.size(); ++i) {
        logical[i] = static_cast<uint8_t>((i + shift) % 251);
    }
    return logical;
}

void PutSignature(Bytes& logical, size_t sector) {
    d88test::Put(logical, sector * kSector + 6, d88test::TextBytes("RM"));
}

// 0xFD at each of `positions`, counted from byte 0 of `sector`.
void PutTerminators(Bytes& logical, size_t sector, const std::vector<size_t>& positions) {
    for (size_t position : positions) {
        logical.at(sector * kSector + position) = kTerminator;
    }
}

// A block of `length` (13 or more) in `sector`: the signature, four 0xFD
// right after it and the fifth as its last byte.
void PutBlock(Bytes& logical, size_t sector, size_t length) {
    PutSignature(logical, sector);
    PutTerminators(logical, sector, {8, 9, 10, 11, length - 1});
}

// What the output file of a block of `length` in `sector` holds.
std::string Content(const Bytes& logical, size_t sector, size_t length) {
    const auto start = logical.begin() + static_cast<std::ptrdiff_t>(sector * kSector);
    return std::string(start + 6, start + static_cast<std::ptrdiff_t>(length));
}

std::string BlockName(int counter) {
    char name[16];
    std::snprintf(name, sizeof name, "MU%03d", counter);
    return name;
}

// Writes `image` outside `work` and runs mublock on it in `work`.
RunResult RunOnImage(const Bytes& image, const TempDir& work) {
    TempDir images;
    const std::string path = images / "image.d88";
    d88test::WriteFile(path, image);
    return RunProgram(MUBLOCK_PROGRAM, {path}, work.Path());
}

TEST(MublockEndToEnd, UsageErrorWritesNothing) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"a.d88", "b.d88"}}) {
        TempDir work;
        const auto result = RunProgram(MUBLOCK_PROGRAM, arguments, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "Usage: mublock [d88file]\n");
        EXPECT_EQ(work.Entries(), Entries{});
    }
}

TEST(MublockEndToEnd, SampleImage) {
    TempDir work;
    const auto result = RunProgram(MUBLOCK_PROGRAM, {SAMPLE_IMAGE}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "MU000 diskno=0 trk=01 sec= 3 size= 180\n"
              "MU001 diskno=0 trk=01 sec= 5 size=1544\n"
              "MU002 diskno=1 trk=01 sec= 3 size=2578\n");
    const Entries files = work.Entries();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files.at("MU000").substr(0, 9), "RMMorning");
    EXPECT_EQ(files.at("MU000").size(), 174u);
    EXPECT_EQ(files.at("MU001").size(), 1538u);
    EXPECT_EQ(files.at("MU001").substr(0, 9), "RMEvening");
    EXPECT_EQ(files.at("MU002").substr(0, 7), "RMNight");
    EXPECT_EQ(files.at("MU002").substr(2570), "\xFD\xFD");
}

// An image path that does not open as a file, a directory included: the
// open-failure message and status 1, nothing written.
TEST(MublockEndToEnd, ImageThatCannotBeOpened) {
    TempDir images;
    std::filesystem::create_directory(images / "disk.d88");
    for (const std::string& path : {images / "missing.d88", images / "disk.d88"}) {
        SCOPED_TRACE(path);
        TempDir work;
        const auto result = RunProgram(MUBLOCK_PROGRAM, {path}, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kOpenFailedMessage);
        EXPECT_EQ(result.err.size(), 30u);
        EXPECT_EQ(work.Entries(), Entries{});
    }
}

// Runs that go through with status 0 and nothing on stderr.
struct Scenario {
    Bytes image;
    // Files in the working directory before the run.
    Entries before;
    std::string out;
    // Every entry of the working directory after the run.
    Entries after;
};

struct ScenarioCase {
    const char* name;
    std::function<Scenario()> make;
};

void PrintTo(const ScenarioCase& scenarioCase, std::ostream* out) { *out << scenarioCase.name; }

class MublockScenario : public testing::TestWithParam<ScenarioCase> {};

TEST_P(MublockScenario, PrintsAndWritesExactly) {
    const Scenario scenario = GetParam().make();
    TempDir work;
    for (const auto& [name, content] : scenario.before) {
        d88test::WriteText(work / name, content);
    }
    const auto result = RunOnImage(scenario.image, work);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, scenario.out);
    EXPECT_EQ(work.Entries(), scenario.after);
}

const ScenarioCase kScenarios[] = {
    {"EmptyImage", [] { return Scenario{{}, {}, "", {}}; }},
    {"ImageShorterThanOneHeader",
     [] {
         Bytes image = d88test::BuildImage({d88test::MakeDataDisk(d88test::BlankLogicalDisk())});
         image.resize(687);
         return Scenario{image, {}, "", {}};
     }},
    {"TwoDisksWithOneBlockEach",
     [] {
         Bytes first = PatternedLogicalDisk(0);
         Bytes second = PatternedLogicalDisk(100);
         PutBlock(first, 0, 100);
         PutBlock(second, 0, 200);
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(first), d88test::MakeDataDisk(second)}),
                         {},
                         "MU000 diskno=0 trk=01 sec= 1 size= 100\n"
                         "MU001 diskno=1 trk=01 sec= 1 size= 200\n",
                         {{"MU000", Content(first, 0, 100)}, {"MU001", Content(second, 0, 200)}}};
     }},
    {"BlockInLogicalSector7RunningIntoTheNext",
     [] {
         Bytes logical = PatternedLogicalDisk();
         PutBlock(logical, 7, 1500);
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {},
                         "MU000 diskno=0 trk=02 sec= 3 size=1500\n",
                         {{"MU000", Content(logical, 7, 1500)}}};
     }},
    {"LengthBoundAt16384",
     [] {
         // Sector 0: fifth 0xFD at position 16,382, the longest block.
         // Sector 20: fifth 0xFD at position 16,383, one byte too far; the
         // block of sector 40 then takes the next name.
         Bytes logical = PatternedLogicalDisk();
         PutBlock(logical, 0, 16383);
         PutBlock(logical, 20, 16384);
         PutBlock(logical, 40, 13);
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {},
                         "MU000 diskno=0 trk=01 sec= 1 size=16383\n"
                         "MU001 diskno=0 trk=09 sec= 1 size=  13\n",
                         {{"MU000", Content(logical, 0, 16383)}, {"MU001", Content(logical, 40, 13)}}};
     }},
    {"TwoTerminatorsInTheFileHeader",
     [] {
         // 0xFD at positions 1 and 4 count: the block ends at the third
         // 0xFD after the signature, not at the fourth.
         Bytes logical = PatternedLogicalDisk();
         PutSignature(logical, 3);
         PutTerminators(logical, 3, {1, 4, 30, 60, 90, 120});
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {},
                         "MU000 diskno=0 trk=01 sec= 4 size=  91\n",
                         {{"MU000", Content(logical, 3, 91)}}};
     }},
    {"FifthTerminatorAtPosition5GivesAnEmptyFile",
     [] {
         Bytes logical = PatternedLogicalDisk();
         PutSignature(logical, 2);
         PutTerminators(logical, 2, {1, 2, 3, 4, 5, 8, 9});
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {},
                         "MU000 diskno=0 trk=01 sec= 3 size=   6\n",
                         {{"MU000", ""}}};
     }},
    {"FiveTerminatorsAtPositions0To4GiveAnEmptyFile",
     [] {
         Bytes logical = PatternedLogicalDisk();
         PutSignature(logical, 2);
         PutTerminators(logical, 2, {0, 1, 2, 3, 4, 5, 8});
         PutBlock(logical, 4, 13);
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {},
                         "MU000 diskno=0 trk=01 sec= 3 size=   5\n"
                         "MU001 diskno=0 trk=01 sec= 5 size=  13\n",
                         {{"MU000", ""}, {"MU001", Content(logical, 4, 13)}}};
     }},
    {"BufferEndsBeforeTheFifthTerminator",
     [] {
         // Sector 399 holds four 0xFD: enough to end the block of sector
         // 398, which has one of its own, but not a block of its own.
         Bytes logical = PatternedLogicalDisk();
         PutSignature(logical, 398);
         PutTerminators(logical, 398, {500});
         PutSignature(logical, 399);
         PutTerminators(logical, 399, {100, 200, 300, 400});
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {},
                         "MU000 diskno=0 trk=80 sec= 4 size=1425\n",
                         {{"MU000", Content(logical, 398, 1425)}}};
     }},
    {"OverlappingBlocksInConsecutiveSectors",
     [] {
         Bytes logical = PatternedLogicalDisk();
         PutSignature(logical, 10);
         PutTerminators(logical, 10, {100, 200});
         PutSignature(logical, 11);
         PutTerminators(logical, 11, {50, 60, 70, 80, 90});
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {},
                         "MU000 diskno=0 trk=03 sec= 1 size=1095\n"
                         "MU001 diskno=0 trk=03 sec= 2 size=  91\n",
                         {{"MU000", Content(logical, 10, 1095)}, {"MU001", Content(logical, 11, 91)}}};
     }},
    {"SecondDiskWithoutReadableTracksFindsNothing",
     [] {
         // The second disk's records carry size code 2, so no sector of it
         // is read, although its data holds blocks; the first disk's blocks
         // must not come back under disk index 1.
         Bytes first = PatternedLogicalDisk();
         PutBlock(first, 0, 100);
         PutBlock(first, 200, 300);
         d88test::Disk second = d88test::MakeDataDisk(first);
         for (auto& [track, records] : second.tracks) {
             for (d88test::Sector& sector : records) {
                 sector.n = 2;
             }
         }
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(first), second}),
                         {},
                         "MU000 diskno=0 trk=01 sec= 1 size= 100\n"
                         "MU001 diskno=0 trk=41 sec= 1 size= 300\n",
                         {{"MU000", Content(first, 0, 100)}, {"MU001", Content(first, 200, 300)}}};
     }},
    {"SecondDiskWithHalfItsTracksReadsZerosForTheRest",
     [] {
         Bytes first = PatternedLogicalDisk();
         PutBlock(first, 300, 100);
         Bytes second = PatternedLogicalDisk(7);
         PutBlock(second, 2, 50);
         d88test::Disk secondDisk = d88test::MakeDataDisk(second);
         for (int track = 40; track < d88test::kDataDiskTracks; ++track) {
             secondDisk.tracks.erase(track);
         }
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(first), secondDisk}),
                         {},
                         "MU000 diskno=0 trk=61 sec= 1 size= 100\n"
                         "MU001 diskno=1 trk=01 sec= 3 size=  50\n",
                         {{"MU000", Content(first, 300, 100)}, {"MU001", Content(second, 2, 50)}}};
     }},
    {"SecondDiskCutOffInItsFirstSectorReadsZerosForTheMissingBytes",
     [] {
         // The file ends 8 bytes into the second disk's first sector, right
         // after its signature. The sector still counts as read; had the
         // first disk's bytes stayed behind it, its block would come back.
         Bytes logical = PatternedLogicalDisk();
         PutBlock(logical, 0, 100);
         const d88test::Disk disk = d88test::MakeDataDisk(logical);
         Bytes image = d88test::BuildImage({disk, disk});
         image.resize(d88test::BuildDisk(disk).size() + 688 + 16 + 8);
         return Scenario{image,
                         {},
                         "MU000 diskno=0 trk=01 sec= 1 size= 100\n",
                         {{"MU000", Content(logical, 0, 100)}}};
     }},
    {"ExistingOutputFilesAreOverwritten",
     [] {
         Bytes logical = PatternedLogicalDisk();
         PutBlock(logical, 5, 20);
         return Scenario{d88test::BuildImage({d88test::MakeDataDisk(logical)}),
                         {{"MU000", std::string(200, 'x')}, {"MU001", "untouched"}},
                         "MU000 diskno=0 trk=02 sec= 1 size=  20\n",
                         {{"MU000", Content(logical, 5, 20)}, {"MU001", "untouched"}}};
     }},
};

INSTANTIATE_TEST_SUITE_P(Cases, MublockScenario, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<ScenarioCase>& info) {
                             return std::string(info.param.name);
                         });

// Names run on across disks and widen past MU999 without padding.
TEST(MublockEndToEnd, ThousandAndFirstBlockIsMU1000) {
    Bytes full = PatternedLogicalDisk();
    for (size_t sector = 0; sector < d88test::kDataDiskSectors; ++sector) {
        PutBlock(full, sector, 13);
    }
    Bytes partial = PatternedLogicalDisk();
    for (size_t sector = 0; sector <= 200; ++sector) {
        PutBlock(partial, sector, 13);
    }
    TempDir work;
    const auto result = RunOnImage(d88test::BuildImage({d88test::MakeDataDisk(full), d88test::MakeDataDisk(full),
                                                        d88test::MakeDataDisk(partial)}),
                                   work);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    const std::string block = Content(full, 0, 13);
    ASSERT_EQ(block, "RM\xFD\xFD\xFD\xFD\xFD");
    Entries expected;
    for (int counter = 0; counter <= 1000; ++counter) {
        expected[BlockName(counter)] = block;
    }
    EXPECT_EQ(work.Entries(), expected);
    const std::string lastLines =
        "MU999 diskno=2 trk=40 sec= 5 size=  13\n"
        "MU1000 diskno=2 trk=41 sec= 1 size=  13\n";
    ASSERT_GE(result.out.size(), lastLines.size());
    EXPECT_EQ(result.out.substr(result.out.size() - lastLines.size()), lastLines);
    EXPECT_EQ(result.out.substr(0, 39), "MU000 diskno=0 trk=01 sec= 1 size=  13\n");
    EXPECT_EQ(result.out.size(), 1000 * 39 + 40u);
}

// An output file that cannot be created: a message naming it, the run goes
// on with the next block, status 1; its console line is still printed.
TEST(MublockEndToEnd, OutputThatCannotBeCreated) {
    Bytes logical = PatternedLogicalDisk();
    PutBlock(logical, 0, 20);
    PutBlock(logical, 1, 30);
    PutBlock(logical, 2, 40);
    TempDir work;
    std::filesystem::create_directory(work / "MU001");
    const auto result = RunOnImage(d88test::BuildImage({d88test::MakeDataDisk(logical)}), work);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "mublock: MU001: Is a directory\n");
    EXPECT_EQ(result.out,
              "MU000 diskno=0 trk=01 sec= 1 size=  20\n"
              "MU001 diskno=0 trk=01 sec= 2 size=  30\n"
              "MU002 diskno=0 trk=01 sec= 3 size=  40\n");
    EXPECT_EQ(work.Entries(), (Entries{{"MU000", Content(logical, 0, 20)},
                                       {"MU001", "<dir>"},
                                       {"MU002", Content(logical, 2, 40)}}));
}

// MU000 is a link to /dev/full, so its write fails, for a short block and a
// long one alike.
TEST(MublockEndToEnd, OutputWhoseWriteFails) {
    for (size_t length : {20u, 16383u}) {
        SCOPED_TRACE(length);
        Bytes logical = PatternedLogicalDisk();
        PutBlock(logical, 0, length);
        PutBlock(logical, 20, 30);
        TempDir work;
        std::filesystem::create_symlink("/dev/full", work / "MU000");
        const auto result = RunOnImage(d88test::BuildImage({d88test::MakeDataDisk(logical)}), work);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.err, "mublock: MU000: No space left on device\n");
        char firstLine[64];
        std::snprintf(firstLine, sizeof firstLine, "MU000 diskno=0 trk=01 sec= 1 size=%4zu\n", length);
        EXPECT_EQ(result.out, std::string(firstLine) + "MU001 diskno=0 trk=05 sec= 1 size=  30\n");
        EXPECT_EQ(work.Entries(), (Entries{{"MU000", "<other>"}, {"MU001", Content(logical, 20, 30)}}));
    }
}

// A FIFO without a reader in the place of an output fails at once instead of
// hanging the run.
TEST(MublockEndToEnd, OutputThatIsAFifoWithoutAReader) {
    Bytes logical = PatternedLogicalDisk();
    PutBlock(logical, 0, 20);
    PutBlock(logical, 1, 30);
    TempDir work;
    ASSERT_EQ(mkfifo((work / "MU000").c_str(), 0600), 0);
    const auto result = RunOnImage(d88test::BuildImage({d88test::MakeDataDisk(logical)}), work);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "mublock: MU000: No such device or address\n");
    EXPECT_EQ(result.out,
              "MU000 diskno=0 trk=01 sec= 1 size=  20\n"
              "MU001 diskno=0 trk=01 sec= 2 size=  30\n");
    EXPECT_EQ(work.Entries(), (Entries{{"MU000", "<other>"}, {"MU001", Content(logical, 1, 30)}}));
}

// An image named like an output in the current directory is never emptied:
// that output is refused with a message, the run goes on, status 1.
TEST(MublockEndToEnd, OutputNamedLikeTheImageIsRefused) {
    Bytes logical = PatternedLogicalDisk();
    PutBlock(logical, 0, 20);
    PutBlock(logical, 1, 30);
    PutBlock(logical, 2, 40);
    const Bytes image = d88test::BuildImage({d88test::MakeDataDisk(logical)});
    TempDir work;
    d88test::WriteFile(work / "MU001", image);
    const auto result = RunProgram(MUBLOCK_PROGRAM, {"MU001"}, work.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "mublock: MU001: it is the image being read; not overwritten\n");
    EXPECT_EQ(result.out,
              "MU000 diskno=0 trk=01 sec= 1 size=  20\n"
              "MU001 diskno=0 trk=01 sec= 2 size=  30\n"
              "MU002 diskno=0 trk=01 sec= 3 size=  40\n");
    EXPECT_EQ(work.Entries(), (Entries{{"MU000", Content(logical, 0, 20)},
                                       {"MU001", std::string(image.begin(), image.end())},
                                       {"MU002", Content(logical, 2, 40)}}));
}

// Standard output that cannot be written: "mublock: standard output:" and
// the reason on stderr, status 1, while the files are written as usual.
// Lines of 39 bytes (disk 0) and 40 bytes (disk 10, the disks between
// empty): 3 lines make an output that fails only when it is flushed at the
// end; 23 + 80 lines make 4,097 bytes, one more than the C library's
// 4,096-byte buffer for /dev/full, so the failing write comes with the last
// line's newline and leaves nothing to flush at the end.
TEST(MublockEndToEnd, StandardOutputThatCannotBeWritten) {
    for (const auto& [firstDiskBlocks, tenthDiskBlocks] : {std::pair{3, 0}, std::pair{23, 80}}) {
        SCOPED_TRACE(firstDiskBlocks + tenthDiskBlocks);
        std::vector<d88test::Disk> disks(11);
        Bytes first = PatternedLogicalDisk();
        Bytes tenth = PatternedLogicalDisk(50);
        Entries expected;
        int counter = 0;
        for (int sector = 0; sector < firstDiskBlocks; ++sector) {
            PutBlock(first, sector, 13);
            expected[BlockName(counter++)] = Content(first, sector, 13);
        }
        for (int sector = 0; sector < tenthDiskBlocks; ++sector) {
            PutBlock(tenth, sector, 13);
            expected[BlockName(counter++)] = Content(tenth, sector, 13);
        }
        disks[0] = d88test::MakeDataDisk(first);
        disks[10] = d88test::MakeDataDisk(tenth);
        TempDir images;
        const std::string image = images / "image.d88";
        d88test::WriteFile(image, d88test::BuildImage(disks));
        TempDir work;
        const auto result =
            RunProgram("/bin/sh", {"-c", "exec \"$0\" \"$1\" > /dev/full", MUBLOCK_PROGRAM, image},
                       work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.err, "mublock: standard output: No space left on device\n");
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(work.Entries(), expected);
    }
}

}  // namespace
