#include "plugin/ZrRemoteControlBase.h"

#include <cmath>
#include <limits>

#include "foundation/ZrConvert.h"
#include "foundation/ZrFormat.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrBoundary.h"

namespace {

ZrString FlagText(bool value) { return ZrString(value ? u"1" : u"0"); }

}  // namespace

ZrRemoteControlBase::ZrRemoteControlBase(IZrRemoteControlHost* host) : m_host(host) {}

ZrRemoteControlBase::~ZrRemoteControlBase() = default;

void* ZrRemoteControlBase::DeletingDestructor(unsigned flags) noexcept {
  // Destructors do not throw; delete reaches the most derived class through our virtual destructor.
  if (flags & kFreeMemory)
    delete this;
  else
    this->~ZrRemoteControlBase();
  return this;
}

bool ZrRemoteControlBase::Start(bool flag) {
  m_started = flag;
  return false;
}

bool ZrRemoteControlBase::Stop() {
  m_started = false;
  return false;
}

bool ZrRemoteControlBase::ReservedQuery() { return false; }

int32_t ZrRemoteControlBase::IRGetNumBlastPorts() { return 0; }

bool ZrRemoteControlBase::IRCanBlast() { return false; }

bool ZrRemoteControlBase::IRBlast(const wchar_t*) { return false; }

bool ZrRemoteControlBase::IRLearn(IZrLearnCallback*) { return false; }

void ZrRemoteControlBase::IRLearnCancel() {}

BSTR ZrRemoteControlBase::GetInfo(const wchar_t* name) {
  BSTR answer = ZrNoThrow<BSTR>(nullptr, [&]() -> BSTR {
    if (!ZrIsReadableString(name)) return nullptr;
    const ZrChar* key = ZrU(name);
    ZrString text;
    if (ZrCompareNoCase(key, u"Version") == 0)
      text = ZrIntToText(3);
    else if (ZrCompareNoCase(key, u"Display Name") == 0)
      text = GetDisplayName();
    else if (ZrCompareNoCase(key, u"Name") == 0)
      text = GetName();
    else if (ZrCompareNoCase(key, u"Last Error") == 0)
      text = m_lastError;
    else if (ZrCompareNoCase(key, u"Configurable") == 0)
      text = FlagText(IsConfigurable());
    else if (ZrCompareNoCase(key, u"EnableOnInstall") == 0)
      text = FlagText(GetEnableOnInstall());
    else
      return nullptr;
    return ZrToBstr(text);
  });
  // Anything not answered, the host still gets a string it can read and free.
  return answer ? answer : SysAllocString(L"");
}

bool ZrRemoteControlBase::SetInfo(const wchar_t* name, const wchar_t* value) {
  if (!ZrIsReadableString(name) || ZrCompareNoCase(ZrU(name), u"System Shutdown") != 0) return false;
  // An unreadable value counts as missing, and a missing value as 0.
  const int32_t number = ZrIsReadableString(value) ? ZrToInt(ZrU(value)) : 0;
  m_systemShutdown = number != 0;
  return true;
}

bool ZrRemoteControlBase::GetRawInputDevice(int32_t, RAWINPUTDEVICE*) { return false; }

bool ZrRemoteControlBase::OnWindowMessage(UINT, WPARAM, LPARAM) { return false; }

ZrString ZrRemoteControlBase::GetDisplayName() { return GetName(); }

bool ZrRemoteControlBase::IsConfigurable() { return false; }

bool ZrRemoteControlBase::GetEnableOnInstall() { return false; }

int32_t ZrRemoteControlBase::RoundMilliseconds(double milliseconds) {
  if (std::isnan(milliseconds)) return 0;
  const double rounded = milliseconds > 0 ? milliseconds + 0.5 : milliseconds - 0.5;
  // A code after weeks of silence must not overflow the conversion.
  if (rounded >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (rounded <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(rounded);
}

void ZrRemoteControlBase::DeliverCode(const ZrString& code) {
  const int32_t milliseconds = RoundMilliseconds(m_codeTimer.ElapsedMs(true));
  if (!m_host) return;
  const ZrBstr text(ZrToBstr(code));
  if (!text) return;
  m_host->OnRemoteCode(this, text.get(), milliseconds);
}

bool ZrRemoteControlBase::FillRawInputDevice(const Collection* table, int count, int32_t index,
                                             RAWINPUTDEVICE* device) {
  if (!device || index < 0 || index >= count) return false;
  device->usUsagePage = table[index].page;
  device->usUsage = table[index].usage;
  device->dwFlags = RIDEV_INPUTSINK;
  return true;
}
