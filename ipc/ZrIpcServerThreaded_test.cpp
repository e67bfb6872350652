#include "ipc/ZrIpcServerThreaded.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrFakeTools.h"
#include "ipc/ZrIpcTestSupport.h"

namespace {

using zrtest::PacketBytes;
using zrtest::RawClient;
using zrtest::Value;

// Handles requests as the test configures it and records on which thread it ran.
class TestServer : public ZrIpcServerThreaded {
 public:
  ~TestServer() override { ServerStop(); }
  bool HandleOnMainThread(const ZrIpcPacket&) override { return onMainThread; }
  bool WaitForHandling(const ZrIpcPacket&) override { return waitForHandling; }
  void HandleRequest(const ZrIpcPacket& request, ZrIpcPacket& reply) override {
    handlerThread = GetCurrentThreadId();
    ++handled;
    ZrString command;
    request.GetString(command, u"Command");
    reply.SetString(u"Handled", command);
    if (onHandle) onHandle();
  }

  bool onMainThread = false;
  bool waitForHandling = false;
  // The thread that serves the connection, once the listening thread has handed it over and ended.
  HANDLE ConnectionThread() {
    if (!zrtest::WaitUntil([this] { return !IsRunning(); }, zrtest::kWaitMs, "the listening thread to end") ||
        m_connectionThreads.GetCount() != 1)
      return nullptr;
    return m_connectionThreads[0]->GetHandle();
  }

