#include "mce/CMCERemote.h"

#include <iterator>

#include "foundation/win/ZrBoundary.h"

namespace {

// The MCE remote's vendor collection first, then consumer control.
constexpr ZrRemoteControlBase::Collection kCollections[] = {{0xFFBC, 0x0088}, {0x000C, 0x0001}};

}  // namespace

CMCERemote::CMCERemote(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) {}

CMCERemote::~CMCERemote() = default;

bool CMCERemote::Start(bool) {
  return ZrNoThrow(false, [&] {
    SetNotBuiltError();
    return false;
  });
}

bool CMCERemote::Stop() {
  m_started = false;
  return true;
}

bool CMCERemote::IRCanBlast() { return true; }

bool CMCERemote::GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) {
  return FillRawInputDevice(kCollections, static_cast<int>(std::size(kCollections)), index, device);
}

bool CMCERemote::OnWindowMessage(UINT, WPARAM, LPARAM) { return false; }

ZrString CMCERemote::GetName() { return ZrString(u"MCE"); }

ZrString CMCERemote::GetDisplayName() { return ZrString(u"Microsoft MCE"); }

bool CMCERemote::GetEnableOnInstall() { return true; }
