#include "plugin/ZrRemoteControlBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>

#include "plugin/testsupport/ZrRecordingHost.h"

namespace {

using zrtest::Info;
using zrtest::RecordingHost;

// The smallest plug-in: the base's answers plus a name, with the protected parts reachable.
class TestPlugin final : public ZrRemoteControlBase {
 public:
  explicit TestPlugin(IZrRemoteControlHost* host, int* destroyed = nullptr)
      : ZrRemoteControlBase(host), m_destroyed(destroyed) {}
  ~TestPlugin() override {
    if (m_destroyed) ++*m_destroyed;
  }
  ZrString GetName() override { return ZrString(u"Test Plug-in"); }

  using ZrRemoteControlBase::DeliverCode;
  double MsSinceCode() { return m_codeTimer.ElapsedMs(false); }

 private:
  int* m_destroyed;
};

TEST(ZrRemoteControlBase, AnswersEachKeyWhateverItsCase) {
  TestPlugin plugin(nullptr);
  const struct {
    const wchar_t* key;
    const wchar_t* answer;
  } cases[] = {
      {L"Version", L"3"},           {L"version", L"3"},        {L"VERSION", L"3"},
      {L"Name", L"Test Plug-in"},   {L"NAME", L"Test Plug-in"}, {L"Display Name", L"Test Plug-in"},
      {L"display name", L"Test Plug-in"}, {L"Last Error", L""}, {L"Configurable", L"0"},
      {L"EnableOnInstall", L"0"},   {L"enableoninstall", L"0"},
      // The whole name must match: no prefixes, no padding.
      {L"Nam", L""}, {L"Name ", L""}, {L" Name", L""}, {L"Versions", L""}, {L"", L""}, {L"Unknown", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(Info(plugin, c.key), c.answer) << "key \"" << c.key << "\"";
}

TEST(ZrRemoteControlBase, NamesThatAreNotStringsGetAnEmptyAnswer) {
  TestPlugin plugin(nullptr);
  for (const wchar_t* key : {static_cast<const wchar_t*>(nullptr), reinterpret_cast<const wchar_t*>(1)}) {
    BSTR answer = plugin.GetInfo(key);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(SysStringLen(answer), 0u);
    SysFreeString(answer);
  }
}

TEST(ZrRemoteControlBase, SystemShutdownIsTheOnlySetting) {
  const struct {
    const wchar_t* name;
    const wchar_t* value;
    bool recognised;
    bool shutdown;
  } cases[] = {
      {L"System Shutdown", L"1", true, true},
      {L"system shutdown", L"1", true, true},
      {L"SYSTEM SHUTDOWN", L"  +12abc", true, true},
      {L"System Shutdown", L"-1", true, true},
      {L"System Shutdown", L"0", true, false},
      {L"System Shutdown", L"abc", true, false},
      {L"System Shutdown", L"", true, false},
      {L"System Shutdown", nullptr, true, false},
      {L"System Shutdown", reinterpret_cast<const wchar_t*>(1), true, false},
      {L"System Shutdown ", L"1", false, false},
      {L"Active Codes", L"1", false, false},
      {nullptr, L"1", false, false},
  };
  for (const auto& c : cases) {
    TestPlugin plugin(nullptr);
    EXPECT_EQ(plugin.SetInfo(c.name, c.value), c.recognised) << zrtest::Text(c.name);
    EXPECT_EQ(plugin.IsSystemShutdown(), c.shutdown) << zrtest::Text(c.name);
  }
}

TEST(ZrRemoteControlBase, ANullValueClearsTheShutdownFlagAgain) {
  TestPlugin plugin(nullptr);
  EXPECT_TRUE(plugin.SetInfo(L"system shutdown", L"1"));
  EXPECT_TRUE(plugin.IsSystemShutdown());
  EXPECT_TRUE(plugin.SetInfo(L"System Shutdown", nullptr));
  EXPECT_FALSE(plugin.IsSystemShutdown());
}

TEST(ZrRemoteControlBase, MillisecondsRoundHalfAwayFromZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double in;
    int32_t out;
  } cases[] = {
      {1.4, 1}, {1.5, 2}, {0.0, 0}, {0.49, 0}, {0.5, 1}, {-1.4, -1}, {-1.5, -2}, {1234.5, 1235},
      {2147483646.4, 2147483646}, {2147483647.6, 2147483647}, {1e300, 2147483647}, {-1e300, -2147483647 - 1},
      {nan, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ZrRemoteControlBase::RoundMilliseconds(c.in), c.out) << c.in;
}

TEST(ZrRemoteControlBase, DeliversEachCodeWithTheTimeSinceThePrevious) {
  RecordingHost host;
  TestPlugin plugin(&host);
  Sleep(60);
  // Outside stopwatches bound from above what the plug-in may report.
  ZrTimer aroundFirstTwo;
  plugin.DeliverCode(ZrString(u"FIRST"));
  ZrTimer sinceSecondBegan;
  plugin.DeliverCode(ZrString(u"SECOND"));
  const double firstTwo = aroundFirstTwo.ElapsedMs(false);
  Sleep(30);
  plugin.DeliverCode(ZrString(u""));
  const double sinceSecond = sinceSecondBegan.ElapsedMs(false);

  const auto codes = host.Codes();
  ASSERT_EQ(codes.size(), 3u);
  EXPECT_EQ(codes[0].text, L"FIRST");
  EXPECT_EQ(codes[1].text, L"SECOND");
  EXPECT_EQ(codes[2].text, L"");
  for (const auto& code : codes) {
    EXPECT_EQ(code.sender, &plugin);
    EXPECT_TRUE(code.wellFormed) << "the code must arrive as a proper BSTR";
    EXPECT_EQ(code.thread, GetCurrentThreadId()) << "delivered on the thread that called DeliverCode";
  }
  // The first code counts from construction; the clock restarts with every code.
  EXPECT_GE(codes[0].milliseconds, 59);
  EXPECT_LE(codes[1].milliseconds, ZrRemoteControlBase::RoundMilliseconds(firstTwo) + 1);
  EXPECT_GE(codes[2].milliseconds, 29);
  EXPECT_LE(codes[2].milliseconds, ZrRemoteControlBase::RoundMilliseconds(sinceSecond) + 1);
}

TEST(ZrRemoteControlBase, WithoutAHostTheCodeIsDroppedAndTheClockStillRestarts) {
  TestPlugin plugin(nullptr);
  Sleep(40);
  EXPECT_GE(plugin.MsSinceCode(), 39.0);
  ZrTimer sinceDelivery;
  plugin.DeliverCode(ZrString(u"LOST"));
  EXPECT_LE(plugin.MsSinceCode(), sinceDelivery.ElapsedMs(false));
}

// What a plug-in inherits for what it does not do: nothing starts, blasts, learns or reads raw input.
TEST(ZrRemoteControlBase, TheDefaultsKeepTheStartFlagAndDoNothingElse) {
  zrtest::RecordingHost host;
  TestPlugin plugin(&host);
  EXPECT_FALSE(plugin.Start(true));
  EXPECT_TRUE(plugin.IsStarted());
  EXPECT_FALSE(plugin.Stop());
  EXPECT_FALSE(plugin.IsStarted());
  EXPECT_FALSE(plugin.Start(false));
  EXPECT_FALSE(plugin.IsStarted());
  EXPECT_FALSE(plugin.ReservedQuery());
  RAWINPUTDEVICE device{};
  EXPECT_FALSE(plugin.GetRawInputDevice(0, &device));
  EXPECT_FALSE(plugin.OnWindowMessage(WM_INPUT, 0, 0));
  EXPECT_EQ(plugin.IRGetNumBlastPorts(), 0);
  EXPECT_FALSE(plugin.IRCanBlast());
  EXPECT_FALSE(plugin.IRBlast(L"0000 006D 0000"));
  EXPECT_FALSE(plugin.IRLearn(&host));
  plugin.IRLearnCancel();
  EXPECT_EQ(host.LearnedCount(), 0u);
  EXPECT_EQ(host.CodeCount(), 0u);
}

TEST(ZrRemoteControlBase, SlotZeroDestroysTheWholeObjectAndFreesOnlyWhenAsked) {
  int destroyed = 0;
  IZrRemoteControl* heap = new TestPlugin(nullptr, &destroyed);
  void* const address = heap;
  EXPECT_EQ(heap->DeletingDestructor(IZrRemoteControl::kFreeMemory), address);
  EXPECT_EQ(destroyed, 1);

  // Without the flag the object ends but its memory stays the caller's.
  alignas(TestPlugin) unsigned char storage[sizeof(TestPlugin)];
  IZrRemoteControl* placed = new (storage) TestPlugin(nullptr, &destroyed);
  EXPECT_EQ(placed->DeletingDestructor(0), static_cast<void*>(storage));
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
