#pragma once
// Helpers for the module boundary: no exception may reach a host built with another compiler, and
// every text a host hands us is tested before it is read.

#include "foundation/ZrNoThrow.h"
#include "foundation/ZrString.h"
#include "foundation/win/ZrWindows.h"

// A zero-terminated wide string from outside the module that can be read to its end.
inline bool ZrIsReadableString(const wchar_t* text) noexcept {
  return text && !IsBadStringPtrW(text, static_cast<UINT_PTR>(-1));
}

// The text of an outside string, empty when it is null or cannot be read.
inline ZrString ZrReadableText(const wchar_t* text) {
  return ZrIsReadableString(text) ? ZrString(ZrU(text)) : ZrString();
}

// A new BSTR with the string's exact length; null only when memory runs out.
inline BSTR ZrToBstr(const ZrString& text) noexcept {
  return SysAllocStringLen(ZrW(text.c_str()), static_cast<UINT>(text.Length()));
}
