#include "mce/CMCERemote.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrTestWait.h"
#include "plugin/testsupport/ZrFakeRawInput.h"
#include "plugin/testsupport/ZrRecordingHost.h"

namespace {

using zrtest::FakeClock;
using zrtest::FakeRawInputSystem;
using zrtest::FakeTimer;
using zrtest::RecordingHost;

const HANDLE kRemote = reinterpret_cast<HANDLE>(0x10003);

// The plug-in with its raw-input functions pointed at the fake system; with a clock, its seek
// stopwatch reads the test's clock.
class TestMCERemote : public CMCERemote {
 public:
  explicit TestMCERemote(IZrRemoteControlHost* host, FakeClock* clock = nullptr) : CMCERemote(host) {
    FakeRawInputSystem::Install(m_user32);
    if (clock) m_seekTimer = std::make_unique<FakeTimer>(*clock);
  }
  void Tick() { OnTimer(kSeekTimer); }
  void TickOther() { OnTimer(2); }
  ZrUser32Functions& User32() { return m_user32; }
};

class CMCERemoteTest : public ::testing::Test {
 protected:
  CMCERemoteTest() : m_plugin(&m_host, &m_clock) {}

  void Input(std::vector<uint8_t> report, int sizeHid = -1, uint32_t count = 1) {
    EXPECT_FALSE(m_plugin.OnWindowMessage(WM_INPUT, RIM_INPUT, m_system.Hid(kRemote, std::move(report), sizeHid, count)));
  }
  void SeekBack() { Input({0x02, 0xB6, 0x00}); }
  void SeekForward() { Input({0x02, 0xB5, 0x00}); }
  std::vector<std::wstring> Codes() { return m_host.Texts(); }

