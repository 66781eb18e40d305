// Pictures of the software GDI: PNG files read back with libpng, icons of a
// resource module built by the resource compiler drawn with their masks
// and alpha, and a sample drawing a person can look at
// (screen_gdi_sample.png in the test's working folder).
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "png_file.h"
#include "temp_root.h"
#include "win/win.h"
#include "xrs_compiler.h"

namespace {

using Bytes = std::vector<BYTE>;

void put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<BYTE>(v));
  b.push_back(static_cast<BYTE>(v >> 8));
}
void put32(Bytes& b, unsigned v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

// An 8 x 8 icon image: 24-bit with the left half masked out (black under a
// set mask bit) and the right half red; or 32-bit, all blue at half alpha.
Bytes icon_image(int bpp) {
  Bytes b;
  put32(b, 40);
  put32(b, 8);
  put32(b, 16);
  put16(b, 1);
  put16(b, static_cast<unsigned>(bpp));
  for (int i = 0; i < 6; ++i) put32(b, 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (bpp == 32) {
        b.insert(b.end(), {255, 0, 0, 128});
      } else {
        BYTE r = x < 4 ? 0 : 255;
        b.insert(b.end(), {0, 0, r});
      }
    }
  }
  for (int y = 0; y < 8; ++y) b.insert(b.end(), {bpp == 32 ? BYTE{0} : BYTE{0xF0}, 0, 0, 0});
  return b;
}

Bytes ico_file(int bpp) {
  Bytes img = icon_image(bpp), f;
  put16(f, 0);
  put16(f, 1);
  put16(f, 1);
  f.insert(f.end(), {8, 8, 0, 0});
  put16(f, 1);
  put16(f, static_cast<unsigned>(bpp));
  put32(f, static_cast<unsigned>(img.size()));
  put32(f, 6 + 16);
  f.insert(f.end(), img.begin(), img.end());
  return f;
}

// Reads a PNG back as RGB rows.
bool read_png(const std::string& path, int& w, int& h, std::vector<BYTE>& rgb) {
  png_image image{};
  if (!morva::test::read_png_file(path, PNG_FORMAT_RGB, &image, &rgb)) return false;
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  return true;
}

class Pictures : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::test::write_file(root_.file("src/masked.ico"), std::string(masked.begin(), masked.end()));
    morva::test::write_file(root_.file("src/alpha.ico"), std::string(alpha.begin(), alpha.end()));
    auto result = morva::xrs::compile_resource_text(
        R"({"icons": [{"id": 300, "file": "masked.ico"}, {"id": 301, "file": "alpha.ico"}]})", root_.file("src"));
    ASSERT_TRUE(result.error.empty()) << result.error;
    container_ = result.container;
    module_ = morva::platform::open_resource_container(container_, nullptr);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { morva::platform::close_resource_container(module_); }

  morva::test::TempRoot root_;
  Bytes masked = ico_file(24), alpha = ico_file(32);
  Bytes container_;
  HMODULE module_ = nullptr;
};

TEST_F(Pictures, PngReadsBackPixelForPixel) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bm = CreateCompatibleBitmap(screen, 3, 2);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bm);
  const COLORREF colours[6] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(1, 2, 3), RGB(255, 255, 255), RGB(128, 64, 32)};
  for (int i = 0; i < 6; ++i) SetPixel(dc, i % 3, i / 3, colours[i]);
  // Both the DC and the bitmap give the same picture.
  for (HGDIOBJ what : {static_cast<HGDIOBJ>(dc), static_cast<HGDIOBJ>(bm)}) {
    std::string path = root_.file("out.png");
    ASSERT_TRUE(morva::platform::write_png(what, path));
    int w = 0, h = 0;
    std::vector<BYTE> rgb;
    ASSERT_TRUE(read_png(path, w, h, rgb));
    ASSERT_EQ(w, 3);
    ASSERT_EQ(h, 2);
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(rgb[static_cast<std::size_t>(i) * 3], GetRValue(colours[i])) << i;
      EXPECT_EQ(rgb[static_cast<std::size_t>(i) * 3 + 1], GetGValue(colours[i])) << i;
      EXPECT_EQ(rgb[static_cast<std::size_t>(i) * 3 + 2], GetBValue(colours[i])) << i;
    }
  }
  EXPECT_FALSE(MorvaWriteBitmapPng(bm, root_.file("missing/folder/out.png").c_str()));
  EXPECT_FALSE(MorvaWriteBitmapPng(nullptr, root_.file("none.png").c_str()));
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
}

