// demo-42-page-pictures <machine root>: opens the demo printer's sheets
// through its interface library and the common property-sheet component,
// headless, makes choices on the pages as a user would, and writes the
// pictures the pages show (the paper page's layout preview, the stamp
// preview, the device picture of the installable-options page) as PNG
// files under <root>/page-pictures/, each checked at a few pixels that show
// the choice; and the version dialog, with and without the model's logo.
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "gfx_demo.h"
#include "settings/items/item_access.h"
#include "sheet_picture_host.h"
#include "win/machine_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
namespace art = morva::preview_art;
namespace pictures = morva::sheet_pictures;
using morva::gfx_demo::kDemoPrinter;
using pictures::select_tab;
using pictures::SheetHost;
using pictures::Shown;

constexpr char16_t kPicturePrinter[] = u"Morva Demo Printer with Options";
constexpr COLORREF kWhite = RGB(255, 255, 255), kArrow = RGB(240, 150, 30), kKey = RGB(255, 0, 255);
constexpr COLORREF kBody = RGB(215, 215, 215), kUnit = RGB(240, 150, 30);
constexpr COLORREF kLogoBanner = RGB(175, 200, 240), kLogoFoot = RGB(20, 40, 120);
constexpr unsigned kLogoId = 100;

std::string g_folder;
int g_failed = 0;

Shown show(HWND sheet, HWND control, const char* file) { return pictures::show(sheet, control, g_folder + "/" + file); }

void report(const char* file, const char* what, bool checked) {
  std::printf("  %-36s %s: %s\n", file, what, checked ? "checked" : "NOT as expected");
  if (!checked) ++g_failed;
}

// The paper page: the preview of the printer's settings, then two-sided
// printing and landscape chosen on the page.
void paper_page(SheetHost& host) {
  std::printf("Paper page, layout preview (control 1186):\n");
  host.document_sheet([](HWND sheet) {
    HWND page = ui::current_page(sheet);
    HWND preview = GetDlgItem(page, 1186);
    const Shown one = show(sheet, preview, "paper-preview-one-sided.png");
    report("paper-preview-one-sided.png", "one-sided portrait sheet",
           one.at(96, 17) == kWhite && one.at(99, 65) != kArrow && !one.any(kKey));
    ui::select(ui::find(sheet, 1766), 1);
    const Shown two = show(sheet, preview, "paper-preview-long-edge.png");
    report("paper-preview-long-edge.png", "two-sided, binding arrow on the long edge",
           two.at(99, 65) == kArrow && !two.any(kKey));
    ui::click(ui::find(sheet, 3837));
    const Shown wide = show(sheet, preview, "paper-preview-landscape.png");
    report("paper-preview-landscape.png", "landscape sheet", wide.pixels != two.pixels && !wide.any(kKey));
    ui::write_png(sheet, g_folder + "/paper-page.png");
    std::printf("  %-36s the whole page\n", "paper-page.png");
    ui::press_cancel(sheet);
  });
}

// The stamp page: the preview of a page without a stamp and with one named
// by the settings.
void stamp_page(SheetHost& host) {
  std::printf("Stamp page, stamp preview (control 1451):\n");
  std::vector<BYTE> input = host.document_sheet([](HWND sheet) { ui::press_ok(sheet); });
  Shown plain;
  host.document_sheet([&](HWND sheet) {
    select_tab(sheet, 2);
    plain = show(sheet, GetDlgItem(ui::current_page(sheet), 1451), "stamp-preview-none.png");
    ui::press_cancel(sheet);
  }, &input);
  std::vector<BYTE> scratch(7972);
  for (auto [ddmid, text, bytes] : {std::tuple<WORD, const char16_t*, DWORD>{297, u"Demo draft", 66},
                                    {299, u"DRAFT", 130}}) {
    std::u16string room(bytes / 2, u'\0');
    room.replace(0, std::char_traits<char16_t>::length(text), text);
    const WCHAR* p = room.c_str();
    SetItemValueRaw(ddmid, input.data(), scratch.data(), 6, bytes, &p);
  }
  // 48 points, bold, red, once in the middle of the page.
  for (auto [ddmid, value] : {std::pair<WORD, LONG>{306, 48}, {307, 700}, {301, RGB(210, 0, 0)}, {303, 0x202}}) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (GetItemValue(ddmid, input.data(), scratch.data(), &type, &size, &v) == 0)
      SetItemValueRaw(ddmid, input.data(), scratch.data(), type, size, &value);
  }
  host.document_sheet([&](HWND sheet) {
    select_tab(sheet, 2);
    const Shown stamped = show(sheet, GetDlgItem(ui::current_page(sheet), 1451), "stamp-preview-draft.png");
    // The middle of the page: blank without a stamp, the text with it, in
    // red (the demo model prints in colour).
    bool differs = false, red = false;
    for (INT y = 60; y < 100; ++y)
      for (INT x = 45; x < 100; ++x) {
        const COLORREF c = stamped.at(x, y);
        differs = differs || c != plain.at(x, y);
        red = red || (GetRValue(c) > 150 && GetGValue(c) < 90 && GetBValue(c) < 90);
      }
    report("stamp-preview-none.png", "the page alone", plain.width > 0 && plain.at(60, 80) == kWhite);
    report("stamp-preview-draft.png", "red \"DRAFT\" over the middle of the page", differs && red);
    ui::write_png(sheet, g_folder + "/stamp-page.png");
    std::printf("  %-36s the whole page\n", "stamp-page.png");
    ui::press_cancel(sheet);
  }, &input);
}

