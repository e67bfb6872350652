#include "serial/CIRMAN.h"

#include <gtest/gtest.h>

#include "foundation/win/ZrBoundary.h"
#include "foundation/win/testsupport/ZrFakeTools.h"
#include "plugin/testsupport/ZrRecordingHost.h"
#include "serial/ZrSerialTestSupport.h"

namespace {

using zrtest::Info;
using zrtest::ReceiverSim;

class CIRMANTest : public ::testing::Test {
 protected:
  void SetUp() override { zrtest::ClearPorts(); }
  void TearDown() override { zrtest::ClearPorts(); }

  zrtest::FakeTools tools;
  zrtest::ToolsScope toolsScope{tools};
  zrtest::RecordingHost host;
};

TEST_F(CIRMANTest, NamesAndNoBlasting) {
  CIRMAN plugin(&host);
  EXPECT_EQ(Info(plugin, L"Name"), L"IRMAN");
  EXPECT_EQ(Info(plugin, L"Display Name"), L"IRMAN");
  EXPECT_EQ(plugin.IRGetNumBlastPorts(), 0);
  EXPECT_FALSE(plugin.IRCanBlast());
  EXPECT_FALSE(plugin.IRBlast(L"x"));
  EXPECT_FALSE(plugin.IRLearn(nullptr));
  RAWINPUTDEVICE device{};
  EXPECT_FALSE(plugin.GetRawInputDevice(0, &device));
  EXPECT_FALSE(plugin.OnWindowMessage(WM_INPUT, 0, 0));
}

TEST_F(CIRMANTest, StopWithoutStartAnswersTrue) {
  CIRMAN plugin(&host);
  EXPECT_TRUE(plugin.Stop());
  EXPECT_EQ(plugin.OpenPortIndex(), -1);
}

TEST_F(CIRMANTest, NothingAttachedTriesEveryPortAndExplains) {
  CIRMAN plugin(&host);
  EXPECT_FALSE(plugin.Start(true));
  const std::wstring error = Info(plugin, L"Last Error");
  EXPECT_EQ(error,
            L"Can't open IR remote control device on any COM nPort.\n"
            L" Make sure another program isn't taking control of it.\n"
            L" Also make sure the COM nPort is enabled in the BIOS and exists in Control Panel/System/Ports.");
  EXPECT_TRUE(plugin.Stop());
}

TEST_F(CIRMANTest, SilentReceiversOnEveryPortAreAllTriedAndRefused) {
  std::vector<std::unique_ptr<ReceiverSim>> sims;
  for (int n = 1; n <= 8; ++n) sims.push_back(std::make_unique<ReceiverSim>(n, "--answer none"));
  ZR_REQUIRE_SIM(*sims[0]);
  CIRMAN plugin(&host);
  EXPECT_FALSE(plugin.Start(false));
  for (int n = 0; n < 8; ++n) {
    EXPECT_TRUE(sims[n]->WaitFor("handshake")) << "COM" << n + 1 << " was not tried";
    EXPECT_TRUE(sims[n]->WaitHeldOpen(false)) << "COM" << n + 1 << " left open";
  }
  EXPECT_EQ(Info(plugin, L"Last Error").rfind(L"Can't open IR remote control device on any COM nPort.\n", 0), 0u);
}

TEST_F(CIRMANTest, OpensTheFirstReceiverAndNeverTouchesTheNext) {
  ReceiverSim com2(2, "");
  ReceiverSim com5(5, "");
  ZR_REQUIRE_SIM(com2);
  ZR_REQUIRE_SIM(com5);
  CIRMAN plugin(&host);
  EXPECT_TRUE(plugin.Start(false));
  EXPECT_EQ(plugin.OpenPortIndex(), 1);
  EXPECT_TRUE(com2.WaitHeldOpen(true));
  EXPECT_TRUE(plugin.Stop());
  EXPECT_TRUE(com2.WaitHeldOpen(false));
  EXPECT_FALSE(com5.EverOpened()) << "COM5 was opened";
  EXPECT_TRUE(com5.Lines("rx").empty());
}

TEST_F(CIRMANTest, StartTwiceLeavesOnePortOpen) {
  ReceiverSim com1(1, "");
  ReceiverSim com3(3, "");
  ZR_REQUIRE_SIM(com1);
  ZR_REQUIRE_SIM(com3);
  CIRMAN plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  ASSERT_TRUE(plugin.Start(false));
  EXPECT_EQ(plugin.OpenPortIndex(), 0);
  EXPECT_EQ(com1.Lines("handshake").size(), 2u) << "the second Start closes and reopens";
  EXPECT_TRUE(com1.WaitHeldOpen(true));
  EXPECT_FALSE(com3.EverOpened());
  plugin.Stop();
  EXPECT_TRUE(com1.WaitHeldOpen(false));
}

TEST_F(CIRMANTest, CodesReachTheHostWithTheTimeSinceThePreviousCode) {
  ReceiverSim sim(4, "--record 12AB00FF0180 --record 12AB00FF0180 --record 000000000001");
  ZR_REQUIRE_SIM(sim);
  CIRMAN plugin(&host);
  ASSERT_TRUE(plugin.Start(false));
  EXPECT_TRUE(host.PumpUntilCodes(3));
  plugin.Stop();
  const auto codes = host.Codes();
  ASSERT_EQ(codes.size(), 3u);
  EXPECT_EQ(codes[0].text, L"12AB00FF0180");
  EXPECT_EQ(codes[1].text, L"12AB00FF0180");
  EXPECT_EQ(codes[2].text, L"000000000001");
  // The first code counts from the plug-in's creation (about 1 s of port scanning and handshake);
  // later ones are about 60 ms apart, as the receiver sent them.
  EXPECT_GE(codes[0].milliseconds, 300);
  for (int i = 1; i < 3; ++i) {
    EXPECT_GE(codes[i].milliseconds, 30) << i;
    EXPECT_LE(codes[i].milliseconds, 500) << i;
  }
}

TEST_F(CIRMANTest, DestroyingARunningPluginClosesThePort) {
  ReceiverSim sim(1, "--count 1000 --rate 50");
  ZR_REQUIRE_SIM(sim);
  {
    CIRMAN plugin(&host);
    ASSERT_TRUE(plugin.Start(false));
    EXPECT_TRUE(host.PumpUntilCodes(2));
  }
  EXPECT_TRUE(sim.WaitHeldOpen(false));
  EXPECT_EQ(tools.Dropped(), 0);
  const size_t atDestruction = host.CodeCount();
  zrtest::PumpFor(100);
  EXPECT_EQ(host.CodeCount(), atDestruction);
}

}  // namespace
