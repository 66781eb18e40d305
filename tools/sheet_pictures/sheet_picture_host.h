// What the page-picture demo and the sheet tests share: the demo model's
// database with records added (pictures drawn by the preview art), the
// interface library's sheets opened through the common property-sheet
// component headless, and a control's picture as the page shows it.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "preview_art.h"
#include "win/win.h"

namespace morva::sheet_pictures {

// The directory of the running program.
std::string program_directory();

// The demo model's database description (resources/demo_printer).
nlohmann::json demo_model();
// A picture record's bitmap: the canvas as an 8-bit BMP file in hex.
std::string bitmap_hex(const preview_art::Canvas& canvas);
// A picture record (kind 12) of the canvas under `id`, placed at (x, y).
nlohmann::json picture_record(unsigned id, const preview_art::Canvas& canvas, unsigned x = 0, unsigned y = 0);
// Writes the model's database pair into `folder`: "" on success, else why.
std::string write_model(const nlohmann::json& model, const std::string& folder);

// The interface library's sheets, opened headless: a script acts on the
// sheet while it is shown.
class SheetHost {
 public:
  SheetHost();
  ~SheetHost();
  SheetHost(const SheetHost&) = delete;
  SheetHost& operator=(const SheetHost&) = delete;
  // Opens `printer` with full access; false (and why) when it cannot.
  bool open(LPCWSTR printer, std::string* error);
  void close();
  HANDLE printer() const { return printer_; }
  // The document sheet on `input` (or the printer's settings); the DEVMODE
  // of `size` bytes it gives back, and the component's answer.
  std::vector<BYTE> document_sheet(platform::ui::ModalScript script, const std::vector<BYTE>* input = nullptr,
                                   DWORD size = 5988, LONG* answer = nullptr);
  // The device sheet; the component's answer.
  LONG device_sheet(platform::ui::ModalScript script);

 private:
  HMODULE ui_ = nullptr;
  HANDLE printer_ = nullptr;
  std::u16string name_;
};

// Chooses a tab of the sheet.
void select_tab(HWND sheet, INT tab);

// A control's picture as the page shows it: the window `root` is drawn
// with everything on it, the control's part is written as the PNG `file`
// and its pixels are kept.
struct Shown {
  std::vector<COLORREF> pixels;
  INT width = 0, height = 0;
  COLORREF at(INT x, INT y) const;
  bool any(COLORREF c) const;
};
Shown show(HWND root, HWND control, const std::string& file);

}  // namespace morva::sheet_pictures
