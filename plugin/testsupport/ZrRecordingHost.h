#pragma once
// A host for plug-in tests: it records every code a plug-in hands it (with the sender, the
// milliseconds and the thread it arrived on), answers GetValue from a table the test fills, and
// records the codes a learn hands back. Plug-ins may call it from any thread; the test reads
// snapshots and waits for counts with a deadline:
//
//   zrtest::RecordingHost host;
//   host.SetValue(L"Active Codes", L"...");
//   ... start the plug-in ...
//   ASSERT_TRUE(host.PumpUntilCodes(2));                // codes delivered on this thread
//   EXPECT_EQ(host.Texts(), (std::vector<std::wstring>{L"A", L"B"}));

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrTestWait.h"
#include "plugin/IZrRemoteControl.h"
#include "plugin/IZrRemoteControlHost.h"

namespace zrtest {

class RecordingHost final : public IZrRemoteControlHost, public IZrLearnCallback {
 public:
  struct Code {
    IZrRemoteControl* sender;
    std::wstring text;  // "(null)" for a null BSTR
    bool wellFormed;    // non-null, and the BSTR's length prefix matches its text
    int32_t milliseconds;
    DWORD thread;
  };

  // What GetValue answers for `name` (compared exactly); names not set answer null.
  void SetValue(const std::wstring& name, const std::wstring& value);

  std::vector<Code> Codes();
  std::vector<std::wstring> Texts();
  size_t CodeCount();
  // The names GetValue was asked for, in order.
  std::vector<std::wstring> ValuesAsked();
  // The codes OnLearned handed over, in order, and the threads they arrived on.
  std::vector<std::wstring> Learned();
  std::vector<DWORD> LearnedThreads();
  size_t LearnedCount();

  // Keeps the thread that delivers `code` inside OnRemoteCode until Release (or at most
  // `maxHoldMs`, so that a test that fails first does not hang the plug-in's thread): a test can
  // then stop or destroy the plug-in while a delivery is under way.
  void HoldOn(const std::wstring& code, DWORD maxHoldMs = 30000);
  // Whether a delivery of the held code has begun.
  bool Held();
  void Release();

  // Wait until at least `count` codes (or learned codes) arrived. The Pump forms dispatch this
  // thread's messages meanwhile, for plug-ins that deliver on the host's main thread; the Wait
  // forms do not, for plug-ins that call from a thread of their own. A failure lists what came.
  testing::AssertionResult WaitForCodes(size_t count, DWORD timeoutMs = kWaitMs) {
    return Await(false, false, count, timeoutMs);
  }
  testing::AssertionResult PumpUntilCodes(size_t count, DWORD timeoutMs = kWaitMs) {
    return Await(true, false, count, timeoutMs);
  }
  testing::AssertionResult WaitForLearned(size_t count, DWORD timeoutMs = kWaitMs) {
    return Await(false, true, count, timeoutMs);
  }
  testing::AssertionResult PumpUntilLearned(size_t count, DWORD timeoutMs = kWaitMs) {
    return Await(true, true, count, timeoutMs);
  }

  // IZrRemoteControlHost
  bool OnRemoteCode(IZrRemoteControl* sender, BSTR code, int32_t milliseconds) override;
  BSTR GetValue(const wchar_t* name) override;
  // IZrLearnCallback: takes the code and frees it.
  bool OnLearned(BSTR code) override;

 private:
  testing::AssertionResult Await(bool pump, bool learned, size_t count, DWORD timeoutMs);

  std::mutex m_mutex;
  std::condition_variable m_releasedChanged;
  std::vector<Code> m_codes;
  std::vector<std::wstring> m_learned;
  std::vector<DWORD> m_learnedThreads;
  std::wstring m_holdCode;
  bool m_holding = false;
  bool m_held = false;
  bool m_released = false;
  DWORD m_maxHoldMs = 0;
  std::vector<std::wstring> m_asked;
  std::map<std::wstring, std::wstring> m_values;
};

// The answer of GetInfo, freed; "(null)" for a null BSTR.
std::wstring Info(IZrRemoteControl& plugin, const wchar_t* key);

// A text for messages: "(null)" for a null pointer.
inline std::wstring Text(const wchar_t* text) { return text ? std::wstring(text) : L"(null)"; }

}  // namespace zrtest
