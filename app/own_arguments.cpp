#include "own_arguments.h"

#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

std::vector<std::string> SplitCmdline(const std::string& bytes)
{
    std::vector<std::string> arguments;
    for (std::string::size_type start = 0; start < bytes.size();) {
        auto end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        arguments.emplace_back(bytes, start, end - start);
        start = end + 1;
    }
    return arguments;
}

bool ReadOwnArguments(std::vector<std::string>& arguments, const char* cmdlineFile)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(cmdlineFile, "rbe"));
    if (!file)
        return false;
    std::string bytes;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
        bytes.append(chunk, n);
    if (std::ferror(file.get()))
        return false;
    arguments = SplitCmdline(bytes);
    return true;
}
