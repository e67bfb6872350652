#include "foundation/win/ZrLoadLibrary.h"

#include <cerrno>
#include <cstdio>

bool ZrLoadLibrary(HMODULE* handle, const ZrChar* fileName) {
  if (*handle) {
    FreeLibrary(*handle);
    *handle = nullptr;
  }
  if (!fileName || !*fileName) return false;
  *handle = LoadLibraryExW(ZrW(fileName), nullptr, 0);
  if (!*handle) {
    std::string narrow = ZrString(fileName).ToUtf8();
    std::printf("\n\nERROR in ZrLoadLibrary: errno=%d, file=%s\n\n", errno, narrow.c_str());
    std::fflush(stdout);
  }
  return *handle != nullptr;
}
