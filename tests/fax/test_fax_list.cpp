// The destination list: insertion order through packing and unpacking, the
// exact stored bytes of an entry, copies, and blobs that must be refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fax/fax_list.h"
#include "win/endian.h"
#include "win/memory.h"

using namespace morva::fax;
using morva::load_le16;
using morva::load_le32;

namespace {

template <std::size_t N>
void set_text(WCHAR (&field)[N], std::u16string_view text) {
  std::size_t i = 0;
  for (; i < text.size() && i + 1 < N; ++i) field[i] = text[i];
  for (; i < N; ++i) field[i] = 0;
}

FaxDestination make_entry(char16_t tag) {
  FaxDestination d{};
  d.Kind = kFaxKindIpAddress;
  set_text(d.Number, std::u16string(u"0312-555-") + tag);
  d.Line = 2;
  set_text(d.Name, std::u16string(u"Name ") + tag);
  set_text(d.Company, u"Line one\r\nLine two");
  d.CommMode = 1;
  d.BoxMode = 2;
  d.MailboxId = 42;
  set_text(d.MailboxPassword, u"1234");
  d.RelayId = 7;
  d.RelayPrint = 1;
  set_text(d.RelayNumbers, u"1,22,3");
  set_text(d.FCode, u"99");
  set_text(d.FCodePassword, u"pw");
  d.SourceKind = 1;
  d.SourceValue = 0x01020304;
  d.OldSourceId[0] = 0xAB;
  set_text(d.SourceId, u"AAECAwQFBgcICQoLDA0ODw==");
  return d;
}

std::u16string stored_text(const BYTE* at, std::size_t max_chars) {
  std::u16string s;
  for (std::size_t i = 0; i < max_chars && load_le16(at + 2 * i) != 0; ++i) s += load_le16(at + 2 * i);
  return s;
}

struct ListFixture : ::testing::Test {
  FaxDestinationList* list = FaxList_Create();
  void TearDown() override {
    FaxList_Destroy(list);
    morva::platform::inject_allocation_failure(0, 0);
  }
  void add(const std::u16string& tags) {
    for (char16_t t : tags) ASSERT_EQ(FaxList_Append(list, make_entry(t)), 1);
  }
  std::vector<BYTE> pack() {
    BYTE* blob = nullptr;
    DWORD size = 0;
    EXPECT_EQ(FaxList_Pack(list, &blob, &size), 1);
    std::vector<BYTE> out(blob, blob + size);
    GlobalFree(blob);
    return out;
  }
  static std::u16string names(const FaxDestinationList* l) {
    std::u16string s;
    for (INT i = 0; i < FaxList_Count(l); ++i) s += FaxList_GetAt(l, i)->Name[5];
    return s;
  }
};

TEST_F(ListFixture, PackingKeepsInsertionOrderAndUnpackingRestoresIt) {
  set_text(list->Subject, u"Quarterly figures");
  set_text(list->Comment, u"Please call back.\r\nThanks");
  add(u"ABC");
  std::vector<BYTE> blob = pack();
  ASSERT_EQ(blob.size(), FaxBlobSize(3));
  EXPECT_EQ(stored_text(blob.data(), 8), u"DFAX002");
  EXPECT_EQ(load_le16(blob.data() + 16), 3);
  EXPECT_EQ(stored_text(blob.data() + 18, 41), u"Quarterly figures");
  EXPECT_EQ(stored_text(blob.data() + 100, 671), u"Please call back.\r\nThanks");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(stored_text(blob.data() + 1442 + 820 * i + 262, 41), std::u16string(u"Name ") + char16_t(u'A' + i));
  }

  FaxDestinationList* back = FaxList_Create();
  ASSERT_EQ(UnpackFaxSendList(back, blob.data(), static_cast<DWORD>(blob.size())), 1);
  EXPECT_EQ(names(back), u"ABC");
  EXPECT_EQ(std::u16string(back->Subject), u"Quarterly figures");
  EXPECT_EQ(std::u16string(back->Comment), u"Please call back.\r\nThanks");
  const FaxDestination expected = make_entry(u'A');
  EXPECT_EQ(std::memcmp(FaxList_GetAt(back, 0), &expected, sizeof(expected)), 0);
  // Unpacking replaces what the list held.
  ASSERT_EQ(UnpackFaxSendList(back, blob.data(), static_cast<DWORD>(blob.size())), 1);
  EXPECT_EQ(names(back), u"ABC");
  FaxList_Destroy(back);
}

