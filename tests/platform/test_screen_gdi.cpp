// The software GDI checked pixel by pixel on small bitmaps: raster
// operations, colour conversions, stretching, transparent and masked blits,
// brushes, shapes, regions and clipping, coordinate mapping, DIB formats
// and handle counts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "win/win.h"

namespace {

// A memory DC with a top-down DIB section selected, read through its bits.
class Canvas {
 public:
  Canvas(int w, int h, int bpp = 32, std::vector<RGBQUAD> colours = {}) : w_(w), h_(h), bpp_(bpp) {
    std::vector<BYTE> buf(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(buf.data());
    info->bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0,
                                       static_cast<DWORD>(colours.size()), 0};
    if (!colours.empty()) std::memcpy(info->bmiColors, colours.data(), colours.size() * sizeof(RGBQUAD));
    dc_ = CreateCompatibleDC(nullptr);
    bm_ = CreateDIBSection(dc_, info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bm_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bm_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bm_; }
  int stride() const { return ((w_ * bpp_ + 31) / 32) * 4; }
  // 32 bpp: the pixel as 0x00RRGGBB; other depths through GetPixel.
  DWORD raw(int x, int y) const {
    DWORD v;
    std::memcpy(&v, bits_ + y * stride() + x * 4, 4);
    return v & 0xFFFFFFu;
  }
  void set_raw(int x, int y, DWORD v) { std::memcpy(bits_ + y * stride() + x * 4, &v, 4); }
  COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }
  void fill(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    RECT r{0, 0, w_, h_};
    FillRect(dc_, &r, b);
    DeleteObject(b);
  }
  // Rows of 'x' (colour other than white) and '.' (white), read from the
  // bits of a 32-bit canvas (GetPixel would clip and map).
  std::vector<std::string> picture() const {
    std::vector<std::string> rows;
    for (int y = 0; y < h_; ++y) {
      std::string row;
      for (int x = 0; x < w_; ++x) row += raw(x, y) == 0xFFFFFFu ? '.' : 'x';
      rows.push_back(row);
    }
    return rows;
  }

 private:
  int w_, h_, bpp_;
  HDC dc_;
  HBITMAP bm_;
  HGDIOBJ old_;
  BYTE* bits_ = nullptr;
};

using Rows = std::vector<std::string>;

TEST(ScreenGdi, TernaryRasterOperationsOnEveryPixel) {
  // Each pixel has its own destination, source and pattern values so that
  // every bit combination occurs.
  const DWORD dst[4] = {0x00F0F0F0, 0x000FF00F, 0x00336699, 0x00A5A5A5};
  const DWORD src[4] = {0x00CCCCCC, 0x00FF00FF, 0x0055AA55, 0x00123456};
  const DWORD pat = 0x00AAAAAA;
  struct Case {
    DWORD rop;
    DWORD (*expect)(DWORD p, DWORD s, DWORD d);
  } cases[] = {
      {SRCCOPY, [](DWORD, DWORD s, DWORD) { return s; }},
      {SRCPAINT, [](DWORD, DWORD s, DWORD d) { return s | d; }},
      {SRCAND, [](DWORD, DWORD s, DWORD d) { return s & d; }},
      {SRCINVERT, [](DWORD, DWORD s, DWORD d) { return s ^ d; }},
      {SRCERASE, [](DWORD, DWORD s, DWORD d) { return s & ~d; }},
      {NOTSRCCOPY, [](DWORD, DWORD s, DWORD) { return ~s; }},
      {NOTSRCERASE, [](DWORD, DWORD s, DWORD d) { return ~(s | d); }},
      {MERGECOPY, [](DWORD p, DWORD s, DWORD) { return p & s; }},
      {MERGEPAINT, [](DWORD, DWORD s, DWORD d) { return ~s | d; }},
      {PATCOPY, [](DWORD p, DWORD, DWORD) { return p; }},
      {PATPAINT, [](DWORD p, DWORD s, DWORD d) { return p | ~s | d; }},
      {PATINVERT, [](DWORD p, DWORD, DWORD d) { return p ^ d; }},
      {DSTINVERT, [](DWORD, DWORD, DWORD d) { return ~d; }},
      {BLACKNESS, [](DWORD, DWORD, DWORD) { return DWORD{0}; }},
      {WHITENESS, [](DWORD, DWORD, DWORD) { return ~DWORD{0}; }},
      {0x00B8074A, [](DWORD p, DWORD s, DWORD d) { return ((d ^ p) & s) ^ p; }},  // PSDPxax
      {0x00E20746, [](DWORD p, DWORD s, DWORD d) { return ((p ^ d) & s) ^ d; }},  // DSPDxax
      {0x00960000, [](DWORD p, DWORD s, DWORD d) { return p ^ s ^ d; }},
  };
  Canvas source(4, 1);
  for (int i = 0; i < 4; ++i) source.set_raw(i, 0, src[i]);
  for (const auto& c : cases) {
    Canvas dest(4, 1);
    for (int i = 0; i < 4; ++i) dest.set_raw(i, 0, dst[i]);
    HBRUSH brush = CreateSolidBrush(RGB(0xAA, 0xAA, 0xAA));
    HGDIOBJ old = SelectObject(dest.dc(), brush);
    ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 4, 1, source.dc(), 0, 0, c.rop));
    SelectObject(dest.dc(), old);
    DeleteObject(brush);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(dest.raw(i, 0), c.expect(pat, src[i], dst[i]) & 0xFFFFFFu) << std::hex << c.rop << " pixel " << i;
  }
}

