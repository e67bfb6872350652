#include "foundation/win/ZrLoadLibrary.h"

#include <cerrno>
#include <cstdio>

bool ZrLoadLibrary(ZrModuleHandle* handle, const ZrChar* fileName) {
  handle->reset();
  if (!fileName || !*fileName) return false;
  handle->reset(LoadLibraryExW(ZrW(fileName), nullptr, 0));
  if (!*handle) {
    std::string narrow = ZrString(fileName).ToUtf8();
    std::printf("\n\nERROR in ZrLoadLibrary: errno=%d, file=%s\n\n", errno, narrow.c_str());
    std::fflush(stdout);
  }
  return handle->valid();
}
