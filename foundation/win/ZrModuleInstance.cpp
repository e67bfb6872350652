#include "foundation/win/ZrModuleInstance.h"

#include <atomic>

#include "foundation/ZrString.h"

namespace {
std::atomic<HINSTANCE> g_instance{nullptr};
}

HINSTANCE ZrGetModuleInstance() {
  if (HINSTANCE instance = g_instance.load()) return instance;
  HMODULE module = nullptr;
  // The module that holds this function is the module we are part of, DLL or executable.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ZrGetModuleInstance), &module))
    return nullptr;
  return module;
}

void ZrSetModuleInstance(HINSTANCE instance) { g_instance.store(instance); }

ZrString ZrGetModuleFileName(HMODULE module) {
  // Paths may exceed MAX_PATH; grow until the name fits.
  for (DWORD size = MAX_PATH;; size *= 2) {
    ZrString name;
    ZrChar* buffer = name.GetBuffer(static_cast<int>(size));
    DWORD length = GetModuleFileNameW(module, ZrW(buffer), size);
    if (length == 0) {
      name.ReleaseBuffer(0);
      return name;
    }
    if (length < size) {
      name.ReleaseBuffer(static_cast<int>(length));
      return name;
    }
    name.ReleaseBuffer(0);
    if (size >= 32768) return name;
  }
}
