#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "setting_values.h"
#include "ddm/ddmid.h"
#include "settings/database/capability_maps.h"
#include "settings/items/default_settings.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/setting_items.h"
#include "win/win.h"
#include "test_printer.h"

namespace {

using morva::test::number;
using morva::test::put;
using morva::test::text;

using namespace morva::ddm;

// The demo printer's database, as the installer ships it.
class DemoPrinterDefaults : public morva::test::DddTest {
 protected:
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);
  void SetUp() override {
    open_demo();
    if (HasFatalFailure()) return;
  }
};

TEST_F(DemoPrinterDefaults, FreshPairFollowsTheDescription) {
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  // Public head.
  EXPECT_EQ(text(dm.data(), pd.data(), 1), u"Demo Printer");
  EXPECT_EQ(number(dm.data(), pd.data(), 4), 220);
  EXPECT_EQ(number(dm.data(), pd.data(), 5), 1384);
  EXPECT_EQ(number(dm.data(), pd.data(), 7), 1);     // Portrait
  EXPECT_EQ(number(dm.data(), pd.data(), 13), 7);    // Automatic
  EXPECT_EQ(number(dm.data(), pd.data(), 16), 1);    // Off
  EXPECT_EQ(number(dm.data(), pd.data(), 18), 1);    // On
  EXPECT_EQ(number(dm.data(), pd.data(), 270), 2);   // Colour
  EXPECT_EQ(number(dm.data(), pd.data(), 15), 2);    // dmColor follows 270
  // The default paper and its size (tenths of a millimetre).
  const LONG paper = number(dm.data(), pd.data(), 8);
  ASSERT_TRUE(paper == 9 || paper == 1) << paper;  // A4, or Letter where the locale says so
  EXPECT_EQ(text(dm.data(), pd.data(), 19), paper == 9 ? u"A4" : u"Letter");
  EXPECT_EQ(number(dm.data(), pd.data(), 10), paper == 9 ? 2100 : 2159);
  EXPECT_EQ(number(dm.data(), pd.data(), 9), paper == 9 ? 2970 : 2794);
  // Driver identity and the user paper slots.
  EXPECT_EQ(text(dm.data(), pd.data(), 259), u"Demo Printer 1000");
  EXPECT_EQ(number(dm.data(), pd.data(), 5889), 2100);
  EXPECT_EQ(number(dm.data(), pd.data(), 5909 + 19), 2970);
  EXPECT_FALSE(text(dm.data(), pd.data(), 5929).empty());
  EXPECT_EQ(number(dm.data(), pd.data(), 8202), 7972);

  // Every public field with a check accepts its default, in both modes.
  EXPECT_TRUE(CheckDevmodeForPrinting(dm.data()));
  for (WORD ddmid : {WORD{7}, WORD{8}, WORD{12}, WORD{13}, WORD{15}, WORD{16}, WORD{18}, WORD{22}, WORD{259}})
    EXPECT_TRUE(CallItemHandler(handle, ddmid, dm.data(), pd.data(), kItemModeCheck)) << ddmid;
  EXPECT_TRUE(CallItemHandler(handle, 12, dm.data(), pd.data(), kItemModeCheckDevmode));
}

