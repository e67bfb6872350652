#include "foundation/ZrXmlTokenizer.h"

#include "foundation/ZrFormat.h"

// A malformed node ends at the next ">" (included) or just before the next "<".
ZrXmlTokenizer::Scanned ZrXmlTokenizer::Malformed(int start) const {
  int i = start + 1;
  while (i < m_length && m_text[i] != u'>' && m_text[i] != u'<') ++i;
  if (i < m_length && m_text[i] == u'>') ++i;
  return {kZrXmlMalformed, i};
}

ZrXmlTokenizer::Scanned ZrXmlTokenizer::Incorrect(int start, const char* what) {
  m_problem = kIncorrect;
  m_what = what;
  m_problemOffset = start;
  return Malformed(start);
}

ZrXmlTokenizer::Scanned ZrXmlTokenizer::Unterminated(int start, const char* what) {
  m_problem = kUnterminated;
  m_what = what;
  m_problemOffset = start;
  return {kZrXmlMalformed, m_length};
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
  while (pos <= last) {
    pos = Find(m_text, pos, last + 1, close[0]);
    if (pos > last) break;
    int k = 1;
    while (k < closeLength && m_text[pos + k] == close[k]) ++k;
    if (k == closeLength) return pos + closeLength;
    ++pos;
  }
  return -1;
}

ZrXmlTokenizer::Scanned ZrXmlTokenizer::ScanMarkup(int pos) {
  if (pos >= m_length) return {kZrXmlEndOfText, pos};
  const ZrChar* t = m_text;
  if (pos + 1 >= m_length) return Unterminated(pos, "tag");
  switch (t[pos + 1]) {
    case u'?': {
      const int end = FindClose(pos + 2, u"?>", 2);
      return end < 0 ? Unterminated(pos, "Processing instruction") : Scanned{kZrXmlProcessingInstruction, end};
    }
    case u'!':
      break;
    default:
      return Incorrect(pos, "tag name character");
  }

  if (pos + 2 >= m_length) return Unterminated(pos, "tag");
  switch (t[pos + 2]) {
    case u'-': {
      if (pos + 3 >= m_length) return Unterminated(pos, "tag");
      if (t[pos + 3] != u'-') return Incorrect(pos, "comment tag");
      const int end = FindClose(pos + 4, u"-->", 3);
      return end < 0 ? Unterminated(pos, "Comment") : Scanned{kZrXmlComment, end};
    }
    case u'[': {
      if (pos + 3 >= m_length) return Unterminated(pos, "tag");
      if (t[pos + 3] != u'C') return Incorrect(pos, "tag");
      const int end = FindClose(pos + 4, u"]]>", 3);
      return end < 0 ? Unterminated(pos, "CDATA Section") : Scanned{kZrXmlCData, end};
    }
    case u'D':
      return ScanDocType(pos);
    case u'E':
    case u'A':
    case u'N':
      // Markup declarations belong inside a document type declaration; here they are skipped
      // as malformed without a message of their own.
      return Malformed(pos);
    default:
      return Incorrect(pos, "! tag");
  }
}

ZrXmlTokenizer::Scanned ZrXmlTokenizer::ScanDocType(int start) {
  const ZrChar* t = m_text;
  int i = start + 3;
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
      return {kZrXmlDocType, i + 1};
    } else {
      ++i;
    }
  }
  return Unterminated(start, "Doctype");
}
