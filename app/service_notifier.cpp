#include "service_notifier.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

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

void ForgetServiceManager()
{
    for (const char* name : {kNotifySocket, "WATCHDOG_USEC", "WATCHDOG_PID"})
        unsetenv(name);
}
