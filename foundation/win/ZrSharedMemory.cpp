#include "foundation/win/ZrSharedMemory.h"

bool ZrSharedMemory::Open(const ZrString& name, size_t size) {
  Close();
  m_name = name;
  const auto high = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
  const auto low = static_cast<DWORD>(size & 0xFFFFFFFFu);
  m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, high, low, ZrW(name.c_str()));
  if (!m_mapping) return false;
  m_view = static_cast<uint8_t*>(MapViewOfFile(m_mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size));
  if (!m_view) {
    CloseHandle(m_mapping);
    m_mapping = nullptr;
    return false;
  }
  m_size = size;
  return true;
}

void ZrSharedMemory::Close() {
  if (m_view) UnmapViewOfFile(m_view);
  if (m_mapping) CloseHandle(m_mapping);
  m_view = nullptr;
  m_mapping = nullptr;
  m_size = 0;
}
