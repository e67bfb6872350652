#include "foundation/ZrString.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <new>
#include <ostream>

namespace {

ZrStringBlock* NewBlock(IZrStringManager* manager, uint32_t capacity) {
  void* memory = std::malloc(sizeof(ZrStringBlock) + size_t(capacity) * sizeof(ZrChar));
  if (!memory) throw std::bad_alloc();
  auto* block = static_cast<ZrStringBlock*>(memory);
  block->manager = manager;
  block->length = 0;
  block->capacity = capacity;
  new (&block->references) std::atomic<uint32_t>(1);
  block->reserved = 0;
  block->Chars()[0] = 0;
  return block;
}

}  // namespace

ZrStringGlobals& ZrStringGlobals::Instance() {
  // Deliberately never destroyed: strings in other static objects may outlive any destructor order.
  static ZrStringGlobals* const instance = new ZrStringGlobals();
  return *instance;
}

ZrStringGlobals::ZrStringGlobals() {
  m_empty.header.manager = this;
  m_empty.header.length = 0;
  m_empty.header.capacity = 1;
  m_empty.header.references.store(ZrStringBlock::kImmortal);
  m_empty.header.reserved = 0;
  m_empty.terminator = 0;
  static_assert(offsetof(decltype(m_empty), terminator) == sizeof(ZrStringBlock));
  RebuildTables();
}

void ZrStringGlobals::RebuildTables() {
  for (int c = 0; c < 256; ++c) {
    const auto wc = static_cast<wint_t>(c);
    m_lower[c] = static_cast<ZrChar>(std::towlower(wc));
    uint8_t bits = 0;
    if (std::iswdigit(wc)) bits |= kZrDigit;
    if (std::iswalpha(wc)) bits |= kZrAlpha;
    if (std::iswspace(wc)) bits |= kZrSpace;
    if (std::iswupper(wc)) bits |= kZrUpper;
    if (std::iswlower(wc)) bits |= kZrLower;
    if (std::iswpunct(wc)) bits |= kZrPunct;
    if (std::iswprint(wc) || c == 160) bits |= kZrPrint;
    m_class[c] = bits;
  }
}

ZrChar ZrStringGlobals::Fold(ZrChar c) const {
  return c < 256 ? m_lower[c] : static_cast<ZrChar>(std::towlower(static_cast<wint_t>(c)));
}

namespace {

// A cache slot's word: the block's address in the upper 48 bits, its capacity (below 1032) in the
// lower 16. A taker judges a block by the capacity in the word it read, never by reading the block,
// which another thread may have taken and freed in the meantime; and it takes the block only if the
// slot still holds that very word.
constexpr int kCapacityBits = 16;
constexpr uint64_t kCapacityMask = (uint64_t{1} << kCapacityBits) - 1;

bool Packable(const ZrStringBlock* block) {
  return (reinterpret_cast<uintptr_t>(block) >> (64 - kCapacityBits)) == 0;
}
uint64_t Pack(ZrStringBlock* block) {
  return (uint64_t{reinterpret_cast<uintptr_t>(block)} << kCapacityBits) | block->capacity;
}
ZrStringBlock* BlockOf(uint64_t word) { return reinterpret_cast<ZrStringBlock*>(static_cast<uintptr_t>(word >> kCapacityBits)); }
uint32_t CapacityOf(uint64_t word) { return static_cast<uint32_t>(word & kCapacityMask); }

// Tries to take the cached block that fits with the least spare room. Another thread may take or
// return blocks at the same time; a pick it took first is looked for again a few times.
ZrStringBlock* TakeCached(std::atomic<uint64_t>* slots, int count, uint32_t needed) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    int best = -1;
    uint64_t bestWord = 0;
    uint32_t bestSpare = 0;
    for (int i = 0; i < count; ++i) {
      const uint64_t word = slots[i].load(std::memory_order_acquire);
      if (!word || CapacityOf(word) < needed) continue;
      const uint32_t spare = CapacityOf(word) - needed;
      if (best < 0 || spare < bestSpare) {
        best = i;
        bestWord = word;
        bestSpare = spare;
        if (spare < 16) break;
      }
    }
    if (best < 0) return nullptr;
    if (slots[best].compare_exchange_strong(bestWord, 0, std::memory_order_acquire, std::memory_order_relaxed))
      return BlockOf(bestWord);
  }
  return nullptr;
}

}  // namespace

ZrStringBlock* ZrStringGlobals::AllocBlock(uint32_t length, bool allowCache) {
  if (allowCache && length < kMaxCachedCapacity - 1 && m_cachedCount.load(std::memory_order_relaxed) > 0) {
    if (ZrStringBlock* block = TakeCached(m_cache, kCacheSlots, length + 1)) {
      m_cachedCount.fetch_sub(1, std::memory_order_relaxed);
      block->length = length;
      block->references.store(1, std::memory_order_relaxed);
      block->Chars()[length] = 0;
      return block;
    }
  }
  ZrStringBlock* block = NewBlock(this, length + 1);
  block->length = length;
  block->Chars()[length] = 0;
  return block;
}

