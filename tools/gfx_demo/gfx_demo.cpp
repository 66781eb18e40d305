#include "gfx_demo.h"

#include <cstring>
#include <filesystem>
#include <vector>

#include "printer_install.h"
#include "settings/database/ddd_file.h"
#include "settings/devmode/driver_devmode.h"
#include "win/memory.h"
#include "win/spooler.h"

namespace fs = std::filesystem;

namespace morva::gfx_demo {

namespace {
constexpr std::size_t kDriverDevmode = 5988;
constexpr std::size_t kDcDevmode = 6012;
constexpr WORD kDcDevmodeExtra = 5792;
constexpr WORD kTailSize = 24;

std::string exists_or_empty(const fs::path& p) { return fs::exists(p) ? p.string() : std::string(); }
}  // namespace

bool install_demo_printer(const std::string& bin_dir, std::string* error, const std::string& database) {
  return install_demo_printer_as(bin_dir, kDemoPrinter, exists_or_empty(fs::path(bin_dir) / "libmorvagfx.so"), error,
                                 database);
}

bool install_demo_printer_as(const std::string& bin_dir, const std::u16string& name,
                             const std::string& graphics_driver, std::string* error, const std::string& database) {
  fs::path bin(bin_dir);
  fs::path demo = database.empty() ? bin.parent_path() / "demo_printer" : fs::path(database);
  fs::path sources = fs::path(MORVA_SOURCE_DIR) / "resources" / "demo_printer";
  install::PrinterSetup s;
  s.name = name;
  if (name != kDemoPrinter) s.driver_name = name + u" Driver";
  s.comment = u"demo printer";
  s.graphics_driver = graphics_driver;
  s.interface_driver = exists_or_empty(bin / "libmorvaui.so");
  s.database = (demo / "MVDEMO.DDD").string();
  s.resource_module = (bin / "morvares.xrs").string();
  s.replace = true;
  std::string linked = install::linked_database_name(s.database);
  for (const auto& e : fs::directory_iterator(demo)) {
    std::string name = e.path().filename().string();
    if (name == "MVDEMO.DDD" || name == linked || name == "database.stamp") continue;
    s.files.push_back(e.path().string());
  }
  // The data manager that the graphics driver loads from its own folder.
  if (fs::exists(bin / "libmorvadat.so")) s.files.push_back((bin / "libmorvadat.so").string());
  for (const auto& e : fs::directory_iterator(sources))
    if (e.path().extension() == ".cfg") s.model_config = e.path().string();
  auto r = install::install_printer(s);
  if (!r.ok) *error = r.message;
  return r.ok;
}

bool make_dc_devmode_default(const std::u16string& printer, std::string* error) {
  std::u16string name = printer;
  HANDLE h = nullptr;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(name.data(), &h, &access)) {
    *error = "the printer cannot be opened";
    return false;
  }
  DddHandle* db = DddOpen(h);
  std::vector<BYTE> dc(kDcDevmode, 0);
  DWORD size = kDriverDevmode;
  BOOL converted = FALSE;
  PRINTER_INFO_2W* info = db ? GetPrinterDefaultDevmode(h, db, dc.data(), &size, &converted) : nullptr;
  bool ok = info != nullptr;
  if (!ok) *error = db ? "the printer's default settings cannot be read" : "the device database cannot be opened";
  if (ok) {
    std::memcpy(dc.data() + kDriverDevmode, &kTailSize, 2);
    reinterpret_cast<DEVMODEW*>(dc.data())->dmDriverExtra = kDcDevmodeExtra;
    info->pDevMode = reinterpret_cast<DEVMODEW*>(dc.data());
    ok = SetPrinterW(h, 2, reinterpret_cast<LPBYTE>(info), 0) != FALSE;
    GlobalFree(info);
  }
  if (db) DddClose(db);
  ClosePrinter(h);
  if (!ok && error->empty()) *error = "the printer's default DEVMODE cannot be stored";
  return ok;
}

std::string sample_vector_document(const std::u16string& printer, int pages) {
  std::string p(printer.begin(), printer.end());
  std::string doc = R"({"printer": ")" + p + R"(", "document": "Vector sample", "units": "pt", "pages": [)";
  for (int i = 0; i < pages; ++i) {
    std::string shift = std::to_string(20 * (i % 5));
    doc += std::string(i ? "," : "") + R"({"ops": [
      {"op": "pen", "style": "solid", "width": 2, "color": "#000000"},
      {"op": "line", "from": [50, 50], "to": [500, 50]},
      {"op": "pen", "style": "dash", "width": 0, "color": "#0000FF"},
      {"op": "polyline", "points": [[50, 80], [150, 120], [250, 80], [350, 120], [450, 80]]},
      {"op": "pen", "style": "dot", "width": 0, "color": "#FF0000"},
      {"op": "bezier", "points": [[50, 200], [150, 100], [250, 300], [350, 200]]},
      {"op": "pen", "style": "solid", "width": 1, "color": "#008000"},
      {"op": "brush", "style": "solid", "color": "#FFFF00"},
      {"op": "rectangle", "rect": [)" + shift + R"(, 320, 300, 420]},
      {"op": "ellipse", "rect": [320, 320, 520, 420]},
      {"op": "polygon", "points": [[60, 450], [200, 600], [340, 450]]},
      {"op": "clip", "rect": [50, 620, 300, 760]},
      {"op": "brush", "style": "solid", "color": "#808080"},
      {"op": "fill", "rect": [0, 600, 400, 780]},
      {"op": "clip"}
    ]})";
  }
  return doc + "]}";
}

std::string sample_text_document(const std::u16string& printer) {
  std::string p(printer.begin(), printer.end());
  return R"({"printer": ")" + p + R"(", "document": "Text sample", "units": "pt", "pages": [
    {"ops": [
      {"op": "font", "face": "CS Times Roman", "size": 18},
      {"op": "text", "x": 50, "y": 50, "text": "Resident font: CS Times Roman"},
      {"op": "font", "face": "CS Courier", "size": 12},
      {"op": "text", "x": 50, "y": 80, "text": "Resident font: CS Courier, fixed pitch"},
      {"op": "font", "face": "DejaVu Sans", "size": 11},
      {"op": "text", "x": 50, "y": 110, "text": "TrueType glyphs downloaded into the printer's glyph memory"},
      {"op": "font", "face": "DejaVu Serif", "size": 30, "weight": 700, "italic": true},
      {"op": "text_color", "color": "#1F4E9A"},
      {"op": "text", "x": 50, "y": 140, "text": "Bold italic outlines"},
      {"op": "text_color", "color": "#000000"},
      {"op": "font", "face": "DejaVu Sans", "size": 14, "escapement": 450},
      {"op": "text", "x": 80, "y": 400, "text": "Rotated text"},
      {"op": "font", "face": "IPAGothic", "size": 16, "charset": 128},
      {"op": "text", "x": 50, "y": 200, "text": "日本語の印刷 テキスト"},
      {"op": "font", "face": "QZ Gothic", "size": 16, "charset": 128},
      {"op": "text", "x": 50, "y": 240, "text": "デバイスフォントの日本語"}
    ]}]})";
}

}  // namespace morva::gfx_demo
