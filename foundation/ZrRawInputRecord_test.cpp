#include "foundation/ZrRawInputRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> HidRecord(uint64_t device, uint32_t sizeHid, uint32_t count, size_t reportBytes) {
  std::vector<uint8_t> data(kRawInputHeaderSize + kRawHidHeaderSize + reportBytes, 0xAA);
  const uint32_t type = kRawInputTypeHid;
  std::memcpy(&data[0], &type, 4);
  std::memcpy(&data[8], &device, 8);
  std::memcpy(&data[24], &sizeHid, 4);
  std::memcpy(&data[28], &count, 4);
  return data;
}

TEST(ZrRawInputRecord, KeyboardRecordGivesItsKeyAndMessage) {
  std::vector<uint8_t> data(40, 0);
  const uint32_t type = kRawInputTypeKeyboard, message = 0x100;
  const uint64_t device = 0x1122334455667788ull;
  const uint16_t vkey = 0x74;
  std::memcpy(&data[0], &type, 4);
  std::memcpy(&data[8], &device, 8);
  std::memcpy(&data[30], &vkey, 2);
  std::memcpy(&data[32], &message, 4);
  ZrRawInputRecord record;
  ASSERT_TRUE(ZrReadRawInputRecord(data.data(), data.size(), record));
  EXPECT_EQ(record.type, kRawInputTypeKeyboard);
  EXPECT_EQ(record.device, device);
  EXPECT_EQ(record.vkey, 0x74);
  EXPECT_EQ(record.message, 0x100u);
  // One byte short of the keyboard part.
  EXPECT_FALSE(ZrReadRawInputRecord(data.data(), data.size() - 1, record));
}

// The reports a HID record claims must lie inside the bytes written; a claim past them, including
// one whose product would wrap in 32 bits, refuses the whole record.
TEST(ZrRawInputRecord, HidReportsMustFitInsideTheRecord) {
  struct Case {
    uint32_t sizeHid, count;
    size_t reportBytes;
    bool accepted;
  } cases[] = {
      {3, 1, 3, true},           {3, 2, 6, true},          {3, 2, 5, false},  {3, 1, 2, false},
      {0, 0, 0, true},           {0, 5, 0, true},          {1, 0, 0, true},   {0x80000000u, 2, 4, false},
      {0x10000u, 0x10000u, 0, false}, {0xFFFFFFFFu, 0xFFFFFFFFu, 16, false},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> data = HidRecord(7, c.sizeHid, c.count, c.reportBytes);
    ZrRawInputRecord record;
    EXPECT_EQ(ZrReadRawInputRecord(data.data(), data.size(), record), c.accepted)
        << "dwSizeHid " << c.sizeHid << " dwCount " << c.count << " bytes " << c.reportBytes;
    if (c.accepted) {
      EXPECT_EQ(record.reportSize, c.sizeHid);
      EXPECT_EQ(record.reportCount, c.count);
      EXPECT_EQ(record.reports, data.data() + 32);
    }
  }
}

TEST(ZrRawInputRecord, TooShortForAHeaderOrTheHidCounts) {
  ZrRawInputRecord record;
  const std::vector<uint8_t> data = HidRecord(7, 1, 1, 1);
  for (size_t size : {size_t{0}, size_t{23}, size_t{24}, size_t{31}})
    EXPECT_FALSE(ZrReadRawInputRecord(data.data(), size, record)) << size;
  EXPECT_FALSE(ZrReadRawInputRecord(nullptr, 40, record));
  // A mouse record is read by its header alone.
  std::vector<uint8_t> mouse(24, 0);
  EXPECT_TRUE(ZrReadRawInputRecord(mouse.data(), mouse.size(), record));
  EXPECT_EQ(record.type, kRawInputTypeMouse);
}

}  // namespace
