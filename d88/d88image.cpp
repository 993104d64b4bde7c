// Layout read here (all numbers little-endian):
//
//   disk header, 688 bytes           sector record, 16 bytes
//   0x00 name[16]  (NUL-ended)       0  C   1  H   2  R   3  N (128 << N bytes)
//   0x10 NUL, 0x11 reserved[9]       4  sector count of the track (16-bit)
//   0x1A write-protect flag          6  density, 7 deleted mark, 8 status
//   0x1B media type                  9  reserved[5]
//   0x1C disk size (32-bit)          14 data size that follows (16-bit)
//   0x20 track offsets[164] (32-bit each, from the disk's start; 0 = absent)
//
// Disks follow each other: disk k+1 starts at disk k's start + its size.
#include "d88image.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

constexpr int32_t kMaxSizeCode = 23;

uint16_t ReadLittleEndian16(const unsigned char* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadLittleEndian32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

struct SectorRecord {
    int32_t c, h, r, n;
    uint16_t sectorCount;
    uint16_t dataSize;
};

SectorRecord DecodeRecord(const unsigned char* bytes) {
    return SectorRecord{bytes[0], bytes[1], bytes[2], bytes[3], ReadLittleEndian16(bytes + 4),
                        ReadLittleEndian16(bytes + 14)};
}

}  // namespace

D88Image::D88Image() = default;

D88Image::~D88Image() = default;

bool D88Image::Open(const char* path) {
    if (path == nullptr) {
        imageFile.reset();
        diskCount = 0;
        currentDisk = -1;
        mediaType = -1;
        return true;
    }
    if (imageFile) {
        imageFile.reset();
        DropSelection();
        diskCount = 0;
    }
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    imageFile.reset(file);
    // A directory opens for reading on POSIX but yields no bytes; taking it
    // as an image without disks would report success on no image at all.
    struct stat status;
    if (fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
        imageFile.reset();
        return false;
    }
    // A selection kept from before an Open() without a path would read the
    // new file through the old disk's track table.
    DropSelection();
    // The window does the buffering; the stream passes reads straight on.
    std::setvbuf(file, nullptr, _IONBF, 0);
    windowStart = 0;
    windowLength = 0;

    uint64_t runningOffset = 0;
    diskCount = 0;
    unsigned char header[kDiskHeaderSize];
    while (diskCount < kMaxDisks) {
        diskOffsets[diskCount] = runningOffset;
        if (ReadDirect(runningOffset, header, sizeof header) != sizeof header) {
            break;
        }
        runningOffset += ReadLittleEndian32(header + 0x1C);
        ++diskCount;
    }
    return true;
}

int32_t D88Image::GetDiskCount() const { return diskCount; }

bool D88Image::SelectDisk(int32_t index) {
    if (!imageFile) {
        return false;
    }
    DropSelection();
    if (index < 0 || index >= diskCount) {
        return false;
    }
    unsigned char header[kDiskHeaderSize];
    if (ReadDirect(diskOffsets[index], header, sizeof header) != sizeof header) {
        return false;
    }
    diskStart = static_cast<int64_t>(diskOffsets[index]);
    for (int32_t track = 0; track < kTrackCount; ++track) {
        trackOffsets[track] = ReadLittleEndian32(header + 0x20 + 4 * track);
    }
    mediaType = header[0x1B];
    diskSize = ReadLittleEndian32(header + 0x1C);
    // The name field is 16 bytes; byte 16 of diskName stays NUL.
    for (int32_t i = 0; i < 16 && header[i] != 0; ++i) {
        diskName[i] = static_cast<char>(header[i]);
    }
    currentDisk = index;
    return true;
}

int32_t D88Image::GetCurrentDisk() const { return currentDisk; }

const char* D88Image::GetDiskName() const { return diskName; }

int32_t D88Image::GetMediaType() const { return mediaType; }

void D88Image::SetSectorRange(int32_t first, int32_t last) {
    firstSector = first;
    lastSector = last;
}

