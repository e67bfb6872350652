#include "mce/IRBlastCode.h"

IRBlastCode::IRBlastCode(const ZrString& text) {
  if (!text.IsEmpty()) {
    FromXml(text, kRootTag, 1.0);
    return;
  }
  SetString(kBlastCommandName, ZrString());
  SetString(kRemotePlugin, ZrString());
  SetInt(kPortIndex, -1);
  SetString(kIRData, ZrString());
  SetInt(kCarrierFrequency, -1);
}

void IRBlastCode::ToText(ZrString& out) const { ToXml(out, kRootTag, false, 1.0); }

void IRBlastCode::GetString(ZrString& out, const ZrChar* key, const ZrChar* defaultValue) const {
  ZrPropertyMap::GetString(out, key, defaultValue);
}

int32_t IRBlastCode::GetInt(const ZrChar* key, int32_t defaultValue) const {
  return ZrPropertyMap::GetInt(key, defaultValue);
}

void IRBlastCode::SetString(const ZrChar* key, const ZrString& value, bool removeIfEmpty) {
  ZrPropertyMap::SetString(key, value, removeIfEmpty);
}

void IRBlastCode::SetInt(const ZrChar* key, int32_t value) { ZrPropertyMap::SetInt(key, value); }
