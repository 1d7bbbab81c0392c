#include "process_table.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const unsigned kNameField = sizeof(ProcessEntry::name);

// Fills entry from /proc/<dirName>/stat; false when the process has gone or the
// line does not parse.
bool ReadProcessEntry(const char* dirName, ProcessEntry& entry)
{
    // self, thread-self, sys and the like; a name that merely begins with a
    // digit fails below.
    if (!std::isdigit(static_cast<unsigned char>(dirName[0])))
        return false;

    char path[512];
    std::snprintf(path, sizeof path, "/proc/%s/stat", dirName);

    struct stat info;
    if (stat(path, &info) != 0)
        return false;

    std::FILE* file = std::fopen(path, "r");
    if (!file)
        return false;
    const bool read = ReadStatLine(file, entry);
    std::fclose(file);
    return read;
}

} // namespace

bool ReadStatLine(std::FILE* file, ProcessEntry& entry)
{
    if (std::fscanf(file, "%ld (%511s", &entry.pid, entry.name) != 2)
        return false;
    if (char* close = std::strchr(entry.name, ')'))
        *close = '\0';
    return true;
}

int ScanProcessTable(ProcessTable& table, char* ownName, unsigned ownNameSize)
{
    waitpid(-1, nullptr, WNOHANG);

    DIR* proc = opendir("/proc");
    if (!proc) {
        std::fprintf(stderr, "[Watchdog]: Fatal error: Could not open /proc!\n");
        std::exit(1);
    }

    const int self = getpid();
    table.clear();
    const unsigned copyLimit = std::min(ownNameSize, kNameField) - 1;

    while (const dirent* dir = readdir(proc)) {
        ProcessEntry entry;
        if (!ReadProcessEntry(dir->d_name, entry))
            continue;
        table.emplace(entry.pid, entry);
        // A size of 0 would wrap the limit; no buffer can be written then.
        if (entry.pid == self && ownName && ownNameSize > 0)
            std::strncpy(ownName, entry.name, copyLimit);
    }

    closedir(proc);
    return self;
}
