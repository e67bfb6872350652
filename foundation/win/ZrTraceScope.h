#pragma once
// A trace scope: writes "Start" to the tools library's log when it begins and, when it ends,
// "Finish (%d ms)" or, once a result was recorded, "Finish (result: %d) (%d ms)". The scope name
// is the class and operation ("ZrIpcServerThreaded::Thread"). Without a logger nothing is written.

#include <cstdint>

#include "foundation/ZrTimer.h"

class ZrTraceScope {
 public:
  // Held in the result field while no result was recorded.
  static constexpr int32_t kNoResult = static_cast<int32_t>(0x8a33f231);

  explicit ZrTraceScope(const char* name, int level = 1);
  ~ZrTraceScope();
  ZrTraceScope(const ZrTraceScope&) = delete;
  ZrTraceScope& operator=(const ZrTraceScope&) = delete;

  void SetResult(int32_t result) { m_result = result; }
  int32_t Result() const { return m_result; }
  const char* Name() const { return m_name; }
  int Level() const { return m_level; }

 private:
  const char* m_name;
  int m_level;
  int32_t m_result = kNoResult;
  ZrTimer m_timer;
};
