#pragma once
// Sends one request packet to a named-pipe server and reads one reply packet. Every exchange opens
// its own connection and closes it afterwards. Nothing says why an exchange failed: a missing or
// busy server, a time-out, a broken pipe, an oversized or invalid reply all give false or an empty
// text. A client object is used by one thread at a time.

#include <cstdint>

#include "foundation/ZrString.h"
#include "foundation/win/ZrWindows.h"
#include "ipc/ZrByteBuffer.h"
#include "ipc/ZrIpcPacket.h"

class ZrIpcClient {
 public:
  static constexpr int kOpenLimitMs = 1000;
  static constexpr int kPacketLimitMs = 5000;
  // A command request waits this long for its answer once connected: a server that accepts and
  // never answers must not hold the caller (often the host's user-interface thread) for good.
  static constexpr int kCommandLimitMs = 5000;
  // Writing and reading each get at least this much, however long opening took.
  static constexpr int kMinStepMs = 100;
  static constexpr int kOpenPollMs = 5;
  static constexpr DWORD kReplyBufferSize = 16384;

  explicit ZrIpcClient(const ZrString& pipeName = ZrString()) : m_pipeName(pipeName) {}
  virtual ~ZrIpcClient() = default;

  void SetPipeName(const ZrString& name) { m_pipeName = name; }
  const ZrString& GetPipeName() const { return m_pipeName; }

  // Opens \\.\pipe\<name> for an overlapped exchange in message read mode, retrying every 5 ms
  // while the pipe is missing or busy, for up to limitMs (negative: without limit). The server may
  // identify us but never act as us. The invalid handle on failure.
  HANDLE OpenPipe(int limitMs);
  // One exchange within limitMs (negative: without limit); opening may use up to 1000 ms of it.
  bool Transact(const uint8_t* request, int64_t length, ZrByteBuffer& reply, int limitMs);
  // An exchange within 5000 ms whose reply's "Result" is not 0.
  bool SendPacket(const ZrIpcPacket& request);
  // A request holding only "Command"; answers the reply's "Result", empty when there is none. Up to
  // 1000 ms to find the pipe, then up to 5000 ms for the exchange.
  ZrString SendCommandRequest(const ZrString& command);

 private:
  // openLimitMs for the pipe to appear; then limitMs, counted from the start or, when
  // countFromConnect is set, from the moment the pipe was open.
  bool Exchange(const uint8_t* request, int64_t length, ZrByteBuffer& reply, int openLimitMs, int limitMs,
                bool countFromConnect);

  ZrString m_pipeName;
};
