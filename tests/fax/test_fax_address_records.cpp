// Destinations handed to the outside address validator and taken back:
// record conversion both ways, the port address block and account, and
// a list that stays whole whatever the validator does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "fax/fax_address_records.h"
#include "fax_database.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "fax_test_util.h"
#include "temp_root.h"
#include "win/win.h"

using namespace morva::fax;

namespace {

using morva::test::put;
using morva::test::bin_directory;

FaxDestination destination(const std::u16string& number, const std::u16string& name, WORD comm = 0) {
  FaxDestination d{};
  put(d.Number, number);
  put(d.Name, name);
  d.CommMode = comm;
  d.SourceKind = 1;
  return d;
}

class FaxAddressRecords : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  DddHandle* database = nullptr;
  FaxDestinationList* list = FaxList_Create();
  std::vector<BYTE> dm = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  std::string log;

  void SetUp() override {
    open_database(2, "mvfaxval.dll");
    morva::settings::set_module_directory_for_test(bin_directory().c_str());
    log = root.file("faxval.log");
    setenv("FAXVAL_LOG", log.c_str(), 1);
    setenv("FAXVAL_MODE", "accept", 1);
    FaxDestination a = destination(u"0312345678", u"Ann", 1);
    put(a.SourceId, u"AAECAwQFBgcICQoLDA0ODw==");
    a.OldSourceId[0] = 0x77;  // carried from an older list, not part of the record
    ASSERT_EQ(FaxList_Append(list, a), 1);
    ASSERT_EQ(FaxList_Append(list, destination(u"0398765432", u"Rob", 2)), 1);
    ASSERT_EQ(FaxList_Append(list, destination(u"0311112222", u"Cy")), 1);
    put(list->Subject, u"Quarterly");
    // Account: mode 0 with account kind 7 takes user 5121 and password 5160.
    set_number(5163, 8, 0);
    set_number(5127, 3, 7);
    set_text(5121, u"alice", 66);
    LPWSTR stored = nullptr;
    ASSERT_TRUE(ConvertProtectedString(1, u"s3cret", &stored));
    set_text(5160, stored, 346);
    GlobalFree(stored);
  }
  void TearDown() override {
    FaxList_Destroy(list);
    if (database) DddClose(database);
    morva::settings::set_module_directory_for_test(nullptr);
    unsetenv("FAXVAL_LOG");
    unsetenv("FAXVAL_MODE");
    morva::platform::reset_message_boxes();
  }

  void open_database(int max, const char* validator) {
    if (database) DddClose(database);
    nlohmann::json strings = nlohmann::json::array({"", "mvporthelp.dll", "", "", validator});
    database = morva::test::open_fax_database(root, {{"25", max}, {"36", strings}, {"37", "SELECT;FAX"}});
    ASSERT_NE(database, nullptr);
  }
  void set_number(WORD id, WORD type, DWORD value) {
    ASSERT_EQ(SetItemValueRaw(id, dm.data(), pd.data(), type, type == 8 ? 1 : type == 3 ? 2 : 4, &value), 0) << id;
  }
  void set_text(WORD id, const std::u16string& text, DWORD size) {
    const WCHAR* p = text.c_str();
    ASSERT_EQ(SetItemValueRaw(id, dm.data(), pd.data(), 6, size, &p), 0) << id;
  }
  FaxValidationContext context(LPCWSTR port = u"IP_192.0.2.7") {
    return {nullptr, database, port, dm.data(), pd.data(), list};
  }
  std::vector<BYTE> snapshot() {
    BYTE* blob = nullptr;
    DWORD size = 0;
    EXPECT_EQ(FaxList_Pack(list, &blob, &size), 1);
    std::vector<BYTE> out(blob, blob + size);
    GlobalFree(blob);
    return out;
  }
};

