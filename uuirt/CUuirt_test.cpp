#include "uuirt/CUuirt.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "foundation/win/testsupport/ZrFakeTools.h"
#include "foundation/win/testsupport/ZrTestWait.h"
#include "plugin/testsupport/ZrRecordingHost.h"
#include "uuirt/UuirtTestSupport.h"

namespace {

using namespace uuirttest;
using zrtest::Info;
using zrtest::PumpFor;

std::wstring W(const ZrString& text) { return std::wstring(ZrW(text.c_str()), static_cast<size_t>(text.Length())); }

const std::wstring kSupport = W(CUuirt::kSupportPage);

class UuirtTest : public ::testing::Test {
 protected:
  void UseDriver(const std::string& settings = "") {
    ASSERT_TRUE(sim.Use("driver")) << "ZR_UUIRT_SIM_DIR names no substitute driver (ctest sets it)";
    sim.Configure(settings);
  }

  zrtest::FakeTools tools;
  zrtest::ToolsScope toolsScope{tools};
  zrtest::RecordingHost host;
  SimDriver sim;
};

// ---- binding and opening ----

struct BindCase {
  const char* name;
  const char* variant;  // which substitute the loader finds
  const char* settings;
  std::wstring error;
};

TEST_F(UuirtTest, EveryFailedBindingSaysWhyAndLeavesNoLibraryLoaded) {
  const BindCase cases[] = {
      {"no library", "", "", L"ERROR: Unable to load uuirtdrv.dll. Update your driver at " + kSupport},
      {"lacks UUIRTSetUUIRTConfig", "lacking", "",
       L"ERROR: Unable to find all functions in uuirtdrv.dll. Update your driver at " + kSupport},
      {"version 0xFF", "driver", "version=0xFF",
       L"ERROR: Invalid or unavailable uuirtdrv version. Update your driver at " + kSupport},
      {"version unavailable", "driver", "drvinfo=fail",
       L"ERROR: Invalid or unavailable uuirtdrv version. Update your driver at " + kSupport},
      {"no driver", "driver", "open-error=0x20000003",
       L"ERROR: Unable to find USB-UIRT Driver. Please make sure driver is Installed.\r\n Update your driver at " +
           kSupport},
      {"no device", "driver", "open-error=0x20000001",
       L"ERROR: Unable to connect to USB-UIRT device! Please ensure device is connected to the computer."},
      {"no device, null handle", "driver", "open-error=0x20000001;open-result=null",
       L"ERROR: Unable to connect to USB-UIRT device! Please ensure device is connected to the computer."},
      {"no response", "driver", "open-error=0x20000002",
       L"ERROR: Unable to communicate with USB-UIRT device! Please check connections and try again.  If you still "
       L"have problems, try unplugging and reconnecting your USB-UIRT."},
      {"old firmware", "driver", "open-error=0x20000004",
       L"ERROR: Your USB-UIRT's firmware is not compatible with this API DLL. Please verify you are running the "
       L"latest API DLL and that you're using the latest version of USB-UIRT firmware."},
      {"unknown reason", "driver", "open-error=0x20000009",
       L"ERROR: Unable to initialize USB-UIRT (unknown error)! Update your driver at " + kSupport},
  };
  for (const BindCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sim.Use(c.variant)) << "ZR_UUIRT_SIM_DIR names no substitute driver (ctest sets it)";
    sim.Configure(c.settings);
    zrtest::RecordingHost learner;
    {
      CUuirt plugin(&host);
      EXPECT_FALSE(SimDriver::DriverLoaded()) << "the driver stays loaded after a failed binding";
      EXPECT_FALSE(plugin.Start(false));
      EXPECT_FALSE(plugin.IsDeviceOpen());
      EXPECT_EQ(Info(plugin, L"Last Error"), c.error);
      EXPECT_FALSE(plugin.IRBlast(L"<ZRIR version=\"1.0\"><Item Name=\"IRData\">0000</Item></ZRIR>"));
      EXPECT_FALSE(plugin.IRLearn(&learner));
      plugin.IRLearnCancel();
      EXPECT_TRUE(plugin.Stop());
    }
    EXPECT_TRUE(sim.Lines("transmit").empty());
    EXPECT_TRUE(sim.Lines("learn").empty());
    EXPECT_EQ(sim.Complaints(), std::vector<std::string>());
  }
}

