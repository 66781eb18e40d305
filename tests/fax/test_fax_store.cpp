// Destination lists kept as printer data, as the fax address file and in
// the private settings: round trips in insertion order, refused blobs, and
// write failures of a real full device and of the platform reported as
// failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fax/fax_store.h"
#include "settings/stores/private_blobs.h"
#include "temp_root.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/memory.h"
#include "win/machine_store.h"
#include "win/spooler.h"
#include "test_printer.h"

using namespace morva::fax;
using morva::load_le16;
using morva::test::read_file;
using morva::test::write_file;

namespace {

constexpr char16_t kFile[] = u"C:\\fax\\qzfaxaddress.tmp";

class FaxStore : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  HANDLE printer = nullptr;
  FaxDestinationList* list = FaxList_Create();

  void SetUp() override {
    printer = morva::test::add_test_printer(u"Fax Printer", u"Fax Driver", u"FAX.DDD", u"IP_127.0.0.1");
    ASSERT_NE(printer, nullptr) << GetLastError();
    std::u16string subject = u"Subject line";
    std::memcpy(list->Subject, subject.c_str(), (subject.size() + 1) * 2);
    for (char16_t tag : std::u16string(u"ABC")) {
      FaxDestination d{};
      d.Kind = kFaxKindNumber;
      d.Number[0] = tag;
      d.Name[0] = tag;
      ASSERT_EQ(FaxList_Append(list, d), 1);
    }
  }
  void TearDown() override {
    morva::platform::inject_file_write_failure(0, 0, 0);
    morva::platform::clear_store_faults();
    FaxList_Destroy(list);
    if (printer) ClosePrinter(printer);
  }

  std::string native(const std::string& rel) { return root.file("drive_c/" + rel); }
  std::vector<BYTE> packed() {
    BYTE* blob = nullptr;
    DWORD size = 0;
    EXPECT_EQ(FaxList_Pack(list, &blob, &size), 1);
    std::vector<BYTE> out(blob, blob + size);
    GlobalFree(blob);
    return out;
  }
  static std::u16string names(const BYTE* blob, WORD count) {
    std::u16string s;
    BYTE entry[kFaxEntrySize];
    for (WORD i = 0; i < count; ++i) {
      if (GetFaxSendListEntry(blob, i, entry)) s += load_le16(entry + 262);
    }
    return s;
  }
  static std::u16string names(const FaxDestinationList* l) {
    std::u16string s;
    for (INT i = 0; i < FaxList_Count(l); ++i) s += FaxList_GetAt(l, i)->Name[0];
    return s;
  }
};

TEST_F(FaxStore, APrinterDataRoundTripKeepsInsertionOrder) {
  WORD count = 0;
  EXPECT_EQ(LoadFaxSendList(printer, u"Fax Printer", 0, nullptr, &count), nullptr);  // nothing stored yet
  ASSERT_EQ(FaxList_WriteFile(printer, nullptr, nullptr, list), 1);
  BYTE* blob = LoadFaxSendList(printer, u"Fax Printer", 0, nullptr, &count);
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names(blob, count), u"ABC");
  BYTE entry[kFaxEntrySize];
  std::memset(entry, 0x5A, sizeof(entry));
  EXPECT_EQ(GetFaxSendListEntry(blob, count, entry), 0);
  EXPECT_EQ(entry[0], 0x5A);  // nothing copied
  BYTE header[kFaxBookHeaderSize];
  ASSERT_EQ(CopyFaxSendListHeader(blob, header), 1);
  EXPECT_EQ(load_le16(header + 18), u'S');
  EXPECT_EQ(CopyFaxSendListHeader(static_cast<const BYTE*>(nullptr), header), 0);
  EXPECT_EQ(FreeFaxSendList(blob), 1);
  EXPECT_EQ(FreeFaxSendList(nullptr), 1);
}

