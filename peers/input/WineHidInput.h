#pragma once
// HID reports sent as raw input without a HID device, through the Wine server's private request
// "send_hardware_message". Wine's public path (__wine_send_input) refuses HID input from a process
// that does not own the device; the server itself delivers the report, with the usage page, usage
// and device handle we choose, to every window registered for that collection.
//
// The request's number and layout belong to one Wine build; Open refuses any other version.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/win/ZrWindows.h"

class WineHidInput {
 public:
  // The Wine version this layout was measured on.
  static constexpr const char* kSupportedVersion = "8.0";

  // Checks the Wine version and finds the server call. False with a reason in Error() when this is
  // not Windows under Wine 8.0.
  bool Open();
  const std::string& Error() const { return m_error; }
  const std::string& Version() const { return m_version; }

  // One report (its first byte is the report id) on the collection (page, usage), as if the device
  // with this handle sent it. Answers the server's status (0 on success).
  uint32_t Send(uint16_t page, uint16_t usage, uint32_t device, const std::vector<uint8_t>& report);

 private:
  using ServerCall = unsigned int(__cdecl*)(void* request);
  ServerCall m_call = nullptr;
  std::string m_error;
  std::string m_version;
};
