#include "lock_file.h"

#include "named_file.h"
#include "process_place.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long an empty file that nobody locks may be a watchdog between
// creating and locking it (microseconds, unless the machine stalls), and how
// often to look meanwhile.
const useconds_t kGraceUs = 200000;
const useconds_t kLookUs = 10000;

// A write lock on the whole file, as the checker takes it.
struct flock WholeFileWriteLock()
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}

// The pid the kernel gives for the holder of a lock on the file, if any.
pid_t HolderPid(int fd)
{
    struct flock lock = WholeFileWriteLock();
    if (fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
        return 0;
    return lock.l_pid;
}

// Who holds a lock on the file, if anyone. The kernel names a holder that
// this pid namespace cannot see as pid 0; one of a namespace below it by its
// pid here.
LockPlace HeldBy(int fd)
{
    struct flock lock = WholeFileWriteLock();
    if (fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
        return LockPlace::kFree;
    return lock.l_pid > 0 && InOwnNamespace(lock.l_pid) ? LockPlace::kInUse : LockPlace::kHeldElsewhere;
}

bool TakeWriteLock(int fd)
{
    struct flock lock = WholeFileWriteLock();
    return fcntl(fd, F_SETLK, &lock) == 0;
}

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

bool IsEmpty(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && st.st_size == 0;
}

bool SameFile(const char* path, const struct stat& opened)
{
    const NamedFile named = LookAtPath(path);
    return named.file && named.st.st_dev == opened.st_dev && named.st.st_ino == opened.st_ino;
}

} // namespace

bool IsOwnRegularFile(const char* path)
{
    const NamedFile named = LookAtPath(path);
    return named.file && S_ISREG(named.st.st_mode) && named.st.st_uid == geteuid() && named.st.st_nlink == 1;
}

pid_t LockHolder(const char* path)
{
    const NamedFile named = LookAtPath(path);
    if (!named.file || !S_ISREG(named.st.st_mode) || named.st.st_uid != geteuid())
        return 0;
    const UniqueFd fd = Reopen(named.file, O_RDWR);
    if (!fd)
        return 0;
    const pid_t holder = HolderPid(fd.get());
    return holder > 0 && InOwnNamespace(holder) ? holder : 0;
}

LockPlace LookAtLockFile(const char* path)
{
    const NamedFile named = LookAtPath(path);
    if (!named.file)
        return named.error == ENOENT ? LockPlace::kFree : LockPlace::kForeign;
    const struct stat& opened = named.st;
    // A second hard link may be another user's, to a lock that is not this
    // name's: its holder would keep this watchdog out.
    if (opened.st_mode != (S_IFREG | S_IRUSR | S_IWUSR) || opened.st_uid != geteuid() ||
        opened.st_nlink != 1)
        return LockPlace::kForeign;
    const UniqueFd fd = Reopen(named.file, O_RDWR);
    if (!fd)
        return LockPlace::kForeign;

    for (useconds_t waited = 0; !HoldsPid(fd.get()); waited += kLookUs) {
        const LockPlace held = HeldBy(fd.get());
        if (held != LockPlace::kFree)
            return held;
        // Something else than a pid: the framework reports it.
        if (!IsEmpty(fd.get()))
            return LockPlace::kFree;
        if (waited >= kGraceUs)
            break;
        usleep(kLookUs);
    }
    // Stale, unless someone locks it first.
    if (!TakeWriteLock(fd.get())) {
        if (errno != EACCES && errno != EAGAIN)
            return LockPlace::kFree;
        const LockPlace held = HeldBy(fd.get());
        return held == LockPlace::kFree ? LockPlace::kInUse : held;
    }
    // Another watchdog may have removed this very file and made a new one
    // since it was opened.
    if (SameFile(path, opened))
        unlink(path);
    // Closing the descriptor lets go of the lock.
    return LockPlace::kFree;
}
