// Lines and shapes: pens, the current position, polylines and polygons,
// rectangles, rounded rectangles and ellipses, FillRect and its kin,
// DrawEdge and DrawFocusRect; and the rectangle helpers.
//
// Rules of the real platform kept here:
// - A line leaves out its last point; the current position moves to it.
// - Rectangle, RoundRect and Ellipse cover left..right-1 and top..bottom-1;
//   the pen draws the outline inside that box and the brush fills the
//   rest. With the null pen the figure is one pixel narrower and lower.
// - Pens and brushes of shapes draw under the DC's ROP2; styled pens of
//   width 1 paint their gaps in the background colour when the background
//   mode is OPAQUE. Every pixel of one figure is painted once, so XOR modes
//   invert each pixel once.
// - Polygon fills pixels whose centre is inside, by the DC's fill mode
//   (ALTERNATE or WINDING), then outlines the closed figure.
// - FillRect, FrameRect and InvertRect are pattern blits: the DC's ROP2 has
//   no effect on them. A brush argument from 1 to 31 is a system colour
//   index + 1.
// - DrawFocusRect inverts every other pixel of the frame, so drawing it
//   twice removes it.
#include <algorithm>
#include <cmath>
#include <functional>

#include "screen_gdi/gdi_internal.h"
#include "win/printer_dc.h"

namespace morva::platform::gdi {
namespace {

struct Boxes {
  std::vector<pixman_box32_t> on, gap;
  void add(std::vector<pixman_box32_t>& v, int x0, int y, int x1) { v.push_back(pixman_box32_t{x0, y, x1, y + 1}); }
};

const std::vector<int>& dash_pattern(UINT style) {
  static const std::vector<int> none, dash{18, 6}, dot{3, 3}, dashdot{9, 6, 3, 6}, dashdotdot{9, 3, 3, 3, 3, 3};
  switch (style) {
    case PS_DASH: return dash;
    case PS_DOT: return dot;
    case PS_DASHDOT: return dashdot;
    case PS_DASHDOTDOT: return dashdotdot;
    default: return none;
  }
}

// Rasterises lines in device pixels for one pen, keeping the dash phase
// across the segments of a polyline.
class LineRaster {
 public:
  LineRaster(UINT style, int width) : width_(width), dashes_(dash_pattern(style)) {
    if (width_ > 1) dashes_ = dash_pattern(PS_SOLID);  // wide pens are solid
  }
  void line(POINT a, POINT b, bool last) {
    int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int err = dx + dy, x = a.x, y = a.y;
    while (true) {
      bool end = x == b.x && y == b.y;
      if (end && !last) break;
      plot(x, y);
      if (end) break;
      int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y += sy;
      }
    }
  }
  Boxes& boxes() { return boxes_; }

 private:
  void plot(int x, int y) {
    bool on = true;
    if (!dashes_.empty()) {
      int total = 0;
      for (int d : dashes_) total += d;
      int p = phase_ % total, i = 0;
      while (p >= dashes_[static_cast<std::size_t>(i)]) p -= dashes_[static_cast<std::size_t>(i++)];
      on = (i % 2) == 0;
      ++phase_;
    }
    auto& v = on ? boxes_.on : boxes_.gap;
    if (width_ <= 1) {
      boxes_.add(v, x, y, x + 1);
      return;
    }
    // A round stamp of the pen's width: pixel centres within its radius.
    double r = width_ / 2.0;
    for (int j = 0; j < width_; ++j) {
      double yy = j + 0.5 - r;
      int half = static_cast<int>(std::floor(std::sqrt(std::max(0.0, r * r - yy * yy)) + 1e-9));
      boxes_.add(v, x - half, y - width_ / 2 + j, x + half + 1);
    }
  }
  int width_;
  std::vector<int> dashes_;
  int phase_ = 0;
  Boxes boxes_;
};

int pen_width(const Dc& dc) {
  const Pen* p = dc.s.pen.get();
  return p->width <= 1 ? 1 : std::max(1, scale_x(dc.s, p->width));
}

bool null_pen(const Dc& dc) { return !dc.s.pen || dc.s.pen->style == PS_NULL; }

void paint_lines(const Dc& dc, Target& t, Boxes& b) {
  const Pen* p = dc.s.pen.get();
  std::uint32_t raw = t.bm->raw_of(resolve(dc, p->dc_pen ? dc.s.dc_pen : p->colour));
  paint_area(t, Region::from_boxes(b.on), raw, dc.s.rop2);
  if (!b.gap.empty() && dc.s.bk_mode == OPAQUE) {
    Region gaps = Region::from_boxes(b.gap);
    gaps.subtract(Region::from_boxes(b.on));
    paint_area(t, gaps, t.bm->raw_of(resolve(dc, dc.s.bk)), dc.s.rop2);
  }
}

BOOL draw_poly(HDC hdc, const POINT* pts, INT count, bool closed) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  Target t;
  if (!dc || !pts || count < 2 || !target_of(*dc, t)) return FALSE;
  if (null_pen(*dc)) return TRUE;
  LineRaster lr(dc->s.pen->style, pen_width(*dc));
  std::vector<POINT> dev(static_cast<std::size_t>(count));
  for (INT i = 0; i < count; ++i) dev[static_cast<std::size_t>(i)] = to_device(dc->s, pts[i]);
  for (INT i = 0; i + 1 < count; ++i) lr.line(dev[static_cast<std::size_t>(i)], dev[static_cast<std::size_t>(i + 1)], false);
  if (closed) lr.line(dev.back(), dev.front(), false);
  paint_lines(*dc, t, lr.boxes());
  return TRUE;
}

