#include "foundation/ZrTimer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(ZrTimer, ReadWithoutRestartKeepsTheStart) {
  ZrTimer timer;
  const int64_t start = timer.StartNs();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const double first = timer.ElapsedMs(false);
  EXPECT_GE(first, 1.0);
  EXPECT_EQ(timer.StartNs(), start);
  EXPECT_GE(timer.ElapsedMs(false), first);
}

TEST(ZrTimer, SuccessiveRestartingReadsAddUpToTheWholeInterval) {
  ZrTimer timer;
  const int64_t origin = timer.StartNs();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const int64_t a = timer.ElapsedNs(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const int64_t b = timer.ElapsedNs(true);
  EXPECT_EQ(origin + a + b, timer.StartNs()) << "no interval lost or counted twice";
  EXPECT_GT(a, 0);
  EXPECT_GT(b, 0);
}

TEST(ZrTimer, RestartAnswersThePreviousStart) {
  ZrTimer timer;
  const int64_t start = timer.StartNs();
  EXPECT_EQ(timer.Restart(), start);
  EXPECT_GE(timer.StartNs(), start);
}

// Many readers restarting at once: the intervals they see tile the time exactly.
TEST(ZrTimer, ConcurrentRestartingReadsTileTheTimeline) {
  ZrTimer timer;
  const int64_t origin = timer.StartNs();
  std::vector<int64_t> sums(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5000; ++i) sums[t] += timer.ElapsedNs(true);
    });
  for (auto& t : threads) t.join();
  int64_t total = 0;
  for (int64_t s : sums) total += s;
  EXPECT_EQ(origin + total, timer.StartNs());
}

}  // namespace
