#include "ipc/ZrIpcServer.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "ipc/ZrIpcTestSupport.h"

namespace {

using zrtest::PacketBytes;
using zrtest::RawClient;
using zrtest::Value;

// Answers every request with "Result" = "1" and the request's "Command", and counts them.
class CountingServer : public ZrIpcServer {
 public:
  explicit CountingServer(bool threads = true) : m_threads(threads) {}
  ~CountingServer() override {
    SignalStop();
    DeleteConnectionThreads();
  }
  bool UseConnectionThreads() override { return m_threads; }
  void HandleRequest(const ZrIpcPacket& request, ZrIpcPacket& reply) override {
    ++handled;
    ZrString command;
    request.GetString(command, u"Command");
    reply.SetString(u"Result", ZrString(u"1"));
    reply.SetString(u"Command", command);
  }
  ZrIpcServerConnectionThread* Thread(int i) { return m_connectionThreads[i]; }

  std::atomic<int> handled{0};

 private:
  bool m_threads;
};

// One ServerRun on a thread of its own, its result collected later.
std::future<bool> RunCycle(ZrIpcServer& server, const ZrString& name, bool checkStop = false) {
  return std::async(std::launch::async, [&server, name, checkStop] { return server.ServerRun(name, checkStop); });
}

testing::AssertionResult WaitForCreated(ZrIpcServer& server) {
  return zrtest::WaitUntil([&] { return server.GetState() == ZrIpcServer::kStateCreated; });
}

TEST(ZrIpcServer, AnswersOneRequestPerConnectionAndThenDisconnects) {
  for (const bool threads : {true, false}) {
    SCOPED_TRACE(threads ? "connection thread" : "listening thread");
    CountingServer server(threads);
    const ZrString name = zrtest::UniquePipeName("one reply");
    auto cycle = RunCycle(server, name);
    RawClient client;
    ASSERT_TRUE(client.Connect(name));
    ASSERT_TRUE(client.Write(PacketBytes({{u"Command", u"first"}})));
    bool ok = false;
    const ZrIpcPacket reply = client.ReadPacket(&ok);
    ASSERT_TRUE(ok) << "error " << client.LastError();
    EXPECT_EQ(Value(reply, u"Command"), u"first");
    EXPECT_EQ(Value(reply, u"Result"), u"1");

    // The server is done with this connection: a second request is never answered.
    const bool wrote = client.Write(PacketBytes({{u"Command", u"second"}}), 2000);
    std::string second;
    EXPECT_FALSE(wrote && client.Read(second, 3000)) << "a second reply came: " << second;
    EXPECT_NE(client.LastStatus(), ZrPipeIoStatus::kTimedOut) << "the server did not close the connection";
    client.Close();
    ASSERT_EQ(cycle.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(cycle.get());
    EXPECT_EQ(server.handled.load(), 1);
  }
}

TEST(ZrIpcServer, AStopWhileWaitingForAClientEndsTheCyclePromptlyAndRemovesThePipe) {
  CountingServer server;
  const ZrString name = zrtest::UniquePipeName("stop while waiting");
  auto cycle = RunCycle(server, name);
  ASSERT_TRUE(WaitForCreated(server));
  const auto start = std::chrono::steady_clock::now();
  server.SignalStop();
  ASSERT_EQ(cycle.wait_for(std::chrono::seconds(3)), std::future_status::ready) << "the cycle did not end";
  EXPECT_FALSE(cycle.get());
  EXPECT_LT(zrtest::SecondsSince(start), 3.0);

  HANDLE pipe = CreateFileW(zrtest::FullPipeName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  const DWORD error = GetLastError();
  EXPECT_EQ(pipe, INVALID_HANDLE_VALUE) << "the pipe instance is still there";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
}

TEST(ZrIpcServer, AClientThatCameAndWentIsNotAFailureAndIsNotHandled) {
  CountingServer server;
  const ZrString name = zrtest::UniquePipeName("came and went");

  // Before the server looked: the wait for a client reports ERROR_NO_DATA.
  ZrFileHandle pipe(server.CreateServerPipe(name));
  ASSERT_TRUE(pipe.valid()) << "error " << GetLastError();
  {
    RawClient client;
    ASSERT_TRUE(client.Connect(name));
  }
  SetLastError(0);
  EXPECT_FALSE(ZrIpcServer::s_ConnectNamedPipe(pipe.get(), server.GetServerStopEvent()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
  pipe.reset();

  // While the server waited: the cycle succeeds without a request.
  for (const bool threads : {true, false}) {
    CountingServer other(threads);
    auto cycle = RunCycle(other, name);
    ASSERT_TRUE(WaitForCreated(other));
    {
      RawClient client;
      ASSERT_TRUE(client.Connect(name));
    }
    ASSERT_EQ(cycle.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(cycle.get());
    other.SignalStop();
    EXPECT_EQ(other.handled.load(), 0);
  }
}

TEST(ZrIpcServer, FinishedConnectionThreadsAreDeletedAtTheNextAcceptedConnection) {
  CountingServer server;
  const ZrString name = zrtest::UniquePipeName("thread reuse");
  RawClient client;
  auto exchange = [&] {
    auto cycle = RunCycle(server, name);
    EXPECT_TRUE(client.Connect(name));
    EXPECT_TRUE(client.Write(PacketBytes({{u"Command", u"x"}})));
    bool ok = false;
    client.ReadPacket(&ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(cycle.get());
  };
  exchange();
  client.Close();
  ASSERT_EQ(server.GetConnectionThreadCount(), 1);
  ZrIpcServerConnectionThread* first = server.Thread(0);
  ASSERT_TRUE(zrtest::WaitUntil([&] { return !first->IsRunning(); })) << "the first exchange never ended";
  // Ended, but kept until the next connection is accepted.
  EXPECT_EQ(server.GetConnectionThreadCount(), 1);
  // The second client stays connected, so its thread is still running: the one in the list is new.
  exchange();
  ASSERT_EQ(server.GetConnectionThreadCount(), 1);
  EXPECT_TRUE(server.Thread(0)->IsRunning());
  EXPECT_EQ(server.handled.load(), 2);
  client.Close();
}

TEST(ZrIpcServer, PipeInstancesAreNotInheritableAndOpenToEveryAccount) {
  CountingServer server;
  ZrFileHandle pipe(server.CreateServerPipe(zrtest::UniquePipeName("security")));
  ASSERT_TRUE(pipe.valid()) << "error " << GetLastError();

  DWORD flags = 0xFFFFFFFF;
  ASSERT_TRUE(GetHandleInformation(pipe.get(), &flags)) << "error " << GetLastError();
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u) << "a started program would inherit the pipe";

  PACL dacl = reinterpret_cast<PACL>(1);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result = GetSecurityInfo(pipe.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                       &dacl, nullptr, &descriptor);
  ASSERT_EQ(result, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(dacl, nullptr) << "expected a null DACL";
  LocalFree(descriptor);

  DWORD type = 0, out = 0, in = 0;
  ASSERT_TRUE(GetNamedPipeInfo(pipe.get(), &type, &out, &in, nullptr));
  EXPECT_EQ(type, static_cast<DWORD>(PIPE_SERVER_END | PIPE_TYPE_MESSAGE));
  EXPECT_EQ(in, 16384u);
  EXPECT_EQ(out, 16384u);
}

}  // namespace
