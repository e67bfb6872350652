#include "rawinput/ActiveCodesValue.h"

#include "foundation/ZrConvert.h"
#include "foundation/ZrPackedText.h"

ZrStringArray ReadActiveCodesValue(const ZrString& value) {
  ZrStringArray texts;
  int position = 0;
  if (ZrReadPackedCount(value, position) != kActiveCodesFormat) return texts;
  const int count = ZrReadPackedCount(value, position);
  for (int i = 0; i < count && position < value.Length(); ++i) {
    const int before = position;
    ZrString text;
    const bool read = ZrReadPackedField(value, position, text);
    texts.Add(text);
    // A field that could not be read and did not move the scan on leaves nothing further to
    // read: every later field would fail at the same place.
    if (!read && position <= before) break;
  }
  return texts;
}

ZrString MakeActiveCodesValue(const ZrStringArray& bindings) {
  ZrString value;
  ZrAppendPackedField(value, ZrIntToText(kActiveCodesFormat));
  ZrAppendPackedField(value, ZrIntToText(bindings.GetCount()));
  for (const ZrString& binding : bindings) ZrAppendPackedField(value, binding);
  return value;
}
