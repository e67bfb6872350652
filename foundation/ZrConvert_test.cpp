#include "foundation/ZrConvert.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace {

TEST(ZrConvert, TextToInteger) {
  struct Case {
    const char16_t* text;
    int32_t value;
  } cases[] = {
      {u"  -12abc", -12},        {u"42", 42},           {u"+7", 7},
      {u"\t\r\n 5", 5},          {u"abc", 0},           {u"", 0},
      {u"--5", 0},               {u"+-5", 0},           {u"- 5", 0},
      {u"12 34", 12},            {u"2147483647", 2147483647},
      {u"21474836470", 2147483647}, {u"99999999999", 2147483647},
      {u"-2147483648", -2147483647}, {u"-99999999999", -2147483647},
      {u"0x1F", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ZrToInt(c.text), c.value) << ZrString(c.text).ToUtf8();
  EXPECT_EQ(ZrToInt(nullptr), 0);
}

TEST(ZrConvert, TextToInteger64) {
  struct Case {
    const char16_t* text;
    int64_t value;
  } cases[] = {
      {u" 9223372036854775807", std::numeric_limits<int64_t>::max()},
      {u"92233720368547758070", std::numeric_limits<int64_t>::max()},
      {u"-92233720368547758070", -std::numeric_limits<int64_t>::max()},
      {u"-4294967296x", -4294967296LL},
      {u"q", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ZrToInt64(c.text), c.value) << ZrString(c.text).ToUtf8();
}

TEST(ZrConvert, TextToReal) {
  struct Case {
    const char16_t* text;
    double value;
  } cases[] = {
      {u"1.0", 1.0},    {u"1,0", 1.0},      {u"  ++2.5", 2.5}, {u"-0,25", -0.25},
      {u"1e3", 1000.0}, {u"2.5E-1", 0.25},  {u"3e", 3.0},      {u"x1", 0.0},
      {u"", 0.0},       {u".5", 0.5},       {u"7.", 7.0},      {u"1.2.3", 1.2},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(ZrToDouble(c.text), c.value) << ZrString(c.text).ToUtf8();
}

TEST(ZrConvert, HexPointerText) {
  struct Case {
    const char16_t* text;
    uint64_t value;
  } cases[] = {
      {u"0x1F", 31},  {u"1F", 31},   {u"1f", 31},  {u"0X1F", 0},
      {u"-1", ~0ull}, {u"  ff", 255}, {u"zz", 0},
      {u"FFFFFFFFFFFFFFFF", ~0ull},  {u"12345678901234567", ~0ull},
  };
  for (const auto& c : cases) EXPECT_EQ(ZrToPointer(c.text), c.value) << ZrString(c.text).ToUtf8();
  EXPECT_EQ(ZrPointerToText(0x1F), ZrString(u"000000000000001F"));
  EXPECT_EQ(ZrToPointer(ZrPointerToText(0xDEADBEEFCAFEull)), 0xDEADBEEFCAFEull);
}

TEST(ZrConvert, NumbersToText) {
  EXPECT_EQ(ZrIntToText(0), ZrString(u"0"));
  EXPECT_EQ(ZrIntToText(-2147483648LL), ZrString(u"-2147483648"));
  EXPECT_EQ(ZrIntToText(std::numeric_limits<int64_t>::min()), ZrString(u"-9223372036854775808"));
  EXPECT_EQ(ZrIntToText(255, 16), ZrString(u"ff"));

  struct Case {
    double value;
    const char16_t* text;
  } cases[] = {
      {1.0, u"1"},        {-3.0, u"-3"},         {0.5, u"0.5"},        {0.1, u"0.1"},
      {1.0 / 3.0, u"0.3333333333333333"},        {2.0 / 3.0, u"0.6666666666666666"},
      {123456.25, u"123456.25"},                 {1e-17, u"0"},        {-1e-17, u"0"},
      {std::numeric_limits<double>::infinity(), u"?"},
      {std::nan(""), u"?"},
  };
  for (const auto& c : cases) EXPECT_EQ(ZrDoubleToText(c.value), ZrString(c.text)) << c.value;
  EXPECT_EQ(ZrDoubleToText1(1.0), ZrString(u"1.0"));
  EXPECT_EQ(ZrDoubleToText1(2.25), ZrString(u"2.2"));
}

// Stored numbers use "." whatever the locale; only the one-decimal form speaks the locale.
TEST(ZrConvert, DecimalPointUnderACommaLocale) {
#ifdef _WIN32
  const char* locale = std::setlocale(LC_ALL, "German_Germany.1252");
#else
  const char* locale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
#endif
  if (!locale) GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(ZrDoubleToText(0.5), ZrString(u"0.5"));
  EXPECT_DOUBLE_EQ(ZrToDouble(u"1.5"), 1.5);
  EXPECT_DOUBLE_EQ(ZrToDouble(u"1,5"), 1.5);
  EXPECT_EQ(ZrDoubleToText1(1.0), ZrString(u"1,0"));
  std::setlocale(LC_ALL, "C");
}

}  // namespace
