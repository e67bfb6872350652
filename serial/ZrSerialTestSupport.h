#pragma once
// Test support for the serial receiver: a simulated receiver on a pty (a Linux program started from
// the Wine side), a stand-in tools library whose main-thread message manager really queues and
// delivers, and a host that records the codes it is given.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/win/ZrToolsAccess.h"
#include "plugin/IZrRemoteControlHost.h"

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

// One simulated receiver, linked at COM<n> for the lifetime of the object.
class ReceiverSim {
 public:
  ReceiverSim(int comNumber, const std::string& options) : m_comNumber(comNumber) {
    static int counter = 0;
    const std::string sim = Env("ZR_IRMAN_SIM");
    if (sim.empty() || Env("WINEPREFIX").empty()) return;
    m_report = Env("WINEPREFIX") + "/zr-sim-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".log";
    DeleteFileW(WinPath(m_report).c_str());
    DeleteFileW(WinPath(m_report + ".stop").c_str());
    // The program is named by its Windows path; Wine hands the arguments to it unchanged, so they
    // are Unix paths. Its process handle cannot be waited on: the report file is the channel.
    std::wstring command = L"\"" + WinPath(sim) + L"\" --link " + Wide(PortLink(comNumber)) + L" --report " +
                           Wide(m_report) + L" --lifetime-ms 60000 " + Wide(options);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      if (pi.hThread) CloseHandle(pi.hThread);
      if (pi.hProcess) CloseHandle(pi.hProcess);
      m_started = WaitFor("ready", 10000);
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

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(WinPath(m_report).c_str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Lines that begin with prefix, prefix removed.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : Lines())
      if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
    return out;
  }
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
  bool WaitHeldOpen(bool open, int timeoutMs = 1000) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (HeldOpen() != open) {
      if (std::chrono::steady_clock::now() >= end) return false;
      Sleep(5);
    }
    return true;
  }
  bool EverOpened() const { return !Lines("opened").empty(); }

  bool WaitFor(const std::string& prefix, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      if (!Lines(prefix).empty()) return true;
      Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }

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

// A tools library whose main-thread message manager queues posts until the test's "main thread"
// pumps them, and that counts what became of every message.
class MainThreadTools final : public IZrTools, public IZrMainThreadMessageManager {
 public:
  MainThreadTools() { ZrSetTools(this); }
  ~MainThreadTools() { ZrSetTools(nullptr); }

  bool Initialise(void*, HINSTANCE) override { return true; }
  void ProductInfoLoaded(int) override {}
  IZrTextUtils* GetTextUtils(int, int) override { return nullptr; }
  IZrTranslator* GetTranslator(int) override { return nullptr; }
  IZrProductInfo* GetProductInfo(int) override { return nullptr; }
  bool IsProductInfoLoaded() override { return true; }
  IZrLogger* GetLogger(int) override { return nullptr; }
  IZrMainThreadMessageManager* GetMainThreadMessageManager(int) override { return this; }
  IZrMessageDispatch* GetMessageDispatch(int) override { return nullptr; }
  IZrHostRegistryKey* OpenHostRegistryKey(const wchar_t*, int, int) override { return nullptr; }
  bool InstallDirectoryKnown() override { return true; }
  void Shutdown(bool) override {}

  void Forget(IMainThreadMessageManagerCallback* object) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_queue.begin(); it != m_queue.end();) {
      if (it->object == object) {
        ++dropped;
        it = m_queue.erase(it);
      } else {
        ++it;
      }
    }
  }
  bool Post(IMainThreadMessageManagerCallback* object, uint32_t id, void* data) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back({object, id, data});
    ++posted;
    return true;
  }
  bool Flush(IMainThreadMessageManagerCallback* object) override {
    for (;;) {
      Message m;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_queue.begin();
        while (it != m_queue.end() && it->object != object) ++it;
        if (it == m_queue.end()) return true;
        m = *it;
        m_queue.erase(it);
        ++flushed;
      }
      m.object->MainThreadMessage(m.id, m.data);
    }
  }

  // Runs on the test's thread, which plays the host's main thread.
  int Pump() {
    int delivered = 0;
    for (;;) {
      Message m;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queue.empty()) return delivered;
        m = m_queue.front();
        m_queue.pop_front();
        ++this->delivered;
      }
      m.object->MainThreadMessage(m.id, m.data);
      ++delivered;
    }
  }
  // Pumps until `done` holds or the time runs out.
  template <typename Done>
  bool PumpUntil(Done done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      Pump();
      Sleep(2);
    }
    return true;
  }

  int posted = 0, delivered = 0, flushed = 0, dropped = 0;

 private:
  struct Message {
    IMainThreadMessageManagerCallback* object;
    uint32_t id;
    void* data;
  };
  std::mutex m_mutex;
  std::deque<Message> m_queue;
};

// Records every code with its milliseconds, and the thread it arrived on.
class RecordingHost final : public IZrRemoteControlHost {
 public:
  bool OnRemoteCode(IZrRemoteControl*, BSTR code, int32_t milliseconds) override {
    codes.push_back(code ? std::wstring(code, SysStringLen(code)) : L"");
    times.push_back(milliseconds);
    threads.push_back(GetCurrentThreadId());
    return true;
  }
  BSTR GetValue(const wchar_t*) override { return nullptr; }

  std::vector<std::wstring> codes;
  std::vector<int32_t> times;
  std::vector<DWORD> threads;
};

}  // namespace zrtest
