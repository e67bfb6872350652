#include "foundation/ZrPropertyMap.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "foundation/ZrXmlDocument.h"

namespace {

std::string Utf8(const ZrString& text) { return text.ToUtf8(); }

std::string Get(const ZrPropertyMap& map, const ZrChar* key, const ZrChar* defaultValue = nullptr) {
  ZrString out;
  map.GetString(out, key, defaultValue);
  return Utf8(out);
}

// Entries as key=value lines in key order, so that maps compare regardless of iteration order.
std::string Describe(const ZrPropertyMap& map) {
  std::map<std::string, std::string> sorted;
  if (map.GetEntries())
    for (const auto& entry : *map.GetEntries()) sorted[Utf8(entry.Key())] = Utf8(entry.Value());
  std::string out;
  for (const auto& [key, value] : sorted) out += key + "=" + value + "\n";
  return out;
}

TEST(ZrPropertyMap, KeysIgnoreCaseAndKeepTheirFirstSpelling) {
  ZrPropertyMap map;
  EXPECT_EQ(map.GetEntries(), nullptr);
  map.SetInt(u"Port", 1);
  map.SetInt(u"PORT", 2);
  ASSERT_EQ(map.GetCount(), 1);
  EXPECT_EQ(Utf8(map.GetEntries()->begin().Key()), "Port");
  EXPECT_EQ(Get(map, u"port"), "2");
  EXPECT_TRUE(map.Exists(u"pOrT"));
  EXPECT_FALSE(map.Exists(u"Por"));
}

TEST(ZrPropertyMap, SetStringWithRemoveIfEmpty) {
  ZrPropertyMap map;
  map.SetString(u"rate", ZrString(u"5"));
  map.SetString(u"other", ZrString(u"x"));
  map.SetString(u"Rate", ZrString(), true);
  EXPECT_FALSE(map.Exists(u"rate"));
  map.SetString(u"Rate", ZrString(), false);
  EXPECT_TRUE(map.Exists(u"rate"));
  EXPECT_EQ(Get(map, u"rate", u"default"), "");  // present, so the default does not apply
  EXPECT_EQ(Get(map, u"missing", u"default"), "default");
  EXPECT_EQ(Get(map, u"missing"), "");
}

TEST(ZrPropertyMap, TheInnerMapExistsOnlyWhileThereAreEntries) {
  ZrPropertyMap map;
  map.Remove(u"nothing");
  map.SetString(u"a", ZrString(u"1"));
  map.SetString(u"b", ZrString(u"2"));
  map.Remove(u"A");
  ASSERT_NE(map.GetEntries(), nullptr);
  map.Remove(u"b");
  EXPECT_EQ(map.GetEntries(), nullptr);
  map.SetString(u"c", ZrString(u"3"));
  map.Clear();
  EXPECT_EQ(map.GetEntries(), nullptr);
  EXPECT_EQ(map.GetCount(), 0);
}

TEST(ZrPropertyMap, IntegerAccess) {
  ZrPropertyMap map;
  map.SetString(u"abc", ZrString(u"abc"));
  map.SetString(u"spaced", ZrString(u"  -12xyz"));
  map.SetString(u"big", ZrString(u"99999999999"));
  map.SetString(u"huge", ZrString(u"-99999999999999999999"));
  map.SetInt(u"neg", -2147483647 - 1);
  map.SetInt64(u"wide", -9223372036854775807LL - 1);
  EXPECT_EQ(map.GetInt(u"missing", 7), 7);
  EXPECT_EQ(map.GetInt(u"abc", 7), 0);
  EXPECT_EQ(map.GetInt(u"spaced"), -12);
  EXPECT_EQ(map.GetInt(u"big"), 2147483647);
  EXPECT_EQ(map.GetInt64(u"big"), 99999999999LL);
  EXPECT_EQ(map.GetInt64(u"huge"), -9223372036854775807LL);
  EXPECT_EQ(Get(map, u"neg"), "-2147483648");
  EXPECT_EQ(map.GetInt(u"neg"), -2147483647);  // the magnitude saturates before the sign
  EXPECT_EQ(Get(map, u"wide"), "-9223372036854775808");
  EXPECT_EQ(map.GetInt64(u"missing", -5), -5);
}

TEST(ZrPropertyMap, PointerAccess) {
  ZrPropertyMap map;
  const struct {
    const char16_t* text;
    uint64_t value;
  } cases[] = {
      {u"0x1F", 31},  {u"1F", 31},        {u"1f", 31},  {u"0X1F", 0},  {u" -1", ~0ull},
      {u"0x", 0},     {u"12345678901234567", ~0ull}, {u"zz", 0},
  };
  for (const auto& c : cases) {
    map.SetString(u"p", ZrString(c.text));
    EXPECT_EQ(static_cast<uint64_t>(map.GetPointer(u"p")), c.value) << Utf8(ZrString(c.text));
  }
  map.SetPointer(u"p", 0xABCDEF);
  EXPECT_EQ(Get(map, u"p"), "0000000000ABCDEF");
  EXPECT_EQ(map.GetPointer(u"missing", 0x1234), 0x1234u);
}

TEST(ZrPropertyMap, DoublesAreWrittenWithUpToSixteenDecimals) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1.5, "1.5"},
      {2.0, "2"},
      {-0.25, "-0.25"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {2.0 / 3.0, "0.6666666666666666"},
      {123456789.125, "123456789.125"},
      {1e-17, "0"},
      {std::numeric_limits<double>::quiet_NaN(), "?"},
      {std::numeric_limits<double>::infinity(), "?"},
      {-std::numeric_limits<double>::infinity(), "?"},
  };
  ZrPropertyMap map;
  for (const auto& c : cases) {
    map.SetDouble(u"d", c.value);
    EXPECT_EQ(Get(map, u"d"), c.text) << c.value;
  }
  map.SetString(u"comma", ZrString(u" +2,5e1x"));
  EXPECT_EQ(map.GetDouble(u"comma"), 25.0);
  EXPECT_EQ(map.GetDouble(u"missing", 2.5), 2.5);
  EXPECT_EQ(map.GetDouble(u"missing", 0.1), 0.1);
}

