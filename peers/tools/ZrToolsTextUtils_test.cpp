#include "peers/tools/ZrToolsTextUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(ZrToolsTextUtils, FindAnswersThePositionOfTheFirstMatch) {
  const struct {
    const wchar_t* text;
    const wchar_t* pattern;
    int options;
    int position;
  } cases[] = {
      {L"HID\\Vid_045E&Pid_0745&Col02", L"Vid_", 3, 4},
      {L"HID\\VID_045E&PID_0745", L"Vid_", 3, 4},
      {L"HID\\VID_045E&PID_0745", L"Vid_", 0, -1},
      {L"HID\\VID_045E&PID_0745", L"PID_", 0, 13},
      {L"ehtray.exe", L"EHTRAY.EXE", 3, 0},
      {L"xehtray.exe", L"ehtray.exe", 3, 1},
      {L"ehtray.ex", L"ehtray.exe", 3, -1},
      {L"aaab", L"aab", 3, 1},
      {L"abc", L"", 3, 0},
      {L"", L"a", 3, -1},
      {L"", L"", 3, 0},
      {nullptr, L"a", 3, -1},
      {L"a", nullptr, 3, -1},
  };
  ZrToolsTextUtils utils;
  for (const auto& c : cases)
    EXPECT_EQ(utils.Find(c.text, c.pattern, c.options), c.position)
        << (c.text ? c.text : L"(null)") << " / " << (c.pattern ? c.pattern : L"(null)");
}

TEST(ZrToolsTextUtils, CompareSortsModifierCodesAndIsTotal) {
  ZrToolsTextUtils utils;
  std::vector<std::wstring> codes = {L"5d", L"12", L"5B", L"10", L"5c", L"11", L"5b"};
  std::sort(codes.begin(), codes.end(),
            [&](const std::wstring& a, const std::wstring& b) { return utils.Compare(a.c_str(), b.c_str()) < 0; });
  EXPECT_EQ(codes, (std::vector<std::wstring>{L"10", L"11", L"12", L"5B", L"5b", L"5c", L"5d"}));
  EXPECT_EQ(utils.Compare(L"abc", L"abc"), 0);
  EXPECT_LT(utils.Compare(L"ab", L"abc"), 0);
  EXPECT_GT(utils.Compare(L"b", L"ABC"), 0);
  EXPECT_LT(utils.Compare(nullptr, L""), 0);
  EXPECT_EQ(utils.Compare(nullptr, nullptr), 0);
}

}  // namespace
