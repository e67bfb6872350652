#pragma once
// Arrays of the library: a count, a capacity, an optional grow-by step and one element buffer.
// Growth follows fixed steps (see ZrArrayGrowCapacity) so that memory use is predictable.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/ZrString.h"

// New capacity for an append that needs room for newCount elements.
inline int ZrArrayGrowCapacity(int oldCount, int newCount, int growBy) {
  if (growBy > 0) return (newCount / growBy + 1) * growBy;
  if (newCount < 5) return 4;
  for (int step : {64, 256, 1024, 4096, 16384, 65536})
    if (newCount <= step) return step;
  return std::max(oldCount + 65537, newCount);
}

template <typename T>
class ZrArray {
 public:
  ZrArray() = default;
  explicit ZrArray(int growBy) : m_growBy(growBy) {}
  ZrArray(const ZrArray& other) : m_growBy(other.m_growBy) { Append(other); }
  ZrArray(ZrArray&& other) noexcept { Swap(other); }
  ZrArray& operator=(const ZrArray& other) {
    if (this != &other) {
      RemoveAll();
      Append(other);
    }
    return *this;
  }
  ZrArray& operator=(ZrArray&& other) noexcept {
    if (this != &other) {
      RemoveAll();
      Swap(other);
    }
    return *this;
  }
  virtual ~ZrArray() { FreeAll(); }

  int GetCount() const { return m_count; }
  int GetCapacity() const { return m_capacity; }
  bool IsEmpty() const { return m_count == 0; }
  void SetGrowBy(int growBy) { m_growBy = growBy; }

  T& operator[](int index) { return m_data[index]; }
  const T& operator[](int index) const { return m_data[index]; }
  T* GetData() { return m_data; }
  const T* GetData() const { return m_data; }
  T* begin() { return m_data; }
  T* end() { return m_data + m_count; }
  const T* begin() const { return m_data; }
  const T* end() const { return m_data + m_count; }

  int Add(const T& value) {
    if (m_count == m_capacity) {
      // value may be one of our own elements, which Grow would move away.
      T copy(value);
      Grow(m_count + 1);
      new (m_data + m_count) T(std::move(copy));
    } else {
      new (m_data + m_count) T(value);
    }
    return m_count++;
  }
  int Add(T&& value) {
    if (m_count == m_capacity) {
      T moved(std::move(value));
      Grow(m_count + 1);
      new (m_data + m_count) T(std::move(moved));
    } else {
      new (m_data + m_count) T(std::move(value));
    }
    return m_count++;
  }
  void Append(const ZrArray& other) {
    for (int i = 0; i < other.m_count; ++i) Add(other.m_data[i]);
  }

  void InsertAt(int index, const T& value) {
    index = std::clamp(index, 0, m_count);
    T copy(value);
    if (m_count == m_capacity) Grow(m_count + 1);
    new (m_data + m_count) T();
    for (int i = m_count; i > index; --i) m_data[i] = std::move(m_data[i - 1]);
    m_data[index] = std::move(copy);
    ++m_count;
  }

  virtual void RemoveAt(int index, int count = 1) {
    if (index < 0 || count <= 0 || index >= m_count) return;
    count = std::min(count, m_count - index);
    for (int i = index; i + count < m_count; ++i) m_data[i] = std::move(m_data[i + count]);
    for (int i = m_count - count; i < m_count; ++i) m_data[i].~T();
    m_count -= count;
  }

  virtual void RemoveAll() { FreeAll(); }

  // Ensures room for at least `capacity` elements without changing the count.
  void Reserve(int capacity) {
    if (capacity > m_capacity) Reallocate(capacity);
  }

  int Find(const T& value) const {
    for (int i = 0; i < m_count; ++i)
      if (m_data[i] == value) return i;
    return -1;
  }

  void Swap(ZrArray& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_count, other.m_count);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_growBy, other.m_growBy);
  }

 protected:
  void Grow(int newCount) { Reallocate(ZrArrayGrowCapacity(m_count, newCount, m_growBy)); }

  void Reallocate(int capacity) {
    T* fresh = static_cast<T*>(::operator new(sizeof(T) * static_cast<size_t>(capacity)));
    for (int i = 0; i < m_count; ++i) {
      new (fresh + i) T(std::move(m_data[i]));
      m_data[i].~T();
    }
    ::operator delete(m_data);
    m_data = fresh;
    m_capacity = capacity;
  }

  void FreeAll() {
    for (int i = 0; i < m_count; ++i) m_data[i].~T();
    ::operator delete(m_data);
    m_data = nullptr;
    m_count = 0;
    m_capacity = 0;
  }

  T* m_data = nullptr;
  int m_count = 0;
  int m_capacity = 0;
  int m_growBy = 0;
};

// Arrays of plain values and of pointers keep the same rules; the names say what they hold.
template <typename T>
using ZrCoreArray = ZrArray<T>;
template <typename T>
using ZrNumberArray = ZrArray<T>;
using ZrPointerArray = ZrArray<void*>;

// Owns the objects it points to: removing an element or destroying the array deletes them.
template <typename T>
class ZrOwnedPtrArray : public ZrArray<T*> {
  using Base = ZrArray<T*>;

 public:
  ZrOwnedPtrArray() = default;
  ZrOwnedPtrArray(const ZrOwnedPtrArray&) = delete;
  ZrOwnedPtrArray& operator=(const ZrOwnedPtrArray&) = delete;
  ~ZrOwnedPtrArray() override { DeleteAll(); }

  void RemoveAt(int index, int count = 1) override {
    if (index < 0 || count <= 0 || index >= this->m_count) return;
    count = std::min(count, this->m_count - index);
    for (int i = index; i < index + count; ++i) delete this->m_data[i];
    Base::RemoveAt(index, count);
  }
  void RemoveAll() override {
    DeleteAll();
    Base::RemoveAll();
  }
  // Takes the element out without deleting it; the caller owns it.
  T* Detach(int index) {
    if (index < 0 || index >= this->m_count) return nullptr;
    T* item = this->m_data[index];
    Base::RemoveAt(index, 1);
    return item;
  }

 private:
  void DeleteAll() {
    for (int i = 0; i < this->m_count; ++i) delete this->m_data[i];
    this->m_count = 0;
  }
};

using ZrStringArray = ZrArray<ZrString>;

// Comparison object of ZrStringArraySort: answers <0, 0 or >0.
struct ZrStringCompare {
  virtual int Compare(const ZrString& a, const ZrString& b) const { return a.Compare(b); }
  virtual ~ZrStringCompare() = default;
};
struct ZrStringCompareNoCase : ZrStringCompare {
  int Compare(const ZrString& a, const ZrString& b) const override { return a.CompareNoCase(b); }
};

template <typename T, typename Less>
void ZrQSort(T* data, int count, Less less) {
  std::sort(data, data + count, less);
}

inline void ZrStringArraySort(ZrStringArray& array, const ZrStringCompare& compare = ZrStringCompare()) {
  ZrQSort(array.GetData(), array.GetCount(),
          [&](const ZrString& a, const ZrString& b) { return compare.Compare(a, b) < 0; });
}

// Strings without duplicates, compared case-insensitively; the first spelling is kept.
class ZrStringUniqueList : public ZrStringArray {
 public:
  // Answers false when an equal string is already present.
  bool AddUnique(const ZrString& text) {
    if (Contains(text)) return false;
    Add(text);
    return true;
  }
  bool Contains(const ZrChar* text) const {
    for (const ZrString& s : *this)
      if (s.EqualsNoCase(text)) return true;
    return false;
  }
};
