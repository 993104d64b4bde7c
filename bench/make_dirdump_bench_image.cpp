// The dirdump benchmark's data: 64 data disks, each with 127 files that
// own every sector but the directory, sector s going to entry s % 127, so a
// file's sectors lie spread over the whole disk.
//
//   make_dirdump_bench_image IMAGE   writes the image
//   make_dirdump_bench_image --files writes, in the current directory, the
//                                    files that dirdump writes from IMAGE,
//                                    straight from memory: the floor
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"

namespace {

using d88test::Bytes;

constexpr int kDisks = 64;
constexpr int kFilesPerDisk = 127;
constexpr int kDirectorySector = 399;
constexpr size_t kSectorSize = 1024;
constexpr size_t kFileHeaderSize = 6;

std::string FileName(int disk, int entry) {
    char name[8];
    std::snprintf(name, sizeof name, "%02x%02x", disk, entry);
    return name;
}

// Entry `entry` owns sectors entry, entry + 127, ... below the directory,
// and its content fills them all.
size_t FileLength(int entry) {
    int owned = 0;
    for (int sector = entry; sector < kDirectorySector; sector += kFilesPerDisk) {
        ++owned;
    }
    return owned * kSectorSize - kFileHeaderSize;
}

Bytes FileContent(int disk, int entry) {
    Bytes content(FileLength(entry));
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<uint8_t>(disk * 7 + entry * 13 + i * 31 + i / 251);
    }
    return content;
}

d88test::Disk BenchDisk(int disk) {
    Bytes logical = d88test::BlankLogicalDisk();
    const size_t directory = kDirectorySector * kSectorSize;
    for (int entry = 0; entry < kFilesPerDisk; ++entry) {
        const std::string name = FileName(disk, entry);
        std::memcpy(&logical[directory + 4 * entry], name.data(), 4);
        const Bytes content = FileContent(disk, entry);
        Bytes stored(kFileHeaderSize, 0);
        stored[4] = static_cast<uint8_t>((content.size() - 1) & 0xFF);
        stored[5] = static_cast<uint8_t>((content.size() - 1) >> 8);
        stored.insert(stored.end(), content.begin(), content.end());
        size_t offset = 0;
        for (int sector = entry; sector < kDirectorySector; sector += kFilesPerDisk) {
            logical[directory + 512 + sector] = static_cast<uint8_t>(entry);
            std::memcpy(&logical[sector * kSectorSize], &stored[offset], kSectorSize);
            offset += kSectorSize;
        }
    }
    return d88test::MakeDataDisk(logical);
}

bool WriteExpectedFiles() {
    std::vector<std::pair<std::string, Bytes>> files;
    for (int disk = 0; disk < kDisks; ++disk) {
        for (int entry = 0; entry < kFilesPerDisk; ++entry) {
            files.emplace_back(FileName(disk, entry), FileContent(disk, entry));
        }
    }
    for (const auto& [name, content] : files) {
        FILE* file = std::fopen(name.c_str(), "wb");
        if (file == nullptr) {
            std::perror(name.c_str());
            return false;
        }
        const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
        if (std::fclose(file) != 0 || !written) {
            std::perror(name.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("Usage: make_dirdump_bench_image IMAGE | --files\n", stderr);
        return 1;
    }
    if (std::strcmp(argv[1], "--files") == 0) {
        return WriteExpectedFiles() ? 0 : 1;
    }
    std::vector<d88test::Disk> disks;
    for (int disk = 0; disk < kDisks; ++disk) {
        disks.push_back(BenchDisk(disk));
    }
    try {
        d88test::WriteFile(argv[1], d88test::BuildImage(disks));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_dirdump_bench_image: %s\n", error.what());
        return 1;
    }
    return 0;
}
