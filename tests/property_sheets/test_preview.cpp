// The print-settings preview: its layer tables, the layers the settings
// choose, the snapshot of a sheet's settings and the painted picture.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../settings/demo_printer_fixture.h"
#include "../settings/setting_values.h"
#include "picture_fixture.h"
#include "property_sheets/preview.h"
#include "property_sheets/sheet_records.h"
#include "win/win.h"

namespace {

using morva::test::any_pixel;
using morva::test::pixel;
using morva::test::ResourceModule;
using L = PreviewLayer;

struct TableShape {
  L layer;
  size_t rows;
  size_t zero_rows;
  std::uint32_t lowest, highest;  // of the non-zero bitmaps
  size_t distinct;
  int flag;
};

TEST(PreviewTables, RowsIdRangesAndFlags) {
  const TableShape shapes[] = {
      {L::kA1Sheet, 2, 0, 7000, 7001, 2, 1},          {L::kA2OnePage, 4, 0, 7002, 7005, 4, 2},
      {L::kA2TwoPages, 16, 0, 7006, 7021, 16, 2},     {L::kA2FourToSixteen, 96, 0, 7022, 7117, 96, 2},
      {L::kA2ThirtyTwo, 8, 0, 7118, 7125, 8, 2},      {L::kA3OnePage, 4, 0, 7126, 7129, 4, 1},
      {L::kA3Others, 40, 0, 7130, 7169, 40, 1},       {L::kA4ThirtyTwoExtra, 32, 0, 7170, 7201, 32, 2},
      {L::kA5OnePage, 16, 0, 7202, 7297, 16, 1},      {L::kA5Others, 160, 0, 7210, 7377, 160, 1},
      {L::kA6OnePage, 16, 4, 7126, 7381, 6, 1},       {L::kA6Others, 160, 36, 7130, 7494, 124, 1},
      {L::kA7Binding, 8, 0, 7495, 7502, 8, 2},        {L::kA8Staple, 26, 4, 7503, 7520, 18, 3},
      {L::kA9Punch, 24, 0, 7521, 7532, 12, 3},        {L::kB1LayoutSheet, 32, 0, 7689, 7720, 32, 2},
      {L::kB2LayoutOverlay, 8, 0, 7725, 7732, 8, 2},  {L::kB3WideLayout, 4, 0, 7721, 7724, 4, 2},
      {L::kC1, 4, 0, 7533, 7536, 4, 2},               {L::kC2, 4, 0, 7537, 7540, 4, 1},
      {L::kC3, 4, 0, 7541, 7544, 4, 2},               {L::kC4, 8, 4, 7549, 7552, 4, 1},
      {L::kC5, 8, 0, 7657, 7664, 8, 1},               {L::kC6, 4, 0, 7537, 7540, 4, 1},
      {L::kK1, 8, 0, 7856, 7863, 8, 2},               {L::kK2, 2, 0, 7864, 7865, 2, 2},
      {L::kK3, 18, 1, 7873, 7889, 17, 1},             {L::kK3Masked, 72, 1, 7873, 7943, 71, 1},
      {L::kK4, 8, 1, 7866, 7872, 7, 2},               {L::kK5, 2, 0, 7944, 7945, 2, 2},
      {L::kK6, 9, 0, 7946, 7954, 9, 2},
  };
  ASSERT_EQ(std::size(shapes), static_cast<size_t>(kPreviewLayerCount));
  for (const TableShape& s : shapes) {
    const PreviewLayerTable& t = GetPreviewLayerTable(s.layer);
    SCOPED_TRACE(t.name);
    ASSERT_EQ(t.count, s.rows);
    size_t zeros = 0;
    std::uint32_t lo = 0xFFFFFFFF, hi = 0;
    std::set<std::uint32_t> ids;
    for (size_t r = 0; r < t.count; ++r) {
      const PreviewLayerEntry& e = t.rows[r];
      if (e.bitmap == 0) {
        ++zeros;
        EXPECT_EQ(e.flag, 0) << r;
        continue;
      }
      lo = std::min(lo, e.bitmap);
      hi = std::max(hi, e.bitmap);
      ids.insert(e.bitmap);
      // A6 rows shared with A3 keep A3's flag (both 1).
      EXPECT_EQ(e.flag, s.flag) << r;
      EXPECT_LT(e.x, preview_geometry::kControlWidth) << r;
      EXPECT_LT(e.y, preview_geometry::kControlHeight) << r;
    }
    EXPECT_EQ(zeros, s.zero_rows);
    EXPECT_EQ(lo, s.lowest);
    EXPECT_EQ(hi, s.highest);
    EXPECT_EQ(ids.size(), s.distinct);
  }
  // The rows the tables spell out one by one.
  auto row = [](L l, size_t r) { return GetPreviewLayerTable(l).rows[r]; };
  EXPECT_EQ(row(L::kA1Sheet, 0).x, 95);
  EXPECT_EQ(row(L::kA1Sheet, 1).y, 27);
  EXPECT_EQ(row(L::kA3OnePage, 1).y, 101);
  EXPECT_EQ(row(L::kA5OnePage, 8).bitmap, 7290u);
  EXPECT_EQ(row(L::kA5Others, 80).bitmap, 7298u);
  for (size_t r : {19u, 20u, 23u, 24u}) EXPECT_EQ(row(L::kA8Staple, r).bitmap, 0u);
  EXPECT_EQ(row(L::kA9Punch, 12).bitmap, 7521u);
  EXPECT_EQ(row(L::kC4, 0).bitmap, 0u);
  EXPECT_EQ(row(L::kC4, 7).bitmap, 7552u);
  EXPECT_EQ(row(L::kK3, 0).bitmap, 0u);
  // K3' rows without the two extra digits repeat K3 with value404's digit.
  for (int option = 0; option < 3; ++option)
    for (int v404 = 0; v404 < 3; ++v404)
      for (int v458 = 0; v458 < 2; ++v458)
        EXPECT_EQ(row(L::kK3Masked, option * 24 + v404 * 2 + v458).bitmap,
                  row(L::kK3, (option * 3 + v404) * 2 + v458).bitmap);
  EXPECT_EQ(row(L::kK4, 0).bitmap, 0u);
  EXPECT_EQ(row(L::kK6, 0).x, 36);
}

struct CollectCase {
  const char* name;
  std::function<void(PreviewSettings&)> set;
  INT result;
  std::vector<std::uint32_t> ids;
};

PreviewSettings with(const std::function<void(PreviewSettings&)>& set) {
  PreviewSettings s;
  set(s);
  s.sheetOrientation = DeriveSheetOrientation(s.orientation, s.pagesPerSheet);
  return s;
}

TEST(PreviewLayers, TheSettingsChooseTheLayers) {
  const CollectCase cases[] = {
      {"one page, portrait, monochrome device", [](PreviewSettings&) {}, 0, {7000, 7002, 7126, 7856, 7864}},
      {"four pages, rows, colour device",
       [](PreviewSettings& s) {
         s.pagesPerSheet = 4;
         s.order264 = 3;
         s.colourCapable = TRUE;
       },
       0, {7000, 7022, 7138, 7856}},
      {"two pages turn the sheet", [](PreviewSettings& s) {
         s.pagesPerSheet = 2;
         s.order264 = 2;
         s.colourCapable = TRUE;
       },
       0, {7001, 7006 + 4, 7130, 7856}},
      {"four pages, order 7 is unknown",
       [](PreviewSettings& s) {
         s.pagesPerSheet = 4;
         s.order264 = 7;
       },
       1, {}},
      {"wide layout runs group A, then its second row",
       [](PreviewSettings& s) {
         s.layoutMode = 1;
         s.layoutCode = 260;
       },
       0, {7000, 7002, 7126, 7722, 7856, 7864}},
      {"wide layout with the overlay fails", [](PreviewSettings& s) {
         s.layoutMode = 1;
         s.layoutCode = 260;
         s.option1285 = 1;
       },
       1, {}},
      {"poster 2x2 in colour", [](PreviewSettings& s) {
         s.layoutMode = 1;
         s.layoutCode = 514;
       },
       0, {7689 + 16 + 2, 7856, 7864}},
      {"side 5 fails every F step", [](PreviewSettings& s) { s.side437 = 5; }, 1, {}},
      {"unknown layout mode", [](PreviewSettings& s) { s.layoutMode = 3; }, 3, {}},
      {"long-edge duplex", [](PreviewSettings& s) { s.duplex = 2; }, 0,
       {7000, 7002, 7126, 7202, 7126, 7495, 7856, 7864}},
      {"duplex 4 is unknown", [](PreviewSettings& s) { s.duplex = 4; }, 1, {}},
      {"short-edge duplex, no frames in mode 1", [](PreviewSettings& s) {
         s.duplex = 3;
         s.mode270 = 1;
       },
       0, {7000, 7002, 7282 + 8, 7495 + 4, 7856, 7864}},
      {"staple top left", [](PreviewSettings& s) { s.position320 = 1; }, 0,
       {7000, 7002, 7126, 7503, 7856, 7864}},
      {"staple position 9 adds the note", [](PreviewSettings& s) { s.position320 = 9; }, 0,
       {7000, 7002, 7126, 7505, 7856, 7864, 7944}},
      {"staple position 16 is unknown", [](PreviewSettings& s) { s.position320 = 16; }, 1, {}},
      {"three punch holes at the top, landscape",
       [](PreviewSettings& s) {
         s.orientation = 2;
         s.position341 = 2;
         s.count445 = 1;
       },
       0, {7001, 7004, 7128, 7530, 7860, 7864}},
      {"booklet", [](PreviewSettings& s) { s.layoutMode = 2; }, 0, {7541, 7657, 7856, 7864}},
      {"booklet with covers and cover printing", [](PreviewSettings& s) {
         s.layoutMode = 2;
         s.option446 = 1;
         s.option56 = 1;
         s.flag322 = 1;
       },
       0, {7534, 7538, 7542, 7659, 7538, 7856, 7864}},
      {"collate, toner options, stamp text",
       [](PreviewSettings& s) {
         s.flag18 = 1;
         s.option1313 = 1;
         s.value332 = 2;
         s.value458 = 1;
         s.hasText297 = TRUE;
       },
       0, {7000, 7002, 7126, 7856, 7865, 7883, 7867}},
      {"toner level 3 is unknown", [](PreviewSettings& s) { s.value332 = 3; }, 1, {}},
      {"finishing kind 3 with its option", [](PreviewSettings& s) {
         s.kind448 = 3;
         s.value450 = 1;
       },
       0, {7000, 7002, 7126, 7856, 7864, 7951}},
      {"a colour device never shows the monochrome icons", [](PreviewSettings& s) {
         s.colourCapable = TRUE;
         s.flag18 = 1;
         s.option1313 = 1;
         s.kind448 = 3;
       },
       0, {7000, 7002, 7126, 7856}},
  };
  for (const CollectCase& c : cases) {
    SCOPED_TRACE(c.name);
    const PreviewSettings s = with(c.set);
    PreviewLayerEntry entries[kPreviewMaxLayers];
    INT count = -1;
    ASSERT_EQ(CollectPreviewLayers(&s, entries, &count), c.result);
    std::vector<std::uint32_t> ids;
    for (INT k = 0; k < count; ++k) ids.push_back(entries[k].bitmap);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST(PreviewLayers, MaskedToneroptionsUseTheirOwnTable) {
  PreviewSettings s = with([](PreviewSettings& p) {
    p.optionMask08000000 = TRUE;
    p.option1313 = 1;
    p.value406 = 1;
    p.value404 = 1;
  });
  PreviewLayerEntry entries[kPreviewMaxLayers];
  INT count = 0;
  ASSERT_EQ(CollectPreviewLayers(&s, entries, &count), 0);
  ASSERT_EQ(count, 6);
  // option 1, value406 1, value405 0, value404 1 with 1340 clear (digit 2).
  EXPECT_EQ(entries[5].bitmap, GetPreviewLayerTable(L::kK3Masked).rows[24 + 12 + 2 * 2].bitmap);
  EXPECT_GE(entries[5].bitmap, 7890u);
  s.value405 = 2;
  EXPECT_EQ(CollectPreviewLayers(&s, entries, &count), 1);
}

// ---- the painted preview ----

constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kNumber = RGB(40, 90, 200);
constexpr COLORREF kArrow = RGB(240, 150, 30);
constexpr COLORREF kStaple = RGB(0, 0, 0);
constexpr COLORREF kHole = RGB(150, 150, 150);
constexpr COLORREF kKey = RGB(255, 0, 255);

struct Painted {
  HBITMAP bitmap = nullptr;
  ~Painted() {
    if (bitmap) DeleteObject(bitmap);
  }
};

// Composes and paints the preview of `s`; the bitmap is kept by `out`.
void paint(HMODULE module, const PreviewSettings& s, Painted& out, const std::string& png = {}) {
  PreviewImage* list = nullptr;
  HPALETTE palette = nullptr;
  ASSERT_EQ(ComposePreviewLayers(&s, module, nullptr, &list, &palette), 0);
  ASSERT_NE(list, nullptr);
  out.bitmap = RenderPictureBitmap(module, list, palette, preview_geometry::kControlWidth,
                                   preview_geometry::kControlHeight, TRUE);
  FreePreviewImages(list);
  if (palette) DeleteObject(palette);
  ASSERT_NE(out.bitmap, nullptr);
  if (!png.empty()) {
    ASSERT_TRUE(morva::platform::write_png(out.bitmap, png));
  }
}

TEST(PreviewPicture, PaintedPicturesShowTheChoice) {
  ResourceModule res;
  ASSERT_NE(res.get(), nullptr);
  morva::test::TempRoot root;
  const RECT whole{0, 0, preview_geometry::kControlWidth, preview_geometry::kControlHeight};
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  struct Probe {
    int x, y;
    COLORREF colour;
  };
  struct PictureCase {
    const char* name;
    std::function<void(PreviewSettings&)> set;
    std::vector<Probe> probes;
  };
  const PictureCase cases[] = {
      // Page 1's number sits in the top-left cell of the 2x2 grid, page 4's
      // in the bottom-right one; the sheet's corner is paper.
      {"four_up", [](PreviewSettings& s) { s.pagesPerSheet = 4; s.order264 = 3; s.colourCapable = TRUE; },
       {{96, 17, kPaper}, {199, 129, face}, {2, 40, face}}},
      {"duplex_long_edge", [](PreviewSettings& s) { s.duplex = 2; s.colourCapable = TRUE; },
       {{95 + 4, 15 + 50, kArrow}, {95 + 71, 15 + 99, RGB(215, 215, 215)}}},
      {"staple_top_left", [](PreviewSettings& s) { s.position320 = 1; s.colourCapable = TRUE; },
       {{95 + 8, 15 + 8, kStaple}}},
      {"punch_two_left", [](PreviewSettings& s) { s.position341 = 1; s.colourCapable = TRUE; },
       {{95 + 2 + 5, 15 + 25, kHole}, {95 + 2 + 5, 15 + 75, kHole}}},
      {"booklet", [](PreviewSettings& s) { s.layoutMode = 2; s.colourCapable = TRUE; },
       {{100 + 34, 13 + 50, RGB(80, 80, 80)}, {100 + 10, 13 + 50, kPaper}}},
  };
  for (const PictureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Painted p;
    paint(res.get(), with(c.set), p, root.file(std::string(c.name) + ".png"));
    EXPECT_FALSE(any_pixel(p.bitmap, whole, kKey));
    for (const Probe& probe : c.probes) EXPECT_EQ(pixel(p.bitmap, probe.x, probe.y), probe.colour) << probe.x << "," << probe.y;
  }
  // The four pages carry their numbers in reading order.
  Painted four;
  paint(res.get(), with([](PreviewSettings& s) { s.pagesPerSheet = 4; s.order264 = 3; }), four);
  EXPECT_TRUE(any_pixel(four.bitmap, RECT{104, 24, 131, 65}, kNumber));
  EXPECT_TRUE(any_pixel(four.bitmap, RECT{131, 65, 158, 106}, kNumber));
}

TEST(PreviewPicture, AMissingBitmapSkipsOnlyItsEntry) {
  // A module without the bitmaps: every entry fails, nothing is listed.
  const PreviewSettings s = with([](PreviewSettings&) {});
  PreviewImage* list = reinterpret_cast<PreviewImage*>(1);
  HPALETTE palette = nullptr;
  HMODULE empty = morva::platform::open_resource_container(std::vector<BYTE>{});
  EXPECT_EQ(ComposePreviewLayers(&s, empty, nullptr, &list, &palette), 5);
  EXPECT_EQ(list, nullptr);
  if (empty) morva::platform::close_resource_container(empty);
}

// ---- the snapshot of a sheet's settings ----

class PreviewSheet : public morva::test::DemoPrinterTest {};

TEST_F(PreviewSheet, SnapshotAndBuilderOverTheSheetsSettings) {
  std::vector<BYTE> dm, pd;
  fill_defaults(dm, pd);
  using morva::test::put;
  put(dm.data(), pd.data(), 295, 4);
  put(dm.data(), pd.data(), 264, 3);
  put(dm.data(), pd.data(), 16, 2);
  put(dm.data(), pd.data(), 320, 1);
  SheetState state{};
  state.printer = printer;
  state.database = database;
  SheetSnapshot snapshot{dm.data(), pd.data(), nullptr, 0, nullptr, nullptr, 0};
  const HWND page = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7101));
  SheetContext* context = CreateSheetContext(page, &state, &snapshot, nullptr);
  ASSERT_NE(context, nullptr);

  PreviewSettings s;
  ASSERT_EQ(ReadPreviewSettings(context, &s), 0);
  EXPECT_EQ(s.pagesPerSheet, 4);
  EXPECT_EQ(s.order264, 3);
  EXPECT_EQ(s.duplex, 2);
  EXPECT_EQ(s.position320, 1);
  EXPECT_EQ(s.sheetOrientation, 1);
  EXPECT_EQ(ReadPreviewSettings(nullptr, &s), 2);

  ResourceModule res;
  PreviewImage* list = nullptr;
  HPALETTE palette = nullptr;
  EXPECT_EQ(SelectPreviewImages(res.get(), page, 1186, &list, &palette), 6);  // no context yet
  SetSheetContext(page, context);
  ASSERT_EQ(SelectPreviewImages(res.get(), page, 1186, &list, &palette), 0);
  ASSERT_NE(list, nullptr);
  int n = 0;
  while (list[n].bitmap) ++n;
  EXPECT_GE(n, 6);  // sheet, pages, frames, duplex, duplex frames, binding, staple, icons
  FreePreviewImages(list);
  if (palette) DeleteObject(palette);
  SetSheetContext(page, nullptr);
  DestroySheetContext(&context);
}

}  // namespace
