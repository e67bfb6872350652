#include "rawinput/RawInputCodeMaker.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ZrRawInputRecord Key(uint16_t vkey, uint32_t message = 0x100) {
  ZrRawInputRecord record;
  record.type = kRawInputTypeKeyboard;
  record.vkey = vkey;
  record.message = message;
  return record;
}

ZrRawInputRecord Hid(const std::vector<uint8_t>& bytes, uint32_t sizeHid, uint32_t count = 1) {
  ZrRawInputRecord record;
  record.type = kRawInputTypeHid;
  record.reportSize = sizeHid;
  record.reportCount = count;
  record.reports = bytes.data();
  return record;
}

RawInputCodeMaker Maker() {
  RawInputCodeMaker maker;
  maker.SetPrefix(u"045E_0745_");
  return maker;
}

TEST(RawInputCodeMaker, HidReportsAreUpperCaseHexOfTheFirstReport) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t sizeHid, count;
    const char* code;
  } cases[] = {
      {{0x02, 0x10, 0x00}, 3, 1, "045E_0745_021000"},
      {{0x01, 0x00, 0x01}, 3, 1, "045E_0745_010001"},
      {{0xab, 0xcd, 0xef, 0x01}, 2, 2, "045E_0745_ABCD"},  // the first report only
      // The three silent reports give nothing.
      {{0x01, 0x00, 0x00}, 3, 1, ""},
      {{0x02, 0x00, 0x00, 0x00}, 4, 1, ""},
      {{0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, 8, 1, ""},
      {{0x01, 0x00, 0x00, 0x00}, 4, 1, "045E_0745_01000000"},
      {{}, 0, 1, ""},
      {{0x05}, 1, 0, ""},
  };
  for (const Case& c : cases) {
    RawInputCodeMaker maker = Maker();
    const RawInputCode code = maker.MakeCode(Hid(c.bytes, c.sizeHid, c.count));
    EXPECT_EQ(code.text.ToUtf8(), c.code) << c.code;
    EXPECT_EQ(code.vkey, 0) << c.code;
  }
}

// Each row: the keys pressed in order (negative: released), the code of the last record.
TEST(RawInputCodeMaker, KeysWithTheModifiersHeldBeforeThem) {
  struct Case {
    const char* what;
    std::vector<int> keys;
    const char* code;
    uint16_t vkey;
  } cases[] = {
      {"a plain key", {0x41}, "045E_0745_41", 0x41},
      {"a key below 0x10 has two digits", {0x08}, "045E_0745_08", 0x08},
      {"Shift+F5", {0x10, 0x74}, "045E_0745_1074", 0x74},
      {"Control, Shift, key", {0x11, 0x10, 0x41}, "045E_0745_101141", 0x41},
      {"Shift, Control, key", {0x10, 0x11, 0x41}, "045E_0745_101141", 0x41},
      {"Windows keys and alt sort as text", {0x5D, 0x12, 0x5B, 0x41}, "045E_0745_125b5d41", 0x41},
      {"Control auto-repeats", {0x11, 0x11, 0x11, 0x41}, "045E_0745_1141", 0x41},
      {"Control released", {0x11, -0x11, 0x41}, "045E_0745_41", 0x41},
      {"a modifier alone", {0x11}, "", 0x11},
      {"two modifiers alone", {0x11, 0x10}, "", 0x10},
      {"a release", {0x41, -0x41}, "", 0},
      {"the list empties after a key", {0x11, 0x41, 0x42}, "045E_0745_42", 0x42},
  };
  for (const Case& c : cases) {
    RawInputCodeMaker maker = Maker();
    RawInputCode code;
    for (int key : c.keys)
      code = maker.MakeCode(key < 0 ? Key(static_cast<uint16_t>(-key), 0x101) : Key(static_cast<uint16_t>(key)));
    EXPECT_EQ(code.text.ToUtf8(), c.code) << c.what;
    EXPECT_EQ(code.vkey, c.vkey) << c.what;
  }
}

TEST(RawInputCodeMaker, SystemKeysAndAppCommandsAreKeysToo) {
  for (uint32_t message : {0x104u, 0x319u}) {
    RawInputCodeMaker maker = Maker();
    EXPECT_EQ(maker.MakeCode(Key(0x12, message)).text.ToUtf8(), "") << message;
    EXPECT_EQ(maker.MakeCode(Key(0x73, message)).text.ToUtf8(), "045E_0745_1273") << message;
  }
  // Any other message (a character, a system key release) empties the list.
  RawInputCodeMaker maker = Maker();
  maker.MakeCode(Key(0x11));
  maker.MakeCode(Key(0x11, 0x105));
  EXPECT_EQ(maker.Modifiers().GetCount(), 0);
}

TEST(RawInputCodeMaker, MouseAndUnknownRecordsGiveNothingAndKeepTheModifiers) {
  RawInputCodeMaker maker = Maker();
  maker.MakeCode(Key(0x10));
  for (uint32_t type : {kRawInputTypeMouse, 7u}) {
    ZrRawInputRecord record;
    record.type = type;
    EXPECT_TRUE(maker.MakeCode(record).text.IsEmpty());
  }
  EXPECT_EQ(maker.MakeCode(Key(0x74)).text.ToUtf8(), "045E_0745_1074");
}

}  // namespace
