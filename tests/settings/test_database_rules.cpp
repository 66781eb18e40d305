// The prompt-component probe, the per-program option sets and the copies
// limit, over small built databases.
#include <vector>

#include "com_stand_in.h"
#include "ddd_fixture.h"
#include "settings/common/common_utils.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/common/prompt_component.h"

using morva::test::json;
using morva::test::one_file;

namespace {

class DatabaseRules : public morva::test::DddTest {
 protected:
  // Per-program sets named `programs`, item 32794 with the default
  // `threshold`, and capability words 0 and 1.
  void open_with(const std::vector<std::string>& programs, int threshold = 5, DWORD word1 = 0) {
    json records = json::array();
    for (const std::string& p : programs)
      records.push_back({{"kind", 24}, {"name", p}, {"entries", {{{"key", 8}, {"value", {{"type", 3}, {"value", 9}}}}}}});
    if (threshold >= 0) {
      records.push_back({{"kind", 4}, {"id", 32794}, {"name", "Copies"}, {"default", 1}, {"choices", {1}}});
      records.push_back({{"kind", 14}, {"id", 1}, {"name", "Five"}, {"value", {{"type", 3}, {"value", threshold}}}});
    }
    open(one_file(records, 0x2000, {{"26", 0}, {"39", {word1, 0}}}));
  }
};

// Capability 0xFFFF002B is bit 11 of word 1.
constexpr DWORD kPromptCapable = 0x800;

TEST_F(DatabaseRules, ProbeFindsNoComponentByDefault) {
  open_with({}, -1, kPromptCapable);
  BOOL out = TRUE;
  EXPECT_TRUE(ProbeComComponent(handle, &out));
  EXPECT_FALSE(out);
  EXPECT_EQ(morva::platform::com_init_count(), 0u);  // its CoInitialize was undone
  EXPECT_FALSE(ProbeComComponent(handle, nullptr));
}

TEST_F(DatabaseRules, ProbeCreatesAndReleasesEitherClass) {
  open_with({}, -1, kPromptCapable);
  struct Case {
    const CLSID& clsid;
    const IID& iid;
  } cases[] = {{CLSID_PromptComponentPrimary, IID_PromptComponentPrimary},
               {CLSID_PromptComponentSecondary, IID_PromptComponentSecondary}};
  for (const Case& c : cases) {
    morva::test::StandInFactory factory(c.iid);
    morva::platform::register_com_class(c.clsid, &factory);
    BOOL out = FALSE;
    EXPECT_TRUE(ProbeComComponent(handle, &out));
    EXPECT_TRUE(out);
    EXPECT_EQ(factory.created, 1);
    EXPECT_EQ(factory.alive, 0);
    morva::platform::register_com_class(c.clsid, nullptr);
  }
}

TEST_F(DatabaseRules, ProbeKeepsTheCallersComModel) {
  open_with({}, -1, kPromptCapable);
  morva::test::StandInFactory factory(IID_PromptComponentPrimary);
  morva::platform::register_com_class(CLSID_PromptComponentPrimary, &factory);
  // Its CoInitialize fails with another model: nothing to undo, the
  // caller's initialisation stays.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  BOOL out = FALSE;
  EXPECT_TRUE(ProbeComComponent(handle, &out));
  EXPECT_TRUE(out);
  EXPECT_EQ(morva::platform::com_init_count(), 1u);
  CoUninitialize();
  morva::platform::register_com_class(CLSID_PromptComponentPrimary, nullptr);
}

TEST_F(DatabaseRules, ProbeNeedsTheCapability) {
  open_with({}, -1, 0);
  morva::test::StandInFactory factory(IID_PromptComponentPrimary);
  morva::platform::register_com_class(CLSID_PromptComponentPrimary, &factory);
  BOOL out = TRUE;
  EXPECT_TRUE(ProbeComComponent(handle, &out));
  EXPECT_FALSE(out);
  out = TRUE;
  EXPECT_TRUE(ProbeComComponent(nullptr, &out));
  EXPECT_FALSE(out);
  EXPECT_EQ(factory.created, 0);
  morva::platform::register_com_class(CLSID_PromptComponentPrimary, nullptr);
}

// This test program runs as "settings_database_rules".
TEST_F(DatabaseRules, ProgramListMatchesNameOrStarredPart) {
  struct Case {
    std::vector<std::string> programs;
    BYTE index;
  } cases[] = {
      {{"other.exe", "settings_database_rules"}, 2},
      {{"SETTINGS_DATABASE_RULES", "settings_database_rules"}, 1},  // case-insensitive, first wins
      {{"settings_database"}, 0},                                   // a plain name must match whole
      {{"x", "*Database_R", "settings_database_rules"}, 2},         // a starred part anywhere
      {{"*database_rules.exe"}, 0},
      {{"*"}, 1},  // an empty part occurs in every name
      {{}, 0},
  };
  for (const Case& c : cases) {
    if (handle) DddClose(handle);
    handle = nullptr;
    open_with(c.programs);
    EXPECT_EQ(FindProcessInDatabaseList(handle), c.index) << (c.programs.empty() ? "" : c.programs.back());
  }
  EXPECT_EQ(FindProcessInDatabaseList(nullptr), 0);
}

TEST_F(DatabaseRules, CopiesLimitRaisedBelowTheDatabaseCount) {
  open_with({}, 5);
  std::vector<BYTE> dm(5988), pd(7972);
  const DeviceCapabilityBits raising{{0, 0x40000000u, 0}};  // 0xFFFF003E
  struct Case {
    WORD copies;
    DWORD limit;
  } cases[] = {{0, 999}, {4, 999}, {5, 250}, {6, 250}};
  for (const Case& c : cases) {
    DWORD v = c.copies;
    ASSERT_EQ(SetItemValueRaw(4365, dm.data(), pd.data(), 3, 2, &v), 0);
    DWORD limit = 250;
    EXPECT_TRUE(AdjustCopiesLimit(dm.data(), pd.data(), handle, &raising, &limit));
    EXPECT_EQ(limit, c.limit) << c.copies;
  }
  // Without the capability nothing is read.
  const DeviceCapabilityBits plain{{0xFFFFFFFFu, 0, 0}};
  DWORD limit = 250;
  EXPECT_TRUE(AdjustCopiesLimit(nullptr, nullptr, nullptr, &plain, &limit));
  EXPECT_EQ(limit, 250u);
  EXPECT_FALSE(AdjustCopiesLimit(dm.data(), pd.data(), handle, &raising, nullptr));
  // Unreadable values leave the limit.
  EXPECT_FALSE(AdjustCopiesLimit(nullptr, nullptr, handle, &raising, &limit));
  EXPECT_FALSE(AdjustCopiesLimit(dm.data(), pd.data(), nullptr, &raising, &limit));
  DddClose(handle);
  handle = nullptr;
  open_with({}, -1);
  EXPECT_FALSE(AdjustCopiesLimit(dm.data(), pd.data(), handle, &raising, &limit));
  EXPECT_EQ(limit, 250u);
}

}  // namespace
