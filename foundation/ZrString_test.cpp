#include "foundation/ZrString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <thread>
#include <vector>

#include "foundation/ZrDllString.h"

namespace {

const uint32_t kImmortal = ZrStringBlock::kImmortal;
const uint32_t kExclusive = ZrStringBlock::kExclusive;

TEST(ZrString, EmptyStringsShareTheImmortalBlock) {
  ZrString a;
  ZrString b(u"");
  ZrString c(u"abc", 0);
  EXPECT_EQ(a.c_str(), b.c_str());
  EXPECT_EQ(a.c_str(), c.c_str());
  EXPECT_EQ(a.References(), kImmortal);
  {
    ZrString copy(a);
    ZrString assigned;
    assigned = a;
    EXPECT_EQ(a.References(), kImmortal);
  }
  EXPECT_EQ(a.References(), kImmortal);
  EXPECT_EQ(a.Block()->capacity, 1u);
  EXPECT_EQ(a[0], 0);
}

TEST(ZrString, CopySharesTheBlockAndCountsReferences) {
  ZrString a(u"shared text");
  EXPECT_EQ(a.References(), 1u);
  {
    ZrString b(a);
    EXPECT_EQ(b.c_str(), a.c_str());
    EXPECT_EQ(a.References(), 2u);
    ZrString c;
    c = b;
    EXPECT_EQ(a.References(), 3u);
  }
  EXPECT_EQ(a.References(), 1u);
}

TEST(ZrString, WritingToASharedStringLeavesTheOtherCopyAlone) {
  ZrString a(u"abc");
  ZrString b(a);
  b.Append(u"def");
  EXPECT_EQ(a, ZrString(u"abc"));
  EXPECT_EQ(b, ZrString(u"abcdef"));
  EXPECT_NE(a.c_str(), b.c_str());
  EXPECT_EQ(a.References(), 1u);
}

TEST(ZrString, ExclusiveBufferIsCopiedNotShared) {
  ZrString a(u"hello");
  ZrChar* buffer = a.GetBuffer(10);
  EXPECT_EQ(a.References(), kExclusive);
  ZrString copy(a);
  EXPECT_NE(copy.c_str(), a.c_str());
  EXPECT_EQ(copy.References(), 1u);
  EXPECT_EQ(copy, ZrString(u"hello"));
  // The independent copy does not see later writes through the buffer.
  buffer[0] = u'J';
  a.ReleaseBuffer(5);
  EXPECT_EQ(a, ZrString(u"Jello"));
  EXPECT_EQ(copy, ZrString(u"hello"));
  EXPECT_EQ(a.References(), 1u);
}

TEST(ZrString, GetBufferOnASharedStringDetachesFirst) {
  ZrString a(u"abc");
  ZrString b(a);
  ZrChar* buffer = b.GetBuffer(3);
  buffer[0] = u'x';
  b.ReleaseBuffer();
  EXPECT_EQ(a, ZrString(u"abc"));
  EXPECT_EQ(b, ZrString(u"xbc"));
}

TEST(ZrString, ReleaseBufferMeasuresOrTakesTheLength) {
  ZrString s;
  ZrChar* buffer = s.GetBuffer(8);
  buffer[0] = u'a';
  buffer[1] = u'b';
  buffer[2] = 0;
  s.ReleaseBuffer(-1);
  EXPECT_EQ(s.Length(), 2);
  buffer = s.GetBuffer(8);
  s.ReleaseBuffer(0);
  EXPECT_EQ(s.References(), kImmortal) << "an emptied string goes back to the immortal block";
}

TEST(ZrString, ConstructionStopsAtAZeroUnlessExact) {
  const ZrChar text[] = {u'a', u'b', 0, u'c'};
  EXPECT_EQ(ZrString(text, 4).Length(), 2);
  EXPECT_EQ(ZrString::FromUnits(text, 4).Length(), 4);
  ZrStringGlobals& m = ZrStringGlobals::Instance();
  ZrString exact;
  exact = ZrString::FromUnits(text, 4);
  EXPECT_EQ(exact[3], u'c');
  ZrChar* withCapacity = m.FromWide(text, -1, false, 40);
  EXPECT_EQ(ZrStringBlock::FromChars(withCapacity)->length, 2u);
  EXPECT_GE(ZrStringBlock::FromChars(withCapacity)->capacity, 40u);
  m.FreeBlock(ZrStringBlock::FromChars(withCapacity));
}

TEST(ZrString, NarrowBytesWidenByZeroExtension) {
  const char bytes[] = {'A', static_cast<char>(0x80), static_cast<char>(0xE9), static_cast<char>(0xFF), 0};
  ZrString s = ZrString::FromNarrow(bytes);
  ASSERT_EQ(s.Length(), 4);
  EXPECT_EQ(s[0], u'A');
  EXPECT_EQ(s[1], 0x80);
  EXPECT_EQ(s[2], 0xE9);
  EXPECT_EQ(s[3], 0xFF);
}

TEST(ZrString, ManagerZeroedAllocation) {
  ZrStringGlobals& m = ZrStringGlobals::Instance();
  EXPECT_EQ(m.AllocZeroed(0), m.GetEmpty());
  ZrChar* z = m.AllocZeroed(5);
  ZrStringBlock* block = ZrStringBlock::FromChars(z);
  EXPECT_EQ(block->length, 5u);
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(z[i], 0) << i;
  EXPECT_EQ(block->manager, &m);
  m.FreeBlock(block);
}

// The cache is process-wide, so this drains it first to make its state known.
TEST(ZrString, BlockCacheKeepsSmallBlocksAndPicksTheTightestFit) {
  ZrStringGlobals& m = ZrStringGlobals::Instance();
  std::vector<ZrStringBlock*> drained;
  while (m.CachedBlockCount() > 0) drained.push_back(m.AllocBlock(0, true));
  for (ZrStringBlock* b : drained) std::free(b);

  ZrStringBlock* big = m.AllocBlock(1031, false);  // capacity 1032: never cached
  m.FreeBlock(big);
  EXPECT_EQ(m.CachedBlockCount(), 0);

  ZrStringBlock* loose = m.AllocBlock(99, false);  // capacity 100
  ZrStringBlock* tight = m.AllocBlock(40, false);  // capacity 41
  m.FreeBlock(loose);
  m.FreeBlock(tight);
  EXPECT_EQ(m.CachedBlockCount(), 2);
  ZrStringBlock* got = m.AllocBlock(30, true);
  EXPECT_EQ(got, tight) << "the block with the least spare room that fits";
  EXPECT_EQ(got->length, 30u);
  EXPECT_EQ(got->references.load(), 1u);
  ZrStringBlock* fresh = m.AllocBlock(200, true);
  EXPECT_EQ(fresh->capacity, 201u) << "nothing cached fits: a new block of length + 1";
  m.FreeBlock(fresh);
  m.FreeBlock(got);

  // At most 16 blocks are cached.
  std::vector<ZrStringBlock*> many;
  for (int i = 0; i < 20; ++i) many.push_back(m.AllocBlock(10, false));
  for (ZrStringBlock* b : many) m.FreeBlock(b);
  EXPECT_EQ(m.CachedBlockCount(), ZrStringGlobals::kCacheSlots);
}

// Threads taking and returning blocks at once: no block is handed to two holders, every block is
// as large as asked, and the cache never holds more than its slots.
TEST(ZrString, BlockCacheServesManyThreadsAtOnce) {
  ZrStringGlobals& m = ZrStringGlobals::Instance();
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      uint32_t seed = 7919u * (t + 1);
      std::vector<ZrStringBlock*> held;
      for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t length = (seed >> 16) % 300;
        ZrStringBlock* block = m.AllocBlock(length, true);
        if (block->capacity < length + 1 || block->references.load() != 1) ++faults;
        const ZrChar mark = static_cast<ZrChar>(0x4000 + t * 0x100 + (i & 0xFF));
        for (uint32_t c = 0; c < length; ++c) block->Chars()[c] = mark;
        held.push_back(block);
        // Hold a few at a time, so that blocks change hands between threads while others write.
        if (held.size() > 3 || (seed & 1)) {
          ZrStringBlock* done = held.front();
          held.erase(held.begin());
          const ZrChar expected = done->length ? done->Chars()[0] : 0;
          for (uint32_t c = 0; c < done->length; ++c)
            if (done->Chars()[c] != expected) ++faults;
          m.FreeBlock(done);
        }
      }
      for (ZrStringBlock* block : held) m.FreeBlock(block);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_LE(m.CachedBlockCount(), ZrStringGlobals::kCacheSlots);
  EXPECT_GE(m.CachedBlockCount(), 0);
}

