#include "foundation/win/ZrThread.h"

#include <atomic>
#include <functional>
#include <new>

#include <gtest/gtest.h>

#include "foundation/ZrFormat.h"
#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrTestWait.h"

namespace {

// A thread whose body is given by the test.
class LambdaThread : public ZrThread {
 public:
  explicit LambdaThread(std::function<bool(LambdaThread&)> body) : m_body(std::move(body)) {}
  ~LambdaThread() override { Stop(-1); }

  std::atomic<int> m_runs{0};

 protected:
  bool Run() override {
    ++m_runs;
    return m_body(*this);
  }

 private:
  std::function<bool(LambdaThread&)> m_body;
};

HANDLE Duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
  return copy;
}

bool WaitsForStop(LambdaThread& self) {
  WaitForSingleObject(self.GetStopEvent(), INFINITE);
  return true;
}

// Ignores every stop request; only a kill ends it.
bool IgnoresStop(LambdaThread&) {
  for (;;) Sleep(5);
}

class ZrThreadTest : public testing::Test {
 protected:
  std::vector<zrtest::ManagerCall> CallsFor(IMainThreadMessageManagerCallback* object) {
    std::vector<zrtest::ManagerCall> calls;
    for (auto& call : m_tools.ManagerCalls())
      if (call.object == object) calls.push_back(call);
    return calls;
  }

  zrtest::FakeTools m_tools;
  zrtest::ToolsScope m_scope{m_tools};
};

}  // namespace

TEST_F(ZrThreadTest, StopOnANeverStartedThreadAnswersTrueAndCallsNothing) {
  LambdaThread thread(WaitsForStop);
  EXPECT_TRUE(thread.Stop(0));
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.GetStartCount(), 0);
  EXPECT_TRUE(m_tools.ManagerCalls().empty());
  EXPECT_EQ(thread.WaitFor(0), WAIT_FAILED);
}

TEST_F(ZrThreadTest, StartOnARunningThreadStartsNothingUnlessRestartIsSet) {
  LambdaThread thread(WaitsForStop);
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(ZR_WAIT_UNTIL(thread.m_runs == 1));
  uint32_t firstId = 0;
  thread.GetThreadId(&firstId);
  HANDLE first = thread.GetHandle();

  EXPECT_TRUE(thread.Start(0, false, false));
  uint32_t id = 0;
  thread.GetThreadId(&id);
  EXPECT_EQ(id, firstId);
  EXPECT_EQ(thread.GetHandle(), first);
  EXPECT_EQ(thread.GetStartCount(), 1);

  EXPECT_TRUE(thread.Start(0, true, false));
  ASSERT_TRUE(ZR_WAIT_UNTIL(thread.m_runs == 2));
  EXPECT_EQ(thread.GetStartCount(), 2);
  // The restart cleared the stop request that ended the first thread.
  EXPECT_FALSE(thread.IsStopRequested());
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_EQ(thread.GetStartCount(), 2);
}

