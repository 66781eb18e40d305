// Device contexts: the screen DC, memory DCs and DCs on a surface that the
// window system hands out; their attributes, saved states, coordinate
// mapping and device capabilities.
//
// Rules of the real platform kept here:
// - A new DC has the black pen, the white brush, the system font and the
//   default palette selected, black text on an opaque white background,
//   R2_COPYPEN, BLACKONWHITE stretching, ALTERNATE filling and MM_TEXT.
// - A memory DC starts with a 1 x 1 monochrome bitmap selected; a
//   compatible bitmap of such a DC is therefore monochrome.
// - RestoreDC with a negative number counts back from the latest SaveDC;
//   a positive one restores the state that SaveDC answered with that
//   number and drops every later one.
// - SetWindowExtEx and SetViewportExtEx change nothing outside
//   MM_ISOTROPIC and MM_ANISOTROPIC; MM_ISOTROPIC keeps one unit the same
//   size on both axes by shrinking the viewport extent.
// - A memory DC reports the depth of its selected bitmap (BITSPIXEL); all
//   DCs report the screen's resolution of 96 dots per inch.
#include <cstdlib>

#include "screen_gdi/gdi_internal.h"
#include "win/window.h"

namespace morva::platform::gdi {
namespace {

morva::platform::WindowDcSource g_window_dc_source = nullptr;

std::shared_ptr<Bitmap> screen_surface() {
  static std::shared_ptr<Bitmap> s = [] {
    auto b = make_bitmap(kScreenWidth, kScreenHeight, 32, false, true, {});
    b->stock = true;  // lives as long as the process; not a leak
    insert(b);
    std::uint32_t desk = b->raw_of(GetSysColor(COLOR_BACKGROUND));
    for (int y = 0; y < b->height; ++y)
      for (int x = 0; x < b->width; ++x) b->put(x, y, desk);
    return b;
  }();
  return s;
}

// Selects the defaults of a new DC and counts their selection.
void init_state(Dc& dc) {
  auto sel = [](auto& slot, HGDIOBJ h) {
    slot = std::dynamic_pointer_cast<typename std::remove_reference_t<decltype(slot)>::element_type>(find(h));
    ++slot->selected;
  };
  sel(dc.s.pen, GetStockObject(BLACK_PEN));
  sel(dc.s.brush, GetStockObject(WHITE_BRUSH));
  sel(dc.s.font, GetStockObject(SYSTEM_FONT));
  dc.s.palette = std::dynamic_pointer_cast<Palette>(find(GetStockObject(DEFAULT_PALETTE)));
  if (dc.type == Dc::Type::memory) {
    dc.s.bitmap = default_bitmap();
    ++dc.s.bitmap->selected;
  }
}

void unselect_all(DcState& s) {
  for (Object* o : {static_cast<Object*>(s.pen.get()), static_cast<Object*>(s.brush.get()),
                    static_cast<Object*>(s.font.get()), static_cast<Object*>(s.bitmap.get())})
    if (o) --o->selected;
}
void select_all(DcState& s) {
  for (Object* o : {static_cast<Object*>(s.pen.get()), static_cast<Object*>(s.brush.get()),
                    static_cast<Object*>(s.font.get()), static_cast<Object*>(s.bitmap.get())})
    if (o) ++o->selected;
}

bool delete_dc(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return false;
  unselect_all(dc->s);
  dc->saved.clear();
  dc->selected = 0;
  dc->stock = false;
  erase_handle(hdc);
  return true;
}

// Divides rounding to nearest (half away from zero), as MulDiv does.
long long div_round(long long a, long long b) {
  if (b == 0) return 0;
  if ((a < 0) != (b < 0)) return -((std::llabs(a) + std::llabs(b) / 2) / std::llabs(b));
  return (std::llabs(a) + std::llabs(b) / 2) / std::llabs(b);
}

void set_fixed_extents(DcState& s) {
  int units = 0;
  switch (s.map_mode) {
    case MM_LOMETRIC: units = 254; break;
    case MM_HIMETRIC: units = 2540; break;
    case MM_LOENGLISH: units = 100; break;
    case MM_HIENGLISH: units = 1000; break;
    case MM_TWIPS: units = 1440; break;
    case MM_ISOTROPIC: units = 254; break;
    default: s.win_ext = SIZE{1, 1}; s.vp_ext = SIZE{1, 1}; return;
  }
  // Logical units per inch against the screen's dots per inch; y grows
  // upwards in the metric and English modes.
  s.win_ext = SIZE{units, units};
  s.vp_ext = SIZE{kScreenDpi, -kScreenDpi};
}

void fix_isotropic(DcState& s) {
  if (s.map_mode != MM_ISOTROPIC || !s.win_ext.cx || !s.win_ext.cy) return;
  double sx = std::abs(static_cast<double>(s.vp_ext.cx) / s.win_ext.cx);
  double sy = std::abs(static_cast<double>(s.vp_ext.cy) / s.win_ext.cy);
  if (sx > sy) s.vp_ext.cx = static_cast<LONG>((s.vp_ext.cx < 0 ? -1 : 1) * sy * std::abs(s.win_ext.cx) + 0.5);
  else if (sy > sx) s.vp_ext.cy = static_cast<LONG>((s.vp_ext.cy < 0 ? -1 : 1) * sx * std::abs(s.win_ext.cy) + 0.5);
}

}  // namespace

POINT to_device(const DcState& s, POINT p) {
  if (s.map_mode == MM_TEXT)
    return POINT{p.x - s.win_org.x + s.vp_org.x, p.y - s.win_org.y + s.vp_org.y};
  long long x = div_round(static_cast<long long>(p.x - s.win_org.x) * s.vp_ext.cx, s.win_ext.cx) + s.vp_org.x;
  long long y = div_round(static_cast<long long>(p.y - s.win_org.y) * s.vp_ext.cy, s.win_ext.cy) + s.vp_org.y;
  return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
}

RECT to_device(const DcState& s, const RECT& r) {
  POINT a = to_device(s, POINT{r.left, r.top}), b = to_device(s, POINT{r.right, r.bottom});
  return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

int scale_x(const DcState& s, int len) {
  if (s.map_mode == MM_TEXT) return len;
  return static_cast<int>(std::llabs(div_round(static_cast<long long>(len) * s.vp_ext.cx, s.win_ext.cx)));
}
int scale_y(const DcState& s, int len) {
  if (s.map_mode == MM_TEXT) return len;
  return static_cast<int>(std::llabs(div_round(static_cast<long long>(len) * s.vp_ext.cy, s.win_ext.cy)));
}

bool target_of(const Dc& dc, Target& out) {
  out.bm = dc.target();
  if (!out.bm) return false;
  out.ox = dc.origin.x;
  out.oy = dc.origin.y;
  out.clip.set_rect(RECT{0, 0, out.bm->width, out.bm->height});
  if (dc.type == Dc::Type::surface) out.clip.intersect(dc.visible_rgn ? *dc.visible_rgn : Region(dc.visible));
  if (dc.s.clip) {
    Region c = *dc.s.clip;
    c.offset(out.ox, out.oy);
    out.clip.intersect(c);
  }
  return true;
}

}  // namespace morva::platform::gdi

namespace morva::platform {

HDC create_surface_dc(HBITMAP surface, POINT origin, const RECT& visible) {
  using namespace gdi;
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto bm = find_bitmap(surface);
  if (!bm) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto dc = std::make_shared<Dc>(Dc::Type::surface);
  dc->surface = bm;
  dc->origin = origin;
  dc->visible = visible;
  init_state(*dc);
  return static_cast<HDC>(insert(dc));
}

HDC gdi::create_printer_dc(PrinterDcTarget* host) {
  using namespace gdi;
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = std::make_shared<Dc>(Dc::Type::printer);
  dc->printer = host;
  init_state(*dc);
  return static_cast<HDC>(insert(dc));
}

PrinterDcTarget* gdi::printer_dc_host(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = std::dynamic_pointer_cast<Dc>(find(hdc));
  if (!dc || dc->type != Dc::Type::printer || !dc->printer) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return dc->printer;
}

void gdi::delete_printer_dc(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = std::dynamic_pointer_cast<Dc>(find(hdc));
  if (dc && dc->type == Dc::Type::printer) {
    dc->printer = nullptr;
    delete_dc(hdc);
  }
}

HDC create_surface_dc(HBITMAP surface, POINT origin, HRGN visible) {
  using namespace gdi;
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto rgn = find_as<RegionObject>(visible);
  if (!rgn) return nullptr;
  HDC h = create_surface_dc(surface, origin, rgn->rgn.box());
  if (auto dc = find_dc(h)) dc->visible_rgn = rgn->rgn;
  return h;
}

void set_window_dc_source(WindowDcSource source) {
  std::lock_guard<std::recursive_mutex> g(gdi::gdi_lock());
  gdi::g_window_dc_source = source;
}

HBITMAP dc_surface(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(gdi::gdi_lock());
  auto dc = gdi::find_dc(hdc);
  if (!dc || !dc->target()) return nullptr;
  return static_cast<HBITMAP>(dc->target()->handle);
}

}  // namespace morva::platform

using namespace morva::platform::gdi;
using morva::platform::kScreenDpi;
using morva::platform::kScreenHeight;
using morva::platform::kScreenWidth;

#define DC_OR(hdc, fail)                                    \
  std::lock_guard<std::recursive_mutex> guard_(gdi_lock()); \
  auto dc = find_dc(hdc);                                   \
  if (!dc) return fail

extern "C" {

HDC GetDC(HWND window) {
  // The desktop window's DC is the screen's.
  if (window && window != GetDesktopWindow()) {
    morva::platform::WindowDcSource source;
    {
      std::lock_guard<std::recursive_mutex> g(gdi_lock());
      source = g_window_dc_source;
    }
    HDC h = source ? source(window) : nullptr;
    if (!h) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    std::lock_guard<std::recursive_mutex> g(gdi_lock());
    if (auto dc = find_dc(h)) dc->from_get_dc = true;
    return h;
  }
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = std::make_shared<Dc>(Dc::Type::screen);
  dc->surface = screen_surface();
  dc->visible = RECT{0, 0, kScreenWidth, kScreenHeight};
  dc->from_get_dc = true;
  init_state(*dc);
  return static_cast<HDC>(insert(dc));
}

INT ReleaseDC(HWND, HDC hdc) {
  {
    std::lock_guard<std::recursive_mutex> g(gdi_lock());
    auto dc = find_dc(hdc);
    if (!dc || !dc->from_get_dc) return 0;
  }
  return delete_dc(hdc) ? 1 : 0;
}

HDC CreateCompatibleDC(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  if (hdc && !find_dc(hdc)) return nullptr;
  auto dc = std::make_shared<Dc>(Dc::Type::memory);
  init_state(*dc);
  return static_cast<HDC>(insert(dc));
}

BOOL DeleteDC(HDC hdc) {
  if (delete_made_printer_dc(hdc)) return TRUE;
  return delete_dc(hdc) ? TRUE : FALSE;
}

INT SaveDC(HDC hdc) {
  DC_OR(hdc, 0);
  dc->saved.push_back(dc->s);
  return static_cast<INT>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, INT saved) {
  DC_OR(hdc, FALSE);
  INT n = static_cast<INT>(dc->saved.size());
  INT level = saved < 0 ? n + saved + 1 : saved;
  if (level < 1 || level > n) return FALSE;
  DcState next = dc->saved[static_cast<std::size_t>(level - 1)];
  // A bitmap that another DC took meanwhile cannot come back.
  if (next.bitmap && next.bitmap != dc->s.bitmap && next.bitmap->selected > 0 && !next.bitmap->stock) return FALSE;
  unselect_all(dc->s);
  dc->s = std::move(next);
  select_all(dc->s);
  dc->saved.resize(static_cast<std::size_t>(level - 1));
  return TRUE;
}

INT GetDeviceCaps(HDC hdc, INT index) {
  DC_OR(hdc, 0);
  int bpp = dc->target() ? dc->target()->bpp : 32;
  if (dc->type != Dc::Type::memory) bpp = 32;
  switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return kScreenWidth * 254 / (kScreenDpi * 10);
    case VERTSIZE: return kScreenHeight * 254 / (kScreenDpi * 10);
    case HORZRES:
    case DESKTOPHORZRES: return kScreenWidth;
    case VERTRES:
    case DESKTOPVERTRES: return kScreenHeight;
    case BITSPIXEL: return bpp;
    case PLANES: return 1;
    case NUMBRUSHES:
    case NUMPENS: return -1;
    case NUMFONTS: return 0;
    case NUMCOLORS: return bpp <= 8 ? (1 << bpp) : -1;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case ASPECTX:
    case ASPECTY: return 36;
    case ASPECTXY: return 51;
    case LOGPIXELSX:
    case LOGPIXELSY: return kScreenDpi;
    case SIZEPALETTE:
    case NUMRESERVED: return 0;
    case COLORRES: return 24;
    case VREFRESH: return 60;
    default: return 0;
  }
}

COLORREF SetTextColor(HDC hdc, COLORREF c) {
  DC_OR(hdc, CLR_INVALID);
  COLORREF old = dc->s.text;
  dc->s.text = c;
  return old;
}
COLORREF GetTextColor(HDC hdc) {
  DC_OR(hdc, CLR_INVALID);
  return dc->s.text;
}
COLORREF SetBkColor(HDC hdc, COLORREF c) {
  DC_OR(hdc, CLR_INVALID);
  COLORREF old = dc->s.bk;
  dc->s.bk = c;
  return old;
}
COLORREF GetBkColor(HDC hdc) {
  DC_OR(hdc, CLR_INVALID);
  return dc->s.bk;
}
// A DC mode set from a valid value: the old value, or 0 when refused.
static INT exchange_mode(int& slot, INT value, bool valid) {
  if (!valid) return 0;
  const INT old = slot;
  slot = value;
  return old;
}
INT SetBkMode(HDC hdc, INT mode) {
  DC_OR(hdc, 0);
  return exchange_mode(dc->s.bk_mode, mode, !(mode != TRANSPARENT && mode != OPAQUE));
}
INT GetBkMode(HDC hdc) {
  DC_OR(hdc, 0);
  return dc->s.bk_mode;
}
INT SetROP2(HDC hdc, INT rop) {
  DC_OR(hdc, 0);
  return exchange_mode(dc->s.rop2, rop, !(rop < R2_BLACK || rop > R2_WHITE));
}
INT GetROP2(HDC hdc) {
  DC_OR(hdc, 0);
  return dc->s.rop2;
}
INT SetStretchBltMode(HDC hdc, INT mode) {
  DC_OR(hdc, 0);
  return exchange_mode(dc->s.stretch, mode, !(mode < BLACKONWHITE || mode > HALFTONE));
}
INT GetStretchBltMode(HDC hdc) {
  DC_OR(hdc, 0);
  return dc->s.stretch;
}
INT SetPolyFillMode(HDC hdc, INT mode) {
  DC_OR(hdc, 0);
  return exchange_mode(dc->s.fill, mode, !(mode != ALTERNATE && mode != WINDING));
}
INT GetPolyFillMode(HDC hdc) {
  DC_OR(hdc, 0);
  return dc->s.fill;
}
UINT SetTextAlign(HDC hdc, UINT align) {
  DC_OR(hdc, GDI_ERROR);
  UINT old = dc->s.align;
  dc->s.align = align;
  return old;
}
UINT GetTextAlign(HDC hdc) {
  DC_OR(hdc, GDI_ERROR);
  return dc->s.align;
}
BOOL SetBrushOrgEx(HDC hdc, INT x, INT y, LPPOINT old) {
  DC_OR(hdc, FALSE);
  if (old) *old = dc->s.brush_org;
  dc->s.brush_org = POINT{x, y};
  return TRUE;
}
COLORREF SetDCBrushColor(HDC hdc, COLORREF c) {
  DC_OR(hdc, CLR_INVALID);
  COLORREF old = dc->s.dc_brush;
  dc->s.dc_brush = c;
  return old;
}
COLORREF SetDCPenColor(HDC hdc, COLORREF c) {
  DC_OR(hdc, CLR_INVALID);
  COLORREF old = dc->s.dc_pen;
  dc->s.dc_pen = c;
  return old;
}

INT SetMapMode(HDC hdc, INT mode) {
  DC_OR(hdc, 0);
  if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
  INT old = dc->s.map_mode;
  dc->s.map_mode = mode;
  if (mode != MM_ANISOTROPIC) set_fixed_extents(dc->s);
  return old;
}
INT GetMapMode(HDC hdc) {
  DC_OR(hdc, 0);
  return dc->s.map_mode;
}

namespace {
BOOL set_point(HDC hdc, POINT DcState::*field, POINT value, bool offset, LPPOINT old) {
  DC_OR(hdc, FALSE);
  POINT& p = dc->s.*field;
  if (old) *old = p;
  p = offset ? POINT{p.x + value.x, p.y + value.y} : value;
  return TRUE;
}
BOOL set_extent(HDC hdc, SIZE DcState::*field, SIZE value, LPSIZE old) {
  DC_OR(hdc, FALSE);
  SIZE& e = dc->s.*field;
  if (old) *old = e;
  if (dc->s.map_mode != MM_ISOTROPIC && dc->s.map_mode != MM_ANISOTROPIC) return TRUE;
  if (value.cx == 0 || value.cy == 0) return FALSE;
  e = value;
  fix_isotropic(dc->s);
  return TRUE;
}
}  // namespace

BOOL SetWindowOrgEx(HDC hdc, INT x, INT y, LPPOINT old) { return set_point(hdc, &DcState::win_org, POINT{x, y}, false, old); }
BOOL SetViewportOrgEx(HDC hdc, INT x, INT y, LPPOINT old) { return set_point(hdc, &DcState::vp_org, POINT{x, y}, false, old); }
BOOL OffsetViewportOrgEx(HDC hdc, INT dx, INT dy, LPPOINT old) { return set_point(hdc, &DcState::vp_org, POINT{dx, dy}, true, old); }
BOOL SetWindowExtEx(HDC hdc, INT x, INT y, LPSIZE old) { return set_extent(hdc, &DcState::win_ext, SIZE{x, y}, old); }
BOOL SetViewportExtEx(HDC hdc, INT x, INT y, LPSIZE old) { return set_extent(hdc, &DcState::vp_ext, SIZE{x, y}, old); }

BOOL GetWindowOrgEx(HDC hdc, LPPOINT out) {
  DC_OR(hdc, FALSE);
  if (out) *out = dc->s.win_org;
  return TRUE;
}
BOOL GetViewportOrgEx(HDC hdc, LPPOINT out) {
  DC_OR(hdc, FALSE);
  if (out) *out = dc->s.vp_org;
  return TRUE;
}
BOOL GetWindowExtEx(HDC hdc, LPSIZE out) {
  DC_OR(hdc, FALSE);
  if (out) *out = dc->s.win_ext;
  return TRUE;
}
BOOL GetViewportExtEx(HDC hdc, LPSIZE out) {
  DC_OR(hdc, FALSE);
  if (out) *out = dc->s.vp_ext;
  return TRUE;
}

BOOL LPtoDP(HDC hdc, LPPOINT points, INT count) {
  DC_OR(hdc, FALSE);
  for (INT i = 0; i < count; ++i) points[i] = to_device(dc->s, points[i]);
  return TRUE;
}

BOOL DPtoLP(HDC hdc, LPPOINT points, INT count) {
  DC_OR(hdc, FALSE);
  const DcState& s = dc->s;
  if (!s.vp_ext.cx || !s.vp_ext.cy) return FALSE;
  for (INT i = 0; i < count; ++i) {
    long long x = div_round(static_cast<long long>(points[i].x - s.vp_org.x) * s.win_ext.cx, s.vp_ext.cx) + s.win_org.x;
    long long y = div_round(static_cast<long long>(points[i].y - s.vp_org.y) * s.win_ext.cy, s.vp_ext.cy) + s.win_org.y;
    points[i] = POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
  }
  return TRUE;
}

HPALETTE SelectPalette(HDC hdc, HPALETTE palette, BOOL) {
  DC_OR(hdc, nullptr);
  auto p = find_as<Palette>(palette);
  if (!p) return nullptr;
  HPALETTE old = dc->s.palette ? static_cast<HPALETTE>(dc->s.palette->handle) : nullptr;
  dc->s.palette = p;
  return old;
}

// The screen has no palette of its own (32 bits per pixel): realising maps
// no entries.
UINT RealizePalette(HDC hdc) {
  DC_OR(hdc, GDI_ERROR);
  return 0;
}

COLORREF GetNearestColor(HDC hdc, COLORREF colour) {
  DC_OR(hdc, CLR_INVALID);
  COLORREF c = resolve(*dc, colour);
  const Bitmap* bm = dc->target();
  return bm ? bm->colour_of(bm->raw_of(c)) : c;
}

BOOL GdiFlush() { return TRUE; }

}  // extern "C"
