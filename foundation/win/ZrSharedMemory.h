#pragma once
// A named file mapping backed by the paging file, mapped whole for reading and writing.

#include <cstddef>
#include <cstdint>

#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"

class ZrSharedMemory {
 public:
  ZrSharedMemory() = default;
  ~ZrSharedMemory() = default;
  ZrSharedMemory(const ZrSharedMemory&) = delete;
  ZrSharedMemory& operator=(const ZrSharedMemory&) = delete;

  // Creates the mapping or opens the existing one of that name. Answers whether a view exists;
  // without a view nothing stays open.
  bool Open(const ZrString& name, size_t size);
  void Close();

  uint8_t* View() const { return static_cast<uint8_t*>(m_view.get()); }
  size_t Size() const { return m_view ? m_size : 0; }
  const ZrString& Name() const { return m_name; }

 private:
  ZrString m_name;
  // Declared before the view, so that the view is unmapped first.
  ZrMappingHandle m_mapping;
  ZrMappedView m_view;
  size_t m_size = 0;
};
