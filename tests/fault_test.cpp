// Faults around the tools rather than in their input: hfclip killed in the
// middle of its work, outputs that cannot be written, and a current directory
// in which nothing can be created, not even by root.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
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
using Clock = std::chrono::steady_clock;

// "ファイルを書き込めません。\n"
const std::string kCannotWrite =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9"
    "\x82\xF1\x81\x42\n";
// "で、切り出します。\n"
const std::string kProgressEnd =
    "\x82\xC5\x81\x41\x90\xD8\x82\xE8\x8F\x6F\x82\xB5\x82\xDC\x82\xB7\x81\x42\n";

bool Exists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

// ---------------------------------------------------------------------------
// hfclip killed with SIGKILL during the copy of a large file.

// 64 MiB: the copy takes some 50 ms or more, long enough to be hit at 20
// moments a few milliseconds apart, and the whole test stays within seconds.
constexpr size_t kLargeSize = size_t{64} << 20;
// An odd header cut size, so that a kept range shifted by any amount shows.
constexpr size_t kLargeHeader = 4099;
constexpr int kKillPoints = 20;

Bytes LargeContent() {
    Bytes content(kLargeSize);
    uint64_t word = 0x9E3779B97F4A7C15;
    for (size_t i = 0; i < kLargeSize; i += 8) {
        word = word * 6364136223846793005u + 1442695040888963407u;
        std::memcpy(content.data() + i, &word, 8);
    }
    return content;
}

// True when the file at `path` holds exactly `size` bytes equal to
// `expected`; the file is read in pieces so that no second copy is needed.
bool FileHolds(const std::string& path, const uint8_t* expected, size_t size) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    struct stat status;
    bool same = fstat(file, &status) == 0 && S_ISREG(status.st_mode) &&
                static_cast<size_t>(status.st_size) == size;
    std::vector<uint8_t> piece(size_t{4} << 20);
    for (size_t done = 0; same && done < size;) {
        const ssize_t got = pread(file, piece.data(), std::min(piece.size(), size - done),
                                  static_cast<off_t>(done));
        same = got > 0 && std::memcmp(piece.data(), expected + done, static_cast<size_t>(got)) == 0;
        done += got > 0 ? static_cast<size_t>(got) : 0;
    }
    close(file);
    return same;
}

