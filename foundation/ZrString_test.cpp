#include "foundation/ZrString.h"

#include <gtest/gtest.h>

TEST(ZrString, HashMatchesKnownVector) {
  EXPECT_EQ(static_cast<int32_t>(ZrHashNoCase(u"D:\\Media\\")), -43772418);
  EXPECT_EQ(ZrHashNoCase(u"ABC"), ZrHashNoCase(u"abc"));
}
