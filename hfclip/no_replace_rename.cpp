#include "no_replace_rename.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

bool RenameNoReplaceByLink(const char* from, const char* to) {
    if (link(from, to) != 0) {
        return false;
    }
    if (unlink(from) != 0) {
        const int unlinkError = errno;
        unlink(to);
        errno = unlinkError;
        return false;
    }
    return true;
}

bool RenameNoReplace(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    // These say that the flag is not supported here, not that the rename
    // itself is impossible.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return false;
    }
#endif
    return RenameNoReplaceByLink(from, to);
}