TEST_F(ListFixture, AnEntryIsStoredAtItsFixedOffsetsLittleEndian) {
  add(u"Z");
  std::vector<BYTE> blob = pack();
  const BYTE* e = blob.data() + kFaxBookHeaderSize;
  EXPECT_EQ(load_le16(e + 0), kFaxKindIpAddress);
  EXPECT_EQ(stored_text(e + 2, 129), u"0312-555-Z");
  EXPECT_EQ(load_le16(e + 260), 2);
  EXPECT_EQ(stored_text(e + 344, 83), u"Line one\r\nLine two");
  EXPECT_EQ(load_le16(e + 510), 1);
  EXPECT_EQ(load_le16(e + 512), 2);
  EXPECT_EQ(load_le16(e + 514), 42);
  EXPECT_EQ(stored_text(e + 516, 9), u"1234");
  EXPECT_EQ(load_le16(e + 534), 7);
  EXPECT_EQ(load_le16(e + 536), 1);
  EXPECT_EQ(stored_text(e + 538, 60), u"1,22,3");
  EXPECT_EQ(stored_text(e + 658, 21), u"99");
  EXPECT_EQ(stored_text(e + 700, 21), u"pw");
  EXPECT_EQ(load_le32(e + 744), 1u);
  EXPECT_EQ(e[748], 0x04);  // low byte first
  EXPECT_EQ(load_le32(e + 748), 0x01020304u);
  EXPECT_EQ(e[752], 0xAB);
  EXPECT_EQ(stored_text(e + 768, 25), u"AAECAwQFBgcICQoLDA0ODw==");
  EXPECT_EQ(load_le16(e + 818), 0);
}

TEST_F(ListFixture, AnEmptyListPacksIntoTheHeaderAlone) {
  set_text(list->Subject, u"Only a cover");
  std::vector<BYTE> blob = pack();
  ASSERT_EQ(blob.size(), 1442u);
  EXPECT_EQ(load_le16(blob.data() + 16), 0);
  EXPECT_EQ(stored_text(blob.data() + 18, 41), u"Only a cover");
  FaxDestinationList* back = FaxList_Create();
  ASSERT_EQ(UnpackFaxSendList(back, blob.data(), 1442), 1);
  EXPECT_EQ(FaxList_Count(back), 0);
  EXPECT_EQ(std::u16string(back->Subject), u"Only a cover");
  FaxList_Destroy(back);
}

TEST_F(ListFixture, PackingACountWritesTheOldestEntriesAndRefusesMoreThanThereAre) {
  add(u"ABC");
  std::vector<BYTE> blob(FaxBlobSize(2));
  ASSERT_EQ(PackFaxSendList(blob.data(), static_cast<DWORD>(blob.size()), 2, list), 1);
  EXPECT_EQ(load_le16(blob.data() + 16), 2);
  EXPECT_EQ(blob[1442 + 262 + 10], u'A');
  EXPECT_EQ(blob[1442 + 820 + 262 + 10], u'B');
  std::vector<BYTE> big(FaxBlobSize(4));
  EXPECT_EQ(PackFaxSendList(big.data(), static_cast<DWORD>(big.size()), 4, list), 0);    // only 3 entries
  EXPECT_EQ(PackFaxSendList(blob.data(), static_cast<DWORD>(blob.size()), 3, list), 0);  // buffer too small
  EXPECT_EQ(PackFaxSendList(nullptr, 5000, 1, list), 0);
  morva::platform::inject_allocation_failure(0, 1);  // the pointer table
  EXPECT_EQ(PackFaxSendList(blob.data(), static_cast<DWORD>(blob.size()), 2, list), 0);
}

