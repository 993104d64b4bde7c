// Builds D88 images in memory for tests, a few readable lines per fixture.
//
//   d88test::Disk disk;
//   disk.name = "WORK";
//   disk.Track(0).push_back(d88test::MakeSector(0, 0, 1, 3, Bytes(1024, 0xAA)));
//   WriteFile("image.d88", d88test::BuildImage({disk}));
//
// Every header field can be overridden, so damaged images are as easy to
// write as sound ones; truncate the returned bytes to cut an image short.
#ifndef D88_BUILDER_H
#define D88_BUILDER_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace d88test {

using Bytes = std::vector<uint8_t>;

constexpr int kDataDiskTracks = 80;
constexpr int kDataDiskSectorsPerTrack = 5;
constexpr int kDataDiskSectorSize = 1024;
constexpr int kDataDiskSectors = kDataDiskTracks * kDataDiskSectorsPerTrack;
constexpr int kDataDiskBytes = kDataDiskSectors * kDataDiskSectorSize;

struct Sector {
    uint8_t c = 0, h = 0, r = 1, n = 3;
    Bytes data;
    // The record's sector count; by default the number of records of its track.
    std::optional<uint16_t> count;
    // The record's data size field; by default data.size(). The bytes that
    // follow the record are always `data`, whatever this field says.
    std::optional<uint16_t> dataSize;
};

Sector MakeSector(int c, int h, int r, int n, Bytes data);

struct Disk {
    // Up to 17 bytes go into the name field (a 17th byte lands on the NUL
    // that normally ends the name).
    std::string name;
    uint8_t mediaType = 0;
    uint8_t writeProtect = 0;
    // The disk size field; by default the disk's real size.
    std::optional<uint32_t> diskSize;
    // Records of each track index, in track order. Tracks are laid out in
    // ascending index after the header.
    std::map<int, std::vector<Sector>> tracks;
    // Track offset table entries that replace the ones the layout gives.
    std::map<int, uint32_t> trackOffsets;

    std::vector<Sector>& Track(int index) { return tracks[index]; }
};

// The bytes of one disk: header, then its tracks.
Bytes BuildDisk(const Disk& disk);

// The disks back to back.
Bytes BuildImage(const std::vector<Disk>& disks);

// A data disk (80 tracks of sectors 1 to 5, 1024 bytes, N = 3, C = track / 2,
// H = track % 2) whose logical sector s holds bytes s * 1024 onwards of
// `logical`; missing bytes are zero.
Disk MakeDataDisk(const Bytes& logical, const std::string& name = "");

// A data disk's 409,600 logical bytes, all zero.
Bytes BlankLogicalDisk();

// Places `bytes` at `offset` of `target`, growing it when needed.
void Put(Bytes& target, size_t offset, const Bytes& bytes);

// Bytes from text, without the terminating NUL.
Bytes TextBytes(const std::string& text);

// Whole files in and out; both throw when the file cannot be written or read.
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

}  // namespace d88test

#endif
