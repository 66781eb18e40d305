// A printer's sheet data built as the device sheet builds it, with the
// sheet's dialog tables, so that one dialog of the sheet can be opened by
// itself and driven through the window system like a user.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "gfx_demo.h"
#include "pi/sheet_exports.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace morva::test {

class DialogSheet : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, model())) << error;
    platform::ui::reset();
    platform::reset_message_boxes();
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(morva::gfx_demo::kDemoPrinter), &printer_, nullptr));
    std::filesystem::create_directories(root_.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root_.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    LoadResourceModule();
    ASSERT_NE(GetResourceModule(), nullptr);
  }
  void TearDown() override {
    close_sheet();
    ReleaseResourceModule();
    morva::settings::set_module_directory_for_test(nullptr);
    platform::inject_printer_access_denied(false);
    platform::ui::reset();
    platform::reset_message_boxes();
    if (printer_) ClosePrinter(printer_);
  }

  // The folder of the printer's device database; the demo model when empty.
  virtual std::string model() { return {}; }

  // The sheet data of sheet type `type` (device or document).
  SheetContext* sheet(INT type = kSheetTypeDevice, BOOL editable = TRUE) {
    close_sheet();
    context_ = CreatePropertySheetData(printer_, nullptr, 0);
    if (!context_) return nullptr;
    SheetState* state = context_->state;
    state->can_edit = editable;
    state->mode = type == kSheetTypeDevice ? kSheetModeDevice : kSheetModeDocument;
    LoadDeviceOptions(state, state->database);
    INT count = 0;
    const DialogDescriptor** list = AllocatePageList(type, state, &count, FALSE, 1);
    if (!list) return nullptr;
    CollectSheetDialogs(type, state, list, FALSE, 1);
    state->dialog_tables = CreateDialogTables(list, count);
    GlobalFree(list);
    return context_;
  }

  // Opens dialog template `resource` with procedure `proc` on a context of
  // its own (as a page's button opens a child dialog); the script acts on
  // it. The dialog's result.
  INT_PTR open(UINT resource, DLGPROC proc, platform::ui::ModalScript script) {
    SheetContext* child = CreateSheetContext(nullptr, context_->state, &context_->current, nullptr);
    EXPECT_NE(child, nullptr);
    platform::ui::script_modal(std::move(script));
    const INT_PTR result = DialogBoxParamW(GetResourceModule(), MAKEINTRESOURCEW(resource), nullptr, proc,
                                           reinterpret_cast<LPARAM>(child));
    CopySnapshot(&context_->current, &child->current);
    DestroySheetContext(&child);
    return result;
  }

  void close_sheet() {
    if (!context_) return;
    DestroyDialogTables(context_->state->dialog_tables);
    context_->state->dialog_tables = nullptr;
    DestroyPropertySheetData(context_);
    context_ = nullptr;
  }

  TempRoot root_;
  HANDLE printer_ = nullptr;
  SheetContext* context_ = nullptr;
};

}  // namespace morva::test