TEST(ScreenGdi, MonochromeConversionsUseTheDcColours) {
  // Colour to monochrome: the source DC's background colour becomes 1.
  Canvas colour(3, 1);
  colour.set_raw(0, 0, 0x00FF0000);  // red
  colour.set_raw(1, 0, 0x000000FF);  // blue
  colour.set_raw(2, 0, 0x00FF0000);
  SetBkColor(colour.dc(), RGB(255, 0, 0));
  HDC mono = CreateCompatibleDC(nullptr);
  HBITMAP mbm = CreateCompatibleBitmap(mono, 3, 1);  // fresh memory DC: monochrome
  BITMAP info{};
  ASSERT_EQ(GetObjectW(mbm, sizeof(info), &info), static_cast<INT>(sizeof(BITMAP)));
  EXPECT_EQ(info.bmBitsPixel, 1);
  HGDIOBJ old = SelectObject(mono, mbm);
  ASSERT_TRUE(BitBlt(mono, 0, 0, 3, 1, colour.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(mono, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mono, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(mono, 2, 0), RGB(255, 255, 255));

  // Monochrome to colour: 0 bits take the text colour, 1 bits the background.
  Canvas dest(3, 1);
  SetTextColor(dest.dc(), RGB(0, 128, 0));
  SetBkColor(dest.dc(), RGB(10, 20, 30));
  ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 3, 1, mono, 0, 0, SRCCOPY));
  EXPECT_EQ(dest.at(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(dest.at(1, 0), RGB(0, 128, 0));

  // The transparent drawing of the picture controls: a mask where the key
  // colour is white, ANDed, then the image with its key pixels made black
  // ORed on top, shows the background through the key pixels only.
  Canvas image(3, 1), target(3, 1);
  image.set_raw(0, 0, 0x00FF00FF);  // key: magenta
  image.set_raw(1, 0, 0x00112233);
  image.set_raw(2, 0, 0x00FF00FF);
  target.fill(RGB(0, 0, 255));
  SetBkColor(image.dc(), RGB(255, 0, 255));
  ASSERT_TRUE(BitBlt(mono, 0, 0, 3, 1, image.dc(), 0, 0, SRCCOPY));
  SetTextColor(target.dc(), RGB(0, 0, 0));
  SetBkColor(target.dc(), RGB(255, 255, 255));
  ASSERT_TRUE(BitBlt(target.dc(), 0, 0, 3, 1, mono, 0, 0, SRCAND));
  SetTextColor(image.dc(), RGB(0, 0, 0));
  SetBkColor(image.dc(), RGB(255, 255, 255));
  ASSERT_TRUE(BitBlt(image.dc(), 0, 0, 3, 1, mono, 0, 0, 0x00220326));  // DSna: key pixels to black
  ASSERT_TRUE(BitBlt(target.dc(), 0, 0, 3, 1, image.dc(), 0, 0, SRCPAINT));
  EXPECT_EQ(target.at(0, 0), RGB(0, 0, 255));
  EXPECT_EQ(target.at(1, 0), RGB(0x11, 0x22, 0x33));
  EXPECT_EQ(target.at(2, 0), RGB(0, 0, 255));
  SelectObject(mono, old);
  DeleteObject(mbm);
  DeleteDC(mono);
}

TEST(ScreenGdi, PaletteBitmapsKeepTheirIndices) {
  // An 8-bit DIB section: raster operations work on indices.
  std::vector<RGBQUAD> table(4);
  table[0] = RGBQUAD{0, 0, 0, 0};
  table[1] = RGBQUAD{0, 0, 255, 0};      // red
  table[2] = RGBQUAD{0, 255, 0, 0};      // green
  table[3] = RGBQUAD{255, 255, 255, 0};  // white
  Canvas a(2, 1, 8, table), b(2, 1, 8, table);
  SetPixel(a.dc(), 0, 0, RGB(255, 0, 0));
  SetPixel(a.dc(), 1, 0, RGB(0, 250, 0));  // nearest: green
  EXPECT_EQ(a.at(1, 0), RGB(0, 255, 0));
  SetPixel(b.dc(), 0, 0, RGB(0, 255, 0));
  SetPixel(b.dc(), 1, 0, RGB(0, 255, 0));
  ASSERT_TRUE(BitBlt(b.dc(), 0, 0, 2, 1, a.dc(), 0, 0, SRCPAINT));
  EXPECT_EQ(b.at(0, 0), RGB(255, 255, 255));  // index 1 | 2 = 3
  EXPECT_EQ(b.at(1, 0), RGB(0, 255, 0));
}

TEST(ScreenGdi, StretchModesOnShrinkAndGrow) {
  // A monochrome row 1 0 0 1 squeezed to two pixels.
  HDC src = CreateCompatibleDC(nullptr);
  const WORD bits[1] = {0x0090};  // 1001 0000 (rows are WORD-aligned)
  HBITMAP sbm = CreateBitmap(4, 1, 1, 1, bits);
  HGDIOBJ old_src = SelectObject(src, sbm);
  struct Case {
    int mode;
    COLORREF left, right;
  } cases[] = {
      {BLACKONWHITE, RGB(0, 0, 0), RGB(0, 0, 0)},            // AND of the pairs
      {WHITEONBLACK, RGB(255, 255, 255), RGB(255, 255, 255)},  // OR of the pairs
      {COLORONCOLOR, RGB(0, 0, 0), RGB(255, 255, 255)},      // pixels under the centres
  };
  for (const auto& c : cases) {
    Canvas dest(2, 1);
    SetStretchBltMode(dest.dc(), c.mode);
    ASSERT_TRUE(StretchBlt(dest.dc(), 0, 0, 2, 1, src, 0, 0, 4, 1, SRCCOPY));
    EXPECT_EQ(dest.at(0, 0), c.left) << c.mode;
    EXPECT_EQ(dest.at(1, 0), c.right) << c.mode;
  }
  SelectObject(src, old_src);
  DeleteObject(sbm);
  DeleteDC(src);

  // HALFTONE averages: black and white make grey.
  Canvas bw(2, 2), grey(1, 1);
  bw.fill(RGB(255, 255, 255));
  bw.set_raw(0, 0, 0);
  bw.set_raw(0, 1, 0);
  SetStretchBltMode(grey.dc(), HALFTONE);
  ASSERT_TRUE(StretchBlt(grey.dc(), 0, 0, 1, 1, bw.dc(), 0, 0, 2, 2, SRCCOPY));
  EXPECT_NEAR(GetRValue(grey.at(0, 0)), 128, 2);

  // Growing repeats pixels; a negative destination width mirrors.
  Canvas two(2, 1), wide(4, 1), mirrored(2, 1);
  two.set_raw(0, 0, 0x00FF0000);
  two.set_raw(1, 0, 0x000000FF);
  SetStretchBltMode(wide.dc(), COLORONCOLOR);
  ASSERT_TRUE(StretchBlt(wide.dc(), 0, 0, 4, 1, two.dc(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(wide.picture(), Rows{"xxxx"});
  EXPECT_EQ(wide.raw(1, 0), 0x00FF0000u);
  EXPECT_EQ(wide.raw(2, 0), 0x000000FFu);
  ASSERT_TRUE(StretchBlt(mirrored.dc(), 2, 0, -2, 1, two.dc(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(mirrored.raw(0, 0), 0x000000FFu);
  EXPECT_EQ(mirrored.raw(1, 0), 0x00FF0000u);
}

TEST(ScreenGdi, OverlappingBlitWithinOneBitmapMovesTheWholeRectangle) {
  Canvas c(5, 1);
  for (int i = 0; i < 5; ++i) c.set_raw(i, 0, static_cast<DWORD>(i + 1));
  ASSERT_TRUE(BitBlt(c.dc(), 1, 0, 4, 1, c.dc(), 0, 0, SRCCOPY));
  for (int i = 1; i < 5; ++i) EXPECT_EQ(c.raw(i, 0), static_cast<DWORD>(i)) << i;
}

TEST(ScreenGdi, TransparentAndMaskedBlits) {
  Canvas src(3, 1), dest(3, 1);
  src.set_raw(0, 0, 0x00FF00FF);
  src.set_raw(1, 0, 0x00123456);
  src.set_raw(2, 0, 0x00FF00FF);
  dest.fill(RGB(0, 0, 255));
  ASSERT_TRUE(TransparentBlt(dest.dc(), 0, 0, 3, 1, src.dc(), 0, 0, 3, 1, RGB(255, 0, 255)));
  EXPECT_EQ(dest.raw(0, 0), 0x000000FFu);
  EXPECT_EQ(dest.raw(1, 0), 0x00123456u);
  EXPECT_EQ(dest.raw(2, 0), 0x000000FFu);

  // MaskBlt: foreground SRCCOPY where the mask is 1, background keeps the
  // destination where it is 0.
  const WORD mask_bits[1] = {0x00A0};  // 101
  HBITMAP mask = CreateBitmap(3, 1, 1, 1, mask_bits);
  dest.fill(RGB(0, 0, 255));
  ASSERT_TRUE(MaskBlt(dest.dc(), 0, 0, 3, 1, src.dc(), 0, 0, mask, 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029)));
  EXPECT_EQ(dest.raw(0, 0), 0x00FF00FFu);
  EXPECT_EQ(dest.raw(1, 0), 0x000000FFu);
  EXPECT_EQ(dest.raw(2, 0), 0x00FF00FFu);
  DeleteObject(mask);
}

TEST(ScreenGdi, HatchAndPatternBrushes) {
  Canvas c(8, 8);
  c.fill(RGB(255, 255, 255));
  HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 0));
  SetBkMode(c.dc(), TRANSPARENT);
  SetBkColor(c.dc(), RGB(255, 0, 0));
  HGDIOBJ old_pen = SelectObject(c.dc(), GetStockObject(NULL_PEN));
  HGDIOBJ old_brush = SelectObject(c.dc(), hatch);
  Rectangle(c.dc(), 0, 0, 9, 9);  // null pen: one pixel smaller, so 0..7
  int black = 0, white = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      black += c.at(x, y) == RGB(0, 0, 0);
      white += c.at(x, y) == RGB(255, 255, 255);
    }
  EXPECT_EQ(black, 15);  // one row and one column of the 8 x 8 cell
  EXPECT_EQ(white, 49);  // transparent gaps keep the white
  // FillRect is a pattern blit: the gaps take the background colour.
  RECT all{0, 0, 8, 8};
  FillRect(c.dc(), &all, hatch);
  EXPECT_EQ(c.at(0, 0), RGB(255, 0, 0));
  SelectObject(c.dc(), old_brush);
  SelectObject(c.dc(), old_pen);
  DeleteObject(hatch);

  // A monochrome pattern paints 0 bits in the text colour, 1 bits in the
  // background colour, aligned to the brush origin; the brush outlives
  // its bitmap.
  const WORD rows[2] = {0x0040, 0x0080};  // 01 / 10
  HBITMAP pattern = CreateBitmap(2, 2, 1, 1, rows);
  HBRUSH brush = CreatePatternBrush(pattern);
  DeleteObject(pattern);
  SetTextColor(c.dc(), RGB(0, 0, 255));
  SetBkColor(c.dc(), RGB(0, 255, 0));
  FillRect(c.dc(), &all, brush);
  EXPECT_EQ(c.at(0, 0), RGB(0, 0, 255));
  EXPECT_EQ(c.at(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(c.at(2, 1), RGB(0, 255, 0));
  SetBrushOrgEx(c.dc(), 1, 0, nullptr);
  FillRect(c.dc(), &all, brush);
  EXPECT_EQ(c.at(0, 0), RGB(0, 255, 0));
  DeleteObject(brush);
}

TEST(ScreenGdi, ShapesCoverTheDocumentedPixels) {
  Canvas c(8, 6);
  c.fill(RGB(255, 255, 255));
  HGDIOBJ old_brush = SelectObject(c.dc(), GetStockObject(NULL_BRUSH));
  Rectangle(c.dc(), 1, 1, 6, 5);  // right and bottom edges excluded
  EXPECT_EQ(c.picture(), (Rows{
                             "........",
                             ".xxxxx..",
                             ".x...x..",
                             ".x...x..",
                             ".xxxxx..",
                             "........",
                         }));
  c.fill(RGB(255, 255, 255));
  MoveToEx(c.dc(), 0, 0, nullptr);
  LineTo(c.dc(), 4, 0);  // the last point is left out
  LineTo(c.dc(), 4, 3);
  POINT pos;
  GetCurrentPositionEx(c.dc(), &pos);
  EXPECT_EQ(pos.x, 4);
  EXPECT_EQ(pos.y, 3);
  EXPECT_EQ(c.picture(), (Rows{
                             "xxxxx...",
                             "....x...",
                             "....x...",
                             "........",
                             "........",
                             "........",
                         }));
  // XOR pen: every pixel of one figure is inverted once.
  c.fill(RGB(255, 255, 255));
  SetROP2(c.dc(), R2_XORPEN);
  HGDIOBJ old_pen = SelectObject(c.dc(), GetStockObject(WHITE_PEN));
  Rectangle(c.dc(), 0, 0, 3, 3);
  EXPECT_EQ(c.at(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(c.at(2, 2), RGB(0, 0, 0));
  EXPECT_EQ(c.at(1, 1), RGB(255, 255, 255));
  // A wide XOR line: its round stamps overlap, yet no pixel flips back.
  c.fill(RGB(255, 255, 255));
  HPEN wide = CreatePen(PS_SOLID, 3, RGB(255, 255, 255));
  SelectObject(c.dc(), wide);
  MoveToEx(c.dc(), 1, 2, nullptr);
  LineTo(c.dc(), 7, 2);
  EXPECT_EQ(c.picture(), (Rows{
                             "........",
                             "xxxxxxxx",
                             "xxxxxxxx",
                             "xxxxxxxx",
                             "........",
                             "........",
                         }));
  SetROP2(c.dc(), R2_COPYPEN);
  SelectObject(c.dc(), old_pen);
  SelectObject(c.dc(), old_brush);
  DeleteObject(wide);

  // Polygon fill modes: the centre of a pentagram is empty with ALTERNATE
  // and filled with WINDING.
  Canvas star(21, 21);
  const POINT pts[5] = {{10, 0}, {16, 20}, {0, 7}, {20, 7}, {4, 20}};
  HGDIOBJ sp = SelectObject(star.dc(), GetStockObject(NULL_PEN));
  HGDIOBJ sb = SelectObject(star.dc(), GetStockObject(BLACK_BRUSH));
  for (auto [mode, centre] : {std::pair{ALTERNATE, RGB(255, 255, 255)}, std::pair{WINDING, RGB(0, 0, 0)}}) {
    star.fill(RGB(255, 255, 255));
    SetPolyFillMode(star.dc(), mode);
    Polygon(star.dc(), pts, 5);
    EXPECT_EQ(star.at(10, 11), centre) << mode;
    EXPECT_EQ(star.at(10, 3), RGB(0, 0, 0)) << mode;
  }
  // An ellipse is symmetric in its box and touches each side.
  star.fill(RGB(255, 255, 255));
  Ellipse(star.dc(), 0, 0, 21, 11);  // null pen: the box is 0..19 x 0..9
  for (int x = 0; x < 20; ++x)
    for (int y = 0; y < 10; ++y) ASSERT_EQ(star.at(x, y), star.at(19 - x, 9 - y)) << x << "," << y;
  EXPECT_EQ(star.at(20, 5), RGB(255, 255, 255));
  EXPECT_EQ(star.at(0, 4), RGB(0, 0, 0));
  EXPECT_EQ(star.at(10, 0), RGB(0, 0, 0));
  EXPECT_EQ(star.at(0, 0), RGB(255, 255, 255));
  SelectObject(star.dc(), sp);
  SelectObject(star.dc(), sb);
}

TEST(ScreenGdi, DrawFocusRectTwiceLeavesNoTrace) {
  Canvas c(6, 5);
  c.fill(RGB(212, 208, 200));
  RECT r{0, 0, 6, 5};
  DrawFocusRect(c.dc(), &r);
  EXPECT_NE(c.at(0, 0), RGB(212, 208, 200));
  EXPECT_EQ(c.at(1, 0), RGB(212, 208, 200));
  EXPECT_EQ(c.at(2, 2), RGB(212, 208, 200));
  DrawFocusRect(c.dc(), &r);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(c.at(x, y), RGB(212, 208, 200));
  RECT edge{0, 0, 6, 5};
  DrawEdge(c.dc(), &edge, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  EXPECT_EQ(edge.left, 2);
  EXPECT_EQ(edge.bottom, 3);
  EXPECT_EQ(c.at(0, 2), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(c.at(5, 2), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST(ScreenGdi, RegionsCombineAndClip) {
  HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 2, 6, 6), out = CreateRectRgn(0, 0, 0, 0);
  struct Case {
    int mode, complexity;
    bool in_a_only, in_both, in_b_only;
  } cases[] = {
      {RGN_AND, SIMPLEREGION, false, true, false},
      {RGN_OR, COMPLEXREGION, true, true, true},
      {RGN_XOR, COMPLEXREGION, true, false, true},
      {RGN_DIFF, COMPLEXREGION, true, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CombineRgn(out, a, b, c.mode), c.complexity) << c.mode;
    EXPECT_EQ(PtInRegion(out, 1, 1), c.in_a_only) << c.mode;
    EXPECT_EQ(PtInRegion(out, 3, 3), c.in_both) << c.mode;
    EXPECT_EQ(PtInRegion(out, 5, 5), c.in_b_only) << c.mode;
  }
  EXPECT_FALSE(PtInRegion(a, 4, 0));  // right edge excluded
  RECT box;
  EXPECT_EQ(CombineRgn(out, a, b, RGN_OR), COMPLEXREGION);
  EXPECT_EQ(GetRgnBox(out, &box), COMPLEXREGION);
  EXPECT_EQ(box.right, 6);

  // The clip region is a copy in device units; SaveDC keeps it.
  Canvas c(6, 6);
  c.fill(RGB(255, 255, 255));
  EXPECT_EQ(SelectClipRgn(c.dc(), out), COMPLEXREGION);
  DeleteObject(out);
  int saved = SaveDC(c.dc());
  ExcludeClipRect(c.dc(), 0, 0, 2, 6);
  SetViewportOrgEx(c.dc(), 1, 0, nullptr);  // logical 0 is device 1
  IntersectClipRect(c.dc(), -1, 0, 4, 6);   // device 0..5
  SetViewportOrgEx(c.dc(), 0, 0, nullptr);
  RECT all{0, 0, 6, 6};
  FillRect(c.dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(c.picture(), (Rows{
                             "..xx..",
                             "..xx..",
                             "..xxx.",
                             "..xxx.",
                             "..xxx.",
                             "..xxx.",
                         }));
  EXPECT_TRUE(RestoreDC(c.dc(), saved));
  c.fill(RGB(255, 255, 255));
  FillRect(c.dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(c.picture()[0], "xxxx..");
  EXPECT_EQ(c.picture()[5], "..xxxx");
  EXPECT_EQ(GetClipBox(c.dc(), &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.bottom, 6);
  SelectClipRgn(c.dc(), nullptr);
  EXPECT_EQ(GetClipRgn(c.dc(), a), 0);
  FillRect(c.dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(c.picture()[0], "xxxxxx");
  DeleteObject(a);
  DeleteObject(b);
}

TEST(ScreenGdi, MappingModesScaleLogicalUnits) {
  Canvas c(10, 10);
  c.fill(RGB(255, 255, 255));
  SetMapMode(c.dc(), MM_ANISOTROPIC);
  SetWindowExtEx(c.dc(), 100, 100, nullptr);
  SetViewportExtEx(c.dc(), 10, 5, nullptr);
  SetWindowOrgEx(c.dc(), 50, 0, nullptr);
  POINT p{70, 40};
  LPtoDP(c.dc(), &p, 1);
  EXPECT_EQ(p.x, 2);
  EXPECT_EQ(p.y, 2);
  DPtoLP(c.dc(), &p, 1);
  EXPECT_EQ(p.x, 70);
  EXPECT_EQ(p.y, 40);
  RECT r{50, 0, 70, 40};
  FillRect(c.dc(), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(c.picture()[0], "xx........");
  EXPECT_EQ(c.picture()[2], "..........");
  // Isotropic: one unit keeps its size on both axes.
  SetMapMode(c.dc(), MM_ISOTROPIC);
  SetWindowExtEx(c.dc(), 100, 100, nullptr);
  SetViewportExtEx(c.dc(), 10, 5, nullptr);
  SIZE ext;
  GetViewportExtEx(c.dc(), &ext);
  EXPECT_EQ(ext.cx, 5);
  EXPECT_EQ(ext.cy, 5);
  // Outside the two free modes the extents stay.
  SetMapMode(c.dc(), MM_TEXT);
  SetWindowExtEx(c.dc(), 7, 7, nullptr);
  GetWindowExtEx(c.dc(), &ext);
  EXPECT_EQ(ext.cx, 1);
  EXPECT_EQ(GetDeviceCaps(c.dc(), LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(c.dc(), LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(c.dc(), BITSPIXEL), 32);
  EXPECT_EQ(MulDiv(-10, 96, 72), -13);
}

TEST(ScreenGdi, DibFormatsRoundTrip) {
  // The same picture through a DIB section of every depth and back.
  const COLORREF colours[4] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 0, 255)};
  for (int bpp : {1, 4, 8, 16, 24, 32}) {
    std::vector<RGBQUAD> table;
    if (bpp <= 8) {
      table = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
      if (bpp > 1) table.insert(table.end(), {RGBQUAD{0, 0, 255, 0}, RGBQUAD{255, 0, 0, 0}});
    }
    const int n = bpp == 1 ? 2 : 4;
    Canvas c(5, 3, bpp, table);
    // 24-bit bottom-up source: scan line 0 is the bottom row.
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 5, 3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> in(16 * 3, 0);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        COLORREF col = colours[(x + y) % n];
        BYTE* p = &in[static_cast<std::size_t>(y * 16 + x * 3)];
        p[0] = GetBValue(col), p[1] = GetGValue(col), p[2] = GetRValue(col);
      }
    ASSERT_EQ(SetDIBits(c.dc(), c.bitmap(), 0, 3, in.data(), &info, DIB_RGB_COLORS), 3) << bpp;
    EXPECT_EQ(c.at(0, 2), colours[0]) << bpp;  // bottom row, first pixel
    EXPECT_EQ(c.at(1, 0), colours[(1 + 2) % n]) << bpp;
    std::vector<BYTE> out(in.size(), 0xEE);
    BITMAPINFO back{};
    back.bmiHeader = info.bmiHeader;
    ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 3, out.data(), &back, DIB_RGB_COLORS), 3) << bpp;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 15; ++x) ASSERT_EQ(out[static_cast<std::size_t>(y * 16 + x)], in[static_cast<std::size_t>(y * 16 + x)]) << bpp;
  }
  // Header queries: bit count 0 fills the header only; an 8-bit read of a
  // 32-bit bitmap gets the default palette with white and black in it.
  Canvas c(3, 2);
  c.fill(RGB(255, 255, 255));
  std::vector<BYTE> buf(sizeof(BITMAPINFOHEADER) + 256 * 4);
  auto* info = reinterpret_cast<BITMAPINFO*>(buf.data());
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  ASSERT_NE(GetDIBits(c.dc(), c.bitmap(), 0, 0, nullptr, info, DIB_RGB_COLORS), 0);
  EXPECT_EQ(info->bmiHeader.biBitCount, 32);
  EXPECT_EQ(info->bmiHeader.biHeight, 2);
  info->bmiHeader.biBitCount = 8;
  std::vector<BYTE> idx(4 * 2);
  ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 2, idx.data(), info, DIB_RGB_COLORS), 2);
  const RGBQUAD& w = info->bmiColors[idx[0]];
  EXPECT_EQ(w.rgbRed + w.rgbGreen + w.rgbBlue, 255 * 3);

  // StretchDIBits draws a bottom-up DIB upright.
  Canvas d(5, 3);
  EXPECT_EQ(StretchDIBits(d.dc(), 0, 0, 5, 3, 0, 0, 5, 3, nullptr, info, DIB_RGB_COLORS, SRCCOPY), 0);
  BITMAPINFO i24{};
  i24.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 5, 3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<BYTE> red_bottom(16 * 3, 0);
  for (int x = 0; x < 5; ++x) red_bottom[static_cast<std::size_t>(x * 3 + 2)] = 255;
  ASSERT_EQ(StretchDIBits(d.dc(), 0, 0, 5, 3, 0, 0, 5, 3, red_bottom.data(), &i24, DIB_RGB_COLORS, SRCCOPY), 3);
  EXPECT_EQ(d.at(0, 2), RGB(255, 0, 0));
  EXPECT_EQ(d.at(0, 0), RGB(0, 0, 0));
  ASSERT_EQ(SetDIBitsToDevice(d.dc(), 0, 0, 5, 1, 0, 0, 0, 3, red_bottom.data(), &i24, DIB_RGB_COLORS), 3);
  EXPECT_EQ(d.at(0, 0), RGB(255, 0, 0));  // source y 0 of a bottom-up DIB is its bottom row
}

TEST(ScreenGdi, HandleCountsFindLeaks) {
  const auto before = morva::platform::gdi_object_counts();
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bm = CreateCompatibleBitmap(screen, 4, 4);
  BITMAP info{};
  GetObjectW(bm, sizeof(info), &info);
  EXPECT_EQ(info.bmBitsPixel, 32);  // the screen's format
  HPEN pen = CreatePen(PS_DASH, 1, RGB(1, 2, 3));
  HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
  HRGN rgn = CreateRectRgn(0, 0, 1, 1);
  auto during = morva::platform::gdi_object_counts();
  EXPECT_EQ(during.dcs, before.dcs + 2);
  EXPECT_EQ(during.bitmaps, before.bitmaps + 1);
  EXPECT_EQ(during.pens, before.pens + 1);
  EXPECT_EQ(during.brushes, before.brushes + 1);
  EXPECT_EQ(during.regions, before.regions + 1);

  HGDIOBJ old_bm = SelectObject(mem, bm);
  HGDIOBJ old_pen = SelectObject(mem, pen);
  EXPECT_EQ(GetObjectType(old_bm), static_cast<DWORD>(OBJ_BITMAP));
  EXPECT_FALSE(DeleteObject(bm));   // selected: refused
  EXPECT_FALSE(DeleteObject(pen));
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, bm), nullptr);  // one DC at a time
  DeleteDC(other);
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));  // stock: a no-op
  EXPECT_NE(GetObjectType(GetStockObject(BLACK_PEN)), 0u);
  LOGPEN lp{};
  EXPECT_EQ(GetObjectW(pen, sizeof(lp), &lp), static_cast<INT>(sizeof(lp)));
  EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DASH));
  SelectObject(mem, old_bm);
  SelectObject(mem, old_pen);
  EXPECT_TRUE(DeleteObject(bm));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(pen));  // gone
  DeleteObject(brush);
  DeleteObject(rgn);
  EXPECT_FALSE(DeleteObject(mem));  // DCs go with DeleteDC
  DeleteDC(mem);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  EXPECT_EQ(morva::platform::gdi_object_counts(), before);
}

TEST(ScreenGdi, SaveAndRestoreSelectedObjects) {
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  SetTextColor(dc, RGB(1, 1, 1));
  int first = SaveDC(dc);
  HGDIOBJ old = SelectObject(dc, red);
  SetTextColor(dc, RGB(2, 2, 2));
  int second = SaveDC(dc);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  EXPECT_EQ(second, 2);
  EXPECT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), red);
  EXPECT_FALSE(DeleteObject(red));  // selected again
  EXPECT_TRUE(RestoreDC(dc, first));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), old);
  EXPECT_EQ(GetTextColor(dc), RGB(1, 1, 1));
  EXPECT_FALSE(RestoreDC(dc, 1));  // nothing saved any more
  EXPECT_TRUE(DeleteObject(red));
  DeleteDC(dc);
}