TEST(ZrPropertyMap, AssignAndMerge) {
  ZrPropertyMap a, b, empty;
  a.SetString(u"x", ZrString(u"1"));
  a.SetString(u"y", ZrString(u"2"));
  b.SetString(u"Y", ZrString(u"3"));
  b.SetString(u"z", ZrString(u"4"));

  ZrPropertyMap merged(a);
  EXPECT_TRUE(merged.Merge(b));
  EXPECT_EQ(Describe(merged), "x=1\ny=3\nz=4\n");  // y keeps its first spelling
  EXPECT_TRUE(merged.Merge(merged));
  EXPECT_TRUE(merged.Merge(empty));
  EXPECT_EQ(merged.GetCount(), 3);

  ZrPropertyMap assigned(a);
  EXPECT_TRUE(assigned.Assign(b));
  EXPECT_EQ(Describe(assigned), "Y=3\nz=4\n");
  EXPECT_TRUE(assigned.Assign(assigned));
  EXPECT_EQ(assigned.GetCount(), 2);
  EXPECT_TRUE(assigned.Assign(empty));
  EXPECT_EQ(assigned.GetEntries(), nullptr);

  // Values are shared, not copied.
  ZrPropertyMap copy;
  copy = a;
  ZrString original, copied;
  a.GetString(original, u"x");
  copy.GetString(copied, u"x");
  EXPECT_EQ(original.c_str(), copied.c_str());
}

