// The stamp store: built-in stamps on first use, the user's own stamps and
// their limit, and what the conflict check and the stamp-name item see.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "child_process.h"
#include "demo_printer_fixture.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_report.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "settings/stores/stamp_store.h"
#include "settings/stores/user_registry_values.h"
#include "win/errors.h"
#include "win/registry.h"

namespace {

const char16_t* const kBuiltIn[] = {u"Confidential", u"Draft", u"Copy", u"Urgent", u"Internal Use Only", u"Sample"};

StampRecord user_stamp(const std::u16string& name, const std::u16string& text = u"TEXT") {
  StampRecord r{};
  EXPECT_EQ(ReadStamp(nullptr, nullptr, &r, TRUE, nullptr), 1);  // the default record
  std::memset(r.name, 0, sizeof r.name);
  std::memset(r.text, 0, sizeof r.text);
  name.copy(r.name, std::min<size_t>(name.size(), 32));
  text.copy(r.text, std::min<size_t>(text.size(), 64));
  return r;
}

std::vector<std::u16string> names_of(const std::vector<WCHAR>& list) {
  std::vector<std::u16string> out;
  for (const WCHAR* p = list.data(); *p; p += std::char_traits<char16_t>::length(p) + 1) out.emplace_back(p);
  return out;
}

class StampStore : public morva::test::DemoPrinterTest {
 protected:
  std::vector<std::u16string> listed() {
    DWORD count = 0, size = 0;
    EXPECT_EQ(ListStampNames(printer, nullptr, &count, &size, database), kStampBufferTooSmall);
    std::vector<WCHAR> buffer(size / 2);
    EXPECT_EQ(ListStampNames(printer, buffer.data(), &count, &size, database), kStampOk);
    auto names = names_of(buffer);
    EXPECT_EQ(names.size(), count);
    return names;
  }
  std::u16string stamps_key() {
    WCHAR path[260];
    EXPECT_EQ(GetStampsKeyPath(printer, database, path, 260, 0), 1);
    return path;
  }
};

TEST_F(StampStore, FirstUseWritesTheBuiltInStampsAndATerminatedVersion) {
  EXPECT_EQ(listed(), std::vector<std::u16string>(std::begin(kBuiltIn), std::end(kBuiltIn)));
  HKEY others = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (stamps_key() + u"\\Others").c_str(), 0, KEY_READ, &others),
            ERROR_SUCCESS);
  WCHAR version[16] = {};
  DWORD type = 0, size = sizeof version;
  ASSERT_EQ(RegQueryValueExW(others, u"Stamp Version", nullptr, &type, reinterpret_cast<BYTE*>(version), &size),
            ERROR_SUCCESS);
  RegCloseKey(others);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 10u);  // "0.01" and its terminator
  EXPECT_EQ(std::u16string(version), u"0.01");

  StampRecord draft{};
  ASSERT_EQ(ReadStamp(printer, u"Draft", &draft, FALSE, database), 1);
  EXPECT_EQ(std::u16string(draft.text), u"DRAFT");
  EXPECT_EQ(draft.frame, 1);
  EXPECT_EQ(draft.placement, 0x301);
  EXPECT_EQ(draft.colour, 13311u);
  EXPECT_EQ(draft.font.lfHeight, 48);
  EXPECT_EQ(draft.font.lfWeight, 700);
  EXPECT_EQ(std::u16string(draft.font.lfFaceName), u"DejaVu Sans");
  EXPECT_EQ(CompareStoredStamp(printer, &draft, database), 1);
}

