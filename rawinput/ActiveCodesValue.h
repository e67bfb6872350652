#pragma once
// The value of the "Active Codes" setting: packed text fields (see ZrPackedText.h) holding the
// format number 1, the number of bindings, then one binding's XML text per field.

#include "foundation/ZrArray.h"
#include "foundation/ZrString.h"

inline constexpr int kActiveCodesFormat = 1;

// The binding texts of a value. Another format number gives none. A field that cannot be read is
// taken as an empty text, but reading ends where the value ends: a count larger than the value
// holds never makes this allocate or loop beyond the fields that are there.
ZrStringArray ReadActiveCodesValue(const ZrString& value);

// The value that carries these binding texts.
ZrString MakeActiveCodesValue(const ZrStringArray& bindings);
