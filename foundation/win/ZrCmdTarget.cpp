#include "foundation/win/ZrCmdTarget.h"

#include <cassert>

#include "foundation/ZrTimer.h"
#include "foundation/win/ZrToolsAccess.h"

namespace {

// Takes exactly the queued timer requests and runs every one it takes.
class CPumpFilter final : public IZrCmdTarget::IPumpFilter {
 public:
  bool Take(const ZrCmd& command) override {
    return command.internal && (command.id == kZrCmdSetTimer || command.id == kZrCmdKillTimer);
  }
  bool Execute(const ZrCmd&) override { return true; }
};

// Upper-case hex without leading zeros, over all 64 bits.
ZrString Hex(uint64_t value) {
  ZrChar digits[17];
  int at = 16;
  digits[at] = 0;
  do {
    digits[--at] = u"0123456789ABCDEF"[value & 15];
    value >>= 4;
  } while (value);
  return ZrString(digits + at);
}

bool StartsWithNoCase(const ZrString& text, const ZrChar* prefix) {
  const int length = static_cast<int>(ZrLength(prefix));
  return text.Length() >= length && text.Left(length).CompareNoCase(prefix) == 0;
}

}  // namespace

ZrCmdTarget::~ZrCmdTarget() { DestroyTargetWindow(); }

bool ZrCmdTarget::HasWindow() {
  const HWND window = GetTargetWindow();
  return window && IsWindow(window);
}

HWND ZrCmdTarget::GetTargetWindow() const {
  ZrLock lock(m_lock);
  return m_window.get().window;
}

bool ZrCmdTarget::CheckOwnerThread(const char* scope) const {
  const DWORD owner = m_ownerThread.load();
  if (!OwnerWindow() || owner == GetCurrentThreadId()) return true;
  ZrLog(1, scope, u"Called on thread %d, but the window belongs to thread %d",
        {static_cast<unsigned long>(GetCurrentThreadId()), static_cast<unsigned long>(owner)});
  assert(!"a command target's window is created and destroyed on its owner thread");
  return false;
}

bool ZrCmdTarget::PostCommand(uint32_t id, int64_t param1, int64_t param2, int64_t param3) {
  return PostCommand(ZrCmd{id, param1, param2, param3});
}

bool ZrCmdTarget::PostCommand(const ZrCmd& command) {
  ZrLock lock(m_lock);
  if (!m_window) return false;
  m_queue.Add(command);
  return PostMessageW(OwnerWindow(), kZrCmdTargetMessage, reinterpret_cast<WPARAM>(this), 0) != FALSE;
}

void ZrCmdTarget::SendCommand(uint32_t id, int64_t param1, int64_t param2, int64_t param3) {
  SendCommand(ZrCmd{id, param1, param2, param3});
}

void ZrCmdTarget::SendCommand(const ZrCmd& command) { OnCommand(command); }

void ZrCmdTarget::ProcessCommands(IPumpFilter* filter) {
  m_lock.Lock();
  if (!m_window) {
    m_lock.Unlock();
    return;
  }
  const bool owner = IsOwnerThread();
  int index = 0;
  while (index < m_queue.GetCount()) {
    const ZrCmd command = m_queue[index];
    if (filter) {
      if (!filter->Take(command)) {
        ++index;
        continue;
      }
      if (!filter->Execute(command)) {
        m_queue.RemoveAt(index);
        continue;
      }
    }
    if (!owner) {
      ++index;
      continue;
    }
    m_queue.RemoveAt(index);
    if (command.internal) {
      // The walk itself keeps the requests in order, so the Windows call is made here directly:
      // going through SetTimer would first run the later requests of the queue and so reorder them.
      const auto id = static_cast<UINT_PTR>(command.param1);
      if (command.id == kZrCmdSetTimer)
        ::SetTimer(OwnerWindow(), id, static_cast<UINT>(command.param2), nullptr);
      else if (command.id == kZrCmdKillTimer)
        ::KillTimer(OwnerWindow(), id);
      continue;
    }
    m_lock.Unlock();
    {
      ZrDeleteProbe probe(this);
      OnCommand(command);
      if (probe.IsDeleted()) return;  // this object is gone: touch nothing of it
    }
    m_lock.Lock();
  }
  m_lock.Unlock();
}

