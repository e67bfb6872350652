#pragma once
// What one report of the MCE remote's receiver means, and the texts the plug-in makes of it.
// Report 3 carries one byte of the vendor collection; report 2 a 16-bit little-endian consumer
// usage. Everything here is plain computation, so that it builds natively for the sanitizers.

#include <cstdint>

#include "foundation/ZrString.h"

inline constexpr uint32_t kMceSkipForwardCommand = 10003;
inline constexpr uint32_t kMceSkipBackCommand = 10004;
inline constexpr int32_t kMceSeekCommand = 10034;
inline constexpr int32_t kMceSeekPlayerType = 11;

struct MceRemoteButton {
  enum class Kind { kNone, kCode, kSkipForward, kSkipBack };
  Kind kind = Kind::kNone;
  int32_t command = 0;
  int32_t parameter = 0;
};

// The button of one report (its first byte is the report id); kNone for a report that matches no
// row, a release among them.
MceRemoteButton MatchMceRemoteReport(const uint8_t* report, uint32_t size);

// "MCE_<command>_<parameter>".
ZrString MceCodeText(int32_t command, int32_t parameter);
// "MCE_10034_<distance>_<command>"; a command of 0 adds no suffix.
ZrString MceSeekText(int32_t distance, uint32_t command);

// The step of a seek from the host's value: its absolute value forwards, negated backwards,
// saturated at the 32-bit limits (a value of -2147483648 forwards gives 2147483647).
int32_t MceSeekStep(int32_t value, bool forward);
// The distance of a tick: min(elapsedMs / 100, 10) x step, rounded half away from zero and
// saturated at the 32-bit limits.
int32_t MceSeekDistance(int32_t step, double elapsedMs);
