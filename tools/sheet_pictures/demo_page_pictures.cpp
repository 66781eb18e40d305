// demo-42-page-pictures <machine root>: opens the demo printer's sheets
// through its interface library and the common property-sheet component,
// headless, makes choices on the pages as a user would, and writes the
// pictures the pages show (the paper page's layout preview, the stamp
// preview, the device picture of the installable-options page) as PNG
// files under <root>/page-pictures/, each checked at a few pixels that show
// the choice.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "preview_art.h"
#include "settings/items/item_access.h"
#include "win/machine_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
namespace art = morva::preview_art;
using morva::gfx_demo::kDemoPrinter;

constexpr char16_t kPicturePrinter[] = u"Morva Demo Printer with Options";
constexpr DWORD kFullDevmode = 5988;
constexpr COLORREF kWhite = RGB(255, 255, 255), kArrow = RGB(240, 150, 30), kKey = RGB(255, 0, 255);
constexpr COLORREF kBody = RGB(215, 215, 215), kUnit = RGB(240, 150, 30);

std::string g_folder;
int g_failed = 0;

std::string program_directory() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  return std::filesystem::path(path).parent_path().string();
}

// A control's picture as the page shows it, written as a PNG and read back
// through the control's DC.
struct Shown {
  std::vector<COLORREF> pixels;
  INT width = 0, height = 0;
  COLORREF at(INT x, INT y) const {
    return x < width && y < height ? pixels[static_cast<size_t>(y * width + x)] : CLR_INVALID;
  }
  bool any(COLORREF c) const {
    for (COLORREF p : pixels)
      if (p == c) return true;
    return false;
  }
};
Shown show(HWND sheet, HWND control, const char* file) {
  Shown s;
  // The whole sheet is drawn first, so that the control's picture has the
  // page behind it; the control's part is then copied out.
  if (!control || !ui::write_png(sheet, g_folder + "/.sheet.png")) return s;
  std::filesystem::remove(g_folder + "/.sheet.png");
  RECT r{};
  GetClientRect(control, &r);
  s.width = r.right;
  s.height = r.bottom;
  HDC dc = GetDC(control);
  HDC copy = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, s.width, s.height);
  HGDIOBJ old = SelectObject(copy, bitmap);
  BitBlt(copy, 0, 0, s.width, s.height, dc, 0, 0, SRCCOPY);
  for (INT y = 0; y < s.height; ++y)
    for (INT x = 0; x < s.width; ++x) s.pixels.push_back(GetPixel(copy, x, y));
  SelectObject(copy, old);
  DeleteDC(copy);
  ReleaseDC(control, dc);
  if (!morva::platform::write_png(bitmap, g_folder + "/" + file)) s.pixels.clear();
  DeleteObject(bitmap);
  return s;
}

void report(const char* file, const char* what, bool checked) {
  std::printf("  %-36s %s: %s\n", file, what, checked ? "checked" : "NOT as expected");
  if (!checked) ++g_failed;
}

PFNPROPSHEETUI sheets_of(HMODULE ui_dll, const char* name) {
  return ui_dll ? morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui_dll, name)) : nullptr;
}

// Opens the document sheet with `input` (or the printer's settings); the
// script acts on it; the full DEVMODE comes back.
std::vector<BYTE> document_sheet(HMODULE ui_dll, HANDLE printer, const std::vector<BYTE>* input, ui::ModalScript script) {
  std::vector<BYTE> out(kFullDevmode, 0);
  DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer, const_cast<LPWSTR>(kDemoPrinter),
                                input ? reinterpret_cast<PDEVMODEW>(const_cast<BYTE*>(input->data())) : nullptr,
                                reinterpret_cast<PDEVMODEW>(out.data()), kFullDevmode, DM_COPY | DM_PROMPT};
  ui::script_modal(std::move(script));
  DWORD result = 0;
  CommonPropertySheetUIW(nullptr, sheets_of(ui_dll, "DrvDocumentPropertySheets"), reinterpret_cast<LPARAM>(&header),
                         &result);
  return out;
}

void select_tab(HWND sheet, INT tab) { ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), tab); }

