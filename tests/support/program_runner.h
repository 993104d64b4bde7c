// Runs a real program binary for end-to-end tests: in a fresh temporary
// directory, with its stdout and stderr captured byte for byte.
#ifndef PROGRAM_RUNNER_H
#define PROGRAM_RUNNER_H

#include <map>
#include <string>
#include <vector>

namespace d88test {

struct RunResult {
    // The exit status; 128 + the signal number when a signal ended the run.
    int exitStatus = -1;
    bool killedBySignal = false;
    std::string out;
    std::string err;
};

// A directory under the system's temporary directory, removed with all it
// holds when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    // Path of `name` inside the directory.
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    // Every entry below the directory, by its path relative to it: regular
    // files map to their content, directories to "<dir>", other entries
    // (links, FIFOs) to "<other>".
    std::map<std::string, std::string> Entries() const;

private:
    std::string path;
};

// Runs `program` with `arguments` (passed as raw bytes) in `workingDirectory`
// and waits for it. Standard input is /dev/null.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory);

}  // namespace d88test

#endif
