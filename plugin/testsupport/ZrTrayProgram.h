#pragma once
// The system's tray program played by a dummy, for the tests of what ends and restarts it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrTestProcess.h"
#include "foundation/win/testsupport/ZrTestWait.h"
#include "plugin/CStopMCERemoteHandling.h"

namespace zrtest {

// Ids of the running processes named ehtray.exe, in snapshot order.
inline std::vector<DWORD> TrayProcesses() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, L"ehtray.exe") == 0) ids.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

inline testing::AssertionResult WaitForTrayCount(size_t count) {
  return zrtest::WaitUntil([&] { return TrayProcesses().size() == count; }, zrtest::kWaitMs,
                           ("ehtray.exe running " + std::to_string(count) + " times").c_str());
}

// The dummy tray program copied under the tray program's name into a temporary folder, into the
// Windows directory's "ehome" folder (where the stopper restarts it), and the processes started
// from the first copy. Every process named ehtray.exe is ended when the fixture goes. The tools
// library stands in with its find, so that the stopper can find the program. The dummy program
// (zr_dummy_tray.exe) sits beside the test program. Tests that use it take the tray_program lock.
class TrayProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_tools.SetTextUtils(&m_utils);
    for (DWORD id : TrayProcesses()) Kill(id);
    ASSERT_TRUE(WaitForTrayCount(0)) << "an ehtray.exe left running";
    const std::wstring dummy = zrtest::ExecutableFolder() + L"zr_dummy_tray.exe";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_folder = std::wstring(temp) + L"zr-tray-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(m_folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(dummy.c_str(), (m_folder + L"ehtray.exe").c_str(), FALSE)) << GetLastError();
    const std::wstring ehome = ZrWithoutFile(std::wstring(ZrW(CStopMCERemoteHandling::TrayProgramPath().c_str())));
    CreateDirectoryW(ehome.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(dummy.c_str(), (ehome + L"ehtray.exe").c_str(), FALSE)) << GetLastError();
    m_ehome = ehome;
  }
  void TearDown() override {
    for (DWORD id : TrayProcesses()) Kill(id);
    WaitForTrayCount(0);
    DeleteFileW((m_folder + L"ehtray.exe").c_str());
    RemoveDirectoryW(m_folder.c_str());
    DeleteFileW((m_ehome + L"ehtray.exe").c_str());
    RemoveDirectoryW(m_ehome.c_str());
  }

  static std::wstring ZrWithoutFile(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }
  static void Kill(DWORD id) {
    ZrEventHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (process) TerminateProcess(process.get(), 99);
  }

  // Starts the temporary copy.
  testing::AssertionResult StartTray(zrtest::Process& tray) {
    if (tray.Start(L"\"" + m_folder + L"ehtray.exe\"")) return testing::AssertionSuccess();
    return testing::AssertionFailure() << tray.Describe();
  }

  static DWORD ExitCodeAfterEnd(zrtest::Process& process) {
    return process.WaitForExit(10000) ? process.ExitCode() : STILL_ACTIVE;
  }

  // The restarted program: its path and its priority class.
  static std::wstring Restarted(DWORD* priority) {
    const std::vector<DWORD> ids = TrayProcesses();
    if (ids.size() != 1) return L"(" + std::to_wstring(ids.size()) + L" tray processes)";
    ZrEventHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, ids[0]));
    if (!process) return L"(cannot open it)";
    *priority = GetPriorityClass(process.get());
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameW(process.get(), 0, path, &size);
    return path;
  }

  zrtest::FakeTextUtils m_utils;
  zrtest::FakeTools m_tools;
  zrtest::ToolsScope m_scope{m_tools};
  std::wstring m_folder, m_ehome;
};

}  // namespace zrtest
