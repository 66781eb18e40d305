// The demo printer's sheets as the spooler and applications open them:
// morvaui's exports run by the common property-sheet component, driven
// through the window system like a user. What the sheet suites share: the
// freshly installed printer, the window system, message boxes and common
// dialogs reset around each test, the printer and morvaui opened, and the
// sheets run with a script acting on them while they are shown.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_demo.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "temp_root.h"
#include "win/win.h"

namespace morva::test {

// The demo printer installed afresh in a root of its own; nothing on the
// screen and no scripted answer is left from one test to the next.
class DemoSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    const std::string folder = database_folder();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
    reset_windows();
  }
  void TearDown() override { reset_windows(); }

  // The folder of the device database to install with, empty for the demo
  // printer's own.
  virtual std::string database_folder() { return {}; }

  static void reset_windows() {
    platform::ui::reset();
    platform::reset_message_boxes();
    platform::reset_common_dialogs();
  }

  TempRoot root_;
};

// The demo printer opened (with `printer_access()`, or a caller's default
// rights when that is 0) and morvaui loaded with its two sheet exports.
class SheetUiTest : public DemoSheetTest {
 protected:
  void SetUp() override {
    DemoSheetTest::SetUp();
    if (HasFatalFailure()) return;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, printer_access()};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(gfx_demo::kDemoPrinter), &printer_,
                             printer_access() ? &defaults : nullptr));
    ui_dll_ = LoadLibraryW(u"morvaui.dll");
    ASSERT_NE(ui_dll_, nullptr) << platform::last_load_error();
    document_ = ui_export<PFNPROPSHEETUI>("DrvDocumentPropertySheets");
    device_ = ui_export<PFNPROPSHEETUI>("DrvDevicePropertySheets");
    ASSERT_NE(document_, nullptr);
    ASSERT_NE(device_, nullptr);
  }
  void TearDown() override {
    DemoSheetTest::TearDown();
    if (ui_dll_) FreeLibrary(ui_dll_);
    if (printer_) ClosePrinter(printer_);
  }

  virtual DWORD printer_access() const { return 0; }

  // An export of morvaui.
  template <typename F>
  F ui_export(const char* name) const {
    return morva_proc_as<F>(GetProcAddress(ui_dll_, name));
  }

  // The document sheet's header for an application asking for a DEVMODE of
  // `size` bytes into `out`, from `input` (or the printer's settings).
  DOCUMENTPROPERTYHEADER document_header(void* out, DWORD size, const void* input = nullptr,
                                         DWORD mode = DM_COPY | DM_PROMPT) const {
    return {sizeof(DOCUMENTPROPERTYHEADER),
            0,
            printer_,
            const_cast<LPWSTR>(gfx_demo::kDemoPrinter),
            static_cast<PDEVMODEW>(const_cast<void*>(input)),
            static_cast<PDEVMODEW>(out),
            size,
            mode};
  }
  // Shows the document sheet of `header` to the script queued with
  // ui::script_modal; the component's answer, and its result word.
  LONG show_document_sheet(DOCUMENTPROPERTYHEADER& header, DWORD* result = nullptr) {
    DWORD ignored = 0;
    return CommonPropertySheetUIW(nullptr, document_, reinterpret_cast<LPARAM>(&header), result ? result : &ignored);
  }
  // The document sheet with the script acting on it while it is shown.
  LONG run_document_sheet(platform::ui::ModalScript script, void* out, DWORD size, const void* input = nullptr,
                          DWORD mode = DM_COPY | DM_PROMPT, DWORD* result = nullptr) {
    DOCUMENTPROPERTYHEADER header = document_header(out, size, input, mode);
    platform::ui::script_modal(std::move(script));
    return show_document_sheet(header, result);
  }
  // The device sheet; the component's answer and its result word.
  LONG run_device_sheet(platform::ui::ModalScript script, WORD flags = 0, DWORD* result = nullptr) {
    DEVICEPROPERTYHEADER header{sizeof header, flags, printer_, const_cast<LPWSTR>(gfx_demo::kDemoPrinter)};
    platform::ui::script_modal(std::move(script));
    DWORD ignored = 0;
    return CommonPropertySheetUIW(nullptr, device_, reinterpret_cast<LPARAM>(&header), result ? result : &ignored);
  }

  // The administrator switches direct fax on, with fax card type `card`
  // (2: the card of mode 0, 0: IP fax).
  void switch_direct_fax_on(DWORD card = 2) {
    DddHandle* database = DddOpen(printer_);
    ASSERT_NE(database, nullptr);
    std::vector<BYTE> block(kPrinterDataBlockSize), devmode(5988);
    ASSERT_EQ(ReadPrinterSettings(printer_, block.data(), database), 1);
    const DWORD on = 1;
    ASSERT_EQ(SetItemValueRaw(5177, devmode.data(), block.data(), 8, 1, &on), 0);
    ASSERT_EQ(SetItemValueRaw(4369, devmode.data(), block.data(), 8, 1, &card), 0);
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE admin = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(gfx_demo::kDemoPrinter), &admin, &all));
    EXPECT_TRUE(WritePrinterDataKind(admin, block.data(), kPrinterDataBlockSize, kPrinterDataPrinterData));
    ClosePrinter(admin);
    DddClose(database);
  }

  HANDLE printer_ = nullptr;
  HMODULE ui_dll_ = nullptr;
  PFNPROPSHEETUI document_ = nullptr;
  PFNPROPSHEETUI device_ = nullptr;
};

// The text of a list view's cell.
inline std::u16string ListCell(HWND list, INT row, INT column) {
  WCHAR buffer[256] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = 256;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

}  // namespace morva::test
