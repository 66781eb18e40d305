// Bitmap statics take the size of the bitmap they are given and paint it
// (centred in their own size with SS_CENTERIMAGE); a hollow brush paints
// nothing, so a transparent control leaves what lies behind it.
#include <filesystem>
#include <string>

#include "fixtures/ui_fixture.h"

namespace {

using namespace morva::test;
namespace ui = morva::platform::ui;

class BitmapStatic : public UiTest {
 protected:
  HBITMAP solid(INT w, INT h, COLORREF c) {
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateCompatibleBitmap(screen, w, h);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, b);
    RECT r{0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(c);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return b;
  }
  // The colour at (x, y) of `control` after the whole dialog is drawn.
  static COLORREF shown(HWND dialog, HWND control, INT x, INT y) {
    const std::string path = std::string(MORVA_BIN_DIR) + "/pictures/pic_bitmap_static.png";
    std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
    EXPECT_TRUE(ui::write_png(dialog, path));
    HDC dc = GetDC(control);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(control, dc);
    return c;
  }
};

TEST_F(BitmapStatic, TakesTheBitmapsSizeOrCentresIt) {
  HWND dialog = CreateWindowExW(0, u"STATIC", u"", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80, nullptr, nullptr, nullptr,
                                nullptr);
  ASSERT_NE(dialog, nullptr);
  constexpr COLORREF kRed = RGB(200, 0, 0);
  struct Case {
    LONG style;
    INT placed_w, placed_h;  // the control's size before
    INT w, h;                // after
    POINT red, not_red;
  } const cases[] = {
      {SS_BITMAP, 0, 0, 30, 20, {29, 19}, {-1, -1}},
      {SS_BITMAP | SS_CENTERIMAGE, 60, 40, 60, 40, {30, 20}, {2, 2}},
  };
  for (const Case& c : cases) {
    HWND control = CreateWindowExW(0, u"STATIC", u"", WS_CHILD | WS_VISIBLE | c.style, 5, 5, c.placed_w, c.placed_h,
                                   dialog, nullptr, nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    HBITMAP bitmap = solid(30, 20, kRed);
    EXPECT_EQ(SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)), 0);
    RECT r{};
    GetClientRect(control, &r);
    EXPECT_EQ(r.right, c.w) << c.style;
    EXPECT_EQ(r.bottom, c.h) << c.style;
    EXPECT_EQ(shown(dialog, control, c.red.x, c.red.y), kRed) << c.style;
    if (c.not_red.x >= 0) {
      EXPECT_NE(shown(dialog, control, c.not_red.x, c.not_red.y), kRed) << c.style;
    }
    EXPECT_EQ(reinterpret_cast<HBITMAP>(SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, 0)), bitmap);
    DeleteObject(bitmap);
    DestroyWindow(control);
  }
  DestroyWindow(dialog);
}

TEST_F(BitmapStatic, AHollowBrushPaintsNothing) {
  HBITMAP bitmap = solid(8, 8, RGB(10, 200, 30));
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT r{0, 0, 8, 8};
  EXPECT_TRUE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))));
  EXPECT_TRUE(FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH))));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(10, 200, 30));
  EXPECT_EQ(GetPixel(dc, 4, 4), RGB(10, 200, 30));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
}

}  // namespace
