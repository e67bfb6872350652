#include "foundation/ZrXmlTokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ScanCase {
  const char16_t* text;
  int kind;
  int length;
  const char16_t* message;
};

// One node scanned from offset 0 of each text.
const ScanCase kScanCases[] = {
    {u"plain text<a>", kZrXmlText, 10, u""},
    {u" \t\r\n<a>", kZrXmlWhiteSpace, 4, u""},
    {u"  ", kZrXmlWhiteSpace, 2, u""},
    {u" x ", kZrXmlText, 3, u""},
    // Runs longer than the eight units scanned at a time.
    {u"\r\n \t                  \r\n<a>", kZrXmlWhiteSpace, 24, u""},
    {u"\r\n                   x\t<a>", kZrXmlText, 23, u""},
    {u"a longer run of text, well past eight units<b>", kZrXmlText, 43, u""},
    {u"<item name=\"a>b\" other='c\"d' third=\"e'f\" last='g>h'>", kZrXmlStartTag, 52, u""},
    {u"<a>", kZrXmlStartTag, 3, u""},
    {u"<_x:y a='>' b=\">\">rest", kZrXmlStartTag, 18, u""},
    {u"<\u00e9/>", kZrXmlStartTag, 4, u""},
    {u"</a >", kZrXmlEndTag, 5, u""},
    {u"<?pi x?>after", kZrXmlProcessingInstruction, 8, u""},
    {u"<?>?>", kZrXmlProcessingInstruction, 5, u""},
    {u"<!-- a -- b -->x", kZrXmlComment, 15, u""},
    {u"<!-->-->", kZrXmlComment, 8, u""},
    {u"<![CDATA[ <a> ]] ]]>x", kZrXmlCData, 20, u""},
    {u"<!DOCTYPE r>x", kZrXmlDocType, 12, u""},
    {u"<!DOCTYPE r [ <!ELEMENT r (#PCDATA)> <!ATTLIST r a CDATA \"]>\"> <!-- ]> --> <?p ]>?> ]>x",
     kZrXmlDocType, 86, u""},
    {u"<!DOCTYPE r SYSTEM \"a>b\">", kZrXmlDocType, 25, u""},
    // Malformed beginnings end at the next ">" or just before the next "<".
    {u"< a>x", kZrXmlMalformed, 4, u"Incorrect tag name character at offset 0"},
    {u"<1<a>", kZrXmlMalformed, 2, u"Incorrect tag name character at offset 0"},
    {u"<!x>", kZrXmlMalformed, 4, u"Incorrect ! tag at offset 0"},
    {u"<!-x>", kZrXmlMalformed, 5, u"Incorrect comment tag at offset 0"},
    {u"<![X[ ]]>", kZrXmlMalformed, 9, u"Incorrect tag at offset 0"},
    {u"<!ELEMENT a ANY>", kZrXmlMalformed, 16, u""},
    {u"<!ATTLIST a>", kZrXmlMalformed, 12, u""},
    {u"<!NOTATION n>", kZrXmlMalformed, 13, u""},
    // The end of the text inside markup.
    {u"<", kZrXmlMalformed, 1, u"tag at offset 0 unterminated"},
    {u"<!", kZrXmlMalformed, 2, u"tag at offset 0 unterminated"},
    {u"<!-", kZrXmlMalformed, 3, u"tag at offset 0 unterminated"},
    {u"<![", kZrXmlMalformed, 3, u"tag at offset 0 unterminated"},
    {u"<a b='>", kZrXmlMalformed, 7, u"Element tag at offset 0 unterminated"},
    {u"<a", kZrXmlMalformed, 2, u"Element tag at offset 0 unterminated"},
    {u"</a", kZrXmlMalformed, 3, u"Element end tag at offset 0 unterminated"},
    {u"<?pi ?", kZrXmlMalformed, 6, u"Processing instruction at offset 0 unterminated"},
    {u"<!-- x --", kZrXmlMalformed, 9, u"Comment at offset 0 unterminated"},
    {u"<![CDATA[ x ]]", kZrXmlMalformed, 14, u"CDATA Section at offset 0 unterminated"},
    {u"<!DOCTYPE r [ <!ENTITY e \"]>\" ", kZrXmlMalformed, 30, u"Doctype at offset 0 unterminated"},
    {u"<!DOCTYPE r [ ]", kZrXmlMalformed, 15, u"Doctype at offset 0 unterminated"},
};

