/* Heartbeat from C: set the control file's times to now every few seconds,
 * and leave when its first line asks for a restart (wdog then starts the
 * program again). The file is HEARTBEAT_FILE, or heartbeat.ctl in the
 * working directory, which wdog's child inherits. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void beat(const char *path)
{
    /* Create the file if needed; a null time sets both times to now. */
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0)
        close(fd);
    utimensat(AT_FDCWD, path, NULL, 0);
}

static int restart_asked(const char *path)
{
    char line[64] = "";
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    if (!fgets(line, sizeof line, file))
        line[0] = '\0';
    (void)fclose(file);
    line[strcspn(line, "\r\n")] = '\0';
    return strcmp(line, "restart") == 0;
}

int main(void)
{
    const char *path = getenv("HEARTBEAT_FILE");
    if (!path)
        path = "heartbeat.ctl";
    for (;;) {
        beat(path);
        if (restart_asked(path))
            return 0;
        sleep(2);
    }
}