TEST_F(UuirtTest, OpensTheOldestAcceptedVersionAndClosesOnDestruction) {
  UseDriver("version=0x100");
  {
    CUuirt plugin(&host);
    EXPECT_TRUE(SimDriver::DriverLoaded());
    EXPECT_TRUE(plugin.Start(false));
    EXPECT_TRUE(plugin.Start(true));
    EXPECT_EQ(Info(plugin, L"Last Error"), L"");
    EXPECT_EQ(Info(plugin, L"Name"), L"USB-UUIRT");
    EXPECT_EQ(Info(plugin, L"Display Name"), L"USB-UUIRT");
    EXPECT_EQ(plugin.IRGetNumBlastPorts(), 3);
    EXPECT_TRUE(plugin.IRCanBlast());
    EXPECT_FALSE(plugin.IRLearn(nullptr)) << "a learn with nowhere to deliver its code";
    EXPECT_TRUE(plugin.Stop());
    EXPECT_TRUE(sim.Lines("close").empty()) << "Stop closed the device";
  }
  EXPECT_FALSE(SimDriver::DriverLoaded());
  // The device thread's own line comes whenever it starts; the calls come in this order.
  std::vector<std::string> calls;
  for (const std::string& line : sim.Lines()) {
    const size_t equals = line.find('=');
    if (line.rfind("receive-thread ", 0) != 0)
      calls.push_back(equals == std::string::npos ? line : line.substr(0, equals + 1));
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"drvinfo version=", "open handle=", "callback set", "close", "closed"}));
  EXPECT_EQ(sim.Lines("drvinfo version="), std::vector<std::string>{"0x100"});
}

// ---- blasting ----

std::wstring Record(std::initializer_list<std::pair<const ZrChar*, ZrString>> strings,
                    std::initializer_list<std::pair<const ZrChar*, int>> ints, bool withDefaults = true) {
  IRBlastCode code(withDefaults ? ZrString() : ZrString(u"<ZRIR version=\"1.0\"/>"));
  for (const auto& [key, value] : strings) code.SetString(key, value);
  for (const auto& [key, value] : ints) code.SetInt(key, value);
  ZrString text;
  code.ToText(text);
  return W(text);
}

TEST_F(UuirtTest, BlastPutsTheZoneInFrontAndPassesRepeatCountAndFormat) {
  UseDriver("transmit-ms=10");
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false)) << Narrow(Info(plugin, L"Last Error"));
  struct Case {
    const char* name;
    std::wstring record;
    std::string sent;  // empty: the driver must not be called
  };
  const std::wstring notZrir = [] {
    std::wstring text = Record({{u"IRData", u"0000 1111"}}, {{u"PortIndex", 1}});
    for (size_t at; (at = text.find(L"ZRIR")) != std::wstring::npos;) text.replace(at, 4, L"ZRIPC");
    return text;
  }();
  const Case cases[] = {
      {"port 0", Record({{u"IRData", u"0000 006D"}}, {{u"PortIndex", 0}}), "Z10000 006D format=16 repeat=8"},
      {"port 1", Record({{u"IRData", u"0000 006D"}}, {{u"PortIndex", 1}}), "Z20000 006D format=16 repeat=8"},
      {"port 2", Record({{u"IRData", u"0000 006D"}}, {{u"PortIndex", 2}}), "Z30000 006D format=16 repeat=8"},
      {"port 3", Record({{u"IRData", u"0000 006D"}}, {{u"PortIndex", 3}}), "0000 006D format=16 repeat=8"},
      {"port -1", Record({{u"IRData", u"0000 006D"}}, {{u"PortIndex", -1}}), "0000 006D format=16 repeat=8"},
      {"no port", Record({{u"IRData", u"R0 1"}}, {}, false), "R0 1 format=16 repeat=8"},
      {"repeat count", Record({{u"IRData", u"R0 1"}}, {{u"PortIndex", 1}, {u"RepeatCount", 3}}),
       "Z2R0 1 format=16 repeat=3"},
      {"no IRData", Record({}, {{u"PortIndex", 1}}, false), ""},
      {"empty IRData", Record({{u"IRData", u""}}, {{u"PortIndex", 1}}), ""},
      {"root is not ZRIR", notZrir, ""},
      {"not a record", L"Z1 0000 006D", ""},
      {"empty text", L"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = sim.Lines("transmit code=").size();
    EXPECT_EQ(plugin.IRBlast(c.record.c_str()), !c.sent.empty());
    const std::vector<std::string> sent = sim.Lines("transmit code=");
    if (c.sent.empty()) {
      EXPECT_EQ(sent.size(), before) << "the driver was called";
    } else {
      ASSERT_EQ(sent.size(), before + 1);
      EXPECT_EQ(sent.back(), c.sent + " inactivity=0");
    }
  }
  EXPECT_FALSE(plugin.IRBlast(nullptr));
  EXPECT_EQ(sim.Complaints(), std::vector<std::string>());
}

