// Bitmaps with palettes and the painting of positioned bitmap lists, opaque
// or with the transparent key colour.
#include <cstring>
#include <vector>

#include "property_sheets/pictures.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

UINT colour_count(const BITMAPINFOHEADER* h) {
  if (h->biClrUsed) return h->biClrUsed;
  return h->biBitCount <= 8 ? 1u << h->biBitCount : 0;
}

// Bytes of the header and colour table in front of the bits.
DWORD bits_offset(const BITMAPINFOHEADER* h) {
  DWORD masks = h->biCompression == 3 /* BI_BITFIELDS */ ? 12 : 0;
  return h->biSize + masks + colour_count(h) * 4;
}

// A 32-bit top-down DIB section of the size and its memory DC.
struct DibCanvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  DWORD* bits = nullptr;
  INT width = 0, height = 0;
  bool make(INT w, INT h) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(nullptr);
    if (!dc) return false;
    void* p = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &p, nullptr, 0);
    if (!bitmap) return false;
    bits = static_cast<DWORD*>(p);
    width = w;
    height = h;
    old = SelectObject(dc, bitmap);
    return true;
  }
  ~DibCanvas() {
    if (old) SelectObject(dc, old);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
  }
};

// The DC bitmaps are made compatible with: the window's, or the screen's
// when the window has none (pictures drawn before their window exists).
HDC reference_dc(HWND window, HWND* owner) {
  HDC dc = window ? GetDC(window) : nullptr;
  *owner = dc ? window : nullptr;
  return dc ? dc : GetDC(nullptr);
}

constexpr DWORD kKeyPixel = 0x00FF00FF;  // the key colour as a 32-bit DIB pixel (BGRA)

// One image: opaque, or through a mask that is white where the image holds
// the key colour and black elsewhere (AND the mask, AND the inverted mask
// onto a copy of the image, OR the copy).
bool draw_image(HDC target, HDC source, const PreviewImage& image, BOOL transparent) {
  BITMAP info{};
  if (!GetObjectW(image.bitmap, sizeof info, &info)) return false;
  HGDIOBJ old = SelectObject(source, image.bitmap);
  if (!old) return false;
  bool ok = true;
  if (!transparent) {
    ok = BitBlt(target, image.x, image.y, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
  } else {
    DibCanvas copy, mask;
    ok = copy.make(info.bmWidth, info.bmHeight) && mask.make(info.bmWidth, info.bmHeight) &&
         BitBlt(copy.dc, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    if (ok) {
      GdiFlush();
      const size_t n = static_cast<size_t>(info.bmWidth) * info.bmHeight;
      for (size_t i = 0; i < n; ++i) mask.bits[i] = (copy.bits[i] & 0xFFFFFF) == kKeyPixel ? 0xFFFFFF : 0;
      ok = BitBlt(target, image.x, image.y, info.bmWidth, info.bmHeight, mask.dc, 0, 0, SRCAND);
      for (size_t i = 0; ok && i < n; ++i) mask.bits[i] ^= 0xFFFFFF;
      ok = ok && BitBlt(copy.dc, 0, 0, info.bmWidth, info.bmHeight, mask.dc, 0, 0, SRCAND) &&
           BitBlt(target, image.x, image.y, info.bmWidth, info.bmHeight, copy.dc, 0, 0, SRCPAINT);
    }
  }
  SelectObject(source, old);
  return ok;
}

bool fill_background(HMODULE module, HWND window, HDC dc, const RECT& area, HPALETTE palette, COLORREF colour,
                     HDC cached) {
  if (colour == kPicturePatternColour) {
    HPALETTE pal = palette;
    HBITMAP pattern = nullptr;
    if (LoadPaletteBitmap(module, window, kPicturePatternBitmap, &pal, &pattern) != 0) return false;
    HBRUSH brush = CreatePatternBrush(pattern);
    bool ok = brush && FillRect(dc, &area, brush);
    if (brush) DeleteObject(brush);
    DeleteObject(pattern);
    if (pal != palette) DeleteObject(pal);
    return ok;
  }
  if (colour == 0 && cached)
    return BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, cached, 0, 0, SRCCOPY);
  return FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE)) != 0;
}

}  // namespace

PreviewImage* AllocPreviewImages(UINT count) {
  return static_cast<PreviewImage*>(GlobalAlloc(GPTR, (static_cast<SIZE_T>(count) + 1) * sizeof(PreviewImage)));
}

INT FreePreviewImages(PreviewImage* list) {
  if (!list) return 1;
  for (PreviewImage* p = list; p->bitmap; ++p) DeleteObject(p->bitmap);
  GlobalFree(list);
  return 0;
}

BOOL IsPaletteDib(const BITMAPINFOHEADER* header) {
  return header && (header->biClrUsed == 256 || (header->biClrUsed == 0 && header->biBitCount == 8));
}