TEST_F(ZrThreadTest, StopWithoutTimeOutWaitsForASlowThreadAndNeverKillsIt) {
  std::atomic<bool> finished{false};
  // Longer than the second after which Stop starts checking that the handle is still valid.
  LambdaThread thread([&](LambdaThread&) {
    Sleep(1300);
    finished = true;
    return true;
  });
  ASSERT_TRUE(thread.Start());
  HANDLE copy = Duplicate(thread.GetHandle());
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_TRUE(finished);
  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(copy, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(copy, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(copy);
  EXPECT_TRUE(m_tools.Lines().empty());
}

TEST_F(ZrThreadTest, StopWithZeroTimeOutKillsAThreadThatIgnoresIt) {
  LambdaThread thread(IgnoresStop);
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(ZR_WAIT_UNTIL(thread.m_runs == 1));
  HANDLE handle = thread.GetHandle();
  HANDLE copy = Duplicate(handle);

  EXPECT_FALSE(thread.Stop(0));  // Run never returned, so the result is still false
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.GetHandle(), nullptr);

  EXPECT_EQ(WaitForSingleObject(copy, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(copy, &code));
  EXPECT_EQ(code, 1u);
  CloseHandle(copy);

  auto lines = m_tools.Lines();
  ASSERT_FALSE(lines.empty());
  ZrString expected =
      ZrFormatV(u"Hard killing thread (handle=%x), it exceeded timeout=%d MS", {static_cast<const void*>(handle), 0});
  for (auto& line : lines) {
    EXPECT_EQ(line.level, 1);
    EXPECT_EQ(line.scope, "ZrThread::Stop");
    EXPECT_EQ(line.text, expected.View());
  }
  // Once before the attempt to cancel its I/O, once before the kill when that attempt failed.
  EXPECT_LE(lines.size(), 2u);
}

TEST_F(ZrThreadTest, StopCancelsABlockingReadBeforeItKills) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  std::atomic<int> readsStarted{0};
  std::atomic<DWORD> readError{0};
  // Reads until a read is cancelled after the stop request. A cancel before it, the test's probe
  // below, only starts the next read.
  LambdaThread thread([&](LambdaThread& self) {
    for (;;) {
      char byte;
      DWORD got = 0;
      ++readsStarted;
      if (ReadFile(readEnd, &byte, 1, &got, nullptr)) continue;
      const DWORD error = GetLastError();
      if (error != ERROR_OPERATION_ABORTED || self.IsStopRequested()) {
        readError = error;
        return true;
      }
    }
  });
  ASSERT_TRUE(thread.Start());
  // Cancelling succeeds only once the thread is blocked in its read: that is the state Stop meets.
  ASSERT_TRUE(ZR_WAIT_UNTIL(CancelSynchronousIo(thread.GetHandle()) != FALSE));
  ASSERT_TRUE(ZR_WAIT_UNTIL(readsStarted == 2));

  HANDLE copy = Duplicate(thread.GetHandle());
  // Stop cancels only when its time-out has passed, long after the second read began to block.
  EXPECT_TRUE(thread.Stop(500));  // the cancelled read let Run return true
  EXPECT_EQ(readError.load(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  DWORD code = 99;
  EXPECT_EQ(WaitForSingleObject(copy, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(copy, &code));
  EXPECT_EQ(code, 0u);  // it ended by itself
  CloseHandle(copy);
  EXPECT_EQ(m_tools.Lines().size(), 1u);
  CloseHandle(readEnd);
  CloseHandle(writeEnd);
}

TEST_F(ZrThreadTest, StopAnswersWhatRunReturned) {
  for (bool value : {true, false}) {
    SCOPED_TRACE(value);
    LambdaThread thread([value](LambdaThread& self) {
      WaitsForStop(self);
      return value;
    });
    ASSERT_TRUE(thread.Start());
    thread.RequestStop(true);
    ASSERT_TRUE(ZR_WAIT_UNTIL(!thread.IsRunning()));
    EXPECT_EQ(thread.GetResult(), value);
    EXPECT_EQ(thread.Stop(0), value);
    EXPECT_FALSE(thread.GetResult());  // Stop clears the field
  }
}

TEST_F(ZrThreadTest, StopFlushesThenForgetsTheObject) {
  struct Case {
    bool flush;
    std::vector<std::string> calls;
  } cases[] = {{true, {"Flush", "Forget"}}, {false, {"Forget"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flush);
    LambdaThread thread(WaitsForStop);
    thread.SetFlushAfterStop(c.flush);
    ASSERT_TRUE(thread.Start());
    const size_t before = CallsFor(&thread).size();
    thread.Stop(-1);
    auto calls = CallsFor(&thread);
    std::vector<std::string> got;
    for (size_t i = before; i < calls.size(); ++i) got.push_back(calls[i].operation);
    EXPECT_EQ(got, c.calls);
  }
}

TEST_F(ZrThreadTest, WithoutAMessageManagerStopCallsNothing) {
  m_tools.SetHasManager(false);
  LambdaThread thread(WaitsForStop);
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_FALSE(thread.FlushMainThreadMessages());
  EXPECT_TRUE(m_tools.ManagerCalls().empty());
}

TEST_F(ZrThreadTest, StartWithoutCreatingAndWithoutAThreadFailsAndLogs) {
  LambdaThread thread(WaitsForStop);
  EXPECT_FALSE(thread.Start(0, false, true));
  EXPECT_EQ(thread.GetStartCount(), 0);
  auto lines = m_tools.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, 1);
  EXPECT_EQ(lines[0].scope, "ZrThread::StartThread");
  EXPECT_EQ(std::u16string(lines[0].text).rfind(u"Error starting thread, errno=", 0), 0u);
}

TEST_F(ZrThreadTest, PriorityIsSetBeforeTheBodyRuns) {
  std::atomic<int> seen{12345};
  LambdaThread thread([&](LambdaThread&) {
    seen = GetThreadPriority(GetCurrentThread());
    return true;
  });
  ASSERT_TRUE(thread.Start(THREAD_PRIORITY_BELOW_NORMAL));
  thread.WaitForExit();
  EXPECT_EQ(seen.load(), THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_FALSE(thread.SetPriority(THREAD_PRIORITY_NORMAL)) << "the thread has ended";
}

TEST_F(ZrThreadTest, ComIsInitialisedOnTheThreadWhenAsked) {
  for (bool init : {true, false}) {
    SCOPED_TRACE(init);
    std::atomic<HRESULT> second{E_FAIL};
    LambdaThread thread([&](LambdaThread&) {
      HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      second = hr;
      if (SUCCEEDED(hr)) CoUninitialize();
      return true;
    });
    thread.SetComInit(init);
    ASSERT_TRUE(thread.Start());
    thread.Stop(-1);
    // S_FALSE: COM was already initialised on this thread.
    EXPECT_EQ(second.load(), init ? S_FALSE : S_OK);
  }
}

TEST_F(ZrThreadTest, WaitForReportsWhatEnded) {
  HANDLE extra = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  LambdaThread thread([&](LambdaThread&) {
    WaitForSingleObject(finish, INFINITE);
    return true;
  });
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(thread.WaitFor(0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(extra);
  EXPECT_EQ(thread.WaitFor(0, &extra), WAIT_OBJECT_0 + 2);
  thread.RequestStop(true);
  EXPECT_EQ(thread.WaitFor(0, &extra), WAIT_OBJECT_0);
  thread.RequestStop(false);
  SetEvent(finish);
  EXPECT_EQ(thread.WaitFor(5000), WAIT_OBJECT_0 + 1);
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_EQ(thread.WaitFor(0), WAIT_FAILED) << "no thread after Stop";
  CloseHandle(extra);
  CloseHandle(finish);
}

TEST_F(ZrThreadTest, MsgWaitForDispatchesMessagesWhileItWaits) {
  std::atomic<bool> ready{false};
  std::atomic<DWORD> lastWait{0};
  LambdaThread thread([&](LambdaThread& self) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the message queue
    ready = true;
    while (!self.IsStopRequested()) lastWait = self.MsgWaitFor(INFINITE);
    return true;
  });
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(ZR_WAIT_UNTIL(ready.load()));
  uint32_t id = 0;
  thread.GetThreadId(&id);
  ASSERT_TRUE(PostThreadMessageW(id, WM_APP + 5, 42, 7));
  ASSERT_TRUE(PostThreadMessageW(id, WM_APP + 6, 43, 8));
  ASSERT_TRUE(ZR_WAIT_UNTIL(m_tools.Dispatched().size() == 2));
  auto dispatched = m_tools.Dispatched();
  EXPECT_EQ(dispatched[0].message, static_cast<UINT>(WM_APP + 5));
  EXPECT_EQ(dispatched[0].wParam, 42u);
  EXPECT_EQ(dispatched[1].message, static_cast<UINT>(WM_APP + 6));
  EXPECT_TRUE(thread.Stop(-1));
  EXPECT_EQ(lastWait.load(), WAIT_OBJECT_0);  // the stop event ended the last wait
}

TEST_F(ZrThreadTest, MsgWaitForWithATimeLimitEndsWhenTheTimeRunsOut) {
  std::atomic<DWORD> result{0};
  LambdaThread thread([&](LambdaThread& self) {
    result = self.MsgWaitFor(30);
    return true;
  });
  ASSERT_TRUE(thread.Start());
  thread.WaitForExit();
  EXPECT_EQ(result.load(), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(ZrThreadNoTools, MsgWaitForDispatchesToTheWindowWhenNoLibraryIsLoaded) {
  static std::atomic<int> received{0};
  std::atomic<HWND> window{nullptr};
  LambdaThread thread([&](LambdaThread& self) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM w, LPARAM l) -> LRESULT {
      if (message == WM_APP + 9) received = static_cast<int>(w);
      return DefWindowProcW(hwnd, message, w, l);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZrThreadTestWindow";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    window = hwnd;
    while (!self.IsStopRequested()) self.MsgWaitFor(INFINITE);
    DestroyWindow(hwnd);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
    return true;
  });
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(ZR_WAIT_UNTIL(window.load() != nullptr));
  ASSERT_TRUE(PostMessageW(window, WM_APP + 9, 77, 0));
  EXPECT_TRUE(ZR_WAIT_UNTIL(received == 77));
  thread.Stop(-1);
}

TEST_F(ZrThreadTest, StopCalledByTheThreadItselfDoesNotWaitForItself) {
  std::atomic<bool> answered{false};
  LambdaThread thread([&](LambdaThread& self) {
    self.Stop(-1);
    answered = true;
    return true;
  });
  ASSERT_TRUE(thread.Start());
  ASSERT_TRUE(ZR_WAIT_UNTIL(answered.load()));
  EXPECT_TRUE(thread.Stop(-1));
}

TEST_F(ZrThreadTest, TheBaseBodyEndsOnAStopRequestAndTheDestructorStopsIt) {
  HANDLE copy = nullptr;
  {
    ZrThread thread;
    ASSERT_TRUE(thread.Start());
    copy = Duplicate(thread.GetHandle());
  }
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
  DWORD code = 99;
  EXPECT_TRUE(GetExitCodeThread(copy, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(copy);
}

TEST_F(ZrThreadTest, StopPumpsTheComMainThreadWindowsWhenAsked) {
  // A stand-in for the window that COM keeps for the main thread's apartment.
  static std::atomic<int> received{0};
  WNDCLASSW wc = {};
  wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM w, LPARAM l) -> LRESULT {
    if (message == WM_APP + 3) ++received;
    return DefWindowProcW(hwnd, message, w, l);
  };
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OleMainThreadWndClass";
  ATOM atom = RegisterClassW(&wc);
  if (!atom) GTEST_SKIP() << "the class is taken in this process, error " << GetLastError();
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  for (bool pump : {false, true}) {
    SCOPED_TRACE(pump);
    received = 0;
    size_t dispatchedBefore = m_tools.Dispatched().size();
    // Stop pumps only while the thread runs, so the body runs until the posted message has been
    // pumped. When Stop must not pump, it runs on for a while after the stop request, long enough
    // for a Stop that pumps by mistake to be seen doing it.
    LambdaThread thread([pump](LambdaThread& self) {
      WaitForSingleObject(self.GetStopEvent(), zrtest::kWaitMs);
      const zrtest::Deadline runOn(pump ? zrtest::kWaitMs : 300);
      while (received == 0 && !runOn.Passed()) Sleep(2);
      return true;
    });
    thread.SetPumpWhileStopping(pump);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(PostMessageW(window, WM_APP + 3, 0, 0));
    thread.Stop(-1);
    EXPECT_EQ(received.load(), pump ? 1 : 0);
    EXPECT_EQ(m_tools.Dispatched().size() - dispatchedBefore, pump ? 1u : 0u);
    zrtest::PumpPending();
  }
  DestroyWindow(window);
  UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

// The tools library calls the main-thread message entry from its own code: an exception must stop
// at our side of it.
TEST(ZrThreadBoundary, AnExceptionInTheMainThreadHandlerDoesNotLeaveTheEntry) {
  class Throwing : public ZrThread {
   protected:
    bool OnMainThreadMessage(uint32_t id, void*) override {
      if (id == 1) throw std::bad_alloc();
      return true;
    }
  } thread;
  IMainThreadMessageManagerCallback& entry = thread;
  EXPECT_FALSE(entry.MainThreadMessage(1, nullptr));
  EXPECT_TRUE(entry.MainThreadMessage(2, nullptr));
}
