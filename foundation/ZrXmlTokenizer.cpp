#include "foundation/ZrXmlTokenizer.h"

#include "foundation/ZrFormat.h"

namespace {

// Offset of the first "<" at or after pos, or length.
inline int FindOpen(const ZrChar* text, int pos, int length) {
  while (pos < length && text[pos] != u'<') ++pos;
  return pos;
}

}  // namespace

int ZrXmlTokenizer::Finish(ZrXmlNode& node, int kind, int end) {
  node.kind = kind;
  node.length = end - node.start;
  return kind;
}

// A malformed node ends at the next ">" (included) or just before the next "<".
int ZrXmlTokenizer::Malformed(ZrXmlNode& node) {
  int i = node.start + 1;
  while (i < m_length && m_text[i] != u'>' && m_text[i] != u'<') ++i;
  if (i < m_length && m_text[i] == u'>') ++i;
  return Finish(node, kZrXmlMalformed, i);
}

int ZrXmlTokenizer::Incorrect(ZrXmlNode& node, const char* what) {
  m_problem = kIncorrect;
  m_what = what;
  m_problemOffset = node.start;
  return Malformed(node);
}

int ZrXmlTokenizer::Unterminated(ZrXmlNode& node, const char* what) {
  m_problem = kUnterminated;
  m_what = what;
  m_problemOffset = node.start;
  return Finish(node, kZrXmlMalformed, m_length);
}

ZrString ZrXmlTokenizer::Message() const {
  switch (m_problem) {
    case kIncorrect:
      return ZrFormatV(u"Incorrect %s at offset %d", {m_what, m_problemOffset});
    case kUnterminated:
      return ZrFormatV(u"%s at offset %d unterminated", {m_what, m_problemOffset});
    default:
      return ZrString();
  }
}

int ZrXmlTokenizer::FindClose(int pos, const char16_t* close, int closeLength) const {
  const int last = m_length - closeLength;
  for (int i = pos; i <= last; ++i) {
    if (m_text[i] != close[0]) continue;
    int k = 1;
    while (k < closeLength && m_text[i + k] == close[k]) ++k;
    if (k == closeLength) return i + closeLength;
  }
  return -1;
}

int ZrXmlTokenizer::SkipQuoted(int pos) const {
  const ZrChar quote = m_text[pos];
  for (int i = pos + 1; i < m_length; ++i)
    if (m_text[i] == quote) return i + 1;
  return -1;
}

int ZrXmlTokenizer::Scan(int pos, ZrXmlNode& node) {
  node.start = pos;
  node.nameLength = 0;
  node.emptyElement = false;
  m_problem = kNoProblem;
  if (pos >= m_length) {
    node.start = m_length;
    return Finish(node, kZrXmlEndOfText, m_length);
  }

  const ZrChar* t = m_text;
  if (t[pos] != u'<') {
    int i = pos;
    while (i < m_length && IsSpace(t[i])) ++i;
    if (i >= m_length || t[i] == u'<') return Finish(node, kZrXmlWhiteSpace, i);
    return Finish(node, kZrXmlText, FindOpen(t, i, m_length));
  }

  if (pos + 1 >= m_length) return Unterminated(node, "tag");
  const ZrChar c = t[pos + 1];
  if (IsNameStart(c)) return ScanTag(node, pos + 1, true);
  switch (c) {
    case u'/':
      return ScanTag(node, pos + 2, false);
    case u'?': {
      const int end = FindClose(pos + 2, u"?>", 2);
      return end < 0 ? Unterminated(node, "Processing instruction") : Finish(node, kZrXmlProcessingInstruction, end);
    }
    case u'!':
      break;
    default:
      return Incorrect(node, "tag name character");
  }

  if (pos + 2 >= m_length) return Unterminated(node, "tag");
  switch (t[pos + 2]) {
    case u'-': {
      if (pos + 3 >= m_length) return Unterminated(node, "tag");
      if (t[pos + 3] != u'-') return Incorrect(node, "comment tag");
      const int end = FindClose(pos + 4, u"-->", 3);
      return end < 0 ? Unterminated(node, "Comment") : Finish(node, kZrXmlComment, end);
    }
    case u'[': {
      if (pos + 3 >= m_length) return Unterminated(node, "tag");
      if (t[pos + 3] != u'C') return Incorrect(node, "tag");
      const int end = FindClose(pos + 4, u"]]>", 3);
      return end < 0 ? Unterminated(node, "CDATA Section") : Finish(node, kZrXmlCData, end);
    }
    case u'D':
      return ScanDocType(node);
    case u'E':
    case u'A':
    case u'N':
      // Markup declarations belong inside a document type declaration; here they are skipped
      // as malformed without a message of their own.
      return Malformed(node);
    default:
      return Incorrect(node, "! tag");
  }
}

int ZrXmlTokenizer::ScanTag(ZrXmlNode& node, int nameStart, bool startTag) {
  const ZrChar* t = m_text;
  int i = nameStart;
  while (i < m_length && !EndsTagName(t[i])) ++i;
  node.nameLength = i - nameStart;
  // Quoted attribute values may hold ">"; the tag ends at the first ">" outside quotes.
  while (i < m_length) {
    const ZrChar c = t[i];
    if (c == u'>') {
      node.emptyElement = startTag && t[i - 1] == u'/';
      return Finish(node, startTag ? kZrXmlStartTag : kZrXmlEndTag, i + 1);
    }
    if (c == u'"' || c == u'\'') {
      i = SkipQuoted(i);
      if (i < 0) break;
    } else {
      ++i;
    }
  }
  return Unterminated(node, startTag ? "Element tag" : "Element end tag");
}

int ZrXmlTokenizer::ScanDocType(ZrXmlNode& node) {
  const ZrChar* t = m_text;
  int i = node.start + 3;
  bool inSubset = false;
  while (i >= 0 && i < m_length) {
    const ZrChar c = t[i];
    if (c == u'"' || c == u'\'') {
      i = SkipQuoted(i);
    } else if (inSubset) {
      if (c == u']') {
        inSubset = false;
        ++i;
      } else if (c == u'<') {
        // Nested declarations, comments and processing instructions of the internal subset.
        if (i + 3 < m_length && t[i + 1] == u'!' && t[i + 2] == u'-' && t[i + 3] == u'-') {
          i = FindClose(i + 4, u"-->", 3);
        } else if (i + 1 < m_length && t[i + 1] == u'?') {
          i = FindClose(i + 2, u"?>", 2);
        } else {
          ++i;
          while (i >= 0 && i < m_length && t[i] != u'>') i = (t[i] == u'"' || t[i] == u'\'') ? SkipQuoted(i) : i + 1;
          if (i >= 0 && i < m_length) ++i;
        }
      } else {
        ++i;
      }
    } else if (c == u'[') {
      inSubset = true;
      ++i;
    } else if (c == u'>') {
      return Finish(node, kZrXmlDocType, i + 1);
    } else {
      ++i;
    }
  }
  return Unterminated(node, "Doctype");
}