  FakeRawInputSystem m_system;
  FakeClock m_clock;
  RecordingHost m_host;
  TestMCERemote m_plugin;
};

TEST_F(CMCERemoteTest, AsksForItsTwoCollections) {
  const USHORT expected[][2] = {{0xFFBC, 0x88}, {0x0C, 0x01}};
  for (int i = 0; i < 2; ++i) {
    RAWINPUTDEVICE device = {};
    ASSERT_TRUE(m_plugin.GetRawInputDevice(i, &device));
    EXPECT_EQ(device.usUsagePage, expected[i][0]);
    EXPECT_EQ(device.usUsage, expected[i][1]);
    EXPECT_EQ(device.dwFlags, static_cast<DWORD>(RIDEV_INPUTSINK));
  }
  RAWINPUTDEVICE untouched = {0x1234, 0x5678, 9, nullptr};
  EXPECT_FALSE(m_plugin.GetRawInputDevice(2, &untouched));
  EXPECT_EQ(untouched.usUsagePage, 0x1234);
}

TEST_F(CMCERemoteTest, ReportsBecomeCodes) {
  ASSERT_TRUE(m_plugin.Start(false));
  Input({0x03, 0x0D});
  Input({0x03, 0x00});  // a release: nothing
  Input({0x02, 0x8D, 0x00});
  Input({0x02, 0x09, 0x02});
  Input({0x03, 0x48});
  // Two reports in one message, a keyboard record and an unknown handle are not read.
  Input({0x03, 0x0D, 0x03, 0x0D}, 2, 2);
  EXPECT_FALSE(m_plugin.OnWindowMessage(WM_INPUT, 0, m_system.Key(kRemote, 'A')));
  EXPECT_FALSE(m_plugin.OnWindowMessage(WM_INPUT, 0, 0x7777));
  EXPECT_EQ(Codes(), (std::vector<std::wstring>{L"MCE_22001_0", L"MCE_22001_9", L"MCE_10051_0", L"MCE_22001_10"}));
}

// A report whose claimed size reaches past what GetRawInputData wrote is not read at all, even
// though the plug-in's buffer is larger than the record.
TEST_F(CMCERemoteTest, AReportClaimingMoreThanTheRecordHoldsIsIgnored) {
  ASSERT_TRUE(m_plugin.Start(false));
  Input({0x03}, 2);
  Input({0x03, 0x0D}, 2, 2);
  Input({0x02, 0x8D}, 3);
  Input({0x03, 0x0D}, 0x7FFFFFFF);
  EXPECT_TRUE(Codes().empty());
  Input({0x03, 0x0D}, 2);
  EXPECT_EQ(Codes(), (std::vector<std::wstring>{L"MCE_22001_0"}));
}

TEST_F(CMCERemoteTest, SkipButtonsSeekOnlyForPlayerType11AndForwardOnlyWithoutTheStartFlag) {
  struct Case {
    const wchar_t* playerType;  // null: the host has no answer
    bool startFlag;
    bool forward;
    const wchar_t* code;
  } cases[] = {
      {L"11", false, true, L"MCE_10034_500_10003"},
      {L"11", true, true, L"MCE_10003_0"},
      {L"11", true, false, L"MCE_10034_-3000_10004"},
      {L"11", false, false, L"MCE_10034_-3000_10004"},
      {L"10", false, true, L"MCE_10003_0"},
      {L"10", false, false, L"MCE_10004_0"},
      {nullptr, false, false, L"MCE_10004_0"},
      {L" 11", false, false, L"MCE_10034_-3000_10004"},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    if (c.playerType) host.SetValue(L"Playback Player Type", c.playerType);
    host.SetValue(L"Seek Forward MS", L"-500");
    host.SetValue(L"Seek Back MS", L"3000");
    TestMCERemote plugin(&host);
    ASSERT_TRUE(plugin.Start(c.startFlag));
    plugin.OnWindowMessage(WM_INPUT, 0, m_system.Hid(kRemote, {0x02, static_cast<uint8_t>(c.forward ? 0xB5 : 0xB6), 0x00}));
    EXPECT_EQ(host.Texts(), std::vector<std::wstring>{c.code})
        << (c.playerType ? ZrString(ZrU(c.playerType)).ToUtf8() : "none") << " flag " << c.startFlag << " forward "
        << c.forward;
    plugin.Stop();
  }
}

// The seek's ticks, with the stopwatch on the test's clock: the first tick repeats the step, the
// later ones scale it by the time since the previous one, at most tenfold.
TEST_F(CMCERemoteTest, SeekTicksScaleTheStepByTheTimeBetweenThem) {
  for (const wchar_t* value : {L"3000", L"-3000"}) {
    RecordingHost host;
    host.SetValue(L"Playback Player Type", L"11");
    host.SetValue(L"Seek Back MS", value);
    FakeClock clock;
    TestMCERemote plugin(&host, &clock);
    ASSERT_TRUE(plugin.Start(false));
    plugin.OnWindowMessage(WM_INPUT, 0, m_system.Hid(kRemote, {0x02, 0xB6, 0x00}));
    for (double later : {250.0, 110.0, 100.0, 2500.0, 50.0}) {
      clock.nowMs += later;
      plugin.Tick();
    }
    plugin.TickOther();
    EXPECT_EQ(host.Texts(), (std::vector<std::wstring>{L"MCE_10034_-3000_10004", L"MCE_10034_-3000_10004",
                                                        L"MCE_10034_-3300_10004", L"MCE_10034_-3000_10004",
                                                        L"MCE_10034_-30000_10004", L"MCE_10034_-1500_10004"}))
        << ZrString(ZrU(value)).ToUtf8();
    plugin.Stop();
  }
}

// A host value at the 32-bit limits gives a step and distances at those limits, not wrapped ones.
TEST_F(CMCERemoteTest, ExtremeSeekValuesSaturate) {
  struct Case {
    const wchar_t* value;
    bool forward;
    std::vector<std::wstring> codes;  // the press, then ticks 250 ms and 1000 ms later
  } cases[] = {
      // The text-to-integer rule reads -2147483648 as -2147483647; ten steps of it saturate.
      {L"-2147483648", false,
       {L"MCE_10034_-2147483647_10004", L"MCE_10034_-2147483647_10004", L"MCE_10034_-2147483648_10004"}},
      {L"-2147483648", true,
       {L"MCE_10034_2147483647_10003", L"MCE_10034_2147483647_10003", L"MCE_10034_2147483647_10003"}},
      {L"2147483647", false,
       {L"MCE_10034_-2147483647_10004", L"MCE_10034_-2147483647_10004", L"MCE_10034_-2147483648_10004"}},
      {L"99999999999", true,
       {L"MCE_10034_2147483647_10003", L"MCE_10034_2147483647_10003", L"MCE_10034_2147483647_10003"}},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    host.SetValue(L"Playback Player Type", L"11");
    host.SetValue(c.forward ? L"Seek Forward MS" : L"Seek Back MS", c.value);
    FakeClock clock;
    TestMCERemote plugin(&host, &clock);
    ASSERT_TRUE(plugin.Start(false));
    plugin.OnWindowMessage(WM_INPUT, 0, m_system.Hid(kRemote, {0x02, static_cast<uint8_t>(c.forward ? 0xB5 : 0xB6), 0x00}));
    clock.nowMs += 250;
    plugin.Tick();
    clock.nowMs += 1000;
    plugin.Tick();
    EXPECT_EQ(host.Texts(), c.codes) << ZrString(ZrU(c.value)).ToUtf8();
    plugin.Stop();
  }
}

// Through the real window timer: the press seeks at once, again about 250 ms later, then about
// every 100 ms, until the next raw-input message of any kind.
TEST(CMCERemoteTimer, ASeekRunsOnTheWindowTimerUntilTheNextRawInput) {
  FakeRawInputSystem system;
  RecordingHost host;
  host.SetValue(L"Playback Player Type", L"11");
  host.SetValue(L"Seek Back MS", L"3000");
  TestMCERemote plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  const int64_t pressed = ZrSteadyNowNs();
  plugin.OnWindowMessage(WM_INPUT, 0, system.Hid(kRemote, {0x02, 0xB6, 0x00}));
  ASSERT_TRUE(host.PumpUntilCodes(4));
  const std::vector<RecordingHost::Code> codes = host.Codes();
  EXPECT_EQ(codes[0].text, L"MCE_10034_-3000_10004");
  EXPECT_EQ(codes[1].text, L"MCE_10034_-3000_10004");
  // The code's milliseconds are the time since the previous code: the first tick waits 250 ms.
  EXPECT_GE(codes[1].milliseconds, 240) << "the first tick came early";
  EXPECT_GE(codes[2].milliseconds, 90);
  EXPECT_GE(ZrSteadyNowNs() - pressed, 430 * 1000000LL);
  // A report that is no button (a release) still ends the seek.
  plugin.OnWindowMessage(WM_INPUT, 0, system.Hid(kRemote, {0x03, 0x00}));
  const size_t after = host.CodeCount();
  zrtest::PumpFor(400);
  EXPECT_EQ(host.CodeCount(), after) << "the seek went on after a raw-input message";
  plugin.Stop();
}

TEST(CMCERemoteTimer, StopEndsASeek) {
  FakeRawInputSystem system;
  RecordingHost host;
  host.SetValue(L"Playback Player Type", L"11");
  host.SetValue(L"Seek Back MS", L"3000");
  TestMCERemote plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  plugin.OnWindowMessage(WM_INPUT, 0, system.Hid(kRemote, {0x02, 0xB6, 0x00}));
  ASSERT_TRUE(host.PumpUntilCodes(2));
  ASSERT_TRUE(plugin.Stop());
  EXPECT_FALSE(plugin.HasCommandWindow());
  const size_t after = host.CodeCount();
  zrtest::PumpFor(400);
  EXPECT_EQ(host.CodeCount(), after) << "a seek step after Stop";
}

TEST(CMCERemoteStart, StartNeedsTheRawInputFunctionAndKeepsOneStopper) {
  RecordingHost host;
  TestMCERemote missing(&host);
  missing.User32().GetRawInputData = nullptr;
  EXPECT_FALSE(missing.Start(true));
  EXPECT_FALSE(missing.HasCommandWindow());
  EXPECT_FALSE(missing.OnWindowMessage(WM_INPUT, 0, 1));

  const int before = CStopMCERemoteHandling::LiveCount();
  TestMCERemote plugin(&host);
  EXPECT_FALSE(plugin.HasCommandWindow()) << "the window is made by Start";
  ASSERT_TRUE(plugin.Start(false));
  const HWND window = plugin.CommandWindow();
  ASSERT_TRUE(plugin.Start(true));
  EXPECT_EQ(plugin.CommandWindow(), window) << "a second Start makes no second window";
  EXPECT_EQ(CStopMCERemoteHandling::LiveCount(), before + 1);
  EXPECT_TRUE(plugin.IsStarted());
  ASSERT_TRUE(plugin.Stop());
  EXPECT_FALSE(plugin.IsStarted());
  EXPECT_FALSE(plugin.HasStopper());
  EXPECT_EQ(CStopMCERemoteHandling::LiveCount(), before);
  EXPECT_TRUE(plugin.Stop()) << "Stop when stopped";
}

}  // namespace
