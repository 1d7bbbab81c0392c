#include "control_file.h"

#include "unique_fd.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <wx/textfile.h>

// Without 64-bit inode numbers and offsets, stat() fails with EOVERFLOW on a
// file whose inode number needs more than 32 bits, which would read as a
// missing control file.
static_assert(sizeof(ino_t) == 8 && sizeof(off_t) == 8,
              "inode numbers and offsets must have 64 bits: build with _FILE_OFFSET_BITS=64");

namespace {

// O_NONBLOCK keeps open() from waiting for the other end of a FIFO that
// replaced the file since it was examined; the caller then sees it is not a
// regular file and lets go of it.
const int kOpenFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Opens path only when it is missing or a regular file, and keeps the
// descriptor only when it refers to a regular file.
UniqueFd OpenRegular(const char* path, int flags)
{
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode))
        return UniqueFd(-1);
    UniqueFd fd(open(path, flags | kOpenFlags, 0666));
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return UniqueFd(-1);
    return fd;
}

} // namespace

time_t ControlFileTime(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return 0;
    return st.st_ctime >= st.st_mtime ? st.st_ctime : st.st_mtime;
}

wxString ReadControlLine(const char* path)
{
    const UniqueFd fd = OpenRegular(path, O_RDONLY);
    if (!fd)
        return wxString();

    // The reader is given the open descriptor's /proc name: an ASCII path to
    // the very file examined above, whatever bytes the real path holds.
    wxTextFile text;
    if (!text.Open("/proc/self/fd/" + std::to_string(fd.get())))
        return wxString();
    wxString line = text.GetLineCount() > 0 ? text.GetFirstLine() : wxString();
    text.Close();
    return line;
}

void TruncateControlFile(const char* path)
{
    const UniqueFd fd = OpenRegular(path, O_WRONLY | O_CREAT);
    if (fd)
        (void)ftruncate(fd.get(), 0);
}
