// The XML form checked by an independent parser: whatever a property map holds, ToXml must give
// well-formed XML that any reader turns back into the same names and values.

#include <expat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "foundation/ZrPropertyMap.h"

namespace {

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

// U+0001 is written as "&#x1;", which XML 1.0 does not allow as a reference; expat is shown a
// private-use character there instead, one that the generator never produces.
constexpr ZrChar kStandIn = 0xF8FF;

struct ExpatResult {
  bool wellFormed = false;
  std::string error;
  std::u16string root, version;
  Pairs items;
};

struct ExpatState {
  ExpatResult* result = nullptr;
  int depth = 0;
  bool inItem = false;
  std::u16string name, text;
};

std::u16string Wide(const char* utf8) { return std::u16string(ZrString::FromUtf8(utf8).View()); }

ExpatResult ParseWithExpat(const std::string& xml) {
  ExpatResult result;
  ExpatState state;
  state.result = &result;
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* element, const XML_Char** attributes) {
        auto* s = static_cast<ExpatState*>(data);
        ++s->depth;
        if (s->depth == 1) {
          s->result->root = Wide(element);
          for (int i = 0; attributes[i]; i += 2)
            if (std::string(attributes[i]) == "version") s->result->version = Wide(attributes[i + 1]);
        } else if (s->depth == 2 && std::string(element) == "Item") {
          s->inItem = true;
          s->name.clear();
          s->text.clear();
          for (int i = 0; attributes[i]; i += 2)
            if (std::string(attributes[i]) == "Name") s->name = Wide(attributes[i + 1]);
        }
      },
      [](void* data, const XML_Char*) {
        auto* s = static_cast<ExpatState*>(data);
        if (s->depth == 2 && s->inItem) {
          s->result->items.emplace_back(s->name, s->text);
          s->inItem = false;
        }
        --s->depth;
      });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* chars, int length) {
    auto* s = static_cast<ExpatState*>(data);
    if (s->inItem) s->text += std::u16string(ZrString::FromUtf8(std::string_view(chars, static_cast<size_t>(length))).View());
  });
  result.wellFormed = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
  if (!result.wellFormed) {
    result.error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                   std::to_string(XML_GetCurrentLineNumber(parser)) + " column " +
                   std::to_string(XML_GetCurrentColumnNumber(parser));
  }
  XML_ParserFree(parser);
  return result;
}

// What a conforming reader must return for a text we stored: our documented substitutions first,
// then the normalisation XML prescribes (line ends become LF; in attribute values tab, CR and LF
// become spaces).
std::u16string Expected(const std::u16string& stored, bool attribute) {
  std::u16string substituted;
  for (ZrChar c : stored) {
    if (c == 1) {
      substituted.push_back(kStandIn);
    } else if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF) {
      substituted.push_back(u'?');
    } else {
      substituted.push_back(c);
    }
  }
  std::u16string out;
  for (size_t i = 0; i < substituted.size(); ++i) {
    ZrChar c = substituted[i];
    if (c == u'\r') {
      if (i + 1 < substituted.size() && substituted[i + 1] == u'\n') ++i;
      c = u'\n';
    }
    if (attribute && (c == u'\n' || c == u'\t')) c = u' ';
    out.push_back(c);
  }
  return out;
}

std::string ForExpat(const ZrString& xml) {
  std::string utf8 = xml.ToUtf8();
  const std::string standIn = "&#xF8FF;";
  for (size_t at; (at = utf8.find("&#x1;")) != std::string::npos;) utf8.replace(at, 5, standIn);
  return utf8;
}

// Every BMP character but unpaired surrogates and the stand-in; some proper surrogate pairs; and
// the characters that XML treats specially, more often than chance would give them.
class TextSource {
 public:
  explicit TextSource(uint32_t seed) : m_random(seed) {}

  std::u16string Next(size_t maxLength) {
    std::u16string s;
    const size_t n = m_random() % (maxLength + 1);
    while (s.size() < n) {
      const uint32_t pick = m_random() % 10;
      if (pick == 0) {
        s.push_back(u"&<>\"'\t\r\n;#]"[m_random() % 11]);
      } else if (pick == 1) {
        s.push_back(static_cast<ZrChar>(m_random() % 0x20));
      } else if (pick == 2) {
        const uint32_t code = 0x10000 + m_random() % 0x100000;
        s.push_back(static_cast<ZrChar>(0xD800 + ((code - 0x10000) >> 10)));
        s.push_back(static_cast<ZrChar>(0xDC00 + ((code - 0x10000) & 0x3FF)));
      } else {
        const ZrChar c = static_cast<ZrChar>(m_random() % 0x10000);
        if ((c >= 0xD800 && c <= 0xDFFF) || c == kStandIn || c == 0) continue;
        s.push_back(c);
      }
    }
    return s;
  }

  uint32_t Below(uint32_t n) { return m_random() % n; }

 private:
  std::mt19937 m_random;
};

TEST(ZrPropertyMapExpat, RandomMapsAreWellFormedAndReadBackAlike) {
  TextSource source(20240611);
  for (int round = 0; round < 300; ++round) {
    ZrPropertyMap map;
    const uint32_t count = source.Below(25);
    for (uint32_t i = 0; i < count; ++i) {
      const std::u16string key = source.Next(16);
      map.SetString(ZrString(std::u16string_view(key)).c_str(), ZrString(std::u16string_view(source.Next(60))));
    }
    ZrString xml;
    map.ToXml(xml, u"ZRIPC", false, 1.0);

    const ExpatResult parsed = ParseWithExpat(ForExpat(xml));
    ASSERT_TRUE(parsed.wellFormed) << parsed.error << "\n" << xml.ToUtf8();
    EXPECT_EQ(parsed.root, u"ZRIPC");
    EXPECT_EQ(parsed.version, u"1.0");

    Pairs expected;
    if (map.GetEntries()) {
      for (const auto& entry : *map.GetEntries())
        expected.emplace_back(Expected(std::u16string(entry.Key().View()), true),
                              Expected(std::u16string(entry.Value().View()), false));
    }
    Pairs got = parsed.items;
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got.size(), expected.size()) << xml.ToUtf8();
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(ZrString(std::u16string_view(got[i].first)).ToUtf8(), ZrString(std::u16string_view(expected[i].first)).ToUtf8());
      EXPECT_EQ(ZrString(std::u16string_view(got[i].second)).ToUtf8(), ZrString(std::u16string_view(expected[i].second)).ToUtf8());
    }
  }
}

TEST(ZrPropertyMapExpat, EveryCharacterAloneSurvives) {
  // One map per block of 256 characters, each character once as a key and once in a value.
  for (int block = 0; block < 256; ++block) {
    ZrPropertyMap map;
    for (int c = block * 256; c < block * 256 + 256; ++c) {
      if ((c >= 0xD800 && c <= 0xDFFF) || c == kStandIn || c == 0) continue;
      const ZrChar key[] = {u'k', static_cast<ZrChar>(c), 0};
      const ZrChar value[] = {u'<', static_cast<ZrChar>(c), u'>', 0};
      map.SetString(key, ZrString(value));
    }
    ZrString xml;
    map.ToXml(xml, u"ZRIR", false, 1.0);
    const ExpatResult parsed = ParseWithExpat(ForExpat(xml));
    ASSERT_TRUE(parsed.wellFormed) << "block " << block << ": " << parsed.error;
    EXPECT_EQ(static_cast<int>(parsed.items.size()), map.GetCount()) << "block " << block;
  }
}

}  // namespace
