// What mublock and dirdump share beyond the reader: the open-failure
// message, the creation of output files and the checked console.
#ifndef EXTRACTION_TOOL_H
#define EXTRACTION_TOOL_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

// "ファイルをオープンできません.\n" (the file cannot be opened) in Shift_JIS.
inline constexpr char kOpenFailedMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC5"
    "\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FileHolder = std::unique_ptr<FILE, FileCloser>;

// errno after a failed call, never 0, so that a failure is kept as one even
// on a library that does not set errno.
inline int FailureErrno() { return errno != 0 ? errno : EIO; }

// Creates output files without ever emptying the image being read: an image
// named like an output (MU001, or a name its directory lists) in the current
// directory would otherwise be lost in the middle of the run.
class OutputCreator {
public:
    // The error of an output that is the image itself.
    static constexpr int kIsTheImage = -1;

    // Remembers the image at `imagePath`; when it cannot be looked up there
    // is nothing to guard.
    explicit OutputCreator(const char* imagePath) {
        imageKnown = stat(imagePath, &image) == 0;
    }

    // Opens `name` for writing as fopen(name, "wb") does, creating it or
    // emptying it; null when that fails, with the errno, or kIsTheImage, in
    // `error`.
    FileHolder Create(const char* name, int& error) const {
        // O_NONBLOCK makes a FIFO without a reader fail at once instead of
        // hanging the run; writes then block again as usual.
        const int descriptor =
            open(name, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        struct stat output;
        if (descriptor < 0 || fstat(descriptor, &output) != 0 ||
            fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
            return Fail(descriptor, FailureErrno(), error);
        }
        if (imageKnown && output.st_dev == image.st_dev && output.st_ino == image.st_ino) {
            return Fail(descriptor, kIsTheImage, error);
        }
        if (S_ISREG(output.st_mode) && output.st_size != 0 && ftruncate(descriptor, 0) != 0) {
            return Fail(descriptor, FailureErrno(), error);
        }
        FILE* file = fdopen(descriptor, "wb");
        if (file == nullptr) {
            return Fail(descriptor, FailureErrno(), error);
        }
        return FileHolder(file);
    }

    // The reason a Create or a later write failed with `error`, for messages.
    static const char* Reason(int error) {
        return error == kIsTheImage ? "it is the image being read; not overwritten"
                                    : std::strerror(error);
    }

private:
    static FileHolder Fail(int descriptor, int reason, int& error) {
        if (descriptor >= 0) {
            close(descriptor);
        }
        error = reason;
        return nullptr;
    }

    struct stat image;
    bool imageKnown = false;
};

// Standard output of one run. A write that fails can make the stream drop
// the rest of its buffer, so the flush at the end does not always see the
// failure: the first one's errno is kept as it happens.
class Console {
public:
    __attribute__((format(printf, 2, 3))) void Print(const char* format, ...) {
        va_list arguments;
        va_start(arguments, format);
        if (std::vprintf(format, arguments) < 0 && firstError == 0) {
            firstError = errno;
        }
        va_end(arguments);
    }

    // Flushes standard output; true when everything printed went out,
    // otherwise false after "PROGRAM: standard output: REASON" on stderr.
    bool Finish(const char* program) {
        if (std::fflush(stdout) != 0 && firstError == 0) {
            firstError = errno;
        }
        if (firstError == 0) {
            return true;
        }
        std::fprintf(stderr, "%s: standard output: %s\n", program, std::strerror(firstError));
        return false;
    }

private:
    int firstError = 0;
};

#endif
