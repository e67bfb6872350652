#include "ipc/ZrIpcClient.h"

#include <algorithm>

#include "foundation/ZrConvert.h"
#include "foundation/ZrTimer.h"
#include "foundation/win/ZrHandle.h"
#include "ipc/ZrIpcServer.h"
#include "ipc/ZrPipeIo.h"

namespace {

constexpr int kNoLimit = 0x7FFFFFFF;

int ElapsedMs(ZrTimer& timer) { return static_cast<int>(std::min<int64_t>(timer.ElapsedNs(false) / 1000000, kNoLimit)); }

}  // namespace

HANDLE ZrIpcClient::OpenPipe(int limitMs) {
  const ZrString fullName = ZrString(ZrIpcServer::kPipePrefix) + m_pipeName;
  const int limit = limitMs < 0 ? kNoLimit : limitMs;
  ZrTimer timer;
  // Identification only: a program that took the name before the real server cannot act as us.
  constexpr DWORD kFlags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
  ZrFileHandle pipe;
  for (;;) {
    pipe.reset(CreateFileW(ZrW(fullName.c_str()), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, kFlags,
                           nullptr));
    if (pipe) break;
    const DWORD error = GetLastError();
    if ((error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND) || ElapsedMs(timer) > limit)
      return INVALID_HANDLE_VALUE;
    Sleep(kOpenPollMs);
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) return INVALID_HANDLE_VALUE;
  return pipe.release();
}

bool ZrIpcClient::Transact(const uint8_t* request, int64_t length, ZrByteBuffer& reply, int limitMs) {
  const int limit = limitMs < 0 ? kNoLimit : limitMs;
  return Exchange(request, length, reply, std::min(limit, kOpenLimitMs), limit, false);
}

bool ZrIpcClient::Exchange(const uint8_t* request, int64_t length, ZrByteBuffer& reply, int openLimitMs, int limitMs,
                           bool countFromConnect) {
  if (!request || length <= 0 || length > MAXDWORD) return false;
  ZrTimer timer;
  ZrFileHandle pipe(OpenPipe(openLimitMs));
  if (!pipe) return false;
  ZrEventHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return false;

  const int writeLimit = std::max(countFromConnect ? limitMs : limitMs - ElapsedMs(timer), kMinStepMs);
  timer.Restart();
  const ZrPipeIoResult write =
      ZrPipeWrite(pipe.get(), event.get(), request, static_cast<DWORD>(length), static_cast<DWORD>(writeLimit));
  if (!write.Done() || write.bytes != length) return false;

  const int readLimit = std::max(writeLimit - ElapsedMs(timer), kMinStepMs);
  reply.Empty();
  if (!reply.Grow(kReplyBufferSize, false, 0, false)) return false;
  // A reply longer than the buffer fails with ERROR_MORE_DATA.
  const ZrPipeIoResult read =
      ZrPipeRead(pipe.get(), event.get(), reply.Data(), kReplyBufferSize, static_cast<DWORD>(readLimit));
  // A read that finished at once must have brought something; a pending one counts when it finishes.
  if (!read.Done() || (read.atOnce && read.bytes == 0)) return false;
  reply.SetSize(read.bytes);
  return true;
}

bool ZrIpcClient::SendPacket(const ZrIpcPacket& request) {
  ZrByteBuffer bytes;
  request.ToBytes(bytes);
  ZrByteBuffer replyBytes;
  if (!Transact(bytes.Data(), bytes.Size(), replyBytes, kPacketLimitMs)) return false;
  ZrIpcPacket reply;
  if (!reply.FromBytes(replyBytes)) return false;
  ZrString result;
  reply.GetString(result, u"Result", u"0");
  return ZrToInt(result) != 0;
}

ZrString ZrIpcClient::SendCommandRequest(const ZrString& command) {
  ZrIpcPacket request;
  request.SetString(u"Command", command);
  ZrByteBuffer bytes;
  request.ToBytes(bytes);
  ZrByteBuffer replyBytes;
  ZrIpcPacket reply;
  if (!Exchange(bytes.Data(), bytes.Size(), replyBytes, kOpenLimitMs, kCommandLimitMs, true) ||
      !reply.FromBytes(replyBytes))
    return ZrString();
  ZrString result;
  reply.GetString(result, u"Result");
  return result;
}
