#pragma once
// Worker-thread base. A derived class overrides Run (the thread body) and, to receive what it posts
// to the host's main thread, OnMainThreadMessage. The thread starts suspended so that its priority
// is set before it runs, and stops cooperatively: Stop raises the stop request, polls for the
// thread's end, and kills the thread as a last resort once a finite time-out has passed.
//
// Start, Stop and the setters belong to the owner's thread; the body reads the stop request and the
// stop event. A derived class must call Stop in its own destructor: by the time the base destructor
// stops the thread, the derived part that Run uses is gone.

#include <atomic>
#include <cstdint>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrWindows.h"

class ZrThread : public IMainThreadMessageManagerCallback {
 public:
  using ExitRoutine = void (*)(unsigned exitCode);

  ZrThread() = default;
  ZrThread(const ZrThread&) = delete;
  ZrThread& operator=(const ZrThread&) = delete;

  // Called on the host's main thread by the main-thread message manager, from the tools library:
  // whatever OnMainThreadMessage throws stays on this side.
  bool MainThreadMessage(uint32_t id, void* data) noexcept override;
  virtual ~ZrThread();

  // A running thread goes on unless restart is set. Answers whether a thread runs afterwards.
  virtual bool Start(int priority = 0, bool restart = false, bool noCreate = false);
  // timeoutMs -1: the stop time-out. Answers what Run returned (true when never started).
  virtual bool Stop(int timeoutMs = -1);
  virtual bool RequestStop(bool stop = true);
  virtual bool FlushMainThreadMessages();
  virtual bool SetPriority(int priority);
  virtual bool IsRunning();
  virtual DWORD WaitForExit();
  // Waits for the stop event, the thread's end or the extra handle; WAIT_FAILED without a thread.
  virtual DWORD WaitFor(DWORD ms, HANDLE extra = nullptr);
  virtual DWORD WaitFor(DWORD ms, const HANDLE* extra);
  // The same, dispatching the calling thread's messages while it waits.
  virtual DWORD MsgWaitFor(DWORD ms, const HANDLE* extra = nullptr);
  virtual bool GetResult();
  virtual HANDLE GetHandle();
  virtual void GetThreadId(uint32_t* id);
  virtual bool IsStopRequested();
  virtual HANDLE GetStopEvent();
  virtual bool CanHardKill();
  virtual int GetStartCount();
  virtual void SetStopTimeout(int ms);
  virtual void SetPumpWhileStopping(bool pump);
  virtual void SetPollInterval(int ms);
  virtual void SetFlushAfterStop(bool flush);
  virtual void SetComInit(bool init);

 protected:
  virtual bool Run();
  virtual bool OnMainThreadMessage(uint32_t id, void* data);
  virtual bool CanStart();
  virtual bool StartThread(int priority, bool noCreate);
  virtual void CloseThreadHandle(HANDLE handle);
  virtual ExitRoutine GetExitRoutine();

 private:
  static unsigned __stdcall ThreadProc(void* argument);
  // Drops the thread handle that this object owns, closing it unless it is known to be invalid.
  void ReleaseThreadHandle(bool close);
  // Builds the wait list: stop event, thread, extra. Answers its length, 0 without a thread.
  DWORD WaitHandles(HANDLE* handles, HANDLE extra);

  // Non-null while the thread runs; the thread clears it when its body has ended.
  std::atomic<HANDLE> m_handle{nullptr};
  std::atomic<bool> m_stopRequested{false};
  ZrEventHandle m_stopEvent;
  int32_t m_stopTimeout = -1;
  int32_t m_pollInterval = 20;
  std::atomic<int32_t> m_startCount{0};
  std::atomic<bool> m_result{false};
  bool m_pumpWhileStopping = false;
  bool m_flushAfterStop = true;
  bool m_comOnThread = false;
  std::atomic<int32_t> m_priority{0};
  uint32_t m_threadId = 0;
  // The thread handle itself stays with this object until Stop, so that Stop never waits on, cancels
  // or terminates a handle that the ending thread has already closed (and Windows may have reused).
  ZrThreadHandle m_threadHandle;
};

// Hands the pending messages of this process's COM main-thread windows to the message dispatcher.
void ZrPumpComMainThreadWindows();
// Hands one message removed from a queue to the tools library's dispatcher, or dispatches it here
// when no library is loaded.
void ZrDispatchMessage(MSG* message);
