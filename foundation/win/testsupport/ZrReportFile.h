#pragma once
// The report file of a peer (a device simulator, a substitute driver): one line per event, written
// by the peer, read by the test. Reading it again and again is how a test waits for a peer's state.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrTestWait.h"

namespace zrtest {

class ReportFile {
 public:
  explicit ReportFile(std::wstring path = L"") : m_path(std::move(path)) {}

  void SetPath(std::wstring path) { m_path = std::move(path); }
  const std::wstring& Path() const { return m_path; }

  // Every line so far; none while the file does not exist.
  std::vector<std::string> Lines() const;
  // The lines that begin with `prefix`, prefix removed.
  std::vector<std::string> Lines(const std::string& prefix) const;
  // Waits until a line begins with `prefix`.
  testing::AssertionResult WaitFor(const std::string& prefix, DWORD timeoutMs = kWaitMs) const;

 private:
  std::wstring m_path;
};

}  // namespace zrtest
