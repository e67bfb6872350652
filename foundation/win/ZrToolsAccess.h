#pragma once
// Where the module's code reaches the tools library. Every accessor answers null while the library
// is not loaded, and every caller skips its call then.

#include <initializer_list>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrToolsInterface.h"

IZrTools* ZrGetTools();
// Installed by the library loader of the plug-in frame, or by a test that stands in for the library.
void ZrSetTools(IZrTools* tools);

IZrLogger* ZrGetLogger();
IZrMainThreadMessageManager* ZrGetMainThreadMessageManager();
IZrMessageDispatcher* ZrGetMessageDispatcher();
// The text utilities (find, compare) of the library.
IZrTextUtils* ZrGetTextUtils();

// Writes one log line when a logger exists.
void ZrLog(int level, const char* scope, const char16_t* format, std::initializer_list<ZrFormatArg> args = {});
// Translates in place when a translator exists.
void ZrTranslate(ZrString& text);

// A key of the host's registry area, closed through the library that opened it.
struct ZrHostRegistryKeyTraits {
  using Type = IZrHostRegistryKey*;
  static Type Invalid() { return nullptr; }
  static void Close(Type key) { key->Close(); }
};
using ZrHostRegistryKeyHandle = ZrUniqueHandle<ZrHostRegistryKeyTraits>;

// Opens a key of the host's registry area; empty while the library is not loaded.
ZrHostRegistryKeyHandle ZrOpenHostRegistryKey(const ZrString& path, int flags);
