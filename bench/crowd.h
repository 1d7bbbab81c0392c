#ifndef WDOG_BENCH_CROWD_H
#define WDOG_BENCH_CROWD_H

#include <string>
#include <sys/types.h>
#include <vector>

// Idle processes of distinct names (prefix followed by a number), forked
// from the caller. Each one dies with the caller, however the caller ends;
// the destructor stops and reaps them all.
class Crowd {
public:
    Crowd(const std::string& prefix, int size);
    ~Crowd();
    Crowd(const Crowd&) = delete;
    Crowd& operator=(const Crowd&) = delete;

    int size() const { return static_cast<int>(pids_.size()); }
    // The name of one member.
    std::string NameOf(int index) const { return prefix_ + std::to_string(index); }

private:
    std::string prefix_;
    std::vector<pid_t> pids_;
};

#endif
