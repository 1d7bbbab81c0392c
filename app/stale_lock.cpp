#include "stale_lock.h"

#include "unique_fd.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The framework's checker creates its file, takes this lock on it for as
// long as it lives, then writes its pid; it removes the file before it lets
// go of the lock. So a file whose lock nobody holds is stale.
bool TakeWriteLock(int fd)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_SETLK, &lock) == 0;
}

// An empty file is a watchdog starting at this instant, between creating
// the file and writing its pid.
bool HoldsPid(int fd)
{
    char text[32];
    const ssize_t size = pread(fd, text, sizeof text - 1, 0);
    if (size <= 0)
        return false;
    text[size] = '\0';
    int pid = 0;
    return std::sscanf(text, "%d", &pid) == 1;
}

} // namespace

void RemoveStaleLock(const char* path)
{
    const UniqueFd fd(open(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened;
    if (!fd || fstat(fd.get(), &opened) != 0)
        return;
    if (opened.st_mode != (S_IFREG | S_IRUSR | S_IWUSR) || opened.st_uid != getuid())
        return;
    if (!HoldsPid(fd.get()) || !TakeWriteLock(fd.get()))
        return;
    // Another watchdog may have removed this very file and made a new one
    // since it was opened.
    struct stat named;
    if (stat(path, &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
        unlink(path);
    // Closing the descriptor lets go of the lock.
}
