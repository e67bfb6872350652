#include "foundation/win/ZrTraceScope.h"

#include <cmath>

#include "foundation/win/ZrToolsAccess.h"

ZrTraceScope::ZrTraceScope(const char* name, int level) : m_name(name ? name : ""), m_level(level) {
  ZrLog(m_level, m_name, u"Start");
}

ZrTraceScope::~ZrTraceScope() {
  // Whole milliseconds, half away from zero, like every other duration the module reports.
  const int64_t milliseconds = std::llround(m_timer.ElapsedMs(false));
  try {
    if (m_result == kNoResult)
      ZrLog(m_level, m_name, u"Finish (%d ms)", {milliseconds});
    else
      ZrLog(m_level, m_name, u"Finish (result: %d) (%d ms)", {m_result, milliseconds});
  } catch (...) {
  }
}
