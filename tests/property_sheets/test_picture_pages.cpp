// The pictures of the demo printer's sheets as an application opens them
// (morvaui's sheets run by the common property-sheet component): the paper
// page's layout preview follows the choices made on the page, the options
// page shows the device with what is installed, the version dialog shows
// the model's logo; the pictures are written as PNG files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "sheet_picture_host.h"
#include "sheet_ui_fixture.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
namespace art = morva::preview_art;
namespace pictures = morva::sheet_pictures;
using morva::gfx_demo::kDemoPrinter;
using pictures::Shown;

constexpr INT kPreview = 1186, kTwoSided = 1766, kSummary = 3838;
// Colours of the preview's bitmaps: paper, the binding arrow of two-sided
// printing, and the key colour that must never show.
constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kArrow = RGB(240, 150, 30);
constexpr COLORREF kKey = RGB(255, 0, 255);

std::string picture(const std::string& name) {
  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  return std::string(MORVA_BIN_DIR) + "/pictures/" + name;
}

class PicturePages : public morva::test::DemoSheetTest {
 protected:
  void SetUp() override {
    DemoSheetTest::SetUp();
    if (HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(host_.open(kDemoPrinter, &error)) << error;
  }
  void TearDown() override {
    DemoSheetTest::TearDown();
    host_.close();
  }
  // The demo printer again, on the demo model with the given changes.
  void reinstall(const nlohmann::json& model) {
    const std::string folder = root_.file("picture_model");
    ASSERT_EQ(pictures::write_model(model, folder), "");
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
    ASSERT_TRUE(host_.open(kDemoPrinter, &error)) << error;
  }

  pictures::SheetHost host_;
};

// The preview shows on the paper page at its full size, with the key
// colour let through; choosing two-sided printing on the page adds the
// binding arrow to the sheet at once. The summary line under it has a tip
// with the same text. No start-up warning is shown for a
// printer whose papers all keep their margins.
TEST_F(PicturePages, PaperPagePreviewFollowsTheTwoSidedChoice) {
  host_.document_sheet([&](HWND s) {
    HWND page = ui::current_page(s);
    HWND preview = GetDlgItem(page, kPreview);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(ui::state(preview).visible);
    const Shown one = pictures::show(s, preview, picture("paper_page_preview_one_sided.png"));
    ASSERT_GE(one.width, 200);
    ASSERT_GE(one.height, 130);
    EXPECT_EQ(one.at(96, 17), kPaper);  // the sheet's corner
    EXPECT_NE(one.at(99, 65), kArrow);
    EXPECT_FALSE(one.any(kKey));
    EXPECT_EQ(ui::text(ui::find(s, kSummary)), u"A4 (100%)");
    EXPECT_EQ(ui::hover(ui::find(s, kSummary)), u"A4 (100%)");  // its tip repeats the line

    ASSERT_TRUE(ui::select(ui::find(s, kTwoSided), 1));  // Long Edge
    const Shown two = pictures::show(s, preview, picture("paper_page_preview_long_edge.png"));
    EXPECT_EQ(two.at(99, 65), kArrow);
    EXPECT_FALSE(two.any(kKey));
    EXPECT_TRUE(ui::write_png(s, picture("paper_page.png")));
    ui::press_cancel(s);
  });
  EXPECT_TRUE(morva::platform::message_box_log().empty());
}

// What the version dialog showed: where its OK button sat from the
// client's bottom right corner, and its picture.
struct VersionDialog {
  RECT client{}, ok{};
  Shown shown;
  bool logo = false, placeholder_visible = true, comment_visible = true, palette = false;
  std::u16string title, block, notice;
  LONG title_weight = 0, block_height = 0;
};

LONG font_of(HWND control, LONG LOGFONTW::*field) {
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf.*field;
}

// Opens the version dialog from the detail page's button `times` times.
std::vector<VersionDialog> open_version_dialog(pictures::SheetHost& host, const std::string& png, int times = 1,
                                               bool visit_web_site = false) {
  constexpr INT kDetailsTab = 3, kVersionButton = 3312;
  std::vector<VersionDialog> seen;
  host.document_sheet([&](HWND s) {
    ASSERT_TRUE(ui::select(GetDlgItem(s, IDC_PS_TABCONTROL), kDetailsTab));
    for (int k = 0; k < times; ++k) {
      ui::script_modal([&](HWND dialog) {
        VersionDialog v;
        GetClientRect(dialog, &v.client);
        HWND ok = ui::find(dialog, 1092), logo = ui::find(dialog, 1221);
        GetWindowRect(ok, &v.ok);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&v.ok), 2);
        v.logo = SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        v.palette = GetPropW(logo, u"PROP_LOGOBMP_PALHNDL") != nullptr;
        v.placeholder_visible = ui::state(ui::find(dialog, 3280)).visible;
        v.comment_visible = ui::state(ui::find(dialog, 1761)).visible;
        v.title = ui::text(ui::find(dialog, 1219));
        v.block = ui::text(ui::find(dialog, 1220));
        v.notice = ui::text(ui::find(dialog, 1222));
        v.title_weight = font_of(ui::find(dialog, 1219), &LOGFONTW::lfWeight);
        v.block_height = font_of(ui::find(dialog, 1220), &LOGFONTW::lfHeight);
        v.shown = pictures::show(dialog, dialog, picture(png));
        seen.push_back(v);
        if (visit_web_site) {
          EXPECT_TRUE(ui::click(ui::find(dialog, 1353)));
        }
        EXPECT_TRUE(ui::click(ui::find(dialog, 1092)));
      });
      ASSERT_TRUE(ui::click(ui::find(s, kVersionButton)));
    }
    ui::press_cancel(s);
  });
  return seen;
}

