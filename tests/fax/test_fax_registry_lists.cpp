// The fax dialogs' per-user lists: numbered values rewritten whole without
// stale numbers, sender records and their confirmation, the number history,
// protected mode refusing writes, and lists written by one process and read
// by another.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "ddm/ddmid.h"
#include "fax/fax_registry_lists.h"
#include "fax_database.h"
#include "settings/items/item_access.h"
#include "temp_root.h"
#include "test_printer.h"
#include "win/win.h"

using namespace morva::fax;

namespace {

constexpr char16_t kKey[] = u"Software\\Morva\\Fax Test\\Users\\DirectFax\\CoverSheetForms";
constexpr char16_t kSenderKey[] = u"Software\\Morva\\Fax Test\\DirectFax\\SenderInfo";

HRESULT protected_yes(BOOL* answer) {
  *answer = TRUE;
  return 0;
}

std::set<std::u16string> value_names(LPCWSTR path) {
  std::set<std::u16string> out;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[260];
    DWORD chars = 260;
    if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.insert(name);
  }
  RegCloseKey(key);
  return out;
}

void put_string(LPCWSTR path, const std::u16string& name, const std::u16string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * 2)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::set<std::u16string> numbered(const char16_t* prefix, std::initializer_list<int> numbers) {
  std::set<std::u16string> out;
  for (int n : numbers) out.insert(std::u16string(prefix) + morva::format_w(u"%d", n));
  return out;
}

std::vector<std::u16string> read_forms(INT count = kFaxListMaxEntries) {
  std::vector<std::vector<WCHAR>> storage(static_cast<size_t>(count), std::vector<WCHAR>(129));
  std::vector<LPWSTR> buffers;
  for (auto& s : storage) buffers.push_back(s.data());
  const INT n = ReadNumberedStrings(kKey, kFormPathValuePrefix, buffers.data(), 258, count);
  std::vector<std::u16string> out;
  for (INT i = 0; i < n; ++i) out.push_back(buffers[static_cast<size_t>(i)]);
  return out;
}

SenderRecord sender(const std::u16string& name, const std::u16string& text1876 = u"") {
  SenderRecord r{};
  std::memcpy(r.SenderName, name.c_str(), name.size() * 2);
  std::memcpy(r.Text1821, u"Line 1\r\nLine 2", 28);
  std::memcpy(r.Text1876, text1876.c_str(), text1876.size() * 2);
  r.Confirmed = 1;
  return r;
}

class FaxRegistryLists : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  void TearDown() override { morva::platform::unregister_builtin_module(u"ieframe.dll"); }
};

TEST_F(FaxRegistryLists, AListIsRewrittenWholeAndNoOlderNumberSurvives) {
  struct Case {
    const char* what;
    std::vector<int> stored;
    INT written;
  };
  const Case cases[] = {
      {"3 over 7", {1, 2, 3, 4, 5, 6, 7}, 3},
      {"3 over 7 with a gap at 5", {1, 2, 3, 4, 6, 7}, 3},
      {"0 over 4", {1, 2, 3, 4}, 0},
      {"2 over 1, 2 and 10", {1, 2, 10}, 2},
  };
  const std::u16string path = kKey;
  for (const Case& c : cases) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    for (int n : c.stored) put_string(kKey, kFormPathValuePrefix + morva::format_w(u"%d", n), u"old");
    std::vector<std::u16string> texts;
    std::vector<LPCWSTR> pointers;
    for (INT i = 0; i < c.written; ++i) texts.push_back(u"C:\\forms\\new" + morva::format_w(u"%d", i + 1));
    for (auto& t : texts) pointers.push_back(t.c_str());
    ASSERT_EQ(WriteNumberedStrings(kKey, kFormPathValuePrefix, pointers.data(), c.written), 1) << c.what;
    std::set<std::u16string> expected;
    for (INT i = 1; i <= c.written; ++i) expected.insert(kFormPathValuePrefix + morva::format_w(u"%d", i));
    EXPECT_EQ(value_names(kKey), expected) << c.what;
    EXPECT_EQ(read_forms(), texts) << c.what;
  }
  EXPECT_EQ(WriteNumberedStrings(kKey, kFormPathValuePrefix, nullptr, 11), 0);  // more than a list holds
}

