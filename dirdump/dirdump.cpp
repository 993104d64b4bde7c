// The directory of a data disk is logical sector 399:
//
//   0   name table: 128 entries of 4 name bytes (NUL-ended when shorter);
//       the first entry that begins with 0x00 or 0xFF ends the table
//   512 allocation map: byte 512 + s is the entry index that owns logical
//       sector s (any byte that is no listed entry's index: a free sector)
//   912 unused
//
// A file's sectors are the ones it owns, in ascending logical order. The
// first begins with a 6-byte header whose bytes 4 and 5 hold the length
// minus 1 (little-endian); the content follows it, then fills each further
// sector whole until the length is reached.
#include "dirdump.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "d88image.h"
#include "extraction_tool.h"

namespace {

constexpr int32_t kSectorsPerTrack = 5;
constexpr int32_t kSectorSize = 1024;
constexpr int32_t kSizeCode = 3;
constexpr int32_t kLogicalSectors = 400;
constexpr int32_t kDirectorySector = 399;
constexpr int32_t kEntrySize = 4;
constexpr int32_t kNameTableBytes = 512;
constexpr int32_t kMapOffset = 512;
constexpr int32_t kFileHeaderSize = 6;
constexpr int32_t kFirstSectorContent = kSectorSize - kFileHeaderSize;

unsigned char directoryBuffer[kSectorSize];
// Bytes 4 to 7 are never written, so a name ends after at most 4 bytes.
char nameBuffer[2 * kEntrySize];
unsigned char sectorBuffer[kSectorSize];

// One output file from its creation to its close. Only the first failure is
// kept, so that a file that fails is reported once, with the reason that
// started it.
class OutputFile {
public:
    OutputFile(const OutputCreator& outputs, const char* name) : file(outputs.Create(name, error)) {}

    bool IsOpen() const { return file != nullptr; }

    void Write(const unsigned char* bytes, int32_t size) {
        const auto count = static_cast<size_t>(size);
        if (error == 0 && count > 0 && std::fwrite(bytes, 1, count, file.get()) != count) {
            error = FailureErrno();
        }
    }

    // Closes the file; returns 0 when it was created, written and closed
    // whole, otherwise the first failure as OutputCreator::Reason takes it.
    int Close() {
        if (file && std::fclose(file.release()) != 0 && error == 0) {
            error = FailureErrno();
        }
        return error;
    }

private:
    int error = 0;
    FileHolder file;
};

// A name as messages show it: bytes outside printable ASCII, and the
// backslash that would make that rendering ambiguous, become \xNN.
std::string ShownName(const char* name) {
    std::string shown;
    for (const char* byte = name; *byte != '\0'; ++byte) {
        const auto value = static_cast<unsigned char>(*byte);
        if (value >= 0x20 && value <= 0x7E && value != '\\') {
            shown += *byte;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", value);
            shown += escaped;
        }
    }
    return shown;
}

// Reads logical sector `sector` of the selected disk into `buffer`, cleared
// first so that bytes the image does not supply are zeros, never bytes of an
// earlier read. True when the whole sector was read.
bool ReadLogicalSector(D88Image& image, int32_t sector, unsigned char* buffer) {
    std::memset(buffer, 0, kSectorSize);
    const int32_t track = sector / kSectorsPerTrack;
    return image.ReadSectors(track, track / 2, track % 2, sector % kSectorsPerTrack + 1, kSizeCode,
                             buffer, kSectorSize) == kSectorSize;
}

// Copies the file of entry `entry` of disk `disk` from its owned sectors to
// `output`, printing the size piece and one piece per further sector. A
// sector that cannot be read whole is warned about and copied as read.
void CopyFile(D88Image& image, int32_t disk, int32_t entry, OutputFile& output,
              Console& console) {
    // 0 until the first sector has given the length.
    int32_t remaining = 0;
    for (int32_t sector = 0; sector < kLogicalSectors; ++sector) {
        if (directoryBuffer[kMapOffset + sector] != entry) {
            continue;
        }
        if (!ReadLogicalSector(image, sector, sectorBuffer)) {
            std::fprintf(stderr,
                         "dirdump: disk %d, entry %02x (%s): logical sector %03x could not be read "
                         "whole; its missing bytes are taken as zeros\n",
                         disk, entry, ShownName(nameBuffer).c_str(), sector);
        }
        const unsigned char* content = sectorBuffer;
        int32_t capacity = kSectorSize;
        if (remaining == 0) {
            remaining = sectorBuffer[5] * 256 + sectorBuffer[4] + 1;
            console.Print(" size=%04x (%5d)", remaining, remaining);
            content = sectorBuffer + kFileHeaderSize;
            capacity = kFirstSectorContent;
        } else {
            console.Print(" %03x", sector);
        }
        output.Write(content, std::min(remaining, capacity));
        if (remaining <= capacity) {
            return;
        }
        remaining -= capacity;
    }
}

// Lists the directory in the directory buffer and writes each listed file;
// false when a name was refused or a file could not be written.
bool DumpDirectory(D88Image& image, const OutputCreator& outputs, int32_t disk,
                   Console& console) {
    bool allWritten = true;
    for (int32_t entry = 0; kEntrySize * entry < kNameTableBytes; ++entry) {
        const unsigned char* entryBytes = directoryBuffer + kEntrySize * entry;
        if (entryBytes[0] == 0x00 || entryBytes[0] == 0xFF) {
            break;
        }
        std::memcpy(nameBuffer, entryBytes, kEntrySize);
        console.Print("%02x : %-4s : ", entry, nameBuffer);
        // A name with a slash would write outside the current directory
        // ("../x", "/tmp") or into another directory.
        if (std::strchr(nameBuffer, '/') != nullptr) {
            console.Print("\n");
            std::fprintf(stderr,
                         "dirdump: disk %d, entry %02x (%s): the name holds \"/\"; no file written\n",
                         disk, entry, ShownName(nameBuffer).c_str());
            allWritten = false;
            continue;
        }
        OutputFile output(outputs, nameBuffer);
        if (output.IsOpen()) {
            CopyFile(image, disk, entry, output, console);
        }
        const int error = output.Close();
        console.Print("\n");
        if (error != 0) {
            std::fprintf(stderr, "dirdump: %s: %s\n", ShownName(nameBuffer).c_str(),
                         OutputCreator::Reason(error));
            allWritten = false;
        }
    }
    return allWritten;
}

}  // namespace

int RunDirdump(int argc, char* argv[]) {
    D88Image image;
    if (argc != 2) {
        std::fputs("Usage: dirdump [d88file]\n", stderr);
        return 1;
    }
    if (!image.Open(argv[1])) {
        std::fputs(kOpenFailedMessage, stderr);
        return 1;
    }
    const OutputCreator outputs(argv[1]);
    Console console;
    bool allWritten = true;
    const int32_t diskCount = image.GetDiskCount();
    for (int32_t disk = 0; disk < diskCount; ++disk) {
        image.SelectDisk(disk);
        image.SetSectorRange(1, kSectorsPerTrack);
        // A disk whose directory is missing lists no file: its cleared
        // buffer begins with a terminating entry.
        if (!ReadLogicalSector(image, kDirectorySector, directoryBuffer)) {
            std::fprintf(stderr,
                         "dirdump: disk %d: the directory (logical sector %03x) could not be read "
                         "whole; its missing bytes are taken as zeros\n",
                         disk, kDirectorySector);
        }
        if (!DumpDirectory(image, outputs, disk, console)) {
            allWritten = false;
        }
    }
    const bool consoleWritten = console.Finish("dirdump");
    return allWritten && consoleWritten ? 0 : 1;
}