void ZrStringGlobals::FreeBlock(ZrStringBlock* block) {
  if (!block || block == &m_empty.header) return;
  if (block->capacity < kMaxCachedCapacity && m_cachedCount.load(std::memory_order_relaxed) < kCacheSlots &&
      Packable(block)) {
    const uint64_t word = Pack(block);
    for (int i = 0; i < kCacheSlots; ++i) {
      uint64_t empty = 0;
      if (m_cache[i].load(std::memory_order_relaxed) == 0 &&
          m_cache[i].compare_exchange_strong(empty, word, std::memory_order_release, std::memory_order_relaxed)) {
        m_cachedBlocks[i].store(block, std::memory_order_relaxed);
        m_cachedCount.fetch_add(1, std::memory_order_relaxed);
        return;
      }
    }
  }
  std::free(block);
}

ZrChar* ZrStringGlobals::AllocEmpty() { return GetEmpty(); }

ZrChar* ZrStringGlobals::GetEmpty() { return m_empty.header.Chars(); }

ZrChar* ZrStringGlobals::AllocZeroed(uint32_t length) {
  if (length == 0) return GetEmpty();
  ZrStringBlock* block = AllocBlock(length, true);
  std::memset(block->Chars(), 0, (size_t(length) + 1) * sizeof(ZrChar));
  return block->Chars();
}

ZrChar* ZrStringGlobals::FromNarrow(const char* text) {
  if (!text || !*text) return GetEmpty();
  const size_t length = std::strlen(text);
  ZrStringBlock* block = AllocBlock(static_cast<uint32_t>(length), true);
  ZrChar* out = block->Chars();
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(text[i]);
  return out;
}

ZrChar* ZrStringGlobals::FromWide(const ZrChar* text, int length, bool exactLength, uint32_t capacity) {
  size_t count = 0;
  if (text) {
    if (length < 0) {
      count = ZrLength(text);
    } else if (exactLength) {
      count = static_cast<size_t>(length);
    } else {
      while (count < static_cast<size_t>(length) && text[count]) ++count;
    }
  }
  if (count == 0 && capacity <= 1) return GetEmpty();
  const uint32_t needed = std::max<uint32_t>(static_cast<uint32_t>(count) + 1, capacity);
  ZrStringBlock* block = AllocBlock(needed - 1, true);
  block->length = static_cast<uint32_t>(count);
  if (count) std::memcpy(block->Chars(), text, count * sizeof(ZrChar));
  block->Chars()[count] = 0;
  return block->Chars();
}

size_t ZrLength(const ZrChar* text) {
  if (!text) return 0;
  const ZrChar* p = text;
  while (*p) ++p;
  return static_cast<size_t>(p - text);
}

int ZrCompareNoCase(const ZrChar* a, const ZrChar* b) {
  static const ZrChar kNone[1] = {0};
  if (!a) a = kNone;
  if (!b) b = kNone;
  const ZrStringGlobals& globals = ZrStringGlobals::Instance();
  for (;; ++a, ++b) {
    const ZrChar fa = globals.Fold(*a);
    const ZrChar fb = globals.Fold(*b);
    if (fa != fb) return fa < fb ? -1 : 1;
    if (!fa) return 0;
  }
}

uint32_t ZrHashNoCase(const ZrChar* text) {
  uint32_t hash = 0;
  if (!text) return 0;
  const ZrStringGlobals& globals = ZrStringGlobals::Instance();
  for (; *text; ++text) hash = hash * 0x1003fu + globals.Fold(*text);
  return hash;
}

// ---- ZrString ----

ZrChar* ZrString::Make(const ZrChar* text, int length) {
  return ZrStringGlobals::Instance().FromWide(text, length, false, 0);
}

ZrChar* ZrString::MakeExact(const ZrChar* text, size_t length) {
  return ZrStringGlobals::Instance().FromWide(text, static_cast<int>(length), true, 0);
}

ZrString ZrString::FromNarrow(const char* text) {
  ZrString result;
  result.m_chars = ZrStringGlobals::Instance().FromNarrow(text);
  return result;
}

ZrString ZrString::FromNarrow(std::string_view text) {
  ZrString result;
  if (text.empty()) return result;
  ZrChar* out = result.GetBuffer(static_cast<int>(text.size()));
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<unsigned char>(text[i]);
  result.ReleaseBuffer(static_cast<int>(text.size()));
  return result;
}

