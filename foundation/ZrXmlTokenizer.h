#pragma once
// Scanner of XML nodes over UTF-16 text. It classifies one node at a time without building
// anything, so the document index can be made in a single pass. Offsets count UTF-16 units; the
// text need not be terminated and may hold 0 characters.

#include <cstdint>

#include "foundation/ZrString.h"

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

  // Scans the node that begins at pos and returns its kind (also stored in node.kind).
  int Scan(int pos, ZrXmlNode& node);

  // Message about the last malformed node; empty when it carries none.
  ZrString Message() const;

  static bool IsSpace(ZrChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
  // Characters that may follow "<" in a start tag: letters, ":" and "_" among others.
  static bool IsNameStart(ZrChar c) {
    return c > 0x39 && !(c >= 0x3B && c <= 0x40) && !(c >= 0x5B && c <= 0x5E) && c != 0x60;
  }
  // A tag name ends at one of " \t\n\r/>".
  static bool EndsTagName(ZrChar c) { return IsSpace(c) || c == u'/' || c == u'>'; }

 private:
  enum Problem { kNoProblem, kIncorrect, kUnterminated };

  int Finish(ZrXmlNode& node, int kind, int end);
  int Incorrect(ZrXmlNode& node, const char* what);
  int Unterminated(ZrXmlNode& node, const char* what);
  int Malformed(ZrXmlNode& node);
  int ScanTag(ZrXmlNode& node, int nameStart, bool startTag);
  int ScanDocType(ZrXmlNode& node);
  // Offset just past `close` (two or three characters) searched from pos, or -1.
  int FindClose(int pos, const char16_t* close, int closeLength) const;
  // Offset just past the quote that closes the one at pos, or -1.
  int SkipQuoted(int pos) const;

  const ZrChar* m_text;
  int m_length;
  Problem m_problem = kNoProblem;
  const char* m_what = "";
  int m_problemOffset = 0;
};
