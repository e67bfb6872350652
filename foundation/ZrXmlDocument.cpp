#include "foundation/ZrXmlDocument.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "foundation/ZrFormat.h"
#include "foundation/ZrXmlText.h"

namespace {

// Tag lengths share one field; a length too large for its part is stored as the part's maximum
// and measured again from the text when it is needed.
constexpr uint32_t kStartTagMax = (1u << 22) - 1;
constexpr uint32_t kEndTagMax = (1u << 10) - 1;
constexpr int kEndTagShift = 22;

bool IsSpace(ZrChar c) { return ZrXmlTokenizer::IsSpace(c); }

// A search name may go on past the tag name with one of these.
bool ContinuesSearchName(ZrChar c) {
  return c == u' ' || c == u'=' || c == u'/' || c == u'[' || c == u']';
}

// An attribute name ends at one of "= \t\n\r>/?"; quotes are stepped over whole (SkipQuoted).
constexpr uint64_t kAttributeNameEnds = (1ull << '=') | (1ull << ' ') | (1ull << '\t') | (1ull << '\n') |
                                        (1ull << '\r') | (1ull << '>') | (1ull << '/') | (1ull << '?');
constexpr uint64_t kQuotes = (1ull << '"') | (1ull << '\'');

inline bool EndsAttributeName(ZrChar c) { return c < 64 && (kAttributeNameEnds >> c) & 1; }
inline bool IsQuote(ZrChar c) { return c < 64 && (kQuotes >> c) & 1; }

// The scanner pairs every quote after a tag's name with the next one of its kind, wherever it
// stands; attribute scanning must step over the same runs, or an edit could pair them anew.
int SkipQuoted(const ZrChar* text, int i, int end) {
  const ZrChar c = text[i];
  if (c != u'"' && c != u'\'') return i + 1;
  for (int k = i + 1; k < end; ++k)
    if (text[k] == c) return k + 1;
  return end;
}

uint32_t LevelOf(const ZrXmlElementRecord& record) { return record.levelFlags & ZrXmlDocument::kLevelMask; }

uint32_t ChildLevel(uint32_t parentLevel) { return std::min<uint32_t>(parentLevel + 1, ZrXmlDocument::kLevelMask); }

// Text of a non-element node without its delimiters.
ZrString InnerText(const ZrChar* text, int kind, int offset, int length) {
  int head = 0, tail = 0;
  switch (kind) {
    case kZrXmlText:
    case kZrXmlWhiteSpace:
      return DecodeXmlText(text + offset, length);
    case kZrXmlComment: head = 4; tail = 3; break;               // <!-- -->
    case kZrXmlCData: head = 9; tail = 3; break;                 // <![CDATA[ ]]>
    case kZrXmlProcessingInstruction: head = 2; tail = 2; break;  // <? ?>
    default: break;
  }
  if (length - head - tail <= 0) return ZrString();
  return ZrString::FromUnits(text + offset + head, static_cast<size_t>(length - head - tail));
}

}  // namespace

// The elements open while parsing. Most documents nest a few levels deep, so the first levels
// need no allocation; beyond them the stack grows to 2n + 6 entries.
class ZrXmlDocument::OpenStack {
 public:
  OpenStack() = default;
  OpenStack(const OpenStack&) = delete;
  OpenStack& operator=(const OpenStack&) = delete;

  bool empty() const { return m_size == 0; }
  size_t size() const { return m_size; }
  OpenElement* data() { return m_data; }
  OpenElement& operator[](size_t i) { return m_data[i]; }
  OpenElement& back() { return m_data[m_size - 1]; }
  void resize(size_t size) { m_size = size; }
  void Push(const OpenElement& element) {
    if (m_size == m_capacity) Grow();
    m_data[m_size++] = element;
  }

 private:
  void Grow() {
    const size_t capacity = 2 * m_size + 6;
    std::unique_ptr<OpenElement[]> bigger(new OpenElement[capacity]);
    std::copy(m_data, m_data + m_size, bigger.get());
    m_heap = std::move(bigger);
    m_data = m_heap.get();
    m_capacity = capacity;
  }

  static constexpr size_t kInline = 32;
  OpenElement m_inline[kInline];
  std::unique_ptr<OpenElement[]> m_heap;
  OpenElement* m_data = m_inline;
  size_t m_size = 0;
  size_t m_capacity = kInline;
};

