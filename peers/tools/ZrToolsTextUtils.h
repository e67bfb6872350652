#pragma once
// The tools library's text utilities: searching and ordering the texts the module shows or matches.

#include "foundation/win/ZrToolsInterface.h"

class ZrToolsTextUtils final : public IZrTextUtils {
 public:
  // Bit 2 of the options (as in the value 3 the module passes) ignores letter case. Answers the
  // position of the first match, 0 for an empty pattern, -1 when there is none or a text is null.
  int Find(const wchar_t* text, const wchar_t* pattern, int options) override;
  // Case-insensitive order; texts equal but for case are ordered case-sensitively, so the order is
  // total. A null text sorts first.
  int Compare(const wchar_t* a, const wchar_t* b) override;

  static constexpr int kIgnoreCase = 2;
};
