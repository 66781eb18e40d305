// Fixed values of the stamp (watermark) settings: the font a new stamp
// starts with and the seven colours a stamp can be given by number.
#pragma once

#include "win/gdi_types.h"
#include "win/types.h"

// The font of a new stamp (height in points), from the resource module's
// texts; a missing number reads as 0 and a missing face name is
// "Undefined". TRUE, FALSE only for a null argument.
BOOL DefaultStampFont(LOGFONTW* font);

// The stamp colours (COLORREF) by key 1-7, or with `index` 0-6 directly.
// With index -1 the key is looked up among 1-8 and its position taken.
// 1 with the colour; 0 for key 8 (the user's own colour, kept elsewhere),
// an unknown key, another index or a null `out`.
INT LookupKeyedConstant(INT key, DWORD* out, INT index);
