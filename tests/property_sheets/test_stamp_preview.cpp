// The stamp preview painted from a printer's settings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../settings/demo_printer_fixture.h"
#include "../settings/setting_values.h"
#include "picture_fixture.h"
#include "property_sheets/stamp_preview.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace {

using morva::test::any_pixel;
using morva::test::pixel;
using morva::test::put;
using morva::test::ResourceModule;

TEST(StampPreview, FontHeightIsTheSameAtEveryResolutionAndNeverDividesByZero) {
  struct Case {
    LONG points, dpi;
    INT height;
  } cases[] = {{72, 600, 13}, {72, 300, 13}, {144, 600, 26}, {10, 600, 4}, {72, 0, 13}, {72, -300, 13}};
  for (const Case& c : cases) EXPECT_EQ(StampPreviewFontHeight(c.points, c.dpi), c.height) << c.points << "@" << c.dpi;
}

TEST(StampPreview, PaletteShadesAndGrey) {
  PALETTEENTRY p[16];
  BuildStampPalette(RGB(0x20, 0x40, 0xFE), FALSE, p);
  EXPECT_EQ(RGB(p[7].peRed, p[7].peGreen, p[7].peBlue), RGB(0x20, 0x40, 0xFE));
  EXPECT_EQ(RGB(p[15].peRed, p[15].peGreen, p[15].peBlue), RGB(0x90, 0xA0, 0xFF));
  EXPECT_EQ(RGB(p[0].peRed, p[0].peGreen, p[0].peBlue), RGB(0xFF, 0x33, 0x00));  // 0x0033FF as COLORREF
  EXPECT_EQ(RGB(p[6].peRed, p[6].peGreen, p[6].peBlue), RGB(0, 0, 0));
  EXPECT_EQ(p[3].peFlags, PC_NOCOLLAPSE);
  BuildStampPalette(RGB(0x20, 0x40, 0xFE), TRUE, p);
  const BYTE grey = static_cast<BYTE>(((0x20 + 0xFE) * 85 + 0x40 * 86) >> 8);
  EXPECT_EQ(RGB(p[7].peRed, p[7].peGreen, p[7].peBlue), RGB(grey, grey, grey));
}

class StampPreviewPaint : public morva::test::DemoPrinterTest {
 protected:
  std::vector<BYTE> dm, pd;
  ResourceModule res;

  void SetUp() override {
    DemoPrinterTest::SetUp();
    fill_defaults(dm, pd);
    text(297, u"Draft stamp");
    text(305, u"DejaVu Sans");
    text(299, u"DRAFT");
    put(dm.data(), pd.data(), 7, 1);
    put(dm.data(), pd.data(), 20, 600);
    put(dm.data(), pd.data(), 306, 72);
    put(dm.data(), pd.data(), 319, 0);
    put(dm.data(), pd.data(), 311, 0);
    put(dm.data(), pd.data(), 307, 700);
    put(dm.data(), pd.data(), 308, 0);
    put(dm.data(), pd.data(), 302, 0);
    put(dm.data(), pd.data(), 303, 0x202);
    put(dm.data(), pd.data(), 1288, 0);
    put(dm.data(), pd.data(), 301, RGB(210, 0, 0));
    put(dm.data(), pd.data(), 1287, 0);
  }
  void text(WORD ddmid, const char16_t* value) {
    ASSERT_TRUE(SetItemValue(ddmid, dm.data(), pd.data(), 0xFFFFFFFFu, 6, &value));
  }
  // Paints into a fresh bitmap; the result code of the paint.
  INT paint(HBITMAP* out, BOOL monochrome = FALSE, const std::string& png = {}) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    *out = CreateCompatibleBitmap(screen, kStampPreviewSize, kStampPreviewSize);
    HGDIOBJ old = SelectObject(dc, *out);
    const RECT client{0, 0, kStampPreviewSize, kStampPreviewSize};
    const INT r = DrawStampPreview(res.get(), dc, &client, dm.data(), pd.data(), monochrome);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    if (!png.empty()) {
      EXPECT_TRUE(morva::platform::write_png(*out, png));
    }
    return r;
  }
};

