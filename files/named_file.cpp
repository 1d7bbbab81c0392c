#include "named_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>

NamedFile LookAtPath(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    if (*name == '\0') {
        NamedFile none;
        none.error = EISDIR;
        return none;
    }
    // The directory part keeps its last slash, so that "/ctl" looks in "/".
    const std::string dir = slash ? std::string(path, slash + 1) : std::string(".");
    UniqueFd opened(open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!opened) {
        NamedFile none;
        none.error = errno;
        return none;
    }
    return LookAtName(std::move(opened), name);
}

NamedFile LookAtName(UniqueFd dir, const char* name)
{
    NamedFile named;
    named.dir = std::move(dir);
    named.name = name;
    UniqueFd file(openat(named.dir.get(), name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!file || fstat(file.get(), &named.st) != 0) {
        named.error = errno;
        return named;
    }
    named.file = std::move(file);
    return named;
}

UniqueFd Reopen(const UniqueFd& file, int flags)
{
    char path[32];
    (void)std::snprintf(path, sizeof path, "/proc/self/fd/%d", file.get());
    // Never with O_NOFOLLOW: the entry is a link to the file, by design.
    return UniqueFd(open(path, flags | O_CLOEXEC | O_NOCTTY));
}
