#include "foundation/ZrPackedText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ZrPackedText, ReadsOneFieldAndStopsWhereTheScanStopped) {
  const struct {
    const char16_t* text;
    int start;
    bool ok;
    const char* field;
    int end;
  } cases[] = {
      {u"(3:abc)rest", 0, true, "abc", 7},
      {u"(0:)", 0, true, "", 4},
      {u"(2:)))", 0, true, "))", 6},
      {u"xx(1:a)", 2, true, "a", 7},
      {u"(1:a)", 5, false, "", 5},     // beyond the text
      {u"(1:a)", -1, false, "", -1},
      {u"x(1:a)", 0, false, "", 0},    // no "("
      {u"(1a:a)", 0, false, "", 2},    // a non-digit before ":"
      {u"(:a)", 0, false, "", 1},      // ":" right after "("
      {u"(12", 0, false, "", 3},
      {u"(5:abc)", 0, false, "", 3},   // too few characters left
      {u"(3:abc", 0, false, "", 6},    // no ")"
      {u"(3:abcd)", 0, false, "", 6},
      {u"(99999999999:a)", 0, false, "", 13},
  };
  for (const auto& c : cases) {
    const ZrString source(c.text);
    int position = c.start;
    ZrString field(u"old");
    EXPECT_EQ(ZrReadPackedField(source, position, field), c.ok) << source.ToUtf8();
    EXPECT_EQ(field.ToUtf8(), c.field) << source.ToUtf8();
    EXPECT_EQ(position, c.end) << source.ToUtf8();
  }
}

TEST(ZrPackedText, WritesCountsWithoutLeadingZerosAndCopiesCharactersAsTheyAre) {
  ZrString text;
  ZrAppendPackedField(text, ZrString());
  ZrAppendPackedField(text, ZrString(u"(1:x)"));
  ZrAppendPackedField(text, ZrString(std::u16string_view(u"a\0b", 3)));
  ZrAppendPackedField(text, nullptr, 4);
  EXPECT_EQ(std::u16string(text.View()), std::u16string(u"(0:)(5:(1:x))(3:a\0b)(0:)", 24));
  int position = 0;
  ZrString field;
  for (const std::u16string& expected : {std::u16string(), std::u16string(u"(1:x)"), std::u16string(u"a\0b", 3)}) {
    ASSERT_TRUE(ZrReadPackedField(text, position, field));
    EXPECT_EQ(std::u16string(field.View()), expected);
  }
}

TEST(ZrPackedText, LongTextsGrowTheTargetInWholeBlocks) {
  ZrString text;
  const ZrString field(std::u16string(100, u'x'));
  ZrAppendPackedField(text, field);
  ZrAppendPackedField(text, field);
  EXPECT_EQ((text.Block()->capacity - 1) % 1024, 0u);  // the terminator's cell comes on top
  EXPECT_GE(text.Block()->capacity, static_cast<uint32_t>(text.Length()) + 1);
  int reallocations = 0;
  const ZrChar* last = text.c_str();
  for (int i = 0; i < 10000; ++i) {
    ZrAppendPackedField(text, field);
    if (text.c_str() != last) ++reallocations;
    last = text.c_str();
  }
  // A million characters in far fewer steps than one per field or per block.
  EXPECT_LT(reallocations, 40);
}

TEST(ZrPackedText, Counts) {
  const struct {
    const char16_t* text;
    int count;
  } cases[] = {{u"(1:7)", 7}, {u"(2:-3)", -3}, {u"(0:)", 0}, {u"(1:x)", 0}, {u"(3: 12)", 12}, {u"bad", 0}};
  for (const auto& c : cases) {
    int position = 0;
    EXPECT_EQ(ZrReadPackedCount(ZrString(c.text), position), c.count) << ZrString(c.text).ToUtf8();
  }
}

}  // namespace
