#include "foundation/win/ZrThread.h"

#include <process.h>

#include <cerrno>
#include <cmath>

#include "foundation/ZrString.h"
#include "foundation/ZrTimer.h"
#include "foundation/win/ZrBoundary.h"
#include "foundation/win/ZrSystemFunctions.h"

namespace {

constexpr wchar_t kComWindowClass[] = L"OleMainThreadWndClass";
// After its body has ended a thread still runs the few instructions of its exit path, inside this
// module's code. Stop waits this long for them so that the module can be unloaded right after.
constexpr DWORD kExitWaitMs = 1000;
// A killed thread is gone only once its handle is signalled; TerminateThread does not wait.
constexpr DWORD kKillWaitMs = 5000;
constexpr DWORD kCancelledIoGraceMs = 100;

void EndThreadWithCode(unsigned code) { _endthreadex(code); }

}  // namespace

void ZrDispatchMessage(MSG* message) {
  if (IZrMessageDispatcher* dispatcher = ZrGetMessageDispatcher()) {
    dispatcher->Dispatch(message);
    return;
  }
  TranslateMessage(message);
  DispatchMessageW(message);
}

void ZrPumpComMainThreadWindows() {
  const DWORD process = GetCurrentProcessId();
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, kComWindowClass, nullptr); window;
       window = GetWindow(window, GW_HWNDNEXT)) {
    wchar_t name[64];
    if (!GetClassNameW(window, name, 64) || ZrCompareNoCase(ZrU(name), ZrU(kComWindowClass)) != 0) continue;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != process) continue;
    MSG message;
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) ZrDispatchMessage(&message);
  }
}

bool ZrThread::MainThreadMessage(uint32_t id, void* data) noexcept {
  return ZrNoThrow(false, [&] { return OnMainThreadMessage(id, data); });
}

ZrThread::~ZrThread() { Stop(-1); }

bool ZrThread::Start(int priority, bool restart, bool noCreate) {
  m_priority.store(priority);
  if (IsRunning() && !restart) return true;
  Stop(-1);
  RequestStop(false);
  if (!CanStart()) return false;
  m_stopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  // Without its stop event a thread could never be asked to stop.
  if (!m_stopEvent) return false;
  const bool started = StartThread(priority, noCreate);
  if (started) m_startCount.fetch_add(1);
  return started;
}

bool ZrThread::StartThread(int priority, bool noCreate) {
  if (!noCreate) {
    unsigned id = 0;
    auto handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, &id));
    if (handle) {
      m_threadHandle.reset(handle);
      m_threadId = id;
      m_handle.store(handle);
    }
  }
  HANDLE handle = m_handle.load();
  if (!handle) {
    ZrLog(1, "ZrThread::StartThread", u"Error starting thread, errno=%d", {errno});
    return false;
  }
  if (priority != 0) SetThreadPriority(handle, priority);
  ResumeThread(handle);
  return true;
}

unsigned __stdcall ZrThread::ThreadProc(void* argument) {
  auto* self = static_cast<ZrThread*>(argument);
  const ExitRoutine exit = self->GetExitRoutine();
  const bool com = self->m_comOnThread && SUCCEEDED(CoInitialize(nullptr));
  self->m_result.store(self->Run());
  if (com) CoUninitialize();
  // From here on the owner may destroy the object: nothing below touches it.
  self->m_handle.store(nullptr);
  if (exit) exit(0);
  return 0;
}

bool ZrThread::Stop(int timeoutMs) {
  if (m_startCount.load() < 1) return true;
  if (!m_stopRequested.load() || !m_stopEvent) RequestStop(true);
  // The thread cannot wait for its own end; it has asked to stop, and its body returns when it will.
  if (m_threadHandle && GetCurrentThreadId() == m_threadId) return m_result.load();

  const int timeout = timeoutMs == -1 ? m_stopTimeout : timeoutMs;
  ZrTimer clock;
  bool cancelTried = false;
  while (HANDLE handle = m_handle.load()) {
    const int64_t elapsed = clock.ElapsedNs(false) / 1000000;
    if (timeout < 0 || elapsed <= timeout || !CanHardKill()) {
      if (elapsed < 1001 || GetThreadPriority(handle) != THREAD_PRIORITY_ERROR_RETURN) {
        if (m_pumpWhileStopping) ZrPumpComMainThreadWindows();
        Sleep(m_pollInterval > 0 ? static_cast<DWORD>(m_pollInterval) : 0);
      } else {
        ZrLog(1, "ZrThread::Stop", u"GetThreadPriority returned error, errno=%d", {GetLastError()});
        m_handle.store(nullptr);
        // The handle is no longer valid; closing it could close someone else's.
        ReleaseThreadHandle(false);
      }
      continue;
    }
    ZrLog(1, "ZrThread::Stop", u"Hard killing thread (handle=%x), it exceeded timeout=%d MS", {handle, timeout});
    if (!cancelTried) {
      cancelTried = true;
      bool cancelled = false;
      {
        ZrKernel32Functions kernel32;
        cancelled = kernel32.CancelSynchronousIo && kernel32.CancelSynchronousIo(handle);
      }
      if (cancelled) {
        Sleep(kCancelledIoGraceMs);
        continue;
      }
    }
    TerminateThread(handle, 1);
    WaitForSingleObject(handle, kKillWaitMs);
    m_handle.store(nullptr);
    ReleaseThreadHandle(true);
  }

  if (m_flushAfterStop) FlushMainThreadMessages();
  if (IZrMainThreadMessageManager* manager = ZrGetMainThreadMessageManager()) manager->Forget(this);

  const bool result = m_result.load();
  m_stopEvent.reset();
  if (m_threadHandle) {
    WaitForSingleObject(m_threadHandle.get(), kExitWaitMs);
    ReleaseThreadHandle(true);
  }
  m_handle.store(nullptr);
  m_result.store(false);
  m_threadId = 0;
  return result;
}