TEST_F(DemoPrinterDefaults, DatabaseChoicesDecideModeTwo) {
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), nullptr, u"Demo Printer"));
  struct Case {
    WORD ddmid;
    LONG value;
    WORD mode;
    BOOL valid;
  } cases[] = {
      {16, 3, kItemModeCheck, TRUE},   {16, 4, kItemModeCheck, FALSE}, {13, 4, kItemModeCheck, TRUE},
      {13, 2, kItemModeCheck, FALSE},  {13, 2, kItemModeCheckDevmode, TRUE},
      {12, 999, kItemModeCheck, TRUE}, {12, 1000, kItemModeCheck, FALSE}, {12, 1000, kItemModeCheckDevmode, TRUE},
      {8, 1, kItemModeCheck, TRUE},    {8, 5, kItemModeCheck, FALSE},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> copy = dm;
    const DdmidDescriptor* d = dma_Descriptor(c.ddmid);
    ItemValue v{};
    v.w = static_cast<WORD>(c.value);
    ASSERT_EQ(SetItemValueRaw(c.ddmid, copy.data(), nullptr, d->type, dma_TypeSize(d->type), &v), kDdmOk);
    EXPECT_EQ(CallItemHandler(handle, c.ddmid, copy.data(), nullptr, c.mode), c.valid)
        << c.ddmid << " = " << c.value << " mode " << c.mode;
  }
  // The driver's own DEVMODE carries the model name; a copy of the defaults
  // merges whole, another identity does not.
  std::vector<BYTE> driver(kPrivateDevmodeSize), data(kPrinterDataSize);
  ASSERT_TRUE(FillDefaultSettings(handle, driver.data(), data.data(), u"Demo Printer"));
  ItemValue landscape{};
  landscape.w = 2;
  ASSERT_EQ(SetItemValueRaw(7, dm.data(), nullptr, kTypeShort, 2, &landscape), kDdmOk);
  ItemValue mono{};
  mono.w = 1;
  ASSERT_EQ(SetItemValueRaw(270, dm.data(), nullptr, kTypeWord, 2, &mono), kDdmOk);
  ASSERT_EQ(MergeDevmode(handle, driver.data(), dm.data(), data.data(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(number(driver.data(), data.data(), 7), 2);
  EXPECT_EQ(number(driver.data(), data.data(), 270), 1);
}

TEST_F(DemoPrinterDefaults, CapabilityMapTakesPartInTheLoggedMerge) {
  auto* map = static_cast<CapabilityValueMap*>(GlobalAlloc(GPTR, sizeof(CapabilityValueMap)));
  ASSERT_NE(map, nullptr);
  InitCapabilityValueMap(map);
  map->groups[kCapColor].mode = 2;
  map->groups[kCapMedia].merge = 1;
  map->groups[kCapResolution].merge = 1;
  map->groups[kCapResolution].mode = 1;
  map->section_found = 1;
  handle->capabilities = map;  // freed with the handle
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  std::vector<BYTE> app(220);
  auto* a = reinterpret_cast<DEVMODEW*>(app.data());
  a->dmSize = 220;
  a->dmFields = DM_COLOR | DM_MEDIATYPE | DM_PRINTQUALITY;
  a->dmColor = 2;
  a->dmMediaType = 3;
  a->dmPrintQuality = 600;

  // Switch off (DDMID 5201 is 0, and MergeDevmode never uses the map for
  // the switch): media settings 388 and 453 stay.
  const LONG media_before = number(dm.data(), pd.data(), 388);
  ASSERT_EQ(MergeDevmodeLogged(handle, dm.data(), app.data(), pd.data(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(number(dm.data(), pd.data(), 388), media_before);
  // The map turns resolution mode 2 into the print-quality mode.
  EXPECT_EQ(number(dm.data(), pd.data(), 20), 600);

  ItemValue on{};
  on.l = 1;
  ASSERT_EQ(SetItemValueRaw(5201, dm.data(), pd.data(), kTypeLong, 4, &on), kDdmOk);
  ASSERT_EQ(MergeDevmode(handle, dm.data(), app.data(), pd.data(), nullptr, kMergeResolutionPair), 1);
  EXPECT_EQ(number(dm.data(), pd.data(), 388), media_before);
  ASSERT_EQ(MergeDevmodeLogged(handle, dm.data(), app.data(), pd.data(), nullptr, kMergeResolutionPair), 1);
  const LONG media = number(dm.data(), pd.data(), 24);
  EXPECT_EQ(number(dm.data(), pd.data(), 388), media);
  EXPECT_EQ(number(dm.data(), pd.data(), 453), media);
  // dmColor 2 with colour entry 2: DDMID 270 becomes 0, so dmColor is 2.
  EXPECT_EQ(number(dm.data(), pd.data(), 270), 0);
  EXPECT_EQ(number(dm.data(), pd.data(), 15), 2);
  // The caller's DEVMODE is not rewritten by the translation.
  EXPECT_EQ(a->dmMediaType, 3u);
}

// A model configuration file without the capability section gives a default
// map, which must not switch the translation on: the logged merge then gives
// what the plain merge gives.
TEST_F(DemoPrinterDefaults, ConfigurationWithoutCapabilitySectionLeavesTheMergeAlone) {
  {
    std::ofstream cfg(root.file("drive_c/drivers/nodme.cfg"));
    cfg << "[default]\nstaple.enforced=1\n[MVDEMO]\nduplex.default=1\n";
  }
  handle->capabilities = LoadCapabilityOverrides(u"C:\\drivers\\nodme.cfg", 1);  // freed with the handle
  ASSERT_NE(handle->capabilities, nullptr);
  ASSERT_FALSE(HasCapabilityOverrides(handle->capabilities));
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  ItemValue on{};
  on.l = 1;
  ASSERT_EQ(SetItemValueRaw(5201, dm.data(), pd.data(), kTypeLong, 4, &on), kDdmOk);
  put(dm.data(), pd.data(), 13, 3);
  put(dm.data(), pd.data(), 18, 1);
  std::vector<BYTE> app(220);
  auto* a = reinterpret_cast<DEVMODEW*>(app.data());
  a->dmSize = 220;
  a->dmFields = DM_MEDIATYPE;
  a->dmMediaType = 300;

  std::vector<BYTE> plain = dm, plain_pd = pd;
  ASSERT_EQ(MergeDevmode(handle, plain.data(), app.data(), plain_pd.data(), nullptr, kMergeResolutionPair), 1);
  ASSERT_EQ(MergeDevmodeLogged(handle, dm.data(), app.data(), pd.data(), nullptr, kMergeResolutionPair), 1);
  for (WORD id : {24, 13, 18})
    EXPECT_EQ(number(dm.data(), pd.data(), id), number(plain.data(), plain_pd.data(), id)) << "DDMID " << id;
  EXPECT_EQ(number(dm.data(), pd.data(), 24), 300);
  EXPECT_EQ(number(dm.data(), pd.data(), 13), 3);
  EXPECT_EQ(number(dm.data(), pd.data(), 18), 1);
}

TEST_F(DemoPrinterDefaults, ResetAndNoDefault) {
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  ItemValue v{};
  v.w = 2;
  ASSERT_EQ(SetItemValueRaw(16, dm.data(), pd.data(), kTypeShort, 2, &v), kDdmOk);
  EXPECT_TRUE(ResetItemToDefault(handle, dm.data(), 16, pd.data()));
  EXPECT_EQ(number(dm.data(), pd.data(), 16), 1);
  // dmScale has no default: nothing changes.
  v.w = 55;
  ASSERT_EQ(SetItemValueRaw(11, dm.data(), pd.data(), kTypeShort, 2, &v), kDdmOk);
  EXPECT_TRUE(ResetItemToDefault(handle, dm.data(), 11, pd.data()));
  EXPECT_EQ(number(dm.data(), pd.data(), 11), 55);
  WORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(GetItemDefault(handle, 11, &v, &type, &size), 2);
  EXPECT_EQ(GetItemDefault(handle, 26, &v, &type, &size), -1);
  ASSERT_EQ(GetItemDefault(handle, 259, &v, &type, &size), 1);
  EXPECT_EQ(type, kTypeString);
  ReleaseItemDefault(259, &v, type);
  EXPECT_EQ(v.ptr, nullptr);
}

class DeviceOptionDefaults : public morva::test::DddTest {};

TEST_F(DeviceOptionDefaults, AppliedOncePerPairForTheRunningProgram) {
  using morva::test::json;
  json records = json::array({
      {{"kind", 24}, {"name", "OTHER.EXE"}, {"entries", json::array({{{"key", 7}, {"value", {{"type", 2}, {"value", 2}}}}})}},
      {{"kind", 24}, {"name", "*default_settings"},
       {"entries", json::array({{{"key", 16}, {"value", {{"type", 3}, {"value", 3}}}},
                                {{"key", 12}, {"value", {{"type", 2}, {"value", 4}}}}})}},
  });
  open(morva::test::one_file(records));
  EXPECT_EQ(FindProcessInDatabaseList(handle), 2);
  std::vector<BYTE> dm(kPrivateDevmodeSize);
  auto put = [&](WORD ddmid, LONG value) {
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    ItemValue v{};
    v.l = value;
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), nullptr, d->type, dma_TypeSize(d->type), &v), kDdmOk);
  };
  // Not asked for: nothing changes.
  EXPECT_EQ(ApplyDeviceOptionDefaults(handle, dm.data(), nullptr), 1);
  EXPECT_EQ(number(dm.data(), nullptr, 16), 0);
  // Already applied (466 = 2): nothing changes.
  put(1356, 1);
  put(466, 2);
  EXPECT_EQ(ApplyDeviceOptionDefaults(handle, dm.data(), nullptr), 1);
  EXPECT_EQ(number(dm.data(), nullptr, 16), 0);
  // Applied: the set of this program, then 466 records it.
  put(466, 0);
  EXPECT_EQ(ApplyDeviceOptionDefaults(handle, dm.data(), nullptr), 1);
  EXPECT_EQ(number(dm.data(), nullptr, 16), 3);
  EXPECT_EQ(number(dm.data(), nullptr, 12), 4);
  EXPECT_EQ(number(dm.data(), nullptr, 7), 0);
  EXPECT_EQ(number(dm.data(), nullptr, 466), 2);
}

// The printer's default DEVMODE: the defaults when the printer has none,
// the printer's own DEVMODE when it has one of this driver's layout.
TEST_F(DemoPrinterDefaults, PrinterDefaultDevmode) {
  morva::platform::use_in_memory_store(true);
  HANDLE printer = morva::test::add_test_printer(u"Demo Printer", u"Demo Driver", u"MVDEMO.DDD", u"IP_127.0.0.1");
  ASSERT_NE(printer, nullptr) << GetLastError();

  std::vector<BYTE> out(kShortDevmodeSize);
  DWORD size = kShortDevmodeSize;
  BOOL converted = FALSE;
  EXPECT_EQ(GetPrinterDefaultDevmode(printer, handle, out.data(), nullptr, &converted), nullptr);
  PRINTER_INFO_2W* info = GetPrinterDefaultDevmode(printer, handle, out.data(), &size, &converted);
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(converted);
  EXPECT_EQ(static_cast<void*>(info->pDevMode), out.data());
  EXPECT_EQ(std::u16string(info->pPrinterName), u"Demo Printer");
  EXPECT_EQ(text(out.data(), nullptr, 1), u"Demo Printer");
  EXPECT_TRUE(CheckDevmodeForPrinting(out.data()));
  GlobalFree(info);

  // The printer's own DEVMODE (landscape) comes back as it is.
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), nullptr, u"Demo Printer"));
  ItemValue landscape{};
  landscape.w = 2;
  ASSERT_EQ(SetItemValueRaw(7, dm.data(), nullptr, kTypeShort, 2, &landscape), kDdmOk);
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
  auto* current = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
  current->pDevMode = reinterpret_cast<DEVMODEW*>(dm.data());
  ASSERT_TRUE(SetPrinterW(printer, 2, buffer.data(), 0)) << GetLastError();
  info = GetPrinterDefaultDevmode(printer, handle, out.data(), &size, &converted);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(number(out.data(), nullptr, 7), 2);
  GlobalFree(info);
  ClosePrinter(printer);
  morva::platform::use_in_memory_store(false);
}

}  // namespace
