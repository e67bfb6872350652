#include "foundation/win/ZrCmdTarget.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrTestWait.h"

namespace {

struct Seen {
  uint32_t id;
  int64_t param1;
  DWORD thread;
};

class RecordingTarget : public ZrCmdTarget {
 public:
  void OnCommand(const ZrCmd& command) override {
    m_commands.push_back({command.id, command.param1, GetCurrentThreadId()});
    if (m_onCommand) m_onCommand(command);
  }
  void OnTimer(uintptr_t id) override { m_timers.push_back(id); }

  int TimerCount(uintptr_t id) const {
    int count = 0;
    for (uintptr_t t : m_timers)
      if (t == id) ++count;
    return count;
  }

  std::vector<Seen> m_commands;
  std::vector<uintptr_t> m_timers;
  std::function<void(const ZrCmd&)> m_onCommand;
};

class ZrCmdTargetTest : public testing::Test {
 protected:
  void SetUp() override {
    m_target.CreateTargetWindow();
    ASSERT_TRUE(m_target.HasWindow());
  }

  // Runs body on a worker thread and waits for it.
  static void OnWorker(const std::function<void()>& body) { std::thread(body).join(); }

  // Whether Windows still holds a timer with this id for the window: killing it only succeeds then.
  bool TimerIsSet(uintptr_t id) { return ::KillTimer(m_target.GetTargetWindow(), id) != FALSE; }

  RecordingTarget m_target;
};

}  // namespace

TEST_F(ZrCmdTargetTest, CommandsPostedFromAWorkerRunOnTheOwnerInPostingOrder) {
  constexpr int kCount = 50;
  OnWorker([&] {
    for (int i = 0; i < kCount; ++i) EXPECT_TRUE(m_target.PostCommand(100 + i, i * 7));
  });
  EXPECT_TRUE(m_target.m_commands.empty()) << "nothing runs before the owner's messages are pumped";
  ASSERT_TRUE(ZR_PUMP_UNTIL(m_target.m_commands.size() == kCount));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(m_target.m_commands[i].id, static_cast<uint32_t>(100 + i));
    EXPECT_EQ(m_target.m_commands[i].param1, i * 7);
    EXPECT_EQ(m_target.m_commands[i].thread, GetCurrentThreadId());
  }
}

TEST_F(ZrCmdTargetTest, AHandlerMayPostMoreCommands) {
  m_target.m_onCommand = [&](const ZrCmd& command) {
    if (command.id < 5) m_target.PostCommand(command.id + 1);
  };
  ASSERT_TRUE(m_target.PostCommand(1));
  ASSERT_TRUE(ZR_PUMP_UNTIL(m_target.m_commands.size() == 5));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(m_target.m_commands[i].id, static_cast<uint32_t>(i + 1));
}

TEST_F(ZrCmdTargetTest, OnlyTheOwnerThreadRunsCommands) {
  ASSERT_TRUE(m_target.PostCommand(9));
  OnWorker([&] { m_target.ProcessCommands(nullptr); });
  EXPECT_TRUE(m_target.m_commands.empty());
  EXPECT_EQ(m_target.GetQueuedCommands().GetCount(), 1);
  m_target.OnEvent(kZrCmdTargetProcessEvent);
  ASSERT_EQ(m_target.m_commands.size(), 1u);
  EXPECT_EQ(m_target.m_commands[0].id, 9u);
}

TEST_F(ZrCmdTargetTest, OtherEventIdsAreTimers) {
  m_target.OnEvent(41);
  ASSERT_EQ(m_target.m_timers.size(), 1u);
  EXPECT_EQ(m_target.m_timers[0], 41u);
}

TEST_F(ZrCmdTargetTest, SendCommandRunsAtOnceOnTheCallingThread) {
  DWORD worker = 0;
  OnWorker([&] {
    worker = GetCurrentThreadId();
    m_target.SendCommand(3, 4);
  });
  ASSERT_EQ(m_target.m_commands.size(), 1u);
  EXPECT_EQ(m_target.m_commands[0].thread, worker);
  EXPECT_TRUE(m_target.GetQueuedCommands().IsEmpty());
}

