#include "ipc/ZrIpcPacket.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Bytes(const ZrByteBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.Data()), static_cast<size_t>(buffer.Size()));
}

ZrByteBuffer Buffer(const std::string& bytes) {
  ZrByteBuffer buffer;
  buffer.Append(bytes.data(), static_cast<int64_t>(bytes.size()));
  return buffer;
}

std::u16string Value(const ZrIpcPacket& packet, const ZrChar* key) {
  ZrString out;
  packet.GetString(out, key);
  return std::u16string(out.View());
}

std::string Packet(const std::string& itemValue) {
  return "<ZRIPC version=\"1.0\">\r\n<Item Name=\"k\">" + itemValue + "</Item>\r\n</ZRIPC>";
}

TEST(ZrIpcPacket, AnEmptyPacketIsTheRootAloneWithAClosingZero) {
  ZrIpcPacket packet;
  ZrByteBuffer buffer;
  ASSERT_TRUE(buffer.Append("old contents", 12));
  packet.ToBytes(buffer);
  EXPECT_EQ(Bytes(buffer), std::string("<ZRIPC version=\"1.0\">\r\n</ZRIPC>\0", 32));
  EXPECT_EQ(buffer.Size(), 32);
}

TEST(ZrIpcPacket, CharactersAreWrittenAsUtf8OneUnitAtATime) {
  const struct {
    std::u16string value;
    std::string bytes;
  } cases[] = {
      {u"\u00e9", "\xC3\xA9"},
      {u"A\u007f\u0080\u07ff\u0800\ufffd", "A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBD"},
      {u"\U0001F600", "\xED\xA0\xBD\xED\xB8\x80"},  // each surrogate on its own
      {u"a<b", "a&lt;b"},
  };
  for (const auto& c : cases) {
    ZrIpcPacket packet;
    packet.SetString(u"k", ZrString(std::u16string_view(c.value)));
    ZrByteBuffer buffer;
    packet.ToBytes(buffer);
    EXPECT_EQ(Bytes(buffer), Packet(c.bytes) + std::string(1, '\0'));
    ZrIpcPacket back;
    EXPECT_TRUE(back.FromBytes(buffer));
    EXPECT_EQ(Value(back, u"k"), c.value);
  }
}

TEST(ZrIpcPacket, MalformedUtf8BecomesOneCharacterPerByteAndFourByteFormsAQuestionMark) {
  const struct {
    std::string bytes;
    std::u16string value;
  } cases[] = {
      {"\xC3\xA9", u"\u00e9"},
      {"\xC3" "A", u"\u00c3A"},                      // a lead byte without its continuation
      {"\xF0\x9F\x98\x80", u"?"},                     // beyond 16 bits
      {"\xF0\x9F\x98" "A", u"\u00f0\u009f\u0098A"},
      {"\x80\xBF", u"\u0080\u00bf"},                  // stray continuation bytes
      {"\xE2\x82" "A", u"\u00e2\u0082A"},
      {"\xE2\x82\xAC", u"\u20ac"},
      {"\xF8\xFF", u"\u00f8\u00ff"},
  };
  for (const auto& c : cases) {
    ZrIpcPacket packet;
    EXPECT_TRUE(packet.FromBytes(Buffer(Packet(c.bytes) + std::string(1, '\0'))));
    EXPECT_EQ(ZrString(std::u16string_view(Value(packet, u"k"))).ToUtf8(), ZrString(std::u16string_view(c.value)).ToUtf8());
  }
}

TEST(ZrIpcPacket, TheTextEndsAtTheFirstZeroOrTheEndOfTheData) {
  const std::string text = Packet("v");
  for (const std::string& bytes : {text, text + std::string(1, '\0'), text + std::string("\0garbage<x>", 11)}) {
    ZrIpcPacket packet;
    EXPECT_TRUE(packet.FromBytes(Buffer(bytes)));
    EXPECT_EQ(Value(packet, u"k"), u"v");
  }
  // A lead byte as the last byte of the data, with no 0 after it.
  ZrIpcPacket packet;
  EXPECT_TRUE(packet.FromBytes(Buffer(text + "\xE2")));
  EXPECT_EQ(Value(packet, u"k"), u"v");
}

TEST(ZrIpcPacket, EmptyTextIsAnEmptyPacket) {
  for (const std::string& bytes : {std::string(), std::string(1, '\0'), std::string("\0<ZRIR/>", 8)}) {
    ZrIpcPacket packet;
    packet.SetString(u"old", ZrString(u"entry"));
    EXPECT_TRUE(packet.FromBytes(Buffer(bytes)));
    EXPECT_EQ(packet.GetCount(), 0);
  }
  ZrIpcPacket packet;
  EXPECT_TRUE(packet.FromBytes(ZrByteBuffer()));
}

TEST(ZrIpcPacket, TextsThatAreNoPacketFail) {
  for (const std::string& bytes : {std::string("<ZRIR version=\"1.0\"><Item Name=\"k\">v</Item></ZRIR>"),
                                   std::string("<ZRIPC version=\"2.0\"><Item Name=\"k\">v</Item></ZRIPC>"),
                                   std::string("<ZRIPC><Item Name=\"k\">v</Item></ZRIPC>"), std::string("garbage")}) {
    ZrIpcPacket packet;
    packet.SetString(u"old", ZrString(u"entry"));
    EXPECT_FALSE(packet.FromBytes(Buffer(bytes))) << bytes;
    EXPECT_EQ(packet.GetCount(), 0) << bytes;
  }
  ZrIpcPacket lower;
  EXPECT_TRUE(lower.FromBytes(Buffer("<zripc version=\"1.0\"><item name=\"k\">v</item></zripc>")));
  EXPECT_EQ(Value(lower, u"K"), u"v");
}

TEST(ZrIpcPacket, ARequestRoundTrips) {
  ZrIpcPacket request;
  request.SetString(u"Command", ZrString(u"IRBlast"));
  request.SetInt(u"Port", 2);
  request.SetString(u"Code", ZrString(u"<ZRIR version=\"1.0\">\r\n<Item Name=\"IRData\">0000 006d</Item>\r\n</ZRIR>"));
  request.SetString(u"Name", ZrString(u"Caf\u00e9 \u6f22\u5b57 \U0001F600 &'\""));
  request.SetString(u"Empty", ZrString());
  ZrByteBuffer buffer;
  request.ToBytes(buffer);
  EXPECT_EQ(buffer.Data()[buffer.Size() - 1], 0);
  ZrIpcPacket reply;
  ASSERT_TRUE(reply.FromBytes(buffer));
  EXPECT_TRUE(reply.IsEqual(request));
  EXPECT_EQ(reply.GetCount(), 5);
  EXPECT_EQ(reply.GetInt(u"port"), 2);
}

}  // namespace
