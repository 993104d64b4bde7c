// A rename that never replaces an existing file. Plain rename() replaces a
// file of the new name on POSIX systems, and testing for the name first
// leaves a gap in which another process can create it.
#ifndef NO_REPLACE_RENAME_H
#define NO_REPLACE_RENAME_H

// Gives `from` the name `to`: true on success; false with errno set (EEXIST
// when `to` is taken) and nothing changed. Uses renameat2 with
// RENAME_NOREPLACE, and RenameNoReplaceByLink where the file system or the
// kernel refuses that flag.
bool RenameNoReplace(const char* from, const char* to);

// The fallback of RenameNoReplace: link() to the new name, which fails when
// it is taken, then unlink() of the old one. True on success; false with
// errno set, and a link made is taken back when the unlink fails.
bool RenameNoReplaceByLink(const char* from, const char* to);

#endif
