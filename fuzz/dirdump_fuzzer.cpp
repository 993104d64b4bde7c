// Fuzz target for dirdump: arbitrary bytes as the image, the whole program
// run in-process in the scratch work directory. The run must end with 0 or 1;
// the files it leaves must be regular files of at most 65,536 bytes whose
// names are 1 to 4 bytes without "/", in the work directory, and nothing may
// appear beside it.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dirdump.h"
#include "fuzz_support.h"

namespace {

constexpr off_t kLargestFile = 65536;

[[noreturn]] void Violation(const std::string& what) {
    d88fuzz::ReportViolation("dirdump_fuzzer", what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    d88fuzz::KeepStandardError();
    d88fuzz::SilenceStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string work = d88fuzz::WorkDirectory();
    const int status = d88fuzz::RunOnInput(RunDirdump, "dirdump", data, size);
    if (status != 0 && status != 1) {
        Violation("exit status " + std::to_string(status));
    }

    for (const std::string& name : d88fuzz::ListDirectory(work)) {
        struct stat entry;
        if (name.empty() || name.size() > 4 || name.find('/') != std::string::npos ||
            lstat((work + "/" + name).c_str(), &entry) != 0 || !S_ISREG(entry.st_mode) ||
            entry.st_size > kLargestFile) {
            Violation("unexpected output " + name);
        }
    }
    d88fuzz::CheckNothingBesideTheWorkDirectory("dirdump_fuzzer");
    d88fuzz::EmptyDirectory(work);
    return 0;
}