ZrString ZrString::FromUnits(const ZrChar* text, size_t length) {
  ZrString result;
  Release(result.m_chars);
  result.m_chars = MakeExact(text, length);
  return result;
}

ZrString ZrString::FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    uint32_t cp = 0xFFFD;
    size_t need = 0;
    if (b < 0x80) { cp = b; need = 0; }
    else if ((b & 0xE0) == 0xC0 && b >= 0xC2) { cp = b & 0x1F; need = 1; }
    else if ((b & 0xF0) == 0xE0) { cp = b & 0x0F; need = 2; }
    else if ((b & 0xF8) == 0xF0 && b <= 0xF4) { cp = b & 0x07; need = 3; }
    else { out.push_back(0xFFFD); ++i; continue; }
    size_t j = 1;
    for (; j <= need; ++j) {
      if (i + j >= text.size() || (static_cast<unsigned char>(text[i + j]) & 0xC0) != 0x80) break;
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + j]) & 0x3F);
    }
    if (j <= need) { out.push_back(0xFFFD); i += j; continue; }
    i += need + 1;
    const bool overlong = (need == 2 && cp < 0x800) || (need == 3 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { out.push_back(0xFFFD); continue; }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<ZrChar>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<ZrChar>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<ZrChar>(cp));
    }
  }
  return FromUnits(out.data(), out.size());
}

