// The distinct colours a page uses, counted up to a small limit: image,
// text and vector colours are added while the page is drawn; once more
// colours appear than the limit allows the set switches itself off and the
// page is simply a colour page.
#pragma once

#include "win/types.h"

namespace morva::render {

// Colours are 0x00RRGGBB.
struct PageColourSet {
  DWORD enabled;   // 1 while collecting
  WORD count;      // distinct colours added
  WORD capacity;   // at most 15
  DWORD mode;      // 0 white not counted, 1 all counted, 2 white skipped and greys as black
  DWORD colours[16];  // slots 1..capacity in order of arrival; 0xFFFFFF when empty
};
static_assert(sizeof(PageColourSet) == 76);

inline constexpr WORD kPageColourSetMaxCapacity = 15;

// -1 (nothing changed) for a capacity above 15, else 0.
INT PageColourSet_Init(PageColourSet* set, DWORD enabled, DWORD capacity, DWORD mode);
void PageColourSet_Disable(PageColourSet* set);
// -1 without a set or with a mode other than 0, 1, 2.
INT PageColourSet_Add(PageColourSet* set, DWORD rgb);
// Adds the colours of another set one after the other while this one
// collects; -1 without either set.
INT PageColourSet_AddList(PageColourSet* set, const PageColourSet* other);
// Rows of 1, 4, 8 (palette indices) or 24 bits per pixel (RGB with the
// colour flag, else grey bytes); a palette entry is 3 bytes (R, G, B) with
// the colour flag, else one grey byte. -1 for other depths.
INT PageColourSet_AddRows(PageColourSet* set, const BYTE* rows, DWORD width, DWORD height, DWORD bits,
                          BOOL colour, const BYTE* palette);
// A colour mode byte 2 becomes count x 16 + 2 while the set collects.
INT PageColourSet_GetColourMode(const PageColourSet* set, BYTE mode, BYTE* out);

}  // namespace morva::render
