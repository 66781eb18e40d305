// The pictures of the demo printer's document sheet as an application
// opens it (morvaui's DrvDocumentPropertySheets run by the common
// property-sheet component): the paper page's layout preview follows the
// choices made on the page, and the pictures are written as PNG files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fstream>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "preview_art.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

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

// The picture of a control as the page shows it: written as a PNG, then
// read through the control's DC.
struct Shown {
  std::vector<COLORREF> pixels;
  INT width = 0, height = 0;
  COLORREF at(INT x, INT y) const { return pixels[static_cast<size_t>(y * width + x)]; }
  bool any(COLORREF c) const {
    for (COLORREF p : pixels)
      if (p == c) return true;
    return false;
  }
};
Shown shown(HWND control, const std::string& png) {
  Shown s;
  EXPECT_TRUE(ui::write_png(control, png));
  RECT r{};
  GetClientRect(control, &r);
  s.width = r.right;
  s.height = r.bottom;
  HDC dc = GetDC(control);
  for (INT y = 0; y < s.height; ++y)
    for (INT x = 0; x < s.width; ++x) s.pixels.push_back(GetPixel(dc, x, y));
  ReleaseDC(control, dc);
  return s;
}

class PicturePages : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    ui::reset();
    morva::platform::reset_message_boxes();
    PRINTER_DEFAULTSW full{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer_, &full));
    ui_dll_ = LoadLibraryW(u"morvaui.dll");
    ASSERT_NE(ui_dll_, nullptr) << morva::platform::last_load_error();
    document_ = morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui_dll_, "DrvDocumentPropertySheets"));
    ASSERT_NE(document_, nullptr);
  }
  void TearDown() override {
    ui::reset();
    morva::platform::reset_message_boxes();
    if (ui_dll_) FreeLibrary(ui_dll_);
    if (printer_) ClosePrinter(printer_);
  }
  void sheet(ui::ModalScript script) {
    std::vector<BYTE> out(5988, 0);
    DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(kDemoPrinter), nullptr,
                                  reinterpret_cast<PDEVMODEW>(out.data()), 5988, DM_COPY | DM_PROMPT};
    ui::script_modal(std::move(script));
    DWORD result = 0;
    CommonPropertySheetUIW(nullptr, document_, reinterpret_cast<LPARAM>(&header), &result);
  }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
  HMODULE ui_dll_ = nullptr;
  PFNPROPSHEETUI document_ = nullptr;
};

// The preview shows on the paper page at its full size, with the key
// colour let through; choosing two-sided printing on the page adds the
// binding arrow to the sheet at once. The summary line under it has a tip
// with the same text. No start-up warning is shown for a
// printer whose papers all keep their margins.
TEST_F(PicturePages, PaperPagePreviewFollowsTheTwoSidedChoice) {
  sheet([&](HWND s) {
    HWND page = ui::current_page(s);
    HWND preview = GetDlgItem(page, kPreview);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(ui::state(preview).visible);
    const Shown one = shown(preview, picture("paper_page_preview_one_sided.png"));
    ASSERT_GE(one.width, 200);
    ASSERT_GE(one.height, 130);
    EXPECT_EQ(one.at(96, 17), kPaper);  // the sheet's corner
    EXPECT_NE(one.at(99, 65), kArrow);
    EXPECT_FALSE(one.any(kKey));
    EXPECT_EQ(ui::text(ui::find(s, kSummary)), u"A4 (100%)");
    EXPECT_EQ(ui::hover(ui::find(s, kSummary)), u"A4 (100%)");  // its tip repeats the line

    ASSERT_TRUE(ui::select(ui::find(s, kTwoSided), 1));  // Long Edge
    const Shown two = shown(preview, picture("paper_page_preview_long_edge.png"));
    EXPECT_EQ(two.at(99, 65), kArrow);
    EXPECT_FALSE(two.any(kKey));
    EXPECT_TRUE(ui::write_png(s, picture("paper_page.png")));
    ui::press_cancel(s);
  });
  EXPECT_TRUE(morva::platform::message_box_log().empty());
}

