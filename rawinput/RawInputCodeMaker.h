#pragma once
// How one raw-input record of a device becomes a code text: the device's code prefix followed by a
// hex dump of a HID report, or by a keyboard key with the modifier keys held before it. The
// modifier list is the device's own state between records.

#include <cstdint>

#include "foundation/ZrArray.h"
#include "foundation/ZrString.h"
#include "foundation/ZrRawInputRecord.h"

struct RawInputCode {
  ZrString text;      // empty: nothing to deliver
  uint16_t vkey = 0;  // the virtual key of a keyboard key press, 0 otherwise
};

class RawInputCodeMaker {
 public:
  void SetPrefix(const ZrString& prefix) { m_prefix = prefix; }
  const ZrString& Prefix() const { return m_prefix; }
  const ZrStringArray& Modifiers() const { return m_modifiers; }

  RawInputCode MakeCode(const ZrRawInputRecord& record);

  // Virtual keys collected in front of the next key: shift, control, alt, both Windows keys, the
  // application key.
  static bool IsModifier(uint16_t vkey);

 private:
  ZrString m_prefix;
  ZrStringArray m_modifiers;
};
