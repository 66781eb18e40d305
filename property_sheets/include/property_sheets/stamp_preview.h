// The stamp preview: a small page with the stamp text drawn as it will be
// printed (font, size, angle, colour, frame, repetition).
#pragma once

#include "win/gdi.h"
#include "win/types.h"

// The page pictures of the resource module and where the page lies in the
// control.
inline constexpr WORD kStampPagePortraitBitmap = 530;
inline constexpr WORD kStampPageLandscapeBitmap = 529;
inline constexpr INT kStampPreviewSize = 165;
inline constexpr INT kStampPageShort = 106;
inline constexpr INT kStampPageLong = 151;
inline constexpr INT kStampPageMargin = 40;
inline constexpr INT kStampPageEdge = 7;

// The preview's 16 colours: 0-6 the built-in stamp colours, 7 `colour`,
// 8-15 the light shades of 0-7 ((c >> 1) | 0x80 per channel); all grey
// ((red + blue) x 85 + green x 86) >> 8 when `monochrome`.
void BuildStampPalette(COLORREF colour, BOOL monochrome, PALETTEENTRY out[16]);

// The stamp font's pixel height on the preview for `points` at printer
// resolution `dpi`: the page is 106 pixels for 7.95 inches of short side;
// never below 4. The resolution cancels out of the scale, so one that is
// not positive (a printer that does not say it) is taken as 600.
INT StampPreviewFontHeight(LONG points, LONG dpi);

// Paints the preview from the settings into `dc` at the client rectangle
// (the page picture and the stamp over it, in the face of the stamp's
// font): 0 painted (no stamp name or an empty text shows the page only); 1 bad arguments; 3 a setting cannot be read
// or has the wrong type; 5 the page picture is missing; 6 a GDI failure.
INT DrawStampPreview(HMODULE module, HDC dc, const RECT* client, void* devmode, void* printer_data, BOOL monochrome);
