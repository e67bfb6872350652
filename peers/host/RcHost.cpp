#include "peers/host/RcHost.h"

#include "foundation/ZrTimer.h"
#include "peers/host/RcHostOptions.h"
#include "peers/host/RcHostOutput.h"
#include "foundation/win/ZrBoundary.h"

void RcHost::Name(IZrRemoteControl* plugin, std::wstring name) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_names[plugin] = std::move(name);
}

bool RcHost::OnRemoteCode(IZrRemoteControl* sender, BSTR code, int32_t milliseconds) {
  // Taken first, so that printing is not counted in a measured latency.
  const int64_t receivedNs = m_timestamps ? ZrSteadyNowNs() : 0;
  // The module frees the code when this returns; it is copied here.
  const std::wstring text = ZrIsReadableString(code) ? std::wstring(code) : L"";
  std::wstring name;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = m_names.find(sender);
    name = it == m_names.end() ? L"(unknown plug-in)" : it->second;
    ++m_codes;
  }
  std::wstring line = name + L": " + text + L" (" + std::to_wstring(milliseconds) + L" ms)";
  if (m_timestamps) line += L" @" + std::to_wstring(receivedNs);
  RcPrintLine(line);
  return true;
}

BSTR RcHost::GetValue(const wchar_t* name) {
  if (!ZrIsReadableString(name)) return nullptr;
  auto it = m_values.find(RcLower(name));
  return it == m_values.end() ? nullptr : SysAllocString(it->second.c_str());
}

bool RcLearner::OnLearned(BSTR code) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_calls.load() == 0 && ZrIsReadableString(code)) m_code.assign(code, SysStringLen(code));
  }
  // The code belongs to us now, whatever it holds.
  SysFreeString(code);
  m_calls.fetch_add(1);
  if (m_window) PostMessageW(m_window, WM_APP, 0, 0);
  return true;
}

std::wstring RcLearner::Code() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_code;
}
