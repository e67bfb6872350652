// The helpers other tests stand on: a fault here would let a plug-in test pass on a message that
// never came or hang on a child that never ends.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrTestProcess.h"
#include "foundation/win/testsupport/ZrTestWait.h"

namespace {

class Receiver final : public IMainThreadMessageManagerCallback {
 public:
  bool MainThreadMessage(uint32_t id, void*) override {
    ids.push_back(id);
    threads.push_back(GetCurrentThreadId());
    return true;
  }
  std::vector<uint32_t> ids;
  std::vector<DWORD> threads;
};

TEST(ZrFakeTools, PostsArriveOnTheCreatingThreadInOrderOnlyWhenItPumps) {
  zrtest::FakeTools tools;
  Receiver receiver;
  std::thread([&] {
    for (uint32_t id = 1; id <= 300; ++id) EXPECT_TRUE(tools.Post(&receiver, id, nullptr));
  }).join();
  EXPECT_TRUE(receiver.ids.empty()) << "delivered before the thread pumped";
  EXPECT_EQ(tools.Pending(), 300);

  ASSERT_TRUE(ZR_PUMP_UNTIL(receiver.ids.size() == 300));
  for (uint32_t i = 0; i < 300; ++i) {
    EXPECT_EQ(receiver.ids[i], i + 1);
    EXPECT_EQ(receiver.threads[i], GetCurrentThreadId());
  }
  EXPECT_EQ(tools.Posted(), 300);
  EXPECT_EQ(tools.Delivered(), 300);
  EXPECT_EQ(tools.Pending(), 0);
}

TEST(ZrFakeTools, FlushDeliversOneObjectsMessagesNowAndForgetDropsThem) {
  zrtest::FakeTools tools;
  Receiver flushed, forgotten, other;
  tools.Post(&flushed, 1, nullptr);
  tools.Post(&forgotten, 2, nullptr);
  tools.Post(&other, 3, nullptr);
  tools.Post(&flushed, 4, nullptr);

  EXPECT_TRUE(tools.Flush(&flushed));
  EXPECT_EQ(flushed.ids, (std::vector<uint32_t>{1, 4}));
  tools.Forget(&forgotten);
  ASSERT_TRUE(ZR_PUMP_UNTIL(other.ids.size() == 1));
  zrtest::PumpPending();
  EXPECT_TRUE(forgotten.ids.empty());
  EXPECT_EQ(flushed.ids.size(), 2u);
  EXPECT_EQ(tools.Flushed(), 2);
  EXPECT_EQ(tools.Dropped(), 1);
  EXPECT_EQ(tools.Delivered(), 1);
  std::vector<std::string> calls;
  for (const auto& call : tools.ManagerCalls()) calls.push_back(call.operation);
  EXPECT_EQ(calls, (std::vector<std::string>{"Post", "Post", "Post", "Post", "Flush", "Forget"}));
}

TEST(ZrFakeTools, WithoutAManagerNoneIsHandedOut) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  EXPECT_EQ(ZrGetMainThreadMessageManager(), &tools);
  tools.SetHasManager(false);
  EXPECT_EQ(ZrGetMainThreadMessageManager(), nullptr);
}

TEST(ZrToolsScope, PutsBackWhatWasInstalledBefore) {
  zrtest::FakeTools outer, inner;
  {
    zrtest::ToolsScope outerScope(outer);
    {
      zrtest::ToolsScope innerScope(inner);
      EXPECT_EQ(ZrGetTools(), &inner);
    }
    EXPECT_EQ(ZrGetTools(), &outer);
  }
  EXPECT_EQ(ZrGetTools(), nullptr);
}

TEST(ZrTestWait, AFailedWaitNamesTheConditionAndTheDeadline) {
  bool never = false;
  const testing::AssertionResult waited = ZR_WAIT_UNTIL(never, 20);
  EXPECT_FALSE(waited);
  EXPECT_STREQ(waited.message(), "never still false after 20 ms");
  const testing::AssertionResult pumped = ZR_PUMP_UNTIL(never, 20);
  EXPECT_STREQ(pumped.message(), "never still false after 20 ms");
}

// The child the process cases start: this program, running a case that only waits.
TEST(ZrTestProcessChild, DISABLED_WaitsForItsParentToEndIt) { Sleep(60000); }

TEST(ZrTestProcess, AnswersTheExitCodeOrWhyThereIsNone) {
  const zrtest::ProcessResult exited = zrtest::RunProcess(L"cmd.exe /c exit 3");
  EXPECT_TRUE(exited.finished) << exited.description;
  EXPECT_EQ(exited.exitCode, 3u);
  EXPECT_EQ(exited.description, L"exit 3");

  const zrtest::ProcessResult missing = zrtest::RunProcess(L"zr-no-such-program.exe");
  EXPECT_FALSE(missing.started);
  EXPECT_EQ(missing.description, L"(not started, error " + std::to_wstring(ERROR_FILE_NOT_FOUND) + L")");
}

TEST(ZrTestProcess, AChildThatOverrunsItsDeadlineIsEnded) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  zrtest::Process child;
  ASSERT_TRUE(child.Start(L"\"" + std::wstring(self) +
                          L"\" --gtest_also_run_disabled_tests --gtest_filter=ZrTestProcessChild.*"))
      << child.Describe();
  const testing::AssertionResult waited = child.WaitForExit(300);
  EXPECT_FALSE(waited);
  EXPECT_STREQ(waited.message(), "(still running after 300 ms)");
  EXPECT_EQ(WaitForSingleObject(child.Handle(), 0), WAIT_OBJECT_0) << "the child was left running";
  EXPECT_EQ(child.ExitCode(), 0xDEADu);
}

}  // namespace
