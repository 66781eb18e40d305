// The stamp preview: the page picture and the stamp text over it, placed,
// turned, framed and repeated as the printed stamp will be.
#include "property_sheets/stamp_preview.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "property_sheets/pictures.h"
#include "settings/devmode/placement_colour.h"
#include "settings/items/item_access.h"
#include "settings/items/stamp_defaults.h"

namespace {

constexpr double kInchesOnPreview = 7.952756;  // the page's short side, 202 mm
// The resolution cancels out of the preview's scale; a printer that does
// not say its resolution is drawn at this one rather than not at all.
constexpr LONG kNominalDpi = 600;

struct Reader {
  void* devmode;
  void* printer_data;
  bool failed = false;

  LONG number(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (failed) return 0;
    if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) != 0 || type == 6 || type == 9 || type == 7) {
      failed = true;
      return 0;
    }
    return GetTypedValue(type, &v);
  }
  std::u16string text(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (failed) return {};
    if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) != 0 || type != 6) {
      failed = true;
      return {};
    }
    return ItemText(v, size);
  }
};

BYTE light(BYTE c) { return static_cast<BYTE>((c >> 1) | 0x80); }

// GDI objects made for one paint, deleted whatever happens.
struct Objects {
  HFONT font = nullptr;
  HPEN pen = nullptr;
  HRGN clip = nullptr;
  ~Objects() {
    if (font) DeleteObject(font);
    if (pen) DeleteObject(pen);
    if (clip) DeleteObject(clip);
  }
};

}  // namespace

void BuildStampPalette(COLORREF colour, BOOL monochrome, PALETTEENTRY out[16]) {
  for (int i = 0; i < 8; ++i) {
    DWORD c = colour;
    if (i < 7) LookupKeyedConstant(i + 1, &c, -1);
    out[i] = PALETTEENTRY{GetRValue(c), GetGValue(c), GetBValue(c), PC_NOCOLLAPSE};
    out[i + 8] = PALETTEENTRY{light(out[i].peRed), light(out[i].peGreen), light(out[i].peBlue), PC_NOCOLLAPSE};
  }
  if (!monochrome) return;
  for (int i = 0; i < 16; ++i) {
    const BYTE grey = static_cast<BYTE>(((out[i].peRed + out[i].peBlue) * 85 + out[i].peGreen * 86) >> 8);
    out[i].peRed = out[i].peGreen = out[i].peBlue = grey;
  }
}

INT StampPreviewFontHeight(LONG points, LONG dpi) {
  if (dpi <= 0) dpi = kNominalDpi;
  const double scale = kStampPageShort / (dpi * kInchesOnPreview);
  const INT height = static_cast<INT>(MulDiv(points, dpi, 72) * scale);
  return std::max(4, height);
}

