#include "mce/IRBlastCode.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

// The entries of a code's text, read back by a plain property map.
std::map<std::string, std::string> Entries(const IRBlastCode& code) {
  ZrString text;
  code.ToText(text);
  ZrPropertyMap map;
  EXPECT_TRUE(map.FromXml(text, u"ZRIR", 1.0)) << text.ToUtf8();
  std::map<std::string, std::string> entries;
  if (map.GetEntries())
    for (const auto& entry : *map.GetEntries()) entries[entry.Key().ToUtf8()] = entry.Value().ToUtf8();
  return entries;
}

std::string Get(const IRBlastCode& code, const ZrChar* key) {
  ZrString out;
  code.GetString(out, key);
  return out.ToUtf8();
}

TEST(IRBlastCode, ANewCodeHoldsTheFiveKeys) {
  const IRBlastCode code;
  const std::map<std::string, std::string> expected = {
      {"BlastCommandName", ""}, {"RemotePlugin", ""}, {"PortIndex", "-1"}, {"IRData", ""}, {"CarrierFrequency", "-1"},
  };
  EXPECT_EQ(Entries(code), expected);
  ZrString text;
  code.ToText(text);
  EXPECT_EQ(text.ToUtf8().rfind("<ZRIR version=\"1.0\">\r\n", 0), 0u);
  EXPECT_NE(text.ToUtf8().find("<Item Name=\"PortIndex\">-1</Item>\r\n"), std::string::npos);
  EXPECT_NE(text.ToUtf8().find("<Item Name=\"IRData\"/>\r\n"), std::string::npos);
}

TEST(IRBlastCode, ATextThatIsNoCodeLeavesItWithoutEntries) {
  for (const char16_t* text : {u"<ZRIPC version=\"1.0\"><Item Name=\"PortIndex\">3</Item></ZRIPC>",
                               u"<ZRIR version=\"2.0\"><Item Name=\"PortIndex\">3</Item></ZRIR>", u"garbage"}) {
    const IRBlastCode code{ZrString(text)};
    EXPECT_EQ(code.GetInt(IRBlastCode::kPortIndex, -1), -1) << ZrString(text).ToUtf8();
    EXPECT_EQ(code.GetInt(IRBlastCode::kCarrierFrequency, 38000), 38000);
    EXPECT_EQ(Get(code, IRBlastCode::kIRData), "");
    ZrString written;
    code.ToText(written);
    EXPECT_EQ(written.ToUtf8(), "<ZRIR version=\"1.0\">\r\n</ZRIR>");
  }
}

TEST(IRBlastCode, ReadingAndWritingKeepsUnknownKeys) {
  const IRBlastCode code{ZrString(
      u"<zrir version=\"1.0\">\r\n<Item Name=\"portindex\">2</Item>\r\n<Item Name=\"IRData\">0000 006D 0022</Item>\r\n"
      u"<Item Name=\"Extra\">kept &amp; carried</Item>\r\n</zrir>")};
  EXPECT_EQ(code.GetInt(IRBlastCode::kPortIndex, -1), 2);
  EXPECT_EQ(Get(code, u"irdata"), "0000 006D 0022");
  // Keys absent from the text read as the caller's defaults; nothing is filled in.
  EXPECT_EQ(code.GetInt(IRBlastCode::kCarrierFrequency, -1), -1);
  const std::map<std::string, std::string> expected = {
      {"portindex", "2"}, {"IRData", "0000 006D 0022"}, {"Extra", "kept & carried"}};
  EXPECT_EQ(Entries(code), expected);
}

TEST(IRBlastCode, LearnedValuesAreStoredAsText) {
  IRBlastCode code;
  code.SetInt(IRBlastCode::kCarrierFrequency, 36000);
  code.SetString(IRBlastCode::kIRData, ZrString(u"R<0>&1"));
  code.SetString(IRBlastCode::kRemotePlugin, ZrString(), true);
  EXPECT_EQ(code.GetInt(u"carrierfrequency"), 36000);
  const IRBlastCode copy{[&] {
    ZrString text;
    code.ToText(text);
    return text;
  }()};
  EXPECT_EQ(Get(copy, IRBlastCode::kIRData), "R<0>&1");
  EXPECT_EQ(Entries(copy).count("RemotePlugin"), 0u);
  EXPECT_EQ(Entries(copy).size(), 4u);
}

}  // namespace
