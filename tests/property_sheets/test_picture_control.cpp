// Picture controls in the window system: a static control painting the
// preview, its palette handling and its click.
#include <gtest/gtest.h>

#include <string>

#include "picture_fixture.h"
#include "property_sheets/picture_control.h"
#include "property_sheets/preview.h"
#include "temp_root.h"
#include "win/ui_driver.h"
#include "win/win.h"

namespace {

using morva::test::ResourceModule;

constexpr UINT kPreviewControl = 1186;
constexpr WPARAM kClick = 0x55;

// The settings the test builder shows; changed between paints.
PreviewSettings g_settings;

INT preview_builder(HMODULE module, HWND dialog, UINT, PreviewImage** list, HPALETTE* palette) {
  return ComposePreviewLayers(&g_settings, module, dialog, list, palette);
}

LRESULT CALLBACK parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

class PictureControl : public ::testing::Test {
 protected:
  ResourceModule res;
  HWND parent = nullptr, control = nullptr;
  PictureKindData data{&preview_builder, 0, nullptr, kClick, TRUE, kPictureBackgroundButtonFace, FALSE};

  void SetUp() override {
    morva::platform::ui::reset();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &parent_proc;
    wc.lpszClassName = u"PictureTestParent";
    RegisterClassExW(&wc);
    parent = CreateWindowExW(0, u"PictureTestParent", u"Pictures", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 220,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    control = CreateWindowExW(0, u"STATIC", u"", WS_CHILD | WS_VISIBLE, 10, 10, preview_geometry::kControlWidth,
                              preview_geometry::kControlHeight, parent,
                              reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(kPreviewControl)), nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    g_settings = PreviewSettings{};
    g_settings.pagesPerSheet = 4;
    g_settings.order264 = 3;
    g_settings.colourCapable = TRUE;
    g_settings.sheetOrientation = DeriveSheetOrientation(1, 4);
  }
  void TearDown() override {
    if (parent) DestroyWindow(parent);
    morva::platform::ui::reset();
  }
  morva::test::TempRoot root;
  // The window system draws the window tree on demand.
  bool paint(const char* file) { return morva::platform::ui::write_png(parent, root.file(file)); }
  COLORREF at(int x, int y) {
    HDC dc = GetDC(control);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(control, dc);
    return c;
  }
};

TEST_F(PictureControl, PaintsTheBuilderPictureWithTheKeyColourTransparent) {
  ASSERT_EQ(SubclassPictureControl(parent, kPreviewControl, &data, res.get()), 1);
  ASSERT_TRUE(paint("picture_control.png"));
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(at(96, 17), RGB(255, 255, 255));  // the sheet
  EXPECT_EQ(at(103, 23), RGB(255, 255, 255));
  EXPECT_EQ(at(199, 129), face);               // the key colour lets the face show
  // The settings changed: the next paint shows the staple.
  g_settings.position320 = 1;
  ASSERT_EQ(InvalidatePicture(parent, kPreviewControl), 0);
  ASSERT_TRUE(paint("picture_control_staple.png"));
  EXPECT_EQ(at(103, 23), RGB(0, 0, 0));
  EXPECT_EQ(InvalidatePicture(parent, 4711), 6);
  // Palette changes are answered (the window system repaints on demand).
  EXPECT_EQ(SendMessageW(control, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(control), 0), 0);
  EXPECT_EQ(SendMessageW(control, WM_QUERYNEWPALETTE, 0, 0), 0);
}

TEST_F(PictureControl, AClickAsksTheDialogToCycleTheChoice) {
  ASSERT_EQ(SubclassPictureControl(parent, kPreviewControl, &data, res.get()), 1);
  EXPECT_EQ(SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control), 0), TRUE);
  SendMessageW(control, WM_LBUTTONDOWN, 0, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, parent, UM_CYCLE_CHOICE, UM_CYCLE_CHOICE, PM_REMOVE));
  EXPECT_EQ(msg.wParam, kClick);
  // Without a click command the control leaves both to the static control.
  data.click_command = 0;
  SendMessageW(control, WM_LBUTTONDOWN, 0, 0);
  EXPECT_FALSE(PeekMessageW(&msg, parent, UM_CYCLE_CHOICE, UM_CYCLE_CHOICE, PM_REMOVE));
  EXPECT_EQ(SubclassPictureControl(parent, 4711, &data, res.get()), 0);
}

TEST_F(PictureControl, ASingleBitmapOnTheParentBackground) {
  PictureKindData single{nullptr, 7000, nullptr, 0, FALSE, kPictureBackgroundParent, FALSE};
  ASSERT_EQ(SubclassPictureControl(parent, kPreviewControl, &single, res.get()), 1);
  ASSERT_TRUE(paint("picture_single.png"));
  EXPECT_EQ(at(0, 0), RGB(80, 80, 80));    // the sheet bitmap's frame at (0, 0)
  EXPECT_EQ(at(10, 10), RGB(255, 255, 255));
}

}  // namespace
