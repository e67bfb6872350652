// Raw-input records as GetRawInputData would write them, any bytes at all, through the reading of
// the record and the making of its code: nothing is read outside the record, and a code is the
// prefix followed by hex digits.

#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "rawinput/RawInputCodeMaker.h"
#include "foundation/ZrRawInputRecord.h"

namespace {

bool IsHexDigit(ZrChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }

}  // namespace

// The input is a sequence of records, each preceded by one byte giving its length, so that one
// device's modifier list lives across several records.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RawInputCodeMaker maker;
  maker.SetPrefix(u"845E_0002_");
  size_t at = 0;
  while (at < size) {
    const size_t length = std::min<size_t>(data[at], size - at - 1);
    ++at;
    // A copy of exactly the record's bytes, so that the sanitizer sees any read past its end.
    std::vector<uint8_t> record(data + at, data + at + length);
    at += length;
    ZrRawInputRecord parsed;
    if (!ZrReadRawInputRecord(record.data(), record.size(), parsed)) continue;
    if (parsed.type == kRawInputTypeHid)
      FUZZ_CHECK(static_cast<uint64_t>(parsed.reportSize) * parsed.reportCount <= record.size() - 32);
    const RawInputCode code = maker.MakeCode(parsed);
    if (code.text.IsEmpty()) continue;
    FUZZ_CHECK(code.text.Length() > 10 && std::memcmp(code.text.c_str(), u"845E_0002_", 20) == 0);
    for (int i = 10; i < code.text.Length(); ++i) FUZZ_CHECK(IsHexDigit(code.text[i]));
    // A key's code takes the modifiers held before it.
    if (parsed.type == kRawInputTypeKeyboard) FUZZ_CHECK(maker.Modifiers().GetCount() == 0);
  }
  FUZZ_CHECK(maker.Modifiers().GetCount() <= size);
  return 0;
}
