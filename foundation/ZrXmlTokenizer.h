#pragma once
// Scanner of XML nodes over UTF-16 text. It classifies one node at a time without building
// anything, so the document index can be made in a single pass. Offsets count UTF-16 units; the
// text need not be terminated and may hold 0 characters.

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/ZrString.h"

// The scanner's hot paths belong in the caller's loop; left to itself the compiler calls them.
#if defined(__GNUC__)
#define ZR_XML_INLINE inline __attribute__((always_inline))
#else
#define ZR_XML_INLINE inline
#endif

enum ZrXmlNodeKind : int {
  kZrXmlEndTag = 0,
  kZrXmlStartTag = 1,
  kZrXmlText = 2,
  kZrXmlWhiteSpace = 4,
  kZrXmlCData = 8,
  kZrXmlProcessingInstruction = 16,
  kZrXmlComment = 32,
  kZrXmlDocType = 64,
  kZrXmlMalformed = -1,
  kZrXmlEndOfText = -2,
};

struct ZrXmlNode {
  int kind = kZrXmlEndOfText;
  int start = 0;
  int length = 0;
  // Start and end tags: the name begins after "<" or "</" and has this many characters.
  int nameLength = 0;
  bool emptyElement = false;
};

class ZrXmlTokenizer {
 public:
  // Scans text[0, length); the caller keeps the text alive.
  ZrXmlTokenizer(const ZrChar* text, int length) : m_text(text), m_length(length) {}

  // Scans the node that begins at pos and returns its kind (also stored in node.kind). Text, start
  // and end tags, which make up nearly all of a document, are scanned inline.
  ZR_XML_INLINE int Scan(int pos, ZrXmlNode& node) {
    node.start = pos;
    node.nameLength = 0;
    node.emptyElement = false;
    m_problem = kNoProblem;
    if (pos >= m_length) return Finish(node, ScanMarkup(pos));
    const ZrChar* t = m_text;
    if (t[pos] != u'<') {
      int i = pos;
      // Runs of white space between tags: a line end, often indentation after it.
      if (i + 2 < m_length && IsSpace(t[i]) && IsSpace(t[i + 1])) i = SkipSpace(t, i + 2, m_length);
      while (i < m_length && IsSpace(t[i])) ++i;
      if (i >= m_length || t[i] == u'<') return Finish(node, kZrXmlWhiteSpace, i);
      return Finish(node, kZrXmlText, Find(t, i, m_length, u'<'));
    }
    if (pos + 1 < m_length) {
      const ZrChar c = t[pos + 1];
      if (IsNameStart(c)) return ScanTag(node, pos + 1, true);
      if (c == u'/') return ScanTag(node, pos + 2, false);
    }
    return Finish(node, ScanMarkup(pos));
  }

  // Message about the last malformed node; empty when it carries none.
  ZrString Message() const;

  static bool IsSpace(ZrChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
  // Characters that may follow "<" in a start tag: letters, ":" and "_" among others.
  static bool IsNameStart(ZrChar c) {
    return c > 0x39 && !(c >= 0x3B && c <= 0x40) && !(c >= 0x5B && c <= 0x5E) && c != 0x60;
  }
  // A tag name ends at one of " \t\n\r/>".
  static bool EndsTagName(ZrChar c) { return c <= u'>' && (kTagNameEnds >> c) & 1; }

  // Offset of the first c in text[pos, end), or end.
  static ZR_XML_INLINE int Find(const ZrChar* text, int pos, int end, ZrChar c) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(c));
    for (; pos + 8 <= end; pos += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
      const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(units, wanted));
      if (mask) return pos + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    }
#endif
    while (pos < end && text[pos] != c) ++pos;
    return pos;
  }

  // Offset of the first character in text[pos, end) that is not one of " \t\n\r", or end.
  static ZR_XML_INLINE int SkipSpace(const ZrChar* text, int pos, int end) {
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi16(u' ');
    const __m128i tab = _mm_set1_epi16(u'\t');
    const __m128i lf = _mm_set1_epi16(u'\n');
    const __m128i cr = _mm_set1_epi16(u'\r');
    for (; pos + 8 <= end; pos += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
      const __m128i spaces = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, space), _mm_cmpeq_epi16(units, tab)),
                                          _mm_or_si128(_mm_cmpeq_epi16(units, lf), _mm_cmpeq_epi16(units, cr)));
      const int mask = _mm_movemask_epi8(spaces) ^ 0xFFFF;
      if (mask) return pos + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    }