// A figure given by which device pixels are inside it, within `box`: the
// outline of the pen's width is painted with the pen, the rest with the
// brush.
BOOL draw_figure(Dc& dc, RECT box, const std::function<bool(int, int)>& inside) {
  Target t;
  if (!target_of(dc, t)) return FALSE;
  const bool pen = !null_pen(dc);
  const int w = pen ? pen_width(dc) : 0;
  std::vector<pixman_box32_t> fill, edge;
  for (int y = box.top; y < box.bottom; ++y) {
    int run_start = 0;
    bool run_edge = false, in_run = false;
    auto flush = [&](int x) {
      if (in_run) (run_edge ? edge : fill).push_back(pixman_box32_t{run_start, y, x, y + 1});
      in_run = false;
    };
    for (int x = box.left; x < box.right; ++x) {
      if (!inside(x, y)) {
        flush(x);
        continue;
      }
      bool e = pen && !(inside(x - w, y) && inside(x + w, y) && inside(x, y - w) && inside(x, y + w));
      if (!in_run || e != run_edge) {
        flush(x);
        in_run = true;
        run_edge = e;
        run_start = x;
      }
    }
    flush(box.right);
  }
  if (!fill.empty()) fill_area(dc, t, Region::from_boxes(fill), dc.s.brush.get());
  if (!edge.empty()) {
    Boxes b;
    b.on = std::move(edge);
    paint_lines(dc, t, b);
  }
  return TRUE;
}

// The device box of a figure: normalised, and one pixel smaller on the
// right and bottom with the null pen.
bool figure_box(const Dc& dc, INT l, INT t, INT r, INT b, RECT& out) {
  out = to_device(dc.s, RECT{l, t, r, b});
  if (null_pen(dc)) {
    --out.right;
    --out.bottom;
  }
  return out.right > out.left && out.bottom > out.top;
}

BOOL blit_brush(HDC hdc, const RECT* rc, HBRUSH brush, DWORD rop) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc || !rc) return FALSE;
  std::shared_ptr<Brush> b;
  if (brush) {
    b = brush_arg(brush);
    if (!b) return FALSE;
    if (b->style == BS_NULL) return TRUE;  // a hollow brush paints nothing
  }
  RECT r = to_device(dc->s, *rc);
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;
  auto keep = dc->s.brush;
  if (b) dc->s.brush = b;
  bool ok = rop_blit(*dc, r, nullptr, rop);
  dc->s.brush = keep;
  return ok ? TRUE : FALSE;
}

}  // namespace
}  // namespace morva::platform::gdi

using namespace morva::platform::gdi;

