#include "control_file.h"

#include "named_file.h"
#include "path_walk.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <wx/convauto.h>

// Without 64-bit inode numbers and offsets, stat() fails with EOVERFLOW on a
// file whose inode number needs more than 32 bits, which would read as a
// missing control file.
static_assert(sizeof(ino_t) == 8 && sizeof(off_t) == 8,
              "inode numbers and offsets must have 64 bits: build with _FILE_OFFSET_BITS=64");

namespace {

// Only the first line counts, and only this much of the file is read: a
// program that appends its heartbeats grows the file without end.
const size_t kLineBytes = 4096;

// Says once that the path leads through another user's link to what is not
// theirs, and again only after it has led elsewhere in between.
void ReportRefused(const char* path, bool refused)
{
    static bool reported = false;
    if (refused && !reported)
        (void)std::fprintf(stderr,
                           "[Watchdog]: %s leads through a symbolic link of another user: not read,"
                           " not truncated\n",
                           path);
    reported = refused;
}

WalkEnd Reach(const char* path)
{
    WalkEnd end = WalkPath(path);
    ReportRefused(path, end.reached == Reached::kRefused);
    return end;
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
    const WalkEnd reached = Reach(path);
    if (reached.reached != Reached::kRegular)
        return wxString();
    const UniqueFd fd = Reopen(reached.file, O_RDONLY);
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

bool TruncateControlFile(const char* path)
{
    // A name that appears between the look and the creation is looked at
    // once more.
    for (int walk = 0; walk < 2; ++walk) {
        WalkEnd end = Reach(path);
        if (end.reached == Reached::kMissing) {
            // O_EXCL creates nothing through a link, not even a dangling one.
            const UniqueFd created(openat(end.dir.get(), end.name.c_str(),
                                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC |
                                              O_NOCTTY,
                                          0666));
            if (created || errno != EEXIST)
                return static_cast<bool>(created);
            continue;
        }
        // A second hard link may be another user's, made to a file of root's
        // where the kernel lets anyone link what they cannot write.
        if (end.reached != Reached::kRegular || end.st.st_nlink != 1)
            return false;
        const UniqueFd fd = Reopen(end.file, O_WRONLY);
        return fd && ftruncate(fd.get(), 0) == 0;
    }
    return false;
}