std::string ZrString::ToUtf8() const {
  std::string out;
  const uint32_t n = Block()->length;
  out.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t cp = m_chars[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && m_chars[i + 1] >= 0xDC00 && m_chars[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (m_chars[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

ZrChar* ZrString::CopyOf(ZrChar* chars) {
  ZrStringBlock* block = ZrStringBlock::FromChars(chars);
  ZrStringGlobals& globals = ZrStringGlobals::Instance();
  const uint32_t refs = block->references.load();
  if (refs == ZrStringBlock::kImmortal) {
    return block->manager == &globals ? chars : globals.GetEmpty();
  }
  if (refs != ZrStringBlock::kExclusive && block->manager == &globals) {
    block->references.fetch_add(1);
    return chars;
  }
  return globals.FromWide(chars, static_cast<int>(block->length), true, 0);
}

void ZrString::Release(ZrChar* chars) {
  ZrStringBlock* block = ZrStringBlock::FromChars(chars);
  const uint32_t refs = block->references.load();
  if (refs == ZrStringBlock::kImmortal) return;
  if (refs == ZrStringBlock::kExclusive || block->references.fetch_sub(1) == 1) {
    block->manager->FreeBlock(block);
  }
}

ZrString::ZrString(const ZrString& other) : m_chars(CopyOf(other.m_chars)) {}

ZrString& ZrString::operator=(const ZrString& other) {
  if (this != &other) {
    ZrChar* copy = CopyOf(other.m_chars);
    Release(m_chars);
    m_chars = copy;
  }
  return *this;
}

ZrString& ZrString::operator=(ZrString&& other) noexcept {
  if (this != &other) {
    Release(m_chars);
    m_chars = other.m_chars;
    other.m_chars = ZrStringGlobals::Instance().GetEmpty();
  }
  return *this;
}

ZrString& ZrString::operator=(const ZrChar* text) {
  ZrChar* copy = Make(text, -1);
  Release(m_chars);
  m_chars = copy;
  return *this;
}

void ZrString::Empty() {
  Release(m_chars);
  m_chars = ZrStringGlobals::Instance().GetEmpty();
}

void ZrString::MakeUnique(uint32_t length, bool keepText) {
  ZrStringBlock* block = Block();
  const uint32_t refs = block->references.load();
  const bool own = (refs == 1 || refs == ZrStringBlock::kExclusive) &&
                   block->manager == &ZrStringGlobals::Instance();
  if (own && block->capacity >= length + 1) return;
  // Grow geometrically so that repeated appends stay linear.
  uint32_t want = length;
  if (own) want = std::max<uint32_t>(length, block->capacity + block->capacity / 2);
  ZrStringBlock* fresh = ZrStringGlobals::Instance().AllocBlock(want, true);
  const uint32_t keep = keepText ? std::min(block->length, length) : 0;
  if (keep) std::memcpy(fresh->Chars(), m_chars, keep * sizeof(ZrChar));
  fresh->length = keep;
  fresh->Chars()[keep] = 0;
  Release(m_chars);
  m_chars = fresh->Chars();
}

void ZrString::Append(const ZrChar* text, int length) {
  if (!text) return;
  size_t n = 0;
  if (length < 0) {
    n = ZrLength(text);
  } else {
    while (n < static_cast<size_t>(length) && text[n]) ++n;
  }
  AppendUnits(text, n);
}

void ZrString::AppendUnits(const ZrChar* text, size_t length) {
  if (length == 0) return;
  const uint32_t old = Block()->length;
  // The text may live inside our own block, which MakeUnique can free.
  if (text >= m_chars && text <= m_chars + old) {
    ZrString copy = FromUnits(text, length);
    AppendUnits(copy.c_str(), length);
    return;
  }
  MakeUnique(old + static_cast<uint32_t>(length), true);
  std::memcpy(m_chars + old, text, length * sizeof(ZrChar));
  Block()->length = old + static_cast<uint32_t>(length);
  m_chars[old + length] = 0;
}

ZrChar* ZrString::GetBuffer(int minLength) {
  const uint32_t length = static_cast<uint32_t>(std::max(minLength, 0));
  const uint32_t current = Block()->length;
  MakeUnique(std::max(length, current), true);
  Block()->references.store(ZrStringBlock::kExclusive);
  return m_chars;
}

void ZrString::ReleaseBuffer(int length) {
  ZrStringBlock* block = Block();
  if (block->references.load() == ZrStringBlock::kImmortal) return;
  uint32_t n;
  if (length < 0) {
    n = 0;
    while (n + 1 < block->capacity && m_chars[n]) ++n;
  } else {
    n = std::min<uint32_t>(static_cast<uint32_t>(length), block->capacity - 1);
  }
  block->length = n;
  m_chars[n] = 0;
  block->references.store(1);
  if (n == 0) Empty();
}

int ZrString::Compare(const ZrChar* other) const {
  static const ZrChar kNone[1] = {0};
  const ZrChar* a = m_chars;
  const ZrChar* b = other ? other : kNone;
  for (;; ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (!*a) return 0;
  }
}

int ZrString::CompareNoCase(const ZrChar* other) const { return ZrCompareNoCase(m_chars, other); }

int ZrString::Find(ZrChar c, int start) const {
  const int n = Length();
  for (int i = std::max(start, 0); i < n; ++i)
    if (m_chars[i] == c) return i;
  return -1;
}

int ZrString::Find(const ZrChar* text, int start) const {
  if (!text) return -1;
  const size_t pos = View().find(std::u16string_view(text, ZrLength(text)), static_cast<size_t>(std::max(start, 0)));
  return pos == std::u16string_view::npos ? -1 : static_cast<int>(pos);
}

int ZrString::ReverseFind(ZrChar c) const {
  for (int i = Length() - 1; i >= 0; --i)
    if (m_chars[i] == c) return i;
  return -1;
}

ZrString ZrString::Mid(int start, int count) const {
  const int n = Length();
  start = std::clamp(start, 0, n);
  if (count < 0 || count > n - start) count = n - start;
  return FromUnits(m_chars + start, static_cast<size_t>(count));
}

ZrString ZrString::Right(int count) const {
  const int n = Length();
  count = std::clamp(count, 0, n);
  return FromUnits(m_chars + (n - count), static_cast<size_t>(count));
}

void ZrString::MakeLower() {
  if (IsEmpty()) return;
  const ZrStringGlobals& globals = ZrStringGlobals::Instance();
  MakeUnique(Block()->length, true);
  for (uint32_t i = 0; i < Block()->length; ++i) m_chars[i] = globals.Fold(m_chars[i]);
}

void ZrString::MakeUpper() {
  if (IsEmpty()) return;
  MakeUnique(Block()->length, true);
  for (uint32_t i = 0; i < Block()->length; ++i)
    m_chars[i] = static_cast<ZrChar>(std::towupper(static_cast<wint_t>(m_chars[i])));
}

void ZrString::Trim() {
  const ZrStringGlobals& globals = ZrStringGlobals::Instance();
  auto space = [&](ZrChar c) {
    return c < 256 ? (globals.CharClass(c) & kZrSpace) != 0 : std::iswspace(static_cast<wint_t>(c)) != 0;
  };
  int b = 0, e = Length();
  while (b < e && space(m_chars[b])) ++b;
  while (e > b && space(m_chars[e - 1])) --e;
  if (b == 0 && e == Length()) return;
  *this = Mid(b, e - b);
}

void ZrString::Replace(const ZrChar* from, const ZrChar* to) {
  const size_t fromLen = ZrLength(from);
  if (fromLen == 0 || Find(from) < 0) return;
  const std::u16string_view f(from, fromLen), t(to ? to : u"", ZrLength(to));
  std::u16string out;
  std::u16string_view rest = View();
  for (size_t pos; (pos = rest.find(f)) != std::u16string_view::npos; rest.remove_prefix(pos + fromLen)) {
    out.append(rest.substr(0, pos));
    out.append(t);
  }
  out.append(rest);
  *this = FromUnits(out.data(), out.size());
}

void PrintTo(const ZrString& text, std::ostream* out) { *out << '"' << text.ToUtf8() << '"'; }