namespace {
// A printer DC's shape goes to its host with the DC's pen and brush.
BOOL printer_shape(Dc& dc, int kind, const std::vector<POINT>& device) {
  if (!dc.printer) return FALSE;
  LOGPEN pen{};
  if (const Pen* p = dc.s.pen.get()) {
    pen.lopnStyle = p->style;
    pen.lopnWidth = POINT{p->width, 0};
    pen.lopnColor = resolve(dc, p->dc_pen ? dc.s.dc_pen : p->colour);
  }
  const Brush* b = dc.s.brush.get();
  const BOOL hollow = !b || b->style == BS_NULL;
  const COLORREF fill = b ? resolve(dc, b->dc_brush ? dc.s.dc_brush : b->colour) : 0;
  return dc.printer->draw_shape(kind, device.data(), static_cast<int>(device.size()), pen, hollow, fill);
}
}  // namespace

extern "C" {

BOOL MoveToEx(HDC hdc, INT x, INT y, LPPOINT old) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return FALSE;
  if (old) *old = dc->s.pos;
  dc->s.pos = POINT{x, y};
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, LPPOINT out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc || !out) return FALSE;
  *out = dc->s.pos;
  return TRUE;
}

BOOL LineTo(HDC hdc, INT x, INT y) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return FALSE;
  POINT pts[2] = {dc->s.pos, POINT{x, y}};
  BOOL ok = draw_poly(hdc, pts, 2, false);
  dc->s.pos = POINT{x, y};
  return ok;
}

BOOL Polyline(HDC hdc, const POINT* pts, INT count) { return draw_poly(hdc, pts, count, false); }


BOOL Polygon(HDC hdc, const POINT* pts, INT count) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (dc && dc->type == Dc::Type::printer && pts && count >= 2) {
    std::vector<POINT> device;
    for (INT i = 0; i < count; ++i) device.push_back(to_device(dc->s, pts[i]));
    return printer_shape(*dc, 0, device);
  }
  Target t;
  if (!dc || !pts || count < 2 || !target_of(*dc, t)) return FALSE;
  std::vector<POINT> dev(static_cast<std::size_t>(count));
  RECT box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (INT i = 0; i < count; ++i) {
    POINT p = to_device(dc->s, pts[i]);
    dev[static_cast<std::size_t>(i)] = p;
    box = RECT{std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x), std::max(box.bottom, p.y)};
  }
  // Scan lines through pixel centres; crossings with their edge direction.
  std::vector<pixman_box32_t> spans;
  std::vector<std::pair<double, int>> xs;
  for (int y = box.top; y < box.bottom; ++y) {
    double cy = y + 0.5;
    xs.clear();
    for (std::size_t i = 0; i < dev.size(); ++i) {
      POINT a = dev[i], b = dev[(i + 1) % dev.size()];
      if (a.y == b.y) continue;
      int dir = a.y < b.y ? 1 : -1;
      if (a.y > b.y) std::swap(a, b);
      if (cy < a.y || cy >= b.y) continue;
      xs.emplace_back(a.x + (cy - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y), dir);
    }
    std::sort(xs.begin(), xs.end());
    int wind = 0;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
      wind += xs[i].second;
      bool in = dc->s.fill == WINDING ? wind != 0 : (i % 2) == 0;
      if (!in) continue;
      int x0 = static_cast<int>(std::ceil(xs[i].first - 0.5)), x1 = static_cast<int>(std::ceil(xs[i + 1].first - 0.5));
      if (x0 < x1) spans.push_back(pixman_box32_t{x0, y, x1, y + 1});
    }
  }
  if (!spans.empty()) fill_area(*dc, t, Region::from_boxes(spans), dc->s.brush.get());
  return draw_poly(hdc, pts, count, true);
}

BOOL Rectangle(HDC hdc, INT l, INT t, INT r, INT b) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  RECT box;
  if (!dc) return FALSE;
  if (!figure_box(*dc, l, t, r, b, box)) return TRUE;
  return draw_figure(*dc, box, [box](int x, int y) { return x >= box.left && x < box.right && y >= box.top && y < box.bottom; });
}

BOOL Ellipse(HDC hdc, INT l, INT t, INT r, INT b) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  RECT box;
  if (!dc) return FALSE;
  if (dc->type == Dc::Type::printer)
    return printer_shape(*dc, 1, {to_device(dc->s, POINT{l, t}), to_device(dc->s, POINT{r, b})});
  if (!figure_box(*dc, l, t, r, b, box)) return TRUE;
  double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
  double a = (box.right - box.left) / 2.0, c = (box.bottom - box.top) / 2.0;
  return draw_figure(*dc, box, [=](int x, int y) {
    double u = (x + 0.5 - cx) / a, v = (y + 0.5 - cy) / c;
    return u * u + v * v <= 1.0;
  });
}

