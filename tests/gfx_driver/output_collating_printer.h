// The demo printer as one the driver collates copies for: its database
// with the capability bits of driver collation, and a PDL version in its
// printer data at which the driver makes collated copies itself.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gfx_print_job.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"

namespace morva::test {

// Changes the printer's stored settings: `change` sets items in them, which
// are then stored; the default DEVMODE is not made again.
inline void EditPrinterSettings(const std::function<void(BYTE* devmode, BYTE* block)>& change) {
  std::u16string name = gfx_demo::kDemoPrinter;
  HANDLE h = nullptr;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(name.data(), &h, &access));
  DddHandle* db = DddOpen(h);
  ASSERT_NE(db, nullptr);
  std::vector<BYTE> block(7972), devmode(5988);
  EXPECT_EQ(ReadPrinterSettings(h, block.data(), db), 1);
  change(devmode.data(), block.data());
  EXPECT_EQ(InitializePrinterSettings(h, block.data(), db, TRUE), 1);
  DddClose(db);
  ClosePrinter(h);
}

// Writes settings into the printer's stored settings, each in its item's own
// type.
inline void StorePrinterSettings(const std::vector<std::pair<WORD, DWORD>>& settings) {
  EditPrinterSettings([&](BYTE* devmode, BYTE* block) {
    for (auto [id, value] : settings) {
      WORD type = 0;
      DWORD size = 0;
      ItemValue old{};
      EXPECT_EQ(GetItemValue(id, devmode, block, &type, &size, &old), 0) << id;
      EXPECT_TRUE(SetItemValue(id, devmode, block, static_cast<DWORD>(-1), type, &value)) << id;
    }
  });
}

inline void InstallCollatingPrinter(const std::string& folder, DWORD pdl_version) {
  InstallDemoPrinterWith(folder, [](nlohmann::json& d) {
    d["main"]["fields"]["26"] = d["main"]["fields"]["26"].get<long>() | 0x30000;
  });
  if (::testing::Test::HasFatalFailure()) return;
  EditPrinterSettings([&](BYTE* devmode, BYTE* block) {
    EXPECT_TRUE(SetItemValue(8205, devmode, block, sizeof pdl_version, 5, &pdl_version));
  });
  std::string error;
  ASSERT_TRUE(gfx_demo::make_dc_devmode_default(gfx_demo::kDemoPrinter, &error)) << error;
}

}  // namespace morva::test
