#ifndef WDOG_PROCTABLE_FUNCTION_OVERRIDE_H
#define WDOG_PROCTABLE_FUNCTION_OVERRIDE_H

#include <functional>
#include <utility>

// Puts replacement in the place of one of the few replaceable functions
// (the long pauses, the signal of a kill) while it lives, and puts back what
// was there when it goes out of scope. Tests declare one on the stack, to
// run a wait in virtual time or to keep a process alive through its kill.
template <typename Signature>
class FunctionOverride {
public:
    using Function = std::function<Signature>;
    FunctionOverride(Function& function, Function replacement)
        : function_(function), saved_(std::exchange(function, std::move(replacement)))
    {
    }
    ~FunctionOverride() { function_ = std::move(saved_); }
    FunctionOverride(const FunctionOverride&) = delete;
    FunctionOverride& operator=(const FunctionOverride&) = delete;

private:
    Function& function_;
    Function saved_;
};

// A pause of the given number of milliseconds.
using PauseFunction = std::function<void(unsigned long milliseconds)>;
using PauseOverride = FunctionOverride<void(unsigned long milliseconds)>;

#endif
