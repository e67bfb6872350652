#pragma once
// No exception may leave a function that another module calls: the caller may be built by another
// compiler, and an exception unwinding into it ends the process. These run a body and turn any
// exception into a fallback answer.

#include <utility>

// Runs body and answers its result, or `fallback` when it throws.
template <class Result, class Body>
Result ZrNoThrow(Result fallback, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return fallback;
  }
}

template <class Body>
void ZrNoThrowVoid(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}
