#include "rawinput/CRawInput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrFakeTools.h"
#include "plugin/testsupport/ZrRecordingHost.h"
#include "rawinput/ActiveCodesValue.h"
#include "plugin/testsupport/ZrFakeRawInput.h"

namespace {

using zrtest::FakeClock;
using zrtest::FakeRawInputSystem;
using zrtest::FakeTimer;
using zrtest::RecordingHost;

const HANDLE kKeyboard = reinterpret_cast<HANDLE>(2);
const HANDLE kRemote = reinterpret_cast<HANDLE>(0x10003);
const HANDLE kMouse = reinterpret_cast<HANDLE>(1);
const HANDLE kUnlisted = reinterpret_cast<HANDLE>(77);

// The plug-in with its raw-input functions pointed at the fake system and its stopwatches at the
// test's clock.
class TestRawInput : public CRawInput {
 public:
  TestRawInput(IZrRemoteControlHost* host, FakeClock& clock) : CRawInput(host), m_clock(clock) {
    FakeRawInputSystem::Install(m_user32);
    m_lastKeyTimer = std::make_unique<FakeTimer>(clock);
  }
  using CRawInput::GetTargetWindow;

 protected:
  std::unique_ptr<ZrTimer> NewRepeatAge() override { return std::make_unique<FakeTimer>(m_clock); }

 private:
  FakeClock& m_clock;
};

std::wstring Binding(const char16_t* trigger, int repeats = -1) {
  RCCommandData binding;
  binding.SetString(RCCommandData::kTriggerCode, ZrString(trigger));
  if (repeats >= 0) binding.SetInt(RCCommandData::kGenerateRepeats, repeats);
  binding.SetString(u"Command", ZrString(u"Next"));
  ZrString xml;
  binding.ToXml(xml, RCCommandData::kRootTag, false, 1.0);
  return std::wstring(ZrW(xml.c_str()));
}

std::wstring Value(const std::vector<std::wstring>& bindings) {
  ZrStringArray texts;
  for (const std::wstring& b : bindings) texts.Add(ZrString(ZrU(b.c_str())));
  return std::wstring(ZrW(MakeActiveCodesValue(texts).c_str()));
}

class CRawInputTest : public ::testing::Test {
 protected:
  CRawInputTest() : m_scope(m_tools), m_plugin(&m_host, m_clock) {
    m_tools.SetTextUtils(&m_textUtils);
    m_system.devices = {
        {kMouse, RIM_TYPEMOUSE, L"\\\\?\\HID#VID_845E&PID_0001#0&0000&0&0#{378de44c-56ef-11d1-bc8c-00a0c91405dd}"},
        {kKeyboard, RIM_TYPEKEYBOARD, L"\\\\?\\HID#VID_845E&PID_0002#0&0000&0&0#{884b96c3-56ef-11d1-bc8c-00a0c91405dd}"},
        {kRemote, RIM_TYPEHID, L"\\\\?\\HID#Vid_045E&Pid_006D&Col01#7&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}"},
    };
  }

  std::vector<std::string> Codes() const {
    std::vector<std::string> out;
    for (const std::wstring& code : const_cast<RecordingHost&>(m_host).Texts()) out.push_back(ZrString(ZrU(code.c_str())).ToUtf8());
    return out;
  }
  bool Input(LPARAM record) { return m_plugin.OnWindowMessage(WM_INPUT, RIM_INPUT, record); }
  void SetCodes(const std::vector<std::wstring>& bindings) {
    ASSERT_TRUE(m_plugin.SetInfo(L"Active Codes", Value(bindings).c_str()));
  }