TEST(ZrString, ConcurrentCopiesKeepTheCountExact) {
  ZrString shared(u"many threads share this");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        ZrString copy(shared);
        ZrString again = copy;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(shared.References(), 1u);
}

TEST(ZrString, CaseInsensitiveCompareAndHash) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int sign;
  } cases[] = {
      {u"ABC", u"abc", 0},       {u"Port", u"PORT", 0}, {u"abc", u"abd", -1},
      {u"abc", u"ab", 1},        {u"", u"", 0},         {u"A", u"", 1},
  };
  for (const Case& c : cases) {
    const int got = ZrCompareNoCase(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << ZrString(c.a).ToUtf8() << " vs " << ZrString(c.b).ToUtf8();
    if (c.sign == 0) EXPECT_EQ(ZrHashNoCase(c.a), ZrHashNoCase(c.b));
  }
  EXPECT_EQ(static_cast<int32_t>(ZrHashNoCase(u"D:\\Media\\")), -43772418);
  EXPECT_EQ(static_cast<int32_t>(ZrHashNoCase(u"d:\\MEDIA\\")), -43772418);
  EXPECT_EQ(ZrHashNoCase(u""), 0u);
  EXPECT_EQ(ZrHashNoCase(nullptr), 0u);
  EXPECT_NE(ZrHashNoCase(u"ab"), ZrHashNoCase(u"ba"));
}

