// hfclip: cuts a header, and optionally a footer, off a file in place. The
// kept bytes go to FILE.$$$ beside the file; then the untouched file becomes
// FILE.bak and FILE.$$$ becomes FILE.
#ifndef HFCLIP_H
#define HFCLIP_H

#include <cstdint>
#include <string>

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

// A rename that never replaces a file: true on success, false with errno set.
using NoReplaceRename = bool (*)(const char* from, const char* to);

// The two renames that end a cut: the file to `backupName`, then the kept
// bytes in `temporaryName` to the file's name, each through `rename`.
// Returns 0, or 1 after a message on stderr that names both names, the
// reason, and where the untouched file and the kept bytes now stand.
int SwapInKeptRange(const std::string& fileName, const std::string& temporaryName,
                    const std::string& backupName, NoReplaceRename rename);

#endif