struct ZrXmlDocument::AttributeSpan {
  int valueStart = 0;    // decoded value
  int valueEnd = 0;
  int replaceStart = 0;  // value with its quotes
  int replaceEnd = 0;
  int insertAt = 0;      // just after the last attribute
};

ZrXmlDocument::ZrXmlDocument() : m_blocks(m_inlineTable), m_blockTableCapacity(kInlineTableSlots) {
  std::fill(std::begin(m_inlineTable), std::end(m_inlineTable), nullptr);
  SetCapacity(8);
  Rec(0) = ZrXmlElementRecord{};
}

ZrXmlDocument::~ZrXmlDocument() {
  for (int b = 0; b < m_blockTableCapacity; ++b)
    if (m_blocks[b] != m_inlineRecords) std::free(m_blocks[b]);
  if (m_blocks != m_inlineTable) std::free(m_blocks);
}

// Sets the number of records allocated. Blocks hold kRecordsPerBlock records; only the last one
// in use may be smaller. A first block of a few records lives inside the document itself, and so
// does a block table of a few slots: small documents, the common kind, allocate nothing for them.
void ZrXmlDocument::SetCapacity(int capacity) {
  const int oldBlocks = (m_recordCapacity + kRecordsPerBlock - 1) / kRecordsPerBlock;
  const int blocks = (capacity + kRecordsPerBlock - 1) / kRecordsPerBlock;
  if (blocks > m_blockTableCapacity) {
    const int slots = 2 * (blocks - 1) + 4;
    auto** table = static_cast<ZrXmlElementRecord**>(std::malloc(sizeof(ZrXmlElementRecord*) * slots));
    if (!table) throw std::bad_alloc();
    std::copy(m_blocks, m_blocks + m_blockTableCapacity, table);
    std::fill(table + m_blockTableCapacity, table + slots, nullptr);
    if (m_blocks != m_inlineTable) std::free(m_blocks);
    m_blocks = table;
    m_blockTableCapacity = slots;
  }
  for (int b = blocks; b < oldBlocks; ++b) {
    if (m_blocks[b] != m_inlineRecords) std::free(m_blocks[b]);
    m_blocks[b] = nullptr;
  }
  for (int b = 0; b < blocks; ++b) {
    const int oldSize = std::clamp(m_recordCapacity - b * kRecordsPerBlock, 0, kRecordsPerBlock);
    const int size = std::min(capacity - b * kRecordsPerBlock, kRecordsPerBlock);
    if (size == oldSize) continue;
    ZrXmlElementRecord* old = m_blocks[b];
    if (b == 0 && size <= kInlineRecords) {
      if (old != m_inlineRecords) {
        if (old) std::copy(old, old + std::min(oldSize, size), m_inlineRecords);
        std::free(old);
        m_blocks[0] = m_inlineRecords;
      }
    } else if (old == m_inlineRecords) {
      auto* block = static_cast<ZrXmlElementRecord*>(std::malloc(sizeof(ZrXmlElementRecord) * size));
      if (!block) throw std::bad_alloc();
      std::copy(old, old + std::min(oldSize, size), block);
      m_blocks[0] = block;
    } else {
      void* block = std::realloc(old, sizeof(ZrXmlElementRecord) * size);
      if (!block) throw std::bad_alloc();
      m_blocks[b] = static_cast<ZrXmlElementRecord*>(block);
    }
  }
  m_recordCapacity = capacity;
}

// Grows by half of the records in use, but never past the end of the block after the last one in
// use, so that a large document does not reserve a whole block more than it can soon need.
void ZrXmlDocument::GrowRecords() {
  const int64_t inUse = m_nextNew;
  const int64_t lastBlock = (inUse - 1) / kRecordsPerBlock;
  int64_t capacity = std::min(inUse + inUse / 2, (lastBlock + 2) * kRecordsPerBlock);
  capacity = std::max(capacity, inUse + 1);
  if (capacity > INT32_MAX) throw std::bad_alloc();
  SetCapacity(static_cast<int>(capacity));
}

