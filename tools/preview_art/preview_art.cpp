#include "preview_art.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "property_sheets/preview_tables.h"

namespace morva::preview_art {

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};
constexpr Rgb kPalette[16] = {
    {255, 0, 255}, {255, 255, 255}, {0, 0, 0},     {80, 80, 80},   {150, 150, 150}, {215, 215, 215},
    {40, 90, 200}, {175, 200, 240}, {210, 40, 40}, {240, 150, 30}, {40, 160, 60},   {240, 205, 40},
    {20, 40, 120}, {0, 170, 200},   {140, 60, 160}, {120, 120, 120}};

// 3x5 glyphs, rows top to bottom, 3 bits each (bit 2 = left column).
const std::map<char, std::array<std::uint8_t, 5>>& glyphs() {
  static const std::map<char, std::array<std::uint8_t, 5>> g = {
      {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 3, 1, 7}},
      {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 2, 2}},
      {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}},
      {'C', {7, 4, 4, 4, 7}}, {'G', {7, 4, 5, 5, 7}}, {'S', {7, 4, 7, 1, 7}}, {'x', {0, 5, 2, 5, 0}},
      {'!', {2, 2, 2, 0, 2}}, {'R', {6, 5, 6, 5, 5}}, {'K', {5, 5, 6, 5, 5}}, {'P', {6, 5, 6, 4, 4}},
      {'E', {7, 4, 6, 4, 7}}, {'N', {5, 7, 7, 7, 5}}, {'T', {7, 2, 2, 2, 2}}, {'-', {0, 0, 7, 0, 0}}};
  return g;
}

}  // namespace

Canvas::Canvas(int w, int h, std::uint8_t c) : width(w), height(h), pixels(static_cast<size_t>(w) * h, c) {}

void Canvas::set(int x, int y, std::uint8_t c) {
  if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<size_t>(y) * width + x] = c;
}
void Canvas::fill(int x, int y, int w, int h, std::uint8_t c) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) set(i, j, c);
}
void Canvas::frame(int x, int y, int w, int h, std::uint8_t c) {
  fill(x, y, w, 1, c);
  fill(x, y + h - 1, w, 1, c);
  fill(x, y, 1, h, c);
  fill(x + w - 1, y, 1, h, c);
}
void Canvas::line(int x0, int y0, int x1, int y1, std::uint8_t c, int thickness) {
  const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int s = 0; s <= steps; ++s) {
    const int x = steps ? x0 + (x1 - x0) * s / steps : x0;
    const int y = steps ? y0 + (y1 - y0) * s / steps : y0;
    fill(x - thickness / 2, y - thickness / 2, thickness, thickness, c);
  }
}
void Canvas::disc(int cx, int cy, int r, std::uint8_t c) {
  for (int j = -r; j <= r; ++j)
    for (int i = -r; i <= r; ++i)
      if (i * i + j * j <= r * r + r / 2) set(cx + i, cy + j, c);
}
void Canvas::circle(int cx, int cy, int r, std::uint8_t c) {
  for (int j = -r; j <= r; ++j)
    for (int i = -r; i <= r; ++i) {
      const int d = i * i + j * j;
      if (d <= r * r + r && d >= (r - 1) * (r - 1) + (r - 1)) set(cx + i, cy + j, c);
    }
}
void Canvas::text(int x, int y, const std::string& s, std::uint8_t c, int scale) {
  for (char ch : s) {
    auto it = glyphs().find(ch);
    if (it != glyphs().end())
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
          if (it->second[row] & (4 >> col)) fill(x + col * scale, y + row * scale, scale, scale, c);
    x += 4 * scale;
  }
}

std::vector<std::uint8_t> bmp_bytes(const Canvas& cv, int bits) {
  const int colours = bits == 8 ? 256 : 16;
  const int stride = ((cv.width * bits + 31) / 32) * 4;
  const std::uint32_t header = 14 + 40 + colours * 4;
  const std::uint32_t size = header + stride * cv.height;
  std::vector<std::uint8_t> out(size, 0);
  auto put16 = [&](size_t at, unsigned v) {
    out[at] = v & 0xFF;
    out[at + 1] = (v >> 8) & 0xFF;
  };
  auto put32 = [&](size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out[at + k] = (v >> (8 * k)) & 0xFF;
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, size);
  put32(10, header);
  put32(14, 40);
  put32(18, cv.width);
  put32(22, cv.height);
  put16(26, 1);
  put16(28, bits);
  put32(34, stride * cv.height);
  put32(46, bits == 8 ? 0 : 16);  // 8 bits: the full table (a palette picture)
  for (int i = 0; i < 16; ++i) {
    out[54 + i * 4] = kPalette[i].b;
    out[54 + i * 4 + 1] = kPalette[i].g;
    out[54 + i * 4 + 2] = kPalette[i].r;
  }
  for (int y = 0; y < cv.height; ++y) {
    std::uint8_t* row = &out[header + static_cast<size_t>(cv.height - 1 - y) * stride];
    for (int x = 0; x < cv.width; ++x) {
      const std::uint8_t c = cv.pixels[static_cast<size_t>(y) * cv.width + x] & 0x0F;
      if (bits == 8) row[x] = c;
      else row[x / 2] |= (x % 2) ? c : static_cast<std::uint8_t>(c << 4);
    }
  }
  return out;
}

