#pragma once
// The message of every named pipe: a property map that travels as its XML text (root "ZRIPC",
// version 1.0) in UTF-8, closed by a 0 byte. A request and its reply are one packet each.

#include "foundation/ZrPropertyMap.h"
#include "ipc/ZrByteBuffer.h"

class ZrIpcPacket : public ZrPropertyMap {
 public:
  // Replaces the buffer's contents with the packet's bytes, the closing 0 byte included.
  void ToBytes(ZrByteBuffer& buffer) const;
  // Replaces the entries by those in the buffer. True when the text is empty or a valid packet;
  // false (and no entries) when there is no "ZRIPC" element of version 1.0. Malformed UTF-8 never
  // fails: a byte that starts no complete sequence stands for the character of its own value.
  bool FromBytes(const ZrByteBuffer& buffer);

  static constexpr const ZrChar* kRootTag = u"ZRIPC";
};
