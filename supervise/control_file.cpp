#include "control_file.h"

#include "unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <wx/convauto.h>

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

// Only the first line counts, and only this much of the file is read: a
// program that appends its heartbeats grows the file without end.
const size_t kLineBytes = 4096;

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

// The bytes as text, in the encoding that the framework's automatic detection
// finds (a fresh detector each time: one keeps what it found). When the read
// was cut short, it may have cut the last character in two (a UTF-8
// sequence, a UTF-16 unit or surrogate pair, a UTF-32 unit): up to three
// bytes are dropped until the rest converts.
wxString Decode(const char* bytes, size_t size, bool cut)
{
    for (size_t drop = 0;; ++drop) {
        const wxConvAuto detect;
        // The length is explicit: the bytes may hold NULs.
        wxString text(bytes, detect, size - drop);
        if (!text.empty() || !cut || drop == 3 || drop == size)
            return text;
    }
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

    // One byte more than is kept tells whether the file goes on.
    char bytes[kLineBytes + 1];
    size_t size = 0;
    while (size < sizeof bytes) {
        const ssize_t got = read(fd.get(), bytes + size, sizeof bytes - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return wxString();
        if (got == 0)
            break;
        size += static_cast<size_t>(got);
    }
    const bool cut = size > kLineBytes;
    const wxString text = Decode(bytes, cut ? kLineBytes : size, cut);

    // Lines end at LF, CR LF or a lone CR. A first line that does not end
    // within what was read is longer than any command.
    const size_t end = text.find_first_of("\r\n");
    if (end == wxString::npos)
        return cut ? wxString() : text;
    return text.substr(0, end);
}

void TruncateControlFile(const char* path)
{
    const UniqueFd fd = OpenRegular(path, O_WRONLY | O_CREAT);
    if (fd)
        (void)ftruncate(fd.get(), 0);
}
