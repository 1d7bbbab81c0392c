#include "file_support.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

bool TryWriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    if (!TryWriteFile(path, bytes))
        throw std::runtime_error("cannot write " + path);
}

void WriteExecutable(const std::string& path, const std::string& text)
{
    WriteFile(path, text);
    if (chmod(path.c_str(), 0755) != 0)
        throw std::runtime_error("cannot chmod " + path);
}

std::string ReadFile(const std::string& path)
{
    // Plain reads: a /proc file whose process ends meanwhile fails with
    // ESRCH, which a stream would turn into an exception.
    std::string bytes;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        bytes.append(buffer, static_cast<size_t>(n > 0 ? n : 0));
    close(fd);
    return bytes;
}

void SetFileTimes(const std::string& path, time_t when)
{
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the times of " + path);
}

long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}
