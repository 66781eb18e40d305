// The timed print's detail dialog, on the demo printer's sheet data: the
// hour and minute typed by the user are stored; a value outside the clock
// (the database gives only the minimum) is refused with its range and the
// field shows the stored value again; the arrows go round at both ends.
#include <gtest/gtest.h>

#include <string>

#include "dialog_sheet_fixture.h"
#include "property_sheets/document_pages.h"
#include "settings/items/item_access.h"
#include "win/ui_driver.h"

namespace {

namespace ui = morva::platform::ui;

constexpr WORD kJobType = 334, kHour = 451, kMinute = 452;
constexpr INT kHourEdit = 3371, kHourSpin = 3372, kMinuteEdit = 3374, kMinuteSpin = 3375;

class JobTime : public morva::test::DialogSheet {
 protected:
  void SetUp() override {
    DialogSheet::SetUp();
    ASSERT_NE(sheet(kSheetTypeDocument), nullptr);
    set(kJobType, 4);
  }
  void set(WORD ddmid, LONG value) {
    const WORD word = static_cast<WORD>(value);
    const BYTE byte = static_cast<BYTE>(value);
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    ASSERT_EQ(GetItemValue(ddmid, context_->current.devmode, context_->current.printer_data, &type, &size, &v), 0);
    const void* p = size == 1 ? static_cast<const void*>(&byte) : static_cast<const void*>(&word);
    ASSERT_EQ(SetItemValueRaw(ddmid, context_->current.devmode, context_->current.printer_data, type, size, p), 0);
  }
  LONG stored(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, context_->current.devmode, context_->current.printer_data, &type, &size, &v), 0);
    return GetTypedValue(type, &v);
  }
  INT_PTR run(ui::ModalScript script) { return open(3377, JobTypeDialogProc(43), std::move(script)); }
  static size_t warnings_with(const std::u16string& part) {
    size_t n = 0;
    for (const auto& m : morva::platform::message_box_log())
      if ((m.style & MB_ICONWARNING) && m.text.find(part) != std::u16string::npos) ++n;
    return n;
  }
};

TEST_F(JobTime, TypedHourAndMinuteAreStoredWithinTheClock) {
  struct Case {
    INT edit;
    const char16_t* typed;
    const char16_t* shown;  // after leaving the field
    const char16_t* range;  // in the warning; null when taken
  };
  const Case cases[] = {
      {kHourEdit, u"21", u"21", nullptr},       {kMinuteEdit, u"5", u"05", nullptr},
      {kHourEdit, u"24", u"21", u"0 and 23"},   {kMinuteEdit, u"60", u"05", u"0 and 59"},
      {kHourEdit, u"0", u"00", nullptr},        {kMinuteEdit, u"59", u"59", nullptr},
      {kHourEdit, u"23", u"23", nullptr},
  };
  EXPECT_EQ(run([&](HWND dialog) {
              for (const Case& c : cases) {
                const std::u16string label(c.typed);
                const size_t before = morva::platform::message_box_log().size();
                ASSERT_TRUE(ui::enter_text(ui::find(dialog, c.edit), c.typed));
                // Leave the field for the other one: a refused value keeps
                // the focus in its field.
                EXPECT_EQ(ui::focus(ui::find(dialog, c.edit == kHourEdit ? kMinuteEdit : kHourEdit)), !c.range);
                EXPECT_EQ(ui::text(ui::find(dialog, c.edit)), c.shown) << std::string(label.begin(), label.end());
                EXPECT_EQ(morva::platform::message_box_log().size(), before + (c.range ? 1 : 0));
                if (c.range) {
                  EXPECT_EQ(warnings_with(c.range), 1u);
                }
              }
              ui::press_ok(dialog);
            }),
            IDOK);
  EXPECT_EQ(stored(kHour), 23);
  EXPECT_EQ(stored(kMinute), 59);
}

TEST_F(JobTime, ArrowsGoRoundAtBothEndsOfTheClock) {
  set(kHour, 0);
  set(kMinute, 59);
  run([&](HWND dialog) {
    EXPECT_TRUE(ui::spin(ui::find(dialog, kHourSpin), false));
    EXPECT_EQ(ui::text(ui::find(dialog, kHourEdit)), u"23");
    EXPECT_TRUE(ui::spin(ui::find(dialog, kHourSpin), true));
    EXPECT_EQ(ui::text(ui::find(dialog, kHourEdit)), u"00");
    EXPECT_TRUE(ui::spin(ui::find(dialog, kMinuteSpin), true));
    EXPECT_EQ(ui::text(ui::find(dialog, kMinuteEdit)), u"00");
    EXPECT_TRUE(ui::spin(ui::find(dialog, kMinuteSpin), false));
    EXPECT_EQ(ui::text(ui::find(dialog, kMinuteEdit)), u"59");
    EXPECT_TRUE(ui::spin(ui::find(dialog, kMinuteSpin), false));
    EXPECT_EQ(ui::text(ui::find(dialog, kMinuteEdit)), u"58");
    ui::press_ok(dialog);
  });
  EXPECT_EQ(stored(kHour), 0);
  EXPECT_EQ(stored(kMinute), 58);
}

}  // namespace
