#include "rawinput/ActiveCodesValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/ZrPackedText.h"

namespace {

std::vector<std::string> Texts(const ZrStringArray& array) {
  std::vector<std::string> out;
  for (const ZrString& text : array) out.push_back(text.ToUtf8());
  return out;
}

TEST(ActiveCodesValue, RoundTripsItsBindings) {
  ZrStringArray bindings;
  bindings.Add(u"<XMLPH version=\"1.0\"></XMLPH>");
  bindings.Add(u"");
  bindings.Add(u"(3:abc)");
  const ZrString value = MakeActiveCodesValue(bindings);
  EXPECT_EQ(value.ToUtf8(), "(1:1)(1:3)(29:<XMLPH version=\"1.0\"></XMLPH>)(0:)(7:(3:abc))");
  EXPECT_EQ(Texts(ReadActiveCodesValue(value)), Texts(bindings));
}

TEST(ActiveCodesValue, ValuesThatGiveNoBindings) {
  for (const char16_t* value : {u"", u"(1:2)(1:1)(1:x)", u"(1:0)(1:1)(1:x)", u"garbage", u"(1:1)", u"(1:1)(1:0)(1:x)",
                                u"(1:1)(1:-5)(1:x)"}) {
    EXPECT_TRUE(ReadActiveCodesValue(ZrString(value)).IsEmpty()) << ZrString(value).ToUtf8();
  }
}

// The count is the sender's claim; the value's own length is what bounds the reading. A huge
// count yields no more texts than the value holds fields for.
TEST(ActiveCodesValue, ReadingEndsWhereTheValueEnds) {
  struct Case {
    const char16_t* value;
    std::vector<std::string> texts;
  } cases[] = {
      {u"(1:1)(10:2147483647)(1:a)", {"a"}},
      {u"(1:1)(10:2147483647)(1:a)(2:bc)", {"a", "bc"}},
      {u"(1:1)(20:99999999999999999999)(1:a)", {"a"}},
      {u"(1:1)(1:3)(1:a)", {"a"}},
      // A field that cannot be read is still taken, empty; the scan goes on where it stopped.
      // A field that cannot be read is still taken, empty, while the value goes on; a scan that
      // stops without moving ends the reading, since every further field would fail there too.
      {u"(1:1)(1:3)(1:a)(x)(1:b)", {"a", "", ""}},
      {u"(1:1)(1:2)(5:a)(1:b)", {"", ""}},
      {u"(1:1)(1:5)(9999:a)", {"", ""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Texts(ReadActiveCodesValue(ZrString(c.value))), c.texts) << ZrString(c.value).ToUtf8();
  }
}

}  // namespace
