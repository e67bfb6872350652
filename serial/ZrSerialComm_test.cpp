#include "serial/ZrSerialComm.h"

#include <gtest/gtest.h>

#include "foundation/win/testsupport/ZrFakeTools.h"
#include "plugin/ZrRemoteControlBase.h"
#include "plugin/testsupport/ZrRecordingHost.h"
#include "serial/ZrSerialTestSupport.h"

namespace {

using zrtest::ReceiverSim;

// A plug-in shell that only receives codes; the serial port talks to it as to any owner.
class CodeOwner final : public ZrRemoteControlBase {
 public:
  explicit CodeOwner(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) {}
  ZrString GetName() override { return ZrString(u"test"); }
};

class SerialCommTest : public ::testing::Test {
 protected:
  void SetUp() override { zrtest::ClearPorts(); }
  void TearDown() override { zrtest::ClearPorts(); }

  void SetUpPort(ZrSerialComm& port) {
    port.SetSettings(ZrString(u"9600,n,8,1"));
    port.SetWaitFlag(6);
    port.SetRecordSize(6);
  }

  zrtest::FakeTools tools;
  zrtest::ToolsScope toolsScope{tools};
  zrtest::RecordingHost host;
  CodeOwner owner{&host};
};

struct HandshakeCase {
  const char* answer;
  bool accepted;
};
void PrintTo(const HandshakeCase& c, std::ostream* out) { *out << "answer " << c.answer << (c.accepted ? " accepted" : " refused"); }

class SerialHandshakeTest : public SerialCommTest, public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(SerialHandshakeTest, AcceptsOnlyATimelyOk) {
  const HandshakeCase& c = GetParam();
  ReceiverSim sim(3, std::string("--answer ") + c.answer);
  ZR_REQUIRE_SIM(sim);
  {
    ZrSerialComm port(&owner);
    SetUpPort(port);
    // A different speed than the line has, to see whether a refusal puts the saved state back.
    port.SetSettings(ZrString(u"4800,n,8,1"));
    SetLastError(0xdeadbeef);
    const bool opened = port.Open(2);
    EXPECT_EQ(opened, c.accepted) << "answer " << c.answer;
    EXPECT_EQ(port.IsOpen(), c.accepted);
    EXPECT_EQ(port.IsRunning(), c.accepted);
    EXPECT_TRUE(sim.WaitFor("handshake")) << "the receiver saw no 'I' 'R'";
    EXPECT_TRUE(sim.WaitHeldOpen(c.accepted)) << "a refused port is closed, an accepted one held";
    if (!c.accepted) {
      HANDLE h = CreateFileW(L"COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
      ASSERT_NE(h, INVALID_HANDLE_VALUE);
      DCB dcb{};
      dcb.DCBlength = sizeof dcb;
      EXPECT_TRUE(GetCommState(h, &dcb));
      EXPECT_EQ(dcb.BaudRate, 9600u) << "the saved line settings are restored";
      CloseHandle(h);
    }
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(sim.WaitHeldOpen(false));
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, SerialHandshakeTest,
                         ::testing::Values(HandshakeCase{"ok", true}, HandshakeCase{"late:40", true},
                                           HandshakeCase{"late:400", false},
                                           HandshakeCase{"bytes:4F4E", false}, HandshakeCase{"bytes:4B4F", false},
                                           HandshakeCase{"none", false}),
                         [](const auto& info) {
                           std::string name = info.param.answer;
                           for (char& ch : name)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

TEST_F(SerialCommTest, MissingPortAndNegativeIndexFailAtOnce) {
  ZrSerialComm port(&owner);
  SetUpPort(port);
  EXPECT_FALSE(port.Open(-1));
  EXPECT_FALSE(port.Open(4));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.IsRunning());
}

TEST_F(SerialCommTest, RecordBecomesTwelveHexDigitsOnTheMainThread) {
  ReceiverSim sim(1, "--record 12AB00FF0180 --record 0102030405A6");
  ZR_REQUIRE_SIM(sim);
  ZrSerialComm port(&owner);
  SetUpPort(port);
  ASSERT_TRUE(port.Open(0));
  EXPECT_TRUE(host.PumpUntilCodes(2));
  port.Close();
  const auto codes = host.Codes();
  ASSERT_EQ(codes.size(), 2u);
  EXPECT_EQ(codes[0].text, L"12AB00FF0180");
  EXPECT_EQ(codes[1].text, L"0102030405A6");
  EXPECT_EQ(codes[0].thread, GetCurrentThreadId()) << "codes reach the host on the main thread";
  // The records are sent about 60 ms apart.
  EXPECT_GE(codes[1].milliseconds, 20);
  EXPECT_LT(codes[1].milliseconds, 1000);
}

TEST_F(SerialCommTest, ShortRecordIsPurgedAndTheNextOneReadWhole) {
  // The next records wait until the reader has given up on the short one, however slowly it runs.
  ReceiverSim sim(1, "--raw 12AB --gate go --record 0A0B0C0D0E0F --record 111213141516");
  ZR_REQUIRE_SIM(sim);
  ZrSerialComm port(&owner);
  SetUpPort(port);
  ASSERT_TRUE(port.Open(0));
  ASSERT_TRUE(zrtest::PumpUntil([&] {
    for (const zrtest::LogLine& line : tools.Lines())
      if (line.text == u"Discarded a short record of 2 bytes") return true;
    return false;
  }, zrtest::kWaitMs, "the short record's log line"));
  sim.OpenGate("go");
  EXPECT_TRUE(host.PumpUntilCodes(2));
  ASSERT_TRUE(sim.WaitFor("done"));
  // Everything is sent: a third code, made of the short record's bytes, would come within this.
  zrtest::PumpFor(200);
  port.Close();
  EXPECT_EQ(host.Texts(), (std::vector<std::wstring>{L"0A0B0C0D0E0F", L"111213141516"}));
}

// Two ports open at once: each has its own read state, so neither loses or steals the other's codes.
TEST_F(SerialCommTest, TwoPortsKeepTheirOwnIoState) {
  ReceiverSim a(2, "--count 10 --rate 40");
  ReceiverSim b(6, "--count 10 --rate 40");
  ZR_REQUIRE_SIM(a);
  ZR_REQUIRE_SIM(b);
  zrtest::RecordingHost hostB;
  CodeOwner ownerB(&hostB);
  ZrSerialComm portA(&owner), portB(&ownerB);
  SetUpPort(portA);
  SetUpPort(portB);
  ASSERT_TRUE(portA.Open(1));
  ASSERT_TRUE(portB.Open(5));
  EXPECT_TRUE(ZR_PUMP_UNTIL(host.CodeCount() >= 10 && hostB.CodeCount() >= 10))
      << "got " << host.CodeCount() << " and " << hostB.CodeCount() << " codes";
  portA.Close();
  portB.Close();
  std::vector<std::wstring> sentA, sentB;
  for (auto& s : a.Sent()) sentA.push_back(zrtest::Wide(s));
  for (auto& s : b.Sent()) sentB.push_back(zrtest::Wide(s));
  EXPECT_EQ(host.Texts(), sentA);
  EXPECT_EQ(hostB.Texts(), sentB);
}

TEST_F(SerialCommTest, NothingReachesTheHostAfterCloseAndNoMessageIsLost) {
  ReceiverSim sim(1, "--count 400 --rate 100");
  ZR_REQUIRE_SIM(sim);
  {
    ZrSerialComm port(&owner);
    SetUpPort(port);
    ASSERT_TRUE(port.Open(0));
    EXPECT_TRUE(host.PumpUntilCodes(5));
    // Leave a few codes queued: Close must hand them over before it returns.
    EXPECT_TRUE(ZR_WAIT_UNTIL(tools.Pending() >= 2));
    port.Close();
    EXPECT_FALSE(port.IsRunning());
    const size_t atClose = host.CodeCount();
    zrtest::PumpFor(200);
    EXPECT_EQ(host.CodeCount(), atClose) << "a code reached the host after Close returned";
  }
  EXPECT_EQ(tools.Dropped(), 0) << "every posted code was delivered or flushed, so its text was freed";
  EXPECT_EQ(tools.Posted(), tools.Delivered() + tools.Flushed());
  EXPECT_EQ(static_cast<int>(host.CodeCount()), tools.Posted());
}

}  // namespace