TEST_F(ZrCmdTargetTest, PeriodsBelowOneBecomeOne) {
  for (int period : {0, -7}) {
    SCOPED_TRACE(period);
    OnWorker([&] { EXPECT_TRUE(m_target.SetTimer(5, period)); });
    ZrArray<ZrCmd> queued = m_target.GetQueuedCommands();
    ASSERT_EQ(queued.GetCount(), 1);
    EXPECT_EQ(queued[0].id, kZrCmdSetTimer);
    EXPECT_EQ(queued[0].param1, 5);
    EXPECT_EQ(queued[0].param2, 1);
    EXPECT_EQ(queued[0].param3, 0);
    EXPECT_EQ(queued[0].internal, 1);
    ASSERT_TRUE(ZR_PUMP_UNTIL(m_target.GetQueuedCommands().IsEmpty()));
    EXPECT_TRUE(m_target.KillTimer(5));
  }
}

TEST_F(ZrCmdTargetTest, ATimerSetOnTheOwnerFires) {
  ASSERT_TRUE(m_target.SetTimer(5, 0));
  ASSERT_TRUE(ZR_PUMP_UNTIL(m_target.TimerCount(5) >= 3));
  EXPECT_TRUE(m_target.KillTimer(5));
  EXPECT_FALSE(TimerIsSet(5));
}

// Timer requests from the worker and the owner, in the order made, and whether the timer is set
// once everything queued has run.
TEST_F(ZrCmdTargetTest, TimerRequestsTakeEffectInTheOrderMade) {
  enum Op { kWorkerSet, kWorkerKill, kOwnerSet, kOwnerKill };
  struct Case {
    const char* name;
    std::vector<Op> ops;
    bool setAtEnd;
  } cases[] = {
      {"worker set, owner kill before the queue ran", {kWorkerSet, kOwnerKill}, false},
      {"worker set then kill", {kWorkerSet, kWorkerKill}, false},
      {"worker kill then set", {kWorkerKill, kWorkerSet}, true},
      {"worker set, kill, set", {kWorkerSet, kWorkerKill, kWorkerSet}, true},
      {"owner set, worker kill", {kOwnerSet, kWorkerKill}, false},
      {"worker set only", {kWorkerSet}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::KillTimer(m_target.GetTargetWindow(), 7);
    for (Op op : c.ops) {
      switch (op) {
        case kWorkerSet: OnWorker([&] { EXPECT_TRUE(m_target.SetTimer(7, 1000)); }); break;
        case kWorkerKill: OnWorker([&] { EXPECT_TRUE(m_target.KillTimer(7)); }); break;
        case kOwnerSet: EXPECT_TRUE(m_target.SetTimer(7, 1000)); break;
        case kOwnerKill: m_target.KillTimer(7); break;
      }
    }
    ASSERT_TRUE(ZR_PUMP_UNTIL(m_target.GetQueuedCommands().IsEmpty()));
    zrtest::PumpFor(20);
    EXPECT_EQ(TimerIsSet(7), c.setAtEnd);
  }
}

TEST_F(ZrCmdTargetTest, WithoutAWindowNothingIsQueued) {
  RecordingTarget target;
  EXPECT_FALSE(target.HasWindow());
  EXPECT_FALSE(target.PostCommand(1));
  EXPECT_FALSE(target.SetTimer(1, 10));
  EXPECT_FALSE(target.KillTimer(1));
  OnWorker([&] { EXPECT_FALSE(target.SetTimer(1, 10)); });
  EXPECT_TRUE(target.GetQueuedCommands().IsEmpty());
}

TEST_F(ZrCmdTargetTest, DestroyingTheWindowDropsTheQueueAndUnregistersTheClass) {
  OnWorker([&] {
    m_target.PostCommand(1);
    m_target.SetTimer(2, 5);
  });
  const ZrString className = m_target.GetTargetClassName();
  WNDCLASSW info;
  ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), ZrW(className.c_str()), &info));

  m_target.DestroyTargetWindow();
  EXPECT_FALSE(m_target.HasWindow());
  EXPECT_TRUE(m_target.GetQueuedCommands().IsEmpty());
  EXPECT_TRUE(m_target.GetTargetClassName().IsEmpty());
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), ZrW(className.c_str()), &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
  zrtest::PumpFor(30);
  EXPECT_TRUE(m_target.m_commands.empty());

  // A new window gets a class of its own.
  m_target.CreateTargetWindow();
  EXPECT_TRUE(m_target.HasWindow());
}