INT DrawStampPreview(HMODULE module, HDC dc, const RECT* client, void* devmode, void* printer_data,
                     BOOL monochrome) {
  if (!dc || !client || !printer_data) return 1;
  Reader read{devmode, printer_data};
  const bool portrait = read.number(7) == 1;
  if (read.failed) return 3;

  // The page.
  PreviewImage* page = nullptr;
  HPALETTE page_palette = nullptr;
  const INT loaded = LoadPictureBitmap(module, nullptr, portrait ? kStampPagePortraitBitmap : kStampPageLandscapeBitmap,
                                       &page, &page_palette);
  if (loaded != 0) return loaded;
  const INT drawn = DrawPreviewImages(module, nullptr, dc, client->left, client->top, client->right, client->bottom,
                                      page, page_palette, TRUE, TRUE, GetSysColor(COLOR_BTNFACE));
  FreePreviewImages(page);
  if (page_palette) DeleteObject(page_palette);
  if (drawn != 0) return 6;

  // 297 is the chosen stamp's name and 305 the face of its font: without
  // a stamp or without a text the page shows alone.
  const std::u16string name = read.text(297);
  const std::u16string text = read.text(299);
  const std::u16string face = read.text(305);
  if (read.failed) return 3;
  if (name.empty() || text.empty()) return 0;

  LONG dpi = read.number(20);
  const LONG size = read.number(306), width = read.number(319), angle = read.number(311);
  const LONG weight = read.number(307), italic = read.number(308), frame = read.number(302);
  const LONG position = read.number(303), repeat = read.number(1288);
  const LONG colour = read.number(301), lighter = read.number(1287);
  if (read.failed) return 3;
  if (dpi <= 0) dpi = kNominalDpi;

  PALETTEENTRY palette[16];
  BuildStampPalette(static_cast<COLORREF>(colour), monochrome, palette);
  const PALETTEENTRY& ink = palette[lighter ? 15 : 7];
  const COLORREF text_colour = RGB(ink.peRed, ink.peGreen, ink.peBlue);

  const double scale = kStampPageShort / (dpi * kInchesOnPreview);
  LOGFONTW lf{};
  lf.lfHeight = -StampPreviewFontHeight(size, dpi);
  lf.lfWidth = static_cast<LONG>(MulDiv(width, dpi, 72) * scale);
  lf.lfEscapement = lf.lfOrientation = angle;
  lf.lfWeight = weight;
  lf.lfItalic = italic ? 1 : 0;
  const size_t face_chars = std::min<size_t>(face.size(), LF_FACESIZE - 1);
  std::copy_n(face.data(), face_chars, lf.lfFaceName);
  const INT pen_width = std::max(1, static_cast<INT>(MulDiv(size, dpi, 72) * scale * 0.06));

  Objects made;
  made.font = CreateFontIndirectW(&lf);
  made.pen = CreatePen(PS_SOLID, pen_width, text_colour);
  if (!made.font || !made.pen) return 6;

  const INT saved = SaveDC(dc);
  SetTextAlign(dc, TA_LEFT | TA_TOP);
  SetTextColor(dc, text_colour);
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, made.font);
  SelectObject(dc, made.pen);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  SIZE extent{};
  bool ok = GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<INT>(text.size()), &extent);
  if (ok && italic) extent.cx += extent.cy / 4;  // slanted text leans out

  const INT page_x = client->left + (portrait ? kStampPageMargin + 2 : kStampPageEdge);
  const INT page_y = client->top + (portrait ? kStampPageEdge : kStampPageMargin + 2);
  const INT page_w = portrait ? kStampPageShort : kStampPageLong;
  const INT page_h = portrait ? kStampPageLong : kStampPageShort;
  if (ok) {
    made.clip = CreateRectRgn(page_x, page_y, page_x + page_w, page_y + page_h);
    ok = made.clip && SelectClipRgn(dc, made.clip) != 0;
  }

  // The box the stamp occupies, with the text centred in it.
  double box_w = extent.cx, box_h = extent.cy;
  if (frame == 1) {
    box_w = pen_width + extent.cx * 1.2;
    box_h = pen_width + extent.cy * 1.2;
  } else if (frame == 2) {
    box_w = box_h = std::sqrt(double(extent.cx) * extent.cx + double(extent.cy) * extent.cy) + 2.0 * pen_width;
  }
  const PlacementSize area{static_cast<float>(page_w), static_cast<float>(page_h)};
  const PlacementSize box{static_cast<float>(box_w), static_cast<float>(box_h)};
  PlacementTransform transform{};
  const INT positions = ok ? ComputeRotatedPlacement(&area, &box, static_cast<SHORT>(angle / 10),
                                                     static_cast<WORD>(frame), repeat ? 0 : static_cast<WORD>(position),
                                                     &transform)
                           : -1;
  const PlacementPoint text_at{static_cast<float>((box_w - extent.cx) / 2), static_cast<float>((box_h - extent.cy) / 2)};
  for (INT cell = 0; ok && cell < positions; ++cell) {
    PlacementPoint p{};
    if (TransformPlacementPoint(&transform, &text_at, static_cast<DWORD>(cell), &p) != 0) break;
    TextOutW(dc, page_x + static_cast<INT>(std::lround(p.x)), page_y + static_cast<INT>(std::lround(p.y)),
             reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<INT>(text.size()));
    if (frame == 1) {
      const PlacementPoint corners[4] = {{0, 0}, {static_cast<float>(box_w), 0},
                                         {static_cast<float>(box_w), static_cast<float>(box_h)},
                                         {0, static_cast<float>(box_h)}};
      POINT poly[4];
      for (int k = 0; k < 4; ++k) {
        PlacementPoint q{};
        TransformPlacementPoint(&transform, &corners[k], static_cast<DWORD>(cell), &q);
        poly[k] = POINT{page_x + static_cast<LONG>(std::lround(q.x)), page_y + static_cast<LONG>(std::lround(q.y))};
      }
      Polygon(dc, poly, 4);
    } else if (frame == 2) {
      const PlacementPoint centre{static_cast<float>(box_w / 2), static_cast<float>(box_h / 2)};
      PlacementPoint q{};
      TransformPlacementPoint(&transform, &centre, static_cast<DWORD>(cell), &q);
      const INT r = static_cast<INT>(box_w / 2);
      const INT cx = page_x + static_cast<INT>(std::lround(q.x)), cy = page_y + static_cast<INT>(std::lround(q.y));
      Ellipse(dc, cx - r, cy - r, cx + r, cy + r);
    }
  }
  RestoreDC(dc, saved);
  return ok ? 0 : 6;
}
