// Fuzz target for D88Image: arbitrary bytes as an image file, then the calls
// of the input's script (reader_script.h). Every result is checked against
// the interface's promises and against a model that reads the same bytes
// straight from memory: same results, same buffer contents. Each read gets a
// heap buffer of exactly its capacity, so AddressSanitizer stops any byte
// written or read outside it; the buffer is filled first (with a byte taken
// from the script), so that bytes a read must leave alone are seen to stay.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "d88image.h"
#include "reader_script.h"
#include "fuzz_support.h"

namespace {

using d88fuzz::ReaderCall;

constexpr int32_t kHeaderSize = D88Image::kDiskHeaderSize;
constexpr int32_t kRecordSize = D88Image::kSectorRecordSize;
constexpr int32_t kMaxSizeCode = 23;
// Calls per input: enough for any sequence worth trying, few enough that an
// input of large reads stays fast.
constexpr int32_t kMaxCalls = 64;

[[noreturn]] void Violation(const char* what, int64_t got, int64_t expected) {
    d88fuzz::ReportViolation("reader_fuzzer", std::string(what) + ": got " + std::to_string(got) +
                                                  ", expected " + std::to_string(expected));
}

void Expect(bool holds, const char* what) {
    if (!holds) {
        d88fuzz::ReportViolation("reader_fuzzer", what);
    }
}

void ExpectEqual(int64_t got, int64_t expected, const char* what) {
    if (got != expected) {
        Violation(what, got, expected);
    }
}

uint32_t Little32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// What the reader must do, computed on the image in memory the plain way:
// no window, every walk from the track's first record.
class ReaderModel {
public:
    ReaderModel(const uint8_t* image, size_t imageSize) : image(image), imageSize(imageSize) {}

    void Open() {
        isOpen = true;
        DropSelection();
        diskCount = 0;
        uint64_t running = 0;
        while (diskCount < D88Image::kMaxDisks && Available(running) >= kHeaderSize) {
            diskOffsets[diskCount++] = running;
            running += Little32(image + running + 0x1C);
        }
    }

    // Open() without a path: the selection's numbers stay, but with no file
    // open no read reaches them.
    void Close() {
        isOpen = false;
        diskCount = 0;
        currentDisk = -1;
        mediaType = -1;
    }

    bool SelectDisk(int32_t index) {
        if (!isOpen) {
            return false;
        }
        DropSelection();
        if (index < 0 || index >= diskCount || Available(diskOffsets[index]) < kHeaderSize) {
            return false;
        }
        const uint8_t* header = image + diskOffsets[index];
        diskStart = diskOffsets[index];
        for (int32_t track = 0; track < D88Image::kTrackCount; ++track) {
            trackOffsets[track] = Little32(header + 0x20 + 4 * track);
        }
        mediaType = header[0x1B];
        diskSize = Little32(header + 0x1C);
        name.assign(reinterpret_cast<const char*>(header),
                    strnlen(reinterpret_cast<const char*>(header), 16));
        currentDisk = index;
        return true;
    }

    void SetSectorRange(int32_t first, int32_t last) {
        firstSector = first;
        lastSector = last;
    }

    int32_t ReadSector(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, uint8_t* buffer,
                       int32_t capacity) const {
        if (capacity < 0 || !TrackReadable(track)) {
            return 0;
        }
        uint64_t position = diskStart + trackOffsets[track];
        for (int64_t i = 0;; ++i) {
            if (Available(position) < kRecordSize) {
                return 0;
            }
            const uint8_t* record = image + position;
            const int32_t count = record[4] | (record[5] << 8);
            const int32_t dataSize = record[14] | (record[15] << 8);
            if (count == 0) {
                return 0;
            }
            position += kRecordSize;
            if (record[0] == c && record[1] == h && record[2] == r && record[3] == n) {
                // Data cut off by the end of the file counts as far as it
                // arrived.
                const int32_t wanted = dataSize < capacity ? dataSize : capacity;
                const uint64_t arrived = Available(position) < static_cast<uint64_t>(wanted)
                                             ? Available(position)
                                             : static_cast<uint64_t>(wanted);
                if (arrived > 0) {
                    std::memcpy(buffer, image + position, arrived);
                }
                return static_cast<int32_t>(arrived);
            }
            position += dataSize;
            if (i == count - 1) {
                return 0;
            }
        }
    }

