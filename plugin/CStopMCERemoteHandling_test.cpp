#include "plugin/CStopMCERemoteHandling.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrTestProcess.h"
#include "plugin/testsupport/ZrTrayProgram.h"

namespace {

using zrtest::TrayProgramTest;
using zrtest::TrayProcesses;
using zrtest::WaitForTrayCount;

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

  // The restart is traced under "RunProgram".
  std::vector<std::u16string> traced;
  for (const zrtest::LogLine& line : m_tools.Lines())
    if (line.scope == "RunProgram") traced.push_back(line.text);
  const std::u16string file(ZrString(ZrU((m_ehome + L"ehtray.exe").c_str())).View());
  ASSERT_EQ(traced.size(), 5u);
  EXPECT_EQ(traced[0], u"Start");
  EXPECT_EQ(ZrString(traced[1]).CompareNoCase((u"Filename: " + file + u" / Parameters: ").c_str()), 0)
      << ZrString(traced[1]).ToUtf8();
  EXPECT_EQ(traced[2], u"Performing ShellExecute...");
  EXPECT_EQ(traced[3], u"Running process...");
  EXPECT_EQ(traced[4].rfind(u"Finish (", 0), 0u);
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
