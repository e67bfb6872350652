#include "foundation/win/testsupport/ZrMessageBoxWatcher.h"

#include "foundation/win/testsupport/ZrTestWait.h"

namespace zrtest {

namespace {

// The text of a message box sits in the dialog's static control of this id.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kLookAgainMs = 10;

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(std::wstring caption, DWORD timeoutMs)
    : m_caption(std::move(caption)), m_timeoutMs(timeoutMs), m_thread([this] { Watch(); }) {
  // The watcher marks itself ready on every path, so this ends; the deadline only bounds a hang.
  for (const Deadline deadline(kWaitMs); !m_ready && !deadline.Passed();) Sleep(1);
}

bool MessageBoxWatcher::Finish() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  return m_found;
}

BOOL CALLBACK MessageBoxWatcher::Candidate(HWND window, LPARAM self) {
  auto* watcher = reinterpret_cast<MessageBoxWatcher*>(self);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t caption[256] = {};
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  GetWindowTextW(window, caption, 256);
  if (process != GetCurrentProcessId() || watcher->m_caption != caption || wcscmp(className, L"#32770") != 0)
    return TRUE;
  watcher->m_box = window;
  return FALSE;
}

void MessageBoxWatcher::Watch() {
  // Looks until told to stop, and at most until the deadline, so that a missing box fails a test
  // instead of hanging it.
  const Deadline deadline(m_timeoutMs);
  while (!m_stop && !deadline.Passed()) {
    m_box = nullptr;
    EnumWindows(Candidate, reinterpret_cast<LPARAM>(this));
    m_ready = true;
    if (m_box) {
      wchar_t text[4096] = {};
      GetDlgItemTextW(m_box, kMessageBoxTextId, text, 4096);
      m_text = text;
      m_found = true;
      SendMessageW(m_box, WM_COMMAND, IDOK, 0);
      return;
    }
    Sleep(kLookAgainMs);
  }
  m_ready = true;
}

}  // namespace zrtest
