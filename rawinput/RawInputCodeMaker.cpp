#include "rawinput/RawInputCodeMaker.h"

namespace {

constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmSysKeyDown = 0x0104;
constexpr uint32_t kWmAppCommand = 0x0319;

// Reports that remotes send when a button is let go, or as idle noise: never codes.
constexpr const ZrChar* kSilentReports[] = {u"02000000", u"0100000000010000", u"010000"};

ZrString Hex(const uint8_t* bytes, uint32_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  ZrString text;
  ZrChar* out = text.GetBuffer(static_cast<int>(count * 2));
  for (uint32_t i = 0; i < count; ++i) {
    out[2 * i] = static_cast<ZrChar>(kDigits[bytes[i] >> 4]);
    out[2 * i + 1] = static_cast<ZrChar>(kDigits[bytes[i] & 15]);
  }
  text.ReleaseBuffer(static_cast<int>(count * 2));
  return text;
}

// "%02x": lower case, at least two digits.
ZrString KeyText(uint16_t vkey) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char buffer[8];
  int n = 0;
  for (uint32_t v = vkey; n < 2 || v; v >>= 4) buffer[n++] = kDigits[v & 15];
  ZrString text;
  while (n) text.Append(static_cast<ZrChar>(buffer[--n]));
  return text;
}

}  // namespace

bool RawInputCodeMaker::IsModifier(uint16_t vkey) {
  switch (vkey) {
    case 0x10: case 0x11: case 0x12: case 0x5B: case 0x5C: case 0x5D:
      return true;
    default:
      return false;
  }
}

RawInputCode RawInputCodeMaker::MakeCode(const ZrRawInputRecord& record) {
  RawInputCode code;
  ZrString report;
  if (record.type == kRawInputTypeHid) {
    // Only the first report counts, whatever the count says.
    if (record.reportCount > 0 && record.reports) report = Hex(record.reports, record.reportSize);
    for (const ZrChar* silent : kSilentReports)
      if (report == silent) report.Empty();
  } else if (record.type == kRawInputTypeKeyboard) {
    if (record.message == kWmKeyDown || record.message == kWmSysKeyDown || record.message == kWmAppCommand) {
      code.vkey = record.vkey;
      const ZrString key = KeyText(record.vkey);
      if (IsModifier(record.vkey)) {
        // A held modifier auto-repeats; it counts once.
        if (m_modifiers.IsEmpty() || !(m_modifiers[m_modifiers.GetCount() - 1] == key)) m_modifiers.Add(key);
      } else {
        // Control+Shift and Shift+Control are the same chord.
        if (m_modifiers.GetCount() >= 2) ZrStringArraySort(m_modifiers);
        for (const ZrString& modifier : m_modifiers) report += modifier;
        report += key;
        m_modifiers.RemoveAll();
      }
    } else {
      m_modifiers.RemoveAll();
    }
  }
  if (!report.IsEmpty()) code.text = m_prefix + report;
  return code;
}
