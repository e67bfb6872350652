#include "serial/CIRMAN.h"

#include "plugin/ZrBoundary.h"

CIRMAN::CIRMAN(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) {}

CIRMAN::~CIRMAN() = default;

bool CIRMAN::Start(bool) {
  // The serial receiver is not part of this build yet: say so instead of pretending to listen.
  return ZrNoThrow(false, [&] {
    SetNotBuiltError();
    return false;
  });
}

bool CIRMAN::Stop() { return true; }

int32_t CIRMAN::IRGetNumBlastPorts() { return 0; }

bool CIRMAN::IRCanBlast() { return false; }

bool CIRMAN::IRBlast(const wchar_t*) { return false; }

bool CIRMAN::IRLearn(IZrLearnCallback*) { return false; }

void CIRMAN::IRLearnCancel() {}

ZrString CIRMAN::GetName() { return ZrString(u"IRMAN"); }
