// The per-user settings record and the printer's settings block, on the
// demo printer installed into a fresh machine root.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ddd_builder.h"
#include "demo_printer_fixture.h"
#include "ddm/ddmid.h"
#include "printer_install.h"
#include "settings/database/ddd_file.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/user_registry_values.h"
#include "settings/stores/user_setting_info.h"
#include "temp_root.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/machine_settings.h"
#include "win/machine_store.h"
#include "win/memory.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

namespace fs = std::filesystem;
using namespace morva::ddm;

constexpr char16_t kPrinterName[] = u"Morva Demo Printer";
constexpr char16_t kUserBase[] = u"Software\\Morva\\Demo Printer\\Users\\";

// Per-user settings of each section, with the values a user chose.
struct UserValue {
  WORD ddmid;
  std::u16string text;  // for strings
  DWORD number;         // for the others
  WORD type;
};
const UserValue kUserValues[] = {
    {5129, u"Section two text", 0, kTypeString},  // section 2
    {5146, u"", 0x1234, kTypeWord},               // section 2
    {5150, u"Section one text", 0, kTypeString},  // section 1
    {5169, u"", 77, kTypeLong},                   // section 1
    {5174, u"Section four text", 0, kTypeString}, // section 4
    {5183, u"", 9, kTypeByte},                    // section 4
};

void set_user_value(void* block, const UserValue& v) {
  if (v.type == kTypeString) {
    const char16_t* p = v.text.c_str();
    ASSERT_EQ(SetItemValueRaw(v.ddmid, nullptr, block, kTypeString, static_cast<DWORD>(2 * v.text.size() + 2), &p),
              kDdmOk);
  } else {
    ASSERT_TRUE(SetItemValue(v.ddmid, nullptr, block, static_cast<DWORD>(-1), v.type, &v.number)) << v.ddmid;
  }
}

// A number setting written with its own type and size.
void set_number(void* block, WORD ddmid, DWORD number) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  ASSERT_EQ(GetItemValue(ddmid, nullptr, block, &type, &size, &value), kDdmOk) << ddmid;
  ASSERT_EQ(SetItemValueRaw(ddmid, nullptr, block, type, size, &number), kDdmOk) << ddmid;
}

// The setting as text (strings) or its number as text.
std::u16string value_of(void* block, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  EXPECT_EQ(GetItemValue(ddmid, nullptr, block, &type, &size, &value), kDdmOk) << ddmid;
  if (type == kTypeString) return ItemText(value, size);
  std::string n = std::to_string(value.dw);
  return std::u16string(n.begin(), n.end());
}

std::u16string expected_of(const UserValue& v) {
  if (v.type == kTypeString) return v.text;
  std::string n = std::to_string(v.number);
  return std::u16string(n.begin(), n.end());
}

// The text of a record field.
std::u16string record_text(const std::vector<BYTE>& record, DWORD offset) {
  std::u16string out;
  for (DWORD i = offset; i + 1 < record.size() && morva::load_le16(&record[i]); i += 2) out += morva::load_le16(&record[i]);
  return out;
}
void put_record_text(std::vector<BYTE>& record, DWORD offset, const std::u16string& text) {
  for (std::size_t i = 0; i <= text.size(); ++i) morva::store_le16(&record[offset + 2 * i], i < text.size() ? text[i] : 0);
}

class UserStore : public morva::test::DemoPrinterTest {
 protected:
  void TearDown() override {
    morva::platform::clear_store_faults();
    morva::platform::inject_printer_access_denied(false);
    DemoPrinterTest::TearDown();
  }