TEST(ScreenGdi, SurfaceDcsDrawAtTheirOriginInsideTheirVisiblePart) {
  // What the window system does: a window's DC on its backing bitmap.
  HDC screen = GetDC(nullptr);
  HBITMAP surface = CreateCompatibleBitmap(screen, 10, 10);
  ReleaseDC(nullptr, screen);
  HDC win = morva::platform::create_surface_dc(surface, POINT{2, 3}, RECT{2, 3, 6, 8});
  ASSERT_NE(win, nullptr);
  EXPECT_EQ(morva::platform::dc_surface(win), surface);
  RECT all{-5, -5, 20, 20};
  FillRect(win, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(GetPixel(win, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(win, 4, 0), CLR_INVALID);  // outside the visible part
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, surface);
  EXPECT_EQ(GetPixel(mem, 2, 3), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mem, 5, 7), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mem, 6, 7), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(mem, 1, 3), RGB(0, 0, 0));
  SelectObject(mem, old);
  DeleteDC(mem);
  EXPECT_EQ(ReleaseDC(nullptr, win), 0);  // not from GetDC
  EXPECT_TRUE(DeleteDC(win));

  // A visible region with a hole (a child window's place).
  HRGN vis = CreateRectRgn(0, 0, 10, 10), child = CreateRectRgn(4, 4, 6, 6);
  CombineRgn(vis, vis, child, RGN_DIFF);
  HDC parent = morva::platform::create_surface_dc(surface, POINT{0, 0}, vis);
  DeleteObject(vis);
  DeleteObject(child);
  FillRect(parent, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetPixel(parent, 3, 3), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(parent, 4, 4), CLR_INVALID);
  RECT box;
  EXPECT_EQ(GetClipBox(parent, &box), COMPLEXREGION);
  DeleteDC(parent);
  DeleteObject(surface);
}

}  // namespace
