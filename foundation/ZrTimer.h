#pragma once
// Stopwatch on the steady clock. Any thread may read or restart it; a read-and-restart is one
// atomic exchange, so two readers never lose or double-count an interval.

#include <atomic>
#include <cstdint>

// Nanoseconds of the steady clock (QueryPerformanceCounter on Windows).
int64_t ZrSteadyNowNs();

class ZrTimer {
 public:
  ZrTimer() : m_start(ZrSteadyNowNs()) {}
  virtual ~ZrTimer() = default;

  // Stores the current time; answers the previous start.
  virtual int64_t Restart() { return m_start.exchange(ZrSteadyNowNs()); }
  virtual int64_t ElapsedNs(bool restart) {
    const int64_t now = ZrSteadyNowNs();
    const int64_t start = restart ? m_start.exchange(now) : m_start.load();
    return now - start;
  }
  virtual double ElapsedMs(bool restart) { return static_cast<double>(ElapsedNs(restart)) / 1000000.0; }

  int64_t StartNs() const { return m_start.load(); }

 private:
  std::atomic<int64_t> m_start;
};
