// What a user sets on the demo printer's document sheet (morvaui's
// DrvDocumentPropertySheets under the common property-sheet component,
// driven like a user) reaches the next job printed with the DEVMODE the
// sheet hands back (the print host's printer DC over the real graphics
// driver, its spool file decoded): a stamp made, edited and deleted on the
// stamp page, seen in the job's stamp drawing and by another process; a
// colour profile chosen on the profile page, seen in the job's image data.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../render/icc_profile_builder.h"
#include "child_process.h"
#include "gfx_demo.h"
#include "pdl_decode.h"
#include "printer_dc.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/stamp_store.h"
#include "temp_root.h"
#include "win/commdlg.h"
#include "win/spooler.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;
using morva::tools::PdlItem;

constexpr DWORD kFullDevmode = 5988;
constexpr INT kColourTab = 1, kStampTab = 2;
constexpr INT kNewStamp = 1358, kEditStamp = 1359, kDeleteStamp = 1360, kStampOkButton = 1408;
constexpr INT kStampText = 1388, kStampFace = 1371, kStampAngle = 1397, kProfilesButton = 1088;
constexpr INT kProfileKind = 1192, kProfileFileButton = 1000, kColourAdjustment = 1093;
constexpr const char* kExpectedText = "MORVA_EXPECT_STAMP_TEXT";

class SheetToJob : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(kDemoPrinter, &error)) << error;
    ui::reset();
    morva::platform::reset_message_boxes();
    morva::platform::reset_common_dialogs();
    PRINTER_DEFAULTSW full{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer_, &full));
    database_ = DddOpen(printer_);
    ASSERT_NE(database_, nullptr);
    ui_dll_ = LoadLibraryW(u"morvaui.dll");
    ASSERT_NE(ui_dll_, nullptr) << morva::platform::last_load_error();
    document_ = morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui_dll_, "DrvDocumentPropertySheets"));
    ASSERT_NE(document_, nullptr);
  }
  void TearDown() override {
    ui::reset();
    morva::platform::reset_message_boxes();
    morva::platform::reset_common_dialogs();
    if (ui_dll_) FreeLibrary(ui_dll_);
    if (database_) DddClose(database_);
    if (printer_) ClosePrinter(printer_);
  }

  // Opens the document sheet on `input` (none: the printer's settings);
  // the script acts on it; the DEVMODE it hands back.
  std::vector<BYTE> sheet(ui::ModalScript script, const std::vector<BYTE>* input = nullptr) {
    std::vector<BYTE> out(kFullDevmode, 0);
    DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(kDemoPrinter),
                                  input ? reinterpret_cast<PDEVMODEW>(const_cast<BYTE*>(input->data())) : nullptr,
                                  reinterpret_cast<PDEVMODEW>(out.data()), kFullDevmode, DM_COPY | DM_PROMPT};
    ui::script_modal(std::move(script));
    DWORD result = 0;
    EXPECT_EQ(CommonPropertySheetUIW(nullptr, document_, reinterpret_cast<LPARAM>(&header), &result), CPSUI_OK);
    return out;
  }
  static void to_tab(HWND s, INT tab) { ASSERT_TRUE(ui::select(GetDlgItem(s, IDC_PS_TABCONTROL), tab)); }

  // Prints one page with the DEVMODE (a line, and the image when given)
  // and decodes the job; its bytes stay in spool_.
  morva::tools::PdlDecodeResult print(const std::vector<BYTE>& devmode, const morva::print_host::Image* image = nullptr) {
    std::string error;
    auto dc = morva::print_host::PrinterDc::create(kDemoPrinter, reinterpret_cast<const DEVMODEW*>(devmode.data()),
                                                   &error);
    EXPECT_NE(dc, nullptr) << error;
    if (!dc) return {};
    bool ok = dc->start_doc(u"Sheet settings") && dc->start_page() && dc->line_to({300, 300});
    if (ok && image)
      ok = dc->draw_image(*image, RECTL{400, 400, 400 + image->width, 400 + image->height}, 24, 0xCCCC, false);
    ok = ok && dc->end_page() && dc->end_doc();
    EXPECT_TRUE(ok) << dc->failed_entry();
    std::ifstream in(morva::platform::job_spool_file(dc->job_id()), std::ios::binary);
    spool_.assign(std::istreambuf_iterator<char>(in), {});
    auto job = morva::tools::DecodeSpoolFile(spool_.data(), spool_.size());
    EXPECT_TRUE(job.ok) << job.error << " at " << job.error_offset;
    return job;
  }
  // The data bytes of the job's first image ("Cq").
  std::vector<unsigned char> first_image(const morva::tools::PdlDecodeResult& job) const {
    const auto& items = job.items;
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (items[k].kind != PdlItem::Operator || items[k].text != "Cq") continue;
      std::vector<unsigned char> all;
      for (std::size_t j = k + 1; j < items.size() && items[j].kind == PdlItem::Data; ++j)
        all.insert(all.end(), spool_.begin() + static_cast<long>(items[j].offset),
                   spool_.begin() + static_cast<long>(items[j].offset + items[j].length));
      return all;
    }
    return {};
  }
  LONG number(std::vector<BYTE>& devmode, WORD ddmid) {
    std::vector<BYTE> scratch(kPrinterDataBlockSize);
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    EXPECT_EQ(GetItemValue(ddmid, devmode.data(), scratch.data(), &type, &size, &v), 0) << ddmid;
    return GetTypedValue(type, &v);
  }

  // The characters of the job's device-font text operators (the stamp is
  // drawn in a printer font here): after x, y, the kind byte and one
  // advance ("DC", "Dc") or a counted list of them ("DD", "Dd"), the byte
  // count and the codes.
  static std::string device_text(const morva::tools::PdlDecodeResult& job) {
    std::string out;
    for (const PdlItem& i : job.items) {
      if (i.kind != PdlItem::Operator) continue;
      const bool one = i.text == "DC" || i.text == "Dc", list = i.text == "DD" || i.text == "Dd";
      if (!one && !list) continue;
      const auto& v = i.operands;
      const std::size_t count_at = list ? 4 + static_cast<std::size_t>(v.at(3).i) : 4;
      for (std::size_t k = count_at + 1; k < v.size(); ++k) out.push_back(static_cast<char>(v[k].i));
    }
    return out;
  }

  INT stored_text(const std::u16string& name, std::u16string* text) {
    StampRecord r{};
    const INT result = ReadStamp(printer_, name.c_str(), &r, FALSE, database_);
    if (text) *text = r.text;
    return result;
  }
  // Another process reads the stamp from the user's store.
  int child_sees(const std::string& expected_text) {
    return morva::test::run_child_tests("SheetToJobChild.*", root_.path(), "stamp reader",
                                        {{kExpectedText, expected_text}});
  }

  morva::test::TempRoot root_;
  std::vector<unsigned char> spool_;
  HANDLE printer_ = nullptr;
  DddHandle* database_ = nullptr;
  HMODULE ui_dll_ = nullptr;
  PFNPROPSHEETUI document_ = nullptr;
};