TEST_F(StampStore, BuiltInNamesAreRefusedEverywhere) {
  StampRecord draft = user_stamp(u"draft");  // names compare without regard to case
  struct {
    const char* what;
    INT result, expected;
  } cases[] = {
      {"save", SaveStamp(printer, &draft, database), kStampBuiltInName},
      {"save default name", [&] { StampRecord r = user_stamp(u"Stamp"); return SaveStamp(printer, &r, database); }(),
       kStampBuiltInName},
      {"delete", DeleteStamp(printer, u"Draft", database), kStampBuiltInName},
      {"check new", CheckNewStampName(printer, u"DRAFT", database), kStampNameTaken},
      {"exists", StampExists(printer, u"Sample", database), kStampBuiltInName},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
  StampRecord stored{};
  ASSERT_EQ(ReadStamp(printer, u"Draft", &stored, FALSE, database), 1);
  EXPECT_EQ(std::u16string(stored.text), u"DRAFT");  // untouched
}

TEST_F(StampStore, UserStampsUpToTheLimit) {
  StampRecord mine = user_stamp(u"Mine", u"MY TEXT");
  EXPECT_EQ(CheckNewStampName(printer, u"Mine", database), kStampOk);
  ASSERT_EQ(SaveStamp(printer, &mine, database), kStampOk);
  EXPECT_EQ(StampExists(printer, u"Mine", database), kStampOk);
  EXPECT_EQ(CheckNewStampName(printer, u"Mine", database), kStampNameTaken);
  EXPECT_EQ(CompareStoredStamp(printer, &mine, database), kStampOk);
  StampRecord changed = mine;
  changed.font.lfQuality = 5;  // not compared
  EXPECT_EQ(CompareStoredStamp(printer, &changed, database), kStampOk);
  changed.placement = 0x103;
  EXPECT_EQ(CompareStoredStamp(printer, &changed, database), kStampDiffers);
  StampRecord absent = user_stamp(u"Absent");
  EXPECT_EQ(CompareStoredStamp(printer, &absent, database), kStampNotStored);
  EXPECT_EQ(StampExists(printer, u"Absent", database), kStampNotFound);
  StampRecord unnamed = user_stamp(u"");
  EXPECT_EQ(SaveStamp(printer, &unnamed, database), kStampNotFound);

  // Six built-in stamps and 26 of the user's fill the store.
  for (int i = 1; i < 26; ++i) {
    StampRecord r = user_stamp(u"User " + std::u16string(1, static_cast<char16_t>(u'A' + i)));
    ASSERT_EQ(SaveStamp(printer, &r, database), kStampOk) << i;
  }
  DWORD count = 0;
  ASSERT_EQ(CountStoredStamps(printer, &count, database), kStampOk);
  EXPECT_EQ(count, 32u);
  StampRecord extra = user_stamp(u"One Too Many");
  EXPECT_EQ(SaveStamp(printer, &extra, database), kStampStoreFull);
  EXPECT_EQ(CheckNewStampName(printer, u"One Too Many", database), kStampStoreFull);
  ASSERT_EQ(SaveStamp(printer, &changed, database), kStampOk);  // rewriting is always allowed
  EXPECT_EQ(CompareStoredStamp(printer, &changed, database), kStampOk);
  EXPECT_EQ(listed().size(), 32u);

  ASSERT_EQ(DeleteStamp(printer, u"mine", database), kStampOk);
  EXPECT_EQ(DeleteStamp(printer, u"Mine", database), kStampNotFound);
  EXPECT_EQ(SaveStamp(printer, &extra, database), kStampOk);
}

TEST_F(StampStore, MachineWideStampsAreCopiedForANewUser) {
  HKEY machine = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Morva\\Demo Printer\\Stamps", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &machine, nullptr),
            ERROR_SUCCESS);
  StampRecord office = user_stamp(u"Office", u"OFFICE COPY");
  ASSERT_EQ(RegSetValueExW(machine, u"Office", 0, REG_BINARY, reinterpret_cast<BYTE*>(&office), sizeof office),
            ERROR_SUCCESS);
  RegCloseKey(machine);
  EXPECT_EQ(listed(), std::vector<std::u16string>{u"Office"});
  StampRecord read{};
  ASSERT_EQ(ReadStamp(printer, u"Office", &read, FALSE, database), 1);
  EXPECT_EQ(std::u16string(read.text), u"OFFICE COPY");
  // The built-in lookup ignores the store.
  ASSERT_EQ(ReadStamp(printer, u"Office", &read, TRUE, database), 1);
  EXPECT_EQ(std::u16string(read.name), u"Stamp");
}

