#include "launch.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace {

void WriteAll(int fd, const char* text, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, text, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        size -= static_cast<size_t>(written);
    }
}

// Runs in the new child only: it shares nothing with the watchdog but what
// the program should inherit, then becomes the program.
[[noreturn]] void BecomeProgram(const char* path)
{
    // The program starts as its start script would start it by hand: not with
    // what the watchdog ignores itself (SIGTERM, SIGPIPE), nor with what a
    // shell ignores in a background job (SIGINT, SIGQUIT). SIGHUP stays as
    // inherited: an operator's nohup is meant for the program too.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (const int signal : {SIGINT, SIGQUIT, SIGPIPE, SIGTERM})
        sigaction(signal, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    if (close_range(3, ~0U, 0) != 0) {
        for (long fd = sysconf(_SC_OPEN_MAX) - 1; fd > 2; --fd)
            close(static_cast<int>(fd));
    }

    char* const argv[] = {const_cast<char*>(path), nullptr};
    execvp(path, argv);

    const char* const reason = strerror(errno);
    const char prefix[] = "[Watchdog]: Could not start ";
    WriteAll(STDERR_FILENO, prefix, sizeof prefix - 1);
    WriteAll(STDERR_FILENO, path, strlen(path));
    WriteAll(STDERR_FILENO, ": ", 2);
    WriteAll(STDERR_FILENO, reason, strlen(reason));
    WriteAll(STDERR_FILENO, "\n", 1);
    _exit(127);
}

} // namespace

pid_t LaunchProgram(const char* path)
{
    const pid_t child = fork();
    if (child == 0)
        BecomeProgram(path);
    return child > 0 ? child : 0;
}
