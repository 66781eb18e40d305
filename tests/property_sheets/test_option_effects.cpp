// What a changed installable option brings with it in the settings: the
// fax kit follows the fax card, and without any fax option the fax
// settings are cleared.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "property_sheets/device_pages.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"

namespace {

struct Settings {
  std::vector<BYTE> devmode = std::vector<BYTE>(5988);
  std::vector<BYTE> printer_data = std::vector<BYTE>(kPrinterDataBlockSize);
  ControlEvent event{};
  Settings() {
    event.devmode = devmode.data();
    event.printer_data = printer_data.data();
  }
  void set(WORD ddmid, WORD type, DWORD size, DWORD value) {
    ASSERT_EQ(SetItemValueRaw(ddmid, event.devmode, event.printer_data, type, size, &value), 0) << ddmid;
  }
  void set_text(WORD ddmid, const char16_t* text) {
    ASSERT_TRUE(SetItemValue(ddmid, event.devmode, event.printer_data, static_cast<DWORD>(-1), 6, &text)) << ddmid;
  }
  LONG number(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, event.devmode, event.printer_data, &type, &size, &v), 0) << ddmid;
    return GetTypedValue(type, &v);
  }
  std::u16string text(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, event.devmode, event.printer_data, &type, &size, &v), 0) << ddmid;
    return ItemText(v, size);
  }
};

TEST(OptionEffects, FaxCardAndSipFax) {
  struct Case {
    const char* what;
    DWORD card, sip;
    WORD changed, shown;
    LONG kit;  // -1: not written (stays on)
    bool cleared_texts, cleared_lists;
  };
  const Case cases[] = {
      {"no fax at all", 0, 0, 4369, 4369, 0, true, true},
      {"a fax card", 2, 0, 4369, 4369, 1, false, false},
      {"no card, but SIP fax", 0, 1, 4369, 4369, 0, true, false},
      {"SIP fax turned off without a card", 0, 0, 4142, 4142, -1, false, true},
      {"the list shows another option", 0, 0, 4369, 4103, 0, false, false},
  };
  for (const Case& c : cases) {
    Settings s;
    s.set(4369, 8, 1, c.card);
    s.set(4142, 1, 4, c.sip);
    s.set(4125, 1, 4, c.kit == 1 ? 0 : 1);
    s.set(5210, 1, 4, 3);
    s.set(5212, 1, 4, 4);
    s.set_text(5141, u"12");
    s.set_text(5143, u"34");
    ApplyOptionSideEffects(&s.event, c.changed, c.shown);
    EXPECT_EQ(s.number(4125), c.kit < 0 ? 1 : c.kit) << c.what;
    EXPECT_EQ(s.text(5141), c.cleared_texts ? u"" : u"12") << c.what;
    EXPECT_EQ(s.text(5143), c.cleared_texts ? u"" : u"34") << c.what;
    EXPECT_EQ(s.number(5210), c.cleared_lists ? 0 : 3) << c.what;
    EXPECT_EQ(s.number(5212), c.cleared_lists ? 0 : 4) << c.what;
  }
  EXPECT_TRUE(IsTrayOrOptionSetting(4103));
  EXPECT_TRUE(IsTrayOrOptionSetting(6401));
  EXPECT_FALSE(IsTrayOrOptionSetting(8213));
}

}  // namespace
