// The model configuration file and the capability value maps it carries.
#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "ddm/ddmid.h"
#include "settings/database/capability_maps.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/database/model_config.h"

using namespace morva::test;

namespace {

constexpr const char16_t* kCfg = u"C:\\drivers\\L.cfg";

class ModelConfig : public ::testing::Test {
 protected:
  TempRoot root;
  std::vector<BYTE> devmode = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> printer_data = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  ConfigOptionSet* set = nullptr;

  void TearDown() override { FreeConfigOptionSet(set); }

  void write_cfg(const std::string& text) { write_file(root.file("drive_c/drivers/L.cfg"), text); }

  // Loads the "default" section holding `lines`.
  void load(const std::string& lines, const char16_t* model = u"Model X") {
    write_cfg("[default]\n" + lines);
    FreeConfigOptionSet(set);
    set = LoadConfigOptions(model, kCfg);
  }

  LONG item(WORD ddmid) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, devmode.data(), printer_data.data(), &type, &size, &v), 0) << ddmid;
    return GetTypedValue(type, &v);
  }
  void apply(INT mode) {
    std::fill(devmode.begin(), devmode.end(), 0);
    std::fill(printer_data.begin(), printer_data.end(), 0);
    ApplyForcedSettings(set, devmode.data(), printer_data.data(), mode);
  }
  LONG configured(WORD ddmid, bool* stored = nullptr) {
    ItemValue v{};
    BOOL ok = GetConfiguredItemValue(ddmid, set, &v, 1);
    if (stored) *stored = ok;
    return ok ? v.l : -1;
  }
};

TEST_F(ModelConfig, SectionOfTheModelElseDefault) {
  write_cfg("[default]\nColorMode.enforced=gray\n[model_x_1_2]\nColorMode.enforced=color\n");
  WCHAR* section = FindConfigSection(kCfg, u"Model-X 1/2");
  EXPECT_EQ(wide(section), u"Model_X_1_2");
  GlobalFree(section);
  section = FindConfigSection(kCfg, u"Other");
  EXPECT_EQ(wide(section), u"default");
  GlobalFree(section);
  section = FindConfigSection(kCfg, nullptr);
  EXPECT_EQ(wide(section), u"default");
  GlobalFree(section);

  set = LoadConfigOptions(u"Model-X 1/2", kCfg);
  EXPECT_EQ(configured(270), 2);
  FreeConfigOptionSet(set);
  set = LoadConfigOptions(u"Model Y", kCfg);
  EXPECT_EQ(configured(270), 1);
}

TEST_F(ModelConfig, MissingFileOrEmptySectionGivesNoSet) {
  EXPECT_EQ(LoadConfigOptions(u"Model X", kCfg), nullptr);
  write_cfg("[other]\nColorMode.enforced=gray\n");
  EXPECT_EQ(LoadConfigOptions(u"Model X", kCfg), nullptr);
  load("Unknown.enforced=1\nNOT_A_SWITCH=1\n");
  EXPECT_EQ(set, nullptr);
  EXPECT_FALSE(ApplyForcedSettings(nullptr, devmode.data(), printer_data.data(), 1));
}

TEST_F(ModelConfig, PresetsApplyOnlyInModeZeroAndEnforcedWins) {
  load("duplex.default=1\nColorMode.enforced=gray\nColorMode.default=color\n");
  apply(0);
  EXPECT_EQ(item(16), 2);  // preset duplex 1 -> dmDuplex 2
  EXPECT_EQ(item(270), 1);
  apply(1);
  EXPECT_EQ(item(16), 0);
  EXPECT_EQ(item(270), 1);
  apply(2);
  EXPECT_EQ(item(270), 0);
  EXPECT_TRUE(IsItemEnforced(270, set));
  EXPECT_FALSE(IsItemEnforced(16, set));
  EXPECT_EQ(configured(16), 2);
}