int ZrXmlDocument::TakeRecord() {
  if (m_nextNew >= m_recordCapacity) GrowRecords();
  const int index = m_nextNew++;
  Rec(index) = ZrXmlElementRecord{};
  return index;
}

const ZrXmlElementRecord* ZrXmlDocument::GetRecord(int index) const {
  return index >= 0 && index < m_nextNew ? &Rec(index) : nullptr;
}

void ZrXmlDocument::SetTagLengths(ZrXmlElementRecord& record, int startTag, int endTag) {
  record.tagLengths = std::min(static_cast<uint32_t>(startTag), kStartTagMax) |
                      (std::min(static_cast<uint32_t>(endTag), kEndTagMax) << kEndTagShift);
}

int ZrXmlDocument::GetStartTagLength(int element) const {
  if (!IsElement(element)) return 0;
  const ZrXmlElementRecord& r = Rec(element);
  const uint32_t stored = r.tagLengths & kStartTagMax;
  if (stored < kStartTagMax) return static_cast<int>(stored);
  ZrXmlTokenizer tokenizer(m_text.c_str(), m_text.Length());
  ZrXmlNode node;
  tokenizer.Scan(r.start, node);
  return node.length;
}

int ZrXmlDocument::GetEndTagLength(int element) const {
  if (!IsElement(element)) return 0;
  const ZrXmlElementRecord& r = Rec(element);
  const uint32_t stored = r.tagLengths >> kEndTagShift;
  if (stored < kEndTagMax) return static_cast<int>(stored);
  // An end tag holds no "<" of its own, so the last one in the element starts it.
  const ZrChar* t = m_text.c_str();
  const int end = r.start + r.length;
  int i = end - 1;
  while (i > r.start && t[i] != u'<') --i;
  return end - i;
}

inline void ZrXmlDocument::LinkLastChild(int parent, int index) {
  ZrXmlElementRecord& r = Rec(index);
  r.parent = parent;
  r.firstChild = 0;
  r.nextSibling = 0;
  ZrXmlElementRecord& p = Rec(parent);
  if (!p.firstChild) {
    p.firstChild = index;
    r.previousSibling = index;
    r.levelFlags |= kFirstChild;
    return;
  }
  ZrXmlElementRecord& first = Rec(p.firstChild);
  const int last = first.previousSibling;
  Rec(last).nextSibling = index;
  r.previousSibling = last;
  first.previousSibling = index;
}

bool ZrXmlDocument::NameMatches(int nameStart, int nameLength, const ZrChar* search, int searchLength) const {
  const ZrChar* name = m_text.c_str() + nameStart;
  const bool fold = (m_options & kOptionIgnoreCase) != 0;
  if (searchLength >= 0 && searchLength < nameLength) return false;
  for (int k = 0; k < nameLength; ++k) {
    const ZrChar s = search[k];
    if (searchLength < 0 && s == 0) return false;
    if (s == name[k]) continue;
    if (!fold) return false;
    const ZrStringGlobals& globals = ZrStringGlobals::Instance();
    if (globals.Fold(s) != globals.Fold(name[k])) return false;
  }
  if (searchLength == nameLength) return true;
  const ZrChar next = search[nameLength];
  return (searchLength < 0 && next == 0) || ContinuesSearchName(next);
}

int ZrXmlDocument::TagNameLength(int element) const { return TagNameLength(element, GetStartTagLength(element)); }

int ZrXmlDocument::TagNameLength(int element, int startTagLength) const {
  const ZrXmlElementRecord& r = Rec(element);
  const ZrChar* t = m_text.c_str();
  const int end = r.start + startTagLength;
  int i = r.start + 1;
  while (i < end && !ZrXmlTokenizer::EndsTagName(t[i])) ++i;
  return i - (r.start + 1);
}

ZrString ZrXmlDocument::GetTagName(int element) const {
  if (!IsElement(element)) return ZrString();
  return ZrString::FromUnits(m_text.c_str() + Rec(element).start + 1, static_cast<size_t>(TagNameLength(element)));
}

