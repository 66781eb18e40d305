// The pages' built-in pictures through their item handler: the position
// icons follow the binding and booklet settings, and the colour sample is
// painted while its page is active.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "picture_fixture.h"
#include "property_sheets/picture_handlers.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "temp_root.h"
#include "win/ui_driver.h"
#include "win/win.h"

namespace {

LRESULT CALLBACK parent_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

// Icon colours: the binding bar, the booklet's cover, paper.
constexpr COLORREF kBar = RGB(40, 90, 200);
constexpr COLORREF kCover = RGB(240, 150, 30);
constexpr COLORREF kPaper = RGB(255, 255, 255);

class PicturePageHandlerTest : public ::testing::Test {
 protected:
  ResourceModuleRef resources_;
  morva::test::TempRoot root_;
  std::vector<BYTE> dm_ = std::vector<BYTE>(5988, 0), pd_ = std::vector<BYTE>(7972, 0);
  SheetState state_{};
  SheetContext context_{};
  HWND page_ = nullptr;

  void SetUp() override {
    morva::platform::ui::reset();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &parent_proc;
    wc.lpszClassName = u"PicturePageTest";
    RegisterClassExW(&wc);
    page_ = CreateWindowExW(0, u"PicturePageTest", u"Page", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                            nullptr, nullptr, nullptr);
    ASSERT_NE(page_, nullptr);
    struct Child {
      INT id;
      DWORD style;
      INT x, y, w, h;
    } children[] = {{1199, SS_ICON, 10, 10, 32, 32},
                    {1508, SS_ICON, 50, 10, 32, 32},
                    {1531, SS_ICON, 90, 10, 32, 32},
                    {1282, 0, 10, 60, 96, 48}};
    for (const Child& c : children)
      ASSERT_NE(CreateWindowExW(0, u"STATIC", u"", WS_CHILD | WS_VISIBLE | c.style, c.x, c.y, c.w, c.h, page_,
                                reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(c.id)), nullptr, nullptr),
                nullptr);
    context_.state = &state_;
    context_.current.devmode = dm_.data();
    context_.current.printer_data = pd_.data();
    SetSheetContext(page_, &context_);
  }
  void TearDown() override {
    if (page_) {
      for (INT id : {1199, 1508, 1531, 1282}) send(id, WM_DESTROY, 0);
      SetSheetContext(page_, nullptr);
      DestroyWindow(page_);
    }
    morva::platform::ui::reset();
  }
  void set(WORD ddmid, WORD type, DWORD v) {
    ASSERT_TRUE(SetItemValue(ddmid, dm_.data(), pd_.data(), static_cast<DWORD>(-1), type, &v)) << ddmid;
  }
  // One message to the handler of the control's record.
  INT send(INT id, UINT message, UINT code) {
    const ControlRecord record{id, 0, nullptr, 0, PicturePageHandler, nullptr, kNone, kNone, nullptr};
    ControlEvent event{};
    event.message = message;
    event.window = page_;
    event.devmode = dm_.data();
    event.printer_data = pd_.data();
    NMHDR header{page_, 0, code};
    return PicturePageHandler(&event, message, 0, code ? reinterpret_cast<LPARAM>(&header) : 0, &record, nullptr);
  }
  void activate(INT id) { send(id, WM_NOTIFY, static_cast<UINT>(PSN_SETACTIVE)); }
  HICON icon(INT id) { return reinterpret_cast<HICON>(SendDlgItemMessageW(page_, id, STM_GETICON, 0, 0)); }
  COLORREF at(INT id, INT x, INT y) {
    HWND control = GetDlgItem(page_, id);
    HDC dc = GetDC(control);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(control, dc);
    return c;
  }
  bool paint(const std::string& file) {
    return morva::platform::ui::write_png(page_, std::string(MORVA_BIN_DIR) + "/pictures/" + file);
  }
};

// The binding icon shows the bar on the binding side and is replaced when
// the side changes. The booklet icons show the cover while it is on.
TEST_F(PicturePageHandlerTest, PositionIconsFollowTheSettings) {
  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  set(267, 3, 1);  // bound at the left
  set(1291, 1, 1);  // booklet cover on
  for (INT id : {1199, 1508, 1531}) activate(id);
  ASSERT_NE(icon(1199), nullptr);
  ASSERT_TRUE(paint("position_icons_left.png"));
  EXPECT_EQ(at(1199, 8, 15), kBar);
  EXPECT_EQ(at(1199, 23, 15), kPaper);
  EXPECT_EQ(at(1508, 16, 26), kCover);
  EXPECT_EQ(at(1531, 1, 16), kCover);

  set(267, 3, 2);  // at the right, no cover
  set(1291, 1, 0);
  for (INT id : {1199, 1508, 1531}) send(id, UM_REFRESH_CONTROLS, 0);
  ASSERT_TRUE(paint("position_icons_right.png"));
  EXPECT_EQ(at(1199, 8, 15), kPaper);
  EXPECT_EQ(at(1199, 23, 15), kBar);
  EXPECT_NE(at(1508, 16, 26), kCover);
  EXPECT_NE(at(1531, 1, 16), kCover);
}

// The colour sample is painted from the page's settings while the page is
// active; when the page is left its record goes and nothing is painted.
TEST_F(PicturePageHandlerTest, ColourSampleWhileThePageIsActive) {
  send(1282, WM_INITDIALOG, 0);
  activate(1282);
  ASSERT_TRUE(paint("colour_sample.png"));
  const COLORREF hue = at(1282, 20, 10);
  EXPECT_FALSE(GetRValue(hue) == GetGValue(hue) && GetGValue(hue) == GetBValue(hue));

  set(270, 8, 1);  // grey mode: the sample turns grey
  send(1282, UM_REFRESH_CONTROLS, 0);
  ASSERT_TRUE(paint("colour_sample_grey.png"));
  const COLORREF grey = at(1282, 20, 10);
  EXPECT_TRUE(GetRValue(grey) == GetGValue(grey) && GetGValue(grey) == GetBValue(grey));

  send(1282, WM_NOTIFY, static_cast<UINT>(PSN_KILLACTIVE));
  send(1282, UM_REFRESH_CONTROLS, 0);
  ASSERT_TRUE(paint("colour_sample_left.png"));
  EXPECT_NE(at(1282, 20, 10), grey);
}

}  // namespace
