#pragma once
// The reference host's callback object: prints every code with the sending plug-in's name and the
// milliseconds, and answers the plug-ins' questions from the command line.

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "plugin/IZrRemoteControlHost.h"

class RcHost final : public IZrRemoteControlHost {
 public:
  // values: answers by lower-case name.
  explicit RcHost(std::map<std::wstring, std::wstring> values, bool timestamps = false)
      : m_values(std::move(values)), m_timestamps(timestamps) {}

  // The name printed beside the codes of this plug-in.
  void Name(IZrRemoteControl* plugin, std::wstring name);

  // Any thread: a driver thread may deliver codes too.
  bool OnRemoteCode(IZrRemoteControl* sender, BSTR code, int32_t milliseconds) override;
  BSTR GetValue(const wchar_t* name) override;

  int CodeCount() const { return m_codes; }

 private:
  std::mutex m_lock;
  std::map<IZrRemoteControl*, std::wstring> m_names;
  const std::map<std::wstring, std::wstring> m_values;
  const bool m_timestamps;
  int m_codes = 0;
};

// The host's learn callback: keeps the first code it is handed and wakes the host's window.
class RcLearner final : public IZrLearnCallback {
 public:
  // window: told with WM_APP when a code has arrived; may be null.
  explicit RcLearner(HWND window) : m_window(window) {}

  // Any thread. Takes ownership of `code` and frees it here.
  bool OnLearned(BSTR code) override;

  bool HasCode() const { return m_calls.load() > 0; }
  int Calls() const { return m_calls.load(); }
  // The first code handed over; empty until then.
  std::wstring Code();

 private:
  HWND m_window;
  std::mutex m_lock;
  std::wstring m_code;
  std::atomic<int> m_calls{0};
};
