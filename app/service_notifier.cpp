#include "service_notifier.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <unistd.h>

ServiceNotifier::ServiceNotifier(const char* address)
{
    if (!address || (address[0] != '/' && address[0] != '@'))
        return;
    const size_t size = std::strlen(address);
    // A path needs its NUL within sun_path; an abstract name has none.
    if (size < 2 || size + (address[0] == '/' ? 1 : 0) > sizeof address_.sun_path)
        return;
    address_.sun_family = AF_UNIX;
    std::memcpy(address_.sun_path, address, size);
    if (address[0] == '@')
        address_.sun_path[0] = '\0';
    length_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + size);
    socket_ = UniqueFd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
}

void ServiceNotifier::Send(const std::string& message) const
{
    if (!socket_)
        return;
    (void)sendto(socket_.get(), message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&address_), length_);
}

void ServiceNotifier::Barrier(int timeoutMs) const
{
    if (!socket_)
        return;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return;
    const UniqueFd readEnd(ends[0]);
    {
        const UniqueFd writeEnd(ends[1]);
        char text[] = "BARRIER=1";
        iovec data{text, sizeof text - 1};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message = {};
        message.msg_name = const_cast<sockaddr_un*>(&address_);
        message.msg_namelen = length_;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* rights = CMSG_FIRSTHDR(&message);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &ends[1], sizeof(int));
        if (sendmsg(socket_.get(), &message, MSG_DONTWAIT | MSG_NOSIGNAL) < 0)
            return;
    }
    // The manager's copy is the last writer left: its close ends the wait.
    pollfd hangup{readEnd.get(), 0, 0};
    (void)poll(&hangup, 1, timeoutMs);
}

void ForgetServiceManager()
{
    for (const char* name : {kNotifySocket, "WATCHDOG_USEC", "WATCHDOG_PID"})
        unsetenv(name);
}