TEST_F(ModelConfig, ValuesAreMappedPerItem) {
  struct Case {
    const char* line;
    WORD ddmid;
    LONG written;  // -1: nothing written (stays 0)
  } cases[] = {
      {"staple.enforced=9", 320, 10}, {"staple.enforced=10", 320, 9}, {"staple.enforced=16", 320, -1},
      {"font_subst.enforced=0", 292, 2}, {"JobType.enforced=box_print", 334, 3},
      {"ColorMode.enforced=GRAY", 270, 1}, {"duplex.enforced=2x", 16, 3},
  };
  for (const Case& c : cases) {
    load(std::string(c.line) + "\n");
    ASSERT_NE(set, nullptr) << c.line;
    apply(1);
    EXPECT_EQ(item(c.ddmid), c.written < 0 ? 0 : c.written) << c.line;
  }
}

TEST_F(ModelConfig, SwitchesForceTheirItems) {
  load("MONOCOLOR_PRINT=on\n");
  apply(1);
  EXPECT_EQ(item(270), 1);
  EXPECT_EQ(item(4129), 0);
  EXPECT_TRUE(IsItemEnforced(4129, set));
  WORD flags = 0;
  ASSERT_TRUE(FindConfiguredItemFlags(270, set, &flags));
  EXPECT_EQ(flags, kConfigEnforced | kConfigDimout);

  load("MONOCOLOR_PRINT=2\nColorMode.enforced=color\n");
  apply(1);
  EXPECT_EQ(item(270), 2);
  EXPECT_FALSE(IsItemEnforced(4129, set));

  // A switch's items come before the options in single-value lookups.
  load("DUPLEX_PRINT_SHORT=1\nduplex.enforced=0\n");
  EXPECT_EQ(configured(16), 3);
  apply(1);
  EXPECT_EQ(item(16), 3);  // options first, the switch's item last
}

// Option_Punch sets the punch item; the finisher keeps its own value.
TEST_F(ModelConfig, PunchOptionSetsThePunchItem) {
  load("Option_Finisher.enforced=FinisherA\nOption_Punch.enforced=1\n");
  apply(1);
  EXPECT_EQ(item(4359), 10);
  EXPECT_EQ(item(4363), 1);
  EXPECT_EQ(configured(4359), 10);
  EXPECT_EQ(configured(4363), 1);
}

TEST_F(ModelConfig, DisplayOnlyEntriesCarryNoValue) {
  load("ColorMode.display=hide\nstaple.display=show\nstaple.default=2\npunch.display=7\n");
  WORD flags = 0;
  ASSERT_TRUE(FindConfiguredItemFlags(270, set, &flags));
  EXPECT_EQ(flags, kConfigHide);
  bool stored = true;
  configured(270, &stored);
  EXPECT_FALSE(stored);
  ASSERT_TRUE(FindConfiguredItemFlags(320, set, &flags));
  EXPECT_EQ(flags, kConfigShow | kConfigPreset);
  EXPECT_EQ(configured(320), 2);
  EXPECT_FALSE(FindConfiguredItemFlags(341, set, &flags));  // display 7 means nothing
}

// Lines that are not understood are passed over; the rest of the section
// still counts. A misspelt enforced value leaves the preset in force.
TEST_F(ModelConfig, MalformedLinesAreIgnored) {
  load("garbage line\n=1\nColorMode.enforced=blue\nColorMode.default=gray\nstaple.enforced=\n"
       "staple.enforced\nduplex.enforced=-1\npunch.enforced=2\n");
  ASSERT_NE(set, nullptr);
  EXPECT_FALSE(IsItemEnforced(270, set));
  EXPECT_EQ(configured(270), 1);
  WORD flags = 0;
  EXPECT_FALSE(FindConfiguredItemFlags(320, set, &flags));
  EXPECT_FALSE(FindConfiguredItemFlags(16, set, &flags));
  apply(1);
  EXPECT_EQ(item(341), 2);
}

