// GDI objects: the handle table, stock objects, bitmap pixel formats,
// pens, brushes, palettes, SelectObject, DeleteObject and GetObjectW.
//
// Rules of the real platform kept here:
// - Stock objects are never deleted: DeleteObject on one succeeds and does
//   nothing. They are not counted as live objects.
// - DeleteObject fails on an object that is selected into a DC, and never
//   deletes a DC.
// - A bitmap can be selected into one memory DC at a time, and only into a
//   memory DC; SelectObject answers NULL otherwise.
// - SelectObject with a region selects a copy of it as the clip region and
//   answers the region's complexity.
// - A pattern brush keeps its own copy of the bitmap: the bitmap may be
//   deleted after the brush is made.
// - Bitmaps that the resource reader loaded (LoadBitmapW) are device
//   bitmaps of the screen's format once GDI first uses them.
#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "screen_gdi/gdi_internal.h"
#include "win/resources.h"

namespace morva::platform::gdi {
namespace {

std::unordered_map<HGDIOBJ, std::shared_ptr<Object>>& table() {
  static auto* t = new std::unordered_map<HGDIOBJ, std::shared_ptr<Object>>();
  return *t;
}
ULONG_PTR g_next_handle = 0x10000;

constexpr RGBQUAD q(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

std::vector<RGBQUAD> make_default_8() {
  // The twenty static colours of the default palette at both ends, a
  // 6 x 6 x 6 colour cube and a grey ramp between them.
  std::vector<RGBQUAD> c = {q(0, 0, 0), q(128, 0, 0), q(0, 128, 0), q(128, 128, 0), q(0, 0, 128),
                            q(128, 0, 128), q(0, 128, 128), q(192, 192, 192), q(192, 220, 192), q(166, 202, 240)};
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) c.push_back(q(static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(b * 51)));
  for (int i = 1; c.size() < 246; ++i) c.push_back(q(static_cast<BYTE>(i * 11), static_cast<BYTE>(i * 11), static_cast<BYTE>(i * 11)));
  for (RGBQUAD e : {q(255, 251, 240), q(160, 160, 164), q(128, 128, 128), q(255, 0, 0), q(0, 255, 0),
                    q(255, 255, 0), q(0, 0, 255), q(255, 0, 255), q(0, 255, 255), q(255, 255, 255)})
    c.push_back(e);
  return c;
}

int channel(std::uint32_t raw, DWORD mask) {
  if (!mask) return 0;
  int shift = std::countr_zero(mask), bits = std::popcount(mask);
  std::uint32_t v = (raw & mask) >> shift;
  if (bits >= 8) return static_cast<int>(v >> (bits - 8));
  std::uint32_t max = (1u << bits) - 1;
  return static_cast<int>((v * 255 + max / 2) / max);
}

std::uint32_t pack(int v, DWORD mask) {
  if (!mask) return 0;
  int shift = std::countr_zero(mask), bits = std::popcount(mask);
  std::uint32_t x = bits >= 8 ? static_cast<std::uint32_t>(v) << (bits - 8) : static_cast<std::uint32_t>(v) >> (8 - bits);
  return (x << shift) & mask;
}

// Stock objects by GetStockObject index, made on first use.
std::shared_ptr<Object> g_stock[20];
std::shared_ptr<Bitmap> g_default_bitmap;
std::shared_ptr<Brush> g_sys_brushes[31];

template <class T>
std::shared_ptr<T> keep_stock(std::shared_ptr<T> o) {
  o->stock = true;
  insert(o);
  return o;
}

constexpr LONG kNormal = FW_NORMAL, kBold = FW_BOLD;
constexpr BYTE kFixedModern = FIXED_PITCH | FF_MODERN, kVariableSwiss = VARIABLE_PITCH | FF_SWISS;

std::shared_ptr<Font> stock_font(LONG height, LONG weight, const char16_t* face, BYTE pitch) {
  auto f = std::make_shared<Font>();
  f->log.lfHeight = height;
  f->log.lfWeight = weight;
  f->log.lfPitchAndFamily = pitch;
  std::char_traits<char16_t>::copy(f->log.lfFaceName, face, std::char_traits<char16_t>::length(face));
  return keep_stock(f);
}

void make_stock() {
  if (g_stock[0]) return;
  auto brush = [](UINT style, COLORREF c) {
    auto b = std::make_shared<Brush>();
    b->style = style;
    b->colour = c;
    return keep_stock(b);
  };
  auto pen = [](UINT style, COLORREF c) {
    auto p = std::make_shared<Pen>();
    p->style = style;
    p->colour = c;
    return keep_stock(p);
  };
  g_stock[WHITE_BRUSH] = brush(BS_SOLID, RGB(255, 255, 255));
  g_stock[LTGRAY_BRUSH] = brush(BS_SOLID, RGB(192, 192, 192));
  g_stock[GRAY_BRUSH] = brush(BS_SOLID, RGB(128, 128, 128));
  g_stock[DKGRAY_BRUSH] = brush(BS_SOLID, RGB(64, 64, 64));
  g_stock[BLACK_BRUSH] = brush(BS_SOLID, RGB(0, 0, 0));
  g_stock[NULL_BRUSH] = brush(BS_NULL, 0);
  g_stock[WHITE_PEN] = pen(PS_SOLID, RGB(255, 255, 255));
  g_stock[BLACK_PEN] = pen(PS_SOLID, RGB(0, 0, 0));
  g_stock[NULL_PEN] = pen(PS_NULL, 0);
  g_stock[OEM_FIXED_FONT] = stock_font(12, kNormal, u"DejaVu Sans Mono", kFixedModern);
  g_stock[ANSI_FIXED_FONT] = stock_font(12, kNormal, u"DejaVu Sans Mono", kFixedModern);
  g_stock[ANSI_VAR_FONT] = stock_font(12, kNormal, u"DejaVu Sans", kVariableSwiss);
  g_stock[SYSTEM_FONT] = stock_font(16, kBold, u"DejaVu Sans", kVariableSwiss);
  g_stock[DEVICE_DEFAULT_FONT] = stock_font(16, kNormal, u"DejaVu Sans", kVariableSwiss);
  g_stock[SYSTEM_FIXED_FONT] = stock_font(16, kNormal, u"DejaVu Sans Mono", kFixedModern);
  g_stock[DEFAULT_GUI_FONT] = stock_font(-11, kNormal, u"DejaVu Sans", kVariableSwiss);
  auto pal = std::make_shared<Palette>();
  for (const RGBQUAD& c : default_colours(8))
    if (&c - default_colours(8).data() < 10 || &c - default_colours(8).data() >= 246)
      pal->entries.push_back(PALETTEENTRY{c.rgbRed, c.rgbGreen, c.rgbBlue, 0});
  g_stock[DEFAULT_PALETTE] = keep_stock(pal);
  auto dcb = brush(BS_SOLID, RGB(255, 255, 255));
  dcb->dc_brush = true;
  g_stock[DC_BRUSH] = dcb;
  auto dcp = pen(PS_SOLID, 0);
  dcp->dc_pen = true;
  g_stock[DC_PEN] = dcp;
  g_default_bitmap = make_bitmap(1, 1, 1, false, true, {});
  keep_stock(g_default_bitmap);
}

// The classic colour scheme.
constexpr COLORREF kSysColours[31] = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(10, 36, 106),   RGB(128, 128, 128), RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(212, 208, 200), RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(180, 180, 180), RGB(0, 0, 128),     RGB(166, 202, 240), RGB(192, 192, 192), RGB(49, 106, 197),
    RGB(236, 233, 216)};

}  // namespace