TEST(ZrXmlTokenizer, ScansEachKindOfNode) {
  for (const ScanCase& c : kScanCases) {
    const std::u16string text(c.text);
    ZrXmlTokenizer tokenizer(text.data(), static_cast<int>(text.size()));
    ZrXmlNode node;
    const int kind = tokenizer.Scan(0, node);
    const std::string shown = ZrString(c.text).ToUtf8();
    EXPECT_EQ(kind, c.kind) << shown;
    EXPECT_EQ(node.kind, c.kind) << shown;
    EXPECT_EQ(node.start, 0) << shown;
    EXPECT_EQ(node.length, c.length) << shown;
    EXPECT_EQ(tokenizer.Message().ToUtf8(), ZrString(c.message).ToUtf8()) << shown;
  }
}

TEST(ZrXmlTokenizer, TagNamesAndEmptyElementTags) {
  struct Case {
    const char16_t* text;
    int nameLength;
    bool empty;
  } cases[] = {
      {u"<a>", 1, false},       {u"<ab/>", 2, true},           {u"<ab />", 2, true},
      {u"<a/ >", 1, false},     {u"<a\tb='/'>", 1, false},     {u"<a:b\r\n>", 3, false},
      {u"</name\n>", 4, false}, {u"<x a=\"/>\"/>", 1, true},
  };
  for (const Case& c : cases) {
    const std::u16string text(c.text);
    ZrXmlTokenizer tokenizer(text.data(), static_cast<int>(text.size()));
    ZrXmlNode node;
    tokenizer.Scan(0, node);
    EXPECT_EQ(node.nameLength, c.nameLength) << ZrString(c.text).ToUtf8();
    EXPECT_EQ(node.emptyElement, c.empty) << ZrString(c.text).ToUtf8();
  }
}

TEST(ZrXmlTokenizer, WalksADocumentNodeByNodeAndStopsAtTheGivenLength) {
  const std::u16string text = u"<r> x <!--c--><b/></r>tail";
  // The text beyond the given length is not looked at.
  ZrXmlTokenizer tokenizer(text.data(), static_cast<int>(text.size()) - 4);
  const int expected[] = {kZrXmlStartTag, kZrXmlText, kZrXmlComment, kZrXmlStartTag, kZrXmlEndTag};
  ZrXmlNode node;
  int pos = 0;
  for (int kind : expected) {
    ASSERT_EQ(tokenizer.Scan(pos, node), kind) << "at offset " << pos;
    EXPECT_EQ(node.start, pos);
    pos = node.start + node.length;
  }
  EXPECT_EQ(tokenizer.Scan(pos, node), kZrXmlEndOfText);
  EXPECT_EQ(node.start, pos);
  EXPECT_EQ(node.length, 0);
  EXPECT_EQ(tokenizer.Scan(pos + 10, node), kZrXmlEndOfText);
}

// The end of a tag, found several units at a time, against the plain definition: the first ">"
// outside quotes, a quote running to the next one of its kind.
TEST(ZrXmlTokenizer, TagEndsAtTheFirstGreaterThanOutsideQuotes) {
  const auto reference = [](const std::u16string& text) {
    ZrChar quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (quote) {
        if (text[i] == quote) quote = 0;
      } else if (text[i] == u'>') {
        return static_cast<int>(i);
      } else if (text[i] == u'"' || text[i] == u'\'') {
        quote = text[i];
      }
    }
    return -1;
  };
  uint32_t seed = 1;
  const char16_t alphabet[] = u"\"'>a =\"\"''aaaaaaa";
  for (int round = 0; round < 200000; ++round) {
    seed = seed * 1103515245u + 12345u;
    const size_t length = (seed >> 16) % 40;
    std::u16string text;
    for (size_t i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      text.push_back(alphabet[(seed >> 16) % (sizeof(alphabet) / sizeof(alphabet[0]) - 1)]);
    }
    ASSERT_EQ(ZrXmlTokenizer::FindTagEnd(text.data(), 0, static_cast<int>(text.size())), reference(text))
        << ZrString(std::u16string_view(text)).ToUtf8();
  }
}

TEST(ZrXmlTokenizer, NameStartCharacters) {
  // Everything above "9" except ";" to "@", "[" to "^" and "`".
  for (int c = 0; c < 0x80; ++c) {
    const bool expected = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ':' || c == '_' ||
                          c == '{' || c == '|' || c == '}' || c == '~' || c == 0x7F;
    EXPECT_EQ(ZrXmlTokenizer::IsNameStart(static_cast<ZrChar>(c)), expected) << c;
  }
  EXPECT_TRUE(ZrXmlTokenizer::IsNameStart(0x00E9));
  EXPECT_TRUE(ZrXmlTokenizer::IsNameStart(0x4E2D));
}

}  // namespace
