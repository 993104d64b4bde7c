#include "program_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "d88_builder.h"

namespace d88test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "d88test.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may take write or search permission away; give it back so that
    // everything can be removed.
    for (auto it = fs::recursive_directory_iterator(path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

std::map<std::string, std::string> TempDir::Entries() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(path)) {
        // Lexical, so that a link is listed under its own name, not its target.
        const std::string name = entry.path().lexically_relative(path).string();
        if (entry.is_symlink()) {
            entries[name] = "<other>";
        } else if (entry.is_directory()) {
            entries[name] = "<dir>";
        } else if (entry.is_regular_file()) {
            entries[name] = ReadText(entry.path().string());
        } else {
            entries[name] = "<other>";
        }
    }
    return entries;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory) {
    TempDir capture;
    const std::string outPath = capture / "stdout";
    const std::string errPath = capture / "stderr";

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0 || chdir(workingDirectory.c_str()) != 0) {
            _exit(127);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("waitpid failed");
        }
    }
    RunResult result;
    if (WIFSIGNALED(status)) {
        result.killedBySignal = true;
        result.exitStatus = 128 + WTERMSIG(status);
    } else {
        result.exitStatus = WEXITSTATUS(status);
    }
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

}  // namespace d88test
