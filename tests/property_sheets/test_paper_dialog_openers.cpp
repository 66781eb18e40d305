// The device sheet's buttons open the font substitution and user paper
// size dialogs with their own procedures: the dialogs come up filled (the
// printer's font rows, the twenty user paper slots), not as bare templates.
#include <gtest/gtest.h>

#include <string>

#include "sheet_ui_fixture.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;

constexpr INT kFontsButton = 1064, kPapersButton = 1065;
constexpr INT kFontRows = 1223, kPaperSlots = 1286;

class PaperDialogOpeners : public morva::test::SheetUiTest {
 protected:
  DWORD printer_access() const override { return PRINTER_ALL_ACCESS; }
};

TEST_F(PaperDialogOpeners, DeviceSheetButtonsOpenTheFilledDialogs) {
  struct Case {
    INT button;
    INT list;
  } const cases[] = {{kFontsButton, kFontRows}, {kPapersButton, kPaperSlots}};
  for (const Case& c : cases) {
    size_t rows = 0;
    bool opened = false;
    const LONG answer = run_device_sheet([&](HWND sheet) {
      ui::script_modal([&](HWND dialog) {
        opened = true;
        rows = ui::items(ui::find(dialog, c.list)).size();
        ui::press_cancel(dialog);
      });
      ASSERT_TRUE(ui::click(ui::find(sheet, c.button)));
      EXPECT_TRUE(ui::press_ok(sheet));
    });
    EXPECT_EQ(answer, CPSUI_OK);
    EXPECT_TRUE(opened) << c.button;
    EXPECT_GT(rows, 0u) << c.button;
  }
}

}  // namespace
