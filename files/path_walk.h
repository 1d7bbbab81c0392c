#ifndef WDOG_FILES_PATH_WALK_H
#define WDOG_FILES_PATH_WALK_H

#include "unique_fd.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>

// Where a walk of a path ended.
enum class Reached : uint8_t {
    kRegular, // a regular file: file holds it
    kMissing, // nothing by the last name: dir and name say where it may be made
    kOther,   // anything else, or a path that cannot be walked: never opened
    kRefused, // led by another user's symbolic link to what is not theirs
};

struct WalkEnd {
    Reached reached = Reached::kOther;
    UniqueFd dir{-1};  // kMissing: the directory of the last name, O_PATH
    UniqueFd file{-1}; // kRegular: the file, O_PATH
    struct stat st = {}; // kRegular: the file's
    std::string name;    // kMissing: the last name
};

// Walks path one component at a time with O_PATH|O_NOFOLLOW, from "/" or
// from the working directory, so that every directory met is that very
// directory and no FIFO or device is ever opened. Symbolic links are
// judged by their owner, at most 40 in all: one of root's or of this
// process's effective user is followed; one of another user U is followed
// only through components of root's and of U's, and only to a regular file
// of U's or, for a missing last name, into a directory of U's. A symbolic
// link with more than one hard link is never followed: its owner is the
// inode's, which another user's hard link to a link of root's shares. A
// missing name at the end of a link (a dangling link) is kOther: nothing is
// made through a link. Holds at most two descriptors at once; the result
// holds one, the file's or, for kMissing, the directory's.
WalkEnd WalkPath(const char* path);

#endif
