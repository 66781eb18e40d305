// Objects of the software GDI and the pieces its drawing code shares:
// bitmaps with their pixel formats, regions over pixman, DCs with their
// saved states, and the clipped target a DC draws on.
#pragma once

#include <pixman.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "win/errors.h"
#include "win/gdi.h"

namespace morva::platform {
class PrinterDcTarget;
}

namespace morva::platform::gdi {

// One lock serialises every GDI call: objects may be shared between DCs
// and threads, as on the real platform.
std::recursive_mutex& gdi_lock();

enum class Kind { dc, bitmap, pen, brush, font, region, palette };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
  bool stock = false;
  int selected = 0;  // DCs that have it selected now
  HGDIOBJ handle = nullptr;
  bool resource_image = false;  // a bitmap of the resource reader, adopted under its handle
};

// A bitmap: a device bitmap (DDB: monochrome, or the screen's 32 bits) or a
// DIB section of any depth with its colour table or channel masks. Raw
// pixel values are what the format stores: colour-table indices up to 8
// bits, packed channels above. Raster operations work on raw values, as
// GDI's do.
struct Bitmap : Object {
  Bitmap() : Object(Kind::bitmap) {}
  int width = 0, height = 0, bpp = 32;
  int stride = 0;
  bool top_down = true;   // row 0 first in memory (DIBs are bottom-up unless the height was negative)
  bool dib = false;       // a DIB section
  std::vector<RGBQUAD> colours;  // up to 8 bits per pixel
  DWORD masks[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};  // 16 and 32 bits: red, green, blue
  BYTE* bits = nullptr;   // stable for the bitmap's life (DIB section pointers)
  std::unique_ptr<BYTE[]> store;

  // A monochrome device bitmap: the colour conversions of blits use the
  // DCs' text and background colours with it.
  bool mono_ddb() const { return bpp == 1 && !dib; }
  BYTE* row(int y) const { return bits + static_cast<std::size_t>(top_down ? y : height - 1 - y) * stride; }
  std::uint32_t get(int x, int y) const;
  void put(int x, int y, std::uint32_t v);
  std::uint32_t value_mask() const { return bpp >= 32 ? 0xFFFFFFFFu : ((1u << bpp) - 1); }
  // Raw value to COLORREF, and COLORREF to the nearest raw value.
  COLORREF colour_of(std::uint32_t raw) const;
  std::uint32_t raw_of(COLORREF colour) const;
};

// Makes a bitmap; `top_down` false for bottom-up DIB storage. Colour table
// for up to 8 bits (missing entries black). Null when too large.
std::shared_ptr<Bitmap> make_bitmap(int width, int height, int bpp, bool dib, bool top_down,
                                    const std::vector<RGBQUAD>& colours);
// The 1 x 1 monochrome bitmap that every new memory DC starts with.
std::shared_ptr<Bitmap> default_bitmap();
// The default colour tables of 1, 4 and 8 bits per pixel.
const std::vector<RGBQUAD>& default_colours(int bpp);

// A region in device pixels.
class Region {
 public:
  Region() { pixman_region32_init(&r_); }
  explicit Region(const RECT& rc);
  Region(const Region& o) { pixman_region32_init(&r_); pixman_region32_copy(&r_, &o.r_); }
  Region& operator=(const Region& o) {
    if (this != &o) pixman_region32_copy(&r_, &o.r_);
    return *this;
  }
  ~Region() { pixman_region32_fini(&r_); }
  pixman_region32_t* get() { return &r_; }
  const pixman_region32_t* get() const { return &r_; }
  void set_rect(const RECT& rc);
  void intersect(const Region& o) { pixman_region32_intersect(&r_, &r_, &o.r_); }
  void unite(const Region& o) { pixman_region32_union(&r_, &r_, &o.r_); }
  void subtract(const Region& o) { pixman_region32_subtract(&r_, &r_, &o.r_); }
  void offset(int dx, int dy) { pixman_region32_translate(&r_, dx, dy); }
  bool empty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&r_)); }
  bool contains(int x, int y) const { return pixman_region32_contains_point(const_cast<pixman_region32_t*>(&r_), x, y, nullptr); }
  RECT box() const;
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int complexity() const;
  // Calls f(y, x0, x1) for each run of row y inside the region between
  // x0 and x1 (end exclusive).
  template <class F>
  void spans(int y, int x0, int x1, F&& f) const {
    int n = 0;
    const pixman_box32_t* b = pixman_region32_rectangles(const_cast<pixman_region32_t*>(&r_), &n);
    for (int i = 0; i < n; ++i) {
      if (b[i].y1 > y) break;  // boxes are sorted by bands
      if (y >= b[i].y2) continue;
      int a = b[i].x1 > x0 ? b[i].x1 : x0, e = b[i].x2 < x1 ? b[i].x2 : x1;
      if (a < e) f(y, a, e);
    }
  }
  // A region from spans given as boxes (overlaps allowed).
  static Region from_boxes(std::vector<pixman_box32_t>& boxes);

 private:
  pixman_region32_t r_;
};

