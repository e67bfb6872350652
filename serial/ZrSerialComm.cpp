#include "serial/ZrSerialComm.h"

#include <cstring>
#include <vector>

#include "foundation/ZrFormat.h"
#include "plugin/ZrRemoteControlBase.h"

namespace {

// DTR_CONTROL_DISABLE and RTS_CONTROL_DISABLE: the handshake drives both lines by hand.
constexpr DWORD kClearLineControlMask = 0xFFFFCFCF;
// All four purge flags (15).
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

void ClearLineControl(DCB& dcb) {
  DWORD flags;
  static_assert(offsetof(DCB, BaudRate) + sizeof(DWORD) == 8);
  std::memcpy(&flags, reinterpret_cast<const char*>(&dcb) + 8, sizeof flags);
  flags &= kClearLineControlMask;
  std::memcpy(reinterpret_cast<char*>(&dcb) + 8, &flags, sizeof flags);
}

}  // namespace

ZrSerialComm::ZrSerialComm(ZrRemoteControlBase* owner) : m_owner(owner) {
  SetStopTimeout(-1);
  SetPollInterval(20);
  SetPumpWhileStopping(false);
  SetFlushAfterStop(true);
  SetComInit(false);
}

ZrSerialComm::~ZrSerialComm() {
  // The reader must be gone before the members it uses are.
  Stop(-1);
}

void ZrSerialComm::DropModemLines() {
  // A pty or a driver without modem lines refuses these; nothing depends on their answer.
  EscapeCommFunction(m_handle.get(), CLRDTR);
  EscapeCommFunction(m_handle.get(), CLRRTS);
}

bool ZrSerialComm::FailOpen(const DCB* restore) {
  DropModemLines();
  if (restore) SetCommState(m_handle.get(), const_cast<DCB*>(restore));
  m_handle.reset();
  CloseEvents();
  return false;
}

void ZrSerialComm::CloseEvents() {
  m_readEvent.reset();
  m_writeEvent.reset();
}

