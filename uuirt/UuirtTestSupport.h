#pragma once
// Test support for the transceiver plug-in: the substitute driver put on the loader's path for one
// test, with its settings and its report.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrReportFile.h"
#include "peers/uuirt/UuirtSimCommand.h"
#include "plugin/IZrRemoteControlHost.h"

namespace uuirttest {

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The substitute driver for one test: its folder on the loader's path, its settings in the
// environment and its report in a file of the test's own.
class SimDriver : public zrtest::ReportFile {
 public:
  SimDriver() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    static int counter = 0;
    m_report = std::wstring(folder) + L"zr-uuirt-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter) + L".log";
    DeleteFileW(m_report.c_str());
    SetPath(m_report);
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
