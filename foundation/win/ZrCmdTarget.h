#pragma once
// A hidden window of an object's own, owned by the thread that creates it. Commands posted from any
// thread are queued and run later on the owner thread; window timers call back into the object.
// Timer requests made on other threads are queued like commands, so every timer is set and killed
// on the owner thread in the order requested.
//
// Any thread may post commands, set or kill timers and ask for the window. CreateTargetWindow,
// DestroyTargetWindow and destruction belong to the owner thread: Windows lets only that thread
// destroy the window, so a call from another thread is logged and leaves the window inert.

#include <atomic>

#include <cstdint>

#include "foundation/ZrArray.h"
#include "foundation/ZrString.h"
#include "foundation/win/ZrCriticalSection.h"
#include "foundation/win/ZrDeleteProbe.h"
#include "foundation/win/ZrHandle.h"

struct ZrCmd {
  uint32_t id = 0;  // the command number; for timer requests kZrCmdSetTimer or kZrCmdKillTimer
  int64_t param1 = 0;
  int64_t param2 = 0;
  int64_t param3 = 0;
  int32_t internal = 0;  // 1 for timer requests
};

inline constexpr uint32_t kZrCmdSetTimer = 1;
inline constexpr uint32_t kZrCmdKillTimer = 2;
// Posted to the window when commands wait in the queue (WM_APP + 2000).
inline constexpr UINT kZrCmdTargetMessage = 0x87D0;
// The event id that runs the command queue.
inline constexpr int kZrCmdTargetProcessEvent = 23000;
inline constexpr ZrChar kZrCmdTargetClassPrefix[] = u"Zorvane Command Target Window Class - ";

class IZrCmdTarget {
 public:
  // Chooses which queued commands a pass takes out of the queue and which of those it runs.
  class IPumpFilter {
   public:
    virtual bool Take(const ZrCmd& command) = 0;
    virtual bool Execute(const ZrCmd& command) = 0;

   protected:
    ~IPumpFilter() = default;
  };

  virtual bool HasWindow() = 0;
  virtual bool PostCommand(uint32_t id, int64_t param1 = 0, int64_t param2 = 0, int64_t param3 = 0) = 0;
  virtual bool PostCommand(const ZrCmd& command) = 0;
  virtual void SendCommand(uint32_t id, int64_t param1 = 0, int64_t param2 = 0, int64_t param3 = 0) = 0;
  virtual void SendCommand(const ZrCmd& command) = 0;
  virtual void ProcessCommands(IPumpFilter* filter) = 0;
  virtual bool SetTimer(uintptr_t id, int periodMs) = 0;
  virtual bool KillTimer(uintptr_t id) = 0;
  virtual ~IZrCmdTarget() = default;
  virtual void OnCommand(const ZrCmd& command) = 0;
  virtual void OnTimer(uintptr_t id) = 0;
};

class IZrCmdTargetEvents {
 public:
  virtual void OnEvent(int id) = 0;

 protected:
  ~IZrCmdTargetEvents() = default;
};

class ZrCmdTarget : public IZrCmdTarget, public IZrCmdTargetEvents, private ZrDeleteProbeHost {
 public:
  ZrCmdTarget() = default;
  ~ZrCmdTarget() override;

  bool HasWindow() override;
  bool PostCommand(uint32_t id, int64_t param1 = 0, int64_t param2 = 0, int64_t param3 = 0) override;
  bool PostCommand(const ZrCmd& command) override;
  void SendCommand(uint32_t id, int64_t param1 = 0, int64_t param2 = 0, int64_t param3 = 0) override;
  void SendCommand(const ZrCmd& command) override;
  // Runs the queued commands that belong to the calling thread; user commands run without the lock,
  // so a handler may post more, or destroy this object.
  void ProcessCommands(IPumpFilter* filter) override;
  // A period below 1 ms becomes 1 ms.
  bool SetTimer(uintptr_t id, int periodMs) override;
  bool KillTimer(uintptr_t id) override;
  void OnCommand(const ZrCmd& command) override {}
  void OnTimer(uintptr_t id) override {}

  void OnEvent(int id) override;

  void CreateTargetWindow();
  void DestroyTargetWindow();
  // The object behind one of our windows; null for any other window.
  static ZrCmdTarget* FromWindow(HWND window);

  HWND GetTargetWindow() const;
  // Owner thread only.
  const ZrString& GetTargetClassName() const { return m_className; }
  DWORD GetOwnerThreadId() const { return m_ownerThread.load(); }
  // A copy of the queue, for inspection.
  ZrArray<ZrCmd> GetQueuedCommands();

 protected:
  // Runs the queued timer requests in the order they were made.
  void PumpPendingTimers();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool IsOwnerThread() const { return GetCurrentThreadId() == m_ownerThread.load(); }
  // The window, read without the lock: only the owner thread ever changes it.
  HWND OwnerWindow() const { return m_window.get().window; }
  // Logs (and in a debug build stops at) a creation or destruction from a thread that does not own
  // the window; answers whether the calling thread may go on.
  bool CheckOwnerThread(const char* scope) const;

  // Guards the queue, and the window against readers on other threads.
  mutable ZrCriticalSection m_lock;
  std::atomic<DWORD> m_ownerThread{0};
  ZrArray<ZrCmd> m_queue;
  ZrWindowWithClass m_window;
  ZrString m_className;
};