#endif
    while (pos < end && IsSpace(text[pos])) ++pos;
    return pos;
  }

  // Offset of the ">" that ends a tag whose rest begins at pos: the first ">" outside quotes, where
  // a quote runs to the next quote of its kind. -1 when the text ends first.
  static ZR_XML_INLINE int FindTagEnd(const ZrChar* text, int pos, int end) {
    ZrChar quote = 0;  // the quote we are inside, or 0
#if defined(__SSE2__)
    // Eight units at a time: within a window that holds one kind of quote, the units inside quotes
    // are the prefix parity of the quote bits, so a whole tag usually takes a single exit.
    const __m128i gtChar = _mm_set1_epi16(u'>');
    const __m128i dqChar = _mm_set1_epi16(u'"');
    const __m128i sqChar = _mm_set1_epi16(u'\'');
    const __m128i zero = _mm_setzero_si128();
    for (; pos + 8 <= end; pos += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
      const __m128i gtHits = _mm_cmpeq_epi16(units, gtChar);
      const __m128i dqHits = _mm_cmpeq_epi16(units, dqChar);
      const __m128i sqHits = _mm_cmpeq_epi16(units, sqChar);
      const __m128i any = _mm_or_si128(gtHits, _mm_or_si128(dqHits, sqHits));
      if (!_mm_movemask_epi8(any)) continue;
      const unsigned gt = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(gtHits, zero)));
      const unsigned dq = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(dqHits, zero)));
      const unsigned sq = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(sqHits, zero)));
      if (dq && sq) {
        // Both kinds: one unit at a time.
        for (int k = 0; k < 8; ++k) {
          const ZrChar c = text[pos + k];
          if (quote) {
            if (c == quote) quote = 0;
          } else if (c == u'>') {
            return pos + k;
          } else if (c == u'"' || c == u'\'') {
            quote = c;
          }
        }
        continue;
      }
      const ZrChar kind = dq ? u'"' : u'\'';
      const unsigned quotes = dq | sq;
      if (quote && quote != kind) continue;  // inside the other kind all along
      unsigned inside = quotes;
      inside ^= inside << 1;
      inside ^= inside << 2;
      inside ^= inside << 4;
      if (quote) inside = ~inside;
      const unsigned outsideGt = gt & ~inside & 0xFF;
      if (outsideGt) return pos + __builtin_ctz(outsideGt);
      quote = (inside & 0x80) ? kind : 0;
    }
#endif
    for (; pos < end; ++pos) {
      const ZrChar c = text[pos];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == u'>') {
        return pos;
      } else if (c == u'"' || c == u'\'') {
        quote = c;
      }
    }
    return -1;
  }



 private:
  enum Problem { kNoProblem, kIncorrect, kUnterminated };

  // Bits of the characters up to ">" that end a tag name: tab, LF, CR, space, "/" and ">".
  static constexpr uint64_t kTagNameEnds =
      (1ull << '\t') | (1ull << '\n') | (1ull << '\r') | (1ull << ' ') | (1ull << '/') | (1ull << '>');

  // What the out-of-line scanners return; the node itself is only written inline, so that a
  // caller's node can stay in registers.
  struct Scanned {
    int kind;
    int end;
  };

  static int Finish(ZrXmlNode& node, int kind, int end) {
    node.kind = kind;
    node.length = end - node.start;
    return kind;
  }
  static int Finish(ZrXmlNode& node, Scanned scanned) { return Finish(node, scanned.kind, scanned.end); }
  ZR_XML_INLINE int ScanTag(ZrXmlNode& node, int nameStart, bool startTag) {
    const ZrChar* t = m_text;
    int i = nameStart;
    while (i < m_length && !EndsTagName(t[i])) ++i;
    node.nameLength = i - nameStart;
    // Most tags without attributes end right after the name.
    if (i >= m_length || t[i] != u'>') i = FindTagEnd(t, i, m_length);
    if (i < 0) return Finish(node, Unterminated(node.start, startTag ? "Element tag" : "Element end tag"));
    node.emptyElement = startTag && t[i - 1] == u'/';
    return Finish(node, startTag ? kZrXmlStartTag : kZrXmlEndTag, i + 1);
  }
  // Everything but text and tags: comments, CDATA, processing instructions, declarations,
  // malformed markup and the end of the text.
  Scanned ScanMarkup(int pos);
  Scanned Incorrect(int start, const char* what);
  Scanned Unterminated(int start, const char* what);
  Scanned Malformed(int start) const;
  Scanned ScanDocType(int start);
  // Offset just past `close` (two or three characters) searched from pos, or -1.
  int FindClose(int pos, const char16_t* close, int closeLength) const;
  // Offset just past the quote that closes the one at pos, or -1.
  int SkipQuoted(int pos) const {
    const int close = Find(m_text, pos + 1, m_length, m_text[pos]);
    return close < m_length ? close + 1 : -1;
  }

  const ZrChar* m_text;
  int m_length;
  Problem m_problem = kNoProblem;
  const char* m_what = "";
  int m_problemOffset = 0;
};
