#include "output/imposition.h"

#include <algorithm>
#include <cmath>

namespace morva::gfx {

Affine Then(const Affine& p, const Affine& q) {
  // (x, y) -> p -> q
  Affine r;
  r.a = p.a * q.a + p.b * q.c;
  r.b = p.a * q.b + p.b * q.d;
  r.c = p.c * q.a + p.d * q.c;
  r.d = p.c * q.b + p.d * q.d;
  r.e = p.e * q.a + p.f * q.c + q.e;
  r.f = p.e * q.b + p.f * q.d + q.f;
  return r;
}

Affine Translation(double x, double y) { return Affine{1, 0, 0, 1, x, y}; }

void ToFloats(const Affine& m, float out[6]) {
  const double v[6] = {m.a, m.b, m.c, m.d, m.e, m.f};
  for (int i = 0; i < 6; ++i) out[i] = static_cast<float>(v[i]);
}

Affine FromFloats(const float m[6]) { return Affine{m[0], m[1], m[2], m[3], m[4], m[5]}; }

double TenthMmToDots(double tenths, double resolution) { return resolution == 0 ? 0 : tenths * resolution / 254.0; }

void NupGrid(DWORD nup, WORD* columns, WORD* rows) {
  switch (nup) {
    case 2: *columns = 1, *rows = 2; return;
    case 4: *columns = 2, *rows = 2; return;
    case 8: *columns = 2, *rows = 4; return;
    case 16: *columns = 4, *rows = 4; return;
    case 32: *columns = 4, *rows = 8; return;
    default: *columns = 1, *rows = 1; return;
  }
}

int CellOrderFromLayout(WORD p, bool t, DWORD k, int previous) {
  if (p <= 1) return 4;
  if (p == 2) {
    bool k134 = k == 1 || k == 3 || k == 4;
    return (t && k134) || (!t && !k134) ? 1 : 5;
  }
  static constexpr int kTurned[4] = {1, 0, 5, 4};
  static constexpr int kUpright[4] = {4, 5, 6, 7};
  if (k >= 3 && k <= 6) return t ? kTurned[k - 3] : kUpright[k - 3];
  return previous;
}

void CellPosition(int order, int nx, int ny, int index, int* x, int* y) {
  nx = std::max(nx, 1);
  ny = std::max(ny, 1);
  int o = index % (nx * ny);
  switch (order & 7) {
    case 0: *x = o % nx, *y = o / nx; break;
    case 1: *x = o / ny, *y = o % ny; break;
    case 2: *x = nx - 1 - o % nx, *y = o / nx; break;
    case 3: *x = nx - 1 - o / ny, *y = o % ny; break;
    case 4: *x = o % nx, *y = ny - 1 - o / nx; break;
    case 5: *x = o / ny, *y = ny - 1 - o % ny; break;
    case 6: *x = nx - 1 - o % nx, *y = ny - 1 - o / nx; break;
    default: *x = nx - 1 - o / ny, *y = ny - 1 - o % ny; break;
  }
}

CellBox CellRect(const PageLayout& l, int order, int index) {
  int nx = std::max<int>(l.columns, 1), ny = std::max<int>(l.rows, 1);
  int x, y;
  CellPosition(order, nx, ny, index, &x, &y);
  double w = (l.area_right - l.area_left) / nx, g = (l.area_bottom - l.area_top) / ny;
  CellBox c;
  c.left = l.area_left + w * x;
  c.right = c.left + w;
  c.top = l.area_top + g * y;
  c.bottom = c.top + g;
  return c;
}

double CellFitScale(const PageLayout& l, const CellBox& cell) {
  if (l.fixed_scale) return 1;
  double pw = l.printable_right - l.printable_left, ph = l.printable_bottom - l.printable_top;
  double p1 = l.landscape == 1 ? pw : ph, p2 = l.landscape == 1 ? ph : pw;
  if (p1 <= 0 || p2 <= 0) return 1;
  double cw = cell.right - cell.left, ch = cell.bottom - cell.top;
  bool same = (l.cell_turn_direction != 0) == (l.cells_turned != 0);
  return same ? std::min(ch / p1, cw / p2) : std::min(cw / p1, ch / p2);
}

int MapAlignmentForBackSide(int i, DWORD gutter_mode, bool turned) {
  static constexpr int kSwapSides[5] = {1, 0, 3, 2, 4};
  static constexpr int kSwapCorners[5] = {3, 2, 1, 0, 4};
  if (i < 0 || i > 4) return i;
  if ((gutter_mode == 2 && !turned) || (gutter_mode == 1 && turned)) return kSwapSides[i];
  if ((gutter_mode == 1 && !turned) || (gutter_mode == 2 && turned)) return kSwapCorners[i];
  return i;
}

namespace {

bool back_side(int side) { return side % 2 == 0; }

void gutter_adjust(PageLayout& l, int side) {
  static constexpr int kSwapped[5] = {-1, 1, 2, 3, 0};
  static constexpr int kUpright[5] = {-1, 0, 3, 1, 2};
  DWORD k = l.gutter_edge_kind;
  if (k < 1 || k > 4) return;
  int e = l.area_axes_swapped ? kSwapped[k] : kUpright[k];
  double g = l.gutter_front;
  if (back_side(side) && l.gutter_mode != 0) {
    if ((l.gutter_mode == 2 && (k == 1 || k == 2)) || (l.gutter_mode == 1 && (k == 3 || k == 4))) e = 3 - e;
    g = l.gutter_back;
  }
  bool shrinks = l.gutter_shrinks != 0;
  switch (e) {
    case 0:
      if (g > l.area_left) {
        double d = g - l.area_left;
        l.area_left = g;
        if (!shrinks) l.area_right += d;
      }
      break;
    case 1: {
      double excess = g - l.sheet_height + l.area_bottom;
      if (excess > 0) {
        l.area_bottom -= excess;
        if (!shrinks) l.area_top -= excess;
      }
      break;
    }
    case 2:
      if (g > l.area_top) {
        double d = g - l.area_top;
        l.area_top = g;
        if (!shrinks) l.area_bottom += d;
      }
      break;
    default: {
      double excess = l.area_right + g - l.sheet_width;
      if (excess > 0) {
        l.area_right -= excess;
        if (!shrinks) l.area_left -= excess;
      }
      break;
    }
  }
}

void binding_shift(PageLayout& l) {
  bool inverted = l.pages_per_sheet == 2 || l.pages_per_sheet == 8 || l.pages_per_sheet == 32;
  bool first = (l.cell_turn_direction == 0) != inverted;
  if (first) {
    l.area_left += l.shift1, l.area_right += l.shift1;
    l.area_bottom += l.shift2, l.area_top += l.shift2;
  } else {
    l.area_left -= l.shift2, l.area_right -= l.shift2;
    l.area_bottom += l.shift1, l.area_top += l.shift1;
  }
}

bool half_turn_needed(const PageLayout& l) {
  bool landscape = l.landscape == 1;
  return (l.half_turn_kind == 1 && landscape) || (l.half_turn_kind == 2 && !landscape) || l.half_turn_kind == 3;
}

}  // namespace

void ComputePlacementMatrix(Affine* out, const PageLayout& layout, int n, int side, CellBox* rect) {
  PageLayout l = layout;
  bool landscape = l.landscape == 1;
  Affine m = landscape ? Translation(l.margin_bottom - l.printable_left,
                                     -(l.margin_left - l.page_height + l.printable_bottom))
                       : Translation(l.margin_left - l.printable_left,
                                     -(l.margin_top - l.page_height + l.printable_bottom));
  if (l.gutter_edge_kind) gutter_adjust(l, side);
  if (l.binding_shift) binding_shift(l);
  if (half_turn_needed(l))
    m = Then(m, Affine{-1, 0, 0, -1, l.printable_right + l.printable_left, l.printable_top + l.printable_bottom});
  double scale = l.fixed_scale ? l.scale_percent * 0.01 : 1.0;

  Affine t;
  if (l.cell_turn_direction == 0 && landscape)
    t = Affine{0, 1, -1, 0, l.printable_bottom, -l.printable_right};
  else if (l.cell_turn_direction == 1 && !landscape)
    t = Affine{0, -1, 1, 0, -l.printable_top, l.printable_left};
  else
    t = Translation(-l.printable_left, -l.printable_bottom);
  t = Affine{t.a * scale, t.b * scale, t.c * scale, t.d * scale, t.e * scale, t.f * scale};
  int order = CellOrderFromLayout(l.pages_per_sheet, l.cells_turned != 0, l.nup_order, 0);
  CellBox cell = CellRect(l, order, std::max(n - 1, 0));
  double cs = CellFitScale(l, cell);
  t = Then(t, l.cells_turned ? Affine{0, cs, -cs, 0, cell.left, cell.top} : Affine{cs, 0, 0, cs, cell.left, cell.bottom});
  m = Then(m, t);

  // Alignment of the page in the free space of its cell.
  int i = static_cast<int>(l.alignment);
  bool turned = l.cells_turned != 0;
  if (back_side(side) && l.gutter_mode != 0) i = MapAlignmentForBackSide(i, l.gutter_mode, turned);
  double qx = 0, qy = 0;
  switch (i) {
    case 1: turned ? (qx = 0, qy = 1) : (qx = 1, qy = 0); break;
    case 2: case 4: turned ? (qx = 1, qy = 1) : (qx = 1, qy = -1); break;
    case 3: turned ? (qx = 1, qy = 0) : (qx = 0, qy = -1); break;
    default: break;
  }
  double pw = l.printable_right - l.printable_left, ph = l.printable_bottom - l.printable_top;
  if (landscape) std::swap(pw, ph);
  double cw = pw * scale * cs, ch = ph * scale * cs;
  if (l.halving) std::swap(cw, ch);
  double u = (l.area_right - l.area_left) / std::max<int>(l.columns, 1) - cw;
  double v = (l.area_bottom - l.area_top) / std::max<int>(l.rows, 1) - ch;
  if (i == 4) u *= 0.5, v *= 0.5;
  m = Then(m, Translation(qx * u, qy * v));
  *out = m;
  if (rect) *rect = CellBox{cell.left, l.sheet_height - cell.top, cell.right, l.sheet_height - cell.bottom};
}

INT PlacementMatrix(Affine* out, const PageLayout& l, int cell, int side, int quarter_turn, double res_x, double res_y,
                    bool page_transform) {
  if (!out || cell < 0 || cell > 31 || (side != 0 && side != 1)) return -1;
  Affine m;
  ComputePlacementMatrix(&m, l, cell + 1, side + 1, nullptr);
  if (quarter_turn == 1) m = Then(m, Affine{0, 1, -1, 0, l.area_bottom + l.area_top, l.area_left});
  if (quarter_turn == 2) m = Then(m, Affine{0, -1, 1, 0, 0, l.area_left + l.area_right});
  if (page_transform) {
    if (res_x <= 0 || res_y <= 0) return -1;
    Affine p = Translation(l.printable_left, l.printable_top);
    p = Then(p, Affine{1, 0, 0, -1, 0, l.page_height});
    p = Then(p, m);
    m = Then(p, Affine{72.0 / res_x, 0, 0, 72.0 / res_y, 0, 0});
  }
  *out = m;
  return 0;
}

// ---- booklets ----

INT SplitIntoSignatures(int pages, bool reverse, int per, std::vector<Signature>* entries, int* second) {
  if (per <= 0 || pages < 0) return -1;
  int sheets = (pages + 3) / 4;
  int count = (sheets + per - 1) / per;
  if (!entries) {
    if (second) *second = (per + sheets - 1) % per;
    return count;
  }
  entries->assign(static_cast<std::size_t>(count), Signature{0, 0});
  int base = count ? sheets / count : 0, extra = count ? sheets % count : 0;
  int page = 0;
  for (int i = 0; i < count; ++i) {
    int k = base + (i < extra ? 1 : 0);
    int last = std::min(page + 4 * k - 1, pages - 1);
    std::size_t at = reverse ? static_cast<std::size_t>(count - 1 - i) : static_cast<std::size_t>(i);
    (*entries)[at] = Signature{static_cast<WORD>(page), static_cast<WORD>(last)};
    page += 4 * k;
  }
  if (second) *second = base;
  return count;
}

INT SheetFitsSignature(int first, int last, int sheets, bool cover_rule) {
  if (sheets <= 0) return 2;
  if (cover_rule && first == 0) return last + 1 >= 4 * sheets - 2 ? 1 : 2;
  return last - first + 1 >= 4 * sheets ? 1 : 2;
}

INT SignatureSideCount(int first, int last, bool cover_rule) {
  if (cover_rule && first == 0) return 2 * ((last + 6) / 4) - 1;
  return 2 * ((last - first + 4) / 4);
}

int BookletPageForSlot(int first, int last, int s, int binding, int half, bool reverse, bool cover_rule) {
  int n = SignatureSideCount(first, last, cover_rule);
  int page;
  if (!reverse) {
    int t = cover_rule && first == 0 && s == n - 1 ? s + 1 : s;
    bool set = (((t % 2) == 1) != (binding == 1)) != (half == 1);
    page = set ? first + n - s - 1 : first + n + s;
  } else {
    int t = cover_rule && first == 0 && s != 0 ? s + 1 : s;
    bool set = (((t % 2) == 1) != (binding == 1)) != (half == 1);
    page = set ? first + 2 * n - s - 1 : first + s;
  }
  return page > last || page < first ? kBlankSlot : page;
}

std::vector<Signature> SplitIntoBookletSets(int base, int pages, int c, bool cover_rule) {
  std::vector<Signature> sets;
  if (pages <= 0 || c <= 0) return sets;
  int last = base + pages - 1;
  int start = base;
  // The cover takes the outer side of the first set, so it holds two pages
  // fewer; every later set starts where the previous one ended.
  int size = cover_rule && c > 2 ? c - 2 : c;
  while (start <= last) {
    int end = std::min(start + size - 1, last);
    sets.push_back(Signature{static_cast<WORD>(start), static_cast<WORD>(end)});
    start = end + 1;
    size = c;
  }
  return sets;
}

// ---- booklet page placement ----

void ComputeBookletPlacement(Affine* out, const BookletPlacementRequest& r) {
  PageLayout l;
  bool landscape = r.page_orientation == 1;
  l.page_width = landscape ? r.page_height : r.page_width;
  l.page_height = landscape ? r.page_width : r.page_height;
  if (landscape) {
    l.printable_left = r.page_top, l.printable_right = r.page_bottom;
    l.printable_top = r.page_left, l.printable_bottom = r.page_right;
  } else {
    l.printable_left = r.page_left, l.printable_right = r.page_right;
    l.printable_top = r.page_top, l.printable_bottom = r.page_bottom;
  }
  bool several = r.nup > 1;
  if (several && r.option) {
    double w = r.sheet_right - r.sheet_left, h = r.sheet_bottom - r.sheet_top;
    double s = (w > 0 && h > 0) ? std::min(w / h, 0.5 * h / w) : 1;
    if (s > 0) {
      l.page_width -= r.cover_value / s;
      l.printable_right -= r.cover_value / s;
    }
  }
  // The booklet page is turned: the sheet's axes are exchanged and the
  // page goes on one half of its long side.
  l.sheet_width = r.sheet_height;
  l.sheet_height = r.sheet_width;
  double middle = (r.sheet_top + r.sheet_bottom) * 0.5;
  if (r.position == 0) {
    l.area_left = r.sheet_top, l.area_right = middle, l.gutter_edge_kind = 2;
  } else {
    l.area_left = middle, l.area_right = r.sheet_bottom, l.gutter_edge_kind = 1;
  }
  l.area_top = r.sheet_left;
  l.area_bottom = r.sheet_right;
  l.gutter_front = l.gutter_back = r.sheet_height * 0.5 + r.cover_value;
  l.scale_percent = 100;
  l.pages_per_sheet = 1;
  l.columns = l.rows = 1;
  l.nup_order = 0;
  l.halving = 0;
  l.gutter_mode = 0;
  l.alignment = r.cell_code;
  l.half_turn_kind = static_cast<BYTE>(r.staple_kind);
  l.gutter_shrinks = r.option;
  l.cell_turn_direction = r.landscape;
  l.cells_turned = r.landscape ? 1 : 0;
  l.landscape = r.page_orientation == 1 ? 1 : 0;
  l.margin_left = r.margin_left, l.margin_right = r.margin_right;
  l.margin_top = r.margin_top, l.margin_bottom = r.margin_bottom;
  l.binding_shift = r.fold_kind != 0;
  l.shift1 = r.fold1, l.shift2 = r.fold2;
  if (several) {
    l.half_turn_kind = 0;
    l.binding_shift = 0;
    l.shift1 = l.shift2 = 0;
    l.gutter_shrinks = 0;
  }
  Affine m;
  ComputePlacementMatrix(&m, l, 1, 1, nullptr);
  if (r.binding_is_2) m = Then(m, Affine{-1, 0, 0, -1, l.sheet_width, l.sheet_height});
  m = Then(m, Affine{0, 1, -1, 0, l.sheet_height, 0});
  *out = m;
}

// ---- booklet of N-up pages ----

INT ComputeSheetPlacement(double r, const GeometryTenths& g, double left, double top, double width_offset,
                          CellBox* rect, double* origin_x, double* origin_y) {
  if (r == 0 || !rect || !origin_x || !origin_y) return -1;
  const double w = TenthMmToDots(g.width, r), h = TenthMmToDots(g.height, r);
  if (w <= 0 || h <= 0) return -1;
  const double s = std::min(w / h, 0.5 * h / w), k = 1 / s;
  const double half_h = h * 0.5 * k, full_w = w * k;
  const double l = TenthMmToDots(left, r), t = TenthMmToDots(top, r);
  CellBox out{l, t + full_w, l + half_h, t};
  double ox = TenthMmToDots(g.margin_left + g.margin_right, r) + half_h;
  const double oy = TenthMmToDots(g.margin_top + g.margin_bottom, r) + full_w;
  if (width_offset > 0) {
    const double cut = k * TenthMmToDots(width_offset, r);
    out.right -= cut;
    ox -= cut;
  }
  *rect = out;
  *origin_x = ox;
  *origin_y = oy;
  return 0;
}

Affine BookletCellMatrix(double res_x, double res_y, const Affine& m, double tx, double ty1, double ty2) {
  Affine r = Translation(ty1, ty2);
  r = Then(r, Affine{1, 0, 0, -1, 0, tx});
  r = Then(r, m);
  return Then(r, Affine{72.0 / res_x, 0, 0, 72.0 / res_y, 0, 0});
}

// ---- tiles ----

INT SetTileSteps(TileLayout* t) {
  const Affine& m = t->base;
  bool ab = (m.a != 0) != (m.b != 0), cd = (m.c != 0) != (m.d != 0);
  if (!ab || !cd) return -1;
  t->first_x = 0;
  t->step_x = 1;
  bool quarter = m.b != 0 && m.c != 0 && ((m.b > 0) == (m.c > 0));
  if (quarter) {
    t->first_y = 0;
    t->step_y = 1;
    t->row_by_row = 0;
  } else {
    t->first_y = t->down - 1;
    t->step_y = -1;
    t->row_by_row = 1;
  }
  return 0;
}

INT ComputeTileGrid(const PageLayout& layout, int across, int down, double res_x, double res_y, TileLayout* out) {
  if (!out || across < 1 || down < 1 || res_x <= 0 || res_y <= 0) return -1;
  PageLayout big = layout;
  double w = layout.area_right - layout.area_left, h = layout.area_bottom - layout.area_top;
  int quarter = 0;
  if (across == 2 && down == 1) {
    quarter = layout.landscape == 1 ? 2 : 1;
    big.area_right = big.area_left + h;
    big.area_bottom = big.area_top + 2 * w;
  } else {
    big.area_right = big.area_left + w * across;
    big.area_bottom = big.area_top + h * down;
  }
  big.sheet_width = (big.area_right - big.area_left) + 2 * big.area_left;
  big.sheet_height = (big.area_bottom - big.area_top) + 2 * big.area_top;
  big.pages_per_sheet = 1;
  big.columns = big.rows = 1;
  TileLayout t;
  t.across = across;
  t.down = down;
  if (PlacementMatrix(&t.base, big, 0, 0, quarter, res_x, res_y, true) != 0) return -1;
  t.scale_x = w * 72.0 / res_x;
  t.scale_y = h * 72.0 / res_y;
  if (SetTileSteps(&t) != 0) return -1;
  *out = t;
  return 0;
}

INT ComputeTileTransform(const TileLayout& t, int n, Affine* out) {
  if (!out || n < 0 || n >= t.across * t.down) return -1;
  int column = t.row_by_row ? n % t.across : n / t.down;
  int row = t.row_by_row ? n / t.across : n % t.down;
  int ox = t.first_x + column * t.step_x, oy = t.first_y + row * t.step_y;
  if (ox < 0 || oy < 0) return -1;
  // The same offsets reached by walking the tiles from the first.
  int wx = t.first_x, wy = t.first_y;
  auto inside = [](int v, int count) { return v >= 0 && v < count; };
  for (int k = 0; k < n; ++k) {
    if (t.row_by_row) {
      wx += t.step_x;
      if (!inside(wx, t.across)) wx = t.first_x, wy += t.step_y;
    } else {
      wy += t.step_y;
      if (!inside(wy, t.down)) wy = t.first_y, wx += t.step_x;
    }
  }
  if (wx != ox || wy != oy) return -1;
  Affine m = t.base;
  m.e -= ox * t.scale_x;
  m.f -= oy * t.scale_y;
  *out = m;
  return 0;
}

}  // namespace morva::gfx
