#pragma once
// The host's side of every IASIO call: whatever is thrown inside turns into a plain failure.

#include <utility>

template <typename Result, typename Body>
Result guarded(Result onException, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return onException;
    }
}

template <typename Body>
void guardedVoid(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}
