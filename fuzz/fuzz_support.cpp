#include "fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace d88fuzz {

namespace {

std::string scratchPath;
FILE* keptStandardError = nullptr;

[[noreturn]] void Fail(const char* what, const std::string& path) {
    ReportViolation("fuzz scratch directory",
                    std::string(what) + " " + path + ": " + std::strerror(errno));
}

// At exit the scratch directory goes with everything the last input left.
void RemoveScratchDirectory() {
    const std::string work = WorkDirectory();
    for (const std::string& name : ListDirectory(work)) {
        unlink((work + "/" + name).c_str());
    }
    rmdir(work.c_str());
    for (const std::string& name : ListDirectory(scratchPath)) {
        unlink((scratchPath + "/" + name).c_str());
    }
    rmdir(scratchPath.c_str());
}

// The directory the process started in, opened on the first call, which
// comes before the first chdir.
int StartDirectory() {
    static const int descriptor = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return descriptor;
}

}  // namespace

void KeepStandardError() {
    const int copy = dup(2);
    keptStandardError = copy >= 0 ? fdopen(copy, "w") : nullptr;
}

void ReportViolation(const char* target, const std::string& what) {
    FILE* output = keptStandardError != nullptr ? keptStandardError : stderr;
    std::fprintf(output, "%s: %s\n", target, what.c_str());
    std::fflush(output);
    std::abort();
}

const std::string& ScratchDirectory() {
    if (scratchPath.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/d88fuzz.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot create", pattern);
        }
        scratchPath = pattern;
        if (mkdir(WorkDirectory().c_str(), 0700) != 0) {
            Fail("cannot create", WorkDirectory());
        }
        std::atexit(RemoveScratchDirectory);
    }
    return scratchPath;
}

std::string WorkDirectory() { return ScratchDirectory() + "/work"; }

void WriteInputFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        Fail("cannot create", path);
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) {
        Fail("cannot write", path);
    }
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    DIR* stream = opendir(directory.c_str());
    if (stream == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(stream)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(stream);
    return names;
}

void EmptyDirectory(const std::string& directory) {
    for (const std::string& name : ListDirectory(directory)) {
        const std::string path = directory + "/" + name;
        if (unlink(path.c_str()) != 0) {
            Fail("cannot remove", path);
        }
    }
}

InWorkDirectory::InWorkDirectory() {
    if (StartDirectory() < 0) {
        Fail("cannot open", ".");
    }
    if (chdir(WorkDirectory().c_str()) != 0) {
        Fail("cannot enter", WorkDirectory());
    }
}

InWorkDirectory::~InWorkDirectory() {
    if (fchdir(StartDirectory()) != 0) {
        Fail("cannot go back to", "the start directory");
    }
}

void SilenceStandardOutput() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        Fail("cannot redirect standard output to", "/dev/null");
    }
}

int RunOnInput(int (*run)(int, char*[]), const char* program, const uint8_t* data, size_t size) {
    static const std::string imagePath = ScratchDirectory() + "/image.d88";
    WriteInputFile(imagePath, data, size);
    std::string programName = program;
    std::string image = imagePath;
    char* argv[] = {programName.data(), image.data(), nullptr};
    InWorkDirectory inWork;
    return run(2, argv);
}

void CheckNothingBesideTheWorkDirectory(const char* target) {
    for (const std::string& name : ListDirectory(ScratchDirectory())) {
        if (name != "image.d88" && name != "work") {
            ReportViolation(target, "a file outside the work directory: " + name);
        }
    }
}

}  // namespace d88fuzz
