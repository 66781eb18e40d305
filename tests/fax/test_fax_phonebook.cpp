// The phonebook export and the phonebook tool: the CSV rules, an export
// with non-ASCII names read back by Python's csv module, and whole runs of
// a stand-in tool that merges, fails or is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "fax/fax_phonebook.h"
#include "settings/common/module_state.h"
#include "fax_test_util.h"
#include "temp_root.h"
#include "win/win.h"

using namespace morva::fax;
namespace fs = std::filesystem;

namespace {

using morva::test::put;
using morva::test::bin_native;

std::u16string bin_directory() { return morva::platform::windows_path(bin_native()); }

FaxDestination number(const std::u16string& n, WORD line = 0) {
  FaxDestination d{};
  put(d.Number, n);
  d.Line = line;
  return d;
}

// Reads the CSV file with Python's csv module and checks its rows.
constexpr char kCsvCheck[] = R"(
import csv, os, sys
rows = list(csv.reader(open(sys.argv[1], encoding=sys.argv[2], newline='')))
assert rows[0] == ['SELMAR_QUILLAN_FAX_PHONEBOOK_TOOL', '0060000'], rows[0]
assert len(rows[1]) == 38 and rows[1][0] == 'FPBID' and rows[1][37] == 'FPBRLYNUM20', rows[1]
assert rows[2] == ['FPBGID', 'FPBGCN', 'FPBGNICKNAME', 'FPBGMEMCOUNT', 'FPBGMEMID'], rows[2]
assert len(rows) == 5, rows
e = rows[4]
assert e[1] == os.environ['PB_NAME'], e
assert e[3] == os.environ['PB_COMPANY'], e
assert e[5] == os.environ['PB_FAX'], e
assert e[13] == os.environ['PB_PCODE'], e
assert len(e) == 18, e
)";

class Phonebook : public ::testing::Test {
 protected:
  morva::test::TempRoot root;

  void SetUp() override { morva::settings::set_module_directory_for_test(bin_directory().c_str()); }
  void TearDown() override {
    morva::settings::set_module_directory_for_test(nullptr);
    morva::platform::reset_message_boxes();
    unsetenv("PBTOOL_MODE");
  }

  void install_tool(const std::u16string& version) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Morva\\Fax Phonebook Tool", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string dir = bin_directory();
    RegSetValueExW(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>((dir.size() + 1) * 2));
    RegSetValueExW(key, u"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>((version.size() + 1) * 2));
    RegCloseKey(key);
  }
  // The native temporary folder the runs use.
  std::string temp_native() {
    WCHAR dir[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, dir);
    return morva::platform::native_path(dir);
  }
  int runs_left() {
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(temp_native(), ec))
      if (e.path().filename().string().rfind("CSV", 0) == 0) ++n;
    return n;
  }
  PhonebookRequest request(const std::u16string& phonebook) {
    return PhonebookRequest{nullptr, nullptr, nullptr, phonebook, 20000};
  }
};

TEST(PhonebookCsv, ValuesAreQuotedAndPasswordsEncoded) {
  struct Quote {
    std::u16string in, out;
  };
  for (const Quote& q : {Quote{u"plain", u"plain"}, Quote{u"", u""}, Quote{u"a,b", u"\"a,b\""},
                         Quote{u"say \"hi\"", u"\"say \"\"hi\"\"\""}, Quote{u"two\r\nlines", u"\"two\r\nlines\""}})
    EXPECT_EQ(EscapeCsvValue(q.in), q.out);
  struct Password {
    std::u16string in, out;
  };
  for (const Password& p : {Password{u"", u""}, Password{u"pw", u"pUp="}, Password{u"\u3042", u"ZRV="},
                            Password{u"1234", u"ZGVmAN=="}})
    EXPECT_EQ(EncodePhonebookPassword(p.in), p.out) << morva::u16_to_utf8(p.in);
  EXPECT_EQ(RotateLetters13(u"Hello, World+/=9"), u"Uryyb, Jbeyq+/=9");
  EXPECT_EQ(IsBlankText(u" \u3000 "), 1);
  EXPECT_EQ(IsBlankText(u""), 1);
  EXPECT_EQ(IsBlankText(u" x"), 0);
}

TEST(PhonebookCsv, TheDestinationLineFollowsTheToolsColumns) {
  std::u16string line;
  FaxDestination outside = number(u"0312345678", 2);
  put(outside.FCode, u"77");
  ASSERT_TRUE(WritePhonebookCsvEntry(&outside, &line));
  EXPECT_EQ(line, u",,,,0,[Outside Line]0312345678,,,,,,0,77,,,,,0");  // no F-code password: empty column

  FaxDestination relay = number(u"5", 1);
  relay.BoxMode = 2;
  relay.RelayId = 12;
  relay.RelayPrint = 1;
  put(relay.RelayNumbers, u"1,2");
  ASSERT_TRUE(WritePhonebookCsvEntry(&relay, &line));
  EXPECT_EQ(line, u",,,,0,[Extension]5,,,,,,0,,,,,12,1,1,2");

  FaxDestination mailbox = number(u"fax@example.org");
  mailbox.Kind = kFaxKindIpAddress;
  mailbox.BoxMode = 1;
  mailbox.MailboxId = 3;
  mailbox.CommMode = 2;
  put(mailbox.MailboxPassword, u"pw");
  ASSERT_TRUE(WritePhonebookCsvEntry(&mailbox, &line));
  EXPECT_EQ(line, u",,,,1,,fax@example.org,,,,,2,,,3,pUp=,,0");

  FaxDestination speed = number(u"12");
  speed.Kind = kFaxKindSpeedDial;
  EXPECT_FALSE(WritePhonebookCsvEntry(&speed, &line));
  FaxDestination bad_line = number(u"1", 3);
  EXPECT_FALSE(WritePhonebookCsvEntry(&bad_line, &line));
}