TEST_F(ZrCmdTargetTest, AWindowDestroyedBehindItsBackIsReplacedAndItsClassRemoved) {
  const ZrString oldClass = m_target.GetTargetClassName();
  ASSERT_TRUE(DestroyWindow(m_target.GetTargetWindow()));
  EXPECT_FALSE(m_target.HasWindow());
  m_target.CreateTargetWindow();
  EXPECT_TRUE(m_target.HasWindow());
  WNDCLASSW info;
  EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), ZrW(oldClass.c_str()), &info));
  EXPECT_TRUE(m_target.PostCommand(4));
  ASSERT_TRUE(ZR_PUMP_UNTIL(m_target.m_commands.size() == 1));
}

TEST_F(ZrCmdTargetTest, ClassNamesCarryThePrefixAndAnUpperCaseHexNumber) {
  RecordingTarget other;
  other.CreateTargetWindow();
  const std::u16string prefix = kZrCmdTargetClassPrefix;
  for (const ZrString& name : {m_target.GetTargetClassName(), other.GetTargetClassName()}) {
    std::u16string text(name.View());
    ASSERT_GT(text.size(), prefix.size() + 2);
    EXPECT_EQ(text.substr(0, prefix.size() + 2), prefix + u"0x");
    std::u16string digits = text.substr(prefix.size() + 2);
    EXPECT_LE(digits.size(), 16u);
    EXPECT_NE(digits[0], u'0');
    EXPECT_EQ(digits.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
  }
  EXPECT_NE(m_target.GetTargetClassName(), other.GetTargetClassName());
  wchar_t actual[256];
  ASSERT_GT(GetClassNameW(m_target.GetTargetWindow(), actual, 256), 0);
  EXPECT_EQ(ZrString(ZrU(actual)), m_target.GetTargetClassName());
}

TEST_F(ZrCmdTargetTest, FromWindowFindsOnlyItsOwnObject) {
  HWND own = m_target.GetTargetWindow();
  EXPECT_EQ(ZrCmdTarget::FromWindow(own), &m_target);
  EXPECT_EQ(ZrCmdTarget::FromWindow(nullptr), nullptr);

  // Windows whose user data points at the object but whose class is not the object's, driven by
  // the command target's own window procedure.
  auto procedure = reinterpret_cast<WNDPROC>(GetClassLongPtrW(own, GCLP_WNDPROC));
  ASSERT_NE(procedure, nullptr);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const wchar_t* name : {L"ZrCmdTargetTest Other Class", L"Zorvane Command Target Window Class - 0xDEAD",
                              L"zorvane command target window class - 0x1"}) {
    SCOPED_TRACE(testing::Message() << ZrString(ZrU(name)).ToUtf8());
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = name;
    ASSERT_TRUE(RegisterClassW(&windowClass));
    HWND window = CreateWindowExW(0, name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    ASSERT_NE(window, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<ZrCmdTarget*>(&m_target)));

    EXPECT_EQ(ZrCmdTarget::FromWindow(window), nullptr);
    SendMessageW(window, WM_TIMER, 9, 0);
    OnWorker([&] { m_target.PostCommand(8); });
    SendMessageW(window, kZrCmdTargetMessage, reinterpret_cast<WPARAM>(&m_target), 0);
    EXPECT_TRUE(m_target.m_timers.empty());
    EXPECT_TRUE(m_target.m_commands.empty());
    m_target.DestroyTargetWindow();  // drops the queued command
    m_target.CreateTargetWindow();
    own = m_target.GetTargetWindow();

    DestroyWindow(window);
    UnregisterClassW(name, instance);
  }
}

namespace {

// Lives in pages of its own that are decommitted when it is deleted, so any access to the object
// after its deletion faults at once instead of reading stale memory.
class GuardedTarget : public ZrCmdTarget {
 public:
  static void* operator new(size_t size) {
    void* memory = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory) throw std::bad_alloc();
    return memory;
  }
  static void operator delete(void* memory, size_t size) {
    VirtualFree(memory, size, MEM_DECOMMIT);
    s_freed.push_back(memory);
  }

