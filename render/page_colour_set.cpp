#include "render/page_colour_set.h"

#include <cstring>

namespace morva::render {

namespace {

constexpr DWORD kWhite = 0xFFFFFF;

DWORD palette_colour(const BYTE* palette, DWORD index, BOOL colour) {
  if (!palette) return 0;
  if (colour) {
    const BYTE* p = palette + 3 * index;
    return static_cast<DWORD>(p[0]) << 16 | static_cast<DWORD>(p[1]) << 8 | p[2];
  }
  return palette[index] * 0x010101u;
}

}  // namespace

INT PageColourSet_Init(PageColourSet* set, DWORD enabled, DWORD capacity, DWORD mode) {
  if (!set || capacity > kPageColourSetMaxCapacity) return -1;
  set->enabled = enabled;
  set->count = 0;
  set->capacity = static_cast<WORD>(capacity);
  set->mode = mode;
  for (DWORD& c : set->colours) c = kWhite;
  return 0;
}

void PageColourSet_Disable(PageColourSet* set) {
  if (set) set->enabled = 0;
}

INT PageColourSet_Add(PageColourSet* set, DWORD rgb) {
  if (!set || set->mode > 2) return -1;
  if (!set->enabled) return 0;
  rgb &= kWhite;
  if (set->mode != 1 && rgb == kWhite) return 0;
  if (set->mode == 2 && (rgb >> 16) == ((rgb >> 8) & 0xFF) && (rgb & 0xFF) == ((rgb >> 8) & 0xFF)) rgb = 0;
  if (set->count > set->capacity) return 0;
  for (WORD i = 1; i <= set->count; ++i)
    if (set->colours[i] == rgb) return 0;
  ++set->count;
  if (set->count > set->capacity) set->enabled = 0;
  else set->colours[set->count] = rgb;
  return 0;
}

INT PageColourSet_AddList(PageColourSet* set, const PageColourSet* other) {
  if (!set || !other) return -1;
  INT r = 0;
  for (WORD i = 1; i <= other->count && i < 16 && set->enabled; ++i) r |= PageColourSet_Add(set, other->colours[i]);
  return r;
}

INT PageColourSet_AddRows(PageColourSet* set, const BYTE* rows, DWORD width, DWORD height, DWORD bits,
                          BOOL colour, const BYTE* palette) {
  if (!set || (bits != 1 && bits != 4 && bits != 8 && bits != 24)) return -1;
  DWORD stride = bits == 1 ? (width + 7) / 8 : bits == 4 ? (width + 1) / 2 : bits == 8 ? width
                 : colour ? 3 * width : width;
  INT r = 0;
  for (DWORD y = 0; y < height && set->enabled; ++y, rows += stride) {
    if (bits == 1) {
      bool seen[2] = {false, false};
      for (DWORD x = 0; x < width && set->enabled && !(seen[0] && seen[1]); ++x) {
        DWORD i = (rows[x / 8] >> (7 - x % 8)) & 1;
        if (!seen[i]) r |= PageColourSet_Add(set, palette_colour(palette, i, colour));
        seen[i] = true;
      }
    } else if (bits == 4) {
      for (DWORD x = 0; x < width && set->enabled; ++x)
        r |= PageColourSet_Add(set, palette_colour(palette, (rows[x / 2] >> (x % 2 ? 0 : 4)) & 0xF, colour));
    } else if (bits == 8) {
      for (DWORD x = 0; x < width && set->enabled; ++x) r |= PageColourSet_Add(set, palette_colour(palette, rows[x], colour));
    } else {
      for (DWORD x = 0; x < width && set->enabled; ++x) {
        DWORD c = colour ? static_cast<DWORD>(rows[3 * x]) << 16 | static_cast<DWORD>(rows[3 * x + 1]) << 8 | rows[3 * x + 2]
                         : rows[x] * 0x010101u;
        r |= PageColourSet_Add(set, c);
      }
    }
  }
  return r;
}

INT PageColourSet_GetColourMode(const PageColourSet* set, BYTE mode, BYTE* out) {
  if (!out) return -1;
  *out = mode;
  if (set && set->enabled && mode == 2) *out = static_cast<BYTE>(set->count * 16 + 2);
  return 0;
}

}  // namespace morva::render
