// What one keyboard record costs in the raw-input plug-in's OnWindowMessage with 1,000 bindings in
// its active codes: the record read through the plug-in's function table (answered from memory, as
// Windows answers from its own copy), the code made, filtered, looked up for repeats and delivered
// to a host that only counts. Runs under Wine; prints
//   bench: rawinput-dispatch ns_per_record=<median of the rounds> bindings=1000 where=wine
#include <algorithm>
#include <cstdio>
#include <vector>

#include "foundation/ZrConvert.h"
#include "foundation/ZrTimer.h"
#include "rawinput/ActiveCodesValue.h"
#include "rawinput/CRawInput.h"
#include "plugin/testsupport/ZrFakeRawInput.h"

namespace {

constexpr int kBindings = 1000;
constexpr int kRecordsPerRound = 20000;
constexpr int kRounds = 9;

class CountingHost final : public IZrRemoteControlHost {
 public:
  bool OnRemoteCode(IZrRemoteControl*, BSTR, int32_t) override {
    ++codes;
    return true;
  }
  BSTR GetValue(const wchar_t*) override { return nullptr; }
  long long codes = 0;
};

class BenchRawInput : public CRawInput {
 public:
  explicit BenchRawInput(IZrRemoteControlHost* host) : CRawInput(host) { zrtest::FakeRawInputSystem::Install(m_user32); }
};

ZrString Binding(const ZrString& trigger) {
  RCCommandData binding;
  binding.SetString(RCCommandData::kTriggerCode, trigger);
  binding.SetString(u"Command", ZrString(u"Next"));
  ZrString xml;
  binding.ToXml(xml, RCCommandData::kRootTag, false, 1.0);
  return xml;
}

}  // namespace

int wmain() {
  zrtest::FakeRawInputSystem system;
  const HANDLE keyboard = reinterpret_cast<HANDLE>(2);
  system.devices = {{keyboard, RIM_TYPEKEYBOARD, L"\\\\?\\HID#VID_845E&PID_0002#0&0000&0&0#{884b96c3}"}};
  CountingHost host;
  BenchRawInput plugin(&host);
  if (!plugin.Start(false)) return 1;
  // The device's prefix as this process identifies it (with or without the tools library).
  const RawInputDevice* device = plugin.FindDevice(keyboard);
  if (!device) return 1;
  const ZrString prefix = device->CodePrefix();

  // 999 bindings of other codes, the pressed key's binding last.
  ZrStringArray bindings;
  for (int i = 0; i < kBindings - 1; ++i) bindings.Add(Binding(prefix + ZrIntToText(0x1000 + i, 16)));
  bindings.Add(Binding(prefix + u"41"));
  plugin.SetInfo(L"Active Codes", ZrW(MakeActiveCodesValue(bindings).c_str()));
  plugin.Start(false);
  if (plugin.ActiveCodeCount() != kBindings) return 1;

  const LPARAM record = system.Key(keyboard, 'A');
  for (int i = 0; i < 1000; ++i) plugin.OnWindowMessage(WM_INPUT, 0, record);
  std::vector<double> rounds;
  for (int r = 0; r < kRounds; ++r) {
    const long long before = host.codes;
    const int64_t start = ZrSteadyNowNs();
    for (int i = 0; i < kRecordsPerRound; ++i) plugin.OnWindowMessage(WM_INPUT, 0, record);
    const int64_t elapsed = ZrSteadyNowNs() - start;
    if (host.codes - before != kRecordsPerRound) {
      std::fprintf(stderr, "rawinput-dispatch: %lld of %d records reached the host\n", host.codes - before, kRecordsPerRound);
      return 1;
    }
    rounds.push_back(static_cast<double>(elapsed) / kRecordsPerRound);
  }
  std::sort(rounds.begin(), rounds.end());
  plugin.Stop();
  std::printf("rawinput-dispatch: rounds of %d records, ns per record min %.0f median %.0f max %.0f\n", kRecordsPerRound,
              rounds.front(), rounds[rounds.size() / 2], rounds.back());
  std::printf("bench: rawinput-dispatch ns_per_record=%.0f bindings=%d where=wine\n", rounds[rounds.size() / 2],
              kBindings);
  return 0;
}