// Closes open elements that will never see their end tag. `first` is the outermost of them and the
// last child of newParent; each further one is the last child of the one before. Each element
// shrinks to its start tag and its children follow it as siblings, so the whole run ends up, in
// text order, as the last children of newParent.
void ZrXmlDocument::CloseUnended(const OpenElement* first, const OpenElement* last, int newParent) {
  int tail = 0;
  for (const OpenElement* open = first; open != last; ++open) {
    const int index = open->record;
    const int startTag = GetStartTagLength(index);
    ZrXmlElementRecord& r = Rec(index);
    r.levelFlags |= kNotEnded;
    r.length = startTag;
    SetTagLengths(r, startTag, 0);
    tail = index;
    const int child = r.firstChild;
    if (!child) continue;
    ZrXmlElementRecord& c = Rec(child);
    const int lastChild = c.previousSibling;
    c.previousSibling = index;
    c.levelFlags &= ~kFirstChild;
    r.nextSibling = child;
    r.firstChild = 0;
    // The next open element is the last child here, still without a next sibling.
    for (int i = child; i; i = Rec(i).nextSibling) Rec(i).parent = newParent;
    tail = lastChild;
  }
  Rec(Rec(newParent).firstChild).previousSibling = tail;
}

// Records are made in text order and a parent always before its children, also after children
// were moved up to an ancestor; so one pass in index order sets every level.
void ZrXmlDocument::RepairLevels() {
  for (int i = 1; i < m_nextNew; ++i) {
    ZrXmlElementRecord& r = Rec(i);
    const uint32_t level = r.parent ? ChildLevel(LevelOf(Rec(r.parent))) : 1;
    r.levelFlags = (r.levelFlags & ~kLevelMask) | level;
  }
}

bool ZrXmlDocument::Parse(const ZrString& text) {
  const ZrString earlier = m_error;
  m_error.Empty();
  m_text = text;
  m_parent = m_current = m_child = 0;
  m_nodeKind = m_nodeOffset = m_nodeLength = 0;
  m_nextNew = 1;
  m_lastStart = -1;
  const int length = m_text.Length();
  SetCapacity(length / 64 + 8);
  Rec(0) = ZrXmlElementRecord{};
  Rec(0).length = length;

  ZrString error;
  int root = 0;
  // The fixed messages are made once and shared.
  static const ZrString kEmptyDocument(u"Empty document");
  static const ZrString kNoRoot(u"No root element");
  static const ZrString kRootSibling(u"Root element has sibling");
  if (length == 0) {
    error = kEmptyDocument;
  } else {
    const ZrChar* t = m_text.c_str();
    ZrXmlTokenizer tokenizer(t, length);
    ZrXmlNode node;
    OpenStack open;
    bool moved = false;
    auto markError = [&] {
      Rec(0).levelFlags |= kNotWellFormed;
      if (!open.empty()) Rec(open.back().record).levelFlags |= kHoldsError;
    };
    auto openName = [&](const OpenElement& e) {
      return ZrString::FromUnits(t + e.nameStart, static_cast<size_t>(e.nameLength));
    };

    for (int pos = 0; tokenizer.Scan(pos, node) != kZrXmlEndOfText; pos = node.start + node.length) {
      if (node.kind == kZrXmlStartTag) {
        const int parent = open.empty() ? 0 : open.back().record;
        const int index = TakeRecord();
        ZrXmlElementRecord& r = Rec(index);
        r.start = node.start;
        r.length = node.length;
        SetTagLengths(r, node.length, 0);
        r.levelFlags = std::min<uint32_t>(static_cast<uint32_t>(open.size()) + 1, kLevelMask);
        LinkLastChild(parent, index);
        m_lastStart = node.start;
        if (!node.emptyElement) open.Push({node.start + 1, node.nameLength, index});
      } else if (node.kind == kZrXmlEndTag) {
        const ZrChar* name = t + node.start + 2;
        int k = static_cast<int>(open.size()) - 1;
        // Nearly always the end tag repeats the innermost start tag's name exactly.
        bool same = k >= 0 && open[k].nameLength == node.nameLength;
        for (int c = 0; same && c < node.nameLength; ++c) same = t[open[k].nameStart + c] == name[c];
        if (!same) {
          while (k >= 0 && !NameMatches(open[k].nameStart, open[k].nameLength, name, node.nameLength)) --k;
        }
        if (k < 0) {
          markError();
          if (error.IsEmpty()) {
            error = ZrFormatV(u"No start tag for end tag '%s' at offset %d",
                              {ZrString::FromUnits(name, static_cast<size_t>(node.nameLength)), node.start});
          }
          continue;
        }
        const int index = open[k].record;
        ZrXmlElementRecord& r = Rec(index);
        r.length = node.start + node.length - r.start;
        r.tagLengths = (r.tagLengths & kStartTagMax) |
                       (std::min(static_cast<uint32_t>(node.length), kEndTagMax) << kEndTagShift);
        if (k + 1 < static_cast<int>(open.size())) {
          if (error.IsEmpty()) {
            const OpenElement& inner = open.back();
            error = ZrFormatV(u"End tag '%s' at offset %d does not match start tag '%s' at offset %d",
                              {ZrString::FromUnits(name, static_cast<size_t>(node.nameLength)), node.start + 1,
                               openName(inner), Rec(inner.record).start});
          }
          CloseUnended(open.data() + k + 1, open.data() + open.size(), index);
          // An element closed by a later end tag is as much a fault as a stray end tag.
          Rec(index).levelFlags |= kHoldsError;
          Rec(0).levelFlags |= kNotWellFormed;
          moved = true;
        }
        open.resize(k);
      } else if (node.kind == kZrXmlMalformed) {
        markError();
        if (error.IsEmpty()) error = tokenizer.Message();
      }
    }

    if (!open.empty()) {
      if (error.IsEmpty()) {
        const OpenElement& inner = open.back();
        error = ZrFormatV(u"Element '%s' at offset %d not ended", {openName(inner), Rec(inner.record).start});
      }
      CloseUnended(open.data(), open.data() + open.size(), 0);
      Rec(0).levelFlags |= kNotWellFormed;
      moved = true;
    }
    if (moved) RepairLevels();

    root = Rec(0).firstChild;
    if (!root) {
      error = kNoRoot;
    } else if (Rec(root).nextSibling) {
      error = kRootSibling;
    }
  }

  if (earlier.IsEmpty()) {
    m_error = error;
  } else {
    m_error = earlier;
    if (!error.IsEmpty()) {
      m_error += u", ";
      m_error += error;
    }
  }
  return !(Rec(0).levelFlags & kNotWellFormed) && root && !Rec(root).nextSibling;
}