bool ZrThread::RequestStop(bool stop) {
  m_stopRequested.store(stop);
  if (m_stopEvent) {
    if (stop)
      SetEvent(m_stopEvent.get());
    else
      ResetEvent(m_stopEvent.get());
  }
  return true;
}

bool ZrThread::FlushMainThreadMessages() {
  IZrMainThreadMessageManager* manager = ZrGetMainThreadMessageManager();
  return manager ? manager->Flush(this) : false;
}

bool ZrThread::SetPriority(int priority) {
  if (!IsRunning()) return false;
  return SetThreadPriority(m_threadHandle.get(), priority) != FALSE;
}

bool ZrThread::IsRunning() { return m_handle.load() != nullptr; }

DWORD ZrThread::WaitForExit() {
  return m_threadHandle ? WaitForSingleObject(m_threadHandle.get(), INFINITE) : WAIT_FAILED;
}

DWORD ZrThread::WaitHandles(HANDLE* handles, HANDLE extra) {
  if (!m_threadHandle || !m_stopEvent) return 0;
  handles[0] = m_stopEvent.get();
  handles[1] = m_threadHandle.get();
  if (!extra) return 2;
  handles[2] = extra;
  return 3;
}

DWORD ZrThread::WaitFor(DWORD ms, HANDLE extra) {
  HANDLE handles[3];
  const DWORD count = WaitHandles(handles, extra);
  return count ? WaitForMultipleObjects(count, handles, FALSE, ms) : WAIT_FAILED;
}

DWORD ZrThread::WaitFor(DWORD ms, const HANDLE* extra) { return WaitFor(ms, extra ? *extra : nullptr); }

DWORD ZrThread::MsgWaitFor(DWORD ms, const HANDLE* extra) {
  HANDLE handles[3];
  const DWORD count = WaitHandles(handles, extra ? *extra : nullptr);
  if (!count) return WAIT_FAILED;
  int64_t remaining = ms;
  ZrTimer clock;
  for (;;) {
    const DWORD wait = ms == INFINITE ? INFINITE : static_cast<DWORD>(remaining);
    const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, wait, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 + count) return result;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ZrDispatchMessage(&message);
    if (ms == INFINITE) continue;
    remaining -= std::llround(clock.ElapsedMs(true));
    if (remaining < 1) return result;
  }
}

bool ZrThread::GetResult() { return m_result.load(); }
HANDLE ZrThread::GetHandle() { return m_handle.load(); }
void ZrThread::GetThreadId(uint32_t* id) { *id = m_threadId; }
bool ZrThread::IsStopRequested() { return m_stopRequested.load(); }
HANDLE ZrThread::GetStopEvent() { return m_stopEvent.get(); }
bool ZrThread::CanHardKill() { return true; }
int ZrThread::GetStartCount() { return m_startCount.load(); }
void ZrThread::SetStopTimeout(int ms) { m_stopTimeout = ms; }
void ZrThread::SetPumpWhileStopping(bool pump) { m_pumpWhileStopping = pump; }
void ZrThread::SetPollInterval(int ms) { m_pollInterval = ms; }
void ZrThread::SetFlushAfterStop(bool flush) { m_flushAfterStop = flush; }
void ZrThread::SetComInit(bool init) { m_comOnThread = init; }

bool ZrThread::Run() {
  while (!IsStopRequested()) Sleep(100);
  return true;
}

bool ZrThread::OnMainThreadMessage(uint32_t, void*) { return false; }
bool ZrThread::CanStart() { return true; }
void ZrThread::CloseThreadHandle(HANDLE handle) { CloseHandle(handle); }
ZrThread::ExitRoutine ZrThread::GetExitRoutine() { return &EndThreadWithCode; }

void ZrThread::ReleaseThreadHandle(bool close) {
  // A derived class may close its threads its own way, so the owner hands the handle to that hook.
  const HANDLE handle = m_threadHandle.release();
  if (handle && close) CloseThreadHandle(handle);
}
