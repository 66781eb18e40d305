// The line-dialing dialog of the fax settings: three drop-downs over the
// dial settings of the outside line, the extension line and direct
// dialing, and a defaults button after which a device whose line setting
// is 1 dials its extension line the second way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_sheet_fixture.h"
#include "settings/items/item_access.h"
#include "win/ui_driver.h"

namespace {

namespace ui = morva::platform::ui;

class FaxLineDial : public morva::test::DialogSheet {
 protected:
  LONG current(WORD ddmid) {
    return GetEffectiveItemValue(context_->current.devmode, context_->current.printer_data, ddmid);
  }
  void set(WORD ddmid, WORD type, DWORD value) {
    const DWORD size = type == 3 ? 2 : 4;
    ASSERT_EQ(SetItemValueRaw(ddmid, context_->current.devmode, context_->current.printer_data, type, size, &value), 0)
        << ddmid;
  }
};

TEST_F(FaxLineDial, DefaultsFollowTheLineSetting) {
  constexpr INT kOutside = 4801, kExtension = 4802, kDirect = 4803, kDefaults = 1090, kOk = 1092;
  struct Case {
    WORD line;  // setting 4111
    LONG extension_after_defaults;
  } const cases[] = {{0, 0}, {1, 1}};
  for (const Case& c : cases) {
    ASSERT_NE(sheet(kSheetTypeDevice), nullptr);
    set(4111, 1, c.line);  // a flag
    set(5142, 3, 1);
    set(5145, 3, 1);
    const INT_PTR result = open(4800, EngineDialogProc<45, kDialogTypeDialog>, [&](HWND dialog) {
      EXPECT_EQ(ui::items(ui::find(dialog, kOutside)), (std::vector<std::u16string>{u"Tone", u"Pulse"}));
      EXPECT_EQ(ui::text(ui::find(dialog, kOutside)), u"Pulse");
      EXPECT_EQ(ui::text(ui::find(dialog, kExtension)), u"Tone");
      ASSERT_TRUE(ui::select(ui::find(dialog, kDirect), 0));
      ASSERT_TRUE(ui::click(ui::find(dialog, kDefaults)));
      EXPECT_EQ(ui::text(ui::find(dialog, kOutside)), u"Tone");
      EXPECT_EQ(ui::text(ui::find(dialog, kExtension)), c.line == 1 ? u"Pulse" : u"Tone");
      if (c.line == 1) {
        EXPECT_TRUE(ui::write_png(dialog, std::string(MORVA_BIN_DIR) + "/fax-line-dial-dialog.png"));
      }
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    EXPECT_EQ(result, 1) << c.line;
    EXPECT_EQ(current(5142), 0) << c.line;
    EXPECT_EQ(current(5144), c.extension_after_defaults) << c.line;
    EXPECT_EQ(current(5145), 0) << c.line;
  }
}

}  // namespace