TEST_F(ModelConfig, KeyLookupRules) {
  std::u16string section;
  auto line = [&](const std::u16string& l) { section += l + u'\0'; };
  line(u"Key.one=" + std::u16string(40, u'a'));
  line(u"KEY.ONE=second");
  line(u"Key.two=" + std::u16string(32, u'b'));
  line(u"Key.three=");
  line(std::u16string(46, u'k') + u"=v");
  section += u'\0';
  WCHAR value[kConfigValueBuffer];
  ASSERT_TRUE(FindNthKeyValue(section.c_str(), u"key.one=", TRUE, nullptr, value));
  EXPECT_EQ(wide(value), u"second");
  INT at = 0;
  ASSERT_TRUE(FindNthKeyValue(section.c_str(), u"key.one=", FALSE, &at, value));
  EXPECT_EQ(at, 0);
  EXPECT_EQ(wide(value), std::u16string(31, u'a'));  // 40 characters cut to 31
  at = 1;
  ASSERT_TRUE(FindNthKeyValue(section.c_str(), u"key.one=", FALSE, &at, value));
  EXPECT_EQ(at, 1);
  at = 2;
  EXPECT_FALSE(FindNthKeyValue(section.c_str(), u"key.one=", FALSE, &at, value));
  ASSERT_TRUE(FindNthKeyValue(section.c_str(), u"Key.two=", TRUE, nullptr, value));
  EXPECT_EQ(wide(value), std::u16string(32, u'b'));  // 32 taken whole
  EXPECT_FALSE(FindNthKeyValue(section.c_str(), u"Key.three=", TRUE, nullptr, value));  // no longer than the key
  // Keys of 47 characters or more never match, even where a line starts
  // with them.
  EXPECT_TRUE(FindNthKeyValue(section.c_str(), std::u16string(46, u'k').c_str(), TRUE, nullptr, value));
  EXPECT_EQ(wide(value), u"=v");
  EXPECT_FALSE(FindNthKeyValue(section.c_str(), (std::u16string(46, u'k') + u"=").c_str(), TRUE, nullptr, value));
}

TEST_F(ModelConfig, CommentOfTheModelSection) {
  write_cfg("[default]\nCOMMENT=Site defaults, locked colour\n");
  WCHAR* comment = ReadConfigComment(u"Model X", kCfg);
  EXPECT_EQ(wide(comment), u"Site defaults, locked colour");
  GlobalFree(comment);
  write_cfg("[default]\nstaple.enforced=1\n");
  EXPECT_EQ(ReadConfigComment(u"Model X", kCfg), nullptr);
}

// ---------------------------------------------------------------- capability value maps

class CapabilityMaps : public ModelConfig {
 protected:
  CapabilityValueMap* map = nullptr;
  void TearDown() override {
    FreeCapabilityValueMap(map);
    ModelConfig::TearDown();
  }
  void load_dme(const std::string& lines) {
    write_cfg("[DME,1]\n" + lines);
    FreeCapabilityValueMap(map);
    map = LoadCapabilityOverrides(kCfg, 1);
    ASSERT_NE(map, nullptr);
  }
};

constexpr DWORD kDmCollate = 0x8000, kDmQuality = 0x400, kDmYRes = 0x2000, kDmSource = 0x200,
                kDmMedia = 0x2000000, kDmDuplex = 0x1000, kDmOrientation = 1;

