#include "foundation/ZrConvert.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <string>

#include "foundation/ZrFormat.h"

bool ZrIsSpace(ZrChar c) {
  if (c < 256) return (ZrStringGlobals::Instance().CharClass(c) & kZrSpace) != 0;
  return std::iswspace(static_cast<wint_t>(c)) != 0;
}

bool ZrIsDigit(ZrChar c) { return c >= u'0' && c <= u'9'; }

namespace {

// Shared by the 32- and 64-bit readers: the magnitude saturates at `limit`, then the sign applies.
int64_t ReadDecimal(const ZrChar* text, uint64_t limit) {
  if (!text) return 0;
  while (*text && ZrIsSpace(*text)) ++text;
  bool negative = false;
  if (*text == u'+' || *text == u'-') negative = *text++ == u'-';
  uint64_t magnitude = 0;
  for (; ZrIsDigit(*text); ++text) {
    const unsigned digit = static_cast<unsigned>(*text - u'0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      // The rest of the digits can only saturate again.
      while (ZrIsDigit(*text)) ++text;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  const int64_t value = static_cast<int64_t>(magnitude);
  return negative ? -value : value;
}

int HexDigit(ZrChar c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

int32_t ZrToInt(const ZrChar* text) { return static_cast<int32_t>(ReadDecimal(text, 2147483647u)); }

int64_t ZrToInt64(const ZrChar* text) { return ReadDecimal(text, 9223372036854775807ull); }

double ZrToDouble(const ZrChar* text) {
  if (!text) return 0.0;
  while (*text == u' ' || *text == u'\t' || *text == u'+') ++text;
  // Rebuilt in the C locale's own notation so that strtod reads it the same under any locale.
  std::string number;
  if (*text == u'-') {
    number.push_back('-');
    ++text;
  }
  bool digits = false;
  for (; ZrIsDigit(*text); ++text, digits = true) number.push_back(static_cast<char>(*text));
  if (*text == u'.' || *text == u',') {
    ++text;
    number.push_back('.');
    for (; ZrIsDigit(*text); ++text, digits = true) number.push_back(static_cast<char>(*text));
  }
  if (!digits) return 0.0;
  if (*text == u'e' || *text == u'E') {
    const ZrChar* e = text + 1;
    std::string exponent = "e";
    if (*e == u'+' || *e == u'-') exponent.push_back(static_cast<char>(*e++));
    if (ZrIsDigit(*e)) {
      for (; ZrIsDigit(*e) && exponent.size() < 8; ++e) exponent.push_back(static_cast<char>(*e));
      number += exponent;
    }
  }
  // strtod honours the C locale's decimal point; the module sets the user's locale, so swap in
  // whatever that locale uses.
  const char point = *std::localeconv()->decimal_point;
  if (point != '.')
    for (char& c : number)
      if (c == '.') c = point;
  return std::strtod(number.c_str(), nullptr);
}

uint64_t ZrToPointer(const ZrChar* text) {
  if (!text) return 0;
  if (text[0] == u'0' && text[1] == u'x') text += 2;
  while (*text && ZrIsSpace(*text)) ++text;
  bool negative = false;
  if (*text == u'+' || *text == u'-') negative = *text++ == u'-';
  uint64_t value = 0;
  int count = 0;
  for (int d; (d = HexDigit(*text)) >= 0; ++text) {
    if (++count > 16) {
      value = ~0ull;
      break;
    }
    value = (value << 4) | static_cast<unsigned>(d);
  }
  return negative ? 0 - value : value;
}

ZrString ZrIntToText(int64_t value, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  char buffer[72];
  char* p = buffer + sizeof buffer;
  *--p = 0;
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    const unsigned digit = static_cast<unsigned>(magnitude % static_cast<unsigned>(radix));
    *--p = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
    magnitude /= static_cast<unsigned>(radix);
  } while (magnitude);
  if (negative) *--p = '-';
  return ZrString::FromNarrow(p);
}

namespace {
// snprintf writes the current locale's decimal point; the text forms always use ".".
ZrString FixedPoint(double value, int decimals) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  const char point = *std::localeconv()->decimal_point;
  for (char* c = buffer; *c; ++c)
    if (*c == point) *c = '.';
  return ZrString::FromNarrow(buffer);
}
}  // namespace

ZrString ZrDoubleToText(double value) {
  if (!std::isfinite(value)) return ZrString(u"?");
  ZrString text = FixedPoint(value, 16);
  int end = text.Length();
  const int point = text.Find(u'.');
  if (point >= 0) {
    while (end > point + 1 && text[end - 1] == u'0') --end;
    if (end == point + 1) end = point;
  }
  ZrString trimmed = text.Left(end);
  if (trimmed == u"-0") return ZrString(u"0");
  return trimmed;
}

ZrString ZrDoubleToText1(double value) {
  // Unlike the stored number forms, this one speaks the current locale (its decimal separator).
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return ZrString::FromNarrow(buffer);
}

ZrString ZrPointerToText(uint64_t value) {
  ZrFormatArg arg(static_cast<long long>(value));
  return ZrFormat(u"%p", &arg, 1);
}
