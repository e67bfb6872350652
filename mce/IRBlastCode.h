#pragma once
// An infrared code that can be blasted or that was learned. It travels between the host and the
// plug-ins as the XML text of a small property map with the root tag "ZRIR", version 1.0.

#include "foundation/ZrPropertyMap.h"

class IRBlastCode : private ZrPropertyMap {
 public:
  static constexpr const ZrChar* kRootTag = u"ZRIR";
  static constexpr const ZrChar* kBlastCommandName = u"BlastCommandName";
  static constexpr const ZrChar* kRemotePlugin = u"RemotePlugin";
  static constexpr const ZrChar* kPortIndex = u"PortIndex";
  static constexpr const ZrChar* kIRData = u"IRData";
  static constexpr const ZrChar* kCarrierFrequency = u"CarrierFrequency";

  // An empty text gives a new code with all five keys (no port, no carrier: -1). Other texts are
  // read as the record; a text that is not one leaves the code without entries, so that reads fall
  // back to the callers' defaults.
  explicit IRBlastCode(const ZrString& text = ZrString());

  void ToText(ZrString& out) const;

  void GetString(ZrString& out, const ZrChar* key, const ZrChar* defaultValue = nullptr) const override;
  int32_t GetInt(const ZrChar* key, int32_t defaultValue = 0) const override;
  void SetString(const ZrChar* key, const ZrString& value, bool removeIfEmpty = false) override;
  void SetInt(const ZrChar* key, int32_t value) override;
};