std::recursive_mutex& gdi_lock() {
  static auto* m = new std::recursive_mutex();
  return *m;
}

// --- bitmaps ---------------------------------------------------------------

const std::vector<RGBQUAD>& default_colours(int bpp) {
  static const std::vector<RGBQUAD> mono = {q(0, 0, 0), q(255, 255, 255)};
  static const std::vector<RGBQUAD> vga = {
      q(0, 0, 0),       q(128, 0, 0),   q(0, 128, 0),   q(128, 128, 0), q(0, 0, 128),   q(128, 0, 128),
      q(0, 128, 128),   q(192, 192, 192), q(128, 128, 128), q(255, 0, 0), q(0, 255, 0), q(255, 255, 0),
      q(0, 0, 255),     q(255, 0, 255), q(0, 255, 255), q(255, 255, 255)};
  static const std::vector<RGBQUAD> eight = make_default_8();
  return bpp == 1 ? mono : bpp == 4 ? vga : eight;
}

std::shared_ptr<Bitmap> make_bitmap(int width, int height, int bpp, bool dib, bool top_down,
                                    const std::vector<RGBQUAD>& colours) {
  if (width <= 0 || height <= 0 || width > 0x8000 || height > 0x8000) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  auto b = std::make_shared<Bitmap>();
  b->width = width;
  b->height = height;
  b->bpp = bpp;
  b->dib = dib;
  b->top_down = top_down;
  b->stride = ((width * bpp + 31) / 32) * 4;
  std::size_t size = static_cast<std::size_t>(b->stride) * static_cast<std::size_t>(height);
  if (size > (std::size_t{1} << 28)) return nullptr;
  b->store.reset(new (std::nothrow) BYTE[size]);
  if (!b->store) return nullptr;
  std::memset(b->store.get(), 0, size);
  b->bits = b->store.get();
  if (bpp <= 8) {
    b->colours = colours.empty() ? default_colours(bpp) : colours;
    b->colours.resize(std::size_t{1} << bpp, RGBQUAD{0, 0, 0, 0});
  } else if (bpp == 16) {
    b->masks[0] = 0x7C00;
    b->masks[1] = 0x03E0;
    b->masks[2] = 0x001F;
  }
  return b;
}

