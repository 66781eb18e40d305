// An installed printer whose driver data file is a small paper database,
// with the spooler's forms, for the paper-size list and paper selection
// tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "ddm/ddmid.h"
#include "settings/database/capability_maps.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/devmode/paper_size_list.h"
#include "temp_root.h"
#include "win/win.h"
#include "test_printer.h"

namespace morva::test {

using nlohmann::json;

// Papers of the test database: item 8 offers A4 (9), Letter (1), A5 (11)
// and the custom size (256); paper 262 carries the custom size range, by
// default 100 x 150 mm to 300 x 500 mm (area pairs plus 5 mm margins on
// each side).
struct PaperDbOptions {
  unsigned capacity = 10;      // global field 41
  bool with_range = true;      // paper record 262
  const char* range_name = "Custom Range";
  const char* custom_name = "Custom Size";  // paper 256
  // Area pairs of paper 262 (each side then gains a 5 mm margin).
  json range_first = {900, 1400};
  json range_second = {2900, 4900};
};

inline json paper_database(const PaperDbOptions& o = {}) {
  json records = json::array({
      {{"kind", 4}, {"id", 8}, {"name", "Paper Size"}, {"default", 1}, {"choices", {1, 2, 3, 4}}},
      {{"kind", 14}, {"name", "A4"}, {"target_kind", 10}, {"target_id", 9}, {"value", {{"type", 3}, {"value", 9}}}},
      {{"kind", 14}, {"name", "Letter"}, {"target_kind", 10}, {"target_id", 1}, {"value", {{"type", 3}, {"value", 1}}}},
      {{"kind", 14}, {"name", "A5"}, {"target_kind", 10}, {"target_id", 11}, {"value", {{"type", 3}, {"value", 11}}}},
      {{"kind", 14}, {"name", "Custom"}, {"target_kind", 10}, {"target_id", 256},
       {"value", {{"type", 3}, {"value", 256}}}},
      {{"kind", 10}, {"id", 9}, {"name", "A4"}, {"size", 1}, {"area", 2}, {"margin", 3}},
      {{"kind", 10}, {"id", 1}, {"name", "Letter"}, {"size", 4}, {"area", 5}, {"margin", 3}},
      {{"kind", 10}, {"id", 11}, {"name", "A5"}, {"size", 6}, {"area", 6}, {"margin", 3}},
      {{"kind", 10}, {"id", 256}, {"name", o.custom_name}, {"size", 7}, {"area", 7}, {"margin", 3}},
      {{"kind", 17}, {"first", {2100, 2970}}, {"second", {2100, 2970}}},  // 1 A4
      {{"kind", 17}, {"first", {2016, 2886}}, {"second", {2016, 2886}}},  // 2 A4 area
      {{"kind", 17}, {"first", {42, 42}}, {"second", {42, 42}}},          // 3 margins
      {{"kind", 17}, {"first", {2159, 2794}}, {"second", {2159, 2794}}},  // 4 Letter
      {{"kind", 17}, {"first", {2075, 2710}}, {"second", {2075, 2710}}},  // 5 Letter area
      {{"kind", 17}, {"first", {1480, 2100}}, {"second", {1480, 2100}}},  // 6 A5
      {{"kind", 17}, {"first", {2100, 2970}}, {"second", {3000, 5000}}},  // 7 custom size
      {{"kind", 17}, {"first", o.range_first}, {"second", o.range_second}},  // 8 range area
      {{"kind", 17}, {"first", {50, 50}}, {"second", {50, 50}}},          // 9 range margins
  });
  if (o.with_range)
    records.push_back({{"kind", 10}, {"id", 262}, {"name", o.range_name}, {"size", 7}, {"area", 8}, {"margin", 9}});
  return json{{"main",
               {{"file", "T.DDD"},
                {"title", "paper test"},
                {"version", "T:1.0.0"},
                {"level", 0x2000},
                {"model", "Paper Model"},
                {"fields", {{"41", o.capacity}}},
                {"records", records}}}};
}

inline FORM_INFO_1W form(const char16_t* name, LONG cx, LONG cy, LONG margin = 0) {
  FORM_INFO_1W f{};
  f.Flags = FORM_USER;
  f.pName = const_cast<LPWSTR>(name);
  f.Size = {cx, cy};
  f.ImageableArea = {margin, margin, cx - margin, cy - margin};
  return f;
}

class PaperPrinterTest : public ::testing::Test {
 protected:
  TempRoot root;
  HANDLE printer = nullptr;
  DddHandle* handle = nullptr;
  std::vector<BYTE> dm = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(morva::ddm::kPrinterDataSize);

  void TearDown() override { close(); }

  void close() {
    if (handle) {
      FreePaperSizeList(handle);  // the list's owner frees it before closing
      DddClose(handle);
      handle = nullptr;
    }
    if (printer) ClosePrinter(printer);
    printer = nullptr;
  }

  // Installs the driver and printer, writes the database and opens it.
  void install(const json& description) {
    printer = morva::test::add_test_printer(u"Paper Printer", u"Paper Driver", u"T.DDD", u"IP_127.0.0.1");
    ASSERT_NE(printer, nullptr) << GetLastError();
    ddd_build::write_images(ddd_build::build_images(description),
                            root.file("drive_c/Windows/System32/spool/DRIVERS/x64/3"));
    handle = DddOpen(printer);
    ASSERT_NE(handle, nullptr);
  }

  void add_form(const char16_t* name, LONG cx, LONG cy, LONG margin = 0) {
    FORM_INFO_1W f = form(name, cx, cy, margin);
    ASSERT_TRUE(AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&f))) << GetLastError();
  }

  // Turns the paper list on: the model's capability map says formdb.mode 1
  // and DDMID 5201 of the printer data is `mode`.
  void enable_paper_list(LONG mode = 1) {
    if (!handle->capabilities) {
      auto* map = static_cast<CapabilityValueMap*>(GlobalAlloc(GPTR, sizeof(CapabilityValueMap)));
      ASSERT_NE(map, nullptr);
      InitCapabilityValueMap(map);
      handle->capabilities = map;  // freed with the handle
    }
    handle->capabilities->paper_list = 1;
    set_number(5201, mode);
  }

  void set_number(WORD ddmid, LONG value, void* devmode = nullptr) {
    ASSERT_TRUE(SetItemValue(ddmid, devmode, pd.data(), static_cast<DWORD>(-1), type_of(ddmid), &value))
        << ddmid;
  }

  static WORD type_of(WORD ddmid) {
    const auto* d = morva::ddm::dma_Descriptor(ddmid);
    return d ? d->type : 0;
  }
};

}  // namespace morva::test
