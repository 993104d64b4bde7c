// hfclip run as a real program in a fresh directory: exact stdout, stderr,
// exit status, and what stands under the file name, the backup name and the
// temporary name afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "d88_builder.h"
#include "program_runner.h"

namespace {

namespace fs = std::filesystem;

using d88test::RunProgram;
using d88test::TempDir;

using Entries = std::map<std::string, std::string>;
using Arguments = std::vector<std::string>;

const std::string kUsage =
    "HFCLIP.EXE: cut n-byte header & footer\n\nUsage: hfclip file headercutsize (cutsize)\n";
// "ファイルを読み込めません。\n"
const std::string kCannotRead =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x93\xC7\x82\xDD\x8D\x9E\x82\xDF\x82\xDC\x82\xB9"
    "\x82\xF1\x81\x42\n";
// "値の指定が大きすぎます。\n"
const std::string kTooLarge =
    "\x92\x6C\x82\xCC\x8E\x77\x92\xE8\x82\xAA\x91\xE5\x82\xAB\x82\xB7\x82\xAC\x82\xDC\x82\xB7"
    "\x81\x42\n";
// "ファイルを書き込めません。\n"
const std::string kCannotWrite =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9"
    "\x82\xF1\x81\x42\n";
// "で、切り出します。\n"
const std::string kProgressEnd =
    "\x82\xC5\x81\x41\x90\xD8\x82\xE8\x8F\x6F\x82\xB5\x82\xDC\x82\xB7\x81\x42\n";

// 100 bytes, each its own offset, so any shift of the kept range shows.
std::string Original() {
    std::string bytes;
    for (int i = 0; i < 100; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    return bytes;
}

std::string Progress(const std::string& sizes) { return sizes + kProgressEnd; }

// The files after a good run on data.bin.
Entries Cut(const std::string& kept, const std::string& original = Original()) {
    return {{"data.bin", kept}, {"data.bin.bak", original}};
}

const Entries kUntouched = {{"data.bin", Original()}};

struct Case {
    const char* what;
    std::string original;
    Arguments arguments;  // after the program name
    int exitStatus;
    std::string out;
    std::string err;
    Entries after;
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir work;
        d88test::WriteText(work / "data.bin", c.original);
        const auto result = RunProgram(HFCLIP_PROGRAM, c.arguments, work.Path());
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(work.Entries(), c.after);
    }
}

TEST(HfclipEndToEnd, CutsAndRefusesAsTheSizesSay) {
    const std::string original = Original();
    RunCases({
        {"no argument", original, {}, 1, "", kUsage, kUntouched},
        {"file alone", original, {"data.bin"}, 1, "", kUsage, kUntouched},
        {"header only: to the end",
         original,
         {"data.bin", "16"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 84 "),
         "",
         Cut(original.substr(16))},
        {"header and footer",
         original,
         {"data.bin", "16", "50"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 50 "),
         "",
         Cut(original.substr(16, 50))},
        {"further arguments change nothing",
         original,
         {"data.bin", "16", "50", "7", "x"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 50 "),
         "",
         Cut(original.substr(16, 50))},
        {"sum equal to the size",
         original,
         {"data.bin", "16", "84"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 84 "),
         "",
         Cut(original.substr(16))},
        {"sum one past the size", original, {"data.bin", "16", "85"}, 1, "", kTooLarge, kUntouched},
        {"header 0 copies the whole file",
         original,
         {"data.bin", "0"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 0 CutSize = 100 "),
         "",
         Cut(original)},
        {"header equal to the size",
         original,
         {"data.bin", "100"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 100 "),
         "",
         Cut("")},
        {"cut size 0",
         original,
         {"data.bin", "16", "0"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 "),
         "",
         Cut("")},
        {"cut size not a number",
         original,
         {"data.bin", "16", "abc"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 "),
         "",
         Cut("")},
        {"cut size 0 with header past the end",
         original,
         {"data.bin", "101", "0"},
         1,
         "",
         kTooLarge,
         kUntouched},
        {"header past the end, to the end",
         original,
         {"data.bin", "150"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 150 CutSize = -50 "),
         "",
         Cut("")},
        {"negative cut size",
         original,
         {"data.bin", "16", "-5"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 CutSize = -5 "),
         "",
         Cut("")},
        {"white space and plus signs",
         original,
         {"data.bin", " \t\n\v\f\r16", "+50"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 50 "),
         "",
         Cut(original.substr(16, 50))},
        {"digits then letters",
         original,
         {"data.bin", "16abc", "50 7"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 50 "),
         "",
         Cut(original.substr(16, 50))},
        {"a sign then a space means 0",
         original,
         {"data.bin", "- 16", "+ 5"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 0 "),
         "",
         Cut("")},
        {"no digits means 0",
         original,
         {"data.bin", "x16"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 0 CutSize = 100 "),
         "",
         Cut(original)},
        {"empty file",
         "",
         {"data.bin", "0"},
         0,
         Progress("FileSize = 0 HeaderCutSize = 0 "),
         "",
         Cut("", "")},
    });
}

TEST(HfclipEndToEnd, SixtyFourBitArguments) {
    const std::string original = Original();
    RunCases({
        {"largest header: nothing to copy",
         original,
         {"data.bin", "9223372036854775807"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 9223372036854775807 "
                  "CutSize = -9223372036854775707 "),
         "",
         Cut("")},
        {"header digits past 64 bits",
         original,
         {"data.bin", "9223372036854775808"},
         1,
         "",
         kTooLarge,
         kUntouched},
        {"cut size digits past 64 bits",
         original,
         {"data.bin", "16", "99999999999999999999"},
         1,
         "",
         kTooLarge,
         kUntouched},
        {"negative cut size digits past 64 bits",
         original,
         {"data.bin", "0", "-9223372036854775808"},
         1,
         "",
         kTooLarge,
         kUntouched},
        {"sum past 64 bits",
         original,
         {"data.bin", "9223372036854775807", "9223372036854775807"},
         1,
         "",
         kTooLarge,
         kUntouched},
        {"smallest cut size",
         original,
         {"data.bin", "0", "-9223372036854775807"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 0 CutSize = -9223372036854775807 "),
         "",
         Cut("")},
        {"sum past 32 bits",
         original,
         {"data.bin", "4294967296", "-4294967200"},
         0,
         Progress("FileSize = 100 HeaderCutSize = 4294967296 CutSize = -4294967200 "),
         "",
         Cut("")},
    });
}

TEST(HfclipEndToEnd, NegativeHeaderCutSizeIsRefused) {
    const std::string original = Original();
    RunCases({
        {"two arguments",
         original,
         {"data.bin", "-5"},
         1,
         "",
         "hfclip: header cut size -5 is negative; it must be 0 or more\n",
         kUntouched},
        {"three arguments",
         original,
         {"data.bin", "-1", "10"},
         1,
         "",
         "hfclip: header cut size -1 is negative; it must be 0 or more\n",
         kUntouched},
        {"digits past 64 bits",
         original,
         {"data.bin", "-99999999999999999999"},
         1,
         "",
         kTooLarge,
         kUntouched},
    });
}

TEST(HfclipEndToEnd, TestsRunInOrder) {
    TempDir work;
    d88test::WriteText(work / "data.bin", Original());
    // A temporary name that cannot be opened for writing.
    fs::create_directory(work / "data.bin.$$$");
    const Entries before = work.Entries();
    const struct {
        Arguments arguments;
        std::string err;
    } cases[] = {
        {{"data.bin"}, kUsage},
        {{"missing", "16", "999"}, kCannotRead},
        {{"missing", "99999999999999999999"}, kCannotRead},
        {{"missing", "-5"}, kCannotRead},
        {{"data.bin", "99999999999999999999", "-5"}, kTooLarge},
        {{"data.bin", "-5", "999"},
         "hfclip: header cut size -5 is negative; it must be 0 or more\n"},
        {{"data.bin", "16", "999"}, kTooLarge},
        {{"data.bin", "16"}, kCannotWrite},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.size() > 1 ? c.arguments[1] : "usage");
        const auto result = RunProgram(HFCLIP_PROGRAM, c.arguments, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(work.Entries(), before);
    }
}

TEST(HfclipEndToEnd, OnlyRegularFilesAreRead) {
    TempDir work;
    fs::create_directory(work / "folder");
    ASSERT_EQ(mkfifo((work / "pipe").c_str(), 0600), 0);
    for (const char* name : {"missing", "folder", "pipe", "/dev/null"}) {
        SCOPED_TRACE(name);
        const auto result = RunProgram(HFCLIP_PROGRAM, {name, "0"}, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kCannotRead);
        EXPECT_EQ(work.Entries(), (Entries{{"folder", "<dir>"}, {"pipe", "<other>"}}));
    }
}

TEST(HfclipEndToEnd, DirectoryPartKeepsAllThreeFilesBesideTheFile) {
    TempDir work;
    fs::create_directory(work / "sub");
    d88test::WriteText(work / "sub/data.bin", Original());
    const auto result = RunProgram(HFCLIP_PROGRAM, {"sub/data.bin", "90"}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, Progress("FileSize = 100 HeaderCutSize = 90 CutSize = 10 "));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), (Entries{{"sub", "<dir>"},
                                       {"sub/data.bin", Original().substr(90)},
                                       {"sub/data.bin.bak", Original()}}));
}

TEST(HfclipEndToEnd, NamesOfAnyLength) {
    TempDir work;
    const std::string directories = std::string(120, 'd') + "/" + std::string(120, 'e');
    // 251 characters leave room for the four of ".bak" within one name.
    const std::string path = directories + "/" + std::string(251, 'f');
    fs::create_directories(work / directories);
    d88test::WriteText(work / path, Original());
    const auto result = RunProgram(HFCLIP_PROGRAM, {path, "99"}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, Progress("FileSize = 100 HeaderCutSize = 99 CutSize = 1 "));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(work.Entries(), (Entries{{std::string(120, 'd'), "<dir>"},
                                       {directories, "<dir>"},
                                       {path, Original().substr(99)},
                                       {path + ".bak", Original()}}));
}

TEST(HfclipEndToEnd, ExistingBackupKeepsEverythingAndFails) {
    TempDir work;
    d88test::WriteText(work / "data.bin", Original());
    d88test::WriteText(work / "data.bin.bak", "older backup");
    const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "16", "50"}, work.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 50 "));
    EXPECT_EQ(result.err,
              "hfclip: cannot rename data.bin to data.bin.bak: File exists; data.bin is "
              "unchanged, the kept bytes are in data.bin.$$$\n");
    EXPECT_EQ(work.Entries(), (Entries{{"data.bin", Original()},
                                       {"data.bin.bak", "older backup"},
                                       {"data.bin.$$$", Original().substr(16, 50)}}));
}

TEST(HfclipEndToEnd, LeftoverTemporaryFile) {
    const std::string leftover(300, 'L');
    {
        SCOPED_TRACE("rewritten when the size test passes");
        TempDir work;
        d88test::WriteText(work / "data.bin", Original());
        d88test::WriteText(work / "data.bin.$$$", leftover);
        const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "16"}, work.Path());
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 84 "));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(work.Entries(), Cut(Original().substr(16)));
    }
    {
        SCOPED_TRACE("left alone when the size test fails");
        TempDir work;
        d88test::WriteText(work / "data.bin", Original());
        d88test::WriteText(work / "data.bin.$$$", leftover);
        const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "16", "85"}, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kTooLarge);
        EXPECT_EQ(work.Entries(), (Entries{{"data.bin", Original()}, {"data.bin.$$$", leftover}}));
    }
}

// Every way the temporary name can refuse to take the kept bytes, including
// names that lead back to the file itself, which must not be emptied.
TEST(HfclipEndToEnd, TemporaryNameThatCannotBeWritten) {
    const struct {
        const char* what;
        void (*prepare)(const TempDir&);
        const char* temporaryEntry;
    } cases[] = {
        {"a directory", [](const TempDir& work) { fs::create_directory(work / "data.bin.$$$"); },
         "<dir>"},
        {"a symbolic link to the file",
         [](const TempDir& work) {
             ASSERT_EQ(symlink("data.bin", (work / "data.bin.$$$").c_str()), 0);
         },
         "<other>"},
        {"a hard link to the file",
         [](const TempDir& work) {
             ASSERT_EQ(link((work / "data.bin").c_str(), (work / "data.bin.$$$").c_str()), 0);
         },
         nullptr},
        {"a FIFO without a reader",
         [](const TempDir& work) { ASSERT_EQ(mkfifo((work / "data.bin.$$$").c_str(), 0600), 0); },
         "<other>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir work;
        d88test::WriteText(work / "data.bin", Original());
        c.prepare(work);
        const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "16"}, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kCannotWrite);
        Entries expected = kUntouched;
        expected["data.bin.$$$"] = c.temporaryEntry ? c.temporaryEntry : Original();
        EXPECT_EQ(work.Entries(), expected);
    }
}

TEST(HfclipEndToEnd, DirectoryWithoutWriteAccess) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root, which may write to any directory";
    }
    TempDir work;
    fs::create_directory(work / "locked");
    d88test::WriteText(work / "locked/data.bin", Original());
    fs::permissions(work / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const auto result = RunProgram(HFCLIP_PROGRAM, {"locked/data.bin", "16"}, work.Path());
    fs::permissions(work / "locked", fs::perms::owner_all);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, kCannotWrite);
    EXPECT_EQ(work.Entries(), (Entries{{"locked", "<dir>"}, {"locked/data.bin", Original()}}));
}

TEST(HfclipEndToEnd, FailedWriteRemovesTheTemporaryFile) {
    TempDir work;
    d88test::WriteText(work / "data.bin", Original());
    ASSERT_EQ(symlink("/dev/full", (work / "data.bin.$$$").c_str()), 0);
    const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "16"}, work.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, Progress("FileSize = 100 HeaderCutSize = 16 CutSize = 84 "));
    EXPECT_EQ(result.err,
              "hfclip: cannot write data.bin.$$$: No space left on device; data.bin.$$$ "
              "removed, data.bin unchanged\n");
    EXPECT_EQ(work.Entries(), kUntouched);
}

// A kept range of three and a bit copy buffers, starting at an odd offset.
TEST(HfclipEndToEnd, KeptRangeLargerThanTheCopyBuffer) {
    // 251 is prime, so every shift of the data shows.
    std::string original;
    for (int i = 0; i < 3 * 1048576 + 1000; ++i) {
        original.push_back(static_cast<char>(i % 251));
    }
    TempDir work;
    d88test::WriteText(work / "data.bin", original);
    const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "5", "3146000"}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, Progress("FileSize = 3146728 HeaderCutSize = 5 CutSize = 3146000 "));
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(work.Entries() == Cut(original.substr(5, 3146000), original))
        << "the file or its backup differs";
}

// sysfs files claim 4096 bytes and hold fewer, so the copy meets the end of
// the file before the cut size: a file that shrank under the program.
TEST(HfclipEndToEnd, ReadThatEndsEarlyRemovesTheTemporaryFile) {
    std::string source;
    for (const char* candidate : {"/sys/kernel/mm/transparent_hugepage/enabled",
                                  "/sys/kernel/profiling", "/sys/kernel/uevent_seqnum"}) {
        struct stat status;
        if (stat(candidate, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 4096 &&
            d88test::ReadText(candidate).size() < 4096) {
            source = candidate;
            break;
        }
    }
    if (source.empty()) {
        GTEST_SKIP() << "no sysfs file that claims more bytes than it holds";
    }
    const std::string content = d88test::ReadText(source);
    TempDir work;
    ASSERT_EQ(symlink(source.c_str(), (work / "data.bin").c_str()), 0);
    const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "0"}, work.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, Progress("FileSize = 4096 HeaderCutSize = 0 CutSize = 4096 "));
    EXPECT_EQ(result.err, "hfclip: cannot write data.bin.$$$: data.bin ended after " +
                              std::to_string(content.size()) +
                              " of the 4096 bytes to keep; data.bin.$$$ removed, data.bin "
                              "unchanged\n");
    EXPECT_EQ(work.Entries(), (Entries{{"data.bin", "<other>"}}));
}

// A sparse file past 4 GiB costs no disk space; cutting near its end copies
// a few bytes but needs every size in full 64 bits.
TEST(HfclipEndToEnd, FilePastFourGibibytes) {
    constexpr int64_t kSize = (int64_t{5} << 30) + 3;
    const std::string tail = "0123456789";
    TempDir work;
    {
        const int file = open((work / "data.bin").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(file, 0);
        const bool sized = ftruncate(file, kSize) == 0;
        const bool written =
            sized && pwrite(file, tail.data(), tail.size(), kSize - 10) == ssize_t{10};
        close(file);
        if (!sized) {
            GTEST_SKIP() << "the file system refuses a sparse file of " << kSize << " bytes";
        }
        ASSERT_TRUE(written);
    }
    {
        SCOPED_TRACE("sum one past the size");
        const auto result =
            RunProgram(HFCLIP_PROGRAM, {"data.bin", std::to_string(kSize - 10), "11"}, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kTooLarge);
        EXPECT_EQ(fs::file_size(work / "data.bin"), static_cast<uintmax_t>(kSize));
        EXPECT_FALSE(fs::exists(work / "data.bin.$$$"));
    }
    const auto result =
        RunProgram(HFCLIP_PROGRAM, {"data.bin", std::to_string(kSize - 10)}, work.Path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out,
              Progress("FileSize = 5368709123 HeaderCutSize = 5368709113 CutSize = 10 "));
    EXPECT_EQ(result.err, "");
    // Entries() would read the backup whole; list the names and sizes instead.
    std::map<std::string, uintmax_t> sizes;
    for (const auto& entry : fs::directory_iterator(work.Path())) {
        sizes[entry.path().filename().string()] = entry.file_size();
    }
    EXPECT_EQ(sizes, (std::map<std::string, uintmax_t>{{"data.bin", 10}, {"data.bin.bak", kSize}}));
    EXPECT_EQ(d88test::ReadText(work / "data.bin"), tail);
}

}  // namespace
