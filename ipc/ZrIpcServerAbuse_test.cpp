// Clients that misbehave, one server: after each, a well-formed client is still answered, stopping
// the server never waits for a client, and nothing is left open.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "ipc/ZrIpcServer.h"
#include "ipc/ZrIpcTestSupport.h"

namespace {

using zrtest::PacketBytes;
using zrtest::RawClient;
using zrtest::Value;

class EchoServer : public ZrIpcServer {
 public:
  ~EchoServer() override { Shutdown(); }
  void HandleRequest(const ZrIpcPacket& request, ZrIpcPacket& reply) override {
    ++handled;
    ZrString command;
    request.GetString(command, u"Command");
    reply.SetString(u"Echo", command);
  }
  // What an owner does to stop: abandon every wait, then end and delete the connection threads.
  void Shutdown() {
    SignalStop();
    DeleteConnectionThreads();
  }
  std::atomic<int> handled{0};
};

// Clients a case leaves connected until the server has been stopped.
using Leftovers = std::vector<std::unique_ptr<RawClient>>;

struct AbuseCase {
  const char* name;
  // Does the misbehaving; returns false when the case itself could not be set up.
  std::function<bool(const ZrString& pipe, Leftovers& leftovers)> run;
};

// The server must close such a connection without a reply.
bool SendAndExpectNoReply(const ZrString& pipe, const std::string& bytes) {
  RawClient client;
  if (!client.Connect(pipe)) return false;
  // An oversized message may not be taken whole; whether the write completes does not matter.
  client.Write(bytes, 3000);
  std::string reply;
  const bool answered = client.Read(reply, 5000);
  EXPECT_FALSE(answered) << "got a reply of " << reply.size() << " bytes";
  EXPECT_NE(client.LastStatus(), ZrPipeIoStatus::kTimedOut) << "the connection was neither answered nor closed";
  return true;
}

bool WellFormedExchange(const ZrString& pipe, const char16_t* command) {
  RawClient client;
  if (!client.Connect(pipe)) return false;
  if (!client.Write(PacketBytes({{u"Command", command}}))) return false;
  bool ok = false;
  const ZrIpcPacket reply = client.ReadPacket(&ok, 10000);
  return ok && Value(reply, u"Echo") == command;
}


const AbuseCase kCases[] = {
    {"garbage bytes",
     [](const ZrString& pipe, Leftovers&) { return SendAndExpectNoReply(pipe, std::string("\x01\xFF garbage \x80\x00 more", 18)); }},
    {"truncated packet",
     [](const ZrString& pipe, Leftovers&) {
       // Cut inside the root's start tag: no packet can be read from it.
       return SendAndExpectNoReply(pipe, PacketBytes({{u"Command", u"truncated"}}).substr(0, 12));
     }},
    {"request of 16385 bytes",
     [](const ZrString& pipe, Leftovers&) {
       // A valid packet, padded to one byte more than the server reads.
       std::string big = PacketBytes({{u"Command", u"big"}});
       big.resize(16385, ' ');
       return SendAndExpectNoReply(pipe, big);
     }},
    {"silent client",
     [](const ZrString& pipe, Leftovers& leftovers) {
       auto client = std::make_unique<RawClient>();
       if (!client->Connect(pipe)) return false;
       leftovers.push_back(std::move(client));
       return true;
     }},
    {"client that never reads",
     [](const ZrString& pipe, Leftovers& leftovers) {
       auto client = std::make_unique<RawClient>();
       if (!client->Connect(pipe) || !client->Write(PacketBytes({{u"Command", u"unread"}}))) return false;
       leftovers.push_back(std::move(client));
       return true;
     }},
    {"64 clients at once",
     [](const ZrString& pipe, Leftovers&) {
       std::atomic<int> answered{0};
       std::vector<std::thread> clients;
       for (int i = 0; i < 64; ++i)
         clients.emplace_back([&, i] {
           const std::u16string command = u"client " + std::u16string(ZrString::FromNarrow(std::to_string(i)).View());
           if (WellFormedExchange(pipe, command.c_str())) ++answered;
         });
       for (auto& thread : clients) thread.join();
       EXPECT_EQ(answered.load(), 64);
       return true;
     }},
};

TEST(ZrIpcServerAbuse, EachMisbehavingClientLeavesTheServerServingAndStoppable) {
  // Many clients at once first, so that what the system keeps open after its first pipe and its
  // first crowd of threads (Wine keeps one handle more) is counted in.
  {
    EchoServer warmup;
    const ZrString name = zrtest::UniquePipeName("abuse warm-up");
    zrtest::ListeningLoop loop(warmup, name);
    Leftovers none;
    ASSERT_TRUE(kCases[std::size(kCases) - 1].run(name, none));
  }

  for (const AbuseCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const DWORD handlesBefore = zrtest::HandleCount();
    ASSERT_GT(handlesBefore, 0u) << "the system does not count handles";
    Leftovers leftovers;
    {
      EchoServer server;
      const ZrString name = zrtest::UniquePipeName("abuse");
      zrtest::ListeningLoop loop(server, name);
      ASSERT_TRUE(c.run(name, leftovers)) << "the case could not be set up";
      EXPECT_TRUE(WellFormedExchange(name, u"after")) << "a well-formed client was not answered";

      // Stopping never waits for a client, whatever the leftovers do.
      const auto start = std::chrono::steady_clock::now();
      loop.Stop();
      server.Shutdown();
      EXPECT_LT(zrtest::SecondsSince(start), 1.5) << "stopping took too long";
    }
    leftovers.clear();
    EXPECT_TRUE(zrtest::WaitUntil([&] { return zrtest::HandleCount() <= handlesBefore; }, 5000))
        << "handles before " << handlesBefore << ", after " << zrtest::HandleCount();
  }
}

}  // namespace