// Size of the file at `path`, or -1 when there is none.
int64_t SizeOf(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

// Starts hfclip in `directory` with its output thrown away; returns its pid.
pid_t StartHfclip(const std::vector<std::string>& arguments, const std::string& directory) {
    std::vector<char*> argv;
    std::string program = HFCLIP_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 ||
            chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Waits for `child`; returns its exit status, or 128 + the signal number.
int ExitStatus(int status) {
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

int Wait(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return ExitStatus(status);
}

// Where the work stood when the kill came.
enum class KillPhase { kNoTemporaryFile, kDuringCopy, kCopied, kBetweenRenames, kFinished };

// The kills are spread over the copy: the n-th of them comes as soon as the
// temporary file holds (2n + 1) / 40 of the kept bytes, whatever the speed
// of the machine, or when the run ends first. After each kill the original
// must stand whole under the file name or the backup name and every other
// file must be part of the work; then the leftovers go (the temporary file
// removed, the backup moved back), and a rerun must give exactly the cut.
TEST(HfclipFaults, SigkillDuringTheCopyLosesNothing) {
    const Bytes original = LargeContent();
    const uint8_t* kept = original.data() + kLargeHeader;
    const size_t keptSize = kLargeSize - kLargeHeader;
    TempDir work;
    const std::string file = work / "data.bin";
    const std::string backup = work / "data.bin.bak";
    const std::string temporary = work / "data.bin.$$$";
    d88test::WriteFile(file, original);
    const std::vector<std::string> arguments = {"data.bin", std::to_string(kLargeHeader)};

    std::map<KillPhase, int> phases;
    for (int point = 0; point < kKillPoints; ++point) {
        const auto target = static_cast<int64_t>(keptSize * (2 * point + 1) / (2 * kKillPoints));
        SCOPED_TRACE("kill " + std::to_string(point) + " at " + std::to_string(target) + " bytes");
        const pid_t child = StartHfclip(arguments, work.Path());
        ASSERT_GT(child, 0);
        int waitStatus = 0;
        pid_t ended = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (SizeOf(temporary) < target &&
               (ended = waitpid(child, &waitStatus, WNOHANG)) == 0 && Clock::now() < deadline) {
        }
        int status = 0;
        if (ended == child) {
            status = ExitStatus(waitStatus);
        } else {
            kill(child, SIGKILL);
            status = Wait(child);
        }
        ASSERT_TRUE(status == 128 + SIGKILL || status == 0) << status;

        // The original stands whole under one of its two names, and the
        // temporary file, when there is one, holds the start of the kept range.
        const bool fileIsOriginal = FileHolds(file, original.data(), kLargeSize);
        const bool backupIsOriginal = FileHolds(backup, original.data(), kLargeSize);
        ASSERT_TRUE(fileIsOriginal || backupIsOriginal) << "the original bytes are lost";
        const int64_t temporarySize = SizeOf(temporary);
        KillPhase phase;
        if (fileIsOriginal) {
            ASSERT_FALSE(Exists(backup));
            ASSERT_LE(temporarySize, static_cast<int64_t>(keptSize));
            if (temporarySize > 0) {
                ASSERT_TRUE(FileHolds(temporary, kept, static_cast<size_t>(temporarySize)));
            }
            phase = temporarySize < 0                                ? KillPhase::kNoTemporaryFile
                    : temporarySize < static_cast<int64_t>(keptSize) ? KillPhase::kDuringCopy
                                                                     : KillPhase::kCopied;
        } else if (!Exists(file)) {
            ASSERT_TRUE(FileHolds(temporary, kept, keptSize));
            phase = KillPhase::kBetweenRenames;
        } else {
            ASSERT_TRUE(FileHolds(file, kept, keptSize));
            ASSERT_FALSE(Exists(temporary));
            phase = KillPhase::kFinished;
        }
        ++phases[phase];

        // Leftovers removed, the original back under its name, and a rerun.
        if (temporarySize >= 0) {
            ASSERT_EQ(unlink(temporary.c_str()), 0);
        }
        if (backupIsOriginal) {
            ASSERT_EQ(rename(backup.c_str(), file.c_str()), 0);
        }
        ASSERT_EQ(Wait(StartHfclip(arguments, work.Path())), 0);
        ASSERT_TRUE(FileHolds(file, kept, keptSize)) << "the rerun did not cut the file";
        ASSERT_TRUE(FileHolds(backup, original.data(), kLargeSize));
        ASSERT_FALSE(Exists(temporary));
        ASSERT_EQ(rename(backup.c_str(), file.c_str()), 0);
    }
    // Nearly every kill lands inside the copy; the test must not pass
    // without having hit it.
    EXPECT_GE(phases[KillPhase::kDuringCopy], kKillPoints / 4)
        << "without a temporary file " << phases[KillPhase::kNoTemporaryFile] << ", after the copy "
        << phases[KillPhase::kCopied] << ", between the renames "
        << phases[KillPhase::kBetweenRenames] << ", finished " << phases[KillPhase::kFinished];
    RecordProperty("killsWithoutTemporaryFile", phases[KillPhase::kNoTemporaryFile]);
    RecordProperty("killsDuringCopy", phases[KillPhase::kDuringCopy]);
    RecordProperty("killsAfterCopy", phases[KillPhase::kCopied]);
    RecordProperty("killsBetweenRenames", phases[KillPhase::kBetweenRenames]);
    RecordProperty("killsAfterRenames", phases[KillPhase::kFinished]);
}

// ---------------------------------------------------------------------------
// hfclip outputs that cannot be written. (Its temporary file in the way, as a
// directory or a link to /dev/full, is in the end-to-end tests.)

std::string Original100() {
    std::string bytes;
    for (int i = 0; i < 100; ++i) {
        bytes.push_back(static_cast<char>(i * 3));
    }
    return bytes;
}

// The backup name taken by something that is no file: the first rename is
// refused, the untouched file keeps its name and the kept bytes wait in the
// temporary file.
TEST(HfclipFaults, BackupNameInTheWay) {
    const struct {
        const char* what;
        std::function<void(const TempDir&)> prepare;
    } cases[] = {
        {"a directory", [](const TempDir& work) { fs::create_directory(work / "data.bin.bak"); }},
        {"a link to /dev/full",
         [](const TempDir& work) { fs::create_symlink("/dev/full", work / "data.bin.bak"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir work;
        d88test::WriteText(work / "data.bin", Original100());
        c.prepare(work);
        const Entries before = work.Entries();
        const auto result = RunProgram(HFCLIP_PROGRAM, {"data.bin", "10", "20"}, work.Path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "FileSize = 100 HeaderCutSize = 10 CutSize = 20 " + kProgressEnd);
        EXPECT_EQ(result.err,
                  "hfclip: cannot rename data.bin to data.bin.bak: File exists; data.bin is "
                  "unchanged, the kept bytes are in data.bin.$$$\n");
        Entries expected = before;
        expected["data.bin.$$$"] = Original100().substr(10, 20);
        EXPECT_EQ(work.Entries(), expected);
    }
}

// The progress line cannot be written: the cut is made all the same, and the
// failure is reported with status 1.
TEST(HfclipFaults, StandardOutputThatCannotBeWritten) {
    TempDir work;
    d88test::WriteText(work / "data.bin", Original100());
    const auto result = RunProgram(
        "/bin/sh", {"-c", "exec \"$0\" \"$@\" > /dev/full", HFCLIP_PROGRAM, "data.bin", "10"},
        work.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "hfclip: standard output: No space left on device\n");
    EXPECT_EQ(work.Entries(),
              (Entries{{"data.bin", Original100().substr(10)}, {"data.bin.bak", Original100()}}));
}

// ---------------------------------------------------------------------------
// A current directory in which nothing can be created. Tests run as root, to
// whom permissions are no obstacle; two things stop root too: the immutable
// flag of ext2/3/4, XFS and Btrfs (which needs CAP_LINUX_IMMUTABLE to set),
// and /proc, where no file can be created at all.

// The errno of creating a file in `directory` as the tools do, or 0 when
// that works (the file is then removed).
int CreationError(const std::string& directory) {
    const std::string probe = directory + "/MU999";
    const int file = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file >= 0) {
        close(file);
        unlink(probe.c_str());
        return 0;
    }
    return errno;
}

// A directory of the test's own, made immutable once `Lock` has been called;
// the flag goes again when the object does, so that it can be removed.
class ImmutableDirectory {
public:
    ImmutableDirectory() : path(base / "locked") { fs::create_directory(path); }
    ~ImmutableDirectory() { SetImmutable(false); }

    // True when the directory is now immutable and refuses new files;
    // otherwise false with `why` saying what failed.
    bool Lock(std::string& why) {
        if (!SetImmutable(true)) {
            why = std::string("the immutable flag cannot be set: ") + std::strerror(errno);
            return false;
        }
        if (CreationError(path) == 0) {
            why = "the immutable directory accepts new files";
            return false;
        }
        return true;
    }

    const std::string& Path() const { return path; }
    Entries Contents() const {
        Entries contents;
        for (const auto& [name, content] : base.Entries()) {
            contents[fs::path(name).lexically_relative("locked").string()] = content;
        }
        contents.erase(".");
        return contents;
    }

private:
    bool SetImmutable(bool on) {
        const int directory = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (directory < 0) {
            return false;
        }
        int flags = 0;
        bool set = ioctl(directory, FS_IOC_GETFLAGS, &flags) == 0;
        if (set) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            set = ioctl(directory, FS_IOC_SETFLAGS, &flags) == 0;
        }
        const int saved = errno;
        close(directory);
        errno = saved;
        return set;
    }

    TempDir base;
    std::string path;
};

// One place to run in, with what a tool finds there before it runs.
struct UnwritablePlace {
    std::string what;
    std::string directory;
    // Why creating a file there fails, as strerror gives it.
    std::string reason;
    // What the directory holds, when the test can list it; the tools must
    // leave it so.
    std::function<Entries()> contents;
};

// Runs `check` in every place where nothing can be created that this
// machine offers; `files` go into the immutable directory before it is
// locked. Skips, saying why, when there is none.
void ForEachUnwritablePlace(const Entries& files,
                            const std::function<void(const UnwritablePlace&)>& check) {
    std::vector<std::string> refused;
    {
        ImmutableDirectory locked;
        for (const auto& [name, content] : files) {
            d88test::WriteText(locked.Path() + "/" + name, content);
        }
        std::string why;
        if (locked.Lock(why)) {
            SCOPED_TRACE("an immutable directory");
            check({"an immutable directory", locked.Path(),
                   std::strerror(CreationError(locked.Path())),
                   [&locked] { return locked.Contents(); }});
        } else {
            refused.push_back(why);
        }
    }
    const int procError = CreationError("/proc");
    if (procError != 0) {
        SCOPED_TRACE("/proc");
        check({"/proc", "/proc", std::strerror(procError), nullptr});
    } else {
        refused.push_back("/proc accepts new files");
    }
    if (refused.size() == 2) {
        GTEST_SKIP() << "no directory in which nothing can be created: " << refused[0] << "; "
                     << refused[1];
    }
}

// Two RM blocks on a data disk: every block is reported, none written, and
// the run ends with 1.
TEST(UnwritableDirectory, Mublock) {
    Bytes logical = d88test::BlankLogicalDisk();
    for (size_t sector : {0u, 7u}) {
        d88test::Put(logical, sector * 1024 + 6, d88test::TextBytes("RMab"));
        d88test::Put(logical, sector * 1024 + 10, Bytes(5, 0xFD));
    }
    TempDir images;
    const std::string image = images / "image.d88";
    d88test::WriteFile(image, d88test::BuildImage({d88test::MakeDataDisk(logical)}));
    ForEachUnwritablePlace({}, [&](const UnwritablePlace& place) {
        const Entries before = place.contents ? place.contents() : Entries{};
        const auto result = RunProgram(MUBLOCK_PROGRAM, {image}, place.directory);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out,
                  "MU000 diskno=0 trk=01 sec= 1 size=  15\n"
                  "MU001 diskno=0 trk=02 sec= 3 size=  15\n");
        EXPECT_EQ(result.err,
                  "mublock: MU000: " + place.reason + "\nmublock: MU001: " + place.reason + "\n");
        if (place.contents) {
            EXPECT_EQ(place.contents(), before);
        }
        EXPECT_FALSE(Exists(place.directory + "/MU000"));
    });
}

// Two listed files: each line is printed and ended, each file reported, and
// the run ends with 1.
TEST(UnwritableDirectory, Dirdump) {
    Bytes logical = d88test::BlankLogicalDisk();
    Bytes directory(1024, 0xFF);
    d88test::Put(directory, 0, d88test::TextBytes(std::string("ONE\0TWO\0", 8)));
    directory[8] = 0x00;
    directory[512 + 3] = 0;
    directory[512 + 4] = 1;
    d88test::Put(logical, 399 * 1024, directory);
    d88test::Put(logical, 3 * 1024, Bytes{0, 0, 0, 0, 2, 0, 'a', 'b', 'c'});
    d88test::Put(logical, 4 * 1024, Bytes{0, 0, 0, 0, 0, 0, 'z'});
    TempDir images;
    const std::string image = images / "image.d88";
    d88test::WriteFile(image, d88test::BuildImage({d88test::MakeDataDisk(logical)}));
    ForEachUnwritablePlace({}, [&](const UnwritablePlace& place) {
        const Entries before = place.contents ? place.contents() : Entries{};
        const auto result = RunProgram(DIRDUMP_PROGRAM, {image}, place.directory);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "00 : ONE  : \n01 : TWO  : \n");
        EXPECT_EQ(result.err,
                  "dirdump: ONE: " + place.reason + "\ndirdump: TWO: " + place.reason + "\n");
        if (place.contents) {
            EXPECT_EQ(place.contents(), before);
        }
        EXPECT_FALSE(Exists(place.directory + "/ONE"));
    });
}

// The file to cut lies in the directory: its temporary file cannot be made,
// so the write message ends the run before anything is renamed. In /proc a
// file of its own stands in: "version", a regular file of size 0.
TEST(UnwritableDirectory, Hfclip) {
    ForEachUnwritablePlace({{"data.bin", Original100()}}, [&](const UnwritablePlace& place) {
        const Entries before = place.contents ? place.contents() : Entries{};
        const std::string file = place.contents ? "data.bin" : "version";
        const auto result = RunProgram(HFCLIP_PROGRAM, {file, "0"}, place.directory);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, kCannotWrite);
        if (place.contents) {
            EXPECT_EQ(place.contents(), before);
        }
        EXPECT_FALSE(Exists(place.directory + "/" + file + ".$$$"));
        EXPECT_FALSE(Exists(place.directory + "/" + file + ".bak"));
    });
}

}  // namespace
