// dictionary: xml.dict
// Parse of any text, a walk of every element, and edits of well-formed documents, whose index
// must then equal the index that a fresh parse of the edited text builds.

#include <string>

#include "foundation/ZrXmlDocument.h"
#include "fuzz/FuzzInput.h"

namespace {

void Walk(ZrXmlDocument& document, int depth) {
  const int parent = document.GetParent();
  for (int e = document.FindChildElement(parent, 0, nullptr); e; e = document.FindChildElement(parent, e, nullptr)) {
    document.GetTagName(e);
    document.GetAttribute(e, u"Name");
    document.GetAttribute(e, u"a");
    document.GetElementText(e);
    if (depth < 64 && document.EnterElement()) {
      Walk(document, depth + 1);
      FUZZ_CHECK(document.LeaveElement());
      FUZZ_CHECK(document.GetCurrent() == e);
    }
  }
}

std::string Describe(const ZrXmlDocument& document) {
  std::string out;
  const int count = document.GetRecordCount();
  // Walked without recursion: hostile nesting is deep.
  int i = document.GetRecord(0)->firstChild;
  int guard = 0;
  while (i) {
    FUZZ_CHECK(++guard <= count);
    const ZrXmlElementRecord* r = document.GetRecord(i);
    out += std::to_string(r->start) + "," + std::to_string(r->length) + "," +
           std::to_string(document.GetStartTagLength(i)) + "," + std::to_string(document.GetEndTagLength(i)) + "," +
           std::to_string(r->levelFlags & (ZrXmlDocument::kLevelMask | ZrXmlDocument::kNotEnded)) + ";";
    if (r->firstChild) {
      out += "(";
      i = r->firstChild;
      continue;
    }
    while (i && !document.GetRecord(i)->nextSibling) {
      i = document.GetRecord(i)->parent;
      if (i) out += ")";
    }
    if (i) i = document.GetRecord(i)->nextSibling;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ZrString text = FuzzText(data, size);
  ZrXmlDocument document;
  const bool wellFormed = document.Parse(text);
  for (int i = 1; i < document.GetRecordCount(); ++i) {
    const ZrXmlElementRecord* r = document.GetRecord(i);
    FUZZ_CHECK(r->start >= 0 && r->length > 0 && r->start + r->length <= text.Length());
    FUZZ_CHECK(r->parent < i);
    document.GetAttribute(i, u"version");
    document.GetElementText(i);
  }
  Walk(document, 0);
  document.FindChildElement(0, 0, nullptr);
  document.EnterElement();
  for (int n = 0; n < 64 && document.FindNode(0x7F); ++n) document.GetElementText(document.GetCurrent());

  if (!wellFormed) return 0;
  // Edits at the top, inside the root and after its first child.
  const int root = document.FindChildElement(0, 0, nullptr);
  document.SetAttribute(root, u"Name", ZrString(u"v\"<&"));
  document.EnterElement();
  const int first = document.FindChildElement(root, 0, nullptr);
  document.AppendElement(u"Item", ZrString(u"a<b"));
  if (first) document.SetAttribute(first, u"a", ZrString(u"1"));
  document.LeaveElement();
  document.AppendElement(u"After", ZrString());
  ZrXmlDocument fresh;
  fresh.Parse(document.GetText());
  FUZZ_CHECK(Describe(document) == Describe(fresh));
  return 0;
}
