#include "plugin/CStopMCERemoteHandling.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrTestProcess.h"
#include "foundation/win/testsupport/ZrTestWait.h"

namespace {

// Ids of the running processes named ehtray.exe, in snapshot order.
std::vector<DWORD> TrayProcesses() {
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

testing::AssertionResult WaitForTrayCount(size_t count) {
  return zrtest::WaitUntil([&] { return TrayProcesses().size() == count; }, zrtest::kWaitMs,
                           ("ehtray.exe running " + std::to_string(count) + " times").c_str());
}

// The dummy tray program copied under the tray program's name into a temporary folder, into the
// Windows directory's "ehome" folder (where the stopper restarts it), and the processes started
// from the first copy. Every process named ehtray.exe is ended when the fixture goes.
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

TEST_F(TrayProgramTest, EndedAtCreationAndStartedAgainIdleAtDestruction) {
  zrtest::Process tray;
  ASSERT_TRUE(StartTray(tray));
  ASSERT_TRUE(WaitForTrayCount(1));
  auto stopper = std::make_unique<CStopMCERemoteHandling>();
  EXPECT_TRUE(stopper->Terminated());
  EXPECT_EQ(ExitCodeAfterEnd(tray), 1u);
  ASSERT_TRUE(WaitForTrayCount(0));
  stopper.reset();
  ASSERT_TRUE(WaitForTrayCount(1)) << "not started again";
  DWORD priority = 0;
  const std::wstring path = Restarted(&priority);
  EXPECT_EQ(_wcsicmp(path.c_str(), (m_ehome + L"ehtray.exe").c_str()), 0)
      << "got " << ZrString(ZrU(path.c_str())).ToUtf8();
  EXPECT_EQ(priority, static_cast<DWORD>(IDLE_PRIORITY_CLASS));
}

TEST_F(TrayProgramTest, NothingRunningNothingStarted) {
  auto stopper = std::make_unique<CStopMCERemoteHandling>();
  EXPECT_FALSE(stopper->Terminated());
  stopper.reset();
  EXPECT_TRUE(TrayProcesses().empty());
}

TEST_F(TrayProgramTest, WithoutTheToolsLibraryNothingIsEnded) {
  zrtest::Process tray;
  ASSERT_TRUE(StartTray(tray));
  ASSERT_TRUE(WaitForTrayCount(1));
  m_tools.SetTextUtils(nullptr);
  {
    CStopMCERemoteHandling stopper;
    EXPECT_FALSE(stopper.Terminated()) << "no text utilities";
  }
  ZrSetTools(nullptr);
  {
    CStopMCERemoteHandling stopper;
    EXPECT_FALSE(stopper.Terminated()) << "no tools library";
  }
  ZrSetTools(&m_tools);
  EXPECT_EQ(WaitForSingleObject(tray.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(TrayProgramTest, OfTwoRunningOnlyTheLastInTheSnapshotIsEnded) {
  zrtest::Process first, second;
  ASSERT_TRUE(StartTray(first));
  ASSERT_TRUE(StartTray(second));
  ASSERT_TRUE(WaitForTrayCount(2));
  const DWORD last = TrayProcesses().back();
  const bool firstIsLast = first.ProcessId() == last;
  {
    CStopMCERemoteHandling stopper;
    EXPECT_TRUE(stopper.Terminated());
    zrtest::Process& ended = firstIsLast ? first : second;
    zrtest::Process& kept = firstIsLast ? second : first;
    EXPECT_EQ(ExitCodeAfterEnd(ended), 1u);
    EXPECT_EQ(WaitForSingleObject(kept.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    Kill(kept.ProcessId());
    ASSERT_TRUE(WaitForTrayCount(0));
  }
  EXPECT_TRUE(WaitForTrayCount(1)) << "the one it ended is started again";
}

// Two plug-ins of one module, each with its stopper: the tray program stays ended until the last
// stopper goes, and is started once.
TEST_F(TrayProgramTest, TwoStoppersRestartOnceAfterTheLast) {
  zrtest::Process tray;
  ASSERT_TRUE(StartTray(tray));
  ASSERT_TRUE(WaitForTrayCount(1));
  auto mce = std::make_unique<CStopMCERemoteHandling>();
  EXPECT_EQ(ExitCodeAfterEnd(tray), 1u);
  auto rawInput = std::make_unique<CStopMCERemoteHandling>();
  EXPECT_EQ(CStopMCERemoteHandling::LiveCount(), 2);
  // The restart is synchronous (the shell is asked not to return early), so a program started by
  // the first destruction would be in the snapshot at once.
  mce.reset();
  EXPECT_TRUE(TrayProcesses().empty()) << "started again while the raw-input plug-in still listens";
  rawInput.reset();
  EXPECT_TRUE(WaitForTrayCount(1));
  EXPECT_EQ(TrayProcesses().size(), 1u);
  EXPECT_EQ(CStopMCERemoteHandling::LiveCount(), 0);
}

}  // namespace
