#include "uuirt/CUuirt.h"

#include "foundation/win/ZrBoundary.h"

CUuirt::CUuirt(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) {}

CUuirt::~CUuirt() {
  // The thread must end while the part of the object it uses still exists.
  ZrThread::Stop(-1);
}

bool CUuirt::Start(bool) {
  return ZrNoThrow(false, [&] {
    SetNotBuiltError();
    return false;
  });
}

bool CUuirt::Stop() {
  RequestStop(true);
  return ZrThread::Stop(-1);
}

// The transceiver has three emitter outputs.
int32_t CUuirt::IRGetNumBlastPorts() { return 3; }

bool CUuirt::IRCanBlast() { return IRGetNumBlastPorts() > 0; }

void CUuirt::IRLearnCancel() { Stop(); }

ZrString CUuirt::GetName() { return ZrString(u"USB-UUIRT"); }
