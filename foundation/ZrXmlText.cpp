#include "foundation/ZrXmlText.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct NamedEntity {
  const char16_t* name;  // after "&", with the ";"
  int length;
  ZrChar value;
};

constexpr NamedEntity kEntities[] = {
    {u"lt;", 3, u'<'}, {u"amp;", 4, u'&'}, {u"gt;", 3, u'>'}, {u"apos;", 5, u'\''}, {u"quot;", 5, u'"'},
};

// The named entity that text (just after an "&") begins with, if any.
inline const NamedEntity* MatchEntity(const ZrChar* text, int available) {
  if (available < 3) return nullptr;
  const NamedEntity* candidate = nullptr;
  switch (text[0]) {
    case u'l': candidate = &kEntities[0]; break;
    case u'a': candidate = text[1] == u'm' ? &kEntities[1] : &kEntities[3]; break;
    case u'g': candidate = &kEntities[2]; break;
    case u'q': candidate = &kEntities[4]; break;
    default: return nullptr;
  }
  if (available < candidate->length) return nullptr;
  for (int k = 1; k < candidate->length; ++k)
    if (text[k] != candidate->name[k]) return nullptr;
  return candidate;
}

// Longest run between "&#" and ";" that is read as a reference.
constexpr int kMaxReferenceChars = 7;

int HexValue(ZrChar c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads the reference after "&#" at text[pos..]; returns the offset just past its ";" (0 when the
// text is no reference) and the code point.
int ReadReference(const ZrChar* text, int pos, int length, uint32_t& code) {
  int i = pos;
  const bool hex = i < length && text[i] == u'x';
  if (hex) ++i;
  const int digitsStart = i;
  uint32_t value = 0;
  while (i < length && i - pos < kMaxReferenceChars) {
    const ZrChar c = text[i];
    const int digit = hex ? HexValue(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
    if (digit < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    ++i;
  }
  if (i == digitsStart || i >= length || text[i] != u';') return 0;
  if (value == 0 || value > 0x10FFFF) return 0;
  code = value;
  return i + 1;
}

// Characters below 0x80 that are escaped: bit 0 in element text, bit 1 in attribute values.
// Control characters but tab, line feed and carriage return count in both.
constexpr auto kEscapeTable = [] {
  struct Table {
    uint8_t bits[128] = {};
  } table;
  for (int c = 0; c < 0x20; ++c) table.bits[c] = 3;
  table.bits[u'\t'] = table.bits[u'\n'] = table.bits[u'\r'] = 0;
  table.bits[u'&'] = table.bits[u'<'] = table.bits[u'>'] = 3;
  table.bits[u'"'] = table.bits[u'\''] = 2;
  return table;
}();

inline bool NeedsEscape(ZrChar c, bool attribute) {
  if (c < 0x80) return (kEscapeTable.bits[c] >> (attribute ? 1 : 0)) & 1;
  return c >= 0xFFFE;
}

// Offset of the first character in text[pos, length) that needs escaping, or length.
int FirstToEscape(const ZrChar* text, int pos, int length, bool attribute) {
#if defined(__SSE2__)
  const __m128i below = _mm_set1_epi16(0x1F);
  const __m128i tab = _mm_set1_epi16(u'\t');
  const __m128i lf = _mm_set1_epi16(u'\n');
  const __m128i cr = _mm_set1_epi16(u'\r');
  const __m128i amp = _mm_set1_epi16(u'&');
  const __m128i lt = _mm_set1_epi16(u'<');
  const __m128i gt = _mm_set1_epi16(u'>');
  const __m128i dq = _mm_set1_epi16(attribute ? u'"' : u'&');
  const __m128i sq = _mm_set1_epi16(attribute ? u'\'' : u'&');
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFFFF));
  for (; pos + 8 <= length; pos += 8) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
    // Below 0x20 (unsigned) but for tab, line feed and carriage return.
    __m128i hits = _mm_cmpeq_epi16(_mm_subs_epu16(c, below), _mm_setzero_si128());
    hits = _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi16(c, tab), _mm_or_si128(_mm_cmpeq_epi16(c, lf), _mm_cmpeq_epi16(c, cr))), hits);
    hits = _mm_or_si128(hits, _mm_or_si128(_mm_cmpeq_epi16(c, amp), _mm_or_si128(_mm_cmpeq_epi16(c, lt), _mm_cmpeq_epi16(c, gt))));
    hits = _mm_or_si128(hits, _mm_or_si128(_mm_cmpeq_epi16(c, dq), _mm_cmpeq_epi16(c, sq)));
    hits = _mm_or_si128(hits, _mm_cmpeq_epi16(_mm_or_si128(c, _mm_set1_epi16(1)), high));  // U+FFFE, U+FFFF
    const int mask = _mm_movemask_epi8(hits);
    if (mask) return pos + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
  }
