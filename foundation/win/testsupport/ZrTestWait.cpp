#include "foundation/win/testsupport/ZrTestWait.h"

#include <algorithm>

namespace zrtest {

namespace {

// How often a condition that no message announces is looked at again.
constexpr DWORD kPollMs = 2;

testing::AssertionResult TimedOut(const char* what, DWORD ms) {
  return testing::AssertionFailure() << what << " still false after " << ms << " ms";
}

}  // namespace

testing::AssertionResult WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, const char* what) {
  const Deadline deadline(timeoutMs);
  for (;;) {
    if (condition()) return testing::AssertionSuccess();
    if (deadline.Passed()) return TimedOut(what, timeoutMs);
    Sleep(std::min(kPollMs, deadline.Remaining()));
  }
}

int PumpPending() {
  int count = 0;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    ++count;
  }
  return count;
}

testing::AssertionResult PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs, const char* what) {
  const Deadline deadline(timeoutMs);
  for (;;) {
    PumpPending();
    if (condition()) return testing::AssertionSuccess();
    if (deadline.Passed()) return TimedOut(what, timeoutMs);
    // A message wakes the wait at once; a state changed by another thread is seen at the next poll.
    MsgWaitForMultipleObjectsEx(0, nullptr, std::min(kPollMs, deadline.Remaining()), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
}

void PumpFor(DWORD ms) {
  const Deadline deadline(ms);
  do {
    PumpPending();
    MsgWaitForMultipleObjectsEx(0, nullptr, deadline.Remaining(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  } while (!deadline.Passed());
  PumpPending();
}

testing::AssertionResult WaitForObject(HANDLE handle, DWORD timeoutMs, const char* what) {
  SetLastError(0xdeadbeef);
  const DWORD result = WaitForSingleObject(handle, timeoutMs);
  if (result == WAIT_OBJECT_0) return testing::AssertionSuccess();
  if (result == WAIT_TIMEOUT)
    return testing::AssertionFailure() << what << " not signalled after " << timeoutMs << " ms";
  return testing::AssertionFailure() << "waiting for " << what << " answered " << result << ", error "
                                     << GetLastError();
}

}  // namespace zrtest
