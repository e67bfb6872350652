#include "ipc/ZrIpcClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ipc/ZrIpcTestSupport.h"

namespace {

using zrtest::PacketBytes;

// A bare pipe server for one connection that does what the test says: answer with given bytes, or
// never answer and hold the connection until the test ends. It records the request it read and the
// client's impersonation level as the server sees it.
class ScriptedServer {
 public:
  enum class Mode { kAnswer, kNeverAnswer };

  ScriptedServer(ZrString name, Mode mode, std::string reply = {}, int delayMs = 0)
      : m_name(std::move(name)), m_mode(mode), m_reply(std::move(reply)), m_delayMs(delayMs) {
    m_thread = std::thread([this] { Serve(); });
    if (delayMs == 0) zrtest::WaitUntil([this] { return m_listening.load(); });
  }
  ~ScriptedServer() {
    SetEvent(m_release.get());
    m_thread.join();
  }
  const std::string& Request() const { return m_request; }
  SECURITY_IMPERSONATION_LEVEL Level() const { return m_level; }
  bool Served() const { return m_served.load(); }

 private:
  void Serve() {
    if (m_delayMs) Sleep(m_delayMs);
    ZrFileHandle pipe(CreateNamedPipeW(zrtest::FullPipeName(m_name).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 65536, 65536, 0, nullptr));
    m_listening = true;
    if (!pipe) return;
    ZrEventHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    if (!ConnectNamedPipe(pipe.get(), &overlapped)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING) {
        const HANDLE handles[2] = {event.get(), m_release.get()};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
          CancelIo(pipe.get());
          return;
        }
      } else if (error != ERROR_PIPE_CONNECTED) {
        return;
      }
    }
    std::string request(65536, '\0');
    const ZrPipeIoResult read = ZrPipeRead(pipe.get(), event.get(), request.data(), 65536, 10000);
    request.resize(read.bytes);
    m_request = request;
    if (ImpersonateNamedPipeClient(pipe.get())) {
      HANDLE token = nullptr;
      if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenImpersonationLevel, &m_level, sizeof m_level, &size);
        CloseHandle(token);
      }
      RevertToSelf();
    }
    m_served = true;
    if (m_mode == Mode::kAnswer) ZrPipeWrite(pipe.get(), event.get(), m_reply.data(), static_cast<DWORD>(m_reply.size()), 5000);
    WaitForSingleObject(m_release.get(), m_mode == Mode::kAnswer ? 5000 : INFINITE);
  }

  ZrString m_name;
  Mode m_mode;
  std::string m_reply;
  int m_delayMs;
  std::string m_request;
  SECURITY_IMPERSONATION_LEVEL m_level = static_cast<SECURITY_IMPERSONATION_LEVEL>(-1);
  std::atomic<bool> m_listening{false};
  std::atomic<bool> m_served{false};
  ZrEventHandle m_release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::thread m_thread;
};

double Seconds(const std::function<void()>& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return zrtest::SecondsSince(start);
}

TEST(ZrIpcClient, WithoutAServerEveryRequestFailsAfterAboutASecond) {
  ZrIpcClient client(zrtest::UniquePipeName("client nobody"));
  ZrIpcPacket request;
  request.SetString(u"Command", ZrString(u"IRBlast"));
  bool sent = true;
  double seconds = Seconds([&] { sent = client.SendPacket(request); });
  EXPECT_FALSE(sent);
  EXPECT_GT(seconds, 0.9);
  EXPECT_LT(seconds, 3.0) << "the open limit is a second, not five";

  ZrString answer(u"x");
  seconds = Seconds([&] { answer = client.SendCommandRequest(ZrString(u"IRLearnCancel")); });
  EXPECT_TRUE(answer.IsEmpty());
  EXPECT_GT(seconds, 0.9);
  EXPECT_LT(seconds, 3.0);
}

TEST(ZrIpcClient, APipeThatAppearsWithinTheOpenLimitIsUsed) {
  const ZrString name = zrtest::UniquePipeName("client late");
  ScriptedServer server(name, ScriptedServer::Mode::kAnswer, PacketBytes({{u"Result", u"1"}}), 300);
  ZrIpcClient client(name);
  ZrIpcPacket request;
  request.SetString(u"Command", ZrString(u"late"));
  EXPECT_TRUE(client.SendPacket(request));
}

