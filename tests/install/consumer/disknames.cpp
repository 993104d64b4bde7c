// Prints each disk's name and the first file its directory lists.
#include <cstdint>
#include <cstdio>

#include "d88image.h"

int main(int argc, char* argv[]) {
    D88Image image;
    if (argc != 2 || !image.Open(argv[1])) {
        std::fputs("usage: disknames IMAGE (a D88 file that can be read)\n", stderr);
        return 1;
    }
    for (int32_t disk = 0; disk < image.GetDiskCount(); ++disk) {
        image.SelectDisk(disk);
        // A data disk's directory: track 79 (cylinder 39, head 1), sector 5,
        // size code 3 (1024 bytes); its first entry names a file.
        char directory[1024] = {};
        image.ReadSector(79, 39, 1, 5, 3, directory, sizeof directory);
        std::printf("disk %d: %s, first file %.4s\n", disk, image.GetDiskName(), directory);
    }
    return 0;
}