// The detail page's button opens the version dialog: the model's title,
// the version block and the notice in the dialog's fonts, and the fonts
// are made again for the next dialog after the first one deleted them. A
// model without a logo leaves the dialog as its template has it.
TEST_F(PicturePages, DetailPageOpensTheVersionDialog) {
  const auto seen = open_version_dialog(host_, "version_dialog.png", 2);
  ASSERT_EQ(seen.size(), 2u);
  for (const VersionDialog& v : seen) {
    EXPECT_FALSE(v.logo);
    EXPECT_TRUE(v.placeholder_visible);
    EXPECT_TRUE(v.comment_visible);
    EXPECT_EQ(v.title, u"Demo Printer 1000");
    EXPECT_EQ(v.block.rfind(u"Morva Printer Driver\nVersion 2.9.7.1 (build ", 0), 0u)
        << std::string(v.block.begin(), v.block.end());
    EXPECT_EQ(v.notice, u"Demo model data. Not for sale.");
    EXPECT_EQ(v.title_weight, FW_NORMAL);
    EXPECT_EQ(v.block_height, -MulDiv(9, 96, 72));  // the logo layout's size (string 5330) at 96 dpi
  }
}

// A model with a logo: the dialog shows it from its top left corner, grows
// to hold it with the buttons keeping their place at its bottom right,
// and the texts stand on the logo (no button face shows around the
// title). The logo's palette is kept with its control. The web-site
// button opens the model's web site.
TEST_F(PicturePages, VersionDialogShowsTheModelsLogo) {
  const auto plain = open_version_dialog(host_, "version_dialog.png");
  ASSERT_EQ(plain.size(), 1u);
  nlohmann::json model = pictures::demo_model();
  model["main"]["records"].push_back(pictures::picture_record(100, art::demo_logo()));
  model["main"]["fields"]["1"] = 100;
  reinstall(model);
  const auto seen = open_version_dialog(host_, "version_dialog_logo.png", 1, true);
  ASSERT_EQ(seen.size(), 1u);
  const VersionDialog& v = seen[0];
  EXPECT_TRUE(v.logo);
  EXPECT_TRUE(v.palette);
  EXPECT_FALSE(v.placeholder_visible);
  EXPECT_FALSE(v.comment_visible);
  EXPECT_EQ(v.client.right, std::max<LONG>(art::kDemoLogoWidth, plain[0].client.right));
  EXPECT_GE(v.client.bottom, art::kDemoLogoHeight);
  EXPECT_EQ(v.client.right - v.ok.right, plain[0].client.right - plain[0].ok.right);
  EXPECT_EQ(v.client.bottom - v.ok.bottom, plain[0].client.bottom - plain[0].ok.bottom);
  ASSERT_GE(v.shown.width, art::kDemoLogoWidth);
  EXPECT_EQ(v.shown.at(3, 3), RGB(175, 200, 240));      // the banner
  EXPECT_EQ(v.shown.at(3, 140), RGB(20, 40, 120));      // its foot
  EXPECT_EQ(v.shown.at(340, 50), RGB(255, 255, 255));   // the sheet the printer gives out
  // The title's line: its letters and, between them, the banner.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  INT text = 0, banner = 0, face_shows = 0;
  for (INT y = 12; y < 36; ++y)
    for (INT x = 12; x < 200; ++x) {
      const COLORREF c = v.shown.at(x, y);
      text += c == RGB(0, 0, 0);
      banner += c == RGB(175, 200, 240);
      face_shows += c == face;
    }
  EXPECT_GT(text, 100);
  EXPECT_GT(banner, text);
  EXPECT_EQ(face_shows, 0);
  const auto log = morva::platform::common_dialog_log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().kind, morva::platform::CommonDialogRecord::kShellExecute);
  EXPECT_EQ(log.back().text, u"https://printers.example/demo-1000");
}

