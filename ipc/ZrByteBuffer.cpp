#include "ipc/ZrByteBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

ZrByteBuffer::~ZrByteBuffer() { std::free(m_data); }

ZrByteBuffer::ZrByteBuffer(ZrByteBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

ZrByteBuffer& ZrByteBuffer::operator=(ZrByteBuffer&& other) noexcept {
  if (this != &other) {
    std::free(m_data);
    m_data = std::exchange(other.m_data, nullptr);
    m_size = std::exchange(other.m_size, 0);
    m_capacity = std::exchange(other.m_capacity, 0);
  }
  return *this;
}

bool ZrByteBuffer::Grow(int64_t count, bool zeroFill, int64_t step, bool advanceSize) {
  count = std::max<int64_t>(count, 0);
  step = std::max<int64_t>(step, 0);
  // Sizes come from other processes: a sum that overflows is a request that cannot be met.
  if (count > PTRDIFF_MAX - m_size) return false;
  const int64_t needed = m_size + count;
  if (needed > m_capacity) {
    const int64_t stepped = step > PTRDIFF_MAX - m_capacity ? PTRDIFF_MAX : m_capacity + step;
    const int64_t capacity = std::max(stepped, needed);
    auto* data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(capacity)));
    if (!data) return false;
    if (m_size) std::memcpy(data, m_data, static_cast<size_t>(m_size));
    std::free(m_data);
    m_data = data;
    m_capacity = capacity;
  }
  if (zeroFill && count) std::memset(m_data + m_size, 0, static_cast<size_t>(count));
  if (advanceSize) m_size = needed;
  return true;
}

bool ZrByteBuffer::Append(const void* bytes, int64_t count, int64_t step) {
  if (!bytes || count <= 0) return count <= 0;
  const int64_t at = m_size;
  if (!Grow(count, false, step, true)) return false;
  std::memcpy(m_data + at, bytes, static_cast<size_t>(count));
  return true;
}

bool ZrByteBuffer::SetSize(int64_t size) {
  if (size < 0 || size > m_capacity) return false;
  m_size = size;
  return true;
}

void ZrByteBuffer::Empty() {
  std::free(m_data);
  m_data = nullptr;
  m_size = 0;
  m_capacity = 0;
}

bool ZrByteBuffer::CopyFrom(const ZrByteBuffer& source) {
  if (!source.m_data || source.m_size <= 0) {
    m_size = 0;
    return false;
  }
  if (&source == this) return true;
  if (source.m_size > m_size) {
    if (!Grow(source.m_size - m_size, false, 0, true)) return false;
  } else {
    m_size = source.m_size;
  }
  std::memcpy(m_data, source.m_data, static_cast<size_t>(m_size));
  return true;
}