  static HANDLE open(const std::u16string& name) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    std::u16string n = name;
    return OpenPrinterW(n.data(), &h, &defaults) ? h : nullptr;
  }

  // A block of the database defaults with the user's values in it.
  std::vector<BYTE> user_block() {
    std::vector<BYTE> block = defaults_block();
    for (const UserValue& v : kUserValues) set_user_value(block.data(), v);
    return block;
  }
  std::vector<BYTE> defaults_block() {
    std::vector<BYTE> devmode(kPrivateDevmodeSize), block(kPrinterDataSize);
    EXPECT_TRUE(FillDefaultSettings(database, devmode.data(), block.data(), u"DummyName"));
    return block;
  }
  void expect_user_values(void* block, DWORD sections = 7) {
    for (const UserValue& v : kUserValues) {
      const bool in = (v.ddmid < 5150 ? 2u : v.ddmid < 5174 ? 1u : 4u) & sections;
      std::vector<BYTE> defaults = defaults_block();
      EXPECT_EQ(value_of(block, v.ddmid), in ? expected_of(v) : value_of(defaults.data(), v.ddmid)) << v.ddmid;
    }
  }
  std::vector<BYTE> stored_user_record() {
    std::vector<BYTE> out(kUserRecordSize);
    EXPECT_EQ(ReadUserRegistryValue(printer, database, out.data(), kUserRecordSize, REG_BINARY, nullptr,
                                    u"UserSettingInfo"),
              0);
    return out;
  }
  std::u16string user_key() {
    BYTE id[16];
    EXPECT_TRUE(ReadPrinterId(printer, id));
    WCHAR hex[33];
    FormatPrinterIdHex(id, hex, 33);
    return std::u16string(kUserBase) + hex;
  }
};