std::uint32_t Bitmap::get(int x, int y) const {
  const BYTE* r = row(y);
  switch (bpp) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (r[x >> 1] & 0x0Fu) : (r[x >> 1] >> 4);
    case 8: return r[x];
    case 16: return static_cast<std::uint32_t>(r[x * 2] | (r[x * 2 + 1] << 8));
    case 24: return static_cast<std::uint32_t>(r[x * 3] | (r[x * 3 + 1] << 8) | (r[x * 3 + 2] << 16));
    default: {
      std::uint32_t v;
      std::memcpy(&v, r + x * 4, 4);
      return v;
    }
  }
}

void Bitmap::put(int x, int y, std::uint32_t v) {
  BYTE* r = row(y);
  switch (bpp) {
    case 1: {
      BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
      r[x >> 3] = static_cast<BYTE>((v & 1) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit));
      break;
    }
    case 4:
      r[x >> 1] = static_cast<BYTE>((x & 1) ? ((r[x >> 1] & 0xF0) | (v & 0x0F)) : ((r[x >> 1] & 0x0F) | ((v & 0x0F) << 4)));
      break;
    case 8: r[x] = static_cast<BYTE>(v); break;
    case 16:
      r[x * 2] = static_cast<BYTE>(v);
      r[x * 2 + 1] = static_cast<BYTE>(v >> 8);
      break;
    case 24:
      r[x * 3] = static_cast<BYTE>(v);
      r[x * 3 + 1] = static_cast<BYTE>(v >> 8);
      r[x * 3 + 2] = static_cast<BYTE>(v >> 16);
      break;
    default: std::memcpy(r + x * 4, &v, 4); break;
  }
}

COLORREF Bitmap::colour_of(std::uint32_t raw) const {
  if (bpp <= 8) {
    if (raw >= colours.size()) return 0;
    const RGBQUAD& c = colours[raw];
    return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
  }
  if (bpp == 24) return RGB((raw >> 16) & 0xFF, (raw >> 8) & 0xFF, raw & 0xFF);
  return RGB(channel(raw, masks[0]), channel(raw, masks[1]), channel(raw, masks[2]));
}

std::uint32_t Bitmap::raw_of(COLORREF c) const {
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  if (bpp <= 8) {
    std::uint32_t best = 0;
    long best_d = -1;
    for (std::size_t i = 0; i < colours.size(); ++i) {
      long dr = colours[i].rgbRed - r, dg = colours[i].rgbGreen - g, db = colours[i].rgbBlue - b;
      long d = dr * dr + dg * dg + db * db;
      if (best_d < 0 || d < best_d) {
        best_d = d;
        best = static_cast<std::uint32_t>(i);
        if (d == 0) break;
      }
    }
    return best;
  }
  if (bpp == 24) return static_cast<std::uint32_t>((r << 16) | (g << 8) | b);
  return pack(r, masks[0]) | pack(g, masks[1]) | pack(b, masks[2]);
}

// --- handle table -------------------------------------------------------------

