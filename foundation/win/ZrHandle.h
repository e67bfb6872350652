#pragma once
// One move-only owner for every kind of Windows handle, parameterised by how the kind is closed and
// which value means "no handle" (null for events and threads, INVALID_HANDLE_VALUE for files, COM
// ports and pipes). Resetting keeps the caller's GetLastError, so a failure path can close what it
// opened and still report why it failed.

#include <utility>

#include "foundation/win/ZrWindows.h"

template <typename Traits>
class ZrUniqueHandle {
 public:
  using Type = typename Traits::Type;

  ZrUniqueHandle() = default;
  explicit ZrUniqueHandle(Type value) : m_value(value) {}
  ZrUniqueHandle(const ZrUniqueHandle&) = delete;
  ZrUniqueHandle& operator=(const ZrUniqueHandle&) = delete;
  ZrUniqueHandle(ZrUniqueHandle&& other) noexcept : m_value(other.release()) {}
  ZrUniqueHandle& operator=(ZrUniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~ZrUniqueHandle() { reset(); }

  Type get() const { return m_value; }
  bool valid() const { return m_value != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  [[nodiscard]] Type release() { return std::exchange(m_value, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) {
    if (m_value != Traits::Invalid()) {
      const DWORD error = GetLastError();
      Traits::Close(m_value);
      SetLastError(error);
    }
    m_value = value;
  }

 private:
  Type m_value = Traits::Invalid();
};

struct ZrNullHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};

struct ZrFileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

struct ZrModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};

struct ZrBstrTraits {
  using Type = BSTR;
  static Type Invalid() { return nullptr; }
  static void Close(Type s) { SysFreeString(s); }
};

using ZrEventHandle = ZrUniqueHandle<ZrNullHandleTraits>;
using ZrThreadHandle = ZrUniqueHandle<ZrNullHandleTraits>;
using ZrFileHandle = ZrUniqueHandle<ZrFileHandleTraits>;
using ZrModuleHandle = ZrUniqueHandle<ZrModuleTraits>;
using ZrBstr = ZrUniqueHandle<ZrBstrTraits>;
