// dictionary: xml.dict
// Packets from any bytes. What one reading gives must survive the way to bytes and back; after one
// such trip nothing is left that the XML form replaces, so the second trip is exact.

#include "fuzz/FuzzInput.h"
#include "ipc/ZrIpcPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ZrByteBuffer buffer;
  buffer.Append(data, static_cast<int64_t>(size));
  ZrIpcPacket first;
  if (!first.FromBytes(buffer)) {
    FUZZ_CHECK(first.GetCount() == 0);
    return 0;
  }
  ZrByteBuffer bytes;
  first.ToBytes(bytes);
  FUZZ_CHECK(bytes.Size() > 0 && bytes.Data()[bytes.Size() - 1] == 0);
  ZrIpcPacket second;
  FUZZ_CHECK(second.FromBytes(bytes));
  FUZZ_CHECK(second.GetCount() <= first.GetCount());
  second.ToBytes(bytes);
  ZrIpcPacket third;
  FUZZ_CHECK(third.FromBytes(bytes));
  FUZZ_CHECK(third.IsEqual(second) && second.IsEqual(third));
  return 0;
}