TEST_F(UuirtTest, BlastAnswersFalseWhenTheDriverRefusesOrNeverFinishes) {
  const std::wstring record = Record({{u"IRData", u"0000 006D"}}, {{u"PortIndex", 0}});
  UseDriver("transmit=fail");
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  EXPECT_FALSE(plugin.IRBlast(record.c_str()));
  EXPECT_EQ(sim.Lines("transmit refused").size(), 1u);

  // Longer than usual, but within the limit.
  sim.Configure("transmit-ms=1500");
  EXPECT_TRUE(plugin.IRBlast(record.c_str()));

  sim.Configure("transmit=never");
  const DWORD start = GetTickCount();
  EXPECT_FALSE(plugin.IRBlast(record.c_str()));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 4900u) << "gave up before the 5 s limit";
  EXPECT_LT(elapsed, 15000u) << "waited far past the 5 s limit";
}

// ---- receiving ----

TEST_F(UuirtTest, CodesArriveAsSentInOrderOnTheDriversThreadAlsoAfterStop) {
  UseDriver();
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  ASSERT_TRUE(sim.WaitFor("receive-thread "));
  const DWORD driverThread = static_cast<DWORD>(std::stoul(sim.Lines("receive-thread ")[0]));

  for (const char* command : {"send 1A2B3C4D5E6F", "send", "send-null", "send 0000 006D spaces kept"})
    ASSERT_TRUE(SimDriver::Command(command));
  ASSERT_TRUE(host.WaitForCodes(4));
  EXPECT_TRUE(plugin.Stop());
  ASSERT_TRUE(SimDriver::Command("send after stop"));
  ASSERT_TRUE(host.WaitForCodes(5)) << "codes stopped with the plug-in";

  EXPECT_EQ(host.Texts(), (std::vector<std::wstring>{L"1A2B3C4D5E6F", L"", L"", L"0000 006D spaces kept",
                                                      L"after stop"}));
  for (const auto& code : host.Codes()) {
    EXPECT_EQ(code.thread, driverThread) << "code " << Narrow(code.text) << " not on the driver's thread";
    EXPECT_GE(code.milliseconds, 0);
  }
}

TEST_F(UuirtTest, NoCodeReachesTheHostOnceDestructionHasBegun) {
  // The driver's close first hands over every code it still holds, as a driver may. A learn runs,
  // so that the driver reports when destruction has begun: its first step abandons the learn.
  UseDriver("close=drain;learn-ms=60000");
  zrtest::RecordingHost holder;
  holder.HoldOn(L"held");
  auto* plugin = new CUuirt(&holder);
  ASSERT_TRUE(plugin->Start(false));
  zrtest::RecordingHost learner;
  ASSERT_TRUE(plugin->IRLearn(&learner));
  ASSERT_TRUE(sim.WaitFor("learn begin"));

  // The driver's thread sits in the host with one code while the host's thread destroys the
  // plug-in; the driver still holds another code.
  ASSERT_TRUE(SimDriver::Command("send held"));
  ASSERT_TRUE(ZR_WAIT_UNTIL(holder.Held()));
  ASSERT_TRUE(SimDriver::Command("send during destruction"));
  std::thread destroyer([plugin] { plugin->DeletingDestructor(IZrRemoteControl::kFreeMemory); });
  EXPECT_TRUE(sim.WaitFor("learn aborted"));
  EXPECT_TRUE(sim.Lines("close").empty()) << "closed while a code was being delivered";
  holder.Release();
  destroyer.join();

  EXPECT_EQ(holder.Texts(), std::vector<std::wstring>{L"held"});
  // The driver did call with the second code; the plug-in turned it away.
  EXPECT_EQ(sim.Lines("deliver during destruction").size(), 1u);
  EXPECT_EQ(sim.Lines().back(), "closed");
  EXPECT_FALSE(SimDriver::DriverLoaded());
  EXPECT_EQ(learner.LearnedCount(), 0u);
}

