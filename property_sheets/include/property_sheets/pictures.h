// Pictures of the property sheets: lists of positioned bitmaps, loading
// bitmaps with their palettes, and painting a list opaque or with the
// transparent key colour.
#pragma once

#include "win/gdi.h"
#include "win/types.h"

// One bitmap at (x, y); a list ends with an entry whose bitmap is null.
struct PreviewImage {
  HBITMAP bitmap;
  INT x;
  INT y;
};

// Pixels of this colour let the background show through a transparent
// picture.
inline constexpr COLORREF kPictureKeyColour = RGB(255, 0, 255);
// Background colour value asking for the pattern of bitmap 374.
inline constexpr COLORREF kPicturePatternColour = 0x808000;
inline constexpr WORD kPicturePatternBitmap = 374;

// Deletes every bitmap of the list and frees it: 0, 1 for a null list.
INT FreePreviewImages(PreviewImage* list);
// A new list of `count` entries and the closing one, all null; null when
// out of memory.
PreviewImage* AllocPreviewImages(UINT count);

// The palette of a DIB's colour table (biClrUsed entries, or 2^biBitCount
// when 0; none for DIBs above 8 bits), or null.
HPALETTE CreateDibPalette(const BITMAPINFOHEADER* header);
// Whether a DIB is drawn through a palette: 256 colours, or 8 bits with
// biClrUsed 0.
BOOL IsPaletteDib(const BITMAPINFOHEADER* header);
// A device bitmap of the DIB's size made in a memory DC with the palette
// selected and realised; the bits follow the header and colour table. Null
// on any failure.
HBITMAP CreatePaletteBitmap(HWND window, const BITMAPINFOHEADER* header, HPALETTE palette);
// Loads bitmap `id` of `module`: 0 ok, 2 no palette, 5 resource missing, 6
// failure. A palette DIB uses *palette, creating it from this DIB when it
// is still null, so one palette serves a whole list; other DIBs load as
// they are.
INT LoadPaletteBitmap(HMODULE module, HWND window, WORD id, HPALETTE* palette, HBITMAP* out);
// The same for a DIB in memory (header, colour table and bits): 0, 2 or 6.
INT CreateBitmapFromDib(HWND window, const BITMAPINFOHEADER* header, DWORD size, HPALETTE* palette, HBITMAP* out);
// A one-entry list of bitmap `id` at (0, 0): 0, 2 no memory, else the
// result of LoadPaletteBitmap.
INT LoadPictureBitmap(HMODULE module, HWND window, WORD id, PreviewImage** out, HPALETTE* palette);

// Paints `list` into `dc` inside (left, top, right, bottom): 0, 1 bad
// arguments, 6 GDI failure. With `transparent` the list is composed in a
// memory bitmap and key-coloured pixels let the background show; with
// `background` the area is first filled by `colour` (the pattern value,
// `cached` when given for 0, else the button face).
INT DrawPreviewImages(HMODULE module, HWND window, HDC dc, INT left, INT top, INT right, INT bottom,
                      const PreviewImage* list, HPALETTE palette, BOOL transparent, BOOL background,
                      COLORREF colour, HDC cached = nullptr);

// A new 32-bit bitmap of width x height with `list` painted on the button
// face (transparent or opaque), as a picture control shows it; null on
// failure. For pictures written out as files.
HBITMAP RenderPictureBitmap(HMODULE module, const PreviewImage* list, HPALETTE palette, INT width, INT height,
                            BOOL transparent);
