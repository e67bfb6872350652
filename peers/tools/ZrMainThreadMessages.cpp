#include "peers/tools/ZrMainThreadMessages.h"

#include <algorithm>

#include "foundation/ZrFormat.h"

namespace {

// One window message per posted entry: it only wakes the owner thread, the queue holds the entry.
constexpr UINT kWakeMessage = WM_APP + 0x31;

}  // namespace

ZrMainThreadMessages::~ZrMainThreadMessages() { Destroy(); }

bool ZrMainThreadMessages::Create(HINSTANCE module) {
  if (m_window) return true;
  // The class name carries the object's address: two managers in one process never share a class.
  const ZrString className = ZrFormatV(u"ZrTools Main Thread Messages %p", {static_cast<const void*>(this)});
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = module;
  windowClass.lpszClassName = ZrW(className.c_str());
  ZrClassWindow created;
  created.instance = module;
  created.windowClass = RegisterClassExW(&windowClass);
  if (!created.windowClass) return false;
  created.window = CreateWindowExW(0, MAKEINTATOM(created.windowClass), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   module, nullptr);
  // Owned from here on, so that a failed creation still unregisters the class.
  ZrWindowWithClass window(created);
  if (!created.window) return false;
  m_owner = GetCurrentThreadId();
  SetWindowLongPtrW(created.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  std::lock_guard<std::mutex> lock(m_lock);
  m_window = std::move(window);
  return true;
}

void ZrMainThreadMessages::Destroy() {
  ZrWindowWithClass window;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.clear();
    window = std::move(m_window);
  }
  if (!window) return;
  // Another thread cannot destroy the owner's window (the process is ending then anyway); it
  // stops being ours all the same.
  SetWindowLongPtrW(window.get().window, GWLP_USERDATA, 0);
  if (GetCurrentThreadId() != m_owner) (void)window.release();
}

void ZrMainThreadMessages::Forget(IMainThreadMessageManagerCallback* object) {
  if (!object) return;
  const DWORD self = GetCurrentThreadId();
  std::unique_lock<std::mutex> lock(m_lock);
  m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(), [&](const Entry& e) { return e.object == object; }),
                m_queue.end());
  // A delivery on this very thread is the caller's own frame; waiting for it would never end.
  m_deliveryEnded.wait(lock, [&] {
    return std::none_of(m_deliveries.begin(), m_deliveries.end(),
                        [&](const Delivery& d) { return d.object == object && d.thread != self; });
  });
}

bool ZrMainThreadMessages::Post(IMainThreadMessageManagerCallback* object, uint32_t id, void* data) {
  if (!object) return false;
  uint64_t sequence;
  HWND window;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_window) return false;
    window = m_window.get().window;
    sequence = m_nextSequence++;
    m_queue.push_back({sequence, object, id, data});
  }
  if (PostMessageW(window, kWakeMessage, 0, 0)) return true;
  // Nothing will come to deliver it: take it back, unless a flush already delivered it.
  std::lock_guard<std::mutex> lock(m_lock);
  auto it = std::find_if(m_queue.begin(), m_queue.end(), [&](const Entry& e) { return e.sequence == sequence; });
  if (it == m_queue.end()) return true;
  m_queue.erase(it);
  return false;
}

bool ZrMainThreadMessages::Flush(IMainThreadMessageManagerCallback* object) {
  if (object)
    while (DeliverOne(object)) {
    }
  return true;
}

int ZrMainThreadMessages::PendingCount() {
  std::lock_guard<std::mutex> lock(m_lock);
  return static_cast<int>(m_queue.size());
}

bool ZrMainThreadMessages::DeliverOne(IMainThreadMessageManagerCallback* only) {
  Entry entry;
  const DWORD self = GetCurrentThreadId();
  {
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = only ? std::find_if(m_queue.begin(), m_queue.end(), [&](const Entry& e) { return e.object == only; })
                   : m_queue.begin();
    if (it == m_queue.end()) return false;
    entry = *it;
    m_queue.erase(it);
    m_deliveries.push_back({entry.object, self});
  }
  // The window procedure and a flushing caller must get control back whatever the entry does.
  try {
    entry.object->MainThreadMessage(entry.id, entry.data);
  } catch (...) {
  }
  {
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = std::find_if(m_deliveries.rbegin(), m_deliveries.rend(),
                           [&](const Delivery& d) { return d.object == entry.object && d.thread == self; });
    m_deliveries.erase(std::next(it).base());
  }
  m_deliveryEnded.notify_all();
  return true;
}

LRESULT CALLBACK ZrMainThreadMessages::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWakeMessage) {
    if (auto* self = reinterpret_cast<ZrMainThreadMessages*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
      self->DeliverOne(nullptr);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
