// demo-41-sheet-pictures <machine root>: paints the print-settings preview
// for a set of settings and writes each picture as a PNG file under
// <root>/pictures/.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "preview_art.h"
#include "property_sheets/device_pictures.h"
#include "property_sheets/pictures.h"
#include "settings/database/ddd_file.h"
#include "win/machine_root.h"
#include "property_sheets/preview.h"
#include "property_sheets/stamp_preview.h"
#include "settings/items/item_access.h"
#include "sheet_picture_host.h"
#include "win/win.h"

namespace {

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
  s.text(297, u"Demo stamp");
  s.text(305, u"DejaVu Sans");
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

// ---- the device picture ----

namespace art = morva::preview_art;

// The parts of a demo device: body, finisher (option 4114), duplex unit
// (two-sided printing), large tray (4100 or 4101) and output tray cover.
nlohmann::json device_database() {
  art::Canvas body(110, 70, art::kLight);
  body.frame(0, 0, 110, 70, art::kDark);
  body.fill(8, 8, 40, 10, art::kNavy);          // control panel
  body.fill(70, 10, 6, 6, art::kGreen);         // power light
  body.fill(10, 40, 90, 6, art::kGrey);         // paper slot
  body.fill(10, 52, 90, 12, art::kWhite);       // tray 1
  body.frame(10, 52, 90, 12, art::kDark);
  art::Canvas finisher(34, 90, art::kPaleBlue);
  finisher.frame(0, 0, 34, 90, art::kNavy);
  finisher.fill(6, 20, 22, 4, art::kNavy);
  finisher.fill(6, 40, 22, 4, art::kNavy);
  art::Canvas duplex(110, 8, art::kGrey);
  duplex.frame(0, 0, 110, 8, art::kDark);
  duplex.text(50, 2, "2", art::kWhite);
  art::Canvas tray(110, 24, art::kWhite);
  tray.frame(0, 0, 110, 24, art::kDark);
  tray.fill(45, 10, 20, 4, art::kDark);
  art::Canvas cover(110, 10, art::kOrange);
  cover.frame(0, 0, 110, 10, art::kDark);
  using json = nlohmann::json;
  auto cond = [](int ddmid, json value, int connector) {
    return json{{"op", 1}, {"ddmid", ddmid}, {"value", value}, {"connector", connector}};
  };
  const json on{{"type", 1}, {"value", 1}};
  json records = json::array({
      {{"kind", 9}, {"picture", {0, 0, 1}}},
      {{"kind", 9}, {"conditions", {cond(4114, on, 3)}}, {"picture", {0, 0, 2}}},
      {{"kind", 9}, {"conditions", {cond(16, json{{"type", 128}, {"table", 1}}, 3)}}, {"picture", {0, 0, 3}}},
      {{"kind", 9}, {"conditions", {cond(4100, on, 2), cond(4101, on, 3)}}, {"picture", {0, 0, 4}}},
      {{"kind", 9}, {"conditions", {cond(4102, on, 3)}}, {"picture", {0, 0, 5}}},
      morva::sheet_pictures::picture_record(1, body, 10, 20),
      morva::sheet_pictures::picture_record(2, finisher, 120, 10),
      morva::sheet_pictures::picture_record(3, duplex, 10, 90),
      morva::sheet_pictures::picture_record(4, tray, 10, 98),
      morva::sheet_pictures::picture_record(5, cover, 10, 10),
      {{"kind", 20}, {"id", 1}, {"type", 3}, {"element_size", 2}, {"elements", {2, 3}}},
  });
  return json{{"main",
               {{"file", "DEVPIC.DDD"}, {"title", "device picture"}, {"version", "D:1.0.0"}, {"level", 0x2000},
                {"model", "Demo device"}, {"fields", json::object()}, {"records", records}}}};
}

struct DeviceCase {
  const char* file;
  const char* what;
  DWORD duplex, finisher, large_tray, cover;
  UINT control;
};

bool write_device(DddHandle* database, const std::string& folder, const DeviceCase& c) {
  StampSettings s;  // any settings pair
  s.number(16, 2, c.duplex);
  s.number(4114, 1, c.finisher);
  s.number(4101, 1, c.large_tray);
  s.number(4102, 1, c.cover);
  PreviewImage* list = nullptr;
  HPALETTE palette = nullptr;
  const INT r = BuildDeviceOptionPictureFor(database, s.devmode.data(), s.printer_data.data(), nullptr, c.control,
                                            &list, &palette);
  bool ok = r == 0 && list;
  HBITMAP bitmap = ok ? RenderPictureBitmap(nullptr, list, palette, 170, 130, TRUE) : nullptr;
  FreePreviewImages(list);
  if (palette) DeleteObject(palette);
  ok = bitmap && morva::platform::write_png(bitmap, folder + "/" + c.file);
  if (bitmap) DeleteObject(bitmap);
  std::printf("  %-28s %s\n", c.file, c.what);
  return ok;
}

bool write_list(HMODULE module, const std::string& path, PreviewImage* list, HPALETTE palette, INT w, INT h) {
  HBITMAP bitmap = list ? RenderPictureBitmap(module, list, palette, w, h, FALSE) : nullptr;
  FreePreviewImages(list);
  if (palette) DeleteObject(palette);
  const bool ok = bitmap && morva::platform::write_png(bitmap, path);
  if (bitmap) DeleteObject(bitmap);
  return ok;
}

// The colour sample for a few colour-balance settings, and the colour-mode
// picture of the same settings.
bool write_colour(HMODULE module, const std::string& folder) {
  ColourSampleRecord* record = nullptr;
  if (LoadColourSample(module, &record) != 0) return false;
  struct Case {
    const char* file;
    const char* what;
    LONG mode, brightness, saturation, split_grey_contrast;
  } cases[] = {
      {"colour-sample.png", "colour sample as printed", 2, 0, 0, 0},
      {"colour-sample-bright.png", "brighter and more saturated", 2, 40, 60, 0},
      {"colour-sample-grey.png", "grey mode", 1, 0, 60, 0},
  };
  bool ok = true;
  for (const Case& c : cases) {
    StampSettings s;
    s.number(270, 8, static_cast<DWORD>(c.mode));
    s.number(271, 3, 1);
    s.number(274, 2, static_cast<DWORD>(c.brightness));
    s.number(278, 2, static_cast<DWORD>(c.saturation));
    PreviewImage* list = nullptr;
    HPALETTE palette = nullptr;
    ok = BuildColourSample(record, s.devmode.data(), s.printer_data.data(), nullptr, &list, &palette) == 0 &&
         write_list(module, folder + "/" + c.file, list, palette, 96, 48) && ok;
    std::printf("  %-28s %s\n", c.file, c.what);
    const WORD id = ColourModeBitmapId(c.mode, 1, 0, 2, FALSE);
    PreviewImage* mode = nullptr;
    HPALETTE mode_palette = nullptr;
    const std::string mode_file = std::string("colour-mode-") + std::to_string(id) + ".png";
    ok = LoadPictureBitmap(module, nullptr, id, &mode, &mode_palette) == 0 &&
         write_list(module, folder + "/" + mode_file, mode, mode_palette, 48, 32) && ok;
    std::printf("  %-28s colour-mode picture %u\n", mode_file.c_str(), id);
  }
  FreeColourSample(&record);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo-41-sheet-pictures <machine root>\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/pictures";
  std::filesystem::create_directories(folder);
  HMODULE module = morva::platform::open_resource_container(morva::sheet_pictures::program_directory() + "/morvares.xrs");
  if (!module) {
    std::fprintf(stderr, "demo-41-sheet-pictures: cannot open morvares.xrs\n");
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
  std::printf("Device pictures:\n");
  morva::platform::set_machine_root(argv[1]);
  morva::ddd_build::write_images(morva::ddd_build::build_images(device_database()),
                                 std::string(argv[1]) + "/drive_c/sheet_pictures");
  DddStatus status = 0;
  DddHandle* database = DddOpenPath(u"C:\\sheet_pictures\\DEVPIC.DDD", &status);
  const DeviceCase devices[] = {
      {"device-base.png", "the device alone", 1, 0, 0, 0, kDevicePictureControl},
      {"device-options.png", "with finisher, large tray and cover, printing two-sided", 2, 1, 1, 1,
       kDevicePictureControl},
      {"device-installed.png", "the same on the installed-options page (no duplex unit)", 2, 1, 1, 1,
       kInstalledOptionsPictureControl},
  };
  if (!database) {
    std::printf("  device database not opened (status %u)\n", static_cast<unsigned>(status));
    ok = false;
  }
  for (const DeviceCase& c : devices) ok = database && write_device(database, folder, c) && ok;
  if (database) DddClose(database);
  std::printf("Colour pictures:\n");
  ok = write_colour(module, folder) && ok;
  std::printf("Stamp previews:\n");
  for (const StampCase& c : stamps) ok = write_stamp(module, folder, c) && ok;
  morva::platform::close_resource_container(module);
  return ok ? 0 : 1;
}