TEST_F(FaxAddressRecords, ARecordCarriesEveryFieldBothWays) {
  FaxDestination d = *FaxList_GetAt(list, 0);
  put(d.Company, u"Acme\r\nTokyo");
  put(d.MailboxPassword, u"1234");
  put(d.RelayNumbers, u"1,12");
  put(d.FCode, u"55");
  put(d.FCodePassword, u"pw");
  d.Line = 2;
  d.BoxMode = 2;
  d.MailboxId = 9;
  d.RelayId = 33;
  d.RelayPrint = 1;
  d.SourceValue = 4;
  FaxAddressRecord r{};
  ASSERT_EQ(ToFaxAddressRecord(&r, &d), 1);
  EXPECT_EQ(WORD{r.CommMode}, 2);  // CommMode 1 in record numbering
  EXPECT_STREQ(r.Company, "Acme\r\nTokyo");
  for (int i = 0; i < 16; ++i) EXPECT_EQ(r.SourceId[i], i);
  FaxDestination back = destination(u"", u"");
  back.OldSourceId[0] = 0x77;
  ASSERT_EQ(FromFaxAddressRecord(&back, &r), 1);
  EXPECT_EQ(std::memcmp(&back, &d, sizeof(d)), 0);

  // Limits: a name longer than its ANSI field is cut whole characters; a
  // text the code page cannot hold, an identifier of more than 16 bytes and
  // a communication mode outside 0-2 are refused.
  put(d.Name, std::u16string(40, u'n'));
  put(d.Company, std::u16string(82, u'c'));
  ASSERT_EQ(ToFaxAddressRecord(&r, &d), 1);
  EXPECT_EQ(std::strlen(r.Name), 40u);
  put(d.SourceId, u"AAECAwQFBgcICQoLDA0ODxAR");  // 18 bytes
  EXPECT_EQ(ToFaxAddressRecord(&r, &d), 0);
  d = *FaxList_GetAt(list, 0);
  d.CommMode = 3;
  EXPECT_EQ(ToFaxAddressRecord(&r, &d), 0);
  r.CommMode = 3;
  EXPECT_EQ(FromFaxAddressRecord(&back, &r), 0);
}

TEST_F(FaxAddressRecords, TheRecordArrayHoldsEveryDestinationItIsToldAbout) {
  FaxAddressRecord* records = nullptr;
  INT count = 0;
  ASSERT_EQ(BuildFaxAddressRecords(list, 2, &records, &count), 1);  // three destinations, database says two
  EXPECT_EQ(count, 3);
  EXPECT_GE(GlobalSize(records), 3 * sizeof(FaxAddressRecord));
  EXPECT_STREQ(records[2].Number, "0311112222");
  GlobalFree(records);
  ASSERT_EQ(BuildFaxAddressRecords(list, 50, &records, &count), 1);
  EXPECT_GE(GlobalSize(records), 50 * sizeof(FaxAddressRecord));
  GlobalFree(records);
  EXPECT_EQ(BuildFaxAddressRecords(list, 0, &records, &count), 0);  // the model takes no destinations
  EXPECT_EQ(records, nullptr);
}

TEST_F(FaxAddressRecords, AValidatedListIsReplacedByTheRecordsThatCameBack) {
  open_database(2, "mvfaxval.dll");  // fewer than the list: the validator writes all three
  ASSERT_EQ(ValidateFaxAddresses(context(), nullptr, nullptr), kValidationAccepted);
  ASSERT_EQ(FaxList_Count(list), 3);
  for (INT i = 0; i < 3; ++i) EXPECT_EQ(FaxList_GetAt(list, i)->SourceValue, 1u) << i;
  EXPECT_EQ(FaxList_GetAt(list, 0)->CommMode, 1);  // handed over as 2, back as 1
  EXPECT_EQ(FaxList_GetAt(list, 0)->OldSourceId[0], 0x77);
  EXPECT_EQ(std::u16string(FaxList_GetAt(list, 0)->SourceId), u"AAECAwQFBgcICQoLDA0ODw==");
  EXPECT_EQ(std::u16string(list->Subject), u"Quarterly");
  EXPECT_EQ(morva::test::read_file(log),
            "count=3 address=192.0.2.7 selection=SELECT;FAX user=alice password=s3cret "
            "[0312345678 comm=2] [0398765432 comm=1] [0311112222 comm=0]\n");

  // A validator that refuses one destination: the list stays whole, the
  // refused one marked, and the message names it.
  setenv("FAXVAL_MODE", "reject-r", 1);
  FaxAddressRecord* returned = nullptr;
  INT count = 0;
  ASSERT_EQ(ValidateFaxAddresses(context(), &returned, &count), kValidationSomeRejected);
  ASSERT_EQ(FaxList_Count(list), 3);
  EXPECT_EQ(FaxList_GetAt(list, 1)->SourceValue, 0u);
  EXPECT_EQ(FaxList_GetAt(list, 2)->SourceValue, 1u);
  ASSERT_EQ(count, 3);
  ShowRejectedDestinations(nullptr, nullptr, returned, count);
  ASSERT_EQ(morva::platform::message_box_log().size(), 1u);
  EXPECT_EQ(morva::platform::message_box_log()[0].text,
            u"0398765432\nThe printer could not confirm the destinations above. Choose them again from the printer's "
            u"address book.");
  GlobalFree(returned);

  // A record the validator damaged: nothing of its answer is taken.
  const auto before = snapshot();
  setenv("FAXVAL_MODE", "garble", 1);
  EXPECT_EQ(ValidateFaxAddresses(context(), nullptr, nullptr), kValidationAccepted);
  EXPECT_EQ(snapshot(), before);

  // A validator that is missing, or a port without address: -1, the list as
  // it was; the port's failure is reported.
  open_database(50, "mvnone.dll");
  EXPECT_EQ(ValidateFaxAddresses(context(), nullptr, nullptr), -1);
  EXPECT_EQ(snapshot(), before);
  open_database(50, "mvfaxval.dll");
  morva::platform::reset_message_boxes();
  EXPECT_EQ(ValidateFaxAddresses(context(u"USB001"), nullptr, nullptr), -1);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(morva::platform::message_box_log().size(), 1u);
}