bool ZrSerialComm::Open(int32_t index) {
  if (index < 0) return false;
  if (IsOpen()) Close();
  m_portIndex = index;
  m_readOverlapped = {};
  m_writeOverlapped = {};
  m_readPending = false;
  m_recordComplete = false;
  m_bytesRead = 0;
  m_readEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  m_writeEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!m_readEvent || !m_writeEvent) {
    CloseEvents();
    return false;
  }
  m_readOverlapped.hEvent = m_readEvent.get();
  m_writeOverlapped.hEvent = m_writeEvent.get();

  const ZrString name = ZrFormatV(u"COM%d", {ZrFormatArg(index + 1)});
  m_handle.reset(CreateFileW(ZrW(name.c_str()), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
  if (!m_handle) {
    CloseEvents();
    return false;
  }

  DCB saved{};
  saved.DCBlength = sizeof saved;
  if (!GetCommState(m_handle.get(), &saved)) return FailOpen(nullptr);
  DCB wanted = saved;
  BuildCommDCBW(ZrW(m_settings.c_str()), &wanted);
  ClearLineControl(wanted);
  if (!SetCommState(m_handle.get(), &wanted)) return FailOpen(nullptr);

  // Reads end at a pause between bytes instead of waiting for a full record, so that a record cut
  // short is seen as short and purged rather than joined to the next one.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 20;
  SetCommTimeouts(m_handle.get(), &timeouts);

  // Cycling DTR and RTS powers the receiver up afresh.
  DropModemLines();
  Sleep(250);
  EscapeCommFunction(m_handle.get(), SETDTR);
  EscapeCommFunction(m_handle.get(), SETRTS);
  Sleep(250);

  PurgeComm(m_handle.get(), kPurgeAll);
  Sleep(2);
  WriteByte('I');
  Sleep(2);
  WriteByte('R');
  Sleep(100);

  char answer[2] = {0, 0};
  if (!ReadHandshake(answer)) return FailOpen(&saved);
  if (answer[0] != 'O' || answer[1] != 'K') return FailOpen(&saved);

  if (!Start(1, false)) return FailOpen(&saved);
  return true;
}

void ZrSerialComm::WriteByte(char byte) {
  DWORD written = 0;
  m_writeOverlapped.Offset = m_writeOverlapped.OffsetHigh = 0;
  if (!WriteFile(m_handle.get(), &byte, 1, &written, &m_writeOverlapped) && GetLastError() == ERROR_IO_PENDING) {
    while (!GetOverlappedResult(m_handle.get(), &m_writeOverlapped, &written, TRUE) &&
           GetLastError() == ERROR_IO_INCOMPLETE) {
    }
  }
  Sleep(10);
}

bool ZrSerialComm::ReadHandshake(char answer[2]) {
  DWORD got = 0;
  if (ReadFile(m_handle.get(), answer, 2, &got, &m_readOverlapped)) return got == 2;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  // A read may answer "pending" although the bytes are already buffered; give it a short bound to
  // complete, then take it back so that nothing writes into `answer` after we return.
  if (WaitForSingleObject(m_readEvent.get(), kHandshakeReadBoundMs) == WAIT_OBJECT_0 &&
      GetOverlappedResult(m_handle.get(), &m_readOverlapped, &got, FALSE)) {
    return got == 2;
  }
  m_readPending = true;
  CancelPendingRead();
  return false;
}

void ZrSerialComm::Close() {
  Stop(-1);
  if (m_handle) {
    DropModemLines();
    m_handle.reset();
  }
  CloseEvents();
  m_readPending = false;
}

void ZrSerialComm::CancelPendingRead() {
  if (!m_readPending) return;
  DWORD got = 0;
  CancelIo(m_handle.get());
  GetOverlappedResult(m_handle.get(), &m_readOverlapped, &got, TRUE);
  m_readPending = false;
}

void ZrSerialComm::PostCode(const unsigned char* record) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::vector<wchar_t> text(static_cast<size_t>(m_recordSize) * 2);
  for (int32_t i = 0; i < m_recordSize; ++i) {
    text[2 * i] = static_cast<wchar_t>(kDigits[record[i] >> 4]);
    text[2 * i + 1] = static_cast<wchar_t>(kDigits[record[i] & 15]);
  }
  ZrBstr code(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (!code) return;
  IZrMainThreadMessageManager* manager = ZrGetMainThreadMessageManager();
  // A posted message owns the text; one that could not be posted leaves it with us to free.
  if (manager && manager->Post(this, kCodeMessage, code.get())) (void)code.release();
}

void ZrSerialComm::DiscardShortRecord(DWORD bytes) {
  PurgeComm(m_handle.get(), kPurgeAll);
  // A line in the log tells why a button press went missing.
  if (bytes > 0) ZrLog(2, "ZrSerialComm::Run", u"Discarded a short record of %d bytes", {static_cast<unsigned long>(bytes)});
}

bool ZrSerialComm::Run() {
  const int32_t size = m_recordSize > 0 ? m_recordSize : 1;
  std::vector<unsigned char> buffer(static_cast<size_t>(size));
  const HANDLE port = m_handle.get();
  while (!IsStopRequested()) {
    if (m_readPending) {
      if (GetOverlappedResult(port, &m_readOverlapped, &m_bytesRead, m_waitFlag <= 0)) {
        m_readPending = false;
        m_recordComplete = m_bytesRead == static_cast<DWORD>(size);
        // A read cut short by a pause is the end of a record that lost bytes; what follows it in the
        // queue is not aligned to a record either.
        if (!m_recordComplete && m_bytesRead > 0) DiscardShortRecord(m_bytesRead);
      } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
        m_readPending = false;
      }
    } else {
      m_recordComplete = false;
      m_readOverlapped.Offset = m_readOverlapped.OffsetHigh = 0;
      if (ReadFile(port, buffer.data(), static_cast<DWORD>(size), &m_bytesRead, &m_readOverlapped)) {
        if (m_bytesRead == static_cast<DWORD>(size))
          m_recordComplete = true;
        else
          DiscardShortRecord(m_bytesRead);
      } else if (GetLastError() == ERROR_IO_PENDING) {
        m_readPending = true;
      }
    }
    if (m_recordComplete) {
      m_recordComplete = false;
      PostCode(buffer.data());
      // The next record may already be queued: read it without pausing, so a burst drains at once.
      continue;
    }
    // Instead of a blind 25 ms sleep, wake as soon as the pending read completes (or a stop is
    // requested); 25 ms stays the longest pause between two looks at the port.
    HANDLE wake[2] = {GetStopEvent(), m_readEvent.get()};
    const DWORD count = m_readPending ? 2 : 1;
    if (wake[0])
      WaitForMultipleObjects(count, wake, FALSE, kReadPollMs);
    else
      Sleep(kReadPollMs);
  }
  // A read still in flight would land in the buffer after it is freed.
  CancelPendingRead();
  return true;
}

bool ZrSerialComm::OnMainThreadMessage(uint32_t id, void* data) {
  if (id == kCodeMessage && data) {
    // Ours from here, freed on every path, also when delivering throws.
    const ZrBstr code(static_cast<BSTR>(data));
    if (m_owner) m_owner->DeliverCode(ZrString(ZrU(code.get()), static_cast<int>(SysStringLen(code.get()))));
  }
  return true;
}
