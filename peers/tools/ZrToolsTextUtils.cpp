#include "peers/tools/ZrToolsTextUtils.h"

#include "foundation/ZrString.h"

int ZrToolsTextUtils::Find(const wchar_t* text, const wchar_t* pattern, int options) {
  if (!text || !pattern) return -1;
  const ZrStringGlobals& strings = ZrStringGlobals::Instance();
  const bool ignoreCase = (options & kIgnoreCase) != 0;
  auto same = [&](wchar_t a, wchar_t b) {
    return ignoreCase ? strings.Fold(static_cast<ZrChar>(a)) == strings.Fold(static_cast<ZrChar>(b)) : a == b;
  };
  for (int start = 0; text[start] || !pattern[0]; ++start) {
    int i = 0;
    while (pattern[i] && text[start + i] && same(text[start + i], pattern[i])) ++i;
    if (!pattern[i]) return start;
    if (!text[start + i]) return -1;
  }
  return -1;
}

int ZrToolsTextUtils::Compare(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  const int folded = ZrCompareNoCase(ZrU(a), ZrU(b));
  if (folded) return folded;
  for (int i = 0;; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (!a[i]) return 0;
  }
}