TEST_F(Pictures, IconsDrawThroughTheirMaskOrAlpha) {
  const auto before = morva::platform::gdi_object_counts();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bm = CreateCompatibleBitmap(screen, 16, 8);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT all{0, 0, 16, 8};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HICON masked_icon = LoadIconW(module_, MAKEINTRESOURCEW(300));
  HICON alpha_icon = LoadIconW(module_, MAKEINTRESOURCEW(301));
  ASSERT_NE(masked_icon, nullptr);
  ASSERT_NE(alpha_icon, nullptr);
  ASSERT_TRUE(DrawIconEx(dc, 0, 0, masked_icon, 0, 0, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));  // masked: the background shows
  EXPECT_EQ(GetPixel(dc, 3, 7), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 4, 0), RGB(255, 0, 0));
  ASSERT_TRUE(DrawIconEx(dc, 8, 0, alpha_icon, 0, 0, 0, nullptr, DI_NORMAL));
  COLORREF blended = GetPixel(dc, 9, 1);
  EXPECT_NEAR(GetBValue(blended), 255, 1);
  EXPECT_NEAR(GetRValue(blended), 127, 1);
  // DI_MASK alone copies the mask; the icon stretched to 4 x 4.
  ASSERT_TRUE(DrawIconEx(dc, 0, 0, masked_icon, 4, 4, 0, nullptr, DI_MASK));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 0, 0));
  EXPECT_FALSE(DrawIconEx(dc, 0, 0, reinterpret_cast<HICON>(bm), 0, 0, 0, nullptr, DI_NORMAL));
  DestroyIcon(masked_icon);
  DestroyIcon(alpha_icon);
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
  EXPECT_EQ(morva::platform::gdi_object_counts(), before);
}