  zrtest::FakeTextUtils m_textUtils;
  zrtest::FakeTools m_tools;
  zrtest::ToolsScope m_scope;
  FakeRawInputSystem m_system;
  FakeClock m_clock;
  RecordingHost m_host;
  TestRawInput m_plugin;
};

TEST(RawInputDevice, CodePrefixFromTheDeviceName) {
  zrtest::FakeTextUtils utils;
  zrtest::FakeTools tools;
  tools.SetTextUtils(&utils);
  struct Case {
    const wchar_t* name;
    bool identified;
    const char* prefix;
  } cases[] = {
      {L"\\\\?\\HID#Vid_045E&Pid_0745&Col02#7&1#{guid}", true, "045E_0745_"},
      {L"\\\\?\\HID#Vid_045E&Pid_0745#7&1#{guid}", true, "045E_0745_"},
      // Wine and Windows write the markers in capitals; the find ignores case.
      {L"\\\\?\\HID#VID_845E&PID_0002#0&0000&0&0#{guid}", true, "845E_0002_"},
      {L"\\\\?\\HID#Vid_045E&Col02#7&1#{guid}", true, "Vid_045E_Col02_"},
      {L"\\\\?\\HID#Vid_&Pid_0745#7&1#{guid}", true, "Vid__Pid_0745_"},
      {L"\\\\?\\HID#IrDevice&Col02#7&1#{guid}", true, "IrDevice_Col02_"},
      {L"\\\\?\\HID#Vid_045E&Pid_0745#{guid}", false, ""},
      {L"", false, ""},
  };
  for (const Case& c : cases) {
    FakeRawInputSystem system;
    system.devices = {{kRemote, RIM_TYPEHID, c.name}};
    ZrUser32Functions user32;
    FakeRawInputSystem::Install(user32);
    RawInputDevice device(kRemote);
    {
      zrtest::ToolsScope scope(tools);
      EXPECT_EQ(device.Identify(user32), c.identified) << ZrString(ZrU(c.name)).ToUtf8();
    }
    EXPECT_EQ(device.CodePrefix().ToUtf8(), c.prefix) << ZrString(ZrU(c.name)).ToUtf8();
  }
}

TEST(RawInputDevice, UnansweredQueriesAndAMissingLibrary) {
  FakeRawInputSystem system;
  system.devices = {{kRemote, RIM_TYPEHID, L"\\\\?\\HID#Vid_045E&Pid_0745#7&1#{guid}", false}};
  ZrUser32Functions user32;
  FakeRawInputSystem::Install(user32);
  EXPECT_FALSE(RawInputDevice(kRemote).Identify(user32)) << "no device information";
  EXPECT_FALSE(RawInputDevice(kUnlisted).Identify(user32)) << "an unknown handle";
  user32.GetRawInputDeviceInfoW = nullptr;
  EXPECT_FALSE(RawInputDevice(kRemote).Identify(user32));
  // Without the tools library the markers count as absent: the identifier becomes the prefix.
  system.devices[0].answersInfo = true;
  FakeRawInputSystem::Install(user32);
  RawInputDevice device(kRemote);
  ASSERT_TRUE(device.Identify(user32));
  EXPECT_EQ(device.CodePrefix().ToUtf8(), "Vid_045E_Pid_0745_");
}

TEST_F(CRawInputTest, AsksForItsFiveCollections) {
  const USHORT expected[][2] = {{0x0C, 0x01}, {0x0C, 0x80}, {0xFFBC, 0x88}, {0x01, 0x06}, {0x01, 0x80}};
  for (int i = 0; i < 5; ++i) {
    RAWINPUTDEVICE device = {};
    ASSERT_TRUE(m_plugin.GetRawInputDevice(i, &device));
    EXPECT_EQ(device.usUsagePage, expected[i][0]);
    EXPECT_EQ(device.usUsage, expected[i][1]);
    EXPECT_EQ(device.dwFlags, static_cast<DWORD>(RIDEV_INPUTSINK));
  }
  RAWINPUTDEVICE untouched = {0x1234, 0x5678, 9, nullptr};
  EXPECT_FALSE(m_plugin.GetRawInputDevice(5, &untouched));
  EXPECT_FALSE(m_plugin.GetRawInputDevice(-1, &untouched));
  EXPECT_EQ(untouched.usUsagePage, 0x1234);
}

TEST_F(CRawInputTest, NothingPassesBeforeStartWithTheFlagOrActiveCodes) {
  EXPECT_FALSE(Input(m_system.Key(kKeyboard, 'A'))) << "not started";
  ASSERT_TRUE(m_plugin.Start(false));
  EXPECT_EQ(m_plugin.DeviceCount(), 2) << "the keyboard and the remote; never the mouse";
  EXPECT_FALSE(Input(m_system.Key(kKeyboard, 'A'))) << "started without the flag and without codes";
  ASSERT_TRUE(m_plugin.Start(true));
  EXPECT_TRUE(Input(m_system.Key(kKeyboard, 'A')));
  EXPECT_TRUE(Input(m_system.Hid(kRemote, {0x02, 0x10, 0x00})));
  EXPECT_FALSE(Input(m_system.Mouse(kMouse)));
  EXPECT_FALSE(Input(m_system.Key(kUnlisted, 'B'))) << "a device that was not listed at Start";
  EXPECT_FALSE(Input(m_system.Hid(kRemote, {0x01, 0x00, 0x00}))) << "a silent report";
  EXPECT_EQ(Codes(), (std::vector<std::string>{"845E_0002_41", "045E_006D_021000"}));
  ASSERT_TRUE(m_plugin.Stop());
  EXPECT_EQ(m_plugin.DeviceCount(), 0);
  EXPECT_FALSE(Input(m_system.Key(kKeyboard, 'A'))) << "after Stop";
  EXPECT_EQ(m_host.CodeCount(), 2u);
}

TEST_F(CRawInputTest, TheReceiverEchoIsDroppedInAnyCase) {
  m_system.devices = {{kRemote, RIM_TYPEHID, L"\\\\?\\HID#irdevice&Col02#7&1#{guid}"}};
  ASSERT_TRUE(m_plugin.Start(true));
  EXPECT_FALSE(Input(m_system.Hid(kRemote, {0x02, 0x00, 0x00})));
  EXPECT_TRUE(Input(m_system.Hid(kRemote, {0x02, 0x01, 0x00})));
  EXPECT_EQ(Codes(), (std::vector<std::string>{"irdevice_Col02_020100"}));
}

TEST_F(CRawInputTest, DevicesAreKeptByTheTriggerCodesOfTheBindings) {
  struct Case {
    std::vector<std::wstring> triggers;
    int devices;
  } cases[] = {
      {{L"845e_0002_41"}, 1},  // the prefix compared without regard to case
      {{L"045E_006D_0D", L"845E_0002_41"}, 2},
      {{L"045E_006"}, 0},      // shorter than the prefix
      {{L""}, 0},
      {{L"AAAA_BBBB_41"}, 0},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    RecordingHost host;
    TestRawInput plugin(&host, clock);
    std::vector<std::wstring> bindings;
    for (const std::wstring& t : c.triggers) bindings.push_back(Binding(ZrU(t.c_str())));
    ASSERT_TRUE(plugin.SetInfo(L"Active Codes", Value(bindings).c_str()));
    ASSERT_TRUE(plugin.Start(false));
    EXPECT_EQ(plugin.DeviceCount(), c.devices) << (c.triggers.empty() ? "" : ZrString(ZrU(c.triggers[0].c_str())).ToUtf8());
    plugin.Stop();
  }
}

TEST_F(CRawInputTest, ActiveCodesFilterWithoutRegardToCase) {
  SetCodes({Binding(u"845e_0002_41")});
  ASSERT_TRUE(m_plugin.Start(false));
  EXPECT_TRUE(Input(m_system.Key(kKeyboard, 'A')));
  EXPECT_FALSE(Input(m_system.Key(kKeyboard, 'B'))) << "a code outside the active codes";
  EXPECT_EQ(Codes(), (std::vector<std::string>{"845E_0002_41"}));
  EXPECT_EQ(m_plugin.RepeatCount(), 0);
}

TEST_F(CRawInputTest, ActiveCodesValuesAccumulateAndAnEmptyValueClears) {
  SetCodes({Binding(u"A"), Binding(u"B")});
  SetCodes({Binding(u"C")});
  EXPECT_EQ(m_plugin.CommandCount(), 3);
  EXPECT_TRUE(m_plugin.IsActiveCode(u"c"));
  // Another format number adds nothing and is still taken.
  EXPECT_TRUE(m_plugin.SetInfo(L"active codes", L"(1:2)(1:1)(5:D-XML)"));
  EXPECT_EQ(m_plugin.CommandCount(), 3);
  // A binding that is not an XMLPH record of version 1.0 is skipped; the others are taken.
  ZrStringArray mixed;
  mixed.Add(u"<ZRIR version=\"1.0\"></ZRIR>");
  mixed.Add(ZrString(ZrU(Binding(u"E").c_str())));
  mixed.Add(u"<XMLPH version=\"2.0\"></XMLPH>");
  EXPECT_TRUE(m_plugin.SetInfo(L"Active Codes", ZrW(MakeActiveCodesValue(mixed).c_str())));
  EXPECT_EQ(m_plugin.CommandCount(), 4);
  EXPECT_TRUE(m_plugin.SetInfo(L"Active Codes", L""));
  EXPECT_EQ(m_plugin.CommandCount(), 0);
  EXPECT_EQ(m_plugin.ActiveCodeCount(), 0);
  SetCodes({Binding(u"A")});
  EXPECT_TRUE(m_plugin.SetInfo(L"Active Codes", nullptr));
  EXPECT_EQ(m_plugin.CommandCount(), 0);
  // Only its own setting: "System Shutdown" belongs to the base of the other plug-ins.
  EXPECT_FALSE(m_plugin.SetInfo(L"System Shutdown", L"1"));
  EXPECT_FALSE(m_plugin.IsSystemShutdown());
  EXPECT_FALSE(m_plugin.SetInfo(nullptr, L"1"));
}

// A count field that claims two billion bindings in a value of a few fields: the plug-in takes
// the bindings that are there and does not loop or allocate for the rest.
TEST_F(CRawInputTest, AHugeBindingCountTakesOnlyWhatTheValueHolds) {
  const std::wstring one = Binding(u"845E_0002_41");
  const std::wstring value = L"(1:1)(10:2147483647)(" + std::to_wstring(one.size()) + L":" + one + L")";
  ASSERT_TRUE(m_plugin.SetInfo(L"Active Codes", value.c_str()));
  EXPECT_EQ(m_plugin.CommandCount(), 1);
  EXPECT_TRUE(m_plugin.IsActiveCode(u"845E_0002_41"));
}

// One binding repeats. The clock is the test's: each row moves it to an age and ticks once.
TEST_F(CRawInputTest, RepeatTimingFollowsTheAgeOfTheRepeat) {
  SetCodes({Binding(u"845E_0002_41", 1)});
  ASSERT_TRUE(m_plugin.Start(false));
  ASSERT_TRUE(Input(m_system.Key(kKeyboard, 'A')));
  ASSERT_EQ(m_plugin.RepeatCount(), 1);
  const double pressed = m_clock.nowMs;
  struct Tick {
    double age;
    size_t codes;  // delivered so far, the press included
    int repeats;
  } ticks[] = {
      {50, 1, 1}, {200, 1, 1}, {250.0, 1, 1}, {250.001, 2, 1}, {300, 3, 1},
      {5000, 4, 1}, {10000.0, 5, 1}, {10000.001, 5, 0}, {10100, 5, 0},
  };
  for (const Tick& t : ticks) {
    m_clock.nowMs = pressed + t.age;
    m_plugin.OnTimer(CRawInput::kRepeatTimer);
    EXPECT_EQ(m_host.CodeCount(), t.codes) << "age " << t.age;
    EXPECT_EQ(m_plugin.RepeatCount(), t.repeats) << "age " << t.age;
  }
  for (const std::wstring& code : m_host.Texts()) EXPECT_EQ(code, L"845E_0002_41");
  // Another timer's id does nothing.
  m_plugin.OnTimer(2);
}

TEST_F(CRawInputTest, TheDevicesNextReportEndsItsRepeats) {
  SetCodes({Binding(u"845E_0002_41", 1), Binding(u"045E_006D_0D", 1)});
  ASSERT_TRUE(m_plugin.Start(false));
  ASSERT_TRUE(Input(m_system.Key(kKeyboard, 'A')));
  ASSERT_TRUE(Input(m_system.Hid(kRemote, {0x0D})));
  ASSERT_EQ(m_plugin.RepeatCount(), 2);
  // A release of the key yields no code, yet ends the keyboard's repeat; the remote's goes on.
  EXPECT_FALSE(Input(m_system.Key(kKeyboard, 'A', WM_KEYUP)));
  EXPECT_EQ(m_plugin.RepeatCount(), 1);
  m_clock.nowMs += 300;
  m_plugin.OnTimer(CRawInput::kRepeatTimer);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"845E_0002_41", "045E_006D_0D", "045E_006D_0D"}));
  // Even a record that is refused is new input of its device.
  EXPECT_FALSE(Input(m_system.Hid(kRemote, {0x0D}, 64)));
  EXPECT_EQ(m_plugin.RepeatCount(), 0);
}

