#include "foundation/win/ZrDeleteProbe.h"

#include <gtest/gtest.h>

TEST(ZrDeleteProbe, EveryLiveProbeLearnsOfTheDeletionAndFinishedOnesLeaveTheList) {
  auto* host = new ZrDeleteProbeHost;
  {
    ZrDeleteProbe finished(host);
    EXPECT_EQ(host->ProbeCount(), 1);
  }
  EXPECT_EQ(host->ProbeCount(), 0);

  ZrDeleteProbe outer(host);
  ZrDeleteProbe inner(host);
  ZrDeleteProbe unrelated(nullptr);
  EXPECT_EQ(host->ProbeCount(), 2);
  delete host;
  EXPECT_TRUE(outer.IsDeleted());
  EXPECT_TRUE(inner.IsDeleted());
  EXPECT_FALSE(unrelated.IsDeleted());
}