int ZrXmlDocument::FindChildElement(int parent, int after, const ZrChar* name) {
  if (parent != 0 && !IsElement(parent)) return 0;
  int candidate = 0;
  if (after) {
    if (!IsElement(after)) return 0;
    candidate = Rec(after).nextSibling;
  } else {
    candidate = Rec(parent).firstChild;
  }
  for (; candidate; candidate = Rec(candidate).nextSibling) {
    if (!name || NameMatches(Rec(candidate).start + 1, TagNameLength(candidate), name, -1)) {
      m_parent = parent;
      m_current = candidate;
      m_child = 0;
      m_nodeKind = kZrXmlStartTag;
      m_nodeOffset = m_nodeLength = 0;
      return candidate;
    }
  }
  return 0;
}

int ZrXmlDocument::FindNode(int kinds) {
  const int parent = m_parent;
  const ZrChar* t = m_text.c_str();
  int contentStart = 0;
  int contentEnd = m_text.Length();
  if (parent) {
    const ZrXmlElementRecord& p = Rec(parent);
    contentStart = p.start + GetStartTagLength(parent);
    contentEnd = std::max(contentStart, p.start + p.length - GetEndTagLength(parent));
  }
  int pos = contentStart;
  if (m_nodeKind != kZrXmlStartTag && m_nodeLength > 0) {
    pos = m_nodeOffset + m_nodeLength;
  } else if (m_current) {
    pos = Rec(m_current).start + Rec(m_current).length;
  }
  int passed = m_current;
  int nextChild = m_current ? Rec(m_current).nextSibling : Rec(parent).firstChild;

  ZrXmlTokenizer tokenizer(t, contentEnd);
  ZrXmlNode node;
  while (tokenizer.Scan(pos, node) != kZrXmlEndOfText) {
    pos = node.start + node.length;
    if (node.kind == kZrXmlStartTag && nextChild && Rec(nextChild).start == node.start) {
      passed = nextChild;
      nextChild = Rec(passed).nextSibling;
      pos = Rec(passed).start + Rec(passed).length;
      if (kinds & kZrXmlStartTag) {
        m_current = passed;
        m_child = 0;
        m_nodeKind = kZrXmlStartTag;
        m_nodeOffset = m_nodeLength = 0;
        return kZrXmlStartTag;
      }
    } else if (node.kind > kZrXmlStartTag && (kinds & node.kind)) {
      m_current = passed;
      m_child = 0;
      m_nodeKind = node.kind;
      m_nodeOffset = node.start;
      m_nodeLength = node.length;
      return node.kind;
    }
  }
  return 0;
}

