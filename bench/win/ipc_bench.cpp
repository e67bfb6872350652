// One request/reply through ZrIpcClient and ZrIpcServerThreaded against a bare Win32 pipe
// ping-pong with the same bytes, in the same process under the same system. Each exchange is timed
// from the client's side, from opening the pipe to having the reply; the servers are made ready
// before the clock starts, as a listening server is in use. The two kinds alternate, so that the
// machine's other load falls on both alike; the summary uses the medians.
//
//   ipc_bench.exe [exchanges]        prints: bench: ipc-roundtrip ours_us=<x> bare_us=<y> ratio=<bare/ours>
// and the same for a server that starts a connection thread per client (ipc-roundtrip-connection-thread).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ZrFormat.h"
#include "foundation/ZrTimer.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrWindows.h"
#include "ipc/ZrIpcClient.h"
#include "ipc/ZrIpcServerThreaded.h"

namespace {

// Answers on the listening thread, as the module's own server (the learn's response server) does;
// a connection thread would add a thread start to every exchange.
class BenchServer : public ZrIpcServerThreaded {
 public:
  explicit BenchServer(bool connectionThread) : m_connectionThread(connectionThread) {}
  ~BenchServer() override { ServerStop(); }
  bool UseConnectionThreads() override { return m_connectionThread; }
  void HandleRequest(const ZrIpcPacket&, ZrIpcPacket& reply) override { reply.SetString(u"Result", ZrString(u"1")); }

 private:
  bool m_connectionThread;
};

ZrByteBuffer Bytes(const ZrIpcPacket& packet) {
  ZrByteBuffer bytes;
  packet.ToBytes(bytes);
  return bytes;
}

std::wstring FullName(const ZrString& name) { return L"\\\\.\\pipe\\" + std::wstring(ZrW(name.c_str())); }

// A bare server for one exchange: reads the request and writes the fixed reply.
void BareServe(HANDLE pipe, const ZrByteBuffer* reply) {
  std::vector<uint8_t> buffer(16384);
  DWORD count = 0;
  if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
    if (ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr))
      WriteFile(pipe, reply->Data(), static_cast<DWORD>(reply->Size()), &count, nullptr);
    FlushFileBuffers(pipe);
    DisconnectNamedPipe(pipe);
  }
  CloseHandle(pipe);
}

// The bare client: open, message mode, write, read, close.
bool BareExchange(const std::wstring& name, const ZrByteBuffer& request, std::vector<uint8_t>& reply) {
  HANDLE pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return false;
  DWORD mode = PIPE_READMODE_MESSAGE;
  DWORD count = 0;
  const bool ok = SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) &&
                  WriteFile(pipe, request.Data(), static_cast<DWORD>(request.Size()), &count, nullptr) &&
                  ReadFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &count, nullptr) && count > 0;
  CloseHandle(pipe);
  return ok;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 400;
  ZrIpcPacket request;
  request.SetString(u"Command", ZrString(u"IRBlast"));
  request.SetString(u"IR Code", ZrString(u"<ZRIR version=\"1.0\">\r\n<Item Name=\"IRData\">0000 006D 0022 0002 0155 00AA</Item>\r\n"
                                         u"<Item Name=\"CarrierFrequency\">38000</Item>\r\n</ZRIR>"));
  ZrIpcPacket replyPacket;
  replyPacket.SetString(u"Result", ZrString(u"1"));
  const ZrByteBuffer requestBytes = Bytes(request);
  const ZrByteBuffer replyBytes = Bytes(replyPacket);
  const ZrString name = ZrFormatV(u"zr-bench ipc %d", {GetCurrentProcessId()});
  const std::wstring fullName = FullName(name);

  std::vector<double> ours;
  std::vector<double> oursThreaded;
  std::vector<double> bare;
  std::vector<uint8_t> bareReply(16384);
  int failures = 0;
  auto oursOnce = [&](bool connectionThread, std::vector<double>& times) {
    BenchServer server(connectionThread);
    if (!server.ServerStart(name)) {
      ++failures;
      return;
    }
    ZrIpcClient client(name);
    ZrByteBuffer reply;
    ZrTimer timer;
    const bool ok = client.Transact(requestBytes.Data(), requestBytes.Size(), reply, 5000);
    times.push_back(timer.ElapsedNs(false) / 1000.0);
    if (!ok || reply.Size() != replyBytes.Size()) ++failures;
  };
  for (int i = 0; i < exchanges; ++i) {
    oursOnce(false, ours);
    oursOnce(true, oursThreaded);
    {
      HANDLE pipe = CreateNamedPipeW(fullName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, 16384, 16384, 0, nullptr);
      if (pipe == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "ipc_bench: no bare pipe (error %lu)\n", GetLastError());
        return 1;
      }
      std::thread server(BareServe, pipe, &replyBytes);
      ZrTimer timer;
      const bool ok = BareExchange(fullName, requestBytes, bareReply);
      bare.push_back(timer.ElapsedNs(false) / 1000.0);
      server.join();
      if (!ok) ++failures;
    }
  }
  const double oursUs = Median(ours);
  const double bareUs = Median(bare);
  std::printf("ipc: %d exchanges each, request %lld bytes, reply %lld bytes, %d failed\n", exchanges,
              static_cast<long long>(requestBytes.Size()), static_cast<long long>(replyBytes.Size()), failures);
  const double threadedUs = Median(oursThreaded);
  std::printf("bench: ipc-roundtrip ours_us=%.1f bare_us=%.1f ratio=%.2f\n", oursUs, bareUs, bareUs / oursUs);
  std::printf("bench: ipc-roundtrip-connection-thread ours_us=%.1f bare_us=%.1f ratio=%.2f\n", threadedUs, bareUs,
              bareUs / threadedUs);
  return failures ? 1 : 0;
}
