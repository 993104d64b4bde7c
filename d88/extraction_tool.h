// What mublock and dirdump share beyond the reader: the open-failure
// message, the holder of output files and the checked console.
#ifndef EXTRACTION_TOOL_H
#define EXTRACTION_TOOL_H

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
