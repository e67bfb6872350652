#include "foundation/ZrMap.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace {

// Lists a map's keys in iteration order.
template <typename Map>
auto Keys(const Map& map) {
  std::vector<std::decay_t<decltype(map.begin().Key())>> keys;
  for (auto it = map.begin(); it != map.end(); ++it) keys.push_back(it.Key());
  return keys;
}

TEST(ZrMap, BucketCountsGrowAsTwoToTheKMinusOne) {
  ZrMap<int, int> map;
  EXPECT_EQ(map.GetBucketCount(), 0u) << "no table before the first insertion";
  std::vector<std::pair<int, uint32_t>> changes;
  uint32_t last = 0;
  for (int i = 1; i <= 200; ++i) {
    map.SetAt(i, i);
    if (map.GetBucketCount() != last) changes.push_back({i, last = map.GetBucketCount()});
  }
  // 7 buckets hold 16 entries (2*7+2); the 17th grows to 31 (smallest 2^k > 17 with k >= 4 is 32),
  // 31 buckets hold 64; the 65th grows to 127; 127 hold 256.
  const std::vector<std::pair<int, uint32_t>> expected = {{1, 7}, {17, 31}, {65, 127}};
  EXPECT_EQ(changes, expected);
  for (int i = 1; i <= 200; ++i) ASSERT_EQ(*map.Find(i), i);
}

TEST(ZrMap, NewEntriesGoToTheEndOfTheirChainAndGrowthRelinksAtTheHead) {
  ZrMap<int, int> map;
  // 1, 8 and 15 share bucket 1 of 7; 2 is bucket 2.
  for (int k : {15, 2, 1, 8}) map.SetAt(k, 0);
  EXPECT_EQ(Keys(map), (std::vector<int>{15, 1, 8, 2}));
  // Fill to 16 entries in bucket 0 (multiples of 7), then the 17th insertion grows the table to 31.
  ZrMap<int, int> grow;
  for (int i = 1; i <= 16; ++i) grow.SetAt(i * 7, 0);
  EXPECT_EQ(grow.GetBucketCount(), 7u);
  grow.SetAt(0, 0);  // goes to bucket 0 of 31, after the relinked entries
  EXPECT_EQ(grow.GetBucketCount(), 31u);
  // Old chain 7,14,...,112 is relinked at the heads of the new chains in that order, so within one
  // new bucket the later old entry comes first. 31 and 62... are not multiples of 7 below 112
  // except none; bucket of 7k is 7k % 31.
  std::map<uint32_t, std::vector<int>> chains;
  for (int i = 16; i >= 1; --i) chains[static_cast<uint32_t>(i * 7 % 31)].push_back(i * 7);
  chains[0].push_back(0);
  std::vector<int> expected;
  for (auto& [bucket, keys] : chains) expected.insert(expected.end(), keys.begin(), keys.end());
  EXPECT_EQ(Keys(grow), expected);
}

TEST(ZrMap, ReplaceRemoveAndReinsert) {
  ZrMap<int, ZrString> map;
  map.SetAt(1, ZrString(u"one"));
  map.SetAt(8, ZrString(u"eight"));
  map.SetAt(1, ZrString(u"uno"));
  EXPECT_EQ(map.GetCount(), 2);
  EXPECT_EQ(*map.Find(1), ZrString(u"uno"));
  EXPECT_TRUE(map.RemoveKey(1));
  EXPECT_FALSE(map.RemoveKey(1));
  EXPECT_EQ(map.Find(1), nullptr);
  map[1] = ZrString(u"again");
  EXPECT_EQ(Keys(map), (std::vector<int>{8, 1}));
  map.RemoveAll();
  EXPECT_EQ(map.GetCount(), 0);
  EXPECT_EQ(map.begin(), map.end());
}

TEST(ZrMap, AgreesWithAReferenceMapUnderRandomOperations) {
  ZrMap<uint32_t, int> map;
  std::map<uint32_t, int> reference;
  std::mt19937 random(12345);
  for (int step = 0; step < 20000; ++step) {
    const uint32_t key = random() % 3000;
    if (random() % 3 == 0) {
      EXPECT_EQ(map.RemoveKey(key), reference.erase(key) == 1);
    } else {
      map.SetAt(key, step);
      reference[key] = step;
    }
  }
  ASSERT_EQ(map.GetCount(), static_cast<int>(reference.size()));
  int visited = 0;
  for (auto it = map.begin(); it != map.end(); ++it, ++visited) EXPECT_EQ(reference.at(it.Key()), it.Value());
  EXPECT_EQ(visited, map.GetCount());
}

TEST(ZrStringMap, KeysAreCaseInsensitiveAndKeepTheirFirstSpelling) {
  ZrStringMap<int> map;
  map.SetAt(ZrString(u"Port"), 1);
  map.SetAt(ZrString(u"PORT"), 2);
  ASSERT_EQ(map.GetCount(), 1);
  EXPECT_EQ(map.begin().Key(), ZrString(u"Port"));
  EXPECT_EQ(map.begin().Value(), 2);
  EXPECT_EQ(*map.Find(u"port"), 2);
  EXPECT_EQ(*map.Find(ZrString(u"pOrT")), 2);
  EXPECT_EQ(map.Find(u"ports"), nullptr);
  EXPECT_TRUE(map.RemoveKey(u"PoRt"));
  EXPECT_TRUE(map.IsEmpty());
  // The bucket of a string key is its case-insensitive hash modulo the bucket count.
  map.SetAt(ZrString(u"abc"), 0);
  map.SetAt(ZrString(u"xyz"), 0);
  const bool abcFirst = ZrHashNoCase(u"abc") % 7 <= ZrHashNoCase(u"xyz") % 7;
  EXPECT_EQ(map.begin().Key(), ZrString(abcFirst ? u"abc" : u"xyz"));
}

struct Counted {
  static int live;
  Counted() { ++live; }
  ~Counted() { --live; }
};
int Counted::live = 0;

TEST(ZrOwnedPtrMap, DeletesValuesOnRemovalReplacementAndDestruction) {
  {
    ZrOwnedPtrMap<int, Counted> map;
    for (int i = 0; i < 40; ++i) map.SetAt(i, new Counted);
    EXPECT_EQ(Counted::live, 40);
    map.RemoveKey(3);
    EXPECT_EQ(Counted::live, 39);
    map.SetAt(4, new Counted);
    EXPECT_EQ(Counted::live, 39) << "the replaced value is deleted";
    ZrOwnedPtrStringMap<Counted> byName;
    byName.SetAt(ZrString(u"a"), new Counted);
    byName.RemoveAll();
    EXPECT_EQ(Counted::live, 39);
    byName.SetAt(ZrString(u"b"), new Counted);
  }
  EXPECT_EQ(Counted::live, 0);
}

}  // namespace
