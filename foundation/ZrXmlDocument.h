#pragma once
// An XML text with a flat index of its elements.
//
// Parse scans the text once into fixed-size element records; names, attributes and element texts
// are cut from the text only when asked for. The parser is tolerant: it indexes whatever it could
// recognise and keeps the first problem as an error text. Navigation follows a parent / current /
// child position, and edits (AppendElement, SetAttribute) change the text in place and keep the
// records in step with it. Offsets count UTF-16 units from the start of the text.

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "foundation/ZrString.h"
#include "foundation/ZrXmlTokenizer.h"

struct ZrXmlElementRecord {
  int32_t start;        // offset of the "<" of the start tag
  int32_t length;       // from "<" of the start tag to the end of the end tag
  uint32_t tagLengths;  // start-tag length in the low 22 bits, end-tag length in the upper 10
  uint32_t levelFlags;  // nesting level in the low 16 bits, flags above
  int32_t parent;
  int32_t firstChild;
  int32_t nextSibling;
  int32_t previousSibling;  // the first child's field holds the last child
};
static_assert(sizeof(ZrXmlElementRecord) == 32);

class ZrXmlDocument {
 public:
  // Options.
  static constexpr uint32_t kOptionEdited = 2;
  static constexpr uint32_t kOptionIgnoreCase = 8;

  // Flags of ZrXmlElementRecord::levelFlags.
  static constexpr uint32_t kLevelMask = 0xFFFF;
  static constexpr uint32_t kFirstChild = 0x80000;
  static constexpr uint32_t kNotEnded = 0x100000;
  static constexpr uint32_t kHoldsError = 0x200000;
  static constexpr uint32_t kNotWellFormed = 0x800000;  // record 0 only

  static constexpr int kRecordsPerBlock = 65536;

  ZrXmlDocument();
  ~ZrXmlDocument();
  ZrXmlDocument(const ZrXmlDocument&) = delete;
  ZrXmlDocument& operator=(const ZrXmlDocument&) = delete;

  // Replaces the text and rebuilds the index; true when the text is well formed with exactly one
  // top-level element. The error text keeps an earlier parse's error in front, joined with ", ".
  bool Parse(const ZrString& text);

  const ZrString& GetText() const { return m_text; }
  const ZrString& GetError() const { return m_error; }
  uint32_t GetOptions() const { return m_options; }
  void SetOptions(uint32_t options) { m_options = options; }

  int GetParent() const { return m_parent; }
  int GetCurrent() const { return m_current; }
  int GetChild() const { return m_child; }
  int GetNodeKind() const { return m_nodeKind; }

  // First element after `after` (or, when after is 0, the first child of parent) whose name
  // matches; a null name takes the first. The element found becomes current under parent.
  int FindChildElement(int parent, int after, const ZrChar* name);
  // Moves to the next node under the current parent whose kind is one of `kinds` (a mask of node
  // kinds; 1 for elements) and returns its kind, or 0 when there is none. Elements passed on the
  // way become current.
  int FindNode(int kinds);
  bool EnterElement();
  bool LeaveElement();

  ZrString GetTagName(int element) const;
  ZrString GetAttribute(int element, const ZrChar* name) const;
  // The attribute's value as it stands in the text, not decoded; valid until the next edit.
  std::u16string_view GetRawAttribute(int element, const ZrChar* name) const;
  void SetAttribute(int element, const ZrChar* name, const ZrString& value);
  ZrString GetElementText(int element) const;
  // Inserts <name>text</name> (or <name/>) and CR LF after the current element and makes it current.
  int AppendElement(const ZrChar* name, const ZrString& text);
  // Room for the text to grow to this many characters at its next growth, for a writer that knows
  // roughly how much it will append.
  void ReserveText(int characters) { m_textReserve = characters; }

  // Index inspection; null for an index that was never handed out.
  const ZrXmlElementRecord* GetRecord(int index) const;
  int GetRecordCount() const { return m_nextNew; }
  int GetRecordCapacity() const { return m_recordCapacity; }
  int GetBlockTableCapacity() const { return m_blockTableCapacity; }
  int GetStartTagLength(int element) const;
  int GetEndTagLength(int element) const;

 private:
  struct OpenElement {
    int nameStart;
    int nameLength;
    int record;
  };
  struct AttributeSpan;
  class OpenStack;

  ZrXmlElementRecord& Rec(int index) const {
    return m_blocks[index >> 16][index & (kRecordsPerBlock - 1)];
  }
  bool IsElement(int index) const { return index > 0 && index < m_nextNew; }
  void SetCapacity(int capacity);
  void GrowRecords();
  int TakeRecord();
  inline void LinkLastChild(int parent, int index);
  void SetTagLengths(ZrXmlElementRecord& record, int startTag, int endTag);
  bool NameMatches(int nameStart, int nameLength, const ZrChar* search, int searchLength) const;
  int TagNameLength(int element) const;
  int TagNameLength(int element, int startTagLength) const;
  void CloseUnended(const OpenElement* first, const OpenElement* last, int newParent);
  void RepairLevels();
  bool FindAttribute(int element, const ZrChar* name, AttributeSpan& span) const;
  // Replaces removeCount characters at offset by the pieces, in one move of the rest of the text.
  void ReplaceText(int offset, int removeCount, std::initializer_list<std::u16string_view> pieces);
  void ShiftRecords(int offset, int delta, int innermost);

  ZrString m_text;
  ZrString m_error;
  int32_t m_parent = 0;
  int32_t m_current = 0;
  int32_t m_child = 0;
  int32_t m_nextNew = 1;
  int32_t m_nodeKind = 0;
  int32_t m_nodeOffset = 0;
  int32_t m_nodeLength = 0;
  uint32_t m_options = 0;
  static constexpr int kInlineTableSlots = 4;
  static constexpr int kInlineRecords = 16;
  ZrXmlElementRecord** m_blocks;
  int32_t m_recordCapacity = 0;
  int32_t m_blockTableCapacity;
  ZrXmlElementRecord* m_inlineTable[kInlineTableSlots];
  ZrXmlElementRecord m_inlineRecords[kInlineRecords];
  // Highest start offset of any record (-1: none); an edit beyond it shifts no record.
  int32_t m_lastStart = -1;
  int32_t m_textReserve = 0;
};
