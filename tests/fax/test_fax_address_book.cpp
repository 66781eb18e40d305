// The address-book run against the stand-in library: the list it hands
// back replaces the destinations, and every other answer (nothing to
// change, a refused file, records that do not convert back, a missing
// library) leaves the list whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "fax/fax_address_book.h"
#include "fax_database.h"
#include "fax_test_util.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "temp_root.h"
#include "win/win.h"

using namespace morva::fax;

namespace {

using morva::test::bin_directory;
using morva::test::put;

class FaxAddressBook : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  DddHandle* database = nullptr;
  FaxDestinationList* list = FaxList_Create();
  std::vector<BYTE> dm = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  std::string log;

  void SetUp() override {
    LoadResourceModule();
    open_database("mvfaxval.dll");
    morva::settings::set_module_directory_for_test(bin_directory().c_str());
    log = root.file("faxbook.log");
    setenv("FAXBOOK_LOG", log.c_str(), 1);
    for (const char16_t* number : {u"0312345678", u"0398765432"}) {
      FaxDestination d{};
      put(d.Number, number);
      ASSERT_EQ(FaxList_Append(list, d), 1);
    }
    const DWORD card = 2;  // direct-fax mode 0
    ASSERT_EQ(SetItemValueRaw(4369, dm.data(), pd.data(), 8, 1, &card), 0);
  }
  void TearDown() override {
    FaxList_Destroy(list);
    if (database) DddClose(database);
    morva::settings::set_module_directory_for_test(nullptr);
    unsetenv("FAXBOOK_LOG");
    unsetenv("FAXBOOK_MODE");
    morva::platform::reset_message_boxes();
    ReleaseResourceModule();
  }
  void open_database(const char* library) {
    if (database) DddClose(database);
    nlohmann::json strings = nlohmann::json::array({"", "mvporthelp.dll", "", "", library});
    database = morva::test::open_fax_database(root, {{"25", 5}, {"36", strings}, {"37", "SELECT;FAX"}});
    ASSERT_NE(database, nullptr);
  }
  INT run(const char* mode, INT* closes, LPCWSTR file = u"C:\\books\\team.fab") {
    setenv("FAXBOOK_MODE", mode, 1);
    AddressBookRequest request{{nullptr, database, u"IP_192.0.2.7", dm.data(), pd.data(), list}, file, nullptr,
                               FALSE, FALSE, nullptr};
    return RunAddressBook(request, closes);
  }
  std::vector<std::u16string> numbers() {
    std::vector<std::u16string> out;
    for (INT i = 0; i < FaxList_Count(list); ++i) out.push_back(FaxList_GetAt(list, i)->Number);
    return out;
  }
  std::string logged() {
    std::ifstream in(log);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(FaxAddressBook, TheLibrarysListReplacesTheDestinations) {
  INT closes = 0;
  EXPECT_EQ(run("replace", &closes), 1);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(numbers(), (std::vector<std::u16string>{u"0611111111", u"0622222222"}));
  EXPECT_EQ(std::u16string(FaxList_GetAt(list, 1)->Name), u"Gina");
  WORD type = 0;
  DWORD size = 0;
  ItemValue count{};
  ASSERT_EQ(GetItemValue(380, dm.data(), pd.data(), &type, &size, &count), 0);
  EXPECT_EQ(GetTypedValue(type, &count), 2);
  // The file is handed over in ANSI with the mode-0 flags and the default limit.
  EXPECT_NE(logged().find("file file=C:\\books\\team.fab"), std::string::npos) << logged();
  EXPECT_NE(logged().find("flags=0x10 max=50 count=2"), std::string::npos) << logged();
}

TEST_F(FaxAddressBook, OtherAnswersLeaveTheListWhole) {
  const std::vector<std::u16string> before = numbers();
  struct Case {
    const char* mode;
    INT result, closes;
    size_t boxes;
  } const cases[] = {{"keep", 1, 1, 0}, {"refuse", 1, 0, 1}, {"garble", 0, 0, 0}};
  for (const Case& c : cases) {
    morva::platform::reset_message_boxes();
    INT closes = -1;
    EXPECT_EQ(run(c.mode, &closes), c.result) << c.mode;
    EXPECT_EQ(closes, c.closes) << c.mode;
    EXPECT_EQ(numbers(), before) << c.mode;
    EXPECT_EQ(morva::platform::message_box_log().size(), c.boxes) << c.mode;
  }
  // Without the library the run fails quietly.
  open_database("mvnone.dll");
  INT closes = -1;
  EXPECT_EQ(run("replace", &closes), 0);
  EXPECT_EQ(closes, 0);
  EXPECT_EQ(numbers(), before);
}

TEST(FaxAddressBookFlags, FromTheSettings) {
  EXPECT_EQ(AddressBookFlags(0, FALSE, FALSE, FALSE, FALSE, FALSE), 0x10u);
  EXPECT_EQ(AddressBookFlags(1, FALSE, TRUE, FALSE, FALSE, FALSE), 0x13u);
  EXPECT_EQ(AddressBookFlags(2, FALSE, FALSE, FALSE, TRUE, TRUE), 0xDCu);
  EXPECT_EQ(AddressBookFlags(3, TRUE, FALSE, FALSE, FALSE, FALSE), 0x2Cu);
  EXPECT_EQ(AddressBookFlags(3, FALSE, FALSE, TRUE, FALSE, FALSE), 0x08u);
}

}  // namespace
