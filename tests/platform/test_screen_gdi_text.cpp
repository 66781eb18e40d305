// Text of the software GDI: metrics and extents against FreeType itself,
// drawing with alignment and background modes, rotated text and the
// DrawTextW layout flags.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "win/win.h"

namespace {

class TextCanvas : public ::testing::Test {
 protected:
  void SetUp() override {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bm_ = CreateCompatibleBitmap(screen, 200, 80);
    ReleaseDC(nullptr, screen);
    old_bm_ = SelectObject(dc_, bm_);
    clear();
    LOGFONTW lf{};
    lf.lfHeight = -16;
    lf.lfWeight = FW_NORMAL;
    std::u16string face = u"DejaVu Sans";
    face.copy(lf.lfFaceName, face.size());
    font_ = CreateFontIndirectW(&lf);
    old_font_ = SelectObject(dc_, font_);
  }
  void TearDown() override {
    SelectObject(dc_, old_font_);
    SelectObject(dc_, old_bm_);
    EXPECT_TRUE(DeleteObject(font_));
    DeleteObject(bm_);
    DeleteDC(dc_);
  }
  void clear() {
    RECT all{0, 0, 200, 80};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  // The box of pixels that are not white.
  RECT ink() const {
    RECT r{1000, 1000, -1, -1};
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 200; ++x)
        if (GetPixel(dc_, x, y) != RGB(255, 255, 255)) {
          r.left = std::min<LONG>(r.left, x), r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1), r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
  int count(COLORREF c) const {
    int n = 0;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 200; ++x) n += GetPixel(dc_, x, y) == c;
    return n;
  }

  HDC dc_ = nullptr;
  HBITMAP bm_ = nullptr;
  HFONT font_ = nullptr;
  HGDIOBJ old_bm_ = nullptr, old_font_ = nullptr;
};

TEST_F(TextCanvas, ExtentsAndMetricsAgreeWithFreeType) {
  TEXTMETRICW tm{};
  ASSERT_TRUE(GetTextMetricsW(dc_, &tm));
  EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
  EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 16);  // the em height asked for
  WCHAR face[LF_FACESIZE];
  ASSERT_GT(GetTextFaceW(dc_, LF_FACESIZE, face), 0);
  EXPECT_EQ(std::u16string(face), u"DejaVu Sans");

  // The advance widths of the same face at a 16-pixel em, unhinted.
  LOGFONTW lf{};
  GetObjectW(font_, sizeof(lf), &lf);
  auto match = morva::platform::fonts::match_font(lf);
  FT_Library lib;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face ft;
  ASSERT_EQ(FT_New_Face(lib, match.face->file.c_str(), match.face->index, &ft), 0);
  ASSERT_EQ(FT_Set_Pixel_Sizes(ft, 0, 16), 0);
  for (const std::u16string text : {u"Paper size", u"A4 (210 x 297 mm)", u"WWWWiiii", u"x"}) {
    double expect = 0;
    for (char16_t c : text) {
      ASSERT_EQ(FT_Load_Char(ft, c, FT_LOAD_NO_HINTING), 0);
      expect += ft->glyph->linearHoriAdvance / 65536.0;
    }
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32W(dc_, text.data(), static_cast<INT>(text.size()), &size));
    EXPECT_NEAR(size.cx, expect, 1.0 + text.size() / 2.0) << std::string(text.begin(), text.end());
    EXPECT_EQ(size.cy, tm.tmHeight);
  }
  FT_Done_Face(ft);
  FT_Done_FreeType(lib);
  SIZE empty{5, 5};
  ASSERT_TRUE(GetTextExtentPoint32W(dc_, u"", 0, &empty));
  EXPECT_EQ(empty.cx, 0);
}

TEST_F(TextCanvas, TextOutFollowsAlignmentAndBackgroundMode) {
  SIZE size{};
  GetTextExtentPoint32W(dc_, u"Hello", 5, &size);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc_, &tm);
  SetBkMode(dc_, TRANSPARENT);
  ASSERT_TRUE(TextOutW(dc_, 10, 10, u"Hello", 5));
  RECT r = ink();
  EXPECT_GE(r.left, 10);
  EXPECT_LE(r.right, 10 + size.cx + 1);
  EXPECT_GE(r.top, 10);
  EXPECT_LE(r.bottom, 10 + tm.tmHeight);

  // TA_RIGHT | TA_BASELINE: the text ends at x and stands on y.
  clear();
  SetTextAlign(dc_, TA_RIGHT | TA_BASELINE);
  ASSERT_TRUE(TextOutW(dc_, 150, 40, u"Hello", 5));
  r = ink();
  EXPECT_LE(r.right, 151);
  EXPECT_GE(r.left, 150 - size.cx - 1);
  EXPECT_EQ(r.bottom, 40);  // no descenders in "Hello"
  SetTextAlign(dc_, TA_LEFT | TA_TOP);

  // Opaque background fills the whole cell in the background colour.
  clear();
  SetBkMode(dc_, OPAQUE);
  SetBkColor(dc_, RGB(0, 0, 255));
  SetTextColor(dc_, RGB(255, 255, 0));
  TextOutW(dc_, 0, 0, u"Hello", 5);
  EXPECT_EQ(GetPixel(dc_, 0, tm.tmHeight - 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc_, size.cx - 1, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc_, size.cx, 0), RGB(255, 255, 255));
  EXPECT_GT(count(RGB(255, 255, 0)), 20);

  // TA_UPDATECP: drawn at the current position, which moves on.
  clear();
  SetTextAlign(dc_, TA_UPDATECP);
  MoveToEx(dc_, 5, 5, nullptr);
  TextOutW(dc_, 0, 0, u"Hello", 5);
  POINT pos{};
  GetCurrentPositionEx(dc_, &pos);
  EXPECT_EQ(pos.x, 5 + size.cx);
  SetTextAlign(dc_, TA_LEFT | TA_TOP);

  // ETO_CLIPPED keeps the text inside the rectangle.
  clear();
  SetBkMode(dc_, TRANSPARENT);
  RECT box{10, 10, 20, 60};
  ExtTextOutW(dc_, 10, 10, ETO_CLIPPED, &box, u"Hello", 5, nullptr);
  r = ink();
  EXPECT_LE(r.right, 20);
}