TEST(ZrPropertyMap, IsEqual) {
  const auto make = [](std::initializer_list<std::pair<const char16_t*, const char16_t*>> entries) {
    ZrPropertyMap map;
    for (const auto& [key, value] : entries) map.SetString(key, ZrString(value));
    return map;
  };
  const struct {
    ZrPropertyMap a, b;
    bool equal;
  } cases[] = {
      {make({}), make({}), true},
      {make({{u"a", u"1"}}), make({{u"A", u"1"}}), true},
      {make({{u"a", u"x"}}), make({{u"a", u"X"}}), false},  // values compare case-sensitively
      {make({{u"a", u"1"}}), make({}), false},
      {make({{u"a", u"1"}}), make({{u"a", u"1"}, {u"b", u"2"}}), false},
      // The counts match and the key a, missing from the other, reads as empty there.
      {make({{u"a", u""}, {u"b", u"x"}}), make({{u"b", u"x"}, {u"c", u"y"}}), true},
      {make({{u"a", u"1"}, {u"b", u"x"}}), make({{u"b", u"x"}, {u"c", u"y"}}), false},
      {make({{u"a", u"ab"}}), make({{u"a", u"abc"}}), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a.IsEqual(c.b), c.equal) << Describe(c.a) << "vs\n" << Describe(c.b);
    EXPECT_TRUE(c.a.IsEqual(c.a));
  }
}

TEST(ZrPropertyMap, PackedFormIsWritten) {
  ZrPropertyMap map;
  ZrString text(u"prefix");
  map.WriteToString(text, true);
  EXPECT_EQ(Utf8(text), "prefix(1:0)");

  map.SetString(u"a", ZrString(u"xyz"));
  text.Empty();
  map.WriteToString(text, true);
  EXPECT_EQ(Utf8(text), "(1:1)(1:a)(3:xyz)");
  text.Empty();
  map.WriteToString(text, false);
  EXPECT_EQ(Utf8(text), "(1:0)");

  map.SetString(u"empty", ZrString());
  map.SetString(u"long", ZrString(std::u16string(12, u'l')));
  text.Empty();
  map.WriteToString(text, true);
  ZrPropertyMap back;
  back.ReadFromString(text);
  EXPECT_EQ(Describe(back), Describe(map));
  EXPECT_NE(Utf8(text).find("(5:empty)(0:)"), std::string::npos);
  EXPECT_NE(Utf8(text).find("(4:long)(12:llllllllllll)"), std::string::npos);
}

TEST(ZrPropertyMap, PackedFormIsRead) {
  const struct {
    const char16_t* text;
    const char* entries;
  } cases[] = {
      {u"(1:1)(1:a)(3:xyz)", "a=xyz\n"},
      {u"(1:2)(1:a)(1:b)", "=\na=b\n"},  // the second pair cannot be read: an empty key and value
      {u"(1:0)(1:a)(1:b)", ""},
      {u"", ""},
      {u"(x:1)(1:a)(1:b)", ""},
      {u"(:1)(1:a)(1:b)", ""},
      {u"(1:x)(1:a)(1:b)", ""},
      {u"(0:)(1:a)(1:b)", ""},
      {u"(2:-1)(1:a)(1:b)", ""},
      {u"(2:1x)(1:a)(1:b)", "a=b\n"},   // the count field reads as 1
      {u"(3:1)", ""},                 // too few characters: the count is damaged
      {u"(1:1](1:a)(1:b)", ""},       // no ")" after the count
      {u"(01:1)(001:a)(1:b)", "a=b\n"},
      {u"(1:1)(3:a)b)(1:))", "a)b=)\n"},  // the count, not the characters, ends a field
      {u"(10:2147483647)(1:a)(1:b)", "=\na=b\n"},
      {u"(1:3)(1:a)(1:b)junk(1:c)(1:d)", "=\na=b\n"},
  };
  for (const auto& c : cases) {
    ZrPropertyMap map;
    map.SetString(u"old", ZrString(u"entry"));
    map.ReadFromString(ZrString(c.text));
    EXPECT_EQ(Describe(map), c.entries) << Utf8(ZrString(c.text));
  }
}

