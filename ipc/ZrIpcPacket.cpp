#include "ipc/ZrIpcPacket.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// True when the eight units at p are all below 0x80.
inline bool AllAscii8(__m128i units) {
  const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF;
}
#endif

inline int UnitLength(ZrChar c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; }

// One 16-bit unit at a time: a surrogate pair becomes two three-byte sequences, as the peers
// expect; characters beyond 16 bits are not carried as such.
int64_t EncodedLength(const ZrChar* p, int n) {
  int64_t bytes = 1;  // the closing 0
  int i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8) {
    if (AllAscii8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)))) {
      bytes += 8;
    } else {
      for (int k = 0; k < 8; ++k) bytes += UnitLength(p[i + k]);
    }
  }
#endif
  for (; i < n; ++i) bytes += UnitLength(p[i]);
  return bytes;
}

inline uint8_t* EncodeUnit(uint8_t* out, ZrChar c) {
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
  return out;
}

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

}  // namespace

void ZrIpcPacket::ToBytes(ZrByteBuffer& buffer) const {
  ZrString text;
  ToXml(text, kRootTag, false, 1.0);
  const ZrChar* p = text.c_str();
  const int n = text.Length();
  buffer.Empty();
  if (!buffer.Grow(EncodedLength(p, n), false, 0, true)) return;
  uint8_t* out = buffer.Data();
  int i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (AllAscii8(units)) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
      out += 8;
    } else {
      for (int k = 0; k < 8; ++k) out = EncodeUnit(out, p[i + k]);
    }
  }
#endif
  for (; i < n; ++i) out = EncodeUnit(out, p[i]);
  *out = 0;
}

bool ZrIpcPacket::FromBytes(const ZrByteBuffer& buffer) {
  // The text ends at the first 0 byte or at the end of the data, whichever comes first; a sender
  // need not send the 0. Reading is bounded by the data, so a lead byte at the very end cannot
  // reach past it (a 0 byte, like the end, is never a continuation byte).
  const uint8_t* in = buffer.Data();
  int64_t size = in ? buffer.Size() : 0;
  if (size > 0) {
    if (const void* zero = std::memchr(in, 0, static_cast<size_t>(size))) size = static_cast<const uint8_t*>(zero) - in;
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
#if defined(__SSE2__)
      // Runs of ASCII, sixteen bytes at a time.
      if (i + 16 <= size) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const int high = _mm_movemask_epi8(bytes);
        if (!high) {
          const __m128i zero = _mm_setzero_si128();
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(bytes, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8), _mm_unpackhi_epi8(bytes, zero));
          i += 16;
          n += 16;
          continue;
        }
        for (const int64_t ascii = i + __builtin_ctz(static_cast<unsigned>(high)); i < ascii;) out[n++] = in[i++];
      }
#endif
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