TEST_F(CapabilityMaps, MissingFileSectionAndDefaults) {
  EXPECT_EQ(LoadCapabilityOverrides(kCfg, 1), nullptr);
  write_cfg("[default]\nstaple.enforced=1\n");
  map = LoadCapabilityOverrides(kCfg, 1);
  ASSERT_NE(map, nullptr);
  EXPECT_FALSE(HasCapabilityOverrides(map));
  EXPECT_FALSE(IsFormDbEnabled(map));
  DWORD in = kDmOrientation | kDmMedia;
  EXPECT_EQ(ComputeDmFields(map, in, 1), kDmOrientation | kDmCollate | kDmQuality | kDmYRes | kDmSource);
  EXPECT_EQ(ComputeDmFields(nullptr, in, 1), ComputeDmFields(map, in, 1));
  SHORT merge = 0;
  EXPECT_EQ(GetCapabilityMerge(map, kCapMedia, &merge), 1);
  EXPECT_EQ(merge, 0);
  EXPECT_EQ(GetCapabilityMerge(map, kCapColor, &merge), -2);
  EXPECT_EQ(GetCapabilityMerge(nullptr, kCapBin, &merge), -1);
  EXPECT_EQ(GetCapabilityMode(map, kCapResolution, &merge), 1);
  EXPECT_EQ(GetCapabilityMode(map, kCapBin, &merge), -2);
  EXPECT_EQ(MapCapabilityValue(map, kCapBin, 11), 11);
  EXPECT_EQ(MapCapabilityValue(map, kCapBin, 99), 99);
}

TEST_F(CapabilityMaps, FieldActionsAndMerges) {
  load_dme("fields.DUPLEX=1\nmedia.merge=1\ncollate.merge=0\n");
  EXPECT_TRUE(HasCapabilityOverrides(map));
  EXPECT_EQ(ComputeDmFields(map, kDmDuplex | kDmCollate, 1), kDmQuality | kDmYRes | kDmSource | kDmMedia);
  load_dme("fields.DUPLEX=2\nfields.ORIENTATION=1\nresolution.merge=0\nbin.merge=0\n");
  EXPECT_EQ(ComputeDmFields(map, kDmOrientation, 1), kDmDuplex | kDmCollate);
}

TEST_F(CapabilityMaps, CollateMergeTwoFollowsTheMappedValue) {
  load_dme("collate.merge=2\n");
  EXPECT_EQ(ComputeDmFields(map, 0, 0) & kDmCollate, kDmCollate);  // 0 maps to 0
  EXPECT_EQ(ComputeDmFields(map, kDmCollate, 1) & kDmCollate, 0u);
  load_dme("collate.default=3\n");
  EXPECT_EQ(MapCapabilityValue(map, kCapCollate, 5), 3);
  load_dme("collate.default=0\n");
  EXPECT_EQ(MapCapabilityValue(map, kCapCollate, 5), 5);
  load_dme("collate.COLLATE_TRUE=0\n");
  EXPECT_EQ(MapCapabilityValue(map, kCapCollate, 0), 1);  // the overridden entry first
}

TEST_F(CapabilityMaps, BinLinesAddWindowsValues) {
  load_dme("bin.TRAY1=15\nbin.TRAY1=14\nbin.tray2=0x20\nbin.TRAY1=junk\n");
  EXPECT_EQ(MapCapabilityValue(map, kCapBin, 15), 1);
  EXPECT_EQ(MapCapabilityValue(map, kCapBin, 14), 1);
  EXPECT_EQ(MapCapabilityValue(map, kCapBin, 32), 3);
  EXPECT_EQ(MapCapabilityValue(map, kCapBin, 1), 1);
  WORD count = 0;
  INT* pairs = nullptr;
  ASSERT_EQ(GetCapabilityMapEntries(map, kCapBin, &count, &pairs), 1);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(pairs[0], 1);
  EXPECT_EQ(pairs[1], 15);
  EXPECT_EQ(pairs[5], 32);
  GlobalFree(pairs);
  EXPECT_EQ(GetCapabilityMapEntries(map, kCapFields, &count, &pairs), -2);
}

// The Windows value table keeps large-capacity requests on the large tray
// and sends the envelope and small/large format sources to manual feed.
TEST_F(CapabilityMaps, WindowsValueTableOfTheBins) {
  load_dme("bin.WindowsValue=1\nmedia.WindowsValue=1\n");
  struct Case {
    int group;
    INT windows, device;
  } cases[] = {
      {kCapBin, 11, 11}, {kCapBin, 5, 4},  {kCapBin, 6, 4},   {kCapBin, 10, 4},  {kCapBin, 14, 1},
      {kCapBin, 8, 1},   {kCapBin, 7, 7},  {kCapBin, 3, 3},   {kCapBin, 268, 268}, {kCapMedia, 1, 0},
      {kCapMedia, 3, 1}, {kCapMedia, 2, 3}, {kCapMedia, 13, 13},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MapCapabilityValue(map, c.group, c.windows), c.device) << c.group << ":" << c.windows;
}

