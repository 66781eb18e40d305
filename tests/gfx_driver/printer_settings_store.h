// Test helper: stores settings of the demo printer's own data block (ids
// from 4096 on, not the DEVMODE's) as the device sheet would, each id with
// its value at the setting's width.
#pragma once

#include <gtest/gtest.h>
#include <utility>
#include <vector>
#include "gfx_demo.h"
#include "settings/database/ddd_file.h"
#include "settings/stores/printer_settings.h"
#include "win/modules.h"
#include "win/spooler.h"

inline void store_printer_settings(const std::vector<std::pair<WORD, DWORD>>& values) {
  std::u16string name = morva::gfx_demo::kDemoPrinter;
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, &access));
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  std::vector<BYTE> block(kPrinterDataBlockSize);
  ASSERT_EQ(ReadPrinterSettings(printer, block.data(), database), 1);
  HMODULE dat = LoadLibraryW(u"morvadat.dll");
  using Get = WORD (*)(WORD, void*, void*, WORD*, DWORD*, void*, WORD*);
  using Set = WORD (*)(WORD, void*, void*, WORD, DWORD, const void*);
  auto get = dat ? morva_proc_as<Get>(GetProcAddress(dat, "dma_GetValue")) : nullptr;
  auto set = dat ? morva_proc_as<Set>(GetProcAddress(dat, "dma_SetValue")) : nullptr;
  ASSERT_TRUE(get && set);
  std::vector<BYTE> devmode(5988);
  for (auto [id, value] : values) {
    WORD type = 0, selector = 0;
    DWORD size = 0, slot = 0;
    ASSERT_EQ(get(id, devmode.data(), block.data(), &type, &size, &slot, &selector), 0) << id;
    EXPECT_EQ(set(id, devmode.data(), block.data(), type, size, &value), 0) << id;
  }
  FreeLibrary(dat);
  EXPECT_EQ(InitializePrinterSettings(printer, block.data(), database, TRUE), 1);
  DddClose(database);
  ClosePrinter(printer);
}