// The paper page: the preview of the printer's settings, then two-sided
// printing and landscape chosen on the page.
void paper_page(HMODULE ui_dll, HANDLE printer) {
  std::printf("Paper page, layout preview (control 1186):\n");
  document_sheet(ui_dll, printer, nullptr, [](HWND sheet) {
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
void stamp_page(HMODULE ui_dll, HANDLE printer) {
  std::printf("Stamp page, stamp preview (control 1451):\n");
  std::vector<BYTE> input = document_sheet(ui_dll, printer, nullptr, [](HWND sheet) { ui::press_ok(sheet); });
  Shown plain;
  document_sheet(ui_dll, printer, &input, [&](HWND sheet) {
    select_tab(sheet, 2);
    plain = show(sheet, GetDlgItem(ui::current_page(sheet), 1451), "stamp-preview-none.png");
    ui::press_cancel(sheet);
  });
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
  document_sheet(ui_dll, printer, &input, [&](HWND sheet) {
    select_tab(sheet, 2);
    const Shown stamped = show(sheet, GetDlgItem(ui::current_page(sheet), 1451), "stamp-preview-draft.png");
    // The middle of the page: blank without a stamp, the text with it.
    bool differs = false;
    for (INT y = 60; y < 100 && !differs; ++y)
      for (INT x = 45; x < 100 && !differs; ++x) differs = stamped.at(x, y) != plain.at(x, y);
    report("stamp-preview-none.png", "the page alone", plain.width > 0 && plain.at(60, 80) == kWhite);
    report("stamp-preview-draft.png", "\"DRAFT\" over the middle of the page", differs);
    ui::write_png(sheet, g_folder + "/stamp-page.png");
    std::printf("  %-36s the whole page\n", "stamp-page.png");
    ui::press_cancel(sheet);
  });
}

// The version dialog, opened by the detail page's button.
void version_dialog(HMODULE ui_dll, HANDLE printer) {
  std::printf("Version dialog (from button 3312 of the detail page):\n");
  bool shown = false;
  document_sheet(ui_dll, printer, nullptr, [&](HWND sheet) {
    select_tab(sheet, 3);
    ui::script_modal([&](HWND dialog) {
      const std::u16string block = ui::text(ui::find(dialog, 1213));
      shown = ui::write_png(dialog, g_folder + "/version-dialog.png") && block.rfind(u"Version ", 0) == 0;
      ui::click(ui::find(dialog, 1092));
    });
    ui::click(ui::find(sheet, 3312));
    ui::press_cancel(sheet);
  });
  report("version-dialog.png", "the driver's version block", shown);
}

std::string hex_of(const art::Canvas& c) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (auto b : art::bmp_bytes(c, 8)) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// A second printer of the demo model whose database holds pictures of the
// device: its body always and the duplex unit while option 4103 is on.
bool install_picture_printer(const std::string& bin, const std::string& root) {
  std::FILE* f = std::fopen(MORVA_DEMO_DATABASE, "rb");
  if (!f) return false;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  nlohmann::json d = nlohmann::json::parse(text);
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
           {{"kind", 12}, {"id", 1}, {"format", 1}, {"word1", 10}, {"word2", 10}, {"bitmap", hex_of(body)}},
           {{"kind", 12}, {"id", 2}, {"format", 1}, {"word1", 10}, {"word2", 82}, {"bitmap", hex_of(unit)}},
       }))
    d["main"]["records"].push_back(r);
  const std::string folder = root + "/picture_model";
  morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
  std::string error;
  if (!morva::gfx_demo::install_demo_printer_as(bin, kPicturePrinter, bin + "/libmorvagfx.so", &error, folder)) {
    std::fprintf(stderr, "demo-42-page-pictures: %s\n", error.c_str());
    return false;
  }
  return true;
}

// The installable-options page of that printer: the device without and
// with its duplex unit, switched by the page's check box.
void options_page(HMODULE ui_dll, const std::string& bin, const std::string& root) {
  std::printf("Installable-options page, device picture (control 1310):\n");
  if (!install_picture_printer(bin, root)) {
    report("options-device-*.png", "printer with device pictures installed", false);
    return;
  }
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW full{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(const_cast<LPWSTR>(kPicturePrinter), &printer, &full)) {
    report("options-device-*.png", "printer with device pictures opened", false);
    return;
  }
  ui::script_modal([&](HWND sheet) {
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
  DEVICEPROPERTYHEADER header{sizeof header, 0, printer, const_cast<LPWSTR>(kPicturePrinter)};
  DWORD result = 0;
  CommonPropertySheetUIW(nullptr, sheets_of(ui_dll, "DrvDevicePropertySheets"), reinterpret_cast<LPARAM>(&header),
                         &result);
  ClosePrinter(printer);
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
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW full{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, &full)) {
    std::fprintf(stderr, "demo-42-page-pictures: the demo printer is not installed\n");
    return 1;
  }
  HMODULE ui_dll = LoadLibraryW(u"morvaui.dll");
  if (!sheets_of(ui_dll, "DrvDocumentPropertySheets")) {
    std::fprintf(stderr, "demo-42-page-pictures: morvaui.dll has no sheets\n");
    return 1;
  }
  std::printf("Pictures of the sheets' pages in %s:\n", g_folder.c_str());
  paper_page(ui_dll, printer);
  stamp_page(ui_dll, printer);
  version_dialog(ui_dll, printer);
  ClosePrinter(printer);
  options_page(ui_dll, program_directory(), argv[1]);
  FreeLibrary(ui_dll);
  return g_failed ? 1 : 0;
}