TEST(ZrPropertyMap, PackedMapsReadOneAfterAnother) {
  ZrPropertyMap first, second;
  first.SetString(u"k", ZrString(u"(1:v)"));
  second.SetString(u"other", ZrString(u"2"));
  ZrString text;
  first.WriteToString(text);
  second.WriteToString(text);
  ZrPropertyMap a, b;
  int position = 0;
  a.ReadFromStringAt(text, position);
  b.ReadFromStringAt(text, position);
  EXPECT_EQ(Describe(a), "k=(1:v)\n");
  EXPECT_EQ(Describe(b), "other=2\n");
  EXPECT_EQ(position, text.Length());
}

TEST(ZrPropertyMap, ToXmlGivesTheRecordText) {
  ZrPropertyMap map;
  map.SetString(u"Code", ZrString(u"a<b"));
  ZrString xml;
  map.ToXml(xml, u"ZRIR", false, 1.0);
  EXPECT_EQ(Utf8(xml), "<ZRIR version=\"1.0\">\r\n<Item Name=\"Code\">a&lt;b</Item>\r\n</ZRIR>");

  ZrPropertyMap empty;
  empty.ToXml(xml, u"ZRIR", false, 1.0);
  EXPECT_EQ(Utf8(xml), "<ZRIR version=\"1.0\">\r\n</ZRIR>");
  xml = u"not cleared";
  empty.ToXml(xml, u"ZRIR", true, 1.0);
  EXPECT_EQ(Utf8(xml), "");

  ZrPropertyMap quoted;
  quoted.SetString(u"k\"'&", ZrString());
  quoted.ToXml(xml, u"XMLPH", true, 2.0);
  EXPECT_EQ(Utf8(xml), "<XMLPH version=\"2.0\">\r\n<Item Name=\"k&quot;&apos;&amp;\"/>\r\n</XMLPH>");
}

TEST(ZrPropertyMap, ToXmlWritesTheVersionInTheLocalesNotation) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE", "German"};
  const char* found = nullptr;
  for (const char* name : locales)
    if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
      found = name;
      break;
    }
  if (!found) {
    std::setlocale(LC_NUMERIC, saved.c_str());
    GTEST_SKIP() << "no locale with a decimal comma here";
  }
  ZrPropertyMap map;
  map.SetDouble(u"d", 0.5);  // stored numbers keep the point
  ZrString xml;
  map.ToXml(xml, u"ZRIR", false, 1.0);
  ZrPropertyMap back;
  const bool read = back.FromXml(xml, u"ZRIR", 1.0);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(Utf8(xml), "<ZRIR version=\"1,0\">\r\n<Item Name=\"d\">0.5</Item>\r\n</ZRIR>");
  EXPECT_TRUE(read);
  EXPECT_EQ(Describe(back), "d=0.5\n");
}

