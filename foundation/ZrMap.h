#pragma once
// Hash maps of the library. Iteration order is part of the observable behaviour (records written
// from a map come out in it), so the table rules are fixed: 7 buckets to begin with, bucket counts of
// the form 2^k - 1, new entries appended at the end of their chain, and on growth every entry relinked
// at the head of its new chain. Nodes are carved from blocks owned by the map.

#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/ZrString.h"

template <typename K, typename V>
class ZrMapBase {
 protected:
  struct Node {
    Node* next;
    uint32_t hash;
    K key;
    V value;
  };

 public:
  static constexpr uint32_t kInitialBuckets = 7;
  static constexpr int kNodesPerBlock = 16;

  ZrMapBase() = default;
  ZrMapBase(const ZrMapBase&) = delete;
  ZrMapBase& operator=(const ZrMapBase&) = delete;
  virtual ~ZrMapBase() { FreeEverything(); }

  // Hash and equality that subclasses replace. The base hashes the key's own low 32 bits.
  virtual uint32_t HashKey(const K& key) const {
    if constexpr (std::is_pointer_v<K>)
      return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    else if constexpr (std::is_integral_v<K> || std::is_enum_v<K>)
      return static_cast<uint32_t>(key);
    else
      return ZrHashNoCase(key.c_str());
  }
  virtual bool KeysEqual(const K& a, const K& b) const { return a == b; }

  int GetCount() const { return m_count; }
  bool IsEmpty() const { return m_count == 0; }
  uint32_t GetBucketCount() const { return m_bucketCount; }

  V* Find(const K& key) {
    Node* node = FindNode(HashKey(key), [&](const K& k) { return KeysEqual(k, key); });
    return node ? &node->value : nullptr;
  }
  const V* Find(const K& key) const { return const_cast<ZrMapBase*>(this)->Find(key); }
  bool Lookup(const K& key, V& out) const {
    const V* found = Find(key);
    if (found) out = *found;
    return found != nullptr;
  }
  bool Contains(const K& key) const { return Find(key) != nullptr; }

  // Inserts or replaces. A replaced entry keeps the key it was first inserted with.
  V& SetAt(const K& key, V value) {
    const uint32_t hash = HashKey(key);
    if (Node* node = FindNode(hash, [&](const K& k) { return KeysEqual(k, key); })) {
      ReplaceValue(node->value, std::move(value));
      return node->value;
    }
    return InsertNew(hash, key, std::move(value))->value;
  }
  V& operator[](const K& key) {
    const uint32_t hash = HashKey(key);
    if (Node* node = FindNode(hash, [&](const K& k) { return KeysEqual(k, key); })) return node->value;
    return InsertNew(hash, key, V())->value;
  }

  bool RemoveKey(const K& key) {
    return RemoveNode(HashKey(key), [&](const K& k) { return KeysEqual(k, key); });
  }

  virtual void RemoveAll() { FreeEverything(); }

  // Walks bucket by bucket, each chain from its head.
  template <bool Const>
  class Iterator {
    using MapPtr = std::conditional_t<Const, const ZrMapBase*, ZrMapBase*>;

   public:
    Iterator(MapPtr map, uint32_t bucket, Node* node) : m_map(map), m_bucket(bucket), m_node(node) {}
    const K& Key() const { return m_node->key; }
    std::conditional_t<Const, const V&, V&> Value() const { return m_node->value; }
    Iterator& operator*() { return *this; }
    Iterator& operator++() {
      m_node = m_node->next;
      if (!m_node) {
        for (++m_bucket; m_bucket < m_map->m_bucketCount; ++m_bucket)
          if ((m_node = m_map->m_buckets[m_bucket])) break;
      }
      return *this;
    }
    bool operator!=(const Iterator& other) const { return m_node != other.m_node; }
    bool operator==(const Iterator& other) const { return m_node == other.m_node; }

   private:
    MapPtr m_map;
    uint32_t m_bucket;
    Node* m_node;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;

  iterator begin() { return MakeBegin<iterator>(this); }
  iterator end() { return iterator(this, m_bucketCount, nullptr); }
  const_iterator begin() const { return MakeBegin<const_iterator>(this); }
  const_iterator end() const { return const_iterator(this, m_bucketCount, nullptr); }

 protected:
  // Lets subclasses look up by a type other than K without building a K.
  template <typename Equal>
  Node* FindNode(uint32_t hash, Equal equal) const {
    if (!m_buckets) return nullptr;
    for (Node* node = m_buckets[hash % m_bucketCount]; node; node = node->next)
      if (node->hash == hash && equal(node->key)) return node;
    return nullptr;
  }

  template <typename Equal>
  bool RemoveNode(uint32_t hash, Equal equal) {
    if (!m_buckets) return false;
    Node** link = &m_buckets[hash % m_bucketCount];
    for (Node* node = *link; node; link = &node->next, node = node->next) {
      if (node->hash == hash && equal(node->key)) {
        *link = node->next;
        OnRemoveValue(node->value);
        FreeNode(node);
        --m_count;
        return true;
      }
    }
    return false;
  }