BOOL RoundRect(HDC hdc, INT l, INT t, INT r, INT b, INT ew, INT eh) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  RECT box;
  if (!dc) return FALSE;
  if (!figure_box(*dc, l, t, r, b, box)) return TRUE;
  double rx = std::min(scale_x(dc->s, std::abs(ew)) / 2.0, (box.right - box.left) / 2.0);
  double ry = std::min(scale_y(dc->s, std::abs(eh)) / 2.0, (box.bottom - box.top) / 2.0);
  return draw_figure(*dc, box, [=](int x, int y) {
    if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) return false;
    double px = x + 0.5, py = y + 0.5;
    double cx = px < box.left + rx ? box.left + rx : px > box.right - rx ? box.right - rx : px;
    double cy = py < box.top + ry ? box.top + ry : py > box.bottom - ry ? box.bottom - ry : py;
    if (cx == px || cy == py || rx <= 0 || ry <= 0) return true;
    double u = (px - cx) / rx, v = (py - cy) / ry;
    return u * u + v * v <= 1.0;
  });
}

INT FillRect(HDC hdc, const RECT* rc, HBRUSH brush) {
  if (!brush) return FALSE;
  return blit_brush(hdc, rc, brush, PATCOPY);
}

INT FrameRect(HDC hdc, const RECT* rc, HBRUSH brush) {
  if (!rc || !brush) return FALSE;
  if (rc->right <= rc->left || rc->bottom <= rc->top) return TRUE;
  RECT sides[4] = {{rc->left, rc->top, rc->right, rc->top + 1},
                   {rc->left, rc->bottom - 1, rc->right, rc->bottom},
                   {rc->left, rc->top + 1, rc->left + 1, rc->bottom - 1},
                   {rc->right - 1, rc->top + 1, rc->right, rc->bottom - 1}};
  for (const RECT& s : sides)
    if (s.right > s.left && s.bottom > s.top && !blit_brush(hdc, &s, brush, PATCOPY)) return FALSE;
  return TRUE;
}

BOOL InvertRect(HDC hdc, const RECT* rc) { return blit_brush(hdc, rc, nullptr, DSTINVERT); }

BOOL DrawFocusRect(HDC hdc, const RECT* rc) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  Target t;
  if (!dc || !rc || !target_of(*dc, t)) return FALSE;
  RECT r = to_device(dc->s, *rc);
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;
  std::vector<pixman_box32_t> dots;
  for (int x = r.left; x < r.right; ++x)
    for (int y : {static_cast<int>(r.top), static_cast<int>(r.bottom - 1)})
      if (((x + y) & 1) == 0) dots.push_back(pixman_box32_t{x, y, x + 1, y + 1});
  for (int y = r.top + 1; y < r.bottom - 1; ++y)
    for (int x : {static_cast<int>(r.left), static_cast<int>(r.right - 1)})
      if (((x + y) & 1) == 0) dots.push_back(pixman_box32_t{x, y, x + 1, y + 1});
  paint_area(t, Region::from_boxes(dots), 0, R2_NOT);
  return TRUE;
}