constexpr COLORREF kRed = RGB(210, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
// The portrait page: x 42-147, y 7-157; its middle band and its corners.
constexpr RECT kMiddle{42, 62, 148, 102};
constexpr RECT kTopLeft{42, 7, 95, 50};
constexpr RECT kBottomRight{95, 115, 148, 158};

TEST_F(StampPreviewPaint, OnceCentredRepeatedGreyOrNothing) {
  HBITMAP b = nullptr;
  ASSERT_EQ(paint(&b, FALSE, root.file("stamp-centre.png")), 0);
  EXPECT_TRUE(any_pixel(b, kMiddle, kRed));
  EXPECT_FALSE(any_pixel(b, kTopLeft, kRed));
  EXPECT_EQ(pixel(b, 45, 10), kWhite);
  EXPECT_NE(pixel(b, 2, 2), kWhite);  // outside the page: the background
  DeleteObject(b);

  put(dm.data(), pd.data(), 1288, 1);  // repeated over the page, whatever 303 says
  ASSERT_EQ(paint(&b, FALSE, root.file("stamp-repeated.png")), 0);
  EXPECT_TRUE(any_pixel(b, kTopLeft, kRed));
  EXPECT_TRUE(any_pixel(b, kBottomRight, kRed));
  EXPECT_FALSE(any_pixel(b, RECT{0, 0, 40, 165}, kRed));  // clipped to the page
  DeleteObject(b);

  ASSERT_EQ(paint(&b, TRUE, root.file("stamp-grey.png")), 0);
  const BYTE g = static_cast<BYTE>((210 * 85) >> 8);
  EXPECT_FALSE(any_pixel(b, kMiddle, kRed));
  EXPECT_TRUE(any_pixel(b, kMiddle, RGB(g, g, g)));
  DeleteObject(b);

  text(299, u"");
  ASSERT_EQ(paint(&b), 0);
  EXPECT_FALSE(any_pixel(b, kMiddle, kRed));
  EXPECT_EQ(pixel(b, 95, 80), kWhite);
  DeleteObject(b);
}

bool same_pixels(HBITMAP a, HBITMAP b) {
  for (INT y = 0; y < kStampPreviewSize; ++y)
    for (INT x = 0; x < kStampPreviewSize; ++x)
      if (pixel(a, x, y) != pixel(b, x, y)) return false;
  return true;
}

// The text is drawn in the face of the stamp's font (305), not in a face
// named like the stamp (297); without a stamp name the page shows alone.
TEST_F(StampPreviewPaint, FaceComesFromTheStampFont) {
  HBITMAP sans = nullptr, serif = nullptr, again = nullptr, none = nullptr;
  ASSERT_EQ(paint(&sans), 0);
  text(305, u"DejaVu Serif");
  ASSERT_EQ(paint(&serif), 0);
  EXPECT_TRUE(any_pixel(serif, kMiddle, kRed));
  EXPECT_FALSE(same_pixels(sans, serif));
  text(297, u"DejaVu Sans");  // a stamp named like a face changes nothing
  ASSERT_EQ(paint(&again), 0);
  EXPECT_TRUE(same_pixels(serif, again));
  text(297, u"");
  ASSERT_EQ(paint(&none), 0);
  EXPECT_FALSE(any_pixel(none, kMiddle, kRed));
  for (HBITMAP b : {sans, serif, again, none}) DeleteObject(b);
}

TEST_F(StampPreviewPaint, FramedTurnedAndLandscape) {
  put(dm.data(), pd.data(), 302, 1);
  put(dm.data(), pd.data(), 311, 450);
  put(dm.data(), pd.data(), 7, 2);
  HBITMAP b = nullptr;
  ASSERT_EQ(paint(&b, FALSE, root.file("stamp-framed.png")), 0);
  // The landscape page: x 7-157, y 42-147; the turned, framed stamp in it.
  EXPECT_EQ(pixel(b, 10, 45), kWhite);
  EXPECT_TRUE(any_pixel(b, RECT{7, 42, 158, 148}, kRed));
  EXPECT_FALSE(any_pixel(b, RECT{0, 0, 165, 40}, kRed));
  DeleteObject(b);
}

// A printer that does not say its resolution (0) still shows its stamp, as
// large as at any other resolution; no DC or no page picture stops the
// drawing.
TEST_F(StampPreviewPaint, AZeroResolutionStillShowsTheStamp) {
  HBITMAP known = nullptr, unknown = nullptr;
  ASSERT_EQ(paint(&known), 0);
  put(dm.data(), pd.data(), 20, 0);
  ASSERT_EQ(paint(&unknown), 0);
  EXPECT_TRUE(any_pixel(unknown, kMiddle, kRed));
  EXPECT_TRUE(same_pixels(known, unknown));
  DeleteObject(known);
  DeleteObject(unknown);
  const RECT client{0, 0, kStampPreviewSize, kStampPreviewSize};
  EXPECT_EQ(DrawStampPreview(res.get(), nullptr, &client, dm.data(), pd.data(), FALSE), 1);
  HMODULE empty = morva::platform::open_resource_container(std::vector<BYTE>{});
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(DrawStampPreview(empty, dc, &client, dm.data(), pd.data(), FALSE), 5);
  DeleteDC(dc);
  if (empty) morva::platform::close_resource_container(empty);
}

}  // namespace
