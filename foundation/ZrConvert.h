#pragma once
// Conversions between numbers and text. Reading never fails: text that does not start with a
// number gives 0, and a missing string gives 0.

#include <cstdint>

#include "foundation/ZrString.h"

// Leading white space, one optional sign, decimal digits; the magnitude saturates at 2147483647
// before the sign is applied.
int32_t ZrToInt(const ZrChar* text);
// The same in 64 bits; the magnitude saturates at 9223372036854775807.
int64_t ZrToInt64(const ZrChar* text);
// Leading blanks and "+" signs skipped, one optional "-", digits with "." or "," as the decimal
// point, an optional exponent introduced by "E" or "e".
double ZrToDouble(const ZrChar* text);
// An optional leading "0x", white space, optional sign, hexadecimal digits; more than 16 digits
// gives all bits set. A "-" negates the result.
uint64_t ZrToPointer(const ZrChar* text);

ZrString ZrIntToText(int64_t value, int radix = 10);
// Up to 16 decimals, rounded; trailing zeros dropped; no decimal part for whole values; "?" for a
// value that is not finite.
ZrString ZrDoubleToText(double value);
// One decimal, "%.1f", with the current locale's decimal separator.
ZrString ZrDoubleToText1(double value);
// Hexadecimal with at least 16 digits, the formatter's p conversion.
ZrString ZrPointerToText(uint64_t value);

bool ZrIsSpace(ZrChar c);
bool ZrIsDigit(ZrChar c);