#endif
  while (pos < length && !NeedsEscape(text[pos], attribute)) ++pos;
  return pos;
}

}  // namespace

ZrString DecodeXmlText(const ZrChar* text, int length) {
  if (!text || length <= 0) return ZrString();
  int first = 0;
  while (first < length && text[first] != u'&') ++first;
  if (first == length) return ZrString::FromUnits(text, static_cast<size_t>(length));

  // Decoding never lengthens the text: a reference of 8 or more units gives at most 2.
  ZrString result;
  ZrChar* out = result.GetBuffer(length);
  std::memcpy(out, text, sizeof(ZrChar) * static_cast<size_t>(first));
  int n = first;
  for (int i = first; i < length;) {
    if (text[i] != u'&') {
      int run = i + 1;
      while (run < length && text[run] != u'&') ++run;
      std::memcpy(out + n, text + i, sizeof(ZrChar) * static_cast<size_t>(run - i));
      n += run - i;
      i = run;
      continue;
    }
    int consumed = 0;
    if (i + 1 < length && text[i + 1] == u'#') {
      uint32_t code = 0;
      const int end = ReadReference(text, i + 2, length, code);
      if (end) {
        consumed = end - i;
        if (code > 0xFFFF) {
          code -= 0x10000;
          out[n++] = static_cast<ZrChar>(0xD800 + (code >> 10));
          out[n++] = static_cast<ZrChar>(0xDC00 + (code & 0x3FF));
        } else {
          out[n++] = static_cast<ZrChar>(code);
        }
      }
    } else if (const NamedEntity* entity = MatchEntity(text + i + 1, length - (i + 1))) {
      out[n++] = entity->value;
      consumed = entity->length + 1;
    }
    if (consumed) {
      i += consumed;
    } else {
      out[n++] = u'&';
      ++i;
    }
  }
  result.ReleaseBuffer(n);
  return result;
}

ZrString EscapeXmlText(const ZrString& text, bool attribute) {
  const ZrChar* p = text.c_str();
  const int length = text.Length();
  const int first = FirstToEscape(p, 0, length, attribute);
  if (first == length) return text;

  int escapedLength = first;
  for (int i = first; i < length; ++i) {
    switch (p[i]) {
      case u'&': escapedLength += 5; break;
      case u'<':
      case u'>': escapedLength += 4; break;
      case u'"':
      case u'\'': escapedLength += attribute ? 6 : 1; break;
      case 0x0001: escapedLength += 5; break;
      default: escapedLength += 1; break;
    }
  }
  ZrString result;
  ZrChar* out = result.GetBuffer(escapedLength);
  std::memcpy(out, p, sizeof(ZrChar) * static_cast<size_t>(first));
  out += first;
  const auto put = [&out](std::u16string_view piece) {
    std::memcpy(out, piece.data(), sizeof(ZrChar) * piece.size());
    out += piece.size();
  };
  for (int i = first; i < length; ++i) {
    const ZrChar c = p[i];
    if (!NeedsEscape(c, attribute)) {
      *out++ = c;
      continue;
    }
    switch (c) {
      case u'&': put(u"&amp;"); break;
      case u'<': put(u"&lt;"); break;
      case u'>': put(u"&gt;"); break;
      case u'"': put(u"&quot;"); break;
      case u'\'': put(u"&apos;"); break;
      case 0x0001: put(u"&#x1;"); break;
      default: *out++ = u'?'; break;
    }
  }
  result.ReleaseBuffer(escapedLength);
  return result;
}
