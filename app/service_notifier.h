#ifndef WDOG_APP_SERVICE_NOTIFIER_H
#define WDOG_APP_SERVICE_NOTIFIER_H

#include "unique_fd.h"

#include <string>
#include <sys/socket.h>
#include <sys/un.h>

// The service manager's notification socket, as $NOTIFY_SOCKET names it: a
// path, or "@name" in the abstract namespace. Each message is one datagram
// sent without waiting; one that cannot be sent (a full queue, a manager
// restarting) is dropped. Without an address, or with one that cannot be
// used (anything else, a name too long for sun_path, no socket to be had),
// nothing is ever sent.
class ServiceNotifier {
public:
    explicit ServiceNotifier(const char* address);

    bool Usable() const { return static_cast<bool>(socket_); }
    void Send(const std::string& message) const;
    // Waits, at most timeoutMs, until the manager has read every message
    // sent before: it closes the pipe end passed with "BARRIER=1". A process
    // that exits right after its last message may otherwise be gone before
    // the manager reads it, and the manager no longer knows whose it was.
    void Barrier(int timeoutMs) const;

private:
    UniqueFd socket_{-1};
    sockaddr_un address_ = {};
    socklen_t length_ = 0;
};

// The variables through which the service manager speaks to its main
// process. The watchdog reads the first, then removes all three from its
// environment, so that the program it launches cannot speak for the unit.
const char* const kNotifySocket = "NOTIFY_SOCKET";
void ForgetServiceManager();

#endif