BOOL DrawEdge(HDC hdc, RECT* rc, UINT edge, UINT flags) {
  if (!rc) return FALSE;
  RECT r = *rc;
  struct Pair {
    int tl, br;
  };
  // Outer then inner border: colours of the top-left and bottom-right sides.
  Pair outer{-1, -1}, inner{-1, -1};
  if (flags & BF_MONO) {
    outer = Pair{COLOR_WINDOWFRAME, COLOR_WINDOWFRAME};
    inner = Pair{COLOR_WINDOW, COLOR_WINDOW};
  } else if (flags & BF_FLAT) {
    outer = Pair{COLOR_BTNSHADOW, COLOR_BTNSHADOW};
    inner = Pair{COLOR_BTNFACE, COLOR_BTNFACE};
  } else {
    if (edge & BDR_RAISEDOUTER) outer = Pair{COLOR_3DLIGHT, COLOR_3DDKSHADOW};
    else if (edge & BDR_SUNKENOUTER) outer = Pair{COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
    if (edge & BDR_RAISEDINNER) inner = Pair{COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    else if (edge & BDR_SUNKENINNER) inner = Pair{COLOR_3DDKSHADOW, COLOR_3DLIGHT};
  }
  auto brush = [](int index) { return reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(index + 1)); };
  for (const Pair& p : {outer, inner}) {
    if (p.tl < 0 || r.right <= r.left || r.bottom <= r.top) continue;
    RECT side;
    if (flags & BF_LEFT) FillRect(hdc, &(side = RECT{r.left, r.top, r.left + 1, r.bottom}), brush(p.tl));
    if (flags & BF_TOP) FillRect(hdc, &(side = RECT{r.left, r.top, r.right, r.top + 1}), brush(p.tl));
    if (flags & BF_RIGHT) FillRect(hdc, &(side = RECT{r.right - 1, r.top, r.right, r.bottom}), brush(p.br));
    if (flags & BF_BOTTOM) FillRect(hdc, &(side = RECT{r.left, r.bottom - 1, r.right, r.bottom}), brush(p.br));
    if (flags & BF_LEFT) ++r.left;
    if (flags & BF_TOP) ++r.top;
    if (flags & BF_RIGHT) --r.right;
    if (flags & BF_BOTTOM) --r.bottom;
  }
  if ((flags & BF_MIDDLE) && r.right > r.left && r.bottom > r.top)
    FillRect(hdc, &r, brush((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE));
  if (flags & BF_ADJUST) *rc = r;
  return TRUE;
}

// Rectangle helpers; weak, so that the window system's own definitions
// take their place when it has them.
__attribute__((weak)) BOOL SetRect(LPRECT rc, INT l, INT t, INT r, INT b) {
  if (!rc) return FALSE;
  *rc = RECT{l, t, r, b};
  return TRUE;
}
__attribute__((weak)) BOOL SetRectEmpty(LPRECT rc) { return SetRect(rc, 0, 0, 0, 0); }
__attribute__((weak)) BOOL CopyRect(LPRECT dest, const RECT* src) {
  if (!dest || !src) return FALSE;
  *dest = *src;
  return TRUE;
}
__attribute__((weak)) BOOL InflateRect(LPRECT rc, INT dx, INT dy) {
  if (!rc) return FALSE;
  *rc = RECT{rc->left - dx, rc->top - dy, rc->right + dx, rc->bottom + dy};
  return TRUE;
}
__attribute__((weak)) BOOL OffsetRect(LPRECT rc, INT dx, INT dy) {
  if (!rc) return FALSE;
  *rc = RECT{rc->left + dx, rc->top + dy, rc->right + dx, rc->bottom + dy};
  return TRUE;
}
__attribute__((weak)) BOOL IsRectEmpty(const RECT* rc) { return !rc || rc->right <= rc->left || rc->bottom <= rc->top; }
__attribute__((weak)) BOOL PtInRect(const RECT* rc, POINT p) {
  return rc && p.x >= rc->left && p.x < rc->right && p.y >= rc->top && p.y < rc->bottom;
}
__attribute__((weak)) BOOL IntersectRect(LPRECT dest, const RECT* a, const RECT* b) {
  if (!dest || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right), std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    *dest = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *dest = r;
  return TRUE;
}
__attribute__((weak)) BOOL UnionRect(LPRECT dest, const RECT* a, const RECT* b) {
  if (!dest || !a || !b) return FALSE;
  if (IsRectEmpty(a)) *dest = *b;
  else if (IsRectEmpty(b)) *dest = *a;
  else *dest = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
  return !IsRectEmpty(dest);
}
__attribute__((weak)) BOOL EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
// number * numerator / denominator with a 64-bit product, rounded half away
// from zero; -1 for a zero denominator.
__attribute__((weak)) INT MulDiv(INT number, INT numerator, INT denominator) {
  if (denominator == 0) return -1;
  long long p = static_cast<long long>(number) * numerator;
  long long d = denominator;
  bool neg = (p < 0) != (d < 0);
  long long q = (std::llabs(p) + std::llabs(d) / 2) / std::llabs(d);
  q = neg ? -q : q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<INT>(q);
}

}  // extern "C"