TEST_F(CRawInputTest, OnlyTheFirstBindingOfACodeDecidesOnRepeats) {
  struct Case {
    std::vector<std::wstring> bindings;
    int repeats;
  } cases[] = {
      {{Binding(u"845E_0002_41", 1)}, 1},
      {{Binding(u"845E_0002_41", 0)}, 0},
      {{Binding(u"845E_0002_41")}, 0},
      {{Binding(u"845E_0002_41", 0), Binding(u"845E_0002_41", 1)}, 0},
      {{Binding(u"845e_0002_41", 1)}, 0},  // passes the filter, but repeats need the exact case
      {{Binding(u"845e_0002_41", 1), Binding(u"845E_0002_41", 1)}, 1},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    RecordingHost host;
    TestRawInput plugin(&host, clock);
    ASSERT_TRUE(plugin.SetInfo(L"Active Codes", Value(c.bindings).c_str()));
    ASSERT_TRUE(plugin.Start(false));
    EXPECT_TRUE(plugin.OnWindowMessage(WM_INPUT, 0, m_system.Key(kKeyboard, 'A')));
    EXPECT_EQ(plugin.RepeatCount(), c.repeats) << c.bindings.size() << " bindings, expected " << c.repeats;
  }
}

// A HID record whose reports reach past the bytes written is not read at all.
TEST_F(CRawInputTest, AHidRecordClaimingMoreThanItHoldsIsIgnored) {
  ASSERT_TRUE(m_plugin.Start(true));
  struct Case {
    int sizeHid;
    uint32_t count;
    bool delivered;
  } cases[] = {{3, 1, true}, {4, 1, false}, {3, 2, false}, {0x7FFFFFFF, 1, false}, {0x40000000, 4, false},
               {1, 3, true}};
  for (const Case& c : cases) {
    const size_t before = m_host.CodeCount();
    EXPECT_EQ(Input(m_system.Hid(kRemote, {0x02, 0x10, 0x00}, c.sizeHid, c.count)), c.delivered)
        << c.sizeHid << " x " << c.count;
    EXPECT_EQ(m_host.CodeCount() - before, c.delivered ? 1u : 0u);
  }
}