struct RegionObject : Object {
  RegionObject() : Object(Kind::region) {}
  Region rgn;
};

struct Pen : Object {
  Pen() : Object(Kind::pen) {}
  UINT style = PS_SOLID;
  int width = 1;
  COLORREF colour = 0;
  bool dc_pen = false;  // DC_PEN: the DC's pen colour
};

struct Brush : Object {
  Brush() : Object(Kind::brush) {}
  UINT style = BS_SOLID;
  COLORREF colour = 0;
  int hatch = 0;
  std::shared_ptr<Bitmap> pattern;  // a private copy of the pattern bitmap
  bool dc_brush = false;  // DC_BRUSH: the DC's brush colour
};

struct Font : Object {
  Font() : Object(Kind::font) {}
  LOGFONTW log{};
  // The font realised at the device size of its last use.
  std::shared_ptr<fonts::FontInstance> inst;
  LONG inst_height = 0, inst_width = 0;
};

struct Palette : Object {
  Palette() : Object(Kind::palette) {}
  std::vector<PALETTEENTRY> entries;
};

// Everything SaveDC keeps.
struct DcState {
  std::shared_ptr<Bitmap> bitmap;  // memory DCs: the selected bitmap
  std::shared_ptr<Pen> pen;
  std::shared_ptr<Brush> brush;
  std::shared_ptr<Font> font;
  std::shared_ptr<Palette> palette;
  COLORREF text = RGB(0, 0, 0), bk = RGB(255, 255, 255);
  int bk_mode = OPAQUE, rop2 = R2_COPYPEN, stretch = BLACKONWHITE, fill = ALTERNATE;
  UINT align = TA_LEFT | TA_TOP;
  POINT brush_org{0, 0}, pos{0, 0};
  COLORREF dc_brush = RGB(255, 255, 255), dc_pen = RGB(0, 0, 0);
  int map_mode = MM_TEXT;
  POINT win_org{0, 0}, vp_org{0, 0};
  SIZE win_ext{1, 1}, vp_ext{1, 1};
  std::optional<Region> clip;  // device pixels; none: the whole surface
};

struct Dc : Object {
  // A printer DC keeps its state here and hands its drawing to its host.
  enum class Type { memory, screen, surface, printer };
  explicit Dc(Type t) : Object(Kind::dc), type(t) {}
  Type type;
  DcState s;
  std::vector<DcState> saved;
  std::shared_ptr<Bitmap> surface;  // screen and surface DCs
  POINT origin{0, 0};               // device (0, 0) on the surface
  RECT visible{0, 0, 0, 0};         // surface pixels that may be drawn
  std::optional<Region> visible_rgn;  // when the visible part is not a rectangle
  bool from_get_dc = false;
  PrinterDcTarget* printer = nullptr;  // printer DCs: the host that draws

  Bitmap* target() const { return type == Type::memory ? s.bitmap.get() : surface.get(); }
};

// Where a DC draws now: the bitmap, the device-to-surface offset and the
// clip in surface pixels (surface bounds, visible part, clip region).
struct Target {
  Bitmap* bm = nullptr;
  int ox = 0, oy = 0;
  Region clip;
};
bool target_of(const Dc& dc, Target& out);

// Handle table.
HGDIOBJ insert(std::shared_ptr<Object> object);
std::shared_ptr<Object> find(HGDIOBJ handle);
// Removes a handle from the table (the object lives on while referenced).
bool erase_handle(HGDIOBJ handle);
template <class T>
std::shared_ptr<T> find_as(HGDIOBJ handle) {
  auto o = std::dynamic_pointer_cast<T>(find(handle));
  if (!o) SetLastError(ERROR_INVALID_HANDLE);
  return o;
}
std::shared_ptr<Dc> find_dc(HDC dc);
// Printer DCs: a DC whose state lives here and whose drawing goes to `host`.
HDC create_printer_dc(PrinterDcTarget* host);
// The host of a printer DC, or null (ERROR_INVALID_HANDLE).
PrinterDcTarget* printer_dc_host(HDC dc);
void delete_printer_dc(HDC dc);
// Frees a DC made by CreateDCW with its host; false for any other DC.
bool delete_made_printer_dc(HDC dc);
// The bitmap of a handle; a bitmap of the resource reader (LoadBitmapW)
// becomes a GDI bitmap on first use, under the same handle.
std::shared_ptr<Bitmap> find_bitmap(HGDIOBJ handle);
std::shared_ptr<Brush> stock_brush(int index);
// A brush for FillRect and friends: a handle, or a system colour index + 1.
std::shared_ptr<Brush> brush_arg(HBRUSH brush);

