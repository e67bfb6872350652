#include "foundation/ZrRawInputRecord.h"

#include <cstring>

namespace {

template <typename T>
T Read(const uint8_t* data, size_t offset) {
  T value;
  std::memcpy(&value, data + offset, sizeof value);
  return value;
}

}  // namespace

bool ZrReadRawInputRecord(const uint8_t* data, size_t size, ZrRawInputRecord& out) {
  out = ZrRawInputRecord();
  if (!data || size < kRawInputHeaderSize) return false;
  out.type = Read<uint32_t>(data, 0);
  out.device = Read<uint64_t>(data, 8);
  const size_t body = kRawInputHeaderSize;
  if (out.type == kRawInputTypeKeyboard) {
    if (size < body + kRawKeyboardSize) return false;
    out.vkey = Read<uint16_t>(data, body + 6);
    out.message = Read<uint32_t>(data, body + 8);
  } else if (out.type == kRawInputTypeHid) {
    if (size < body + kRawHidHeaderSize) return false;
    out.reportSize = Read<uint32_t>(data, body);
    out.reportCount = Read<uint32_t>(data, body + 4);
    // In 64 bits, so that no product of two 32-bit counts can wrap past the check.
    const uint64_t claimed = static_cast<uint64_t>(out.reportSize) * out.reportCount;
    if (claimed > size - body - kRawHidHeaderSize) return false;
    out.reports = data + body + kRawHidHeaderSize;
  }
  return true;
}