TEST_F(Phonebook, AnExportWithNonAsciiNamesReadsBackAsCsv) {
  struct Case {
    const char* code_page;
    const char* python_encoding;
    std::u16string name, company;
  };
  const Case cases[] = {
      {"1252", "cp1252", u"Zo\u00eb M\u00fcller, Jr.", u"Caf\u00e9 \"Sol\"\r\nParis"},
      {"932", "cp932", u"\u5c71\u7530 \u592a\u90ce", u"\u682a\u5f0f\u4f1a\u793e, \u6771\u4eac"},
  };
  for (const Case& c : cases) {
    morva::platform::set_machine_setting("acp", c.code_page);
    FaxDestination d = number(u"0312345678", 2);
    put(d.Name, c.name);
    put(d.Company, c.company);
    put(d.FCodePassword, u"pw");
    PhonebookExport run;
    ASSERT_TRUE(ExportPhonebookCsv(nullptr, &d, &run)) << c.code_page;
    PhonebookExport other;
    ASSERT_TRUE(ExportPhonebookCsv(nullptr, &d, &other));
    EXPECT_NE(run.Folder, other.Folder);  // every run has its own folder
    RemovePhonebookExport(&other);
    const std::string csv = morva::platform::native_path(run.CsvPath);
    EXPECT_EQ(morva::test::run_program({"/usr/bin/python3", "-c", kCsvCheck, csv, c.python_encoding},
                                       {{"PB_NAME", morva::u16_to_utf8(c.name)},
                                        {"PB_COMPANY", morva::u16_to_utf8(c.company)},
                                        {"PB_FAX", "[Outside Line]0312345678"},
                                        {"PB_PCODE", "pUp="}}),
              0)
        << c.code_page;
    RemovePhonebookExport(&run);
    EXPECT_FALSE(fs::exists(csv));
    EXPECT_FALSE(fs::exists(fs::path(csv).parent_path()));
  }
  EXPECT_EQ(runs_left(), 0);
}

TEST_F(Phonebook, TheToolMergesOrItsFailureRestoresThePhonebook) {
  const FaxDestination d = number(u"0399999999");
  EXPECT_EQ(AddToPhonebook(request(u"C:\\books\\office.pb"), &d), PhonebookResult::kToolMissing);
  std::u16string exe;
  EXPECT_FALSE(CheckPhonebookTool(nullptr, nullptr, &exe));
  install_tool(u"60099");
  EXPECT_EQ(AddToPhonebook(request(u"C:\\books\\office.pb"), &d), PhonebookResult::kToolTooOld);
  EXPECT_FALSE(CheckPhonebookTool(nullptr, nullptr, &exe));
  auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].text, u"The phonebook tool is not installed.");
  EXPECT_EQ(log[1].text, u"The installed phonebook tool is too old. Install a newer version.");
  install_tool(u"60100");
  ASSERT_TRUE(CheckPhonebookTool(nullptr, nullptr, &exe));

  const std::string book = root.file("drive_c/books/office.pb");
  morva::test::write_file(book, "existing entries\r\n");
  EXPECT_EQ(AddToPhonebook(request(u"C:\\books\\office.pb"), &d), PhonebookResult::kAdded);
  const std::string merged = morva::test::read_file(book);
  EXPECT_EQ(merged.rfind("existing entries\r\n\"SELMAR_QUILLAN_FAX_PHONEBOOK_TOOL\"", 0), 0u);
  EXPECT_NE(merged.find("[None]0399999999"), std::string::npos);

  setenv("PBTOOL_MODE", "fail", 1);  // exits 3 after spoiling the phonebook
  EXPECT_EQ(AddToPhonebook(request(u"C:\\books\\office.pb"), &d), PhonebookResult::kToolFailed);
  EXPECT_EQ(morva::test::read_file(book), merged);

  setenv("PBTOOL_MODE", "hang", 1);  // does not end in time
  PhonebookRequest quick = request(u"C:\\books\\office.pb");
  quick.toolTimeoutMs = 200;
  EXPECT_EQ(AddToPhonebook(quick, &d), PhonebookResult::kToolFailed);
  EXPECT_EQ(morva::test::read_file(book), merged);
  EXPECT_EQ(runs_left(), 0);
}

TEST_F(Phonebook, ANewPhonebookIsMadeOnlyWhenTheUserAgrees) {
  install_tool(u"70000");
  fs::create_directories(root.file("drive_c/books"));
  const FaxDestination d = number(u"0311112222");
  morva::platform::script_message_box_answers({IDNO, IDYES});
  EXPECT_EQ(AddToPhonebook(request(u"C:\\books\\new.pb"), &d), PhonebookResult::kCancelled);
  EXPECT_EQ(runs_left(), 0);  // no CSV file left behind
  EXPECT_FALSE(fs::exists(root.file("drive_c/books/new.pb")));
  EXPECT_EQ(AddToPhonebook(request(u"C:\\books\\new.pb"), &d), PhonebookResult::kAdded);
  EXPECT_NE(morva::test::read_file(root.file("drive_c/books/new.pb")).find("[None]0311112222"), std::string::npos);
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].style & MB_TYPEMASK, MB_YESNO);
  // A folder that does not exist: no question, nothing done.
  EXPECT_EQ(AddToPhonebook(request(u"C:\\nowhere\\new.pb"), &d), PhonebookResult::kCancelled);
  EXPECT_EQ(morva::platform::message_box_log().size(), 2u);
  EXPECT_EQ(runs_left(), 0);
}

}  // namespace
