// The demo printer installed into a fresh machine root, opened with full
// access, with its device database open.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ddd_builder.h"
#include "ddm/ddmid.h"
#include "printer_install.h"
#include "settings/database/ddd_file.h"
#include "settings/items/default_settings.h"
#include "temp_root.h"
#include "win/spooler.h"

namespace morva::test {

inline constexpr char16_t kDemoPrinterName[] = u"Morva Demo Printer";

class DemoPrinterTest : public ::testing::Test {
 protected:
  TempRoot root;
  HANDLE printer = nullptr;
  DddHandle* database = nullptr;

  void SetUp() override {
    namespace fs = std::filesystem;
    const std::string built = root.file("build/demo_printer");
    fs::create_directories(built);
    morva::ddd_build::build_file(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json", built);
    morva::install::PrinterSetup setup;
    setup.name = kDemoPrinterName;
    setup.database = built + "/MVDEMO.DDD";
    const std::string linked = morva::install::linked_database_name(setup.database);
    for (const auto& e : fs::directory_iterator(built)) {
      const std::string name = e.path().filename().string();
      if (name != "MVDEMO.DDD" && name != linked) setup.files.push_back(e.path().string());
    }
    const auto installed = morva::install::install_printer(setup);
    ASSERT_TRUE(installed.ok) << installed.message;
    printer = open_printer();
    ASSERT_NE(printer, nullptr);
    database = DddOpen(printer);
    ASSERT_NE(database, nullptr);
  }
  void TearDown() override {
    if (database) DddClose(database);
    if (printer) ClosePrinter(printer);
  }

  // The demo printer with full access, or null.
 public:
  static HANDLE open_printer() {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    std::u16string n = kDemoPrinterName;
    return OpenPrinterW(n.data(), &h, &defaults) ? h : nullptr;
  }

 protected:
  // The database defaults in a fresh DEVMODE and PrinterData pair.
  void fill_defaults(std::vector<BYTE>& devmode, std::vector<BYTE>& printer_data) {
    devmode.assign(morva::ddm::kPrivateDevmodeSize, 0);
    printer_data.assign(morva::ddm::kPrinterDataSize, 0);
    ASSERT_TRUE(FillDefaultSettings(database, devmode.data(), printer_data.data(), kDemoPrinterName));
  }
};

}  // namespace morva::test
