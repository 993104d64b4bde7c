// dirdump: writes every file that the directory of each disk of a D88
// data-disk image lists to a file of that name in the current directory.
#ifndef DIRDUMP_H
#define DIRDUMP_H

// Runs the whole program on its command line (argv[1] is the image path):
// returns 0 after all disks were processed and every listed file was written,
// 1 on a usage error, an image that cannot be opened, a name that would leave
// the current directory, an output file that could not be written (the image
// itself is never overwritten), or console lines that could not be written.
int RunDirdump(int argc, char* argv[]);

#endif