TEST_F(UserStore, KeyPathsMakeTheIdentity) {
  BYTE id[16];
  ASSERT_FALSE(ReadPrinterId(printer, id));
  WCHAR path[260];
  EXPECT_EQ(GetStampsKeyPath(printer, database, path, 260, 2), 0);
  ASSERT_EQ(GetStampsKeyPath(printer, database, path, 260, 0), 1);
  EXPECT_EQ(std::u16string(path), user_key() + u"\\Stamps");
  ASSERT_EQ(GetStampsKeyPath(printer, database, path, 260, 1), 1);
  EXPECT_EQ(std::u16string(path), user_key() + u"\\Stamps\\Others");
  ASSERT_EQ(GetPaperMarginKeyPath(printer, database, path, 260), 1);
  EXPECT_EQ(std::u16string(path), user_key() + u"\\Paper Margin");

  HKEY key = nullptr;
  ASSERT_EQ(OpenUserRegistryKey(printer, database, u"DirectFax", &key), 1);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (user_key() + u"\\DirectFax").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(UserStore, CopyRegistryTreeCopiesValuesAndSubKeys) {
  HKEY source = nullptr, destination = nullptr, key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Morva\\Seed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &source, nullptr),
            ERROR_SUCCESS);
  std::vector<BYTE> big(70000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 31);
  const std::u16string long_name(260, u'n');
  const BYTE attributes[4] = {0x40, 0, 0, 0};
  ASSERT_EQ(RegSetValueExW(source, nullptr, 0, REG_BINARY, attributes, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(source, long_name.c_str(), 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(source, u"Stamps\\Others", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(key, u"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Morva\\Copy", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &destination, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(CopyRegistryTree(destination, source), 1);
  std::vector<BYTE> read(big.size() + 1);
  DWORD type = 0, size = static_cast<DWORD>(read.size());
  ASSERT_EQ(RegQueryValueExW(destination, long_name.c_str(), nullptr, &type, read.data(), &size), ERROR_SUCCESS);
  read.resize(size);
  EXPECT_EQ(read, big);
  BYTE got[4] = {};
  size = 4;
  EXPECT_EQ(RegQueryValueExW(destination, nullptr, nullptr, &type, got, &size), ERROR_SUCCESS);
  EXPECT_EQ(got[0], 0x40);
  ASSERT_EQ(RegOpenKeyExW(destination, u"Stamps\\Others", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD count = 0;
  size = 4;
  EXPECT_EQ(RegQueryValueExW(key, u"Count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size), ERROR_SUCCESS);
  EXPECT_EQ(count, 1u);
  RegCloseKey(key);

  // A destination that cannot be written is a failure, not a silent copy.
  HKEY other = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Morva\\Copy2", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &other, nullptr),
            ERROR_SUCCESS);
  morva::platform::inject_store_fault(morva::platform::StoreFault::disk_full);
  EXPECT_EQ(CopyRegistryTree(other, source), 0);
  RegCloseKey(other);
  RegCloseKey(destination);
  RegCloseKey(source);
}

TEST_F(UserStore, RecordCarriesTheUserValuesBetweenBlocks) {
  std::vector<BYTE> block = user_block();
  std::vector<BYTE> record(kUserRecordSize, 0xEE);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, block.data(), record.data()), 1);
  EXPECT_EQ(morva::load_le16(&record[0]), 4);
  EXPECT_EQ(UserRecordMask(record.data()), 7);
  EXPECT_EQ(morva::load_le16(&record[74]), 354);
  EXPECT_EQ(morva::load_le16(&record[430]), 968);
  EXPECT_EQ(morva::load_le16(&record[1400]), 694);
  EXPECT_EQ(record_text(record, 8), u"Demo Printer 1000");
  EXPECT_EQ(record_text(record, 76), u"Section two text");
  EXPECT_EQ(morva::load_le32(&record[1300]), 77u);
  EXPECT_EQ(record[2094], 9);

  // Only the sections named go into another block.
  for (DWORD mask : {1u, 2u, 4u, 7u}) {
    std::vector<BYTE> other = defaults_block();
    ASSERT_EQ(ApplyUserSettingInfo(other.data(), record.data(), mask), 1);
    expect_user_values(other.data(), mask);
  }
  EXPECT_EQ(IsUserSettingItem(5183), 1);
  EXPECT_EQ(IsUserSettingItem(5168), 0);
}

// Per-user values follow the printer's identity, not its name.
TEST_F(UserStore, UserValuesFollowTheIdentityAcrossARename) {
  std::vector<BYTE> block = user_block();
  std::vector<BYTE> record(kUserRecordSize);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, block.data(), record.data()), 1);
  ASSERT_EQ(WriteUserSettingInfo(printer, database, record.data(), 7), 1);

  std::vector<BYTE> info(4096);
  DWORD needed = 0;
  ASSERT_TRUE(GetPrinterW(printer, 2, info.data(), static_cast<DWORD>(info.size()), &needed));
  auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
  p2->pPrinterName = const_cast<LPWSTR>(u"Renamed Printer");
  ASSERT_TRUE(SetPrinterW(printer, 2, info.data(), 0)) << GetLastError();
  ClosePrinter(printer);
  printer = open(u"Renamed Printer");
  ASSERT_NE(printer, nullptr);

  std::vector<BYTE> read(kUserRecordSize);
  ASSERT_EQ(ReadUserSettingInfo(printer, database, read.data(), 7, FALSE), 1);
  std::vector<BYTE> other = defaults_block();
  ASSERT_EQ(ApplyUserSettingInfo(other.data(), read.data(), 7), 1);
  expect_user_values(other.data());
}

// Each user of the machine keeps values of their own for the same printer.
TEST_F(UserStore, TwoUsersSeeTheirOwnValues) {
  std::vector<BYTE> block = defaults_block();
  ASSERT_EQ(InitializePrinterSettings(printer, block.data(), database, TRUE), 1);
  auto store_as = [&](const char* user, const std::u16string& text) {
    ASSERT_TRUE(morva::platform::set_machine_setting("user_name", user));
    std::vector<BYTE> mine = defaults_block();
    const char16_t* p = text.c_str();
    ASSERT_EQ(SetItemValueRaw(5150, nullptr, mine.data(), kTypeString, static_cast<DWORD>(2 * text.size() + 2), &p),
              kDdmOk);
    std::vector<BYTE> record(kUserRecordSize);
    ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, mine.data(), record.data()), 1);
    ASSERT_EQ(WriteUserSettingInfo(printer, database, record.data(), 7), 1);
  };
  auto seen_by = [&](const char* user) {
    EXPECT_TRUE(morva::platform::set_machine_setting("user_name", user));
    std::vector<BYTE> destination(kPrinterDataSize);
    EXPECT_EQ(ReadPrinterSettings(printer, destination.data(), database), 1);
    return value_of(destination.data(), 5150);
  };
  store_as("alice", u"Alice's name");
  EXPECT_EQ(seen_by("bob"), u"");
  store_as("bob", u"Bob's name");
  EXPECT_EQ(seen_by("alice"), u"Alice's name");
  EXPECT_EQ(seen_by("bob"), u"Bob's name");
  morva::platform::set_machine_setting("user_name", "");
}

// Records of versions 1-3 come back as version 4 with the fields in place.
TEST_F(UserStore, OlderRecordsAreConvertedOnRead) {
  struct Case {
    WORD version;
    DWORD size, text_5129, text_5150;
  } cases[] = {{1, 716, 396, 72}, {2, 1100, 74, 430}, {3, 2092, 74, 432}};
  for (const Case& c : cases) {
    std::vector<BYTE> old(c.size);
    morva::store_le16(&old[0], c.version);
    put_record_text(old, c.text_5129, u"Old two");
    put_record_text(old, c.text_5150, u"Old one");
    ASSERT_EQ(WriteUserRegistryValue(printer, database, old.data(), c.size, REG_BINARY, nullptr, u"UserSettingInfo"), 1);
    std::vector<BYTE> record(kUserRecordSize);
    ASSERT_EQ(ReadUserSettingInfo(printer, database, record.data(), 7, FALSE), 1) << c.version;
    EXPECT_EQ(morva::load_le16(&record[0]), 4);
    EXPECT_EQ(UserRecordMask(record.data()), 7);
    EXPECT_EQ(record_text(record, 76), u"Old two") << c.version;
    EXPECT_EQ(record_text(record, 432), u"Old one") << c.version;
  }
  // A stored record too short for its version is not taken for data.
  std::vector<BYTE> short_one(715);
  morva::store_le16(&short_one[0], 1);
  put_record_text(short_one, 72, u"Cut");
  ASSERT_EQ(WriteUserRegistryValue(printer, database, short_one.data(), 715, REG_BINARY, nullptr, u"UserSettingInfo"), 1);
  std::vector<BYTE> record(kUserRecordSize);
  ASSERT_EQ(ReadUserSettingInfo(printer, database, record.data(), 7, FALSE), 1);
  EXPECT_EQ(record_text(record, 432), u"");
}

TEST_F(UserStore, MachineWideCopyStandsInForSectionTwo) {
  std::vector<BYTE> record(kUserRecordSize);
  // Nothing stored: the defaults with all three sections.
  ASSERT_EQ(ReadUserSettingInfo(printer, database, record.data(), 7, FALSE), 1);
  EXPECT_EQ(UserRecordMask(record.data()), 7);
  EXPECT_EQ(record_text(record, 76), u"");

  std::vector<BYTE> block = user_block();
  std::vector<BYTE> machine(kUserRecordSize);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, block.data(), machine.data()), 1);
  ASSERT_EQ(WriteUserSettingInfo(printer, database, machine.data(), kUserRecordMachineWide | 7), 1);
  ASSERT_EQ(ReadUserSettingInfo(printer, database, record.data(), 7, FALSE), 1);
  EXPECT_EQ(UserRecordMask(record.data()), 2);
  EXPECT_EQ(record_text(record, 76), u"Section two text");
  EXPECT_EQ(record_text(record, 432), u"");  // section 1: defaults

  // A user record without section 2 takes it from the machine-wide copy.
  std::vector<BYTE> mine(kUserRecordSize);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, defaults_block().data(), mine.data()), 1);
  put_record_text(mine, 1402, u"Mine");
  ASSERT_EQ(WriteUserSettingInfo(printer, database, mine.data(), 4), 1);
  ASSERT_EQ(ReadUserSettingInfo(printer, database, record.data(), 7, FALSE), 1);
  EXPECT_EQ(UserRecordMask(record.data()), 6);
  EXPECT_EQ(record_text(record, 76), u"Section two text");
  EXPECT_EQ(record_text(record, 1402), u"Mine");
}

