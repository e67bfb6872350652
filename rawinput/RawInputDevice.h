#pragma once
// One raw-input device the plug-in listens to: its handle, the code prefix that names its kind and
// the modifier keys it has reported since its last key.

#include "foundation/ZrString.h"
#include "foundation/win/ZrSystemFunctions.h"
#include "foundation/win/ZrWindows.h"
#include "rawinput/RawInputCodeMaker.h"

class RawInputDevice {
 public:
  explicit RawInputDevice(HANDLE handle) : m_handle(handle) {}

  // Fills the code prefix from the device's system name. False for a device that does not answer
  // the name and information queries or whose name has fewer than four "#" parts.
  bool Identify();
  // The same through the given table (tests point its entries at a fake device list).
  bool Identify(const ZrUser32Functions& user32);

  // The code of one record of this device, read from the bytes GetRawInputData wrote.
  RawInputCode MakeCode(const ZrRawInputRecord& record) { return m_maker.MakeCode(record); }

  HANDLE Handle() const { return m_handle; }
  const ZrString& CodePrefix() const { return m_maker.Prefix(); }
  const ZrStringArray& Modifiers() const { return m_maker.Modifiers(); }

  // The prefix for a device identifier (the second "#" part of a device name): "<vid>_<pid>_" when
  // both markers are found with text after them, else the identifier with "&" made "_" and "_"
  // added. The markers are found through the tools library, without regard to case.
  static ZrString PrefixFromIdentifier(const ZrString& identifier);

 private:
  HANDLE m_handle;
  RawInputCodeMaker m_maker;
};
