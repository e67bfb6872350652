#pragma once
// Test support for the serial receiver: a simulated receiver on a pty (a Linux program started from
// the Wine side) linked at one of the prefix's COM ports.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrReportFile.h"
#include "foundation/win/testsupport/ZrTestProcess.h"
#include "foundation/win/testsupport/ZrTestWait.h"

namespace zrtest {

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Unix path as the Wine side sees it, through drive Z:.
inline std::wstring WinPath(const std::string& unix) {
  std::wstring out = L"Z:";
  for (char c : unix) out.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

inline std::string PortLink(int comNumber) {
  return Env("WINEPREFIX") + "/zr-ports/com" + std::to_string(comNumber);
}

// Makes every one of COM1-COM8 absent: their mapped paths lead nowhere.
inline void ClearPorts() {
  for (int n = 1; n <= 8; ++n) DeleteFileW(WinPath(PortLink(n)).c_str());
}

// One simulated receiver, linked at COM<n> for the lifetime of the object; its report says what it
// saw and sent.
class ReceiverSim : public zrtest::ReportFile {
 public:
  ReceiverSim(int comNumber, const std::string& options) : m_comNumber(comNumber) {
    static int counter = 0;
    const std::string sim = Env("ZR_IRMAN_SIM");
    if (sim.empty() || Env("WINEPREFIX").empty()) return;
    m_report = Env("WINEPREFIX") + "/zr-sim-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".log";
    SetPath(WinPath(m_report));
    DeleteFileW(WinPath(m_report).c_str());
    DeleteFileW(WinPath(m_report + ".stop").c_str());
    // The program is named by its Windows path; Wine hands the arguments to it unchanged, so they
    // are Unix paths. Its process handle cannot be waited on: the report file is the channel.
    std::wstring command = L"\"" + WinPath(sim) + L"\" --link " + Wide(PortLink(comNumber)) + L" --report " +
                           Wide(m_report) + L" --lifetime-ms 60000 " + Wide(options);
    zrtest::Process process;
    if (process.Start(command)) {
      process.Detach();
      m_started = static_cast<bool>(WaitFor("ready"));
    }
  }
  ~ReceiverSim() {
    if (m_report.empty()) return;
    std::ofstream(WinPath(m_report + ".stop").c_str()) << "stop\n";
    WaitFor("exit", 5000);
    DeleteFileW(WinPath(m_report).c_str());
    DeleteFileW(WinPath(m_report + ".stop").c_str());
  }
  ReceiverSim(const ReceiverSim&) = delete;
  ReceiverSim& operator=(const ReceiverSim&) = delete;

  bool Started() const { return m_started; }
  // Lets the simulator go past its --gate NAME step.
  void OpenGate(const std::string& name) const { std::ofstream(WinPath(m_report + "." + name).c_str()) << name << "\n"; }

  // Sent records' hex texts, in order.
  std::vector<std::string> Sent() const {
    std::vector<std::string> out;
    for (const std::string& line : Lines("sent ")) out.push_back(line.substr(0, line.find(' ')));
    return out;
  }
  // Whether the port is held open now, as the far end sees it (a hang-up means nobody has it open).
  bool HeldOpen() const {
    bool open = false;
    for (const std::string& line : Lines()) {
      if (line == "opened") open = true;
      if (line == "closed") open = false;
    }
    return open;
  }
  // Waits until the far end sees the port open (or closed); answers whether it did in time.
  bool WaitHeldOpen(bool open, DWORD timeoutMs = zrtest::kWaitMs) const {
    return static_cast<bool>(zrtest::WaitUntil([&] { return HeldOpen() == open; }, timeoutMs));
  }
  bool EverOpened() const { return !Lines("opened").empty(); }

 private:
  int m_comNumber;
  std::string m_report;
  bool m_started = false;
};

// The simulator is part of the build, so a missing one is a failure, not a skip.
#define ZR_REQUIRE_SIM(sim)                                                                          \
  do {                                                                                               \
    ASSERT_FALSE(zrtest::Env("ZR_IRMAN_SIM").empty()) << "ZR_IRMAN_SIM names no simulator (ctest sets it)"; \
    ASSERT_TRUE((sim).Started()) << "the receiver simulator did not start";                         \
  } while (0)

}  // namespace zrtest