TEST_F(UserStore, WritingSomeSectionsKeepsTheOthers) {
  std::vector<BYTE> block = user_block();
  std::vector<BYTE> record(kUserRecordSize);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, block.data(), record.data()), 1);
  ASSERT_EQ(WriteUserSettingInfo(printer, database, record.data(), 7), 1);

  std::vector<BYTE> update(kUserRecordSize);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, defaults_block().data(), update.data()), 1);
  put_record_text(update, 1402, u"New four");
  put_record_text(update, 76, u"Not written");
  ASSERT_EQ(WriteUserSettingInfo(printer, database, update.data(), 4), 1);
  const std::vector<BYTE> stored = stored_user_record();
  EXPECT_EQ(UserRecordMask(stored.data()), 7);
  EXPECT_EQ(record_text(stored, 1402), u"New four");
  EXPECT_EQ(record_text(stored, 76), u"Section two text");
  EXPECT_EQ(record_text(stored, 432), u"Section one text");
}

TEST_F(UserStore, RegistryFaultsAreFailures) {
  std::vector<BYTE> record(kUserRecordSize);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, user_block().data(), record.data()), 1);
  for (auto fault : {morva::platform::StoreFault::disk_full, morva::platform::StoreFault::access_denied,
                     morva::platform::StoreFault::write_failure}) {
    morva::platform::inject_store_fault(fault);
    EXPECT_EQ(WriteUserSettingInfo(printer, database, record.data(), 7), 0);
    EXPECT_EQ(WriteUserSettingInfo(printer, database, record.data(), kUserRecordMachineWide | 7), 0);
    std::vector<BYTE> block = user_block();
    EXPECT_EQ(InitializePrinterSettings(printer, block.data(), database, TRUE), 0);
    expect_user_values(block.data());  // the caller's values survive the failed store
    morva::platform::clear_store_faults();
  }
}

