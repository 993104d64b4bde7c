// The file itself is only ever read: the kept range is copied to FILE.$$$,
// and the two renames never replace a file, so the untouched bytes stand
// under FILE or FILE.bak whatever fails.
#include "hfclip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "no_replace_rename.h"

namespace {

constexpr char kUsage[] =
    "HFCLIP.EXE: cut n-byte header & footer\n\nUsage: hfclip file headercutsize (cutsize)\n";

// "ファイルを読み込めません。\n" in Shift_JIS.
constexpr char kCannotReadMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x93\xC7\x82\xDD\x8D\x9E\x82\xDF\x82\xDC\x82\xB9"
    "\x82\xF1\x81\x42\n";
// "値の指定が大きすぎます。\n" in Shift_JIS.
constexpr char kTooLargeMessage[] =
    "\x92\x6C\x82\xCC\x8E\x77\x92\xE8\x82\xAA\x91\xE5\x82\xAB\x82\xB7\x82\xAC\x82\xDC\x82\xB7"
    "\x81\x42\n";
// "ファイルを書き込めません。\n" in Shift_JIS.
constexpr char kCannotWriteMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9"
    "\x82\xF1\x81\x42\n";
// "で、切り出します。\n" in Shift_JIS: the end of the progress line.
constexpr char kProgressLineEnd[] =
    "\x82\xC5\x81\x41\x90\xD8\x82\xE8\x8F\x6F\x82\xB5\x82\xDC\x82\xB7\x81\x42\n";

// The copy goes through this one buffer, whatever the size of the file; 1 MiB
// keeps the number of system calls as low as dd's with bs=1M.
unsigned char copyBuffer[1 << 20];

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor(descriptor) {}
    ~FileDescriptor() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool IsOpen() const { return descriptor >= 0; }
    int Get() const { return descriptor; }
    // Hands the descriptor over so that the caller can check its close.
    int Release() {
        const int released = descriptor;
        descriptor = -1;
        return released;
    }

private:
    int descriptor;
};

bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Writes all `size` bytes of `data`; false with errno set when a write fails.
bool WriteAll(int output, const unsigned char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(output, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Copies `count` bytes from offset `offset` of `input` to `output`. Returns
// an empty text on success, otherwise why the copy stopped.
std::string CopyKeptRange(int input, int output, int64_t offset, int64_t count,
                          const std::string& inputName) {
    int64_t copied = 0;
    while (copied < count) {
        const size_t wanted =
            static_cast<size_t>(std::min<int64_t>(count - copied, sizeof copyBuffer));
        const ssize_t got = pread(input, copyBuffer, wanted, offset + copied);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return "reading " + inputName + ": " + std::strerror(errno);
        }
        if (got == 0) {
            return inputName + " ended after " + std::to_string(copied) + " of the " +
                   std::to_string(count) + " bytes to keep";
        }
        if (!WriteAll(output, copyBuffer, static_cast<size_t>(got))) {
            return std::strerror(errno);
        }
        copied += got;
    }
    return "";
}

void ReportCopyFailure(const std::string& fileName, const std::string& temporaryName,
                       const std::string& reason) {
    const bool removed = unlink(temporaryName.c_str()) == 0;
    std::fprintf(stderr, "hfclip: cannot write %s: %s; %s %s, %s unchanged\n",
                 temporaryName.c_str(), reason.c_str(), temporaryName.c_str(),
                 removed ? "removed" : "could not be removed", fileName.c_str());
}

// Opens the temporary file for writing, created or emptied; -1 when that
// fails. Also -1, creating nothing, when the name is a FIFO without a reader
// (O_NONBLOCK keeps the open from waiting for one) and when it leads to the
// input file itself, which must never be emptied.
int OpenTemporaryFile(const std::string& temporaryName, const struct stat& inputStatus) {
    FileDescriptor output(
        open(temporaryName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat outputStatus;
    if (!output.IsOpen() || fstat(output.Get(), &outputStatus) != 0) {
        return -1;
    }
    if (outputStatus.st_dev == inputStatus.st_dev && outputStatus.st_ino == inputStatus.st_ino) {
        return -1;
    }
    // Only a leftover file is emptied: ext4 writes out on close every file
    // that was truncated, which would make a fresh one cost a flush.
    if (S_ISREG(outputStatus.st_mode) && outputStatus.st_size != 0 &&
        ftruncate(output.Get(), 0) != 0) {
        return -1;
    }
    return output.Release();
}

}  // namespace

bool ConvertSizeArgument(const char* text, int64_t& value) {
    while (IsWhiteSpace(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const int digit = *text - '0';
        if (magnitude > (INT64_MAX - digit) / 10) {
            return false;
        }
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

bool KeptRangeFits(int64_t fileSize, int64_t headerCutSize, int64_t cutSize) {
    int64_t room = 0;
    if (__builtin_sub_overflow(fileSize, headerCutSize, &room)) {
        // The room lies beyond the 64-bit range: above it when the header
        // cut size is negative, below it otherwise.
        return headerCutSize < 0;
    }
    return cutSize <= room;
}

int SwapInKeptRange(const std::string& fileName, const std::string& temporaryName,
                    const std::string& backupName, NoReplaceRename rename) {
    if (!rename(fileName.c_str(), backupName.c_str())) {
        std::fprintf(
            stderr,
            "hfclip: cannot rename %s to %s: %s; %s is unchanged, the kept bytes are in %s\n",
            fileName.c_str(), backupName.c_str(), std::strerror(errno), fileName.c_str(),
            temporaryName.c_str());
        return 1;
    }
    if (!rename(temporaryName.c_str(), fileName.c_str())) {
        std::fprintf(stderr,
                     "hfclip: cannot rename %s to %s: %s; the untouched file is now %s, the kept "
                     "bytes are in %s\n",
                     temporaryName.c_str(), fileName.c_str(), std::strerror(errno),
                     backupName.c_str(), temporaryName.c_str());
        return 1;
    }
    return 0;
}

int RunHfclip(int argc, char* argv[]) {
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    int64_t headerCutSize = 0;
    int64_t cutSize = 0;
    const bool sizesFit = ConvertSizeArgument(argv[2], headerCutSize) &&
                          (argc < 4 || ConvertSizeArgument(argv[3], cutSize));
    const std::string fileName = argv[1];
    const std::string temporaryName = fileName + ".$$$";
    const std::string backupName = fileName + ".bak";

    // The size comes from the open file, not from the name, so that the size
    // test and the copy see the same file. O_NONBLOCK keeps the open from
    // waiting on a FIFO, which is refused like every file that is not a
    // regular one; regular files ignore the flag.
    FileDescriptor input(open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat inputStatus;
    if (!input.IsOpen() || fstat(input.Get(), &inputStatus) != 0 || !S_ISREG(inputStatus.st_mode)) {
        std::fputs(kCannotReadMessage, stderr);
        return 1;
    }
    const int64_t fileSize = inputStatus.st_size;
    if (!sizesFit) {
        std::fputs(kTooLargeMessage, stderr);
        return 1;
    }
    if (headerCutSize < 0) {
        std::fprintf(stderr,
                     "hfclip: header cut size %" PRId64 " is negative; it must be 0 or more\n",
                     headerCutSize);
        return 1;
    }
    if (argc < 4) {
        cutSize = fileSize - headerCutSize;
    }
    if (!KeptRangeFits(fileSize, headerCutSize, cutSize)) {
        std::fputs(kTooLargeMessage, stderr);
        return 1;
    }
    FileDescriptor output(OpenTemporaryFile(temporaryName, inputStatus));
    if (!output.IsOpen()) {
        std::fputs(kCannotWriteMessage, stderr);
        return 1;
    }

    std::printf("FileSize = %" PRId64 " HeaderCutSize = %" PRId64 " ", fileSize, headerCutSize);
    if (cutSize != 0) {
        std::printf("CutSize = %" PRId64 " ", cutSize);
    }
    std::fputs(kProgressLineEnd, stdout);

    const std::string copyFailure =
        CopyKeptRange(input.Get(), output.Get(), headerCutSize, cutSize, fileName);
    if (!copyFailure.empty()) {
        ReportCopyFailure(fileName, temporaryName, copyFailure);
        return 1;
    }
    if (close(output.Release()) != 0) {
        ReportCopyFailure(fileName, temporaryName, std::strerror(errno));
        return 1;
    }
    const int status = SwapInKeptRange(fileName, temporaryName, backupName, RenameNoReplace);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "hfclip: standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
