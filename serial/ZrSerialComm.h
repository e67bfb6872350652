#pragma once
// One COM port opened for overlapped I/O, with the receiver's 'I' 'R' / "OK" handshake and a reader
// thread that turns fixed-size records into hex code texts. Codes cross to the host's main thread
// through the tools library's main-thread message manager; the owner delivers them there.
//
// Open and Close belong to the owner's thread. The reader thread touches only the port and the read
// state, and never calls the owner.

#include <cstdint>

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrThread.h"

class ZrRemoteControlBase;

class ZrSerialComm : public ZrThread {
 public:
  // The main-thread message that carries one code: data is a BSTR that the message owns.
  static constexpr uint32_t kCodeMessage = 1;
  // How long the handshake read may still take once ReadFile has answered "pending".
  static constexpr DWORD kHandshakeReadBoundMs = 20;
  // The longest pause of the reader between two looks at the port.
  static constexpr DWORD kReadPollMs = 25;

  explicit ZrSerialComm(ZrRemoteControlBase* owner);
  ~ZrSerialComm() override;

  void SetSettings(const ZrString& settings) { m_settings = settings; }
  void SetWaitFlag(int32_t flag) { m_waitFlag = flag; }
  void SetRecordSize(int32_t size) { m_recordSize = size; }

  // Tries the port "COM<index + 1>". On success the handle is valid and the reader thread runs; on
  // failure the port is closed again with its modem lines dropped and its saved state restored.
  bool Open(int32_t index);
  // Stops the reader (waiting without limit), drops DTR and RTS and closes the port.
  void Close();
  bool IsOpen() const { return m_handle.valid(); }
  int32_t PortIndex() const { return m_portIndex; }

 protected:
  // Empties the port after a read cut short by a pause: nothing after it is aligned to a record.
  void DiscardShortRecord(DWORD bytes);
  bool Run() override;
  bool OnMainThreadMessage(uint32_t id, void* data) override;

 private:
  void WriteByte(char byte);
  // Reads the two handshake bytes; false when they did not arrive in time.
  bool ReadHandshake(char answer[2]);
  void DropModemLines();
  // Closes the port after a failed open, restoring its saved state when asked.
  bool FailOpen(const DCB* restore);
  void CloseEvents();
  void CancelPendingRead();
  void PostCode(const unsigned char* record);

  ZrRemoteControlBase* m_owner;
  ZrString m_settings;
  int32_t m_portIndex = -1;
  ZrFileHandle m_handle;
  int32_t m_waitFlag = 0;
  int32_t m_recordSize = 6;

  // Per port, so that two objects never share I/O state; the events live as long as the port.
  OVERLAPPED m_readOverlapped{};
  OVERLAPPED m_writeOverlapped{};
  ZrEventHandle m_readEvent;
  ZrEventHandle m_writeEvent;
  bool m_readPending = false;
  bool m_recordComplete = false;
  DWORD m_bytesRead = 0;
};
