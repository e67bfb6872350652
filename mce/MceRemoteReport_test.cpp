#include "mce/MceRemoteReport.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using Kind = MceRemoteButton::Kind;

TEST(MceRemoteReport, EveryRowOfTheTableAndWhatMatchesNone) {
  struct Case {
    std::vector<uint8_t> report;
    Kind kind;
    const char* code;  // for kCode
  } cases[] = {
      {{0x03, 0x48}, Kind::kCode, "MCE_22001_10"}, {{0x03, 0x25}, Kind::kCode, "MCE_30002_0"},
      {{0x03, 0x24}, Kind::kCode, "MCE_10033_0"},  {{0x03, 0x46}, Kind::kCode, "MCE_22001_8"},
      {{0x03, 0x47}, Kind::kCode, "MCE_22001_3"},  {{0x03, 0x49}, Kind::kCode, "MCE_22001_4"},
      {{0x03, 0x4A}, Kind::kCode, "MCE_22001_5"},  {{0x03, 0x50}, Kind::kCode, "MCE_10047_0"},
      {{0x03, 0x0D}, Kind::kCode, "MCE_22001_0"},  {{0x02, 0x8D, 0x00}, Kind::kCode, "MCE_22001_9"},
      {{0x02, 0x09, 0x02}, Kind::kCode, "MCE_10051_0"},
      {{0x02, 0xB5, 0x00}, Kind::kSkipForward, nullptr},
      {{0x02, 0xB6, 0x00}, Kind::kSkipBack, nullptr},
      // Releases, other ids, other lengths and the second byte of a usage all count.
      {{0x03, 0x00}, Kind::kNone, nullptr},        {{0x02, 0x00, 0x00}, Kind::kNone, nullptr},
      {{0x04, 0x0D}, Kind::kNone, nullptr},        {{0x03, 0x0D, 0x00}, Kind::kNone, nullptr},
      {{0x02, 0x8D}, Kind::kNone, nullptr},        {{0x02, 0x8D, 0x01}, Kind::kNone, nullptr},
      {{0x02, 0x09, 0x00}, Kind::kNone, nullptr},  {{0x03}, Kind::kNone, nullptr},
      {{}, Kind::kNone, nullptr},
  };
  for (const Case& c : cases) {
    const MceRemoteButton button = MatchMceRemoteReport(c.report.data(), static_cast<uint32_t>(c.report.size()));
    std::string bytes;
    for (uint8_t b : c.report) bytes += std::to_string(b) + " ";
    EXPECT_EQ(button.kind, c.kind) << bytes;
    if (c.code) EXPECT_EQ(MceCodeText(button.command, button.parameter).ToUtf8(), c.code) << bytes;
  }
}

TEST(MceRemoteReport, SeekTexts) {
  EXPECT_EQ(MceSeekText(5000, kMceSkipForwardCommand).ToUtf8(), "MCE_10034_5000_10003");
  EXPECT_EQ(MceSeekText(-5000, kMceSkipBackCommand).ToUtf8(), "MCE_10034_-5000_10004");
  EXPECT_EQ(MceSeekText(-2147483647 - 1, kMceSkipBackCommand).ToUtf8(), "MCE_10034_-2147483648_10004");
  EXPECT_EQ(MceSeekText(7, 0).ToUtf8(), "MCE_10034_7");
}

// The step comes from a host value; any 32-bit value, the extremes included, gives a step and
// distances that saturate instead of wrapping.
TEST(MceRemoteReport, SeekStepAndDistanceSaturate) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  struct Step {
    int32_t value;
    bool forward;
    int32_t step;
  } steps[] = {
      {3000, false, -3000}, {-3000, false, -3000}, {3000, true, 3000}, {-3000, true, 3000},
      {kMin, false, kMin},  {kMin, true, kMax},    {kMax, false, -kMax}, {0, true, 0},
  };
  for (const Step& s : steps) EXPECT_EQ(MceSeekStep(s.value, s.forward), s.step) << s.value << " " << s.forward;

  struct Distance {
    int32_t step;
    double elapsedMs;
    int32_t distance;
  } distances[] = {
      {-3000, 100, -3000},  {-3000, 110, -3300},   {-3000, 2500, -30000}, {3000, 1000, 30000},
      {3000, 1000.1, 30000}, {1, 50, 1},           {1, 49, 0},            {-1, 50, -1},  // 0.5 away from zero
      {kMax, 1000, kMax},   {kMax, 2500, kMax},    {kMin, 1000, kMin},    {kMin, 50, -1073741824},
      {kMax, 100, kMax},    {-kMax, 200, kMin},
  };
  for (const Distance& d : distances)
    EXPECT_EQ(MceSeekDistance(d.step, d.elapsedMs), d.distance) << d.step << " after " << d.elapsedMs << " ms";
}

}  // namespace
