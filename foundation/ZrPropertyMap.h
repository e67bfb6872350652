#pragma once
// Named text values with typed access, a packed text form for messages between processes and an
// XML text form for stored and exchanged records.
//
// Keys are case-insensitive and keep the letter case they were first stored with; values are
// text, numbers are converted on the way in and out. The operations call one another virtually
// (typed getters read through GetString, setters store through SetString, loaders clear through
// Clear, ToXml and FromXml go through WriteItems and ReadItems), so a record kind can change one
// of them and the others follow. Entries are walked in the inner hash map's order; readers of the
// text forms must not rely on any order. Not locked: a map shared between threads is guarded by
// its owner.

#include <cstdint>
#include <memory>

#include "foundation/ZrMap.h"
#include "foundation/ZrString.h"

class ZrXmlDocument;

class ZrPropertyMap {
 public:
  // The inner map: a ZrStringMap (its table and iteration rules) that can find or insert a key
  // given as characters with a single hash and search.
  class Entries : public ZrStringMap<ZrString> {
   public:
    ZrString& FindOrInsert(const ZrChar* key) {
      const uint32_t hash = ZrHashNoCase(key);
      if (auto* node = this->FindNode(hash, [&](const ZrString& k) { return ZrCompareNoCase(k.c_str(), key) == 0; }))
        return node->value;
      return this->InsertNew(hash, ZrString(key), ZrString())->value;
    }
    // The same with the key at hand as a string, which a new entry shares.
    ZrString& FindOrInsert(const ZrString& key) {
      const ZrChar* chars = key.c_str();
      const uint32_t hash = ZrHashNoCase(chars);
      if (auto* node = this->FindNode(hash, [&](const ZrString& k) { return ZrCompareNoCase(k.c_str(), chars) == 0; }))
        return node->value;
      return this->InsertNew(hash, key, ZrString())->value;
    }
  };

  ZrPropertyMap() = default;
  ZrPropertyMap(const ZrPropertyMap& other) { ZrPropertyMap::Assign(other); }
  ZrPropertyMap& operator=(const ZrPropertyMap& other) {
    Assign(other);
    return *this;
  }
  virtual ~ZrPropertyMap();

  virtual bool Exists(const ZrChar* key) const;
  // The stored value when the key is present (even an empty one), else a copy of the default, else
  // empty text.
  virtual void GetString(ZrString& out, const ZrChar* key, const ZrChar* defaultValue = nullptr) const;
  virtual int32_t GetInt(const ZrChar* key, int32_t defaultValue = 0) const;
  virtual int64_t GetInt64(const ZrChar* key, int64_t defaultValue = 0) const;
  virtual double GetDouble(const ZrChar* key, double defaultValue = 0.0) const;
  virtual uintptr_t GetPointer(const ZrChar* key, uintptr_t defaultValue = 0) const;
  virtual void SetString(const ZrChar* key, const ZrString& value, bool removeIfEmpty = false);
  virtual void SetInt(const ZrChar* key, int32_t value);
  virtual void SetInt64(const ZrChar* key, int64_t value);
  virtual void SetPointer(const ZrChar* key, uintptr_t value);
  virtual void SetDouble(const ZrChar* key, double value);
  virtual void Clear();
  virtual void Remove(const ZrChar* key);
  virtual bool Assign(const ZrPropertyMap& other);
  virtual bool Merge(const ZrPropertyMap& other);
  virtual bool IsEqual(const ZrPropertyMap& other) const;
  // Appends (count)(key)(value)... in packed fields; only (0) when includeEntries is false.
  virtual void WriteToString(ZrString& target, bool includeEntries = true) const;
  virtual void ReadFromStringAt(const ZrString& source, int& position);
  virtual void ReadFromString(const ZrString& source);
  virtual void ToXml(ZrString& out, const ZrChar* rootTag, bool emptyWhenNoEntries, double version) const;
  // False when there is no top-level rootTag element or its version differs; the map is then empty.
  virtual bool FromXml(const ZrString& xml, const ZrChar* rootTag, double expectedVersion);
  virtual void WriteItems(ZrXmlDocument& document) const;
  virtual void ReadItems(ZrXmlDocument& document);
  // One "prefix" "key: value" "suffix" per entry.
  virtual void Dump(ZrString& out, const ZrChar* prefix, const ZrChar* suffix) const;

  int GetCount() const { return m_entries ? m_entries->GetCount() : 0; }
  // The inner map, null while the map holds nothing.
  const Entries* GetEntries() const { return m_entries.get(); }

 private:
  ZrString& FindOrInsert(const ZrString& key);
  ZrString& FindOrInsert(const ZrChar* key);

  std::unique_ptr<Entries> m_entries;
  // While ReadItems stores an item: the key it passes to SetString.
  const ZrString* m_readKey = nullptr;
};