  Node* InsertNew(uint32_t hash, const K& key, V value) {
    if (!m_buckets) {
      AllocateBuckets(kInitialBuckets);
    } else if (static_cast<uint64_t>(m_count) + 1 > 2ull * m_bucketCount + 2) {
      Rehash(static_cast<uint32_t>(m_count) + 1);
    }
    Node* node = NewNode(hash, key, std::move(value));
    Node** link = &m_buckets[hash % m_bucketCount];
    while (*link) link = &(*link)->next;
    *link = node;
    ++m_count;
    return node;
  }

  // Hooks for maps that own their values.
  virtual void ReplaceValue(V& slot, V&& value) { slot = std::move(value); }
  virtual void OnRemoveValue(V&) {}

  void FreeEverything() {
    for (uint32_t b = 0; b < m_bucketCount && m_buckets; ++b) {
      for (Node* node = m_buckets[b]; node;) {
        Node* next = node->next;
        OnRemoveValue(node->value);
        node->~Node();
        node = next;
      }
    }
    delete[] m_buckets;
    m_buckets = nullptr;
    m_bucketCount = 0;
    m_count = 0;
    m_free = nullptr;
    while (m_blocks) {
      Block* next = m_blocks->next;
      ::operator delete(m_blocks);
      m_blocks = next;
    }
  }

 private:
  struct Block {
    Block* next;
  };
  union Slot {
    Slot* nextFree;
    alignas(Node) unsigned char storage[sizeof(Node)];
  };

  template <typename It, typename Self>
  static It MakeBegin(Self self) {
    for (uint32_t b = 0; b < self->m_bucketCount; ++b)
      if (self->m_buckets[b]) return It(self, b, self->m_buckets[b]);
    return It(self, self->m_bucketCount, nullptr);
  }

  void AllocateBuckets(uint32_t count) {
    m_buckets = new Node*[count]();
    m_bucketCount = count;
  }

  void Rehash(uint32_t newCount) {
    uint32_t size = 16;
    while (size <= newCount) size <<= 1;
    Node** old = m_buckets;
    const uint32_t oldCount = m_bucketCount;
    AllocateBuckets(size - 1);
    for (uint32_t b = 0; b < oldCount; ++b) {
      for (Node* node = old[b]; node;) {
        Node* next = node->next;
        Node*& head = m_buckets[node->hash % m_bucketCount];
        node->next = head;
        head = node;
        node = next;
      }
    }
    delete[] old;
  }

  Node* NewNode(uint32_t hash, const K& key, V&& value) {
    if (!m_free) {
      constexpr size_t header = (sizeof(Block) + alignof(Slot) - 1) / alignof(Slot) * alignof(Slot);
      auto* raw = static_cast<unsigned char*>(::operator new(header + sizeof(Slot) * kNodesPerBlock));
      auto* block = reinterpret_cast<Block*>(raw);
      block->next = m_blocks;
      m_blocks = block;
      auto* slots = reinterpret_cast<Slot*>(raw + header);
      for (int i = kNodesPerBlock - 1; i >= 0; --i) {
        slots[i].nextFree = m_free;
        m_free = &slots[i];
      }
    }
    Slot* slot = m_free;
    m_free = slot->nextFree;
    return new (slot->storage) Node{nullptr, hash, key, std::move(value)};
  }

  void FreeNode(Node* node) {
    node->~Node();
    auto* slot = reinterpret_cast<Slot*>(node);
    slot->nextFree = m_free;
    m_free = slot;
  }

  Node** m_buckets = nullptr;
  uint32_t m_bucketCount = 0;
  int m_count = 0;
  Slot* m_free = nullptr;
  Block* m_blocks = nullptr;
};

template <typename K, typename V>
class ZrMap : public ZrMapBase<K, V> {};

// Keys compared and hashed case-insensitively; lookups may use plain wide-character pointers.
template <typename V>
class ZrStringMap : public ZrMapBase<ZrString, V> {
  using Base = ZrMapBase<ZrString, V>;

 public:
  uint32_t HashKey(const ZrString& key) const override { return ZrHashNoCase(key.c_str()); }
  bool KeysEqual(const ZrString& a, const ZrString& b) const override {
    return ZrCompareNoCase(a.c_str(), b.c_str()) == 0;
  }

  using Base::Find;
  using Base::RemoveKey;
  V* Find(const ZrChar* key) {
    auto* node = this->FindNode(ZrHashNoCase(key), [&](const ZrString& k) { return ZrCompareNoCase(k.c_str(), key) == 0; });
    return node ? &node->value : nullptr;
  }
  const V* Find(const ZrChar* key) const { return const_cast<ZrStringMap*>(this)->Find(key); }
  bool RemoveKey(const ZrChar* key) {
    return this->RemoveNode(ZrHashNoCase(key), [&](const ZrString& k) { return ZrCompareNoCase(k.c_str(), key) == 0; });
  }
};

// Owns the objects its values point to: removal, replacement and destruction delete them.
template <typename K, typename T, typename Base = ZrMap<K, T*>>
class ZrOwnedPtrMap : public Base {
 public:
  ~ZrOwnedPtrMap() override { this->FreeEverything(); }

 protected:
  void ReplaceValue(T*& slot, T*&& value) override {
    if (slot != value) delete slot;
    slot = value;
  }
  void OnRemoveValue(T*& value) override {
    delete value;
    value = nullptr;
  }
};

template <typename T>
using ZrOwnedPtrStringMap = ZrOwnedPtrMap<ZrString, T, ZrStringMap<T*>>;
