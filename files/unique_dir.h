#ifndef WDOG_FILES_UNIQUE_DIR_H
#define WDOG_FILES_UNIQUE_DIR_H

#include <dirent.h>

#include <memory>

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Owns one open directory stream and closes it on destruction.
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

#endif
