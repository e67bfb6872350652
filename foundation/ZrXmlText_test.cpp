#include "foundation/ZrXmlText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Utf8(const std::u16string& text) { return ZrString(std::u16string_view(text)).ToUtf8(); }

ZrString Decode(const std::u16string& text) { return DecodeXmlText(text.data(), static_cast<int>(text.size())); }

TEST(ZrXmlText, DecodesEntitiesAndCharacterReferences) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"a&lt;b&gt;c&amp;d&apos;e&quot;f", u"a<b>c&d'e\"f"},
      {u"&#65;&#x41;&#x4a;&#x4A;", u"AAJJ"},
      {u"&#0000065;", u"A"},                // seven characters before the ";"
      {u"&#00000065;", u"&#00000065;"},     // eight
      {u"&#x00041;", u"A"},
      {u"&#x0000041;", u"&#x0000041;"},
      {u"&#0;&#x0;", u"&#0;&#x0;"},         // a reference to 0 stays
      {u"&#65", u"&#65"},                   // unterminated
      {u"&#;&#x;&#X41;&#6a;", u"&#;&#x;&#X41;&#6a;"},
      {u"&LT;&nbsp;&amp", u"&LT;&nbsp;&amp"},  // named entities are case-sensitive and need their ";"
      {u"&amp;lt;", u"&lt;"},               // decoded once, left to right
      {u"&", u"&"},
      {u"&&amp;", u"&&"},
      {u"&#x1F600;", u"\U0001F600"},        // beyond 16 bits: a surrogate pair
      {u"&#1114111;", u"\U0010FFFF"},
      {u"&#x110000;", u"&#x110000;"},
      {u"&#x10041;", u"\U00010041"},
      {u"no references", u"no references"},
      {std::u16string(u"a\0&#66;", 7), std::u16string(u"a\0B", 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8(std::u16string(Decode(c.in).View())), Utf8(c.out)) << Utf8(c.in);
}

TEST(ZrXmlText, TextWithoutReferencesIsCopiedExactly) {
  EXPECT_TRUE(DecodeXmlText(nullptr, 5).IsEmpty());
  EXPECT_TRUE(DecodeXmlText(u"abc", 0).IsEmpty());
  EXPECT_EQ(DecodeXmlText(u"abcdef", 3), ZrString(u"abc"));
}

TEST(ZrXmlText, EscapesForElementTextAndAttributes) {
  struct Case {
    std::u16string in, text, attribute;
  } cases[] = {
      {u"a<b", u"a&lt;b", u"a&lt;b"},
      {u"&<>\"'", u"&amp;&lt;&gt;\"'", u"&amp;&lt;&gt;&quot;&apos;"},
      {u"tab\tlf\ncr\r", u"tab\tlf\ncr\r", u"tab\tlf\ncr\r"},
      {std::u16string(u"\0\x02\x1f", 3), u"???", u"???"},
      {u"\x01", u"&#x1;", u"&#x1;"},
      {u"\uFFFE\uFFFF\uFFFD", u"??\uFFFD", u"??\uFFFD"},
      {u"\u00e9\U0001F600", u"\u00e9\U0001F600", u"\u00e9\U0001F600"},
  };
  for (const Case& c : cases) {
    const ZrString in{std::u16string_view(c.in)};
    EXPECT_EQ(Utf8(std::u16string(EscapeXmlText(in, false).View())), Utf8(c.text)) << Utf8(c.in);
    EXPECT_EQ(Utf8(std::u16string(EscapeXmlText(in, true).View())), Utf8(c.attribute)) << Utf8(c.in);
  }
}

TEST(ZrXmlText, TextThatNeedsNoEscapingIsShared) {
  const ZrString text(u"plain \"quoted\" text");
  const ZrString escaped = EscapeXmlText(text, false);
  EXPECT_EQ(escaped.c_str(), text.c_str());
  EXPECT_NE(EscapeXmlText(text, true).c_str(), text.c_str());
}

TEST(ZrXmlText, EscapedTextDecodesBack) {
  std::u16string all;
  for (int c = 0x20; c < 0x3000; ++c) all.push_back(static_cast<ZrChar>(c));
  all += u"\t\n\r\x01";
  const ZrString text{std::u16string_view(all)};
  for (bool attribute : {false, true}) {
    const ZrString escaped = EscapeXmlText(text, attribute);
    EXPECT_EQ(DecodeXmlText(escaped.c_str(), escaped.Length()), text) << attribute;
  }
}

}  // namespace