// The version dialog, opened by the detail page's button: the demo model
// has no logo, the model of the picture printer has one.
void version_dialog(SheetHost& host, const char* file, bool logo) {
  std::printf("Version dialog (from button 3312 of the detail page)%s:\n", logo ? " with the model's logo" : "");
  bool shown = false;
  host.document_sheet([&](HWND sheet) {
    select_tab(sheet, 3);
    ui::script_modal([&](HWND dialog) {
      const std::u16string block = ui::text(ui::find(dialog, 1220));
      const Shown whole = show(dialog, dialog, file);
      shown = block.find(u"Version ") != std::u16string::npos;
      if (logo) shown = shown && whole.at(5, 5) == kLogoBanner && whole.at(5, 140) == kLogoFoot;
      ui::click(ui::find(dialog, 1092));
    });
    ui::click(ui::find(sheet, 3312));
    ui::press_cancel(sheet);
  });
  report(file, logo ? "the version block over the model's logo" : "the driver's version block", shown);
}

// A second printer of the demo model whose database holds pictures of the
// device (its body always and the duplex unit while option 4103 is on)
// and the model's logo.
bool install_picture_printer(const std::string& bin, const std::string& root) {
  nlohmann::json d = pictures::demo_model();
  art::Canvas body(110, 70, art::kLight);
  body.frame(0, 0, 110, 70, art::kDark);
  body.fill(8, 8, 40, 10, art::kNavy);
  body.fill(10, 40, 90, 6, art::kGrey);
  art::Canvas unit(110, 12, art::kOrange);
  unit.frame(0, 0, 110, 12, art::kDark);
  const nlohmann::json on{{"type", 1}, {"value", 1}};
  for (const nlohmann::json& r : nlohmann::json::array({
           {{"kind", 9}, {"picture", {0, 0, 1}}},
           {{"kind", 9},
            {"conditions", {{{"op", 1}, {"ddmid", 4103}, {"value", on}, {"connector", 3}}}},
            {"picture", {0, 0, 2}}},
           pictures::picture_record(1, body, 10, 10),
           pictures::picture_record(2, unit, 10, 82),
           pictures::picture_record(kLogoId, art::demo_logo()),
       }))
    d["main"]["records"].push_back(r);
  d["main"]["fields"]["1"] = kLogoId;
  const std::string folder = root + "/picture_model";
  std::string error = pictures::write_model(d, folder);
  if (error.empty() &&
      morva::gfx_demo::install_demo_printer_as(bin, kPicturePrinter, bin + "/libmorvagfx.so", &error, folder))
    return true;
  std::fprintf(stderr, "demo-42-page-pictures: %s\n", error.c_str());
  return false;
}

// The installable-options page of that printer: the device without and
// with its duplex unit, switched by the page's check box.
void options_page(SheetHost& host) {
  std::printf("Installable-options page, device picture (control 1310):\n");
  host.device_sheet([&](HWND sheet) {
    select_tab(sheet, 1);
    HWND page = ui::current_page(sheet);
    HWND unit = GetDlgItem(page, 4711);
    if (ui::state(unit).selection == 1) ui::click(unit);
    const Shown without = show(sheet, GetDlgItem(page, 1310), "options-device.png");
    ui::click(unit);
    const Shown with = show(sheet, GetDlgItem(page, 1310), "options-device-duplex-unit.png");
    report("options-device.png", "the device alone", without.at(60, 45) == kBody && without.at(60, 88) != kUnit);
    report("options-device-duplex-unit.png", "with the duplex unit installed",
           with.at(60, 45) == kBody && with.at(60, 88) == kUnit && !with.any(kKey));
    ui::write_png(sheet, g_folder + "/options-page.png");
    std::printf("  %-36s the whole page\n", "options-page.png");
    ui::press_cancel(sheet);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo-42-page-pictures <machine root>\n");
    return 2;
  }
  morva::platform::set_machine_root(argv[1]);
  g_folder = std::string(argv[1]) + "/page-pictures";
  std::filesystem::create_directories(g_folder);
  std::string error;
  {
    SheetHost host;
    if (!host.open(kDemoPrinter, &error)) {
      std::fprintf(stderr, "demo-42-page-pictures: %s\n", error.c_str());
      return 1;
    }
    std::printf("Pictures of the sheets' pages in %s:\n", g_folder.c_str());
    paper_page(host);
    stamp_page(host);
    version_dialog(host, "version-dialog.png", false);
  }
  SheetHost host;
  if (!install_picture_printer(pictures::program_directory(), argv[1]) || !host.open(kPicturePrinter, &error)) {
    report("options-device-*.png", "printer with device pictures and logo installed", false);
    return 1;
  }
  options_page(host);
  version_dialog(host, "version-dialog-logo.png", true);
  return g_failed ? 1 : 0;
}
