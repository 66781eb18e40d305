#include "sheet_picture_host.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ddd_builder.h"

namespace morva::sheet_pictures {

std::string program_directory() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  return std::filesystem::path(path).parent_path().string();
}

nlohmann::json demo_model() {
  std::ifstream in(MORVA_DEMO_DATABASE);
  return nlohmann::json::parse(in);
}

std::string bitmap_hex(const preview_art::Canvas& canvas) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (auto b : preview_art::bmp_bytes(canvas, 8)) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

nlohmann::json picture_record(unsigned id, const preview_art::Canvas& canvas, unsigned x, unsigned y) {
  return {{"kind", 12}, {"id", id}, {"format", 1}, {"word1", x}, {"word2", y}, {"bitmap", bitmap_hex(canvas)}};
}

std::string write_model(const nlohmann::json& model, const std::string& folder) {
  try {
    ddd_build::write_images(ddd_build::build_images(model), folder);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

SheetHost::SheetHost() = default;
SheetHost::~SheetHost() { close(); }

bool SheetHost::open(LPCWSTR printer, std::string* error) {
  close();
  PRINTER_DEFAULTSW full{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(const_cast<LPWSTR>(printer), &printer_, &full)) {
    if (error) *error = "the printer is not installed";
    return false;
  }
  name_ = printer;
  ui_ = LoadLibraryW(u"morvaui.dll");
  if (!ui_ || !GetProcAddress(ui_, "DrvDocumentPropertySheets")) {
    if (error) *error = "morvaui.dll has no sheets: " + platform::last_load_error();
    return false;
  }
  return true;
}

void SheetHost::close() {
  if (ui_) FreeLibrary(ui_);
  if (printer_) ClosePrinter(printer_);
  ui_ = nullptr;
  printer_ = nullptr;
}

std::vector<BYTE> SheetHost::document_sheet(platform::ui::ModalScript script, const std::vector<BYTE>* input,
                                            DWORD size, LONG* answer) {
  std::vector<BYTE> out(size, 0);
  DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(name_.c_str()),
                                input ? reinterpret_cast<PDEVMODEW>(const_cast<BYTE*>(input->data())) : nullptr,
                                reinterpret_cast<PDEVMODEW>(out.data()), size, DM_COPY | DM_PROMPT};
  platform::ui::script_modal(std::move(script));
  DWORD result = 0;
  const LONG a = CommonPropertySheetUIW(
      nullptr, morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui_, "DrvDocumentPropertySheets")),
      reinterpret_cast<LPARAM>(&header), &result);
  if (answer) *answer = a;
  return out;
}

LONG SheetHost::device_sheet(platform::ui::ModalScript script) {
  DEVICEPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(name_.c_str())};
  platform::ui::script_modal(std::move(script));
  DWORD result = 0;
  return CommonPropertySheetUIW(nullptr,
                                morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui_, "DrvDevicePropertySheets")),
                                reinterpret_cast<LPARAM>(&header), &result);
}

void select_tab(HWND sheet, INT tab) { platform::ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), tab); }

COLORREF Shown::at(INT x, INT y) const {
  return x >= 0 && y >= 0 && x < width && y < height ? pixels[static_cast<size_t>(y * width + x)] : CLR_INVALID;
}

bool Shown::any(COLORREF c) const {
  for (COLORREF p : pixels)
    if (p == c) return true;
  return false;
}

Shown show(HWND root, HWND control, const std::string& file) {
  Shown s;
  // The whole window is drawn first, so that the control's picture has
  // what lies behind it; the control's part is then copied out.
  if (!control || !platform::ui::write_png(root, file)) return s;
  RECT r{};
  GetClientRect(control, &r);
  HDC dc = GetDC(control);
  HDC copy = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, r.right, r.bottom);
  HGDIOBJ old = SelectObject(copy, bitmap);
  BitBlt(copy, 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
  for (INT y = 0; y < r.bottom; ++y)
    for (INT x = 0; x < r.right; ++x) s.pixels.push_back(GetPixel(copy, x, y));
  SelectObject(copy, old);
  DeleteDC(copy);
  ReleaseDC(control, dc);
  if (morva::platform::write_png(bitmap, file)) {
    s.width = r.right;
    s.height = r.bottom;
  } else {
    s.pixels.clear();
  }
  DeleteObject(bitmap);
  return s;
}

}  // namespace morva::sheet_pictures