bool ZrXmlDocument::EnterElement() {
  if (!m_current) return false;
  m_parent = m_current;
  m_current = m_child;
  m_child = 0;
  m_nodeKind = kZrXmlStartTag;
  m_nodeOffset = m_nodeLength = 0;
  return true;
}

bool ZrXmlDocument::LeaveElement() {
  if (!m_parent) return false;
  m_child = m_current;
  m_current = m_parent;
  m_parent = Rec(m_parent).parent;
  m_nodeKind = kZrXmlStartTag;
  m_nodeOffset = m_nodeLength = 0;
  return true;
}

bool ZrXmlDocument::FindAttribute(int element, const ZrChar* name, AttributeSpan& span) const {
  const ZrChar* t = m_text.c_str();
  const ZrXmlElementRecord& r = Rec(element);
  // Attributes lie before the closing ">" or "/>": an unquoted last value must not take the "/",
  // or an edit of it would turn an empty-element tag into a start tag.
  const int startTag = GetStartTagLength(element);
  int end = r.start + startTag - 1;
  if (end > r.start + 1 && t[end - 1] == u'/' && !(r.levelFlags & kNotEnded) && GetEndTagLength(element) == 0) --end;
  int i = r.start + 1 + TagNameLength(element, startTag);
  span.insertAt = i;
  for (;;) {
    while (i < end && IsSpace(t[i])) ++i;
    if (i >= end || t[i] == u'>' || t[i] == u'/' || t[i] == u'?') return false;
    const int nameStart = i;
    while (i < end && !EndsAttributeName(t[i])) i = IsQuote(t[i]) ? SkipQuoted(t, i, end) : i + 1;
    const int nameEnd = i;
    span.insertAt = i;
    int j = i;
    while (j < end && IsSpace(t[j])) ++j;
    if (j >= end || t[j] != u'=') continue;  // an attribute without a value
    ++j;
    while (j < end && IsSpace(t[j])) ++j;
    span.replaceStart = j;
    if (j < end && (t[j] == u'"' || t[j] == u'\'')) {
      const ZrChar quote = t[j];
      span.valueStart = j + 1;
      int k = ZrXmlTokenizer::Find(t, span.valueStart, end, quote);
      span.valueEnd = k;
      span.replaceEnd = k < end ? k + 1 : k;
    } else {
      span.valueStart = j;
      int k = j;
      while (k < end && !IsSpace(t[k]) && t[k] != u'>') k = IsQuote(t[k]) ? SkipQuoted(t, k, end) : k + 1;
      span.valueEnd = span.replaceEnd = k;
    }
    i = span.replaceEnd;
    span.insertAt = i;
    if (name && NameMatches(nameStart, nameEnd - nameStart, name, -1)) return true;
  }
}

ZrString ZrXmlDocument::GetAttribute(int element, const ZrChar* name) const {
  if (!IsElement(element) || !name) return ZrString();
  AttributeSpan span;
  if (!FindAttribute(element, name, span)) return ZrString();
  return DecodeXmlText(m_text.c_str() + span.valueStart, span.valueEnd - span.valueStart);
}

std::u16string_view ZrXmlDocument::GetRawAttribute(int element, const ZrChar* name) const {
  if (!IsElement(element) || !name) return {};
  AttributeSpan span;
  if (!FindAttribute(element, name, span)) return {};
  return std::u16string_view(m_text.c_str() + span.valueStart, static_cast<size_t>(span.valueEnd - span.valueStart));
}

