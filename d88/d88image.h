// D88Image: reads floppy-disk images stored in the D88 format.
//
// An image holds disks back to back; the first begins at offset 0 and each
// disk's size field gives the start of the next. A disk is a 688-byte header
// followed by its tracks; a track is a run of 16-byte sector records, each
// followed at once by its sector's data. The reader prints nothing and
// reports every failure through a result (false or 0).
#ifndef D88IMAGE_H
#define D88IMAGE_H

#include <cstdint>
#include <cstdio>
#include <memory>

class D88Image {
public:
    static constexpr int32_t kMaxDisks = 64;
    static constexpr int32_t kTrackCount = 164;
    static constexpr int32_t kDiskHeaderSize = 0x2B0;
    static constexpr int32_t kSectorRecordSize = 16;

    D88Image();
    ~D88Image();
    D88Image(const D88Image&) = delete;
    D88Image& operator=(const D88Image&) = delete;

    // With a path: closes any earlier file, drops the selection, opens the
    // image and finds its disks. False only when the file cannot be opened.
    // Without a path: closes the file; always true.
    bool Open(const char* path = nullptr);

    // Number of disks found by the last Open, 0 to 64.
    int32_t GetDiskCount() const;

    // Makes disk `index` the selected one. False with no file open, for an
    // index outside 0..GetDiskCount()-1, or when its header cannot be read
    // whole; with a file open, a failure leaves no disk selected.
    bool SelectDisk(int32_t index);

    // Index of the selected disk, or -1 when none is selected.
    int32_t GetCurrentDisk() const;

    // Name of the selected disk: NUL-terminated, at most 16 bytes; empty
    // before the first selection, after a failed SelectDisk and after Open
    // with a path, while Open() without a path leaves it as it was. The text
    // lives in the object.
    const char* GetDiskName() const;

    // Media type byte of the selected disk, 0 to 255, or -1 when none.
    int32_t GetMediaType() const;

    // First and last sector number of a track, used by ReadSectors to move
    // on to the next track. Stored unchanged; 1 and 16 until set.
    void SetSectorRange(int32_t first, int32_t last);

    // Reads the first sector of the track whose ID is (c, h, r, n) into
    // `buffer`: returns the bytes put there, min(data size, capacity) unless
    // the file ends first, or 0 when the track or the sector is not found or
    // the capacity is not positive.
    int32_t ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, void* buffer,
                       int32_t capacity);

    // Reads consecutive sectors of nominal size 128 << n into `buffer` until
    // `length` bytes are filled, moving on through the sector range and the
    // tracks; returns the bytes of the whole steps read before the first
    // sector that is missing or short. 0 for n outside 0..23.
    int32_t ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, void* buffer,
                        int32_t length);

    // Lists the track's sector IDs (C, H, R, N, 4 bytes each) in track order
    // into `buffer`; returns 4 x the number listed, never more than the
    // whole IDs that fit in `capacity`.
    int32_t ReadTrackIds(int32_t track, void* buffer, int32_t capacity);

private:
    struct FileCloser {
        void operator()(FILE* file) const { std::fclose(file); }
    };

    // Copies up to `count` bytes of the image from `offset` on into
    // `destination` and returns how many there were (fewer at the end of the
    // file). Reads go through a window of the file held by the object, so
    // that walking a track's records costs no seek; a window that must be
    // refilled starts at `walkStart` when that lets it hold the request.
    size_t ReadAt(uint64_t offset, void* destination, size_t count, uint64_t walkStart);
    // Reads `count` bytes at `offset` straight from the stream, bypassing the
    // window; returns how many arrived.
    size_t ReadDirect(uint64_t offset, void* destination, size_t count);
    // True when a track of the selected disk may be read: a file is open, the
    // index is in range and its offset is neither 0 nor past the disk size.
    bool TrackReadable(int32_t track) const;
    // File offset of a readable track's first sector record.
    uint64_t TrackStart(int32_t track) const;
    void DropSelection();

    std::unique_ptr<FILE, FileCloser> imageFile;
    int32_t currentDisk = -1;
    int32_t diskCount = 0;
    int32_t firstSector = 1;
    int32_t lastSector = 16;
    // Header numbers are unsigned 32-bit in the file; offsets that add them
    // up are held in 64 bits so that images of 2 GiB and more work.
    uint64_t diskOffsets[kMaxDisks] = {};
    uint32_t diskSize = 0;
    int64_t diskStart = -1;
    uint32_t trackOffsets[kTrackCount] = {};
    int32_t mediaType = -1;
    char diskName[17] = {};
    // The window: file bytes windowStart to windowStart + windowLength - 1.
    // Large enough for a record and the largest data a record can announce,
    // and for many data-disk tracks at once.
    static constexpr size_t kWindowSize = 128 * 1024;
    uint64_t windowStart = 0;
    size_t windowLength = 0;
    unsigned char window[kWindowSize];
};

#endif
