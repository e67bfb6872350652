#include "foundation/ZrPackedText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "foundation/ZrConvert.h"

namespace {

constexpr uint32_t kReserveStep = 1024;

// Makes room for `extra` more characters. The capacity is requested in whole 1024-character
// blocks; the string itself grows by at least half again, so a long text is built in a few
// reallocations rather than one per block.
void Reserve(ZrString& target, uint32_t extra) {
  const uint32_t length = static_cast<uint32_t>(target.Length());
  const uint32_t needed = length + extra;
  if (target.Block()->capacity > needed && target.References() == 1) return;
  const uint32_t rounded = (needed + kReserveStep - 1) / kReserveStep * kReserveStep;
  target.GetBuffer(static_cast<int>(rounded));
  target.ReleaseBuffer(static_cast<int>(length));
}

}  // namespace

void ZrAppendPackedField(ZrString& target, const ZrChar* text, int length) {
  if (!text || length < 0) length = 0;
  char digits[16];
  int count = 0;
  for (uint32_t n = static_cast<uint32_t>(length); count == 0 || n; n /= 10) digits[count++] = static_cast<char>('0' + n % 10);
  ZrChar head[18];
  int h = 0;
  head[h++] = u'(';
  while (count) head[h++] = static_cast<ZrChar>(digits[--count]);
  head[h++] = u':';
  Reserve(target, static_cast<uint32_t>(h + length + 1));
  target.AppendUnits(head, static_cast<size_t>(h));
  target.AppendUnits(text, static_cast<size_t>(length));
  target.Append(u')');
}

void ZrAppendPackedField(ZrString& target, const ZrString& text) {
  ZrAppendPackedField(target, text.c_str(), text.Length());
}

bool ZrReadPackedField(const ZrString& source, int& position, ZrString& out) {
  out.Empty();
  const ZrChar* s = source.c_str();
  const int length = source.Length();
  int p = position;
  if (p < 0 || p >= length || s[p] != u'(') return false;
  ++p;
  const int digitsStart = p;
  int64_t count = 0;
  while (p < length && ZrIsDigit(s[p])) {
    count = std::min<int64_t>(count * 10 + (s[p] - u'0'), INT32_MAX);
    ++p;
  }
  if (p >= length || s[p] != u':' || p == digitsStart) {
    position = p;
    return false;
  }
  ++p;
  if (count > length - p) {
    position = p;
    return false;
  }
  const int end = p + static_cast<int>(count);
  if (end >= length || s[end] != u')') {
    position = end;
    return false;
  }
  out = ZrString::FromUnits(s + p, static_cast<size_t>(count));
  position = end + 1;
  return true;
}

int ZrReadPackedCount(const ZrString& source, int& position) {
  ZrString text;
  if (!ZrReadPackedField(source, position, text) || text.IsEmpty()) return 0;
  return ZrToInt(text.c_str());
}
