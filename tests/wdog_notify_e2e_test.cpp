// The built wdog speaking to a service manager: a datagram socket of the
// test's own stands for it, named in NOTIFY_SOCKET.
#include "file_support.h"
#include "process_support.h"
#include "wdog_runner.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// What the watchdog's prepare puts in NOTIFY_SOCKET (it runs in the child).
std::string g_notifySocket;
void SetNotifySocket()
{
    setenv("NOTIFY_SOCKET", g_notifySocket.c_str(), 1);
}

struct Datagram {
    Clock::time_point at;
    std::string text;
    bool withDescriptor; // it passed a descriptor, which is closed at once
};

// A service manager's socket: bound to path, or in the abstract namespace
// when it begins with '@'.
class Manager {
public:
    explicit Manager(const std::string& address) : fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un un = {};
        un.sun_family = AF_UNIX;
        std::memcpy(un.sun_path, address.data(), address.size());
        if (address[0] == '@')
            un.sun_path[0] = '\0';
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size());
        if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&un), length) != 0)
            throw std::runtime_error("cannot bind " + address);
    }
    ~Manager() { close(fd_); }
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    // Receives for as long as given, or until a datagram holds until.
    std::vector<Datagram> Receive(std::chrono::milliseconds duration, const std::string& until = "")
    {
        std::vector<Datagram> got;
        const auto end = Clock::now() + duration;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            pollfd in{fd_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
            if (poll(&in, 1, static_cast<int>(left.count()) + 1) <= 0)
                continue;
            char text[4096];
            iovec data{text, sizeof text};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
            msghdr message = {};
            message.msg_iov = &data;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t size = recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
            if (size < 0)
                continue;
            const cmsghdr* rights = CMSG_FIRSTHDR(&message);
            const bool passed = rights && rights->cmsg_type == SCM_RIGHTS;
            if (passed) {
                int passedFd = -1;
                std::memcpy(&passedFd, CMSG_DATA(rights), sizeof passedFd);
                close(passedFd);
            }
            got.push_back({Clock::now(), std::string(text, static_cast<size_t>(size)), passed});
            if (!until.empty() && got.back().text.find(until) != std::string::npos)
                break;
        }
        return got;
    }

private:
    int fd_;
};

bool Holds(const std::vector<Datagram>& got, const std::string& text)
{
    for (const Datagram& datagram : got)
        if (datagram.text.find(text) != std::string::npos)
            return true;
    return false;
}

// The longest time between two WATCHDOG=1, from the first.
std::chrono::milliseconds LongestSilence(const std::vector<Datagram>& got, Clock::time_point end)
{
    Clock::time_point last{};
    std::chrono::milliseconds longest{0};
    for (const Datagram& datagram : got) {
        if (datagram.text != "WATCHDOG=1")
            continue;
        if (last != Clock::time_point{})
            longest = std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(datagram.at - last));
        last = datagram.at;
    }
    return std::max(longest, std::chrono::duration_cast<std::chrono::milliseconds>(end - last));
}

class Notify : public ::testing::TestWithParam<const char*> {};

// Ready within a pass, a status that names the launched program, alive at
// least every 3 s through a "restart" that waits for a program that will
// not leave; the program never sees the manager's variables.
TEST_P(Notify, ReadyAliveAndStatusWhileItWaits)
{
    const WatchedSetup setup("watched", "told");
    const std::string ctl = setup.dir + "/ctl";
    WriteExecutable(setup.program, "#!/bin/sh\n"
                                   "env > '" + setup.dir + "/env'\n"
                                   "while :; do touch '" + ctl + "'; sleep 0.5; done\n");
    WriteFile(ctl, "restart\n");
    const TempDir sockets;
    g_notifySocket = std::string(GetParam()) == "path" ? sockets.path() + "/notify" : "@" + UniqueName("notify");
    Manager manager(g_notifySocket);

    Watchdog w(setup.dir, UniqueName("wdtold"), {setup.program, ctl, setup.name}, "", "", SetNotifySocket);
    // Ready before its first pass says anything.
    const std::vector<Datagram> ready = manager.Receive(10s, "READY=1");
    ASSERT_TRUE(Holds(ready, "READY=1")) << w.Stderr();
    EXPECT_EQ(ready.size(), 1u) << ready.front().text;
    const std::vector<Datagram> launched = manager.Receive(10s, setup.name + " running since");
    ASSERT_TRUE(Holds(launched, "STATUS=" + setup.name + " running since")) << w.Stderr();
    EXPECT_TRUE(Holds(launched, "1 restart, the last at"));

    WriteFile(ctl, "restart\n");
    const std::vector<Datagram> waiting = manager.Receive(8s);
    EXPECT_LE(LongestSilence(waiting, Clock::now()), std::chrono::seconds(3));
    ASSERT_TRUE(w.Running());
    const std::string env = ReadFile(setup.dir + "/env");
    ASSERT_NE(env.find("PATH="), std::string::npos);
    for (const char* variable : {"NOTIFY_SOCKET=", "WATCHDOG_USEC=", "WATCHDOG_PID="})
        EXPECT_EQ(env.find(variable), std::string::npos) << variable;
}

