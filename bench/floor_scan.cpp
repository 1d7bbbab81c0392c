#include "floor_scan.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int FloorScan(bool withStat)
{
    DIR* proc = opendir("/proc");
    if (!proc)
        return 0;
    int count = 0;
    char path[300];
    char line[1024];
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        (void)std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        struct stat info;
        if (withStat && stat(path, &info) != 0)
            continue;
        const int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (read(fd, line, sizeof line) > 0)
            ++count;
        close(fd);
    }
    closedir(proc);
    return count;
}