int32_t D88Image::ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                             void* buffer, int32_t capacity) {
    if (capacity < 0 || !TrackReadable(track)) {
        return 0;
    }
    const uint64_t trackStart = TrackStart(track);
    uint64_t position = trackStart;
    unsigned char bytes[kSectorRecordSize];
    // The walk ends when a record's own count says it is the last one; a
    // record whose count is below its position does not end it.
    // 64 bits: an image of many GiB can hold more than 2^31 records.
    for (int64_t i = 0;; ++i) {
        if (ReadAt(position, bytes, sizeof bytes, trackStart) != sizeof bytes) {
            return 0;
        }
        const SectorRecord record = DecodeRecord(bytes);
        if (record.sectorCount == 0) {
            return 0;
        }
        position += kSectorRecordSize;
        if (record.c == c && record.h == h && record.r == r && record.n == n) {
            // Data cut off by the end of the file counts only as far as it
            // arrived: bytes the image does not hold are never passed off as
            // read. The rest of the buffer keeps what it held.
            const int32_t wanted = std::min<int32_t>(record.dataSize, capacity);
            return static_cast<int32_t>(
                ReadAt(position, buffer, static_cast<size_t>(wanted), trackStart));
        }
        position += record.dataSize;
        if (i == record.sectorCount - 1) {
            return 0;
        }
    }
}

int32_t D88Image::ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n,
                              void* buffer, int32_t length) {
    if (n < 0 || n > kMaxSizeCode) {
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    int32_t total = 0;
    while (total < length) {
        const int32_t step = std::min(int32_t{128} << n, length - total);
        const int32_t got = ReadSector(track, c, h, r, n, bytes + total, step);
        if (got < step) {
            return total;
        }
        total += step;
        // A successful read means R, C and H matched record bytes, so they
        // are all 0..255 here and the increments cannot overflow.
        if (r == lastSector) {
            ++track;
            if (h == 0) {
                h = 1;
            } else {
                h = 0;
                ++c;
            }
            r = firstSector;
        } else {
            ++r;
        }
    }
    return total;
}

int32_t D88Image::ReadTrackIds(int32_t track, void* buffer, int32_t capacity) {
    if (!TrackReadable(track)) {
        return 0;
    }
    const uint64_t trackStart = TrackStart(track);
    uint64_t position = trackStart;
    auto* ids = static_cast<unsigned char*>(buffer);
    int32_t total = 0;
    unsigned char bytes[kSectorRecordSize];
    // Only whole IDs are listed, so a capacity that is not a multiple of 4
    // never lets a listing run past the buffer.
    for (int32_t i = 0; capacity >= 4 && total <= capacity - 4; ++i) {
        if (ReadAt(position, bytes, sizeof bytes, trackStart) != sizeof bytes) {
            break;
        }
        const SectorRecord record = DecodeRecord(bytes);
        std::memcpy(ids + total, bytes, 4);
        total += 4;
        position += kSectorRecordSize + record.dataSize;
        if (i == record.sectorCount - 1) {
            break;
        }
    }
    return total;
}

size_t D88Image::ReadAt(uint64_t offset, void* destination, size_t count, uint64_t walkStart) {
    if (count > kWindowSize) {
        return ReadDirect(offset, destination, count);
    }
    if (offset < windowStart || offset + count > windowStart + windowLength) {
        // Every read of a track walks from its first record again, so a
        // window that starts there serves the whole track.
        windowStart = walkStart <= offset && offset + count - walkStart <= kWindowSize ? walkStart
                                                                                       : offset;
        windowLength = ReadDirect(windowStart, window, kWindowSize);
    }
    const uint64_t windowEnd = windowStart + windowLength;
    const size_t available =
        offset < windowEnd ? static_cast<size_t>(std::min<uint64_t>(count, windowEnd - offset)) : 0;
    std::memcpy(destination, window + (offset - windowStart), available);
    return available;
}

size_t D88Image::ReadDirect(uint64_t offset, void* destination, size_t count) {
    FILE* file = imageFile.get();
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return 0;
    }
    return std::fread(destination, 1, count, file);
}

bool D88Image::TrackReadable(int32_t track) const {
    return imageFile && track >= 0 && track < kTrackCount && trackOffsets[track] != 0 &&
           trackOffsets[track] <= diskSize;
}

uint64_t D88Image::TrackStart(int32_t track) const {
    return static_cast<uint64_t>(diskStart) + trackOffsets[track];
}

void D88Image::DropSelection() {
    currentDisk = -1;
    diskStart = -1;
    mediaType = -1;
    diskSize = 0;
    std::memset(diskName, 0, sizeof diskName);
}