namespace {

using namespace preview_geometry;
constexpr int kPagesOfStart[5] = {2, 4, 8, 16, 32};

bool portrait_sheet(int n, int o) {
  const bool keeps = n == 1 || n == 4 || n == 16;
  return keeps ? o == 0 : o == 1;
}

// Columns and rows of n pages on a portrait (or landscape) sheet.
void grid(int n, bool portrait, int* cols, int* rows) {
  int a = 1, b = 1;  // across the short side, along the long side
  switch (n) {
    case 2: a = 1; b = 2; break;
    case 4: a = 2; b = 2; break;
    case 8: a = 2; b = 4; break;
    case 16: a = 4; b = 4; break;
    case 32: a = 4; b = 8; break;
    default: break;
  }
  *cols = portrait ? a : b;
  *rows = portrait ? b : a;
}

// The cell of page k (0-based) in the order: 0 rows left to right, 1
// columns top to bottom, 2 rows right to left, 3 columns right to left.
void cell_of(int k, int order, int cols, int rows, int* cx, int* cy) {
  switch (order) {
    case 1: *cx = k / rows; *cy = k % rows; break;
    case 2: *cx = cols - 1 - k % cols; *cy = k / cols; break;
    case 3: *cx = cols - 1 - k / rows; *cy = k % rows; break;
    default: *cx = k % cols; *cy = k / cols; break;
  }
}

struct Pages {
  int n = 1, o = 0, order = 0, turn = 0, flip = 0;
};

void cell_box(const Canvas& cv, int cols, int rows, int cx, int cy, int* x, int* y, int* w, int* h) {
  *w = cv.width / cols;
  *h = cv.height / rows;
  *x = cx * *w;
  *y = cy * *h;
}

// The pages on the page area: a white page per cell with grey text lines
// (turned with the document) and its number.
Canvas draw_pages(bool portrait, const Pages& p) {
  const Box& b = portrait ? kPagesPortrait : kPagesLandscape;
  Canvas cv(b.width, b.height, kKey);
  int cols, rows;
  grid(p.n, portrait, &cols, &rows);
  for (int k = 0; k < p.n; ++k) {
    int cx, cy, x, y, w, h;
    cell_of(k, p.order, cols, rows, &cx, &cy);
    cell_box(cv, cols, rows, cx, cy, &x, &y, &w, &h);
    const int gap = p.n >= 16 ? 1 : 2;
    cv.fill(x + gap, y + gap, w - 2 * gap, h - 2 * gap, kWhite);
    cv.frame(x + gap, y + gap, w - 2 * gap, h - 2 * gap, kGrey);
    const bool sideways = (p.n == 2 || p.n == 8 || p.n == 32) != (p.turn != 0);
    if (w >= 10 && h >= 10) {
      if (!sideways)
        for (int ly = y + gap + 3; ly < y + h - gap - 3; ly += 3) cv.fill(x + gap + 3, ly, w - 2 * gap - 6, 1, kLight);
      else
        for (int lx = x + gap + 3; lx < x + w - gap - 3; lx += 3) cv.fill(lx, y + gap + 3, 1, h - 2 * gap - 6, kLight);
    }
    const std::string number = std::to_string(k + 1);
    const int scale = (w >= 24 && h >= 24) ? 3 : (w >= 12 && h >= 9 ? 1 : 0);
    if (scale) {
      const int tw = static_cast<int>(number.size()) * 4 * scale - scale, th = 5 * scale;
      cv.text(x + (w - tw) / 2, y + (h - th) / 2, number, kBlue, scale);
    }
  }
  return cv;
}

// Frames around the pages with a header bar at the top, or at the bottom of
// pages printed upside down.
Canvas draw_frames(bool portrait, int n, int upside_down, std::uint8_t colour) {
  const Box& b = portrait ? kPagesPortrait : kPagesLandscape;
  Canvas cv(b.width, b.height, kKey);
  int cols, rows;
  grid(n, portrait, &cols, &rows);
  for (int cy = 0; cy < rows; ++cy)
    for (int cx = 0; cx < cols; ++cx) {
      int x, y, w, h;
      cell_box(cv, cols, rows, cx, cy, &x, &y, &w, &h);
      const int gap = n >= 16 ? 1 : 2;
      cv.frame(x + gap, y + gap, w - 2 * gap, h - 2 * gap, colour);
      const int bar = std::max(1, (h - 2 * gap) / 10);
      cv.fill(x + gap, upside_down ? y + h - gap - bar : y + gap, w - 2 * gap, bar, colour);
    }
  return cv;
}

// The order of the pages: a red path through the cells' centres.
Canvas draw_order(bool portrait, int n, int order) {
  const Box& b = portrait ? kPagesPortrait : kPagesLandscape;
  Canvas cv(b.width, b.height, kKey);
  int cols, rows;
  grid(n, portrait, &cols, &rows);
  int px = -1, py = -1;
  for (int k = 0; k < n; ++k) {
    int cx, cy, x, y, w, h;
    cell_of(k, order, cols, rows, &cx, &cy);
    cell_box(cv, cols, rows, cx, cy, &x, &y, &w, &h);
    const int mx = x + w / 2, my = y + h / 2;
    if (k == 0) cv.disc(mx, my, 2, kRed);
    else cv.line(px, py, mx, my, kRed);
    px = mx;
    py = my;
  }
  return cv;
}

// Which edge a binding lies on: 0 left, 1 right, 2 top, 3 bottom.
int binding_edge(int duplex3, bool portrait, int other) {
  const bool long_edge = duplex3 == 0;
  const bool vertical = long_edge == portrait;  // left/right edges
  return vertical ? (other ? 1 : 0) : (other ? 3 : 2);
}

// Two-sided: the back page turned up at the corner away from the binding,
// and a turning arrow at the binding edge.
Canvas draw_duplex(bool portrait, int duplex3, int other) {
  const Box& b = portrait ? kSheetPortrait : kSheetLandscape;
  Canvas cv(b.width, b.height, kKey);
  const int edge = binding_edge(duplex3, portrait, other);
  const int s = 16;
  // The dog-ear at the corner opposite the binding edge.
  const bool right = edge != 1, bottom = edge != 3;
  const int cx = right ? b.width - 1 : 0, cy = bottom ? b.height - 1 : 0;
  const int dx = right ? -1 : 1, dy = bottom ? -1 : 1;
  for (int j = 0; j < s; ++j)
    for (int i = 0; i < s - j; ++i) cv.set(cx + dx * i, cy + dy * j, i + j == s - 1 ? kDark : kLight);
  cv.text(cx + dx * 4 - (right ? 3 : 0), cy + dy * 3 - (bottom ? 5 : 0), "2", kNavy);
  // The turning arrow along the binding edge.
  if (edge <= 1) {
    const int x = edge == 0 ? 4 : b.width - 5;
    cv.line(x, b.height / 2 - 12, x, b.height / 2 + 12, kOrange, 2);
    cv.line(x - 3, b.height / 2 - 8, x, b.height / 2 - 12, kOrange, 2);
    cv.line(x + 3, b.height / 2 - 8, x, b.height / 2 - 12, kOrange, 2);
    cv.line(x - 3, b.height / 2 + 8, x, b.height / 2 + 12, kOrange, 2);
    cv.line(x + 3, b.height / 2 + 8, x, b.height / 2 + 12, kOrange, 2);
  } else {
    const int y = edge == 2 ? 4 : b.height - 5;
    cv.line(b.width / 2 - 12, y, b.width / 2 + 12, y, kOrange, 2);
    cv.line(b.width / 2 - 8, y - 3, b.width / 2 - 12, y, kOrange, 2);
    cv.line(b.width / 2 - 8, y + 3, b.width / 2 - 12, y, kOrange, 2);
    cv.line(b.width / 2 + 8, y - 3, b.width / 2 + 12, y, kOrange, 2);
    cv.line(b.width / 2 + 8, y + 3, b.width / 2 + 12, y, kOrange, 2);
  }
  return cv;
}

Canvas draw_binding(bool portrait, int duplex3, int other) {
  const Box& b = portrait ? kSheetPortrait : kSheetLandscape;
  Canvas cv(b.width, b.height, kKey);
  switch (binding_edge(duplex3, portrait, other)) {
    case 0: cv.fill(0, 0, 4, b.height, kNavy); break;
    case 1: cv.fill(b.width - 4, 0, 4, b.height, kNavy); break;
    case 2: cv.fill(0, 0, b.width, 4, kNavy); break;
    default: cv.fill(0, b.height - 4, b.width, 4, kNavy); break;
  }
  return cv;
}

// Staples by position: 0-3 one in a corner, 4-7 two along an edge, 8 two
// on the centre fold.
Canvas draw_staples(bool portrait, int start) {
  const Box& b = portrait ? kSheetPortrait : kSheetLandscape;
  Canvas cv(b.width, b.height, kKey);
  const int w = b.width, h = b.height;
  auto staple_h = [&](int x, int y) { cv.fill(x - 5, y - 1, 10, 3, kBlack); };
  auto staple_v = [&](int x, int y) { cv.fill(x - 1, y - 5, 3, 10, kBlack); };
  switch (start) {
    case 0: cv.line(4, 12, 12, 4, kBlack, 3); break;
    case 1: cv.line(w - 13, 4, w - 5, 12, kBlack, 3); break;
    case 2: cv.line(4, h - 13, 12, h - 5, kBlack, 3); break;
    case 3: cv.line(w - 13, h - 5, w - 5, h - 13, kBlack, 3); break;
    case 4: staple_v(6, h / 3); staple_v(6, 2 * h / 3); break;
    case 5: staple_h(w / 3, 6); staple_h(2 * w / 3, 6); break;
    case 6: staple_v(w - 7, h / 3); staple_v(w - 7, 2 * h / 3); break;
    case 7: staple_h(w / 3, h - 7); staple_h(2 * w / 3, h - 7); break;
    default:
      if (portrait) {
        staple_h(w / 2, h / 3);
        staple_h(w / 2, 2 * h / 3);
        for (int y = 0; y < h; y += 4) cv.fill(w / 2, y, 1, 2, kDark);
      } else {
        staple_v(w / 3, h / 2);
        staple_v(2 * w / 3, h / 2);
        for (int x = 0; x < w; x += 4) cv.fill(x, h / 2, 2, 1, kDark);
      }
      break;
  }
  return cv;
}

// Punch holes: a strip along a vertical (or horizontal) edge with 2-4 holes.
Canvas draw_holes(bool portrait, bool vertical, int holes) {
  const Box& b = portrait ? kSheetPortrait : kSheetLandscape;
  const int length = vertical ? b.height : b.width;
  Canvas cv(vertical ? 10 : length, vertical ? length : 10, kKey);
  for (int k = 0; k < holes; ++k) {
    const int along = length * (2 * k + 1) / (2 * holes);
    const int x = vertical ? 5 : along, y = vertical ? along : 5;
    cv.disc(x, y, 3, kGrey);
    cv.circle(x, y, 3, kBlack);
  }
  return cv;
}

// A poster: one picture over tiles of several sheets.
Canvas draw_poster(bool portrait, int layout, bool colour) {
  const int w = portrait ? 76 : 104, h = portrait ? 104 : 76;
  Canvas cv(w, h, kKey);
  cv.fill(0, 0, w, h, kWhite);
  cv.frame(0, 0, w, h, kDark);
  const int tiles[4][2] = {{1, 2}, {2, 2}, {3, 3}, {4, 4}};
  int cols = tiles[layout][0], rows = tiles[layout][1];
  if (!portrait) std::swap(cols, rows);
  // The picture: a sun over a hill.
  cv.disc(w / 3, h / 3, std::min(w, h) / 6, colour ? kYellow : kLight);
  for (int x = 1; x < w - 1; ++x) {
    const double t = static_cast<double>(x) / w;
    const int top = static_cast<int>(h * (0.62 - 0.18 * std::sin(t * 3.14159)));
    cv.fill(x, top, 1, h - 1 - top, colour ? kGreen : kGrey);
  }
  for (int c = 1; c < cols; ++c)
    for (int y = 0; y < h; y += 4) cv.fill(c * w / cols, y, 1, 2, kBlue);
  for (int r = 1; r < rows; ++r)
    for (int x = 0; x < w; x += 4) cv.fill(x, r * h / rows, 2, 1, kBlue);
  return cv;
}

// Overlap margins of poster tiles: red corner marks at each tile edge.
Canvas draw_poster_marks(bool portrait, int layout) {
  const int w = portrait ? 74 : 102, h = portrait ? 102 : 74;
  Canvas cv(w, h, kKey);
  const int tiles[4][2] = {{1, 2}, {2, 2}, {3, 3}, {4, 4}};
  int cols = tiles[layout][0], rows = tiles[layout][1];
  if (!portrait) std::swap(cols, rows);
  for (int c = 0; c <= cols; ++c)
    for (int r = 0; r <= rows; ++r) {
      const int x = std::min(w - 1, c * w / cols), y = std::min(h - 1, r * h / rows);
      cv.line(x - 3, y, x + 3, y, kRed);
      cv.line(x, y - 3, x, y + 3, kRed);
    }
  return cv;
}

// Wide layouts: the picture runs over two or three sheets.
Canvas draw_wide(bool portrait, int second) {
  const int w = portrait ? 76 : 104;
  Canvas cv(w, 12, kKey);
  cv.line(2, 6, w - 3, 6, kRed, 2);
  cv.line(2, 6, 7, 2, kRed, 2);
  cv.line(2, 6, 7, 10, kRed, 2);
  cv.line(w - 3, 6, w - 8, 2, kRed, 2);
  cv.line(w - 3, 6, w - 8, 10, kRed, 2);
  cv.fill(w / 2 - 8, 1, 17, 10, kWhite);
  cv.text(w / 2 - 6, 3, second ? "x3" : "x2", kRed);
  return cv;
}

// A booklet spread: two pages either side of the spine.
Canvas draw_booklet(int row) {
  const bool side_by_side = row < 2;
  const int w = side_by_side ? 68 : 100, h = side_by_side ? 100 : (row == 2 ? 76 : 68);
  Canvas cv(w, h, kKey);
  cv.fill(0, 0, w, h, kWhite);
  cv.frame(0, 0, w, h, kDark);
  if (side_by_side) {
    cv.fill(w / 2, 0, 1, h, kDark);
    for (int y = 8; y < h - 8; y += 4) {
      cv.fill(4, y, w / 2 - 8, 1, kLight);
      cv.fill(w / 2 + 4, y, w / 2 - 8, 1, kLight);
    }
    cv.text(w / 4 - 1, h - 9, row == 0 ? "1" : "2", kBlue);
    cv.text(3 * w / 4 - 1, h - 9, row == 0 ? "2" : "1", kBlue);
  } else {
    cv.fill(0, h / 2, w, 1, kDark);
    for (int y = 6; y < h / 2 - 4; y += 4) cv.fill(6, y, w - 12, 1, kLight);
    for (int y = h / 2 + 6; y < h - 4; y += 4) cv.fill(6, y, w - 12, 1, kLight);
    cv.text(w - 8, h / 2 - 8, row == 2 ? "1" : "2", kBlue);
    cv.text(w - 8, h - 8, row == 2 ? "2" : "1", kBlue);
  }
  return cv;
}

// A cover: a coloured sheet under the spread, showing at one edge of it.
Canvas draw_cover(int row) {
  static const int sizes[4][2] = {{40, 75}, {28, 75}, {75, 50}, {75, 40}};
  Canvas cv(sizes[row][0], sizes[row][1], kPaleBlue);
  cv.frame(0, 0, cv.width, cv.height, kNavy);
  cv.frame(1, 1, cv.width - 2, cv.height - 2, kNavy);
  return cv;
}

Canvas draw_cover_print() {
  Canvas cv(16, 16, kKey);
  cv.disc(8, 8, 7, kOrange);
  cv.text(7, 6, "P", kWhite);
  return cv;
}

Canvas draw_saddle(int k) {
  const bool vertical = k < 2;
  Canvas cv(vertical ? 6 : 40, vertical ? 40 : 6, kKey);
  for (int s = 0; s < 2; ++s) {
    if (vertical) cv.fill(1, 8 + s * 20, 4, 6, kBlack);
    else cv.fill(8 + s * 20, 1, 6, 4, kBlack);
  }
  return cv;
}

Canvas draw_booklet_header(int k) {
  Canvas cv(30, 4, kKey);
  cv.fill(0, 0, 30, 4, k % 2 ? kOrange : kNavy);
  return cv;
}

// ---- the icons down the left edge (4-bit bitmaps) ----

Canvas icon_base() {
  Canvas cv(kIconSize, kIconSize, kKey);
  return cv;
}

Canvas draw_orientation_icon(int o, int side) {
  Canvas cv = icon_base();
  const int w = o ? 26 : 20, h = o ? 20 : 26;
  const int x = (32 - w) / 2, y = (32 - h) / 2;
  cv.fill(x, y, w, h, kWhite);
  cv.frame(x, y, w, h, kDark);
  cv.text(x + w / 2 - 4, y + h / 2 - 5, "A", kBlue, 2);
  switch (side) {
    case 1: cv.fill(x, y, 3, h, kRed); break;
    case 2: cv.fill(x + w - 3, y, 3, h, kRed); break;
    case 3: cv.fill(x, y, w, 3, kRed); break;
    default: break;
  }
  return cv;
}

Canvas draw_collate_icon(bool collated) {
  Canvas cv = icon_base();
  for (int k = 2; k >= 0; --k) {
    const int x = 3 + k * 8, y = 3 + k * 6;
    cv.fill(x, y, 14, 18, kWhite);
    cv.frame(x, y, 14, 18, kDark);
    cv.text(x + 4, y + 7, collated ? std::to_string(k + 1) : "1", kBlue);
  }
  return cv;
}

// Monochrome output options: a toner drop and the chosen level.
Canvas draw_toner_icon(int index, bool masked) {
  Canvas cv = icon_base();
  const std::uint8_t body = masked ? kDark : kBlack;
  cv.disc(12, 19, 8, body);
  for (int k = 0; k < 9; ++k) cv.fill(12 - k, 10 - (9 - k), 2 * k + 1, 1, body);
  cv.fill(9, 17, 3, 3, kLight);
  cv.text(22, 4, std::to_string(index % 10), kBlue);
  if (index >= 10) cv.text(18, 4, std::to_string(index / 10), kBlue);
  return cv;
}

Canvas draw_stamp_icon(int row) {
  Canvas cv = icon_base();
  const bool overlay = row & 4, stamp = row & 2, extra = row & 1;
  cv.fill(5, 2, 22, 28, kWhite);
  cv.frame(5, 2, 22, 28, kDark);
  if (overlay) {
    cv.fill(7, 4, 18, 6, kPaleBlue);
    cv.frame(7, 4, 18, 6, kBlue);
  }
  if (stamp) cv.line(8, 26, 24, 12, kRed, 2);
  if (extra) cv.disc(24, 26, 3, kOrange);
  return cv;
}

Canvas draw_note_icon(int o) {
  Canvas cv = icon_base();
  for (int j = 0; j < 24; ++j) cv.fill(16 - j / 2, 4 + j, j + 1, 1, kYellow);
  cv.line(16, 4, 4, 27, kDark);
  cv.line(16, 4, 28, 27, kDark);
  cv.line(4, 27, 28, 27, kDark);
  cv.text(15, 12, "!", kBlack, 2);
  if (o) cv.fill(26, 2, 4, 3, kDark);
  return cv;
}

Canvas draw_finish_icon(int row) {
  Canvas cv = icon_base();
  cv.fill(4, 4, 24, 24, kLight);
  cv.frame(4, 4, 24, 24, kDark);
  cv.text(8, 10, "K", kNavy, 2);
  cv.text(20, 12, std::to_string(row), kRed);
  return cv;
}

// Which picture an id gets: the first table row that names it.
struct Use {
  PreviewLayer layer;
  int row;
};

Canvas draw_layer(const Use& u) {
  const int r = u.row;
  using L = PreviewLayer;
  switch (u.layer) {
    case L::kA1Sheet: {
      const Box& b = r == 0 ? kSheetPortrait : kSheetLandscape;
      Canvas cv(b.width, b.height, kWhite);
      cv.frame(0, 0, b.width, b.height, kDark);
      return cv;
    }
    case L::kA2OnePage: return draw_pages(portrait_sheet(1, r / 2), Pages{1, r / 2, 0, 0, r % 2});
    case L::kA2TwoPages: return draw_pages(portrait_sheet(2, r / 8), Pages{2, r / 8, (r / 4) % 2 ? 2 : 0, (r / 2) % 2, r % 2});
    case L::kA2FourToSixteen: {
      const int n = kPagesOfStart[1 + r / 32], o = (r / 16) % 2;
      return draw_pages(portrait_sheet(n, o), Pages{n, o, (r / 4) % 4, (r / 2) % 2, r % 2});
    }
    case L::kA2ThirtyTwo: return draw_pages(portrait_sheet(32, r / 4), Pages{32, r / 4, 0, (r / 2) % 2, r % 2});
    case L::kA3OnePage: {
      const bool portrait = r < 2;
      Canvas cv(portrait ? kPagesPortrait.width : kPagesLandscape.width, 5, kKey);
      cv.fill(0, r % 2 ? 1 : 0, cv.width, 4, kNavy);
      return cv;
    }
    case L::kA3Others: {
      const int n = kPagesOfStart[r / 8];
      return draw_frames(portrait_sheet(n, (r / 4) % 2), n, r % 2, kNavy);
    }
    case L::kA4ThirtyTwoExtra: return draw_order(portrait_sheet(32, r / 16), 32, (r / 4) % 4);
    case L::kA5OnePage: return draw_duplex(portrait_sheet(1, (r / 4) % 2), r / 8, (r / 2) % 2);
    case L::kA5Others: {
      const int s = r / 16;
      return draw_duplex(portrait_sheet(kPagesOfStart[s % 5], (r / 8) % 2), s / 5, (r / 4) % 2);
    }
    case L::kA6OnePage: return draw_frames(portrait_sheet(1, (r / 4) % 2), 1, r % 2, kOrange);
    case L::kA6Others: {
      const int s = r / 16, n = kPagesOfStart[s % 5];
      return draw_frames(portrait_sheet(n, (r / 8) % 2), n, r % 2, kOrange);
    }
    case L::kA7Binding: return draw_binding((r / 2) % 2 == 0, r / 4, r % 2);
    case L::kA8Staple: return draw_staples(r % 2 == 0, std::min(r / 2, 8));
    case L::kA9Punch: {
      const int k = r % 12;
      return draw_holes(r % 2 == 0, k / 6 == 0, 2 + (k / 2) % 3);
    }
    case L::kB1LayoutSheet: return draw_poster((r / 8) % 2 == 0, (r / 2) % 4, r / 16 == 1);
    case L::kB2LayoutOverlay: return draw_poster_marks(r / 4 == 0, r % 4);
    case L::kB3WideLayout: return draw_wide(r / 2 == 0, r % 2);
    case L::kC1: return draw_cover(r);
    case L::kC2: case L::kC6: return draw_cover_print();
    case L::kC3: return draw_booklet(r);
    case L::kC4: return draw_saddle(r / 2);
    case L::kC5: return draw_booklet_header(r);
    case L::kK1: return draw_orientation_icon(r / 4, r % 4);
    case L::kK2: return draw_collate_icon(r == 1);
    case L::kK3: return draw_toner_icon(r, false);
    case L::kK3Masked: return draw_toner_icon(r, true);
    case L::kK4: return draw_stamp_icon(r);
    case L::kK5: return draw_note_icon(r);
    case L::kK6: return draw_finish_icon(r);
    default: break;
  }
  return Canvas(1, 1, kKey);
}

bool is_icon_layer(PreviewLayer l) {
  return l == PreviewLayer::kK1 || l == PreviewLayer::kK2 || l == PreviewLayer::kK3 || l == PreviewLayer::kK3Masked ||
         l == PreviewLayer::kK4 || l == PreviewLayer::kK5 || l == PreviewLayer::kK6;
}

// The stamp preview's pages: 530 portrait, 529 landscape, a white page
// with a shadow on the key colour.
Canvas draw_stamp_page(bool portrait) {
  Canvas cv(165, 165, kKey);
  const int x = portrait ? 42 : 7, y = portrait ? 7 : 42, w = portrait ? 106 : 151, h = portrait ? 151 : 106;
  cv.fill(x + 3, y + 3, w, h, kShadow);
  cv.fill(x, y, w, h, kWhite);
  cv.frame(x, y, w, h, kDark);
  return cv;
}

// The colour-mode pictures: a small chart of the mode (grey, colour or
// automatic) with the id's digits, so each choice is told apart.
Canvas draw_colour_mode(unsigned id) {
  Canvas cv(48, 32, kKey);
  cv.fill(0, 0, 48, 32, kWhite);
  cv.frame(0, 0, 48, 32, kDark);
  const bool grey = id >= 901 && id <= 903;
  const std::uint8_t colours[4] = {kRed, kGreen, kBlue, kYellow};
  const std::uint8_t greys[4] = {kBlack, kDark, kGrey, kLight};
  for (int k = 0; k < 4; ++k) cv.fill(4 + k * 10, 4, 9, 12, grey ? greys[k] : colours[k]);
  cv.text(4, 21, std::to_string(id), kNavy);
  return cv;
}

// The pattern of background fills: a light checker.
Canvas draw_pattern() {
  Canvas cv(8, 8, kLight);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      if ((x / 2 + y / 2) % 2) cv.set(x, y, kWhite);
  return cv;
}

}  // namespace

