#pragma once
// One move-only owner for every kind of Windows handle, parameterised by how the kind is closed and
// which value means "no handle" (null for events and threads, INVALID_HANDLE_VALUE for files, COM
// ports and pipes). Resetting keeps the caller's GetLastError, so a failure path can close what it
// opened and still report why it failed.

#include <cstdint>
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

  // For a function that hands out a new handle through a pointer; the one held before is closed.
  Type* put() {
    reset();
    return &m_value;
  }

  // For a function that may replace the handle it is given (freeing the old one itself).
  Type* addressof() { return &m_value; }

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

struct ZrRegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  // The predefined root keys are never ours to close.
  static void Close(Type key) {
    if (reinterpret_cast<uintptr_t>(key) < reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT)) RegCloseKey(key);
  }
};

struct ZrMappedViewTraits {
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static void Close(Type view) { UnmapViewOfFile(view); }
};

// A window together with the class registered for it alone: the window goes first, because a class
// cannot be unregistered while a window of it exists.
struct ZrClassWindow {
  HWND window = nullptr;
  ATOM windowClass = 0;
  HINSTANCE instance = nullptr;
  bool operator==(const ZrClassWindow&) const = default;
};

struct ZrClassWindowTraits {
  using Type = ZrClassWindow;
  static Type Invalid() { return {}; }
  static void Close(const Type& owned) {
    if (owned.window) DestroyWindow(owned.window);
    if (owned.windowClass) UnregisterClassW(MAKEINTATOM(owned.windowClass), owned.instance);
  }
};

using ZrEventHandle = ZrUniqueHandle<ZrNullHandleTraits>;
using ZrThreadHandle = ZrUniqueHandle<ZrNullHandleTraits>;
using ZrMappingHandle = ZrUniqueHandle<ZrNullHandleTraits>;
using ZrFileHandle = ZrUniqueHandle<ZrFileHandleTraits>;
using ZrModuleHandle = ZrUniqueHandle<ZrModuleTraits>;
using ZrBstr = ZrUniqueHandle<ZrBstrTraits>;
using ZrRegistryKey = ZrUniqueHandle<ZrRegistryKeyTraits>;
using ZrMappedView = ZrUniqueHandle<ZrMappedViewTraits>;
using ZrWindowWithClass = ZrUniqueHandle<ZrClassWindowTraits>;
