#pragma once
// Escaping of text written into XML and decoding of text read from it.

#include "foundation/ZrString.h"

// Replaces the five named entities (case-sensitive) and decimal or hexadecimal character
// references whose ";" follows within 7 characters of "&#". A reference to 0, an unterminated one
// and every other "&" stay as they are. References above U+FFFF give a surrogate pair; references
// beyond U+10FFFF stay as they are.
ZrString DecodeXmlText(const ZrChar* text, int length);

// "&", "<" and ">" become entities; in attribute values the two quotes as well. Control characters
// below U+0020 other than tab, line feed and carriage return become "?", except U+0001, which
// becomes "&#x1;"; so do U+FFFE and U+FFFF, which XML does not allow either. Text that needs none
// of this is returned shared.
ZrString EscapeXmlText(const ZrString& text, bool attribute);
