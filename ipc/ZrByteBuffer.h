#pragma once
// Growable byte buffer in which the messaging code holds pipe data.

#include <cstdint>

class ZrByteBuffer {
 public:
  ZrByteBuffer() = default;
  ~ZrByteBuffer();
  ZrByteBuffer(const ZrByteBuffer&) = delete;
  ZrByteBuffer& operator=(const ZrByteBuffer&) = delete;
  ZrByteBuffer(ZrByteBuffer&& other) noexcept;
  ZrByteBuffer& operator=(ZrByteBuffer&& other) noexcept;

  uint8_t* Data() { return m_data; }
  const uint8_t* Data() const { return m_data; }
  int64_t Size() const { return m_size; }
  int64_t Capacity() const { return m_capacity; }

  // Makes room for count more bytes (below 0 counts as 0) after the used ones. When they do not
  // fit, a new block of max(capacity + step, size + count) bytes replaces the old one. zeroFill
  // clears the new bytes; advanceSize counts them as used, else they are only reserved. False when
  // the memory cannot be had; the buffer is then unchanged.
  bool Grow(int64_t count, bool zeroFill, int64_t step, bool advanceSize);
  // Grow and copy count bytes into the new room.
  bool Append(const void* bytes, int64_t count, int64_t step = 0);
  // Lowers the size, or raises it within the capacity (the bytes there are as they were).
  bool SetSize(int64_t size);
  // Frees the storage; size and capacity become 0.
  void Empty();
  // Makes this buffer hold the source's used bytes. A source without data or with size 0 leaves
  // this buffer with size 0 and reports failure.
  bool CopyFrom(const ZrByteBuffer& source);

 private:
  uint8_t* m_data = nullptr;
  int64_t m_size = 0;
  int64_t m_capacity = 0;
};
