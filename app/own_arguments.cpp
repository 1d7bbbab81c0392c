#include "own_arguments.h"

#include <fstream>
#include <iterator>

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
    std::ifstream file(cmdlineFile, std::ios::binary);
    if (!file)
        return false;
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        return false;
    arguments = SplitCmdline(bytes);
    return true;
}