TEST(ZrPropertyMap, FromXmlChecksRootAndVersion) {
  const struct {
    const char16_t* xml;
    bool result;
    const char* entries;
  } cases[] = {
      {u"", true, ""},
      {u"<ZRIR version=\"1.0\">\r\n<Item Name=\"Code\">a&lt;b</Item>\r\n</ZRIR>", true, "Code=a<b\n"},
      {u"<ZRIR version=\"1,0\"><Item Name=\"a\">1</Item></ZRIR>", true, "a=1\n"},
      {u"<ZRIR version='1'><Item Name=\"a\">1</Item></ZRIR>", true, "a=1\n"},
      {u"<zrir version=\"1.0\"><item name=\"a\">1</item></zrir>", true, "a=1\n"},
      {u"<ZRIR version=\"2.0\"><Item Name=\"a\">1</Item></ZRIR>", false, ""},
      {u"<ZRIR><Item Name=\"a\">1</Item></ZRIR>", false, ""},
      {u"<ZRIPC version=\"1.0\"><Item Name=\"a\">1</Item></ZRIPC>", false, ""},
      {u"<!-- c --><other/><ZRIR version=\"1.0\"><Item Name=\"a\">1</Item></ZRIR>", true, "a=1\n"},
      {u"<ZRIR version=\"1.0\"><Item Name=\"a\">1</Item><Other Name=\"b\">2</Other>"
       u"<Item Name=\"A\">3</Item><Item>nameless</Item><Item Name=\"e\"/></ZRIR>",
       true, "=nameless\na=3\ne=\n"},
      {u"<ZRIR version=\"1.0\"><Item Name=\"a\">1</Item>", true, ""},  // root not ended: its items moved out
      {u"<ZRIR version=\"1.0\"><Item Name=\"a\">1</Item></ZRIR><x/>", true, "a=1\n"},
      {u"<ZRIR version=\"1.0\"><Item Name=\"a\">1</Item><x></ZRIR>", true, "a=1\n"},
      {u"not xml at all", false, ""},
      // Versions too long to read digit by digit are read by ZrToDouble, as every other version text.
      {u"<ZRIR version=\"1.00000000000000000000000000\"><Item Name=\"a\">1</Item></ZRIR>", true, "a=1\n"},
      {u"<ZRIR version=\"77777777777777777777777\"><Item Name=\"a\">1</Item></ZRIR>", false, ""},
      {u"<ZRIR version=\"&#49;.0\"><Item Name=\"a\">1</Item></ZRIR>", true, "a=1\n"},
      {u"<ZRIR version=\" 1.0\"><Item Name=\"a\">1</Item></ZRIR>", true, "a=1\n"},
  };
  for (const auto& c : cases) {
    ZrPropertyMap map;
    map.SetString(u"old", ZrString(u"entry"));
    EXPECT_EQ(map.FromXml(ZrString(c.xml), u"ZRIR", 1.0), c.result) << Utf8(ZrString(c.xml));
    EXPECT_EQ(Describe(map), c.entries) << Utf8(ZrString(c.xml));
  }
}

TEST(ZrPropertyMap, Dump) {
  ZrPropertyMap map;
  ZrString out(u"old");
  map.Dump(out, u"[", u"]\n");
  EXPECT_EQ(Utf8(out), "");
  map.SetString(u"Key", ZrString(u"value"));
  map.Dump(out, u"[", u"]\n");
  EXPECT_EQ(Utf8(out), "[Key: value]\n");
  map.Dump(out, nullptr, nullptr);
  EXPECT_EQ(Utf8(out), "Key: value");
}

// Records every call of the operations that others reach virtually.
class RecordingMap : public ZrPropertyMap {
 public:
  mutable std::vector<std::string> calls;

  void GetString(ZrString& out, const ZrChar* key, const ZrChar* defaultValue) const override {
    calls.push_back("GetString " + Utf8(ZrString(key)) + " default=" + (defaultValue ? Utf8(ZrString(defaultValue)) : "null"));
    ZrPropertyMap::GetString(out, key, defaultValue);
  }
  void SetString(const ZrChar* key, const ZrString& value, bool removeIfEmpty) override {
    calls.push_back("SetString " + Utf8(ZrString(key)) + "=" + Utf8(value) + (removeIfEmpty ? " remove-if-empty" : ""));
    ZrPropertyMap::SetString(key, value, removeIfEmpty);
  }
  void Remove(const ZrChar* key) override {
    calls.push_back("Remove " + Utf8(ZrString(key)));
    ZrPropertyMap::Remove(key);
  }
  void Clear() override {
    calls.push_back("Clear");
    ZrPropertyMap::Clear();
  }
  void WriteItems(ZrXmlDocument& document) const override {
    calls.push_back("WriteItems");
    ZrPropertyMap::WriteItems(document);
  }
  void ReadItems(ZrXmlDocument& document) override {
    calls.push_back("ReadItems");
    ZrPropertyMap::ReadItems(document);
  }
  std::string Take() {
    std::string all;
    for (const auto& call : calls) all += call + "\n";
    calls.clear();
    return all;
  }
};

