// The fax sheets on a fax device, through the print host and the graphics
// driver: the cover-sheet dialog's test print, and a document whose
// destinations the user enters in the fax sheet that its STARTDOC opens.
// The jobs are read back by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "fax_device_printer.h"
#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_dc.h"
#include "printer_settings_store.h"
#include "temp_root.h"
#include "win/msgbox.h"
#include "win/paths.h"
#include "win/registry.h"
#include "win/spooler.h"
#include "win/ui_driver.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr INT kKind = 4016, kNumber = 4018, kName = 4019, kAdd = 4003, kList = 4002;
constexpr INT kCover = 4023, kCoverButton = 4024, kSubject = 4107, kSenders = 4106, kCoverSender = 4116;
constexpr INT kTestPrint = 4101, kOk = 1092;
constexpr INT kSenderName = 4302, kSenderCompany = 4303, kRegisterSender = 4320, kNewSender = 4319;

struct Job {
  std::u16string document;
  std::string bytes;
  std::vector<std::string> ops;
  bool decoded = false;
};

std::vector<Job> jobs() {
  std::vector<Job> out;
  for (const auto& j : morva::platform::spool_jobs(kDemoPrinter)) {
    Job job;
    job.document = j.document;
    job.bytes = morva::test::read_file(j.spool_file);
    auto decoded = morva::tools::DecodeSpoolFilePath(j.spool_file);
    job.decoded = decoded.ok && decoded.summary.jobs == 1;
    for (const auto& i : decoded.items)
      if (i.kind == morva::tools::PdlItem::Operator) job.ops.push_back(i.text);
    out.push_back(job);
  }
  return out;
}

int count(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<int>(std::count(v.begin(), v.end(), s));
}

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The temporary files of the sample page ("QZF...") in the temp folder.
int sample_files() {
  WCHAR folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::string native = morva::platform::native_path(folder);
  int n = 0;
  if (std::filesystem::exists(native))
    for (const auto& e : std::filesystem::directory_iterator(native))
      if (e.path().filename().string().rfind("QZF", 0) == 0) ++n;
  return n;
}

void add(HWND sheet, INT kind, const std::u16string& number, const std::u16string& name) {
  ASSERT_TRUE(ui::select(ui::find(sheet, kKind), kind));
  ASSERT_TRUE(ui::enter_text(ui::find(sheet, kNumber), number));
  ASSERT_TRUE(ui::enter_text(ui::find(sheet, kName), name));
  EXPECT_TRUE(ui::click(ui::find(sheet, kAdd)));
}

// A sender registered in the sender dialog, chosen for the cover sheet.
void register_sender(HWND cover) {
  ui::script_modal([](HWND senders) {
    EXPECT_TRUE(ui::click(ui::find(senders, kNewSender)));
    EXPECT_TRUE(ui::enter_text(ui::find(senders, kSenderName), u"Erin Sender"));
    EXPECT_TRUE(ui::enter_text(ui::find(senders, kSenderCompany), u"Morva Works"));
    EXPECT_TRUE(ui::click(ui::find(senders, kRegisterSender)));
    EXPECT_TRUE(ui::press_ok(senders));
  });
  EXPECT_TRUE(ui::click(ui::find(cover, kSenders)));
  EXPECT_EQ(ui::text(ui::find(cover, kCoverSender)), u"Erin Sender");
}

class FaxSheetPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    // The fax device with the standard cover sheet's file (empty: the
    // cover is its texts alone), direct fax switched on.
    std::string error;
    ASSERT_TRUE(morva::test::install_fax_device_printer(root_.path(), true, &error)) << error;
    store_printer_settings({{5177, 1}, {4369, 2}});
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    ASSERT_TRUE(GetPrinterDriverW(printer, nullptr, 3, info.data(), needed, &needed));
    ClosePrinter(printer);
    std::u16string data_file = reinterpret_cast<const DRIVER_INFO_3W*>(info.data())->pDataFile;
    const std::u16string cover = data_file.substr(0, data_file.rfind(u'\\') + 1) + u"FAXCOVER.BIN";
    morva::test::write_file(morva::platform::native_path(cover.c_str()), "");
    ui::reset();
    morva::platform::reset_message_boxes();
    morva::print_host::install_printer_dc_maker();
  }
  void TearDown() override {
    morva::platform::set_printer_dc_maker(nullptr);
    ui::reset();
    morva::platform::reset_message_boxes();
  }

  morva::test::TempRoot root_;
};

