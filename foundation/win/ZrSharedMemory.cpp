#include "foundation/win/ZrSharedMemory.h"

bool ZrSharedMemory::Open(const ZrString& name, size_t size) {
  Close();
  m_name = name;
  const auto high = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
  const auto low = static_cast<DWORD>(size & 0xFFFFFFFFu);
  ZrMappingHandle mapping(
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, high, low, ZrW(name.c_str())));
  if (!mapping) return false;
  ZrMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size));
  if (!view) return false;
  m_mapping = std::move(mapping);
  m_view = std::move(view);
  m_size = size;
  return true;
}

void ZrSharedMemory::Close() {
  m_view.reset();
  m_mapping.reset();
  m_size = 0;
}
