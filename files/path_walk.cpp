#include "path_walk.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

// As many links as the kernel follows in one path.
const int kMaxLinks = 40;
const uid_t kAnyone = static_cast<uid_t>(-1);

// Whose components the walk may still pass: anyone's until it follows
// another user's link, then only root's and that user's.
struct Trust {
    uid_t user = kAnyone;
    bool Allows(uid_t owner) const { return user == kAnyone || owner == 0 || owner == user; }
};

// The remaining components, as text, and where the next one begins.
struct Rest {
    std::string text;
    size_t at = 0;

    // The next component; "" when none is left.
    std::string Next()
    {
        at = text.find_first_not_of('/', at);
        if (at == std::string::npos) {
            at = text.size();
            return std::string();
        }
        const size_t end = std::min(text.find('/', at), text.size());
        std::string component = text.substr(at, end - at);
        at = end;
        return component;
    }
    bool Empty() const { return text.find_first_not_of('/', at) == std::string::npos; }
    // A slash follows the component just taken: it must be a directory.
    bool SlashFollows() const { return at < text.size(); }
};

UniqueFd OpenStart(bool absolute, struct stat& st)
{
    UniqueFd dir(open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dir && fstat(dir.get(), &st) != 0)
        return UniqueFd(-1);
    return dir;
}

WalkEnd End(Reached reached)
{
    WalkEnd end;
    end.reached = reached;
    return end;
}

// The link's text, or "" when it cannot be read whole.
std::string ReadLink(const UniqueFd& link)
{
    char text[PATH_MAX];
    const ssize_t size = readlinkat(link.get(), "", text, sizeof text);
    if (size <= 0 || size >= static_cast<ssize_t>(sizeof text))
        return std::string();
    return std::string(text, static_cast<size_t>(size));
}

} // namespace

WalkEnd WalkPath(const char* path)
{
    Rest rest{path};
    if (rest.Empty() || rest.text.back() == '/')
        return End(Reached::kOther);
    struct stat dirSt = {};
    UniqueFd dir = OpenStart(rest.text.front() == '/', dirSt);
    if (!dir)
        return End(Reached::kOther);

    Trust trust;
    int links = 0;
    bool lastWasLink = false; // the last name came from a link's text
    for (;;) {
        const std::string name = rest.Next();
        const bool last = rest.Empty();
        if (last && rest.SlashFollows())
            return End(Reached::kOther);
        UniqueFd next(openat(dir.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st = {};
        if (!next || fstat(next.get(), &st) != 0) {
            if (!last || errno != ENOENT)
                return End(Reached::kOther);
            if (lastWasLink)
                return End(trust.user == kAnyone ? Reached::kOther : Reached::kRefused);
            if (trust.user != kAnyone && dirSt.st_uid != trust.user)
                return End(Reached::kRefused);
            WalkEnd missing = End(Reached::kMissing);
            missing.dir = std::move(dir);
            missing.name = name;
            return missing;
        }
        if (!trust.Allows(st.st_uid))
            return End(Reached::kRefused);

        if (S_ISLNK(st.st_mode)) {
            if (st.st_nlink != 1)
                return End(Reached::kRefused);
            if (st.st_uid != 0 && st.st_uid != geteuid())
                trust.user = st.st_uid;
            const std::string text = ReadLink(next);
            if (text.empty() || ++links > kMaxLinks)
                return End(Reached::kOther);
            next = UniqueFd(-1);
            if (text.front() == '/') {
                dir = UniqueFd(-1);
                dir = OpenStart(true, dirSt);
                if (!dir)
                    return End(Reached::kOther);
            }
            lastWasLink = lastWasLink || last;
            rest = Rest{text + rest.text.substr(rest.at)};
            continue;
        }
        if (last) {
            const bool ownsIt = trust.user == kAnyone || st.st_uid == trust.user;
            if (!S_ISREG(st.st_mode))
                return End(Reached::kOther);
            if (!ownsIt)
                return End(Reached::kRefused);
            WalkEnd regular = End(Reached::kRegular);
            regular.file = std::move(next);
            regular.st = st;
            return regular;
        }
        if (!S_ISDIR(st.st_mode))
            return End(Reached::kOther);
        dir = std::move(next);
        dirSt = st;
    }
}
