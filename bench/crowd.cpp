#include "crowd.h"

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

Crowd::Crowd(const std::string& prefix, int size) : prefix_(prefix)
{
    pids_.reserve(static_cast<size_t>(size));
    const pid_t parent = getpid();
    for (int i = 0; i < size; ++i) {
        const std::string name = NameOf(i);
        const pid_t pid = fork();
        if (pid < 0)
            return;
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(0);
            prctl(PR_SET_NAME, name.c_str());
            for (;;)
                pause();
        }
        pids_.push_back(pid);
    }
}

Crowd::~Crowd()
{
    for (const pid_t pid : pids_)
        kill(pid, SIGKILL);
    for (const pid_t pid : pids_)
        waitpid(pid, nullptr, 0);
}
