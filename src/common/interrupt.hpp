// Letting the host stop a long computation: a check it installs, polled from the long loops.
#pragma once

#include <cstdint>

namespace vendrel {

/// Thrown out of a computation whose host asked it to stop; the host catches it at its boundary.
struct Interrupted {};

/// Installed by the host for the current thread (the Python module installs a check of pending
/// signals); returns true when the computation should stop. The libraries never install one.
using InterruptCheck = bool (*)() noexcept;

namespace detail {
inline thread_local InterruptCheck installed_interrupt_check = nullptr;
}

/// Installs `check` for the current thread for the lifetime of the guard.
class InterruptCheckScope {
public:
    explicit InterruptCheckScope(InterruptCheck check) noexcept : previous_(detail::installed_interrupt_check) {
        detail::installed_interrupt_check = check;
    }
    InterruptCheckScope(const InterruptCheckScope&) = delete;
    InterruptCheckScope& operator=(const InterruptCheckScope&) = delete;
    ~InterruptCheckScope() { detail::installed_interrupt_check = previous_; }

private:
    InterruptCheck previous_;
};

/// Asks the installed check once every `interval` calls and throws Interrupted when it says stop.
/// Loops call it once per unit of work (a row, a rotation, an iteration).
class InterruptPoll {
public:
    explicit InterruptPoll(std::uint32_t interval) noexcept : interval_(interval), countdown_(interval) {}
    void operator()() {
        if (--countdown_ != 0) return;
        countdown_ = interval_;
        const InterruptCheck check = detail::installed_interrupt_check;
        if (check != nullptr && check()) throw Interrupted{};
    }

private:
    std::uint32_t interval_;
    std::uint32_t countdown_;
};

}  // namespace vendrel
