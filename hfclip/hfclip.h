// hfclip: cuts a header, and optionally a footer, off a file in place. The
// kept bytes go to FILE.$$$ beside the file; then the untouched file becomes
// FILE.bak and FILE.$$$ becomes FILE.
#ifndef HFCLIP_H
#define HFCLIP_H

#include <cstdint>

// Runs the whole program on its command line (file, header cut size, optional
// cut size): returns 0 once the file is cut and both renames are made, 1 on a
// usage error, a file that cannot be read, a negative header cut size, sizes
// that do not fit the file, a temporary file that cannot be written, a rename
// that fails, or a progress line that cannot be written.
int RunHfclip(int argc, char* argv[]);

// Reads a size argument: leading white space, one optional sign, decimal
// digits up to the first other character; no digits means 0. Returns false,
// leaving `value` alone, when the digits do not fit in int64_t.
bool ConvertSizeArgument(const char* text, int64_t& value);

// True when `cutSize` bytes from offset `headerCutSize` on lie within a file
// of `fileSize` bytes, that is headerCutSize + cutSize <= fileSize, decided
// without overflow for every value.
bool KeptRangeFits(int64_t fileSize, int64_t headerCutSize, int64_t cutSize);

#endif
