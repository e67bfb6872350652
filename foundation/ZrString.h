#pragma once
// Reference-counted string of UTF-16 code units.
//
// A ZrString is one pointer to the characters of a block whose header sits directly in front of
// them. Copies share the block; writing through GetBuffer makes the block exclusive, and an
// exclusive block is never shared. Portable code uses char16_t; Win32 calls convert with ZrW().

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>

using ZrChar = char16_t;

class IZrStringManager;

struct ZrStringBlock {
  IZrStringManager* manager;
  uint32_t length;    // characters, terminator excluded
  uint32_t capacity;  // character cells, terminator included
  std::atomic<uint32_t> references;
  uint32_t reserved;

  static constexpr uint32_t kImmortal = 0x7ffffc17;
  static constexpr uint32_t kExclusive = 0xFFFFFFFF;

  ZrChar* Chars() { return reinterpret_cast<ZrChar*>(this + 1); }
  static ZrStringBlock* FromChars(const ZrChar* chars) {
    return reinterpret_cast<ZrStringBlock*>(const_cast<ZrChar*>(chars)) - 1;
  }
};
static_assert(sizeof(ZrStringBlock) == 24, "the header sits 24 bytes in front of the characters");

// Allocator of string blocks. Every operation that makes a string returns its characters with a
// reference count of 1 (or the immortal empty block).
class IZrStringManager {
 public:
  virtual ZrStringBlock* AllocBlock(uint32_t length, bool allowCache) = 0;
  virtual void FreeBlock(ZrStringBlock* block) = 0;
  virtual ZrChar* AllocEmpty() = 0;
  virtual ZrChar* AllocZeroed(uint32_t length) = 0;
  virtual ZrChar* FromNarrow(const char* text) = 0;
  // length -1: up to the terminator. Unless exactLength, the copy also stops at a 0 within length.
  // capacity: at least this many cells (terminator included), 0 for "just enough".
  virtual ZrChar* FromWide(const ZrChar* text, int length, bool exactLength, uint32_t capacity) = 0;
  virtual ZrChar* GetEmpty() = 0;

 protected:
  ~IZrStringManager() = default;
};

// Character-class bits of the 256-entry table.
enum : uint8_t {
  kZrDigit = 1,
  kZrAlpha = 2,
  kZrSpace = 4,
  kZrUpper = 8,
  kZrLower = 16,
  kZrPunct = 32,
  kZrPrint = 64,
};

// The process-wide string manager: created on first use and never destroyed, so strings held by
// static objects stay valid through process exit.
class ZrStringGlobals final : public IZrStringManager {
 public:
  static ZrStringGlobals& Instance();

  ZrStringBlock* AllocBlock(uint32_t length, bool allowCache) override;
  void FreeBlock(ZrStringBlock* block) override;
  ZrChar* AllocEmpty() override;
  ZrChar* AllocZeroed(uint32_t length) override;
  ZrChar* FromNarrow(const char* text) override;
  ZrChar* FromWide(const ZrChar* text, int length, bool exactLength, uint32_t capacity) override;
  ZrChar* GetEmpty() override;

  // Recomputes the lower-case and class tables for the current C locale.
  void RebuildTables();

  ZrChar Fold(ZrChar c) const;
  uint8_t CharClass(ZrChar c) const { return c < 256 ? m_class[c] : 0; }
  int CachedBlockCount() const { return m_cachedCount.load(); }

  static constexpr int kCacheSlots = 16;
  static constexpr uint32_t kMaxCachedCapacity = 1032;  // blocks this large or larger are never cached

 private:
  ZrStringGlobals();

  // Each slot holds a cached block and its capacity in one word (see ZrString.cpp), so that taking
  // and returning blocks needs no lock: every string made and dropped passes through here.
  std::atomic<uint64_t> m_cache[kCacheSlots] = {};
  // The last block put into each slot, as a plain pointer: leak checkers do not see a packed word as
  // one, and would report the cached blocks as lost at exit. Never read by the cache itself.
  std::atomic<ZrStringBlock*> m_cachedBlocks[kCacheSlots] = {};
  std::atomic<int> m_cachedCount{0};
  struct {
    ZrStringBlock header;
    ZrChar terminator;
  } m_empty;
  ZrChar m_lower[256];
  uint8_t m_class[256];
};