TEST_F(UserStore, ReadPrinterSettingsMergesTheUserValues) {
  std::vector<BYTE> destination(kPrinterDataSize, 0xCC);
  // No stored block: the defaults.
  ASSERT_EQ(ReadPrinterSettings(printer, destination.data(), database), 1);
  EXPECT_EQ(destination, defaults_block());

  // The stored block keeps the defaults in its per-user sections; the user's
  // record brings the user's values back.
  std::vector<BYTE> block = user_block();
  ASSERT_EQ(InitializePrinterSettings(printer, block.data(), database, TRUE), 1);
  expect_user_values(block.data());
  std::vector<BYTE> stored(kPrinterDataSize);
  DWORD size = kPrinterDataSize;
  ASSERT_EQ(ReadPrinterDataKind(printer, kPrinterDataPrinterData, stored.data(), &size), 1);
  expect_user_values(stored.data(), 0);
  std::vector<BYTE> record(kUserRecordSize);
  ASSERT_EQ(FillUserSettingInfoFromSettings(printer, database, block.data(), record.data()), 1);
  ASSERT_EQ(WriteUserSettingInfo(printer, database, record.data(), 7), 1);
  ASSERT_EQ(ReadPrinterSettings(printer, destination.data(), database), 1);
  expect_user_values(destination.data());

  // Anything else of the stored block is taken as it is.
  set_number(stored.data(), 5168, 3);
  ASSERT_EQ(WritePrinterDataKind(printer, stored.data(), kPrinterDataSize, kPrinterDataPrinterData), 1);
  ASSERT_EQ(ReadPrinterSettings(printer, destination.data(), database), 1);
  EXPECT_EQ(value_of(destination.data(), 5168), value_of(stored.data(), 5168));
  expect_user_values(destination.data());

  EXPECT_EQ(ReadPrinterSettings(printer, nullptr, database), 0);
  EXPECT_EQ(ReadPrinterSettings(nullptr, destination.data(), database), 0);
}

TEST_F(UserStore, DamagedOrForeignStoredBlocksGiveTheDefaults) {
  std::vector<BYTE> block = defaults_block();
  ASSERT_EQ(InitializePrinterSettings(printer, block.data(), database, TRUE), 1);
  std::vector<BYTE> destination(kPrinterDataSize);

  // A chunk cut short: the stored block is unreadable.
  BYTE half[100] = {};
  ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData3"), REG_BINARY, half, sizeof half),
            static_cast<DWORD>(ERROR_SUCCESS));
  std::fill(destination.begin(), destination.end(), 0xCC);
  EXPECT_EQ(ReadPrinterSettings(printer, destination.data(), database), 1);
  EXPECT_EQ(destination, defaults_block());

  // Another layout of another version: replaced by the defaults too.
  std::vector<BYTE> foreign = defaults_block();
  set_number(foreign.data(), 8203, 0x1111);
  set_number(foreign.data(), 8204, 0x4004);
  set_number(foreign.data(), 5168, 5);
  ASSERT_EQ(WritePrinterDataKind(printer, foreign.data(), kPrinterDataSize, kPrinterDataPrinterData), 1);
  std::fill(destination.begin(), destination.end(), 0xCC);
  EXPECT_EQ(ReadPrinterSettings(printer, destination.data(), database), 1);
  EXPECT_EQ(destination, defaults_block());
}