std::vector<std::uint8_t> colour_sample_bmp() {
  const int w = 96, h = 48;
  const int stride = w;
  const std::uint32_t header = 14 + 40 + 256 * 4;
  std::vector<std::uint8_t> out(header + stride * h, 0);
  auto put32 = [&](size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out[at + k] = (v >> (8 * k)) & 0xFF;
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, static_cast<std::uint32_t>(out.size()));
  put32(10, header);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  out[26] = 1;
  out[28] = 8;
  put32(34, stride * h);
  auto entry = [&](int i, int r, int g, int b) {
    out[54 + i * 4] = static_cast<std::uint8_t>(b);
    out[54 + i * 4 + 1] = static_cast<std::uint8_t>(g);
    out[54 + i * 4 + 2] = static_cast<std::uint8_t>(r);
  };
  entry(0, 0, 0, 0);
  entry(1, 255, 255, 255);
  for (int k = 0; k < 96; ++k) {  // hues around the circle
    const double hue = k / 96.0 * 6.0;
    const int sector = static_cast<int>(hue);
    const int rise = static_cast<int>((hue - sector) * 255), fall = 255 - rise;
    const int rgb[6][3] = {{255, rise, 0}, {fall, 255, 0}, {0, 255, rise}, {0, fall, 255}, {rise, 0, 255}, {255, 0, fall}};
    entry(2 + k, rgb[sector][0], rgb[sector][1], rgb[sector][2]);
  }
  for (int k = 0; k < 16; ++k) entry(98 + k, 255 - k * 4, 200 - k * 6, 160 - k * 8);  // warm tones
  for (int k = 0; k < 14; ++k) entry(114 + k, k * 255 / 13, k * 255 / 13, k * 255 / 13);  // greys
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = &out[header + static_cast<size_t>(h - 1 - y) * stride];
    for (int x = 0; x < w; ++x) {
      std::uint8_t index;
      if (y < 24) index = static_cast<std::uint8_t>(2 + x);
      else if (y < 36) index = static_cast<std::uint8_t>(98 + x / 6);
      else index = static_cast<std::uint8_t>(114 + std::min(13, x * 14 / 96));
      row[x] = (x == 0 || y == 0 || x == w - 1 || y == h - 1) ? 0 : index;
    }
  }
  return out;
}

