#ifndef WDOG_FILES_NAMED_FILE_H
#define WDOG_FILES_NAMED_FILE_H

#include "unique_fd.h"

#include <sys/stat.h>

// What a path's last component is, looked at without following it: its
// directory is opened first (the directories on the way are followed, as the
// path says), then the name in it with O_PATH|O_NOFOLLOW. Such a descriptor
// opens nothing, so no device driver or FIFO is ever called, and a symbolic
// link stays the link. Whatever later replaces the name, the descriptor
// stays the file that was looked at.
struct NamedFile {
    UniqueFd dir{-1};  // the directory, O_PATH
    UniqueFd file{-1}; // the name in it, O_PATH; invalid when it could not be looked at
    const char* name = nullptr; // the last component, within the path given
    struct stat st = {};
    int error = 0; // why dir or file is invalid: ENOENT for a missing name
};

// Looks at path's last component. A path that ends in '/' names no file.
NamedFile LookAtPath(const char* path);

// Looks at name in the directory dir (a descriptor of it), and keeps dir.
NamedFile LookAtName(UniqueFd dir, const char* name);

// Opens the very file that an O_PATH descriptor looked at, with flags (and
// O_CLOEXEC and O_NOCTTY), through /proc/self/fd. Its permissions are
// checked now, as they would be by a plain open.
UniqueFd Reopen(const UniqueFd& file, int flags);

#endif