TEST_F(TextCanvas, EscapementTurnsTheText) {
  LOGFONTW lf{};
  GetObjectW(font_, sizeof(lf), &lf);
  lf.lfEscapement = lf.lfOrientation = 900;  // upwards
  HFONT up = CreateFontIndirectW(&lf);
  SelectObject(dc_, up);
  SetBkMode(dc_, TRANSPARENT);
  TextOutW(dc_, 100, 70, u"Long text", 9);
  RECT r = ink();
  EXPECT_GT(r.bottom - r.top, r.right - r.left);  // taller than wide
  EXPECT_LE(r.bottom, 71);
  SelectObject(dc_, font_);
  EXPECT_TRUE(DeleteObject(up));
}

TEST_F(TextCanvas, DrawTextLayoutFlags) {
  TEXTMETRICW tm{};
  GetTextMetricsW(dc_, &tm);
  SIZE file{}, word{};
  GetTextExtentPoint32W(dc_, u"File", 4, &file);
  GetTextExtentPoint32W(dc_, u"Duplex printing", 15, &word);

  // Measuring only: prefixes take no room; lines break at CR/LF.
  RECT calc{0, 0, 0, 0};
  EXPECT_EQ(DrawTextW(dc_, u"&File", -1, &calc, DT_CALCRECT | DT_NOCLIP | DT_SINGLELINE), tm.tmHeight);
  EXPECT_EQ(calc.right, file.cx);
  EXPECT_EQ(ink().right, -1);  // nothing drawn
  calc = RECT{0, 0, 0, 0};
  EXPECT_EQ(DrawTextW(dc_, u"a\r\nbb\nccc", -1, &calc, DT_CALCRECT), 3 * tm.tmHeight);
  // Word breaking at spaces inside the width.
  calc = RECT{0, 0, word.cx - 5, 0};
  EXPECT_EQ(DrawTextW(dc_, u"Duplex printing", -1, &calc, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
  calc = RECT{0, 0, word.cx + 5, 0};
  EXPECT_EQ(DrawTextW(dc_, u"Duplex printing", -1, &calc, DT_CALCRECT | DT_WORDBREAK), tm.tmHeight);

  // Centred in both directions on one line; the answer is the offset of
  // the text's bottom.
  SetBkMode(dc_, TRANSPARENT);
  RECT cell{0, 0, 200, 80};
  INT bottom = DrawTextW(dc_, u"File", 4, &cell, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  EXPECT_EQ(bottom, (80 - tm.tmHeight) / 2 + tm.tmHeight);
  RECT r = ink();
  EXPECT_NEAR((r.left + r.right) / 2.0, 100, 3);
  EXPECT_GE(r.top, (80 - tm.tmHeight) / 2);

  // A prefix underlines its character; DT_NOPREFIX shows the ampersand.
  clear();
  DrawTextW(dc_, u"&File", -1, &cell, DT_SINGLELINE);
  int underlined = count(RGB(0, 0, 0));
  clear();
  DrawTextW(dc_, u"&File", -1, &cell, DT_SINGLELINE | DT_HIDEPREFIX);
  EXPECT_GT(underlined, count(RGB(0, 0, 0)));
  SIZE amp{};
  GetTextExtentPoint32W(dc_, u"&File", 5, &amp);
  calc = RECT{0, 0, 0, 0};
  DrawTextW(dc_, u"&File", -1, &calc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(calc.right, amp.cx);

  // An ellipsis shortens a line that does not fit, and can be written back.
  clear();
  WCHAR path[] = u"A very long name of a stamp";
  RECT narrow{0, 0, 80, 20};
  DrawTextW(dc_, path, -1, &narrow, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING);
  std::u16string shown(path);
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.substr(shown.size() - 3), u"...");
  SIZE fit{};
  GetTextExtentPoint32W(dc_, path, static_cast<INT>(shown.size()), &fit);
  EXPECT_LE(fit.cx, 80);
  EXPECT_LE(ink().right, 80);
}

}  // namespace
