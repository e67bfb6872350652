#include "ipc/ZrIpcServerNotificationWindow.h"

#include <memory>

#include "ipc/ZrIpcPacket.h"
#include "ipc/ZrIpcServerThreaded.h"
#include "ipc/ZrPipeIo.h"

ZrIpcServerNotificationWindow::ZrIpcServerNotificationWindow(ZrIpcServerThreaded* owner) : m_owner(owner) {}

ZrIpcServerNotificationWindow::~ZrIpcServerNotificationWindow() {
  {
    ZrLock lock(m_lock);
    m_messages.RemoveAll();
  }
  ProcessCommands(nullptr);
  if (m_runningHandler) *m_runningHandler = true;
  DestroyTargetWindow();
}

int ZrIpcServerNotificationWindow::GetMessageCount() {
  ZrLock lock(m_lock);
  return m_messages.GetCount();
}

int ZrIpcServerNotificationWindow::IndexOf(const CMessage* message) const {
  for (int i = 0; i < m_messages.GetCount(); ++i)
    if (m_messages[i] == message) return i;
  return -1;
}

void ZrIpcServerNotificationWindow::PostRequest(const ZrByteBuffer& request, ZrByteBuffer& reply, int64_t waitMs,
                                                HANDLE stopEvent) {
  reply.Empty();
  auto owned = std::make_unique<CMessage>();
  owned->m_started.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  owned->m_done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!owned->m_started || !owned->m_done) return;
  if (request.Size() > 0 && !owned->m_request.CopyFrom(request)) return;
  CMessage* message = owned.get();
  {
    ZrLock lock(m_lock);
    m_messages.Add(owned.release());
  }
  if (!PostCommand(kRequestCommand, kRequestParam)) {
    // Without a window nothing would ever take it; no command pass can be running either.
    ZrLock lock(m_lock);
    const int index = IndexOf(message);
    if (index >= 0) m_messages.RemoveAt(index);
    return;
  }

  if (waitMs < 1) {
    ZrIpcPacket accepted;
    accepted.SetString(u"Result", ZrString(u"1"));
    accepted.ToBytes(reply);
  } else {
    const DWORD limit = waitMs >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(waitMs);
    const HANDLE started[2] = {message->m_started.get(), stopEvent};
    if (WaitForMultipleObjects(stopEvent ? 2 : 1, started, FALSE, limit) == WAIT_OBJECT_0) {
      const HANDLE done[2] = {message->m_done.get(), stopEvent};
      if (WaitForMultipleObjects(stopEvent ? 2 : 1, done, FALSE, INFINITE) == WAIT_OBJECT_0 &&
          message->m_reply.Size() > 0)
        reply.CopyFrom(message->m_reply);
    }
  }

  bool alreadyDone = false;
  {
    ZrLock lock(m_lock);
    message->m_abandoned = true;
    alreadyDone = ZrIsSignalled(message->m_done.get());
  }
  // The window finished before we let go; one more pass deletes the message.
  if (alreadyDone) PostCommand(kRequestCommand, kRequestParam);
}

void ZrIpcServerNotificationWindow::OnCommand(const ZrCmd& command) {
  if (command.id != kRequestCommand || command.param1 != kRequestParam) return;
  for (int i = 0;;) {
    CMessage* message = nullptr;
    {
      ZrLock lock(m_lock);
      if (i >= m_messages.GetCount()) return;
      message = m_messages[i];
      if (ZrIsSignalled(message->m_done.get())) {
        if (message->m_abandoned)
          m_messages.RemoveAt(i);  // the next message moves into index i
        else
          ++i;  // its poster still reads the reply
        continue;
      }
      if (message->m_taken) {
        ++i;
        continue;
      }
      message->m_taken = true;
    }
    SetEvent(message->m_started.get());

    ZrIpcPacket request;
    if (request.FromBytes(message->m_request)) {
      ZrIpcPacket reply;
      // A handler that pumps messages may run a pass of its own inside this one; each keeps its probe.
      bool destroyed = false;
      bool* const outer = m_runningHandler;
      m_runningHandler = &destroyed;
      m_owner->HandleRequest(request, reply);
      // The handler may have destroyed this window, directly or through its owner.
      if (destroyed) {
        if (outer) *outer = true;
        return;
      }
      m_runningHandler = outer;
      reply.ToBytes(message->m_reply);
    }
    SetEvent(message->m_done.get());

    ZrLock lock(m_lock);
    // A handler that pumped messages may have moved the list; look the message up again.
    const int index = IndexOf(message);
    if (index >= 0 && message->m_abandoned) {
      m_messages.RemoveAt(index);
      if (index < i) --i;
    } else if (index >= 0 && index == i) {
      ++i;
    }
  }
}
