#include "foundation/ZrPropertyMap.h"

#include <clocale>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <string>

#include "foundation/ZrConvert.h"
#include "foundation/ZrFormat.h"
#include "foundation/ZrPackedText.h"
#include "foundation/ZrXmlDocument.h"
#include "foundation/ZrXmlText.h"

namespace {

// The version with one decimal in the current locale's notation, as "%.1f" writes it. Versions are
// whole tenths (1.0); those are written directly, anything else goes through the formatter.
void AppendVersionText(std::u16string& out, double version) {
  const double tenths = version * 10.0;
  if (!(std::fabs(tenths) < 1e9) || tenths != std::floor(tenths)) {
    out.append(ZrDoubleToText1(version).View());
    return;
  }
  const long long whole = static_cast<long long>(std::fabs(tenths));
  const std::string digits = (std::signbit(version) ? "-" : "") + std::to_string(whole / 10);
  out.append(digits.begin(), digits.end());
  out.push_back(static_cast<unsigned char>(*std::localeconv()->decimal_point));
  out.push_back(static_cast<ZrChar>(u'0' + whole % 10));
}

// A version attribute is read as ZrToDouble reads text. Its usual form, digits with one "." or
// "," and at most 15 digits in all, is read here directly: the digits make an exact integer and a
// power of ten up to 10^15 is exact too, so their quotient is the correctly rounded value that the
// ZrToDouble gives as well. Anything else (references included) is decoded and read by ZrToDouble.
double ReadVersion(std::u16string_view text) {
  int64_t digits = 0;
  int count = 0, decimals = -1;
  for (const ZrChar c : text) {
    if (c >= u'0' && c <= u'9') {
      if (++count > 15) break;  // too long to read exactly: ZrToDouble reads it
      digits = digits * 10 + (c - u'0');
      if (decimals >= 0) ++decimals;
    } else if ((c == u'.' || c == u',') && decimals < 0) {
      decimals = 0;
    } else {
      count = -1;
      break;
    }
  }
  if (count <= 0 || count > 15) {
    return ZrToDouble(DecodeXmlText(text.data(), static_cast<int>(text.size())).c_str());
  }
  static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  return static_cast<double>(digits) / kPowers[decimals > 0 ? decimals : 0];
}

}  // namespace

ZrPropertyMap::~ZrPropertyMap() = default;

ZrString& ZrPropertyMap::FindOrInsert(const ZrChar* key) {
  if (!m_entries) m_entries = std::make_unique<Entries>();
  if (m_readKey && m_readKey->c_str() == key) return m_entries->FindOrInsert(*m_readKey);
  return m_entries->FindOrInsert(key);
}

ZrString& ZrPropertyMap::FindOrInsert(const ZrString& key) {
  if (!m_entries) m_entries = std::make_unique<Entries>();
  return m_entries->FindOrInsert(key);
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
  std::u16string versionText;
  AppendVersionText(versionText, version);
  const std::u16string_view root(rootTag ? rootTag : u"", ZrLength(rootTag));
  const std::u16string_view head[] = {u"<", root, u" version=\"", versionText, u"\">\r\n"};
  const std::u16string_view tail[] = {u"</", root, u">"};
  int headLength = 0, tailLength = 0;
  for (const auto& part : head) headLength += static_cast<int>(part.size());
  for (const auto& part : tail) tailLength += static_cast<int>(part.size());

  ZrString text;
  {
    ZrXmlDocument document;
    document.Parse(ZrString());
    document.SetOptions(document.GetOptions() | ZrXmlDocument::kOptionIgnoreCase);
    // Each entry makes <Item Name="key">value</Item> and CR LF: 23 characters of markup. With the
    // root tags added later the whole record fits, unless escaping lengthens it.
    int64_t estimate = headLength + tailLength;
    if (m_entries)
      for (const auto& entry : *m_entries) estimate += entry.Key().Length() + entry.Value().Length() + 23;
    document.ReserveText(static_cast<int>(std::min<int64_t>(estimate, INT32_MAX / 2)));
    WriteItems(document);
    text = document.GetText();
  }
  // The document is gone and the text is ours alone: the root tags go round it in place.
  const int items = text.Length();
  const int total = headLength + items + tailLength;
  ZrChar* buffer = text.GetBuffer(total);
  std::memmove(buffer + headLength, buffer, sizeof(ZrChar) * static_cast<size_t>(items));
  ZrChar* at = buffer;
  for (const auto& part : head) at = std::copy(part.begin(), part.end(), at);
  at += items;
  for (const auto& part : tail) at = std::copy(part.begin(), part.end(), at);
  text.ReleaseBuffer(total);
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
  if (ReadVersion(document.GetRawAttribute(root, u"version")) != expectedVersion) return false;
  document.EnterElement();
  ReadItems(document);
  document.LeaveElement();
  return true;
}

void ZrPropertyMap::WriteItems(ZrXmlDocument& document) const {
  if (!m_entries) return;
  // The walk goes bucket by bucket, which is no order in memory: in a large map every entry's
  // strings are a cache miss. Fetching a few entries ahead overlaps those misses with the writing.
  constexpr int kAhead = 8;
  auto ahead = m_entries->begin();
  const auto end = m_entries->end();
  for (int i = 0; i < kAhead && ahead != end; ++i) ++ahead;
  for (const auto& entry : *m_entries) {
    if (ahead != end) {
      __builtin_prefetch(ahead.Key().Block());
      __builtin_prefetch(ahead.Value().Block());
      ++ahead;
    }
    const int item = document.AppendElement(u"Item", entry.Value());
    document.SetAttribute(item, u"Name", entry.Key());
  }
}

void ZrPropertyMap::ReadItems(ZrXmlDocument& document) {
  Clear();
  for (int item; (item = document.FindChildElement(document.GetParent(), document.GetCurrent(), u"Item"));) {
    const ZrString name = document.GetAttribute(item, u"Name");
    // SetString gets the key as characters; when they reach the inner map unchanged, the map
    // shares this string instead of copying it.
    m_readKey = &name;
    SetString(name.c_str(), document.GetElementText(item), false);
    m_readKey = nullptr;
  }
}

void ZrPropertyMap::Dump(ZrString& out, const ZrChar* prefix, const ZrChar* suffix) const {
  out.Empty();
  if (!m_entries) return;
  const ZrChar* before = prefix ? prefix : u"";
  const ZrChar* after = suffix ? suffix : u"";
  for (const auto& entry : *m_entries) out += ZrFormatV(u"%s%s: %s%s", {before, entry.Key(), entry.Value(), after});
}