TEST(ZrPropertyMap, OperationsReachEachOtherVirtually) {
  RecordingMap map;
  map.SetInt(u"i", 5);
  map.SetInt64(u"l", -6);
  map.SetDouble(u"d", 0.5);
  map.SetPointer(u"p", 16);
  EXPECT_EQ(map.Take(), "SetString i=5\nSetString l=-6\nSetString d=0.5\nSetString p=0000000000000010\n");

  map.GetInt(u"x", 7);
  map.GetInt64(u"x", -8);
  map.GetDouble(u"x", 1.25);
  map.GetPointer(u"x", 255);
  EXPECT_EQ(map.Take(),
            "GetString x default=7\nGetString x default=-8\nGetString x default=1.25\n"
            "GetString x default=00000000000000FF\n");

  map.SetString(u"i", ZrString(), true);
  EXPECT_EQ(map.Take(), "SetString i= remove-if-empty\nRemove i\n");

  map.ReadFromString(ZrString(u"(1:1)(1:a)(1:b)"));
  EXPECT_EQ(map.Take(), "Clear\nSetString a=b\n");

  ZrString xml;
  map.ToXml(xml, u"R", false, 1.0);
  EXPECT_EQ(map.Take(), "WriteItems\n");
  EXPECT_TRUE(map.FromXml(xml, u"R", 1.0));
  EXPECT_EQ(map.Take(), "Clear\nReadItems\nClear\nSetString a=b\n");

  ZrPropertyMap plain;
  plain.SetString(u"a", ZrString(u"b"));
  EXPECT_TRUE(plain.IsEqual(map));
  EXPECT_EQ(map.Take(), "GetString a default=null\n");
}

// Random keys and values of every BMP character but the control characters that the XML form
// replaces, and but unpaired surrogates; they come back exactly.
TEST(ZrPropertyMap, XmlFormRoundTripsRandomMaps) {
  std::mt19937 random(12345);
  const auto character = [&]() -> ZrChar {
    for (;;) {
      const int pick = static_cast<int>(random() % 8);
      ZrChar c;
      if (pick == 0) {
        c = u"&<>\"' \t\r\n;#x"[random() % 13];
      } else if (pick < 4) {
        c = static_cast<ZrChar>(0x20 + random() % 0x60);
      } else {
        c = static_cast<ZrChar>(random() % 0x10000);
      }
      if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != 1) || (c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE)
        continue;
      return c;
    }
  };
  const auto text = [&](size_t maxLength) {
    std::u16string s;
    const size_t n = random() % (maxLength + 1);
    for (size_t i = 0; i < n; ++i) s.push_back(character());
    if (random() % 4 == 0) s += u"\U0001F600";  // a proper surrogate pair
    return ZrString(std::u16string_view(s));
  };
  for (int round = 0; round < 200; ++round) {
    ZrPropertyMap map;
    const int count = static_cast<int>(random() % 20);
    for (int i = 0; i < count; ++i) {
      const ZrString key = text(12);
      map.SetString(key.c_str(), text(40));
    }
    ZrString xml;
    map.ToXml(xml, u"ZRIPC", false, 1.0);
    ZrPropertyMap back;
    ASSERT_TRUE(back.FromXml(xml, u"ZRIPC", 1.0)) << Utf8(xml);
    EXPECT_TRUE(back.IsEqual(map)) << Utf8(xml);
    EXPECT_EQ(Describe(back), Describe(map));
  }
}

TEST(ZrPropertyMap, ControlCharactersAreReplacedInTheXmlForm) {
  ZrPropertyMap map;
  map.SetString(u"k\x02", ZrString(std::u16string_view(u"a\x01" u"b\x1f\uFFFF\t", 6)));
  ZrString xml;
  map.ToXml(xml, u"R", false, 1.0);
  EXPECT_EQ(Utf8(xml), "<R version=\"1.0\">\r\n<Item Name=\"k?\">a&#x1;b??\t</Item>\r\n</R>");
  ZrPropertyMap back;
  ASSERT_TRUE(back.FromXml(xml, u"R", 1.0));
  EXPECT_EQ(Describe(back), "k?=a\x01" "b??\t\n");
}

}  // namespace
