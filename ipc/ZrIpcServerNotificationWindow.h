#pragma once
// The hidden window through which a threaded server hands requests to the thread that started it.
// The listening or connection thread posts a request (PostRequest); the window's thread takes it in
// OnCommand, calls the owner's HandleRequest there and hands the reply back.
//
// Posters append their messages and mark them abandoned, under the lock; only the window's thread
// takes, handles and removes them, so a pass over the list never loses its place. A message is
// removed once it is both done and abandoned by its poster, whichever comes last.

#include <cstdint>

#include "foundation/ZrArray.h"
#include "foundation/win/ZrCmdTarget.h"
#include "foundation/win/ZrCriticalSection.h"
#include "foundation/win/ZrHandle.h"
#include "ipc/ZrByteBuffer.h"

class ZrIpcServerThreaded;

class ZrIpcServerNotificationWindow : public ZrCmdTarget {
 public:
  // One posted request.
  class CMessage {
   public:
    ZrByteBuffer m_request;
    ZrByteBuffer m_reply;
    ZrEventHandle m_started;  // the window has taken it
    ZrEventHandle m_done;     // the window has finished with it
    bool m_taken = false;
    bool m_abandoned = false;
  };

  static constexpr uint32_t kRequestCommand = 1025;
  static constexpr int64_t kRequestParam = 0x3F210C32;

  // The owner is not owned. The window itself is made by CreateTargetWindow on the owner's thread.
  explicit ZrIpcServerNotificationWindow(ZrIpcServerThreaded* owner);
  // Deletes every message, lets pending commands find none, tells a running handler that the
  // window is gone, and destroys the window. Belongs to the window's thread.
  ~ZrIpcServerNotificationWindow() override;

  // On the poster's thread. waitMs below 1: the reply is "Result" = "1" at once and the request is
  // handled later. Otherwise waits up to waitMs for the window to take the request, then for it to
  // finish; the stop event ends either wait and leaves the reply empty.
  void PostRequest(const ZrByteBuffer& request, ZrByteBuffer& reply, int64_t waitMs, HANDLE stopEvent);

  void OnCommand(const ZrCmd& command) override;

  // Messages in the list, for inspection.
  int GetMessageCount();

 private:
  // Under the lock: the message's index, or -1.
  int IndexOf(const CMessage* message) const;

  ZrCriticalSection m_lock;
  ZrIpcServerThreaded* m_owner;
  bool* m_runningHandler = nullptr;
  ZrOwnedPtrArray<CMessage> m_messages;
};
