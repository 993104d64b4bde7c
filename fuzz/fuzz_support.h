// What the fuzz targets share: the report of a broken invariant, and for the
// targets that work on files a scratch directory, made once per process
// under $TMPDIR (or /tmp) and removed at exit. It holds the input written as
// an image file, and a work directory that the programs write their outputs
// into.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d88fuzz {

// Keeps a copy of standard error for ReportViolation. Call it from
// LLVMFuzzerInitialize, which runs before -close_fd_mask=2 sends standard
// error, and with it the programs' messages, to /dev/null.
void KeepStandardError();

// Writes "TARGET: WHAT" to the standard error kept by KeepStandardError (or
// to standard error) and aborts, which libFuzzer reports as a finding.
[[noreturn]] void ReportViolation(const char* target, const std::string& what);

// Makes the scratch directory and its work directory, once; aborts when
// either cannot be made. Returns the scratch directory's path.
const std::string& ScratchDirectory();

// Path of the work directory inside the scratch directory.
std::string WorkDirectory();

// Writes `size` bytes of `data` to `path`, replacing its content; aborts when
// that fails, since no input could be tested then.
void WriteInputFile(const std::string& path, const uint8_t* data, size_t size);

// Names of the entries of `directory`, "." and ".." left out, in the order
// the directory lists them.
std::vector<std::string> ListDirectory(const std::string& directory);

// Removes every entry of `directory` (regular files; the programs make
// nothing else); aborts when one cannot be removed.
void EmptyDirectory(const std::string& directory);

// Runs the programs inside the work directory for its lifetime and goes back
// to the directory the process started in afterwards, so that libFuzzer's
// relative corpus and artifact paths keep their meaning.
class InWorkDirectory {
public:
    InWorkDirectory();
    ~InWorkDirectory();
    InWorkDirectory(const InWorkDirectory&) = delete;
    InWorkDirectory& operator=(const InWorkDirectory&) = delete;
};

// Redirects standard output to /dev/null so that the programs' console
// lines cost no terminal or pipe.
void SilenceStandardOutput();

// Writes the input as the image file and runs `run` on the command line
// "PROGRAM IMAGE" inside the work directory; returns its exit status.
int RunOnInput(int (*run)(int, char*[]), const char* program, const uint8_t* data, size_t size);

// Reports a violation for `target` when anything but the image file and the
// work directory stands in the scratch directory.
void CheckNothingBesideTheWorkDirectory(const char* target);

}  // namespace d88fuzz

#endif
