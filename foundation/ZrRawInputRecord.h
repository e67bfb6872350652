#pragma once
// A raw-input record as GetRawInputData writes it in a 64-bit process, read from its bytes. Every
// size inside a record is untrusted: a record is only taken when the parts it claims lie inside
// the bytes that were actually written.

#include <cstddef>
#include <cstdint>

// The x64 layout: RAWINPUTHEADER (type, size, device, wParam) then the device-specific part.
inline constexpr size_t kRawInputHeaderSize = 24;
inline constexpr size_t kRawKeyboardSize = 16;
inline constexpr size_t kRawHidHeaderSize = 8;  // dwSizeHid, dwCount; bRawData follows

inline constexpr uint32_t kRawInputTypeMouse = 0;
inline constexpr uint32_t kRawInputTypeKeyboard = 1;
inline constexpr uint32_t kRawInputTypeHid = 2;

struct ZrRawInputRecord {
  uint32_t type = 0;
  uint64_t device = 0;  // the header's hDevice
  // Keyboard records.
  uint16_t vkey = 0;
  uint32_t message = 0;
  // HID records: the reports, dwSizeHid bytes each, dwCount of them, all inside the record.
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  const uint8_t* reports = nullptr;
};

// Reads the header and the part its type calls for. False when the bytes are too few for the
// header, for a keyboard part, or for the HID reports that dwSizeHid x dwCount claims; other types
// are read by their header alone.
bool ZrReadRawInputRecord(const uint8_t* data, size_t size, ZrRawInputRecord& out);
