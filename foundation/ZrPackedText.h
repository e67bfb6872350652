#pragma once
// Packed text fields: "(" + decimal character count + ":" + the characters + ")". The count says
// where a field ends, so the characters are copied as they are, without escaping. Property maps
// travel between processes in this form, and so do string arrays such as the "Active Codes" value.

#include "foundation/ZrString.h"

// Appends one field to target, reserving its capacity in steps of whole 1024-character blocks.
void ZrAppendPackedField(ZrString& target, const ZrString& text);
void ZrAppendPackedField(ZrString& target, const ZrChar* text, int length);

// Reads the field at position. On success the characters are in out and position is past the ")".
// On any mismatch out is empty, false is returned and position stays where the scan stopped.
bool ZrReadPackedField(const ZrString& source, int& position, ZrString& out);

// Reads a field holding a decimal count; an empty or unreadable field counts 0.
int ZrReadPackedCount(const ZrString& source, int& position);