INSTANTIATE_TEST_SUITE_P(Addresses, Notify, ::testing::Values("path", "abstract"),
                         [](const auto& info) { return std::string(info.param); });

// A start that the lock refuses is ready, then stopping with a status that
// names the holder, and waits for the manager to have read that, but not
// for ever; the one that runs says it stops when "die" ends it.
TEST(NotifyAtTheEnds, ARefusedStartAndADie)
{
    const WatchedSetup setup("watched", "ends");
    const std::string exe = UniqueName("wdends");
    const std::vector<std::string> arguments{"/bin/false", setup.dir + "/ctl", "other"};
    g_notifySocket = "@" + UniqueName("first");
    Manager first(g_notifySocket);
    Watchdog running(setup.dir, exe, arguments, "", "", SetNotifySocket);
    ASSERT_TRUE(Holds(first.Receive(10s, "READY=1"), "READY=1"));

    g_notifySocket = "@" + UniqueName("second");
    Manager second(g_notifySocket);
    Watchdog refused(setup.dir, exe, arguments, "", "", SetNotifySocket);
    const std::vector<Datagram> got = second.Receive(10s, "BARRIER=1");
    ASSERT_EQ(got.size(), 3u) << refused.Stderr();
    EXPECT_EQ(got[0].text, "READY=1");
    const std::string why =
        "another watchdog of this name and user supervises (pid " + std::to_string(running.pid()) + "): leaving";
    EXPECT_EQ(got[1].text, "STATUS=" + why + "\nSTOPPING=1");
    EXPECT_EQ(got[2].text, "BARRIER=1");
    EXPECT_TRUE(got[2].withDescriptor);
    // Read, so let go well before the wait's bound.
    EXPECT_EQ(refused.WaitExit(2s), 0);
    EXPECT_EQ(refused.Stderr(), "[Watchdog]: " + why + "\n");

    g_notifySocket = "@" + UniqueName("deaf");
    const Manager deaf(g_notifySocket); // never reads
    Watchdog unheard(setup.dir, exe, arguments, "", "", SetNotifySocket);
    EXPECT_EQ(unheard.WaitExit(15s), 0);

    WriteFile(setup.dir + "/ctl", "die\n");
    EXPECT_TRUE(Holds(first.Receive(5s, "BARRIER=1"), "STOPPING=1"));
    EXPECT_EQ(running.WaitExit(5s), 0);
}

// An address that cannot be used changes nothing else: the program is
// launched, restarted, and "die" ends the watchdog.
TEST(NotifyAtTheEnds, AnUnusableAddressChangesNothingElse)
{
    for (const std::string& address : {std::string("relative/notify"), "/" + std::string(200, 'n'),
                                       "@" + std::string(200, 'n'), std::string("@")}) {
        SCOPED_TRACE(address.size() > 20 ? address.substr(0, 20) + "..." : address);
        const WatchedSetup setup("watched", "unheard");
        WriteFile(setup.dir + "/ctl", "restart\n");
        g_notifySocket = address;
        Watchdog w(setup.dir, UniqueName("wdunheard"), {setup.program, setup.dir + "/ctl", setup.name}, "", "",
                   SetNotifySocket);
        const pid_t program = WaitForProcessNamed(setup.name, 10s);
        ASSERT_NE(program, 0) << w.Stderr();
        WriteFile(setup.dir + "/ctl", "restart\n"); // the beater leaves, a new one is launched
        EXPECT_NE(WaitForProcessNamed(setup.name, 10s, program), 0);
        WriteFile(setup.dir + "/ctl", "die\n");
        EXPECT_EQ(w.WaitExit(5s), 0);
        EXPECT_EQ(w.Stderr(), "");
    }
}

} // namespace
