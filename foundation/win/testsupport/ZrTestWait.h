#pragma once
// Waiting in tests for a state, never for a time: a condition is polled (or this thread's messages
// are pumped while it is) until it holds or a deadline passes. Each wait answers an
// AssertionResult that names what was awaited and for how long, so that
//
//   ASSERT_TRUE(ZR_PUMP_UNTIL(host.CodeCount() >= 2, 5000)) << "codes: " << host.CodeCount();
//
// fails at the caller's line with "host.CodeCount() >= 2 still false after 5000 ms; codes: 1".
// Deadlines are generous: the machine is shared and a loaded one is slow, never wrong.

#include <gtest/gtest.h>

#include <functional>

#include "foundation/win/ZrWindows.h"

namespace zrtest {

// The default deadline: far above what any wait takes on an idle machine.
constexpr DWORD kWaitMs = 10000;

// The deadline of the ZR_ macros: the one given, or the default.
constexpr DWORD DeadlineMs(DWORD ms = kWaitMs) { return ms; }

class Deadline {
 public:
  explicit Deadline(DWORD ms) : m_ms(ms), m_end(GetTickCount64() + ms) {}
  bool Passed() const { return GetTickCount64() >= m_end; }
  DWORD Remaining() const {
    const ULONGLONG now = GetTickCount64();
    return now >= m_end ? 0 : static_cast<DWORD>(m_end - now);
  }
  DWORD Total() const { return m_ms; }

 private:
  DWORD m_ms;
  ULONGLONG m_end;
};

// Polls `condition` until it holds. Pumps nothing: for states other threads bring about.
testing::AssertionResult WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs,
                                   const char* what = "the condition");

// Dispatches this thread's messages (window messages, timers, posted main-thread messages) and
// checks `condition` after each batch, until it holds.
testing::AssertionResult PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs,
                                   const char* what = "the condition");

// Dispatches this thread's messages for a while. Only for checking that something does NOT happen
// (no late code, no second timer): a positive outcome is always awaited with PumpUntil.
void PumpFor(DWORD ms);

// Dispatches what is queued for this thread now; answers how many messages that was.
int PumpPending();

// Waits for a handle to be signalled, dispatching nothing.
testing::AssertionResult WaitForObject(HANDLE handle, DWORD timeoutMs = kWaitMs, const char* what = "the object");

}  // namespace zrtest

// The same, with the condition's own text in the failure message; the deadline is optional:
// ZR_WAIT_UNTIL(done) or ZR_WAIT_UNTIL(done, 3000).
#define ZR_WAIT_UNTIL(condition, ...)                                                        \
  ::zrtest::WaitUntil([&]() -> bool { return static_cast<bool>(condition); },                \
                      ::zrtest::DeadlineMs(__VA_ARGS__), #condition)
#define ZR_PUMP_UNTIL(condition, ...)                                                        \
  ::zrtest::PumpUntil([&]() -> bool { return static_cast<bool>(condition); },                \
                      ::zrtest::DeadlineMs(__VA_ARGS__), #condition)