    int32_t ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r, int32_t n, uint8_t* buffer,
                        int32_t length) const {
        if (n < 0 || n > kMaxSizeCode) {
            return 0;
        }
        int32_t total = 0;
        while (total < length) {
            int32_t step = int32_t{128} << n;
            if (step > length - total) {
                step = length - total;
            }
            if (ReadSector(track, c, h, r, n, buffer + total, step) < step) {
                return total;
            }
            total += step;
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

    // Only whole IDs are listed: a capacity that is no multiple of 4 leaves
    // its last bytes alone.
    int32_t ReadTrackIds(int32_t track, uint8_t* buffer, int32_t capacity) const {
        if (!TrackReadable(track)) {
            return 0;
        }
        uint64_t position = diskStart + trackOffsets[track];
        int32_t total = 0;
        for (int64_t i = 0; total + 4 <= capacity; ++i) {
            if (Available(position) < kRecordSize) {
                break;
            }
            const uint8_t* record = image + position;
            std::memcpy(buffer + total, record, 4);
            total += 4;
            position += kRecordSize + (record[14] | (record[15] << 8));
            if (i == (record[4] | (record[5] << 8)) - 1) {
                break;
            }
        }
        return total;
    }

    int32_t DiskCount() const { return diskCount; }
    int32_t CurrentDisk() const { return currentDisk; }
    int32_t MediaType() const { return mediaType; }
    const std::string& Name() const { return name; }

private:
    uint64_t Available(uint64_t offset) const {
        return offset < imageSize ? imageSize - offset : 0;
    }

    bool TrackReadable(int32_t track) const {
        return isOpen && track >= 0 && track < D88Image::kTrackCount && trackOffsets[track] != 0 &&
               trackOffsets[track] <= diskSize;
    }

    void DropSelection() {
        currentDisk = -1;
        diskStart = 0;
        mediaType = -1;
        diskSize = 0;
        name.clear();
    }

    const uint8_t* image;
    size_t imageSize;
    bool isOpen = false;
    int32_t diskCount = 0;
    uint64_t diskOffsets[D88Image::kMaxDisks] = {};
    int32_t currentDisk = -1;
    uint64_t diskStart = 0;
    uint32_t diskSize = 0;
    uint32_t trackOffsets[D88Image::kTrackCount] = {};
    int32_t mediaType = -1;
    std::string name;
    int32_t firstSector = 1;
    int32_t lastSector = 16;
};

// Reads the script's numbers; past its end every number is 0.
class ScriptReader {
public:
    ScriptReader(const uint8_t* bytes, size_t size) : bytes(bytes), size(size) {}

    bool AtEnd() const { return position >= size; }
    int32_t Byte() { return position < size ? bytes[position++] : 0; }
    int32_t Word() { return Byte() | (Byte() << 8); }
    int32_t Wide() {
        uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<uint32_t>(Byte()) << shift;
        }
        return static_cast<int32_t>(value);
    }

private:
    const uint8_t* bytes;
    size_t size;
    size_t position = 0;
};

// Two buffers of exactly `size` bytes with the same filler: one for the
// reader, one for the model. A negative size gives empty buffers.
struct BufferPair {
    explicit BufferPair(int32_t size, uint8_t filler)
        : size(size > 0 ? static_cast<size_t>(size) : 0),
          reader(new uint8_t[this->size]),
          model(new uint8_t[this->size]) {
        std::memset(reader.get(), filler, this->size);
        std::memset(model.get(), filler, this->size);
    }
    void ExpectSame(const char* what) const {
        if (size > 0 && std::memcmp(reader.get(), model.get(), size) != 0) {
            size_t first = 0;
            while (reader[first] == model[first]) {
                ++first;
            }
            d88fuzz::ReportViolation("reader_fuzzer",
                                     std::string(what) + ": byte " + std::to_string(first));
        }
    }
    size_t size;
    std::unique_ptr<uint8_t[]> reader;
    std::unique_ptr<uint8_t[]> model;
};

void CheckState(const D88Image& image, const ReaderModel& model) {
    const int32_t count = image.GetDiskCount();
    Expect(count >= 0 && count <= D88Image::kMaxDisks, "disk count within 0..64");
    ExpectEqual(count, model.DiskCount(), "disk count");
    const int32_t current = image.GetCurrentDisk();
    ExpectEqual(current, model.CurrentDisk(), "current disk");
    Expect(current >= -1 && current < count, "current disk within -1..count-1");
    const int32_t media = image.GetMediaType();
    ExpectEqual(media, model.MediaType(), "media type");
    Expect(media >= -1 && media <= 255, "media type within -1..255");
    Expect((media == -1) == (current == -1), "media type -1 exactly when no disk is selected");
    const char* name = image.GetDiskName();
    Expect(std::memchr(name, '\0', 17) != nullptr, "disk name of at most 16 bytes");
    Expect(model.Name() == name, "disk name");
}

// A capacity: 0 to 65535, or with wide numbers any 32-bit value cut to
// 20 bits (1 MiB) so that the buffers stay affordable; negative values stay
// negative, for calls outside the limits.
int32_t Capacity(ScriptReader& script, bool wide) {
    if (!wide) {
        return script.Word();
    }
    const int32_t value = script.Wide();
    return value < 0 ? value : value & 0xFFFFF;
}

void RunCall(D88Image& image, ReaderModel& model, ScriptReader& script, const std::string& path) {
    const int32_t opcode = script.Byte();
    const bool wide = (opcode & d88fuzz::kWideNumbers) != 0;
    auto number = [&] { return wide ? script.Wide() : script.Byte(); };
    auto track = [&] { return wide ? script.Wide() : script.Byte() - d88fuzz::kNarrowTrackOffset; };
    switch ((opcode & ~d88fuzz::kWideNumbers) % d88fuzz::kReaderCallCount) {
        case d88fuzz::kSelectDisk: {
            const int32_t index =
                wide ? script.Wide() : script.Byte() - d88fuzz::kNarrowIndexOffset;
            const bool selected = image.SelectDisk(index);
            ExpectEqual(selected, model.SelectDisk(index), "SelectDisk result");
            if (selected) {
                ExpectEqual(image.GetCurrentDisk(), index, "current disk after SelectDisk");
            }
            break;
        }
        case d88fuzz::kSetSectorRange: {
            const int32_t first = number();
            const int32_t last = number();
            image.SetSectorRange(first, last);
            model.SetSectorRange(first, last);
            break;
        }
        case d88fuzz::kReadSector: {
            const int32_t t = track(), c = number(), h = number(), r = number(), n = number();
            const int32_t capacity = Capacity(script, wide);
            BufferPair buffers(capacity, static_cast<uint8_t>(opcode));
            const int32_t got = image.ReadSector(t, c, h, r, n, buffers.reader.get(), capacity);
            Expect(got >= 0 && got <= 0xFFFF && (capacity <= 0 ? got == 0 : got <= capacity),
                   "ReadSector returns 0 to min(capacity, 65535)");
            ExpectEqual(got, model.ReadSector(t, c, h, r, n, buffers.model.get(), capacity),
                        "ReadSector result");
            buffers.ExpectSame("ReadSector buffer differs from the model");
            break;
        }
        case d88fuzz::kReadSectors:
        case d88fuzz::kReadDataTrack: {
            const bool dataTrack = (opcode & ~d88fuzz::kWideNumbers) % d88fuzz::kReaderCallCount ==
                                   d88fuzz::kReadDataTrack;
            int32_t t, c, h, r, n, length;
            if (dataTrack) {
                t = script.Byte() % 80;
                c = t / 2;
                h = t % 2;
                r = 1;
                n = 3;
                length = 5 * 1024;
            } else {
                t = track();
                c = number();
                h = number();
                r = number();
                n = wide ? script.Wide() : script.Byte() % (kMaxSizeCode + 1);
                length = Capacity(script, wide);
            }
            BufferPair buffers(length, static_cast<uint8_t>(opcode));
            const int32_t got = image.ReadSectors(t, c, h, r, n, buffers.reader.get(), length);
            Expect(got >= 0 && (length <= 0 ? got == 0 : got <= length),
                   "ReadSectors returns 0 to length");
            Expect(n < 0 || n > kMaxSizeCode ? got == 0 : got == length || got % (128 << n) == 0,
                   "ReadSectors returns whole steps");
            ExpectEqual(got, model.ReadSectors(t, c, h, r, n, buffers.model.get(), length),
                        "ReadSectors result");
            buffers.ExpectSame("ReadSectors buffer differs from the model");
            break;
        }
        case d88fuzz::kReadTrackIds: {
            const int32_t t = track();
            const int32_t capacity = Capacity(script, wide);
            BufferPair buffers(capacity, static_cast<uint8_t>(opcode));
            const int32_t got = image.ReadTrackIds(t, buffers.reader.get(), capacity);
            Expect(got >= 0 && got % 4 == 0 &&
                       (capacity <= 0 ? got == 0 : got <= capacity - capacity % 4),
                   "ReadTrackIds returns whole IDs within the capacity");
            ExpectEqual(got, model.ReadTrackIds(t, buffers.model.get(), capacity),
                        "ReadTrackIds result");
            buffers.ExpectSame("ReadTrackIds buffer differs from the model");
            break;
        }
        case d88fuzz::kClose:
            Expect(image.Open(), "Open() without a path is true");
            model.Close();
            break;
        case d88fuzz::kReopen:
            Expect(image.Open(path.c_str()), "Open of the image again");
            model.Open();
            break;
    }
    CheckState(image, model);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    d88fuzz::KeepStandardError();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = d88fuzz::ScratchDirectory() + "/image.d88";
    size_t imageSize;
    const uint8_t* scriptBytes;
    size_t scriptSize;
    d88fuzz::SplitInput(data, size, imageSize, scriptBytes, scriptSize);
    d88fuzz::WriteInputFile(path, data, imageSize);

    D88Image image;
    ReaderModel model(data, imageSize);
    CheckState(image, model);
    Expect(image.Open(path.c_str()), "Open of the image");
    model.Open();
    CheckState(image, model);
    ScriptReader script(scriptBytes, scriptSize);
    for (int32_t calls = 0; calls < kMaxCalls && !script.AtEnd(); ++calls) {
        RunCall(image, model, script, path);
    }
    return 0;
}
