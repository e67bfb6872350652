#pragma once
// Watches this process for a message box with a given caption from a thread of its own, reads its
// text and presses OK, so that a test can check a box that the code under test shows modally.

#include <atomic>
#include <string>
#include <thread>

#include "foundation/win/ZrWindows.h"

namespace zrtest {

class MessageBoxWatcher {
 public:
  // Returns once the watcher has made its first window call. A thread whose first window call
  // races with a DllMain that makes windows under the loader lock can deadlock the process under
  // Wine (observed about once in ten loads), so the watcher is ready before any load begins.
  explicit MessageBoxWatcher(std::wstring caption, DWORD timeoutMs = 60000);
  ~MessageBoxWatcher() { Finish(); }
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  // Stops watching; answers whether a box was found.
  bool Finish();
  // The box's text; empty until one was found.
  const std::wstring& Text() const { return m_text; }

 private:
  static BOOL CALLBACK Candidate(HWND window, LPARAM self);
  void Watch();

  const std::wstring m_caption;
  const DWORD m_timeoutMs;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_found{false};
  std::atomic<bool> m_ready{false};
  HWND m_box = nullptr;
  std::wstring m_text;
  std::thread m_thread;
};

}  // namespace zrtest
