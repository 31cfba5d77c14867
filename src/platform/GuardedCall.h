#pragma once

#include <exception>
#include <utility>

namespace caltrix::platform {

// What becomes of an exception that leaves a callback. None may travel on: not into Qt's event
// loop, which must never see one, nor back into a library or a worker thread.
enum class Escaped {
    // The program's own handlers (window events, timers, work posted to the main thread): the
    // error is shown in the unhandled-error box and the program goes on.
    Shown,
    // Where the system stops an error by design (the thread timer's tick, the ANT link's
    // callbacks, creating the link): the callback ends there, and the cause goes to standard
    // error so that it is never lost silently.
    Stopped,
};

// Handles a caught exception as `escaped` says. `where` says what was being done, to follow
// "while" ("running the thread timer's tick"). Never throws.
void reportEscaped(std::exception_ptr error, Escaped escaped, const char* where) noexcept;

// Runs `call`, the one way out of a callback for every exception. Returns false when one left it.
template <typename Call>
bool guardedCall(Escaped escaped, const char* where, Call&& call) noexcept
{
    try {
        std::forward<Call>(call)();
        return true;
    } catch (...) {
        reportEscaped(std::current_exception(), escaped, where);
        return false;
    }
}

} // namespace caltrix::platform
