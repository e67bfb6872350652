#include "ipc/ZrPipeIo.h"

namespace {

constexpr int kMaxCancel = 3;

// Waits for an I/O that the system reported pending.
ZrPipeIoResult Await(HANDLE pipe, OVERLAPPED& overlapped, DWORD timeoutMs, const HANDLE* cancel, int cancelCount) {
  HANDLE handles[1 + kMaxCancel] = {overlapped.hEvent};
  DWORD count = 1;
  for (int i = 0; i < cancelCount && i < kMaxCancel; ++i)
    if (cancel[i]) handles[count++] = cancel[i];

  ZrPipeIoResult result;
  const DWORD wait = WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
  if (wait == WAIT_OBJECT_0) {
    if (GetOverlappedResult(pipe, &overlapped, &result.bytes, FALSE)) {
      result.status = ZrPipeIoStatus::kDone;
    } else {
      result.error = GetLastError();
    }
    return result;
  }
  result.status = wait == WAIT_TIMEOUT ? ZrPipeIoStatus::kTimedOut
                  : wait > WAIT_OBJECT_0 && wait < WAIT_OBJECT_0 + count ? ZrPipeIoStatus::kCancelled
                                                                         : ZrPipeIoStatus::kFailed;
  result.error = wait == WAIT_FAILED ? GetLastError() : ERROR_OPERATION_ABORTED;
  // The I/O must be over before its buffer and OVERLAPPED go away. It may have finished in the
  // meantime; then the cancellation finds nothing and the transfer still counts as not done.
  CancelIo(pipe);
  DWORD ignored = 0;
  GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
  return result;
}

template <class Start>
ZrPipeIoResult Run(HANDLE pipe, HANDLE event, DWORD timeoutMs, const HANDLE* cancel, int cancelCount,
                   Start&& start) {
  ZrPipeIoResult result;
  if (pipe == INVALID_HANDLE_VALUE || !pipe || !event) {
    result.error = ERROR_INVALID_HANDLE;
    return result;
  }
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  ResetEvent(event);
  DWORD bytes = 0;
  if (start(overlapped, bytes)) {
    result.status = ZrPipeIoStatus::kDone;
    result.bytes = bytes;
    result.atOnce = true;
    return result;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) {
    result.error = error;
    return result;
  }
  return Await(pipe, overlapped, timeoutMs, cancel, cancelCount);
}

}  // namespace

ZrPipeIoResult ZrPipeRead(HANDLE pipe, HANDLE event, void* buffer, DWORD size, DWORD timeoutMs, const HANDLE* cancel,
                          int cancelCount) {
  return Run(pipe, event, timeoutMs, cancel, cancelCount, [&](OVERLAPPED& overlapped, DWORD& bytes) {
    return ReadFile(pipe, buffer, size, &bytes, &overlapped) != FALSE;
  });
}

ZrPipeIoResult ZrPipeWrite(HANDLE pipe, HANDLE event, const void* buffer, DWORD size, DWORD timeoutMs,
                           const HANDLE* cancel, int cancelCount) {
  return Run(pipe, event, timeoutMs, cancel, cancelCount, [&](OVERLAPPED& overlapped, DWORD& bytes) {
    return WriteFile(pipe, buffer, size, &bytes, &overlapped) != FALSE;
  });
}
