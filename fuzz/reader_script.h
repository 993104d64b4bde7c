// The call script of the reader's fuzz target. An input is
//
//   [image bytes][script bytes][script length, 16-bit little-endian]
//
// and the script is a run of calls, each an opcode byte followed by its
// numbers. An opcode with kWideNumbers set takes its numbers as 32-bit
// little-endian values; without it each number is one or two bytes, offset so
// that the values around the limits (-1, 164, 64) are reached.
#ifndef READER_SCRIPT_H
#define READER_SCRIPT_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d88fuzz {

enum ReaderCall : uint8_t {
    kSelectDisk,      // index: byte - 2
    kSetSectorRange,  // first, last: a byte each
    kReadSector,      // track: byte - 8; C, H, R, N: a byte each; capacity: 16-bit
    kReadSectors,     // as kReadSector, N taken modulo 24; length: 16-bit
    kReadTrackIds,    // track: byte - 8; capacity: 16-bit
    kClose,           // Open() without a path
    kReopen,          // Open() with the image's path again
    kReadDataTrack,   // track: byte; the programs' call for a data-disk track
    kReaderCallCount
};
constexpr uint8_t kWideNumbers = 0x80;
constexpr int32_t kNarrowIndexOffset = 2;
constexpr int32_t kNarrowTrackOffset = 8;

// Splits an input into its image and its script; an input too short for the
// length field, or whose length field exceeds what precedes it, is all
// image and an empty script.
inline void SplitInput(const uint8_t* data, size_t size, size_t& imageSize, const uint8_t*& script,
                       size_t& scriptSize) {
    imageSize = size;
    script = data + size;
    scriptSize = 0;
    if (size < 2) {
        return;
    }
    const size_t length = data[size - 2] | (data[size - 1] << 8);
    if (length > size - 2) {
        return;
    }
    imageSize = size - 2 - length;
    script = data + imageSize;
    scriptSize = length;
}

// Appends `script` and its length to `image`, making one input.
inline std::vector<uint8_t> JoinInput(std::vector<uint8_t> image,
                                      const std::vector<uint8_t>& script) {
    image.insert(image.end(), script.begin(), script.end());
    image.push_back(static_cast<uint8_t>(script.size()));
    image.push_back(static_cast<uint8_t>(script.size() >> 8));
    return image;
}

}  // namespace d88fuzz

#endif
