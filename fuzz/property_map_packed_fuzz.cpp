// dictionary: packed.dict
// The packed form of any text, and the round trip of what it gave.

#include "foundation/ZrPropertyMap.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ZrString text = FuzzText(data, size);
  ZrPropertyMap map;
  map.ReadFromString(text);
  int position = 0;
  ZrPropertyMap at;
  at.ReadFromStringAt(text, position);
  FUZZ_CHECK(position >= 0 && position <= text.Length());
  FUZZ_CHECK(at.IsEqual(map));

  // The packed form copies characters as they are, so it gives back exactly what it was given.
  ZrString packed;
  map.WriteToString(packed, true);
  ZrPropertyMap back;
  back.ReadFromString(packed);
  FUZZ_CHECK(back.IsEqual(map) && map.IsEqual(back));
  ZrString dump;
  map.Dump(dump, u"[", u"]");
  return 0;
}