// The fold of characters 128-255 follows the locale the tables were last built for.
TEST(ZrString, TablesRebuiltForTheUsersLocaleFoldAccentedLetters) {
#ifdef _WIN32
  const char* userLocale = std::setlocale(LC_ALL, "");
#else
  const char* userLocale = std::setlocale(LC_ALL, "C.UTF-8");
#endif
  if (!userLocale) GTEST_SKIP() << "no user locale available";
  ZrStringGlobals::Instance().RebuildTables();
  EXPECT_EQ(ZrCompareNoCase(u"\u00C9t\u00E9", u"\u00E9T\u00C9"), 0);
  EXPECT_EQ(ZrHashNoCase(u"\u00C9"), ZrHashNoCase(u"\u00E9"));
  EXPECT_EQ(ZrCompareNoCase(u"\u0416", u"\u0436"), 0) << "beyond 255 the runtime's towlower folds";
  std::setlocale(LC_ALL, "C");
  ZrStringGlobals::Instance().RebuildTables();
}

TEST(ZrString, CharacterClassTable) {
  ZrStringGlobals& m = ZrStringGlobals::Instance();
  EXPECT_EQ(m.CharClass(u'7') & kZrDigit, kZrDigit);
  EXPECT_EQ(m.CharClass(u'q') & (kZrAlpha | kZrLower), kZrAlpha | kZrLower);
  EXPECT_EQ(m.CharClass(u'Q') & (kZrAlpha | kZrUpper), kZrAlpha | kZrUpper);
  EXPECT_EQ(m.CharClass(u' ') & kZrSpace, kZrSpace);
  EXPECT_EQ(m.CharClass(u'\t') & kZrSpace, kZrSpace);
  EXPECT_EQ(m.CharClass(u'!') & kZrPunct, kZrPunct);
  EXPECT_EQ(m.CharClass(160) & kZrPrint, kZrPrint);
  EXPECT_EQ(m.CharClass(1) & kZrPrint, 0);
}

TEST(ZrString, EditingOperations) {
  ZrString s(u"  Hello, World  ");
  s.Trim();
  EXPECT_EQ(s, ZrString(u"Hello, World"));
  EXPECT_EQ(s.Find(u'o'), 4);
  EXPECT_EQ(s.Find(u'o', 5), 8);
  EXPECT_EQ(s.Find(u"World"), 7);
  EXPECT_EQ(s.Find(u"xyz"), -1);
  EXPECT_EQ(s.ReverseFind(u'o'), 8);
  EXPECT_EQ(s.Mid(7), ZrString(u"World"));
  EXPECT_EQ(s.Mid(7, 2), ZrString(u"Wo"));
  EXPECT_EQ(s.Mid(50), ZrString());
  EXPECT_EQ(s.Left(5), ZrString(u"Hello"));
  EXPECT_EQ(s.Right(5), ZrString(u"World"));
  ZrString lower(s);
  lower.MakeLower();
  EXPECT_EQ(lower, ZrString(u"hello, world"));
  EXPECT_EQ(s, ZrString(u"Hello, World"));
  lower.Replace(u"o", u"00");
  EXPECT_EQ(lower, ZrString(u"hell00, w00rld"));
}

TEST(ZrString, AppendingItselfAndGrowingStaysCorrect) {
  ZrString s(u"ab");
  for (int i = 0; i < 10; ++i) s.Append(s);
  EXPECT_EQ(s.Length(), 2 << 10);
  for (int i = 0; i < s.Length(); ++i) ASSERT_EQ(s[i], i % 2 ? u'b' : u'a');
  ZrString t;
  for (int i = 0; i < 5000; ++i) t += u'x';
  EXPECT_EQ(t.Length(), 5000);
  EXPECT_EQ(t[5000], 0);
}

TEST(ZrString, Utf8RoundTrip) {
  ZrString s(u"a\u00E9\u20AC\U0001F600");
  EXPECT_EQ(s.ToUtf8(), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(ZrString::FromUtf8(s.ToUtf8()), s);
  EXPECT_EQ(ZrString::FromUtf8("\xC3"), ZrString(u"\uFFFD"));
  EXPECT_EQ(ZrString::FromUtf8("\xC0\x80"), ZrString(u"\uFFFD\uFFFD"));
}

TEST(ZrDllString, FillsTheTargetThroughTheInterface) {
  ZrString target(u"old");
  ZrDllString handle(target);
  IZrDllString& view = handle;
  EXPECT_EQ(ZrString(view.GetChars()), ZrString(u"old"));
  view.SetChars(u"new text", 3);
  EXPECT_EQ(target, ZrString(u"new"));
  ZrChar* buffer = view.GetBuffer(6);
  EXPECT_EQ(target.References(), ZrStringBlock::kExclusive);
  for (int i = 0; i < 6; ++i) buffer[i] = static_cast<ZrChar>(u'a' + i);
  buffer[6] = 0;
  view.SetLength(-1);
  EXPECT_EQ(target, ZrString(u"abcdef"));
  EXPECT_EQ(target.References(), 1u);
}

}  // namespace