// A sample of everything the GDI draws, written where the test runs.
TEST_F(Pictures, SampleDrawing) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bm = CreateCompatibleBitmap(screen, 320, 200);
  HGDIOBJ old_bm = SelectObject(dc, bm);
  RECT all{0, 0, 320, 200};
  FillRect(dc, &all, reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(COLOR_BTNFACE + 1)));
  RECT panel{8, 8, 152, 92};
  DrawEdge(dc, &panel, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);

  HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 128));
  HBRUSH yellow = CreateSolidBrush(RGB(255, 220, 0));
  HGDIOBJ old_pen = SelectObject(dc, pen);
  HGDIOBJ old_brush = SelectObject(dc, yellow);
  Ellipse(dc, 20, 20, 80, 80);
  RoundRect(dc, 90, 20, 145, 80, 16, 16);
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(200, 0, 0));
  SelectObject(dc, hatch);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  const POINT star[5] = {{200, 12}, {224, 88}, {160, 40}, {240, 40}, {176, 88}};
  SetPolyFillMode(dc, WINDING);
  Polygon(dc, star, 5);
  HPEN dash = CreatePen(PS_DASH, 1, RGB(0, 128, 0));
  SelectObject(dc, dash);
  MoveToEx(dc, 250, 10, nullptr);
  LineTo(dc, 310, 90);
  Rectangle(dc, 250, 50, 310, 90);

  // A small picture with a key colour, copied, stretched and drawn
  // transparently.
  HDC pic = CreateCompatibleDC(dc);
  HBITMAP pbm = CreateCompatibleBitmap(dc, 16, 16);
  HGDIOBJ old_pic = SelectObject(pic, pbm);
  RECT p{0, 0, 16, 16};
  HBRUSH key = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(pic, &p, key);
  SelectObject(pic, GetStockObject(BLACK_PEN));
  HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
  SelectObject(pic, green);
  Ellipse(pic, 2, 2, 14, 14);
  BitBlt(dc, 10, 110, 16, 16, pic, 0, 0, SRCCOPY);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, 40, 100, 48, 48, pic, 0, 0, 16, 16, SRCCOPY);
  TransparentBlt(dc, 100, 100, 48, 48, pic, 0, 0, 16, 16, RGB(255, 0, 255));
  SetStretchBltMode(dc, HALFTONE);
  StretchBlt(dc, 160, 100, 48, 48, pic, 0, 0, 16, 16, SRCCOPY);
  BitBlt(dc, 220, 100, 48, 48, nullptr, 0, 0, DSTINVERT);
  HICON icon = LoadIconW(module_, MAKEINTRESOURCEW(300));
  DrawIconEx(dc, 280, 110, icon, 32, 32, 0, nullptr, DI_NORMAL);
  DestroyIcon(icon);
  RECT focus{4, 96, 316, 196};
  DrawFocusRect(dc, &focus);

  // Text: a label with a prefix, centred text, a bold line and a turned
  // stamp text.
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72);
  std::u16string face = u"DejaVu Sans";
  face.copy(lf.lfFaceName, face.size());
  HFONT label = CreateFontIndirectW(&lf);
  lf.lfWeight = FW_BOLD;
  lf.lfHeight = -16;
  HFONT bold = CreateFontIndirectW(&lf);
  lf.lfWeight = FW_NORMAL;
  lf.lfEscapement = lf.lfOrientation = 300;
  lf.lfHeight = -14;
  HFONT turned = CreateFontIndirectW(&lf);
  HGDIOBJ old_font = SelectObject(dc, label);
  SetBkMode(dc, TRANSPARENT);
  RECT text_box{8, 150, 150, 170};
  DrawTextW(dc, u"&Paper size: A4", -1, &text_box, DT_SINGLELINE | DT_VCENTER);
  RECT centred{150, 150, 316, 170};
  SetTextColor(dc, RGB(0, 0, 160));
  DrawTextW(dc, u"Centred, with an ellipsis at the end", -1, &centred, DT_SINGLELINE | DT_CENTER | DT_END_ELLIPSIS);
  SelectObject(dc, bold);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(255, 255, 200));
  SetTextColor(dc, RGB(0, 0, 0));
  TextOutW(dc, 10, 174, u"Bold on an opaque cell", 22);
  SelectObject(dc, turned);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(200, 0, 0));
  TextOutW(dc, 200, 192, u"CONFIDENTIAL", 12);
  SelectObject(dc, old_font);
  for (HFONT f : {label, bold, turned}) EXPECT_TRUE(DeleteObject(f));

  const std::string out = "screen_gdi_sample.png";
  EXPECT_TRUE(morva::platform::write_png(dc, out));
  std::vector<BYTE> rgb;
  int w = 0, h = 0;
  ASSERT_TRUE(read_png(out, w, h, rgb));
  EXPECT_EQ(w, 320);

  SelectObject(pic, old_pic);
  DeleteObject(pbm);
  DeleteDC(pic);
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(pen), static_cast<HGDIOBJ>(yellow), static_cast<HGDIOBJ>(hatch),
                    static_cast<HGDIOBJ>(dash), static_cast<HGDIOBJ>(key), static_cast<HGDIOBJ>(green)})
    EXPECT_TRUE(DeleteObject(o));
  SelectObject(dc, old_bm);
  DeleteObject(bm);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

}  // namespace
