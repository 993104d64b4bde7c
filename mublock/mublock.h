// mublock: writes every RM block found on the disks of a D88 data-disk image
// to its own file MU000, MU001, ... in the current directory.
#ifndef MUBLOCK_H
#define MUBLOCK_H

// Runs the whole program on its command line (argv[1] is the image path):
// returns 0 after all disks were scanned and every block was written, 1 on a
// usage error, an image that cannot be opened, a block that could not be
// written (the image itself is never overwritten), or console lines that
// could not be written.
int RunMublock(int argc, char* argv[]);

#endif