// A block older than the per-user record keeps its user values in itself:
// they become the user's record.
TEST_F(UserStore, OlderBlockSeedsTheUserRecord) {
  for (WORD version : {WORD{16388}, WORD{16389}}) {
    DeleteUserSettingInfoValue(printer, database);
    std::vector<BYTE> block = user_block();
    set_number(block.data(), 8204, version);
    ASSERT_EQ(WritePrinterDataKind(printer, block.data(), kPrinterDataSize, kPrinterDataPrinterData), 1);
    std::vector<BYTE> destination(kPrinterDataSize);
    ASSERT_EQ(ReadPrinterSettings(printer, destination.data(), database), 1);
    BYTE* stored = nullptr;
    DWORD size = 0;
    const INT got = ReadUserRegistryValueAlloc(printer, &stored, &size, REG_BINARY, nullptr, u"UserSettingInfo", database);
    EXPECT_EQ(got, version == 16388 ? 0 : 1) << version;
    if (got == 0) {
      std::vector<BYTE> record(stored, stored + size);
      EXPECT_EQ(record_text(record, 76), u"Section two text");
      GlobalFree(stored);
    }
  }
}

TEST_F(UserStore, WithoutWriteAccessNoIdentityIsMade) {
  std::vector<BYTE> block = defaults_block();
  ASSERT_EQ(InitializePrinterSettings(printer, block.data(), database, TRUE), 1);
  HANDLE user = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &user, nullptr));
  morva::platform::inject_printer_access_denied(true);
  std::vector<BYTE> destination(kPrinterDataSize);
  EXPECT_EQ(ReadPrinterSettings(user, destination.data(), database), 1);
  BYTE id[16];
  EXPECT_FALSE(ReadPrinterId(user, id));
  morva::platform::inject_printer_access_denied(false);
  EXPECT_EQ(ReadPrinterSettings(user, destination.data(), database), 1);
  EXPECT_TRUE(ReadPrinterId(user, id));
  ClosePrinter(user);
}

TEST_F(UserStore, DriverNameRegistrationAndUpgradeCallback) {
  std::vector<BYTE> block = defaults_block();
  EXPECT_EQ(InitializePrinterSettings(printer, block.data(), database, FALSE), 0);
  WCHAR name[64] = {};
  DWORD type = 0, needed = 0;
  ASSERT_EQ(GetPrinterDataW(printer, const_cast<LPWSTR>(u"SPLUserModePrinterDriver"), &type,
                            reinterpret_cast<LPBYTE>(name), sizeof name, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::u16string(name), u"Morva Printer Driver");
  EXPECT_EQ(needed, 2 * (std::u16string(name).size() + 1));

  struct Case {
    bool buffer;
    DWORD size;
    BOOL result;
    DWORD size_after;
  } cases[] = {{false, 0, TRUE, 7972}, {false, 100, FALSE, 100}, {true, 7971, FALSE, 7971}, {true, 7972, TRUE, 7972}};
  for (const Case& c : cases) {
    std::vector<BYTE> buffer(kPrinterDataSize, 0xCC);
    DWORD size = c.size;
    EXPECT_EQ(GetUpgradedPrinterData(printer, c.buffer ? buffer.data() : nullptr, &size), c.result) << c.size;
    EXPECT_EQ(size, c.size_after);
    if (c.buffer) {
      EXPECT_EQ(buffer == defaults_block(), c.result == TRUE) << c.size;
    }
  }
  EXPECT_FALSE(GetUpgradedPrinterData(printer, nullptr, nullptr));
  EXPECT_EQ(QueryPropertySheetExtension(printer, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(ApplyPropertySheetExtension(nullptr, nullptr), 1);
}

TEST_F(UserStore, SyncResetsSectionFourWhenThePrinterDiffers) {
  std::vector<BYTE> stored = defaults_block();
  ASSERT_EQ(InitializePrinterSettings(printer, stored.data(), database, TRUE), 1);
  std::vector<BYTE> mine = defaults_block();
  set_user_value(mine.data(), kUserValues[0]);  // section 2
  set_user_value(mine.data(), kUserValues[4]);  // section 4
  BOOL changed = TRUE;
  ASSERT_EQ(SyncUserSettingsFromPrinter(printer, database, mine.data(), &changed), 1);
  EXPECT_FALSE(changed);
  EXPECT_EQ(value_of(mine.data(), 5174), u"Section four text");
  set_number(mine.data(), 5169, 12);
  ASSERT_EQ(SyncUserSettingsFromPrinter(printer, database, mine.data(), &changed), 1);
  EXPECT_TRUE(changed);
  EXPECT_EQ(value_of(mine.data(), 5174), value_of(defaults_block().data(), 5174));
  EXPECT_EQ(value_of(mine.data(), 5129), u"Section two text");
}

}  // namespace