HGDIOBJ insert(std::shared_ptr<Object> object) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto& t = table();
  HGDIOBJ h;
  do {
    h = reinterpret_cast<HGDIOBJ>(g_next_handle);
    g_next_handle += 4;
  } while (t.count(h));
  object->handle = h;
  t[h] = std::move(object);
  return h;
}

std::shared_ptr<Object> find(HGDIOBJ handle) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  if (!handle) return nullptr;
  auto it = table().find(handle);
  if (it != table().end()) return it->second;
  return find_bitmap(handle);
}

bool erase_handle(HGDIOBJ handle) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  return table().erase(handle) != 0;
}

std::shared_ptr<Dc> find_dc(HDC dc) { return find_as<Dc>(dc); }

std::shared_ptr<Bitmap> find_bitmap(HGDIOBJ handle) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto it = table().find(handle);
  if (it != table().end()) return std::dynamic_pointer_cast<Bitmap>(it->second);
  const ResourceImage* img = resource_image(handle);
  if (!img || img->type != IMAGE_BITMAP) return nullptr;
  DibFormat f;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(img->dib.data());
  if (!read_dib_format(info, DIB_RGB_COLORS, nullptr, f)) return nullptr;
  auto dib = bitmap_from_dib(f, img->dib.data() + f.header_bytes);
  auto b = dib ? make_bitmap(f.width, f.height, 32, false, true, {}) : nullptr;
  if (!b) return nullptr;
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x) b->put(x, y, b->raw_of(dib->colour_of(dib->get(x, y))));
  b->handle = handle;
  b->resource_image = true;
  table()[handle] = b;
  return b;
}

std::shared_ptr<Brush> stock_brush(int index) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  make_stock();
  return std::dynamic_pointer_cast<Brush>(g_stock[index]);
}

std::shared_ptr<Brush> brush_arg(HBRUSH brush) {
  auto v = reinterpret_cast<ULONG_PTR>(brush);
  if (v >= 1 && v <= 31) {
    auto b = std::make_shared<Brush>();
    b->colour = GetSysColor(static_cast<INT>(v - 1));
    return b;
  }
  return find_as<Brush>(brush);
}

COLORREF resolve(const Dc& dc, COLORREF c) {
  if ((c >> 24) == 0x01) {
    WORD index = static_cast<WORD>(c);
    const Palette* p = dc.s.palette.get();
    if (p && index < p->entries.size()) {
      const PALETTEENTRY& e = p->entries[index];
      return RGB(e.peRed, e.peGreen, e.peBlue);
    }
    return 0;
  }
  return c & 0x00FFFFFFu;
}

}  // namespace morva::platform::gdi

namespace morva::platform {

GdiObjectCounts gdi_object_counts() {
  using namespace gdi;
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  GdiObjectCounts c;
  for (const auto& [h, o] : table()) {
    if (o->stock) continue;
    switch (o->kind) {
      case Kind::dc: ++c.dcs; break;
      case Kind::bitmap: ++c.bitmaps; break;
      case Kind::pen: ++c.pens; break;
      case Kind::brush: ++c.brushes; break;
      case Kind::font: ++c.fonts; break;
      case Kind::region: ++c.regions; break;
      case Kind::palette: ++c.palettes; break;
    }
  }
  return c;
}

}  // namespace morva::platform

using namespace morva::platform::gdi;

namespace {
template <class T>
HGDIOBJ swap_selected(std::shared_ptr<T>& slot, std::shared_ptr<T> next) {
  HGDIOBJ old = slot ? slot->handle : nullptr;
  if (slot) --slot->selected;
  ++next->selected;
  slot = std::move(next);
  return old;
}
}  // namespace

