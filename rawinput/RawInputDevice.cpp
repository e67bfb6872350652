#include "rawinput/RawInputDevice.h"

#include <vector>

#include "foundation/ZrFormat.h"
#include "foundation/win/ZrToolsAccess.h"

namespace {

constexpr int kFindIgnoringCase = 3;

// The text after the marker up to the next "&", or to the end of the identifier.
ZrString MarkerValue(const ZrString& identifier, const ZrChar* marker) {
  IZrTextUtils* utils = ZrGetTextUtils();
  if (!utils) return ZrString();
  const int found = utils->Find(ZrW(identifier.c_str()), ZrW(marker), kFindIgnoringCase);
  if (found < 0 || found >= identifier.Length()) return ZrString();
  const int start = found + static_cast<int>(ZrLength(marker));
  if (start > identifier.Length()) return ZrString();
  const int end = identifier.Find(u'&', start);
  return identifier.Mid(start, end < 0 ? -1 : end - start);
}

}  // namespace

ZrString RawInputDevice::PrefixFromIdentifier(const ZrString& identifier) {
  const ZrString vid = MarkerValue(identifier, u"Vid_");
  const ZrString pid = MarkerValue(identifier, u"Pid_");
  if (!vid.IsEmpty() && !pid.IsEmpty()) return ZrFormatV(u"%s_%s_", {vid, pid});
  ZrString prefix = identifier + u"_";
  prefix.Replace(u"&", u"_");
  return prefix;
}

bool RawInputDevice::Identify() {
  ZrUser32Functions user32;
  ZrKernel32Functions kernel32;
  ZrSetupApiFunctions setupApi;
  return Identify(user32);
}

bool RawInputDevice::Identify(const ZrUser32Functions& user32) {
  if (!user32.GetRawInputDeviceInfoW) return false;
  UINT length = 0;
  if (user32.GetRawInputDeviceInfoW(m_handle, RIDI_DEVICENAME, nullptr, &length) == static_cast<UINT>(-1) ||
      length == 0)
    return false;
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  if (user32.GetRawInputDeviceInfoW(m_handle, RIDI_DEVICENAME, buffer.data(), &length) == static_cast<UINT>(-1))
    return false;
  // The answer may lack its terminator; the extra unit above supplies one.
  const ZrString name(ZrU(buffer.data()));

  // The information is not used; a device must merely answer for it.
  RID_DEVICE_INFO info = {};
  info.cbSize = sizeof info;
  UINT size = sizeof info;
  if (user32.GetRawInputDeviceInfoW(m_handle, RIDI_DEVICEINFO, &info, &size) == static_cast<UINT>(-1)) return false;

  ZrStringArray parts;
  for (int start = 0;;) {
    const int hash = name.Find(u'#', start);
    parts.Add(name.Mid(start, hash < 0 ? -1 : hash - start));
    if (hash < 0) break;
    start = hash + 1;
  }
  if (parts.GetCount() < 4) return false;
  m_maker.SetPrefix(PrefixFromIdentifier(parts[1]));
  return true;
}
