#pragma once
// The plug-in for the IRMAN serial infrared receiver: finds the receiver on COM1-COM8 by its
// handshake and hands every 6-byte record to the host as a 12-digit hex code. It neither blasts nor
// learns.
//
// Every operation runs on the host's thread. Codes are read on the serial port's thread and
// delivered on the host's main thread.

#include <memory>

#include "plugin/ZrRemoteControlBase.h"
#include "serial/ZrSerialComm.h"

class CIRMAN : public ZrRemoteControlBase {
 public:
  static constexpr int kFirstPort = 0;  // COM1
  static constexpr int kLastPort = 7;   // COM8

  explicit CIRMAN(IZrRemoteControlHost* host);
  ~CIRMAN() override;

  // The flag is ignored. Answers whether a receiver was found and is being read.
  bool Start(bool flag) override;
  // Closes the port if one is open; always true.
  bool Stop() override;
  ZrString GetName() override;

  // The open port's index, -1 when none is open (for the host's diagnostics and for tests).
  int32_t OpenPortIndex() const;

 private:
  void ClosePort();
  void SetNoReceiverError();

  std::unique_ptr<ZrSerialComm> m_serial;
};