// The detail page's button opens the version dialog: the version block in
// its font and the bold title font, and both fonts are made again for the
// next dialog after the first one deleted them.
TEST_F(PicturePages, DetailPageOpensTheVersionDialog) {
  constexpr INT kDetailsTab = 3, kVersionButton = 3312;
  int opened = 0;
  auto check = [&](HWND dialog) {
    ++opened;
    HWND block = ui::find(dialog, 1213), title = ui::find(dialog, 1215);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ui::text(block).rfind(u"Version 2.9.7.1, build ", 0), 0u) << std::string(ui::text(block).begin(), ui::text(block).end());
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)), sizeof lf, &lf),
              static_cast<INT>(sizeof lf));
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    ASSERT_EQ(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(block, WM_GETFONT, 0, 0)), sizeof lf, &lf),
              static_cast<INT>(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -MulDiv(14, 96, 72));
    EXPECT_EQ(ui::text(ui::find(dialog, 1761)).rfind(u"Configuration:", 0), 0u);
    EXPECT_TRUE(ui::write_png(dialog, picture("version_dialog.png")));
    EXPECT_TRUE(ui::click(ui::find(dialog, 1092)));
  };
  sheet([&](HWND s) {
    ASSERT_TRUE(ui::select(GetDlgItem(s, IDC_PS_TABCONTROL), kDetailsTab));
    for (int k = 0; k < 2; ++k) {
      ui::script_modal(check);
      ASSERT_TRUE(ui::click(ui::find(s, kVersionButton)));
    }
    ui::press_cancel(s);
  });
  EXPECT_EQ(opened, 2);
}

namespace art = morva::preview_art;

std::string hex_of(const art::Canvas& c) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (auto b : art::bmp_bytes(c, 8)) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// The installable-options page shows the device with what is installed:
// the demo model with a picture of its body (always) and of its duplex
// unit (while option 4103 is on), switched by the page's check box.
TEST_F(PicturePages, OptionsPagePictureShowsTheInstalledDuplexUnit) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  art::Canvas body(110, 70, art::kLight);
  body.frame(0, 0, 110, 70, art::kDark);
  art::Canvas duplex(110, 12, art::kOrange);
  const nlohmann::json on{{"type", 1}, {"value", 1}};
  for (const nlohmann::json& r : nlohmann::json::array({
           {{"kind", 9}, {"picture", {0, 0, 1}}},
           {{"kind", 9},
            {"conditions", {{{"op", 1}, {"ddmid", 4103}, {"value", on}, {"connector", 3}}}},
            {"picture", {0, 0, 2}}},
           {{"kind", 12}, {"id", 1}, {"format", 1}, {"word1", 10}, {"word2", 10}, {"bitmap", hex_of(body)}},
           {{"kind", 12}, {"id", 2}, {"format", 1}, {"word1", 10}, {"word2", 82}, {"bitmap", hex_of(duplex)}},
       }))
    d["main"]["records"].push_back(r);
  const std::string folder = root_.file("picture_model");
  morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
  std::string error;
  ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
  ClosePrinter(printer_);
  PRINTER_DEFAULTSW full{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer_, &full));
  bool shown_sheet = false;
  auto device = morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui_dll_, "DrvDevicePropertySheets"));
  ASSERT_NE(device, nullptr);
  ui::script_modal([&](HWND s) {
    shown_sheet = true;
    ASSERT_TRUE(ui::select(GetDlgItem(s, IDC_PS_TABCONTROL), 1));
    HWND page = ui::current_page(s);
    HWND picture_control = GetDlgItem(page, 1310);
    ASSERT_NE(picture_control, nullptr);
    HWND unit = GetDlgItem(page, 4711);
    const bool installed = ui::state(unit).selection == 1;
    const Shown before = shown(picture_control, picture(installed ? "options_page_device_duplex.png"
                                                                  : "options_page_device.png"));
    ASSERT_TRUE(ui::click(unit));
    const Shown after = shown(picture_control, picture(installed ? "options_page_device.png"
                                                                 : "options_page_device_duplex.png"));
    const Shown& with = installed ? before : after;
    const Shown& without = installed ? after : before;
    EXPECT_EQ(with.at(60, 45), RGB(215, 215, 215));  // the body
    EXPECT_EQ(without.at(60, 45), RGB(215, 215, 215));
    EXPECT_EQ(with.at(60, 88), RGB(240, 150, 30));  // the duplex unit under it
    EXPECT_NE(without.at(60, 88), RGB(240, 150, 30));
    EXPECT_FALSE(with.any(kKey));
    EXPECT_TRUE(ui::write_png(s, picture("options_page.png")));
    ui::press_cancel(s);
  });
  DEVICEPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(kDemoPrinter)};
  DWORD result = 0;
  EXPECT_GE(CommonPropertySheetUIW(nullptr, device, reinterpret_cast<LPARAM>(&header), &result), 0);
  EXPECT_TRUE(shown_sheet);
}

}  // namespace