TEST_F(FaxStore, LoadingRefusesOlderDamagedAndShortBlobs) {
  std::vector<BYTE> good = packed();
  WORD count = 0;
  BYTE* blob = LoadFaxSendList(nullptr, nullptr, static_cast<DWORD>(good.size()), good.data(), &count);
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(count, 3);
  EXPECT_NE(blob, good.data());  // a copy the caller frees
  FreeFaxSendList(blob);

  auto older = good;
  FaxBook_WriteTag(older.data(), kTagDfax001);
  auto other = good;
  FaxBook_WriteTag(other.data(), u"DFAX003");
  struct Case {
    const char* what;
    const std::vector<BYTE>& bytes;
    DWORD size;
  };
  const Case cases[] = {
      {"DFAX001", older, static_cast<DWORD>(older.size())},
      {"unknown tag", other, static_cast<DWORD>(other.size())},
      {"one entry byte short", good, static_cast<DWORD>(good.size() - 1)},
      {"header only", good, kFaxBookHeaderSize - 1},
      {"no bytes", good, 0},
  };
  for (const Case& c : cases) {
    count = 77;
    EXPECT_EQ(LoadFaxSendList(nullptr, nullptr, c.size, c.bytes.data(), &count), nullptr) << c.what;
    EXPECT_EQ(count, 77) << c.what;
  }
  // The same refusal for what the printer data holds.
  ASSERT_TRUE(WriteFaxSendList(printer, older.data(), static_cast<DWORD>(older.size())));
  EXPECT_EQ(LoadFaxSendList(printer, nullptr, 0, nullptr, &count), nullptr);
}

TEST_F(FaxStore, TheAddressFileIsTruncatedAndWrittenWhole) {
  write_file(native("fax/qzfaxaddress.tmp"), std::string(20000, 'j'));
  ASSERT_EQ(FaxList_WriteFile(printer, nullptr, kFile, list), 1);
  std::string bytes = read_file(native("fax/qzfaxaddress.tmp"));
  std::vector<BYTE> expected = packed();
  ASSERT_EQ(bytes.size(), expected.size());
  EXPECT_EQ(std::memcmp(bytes.data(), expected.data(), expected.size()), 0);
  BYTE* blob = LoadFaxSendList(nullptr, nullptr, static_cast<DWORD>(bytes.size()),
                               reinterpret_cast<const BYTE*>(bytes.data()), nullptr);
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(names(blob, 3), u"ABC");
  FreeFaxSendList(blob);
}

TEST_F(FaxStore, FailedWritesAreReportedAsFailures) {
  // A missing file is not created.
  EXPECT_EQ(FaxList_WriteFile(printer, nullptr, u"C:\\fax\\missing.tmp", list), 0);
  EXPECT_EQ(GetFileAttributesW(u"C:\\fax\\missing.tmp"), INVALID_FILE_ATTRIBUTES);
  // A real full device.
  EXPECT_EQ(FaxList_WriteFile(printer, nullptr, u"Z:\\dev\\full", list), 0);
  // A disk that fills up under the write, or a failing device.
  write_file(native("fax/qzfaxaddress.tmp"), "old");
  for (DWORD error : {static_cast<DWORD>(ERROR_DISK_FULL), static_cast<DWORD>(ERROR_WRITE_FAULT)}) {
    morva::platform::inject_file_write_failure(error, 0, 1);
    EXPECT_EQ(FaxList_WriteFile(printer, nullptr, kFile, list), 0) << error;
  }
  // A file held open without sharing by someone else.
  HANDLE held = CreateFileW(kFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FaxList_WriteFile(printer, nullptr, kFile, list), 0);
  CloseHandle(held);
  // The printer data store refusing the write.
  for (auto fault : {morva::platform::StoreFault::disk_full, morva::platform::StoreFault::access_denied}) {
    morva::platform::inject_store_fault(fault);
    EXPECT_EQ(FaxList_WriteFile(printer, nullptr, nullptr, list), 0);
    morva::platform::clear_store_faults();
  }
  EXPECT_EQ(LoadFaxSendList(printer, nullptr, 0, nullptr, nullptr), nullptr);  // nothing half-stored
}

