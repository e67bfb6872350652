#include "foundation/ZrPropertyMap.h"

#include <cstring>

#include "foundation/ZrConvert.h"
#include "foundation/ZrFormat.h"
#include "foundation/ZrPackedText.h"
#include "foundation/ZrXmlDocument.h"

ZrPropertyMap::~ZrPropertyMap() = default;

ZrString& ZrPropertyMap::FindOrInsert(const ZrChar* key) {
  if (!m_entries) m_entries = std::make_unique<Entries>();
  if (ZrString* value = m_entries->Find(key)) return *value;
  return m_entries->SetAt(ZrString(key), ZrString());
}

ZrString& ZrPropertyMap::FindOrInsert(const ZrString& key) {
  if (!m_entries) m_entries = std::make_unique<Entries>();
  if (ZrString* value = m_entries->Find(key)) return *value;
  return m_entries->SetAt(key, ZrString());
}

bool ZrPropertyMap::Exists(const ZrChar* key) const { return m_entries && m_entries->Find(key); }

void ZrPropertyMap::GetString(ZrString& out, const ZrChar* key, const ZrChar* defaultValue) const {
  if (const ZrString* value = m_entries ? m_entries->Find(key) : nullptr) {
    out = *value;
  } else if (defaultValue) {
    out = defaultValue;
  } else {
    out.Empty();
  }
}

int32_t ZrPropertyMap::GetInt(const ZrChar* key, int32_t defaultValue) const {
  ZrString text;
  GetString(text, key, ZrIntToText(defaultValue).c_str());
  return ZrToInt(text.c_str());
}

int64_t ZrPropertyMap::GetInt64(const ZrChar* key, int64_t defaultValue) const {
  ZrString text;
  GetString(text, key, ZrIntToText(defaultValue).c_str());
  return ZrToInt64(text.c_str());
}

double ZrPropertyMap::GetDouble(const ZrChar* key, double defaultValue) const {
  ZrString text;
  GetString(text, key, ZrDoubleToText(defaultValue).c_str());
  return ZrToDouble(text.c_str());
}

uintptr_t ZrPropertyMap::GetPointer(const ZrChar* key, uintptr_t defaultValue) const {
  ZrString text;
  GetString(text, key, ZrPointerToText(defaultValue).c_str());
  return static_cast<uintptr_t>(ZrToPointer(text.c_str()));
}

void ZrPropertyMap::SetString(const ZrChar* key, const ZrString& value, bool removeIfEmpty) {
  if (removeIfEmpty && value.IsEmpty()) {
    Remove(key);
    return;
  }
  FindOrInsert(key) = value;
}

void ZrPropertyMap::SetInt(const ZrChar* key, int32_t value) { SetString(key, ZrIntToText(value), false); }

void ZrPropertyMap::SetInt64(const ZrChar* key, int64_t value) { SetString(key, ZrIntToText(value), false); }

void ZrPropertyMap::SetPointer(const ZrChar* key, uintptr_t value) { SetString(key, ZrPointerToText(value), false); }

void ZrPropertyMap::SetDouble(const ZrChar* key, double value) { SetString(key, ZrDoubleToText(value), false); }

void ZrPropertyMap::Clear() { m_entries.reset(); }

void ZrPropertyMap::Remove(const ZrChar* key) {
  if (!m_entries) return;
  m_entries->RemoveKey(key);
  if (m_entries->IsEmpty()) m_entries.reset();
}

bool ZrPropertyMap::Assign(const ZrPropertyMap& other) {
  if (&other == this) return true;
  m_entries.reset();
  if (!other.m_entries) return true;
  m_entries = std::make_unique<Entries>();
  for (const auto& entry : *other.m_entries) FindOrInsert(entry.Key()) = entry.Value();
  return true;
}

bool ZrPropertyMap::Merge(const ZrPropertyMap& other) {
  if (&other == this || !other.m_entries) return true;
  for (const auto& entry : *other.m_entries) FindOrInsert(entry.Key()) = entry.Value();
  return true;
}

