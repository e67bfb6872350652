#include "foundation/win/testsupport/ZrReportFile.h"

#include <fstream>

namespace zrtest {

std::vector<std::string> ReportFile::Lines() const {
  std::vector<std::string> lines;
  if (m_path.empty()) return lines;
  std::ifstream in(m_path.c_str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ReportFile::Lines(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& line : Lines())
    if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
  return out;
}

testing::AssertionResult ReportFile::WaitFor(const std::string& prefix, DWORD timeoutMs) const {
  const std::string what = "a report line beginning \"" + prefix + "\"";
  return WaitUntil([&] { return !Lines(prefix).empty(); }, timeoutMs, what.c_str());
}

}  // namespace zrtest
