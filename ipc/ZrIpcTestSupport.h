#pragma once
// Test helpers for the named pipes: a raw client that does exactly what a test tells it (no
// packets, no limits beyond the ones given), a listening loop for a server, the process's handles.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/testsupport/ZrTestWait.h"
#include "foundation/win/ZrWindows.h"
#include "ipc/ZrIpcPacket.h"
#include "ipc/ZrIpcServer.h"
#include "ipc/ZrPipeIo.h"

namespace zrtest {

// A pipe name no other test (or test program running beside this one) uses.
inline ZrString UniquePipeName(const char* what) {
  static std::atomic<int> counter{0};
  const std::string name = std::string("zr-test ") + what + " " + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(counter.fetch_add(1));
  return ZrString::FromNarrow(name);
}

inline std::wstring FullPipeName(const ZrString& name) {
  return std::wstring(ZrW(ZrIpcServer::kPipePrefix)) + ZrW(name.c_str());
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The handles this process holds. Wine answers GetProcessHandleCount with 0, so there every
// handle value up to 0x10000 is probed instead.
inline DWORD HandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

inline std::string PacketBytes(std::initializer_list<std::pair<const char16_t*, const char16_t*>> entries) {
  ZrIpcPacket packet;
  for (const auto& entry : entries) packet.SetString(entry.first, ZrString(entry.second));
  ZrByteBuffer bytes;
  packet.ToBytes(bytes);
  return std::string(reinterpret_cast<const char*>(bytes.Data()), static_cast<size_t>(bytes.Size()));
}

// A client end of a pipe, driven byte by byte. Every I/O has a deadline so a test cannot hang.
class RawClient {
 public:
  // Waits up to timeoutMs for the pipe to exist and be free.
  bool Connect(const ZrString& name, int timeoutMs = 5000, DWORD flags = 0) {
    const std::wstring full = FullPipeName(name);
    const bool ok = static_cast<bool>(WaitUntil(
        [&] {
          m_pipe.reset(CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED | flags, nullptr));
          return m_pipe.valid();
        },
        static_cast<DWORD>(timeoutMs), "the pipe to open"));
    if (!ok) return false;
    DWORD mode = PIPE_READMODE_MESSAGE;
    return SetNamedPipeHandleState(m_pipe.get(), &mode, nullptr, nullptr) != FALSE;
  }
  bool Write(const std::string& bytes, DWORD timeoutMs = 5000) {
    const ZrPipeIoResult result =
        ZrPipeWrite(m_pipe.get(), m_event.get(), bytes.data(), static_cast<DWORD>(bytes.size()), timeoutMs);
    m_lastError = result.error;
    return result.Done() && result.bytes == bytes.size();
  }
  // One message; false when the read fails, times out or the server closed the connection.
  bool Read(std::string& out, DWORD timeoutMs = 5000) {
    out.assign(65536, '\0');
    const ZrPipeIoResult result =
        ZrPipeRead(m_pipe.get(), m_event.get(), out.data(), static_cast<DWORD>(out.size()), timeoutMs);
    m_lastError = result.error;
    m_lastStatus = result.status;
    out.resize(result.Done() ? result.bytes : 0);
    return result.Done() && result.bytes > 0;
  }
  ZrIpcPacket ReadPacket(bool* ok, DWORD timeoutMs = 5000) {
    std::string bytes;
    ZrIpcPacket packet;
    *ok = Read(bytes, timeoutMs);
    if (*ok) {
      ZrByteBuffer buffer;
      buffer.Append(bytes.data(), static_cast<int64_t>(bytes.size()));
      *ok = packet.FromBytes(buffer);
    }
    return packet;
  }
  void Close() { m_pipe.reset(); }
  HANDLE Handle() const { return m_pipe.get(); }
  DWORD LastError() const { return m_lastError; }
  ZrPipeIoStatus LastStatus() const { return m_lastStatus; }

 private:
  ZrFileHandle m_pipe;
  ZrEventHandle m_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  DWORD m_lastError = 0;
  ZrPipeIoStatus m_lastStatus = ZrPipeIoStatus::kFailed;
};

inline std::u16string Value(const ZrIpcPacket& packet, const ZrChar* key) {
  ZrString out;
  packet.GetString(out, key, u"(none)");
  return std::u16string(out.View());
}

// Runs listening cycles of a server on a thread of its own until stopped: what an owner of a plain
// ZrIpcServer does.
class ListeningLoop {
 public:
  ListeningLoop(ZrIpcServer& server, ZrString name, bool checkStop = false)
      : m_server(server), m_name(std::move(name)), m_checkStop(checkStop), m_thread([this] { Loop(); }) {}
  ~ListeningLoop() { Stop(); }
  // Ends the loop: the stop event abandons the wait for a client; answers the seconds it took.
  double Stop() {
    const auto start = std::chrono::steady_clock::now();
    m_stop = true;
    // A cycle that began just before the stop resets the event; signal until the loop has ended.
    while (!m_ended) {
      m_server.SignalStop();
      Sleep(5);
    }
    if (m_thread.joinable()) m_thread.join();
    return SecondsSince(start);
  }
  int Cycles() const { return m_cycles.load(); }

 private:
  void Loop() {
    while (!m_stop) {
      m_server.ServerRun(m_name, m_checkStop);
      ++m_cycles;
    }
    m_ended = true;
  }

  ZrIpcServer& m_server;
  ZrString m_name;
  bool m_checkStop;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_cycles{0};
  std::atomic<bool> m_ended{false};
  std::thread m_thread;
};

}  // namespace zrtest