bool ZrCmdTarget::SetTimer(uintptr_t id, int periodMs) {
  if (periodMs < 1) periodMs = 1;
  if (IsOwnerThread()) {
    if (!OwnerWindow()) return false;
    PumpPendingTimers();
    return ::SetTimer(OwnerWindow(), id, static_cast<UINT>(periodMs), nullptr) != 0;
  }
  // Another thread: the request is queued only while a window exists, which PostCommand checks
  // under the lock.
  ZrCmd command;
  command.id = kZrCmdSetTimer;
  command.param1 = static_cast<int64_t>(id);
  command.param2 = periodMs;
  command.internal = 1;
  return PostCommand(command);
}

bool ZrCmdTarget::KillTimer(uintptr_t id) {
  if (IsOwnerThread()) {
    if (!OwnerWindow()) return false;
    PumpPendingTimers();
    return ::KillTimer(OwnerWindow(), id) != FALSE;
  }
  ZrCmd command;
  command.id = kZrCmdKillTimer;
  command.param1 = static_cast<int64_t>(id);
  command.internal = 1;
  return PostCommand(command);
}

void ZrCmdTarget::PumpPendingTimers() {
  CPumpFilter filter;
  ProcessCommands(&filter);
}

void ZrCmdTarget::OnEvent(int id) {
  if (id == kZrCmdTargetProcessEvent)
    ProcessCommands(nullptr);
  else
    OnTimer(static_cast<uintptr_t>(id));
}

void ZrCmdTarget::CreateTargetWindow() {
  if (!CheckOwnerThread("ZrCmdTarget::CreateTargetWindow")) return;
  if (HasWindow()) return;
  // A window destroyed behind our back still leaves its class registered and its queue filled.
  if (OwnerWindow()) DestroyTargetWindow();
  m_ownerThread = GetCurrentThreadId();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  uint64_t hash = reinterpret_cast<uintptr_t>(instance);
  hash = hash * 33 + static_cast<uint64_t>(ZrSteadyNowNs() / 1000000);
  hash = hash * 33 + reinterpret_cast<uintptr_t>(this);
  ZrString className = ZrString(kZrCmdTargetClassPrefix) + u"0x" + Hex(hash);

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = ZrW(className.c_str());
  ZrClassWindow created;
  created.instance = instance;
  created.windowClass = RegisterClassW(&windowClass);
  if (!created.windowClass) return;
  created.window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_NOPARENTNOTIFY, ZrW(className.c_str()), L"", 0, 0, 0, 0,
                                   0, GetDesktopWindow(), nullptr, instance, nullptr);
  // Owned from here on, so that a failed creation still unregisters the class.
  ZrWindowWithClass window(created);
  if (!created.window) return;
  m_className = className;
  SetWindowLongPtrW(created.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ZrLock lock(m_lock);
  m_window = std::move(window);
}

void ZrCmdTarget::DestroyTargetWindow() {
  const bool owner = CheckOwnerThread("ZrCmdTarget::DestroyTargetWindow");
  ZrWindowWithClass window;
  {
    ZrLock lock(m_lock);
    m_queue.RemoveAll();
    window = std::move(m_window);
  }
  if (!window) return;
  // Messages still queued for the window must not reach an object that is going away.
  SetWindowLongPtrW(window.get().window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
  if (!owner) {
    // Windows refuses to destroy another thread's window; it stays, inert, with its class.
    (void)window.release();
  }
  // Classes registered for the host executable outlive this module unless removed here.
  window.reset();
  m_className.Empty();
}

ZrCmdTarget* ZrCmdTarget::FromWindow(HWND window) {
  wchar_t name[256];
  const int length = GetClassNameW(window, name, 256);
  if (length <= 0) return nullptr;
  const ZrString className(ZrU(name), length);
  // Only then is the user data known to be one of our objects.
  if (!StartsWithNoCase(className, kZrCmdTargetClassPrefix)) return nullptr;
  auto* target = reinterpret_cast<ZrCmdTarget*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!target || target->m_className.CompareNoCase(className) != 0) return nullptr;
  return target;
}

ZrArray<ZrCmd> ZrCmdTarget::GetQueuedCommands() {
  ZrLock lock(m_lock);
  return m_queue;
}

LRESULT CALLBACK ZrCmdTarget::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    if (ZrCmdTarget* target = FromWindow(window)) target->OnTimer(static_cast<uintptr_t>(wParam));
  } else if (message == kZrCmdTargetMessage) {
    if (ZrCmdTarget* target = FromWindow(window)) target->ProcessCommands(nullptr);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
