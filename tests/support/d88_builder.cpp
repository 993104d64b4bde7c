#include "d88_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace d88test {

namespace {

constexpr size_t kHeaderSize = 0x2B0;
constexpr size_t kRecordSize = 16;
constexpr int kTrackSlots = 164;

void PutLittleEndian16(Bytes& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLittleEndian32(Bytes& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

Sector MakeSector(int c, int h, int r, int n, Bytes data) {
    Sector sector;
    sector.c = static_cast<uint8_t>(c);
    sector.h = static_cast<uint8_t>(h);
    sector.r = static_cast<uint8_t>(r);
    sector.n = static_cast<uint8_t>(n);
    sector.data = std::move(data);
    return sector;
}

Bytes BuildDisk(const Disk& disk) {
    Bytes bytes(kHeaderSize, 0);
    for (size_t i = 0; i < disk.name.size() && i < 17; ++i) {
        bytes[i] = static_cast<uint8_t>(disk.name[i]);
    }
    bytes[0x1A] = disk.writeProtect;
    bytes[0x1B] = disk.mediaType;
    for (const auto& [index, records] : disk.tracks) {
        if (index < 0 || index >= kTrackSlots) {
            throw std::out_of_range("track index outside 0..163");
        }
        PutLittleEndian32(bytes, 0x20 + 4 * index, static_cast<uint32_t>(bytes.size()));
        for (const Sector& sector : records) {
            Bytes record(kRecordSize, 0);
            record[0] = sector.c;
            record[1] = sector.h;
            record[2] = sector.r;
            record[3] = sector.n;
            PutLittleEndian16(record, 4, sector.count.value_or(static_cast<uint16_t>(records.size())));
            PutLittleEndian16(record, 14,
                              sector.dataSize.value_or(static_cast<uint16_t>(sector.data.size())));
            bytes.insert(bytes.end(), record.begin(), record.end());
            bytes.insert(bytes.end(), sector.data.begin(), sector.data.end());
        }
    }
    for (const auto& [index, offset] : disk.trackOffsets) {
        PutLittleEndian32(bytes, 0x20 + 4 * index, offset);
    }
    PutLittleEndian32(bytes, 0x1C, disk.diskSize.value_or(static_cast<uint32_t>(bytes.size())));
    return bytes;
}

Bytes BuildImage(const std::vector<Disk>& disks) {
    Bytes image;
    for (const Disk& disk : disks) {
        Bytes bytes = BuildDisk(disk);
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    return image;
}

Disk MakeDataDisk(const Bytes& logical, const std::string& name) {
    Disk disk;
    disk.name = name;
    for (int track = 0; track < kDataDiskTracks; ++track) {
        std::vector<Sector>& records = disk.Track(track);
        for (int r = 1; r <= kDataDiskSectorsPerTrack; ++r) {
            const size_t start = static_cast<size_t>(track * kDataDiskSectorsPerTrack + r - 1) *
                                 kDataDiskSectorSize;
            Bytes data(kDataDiskSectorSize, 0);
            for (size_t i = 0; i < data.size() && start + i < logical.size(); ++i) {
                data[i] = logical[start + i];
            }
            records.push_back(MakeSector(track / 2, track % 2, r, 3, std::move(data)));
        }
    }
    return disk;
}

Bytes BlankLogicalDisk() { return Bytes(kDataDiskBytes, 0); }

void Put(Bytes& target, size_t offset, const Bytes& bytes) {
    if (target.size() < offset + bytes.size()) {
        target.resize(offset + bytes.size(), 0);
    }
    std::copy(bytes.begin(), bytes.end(), target.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) { WriteFile(path, TextBytes(text)); }

std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace d88test
