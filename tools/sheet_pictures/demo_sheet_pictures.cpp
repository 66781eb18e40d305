// demo-40-sheet-pictures <machine root>: paints the print-settings preview
// for a set of settings and writes each picture as a PNG file under
// <root>/pictures/.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "property_sheets/pictures.h"
#include "property_sheets/preview.h"
#include "property_sheets/stamp_preview.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace {

std::string program_directory() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = 0;
  return std::filesystem::path(path).parent_path().string();
}

struct PreviewCase {
  const char* file;
  const char* what;
  std::function<void(PreviewSettings&)> set;
};

bool write_preview(HMODULE module, const std::string& folder, const PreviewCase& c) {
  PreviewSettings s;
  c.set(s);
  s.sheetOrientation = DeriveSheetOrientation(s.orientation, s.pagesPerSheet);
  PreviewImage* list = nullptr;
  HPALETTE palette = nullptr;
  const INT result = ComposePreviewLayers(&s, module, nullptr, &list, &palette);
  if (result != 0 || !list) {
    std::printf("  %-28s no picture (result %d)\n", c.file, result);
    return false;
  }
  HBITMAP bitmap = RenderPictureBitmap(module, list, palette, preview_geometry::kControlWidth,
                                       preview_geometry::kControlHeight, TRUE);
  FreePreviewImages(list);
  if (palette) DeleteObject(palette);
  const std::string path = folder + "/" + c.file;
  const bool ok = bitmap && morva::platform::write_png(bitmap, path);
  if (bitmap) DeleteObject(bitmap);
  std::printf("  %-28s %s\n", c.file, c.what);
  return ok;
}

// A settings pair holding only the stamp settings the preview reads.
struct StampSettings {
  std::vector<BYTE> devmode = std::vector<BYTE>(5988, 0);
  std::vector<BYTE> printer_data = std::vector<BYTE>(7972, 0);
  void number(WORD ddmid, WORD type, DWORD value) {
    SetItemValue(ddmid, devmode.data(), printer_data.data(), static_cast<DWORD>(-1), type, &value);
  }
  void text(WORD ddmid, const char16_t* value) {
    SetItemValue(ddmid, devmode.data(), printer_data.data(), static_cast<DWORD>(-1), 6, &value);
  }
};

struct StampCase {
  const char* file;
  const char* what;
  const char16_t* text;
  bool portrait;
  LONG points, angle, frame, position, repeat;
  COLORREF colour;
  bool monochrome;
};

bool write_stamp(HMODULE module, const std::string& folder, const StampCase& c) {
  StampSettings s;
  s.text(297, u"DejaVu Sans");
  s.text(299, c.text);
  s.number(7, 2, c.portrait ? 1 : 2);
  s.number(20, 2, 600);
  s.number(306, 10, static_cast<DWORD>(c.points));
  s.number(311, 10, static_cast<DWORD>(c.angle));
  s.number(307, 10, 700);
  s.number(302, 8, static_cast<DWORD>(c.frame));
  s.number(303, 3, static_cast<DWORD>(c.position));
  s.number(1288, 1, static_cast<DWORD>(c.repeat));
  s.number(301, 5, c.colour);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, kStampPreviewSize, kStampPreviewSize);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const RECT client{0, 0, kStampPreviewSize, kStampPreviewSize};
  const INT result = DrawStampPreview(module, dc, &client, s.devmode.data(), s.printer_data.data(), c.monochrome);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  const bool ok = result == 0 && morva::platform::write_png(bitmap, folder + "/" + c.file);
  DeleteObject(bitmap);
  std::printf("  %-28s %s%s\n", c.file, c.what, result == 0 ? "" : " (not drawn)");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo-40-sheet-pictures <machine root>\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/pictures";
  std::filesystem::create_directories(folder);
  HMODULE module = morva::platform::open_resource_container(program_directory() + "/morvares.xrs");
  if (!module) {
    std::fprintf(stderr, "demo-40-sheet-pictures: cannot open morvares.xrs\n");
    return 1;
  }
  const PreviewCase previews[] = {
      {"preview-1up.png", "one page per sheet, portrait, monochrome device", [](PreviewSettings&) {}},
      {"preview-4up.png", "four pages per sheet in rows, colour device",
       [](PreviewSettings& s) { s.pagesPerSheet = 4; s.order264 = 3; s.colourCapable = TRUE; }},
      {"preview-2up-landscape.png", "two pages per sheet, reversed order",
       [](PreviewSettings& s) { s.pagesPerSheet = 2; s.order264 = 2; s.colourCapable = TRUE; }},
      {"preview-16up-columns.png", "sixteen pages per sheet in columns",
       [](PreviewSettings& s) { s.pagesPerSheet = 16; s.order264 = 4; s.colourCapable = TRUE; }},
      {"preview-32up.png", "thirty-two pages per sheet",
       [](PreviewSettings& s) { s.pagesPerSheet = 32; s.order264 = 3; s.colourCapable = TRUE; }},
      {"preview-duplex-long.png", "two-sided, long edge, bound on the left",
       [](PreviewSettings& s) { s.duplex = 2; s.colourCapable = TRUE; }},
      {"preview-duplex-short.png", "two-sided, short edge, landscape",
       [](PreviewSettings& s) { s.duplex = 3; s.orientation = 2; s.colourCapable = TRUE; }},
      {"preview-staple-punch.png", "staple top left, two punch holes left",
       [](PreviewSettings& s) { s.position320 = 1; s.position341 = 1; s.colourCapable = TRUE; }},
      {"preview-staples-top.png", "two staples along the top, four holes at the top",
       [](PreviewSettings& s) { s.position320 = 6; s.position341 = 2; s.count445 = 2; s.colourCapable = TRUE; }},
      {"preview-booklet.png", "booklet with covers", [](PreviewSettings& s) {
         s.layoutMode = 2; s.option446 = 1; s.colourCapable = TRUE; }},
      {"preview-poster.png", "poster over 3 x 3 sheets, colour",
       [](PreviewSettings& s) { s.layoutMode = 1; s.layoutCode = 771; s.option1285 = 1; s.colourCapable = TRUE; }},
      {"preview-mono-icons.png", "monochrome device: collate, toner save, stamp",
       [](PreviewSettings& s) {
         s.flag18 = 1; s.option1313 = 1; s.value332 = 2; s.hasText297 = TRUE; s.kind448 = 2; s.value450 = 1;
       }},
  };
  std::printf("Print-settings previews in %s:\n", folder.c_str());
  bool ok = true;
  for (const PreviewCase& c : previews) ok = write_preview(module, folder, c) && ok;
  const StampCase stamps[] = {
      {"stamp-centred.png", "\"DRAFT\" once in the centre, 72 points, red", u"DRAFT", true, 72, 0, 0, 0x202, 0,
       RGB(210, 0, 0), false},
      {"stamp-turned-framed.png", "\"COPY\" turned 45 degrees in a frame, landscape", u"COPY", false, 60, 450, 1,
       0x202, 0, RGB(40, 90, 200), false},
      {"stamp-repeated.png", "\"SECRET\" repeated over the page, 30 points", u"SECRET", true, 30, 300, 0, 0x101, 1,
       RGB(0, 140, 60), false},
      {"stamp-ellipse-grey.png", "\"OK\" in an ellipse on a monochrome device", u"OK", true, 48, 0, 2, 0x301, 0,
       RGB(210, 0, 0), true},
  };
  std::printf("Stamp previews:\n");
  for (const StampCase& c : stamps) ok = write_stamp(module, folder, c) && ok;
  morva::platform::close_resource_container(module);
  return ok ? 0 : 1;
}