// A stamp made with New (its name taken from its text, in a printer font,
// level), then edited, then deleted: each next job draws what the page
// left, and another process reads the same store.
TEST_F(SheetToJob, StampMadeEditedAndDeletedOnThePageIsWhatTheNextJobDraws) {
  std::vector<BYTE> settings = sheet([&](HWND s) {
    to_tab(s, kStampTab);
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kStampText), u"QUARTERLY"));
      ASSERT_TRUE(ui::tab());
      ASSERT_TRUE(ui::select_text(ui::find(dialog, kStampFace), u"CS Courier"));
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kStampAngle), u"0"));
      ASSERT_TRUE(ui::tab());
      ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
    });
    ASSERT_TRUE(ui::click(ui::find(s, kNewStamp)));
    ui::press_ok(s);
  });
  std::u16string text;
  ASSERT_EQ(stored_text(u"QUARTERLY", &text), kStampOk);
  EXPECT_EQ(text, u"QUARTERLY");
  EXPECT_EQ(child_sees("QUARTERLY"), 0);
  EXPECT_NE(device_text(print(settings)).find("QUARTERLY"), std::string::npos);

  settings = sheet(
      [&](HWND s) {
        to_tab(s, kStampTab);
        ui::script_modal([&](HWND dialog) {
          ASSERT_TRUE(ui::enter_text(ui::find(dialog, kStampText), u"ANNUAL"));
          ASSERT_TRUE(ui::tab());
          ASSERT_TRUE(ui::click(ui::find(dialog, kStampOkButton)));
        });
        ASSERT_TRUE(ui::click(ui::find(s, kEditStamp)));
        ui::press_ok(s);
      },
      &settings);
  ASSERT_EQ(stored_text(u"QUARTERLY", &text), kStampOk);
  EXPECT_EQ(text, u"ANNUAL");
  EXPECT_EQ(child_sees("ANNUAL"), 0);
  std::string drawn = device_text(print(settings));
  EXPECT_NE(drawn.find("ANNUAL"), std::string::npos) << drawn;
  EXPECT_EQ(drawn.find("QUARTERLY"), std::string::npos) << drawn;

  morva::platform::script_message_box_answers({IDOK});
  settings = sheet(
      [&](HWND s) {
        to_tab(s, kStampTab);
        ASSERT_TRUE(ui::click(ui::find(s, kDeleteStamp)));
        ui::press_ok(s);
      },
      &settings);
  EXPECT_EQ(stored_text(u"QUARTERLY", nullptr), kStampNotFound);
  EXPECT_EQ(child_sees(""), 0);
  drawn = device_text(print(settings));
  EXPECT_EQ(drawn.find("ANNUAL"), std::string::npos) << drawn;
}