TEST_F(ListFixture, DamagedTruncatedAndOlderBlobsAreRefusedAndLeaveTheListAlone) {
  set_text(list->Subject, u"Kept");
  add(u"AB");
  std::vector<BYTE> good = pack();
  FaxDestinationList* target = FaxList_Create();
  FaxList_Copy(target, list);

  struct Case {
    const char* what;
    std::vector<BYTE> blob;
  };
  std::vector<Case> cases;
  cases.push_back({"one byte short", {good.begin(), good.end() - 1}});
  cases.push_back({"header cut", {good.begin(), good.begin() + 1441}});
  cases.push_back({"empty", {}});
  auto count_too_big = good;
  morva::store_le16(count_too_big.data() + 16, 3);
  cases.push_back({"count beyond the bytes", count_too_big});
  auto older = good;
  FaxBook_WriteTag(older.data(), kTagDfax001);
  cases.push_back({"DFAX001 tag", older});
  auto unterminated_tag = good;
  morva::store_le16(unterminated_tag.data() + 14, u'X');
  cases.push_back({"tag without its terminator", unterminated_tag});
  for (const Case& c : cases) {
    EXPECT_EQ(UnpackFaxSendList(target, c.blob.data(), static_cast<DWORD>(c.blob.size())), 0) << c.what;
    EXPECT_EQ(names(target), u"AB") << c.what;
    EXPECT_EQ(std::u16string(target->Subject), u"Kept") << c.what;
  }
  EXPECT_EQ(UnpackFaxSendList(target, nullptr, 5000), 0);
  EXPECT_EQ(UnpackFaxSendList(nullptr, good.data(), static_cast<DWORD>(good.size())), 0);

  // Memory running out half way leaves the list as it was too.
  morva::platform::inject_allocation_failure(2, 1);
  EXPECT_EQ(UnpackFaxSendList(target, good.data(), static_cast<DWORD>(good.size())), 0);
  EXPECT_EQ(names(target), u"AB");
  FaxList_Destroy(target);
}

TEST_F(ListFixture, UnterminatedStoredTextsAreEndedInsideTheirFields) {
  add(u"A");
  std::vector<BYTE> blob = pack();
  for (DWORD i = kFaxText1Offset; i < blob.size(); i += 2) morva::store_le16(blob.data() + i, u'x');
  ASSERT_EQ(UnpackFaxSendList(list, blob.data(), static_cast<DWORD>(blob.size())), 1);
  EXPECT_EQ(std::u16string(list->Subject).size(), 40u);
  EXPECT_EQ(std::u16string(list->Comment).size(), 670u);
  const FaxDestination* e = FaxList_GetAt(list, 0);
  EXPECT_EQ(std::u16string(e->Number).size(), 128u);
  EXPECT_EQ(std::u16string(e->SourceId).size(), 24u);
}

TEST_F(ListFixture, CopyGivesAnIndependentListInTheSameOrder) {
  set_text(list->Subject, u"S");
  set_text(list->Comment, u"C");
  add(u"ABC");
  FaxDestinationList* target = FaxList_Create();
  FaxList_Append(target, make_entry(u'Q'));
  ASSERT_EQ(FaxList_Copy(target, list), 1);
  EXPECT_EQ(names(target), u"ABC");
  EXPECT_EQ(std::u16string(target->Subject), u"S");
  EXPECT_EQ(std::u16string(target->Comment), u"C");
  EXPECT_NE(FaxList_GetAt(target, 0), FaxList_GetAt(list, 0));
  FaxList_GetAt(list, 0)->Name[5] = u'X';
  EXPECT_EQ(names(target), u"ABC");

  // A target without an entry list gets one; a source without one fails.
  FaxDestinationList* bare = FaxList_Create();
  KeyList_Destroy(&bare->Entries);
  ASSERT_EQ(FaxList_Copy(bare, list), 1);
  EXPECT_EQ(names(bare), u"XBC");
  FaxList_Destroy(bare);
  ASSERT_EQ(FaxList_Copy(target, list), 1);
  KeyList* saved = list->Entries;
  list->Entries = nullptr;
  EXPECT_EQ(FaxList_Copy(target, list), 0);
  list->Entries = saved;

  morva::platform::inject_allocation_failure(2, 1);
  EXPECT_EQ(FaxList_Copy(target, list), 0);
  EXPECT_EQ(names(target), u"XBC");
  FaxList_Destroy(target);
}

TEST(FaxList, CreateAndDestroyEdges) {
  EXPECT_EQ(FaxList_Destroy(nullptr), 1);
  EXPECT_EQ(FaxList_Count(nullptr), -1);
  EXPECT_EQ(FaxList_GetAt(nullptr, 0), nullptr);
  EXPECT_EQ(FaxList_Append(nullptr, FaxDestination{}), 0);
  for (int skip : {0, 1}) {  // the list, then its entry list
    morva::platform::inject_allocation_failure(skip, 1);
    EXPECT_EQ(FaxList_Create(), nullptr) << skip;
  }
  FaxDestinationList* list = FaxList_Create();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(FaxList_Count(list), 0);
  EXPECT_EQ(list->Subject[0], 0);
  BYTE* blob = reinterpret_cast<BYTE*>(1);
  DWORD size = 1;
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(FaxList_Pack(list, &blob, &size), 0);
  EXPECT_EQ(blob, nullptr);
  EXPECT_EQ(size, 0u);
  FaxList_Destroy(list);
}

}  // namespace