class ZrString {
 public:
  ZrString() : m_chars(ZrStringGlobals::Instance().GetEmpty()) {}
  ZrString(const ZrChar* text) : m_chars(Make(text, -1)) {}
  ZrString(const ZrChar* text, int length) : m_chars(Make(text, length)) {}
  ZrString(std::u16string_view text) : m_chars(MakeExact(text.data(), text.size())) {}
  // Narrow text is widened byte by byte (bytes 128-255 become U+0080-U+00FF); no code page applies.
  static ZrString FromNarrow(const char* text);
  static ZrString FromNarrow(std::string_view text);
  // Decodes UTF-8; invalid sequences become U+FFFD.
  static ZrString FromUtf8(std::string_view text);
  // Takes exactly `length` units, embedded zeros included.
  static ZrString FromUnits(const ZrChar* text, size_t length);

  ZrString(const ZrString& other);
  ZrString(ZrString&& other) noexcept : m_chars(other.m_chars) {
    other.m_chars = ZrStringGlobals::Instance().GetEmpty();
  }
  ZrString& operator=(const ZrString& other);
  ZrString& operator=(ZrString&& other) noexcept;
  ZrString& operator=(const ZrChar* text);
  ~ZrString() { Release(m_chars); }

  int Length() const { return static_cast<int>(Block()->length); }
  bool IsEmpty() const { return Block()->length == 0; }
  const ZrChar* c_str() const { return m_chars; }
  operator const ZrChar*() const { return m_chars; }
  std::u16string_view View() const { return {m_chars, Block()->length}; }
  ZrChar operator[](int index) const { return m_chars[index]; }
  std::string ToUtf8() const;

  void Empty();
  void Append(const ZrChar* text, int length = -1);
  void Append(const ZrString& text) { AppendUnits(text.c_str(), text.Block()->length); }
  void Append(ZrChar c) { AppendUnits(&c, 1); }
  void AppendUnits(const ZrChar* text, size_t length);
  ZrString& operator+=(const ZrChar* text) { Append(text); return *this; }
  ZrString& operator+=(const ZrString& text) { Append(text); return *this; }
  ZrString& operator+=(ZrChar c) { Append(c); return *this; }
  friend ZrString operator+(const ZrString& a, const ZrString& b) { ZrString r(a); r += b; return r; }
  friend ZrString operator+(const ZrString& a, const ZrChar* b) { ZrString r(a); r += b; return r; }

  // Direct writing: the buffer holds at least minLength characters plus the terminator and the
  // block is exclusive until ReleaseBuffer.
  ZrChar* GetBuffer(int minLength);
  // length -1: measure up to the first 0.
  void ReleaseBuffer(int length = -1);

  // Case-sensitive ordering and equality.
  int Compare(const ZrChar* other) const;
  // Case-insensitive ordering and equality, the fold of the string manager.
  int CompareNoCase(const ZrChar* other) const;
  bool EqualsNoCase(const ZrChar* other) const { return CompareNoCase(other) == 0; }
  friend bool operator==(const ZrString& a, const ZrString& b) {
    return a.View() == b.View();
  }
  friend bool operator==(const ZrString& a, const ZrChar* b) { return a.Compare(b) == 0; }

  int Find(ZrChar c, int start = 0) const;
  int Find(const ZrChar* text, int start = 0) const;
  int ReverseFind(ZrChar c) const;
  ZrString Mid(int start, int count = -1) const;
  ZrString Left(int count) const { return Mid(0, count); }
  ZrString Right(int count) const;
  void MakeLower();
  void MakeUpper();
  void Trim();
  void Replace(const ZrChar* from, const ZrChar* to);

  // Inspection for tests and for code that must know the sharing state.
  ZrStringBlock* Block() const { return ZrStringBlock::FromChars(m_chars); }
  uint32_t References() const { return Block()->references.load(); }

 private:
  static ZrChar* Make(const ZrChar* text, int length);
  static ZrChar* MakeExact(const ZrChar* text, size_t length);
  static ZrChar* CopyOf(ZrChar* chars);
  static void Release(ZrChar* chars);
  // Ensures a block of our own, not shared, with room for `length` characters.
  void MakeUnique(uint32_t length, bool keepText);

  ZrChar* m_chars;
};

// Case-insensitive compare and hash shared by every keyword test and by the string map.
int ZrCompareNoCase(const ZrChar* a, const ZrChar* b);
uint32_t ZrHashNoCase(const ZrChar* text);
size_t ZrLength(const ZrChar* text);

// Lets test frameworks print strings readably (as UTF-8).
void PrintTo(const ZrString& text, std::ostream* out);

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(ZrChar), "wchar_t is UTF-16 on Windows");
// The one place where portable text meets the wide-character Win32 API.
inline const wchar_t* ZrW(const ZrChar* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* ZrW(ZrChar* text) { return reinterpret_cast<wchar_t*>(text); }
inline const ZrChar* ZrU(const wchar_t* text) { return reinterpret_cast<const ZrChar*>(text); }
inline ZrChar* ZrU(wchar_t* text) { return reinterpret_cast<ZrChar*>(text); }
#endif
