// Regions (over pixman's region code) and the clip region of a DC.
//
// Rules of the real platform kept here:
// - Region coordinates and a DC's clip region are in device units; the
//   clip rectangles of IntersectClipRect and ExcludeClipRect are logical
//   and mapped first. Rectangles exclude their right and bottom edges.
// - SelectClipRgn keeps a copy (the caller still owns and deletes the
//   region); NULL removes the clip region. The answer is the complexity of
//   the new clip region.
// - A DC without a clip region clips to its surface only; GetClipRgn then
//   answers 0 and leaves the region alone.
#include <algorithm>

#include "screen_gdi/gdi_internal.h"

namespace morva::platform::gdi {

Region::Region(const RECT& rc) {
  pixman_region32_init(&r_);
  set_rect(rc);
}

void Region::set_rect(const RECT& rc) {
  pixman_region32_fini(&r_);
  if (rc.right > rc.left && rc.bottom > rc.top)
    pixman_region32_init_rect(&r_, rc.left, rc.top, static_cast<unsigned>(rc.right - rc.left),
                              static_cast<unsigned>(rc.bottom - rc.top));
  else
    pixman_region32_init(&r_);
}

RECT Region::box() const {
  if (empty()) return RECT{0, 0, 0, 0};
  const pixman_box32_t* b = pixman_region32_extents(const_cast<pixman_region32_t*>(&r_));
  return RECT{b->x1, b->y1, b->x2, b->y2};
}

int Region::complexity() const {
  int n = pixman_region32_n_rects(const_cast<pixman_region32_t*>(&r_));
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

Region Region::from_boxes(std::vector<pixman_box32_t>& boxes) {
  Region r;
  if (!boxes.empty()) {
    pixman_region32_fini(&r.r_);
    pixman_region32_init_rects(&r.r_, boxes.data(), static_cast<int>(boxes.size()));
  }
  return r;
}

namespace {

// The device area a DC can draw on, in its device pixels.
Region device_bounds(const Dc& dc) {
  const Bitmap* bm = dc.target();
  if (!bm) return Region();
  if (dc.type == Dc::Type::surface) {
    Region r = dc.visible_rgn ? *dc.visible_rgn : Region(dc.visible);
    r.offset(-dc.origin.x, -dc.origin.y);
    return r;
  }
  return Region(RECT{0, 0, bm->width, bm->height});
}

Region current_clip(const Dc& dc) {
  Region r = device_bounds(dc);
  if (dc.s.clip) r.intersect(*dc.s.clip);
  return r;
}

int combine(Region& out, const Region& a, const Region* b, int mode) {
  switch (mode) {
    case RGN_AND: out = a; out.intersect(*b); break;
    case RGN_OR: out = a; out.unite(*b); break;
    case RGN_DIFF: out = a; out.subtract(*b); break;
    case RGN_XOR: {
      Region both = a;
      both.intersect(*b);
      out = a;
      out.unite(*b);
      out.subtract(both);
      break;
    }
    case RGN_COPY: out = a; break;
    default: return ERROR;
  }
  return out.complexity();
}

}  // namespace

Region to_device_region(const DcState& s, const Region& logical) {
  if (s.map_mode == MM_TEXT) {
    Region r = logical;
    r.offset(s.vp_org.x - s.win_org.x, s.vp_org.y - s.win_org.y);
    return r;
  }
  Region out;
  int n = 0;
  const pixman_box32_t* b = pixman_region32_rectangles(const_cast<pixman_region32_t*>(logical.get()), &n);
  for (int i = 0; i < n; ++i) out.unite(Region(to_device(s, RECT{b[i].x1, b[i].y1, b[i].x2, b[i].y2})));
  return out;
}

}  // namespace morva::platform::gdi

using namespace morva::platform::gdi;

extern "C" {

HRGN CreateRectRgn(INT left, INT top, INT right, INT bottom) {
  auto r = std::make_shared<RegionObject>();
  r->rgn.set_rect(RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)});
  return static_cast<HRGN>(insert(r));
}

HRGN CreateRectRgnIndirect(const RECT* rc) {
  if (!rc) return nullptr;
  return CreateRectRgn(rc->left, rc->top, rc->right, rc->bottom);
}

BOOL SetRectRgn(HRGN region, INT left, INT top, INT right, INT bottom) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto r = find_as<RegionObject>(region);
  if (!r) return FALSE;
  r->rgn.set_rect(RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)});
  return TRUE;
}

INT CombineRgn(HRGN dest, HRGN a, HRGN b, INT mode) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto d = find_as<RegionObject>(dest);
  auto ra = find_as<RegionObject>(a);
  auto rb = mode == RGN_COPY ? nullptr : find_as<RegionObject>(b);
  if (!d || !ra || (mode != RGN_COPY && !rb)) return ERROR;
  Region out;
  int r = combine(out, ra->rgn, rb ? &rb->rgn : nullptr, mode);
  if (r != ERROR) d->rgn = out;
  return r;
}

INT OffsetRgn(HRGN region, INT dx, INT dy) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto r = find_as<RegionObject>(region);
  if (!r) return ERROR;
  r->rgn.offset(dx, dy);
  return r->rgn.complexity();
}

