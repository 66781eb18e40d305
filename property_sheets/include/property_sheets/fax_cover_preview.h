// The font family the cover-sheet preview draws a face in.
#pragma once

#include "win/fonts.h"
#include "win/types.h"

// The last family of `face` that font enumeration on `dc` reports, device
// fonts left out; unless `any_charset`, only families in the ANSI character
// set count (outside the 1041 user interface the preview keeps to them).
// When none qualifies, `*found` is false and the face name alone is given,
// in the ANSI character set (DEFAULT_CHARSET with `any_charset`), for the
// font mapper to match.
LOGFONTW CoverPreviewFamily(HDC dc, LPCWSTR face, bool any_charset, bool* found = nullptr);