std::vector<std::uint8_t> ico_bytes(const Canvas& cv) {
  std::vector<std::uint8_t> out;
  auto u16 = [&](unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
  };
  auto u32 = [&](std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  const int mask_stride = ((cv.width + 31) / 32) * 4;
  const auto image_bytes = static_cast<std::uint32_t>(40 + cv.width * cv.height * 4 + mask_stride * cv.height);
  u16(0);  // icon directory: one 32-bit image
  u16(1);
  u16(1);
  out.push_back(static_cast<std::uint8_t>(cv.width));
  out.push_back(static_cast<std::uint8_t>(cv.height));
  out.push_back(0);
  out.push_back(0);
  u16(1);
  u16(32);
  u32(image_bytes);
  u32(22);
  u32(40);  // the image: header (twice the height: colours and mask), colours bottom-up, mask
  u32(static_cast<std::uint32_t>(cv.width));
  u32(static_cast<std::uint32_t>(cv.height * 2));
  u16(1);
  u16(32);
  for (int k = 0; k < 6; ++k) u32(0);
  auto index = [&](int x, int y) { return cv.pixels[static_cast<size_t>(y) * cv.width + x] & 0x0F; };
  for (int y = cv.height - 1; y >= 0; --y)
    for (int x = 0; x < cv.width; ++x) {
      const int c = index(x, y);
      const Rgb& rgb = kPalette[c];
      u32(c == kKey ? 0u : 0xFF000000u | (std::uint32_t{rgb.r} << 16) | (std::uint32_t{rgb.g} << 8) | rgb.b);
    }
  for (int y = cv.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(static_cast<size_t>(mask_stride), 0);
    for (int x = 0; x < cv.width; ++x)
      if (index(x, y) == kKey) row[static_cast<size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

namespace {

enum class Edge { kNone, kLeft, kRight, kTop, kBottom };
// The sheet of the position icons: a portrait page with lines of text.
constexpr int kSheetX = 6, kSheetY = 2, kSheetW = 20, kSheetH = 28;

void icon_sheet(Canvas& cv, std::uint8_t paper) {
  cv.fill(kSheetX + 1, kSheetY + 1, kSheetW, kSheetH, kShadow);
  cv.fill(kSheetX, kSheetY, kSheetW, kSheetH, paper);
  cv.frame(kSheetX, kSheetY, kSheetW, kSheetH, kDark);
}

void text_lines(Canvas& cv, int x, int y, int w, int h) {
  for (int j = y; j + 1 < y + h; j += 3) cv.fill(x, j, w, 1, kGrey);
}

// The binding edge: a bar along it, or the margin it keeps as a shaded band
// with its inner border; staples are two marks along the edge.
Canvas binding_icon(Edge edge, bool margin, bool staples) {
  Canvas cv(kIconSize, kIconSize, kKey);
  icon_sheet(cv, kWhite);
  const int l = kSheetX + 1, t = kSheetY + 1, r = kSheetX + kSheetW - 1, b = kSheetY + kSheetH - 1;
  const int band = margin ? 6 : 3;
  int tx = l + 2, ty = t + 2, tw = r - l - 4, th = b - t - 4;
  switch (edge) {
    case Edge::kLeft: tx += band; tw -= band; break;
    case Edge::kRight: tw -= band; break;
    case Edge::kTop: ty += band; th -= band; break;
    case Edge::kBottom: th -= band; break;
    case Edge::kNone: break;
  }
  text_lines(cv, tx, ty, tw, th);
  const std::uint8_t colour = margin ? kPaleBlue : kBlue;
  switch (edge) {
    case Edge::kLeft: cv.fill(l, t, band, b - t, colour); break;
    case Edge::kRight: cv.fill(r - band, t, band, b - t, colour); break;
    case Edge::kTop: cv.fill(l, t, r - l, band, colour); break;
    case Edge::kBottom: cv.fill(l, b - band, r - l, band, colour); break;
    case Edge::kNone: break;
  }
  if (margin) {  // the margin's inner border, dashed
    const int span = (edge == Edge::kLeft || edge == Edge::kRight) ? b - t : r - l;
    for (int k = 0; k < span; k += 2) switch (edge) {
        case Edge::kLeft: cv.set(l + band, t + k, kBlue); break;
        case Edge::kRight: cv.set(r - band - 1, t + k, kBlue); break;
        case Edge::kTop: cv.set(l + k, t + band, kBlue); break;
        case Edge::kBottom: cv.set(l + k, b - band - 1, kBlue); break;
        case Edge::kNone: break;
      }
  }
  if (staples) {
    const bool vertical = edge == Edge::kLeft || edge == Edge::kRight;
    const int across = edge == Edge::kLeft ? l + 1 : edge == Edge::kRight ? r - 3 : edge == Edge::kTop ? t + 1 : b - 3;
    for (int k = 1; k <= 3; k += 2) {
      if (vertical) cv.fill(across, t + (b - t) * k / 4 - 2, 2, 5, kBlack);
      else cv.fill(l + (r - l) * k / 4 - 2, across, 5, 2, kBlack);
    }
  }
  return cv;
}

// The booklet: 1508 shows it closed (the spine on the binding side), 1531
// open (an arrow shows the way its pages turn); with the cover the booklet
// is wrapped in it.
Canvas booklet_icon(bool open, bool cover, bool right_binding) {
  Canvas cv(kIconSize, kIconSize, kKey);
  if (!open) {
    icon_sheet(cv, cover ? kOrange : kWhite);
    if (cover) cv.fill(kSheetX + 5, kSheetY + 6, kSheetW - 8, 6, kWhite);
    else text_lines(cv, kSheetX + 5, kSheetY + 3, kSheetW - 8, kSheetH - 6);
    const int spine = right_binding ? kSheetX + kSheetW - 3 : kSheetX;
    cv.fill(spine, kSheetY, 3, kSheetH, kNavy);
    return cv;
  }
  const int top = 8, h = 20, page = 14, mid = 16;
  if (cover) cv.fill(mid - page - 2, top - 2, 2 * page + 4, h + 4, kOrange);
  for (int side = 0; side < 2; ++side) {
    const int x = side ? mid : mid - page;
    cv.fill(x, top, page, h, kWhite);
    cv.frame(x, top, page, h, kDark);
    text_lines(cv, x + 2, top + 2, page - 4, h - 4);
  }
  cv.fill(mid - 1, top, 2, h, kNavy);
  // Pages turn towards the binding side's far side: left binding turns
  // them to the left, right binding to the right.
  const int y = 3, from = right_binding ? 9 : 22, to = right_binding ? 22 : 9, dir = right_binding ? -1 : 1;
  cv.line(from, y, to, y, kRed);
  cv.line(to, y, to + dir * 3, y - 2, kRed);
  cv.line(to, y, to + dir * 3, y + 2, kRed);
  return cv;
}

}  // namespace

std::vector<Icon> position_icons() {
  std::vector<Icon> out;
  struct Binding {
    unsigned id;
    Edge edge;
    bool margin, staples;
  };
  const Binding bindings[] = {
      {363, Edge::kNone, false, false},   {359, Edge::kLeft, false, false},  {360, Edge::kRight, false, false},
      {361, Edge::kTop, false, false},    {362, Edge::kBottom, false, false}, {999, Edge::kLeft, false, true},
      {997, Edge::kRight, false, true},   {996, Edge::kTop, false, true},    {998, Edge::kBottom, false, true},
      {364, Edge::kLeft, true, false},    {365, Edge::kRight, true, false},  {366, Edge::kTop, true, false},
      {367, Edge::kBottom, true, false},  {369, Edge::kLeft, true, true},    {370, Edge::kRight, true, true},
      {372, Edge::kTop, true, true},      {371, Edge::kBottom, true, true}};
  for (const Binding& b : bindings) out.push_back(Icon{b.id, binding_icon(b.edge, b.margin, b.staples)});
  struct Booklet {
    unsigned id;
    bool open, cover, right;
  };
  const Booklet booklets[] = {{804, false, true, false}, {803, false, true, true},  {806, false, false, false},
                              {805, false, false, true}, {808, true, true, false},  {802, true, true, true},
                              {807, true, false, false}, {801, true, false, true}};
  for (const Booklet& b : booklets) out.push_back(Icon{b.id, booklet_icon(b.open, b.cover, b.right)});
  return out;
}

std::vector<Art> all_art() {
  std::vector<Art> out;
  std::set<unsigned> done;
  for (int l = 0; l < kPreviewLayerCount; ++l) {
    const auto layer = static_cast<PreviewLayer>(l);
    const PreviewLayerTable& t = GetPreviewLayerTable(layer);
    for (size_t r = 0; r < t.count; ++r) {
      const unsigned id = t.rows[r].bitmap;
      if (id == 0 || !done.insert(id).second) continue;
      out.push_back(Art{id, draw_layer(Use{layer, static_cast<int>(r)}), is_icon_layer(layer) ? 4 : 8});
    }
  }
  out.push_back(Art{529, draw_stamp_page(false), 8});
  out.push_back(Art{530, draw_stamp_page(true), 8});
  out.push_back(Art{373, Canvas(1, 1, kKey), 8, colour_sample_bmp()});
  out.push_back(Art{374, draw_pattern(), 4});
  const unsigned colour_modes[][2] = {{895, 948}, {1013, 1015}, {1331, 1333}};
  for (const auto& range : colour_modes)
    for (unsigned id = range[0]; id <= range[1]; ++id) out.push_back(Art{id, draw_colour_mode(id), 4});
  for (Art& a : fax_cover_art()) out.push_back(std::move(a));
  return out;
}

void write_art(const std::string& directory, const std::string& json_name) {
  std::string json = "{\n  \"bitmaps\": [\n";
  bool first = true;
  for (const Art& a : all_art()) {
    const std::string name = "b" + std::to_string(a.id) + ".bmp";
    const auto bytes = a.file.empty() ? bmp_bytes(a.canvas, a.bits) : a.file;
    std::ofstream f(directory + "/" + name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + directory + "/" + name);
    json += std::string(first ? "" : ",\n") + "    {\"id\": " + std::to_string(a.id) + ", \"file\": \"" + name + "\"}";
    first = false;
  }
  json += "\n  ],\n  \"icons\": [\n";
  first = true;
  for (const Icon& icon : position_icons()) {
    const std::string name = "i" + std::to_string(icon.id) + ".ico";
    const auto bytes = ico_bytes(icon.canvas);
    std::ofstream f(directory + "/" + name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + directory + "/" + name);
    json += std::string(first ? "" : ",\n") + "    {\"id\": " + std::to_string(icon.id) + ", \"file\": \"" + name + "\"}";
    first = false;
  }
  json += "\n  ]\n}\n";
  std::ofstream j(directory + "/" + json_name);
  j << json;
  if (!j) throw std::runtime_error("cannot write " + json_name);
}

Canvas demo_logo() {
  Canvas c(kDemoLogoWidth, kDemoLogoHeight, kPaleBlue);
  c.fill(0, 130, kDemoLogoWidth, 20, kNavy);
  c.fill(0, 126, kDemoLogoWidth, 4, kBlue);
  // The printer: body, paper tray slot and the sheet it gives out.
  c.fill(300, 60, 80, 50, kGrey);
  c.frame(300, 60, 80, 50, kDark);
  c.fill(310, 72, 60, 4, kDark);
  c.fill(316, 30, 48, 42, kWhite);
  c.frame(316, 30, 48, 42, kDark);
  for (int y = 38; y < 66; y += 7) c.line(322, y, 357, y, kGrey);
  c.disc(368, 100, 4, kGreen);
  return c;
}

}  // namespace morva::preview_art