bool ZrPropertyMap::IsEqual(const ZrPropertyMap& other) const {
  if (&other == this) return true;
  if (GetCount() != other.GetCount()) return false;
  if (!m_entries) return true;
  ZrString theirs;
  for (const auto& entry : *m_entries) {
    // A key the other map lacks reads as empty text there.
    other.GetString(theirs, entry.Key().c_str(), nullptr);
    if (theirs.View() != entry.Value().View()) return false;
  }
  return true;
}

void ZrPropertyMap::WriteToString(ZrString& target, bool includeEntries) const {
  const int count = includeEntries ? GetCount() : 0;
  ZrAppendPackedField(target, ZrIntToText(count));
  if (count == 0) return;
  for (const auto& entry : *m_entries) {
    ZrAppendPackedField(target, entry.Key());
    ZrAppendPackedField(target, entry.Value());
  }
}

void ZrPropertyMap::ReadFromStringAt(const ZrString& source, int& position) {
  Clear();
  const int count = ZrReadPackedCount(source, position);
  ZrString key, value;
  for (int i = 0; i < count; ++i) {
    const int before = position;
    ZrReadPackedField(source, position, key);
    ZrReadPackedField(source, position, value);
    SetString(key.c_str(), value, false);
    // A pair that could not be read and consumed nothing would read the same way every further
    // time round; a hostile count must not keep us here.
    if (position == before) break;
  }
}

void ZrPropertyMap::ReadFromString(const ZrString& source) {
  int position = 0;
  ReadFromStringAt(source, position);
}

void ZrPropertyMap::ToXml(ZrString& out, const ZrChar* rootTag, bool emptyWhenNoEntries, double version) const {
  if (emptyWhenNoEntries && GetCount() == 0) {
    out.Empty();
    return;
  }
  ZrXmlDocument document;
  document.Parse(ZrString());
  document.SetOptions(document.GetOptions() | ZrXmlDocument::kOptionIgnoreCase);
  WriteItems(document);

  const ZrString versionText = ZrDoubleToText1(version);
  const ZrString root(rootTag);
  const ZrString& items = document.GetText();
  const std::u16string_view parts[] = {u"<", root.View(), u" version=\"", versionText.View(), u"\">\r\n",
                                       items.View(), u"</", root.View(), u">"};
  size_t total = 0;
  for (const auto& part : parts) total += part.size();
  ZrString text;
  ZrChar* buffer = text.GetBuffer(static_cast<int>(total));
  for (const auto& part : parts) {
    std::memcpy(buffer, part.data(), part.size() * sizeof(ZrChar));
    buffer += part.size();
  }
  text.ReleaseBuffer(static_cast<int>(total));
  out = std::move(text);
}

bool ZrPropertyMap::FromXml(const ZrString& xml, const ZrChar* rootTag, double expectedVersion) {
  Clear();
  if (xml.IsEmpty()) return true;
  ZrXmlDocument document;
  document.Parse(xml);  // parse errors are tolerated: what was indexed is used
  document.SetOptions(document.GetOptions() | ZrXmlDocument::kOptionIgnoreCase);
  const int root = document.FindChildElement(0, 0, rootTag);
  if (!root) return false;
  if (ZrToDouble(document.GetAttribute(root, u"version").c_str()) != expectedVersion) return false;
  document.EnterElement();
  ReadItems(document);
  document.LeaveElement();
  return true;
}

void ZrPropertyMap::WriteItems(ZrXmlDocument& document) const {
  if (!m_entries) return;
  for (const auto& entry : *m_entries) {
    const int item = document.AppendElement(u"Item", entry.Value());
    document.SetAttribute(item, u"Name", entry.Key());
  }
}

void ZrPropertyMap::ReadItems(ZrXmlDocument& document) {
  Clear();
  for (int item; (item = document.FindChildElement(document.GetParent(), document.GetCurrent(), u"Item"));) {
    SetString(document.GetAttribute(item, u"Name").c_str(), document.GetElementText(item), false);
  }
}

void ZrPropertyMap::Dump(ZrString& out, const ZrChar* prefix, const ZrChar* suffix) const {
  out.Empty();
  if (!m_entries) return;
  const ZrChar* before = prefix ? prefix : u"";
  const ZrChar* after = suffix ? suffix : u"";
  for (const auto& entry : *m_entries) out += ZrFormatV(u"%s%s: %s%s", {before, entry.Key(), entry.Value(), after});
}
