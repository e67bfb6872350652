#include "foundation/ZrTimer.h"

#ifdef _WIN32
#include "foundation/win/ZrWindows.h"

int64_t ZrSteadyNowNs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : int64_t{1};
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const int64_t ticks = counter.QuadPart;
  // The usual frequency; one multiplication keeps full precision and cannot overflow for centuries.
  if (frequency == 10000000) return ticks * 100;
  return (ticks / frequency) * 1000000000 + (ticks % frequency) * 1000000000 / frequency;
}
#else
#include <chrono>

int64_t ZrSteadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
#endif