TEST_F(CapabilityMaps, FormDbModeKey) {
  load_dme("formdb.mode=1\n");
  EXPECT_TRUE(IsFormDbEnabled(map));
  load_dme("mode.formdb=1\n");
  EXPECT_FALSE(IsFormDbEnabled(map));
  load_dme("formdb.mode=0x101\n");
  EXPECT_TRUE(IsFormDbEnabled(map));  // low byte
}

TEST_F(CapabilityMaps, AppliedToTheDevmode) {
  load_dme("bin.TRAY2=15\nmedia.PAPER_THICK=40\ncollate.COLLATE_TRUE=0\n");
  auto set_item = [&](WORD id, DWORD v) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue cur{};
    ASSERT_EQ(GetItemValue(id, devmode.data(), nullptr, &type, &size, &cur), 0);
    ASSERT_EQ(SetItemValueRaw(id, devmode.data(), nullptr, type, size, &v), 0);
  };
  set_item(13, 15);
  set_item(24, 40);
  set_item(18, 0);
  EXPECT_EQ(ApplyCapabilityMaps(map, devmode.data()), 1);
  EXPECT_EQ(item(13), 3);
  EXPECT_EQ(item(24), 1);
  EXPECT_EQ(item(18), 1);
  EXPECT_EQ(ApplyCapabilityMaps(map, nullptr), -1);
}

// ---------------------------------------------------------------- through the database open

class DatabaseConfig : public DddTest {};

TEST_F(DatabaseConfig, OpenLoadsTheLinkedNamesConfiguration) {
  json d = one_file(json::array());
  d["linked"] = {{"file", "L.DDD"}, {"version", "T:1.0.0"}, {"level", 0x500}, {"records", json::array()}};
  d["main"]["model"] = "Model-X 1/2";
  write_file(root.file("drive_c/drivers/L.cfg"),
             "[Model_X_1_2]\nstaple.enforced=9\n[DME,1]\nformdb.mode=1\n");
  morva::settings::ddd_set_module_directory(u"C:\\drivers\\");
  open(d);
  WCHAR* path = GetConfigFilePath(handle);
  EXPECT_EQ(wide(path), u"C:\\drivers\\L.cfg");
  GlobalFree(path);
  ASSERT_NE(handle->config, nullptr);
  EXPECT_TRUE(IsItemEnforced(320, handle->config));
  ASSERT_NE(handle->capabilities, nullptr);
  EXPECT_TRUE(IsFormDbEnabled(handle->capabilities));
}

// Without a linked file the configuration is named after the main file, as
// the installer names it.
TEST_F(DatabaseConfig, WithoutLinkedFileTheMainFileNamesIt) {
  write_file(root.file("drive_c/drivers/T.cfg"), "[default]\nColorMode.enforced=gray\n");
  morva::settings::ddd_set_module_directory(u"C:\\drivers\\");
  open(one_file(json::array()));
  WCHAR* path = GetConfigFilePath(handle);
  EXPECT_EQ(wide(path), u"C:\\drivers\\T.cfg");
  GlobalFree(path);
  ASSERT_NE(handle->config, nullptr);
  EXPECT_TRUE(IsItemEnforced(270, handle->config));
  ASSERT_NE(handle->capabilities, nullptr);
  EXPECT_FALSE(HasCapabilityOverrides(handle->capabilities));
}

TEST_F(DatabaseConfig, NoFileNoConfiguration) {
  morva::settings::ddd_set_module_directory(u"C:\\drivers\\");
  open(one_file(json::array()));
  EXPECT_EQ(handle->config, nullptr);
  EXPECT_EQ(handle->capabilities, nullptr);
}

}  // namespace
