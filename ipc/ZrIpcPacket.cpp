#include "ipc/ZrIpcPacket.h"

#include <cstdint>

namespace {

// One 16-bit unit at a time: a surrogate pair becomes two three-byte sequences, as the peers
// expect; characters beyond 16 bits are not carried as such.
int64_t EncodedLength(const ZrString& text) {
  int64_t bytes = 1;  // the closing 0
  const ZrChar* p = text.c_str();
  for (int i = 0, n = text.Length(); i < n; ++i) bytes += p[i] < 0x80 ? 1 : p[i] < 0x800 ? 2 : 3;
  return bytes;
}

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

}  // namespace

void ZrIpcPacket::ToBytes(ZrByteBuffer& buffer) const {
  ZrString text;
  ToXml(text, kRootTag, false, 1.0);
  buffer.Empty();
  if (!buffer.Grow(EncodedLength(text), false, 0, true)) return;
  uint8_t* out = buffer.Data();
  const ZrChar* p = text.c_str();
  for (int i = 0, n = text.Length(); i < n; ++i) {
    const ZrChar c = p[i];
    if (c < 0x80) {
      *out++ = static_cast<uint8_t>(c);
    } else if (c < 0x800) {
      *out++ = static_cast<uint8_t>(0xC0 | (c >> 6));
      *out++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    } else {
      *out++ = static_cast<uint8_t>(0xE0 | (c >> 12));
      *out++ = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
      *out++ = static_cast<uint8_t>(0x80 | (c & 0x3F));
    }
  }
  *out = 0;
}

bool ZrIpcPacket::FromBytes(const ZrByteBuffer& buffer) {
  // The text ends at the first 0 byte or at the end of the data, whichever comes first; a sender
  // need not send the 0. Reading is bounded by the data, so a lead byte at the very end cannot
  // reach past it (a 0 byte, like the end, is never a continuation byte).
  const uint8_t* in = buffer.Data();
  int64_t size = in ? buffer.Size() : 0;
  for (int64_t i = 0; i < size; ++i) {
    if (in[i] == 0) {
      size = i;
      break;
    }
  }
  if (size > INT32_MAX - 1) {
    // More than a string can hold; no pipe message comes near it.
    Clear();
    return false;
  }
  ZrString text;
  if (size > 0) {
    ZrChar* out = text.GetBuffer(static_cast<int>(size));
    int n = 0;
    for (int64_t i = 0; i < size;) {
      const uint8_t b = in[i];
      const int64_t left = size - i - 1;
      if (b < 0x80) {
        out[n++] = b;
        i += 1;
      } else if ((b & 0xE0) == 0xC0 && left >= 1 && IsContinuation(in[i + 1])) {
        out[n++] = static_cast<ZrChar>(((b & 0x1F) << 6) | (in[i + 1] & 0x3F));
        i += 2;
      } else if ((b & 0xF0) == 0xE0 && left >= 2 && IsContinuation(in[i + 1]) && IsContinuation(in[i + 2])) {
        out[n++] = static_cast<ZrChar>(((b & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3F));
        i += 3;
      } else if ((b & 0xF8) == 0xF0 && left >= 3 && IsContinuation(in[i + 1]) && IsContinuation(in[i + 2]) &&
                 IsContinuation(in[i + 3])) {
        out[n++] = u'?';
        i += 4;
      } else {
        out[n++] = b;
        i += 1;
      }
    }
    text.ReleaseBuffer(n);
  }
  return FromXml(text, kRootTag, 1.0);
}
