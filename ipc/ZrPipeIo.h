#pragma once
// One overlapped read or write on a pipe handle opened for overlapped I/O, waited for with a time
// limit and any number of events that cancel it. An I/O that does not finish is cancelled and its
// cancellation awaited before returning, so the buffer and the OVERLAPPED are free again whatever
// the peer does. Reads and writes on an overlapped handle never go without an OVERLAPPED: Windows
// may then report a pending operation as finished.

#include <cstdint>

#include "foundation/win/ZrWindows.h"

enum class ZrPipeIoStatus {
  kDone,       // finished; `bytes` says how many
  kFailed,     // the system refused it or it ended in an error (`error` says which)
  kTimedOut,   // the limit passed; the I/O was cancelled
  kCancelled,  // one of the cancel events was signalled; the I/O was cancelled
};

struct ZrPipeIoResult {
  ZrPipeIoStatus status = ZrPipeIoStatus::kFailed;
  DWORD bytes = 0;
  DWORD error = 0;
  bool atOnce = false;  // finished without being pending

  bool Done() const { return status == ZrPipeIoStatus::kDone; }
};

// event: a manual-reset event of the caller's, reused for every I/O of one connection.
// cancel: up to 3 event handles (null entries are skipped); timeoutMs may be INFINITE.
ZrPipeIoResult ZrPipeRead(HANDLE pipe, HANDLE event, void* buffer, DWORD size, DWORD timeoutMs,
                          const HANDLE* cancel = nullptr, int cancelCount = 0);
ZrPipeIoResult ZrPipeWrite(HANDLE pipe, HANDLE event, const void* buffer, DWORD size, DWORD timeoutMs,
                           const HANDLE* cancel = nullptr, int cancelCount = 0);

// Whether an event is signalled, without waiting.
inline bool ZrIsSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
