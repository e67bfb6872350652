// dictionary: packed.dict
// "Active Codes" values: the binding texts read from any value stay within what the value holds,
// and a value built from those texts reads back to the same texts.

#include "fuzz/FuzzInput.h"
#include "rawinput/ActiveCodesValue.h"
#include "rawinput/RCCommandData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ZrString value = FuzzText(data, size);
  const ZrStringArray texts = ReadActiveCodesValue(value);

  // Every field takes at least its "(", so the count claimed can never make more texts than the
  // value has characters, and their characters come out of the value.
  FUZZ_CHECK(texts.GetCount() <= value.Length());
  int64_t characters = 0;
  for (const ZrString& text : texts) characters += text.Length();
  FUZZ_CHECK(characters <= value.Length());

  FUZZ_CHECK(ReadActiveCodesValue(MakeActiveCodesValue(texts)).GetCount() == texts.GetCount());
  const ZrStringArray again = ReadActiveCodesValue(MakeActiveCodesValue(texts));
  for (int i = 0; i < texts.GetCount(); ++i) FUZZ_CHECK(again[i] == texts[i]);

  // What the plug-in does next with each text.
  for (const ZrString& text : texts) {
    RCCommandData binding;
    if (binding.FromXml(text, RCCommandData::kRootTag, 1.0)) {
      ZrString trigger;
      binding.GetString(trigger, RCCommandData::kTriggerCode);
      binding.GetInt(RCCommandData::kGenerateRepeats, 0);
    }
  }
  return 0;
}
