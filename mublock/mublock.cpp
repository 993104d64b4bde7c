// An RM block starts at byte 0 of a logical sector whose bytes 6 and 7 are
// "RM" and ends with the fifth 0xFD byte counted from that byte 0; the bytes
// from position 6 to that end go to the next MU%03d file. Blocks of 16,384
// bytes or more, and blocks whose end lies past the disk, are not blocks.
#include "mublock.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "d88image.h"
#include "extraction_tool.h"

namespace {

constexpr int32_t kTracksPerDisk = 80;
constexpr int32_t kSectorsPerTrack = 5;
constexpr int32_t kSectorSize = 1024;
constexpr int32_t kSizeCode = 3;
constexpr int32_t kTrackBytes = kSectorsPerTrack * kSectorSize;
constexpr int32_t kLogicalSectors = kTracksPerDisk * kSectorsPerTrack;
constexpr int32_t kImageBytes = kLogicalSectors * kSectorSize;
constexpr int32_t kBlockLengthLimit = 0x4000;
constexpr int32_t kTerminatorsPerBlock = 5;
constexpr int32_t kContentOffset = 6;
constexpr unsigned char kTerminator = 0xFD;

// One disk in logical sector order, and the positions of its 0xFD bytes in
// ascending order, so that each candidate finds its fifth 0xFD at once.
unsigned char imageBuffer[kImageBytes];
int32_t terminatorPositions[kImageBytes];

// Fills the image buffer with the selected disk's 400 logical sectors. Bytes
// a damaged disk does not supply are zeros, never an earlier disk's blocks: a
// track that is not read whole is cleared and read again, which leaves what
// the read supplies over zeros. (Clearing every track first costs as much
// again as reading it.)
void ReadDisk(D88Image& image) {
    for (int32_t track = 0; track < kTracksPerDisk; ++track) {
        unsigned char* trackBytes = imageBuffer + track * kTrackBytes;
        const auto readTrack = [&] {
            return image.ReadSectors(track, track / 2, track % 2, 1, kSizeCode, trackBytes,
                                     kTrackBytes);
        };
        if (readTrack() < kTrackBytes) {
            std::memset(trackBytes, 0, kTrackBytes);
            readTrack();
        }
    }
}

int32_t FindTerminators() {
    int32_t count = 0;
    const unsigned char* end = imageBuffer + kImageBytes;
    for (const unsigned char* found = imageBuffer;
         (found = static_cast<const unsigned char*>(std::memchr(found, kTerminator, end - found))) !=
         nullptr;
         ++found) {
        terminatorPositions[count++] = static_cast<int32_t>(found - imageBuffer);
    }
    return count;
}

// Writes one block's content to `name`; false, after a message on stderr,
// when the file cannot be created, written or closed.
bool WriteBlock(const OutputCreator& outputs, const char* name, const unsigned char* content,
                size_t size) {
    int error = 0;
    FileHolder output = outputs.Create(name, error);
    if (output) {
        // The content goes out in one write; a stream buffer would only cost
        // a stat of the new file to size it.
        std::setvbuf(output.get(), nullptr, _IONBF, 0);
        if (size > 0 && std::fwrite(content, 1, size, output.get()) != size) {
            error = FailureErrno();
        } else if (std::fclose(output.release()) != 0) {
            error = FailureErrno();
        }
    }
    if (error != 0) {
        std::fprintf(stderr, "mublock: %s: %s\n", name, OutputCreator::Reason(error));
        return false;
    }
    return true;
}

// Scans the image buffer for blocks, reporting them with disk index `disk`
// and naming them from `blockCounter` on; false when a block was not written.
bool ScanDisk(const OutputCreator& outputs, int32_t disk, int32_t& blockCounter,
              Console& console) {
    const int32_t terminatorCount = FindTerminators();
    int32_t nextTerminator = 0;
    bool allWritten = true;
    for (int32_t sector = 0; sector < kLogicalSectors; ++sector) {
        const int32_t start = sector * kSectorSize;
        if (imageBuffer[start + 6] != 'R' || imageBuffer[start + 7] != 'M') {
            continue;
        }
        while (nextTerminator < terminatorCount && terminatorPositions[nextTerminator] < start) {
            ++nextTerminator;
        }
        const int32_t fifth = nextTerminator + kTerminatorsPerBlock - 1;
        if (fifth >= terminatorCount) {
            continue;
        }
        const int32_t blockLength = terminatorPositions[fifth] - start + 1;
        if (blockLength >= kBlockLengthLimit) {
            continue;
        }
        char name[16];
        std::snprintf(name, sizeof name, "MU%03d", blockCounter++);
        console.Print("%5s diskno=%1d trk=%02d sec=%2d size=%4d\n", name, disk,
                      sector / kSectorsPerTrack + 1, sector % kSectorsPerTrack + 1, blockLength);
        // A block of length 5 ends before its content starts: its file
        // stays empty.
        const size_t contentSize =
            blockLength > kContentOffset ? static_cast<size_t>(blockLength - kContentOffset) : 0;
        if (!WriteBlock(outputs, name, imageBuffer + start + kContentOffset, contentSize)) {
            allWritten = false;
        }
    }
    return allWritten;
}

}  // namespace

int RunMublock(int argc, char* argv[]) {
    D88Image image;
    if (argc != 2) {
        std::fputs("Usage: mublock [d88file]\n", stderr);
        return 1;
    }
    if (!image.Open(argv[1])) {
        std::fputs(kOpenFailedMessage, stderr);
        return 1;
    }
    const OutputCreator outputs(argv[1]);
    int32_t blockCounter = 0;
    bool allWritten = true;
    Console console;
    const int32_t diskCount = image.GetDiskCount();
    for (int32_t disk = 0; disk < diskCount; ++disk) {
        image.SelectDisk(disk);
        image.SetSectorRange(1, kSectorsPerTrack);
        ReadDisk(image);
        if (!ScanDisk(outputs, disk, blockCounter, console)) {
            allWritten = false;
        }
    }
    const bool consoleWritten = console.Finish("mublock");
    return allWritten && consoleWritten ? 0 : 1;
}
