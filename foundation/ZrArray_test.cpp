#include "foundation/ZrArray.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ZrArray, GrowthSteps) {
  struct Case {
    int oldCount, newCount, growBy, capacity;
  } cases[] = {
      {0, 1, 0, 4},          {3, 4, 0, 4},          {4, 5, 0, 64},        {64, 65, 0, 256},
      {256, 257, 0, 1024},   {1024, 1025, 0, 4096}, {4096, 4097, 0, 16384},
      {16384, 16385, 0, 65536}, {65536, 65537, 0, 65536 + 65537},
      {131073, 131074, 0, 131073 + 65537},
      {0, 1, 4, 4},          {4, 5, 4, 8},          {7, 8, 4, 12},        {0, 1, 10, 10},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ZrArrayGrowCapacity(c.oldCount, c.newCount, c.growBy), c.capacity)
        << c.oldCount << " -> " << c.newCount << " by " << c.growBy;
}

TEST(ZrArray, AppendingTheFifthElementRaisesCapacityFrom4To64) {
  ZrArray<int> a;
  std::vector<int> seen;
  for (int i = 0; i < 70; ++i) {
    a.Add(i);
    seen.push_back(a.GetCapacity());
  }
  EXPECT_EQ(seen[0], 4);
  EXPECT_EQ(seen[3], 4);
  EXPECT_EQ(seen[4], 64);
  EXPECT_EQ(seen[64], 256);
  for (int i = 0; i < 70; ++i) ASSERT_EQ(a[i], i);
  ZrArray<int> stepped(3);
  for (int i = 0; i < 4; ++i) stepped.Add(i);
  EXPECT_EQ(stepped.GetCapacity(), 6);
}

TEST(ZrArray, InsertRemoveAndSelfAdd) {
  ZrStringArray a;
  a.Add(ZrString(u"b"));
  a.InsertAt(0, ZrString(u"a"));
  a.InsertAt(99, ZrString(u"d"));
  a.InsertAt(2, ZrString(u"c"));
  ASSERT_EQ(a.GetCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a[i], ZrString(std::u16string(1, static_cast<char16_t>(u'a' + i))));
  // Adding an element of the array to itself while it must grow.
  while (a.GetCount() < a.GetCapacity()) a.Add(a[0]);
  a.Add(a[1]);
  EXPECT_EQ(a[a.GetCount() - 1], ZrString(u"b"));
  a.RemoveAt(1, 2);
  EXPECT_EQ(a[1], ZrString(u"d"));
  a.RemoveAt(-1);
  a.RemoveAt(1000);
  a.RemoveAll();
  EXPECT_EQ(a.GetCount(), 0);
  EXPECT_EQ(a.GetCapacity(), 0);
}

struct Counted {
  static int live;
  int value;
  explicit Counted(int v) : value(v) { ++live; }
  ~Counted() { --live; }
};
int Counted::live = 0;

TEST(ZrOwnedPtrArray, DeletesWhatItRemovesAndHoldsAtDestruction) {
  {
    ZrOwnedPtrArray<Counted> a;
    for (int i = 0; i < 10; ++i) a.Add(new Counted(i));
    EXPECT_EQ(Counted::live, 10);
    a.RemoveAt(2, 3);
    EXPECT_EQ(Counted::live, 7);
    EXPECT_EQ(a[2]->value, 5);
    Counted* kept = a.Detach(0);
    EXPECT_EQ(Counted::live, 7);
    delete kept;
    a.RemoveAt(100);
    EXPECT_EQ(Counted::live, 6);
  }
  EXPECT_EQ(Counted::live, 0);
  ZrOwnedPtrArray<Counted> b;
  b.Add(new Counted(1));
  b.RemoveAll();
  EXPECT_EQ(Counted::live, 0);
}

TEST(ZrStringArray, SortWithComparisonObjects) {
  ZrStringArray a;
  for (const char16_t* s : {u"beta", u"Alpha", u"gamma", u"alpha2", u"Beta0"}) a.Add(ZrString(s));
  ZrStringArraySort(a, ZrStringCompareNoCase());
  const char16_t* expected[] = {u"Alpha", u"alpha2", u"beta", u"Beta0", u"gamma"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i], ZrString(expected[i])) << i;
  ZrStringArraySort(a);
  EXPECT_EQ(a[0], ZrString(u"Alpha"));
  EXPECT_EQ(a[1], ZrString(u"Beta0"));
}

TEST(ZrStringUniqueList, RejectsCaseInsensitiveDuplicatesAndKeepsTheFirstSpelling) {
  ZrStringUniqueList list;
  EXPECT_TRUE(list.AddUnique(ZrString(u"Port")));
  EXPECT_FALSE(list.AddUnique(ZrString(u"PORT")));
  EXPECT_TRUE(list.AddUnique(ZrString(u"Ports")));
  ASSERT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list[0], ZrString(u"Port"));
  EXPECT_TRUE(list.Contains(u"port"));
}

}  // namespace
