#ifndef WDOG_PROCTABLE_PAUSE_OVERRIDE_H
#define WDOG_PROCTABLE_PAUSE_OVERRIDE_H

#include <functional>
#include <utility>

// A pause of the given number of milliseconds. The long waits outside the
// loop make theirs through one of these, so that a test can run them in
// virtual time.
using PauseFunction = std::function<void(unsigned long milliseconds)>;

// Puts replacement in the place of pause while it lives, and puts back what
// was there when it goes out of scope. Tests declare one on the stack.
class PauseOverride {
public:
    PauseOverride(PauseFunction& pause, PauseFunction replacement)
        : pause_(pause), saved_(std::exchange(pause, std::move(replacement)))
    {
    }
    ~PauseOverride() { pause_ = std::move(saved_); }
    PauseOverride(const PauseOverride&) = delete;
    PauseOverride& operator=(const PauseOverride&) = delete;

private:
    PauseFunction& pause_;
    PauseFunction saved_;
};

#endif
