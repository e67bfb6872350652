#include "mce/MceRemoteReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

struct Row {
  uint32_t size;
  uint8_t id;
  uint8_t first;
  uint8_t second;  // report 2 only
  MceRemoteButton button;
};

using Kind = MceRemoteButton::Kind;

constexpr Row kRows[] = {
    {2, 3, 0x48, 0, {Kind::kCode, 22001, 10}},
    {2, 3, 0x25, 0, {Kind::kCode, 30002, 0}},
    {2, 3, 0x24, 0, {Kind::kCode, 10033, 0}},
    {2, 3, 0x46, 0, {Kind::kCode, 22001, 8}},
    {2, 3, 0x47, 0, {Kind::kCode, 22001, 3}},
    {2, 3, 0x49, 0, {Kind::kCode, 22001, 4}},
    {2, 3, 0x4A, 0, {Kind::kCode, 22001, 5}},
    {2, 3, 0x50, 0, {Kind::kCode, 10047, 0}},
    {2, 3, 0x0D, 0, {Kind::kCode, 22001, 0}},
    {3, 2, 0x8D, 0x00, {Kind::kCode, 22001, 9}},
    {3, 2, 0x09, 0x02, {Kind::kCode, 10051, 0}},
    {3, 2, 0xB5, 0x00, {Kind::kSkipForward, static_cast<int32_t>(kMceSkipForwardCommand), 0}},
    {3, 2, 0xB6, 0x00, {Kind::kSkipBack, static_cast<int32_t>(kMceSkipBackCommand), 0}},
};

int32_t Saturate(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

int32_t Saturate(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

MceRemoteButton MatchMceRemoteReport(const uint8_t* report, uint32_t size) {
  if (!report || size < 2) return {};
  for (const Row& row : kRows) {
    if (row.size != size || row.id != report[0] || row.first != report[1]) continue;
    if (size == 3 && row.second != report[2]) continue;
    return row.button;
  }
  return {};
}

ZrString MceCodeText(int32_t command, int32_t parameter) {
  char text[48];
  std::snprintf(text, sizeof text, "MCE_%d_%d", static_cast<int>(command), static_cast<int>(parameter));
  return ZrString::FromNarrow(text);
}

ZrString MceSeekText(int32_t distance, uint32_t command) {
  ZrString text = MceCodeText(kMceSeekCommand, distance);
  if (command != 0) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%u", static_cast<unsigned>(command));
    text += ZrString::FromNarrow(suffix);
  }
  return text;
}

int32_t MceSeekStep(int32_t value, bool forward) {
  // In 64 bits: -2147483648 has no absolute value in 32.
  const int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
  return Saturate(forward ? magnitude : -magnitude);
}

int32_t MceSeekDistance(int32_t step, double elapsedMs) {
  const double factor = std::min(elapsedMs / 100.0, 10.0);
  const double scaled = factor * static_cast<double>(step);
  return Saturate(scaled > 0 ? scaled + 0.5 : scaled - 0.5);
}