BOOL PtInRegion(HRGN region, INT x, INT y) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto r = find_as<RegionObject>(region);
  return r && r->rgn.contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN region, const RECT* rc) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto r = find_as<RegionObject>(region);
  if (!r || !rc) return FALSE;
  Region x(*rc);
  x.intersect(r->rgn);
  return x.empty() ? FALSE : TRUE;
}

BOOL EqualRgn(HRGN a, HRGN b) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto ra = find_as<RegionObject>(a), rb = find_as<RegionObject>(b);
  if (!ra || !rb) return FALSE;
  return pixman_region32_equal(ra->rgn.get(), rb->rgn.get()) ? TRUE : FALSE;
}

INT GetRgnBox(HRGN region, LPRECT out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto r = find_as<RegionObject>(region);
  if (!r || !out) return ERROR;
  *out = r->rgn.box();
  return r->rgn.complexity();
}

BOOL FillRgn(HDC hdc, HRGN region, HBRUSH brush) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  auto r = find_as<RegionObject>(region);
  auto b = brush_arg(brush);
  Target t;
  if (!dc || !r || !b || !target_of(*dc, t)) return FALSE;
  fill_area(*dc, t, to_device_region(dc->s, r->rgn), b.get());
  return TRUE;
}

BOOL PaintRgn(HDC hdc, HRGN region) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return FALSE;
  return FillRgn(hdc, region, static_cast<HBRUSH>(dc->s.brush->handle));
}

BOOL FrameRgn(HDC hdc, HRGN region, HBRUSH brush, INT w, INT h) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  auto r = find_as<RegionObject>(region);
  auto b = brush_arg(brush);
  Target t;
  if (!dc || !r || !b || w < 1 || h < 1 || !target_of(*dc, t)) return FALSE;
  Region area = to_device_region(dc->s, r->rgn);
  // The frame is what the region loses when shrunk by w and h.
  Region inner = area;
  for (auto [dx, dy] : {std::pair{w, 0}, std::pair{-w, 0}, std::pair{0, h}, std::pair{0, -h}}) {
    Region moved = area;
    moved.offset(dx, dy);
    inner.intersect(moved);
  }
  area.subtract(inner);
  fill_area(*dc, t, area, b.get());
  return TRUE;
}

BOOL InvertRgn(HDC hdc, HRGN region) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  auto r = find_as<RegionObject>(region);
  Target t;
  if (!dc || !r || !target_of(*dc, t)) return FALSE;
  paint_area(t, to_device_region(dc->s, r->rgn), 0, R2_NOT);
  return TRUE;
}

INT SelectClipRgn(HDC hdc, HRGN region) { return ExtSelectClipRgn(hdc, region, RGN_COPY); }

INT ExtSelectClipRgn(HDC hdc, HRGN region, INT mode) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return ERROR;
  if (!region) {
    if (mode != RGN_COPY) return ERROR;
    dc->s.clip.reset();
    return SIMPLEREGION;
  }
  auto r = find_as<RegionObject>(region);
  if (!r) return ERROR;
  Region out;
  Region cur = current_clip(*dc);
  int res = mode == RGN_COPY ? combine(out, r->rgn, nullptr, RGN_COPY) : combine(out, cur, &r->rgn, mode);
  if (res == ERROR) return ERROR;
  dc->s.clip = out;
  return out.complexity();
}

INT IntersectClipRect(HDC hdc, INT left, INT top, INT right, INT bottom) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return ERROR;
  Region cur = current_clip(*dc);
  cur.intersect(Region(to_device(dc->s, RECT{left, top, right, bottom})));
  dc->s.clip = cur;
  return cur.complexity();
}

INT ExcludeClipRect(HDC hdc, INT left, INT top, INT right, INT bottom) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return ERROR;
  Region cur = current_clip(*dc);
  cur.subtract(Region(to_device(dc->s, RECT{left, top, right, bottom})));
  dc->s.clip = cur;
  return cur.complexity();
}

INT OffsetClipRgn(HDC hdc, INT dx, INT dy) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return ERROR;
  if (!dc->s.clip) return SIMPLEREGION;
  dc->s.clip->offset(scale_x(dc->s, dx), scale_y(dc->s, dy));
  return dc->s.clip->complexity();
}

INT GetClipBox(HDC hdc, LPRECT out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc || !out) return ERROR;
  Region cur = current_clip(*dc);
  RECT b = cur.box();
  POINT p[2] = {{b.left, b.top}, {b.right, b.bottom}};
  DPtoLP(hdc, p, 2);
  *out = RECT{std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x), std::max(p[0].y, p[1].y)};
  return cur.complexity();
}

INT GetClipRgn(HDC hdc, HRGN out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  auto r = find_as<RegionObject>(out);
  if (!dc || !r) return -1;
  if (!dc->s.clip) return 0;
  r->rgn = *dc->s.clip;
  return 1;
}

BOOL PtVisible(HDC hdc, INT x, INT y) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return FALSE;
  POINT p = to_device(dc->s, POINT{x, y});
  return current_clip(*dc).contains(p.x, p.y) ? TRUE : FALSE;
}

}  // extern "C"
