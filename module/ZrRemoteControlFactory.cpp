#include "module/ZrRemoteControlFactory.h"

#include <new>

#include "mce/CMCERemote.h"
#include "foundation/win/ZrBoundary.h"
#include "rawinput/CRawInput.h"
#include "serial/CIRMAN.h"
#include "uuirt/CUuirt.h"

IZrRemoteControl* ZrCreateRemoteControl(int type, IZrRemoteControlHost* host) noexcept {
  return ZrNoThrow<IZrRemoteControl*>(nullptr, [&]() -> IZrRemoteControl* {
    switch (type) {
      case 0:
        return new CMCERemote(host);
      case 1:
        return new CRawInput(host);
      case 2:
        return new CIRMAN(host);
      case 3:
        return new CUuirt(host);
      default:
        return nullptr;
    }
  });
}
