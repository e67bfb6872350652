#include "foundation/ZrXmlText.h"

#include <string>

namespace {

struct NamedEntity {
  const char16_t* name;  // after "&", with the ";"
  int length;
  ZrChar value;
};

constexpr NamedEntity kEntities[] = {
    {u"lt;", 3, u'<'}, {u"amp;", 4, u'&'}, {u"gt;", 3, u'>'}, {u"apos;", 5, u'\''}, {u"quot;", 5, u'"'},
};

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

bool NeedsEscape(ZrChar c, bool attribute) {
  switch (c) {
    case u'&':
    case u'<':
    case u'>':
      return true;
    case u'"':
    case u'\'':
      return attribute;
    case u'\t':
    case u'\n':
    case u'\r':
      return false;
    default:
      return c < 0x20 || c == 0xFFFE || c == 0xFFFF;
  }
}

}  // namespace

ZrString DecodeXmlText(const ZrChar* text, int length) {
  if (!text || length <= 0) return ZrString();
  int first = 0;
  while (first < length && text[first] != u'&') ++first;
  if (first == length) return ZrString::FromUnits(text, static_cast<size_t>(length));

  std::u16string out(text, static_cast<size_t>(first));
  out.reserve(static_cast<size_t>(length));
  for (int i = first; i < length;) {
    const ZrChar c = text[i];
    if (c != u'&') {
      out.push_back(c);
      ++i;
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
          out.push_back(static_cast<ZrChar>(0xD800 + (code >> 10)));
          out.push_back(static_cast<ZrChar>(0xDC00 + (code & 0x3FF)));
        } else {
          out.push_back(static_cast<ZrChar>(code));
        }
      }
    } else {
      for (const NamedEntity& entity : kEntities) {
        if (length - (i + 1) < entity.length) continue;
        if (std::u16string_view(text + i + 1, static_cast<size_t>(entity.length)) == entity.name) {
          out.push_back(entity.value);
          consumed = entity.length + 1;
          break;
        }
      }
    }
    if (consumed) {
      i += consumed;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return ZrString::FromUnits(out.data(), out.size());
}

ZrString EscapeXmlText(const ZrString& text, bool attribute) {
  const ZrChar* p = text.c_str();
  const int length = text.Length();
  int first = 0;
  while (first < length && !NeedsEscape(p[first], attribute)) ++first;
  if (first == length) return text;

  std::u16string out(p, static_cast<size_t>(first));
  out.reserve(static_cast<size_t>(length) + 16);
  for (int i = first; i < length; ++i) {
    const ZrChar c = p[i];
    if (!NeedsEscape(c, attribute)) {
      out.push_back(c);
      continue;
    }
    switch (c) {
      case u'&': out.append(u"&amp;"); break;
      case u'<': out.append(u"&lt;"); break;
      case u'>': out.append(u"&gt;"); break;
      case u'"': out.append(u"&quot;"); break;
      case u'\'': out.append(u"&apos;"); break;
      case 0x0001: out.append(u"&#x1;"); break;
      default: out.push_back(u'?'); break;
    }
  }
  return ZrString::FromUnits(out.data(), out.size());
}
