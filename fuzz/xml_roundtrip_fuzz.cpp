// dictionary: xml.dict
// Maps built from any bytes: ToXml then FromXml must give an equal map. The input is cut into
// keys and values at 0 bytes; characters that the XML form replaces are left out of what is
// stored, so that the comparison can be exact.

#include <vector>

#include "foundation/ZrPropertyMap.h"
#include "fuzz/FuzzInput.h"

namespace {

ZrString Keep(const ZrString& text) {
  std::u16string kept;
  for (ZrChar c : text.View())
    if (!ReplacedInXml(c)) kept.push_back(c);
  return ZrString::FromUnits(kept.data(), kept.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<ZrString> parts;
  size_t start = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      parts.push_back(Keep(FuzzText(data + start, i - start)));
      start = i + 1;
    }
  }
  ZrPropertyMap map;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) map.SetString(parts[i].c_str(), parts[i + 1]);

  for (const ZrChar* root : {u"ZRIR", u"XMLPH", u"ZRIPC"}) {
    ZrString xml;
    map.ToXml(xml, root, false, 1.0);
    ZrPropertyMap back;
    FUZZ_CHECK(back.FromXml(xml, root, 1.0));
    FUZZ_CHECK(back.GetCount() == map.GetCount());
    FUZZ_CHECK(back.IsEqual(map) && map.IsEqual(back));
    if (map.GetEntries()) {
      // Keys come back in the spelling they were stored with.
      for (const auto& entry : *map.GetEntries()) FUZZ_CHECK(back.GetEntries()->Find(entry.Key()) != nullptr);
    }
  }
  ZrString none;
  map.ToXml(none, u"ZRIR", true, 1.0);
  FUZZ_CHECK(none.IsEmpty() == (map.GetCount() == 0));
  return 0;
}
