#include "plugin/testsupport/ZrRecordingHost.h"

#include <chrono>
#include <cwchar>

namespace zrtest {

namespace {

std::wstring FromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : L"(null)"; }

bool WellFormed(BSTR text) { return text && SysStringLen(text) == wcslen(text); }

}  // namespace

void RecordingHost::SetValue(const std::wstring& name, const std::wstring& value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_values[name] = value;
}

std::vector<RecordingHost::Code> RecordingHost::Codes() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_codes;
}

std::vector<std::wstring> RecordingHost::Texts() {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::wstring> texts;
  for (const Code& code : m_codes) texts.push_back(code.text);
  return texts;
}

size_t RecordingHost::CodeCount() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_codes.size();
}

std::vector<std::wstring> RecordingHost::ValuesAsked() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_asked;
}

std::vector<std::wstring> RecordingHost::Learned() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_learned;
}

std::vector<DWORD> RecordingHost::LearnedThreads() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_learnedThreads;
}

void RecordingHost::HoldOn(const std::wstring& code, DWORD maxHoldMs) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_holdCode = code;
  m_holding = true;
  m_held = false;
  m_released = false;
  m_maxHoldMs = maxHoldMs;
}

bool RecordingHost::Held() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_held;
}

void RecordingHost::Release() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_released = true;
  m_releasedChanged.notify_all();
}

size_t RecordingHost::LearnedCount() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_learned.size();
}

testing::AssertionResult RecordingHost::Await(bool pump, bool learned, size_t count, DWORD timeoutMs) {
  const auto arrived = [&] { return (learned ? LearnedCount() : CodeCount()) >= count; };
  if (pump ? PumpUntil(arrived, timeoutMs) : WaitUntil(arrived, timeoutMs)) return testing::AssertionSuccess();
  const std::vector<std::wstring> got = learned ? Learned() : Texts();
  testing::AssertionResult failure = testing::AssertionFailure();
  failure << "expected at least " << count << (learned ? " learned codes" : " codes") << " within " << timeoutMs
          << " ms, got " << got.size() << ":";
  for (const std::wstring& text : got) failure << " \"" << text << "\"";
  return failure;
}

bool RecordingHost::OnRemoteCode(IZrRemoteControl* sender, BSTR code, int32_t milliseconds) {
  Code record{sender, FromBstr(code), WellFormed(code), milliseconds, GetCurrentThreadId()};
  std::unique_lock<std::mutex> lock(m_mutex);
  const bool hold = m_holding && record.text == m_holdCode;
  m_codes.push_back(std::move(record));
  if (hold) {
    m_held = true;
    m_releasedChanged.wait_for(lock, std::chrono::milliseconds(m_maxHoldMs), [this] { return m_released; });
  }
  return true;
}

BSTR RecordingHost::GetValue(const wchar_t* name) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::wstring key = Text(name);
  m_asked.push_back(key);
  auto it = name ? m_values.find(key) : m_values.end();
  if (it == m_values.end()) return nullptr;
  return SysAllocStringLen(it->second.data(), static_cast<UINT>(it->second.size()));
}

bool RecordingHost::OnLearned(BSTR code) {
  std::wstring text = FromBstr(code);
  SysFreeString(code);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_learned.push_back(std::move(text));
  m_learnedThreads.push_back(GetCurrentThreadId());
  return true;
}

std::wstring Info(IZrRemoteControl& plugin, const wchar_t* key) {
  BSTR text = plugin.GetInfo(key);
  std::wstring out = FromBstr(text);
  SysFreeString(text);
  return out;
}

}  // namespace zrtest
