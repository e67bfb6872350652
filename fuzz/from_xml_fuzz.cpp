// dictionary: xml.dict
// FromXml of any text for each kind of record, through the record classes themselves.

#include "fuzz/FuzzInput.h"
#include "ipc/ZrIpcPacket.h"
#include "mce/IRBlastCode.h"
#include "rawinput/RCCommandData.h"

namespace {

// After one trip through the XML form a map holds nothing that the form replaces; a second trip
// must then give it back exactly.
void CheckSecondTrip(const ZrPropertyMap& map, const ZrChar* root) {
  ZrString xml;
  map.ToXml(xml, root, false, 1.0);
  ZrPropertyMap once;
  FUZZ_CHECK(once.FromXml(xml, root, 1.0));
  once.ToXml(xml, root, false, 1.0);
  ZrPropertyMap twice;
  FUZZ_CHECK(twice.FromXml(xml, root, 1.0));
  FUZZ_CHECK(twice.IsEqual(once) && once.IsEqual(twice));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ZrString text = FuzzText(data, size);

  RCCommandData binding;
  if (binding.FromXml(text, RCCommandData::kRootTag, 1.0)) {
    ZrString trigger;
    binding.GetString(trigger, RCCommandData::kTriggerCode);
    binding.GetInt(RCCommandData::kGenerateRepeats, 0);
    CheckSecondTrip(binding, RCCommandData::kRootTag);
  } else {
    FUZZ_CHECK(binding.GetCount() == 0);
  }

  ZrIpcPacket packet;
  if (packet.FromXml(text, ZrIpcPacket::kRootTag, 1.0)) {
    CheckSecondTrip(packet, ZrIpcPacket::kRootTag);
  } else {
    FUZZ_CHECK(packet.GetCount() == 0);
  }

  const IRBlastCode code(text);
  code.GetInt(IRBlastCode::kPortIndex, -1);
  ZrString written;
  code.ToText(written);
  const IRBlastCode again(written);
  ZrString rewritten;
  again.ToText(rewritten);
  // One trip has taken out what the form replaces; the entries now stay as they are (their order
  // in the text may differ).
  ZrPropertyMap a, b;
  FUZZ_CHECK(a.FromXml(written, IRBlastCode::kRootTag, 1.0));
  FUZZ_CHECK(b.FromXml(rewritten, IRBlastCode::kRootTag, 1.0));
  FUZZ_CHECK(a.IsEqual(b));
  return 0;
}