TEST_F(StampStore, ConflictCheckAndStampNameItemSeeTheStore) {
  std::vector<BYTE> dm, pd;
  fill_defaults(dm, pd);
  StampRecord mine = user_stamp(u"Mine");
  ASSERT_EQ(SaveStamp(printer, &mine, database), kStampOk);

  // The stamp-name choices: "None", then the stored stamps.
  ItemInfoOptions options{FALSE, FALSE, 0, nullptr, printer};
  ItemInfo* info = BuildItemInfo(database, 298, dm.data(), pd.data(), nullptr, &options);
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(ItemInfo_GetChoiceCount(info), 8);
  EXPECT_EQ(std::u16string(static_cast<LPCWSTR>(ItemInfo_GetChoiceAt(info, 7))), u"Mine");
  ItemInfo_Free(info);

  auto kind_of = [&](WORD ddmid) {
    ConflictReport* report = NewConflictReport();
    EXPECT_EQ(CheckSettingChange(0, printer, database, dm.data(), pd.data(), nullptr, ddmid, 1, nullptr, report,
                                 nullptr, 0),
              0);
    const WORD kind = report->kind;
    FreeConflictReport(report);
    return kind;
  };
  // Using a named stamp (36867) conflicts only when the stamp is not stored.
  // Stamps switched on (321 is the "off" flag).
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  ASSERT_EQ(GetItemValue(321, dm.data(), pd.data(), &type, &size, &value), 0);
  const DWORD off = 0;
  ASSERT_EQ(SetItemValueRaw(321, dm.data(), pd.data(), type, size, &off), 0);
  const char16_t* name = u"Mine";
  ASSERT_EQ(SetItemValueRaw(297, dm.data(), pd.data(), 6, 10, &name), 0);
  EXPECT_EQ(kind_of(36867), 0);
  name = u"Gone";
  ASSERT_EQ(SetItemValueRaw(297, dm.data(), pd.data(), 6, 10, &name), 0);
  EXPECT_EQ(kind_of(36867), 1);
  // Adding a stamp (36865) conflicts once 32 are stored.
  EXPECT_EQ(kind_of(36865), 0);
  for (int i = 0; i < 25; ++i) {
    StampRecord r = user_stamp(u"Fill " + std::u16string(1, static_cast<char16_t>(u'A' + i)));
    ASSERT_EQ(SaveStamp(printer, &r, database), kStampOk);
  }
  EXPECT_EQ(kind_of(36865), 8);
}

TEST_F(StampStore, SavedHereReadInAnotherProcess) {
  StampRecord mine = user_stamp(u"Shared", u"SHARED TEXT");
  mine.colour = 0x123456;
  ASSERT_EQ(SaveStamp(printer, &mine, database), kStampOk);
  DddClose(database);
  database = nullptr;
  ClosePrinter(printer);
  printer = nullptr;
  EXPECT_EQ(morva::test::run_child_tests("StampStoreChild.*", root.path(), "stamps"), 0);
}

TEST(StampStoreChild, SeesTheSavedStamp) {
  if (morva::test::child_role() != "stamps") GTEST_SKIP() << "runs in the child process only";
  HANDLE printer = morva::test::DemoPrinterTest::open_printer();
  ASSERT_NE(printer, nullptr);
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  StampRecord read{};
  ASSERT_EQ(ReadStamp(printer, u"Shared", &read, FALSE, database), kStampOk);
  EXPECT_EQ(std::u16string(read.text), u"SHARED TEXT");
  EXPECT_EQ(read.colour, 0x123456u);
  EXPECT_EQ(StampExists(printer, u"Shared", database), kStampOk);
  DWORD count = 0;
  ASSERT_EQ(CountStoredStamps(printer, &count, database), kStampOk);
  EXPECT_EQ(count, 7u);
  DddClose(database);
  ClosePrinter(printer);
}

}  // namespace
