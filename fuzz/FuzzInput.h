#pragma once
// Turning fuzzer bytes into text and checking invariants.
//
// Bytes stand for the characters of their own value, so that mutations of ASCII markup stay
// markup; the byte 0xFF takes the next two bytes as one raw UTF-16 unit (any unit at all, lone
// surrogates included).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/ZrPropertyMap.h"
#include "foundation/ZrString.h"

inline ZrString FuzzText(const uint8_t* data, size_t size) {
  std::u16string text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      text.push_back(static_cast<ZrChar>(data[i + 1] | (data[i + 2] << 8)));
      i += 2;
    } else {
      text.push_back(data[i]);
    }
  }
  return ZrString::FromUnits(text.data(), text.size());
}

// A failed invariant is a finding: abort so that the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

// The characters the XML form writes as "?": control characters but tab, line feed, carriage
// return and U+0001 (written as a reference), and the two non-characters U+FFFE and U+FFFF.
inline bool ReplacedInXml(ZrChar c) {
  return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != 1) || c == 0xFFFE || c == 0xFFFF;
}
