#include "control_file.h"

#include "named_file.h"

#include <cerrno>
#include <climits>
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

// What the control file's name leads to.
enum class Reached : uint8_t {
    kRegular, // a regular file: file.file holds it
    kMissing, // nothing by that name: file.dir and file.name say where
    kOther,   // anything else; never opened
};

struct ControlTarget {
    Reached reached;
    NamedFile file;
};

// Says once that the name is another user's link, and again only after it
// has been something else in between.
void ReportForeignLink(const char* path, bool foreign)
{
    static bool reported = false;
    if (foreign && !reported)
        (void)std::fprintf(stderr,
                           "[Watchdog]: %s is a symbolic link of another user: not read, not truncated\n",
                           path);
    reported = foreign;
}

bool OwnOrRoots(const struct stat& st)
{
    return st.st_uid == geteuid() || st.st_uid == 0;
}

// A link of this user or root is followed once, from the link's own
// directory, to a regular file. Anyone who could plant a link in the
// directory could as well have written the file, so another user's link
// (and a link to a link) is never followed: through it, a root watchdog
// would empty or read whatever that user chose.
ControlTarget FollowLink(const char* path, NamedFile link)
{
    if (!OwnOrRoots(link.st)) {
        ReportForeignLink(path, true);
        return {Reached::kOther, std::move(link)};
    }
    char text[PATH_MAX];
    const ssize_t size = readlinkat(link.file.get(), "", text, sizeof text - 1);
    if (size <= 0 || size >= static_cast<ssize_t>(sizeof text) - 1) {
        ReportForeignLink(path, false);
        return {Reached::kOther, std::move(link)};
    }
    text[size] = '\0';
    NamedFile target = LookAtName(std::move(link.dir), text);
    target.name = nullptr; // it points into text; nothing is created through a link
    const bool regular = target.file && S_ISREG(target.st.st_mode);
    ReportForeignLink(path, target.file && S_ISLNK(target.st.st_mode));
    return {regular ? Reached::kRegular : Reached::kOther, std::move(target)};
}

// Opens the regular file that was reached. Its directory is let go of
// first, so that a read holds no more than two descriptors at once.
UniqueFd OpenReached(ControlTarget target, int flags)
{
    target.file.dir = UniqueFd(-1);
    return Reopen(target.file.file, flags);
}

ControlTarget Reach(const char* path)
{
    NamedFile file = LookAtPath(path);
    if (!file.file) {
        ReportForeignLink(path, false);
        const bool missing = file.dir && file.error == ENOENT;
        return {missing ? Reached::kMissing : Reached::kOther, std::move(file)};
    }
    if (S_ISLNK(file.st.st_mode))
        return FollowLink(path, std::move(file));
    ReportForeignLink(path, false);
    return {S_ISREG(file.st.st_mode) ? Reached::kRegular : Reached::kOther, std::move(file)};
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
    ControlTarget target = Reach(path);
    if (target.reached != Reached::kRegular)
        return wxString();
    const UniqueFd fd = OpenReached(std::move(target), O_RDONLY);
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
    // A name that appears between the look and the creation is looked at
    // once more.
    for (int walk = 0; walk < 2; ++walk) {
        ControlTarget target = Reach(path);
        if (target.reached == Reached::kMissing) {
            // O_EXCL creates nothing through a link, not even a dangling one.
            const UniqueFd created(openat(target.file.dir.get(), target.file.name,
                                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC |
                                              O_NOCTTY,
                                          0666));
            if (created || errno != EEXIST)
                return;
            continue;
        }
        // A second hard link may be another user's, made to a file of root's
        // where the kernel lets anyone link what they cannot write.
        if (target.reached != Reached::kRegular || target.file.st.st_nlink != 1)
            return;
        const UniqueFd fd = OpenReached(std::move(target), O_WRONLY);
        if (fd)
            (void)ftruncate(fd.get(), 0);
        return;
    }
}
