// Feeds arbitrary bytes, as the content of a /proc/<pid>/stat file, to the
// line parsers, and traps when a parsed name breaks what the lookup relies on.
#include "process_table.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The scan hands the parser what one read returned, NUL-terminated.
    std::vector<char> line(data, data + size);
    line.push_back('\0');

    // Whether the line shows an ended process, and its start time: read past
    // a name that may hold anything.
    (void)StatLineShowsEnded(line.data());
    (void)StatLineStartTime(line.data());

    ProcessEntry entry;
    std::memset(entry.name, 'Z', sizeof entry.name);
    if (!ReadStatLine(line.data(), entry))
        return 0;

    // The name ends inside its field and holds neither a ')' nor a blank,
    // so the lookup's comparison stays within the field.
    const void* end = std::memchr(entry.name, '\0', sizeof entry.name);
    Require(end != nullptr);
    for (const char* c = entry.name; *c; ++c)
        Require(*c != ')' && !std::isspace(static_cast<unsigned char>(*c)));
    return 0;
}
