#pragma once
// The typed argument array of the formatter and of the tools library's logger. Its layout crosses
// module boundaries: a 32-bit type, padding, then an 8-byte value.

#include <cstdint>

enum ZrFormatArgType : int32_t {
  kZrArgNarrow = 1,  // const char*, UTF-8
  kZrArgWide = 2,    // const char16_t* (wchar_t* on Windows); null prints "(null)"
  kZrArgString = 3,  // const ZrString*
  kZrArgInt64 = 4,   // int64_t
  kZrArgDouble = 5,  // double
};

class ZrString;

struct ZrFormatArg {
  int32_t type;
  int32_t reserved;
  union {
    const char* narrow;
    const char16_t* wide;
    const ZrString* string;
    int64_t integer;
    double real;
  };

  ZrFormatArg() : type(kZrArgInt64), reserved(0), integer(0) {}
  ZrFormatArg(const char* v) : type(kZrArgNarrow), reserved(0), narrow(v) {}
  ZrFormatArg(const char16_t* v) : type(kZrArgWide), reserved(0), wide(v) {}
#ifdef _WIN32
  ZrFormatArg(const wchar_t* v) : type(kZrArgWide), reserved(0), wide(reinterpret_cast<const char16_t*>(v)) {}
#endif
  ZrFormatArg(const ZrString& v) : type(kZrArgString), reserved(0), string(&v) {}
  ZrFormatArg(int v) : type(kZrArgInt64), reserved(0), integer(v) {}
  ZrFormatArg(unsigned v) : type(kZrArgInt64), reserved(0), integer(v) {}
  ZrFormatArg(long v) : type(kZrArgInt64), reserved(0), integer(v) {}
  ZrFormatArg(unsigned long v) : type(kZrArgInt64), reserved(0), integer(static_cast<int64_t>(v)) {}
  ZrFormatArg(long long v) : type(kZrArgInt64), reserved(0), integer(v) {}
  ZrFormatArg(unsigned long long v) : type(kZrArgInt64), reserved(0), integer(static_cast<int64_t>(v)) {}
  ZrFormatArg(const void* v) : type(kZrArgInt64), reserved(0), integer(static_cast<int64_t>(reinterpret_cast<uintptr_t>(v))) {}
  ZrFormatArg(double v) : type(kZrArgDouble), reserved(0), real(v) {}
};
static_assert(sizeof(ZrFormatArg) == 16);
