#include "serial/CIRMAN.h"

#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrBoundary.h"

CIRMAN::CIRMAN(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) {}

CIRMAN::~CIRMAN() {
  ZrNoThrowVoid([&] {
    ClosePort();
    m_serial.reset();
  });
}

void CIRMAN::ClosePort() {
  if (m_serial && m_serial->IsOpen()) m_serial->Close();
}

bool CIRMAN::Start(bool) {
  return ZrNoThrow(false, [&] {
    ClosePort();
    m_serial = std::make_unique<ZrSerialComm>(this);
    m_serial->SetSettings(ZrString(u"9600,n,8,1"));
    m_serial->SetWaitFlag(6);
    m_serial->SetRecordSize(6);
    for (int index = kFirstPort; index <= kLastPort; ++index)
      if (m_serial->Open(index)) break;
    if (!m_serial->IsOpen()) SetNoReceiverError();
    return m_serial->IsOpen();
  });
}

bool CIRMAN::Stop() {
  ZrNoThrowVoid([&] { ClosePort(); });
  return true;
}

void CIRMAN::SetNoReceiverError() {
  // The pieces are translated one by one, as the translation tables hold them.
  ZrString a(u" Also make sure the COM nPort is enabled in the BIOS and exists in Control Panel/System/Ports.");
  ZrTranslate(a);
  ZrString b(u" Make sure another program isn't taking control of it.\n");
  ZrTranslate(b);
  ZrString c(u"Can't open IR remote control device on any COM nPort.\n");
  ZrTranslate(c);
  m_lastError = c + b + a;
}

int32_t CIRMAN::OpenPortIndex() const { return m_serial && m_serial->IsOpen() ? m_serial->PortIndex() : -1; }

ZrString CIRMAN::GetName() { return ZrString(u"IRMAN"); }