TEST_F(FaxStore, OnlyWholeDfax002BlobsAreWritten) {
  write_file(native("fax/qzfaxaddress.tmp"), "keep");
  std::vector<BYTE> blob = packed();
  EXPECT_EQ(WriteFaxSendListData(printer, kFile, blob.data(), static_cast<DWORD>(blob.size() - 1)), 0);
  FaxBook_WriteTag(blob.data(), kTagDfax001);
  EXPECT_EQ(WriteFaxSendListData(printer, kFile, blob.data(), static_cast<DWORD>(blob.size())), 0);
  EXPECT_EQ(WriteFaxSendListData(printer, kFile, nullptr, 5000), 0);
  EXPECT_EQ(read_file(native("fax/qzfaxaddress.tmp")), "keep");
  EXPECT_EQ(FaxList_WriteFile(printer, nullptr, kFile, nullptr), 0);
  FaxDestinationList bare{};
  EXPECT_EQ(FaxList_WriteFile(printer, nullptr, kFile, &bare), 0);  // no entry list
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(FaxList_WriteFile(printer, nullptr, kFile, list), 0);
  morva::platform::inject_allocation_failure(0, 0);
  EXPECT_EQ(read_file(native("fax/qzfaxaddress.tmp")), "keep");
}

TEST_F(FaxStore, PrivateSettingsCarryTheListThroughAFileAndThePrinter) {
  std::vector<BYTE> extension(kFaxExtensionBlockSize, 0x11);
  write_file(native("fax/settings.dat"), "");
  const LPCWSTR file = u"C:\\fax\\settings.dat";
  struct Target {
    const char* what;
    LPCWSTR file;
    WORD kind;
  };
  for (const Target& t : {Target{"file", file, 0}, Target{"printer data", nullptr, 2}}) {
    ASSERT_EQ(SaveSettingsWithFaxList(printer, nullptr, t.file, t.kind, list, extension.data(), nullptr, 0, nullptr,
                                      0),
              1)
        << t.what;
    FaxDestinationList* back = FaxList_Create();
    FaxDestination stale{};
    stale.Name[0] = u'Z';
    FaxList_Append(back, stale);
    std::vector<BYTE> loaded(kFaxExtensionBlockSize, 0);
    BYTE* wpk = nullptr;
    BYTE* sp = nullptr;
    DWORD wpkSize = 0, spSize = 0;
    ASSERT_EQ(LoadSettingsWithFaxList(printer, nullptr, t.file, t.kind, back, loaded.data(), &wpk, &wpkSize, &sp,
                                      &spSize),
              1)
        << t.what;
    EXPECT_EQ(names(back), u"ABC") << t.what;  // replaced, not appended
    EXPECT_EQ(std::u16string(back->Subject), u"Subject line") << t.what;
    EXPECT_EQ(loaded[100], 0x11) << t.what;
    if (wpk) GlobalFree(wpk);
    if (sp) GlobalFree(sp);
    FaxList_Destroy(back);
  }
}

TEST_F(FaxStore, AnOlderFaxSectionOfASettingsFileIsConvertedOnLoading) {
  std::vector<BYTE> extension(kFaxExtensionBlockSize, 0x55);
  write_file(native("fax/settings.dat"), "");
  const LPCWSTR file = u"C:\\fax\\settings.dat";
  ASSERT_EQ(SaveSettingsWithFaxList(printer, nullptr, file, 0, nullptr, extension.data(), nullptr, 0, nullptr, 0), 1);
  // The same settings followed by a DFAX001 book of two 768-byte entries.
  std::string bytes = read_file(native("fax/settings.dat"));
  std::string book(kFaxBookHeaderSize + 2 * kFaxOldEntrySize, '\0');
  auto* b = reinterpret_cast<BYTE*>(book.data());
  FaxBook_WriteTag(b, kTagDfax001);
  FaxBook_SetCount(b, 2);
  morva::store_le16(b + kFaxText1Offset, u'T');
  for (int i = 0; i < 2; ++i) {
    BYTE* e = b + kFaxBookHeaderSize + i * kFaxOldEntrySize;
    morva::store_le16(e + 262, static_cast<WORD>(u'P' + i));
    for (int k = 0; k < 16; ++k) e[kFaxEntryKeyOffset + k] = static_cast<BYTE>(k);
  }
  write_file(native("fax/settings.dat"), bytes + book);

  std::vector<BYTE> loaded(kFaxExtensionBlockSize, 0);
  ASSERT_EQ(LoadSettingsWithFaxList(printer, nullptr, file, 0, list, loaded.data(), nullptr, nullptr, nullptr,
                                    nullptr),
            1);
  EXPECT_EQ(names(list), u"PQ");
  EXPECT_EQ(list->Subject[0], u'T');
  const FaxDestination* e = FaxList_GetAt(list, 1);
  EXPECT_EQ(std::u16string(e->SourceId), u"AAECAwQFBgcICQoLDA0ODw==");
  EXPECT_EQ(e->OldSourceId[15], 15);
}

