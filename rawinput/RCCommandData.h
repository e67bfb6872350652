#pragma once
// One binding of the "Active Codes" setting: the host's command for a code text. The plug-in reads
// "TriggerCode" and "GenerateRepeats"; whatever else the host keeps in a binding travels unread.
// Its XML form has the root tag "XMLPH", version 1.0.

#include "foundation/ZrPropertyMap.h"

class RCCommandData : public ZrPropertyMap {
 public:
  static constexpr const ZrChar* kRootTag = u"XMLPH";
  static constexpr const ZrChar* kTriggerCode = u"TriggerCode";
  static constexpr const ZrChar* kGenerateRepeats = u"GenerateRepeats";

  ~RCCommandData() override;
};