  std::function<void()> onHandle;
  std::atomic<DWORD> handlerThread{0};
  std::atomic<int> handled{0};
};

struct Exchange {
  bool answered = false;
  ZrIpcPacket reply;
};

// One request from another thread; the test's thread stays free to pump (or not).
std::future<Exchange> Request(const ZrString& name, const char16_t* command, DWORD readTimeoutMs = 10000) {
  const std::string bytes = PacketBytes({{u"Command", command}});
  return std::async(std::launch::async, [name, bytes, readTimeoutMs] {
    Exchange result;
    RawClient client;
    if (client.Connect(name) && client.Write(bytes)) result.reply = client.ReadPacket(&result.answered, readTimeoutMs);
    return result;
  });
}

bool Ready(std::future<Exchange>& exchange, int ms = 0) {
  return exchange.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

TEST(ZrIpcServerThreaded, ListensOnceOnly) {
  TestServer server;
  const ZrString name = zrtest::UniquePipeName("threaded once");
  ASSERT_TRUE(server.ServerStart(name));
  EXPECT_FALSE(server.ServerStart(name));
  EXPECT_FALSE(server.ServerStart(zrtest::UniquePipeName("threaded other")));
  // The first start still serves.
  auto exchange = Request(name, u"still there");
  Exchange result = exchange.get();
  ASSERT_TRUE(result.answered);
  EXPECT_EQ(Value(result.reply, u"Handled"), u"still there");
  EXPECT_EQ(server.GetPipeName(), name);
}

TEST(ZrIpcServerThreaded, HandledOnTheListeningSideWithoutTheWindow) {
  TestServer server;
  const ZrString name = zrtest::UniquePipeName("threaded direct");
  ASSERT_TRUE(server.ServerStart(name));
  Exchange result = Request(name, u"direct").get();  // no pumping at all
  ASSERT_TRUE(result.answered);
  EXPECT_EQ(Value(result.reply, u"Handled"), u"direct");
  EXPECT_NE(server.handlerThread.load(), GetCurrentThreadId());
}

TEST(ZrIpcServerThreaded, WithoutWaitingTheClientIsToldAcceptedAndTheHandlerRunsLaterOnTheStartingThread) {
  TestServer server;
  server.onMainThread = true;
  const ZrString name = zrtest::UniquePipeName("threaded posted");
  ASSERT_TRUE(server.ServerStart(name));
  // This thread owns the window and does not pump while the client is answered.
  Exchange result = Request(name, u"later").get();
  ASSERT_TRUE(result.answered);
  EXPECT_EQ(Value(result.reply, u"Result"), u"1");
  EXPECT_EQ(Value(result.reply, u"Handled"), u"(none)");
  EXPECT_EQ(server.handled.load(), 0);

  ASSERT_TRUE(zrtest::PumpUntil([&] { return server.handled.load() == 1; }));
  EXPECT_EQ(server.handlerThread.load(), GetCurrentThreadId());
  // Handled and abandoned: the message is gone from the list.
  EXPECT_TRUE(zrtest::PumpUntil([&] { return server.GetNotificationWindow()->GetMessageCount() == 0; }, 3000));
}

TEST(ZrIpcServerThreaded, WaitingGivesTheClientTheHandlersReply) {
  TestServer server;
  server.onMainThread = true;
  server.waitForHandling = true;
  const ZrString name = zrtest::UniquePipeName("threaded waited");
  ASSERT_TRUE(server.ServerStart(name));
  auto exchange = Request(name, u"waited");
  ASSERT_TRUE(zrtest::PumpUntil([&] { return Ready(exchange); }));
  Exchange result = exchange.get();
  ASSERT_TRUE(result.answered);
  EXPECT_EQ(Value(result.reply, u"Handled"), u"waited");
  EXPECT_EQ(server.handlerThread.load(), GetCurrentThreadId());
  EXPECT_TRUE(zrtest::PumpUntil([&] { return server.GetNotificationWindow()->GetMessageCount() == 0; }, 3000));
}

// The window finishes a message while its poster is not yet looking; the poster lets go of it
// only afterwards. The message must still be removed, not kept until the window goes.
TEST(ZrIpcServerThreaded, AMessageAbandonedAfterTheWindowFinishedItIsRemoved) {
  TestServer server;
  server.onMainThread = true;
  server.waitForHandling = true;
  HANDLE poster = nullptr;
  server.onHandle = [&] {
    poster = server.ConnectionThread();
    if (poster) SuspendThread(poster);
  };
  const ZrString name = zrtest::UniquePipeName("threaded late abandon");
  ASSERT_TRUE(server.ServerStart(name));
  auto exchange = Request(name, u"late");
  ASSERT_TRUE(zrtest::PumpUntil([&] { return server.handled.load() == 1; }));
  ASSERT_NE(poster, nullptr) << "no connection thread to hold";
  // Done, and kept for its poster, which has not taken the reply yet.
  zrtest::PumpFor(100);
  EXPECT_EQ(server.GetNotificationWindow()->GetMessageCount(), 1);
  ResumeThread(poster);
  ASSERT_TRUE(zrtest::PumpUntil([&] { return Ready(exchange); }));
  EXPECT_EQ(Value(exchange.get().reply, u"Handled"), u"late");
  EXPECT_TRUE(zrtest::PumpUntil([&] { return server.GetNotificationWindow()->GetMessageCount() == 0; }, 3000))
      << server.GetNotificationWindow()->GetMessageCount() << " messages left";
}

TEST(ZrIpcServerThreaded, AStopBeforeTheHandlerRanLeavesTheWaitingClientWithoutReply) {
  TestServer server;
  server.onMainThread = true;
  server.waitForHandling = true;
  const ZrString name = zrtest::UniquePipeName("threaded stopped");
  ASSERT_TRUE(server.ServerStart(name));
  auto exchange = Request(name, u"never handled");
  ASSERT_TRUE(zrtest::WaitUntil([&] { return server.GetNotificationWindow()->GetMessageCount() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(server.ServerStop());
  EXPECT_LT(zrtest::SecondsSince(start), 3.0);
  ASSERT_TRUE(Ready(exchange, 5000));
  EXPECT_FALSE(exchange.get().answered);
  EXPECT_EQ(server.handled.load(), 0);
  EXPECT_EQ(server.GetNotificationWindow(), nullptr);
}

TEST(ZrIpcServerThreaded, TwoPostedCommandsHandleAMessageOnce) {
  TestServer server;
  server.onMainThread = true;
  const ZrString name = zrtest::UniquePipeName("threaded twice");
  ASSERT_TRUE(server.ServerStart(name));
  ASSERT_TRUE(Request(name, u"once").get().answered);
  ZrIpcServerNotificationWindow* window = server.GetNotificationWindow();
  ASSERT_TRUE(window->PostCommand(ZrIpcServerNotificationWindow::kRequestCommand,
                                  ZrIpcServerNotificationWindow::kRequestParam));
  // Commands of other numbers or parameters are not requests.
  ASSERT_TRUE(window->PostCommand(ZrIpcServerNotificationWindow::kRequestCommand, 1));
  ASSERT_TRUE(zrtest::PumpUntil([&] { return window->GetQueuedCommands().GetCount() == 0; }));
  ASSERT_TRUE(zrtest::PumpUntil([&] { return server.handled.load() >= 1; }));
  zrtest::PumpFor(200);  // let any further pass run
  EXPECT_EQ(server.handled.load(), 1);
}

TEST(ZrIpcServerThreaded, AHandlerMayDeleteItsServer) {
  auto* server = new TestServer;
  server->onMainThread = true;
  std::atomic<bool> deleted{false};
  server->onHandle = [&server, &deleted] {
    // The closure is part of the server: copy what it needs before deleting.
    std::atomic<bool>* flag = &deleted;
    delete server;
    *flag = true;
  };
  const ZrString name = zrtest::UniquePipeName("threaded deleted");
  ASSERT_TRUE(server->ServerStart(name));
  ASSERT_TRUE(Request(name, u"delete me").get().answered);
  ASSERT_TRUE(zrtest::PumpUntil([&] { return deleted.load(); }));
  // Nothing of the server is touched afterwards, and the pipe is gone.
  zrtest::PumpFor(200);
  RawClient client;
  EXPECT_FALSE(client.Connect(name, 200));
}

TEST(ZrIpcServerThreaded, StoppingNeverWaitsForAClient) {
  // Silent or never reading; served on a connection thread or on the listening thread.
  struct Case {
    const char* name;
    bool connectionThreads;
    bool sendRequest;
  } cases[] = {
      {"silent, connection thread", true, false},
      {"never reads, connection thread", true, true},
      {"silent, listening thread", false, false},
      {"never reads, listening thread", false, true},
  };
  class Server : public TestServer {
   public:
    bool UseConnectionThreads() override { return threads; }
    bool threads = true;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Server server;
    server.threads = c.connectionThreads;
    const ZrString name = zrtest::UniquePipeName("threaded stuck client");
    ASSERT_TRUE(server.ServerStart(name));
    RawClient client;
    ASSERT_TRUE(client.Connect(name));
    if (c.sendRequest) {
      ASSERT_TRUE(client.Write(PacketBytes({{u"Command", u"x"}})));
      ASSERT_TRUE(zrtest::WaitUntil([&] { return server.handled.load() == 1; }));
    }
    const auto start = std::chrono::steady_clock::now();
    server.ServerStop();
    EXPECT_LT(zrtest::SecondsSince(start), 1.5);
  }
}

TEST(ZrIpcServerThreaded, DestroyingAListeningServerEndsItsWaitForAClient) {
  const ZrString name = zrtest::UniquePipeName("threaded destroyed");
  const auto start = std::chrono::steady_clock::now();
  {
    ZrIpcServerThreaded server;
    ASSERT_TRUE(server.ServerStart(name));
  }
  EXPECT_LT(zrtest::SecondsSince(start), 3.0) << "the destructor waited for a client";
  RawClient client;
  EXPECT_FALSE(client.Connect(name, 200)) << "the pipe outlived its server";
}

TEST(ZrIpcServerThreaded, ServerStopTracesEachStepInOrder) {
  zrtest::FakeTools tools;
  zrtest::ToolsScope scope(tools);
  {
    TestServer server;
    ASSERT_TRUE(server.ServerStart(zrtest::UniquePipeName("threaded trace")));
    server.ServerStop();
  }
  std::vector<std::u16string> stop;
  std::vector<std::u16string> thread;
  for (const zrtest::LogLine& line : tools.Lines()) {
    if (line.scope == "ZrIpcServerThreaded::ServerStop") stop.push_back(line.text);
    if (line.scope == "ZrIpcServerThreaded::Thread") thread.push_back(line.text);
    EXPECT_EQ(line.level, 1);
  }
  // The test server's destructor stops once more, traced again after these.
  ASSERT_GE(stop.size(), 8u);
  EXPECT_EQ(stop[0], u"Start");
  const std::u16string steps[] = {u"Canceling thread", u"Canceling pending run", u"Stopping thread",
                                  u"Canceling response threads", u"Deleting response threads",
                                  u"Closing notification window"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(stop[i + 1], steps[i]);
  EXPECT_EQ(stop[7].rfind(u"Finish (", 0), 0u) << ZrString(std::u16string_view(stop[7])).ToUtf8();
  EXPECT_EQ(stop[7].find(u"result"), std::u16string::npos);

  ASSERT_EQ(thread.size(), 4u);
  EXPECT_EQ(thread[1].rfind(u"Starting server loop for: zr-test threaded trace", 0), 0u);
  EXPECT_EQ(thread[2], u"Thread finishing (cancel: 1; errors: 0)");
}

}  // namespace