TEST_F(CRawInputTest, TheKeyMessageAfterADeliveredKeyIsSwallowedOnce) {
  ASSERT_TRUE(m_plugin.Start(true));
  struct Case {
    const char* what;
    LPARAM (*record)(FakeRawInputSystem&);
    double laterMs;
    UINT message;
    WPARAM wParam;
    bool first, second;
  } cases[] = {
      {"10 ms later", [](FakeRawInputSystem& s) { return s.Key(kKeyboard, 'A'); }, 10, WM_KEYDOWN, 'A', true, false},
      {"49.9 ms later", [](FakeRawInputSystem& s) { return s.Key(kKeyboard, 'A'); }, 49.9, WM_KEYDOWN, 'A', true, false},
      {"50 ms later", [](FakeRawInputSystem& s) { return s.Key(kKeyboard, 'A'); }, 50, WM_KEYDOWN, 'A', false, false},
      {"another key", [](FakeRawInputSystem& s) { return s.Key(kKeyboard, 'A'); }, 1, WM_KEYDOWN, 'B', false, false},
      // Whatever the message is, only its wParam is compared.
      {"a character message", [](FakeRawInputSystem& s) { return s.Key(kKeyboard, 'A'); }, 1, WM_CHAR, 'A', true, false},
      {"a HID code", [](FakeRawInputSystem& s) { return s.Hid(kRemote, {0x41}); }, 1, WM_KEYDOWN, 0, false, false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Input(c.record(m_system))) << c.what;
    m_clock.nowMs += c.laterMs;
    EXPECT_EQ(m_plugin.OnWindowMessage(c.message, c.wParam, 0), c.first) << c.what;
    EXPECT_EQ(m_plugin.OnWindowMessage(c.message, c.wParam, 0), c.second) << c.what;
  }
}