HPALETTE CreateDibPalette(const BITMAPINFOHEADER* header) {
  if (!header || header->biBitCount > 8) return nullptr;
  const UINT count = colour_count(header);
  if (count == 0 || count > 256) return nullptr;
  std::vector<BYTE> block(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
  auto* pal = reinterpret_cast<LOGPALETTE*>(block.data());
  pal->palVersion = 0x300;
  pal->palNumEntries = static_cast<WORD>(count);
  const auto* quads = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
  for (UINT i = 0; i < count; ++i)
    pal->palPalEntry[i] = PALETTEENTRY{quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue, 0};
  return CreatePalette(pal);
}

HBITMAP CreatePaletteBitmap(HWND window, const BITMAPINFOHEADER* header, HPALETTE palette) {
  if (!header || !palette) return nullptr;
  HWND owner = nullptr;
  HDC screen = reference_dc(window, &owner);
  if (!screen) return nullptr;
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, header->biWidth, header->biHeight < 0 ? -header->biHeight
                                                                                                 : header->biHeight)
                          : nullptr;
  bool ok = bitmap != nullptr;
  if (ok) {
    HPALETTE old = SelectPalette(memory, palette, FALSE);
    RealizePalette(memory);
    const BYTE* bits = reinterpret_cast<const BYTE*>(header) + bits_offset(header);
    ok = SetDIBits(memory, bitmap, 0, header->biHeight < 0 ? -header->biHeight : header->biHeight, bits,
                   reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS) > 0;
    if (old) SelectPalette(memory, old, FALSE);
  }
  if (!ok && bitmap) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
  if (memory) DeleteDC(memory);
  ReleaseDC(owner, screen);
  return bitmap;
}

INT CreateBitmapFromDib(HWND window, const BITMAPINFOHEADER* header, DWORD size, HPALETTE* palette, HBITMAP* out) {
  if (!out) return 6;
  *out = nullptr;
  if (!header || size < sizeof(BITMAPINFOHEADER) || header->biSize < sizeof(BITMAPINFOHEADER) ||
      bits_offset(header) > size || header->biWidth <= 0 || header->biHeight == 0)
    return 6;
  if (IsPaletteDib(header)) {
    if (!palette) return 2;
    const bool made_here = *palette == nullptr;
    if (made_here) *palette = CreateDibPalette(header);
    if (!*palette) return 2;
    *out = CreatePaletteBitmap(window, header, *palette);
    return *out ? 0 : 6;
  }
  HWND owner = nullptr;
  HDC screen = reference_dc(window, &owner);
  if (!screen) return 6;
  *out = CreateDIBitmap(screen, header, CBM_INIT, reinterpret_cast<const BYTE*>(header) + bits_offset(header),
                        reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
  ReleaseDC(owner, screen);
  return *out ? 0 : 6;
}

INT LoadPaletteBitmap(HMODULE module, HWND window, WORD id, HPALETTE* palette, HBITMAP* out) {
  if (!out) return 6;
  *out = nullptr;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* header = loaded ? static_cast<const BITMAPINFOHEADER*>(LockResource(loaded)) : nullptr;
  if (!header) return 5;
  INT result = 0;
  if (IsPaletteDib(header)) {
    result = CreateBitmapFromDib(window, header, SizeofResource(module, found), palette, out);
  } else {
    *out = LoadBitmapW(module, MAKEINTRESOURCEW(id));
    result = *out ? 0 : 6;
  }
  FreeResource(loaded);
  return result;
}

INT LoadPictureBitmap(HMODULE module, HWND window, WORD id, PreviewImage** out, HPALETTE* palette) {
  if (!out) return 6;
  *out = AllocPreviewImages(1);
  if (!*out) return 2;
  HBITMAP bitmap = nullptr;
  INT result = LoadPaletteBitmap(module, window, id, palette, &bitmap);
  if (result != 0) {
    FreePreviewImages(*out);
    *out = nullptr;
    return result;
  }
  (*out)[0] = PreviewImage{bitmap, 0, 0};
  return 0;
}

INT DrawPreviewImages(HMODULE module, HWND window, HDC dc, INT left, INT top, INT right, INT bottom,
                      const PreviewImage* list, HPALETTE palette, BOOL transparent, BOOL background,
                      COLORREF colour, HDC cached) {
  if (!dc || !list || right <= left || bottom <= top) return 1;
  HPALETTE old_palette = palette ? SelectPalette(dc, palette, FALSE) : nullptr;
  if (palette) RealizePalette(dc);
  HDC target = dc;
  HDC memory = nullptr;
  HBITMAP canvas = nullptr;
  HGDIOBJ old_canvas = nullptr;
  bool ok = true;
  if (transparent) {
    memory = CreateCompatibleDC(dc);
    canvas = memory ? CreateCompatibleBitmap(dc, right, bottom) : nullptr;
    ok = canvas != nullptr;
    if (ok) {
      old_canvas = SelectObject(memory, canvas);
      target = memory;
    }
  }
  const RECT area{left, top, right, bottom};
  if (ok && background) ok = fill_background(module, window, target, area, palette, colour, cached);
  HDC source = ok ? CreateCompatibleDC(dc) : nullptr;
  if (ok && !source) ok = false;
  for (const PreviewImage* p = list; ok && p->bitmap; ++p) ok = draw_image(target, source, *p, transparent);
  if (source) DeleteDC(source);
  if (ok && transparent) ok = BitBlt(dc, left, top, right - left, bottom - top, memory, left, top, SRCCOPY);
  if (old_canvas) SelectObject(memory, old_canvas);
  if (canvas) DeleteObject(canvas);
  if (memory) DeleteDC(memory);
  if (palette) SelectPalette(dc, old_palette, FALSE);
  return ok ? 0 : 6;
}

HBITMAP RenderPictureBitmap(HMODULE module, const PreviewImage* list, HPALETTE palette, INT width, INT height,
                            BOOL transparent) {
  if (!list || width <= 0 || height <= 0) return nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = screen ? CreateCompatibleDC(screen) : nullptr;
  HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, width, height) : nullptr;
  bool ok = bitmap != nullptr;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = DrawPreviewImages(module, nullptr, memory, 0, 0, width, height, list, palette, transparent, TRUE,
                           GetSysColor(COLOR_BTNFACE)) == 0;
    SelectObject(memory, old);
  }
  if (!ok && bitmap) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
  if (memory) DeleteDC(memory);
  if (screen) ReleaseDC(nullptr, screen);
  return bitmap;
}
