#include "rawinput/CRawInput.h"

#include <iterator>

#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrBoundary.h"

namespace {

// Consumer control, the two MCE remote collections, keyboards and system control.
constexpr ZrRemoteControlBase::Collection kCollections[] = {
    {0x000C, 0x0001}, {0x000C, 0x0080}, {0xFFBC, 0x0088}, {0x0001, 0x0006}, {0x0001, 0x0080},
};

}  // namespace

CRawInput::CRawInput(IZrRemoteControlHost* host) : ZrRemoteControlBase(host) { CreateTargetWindow(); }

CRawInput::~CRawInput() = default;

bool CRawInput::Start(bool) {
  return ZrNoThrow(false, [&] {
    SetNotBuiltError();
    return false;
  });
}

bool CRawInput::Stop() {
  m_started = false;
  return true;
}

bool CRawInput::SetInfo(const wchar_t*, const wchar_t*) {
  // The table of active codes is not part of this build yet, so no setting is taken.
  return false;
}

bool CRawInput::GetRawInputDevice(int32_t index, RAWINPUTDEVICE* device) {
  return FillRawInputDevice(kCollections, static_cast<int>(std::size(kCollections)), index, device);
}

bool CRawInput::OnWindowMessage(UINT, WPARAM, LPARAM) { return false; }

ZrString CRawInput::GetName() { return ZrString(u"Raw Input"); }

ZrString CRawInput::GetDisplayName() {
  ZrString name(u"Remote, keyboard, gamepad or other HID");
  ZrTranslate(name);
  return name;
}