TEST_F(FaxRegistryLists, ReadingStopsAtAGapAndCutsWhatDoesNotFit) {
  EXPECT_EQ(read_forms().size(), 0u);  // no key
  for (int n : {1, 2, 4}) put_string(kKey, kFormPathValuePrefix + morva::format_w(u"%d", n), u"path");
  EXPECT_EQ(read_forms().size(), 2u);
  put_string(kKey, std::u16string(kFormPathValuePrefix) + u"1", std::u16string(300, u'x'));
  const auto forms = read_forms();
  ASSERT_EQ(forms.size(), 2u);
  EXPECT_EQ(forms[0], std::u16string(128, u'x'));  // 258 bytes hold 128 characters and the terminator
  EXPECT_EQ(read_forms(1).size(), 1u);
}

TEST_F(FaxRegistryLists, SenderRecordsReadBackConfirmedUnlessTheirTwinsSayOtherwise) {
  const SenderRecord written[] = {sender(u"Alice", u"+81 3 1234"), sender(u"Bob")};
  ASSERT_EQ(WriteSenderRecords(kSenderKey, kSenderValuePrefix, written, 2), 1);
  SenderRecord read[kFaxListMaxEntries] = {};
  ASSERT_EQ(ReadSenderRecords(kSenderKey, kSenderValuePrefix, read, kFaxListMaxEntries), 2);
  EXPECT_EQ(std::memcmp(&read[0], &written[0], sizeof(SenderRecord)), 0);
  EXPECT_EQ(std::memcmp(&read[1], &written[1], sizeof(SenderRecord)), 0);

  // The heads alone (as an older driver left them): confirmed, no 1876 text.
  const std::u16string whole = std::u16string(kSenderKey) + u"2";
  RegDeleteTreeW(HKEY_CURRENT_USER, whole.c_str());
  ASSERT_EQ(ReadSenderRecords(kSenderKey, kSenderValuePrefix, read, kFaxListMaxEntries), 2);
  EXPECT_EQ(read[0].Confirmed, 1u);
  EXPECT_EQ(read[0].Text1876[0], 0);

  // A twin that differs in its head, or that is itself unconfirmed, with a
  // 1876 text: unconfirmed. Without a 1876 text the head decides alone.
  struct Case {
    const char* what;
    std::u16string text1876;
    bool head_differs;
    DWORD twin_confirmed;
    DWORD expected;
  };
  const Case cases[] = {
      {"same head, confirmed twin", u"+81", false, 1, 1},
      {"different head", u"+81", true, 1, 0},
      {"unconfirmed twin", u"+81", false, 0, 0},
      {"different head, no text", u"", true, 1, 1},
  };
  for (const Case& c : cases) {
    SenderRecord head = sender(u"Carol");
    SenderRecord twin = sender(u"Carol", c.text1876);
    if (c.head_differs) twin.Text1820[0] = u'Z';
    twin.Confirmed = c.twin_confirmed;
    ASSERT_EQ(WriteSenderRecords(kSenderKey, kSenderValuePrefix, &head, 1), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, whole.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"VKM_FAX_SENDER1", 0, REG_BINARY, reinterpret_cast<BYTE*>(&twin), sizeof(twin)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(ReadSenderRecords(kSenderKey, kSenderValuePrefix, read, kFaxListMaxEntries), 1) << c.what;
    EXPECT_EQ(read[0].Confirmed, c.expected) << c.what;
    EXPECT_EQ(std::u16string(read[0].Text1876), c.text1876) << c.what;
  }
  EXPECT_EQ(value_names(kSenderKey), numbered(kSenderValuePrefix, {1}));  // Bob's number is gone from both
  EXPECT_EQ(value_names(whole.c_str()), numbered(kSenderValuePrefix, {1}));
}

TEST_F(FaxRegistryLists, InProtectedModeEveryWriterRefusesAndWritesNothing) {
  put_string(kKey, u"VKM_FAX_FORMPATH1", u"kept");
  morva::platform::register_builtin_module(u"ieframe.dll",
                                           {{"IEIsProtectedModeProcess", morva_proc(&protected_yes)}});
  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  DWORD on = 1;
  ASSERT_EQ(SetItemValueRaw(1367, dm.data(), pd.data(), 1, 4, &on), 0);
  const LPCWSTR one[] = {u"new"};
  const SenderRecord record = sender(u"Dan");
  const std::u16string history = u"Software\\Morva\\Fax Test\\Users\\History";
  SetLastError(0);
  EXPECT_EQ(WriteNumberedStrings(kKey, kFormPathValuePrefix, one, 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(WriteNumberedStrings(kKey, kFormPathValuePrefix, nullptr, 0), 0);
  EXPECT_EQ(WriteSenderRecords(kSenderKey, kSenderValuePrefix, &record, 1), 0);
  EXPECT_EQ(StoreAddressHistory(history.c_str(), dm.data(), pd.data(), one, 1), 0);
  EXPECT_EQ(value_names(kKey), std::set<std::u16string>{u"VKM_FAX_FORMPATH1"});
  EXPECT_TRUE(value_names(kSenderKey).empty());
  EXPECT_TRUE(value_names(history.c_str()).empty());
  EXPECT_EQ(read_forms(), std::vector<std::u16string>{u"kept"});  // reading is not affected
}

TEST_F(FaxRegistryLists, TheNumberHistoryKeepsItsNamesAndItsSwitch) {
  DddHandle* database = morva::test::open_fax_database(root);
  ASSERT_NE(database, nullptr);
  HANDLE printer = morva::test::add_test_printer(u"Fax Printer", u"Fax Driver", u"FAX.DDD");
  ASSERT_NE(printer, nullptr);
  WCHAR path[kFaxUserKeyChars];
  ASSERT_EQ(GetAddressHistoryKeyPath(printer, database, path), 1);
  const std::u16string key = path;
  EXPECT_EQ(key.rfind(std::u16string(morva::test::kFaxBase33), 0), 0u);
  EXPECT_EQ(key.substr(key.size() - 25), u"\\DirectFax\\AddressHistory");
  WCHAR again[kFaxUserKeyChars];
  ASSERT_EQ(GetAddressHistoryKeyPath(printer, database, again), 1);  // the identity stays the printer's
  EXPECT_EQ(key, std::u16string(again));

  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  DWORD on = 1;
  ASSERT_EQ(SetItemValueRaw(1367, dm.data(), pd.data(), 1, 4, &on), 0);
  std::vector<std::u16string> numbers;
  std::vector<LPCWSTR> pointers;
  for (int i = 0; i < 10; ++i) numbers.push_back(u"0312345" + morva::format_w(u"%d", i));
  for (auto& n : numbers) pointers.push_back(n.c_str());
  ASSERT_EQ(StoreAddressHistory(path, dm.data(), pd.data(), pointers.data(), 10), 1);
  const auto names = value_names(path);
  EXPECT_EQ(names.count(u"ADDRESS_HISTORY 1"), 1u);
  EXPECT_EQ(names.count(u"ADDRESS_HISTORY10"), 1u);
  WCHAR entries[kFaxListMaxEntries][kHistoryEntryChars] = {};
  ASSERT_EQ(ReadAddressHistory(path, entries), 10);
  EXPECT_EQ(std::u16string(entries[9]), numbers[9]);

  DWORD off = 0;
  ASSERT_EQ(SetItemValueRaw(1367, dm.data(), pd.data(), 1, 4, &off), 0);
  ASSERT_EQ(StoreAddressHistory(path, dm.data(), pd.data(), pointers.data(), 10), 1);
  EXPECT_EQ(value_names(path), std::set<std::u16string>{kHistorySwitchValue});
  EXPECT_EQ(ReadAddressHistory(path, entries), 0);

  // The stored switch comes back into setting 1367 when it is 0 or 1.
  struct Case {
    DWORD type;
    DWORD value;
    DWORD before;
    INT result;
    DWORD setting;
  };
  const Case cases[] = {
      {REG_DWORD, 1, 0, 1, 1}, {REG_DWORD, 0, 1, 1, 0}, {REG_DWORD, 2, 1, 0, 1}, {REG_SZ, 0, 1, 0, 1}};
  for (const Case& c : cases) {
    ASSERT_EQ(SetItemValueRaw(1367, dm.data(), pd.data(), 1, 4, &c.before), 0);
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
    RegSetValueExW(k, kHistorySwitchValue, 0, c.type, reinterpret_cast<const BYTE*>(&c.value), 4);
    RegCloseKey(k);
    EXPECT_EQ(LoadAddressHistorySwitch(path, dm.data(), pd.data()), c.result) << c.type << "/" << c.value;
    EXPECT_EQ(GetItemNumber(dm.data(), pd.data(), 1367, 1), c.setting) << c.type << "/" << c.value;
  }
  EXPECT_EQ(LoadAddressHistorySwitch(u"Software\\None", dm.data(), pd.data()), 1);  // no key: setting kept
  ClosePrinter(printer);
  DddClose(database);
}

TEST_F(FaxRegistryLists, SenderFieldsMoveBetweenRecordsAndSettings) {
  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  SenderRecord record = sender(u"Erin", u"+81 3 5555");
  std::memcpy(record.Text1823, u"Sales", 10);
  ASSERT_TRUE(ApplySenderRecord(dm.data(), pd.data(), &record));
  EXPECT_EQ(CompareSenderWithSettings(&record, dm.data(), pd.data()), 0);
  SenderRecord captured{};
  ASSERT_TRUE(CaptureSenderRecord(dm.data(), pd.data(), &captured));
  captured.Confirmed = record.Confirmed;
  EXPECT_EQ(std::memcmp(&captured, &record, sizeof(record)), 0);
  record.Text1876[0] = u'0';
  EXPECT_EQ(CompareSenderWithSettings(&record, dm.data(), pd.data()), 1);
  const SenderRecord empty{};
  ASSERT_TRUE(ApplySenderRecord(dm.data(), pd.data(), &empty));
  EXPECT_EQ(CompareSenderWithSettings(&empty, dm.data(), pd.data()), 0);
}

TEST_F(FaxRegistryLists, DirectFaxModeAndBlankText) {
  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  struct Case {
    BOOL option;
    BYTE card;
    INT result;
    WORD mode;
  };
  const Case cases[] = {{FALSE, 0, 1, 3}, {FALSE, 1, 1, 2}, {FALSE, 2, 1, 0}, {FALSE, 3, 0, 99}, {TRUE, 3, 1, 1}};
  for (const Case& c : cases) {
    ASSERT_EQ(SetItemValueRaw(4369, dm.data(), pd.data(), 8, 1, &c.card), 0);
    WORD mode = 99;
    EXPECT_EQ(GetDirectFaxMode(c.option, dm.data(), pd.data(), &mode), c.result) << int(c.card);
    EXPECT_EQ(mode, c.mode) << int(c.card);
  }
  EXPECT_EQ(IsSpaceOnlyText(u""), 1);
  EXPECT_EQ(IsSpaceOnlyText(u"   "), 1);
  EXPECT_EQ(IsSpaceOnlyText(u" \u3000"), 0);
  EXPECT_EQ(IsSpaceOnlyText(u" a"), 0);
}

// A list written here is what another process reads; what it writes back
// is read here.
TEST_F(FaxRegistryLists, ListsWrittenByOneProcessAreReadByAnother) {
  const LPCWSTR forms[] = {u"C:\\forms\\first.cvr", u"C:\\forms\\second.cvr", u"C:\\forms\\third.cvr"};
  ASSERT_EQ(WriteNumberedStrings(kKey, kFormPathValuePrefix, forms, 3), 1);
  const SenderRecord senders[] = {sender(u"Alice", u"+81 3 1234"), sender(u"Bob")};
  ASSERT_EQ(WriteSenderRecords(kSenderKey, kSenderValuePrefix, senders, 2), 1);
  ASSERT_EQ(morva::test::run_child_tests("FaxRegistryListsChild.*", root.path(), "reader"), 0);
  EXPECT_EQ(read_forms(), std::vector<std::u16string>{u"C:\\forms\\second.cvr"});
}

TEST(FaxRegistryListsChild, ReadsAndRewrites) {
  if (morva::test::child_role() != "reader") GTEST_SKIP() << "runs in the child process only";
  const auto forms = read_forms();
  ASSERT_EQ(forms.size(), 3u);
  EXPECT_EQ(forms[2], u"C:\\forms\\third.cvr");
  SenderRecord read[kFaxListMaxEntries] = {};
  ASSERT_EQ(ReadSenderRecords(kSenderKey, kSenderValuePrefix, read, kFaxListMaxEntries), 2);
  EXPECT_EQ(std::u16string(read[0].Text1876), u"+81 3 1234");
  EXPECT_EQ(read[0].Confirmed, 1u);
  const LPCWSTR one[] = {u"C:\\forms\\second.cvr"};
  EXPECT_EQ(WriteNumberedStrings(kKey, kFormPathValuePrefix, one, 1), 1);
}

}  // namespace