// ---- learning ----

TEST_F(UuirtTest, LearnedCodeReachesTheCallbackOnTheMainThreadAsARecord) {
  UseDriver("learn-text=0000 0071 0000 0032;learn-ms=150");
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  zrtest::RecordingHost learner;
  ASSERT_TRUE(plugin.IRLearn(&learner));
  ASSERT_TRUE(ZR_PUMP_UNTIL(learner.LearnedCount() > 0));
  ASSERT_EQ(learner.Learned().size(), 1u);
  EXPECT_EQ(learner.LearnedThreads()[0], GetCurrentThreadId());

  const IRBlastCode code{ZrString(ZrU(learner.Learned()[0].c_str()))};
  ZrString value;
  code.GetString(value, IRBlastCode::kIRData, u"(absent)");
  EXPECT_EQ(W(value), L"0000 0071 0000 0032");
  code.GetString(value, IRBlastCode::kBlastCommandName, u"(absent)");
  EXPECT_EQ(W(value), L"");
  code.GetString(value, IRBlastCode::kRemotePlugin, u"(absent)");
  EXPECT_EQ(W(value), L"");
  EXPECT_EQ(code.GetInt(IRBlastCode::kPortIndex, 99), -1);
  EXPECT_EQ(code.GetInt(IRBlastCode::kCarrierFrequency, 99), -1);

  EXPECT_EQ(sim.Lines("learn begin "), std::vector<std::string>{"format=16 user=ZorvaneUserID"});
  bool learnedLogged = false, scopeLogged = false, progressLogged = false;
  for (const zrtest::LogLine& line : tools.Lines()) {
    if (line.level != 2048) continue;
    learnedLogged |= line.scope == "CUuirt::Thread" && line.text == u"Code learned for: 0000 0071 0000 0032";
    scopeLogged |= line.scope == "CUuirt::Thread" && line.text == u"Start";
    progressLogged |= line.scope == "CUuirt::IRLearnCallback" && line.text.rfind(u"Progress ", 0) == 0 &&
                      line.text.find(u", sigQuality 80, carrierFreq 38000, user data ZorvaneUserID") != std::u16string::npos;
  }
  EXPECT_TRUE(learnedLogged);
  EXPECT_TRUE(scopeLogged);
  EXPECT_TRUE(progressLogged) << "no progress line from the driver's progress calls";

  // A second learn overwrites only the IR data.
  sim.Configure("learn-text=1111;learn-ms=0");
  ASSERT_TRUE(plugin.IRLearn(&learner));
  ASSERT_TRUE(ZR_PUMP_UNTIL(learner.LearnedCount() > 1));
  const IRBlastCode second{ZrString(ZrU(learner.Learned()[1].c_str()))};
  second.GetString(value, IRBlastCode::kIRData);
  EXPECT_EQ(W(value), L"1111");
  EXPECT_EQ(second.GetInt(IRBlastCode::kPortIndex, 99), -1);
}

TEST_F(UuirtTest, ALearnThatFillsTheWholeBufferIsReadToItsLastByteButOne) {
  UseDriver("learn=fill;learn-ms=0");
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  zrtest::RecordingHost learner;
  ASSERT_TRUE(plugin.IRLearn(&learner));
  ASSERT_TRUE(ZR_PUMP_UNTIL(learner.LearnedCount() > 0));
  ZrString value;
  IRBlastCode{ZrString(ZrU(learner.Learned()[0].c_str()))}.GetString(value, IRBlastCode::kIRData);
  EXPECT_EQ(W(value), std::wstring(kUuirtLearnBufferSize - 1, L'A'));
}