// The installable-options page shows the device with what is installed:
// the demo model with a picture of its body (always) and of its duplex
// unit (while option 4103 is on), switched by the page's check box.
TEST_F(PicturePages, OptionsPagePictureShowsTheInstalledDuplexUnit) {
  nlohmann::json d = pictures::demo_model();
  art::Canvas body(110, 70, art::kLight);
  body.frame(0, 0, 110, 70, art::kDark);
  art::Canvas duplex(110, 12, art::kOrange);
  const nlohmann::json on{{"type", 1}, {"value", 1}};
  for (const nlohmann::json& r : nlohmann::json::array({
           {{"kind", 9}, {"picture", {0, 0, 1}}},
           {{"kind", 9},
            {"conditions", {{{"op", 1}, {"ddmid", 4103}, {"value", on}, {"connector", 3}}}},
            {"picture", {0, 0, 2}}},
           pictures::picture_record(1, body, 10, 10),
           pictures::picture_record(2, duplex, 10, 82),
       }))
    d["main"]["records"].push_back(r);
  reinstall(d);
  bool shown_sheet = false;
  EXPECT_GE(host_.device_sheet([&](HWND s) {
    shown_sheet = true;
    pictures::select_tab(s, 1);
    HWND page = ui::current_page(s);
    HWND picture_control = GetDlgItem(page, 1310);
    ASSERT_NE(picture_control, nullptr);
    HWND unit = GetDlgItem(page, 4711);
    const bool installed = ui::state(unit).selection == 1;
    const Shown before = pictures::show(
        s, picture_control, picture(installed ? "options_page_device_duplex.png" : "options_page_device.png"));
    ASSERT_TRUE(ui::click(unit));
    const Shown after = pictures::show(
        s, picture_control, picture(installed ? "options_page_device.png" : "options_page_device_duplex.png"));
    const Shown& with = installed ? before : after;
    const Shown& without = installed ? after : before;
    EXPECT_EQ(with.at(60, 45), RGB(215, 215, 215));  // the body
    EXPECT_EQ(without.at(60, 45), RGB(215, 215, 215));
    EXPECT_EQ(with.at(60, 88), RGB(240, 150, 30));  // the duplex unit under it
    EXPECT_NE(without.at(60, 88), RGB(240, 150, 30));
    EXPECT_FALSE(with.any(kKey));
    EXPECT_TRUE(ui::write_png(s, picture("options_page.png")));
    ui::press_cancel(s);
  }), 0);
  EXPECT_TRUE(shown_sheet);
}

}  // namespace