ZrString ZrXmlDocument::GetElementText(int element) const {
  const ZrChar* t = m_text.c_str();
  if (element == m_current && m_nodeKind != kZrXmlStartTag) return InnerText(t, m_nodeKind, m_nodeOffset, m_nodeLength);
  if (!IsElement(element)) return ZrString();
  const ZrXmlElementRecord& r = Rec(element);
  if (r.firstChild || (r.levelFlags & kNotEnded)) return ZrString();
  const int endTag = GetEndTagLength(element);
  if (!endTag) return ZrString();
  const int contentStart = r.start + GetStartTagLength(element);
  const int contentEnd = r.start + r.length - endTag;
  if (contentEnd <= contentStart) return ZrString();

  int lt = contentStart;
  while (lt < contentEnd && t[lt] != u'<') ++lt;
  if (lt == contentEnd) return DecodeXmlText(t + contentStart, contentEnd - contentStart);

  ZrString result;
  ZrXmlTokenizer tokenizer(t, contentEnd);
  ZrXmlNode node;
  for (int pos = contentStart; tokenizer.Scan(pos, node) != kZrXmlEndOfText; pos = node.start + node.length) {
    if (node.kind == kZrXmlText || node.kind == kZrXmlCData) result += InnerText(t, node.kind, node.start, node.length);
  }
  return result;
}

void ZrXmlDocument::ReplaceText(int offset, int removeCount, std::initializer_list<std::u16string_view> pieces) {
  size_t insertCount = 0;
  for (const auto& piece : pieces) insertCount += piece.size();
  const int oldLength = m_text.Length();
  const int newLength = oldLength - removeCount + static_cast<int>(insertCount);
  // Appending element after element must not reallocate for every one: grow by doubling.
  int wanted = std::max(newLength, oldLength);
  const int capacity = static_cast<int>(m_text.Block()->capacity) - 1;
  if (wanted > capacity) wanted = std::max({wanted, 2 * capacity, 512, m_textReserve});
  ZrChar* buffer = m_text.GetBuffer(wanted);
  std::memmove(buffer + offset + insertCount, buffer + offset + removeCount,
               sizeof(ZrChar) * static_cast<size_t>(oldLength - offset - removeCount));
  ZrChar* out = buffer + offset;
  for (const auto& piece : pieces) {
    // Most pieces are a few characters of markup; a call to memcpy costs more than they do.
    if (piece.size() > 16) {
      std::memcpy(out, piece.data(), sizeof(ZrChar) * piece.size());
      out += piece.size();
    } else {
      for (const ZrChar c : piece) *out++ = c;
    }
  }
  m_text.ReleaseBuffer(newLength);
}

// After the text at offset changed its length by delta: records that start at or after offset
// move, records that enclose it grow. innermost is the innermost element known to enclose it.
void ZrXmlDocument::ShiftRecords(int offset, int delta, int innermost) {
  Rec(0).length += delta;
  if (offset <= m_lastStart) {
    int lastStart = -1;
    for (int i = 1; i < m_nextNew; ++i) {
      ZrXmlElementRecord& r = Rec(i);
      if (r.start >= offset) {
        r.start += delta;
      } else if (r.start + r.length > offset) {
        r.length += delta;
      }
      lastStart = std::max(lastStart, r.start);
    }
    m_lastStart = lastStart;
    return;
  }
  // Nothing starts after the edit, so only the enclosing elements change, and they are the chain
  // of parents (editing at the end stays cheap however large the document is).
  for (int i = innermost; i > 0; i = Rec(i).parent) {
    ZrXmlElementRecord& r = Rec(i);
    if (r.start + r.length > offset) r.length += delta;
  }
}

void ZrXmlDocument::SetAttribute(int element, const ZrChar* name, const ZrString& value) {
  if (!IsElement(element) || !name) return;
  const ZrString escaped = EscapeXmlText(value, true);
  AttributeSpan span;
  const bool replace = FindAttribute(element, name, span);
  const int offset = replace ? span.replaceStart : span.insertAt;
  const int removeCount = replace ? span.replaceEnd - span.replaceStart : 0;
  const std::u16string_view nameView(name, replace ? 0 : ZrLength(name));
  const int startTag = GetStartTagLength(element);
  const int endTag = GetEndTagLength(element);
  const int before = m_text.Length();
  if (replace) {
    ReplaceText(offset, removeCount, {u"\"", escaped.View(), u"\""});
  } else {
    ReplaceText(offset, 0, {u" ", nameView, u"=\"", escaped.View(), u"\""});
  }
  const int delta = m_text.Length() - before;
  ShiftRecords(offset, delta, element);
  SetTagLengths(Rec(element), startTag + delta, endTag);
  m_options |= kOptionEdited;
}