TEST_F(UuirtTest, CancelOrFailureEndsTheLearnWithoutCallingBack) {
  struct Case {
    const char* name;
    const char* settings;
    bool cancel;
    const char* driverSays;
  };
  const Case cases[] = {
      {"cancelled", "learn-ms=60000", true, "learn aborted"},
      {"failed", "learn=fail;learn-ms=50", false, "learn failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseDriver(c.settings);
    CUuirt plugin(&host);
    ASSERT_TRUE(plugin.Start(false));
    zrtest::RecordingHost learner;
    ASSERT_TRUE(plugin.IRLearn(&learner));
    ASSERT_TRUE(sim.WaitFor("learn begin"));
    if (c.cancel) {
      const DWORD start = GetTickCount();
      plugin.IRLearnCancel();
      EXPECT_LT(GetTickCount() - start, 5000u);
      EXPECT_FALSE(plugin.IsRunning());
    }
    EXPECT_TRUE(sim.WaitFor(c.driverSays));
    EXPECT_TRUE(ZR_WAIT_UNTIL(!plugin.IsRunning()));
    PumpFor(100);
    EXPECT_EQ(learner.LearnedCount(), 0u);
    EXPECT_EQ(tools.Pending(), 0);
  }
}

// The thread may not have begun when the host cancels; the cancel must not be undone by it.
TEST_F(UuirtTest, ACancelRightAfterTheLearnBeganEndsItAtOnce) {
  UseDriver("learn-ms=60000");
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  zrtest::RecordingHost learner;
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(plugin.IRLearn(&learner));
    const ULONGLONG start = GetTickCount64();
    plugin.IRLearnCancel();
    EXPECT_LT(GetTickCount64() - start, 20000u) << "round " << round << ": the cancel waited for the whole learn";
    EXPECT_FALSE(plugin.IsRunning());
  }
  PumpFor(100);
  EXPECT_EQ(learner.LearnedCount(), 0u);
}

TEST_F(UuirtTest, ALearnResultNotYetHandedOverIsDroppedByCancelAndByDestruction) {
  for (const bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "cancelled");
    UseDriver("learn-ms=0");
    auto plugin = std::make_unique<CUuirt>(&host);
    ASSERT_TRUE(plugin->Start(false));
    zrtest::RecordingHost learner;
    ASSERT_TRUE(plugin->IRLearn(&learner));
    // The result waits for the main thread, which is busy here.
    ASSERT_TRUE(ZR_WAIT_UNTIL(tools.Pending() == 1));
    if (destroy)
      plugin.reset();
    else
      plugin->IRLearnCancel();
    EXPECT_EQ(learner.LearnedCount(), 0u) << "handed over from inside the cancel or the destructor";
    EXPECT_EQ(tools.Pending(), 0) << "the posted result was left behind";
    PumpFor(100);
    EXPECT_EQ(learner.LearnedCount(), 0u) << "handed over after the cancel or the destruction";
  }
}

TEST_F(UuirtTest, ALearnStartedWhileOneRunsHandsItsResultToTheNewerCallback) {
  UseDriver("learn-text=ABCD;learn-ms=700");
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  zrtest::RecordingHost first, second;
  ASSERT_TRUE(plugin.IRLearn(&first));
  ASSERT_TRUE(sim.WaitFor("learn begin"));
  ASSERT_TRUE(plugin.IRLearn(&second));
  ASSERT_TRUE(ZR_PUMP_UNTIL(second.LearnedCount() > 0));
  PumpFor(100);
  EXPECT_EQ(first.LearnedCount(), 0u);
  EXPECT_EQ(second.LearnedCount(), 1u);
  EXPECT_EQ(sim.Lines("learn begin").size(), 1u) << "the running learn was restarted";
}

TEST_F(UuirtTest, WithoutTheMainThreadMessageManagerALearnDeliversNothing) {
  UseDriver("learn-ms=0");
  tools.SetHasManager(false);
  CUuirt plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  zrtest::RecordingHost learner;
  ASSERT_TRUE(plugin.IRLearn(&learner));
  ASSERT_TRUE(sim.WaitFor("learn done"));
  EXPECT_TRUE(ZR_WAIT_UNTIL(!plugin.IsRunning()));
  PumpFor(100);
  EXPECT_EQ(learner.LearnedCount(), 0u);
}

}  // namespace
