#pragma once
// The tools library's main-thread message manager: worker threads post (object, id, data) and the
// thread that created the manager (the host's main thread) hands each to the object's
// main-thread message entry, in posting order, from its message loop.
//
// The manager owns only its queue entries; the data pointer belongs to the poster and receiver.

#include <cstdint>
#include <deque>
#include <mutex>
#include <condition_variable>
#include <vector>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsInterface.h"

class ZrMainThreadMessages final : public IZrMainThreadMessageManager {
 public:
  ZrMainThreadMessages() = default;
  ~ZrMainThreadMessages();
  ZrMainThreadMessages(const ZrMainThreadMessages&) = delete;
  ZrMainThreadMessages& operator=(const ZrMainThreadMessages&) = delete;

  // Makes the hidden window on the calling thread, which from then on delivers the messages.
  bool Create(HINSTANCE module);
  // Drops every pending entry and, on the owner thread, destroys the window.
  void Destroy();
  bool IsCreated() const { return m_window.valid(); }
  DWORD OwnerThread() const { return m_owner; }

  // Any thread. Pending entries for the object are dropped; when another thread is delivering to
  // it right now, waits until that delivery has returned.
  void Forget(IMainThreadMessageManagerCallback* object) override;
  // Any thread. Answers false (and keeps nothing) when the manager has no window or the window
  // cannot be woken.
  bool Post(IMainThreadMessageManagerCallback* object, uint32_t id, void* data) override;
  // Delivers the object's pending entries on the calling thread, oldest first; answers true.
  bool Flush(IMainThreadMessageManagerCallback* object) override;

  int PendingCount();

 private:
  struct Entry {
    uint64_t sequence;
    IMainThreadMessageManagerCallback* object;
    uint32_t id;
    void* data;
  };
  struct Delivery {
    IMainThreadMessageManagerCallback* object;
    DWORD thread;
  };

  // Delivers the oldest pending entry (for `only` when it is set); answers whether there was one.
  bool DeliverOne(IMainThreadMessageManagerCallback* only);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::mutex m_lock;
  std::condition_variable m_deliveryEnded;
  std::deque<Entry> m_queue;
  std::vector<Delivery> m_deliveries;  // deliveries under way; nested ones stack up
  uint64_t m_nextSequence = 1;
  ZrWindowWithClass m_window;
  DWORD m_owner = 0;
};