int ZrXmlDocument::AppendElement(const ZrChar* name, const ZrString& text) {
  if (!name || !*name) return 0;
  const ZrString escaped = EscapeXmlText(text, false);
  const std::u16string_view tag(name, ZrLength(name));
  const bool empty = escaped.IsEmpty();
  const int startTag = static_cast<int>(tag.size()) + (empty ? 3 : 2);
  const int endTag = empty ? 0 : static_cast<int>(tag.size()) + 3;
  const int elementLength = startTag + (empty ? 0 : escaped.Length() + endTag);

  const int parent = IsElement(m_parent) ? m_parent : 0;
  const int after = IsElement(m_current) && Rec(m_current).parent == parent ? m_current : 0;
  const ZrChar* t = m_text.c_str();
  const int length = m_text.Length();
  int offset = length;
  int removeCount = 0;
  int prefix = 0;
  bool parentWasEmptyTag = false;
  bool parentNotEnded = false;
  std::u16string_view opening, closingName;
  if (after) {
    offset = Rec(after).start + Rec(after).length;
    while (offset < length && IsSpace(t[offset])) ++offset;
  } else if (parent) {
    const ZrXmlElementRecord& p = Rec(parent);
    const int parentEndTag = GetEndTagLength(parent);
    if (p.levelFlags & kNotEnded) {
      offset = p.start + p.length;
      parentNotEnded = true;
    } else if (parentEndTag > 0) {
      offset = p.start + p.length - parentEndTag;
    } else {
      // <p/> becomes <p>, the new element, </p>. Should the "/" follow another one, dropping it
      // would leave the tag empty; it becomes a space then.
      offset = p.start + p.length - 2;
      removeCount = 2;
      const bool slashBefore = t[offset - 1] == u'/';
      opening = slashBefore ? u" >" : u">";
      prefix = static_cast<int>(opening.size());
      closingName = std::u16string_view(t + p.start + 1, static_cast<size_t>(TagNameLength(parent)));
      parentWasEmptyTag = true;
    }
  }

  // The closing name points into the text, which the edit moves: copy it first.
  const std::u16string parentName(closingName);
  const int parentStartTag = GetStartTagLength(parent);
  const int before = length;
  if (empty) {
    ReplaceText(offset, removeCount, {opening, u"<", tag, u"/>\r\n", parentWasEmptyTag ? u"</" : u"", parentName,
                                      parentWasEmptyTag ? u">" : u""});
  } else {
    ReplaceText(offset, removeCount, {opening, u"<", tag, u">", escaped.View(), u"</", tag, u">\r\n",
                                      parentWasEmptyTag ? u"</" : u"", parentName, parentWasEmptyTag ? u">" : u""});
  }
  const int delta = m_text.Length() - before;
  ShiftRecords(offset, delta, parent);
  if (parentNotEnded) Rec(parent).length += delta;
  if (parentWasEmptyTag) {
    SetTagLengths(Rec(parent), parentStartTag - 2 + prefix, static_cast<int>(parentName.size()) + 3);
  }

  const int index = TakeRecord();
  ZrXmlElementRecord& r = Rec(index);
  r.start = offset + prefix;
  r.length = elementLength;
  SetTagLengths(r, startTag, endTag);
  r.levelFlags = parent ? ChildLevel(LevelOf(Rec(parent))) : 1;
  if (after) {
    r.parent = parent;
    r.firstChild = 0;
    const int next = Rec(after).nextSibling;
    r.nextSibling = next;
    r.previousSibling = after;
    Rec(after).nextSibling = index;
    if (next) {
      Rec(next).previousSibling = index;
    } else {
      Rec(Rec(parent).firstChild).previousSibling = index;
    }
  } else {
    LinkLastChild(parent, index);
  }
  m_lastStart = std::max(m_lastStart, r.start);
  m_parent = parent;
  m_current = index;
  m_child = 0;
  m_nodeKind = kZrXmlStartTag;
  m_nodeOffset = m_nodeLength = 0;
  m_options |= kOptionEdited;
  return index;
}