// Leaving a fax sheet with device address-book entries: only a validator
// that accepts every destination lets the sheet go; a rejection is named
// in one warning, a validator that cannot run keeps the sheet silently.
TEST_F(FaxAddressRecords, ASheetIsLeftOnlyWhenEveryDestinationIsConfirmed) {
  struct Case {
    const char* validator;
    const char* mode;
    INT keep;
    size_t warnings;
  } const cases[] = {
      {"mvfaxval.dll", "accept", 0, 0},
      {"mvfaxval.dll", "reject-r", 1, 1},
      {"mvnone.dll", "accept", 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    open_database(5, c.validator);
    setenv("FAXVAL_MODE", c.mode, 1);
    morva::platform::reset_message_boxes();
    EXPECT_EQ(CheckDeviceDestinations(context(), nullptr), c.keep);
    const auto shown = morva::platform::message_box_log();
    ASSERT_EQ(shown.size(), c.warnings);
    if (c.warnings) {
      EXPECT_EQ(shown[0].text.rfind(u"0398765432\n", 0), 0u) << "Rob is named";
    }
    EXPECT_EQ(FaxList_Count(list), 3);
  }
}

TEST_F(FaxAddressRecords, TheRejectionMessageNamesUpToThreeNumbers) {
  std::vector<FaxAddressRecord> records(8);
  for (int i = 0; i < 8; ++i) {
    std::snprintf(records[static_cast<size_t>(i)].Number, 129, "03-%d", i);
    records[static_cast<size_t>(i)].SourceValue = 1;
  }
  const std::u16string tail = u"\nThe printer could not confirm the destinations above. Choose them again from the "
                              u"printer's address book.";
  struct Case {
    std::vector<int> rejected;
    std::u16string text;
  };
  const Case cases[] = {
      {{}, u""},
      {{2}, u"03-2" + tail},
      {{2, 5}, u"03-2\n03-5" + tail},
      {{0, 1, 2, 4, 6}, u"03-0\n03-1\n03-2\nand 2 more" + tail},
      {{0, 1, 2, 3, 4, 5, 6, 7},
       u"The printer could not confirm any destination. Choose them again from the printer's address book."},
  };
  for (const Case& c : cases) {
    auto copy = records;
    for (int i : c.rejected) copy[static_cast<size_t>(i)].SourceValue = 0;
    EXPECT_EQ(RejectedDestinationsText(nullptr, copy.data(), 8), c.text) << c.rejected.size();
  }
}

TEST_F(FaxAddressRecords, TheAccountFollowsTheAccountSettings) {
  WCHAR user[33], password[129];
  ASSERT_EQ(GetAccountCredentials(database, dm.data(), pd.data(), user, password), 1);
  EXPECT_EQ(std::u16string(user), u"alice");
  EXPECT_EQ(std::u16string(password), u"s3cret");
  set_number(5127, 3, 1);  // another account kind: the logged-on user and password 5160
  ASSERT_EQ(GetAccountCredentials(database, dm.data(), pd.data(), user, password), 1);
  EXPECT_NE(std::u16string(user), u"alice");
  EXPECT_EQ(std::u16string(password), u"s3cret");
  set_text(5160, u"", 346);  // an empty stored password gives an empty password
  PortAddressBlock* block = nullptr;
  ASSERT_EQ(BuildPortAddressBlock(context(), &block), 1);
  EXPECT_STREQ(block->Password, "");
  EXPECT_STREQ(block->DeviceAddress, "192.0.2.7");
  GlobalFree(block);

  FaxLineSettingsAnsi line{};
  set_text(5141, u"9", 12);
  set_number(5145, 3, 1);
  ASSERT_EQ(ReadFaxLineSettingsAnsi(dm.data(), pd.data(), &line), 1);
  EXPECT_STREQ(line.OutsideLinePrefix, "9");
  EXPECT_EQ(line.DirectDial, 1);
}

}  // namespace
