// The device sheet's buttons open the font substitution and user paper
// size dialogs with their own procedures: the dialogs come up filled (the
// printer's font rows, the twenty user paper slots), not as bare templates.
#include <gtest/gtest.h>

#include <string>

#include "gfx_demo.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr INT kFontsButton = 1064, kPapersButton = 1065;
constexpr INT kFontRows = 1223, kPaperSlots = 1286;

class PaperDialogOpeners : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    ui::reset();
    morva::platform::reset_message_boxes();
  }
  void TearDown() override { ui::reset(); }
  morva::test::TempRoot root_;
};

TEST_F(PaperDialogOpeners, DeviceSheetButtonsOpenTheFilledDialogs) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, &all));
  HMODULE dll = LoadLibraryW(u"morvaui.dll");
  ASSERT_NE(dll, nullptr) << morva::platform::last_load_error();
  auto sheets = morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(dll, "DrvDevicePropertySheets"));
  ASSERT_NE(sheets, nullptr);
  DEVICEPROPERTYHEADER header{sizeof header, 0, printer, const_cast<LPWSTR>(kDemoPrinter)};
  struct Case {
    INT button;
    INT list;
  } const cases[] = {{kFontsButton, kFontRows}, {kPapersButton, kPaperSlots}};
  for (const Case& c : cases) {
    size_t rows = 0;
    bool opened = false;
    ui::script_modal([&](HWND sheet) {
      ui::script_modal([&](HWND dialog) {
        opened = true;
        rows = ui::items(ui::find(dialog, c.list)).size();
        ui::press_cancel(dialog);
      });
      ASSERT_TRUE(ui::click(ui::find(sheet, c.button)));
      EXPECT_TRUE(ui::press_ok(sheet));
    });
    DWORD result = 0;
    EXPECT_EQ(CommonPropertySheetUIW(nullptr, sheets, reinterpret_cast<LPARAM>(&header), &result), CPSUI_OK);
    EXPECT_TRUE(opened) << c.button;
    EXPECT_GT(rows, 0u) << c.button;
  }
  FreeLibrary(dll);
  ClosePrinter(printer);
}

}  // namespace