extern "C" {

HGDIOBJ GetStockObject(INT index) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  make_stock();
  if (index < 0 || index >= 20 || !g_stock[index]) return nullptr;
  return g_stock[index]->handle;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  auto o = find(object);
  if (!dc || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  switch (o->kind) {
    case Kind::pen: return swap_selected(dc->s.pen, std::static_pointer_cast<Pen>(o));
    case Kind::brush: return swap_selected(dc->s.brush, std::static_pointer_cast<Brush>(o));
    case Kind::font: return swap_selected(dc->s.font, std::static_pointer_cast<Font>(o));
    case Kind::bitmap: {
      auto b = std::static_pointer_cast<Bitmap>(o);
      if (dc->type != Dc::Type::memory) return nullptr;
      if (b == dc->s.bitmap) return b->handle;
      if (b->selected > 0 && !b->stock) return nullptr;
      return swap_selected(dc->s.bitmap, b);
    }
    case Kind::region: {
      INT r = SelectClipRgn(hdc, reinterpret_cast<HRGN>(object));
      return reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(r));
    }
    default: return nullptr;
  }
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto it = table().find(object);
  if (it == table().end()) {
    if (morva::platform::release_resource_image(object)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto o = it->second;
  if (o->stock) return TRUE;
  if (o->kind == Kind::dc || o->selected > 0) return FALSE;
  table().erase(it);
  if (o->resource_image) morva::platform::release_resource_image(object);
  return TRUE;
}

DWORD GetObjectType(HGDIOBJ object) {
  auto o = find(object);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->kind) {
    case Kind::dc: return static_cast<Dc&>(*o).type == Dc::Type::memory ? OBJ_MEMDC : OBJ_DC;
    case Kind::bitmap: return OBJ_BITMAP;
    case Kind::pen: return OBJ_PEN;
    case Kind::brush: return OBJ_BRUSH;
    case Kind::font: return OBJ_FONT;
    case Kind::region: return OBJ_REGION;
    case Kind::palette: return OBJ_PAL;
  }
  return 0;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return nullptr;
  const Object* o = nullptr;
  switch (type) {
    case OBJ_PEN: o = dc->s.pen.get(); break;
    case OBJ_BRUSH: o = dc->s.brush.get(); break;
    case OBJ_FONT: o = dc->s.font.get(); break;
    case OBJ_PAL: o = dc->s.palette.get(); break;
    case OBJ_BITMAP: o = dc->target(); break;
    default: return nullptr;
  }
  return o ? o->handle : nullptr;
}

INT GetObjectW(HGDIOBJ object, INT size, LPVOID out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto o = find(object);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  auto give = [&](const void* data, INT n) -> INT {
    if (!out) return n;
    INT c = std::min(n, size);
    if (c <= 0) return 0;
    std::memcpy(out, data, static_cast<std::size_t>(c));
    return c;
  };
  switch (o->kind) {
    case Kind::bitmap: {
      const auto& b = static_cast<const Bitmap&>(*o);
      DIBSECTION ds{};
      ds.dsBm.bmWidth = b.width;
      ds.dsBm.bmHeight = b.height;
      // Device bitmaps report WORD-aligned rows, DIB sections DWORD-aligned.
      ds.dsBm.bmWidthBytes = b.dib ? b.stride : ((b.width * b.bpp + 15) / 16) * 2;
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = static_cast<WORD>(b.bpp);
      if (!b.dib) return give(&ds.dsBm, sizeof(BITMAP));
      ds.dsBm.bmBits = b.bits;
      ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
      ds.dsBmih.biWidth = b.width;
      ds.dsBmih.biHeight = b.top_down ? -b.height : b.height;
      ds.dsBmih.biPlanes = 1;
      ds.dsBmih.biBitCount = static_cast<WORD>(b.bpp);
      ds.dsBmih.biCompression = (b.bpp == 16 || b.bpp == 32) ? BI_BITFIELDS : BI_RGB;
      ds.dsBmih.biSizeImage = static_cast<DWORD>(b.stride * b.height);
      ds.dsBmih.biClrUsed = b.bpp <= 8 ? static_cast<DWORD>(b.colours.size()) : 0;
      std::memcpy(ds.dsBitfields, b.masks, sizeof(ds.dsBitfields));
      // A DIB section answers a DIBSECTION when the buffer has room for one.
      return size >= static_cast<INT>(sizeof(DIBSECTION)) ? give(&ds, sizeof(DIBSECTION)) : give(&ds.dsBm, sizeof(BITMAP));
    }
    case Kind::pen: {
      const auto& p = static_cast<const Pen&>(*o);
      LOGPEN lp{p.style, POINT{p.width, 0}, p.colour};
      return give(&lp, sizeof(lp));
    }
    case Kind::brush: {
      const auto& b = static_cast<const Brush&>(*o);
      LOGBRUSH lb{b.style, b.colour, static_cast<ULONG_PTR>(b.hatch)};
      return give(&lb, sizeof(lb));
    }
    case Kind::font: return give(&static_cast<const Font&>(*o).log, sizeof(LOGFONTW));
    case Kind::palette: {
      WORD n = static_cast<WORD>(static_cast<const Palette&>(*o).entries.size());
      return give(&n, sizeof(n));
    }
    default: return 0;
  }
}

HPEN CreatePen(INT style, INT width, COLORREF colour) {
  if ((style & PS_STYLE_MASK) > PS_INSIDEFRAME) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_shared<Pen>();
  p->style = static_cast<UINT>(style & PS_STYLE_MASK);
  p->width = width < 1 ? 1 : width;
  p->colour = colour;
  return static_cast<HPEN>(insert(p));
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
  if (!pen) return nullptr;
  return CreatePen(static_cast<INT>(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  auto b = std::make_shared<Brush>();
  b->colour = colour;
  return static_cast<HBRUSH>(insert(b));
}

HBRUSH CreateHatchBrush(INT style, COLORREF colour) {
  if (style < HS_HORIZONTAL || style > HS_DIAGCROSS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto b = std::make_shared<Brush>();
  b->style = BS_HATCHED;
  b->hatch = style;
  b->colour = colour;
  return static_cast<HBRUSH>(insert(b));
}

HBRUSH CreatePatternBrush(HBITMAP bitmap) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto src = find_bitmap(bitmap);
  if (!src) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto copy = make_bitmap(src->width, src->height, src->bpp, src->dib, true, src->colours);
  if (!copy) return nullptr;
  std::memcpy(copy->masks, src->masks, sizeof(copy->masks));
  for (int y = 0; y < src->height; ++y) std::memcpy(copy->row(y), src->row(y), static_cast<std::size_t>(src->stride));
  auto b = std::make_shared<Brush>();
  b->style = BS_PATTERN;
  b->pattern = copy;
  return static_cast<HBRUSH>(insert(b));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
  if (!brush) return nullptr;
  switch (brush->lbStyle) {
    case BS_SOLID: return CreateSolidBrush(brush->lbColor);
    case BS_HATCHED: return CreateHatchBrush(static_cast<INT>(brush->lbHatch), brush->lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(brush->lbHatch));
    case BS_NULL: {
      auto b = std::make_shared<Brush>();
      b->style = BS_NULL;
      return static_cast<HBRUSH>(insert(b));
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palVersion != 0x300 || palette->palNumEntries == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_shared<Palette>();
  p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  return static_cast<HPALETTE>(insert(p));
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto p = find_as<Palette>(palette);
  if (!p) return 0;
  if (!out) return static_cast<UINT>(p->entries.size());
  UINT n = 0;
  for (; n < count && start + n < p->entries.size(); ++n) out[n] = p->entries[start + n];
  return n;
}

UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto p = find_as<Palette>(palette);
  if (!p || !entries) return 0;
  UINT n = 0;
  for (; n < count && start + n < p->entries.size(); ++n) p->entries[start + n] = entries[n];
  return n;
}

UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF colour) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto p = find_as<Palette>(palette);
  if (!p) return CLR_INVALID;
  UINT best = 0;
  long best_d = -1;
  for (UINT i = 0; i < p->entries.size(); ++i) {
    long dr = p->entries[i].peRed - GetRValue(colour), dg = p->entries[i].peGreen - GetGValue(colour),
         db = p->entries[i].peBlue - GetBValue(colour);
    long d = dr * dr + dg * dg + db * db;
    if (best_d < 0 || d < best_d) {
      best_d = d;
      best = i;
    }
  }
  return best;
}

// Defaults of the classic scheme; weak, so that the window system's own
// colours take their place when it defines them.
__attribute__((weak)) DWORD GetSysColor(INT index) {
  return index >= 0 && index < 31 ? kSysColours[index] : 0;
}

__attribute__((weak)) HBRUSH GetSysColorBrush(INT index) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  if (index < 0 || index >= 31) return nullptr;
  if (!g_sys_brushes[index]) {
    auto b = std::make_shared<Brush>();
    b->colour = GetSysColor(index);
    g_sys_brushes[index] = keep_stock(b);
  }
  return static_cast<HBRUSH>(g_sys_brushes[index]->handle);
}

}  // extern "C"

namespace morva::platform::gdi {
std::shared_ptr<Bitmap> default_bitmap() {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  make_stock();
  return g_default_bitmap;
}
}  // namespace morva::platform::gdi