// Colours: a COLORREF as RGB, palette indices through the DC's palette.
COLORREF resolve(const Dc& dc, COLORREF colour);

// Coordinates: logical to device points and lengths.
POINT to_device(const DcState& s, POINT p);
RECT to_device(const DcState& s, const RECT& r);  // normalised (left <= right)
Region to_device_region(const DcState& s, const Region& logical);
int scale_x(const DcState& s, int len);
int scale_y(const DcState& s, int len);

// Raster operations on raw values masked to the format's bits.
inline std::uint32_t rop2(int code, std::uint32_t p, std::uint32_t d) {
  const int r = code - 1;
  std::uint32_t out = 0;
  if (r & 1) out |= ~p & ~d;
  if (r & 2) out |= ~p & d;
  if (r & 4) out |= p & ~d;
  if (r & 8) out |= p & d;
  return out;
}
inline std::uint32_t rop3(BYTE code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  std::uint32_t out = 0;
  for (int i = 0; i < 8; ++i) {
    if (!(code & (1 << i))) continue;
    out |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  }
  return out;
}
inline bool rop_uses_source(BYTE code) { return ((code >> 2) & 0x33) != (code & 0x33); }
inline bool rop_uses_pattern(BYTE code) { return ((code >> 4) & 0x0F) != (code & 0x0F); }

// The brush of a drawing, resolved for one target: the raw pattern value of
// any device pixel, or none where a transparent hatch leaves the pixel.
class BrushPaint {
 public:
  // `opaque` forces hatch backgrounds to be painted (blits always paint
  // them in the background colour).
  BrushPaint(const Dc& dc, const Brush* brush, const Bitmap& target, bool opaque = false);
  bool null() const { return null_; }
  bool at(int dev_x, int dev_y, std::uint32_t& raw) const;

 private:
  bool null_ = false;
  UINT style_ = BS_SOLID;
  int hatch_ = 0;
  std::uint32_t fore_ = 0, back_ = 0;
  bool opaque_ = true;
  POINT org_{0, 0};
  int pw_ = 0, ph_ = 0;
  std::vector<std::uint32_t> pattern_;  // raw values for the target
};

// Paints the pixels of `area` (device pixels) with a brush under the DC's
// ROP2, clipped; the shared fill of shapes, FillRect and regions.
void fill_area(const Dc& dc, Target& t, const Region& area, const Brush* brush);
// Paints `area` in one raw colour under a ROP2.
void paint_area(Target& t, const Region& area, std::uint32_t raw, int rop2);

// The colour of a DIB colour table entry, and the DIB header checks shared
// by the DIB functions. The colour table of `info` as RGB (DIB_PAL_COLORS
// through the DC's palette).
struct DibFormat {
  std::size_t header_bytes = 0;  // header, masks and colour table: the bits of a packed DIB follow
  int width = 0, height = 0, bpp = 0;
  bool top_down = false;
  int stride = 0;
  DWORD compression = BI_RGB;
  DWORD masks[3] = {0, 0, 0};
  std::vector<RGBQUAD> colours;
};
bool read_dib_format(const BITMAPINFO* info, UINT usage, const Dc* dc, DibFormat& out);
// A bitmap holding a copy of a DIB's pixels.
std::shared_ptr<Bitmap> bitmap_from_dib(const DibFormat& f, const void* bits);
// True when two bitmaps store colours the same way (raw values can move
// between them unchanged).
bool same_format(const Bitmap& a, const Bitmap& b);
// Maps colours to the raw values of one bitmap, remembering the nearest
// colour-table matches.
class RawOf {
 public:
  explicit RawOf(const Bitmap& b) : b_(b) {}
  std::uint32_t operator()(COLORREF c);

 private:
  const Bitmap& b_;
  std::vector<std::pair<COLORREF, std::uint32_t>> cache_;
};
// Copies pixels between bitmaps of any formats, by colour.
void convert_pixels(const Bitmap& src, int sx, int sy, Bitmap& dst, int dx, int dy, int w, int h);

// The ROP3 blit shared by BitBlt, StretchBlt, the DIB transfers and
// MaskBlt: dest rectangle in device pixels; the source (may be null) is
// sampled by `sx(i)`, `sy(j)` per destination column and row; `mask`, when
// given, selects the background ROP where its bit is 0.
struct BlitSource {
  const Bitmap* bm = nullptr;
  COLORREF text = 0, bk = RGB(255, 255, 255);  // the source DC's colours
  std::vector<int> xs, ys;                      // source pixel per dest column / row
};
bool rop_blit(Dc& dest, RECT dev_rect, const BlitSource* src, DWORD rop,
              const Bitmap* mask = nullptr, int mask_x = 0, int mask_y = 0, BYTE back_rop = 0);

}  // namespace morva::platform::gdi
