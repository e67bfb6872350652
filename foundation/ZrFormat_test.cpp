#include "foundation/ZrFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct FormatCase {
  const char16_t* pattern;
  std::vector<ZrFormatArg> args;
  const char16_t* expected;
};

const ZrString kName(u"zr");

TEST(ZrFormat, Conversions) {
  const FormatCase cases[] = {
      {u"100%%", {}, u"100%"},
      {u"%s|%S|%s", {ZrFormatArg("n\xC3\xA9"), ZrFormatArg(u"wide"), ZrFormatArg(kName)}, u"n\u00E9|wide|zr"},
      {u"[%s]", {ZrFormatArg(static_cast<const char16_t*>(nullptr))}, u"[(null)]"},
      {u"[%5s][%-5s][%.2s]", {ZrFormatArg(u"ab"), ZrFormatArg(u"ab"), ZrFormatArg(u"abcdef")}, u"[   ab][ab   ][ab]"},
      {u"%d %i %+d %05d %-4d|", {ZrFormatArg(-42), ZrFormatArg(7), ZrFormatArg(3), ZrFormatArg(-12), ZrFormatArg(9)}, u"-42 7 +3 -0012 9   |"},
      {u"%d", {ZrFormatArg(static_cast<long long>(-9223372036854775807LL - 1))}, u"-9223372036854775808"},
      {u"%u", {ZrFormatArg(4000000000u)}, u"4000000000"},
      {u"%x %X %#x", {ZrFormatArg(255), ZrFormatArg(255), ZrFormatArg(255)}, u"ff FF 0xff"},
      // A negative 32-bit value keeps its 32-bit form unless more than 8 digits are asked for.
      {u"%x|%X|%.8x|%.9x", {ZrFormatArg(-1), ZrFormatArg(-2), ZrFormatArg(-1), ZrFormatArg(-1)},
       u"ffffffff|FFFFFFFE|ffffffff|ffffffffffffffff"},
      {u"%x", {ZrFormatArg(static_cast<long long>(0x123456789abcLL))}, u"123456789abc"},
      {u"%h|%h", {ZrFormatArg(0x1F), ZrFormatArg(-1)}, u"0000001F|FFFFFFFF"},
      {u"%p|%p", {ZrFormatArg(0x1F), ZrFormatArg(-1)}, u"000000000000001F|FFFFFFFFFFFFFFFF"},
      {u"[%c%c%c%c]", {ZrFormatArg(65), ZrFormatArg(0), ZrFormatArg(65536), ZrFormatArg(0x20AC)}, u"[A\u20AC]"},
      {u"%f|%.2f|%.0f|%8.3f", {ZrFormatArg(1.5), ZrFormatArg(2.345), ZrFormatArg(2.5), ZrFormatArg(-3.14159)},
       u"1.500000|2.35|2|  -3.142"},
      {u"%Id %ld %lld %I64d %I32u", {ZrFormatArg(1), ZrFormatArg(2), ZrFormatArg(3), ZrFormatArg(4), ZrFormatArg(5)}, u"1 2 3 4 5"},
      // Missing and wrongly typed numbers print as 0.
      {u"%d %x %f|", {ZrFormatArg(u"text")}, u"0 0 0.000000|"},
      {u"%d", {ZrFormatArg(2.5)}, u"0"},
      {u"%*d|%-*d|%.*f", {ZrFormatArg(4), ZrFormatArg(7), ZrFormatArg(3), ZrFormatArg(7), ZrFormatArg(1), ZrFormatArg(0.25)},
       u"   7|7  |0.2"},
      {u"trailing %", {}, u"trailing %"},
      {u"%q stays", {}, u"%q stays"},
  };
  for (const FormatCase& c : cases) {
    ZrString got = ZrFormat(c.pattern, c.args.data(), static_cast<int>(c.args.size()));
    EXPECT_EQ(got, ZrString(c.expected)) << "pattern " << ZrString(c.pattern).ToUtf8() << " gave " << got.ToUtf8();
  }
}

TEST(ZrFormat, LogLinesOfTheThreadClass) {
  EXPECT_EQ(ZrFormatV(u"Hard killing thread (handle=%x), it exceeded timeout=%d MS", {ZrFormatArg(0x1a4), ZrFormatArg(0)}),
            ZrString(u"Hard killing thread (handle=1a4), it exceeded timeout=0 MS"));
  EXPECT_EQ(ZrFormatV(u"Finish (result: %d) (%d ms)", {ZrFormatArg(1), ZrFormatArg(12)}), ZrString(u"Finish (result: 1) (12 ms)"));
}

TEST(ZrFormat, NarrowPatternIsUtf8AndNullPatternIsEmpty) {
  ZrFormatArg arg(5);
  EXPECT_EQ(ZrFormatA("\xC3\xA9=%d", &arg, 1), ZrString(u"\u00E9=5"));
  EXPECT_TRUE(ZrFormat(nullptr, nullptr, 0).IsEmpty());
  EXPECT_EQ(ZrFormat(u"%s%d", nullptr, 3), ZrString(u"0"));
}

TEST(ZrFormat, LongOutputIsNotTruncated) {
  std::u16string big(3000, u'x');
  EXPECT_EQ(ZrFormatV(u"<%s>", {ZrFormatArg(big.c_str())}).Length(), 3002);
  EXPECT_EQ(ZrFormatV(u"%f", {ZrFormatArg(1e300)}).Length(), 301 + 7);
}

}  // namespace