TEST(ZrIpcClient, AServerThatNeverAnswersCostsAtMostTheExchangeLimit) {
  // SendPacket: five seconds from the start. SendCommandRequest: five seconds once connected, not
  // for ever: the host's thread calls it.
  {
    const ZrString name = zrtest::UniquePipeName("client silent packet");
    ScriptedServer server(name, ScriptedServer::Mode::kNeverAnswer);
    ZrIpcClient client(name);
    ZrIpcPacket request;
    request.SetString(u"Command", ZrString(u"IRBlast"));
    bool sent = true;
    const double seconds = Seconds([&] { sent = client.SendPacket(request); });
    EXPECT_FALSE(sent);
    EXPECT_TRUE(server.Served());
    EXPECT_GT(seconds, 4.5);
    EXPECT_LT(seconds, 9.0);
  }
  {
    const ZrString name = zrtest::UniquePipeName("client silent command");
    ScriptedServer server(name, ScriptedServer::Mode::kNeverAnswer);
    ZrIpcClient client(name);
    ZrString answer(u"x");
    const double seconds = Seconds([&] { answer = client.SendCommandRequest(ZrString(u"IRLearnCancel")); });
    EXPECT_TRUE(answer.IsEmpty());
    EXPECT_TRUE(server.Served());
    EXPECT_GT(seconds, 4.5);
    EXPECT_LT(seconds, 9.0);
  }
}

TEST(ZrIpcClient, TheReplysResultDecides) {
  const struct {
    const char* name;
    std::string reply;
    bool sent;             // SendPacket
    const char16_t* text;  // SendCommandRequest
  } cases[] = {
      {"1", PacketBytes({{u"Result", u"1"}}), true, u"1"},
      {"-1", PacketBytes({{u"Result", u"-1"}}), true, u"-1"},
      {"0", PacketBytes({{u"Result", u"0"}}), false, u"0"},
      {"missing", PacketBytes({{u"Other", u"1"}}), false, u""},
      {"not a packet", std::string("<ZRIR version=\"1.0\"><Item Name=\"Result\">1</Item></ZRIR>"), false, u""},
      {"oversized", PacketBytes({{u"Result", u"1"}, {u"Pad", std::u16string(20000, u'x').c_str()}}), false, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      const ZrString name = zrtest::UniquePipeName("client result");
      ScriptedServer server(name, ScriptedServer::Mode::kAnswer, c.reply);
      ZrIpcClient client(name);
      ZrIpcPacket request;
      request.SetString(u"Command", ZrString(u"IRBlast"));
      request.SetString(u"IR Code", ZrString(u"<ZRIR/>"));
      EXPECT_EQ(client.SendPacket(request), c.sent);
      // The request arrived as one packet with its closing 0 byte.
      ZrByteBuffer expected;
      request.ToBytes(expected);
      EXPECT_EQ(server.Request(),
                std::string(reinterpret_cast<const char*>(expected.Data()), static_cast<size_t>(expected.Size())));
    }
    {
      const ZrString name = zrtest::UniquePipeName("client command");
      ScriptedServer server(name, ScriptedServer::Mode::kAnswer, c.reply);
      ZrIpcClient client(name);
      EXPECT_EQ(std::u16string(client.SendCommandRequest(ZrString(u"IRLearnCancel")).View()), c.text);
      EXPECT_EQ(server.Request(), PacketBytes({{u"Command", u"IRLearnCancel"}}));
    }
  }
}

// The level a server gets when it impersonates a bare client that asked for `flags`.
SECURITY_IMPERSONATION_LEVEL LevelSeenByServer(DWORD flags) {
  const ZrString name = zrtest::UniquePipeName("client level");
  ScriptedServer server(name, ScriptedServer::Mode::kAnswer, PacketBytes({{u"Result", u"1"}}));
  zrtest::RawClient client;
  std::string reply;
  if (client.Connect(name, 5000, flags) && client.Write("x")) client.Read(reply);
  return server.Level();
}

TEST(ZrIpcClient, AServerMayIdentifyTheClientButNotActAsIt) {
  // Wine 8 hands every pipe server an impersonation-level token whatever the client asked for;
  // where the system keeps to the client's quality of service, the level is checked.
  if (LevelSeenByServer(SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS) != SecurityAnonymous)
    GTEST_SKIP() << "this system ignores the client's security quality of service";
  const ZrString name = zrtest::UniquePipeName("client identity");
  ScriptedServer server(name, ScriptedServer::Mode::kAnswer, PacketBytes({{u"Result", u"1"}}));
  ZrIpcClient client(name);
  ZrIpcPacket request;
  request.SetString(u"Command", ZrString(u"who"));
  EXPECT_TRUE(client.SendPacket(request));
  EXPECT_EQ(server.Level(), SecurityIdentification);
}

}  // namespace
