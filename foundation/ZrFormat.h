#pragma once
// printf-style formatting over a typed argument array, the same array the tools library's logger
// takes. Conversions: % s S d i u x X h p c f, with flags, width and precision; I and l length
// prefixes are accepted and ignored.

#include <initializer_list>

#include "foundation/ZrFormatArgs.h"
#include "foundation/ZrString.h"

ZrString ZrFormat(const ZrChar* pattern, const ZrFormatArg* args, int count);
// A narrow pattern is decoded as UTF-8 first.
ZrString ZrFormatA(const char* pattern, const ZrFormatArg* args, int count);

inline ZrString ZrFormatV(const ZrChar* pattern, std::initializer_list<ZrFormatArg> args) {
  return ZrFormat(pattern, args.begin(), static_cast<int>(args.size()));
}
