#pragma once
// Test support for the transceiver plug-in: the substitute driver put on the loader's path for one
// test, with its settings and its report; a host that can keep the driver's thread inside
// OnRemoteCode; a learn callback that notes the thread each code arrives on.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrTestWait.h"
#include "peers/uuirt/UuirtSimCommand.h"
#include "plugin/IZrRemoteControlHost.h"

namespace uuirttest {

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Records every code; a code equal to `holdCode` keeps the calling (driver's) thread inside
// OnRemoteCode until Release.
class HoldingHost final : public IZrRemoteControlHost {
 public:
  explicit HoldingHost(std::wstring holdCode) : m_holdCode(std::move(holdCode)) {}

  bool OnRemoteCode(IZrRemoteControl*, BSTR code, int32_t) override {
    const std::wstring text = code ? std::wstring(code, SysStringLen(code)) : L"(null)";
    std::unique_lock<std::mutex> lock(m_lock);
    m_texts.push_back(text);
    if (text == m_holdCode) {
      m_held = true;
      m_changed.notify_all();
      // Bounded, so that a test that fails before releasing does not hang the driver.
      m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
    }
    return true;
  }
  BSTR GetValue(const wchar_t*) override { return nullptr; }

  std::vector<std::wstring> Texts() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts;
  }
  bool Held() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_held;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_released = true;
    m_changed.notify_all();
  }

 private:
  const std::wstring m_holdCode;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<std::wstring> m_texts;
  bool m_held = false;
  bool m_released = false;
};

// Keeps every learned code with the thread it arrived on, and frees it as its owner must.
class RecordingLearner final : public IZrLearnCallback {
 public:
  bool OnLearned(BSTR code) override {
    std::lock_guard<std::mutex> lock(m_lock);
    m_codes.push_back(code ? std::wstring(code, SysStringLen(code)) : L"(null)");
    m_threads.push_back(GetCurrentThreadId());
    SysFreeString(code);
    return true;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_codes.size();
  }
  std::vector<std::wstring> Codes() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_codes;
  }
  std::vector<DWORD> Threads() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_threads;
  }

 private:
  std::mutex m_lock;
  std::vector<std::wstring> m_codes;
  std::vector<DWORD> m_threads;
};

// The substitute driver for one test: its folder on the loader's path, its settings in the
// environment and its report in a file of the test's own.
class SimDriver {
 public:
  SimDriver() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    static int counter = 0;
    m_report = std::wstring(folder) + L"zr-uuirt-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter) + L".log";
    DeleteFileW(m_report.c_str());
    Configure("");
  }
  ~SimDriver() {
    SetDllDirectoryW(nullptr);
    SetEnvironmentVariableW(L"ZR_UUIRT_SIM", nullptr);
    DeleteFileW(m_report.c_str());
  }
  SimDriver(const SimDriver&) = delete;
  SimDriver& operator=(const SimDriver&) = delete;

  // "driver": the full substitute; "lacking": the one without UUIRTSetUUIRTConfig; "": none.
  // ZR_UUIRT_SIM_DIR (a Unix path, set by ctest) holds both folders. Answers false when it is
  // not set.
  bool Use(const std::string& variant) {
    if (variant.empty()) return SetDllDirectoryW(nullptr) != FALSE;
    const char* dir = std::getenv("ZR_UUIRT_SIM_DIR");
    if (!dir || !*dir) return false;
    std::wstring path = L"Z:";
    for (const char* c = dir; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    path += L"\\" + std::wstring(variant.begin(), variant.end());
    return SetDllDirectoryW(path.c_str()) != FALSE;
  }
  void Configure(const std::string& settings) {
    const std::string all = "report=" + Narrow(m_report) + (settings.empty() ? "" : ";" + settings);
    SetEnvironmentVariableA("ZR_UUIRT_SIM", all.c_str());
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_report.c_str());
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
  testing::AssertionResult WaitFor(const std::string& prefix, DWORD timeoutMs = zrtest::kWaitMs) const {
    return zrtest::WaitUntil([&] { return !Lines(prefix).empty(); }, timeoutMs, prefix.c_str());
  }
  // Lines the driver writes only when it is misused or misconfigured.
  std::vector<std::string> Complaints() const {
    std::vector<std::string> out;
    for (const std::string& line : Lines())
      if (line.rfind("bad ", 0) == 0 || line.rfind("unexpected ", 0) == 0) out.push_back(line);
    return out;
  }

  // The device opened last receives `command` ("send <text>", "send", "send-null").
  static bool Command(const std::string& command) {
    HMODULE driver = GetModuleHandleW(L"uuirtdrv");
    auto proc = driver ? reinterpret_cast<ZrUuirtSimCommandProc>(
                             reinterpret_cast<void*>(GetProcAddress(driver, kUuirtSimCommandExport)))
                       : nullptr;
    return proc && proc(command.c_str());
  }
  static bool DriverLoaded() { return GetModuleHandleW(L"uuirtdrv") != nullptr; }

 private:
  std::wstring m_report;
};

}  // namespace uuirttest