TEST_F(FaxStore, ADamagedFaxSectionFailsTheLoadAndHandsNothingOut) {
  std::vector<BYTE> extension(kFaxExtensionBlockSize, 0x33);
  write_file(native("fax/settings.dat"), "");
  const LPCWSTR file = u"C:\\fax\\settings.dat";
  ASSERT_EQ(SaveSettingsWithFaxList(printer, nullptr, file, 0, list, extension.data(), nullptr, 0, nullptr, 0), 1);
  std::string bytes = read_file(native("fax/settings.dat"));
  const std::size_t book = bytes.size() - FaxBlobSize(3);
  ASSERT_EQ(load_le16(bytes.data() + book), u'D');
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string more = bytes;
  morva::store_le16(more.data() + book + 16, 4);
  const Case cases[] = {
      {"count above the entries", more},
      {"last entry cut", bytes.substr(0, bytes.size() - 1)},
  };
  for (const Case& c : cases) {
    write_file(native("fax/settings.dat"), c.bytes);
    std::vector<BYTE> loaded(kFaxExtensionBlockSize, 0x44);
    BYTE* wpk = reinterpret_cast<BYTE*>(1);
    DWORD wpkSize = 0;
    FaxDestinationList* back = FaxList_Create();
    EXPECT_EQ(LoadSettingsWithFaxList(printer, nullptr, file, 0, back, loaded.data(), &wpk, &wpkSize, nullptr,
                                      nullptr),
              0)
        << c.what;
    EXPECT_EQ(FaxList_Count(back), 0) << c.what;
    EXPECT_EQ(loaded[0], 0x44) << c.what;
    EXPECT_TRUE(wpk == nullptr || wpk == reinterpret_cast<BYTE*>(1)) << c.what;
    FaxList_Destroy(back);
  }
}

TEST_F(FaxStore, PrivateSettingsWithoutAListOrWithBadArguments) {
  std::vector<BYTE> extension(kFaxExtensionBlockSize, 0x22);
  write_file(native("fax/settings.dat"), "");
  const LPCWSTR file = u"C:\\fax\\settings.dat";
  EXPECT_EQ(SaveSettingsWithFaxList(nullptr, nullptr, nullptr, 2, list, extension.data(), nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(SaveSettingsWithFaxList(printer, nullptr, file, 0, list, nullptr, nullptr, 0, nullptr, 0), 0);
  FaxDestinationList bare{};
  EXPECT_EQ(SaveSettingsWithFaxList(printer, nullptr, file, 0, &bare, extension.data(), nullptr, 0, nullptr, 0), 0);
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(SaveSettingsWithFaxList(printer, nullptr, file, 0, list, extension.data(), nullptr, 0, nullptr, 0), 0);
  morva::platform::inject_allocation_failure(0, 0);
  EXPECT_EQ(read_file(native("fax/settings.dat")), "");  // nothing stored by the refusals

  // Settings stored without a list leave a list given on loading as it was.
  ASSERT_EQ(SaveSettingsWithFaxList(printer, nullptr, file, 0, nullptr, extension.data(), nullptr, 0, nullptr, 0), 1);
  std::vector<BYTE> loaded(kFaxExtensionBlockSize, 0);
  EXPECT_EQ(LoadSettingsWithFaxList(nullptr, nullptr, nullptr, 2, list, loaded.data(), nullptr, nullptr, nullptr,
                                    nullptr),
            0);
  EXPECT_EQ(LoadSettingsWithFaxList(printer, nullptr, file, 0, list, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(LoadSettingsWithFaxList(printer, nullptr, file, 0, list, loaded.data(), nullptr, nullptr, nullptr,
                                    nullptr),
            1);
  EXPECT_EQ(names(list), u"ABC");
  EXPECT_EQ(loaded[7], 0x22);
  // A store that fails under the save is reported.
  morva::platform::inject_store_fault(morva::platform::StoreFault::write_failure);
  EXPECT_EQ(SaveSettingsWithFaxList(printer, nullptr, nullptr, 2, list, extension.data(), nullptr, 0, nullptr, 0), 0);
}

}  // namespace