  GuardedTarget(std::vector<uint32_t>& ran) : m_ran(ran) { ++s_live; }
  ~GuardedTarget() override { --s_live; }

  void OnCommand(const ZrCmd& command) override {
    m_ran.push_back(command.id);
    if (command.id == 2) delete this;
  }

  static inline int s_live = 0;
  static inline std::vector<void*> s_freed;

 private:
  std::vector<uint32_t>& m_ran;
};

}  // namespace

// An access to a deleted object ends the test program at once, with a message, rather than leaving
// the fault to whatever catches it around the window procedure.
LONG CALLBACK FailOnAccessToFreedObject(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const auto address = static_cast<uintptr_t>(record->ExceptionInformation[1]);
  for (void* memory : GuardedTarget::s_freed) {
    const auto start = reinterpret_cast<uintptr_t>(memory);
    if (address >= start && address < start + sizeof(GuardedTarget)) {
      std::fprintf(stderr, "FAILED: the deleted command target was accessed at %p\n", reinterpret_cast<void*>(address));
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(ZrCmdTargetDelete, AHandlerThatDeletesItsObjectEndsTheLoopWithoutTouchingIt) {
  PVOID handler = AddVectoredExceptionHandler(1, &FailOnAccessToFreedObject);
  std::vector<uint32_t> ran;
  auto* target = new GuardedTarget(ran);
  target->CreateTargetWindow();
  HWND window = target->GetTargetWindow();
  const ZrString className = target->GetTargetClassName();
  std::thread([&] {
    for (uint32_t id : {1u, 2u, 3u, 4u}) target->PostCommand(id);
  }).join();

  // All four commands wait in the queue; the first 0x87D0 runs 1 and 2, and 2 deletes the object.
  EXPECT_TRUE(ZR_PUMP_UNTIL(GuardedTarget::s_live == 0));
  zrtest::PumpFor(50);
  EXPECT_EQ(GuardedTarget::s_live, 0);
  EXPECT_EQ(ran, (std::vector<uint32_t>{1, 2}));
  EXPECT_FALSE(IsWindow(window));
  WNDCLASSW info;
  EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), ZrW(className.c_str()), &info));
  RemoveVectoredExceptionHandler(handler);
  for (void* memory : GuardedTarget::s_freed) VirtualFree(memory, 0, MEM_RELEASE);
  GuardedTarget::s_freed.clear();
}

TEST_F(ZrCmdTargetTest, CreationAndDestructionOnAnotherThreadAreLoggedAndChangeNothingThere) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  const HWND window = m_target.GetTargetWindow();
  const ZrString className = m_target.GetTargetClassName();

  // A second window made on a worker would belong to a thread that never pumps it.
  OnWorker([&] { m_target.CreateTargetWindow(); });
  EXPECT_EQ(m_target.GetTargetWindow(), window);

  OnWorker([&] { m_target.DestroyTargetWindow(); });
  // Windows lets only the owner destroy the window: it stays, but no longer reaches the object.
  EXPECT_FALSE(m_target.HasWindow());
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(ZrCmdTarget::FromWindow(window), nullptr);
  PostMessageW(window, kZrCmdTargetMessage, 0, 0);
  PostMessageW(window, WM_TIMER, 7, 0);
  ASSERT_TRUE(zrtest::PumpUntil([&] {
    MSG message;
    return !PeekMessageW(&message, window, 0, 0, PM_NOREMOVE);
  }));
  EXPECT_TRUE(m_target.m_commands.empty());
  EXPECT_EQ(m_target.TimerCount(7), 0);

  std::vector<std::string> scopes;
  for (const zrtest::LogLine& line : tools.Lines()) scopes.push_back(line.scope);
  EXPECT_EQ(scopes, (std::vector<std::string>{"ZrCmdTarget::CreateTargetWindow", "ZrCmdTarget::DestroyTargetWindow"}));

  DestroyWindow(window);
  UnregisterClassW(ZrW(className.c_str()), GetModuleHandleW(nullptr));
}
