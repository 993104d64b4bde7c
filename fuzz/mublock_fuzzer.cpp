// Fuzz target for mublock: arbitrary bytes as the image, the whole program
// run in-process in the scratch work directory. In a writable directory every
// block must be written, so the run must end with 0; the files it leaves must
// be MU%03d files of at most 16,377 bytes in the work directory, and nothing
// may appear beside it.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mublock.h"
#include "fuzz_support.h"

namespace {

constexpr off_t kLargestBlockContent = 0x4000 - 1 - 6;
constexpr size_t kMostBlocks = 64 * 400;

[[noreturn]] void Violation(const std::string& what) {
    d88fuzz::ReportViolation("mublock_fuzzer", what);
}

bool IsBlockName(const std::string& name) {
    if (name.size() < 5 || name.compare(0, 2, "MU") != 0) {
        return false;
    }
    for (size_t i = 2; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    d88fuzz::KeepStandardError();
    d88fuzz::SilenceStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string work = d88fuzz::WorkDirectory();
    const int status = d88fuzz::RunOnInput(RunMublock, "mublock", data, size);
    if (status != 0) {
        Violation("exit status " + std::to_string(status) + " in a writable directory");
    }

    const auto outputs = d88fuzz::ListDirectory(work);
    if (outputs.size() > kMostBlocks) {
        Violation(std::to_string(outputs.size()) + " files, more than 64 disks can hold");
    }
    for (const std::string& name : outputs) {
        struct stat entry;
        if (!IsBlockName(name) || lstat((work + "/" + name).c_str(), &entry) != 0 ||
            !S_ISREG(entry.st_mode) || entry.st_size > kLargestBlockContent) {
            Violation("unexpected output " + name);
        }
    }
    d88fuzz::CheckNothingBesideTheWorkDirectory("mublock_fuzzer");
    d88fuzz::EmptyDirectory(work);
    return 0;
}
