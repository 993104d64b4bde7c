// Writes the seed corpora of the fuzz targets:
//
//   make_fuzz_seeds OUTPUT_DIR SAMPLE_IMAGE [REAL_IMAGES_DIR]
//
// OUTPUT_DIR/reader, /mublock, /dirdump and /hfclip_arguments receive small
// images built here (sound data disks, and the damage the tools must survive),
// the sample image and the real images; the reader's seeds carry a script of
// calls after the image. A real images directory that does not exist is
// skipped with a note.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "d88_builder.h"
#include "reader_script.h"

namespace {

using d88test::Bytes;
using d88test::Disk;

struct Seed {
    std::string name;
    Bytes image;
};

// A data disk of which only the tracks in `tracks` are stored.
Disk SparseDataDisk(const Bytes& logical, const std::vector<int>& tracks) {
    const Disk whole = d88test::MakeDataDisk(logical);
    Disk disk;
    for (int track : tracks) {
        disk.tracks[track] = whole.tracks.at(track);
    }
    return disk;
}

// Logical bytes with a directory listing two files and an RM block in each.
Bytes FilesAndBlocks() {
    Bytes logical = d88test::BlankLogicalDisk();
    const Bytes block = {0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 'R',  'M', 'D',
                         'A',  'T',  'A',  0xFD, 0xFD, 0xFD, 0xFD, 0xFD};
    d88test::Put(logical, 0, block);
    Bytes longFile(2100, 0x41);
    longFile[4] = 0x33;  // length 2100 - 1 = 0x833
    longFile[5] = 0x08;
    longFile[6] = 'R';
    longFile[7] = 'M';
    for (size_t i = 1500; i < 1505; ++i) {
        longFile[i] = 0xFD;
    }
    d88test::Put(logical, 5 * 1024, longFile);
    Bytes directory(1024, 0xFF);
    d88test::Put(directory, 0, d88test::TextBytes("BLK1LONG"));
    directory[8] = 0x00;
    directory[512 + 0] = 0;
    directory[512 + 5] = 1;
    directory[512 + 6] = 1;
    directory[512 + 7] = 1;
    d88test::Put(logical, 399 * 1024, directory);
    return logical;
}

std::vector<Seed> BuiltImages() {
    std::vector<Seed> seeds;
    const Bytes logical = FilesAndBlocks();
    const Disk sparse = SparseDataDisk(logical, {0, 1, 79});
    seeds.push_back({"sparse-data-disk", d88test::BuildImage({sparse})});
    seeds.push_back({"two-disks", d88test::BuildImage({sparse, SparseDataDisk(logical, {1, 79})})});
    seeds.push_back(
        {"whole-data-disk", d88test::BuildImage({d88test::MakeDataDisk(logical, "WHOLE")})});

    Disk sizeZero = sparse;
    sizeZero.diskSize = 0;
    seeds.push_back({"disk-size-zero", d88test::BuildImage({sizeZero})});

    Disk pastEnd = sparse;
    pastEnd.diskSize = 0xFFFFFFF0;
    pastEnd.trackOffsets[2] = 0xFFFFFF00;
    seeds.push_back({"disk-size-past-end", d88test::BuildImage({pastEnd})});

    Disk beyondDisk = sparse;
    beyondDisk.diskSize = 0x2B0 + 100;
    seeds.push_back({"tracks-beyond-disk-size", d88test::BuildImage({beyondDisk})});

    Bytes truncated = d88test::BuildImage({sparse});
    truncated.resize(0x2B0 + 16 + 700);
    seeds.push_back({"cut-inside-sector-data", truncated});
    truncated.resize(0x2B0 + 8);
    seeds.push_back({"cut-inside-record", truncated});
    truncated.resize(400);
    seeds.push_back({"cut-inside-header", truncated});

    Disk odd;
    odd.name = "SIXTEEN-BYTES-NM";
    odd.mediaType = 0x20;
    auto& track = odd.Track(0);
    track.push_back(d88test::MakeSector(0, 0, 1, 3, Bytes(1024, 0x11)));
    track.back().count = 0;
    track.push_back(d88test::MakeSector(0, 0, 1, 3, Bytes(1024, 0x22)));
    track.push_back(d88test::MakeSector(0, 0, 2, 3, Bytes(512, 0x33)));
    track.push_back(d88test::MakeSector(0, 0, 3, 3, Bytes(16, 0x44)));
    track.back().dataSize = 0xFFFF;
    odd.Track(163).push_back(d88test::MakeSector(81, 1, 9, 1, Bytes(256, 0x55)));
    odd.trackOffsets[5] = 0x2B0;
    seeds.push_back({"odd-records", d88test::BuildImage({odd})});
    return seeds;
}

// Calls that walk a disk the ways the programs and other callers do.
Bytes ReaderScript(int diskCount) {
    using namespace d88fuzz;
    auto track = [](int t) { return static_cast<uint8_t>(t + kNarrowTrackOffset); };
    std::vector<Bytes> calls;
    for (int disk = 0; disk < diskCount && disk < 2; ++disk) {
        const std::vector<Bytes> diskCalls = {
            {kSelectDisk, static_cast<uint8_t>(disk + kNarrowIndexOffset)},
            {kSetSectorRange, 1, 5},
            {kReadDataTrack, 0},
            {kReadDataTrack, 79},
            {kReadTrackIds, track(0), 64, 0},
            {kReadTrackIds, track(163), 6, 0},
            {kReadSector, track(0), 0, 0, 1, 3, 0x00, 0x04},
            {kReadSector, track(0), 0, 0, 1, 1, 0x00, 0x01},
            {kReadSectors, track(1), 0, 1, 1, 3, 0x00, 0x18},
            {kReadSectors, track(0), 0, 0, 1, 1, 0x00, 0x10},
        };
        calls.insert(calls.end(), diskCalls.begin(), diskCalls.end());
    }
    const std::vector<Bytes> closing = {
        {kClose},
        {kReadDataTrack, 0},
        {kReopen},
        {kSelectDisk, kNarrowIndexOffset},
        {kReadDataTrack, 0},
    };
    calls.insert(calls.end(), closing.begin(), closing.end());
    Bytes script;
    for (const Bytes& call : calls) {
        script.insert(script.end(), call.begin(), call.end());
    }
    return script;
}

// The number of whole disk headers from offset 0, as the reader counts them.
int CountDisks(const Bytes& image) {
    uint64_t offset = 0;
    int count = 0;
    while (count < 64 && offset + 0x2B0 <= image.size()) {
        offset += image[offset + 0x1C] | (image[offset + 0x1D] << 8) |
                  (image[offset + 0x1E] << 16) |
                  (static_cast<uint64_t>(image[offset + 0x1F]) << 24);
        ++count;
    }
    return count;
}

bool WriteSeed(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

bool MakeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

std::vector<Seed> ImagesFrom(const std::string& directory) {
    std::vector<Seed> seeds;
    DIR* stream = opendir(directory.c_str());
    if (stream == nullptr) {
        std::fprintf(stderr, "make_fuzz_seeds: no real images in %s; skipped\n", directory.c_str());
        return seeds;
    }
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        const size_t dot = name.rfind('.');
        const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
        if (extension == ".d88" || extension == ".D88" || extension == ".d77" ||
            extension == ".D77") {
            seeds.push_back({"real-" + name, d88test::ReadFile(directory + "/" + name)});
        }
    }
    closedir(stream);
    return seeds;
}

const std::vector<std::pair<std::string, std::string>> kArgumentSeeds = {
    {"plain", std::string("16\0"
                          "84",
                          5)},
    {"signs-and-space", std::string(" \t+12abc\0-5\0\v\f\r\n7", 17)},
    {"limits", std::string("9223372036854775807\0-9223372036854775807\0"
                           "9223372036854775808",
                           60)},
    {"beyond", std::string("-9223372036854775808\0"
                           "99999999999999999999999\0",
                           45)},
    {"no-digits", std::string("- 5\0+\0", 6)},
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3 || argc > 4) {
        std::fputs("Usage: make_fuzz_seeds OUTPUT_DIR SAMPLE_IMAGE [REAL_IMAGES_DIR]\n", stderr);
        return 1;
    }
    const std::string output = argv[1];
    std::vector<Seed> images = BuiltImages();
    images.push_back({"sample", d88test::ReadFile(argv[2])});
    if (argc == 4) {
        for (Seed& seed : ImagesFrom(argv[3])) {
            images.push_back(std::move(seed));
        }
    }
    bool written = MakeDirectory(output);
    for (const char* target : {"reader", "mublock", "dirdump", "hfclip_arguments"}) {
        written = MakeDirectory(output + "/" + target) && written;
    }
    for (const Seed& seed : images) {
        written = WriteSeed(output + "/mublock/" + seed.name, seed.image) && written;
        written = WriteSeed(output + "/dirdump/" + seed.name, seed.image) && written;
        written = WriteSeed(output + "/reader/" + seed.name,
                            d88fuzz::JoinInput(seed.image, ReaderScript(CountDisks(seed.image)))) &&
                  written;
    }
    for (const auto& [name, text] : kArgumentSeeds) {
        written =
            WriteSeed(output + "/hfclip_arguments/" + name, Bytes(text.begin(), text.end())) &&
            written;
    }
    return written ? 0 : 1;
}