// After Stop no repeat reaches the host, and the repeat timer is gone.
TEST_F(CRawInputTest, StopEndsPendingRepeats) {
  SetCodes({Binding(u"845E_0002_41", 1)});
  ASSERT_TRUE(m_plugin.Start(false));
  ASSERT_TRUE(Input(m_system.Key(kKeyboard, 'A')));
  ASSERT_EQ(m_plugin.RepeatCount(), 1);
  ASSERT_TRUE(m_plugin.Stop());
  EXPECT_EQ(m_plugin.RepeatCount(), 0);
  m_clock.nowMs += 300;
  m_plugin.OnTimer(CRawInput::kRepeatTimer);
  EXPECT_EQ(m_host.CodeCount(), 1u);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(::KillTimer(m_plugin.GetTargetWindow(), CRawInput::kRepeatTimer)) << "timer 1 still set";
}

TEST_F(CRawInputTest, StartKeepsOneStopper) {
  const int before = CStopMCERemoteHandling::LiveCount();
  ASSERT_TRUE(m_plugin.Start(false));
  ASSERT_TRUE(m_plugin.Start(true));
  EXPECT_TRUE(m_plugin.HasStopper());
  EXPECT_EQ(CStopMCERemoteHandling::LiveCount(), before + 1);
  m_plugin.Stop();
  EXPECT_FALSE(m_plugin.HasStopper());
  EXPECT_EQ(CStopMCERemoteHandling::LiveCount(), before);
}

// Without the raw-input functions the plug-in still starts, and ignores everything.
TEST(CRawInputMissing, MissingFunctionsSwitchOffInput) {
  FakeRawInputSystem system;
  system.devices = {{kKeyboard, RIM_TYPEKEYBOARD, L"\\\\?\\HID#VID_845E&PID_0002#0#{g}"}};
  struct Plugin : CRawInput {
    explicit Plugin(RecordingHost* host) : CRawInput(host) { FakeRawInputSystem::Install(m_user32); }
    ZrUser32Functions& User32() { return m_user32; }
  };
  RecordingHost host;
  Plugin noList(&host);
  noList.User32().GetRawInputDeviceList = nullptr;
  EXPECT_TRUE(noList.Start(true));
  EXPECT_EQ(noList.DeviceCount(), 0);
  Plugin noData(&host);
  noData.User32().GetRawInputData = nullptr;
  EXPECT_TRUE(noData.Start(true));
  EXPECT_EQ(noData.DeviceCount(), 1);
  EXPECT_FALSE(noData.OnWindowMessage(WM_INPUT, 0, system.Key(kKeyboard, 'A')));
  EXPECT_TRUE(host.CodeCount() == 0);
}

}  // namespace