// The test print of the cover-sheet dialog: after the question naming the
// port and the destination, one cover-only job (the cover page of the first
// destination, without fax attribute lines) goes through the graphics
// driver; the sample's temporary files are gone. Cancel prints nothing.
TEST_F(FaxSheetPrint, TestPrintSendsTheCoverPageToTheFirstDestination) {
  HMODULE ui_dll = LoadLibraryW(u"morvaui.dll");
  ASSERT_NE(ui_dll, nullptr) << morva::platform::last_load_error();
  auto document = morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui_dll, "DrvDocumentPropertySheets"));
  ASSERT_NE(document, nullptr);
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
  const int files_before = sample_files();
  std::vector<BYTE> devmode(1604, 0);
  DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer, const_cast<LPWSTR>(kDemoPrinter), nullptr,
                                reinterpret_cast<PDEVMODEW>(devmode.data()), 1604, DM_COPY | DM_PROMPT};
  for (INT answer : {IDCANCEL, IDOK}) {
    SCOPED_TRACE(answer);
    morva::platform::reset_message_boxes();
    ui::script_modal([&](HWND sheet) {
      ASSERT_NE(ui::find(sheet, kList), nullptr);
      add(sheet, 0, u"0123456789", u"Alice");
      EXPECT_TRUE(ui::click(ui::find(sheet, kCover)));
      ui::script_modal([&](HWND cover) {
        EXPECT_TRUE(ui::enter_text(ui::find(cover, kSubject), u"Line test"));
        morva::platform::script_message_box_answers({answer});
        EXPECT_TRUE(ui::click(ui::find(cover, kTestPrint)));
      });
      EXPECT_TRUE(ui::click(ui::find(sheet, kCoverButton)));
      EXPECT_TRUE(ui::press_cancel(sheet));
    });
    DWORD result = 0;
    CommonPropertySheetUIW(nullptr, document, reinterpret_cast<LPARAM>(&header), &result);
    const auto log = morva::platform::message_box_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].text.find(u"0123456789"), std::u16string::npos) << "the destination is named";
    EXPECT_NE(log[0].text.find(u"Alice"), std::u16string::npos);
    EXPECT_EQ(log[0].style, static_cast<UINT>(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(sample_files(), files_before) << "the sample's temporary files are deleted";
  }
  // Only the answer OK printed.
  auto all = jobs();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].document, u"SamplePrint");
  ASSERT_TRUE(all[0].decoded);
  EXPECT_EQ(count(all[0].ops, "Ec"), 1) << "the cover page alone";
  EXPECT_GT(count(all[0].ops, "Dd"), 0) << "the cover's texts";
  ClosePrinter(printer);
  FreeLibrary(ui_dll);
}

// A document printed on the fax device without destinations: its STARTDOC
// opens the fax sheet; three destinations are entered (a speed-dial number
// of two digits is refused), a cover sheet with a registered sender is
// chosen and previewed, and OK sends one job per destination, each with its
// cover page and the fax attribute line of its destination. The sender
// records stay for the next process.
TEST_F(FaxSheetPrint, DestinationsEnteredAtTheDocumentStartGetOneJobEach) {
  const std::string png = root_.path() + "/fax-sheet-cover.png";
  ui::script_modal([&](HWND sheet) {
    ASSERT_NE(ui::find(sheet, kList), nullptr);
    // The fax sheet's buttons send or cancel the fax.
    EXPECT_EQ(ui::text(ui::find(sheet, IDOK)), u"Send");
    EXPECT_EQ(ui::text(ui::find(sheet, IDCANCEL)), u"Cancel Fax");
    add(sheet, 0, u"0301234567", u"Ann");
    add(sheet, 1, u"12", u"Carol");
    add(sheet, 0, u"0302345678", u"Ben");
    add(sheet, 0, u"0303456789", u"Cid");
    EXPECT_EQ(ui::state(ui::find(sheet, kList)).count, 3);
    EXPECT_EQ(ui::state(ui::find(sheet, kCover)).check, BST_CHECKED) << "the document asks for a cover sheet";
    ui::script_modal([&](HWND cover) {
      EXPECT_TRUE(ui::enter_text(ui::find(cover, kSubject), u"Quarterly figures"));
      register_sender(cover);
      EXPECT_TRUE(ui::write_png(cover, png));
      EXPECT_TRUE(ui::click(ui::find(cover, kOk)));
    });
    EXPECT_TRUE(ui::click(ui::find(sheet, kCoverButton)));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  const std::string json = R"({"printer": "Morva Demo Printer", "document": "Fax", "units": "px",
      "ddmid": {"376": 1, "377": 0, "379": 0},
      "pages": [{"ops": [{"op": "rectangle", "rect": [100, 100, 900, 900]}]}]})";
  morva::print_host::Document doc;
  std::string error;
  ASSERT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
  auto r = morva::print_host::print_document(doc);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text, u"Type a speed-dial number of three digits.");
  EXPECT_TRUE(std::filesystem::exists(png));
  auto all = jobs();
  ASSERT_EQ(all.size(), 3u);
  const char* numbers[] = {"0301234567", "0302345678", "0303456789"};
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(all[i].decoded);
    EXPECT_EQ(count(all[i].ops, "Ec"), 2) << "the cover page and the document's page";
    EXPECT_GT(count(all[i].ops, "Dd"), 0);
    EXPECT_EQ(occurrences(all[i].bytes, "@FANU="), 1);
    EXPECT_NE(all[i].bytes.find(std::string("@FANU=") + numbers[i]), std::string::npos);
  }
  EXPECT_EQ(morva::test::run_child_tests("FaxSheetChild.*", root_.path(), "senders"), 0);
}

// The second process finds the sender registered in the fax sheet.
TEST(FaxSheetChild, SenderRecordsAreKept) {
  if (morva::test::child_role() != "senders") GTEST_SKIP() << "runs as the second process of the fax sheet test";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Morva\\Demo Printer\\DirectFax\\SenderInfo", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_GE(values, 1u);
  RegCloseKey(key);
}

}  // namespace