// The second process of the stamp test: the stamp as the first process
// left it (an empty expectation: no stamp of that name).
TEST(SheetToJobChild, StampReadFromTheStoreOfAnotherProcess) {
  if (morva::test::child_role() != "stamp reader") GTEST_SKIP() << "runs as the second process of the stamp test";
  const char* expected = std::getenv(kExpectedText);
  ASSERT_NE(expected, nullptr);
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  StampRecord record{};
  const INT result = ReadStamp(printer, u"QUARTERLY", &record, FALSE, database);
  if (*expected) {
    EXPECT_EQ(result, kStampOk);
    const std::u16string text(record.text);
    EXPECT_EQ(std::string(text.begin(), text.end()), expected);
  } else {
    EXPECT_EQ(result, kStampNotFound);
  }
  DddClose(database);
  ClosePrinter(printer);
}

// A colour profile chosen on the profile page (a real profile: sRGB
// primaries, D65 white, linear curves) changes the image data of the next
// job: its mid-grey comes out lighter than without the profile.
TEST_F(SheetToJob, ProfileChosenOnThePageChangesTheJobsImages) {
  morva::test::write_file(root_.file("drive_c/profiles/linear.icc"),
                          morva::test::icc::matrix_profile(morva::test::icc::kSrgbColorants, morva::test::icc::kD65,
                                                           morva::test::icc::curve({}))
                              .build());
  morva::print_host::Image grey;
  grey.width = 8;
  grey.height = 2;
  grey.rgba.assign(8 * 2 * 4, 128);
  for (std::size_t i = 3; i < grey.rgba.size(); i += 4) grey.rgba[i] = 255;

  std::vector<BYTE> plain = sheet([](HWND s) { ui::press_ok(s); });
  const std::vector<unsigned char> before = first_image(print(plain, &grey));
  ASSERT_FALSE(before.empty());

  morva::platform::script_common_dialog_answers({{true, u"C:\\profiles\\linear.icc", 0, 0}});
  std::vector<BYTE> profiled = sheet(
      [&](HWND s) {
        to_tab(s, kColourTab);
        // Colour adjustment "Custom", then the profile page of the colour
        // dialogs: correction by profile, the file chosen.
        ASSERT_TRUE(ui::select(ui::find(s, kColourAdjustment), 1));
        ui::script_modal([&](HWND nested) {
          ASSERT_TRUE(ui::click(ui::find(nested, kProfileKind)));
          ASSERT_TRUE(ui::click(ui::find(nested, kProfileFileButton)));
          EXPECT_EQ(ui::text(ui::find(nested, 1081)), u"linear.icc");
          ui::press_ok(nested);
        });
        ASSERT_TRUE(ui::click(ui::find(s, kProfilesButton)));
        ui::press_ok(s);
      },
      &plain);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
  EXPECT_EQ(number(profiled, 286), 2);
  EXPECT_EQ(number(profiled, 1303), 1);
  EXPECT_EQ(number(profiled, 293), 2);
  const std::vector<unsigned char> after = first_image(print(profiled, &grey));
  ASSERT_FALSE(after.empty());
  EXPECT_NE(after, before);
  // The same settings printed again give the same image: the difference
  // is the profile's, not the job's.
  EXPECT_EQ(first_image(print(profiled, &grey)), after);
}

}  // namespace
