// The stamp page's preview on the demo printer (a colour model), opened
// headless through morvaui: the built-in red stamp shows in red, and in
// grey once the colour mode is black and white.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_demo.h"
#include "settings/items/item_access.h"
#include "sheet_picture_host.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace pictures = morva::sheet_pictures;

TEST(StampPreviewColour, RedStampTurnsGreyInBlackAndWhite) {
  morva::test::TempRoot root;
  std::string error;
  ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
  pictures::SheetHost host;
  ASSERT_TRUE(host.open(morva::gfx_demo::kDemoPrinter, &error)) << error;
  std::vector<BYTE> input = host.document_sheet([](HWND sheet) { morva::platform::ui::press_ok(sheet); });
  std::vector<BYTE> scratch(7972);
  auto put = [&](WORD ddmid, LONG value) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    ASSERT_EQ(GetItemValue(ddmid, input.data(), scratch.data(), &type, &size, &v), 0) << ddmid;
    ASSERT_EQ(SetItemValueRaw(ddmid, input.data(), scratch.data(), type, size, &value), 0) << ddmid;
  };
  struct Case {
    LONG colour_mode;
    bool red;
  } const cases[] = {{2, true}, {1, false}};
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(put(270, c.colour_mode));
    bool red = false;
    host.document_sheet(
        [&](HWND sheet) {
          pictures::select_tab(sheet, 2);
          // The built-in stamp "Draft", in red.
          ASSERT_TRUE(morva::platform::ui::select_text(morva::platform::ui::find(sheet, 1361), u"Draft"));
          const pictures::Shown shown =
              pictures::show(sheet, GetDlgItem(morva::platform::ui::current_page(sheet), 1451),
                             root.file("stamp_" + std::to_string(c.colour_mode) + ".png"));
          for (INT y = 0; y < shown.height; ++y)
            for (INT x = 0; x < shown.width; ++x) {
              const COLORREF p = shown.at(x, y);
              red = red || (GetRValue(p) > 150 && GetGValue(p) < 90 && GetBValue(p) < 90);
            }
          morva::platform::ui::press_cancel(sheet);
        },
        &input);
    EXPECT_EQ(red, c.red) << c.colour_mode;
  }
}

}  // namespace
