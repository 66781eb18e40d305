// The recording side of recorded pages: the job's layout decisions, the
// record-or-write operators, the document recording on the PDEV and the
// decisions of the sheet start and end that open and close recordings.
#include <algorithm>
#include <cstring>

#include "output/document_control.h"
#include "output/page_recording.h"
#include "output/placed_image.h"
#include "output/recorded_pages.h"
#include "output/spool_stream.h"
#include "render/images.h"
#include "render/pdl_operators.h"
#include "render/pdl_writer.h"
#include "settings/common/common_utils.h"

namespace morva::gfx {

namespace {

constexpr WORD kCopiesCapacity = 80;
constexpr WORD kBookletCapacity = 80;
constexpr DWORD kKindBits = 0x3E;

DocumentControl* doc(PDEV* pdev) { return pdev ? pdev->document : nullptr; }
RecordingControl* rec(PDEV* pdev) { return pdev && pdev->document ? &pdev->document->rec : nullptr; }

bool word_has(PDEV* pdev, DWORD bits) {
  RecordingControl* r = rec(pdev);
  return r && (r->word & bits) == bits;
}

// Records go between raw bytes: what the writer holds goes first.
INT write_record(PDEV* pdev, WORD kind, WORD length, const void* data) {
  if (DrainDocumentSink(pdev) != 0) return -1;
  return WritePageRecord(pdev->stream, kind, length, data);
}

void tiles_from(LONG code, WORD* across, WORD* down) {
  switch (code) {
    case 0x0102: *across = 2, *down = 1; return;
    case 0x0103: *across = 1, *down = 3; return;
    case 0x0104: *across = 1, *down = 4; return;
    case 0x0202: *across = 2, *down = 2; return;
    case 0x0303: *across = 3, *down = 3; return;
    case 0x0404: *across = 4, *down = 4; return;
    default: *across = *down = 0; return;
  }
}

DWORD supported_nup(LONG v) {
  switch (v) {
    case 2: case 4: case 8: case 16: case 32: return static_cast<DWORD>(v);
    default: return 1;
  }
}

}  // namespace

void PrepareImposition(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d) return;
  ImpositionJob& j = d->rec.job;
  j = ImpositionJob{};
  j.resolution = PdevResolution(pdev);
  j.landscape = d->page.orientation == 2 ? 1 : 0;
  j.print_kind = static_cast<DWORD>(std::clamp<LONG>(PdevGetNumber(pdev, 264), 0, 6));
  LONG layout = PdevGetNumber(pdev, 321);
  if (layout == 1) {
    tiles_from(PdevGetNumber(pdev, 296), &j.tiles_across, &j.tiles_down);
    j.tiling = j.tiles_across ? 1 : 0;
    j.tiling_option = j.tiling && PdevGetNumber(pdev, 1285) != 0 ? 1 : 0;
  }
  if (layout == 2) {
    j.booklet = 1;
    LONG kind = PdevGetNumber(pdev, 446) & 0xFF;
    j.booklet_kind = kind <= 2 ? static_cast<DWORD>(kind) : 0;
    LONG value = PdevGetNumber(pdev, j.booklet_kind == 1 ? 4364 : 323);
    j.booklet_value = value > 0 ? static_cast<DWORD>(value) : 1;
    j.booklet_binding = PdevGetNumber(pdev, 322) == 1 ? 2 : 1;
  }
  // With a booklet, the N-up cells fill each booklet page, which then
  // goes on its half sheet.
  j.nup = j.tiling ? 1 : supported_nup(PdevGetNumber(pdev, 295));
  j.columns = j.rows = 1;
  NupGrid(j.nup, &j.columns, &j.rows);
  DWORD halving = j.nup == 2 || j.nup == 8 || j.nup == 32;
  j.cells_turned = j.landscape ^ halving;
  LONG copies = PdevGetNumber(pdev, 12);
  if (copies < 1) copies = pdev->copies > 0 ? pdev->copies : 1;
  j.copies = static_cast<WORD>(std::min<LONG>(copies, 9999));
  DeviceCapabilityBits bits{};
  bool have_bits = pdev->database && LoadCapabilityBits(pdev->database, &bits);
  bool collate = PdevGetNumber(pdev, 18) == 1;
  j.driver_collation = j.copies > 1 && collate && have_bits &&
                       GetDeviceDataLevel(pdev->settings, pdev->printer_data, &bits) == 2;
  j.reverse_order = PdevGetNumber(pdev, 1312) != 0 ? 1 : 0;
  j.copies_by_playback = j.driver_collation || j.reverse_order;
  j.booklet_order_option = have_bits && !TestCapabilityBit(&bits, 0x400) ? 1 : 0;
  d->job.nup = static_cast<WORD>(j.nup);
}

BOOL IsBookletJob(PDEV* pdev) { return rec(pdev) && rec(pdev)->job.booklet; }
bool BookletCoverRule(PDEV* pdev) { return doc(pdev) && doc(pdev)->job.booklet_cover_rule != 0; }
BOOL IsTilingJob(PDEV* pdev) { return rec(pdev) && rec(pdev)->job.tiling; }

// Only a recording of the job's own kind (booklet staple, marking, store)
// holds back the job start; none of those is recorded by this library yet.
BOOL IsPageRecordingNeeded(PDEV* pdev) { return rec(pdev) && rec(pdev)->job.recording_needed; }

// ---- record-or-write operators ---------------------------------------------------

INT RecordOrWritePageBegin(PDEV* pdev, BYTE colour, BYTE source, BYTE paper_code, float width_mm, float height_mm) {
  RecordingControl* r = rec(pdev);
  if (!r || !pdev->writer) return -1;
  PageBeginRecord b{};
  b.colour = colour;
  b.source = source;
  b.paper_code = paper_code;
  b.width_mm = width_mm;
  b.height_mm = height_mm;
  b.source_value = source;
  b.page_kind = 2;
  b.orientation_code = pdev->document->page.orientation == 2 ? 3 : 1;
  r->last_begin = b;
  r->has_begin = 1;
  if (word_has(pdev, kRecordOpen | kRecordPage | kRecordBegin)) return write_record(pdev, kRecPageBegin, sizeof b, &b);
  return PdlWriter_BeginPage(pdev->writer, colour, source, paper_code, width_mm, height_mm);
}

INT RecordOrWriteFB(PDEV* pdev) {
  if (!IsJobOutputBegun(pdev)) return -1;
  if (word_has(pdev, kRecordOpen | kRecordPage | kRecordFB)) return write_record(pdev, kRecFB, 0, nullptr);
  return PdlWriter_PutFB(pdev->writer);
}

INT RecordOrWritePageEnd(PDEV* pdev) {
  if (!IsJobOutputBegun(pdev)) return -1;
  if (word_has(pdev, kRecordOpen | kRecordPage | kRecordEnd)) return write_record(pdev, kRecPageEnd, 0, nullptr);
  return PdlWriter_EndPage(pdev->writer);
}

INT RecordOrSetPageTransform(PDEV* pdev, const float m[6]) {
  DocumentControl* d = doc(pdev);
  if (!d || !pdev->writer) return -1;
  if ((d->state & (kDocOpen | kDocOutputBegun | kDocSheetOpen)) != (kDocOpen | kDocOutputBegun | kDocSheetOpen)) return 0;
  if (!word_has(pdev, kRecordOpen | kRecordPage | kRecordTransform)) return PdlWriter_SetMatrix(pdev->writer, m);
  TransformRecord t{};
  std::memcpy(t.matrix, m, sizeof t.matrix);
  DWORD w = d->rec.word;
  t.flags[0] = (w & 0x40) ? 1 : 0;
  t.flags[1] = (w & 0x80) ? 1 : 0;
  t.flags[2] = (w & 0x100) ? 1 : 0;
  static_assert(sizeof t.page == sizeof d->page.page);
  std::memcpy(&t.page, &d->page.page, sizeof t.page);
  t.orientation = d->rec.job.landscape;
  if (write_record(pdev, kRecTransform, sizeof t, &t) != 0) return -1;
  // The writer keeps the matrix as if written: drawing composes with it.
  std::memcpy(pdev->writer->cache.matrix, m, sizeof pdev->writer->cache.matrix);
  return 0;
}

INT RecordOrEmitAR(PDEV* pdev) {
  if (!IsJobOutputBegun(pdev)) return -1;
  if (word_has(pdev, kRecordOpen | kRecordPage)) return write_record(pdev, kRecClipReset, 0, nullptr);
  return PdlWriter_ResetClip(pdev->writer);
}

// ---- document recording --------------------------------------------------------------

INT BeginDocumentRecording(PDEV* pdev, WORD base_page, WORD capacity) {
  RecordingControl* r = rec(pdev);
  if (!r || !IsJobOutputBegun(pdev) || r->word != 0 || !pdev->stream) return -1;
  r->word = kRecordOpen;
  if (BeginDocumentRecordingTables(pdev->stream, base_page, sizeof(RecordedPage), capacity) != 0) {
    r->word = 0;
    return -1;
  }
  return 0;
}

INT BeginRecordedPage(DWORD kinds, PDEV* pdev, WORD page, DWORD colour_mode) {
  RecordingControl* r = rec(pdev);
  if (!r || r->word != kRecordOpen || kinds == 0 || (kinds & ~kKindBits)) return -1;
  if (DrainDocumentSink(pdev) != 0) return -1;
  r->word = kinds | kRecordOpen | kRecordPage;
  r->page_colour_mode = colour_mode;
  if (BeginPageRecording(pdev->stream, page) != 0) {
    r->word = kRecordOpen;
    return -1;
  }
  // The geometry of the page as drawn, for playback that places it anew:
  // with a booklet of N-up pages, the upright sheet the cells were put on.
  RecordedPage e{};
  PrintableArea area{};
  double res = r->job.resolution;
  if (r->job.booklet && r->job.nup > 1) {
    PageLayout sheet;
    if (PageLayoutOfPdev(pdev, false, &sheet) == 0) {
      e.page_width = static_cast<float>(sheet.sheet_width);
      e.page_height = static_cast<float>(sheet.sheet_height);
      e.printable_left = static_cast<float>(sheet.area_left);
      e.printable_top = static_cast<float>(sheet.area_top);
      e.printable_right = static_cast<float>(sheet.area_right);
      e.printable_bottom = static_cast<float>(sheet.area_bottom);
    }
    e.colour_mode = colour_mode;
    return PutPageRecord(pdev->stream, page, sizeof e, &e);
  }
  if (ComputePrintableArea(pdev, FALSE, &area)) {
    e.page_width = static_cast<float>(area.phys_width * res / 254.0);
    e.page_height = static_cast<float>(area.phys_height * res / 254.0);
    e.printable_left = static_cast<float>(area.left * res / 254.0);
    e.printable_top = static_cast<float>(area.top * res / 254.0);
    e.printable_right = e.printable_left + static_cast<float>(area.width * res / 254.0);
    e.printable_bottom = e.printable_top + static_cast<float>(area.height * res / 254.0);
  }
  e.landscape = r->job.landscape;
  e.colour_mode = colour_mode;
  return PutPageRecord(pdev->stream, page, sizeof e, &e);
}

INT EndRecordedPage(PDEV* pdev, WORD page) {
  RecordingControl* r = rec(pdev);
  if (!r || (r->word & (kRecordOpen | kRecordPage)) != (kRecordOpen | kRecordPage)) return -1;
  if (DrainDocumentSink(pdev) != 0) return -1;
  // The page keeps the colours it drew, for playback to count them.
  RecordedPage e{};
  const render::PageColourSet* set = PageColourSetOf(pdev);
  if (set && GetPageRecord(pdev->stream, page, sizeof e, &e) == 0) {
    e.colour_set = *set;
    if (PutPageRecord(pdev->stream, page, sizeof e, &e) != 0) return -1;
  }
  INT result = EndPageRecording(pdev->stream);
  r->word &= ~0x3Fu;
  if (r->word != kRecordOpen) return -1;
  return result;
}

INT EndDocumentRecording(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  if (!r || !(r->word & kRecordOpen)) return 0;
  if (r->word & kRecordPage) return -1;
  INT result = EndDocumentRecordingTables(pdev->stream);
  r->word = 0;
  return result;
}

// ---- recording decisions -------------------------------------------------------------

namespace {

WORD sheet_number(PDEV* pdev) { return pdev->document->sheet_count; }

bool colour_undecided(PDEV* pdev) {
  const JobSettings& j = pdev->document->job;
  return j.colour_mode == 0 || j.device_colour_override;
}

// The recorded page's colour mode as decided while it was drawn.
INT store_page_colour(PDEV* pdev, WORD page) {
  RecordedPage e{};
  if (GetPageRecord(pdev->stream, page, sizeof e, &e) != 0) return -1;
  e.colour_mode = IsPageColourKnown(pdev) && pdev->document->page_colour_mode == 2 ? 2 : 1;
  return PutPageRecord(pdev->stream, page, sizeof e, &e);
}

DWORD plugin_kinds(PDEV* pdev) { return IsRenderPluginOn(pdev) ? kRecordEnd | kRecordTransform : 0; }

// Ends a page recorded for its colour, plays it once and ends the
// recording.
INT play_colour_page(PDEV* pdev, WORD page) {
  INT result = store_page_colour(pdev, page);
  if (EndRecordedPage(pdev, page) != 0) return -1;
  const DWORD honoured = kHonourBegin | (IsRenderPluginOn(pdev) ? kHonourEnd | kHonourTransform : 0);
  result |= PlayBackPage(pdev, page, honoured, PlaybackCell{}, -1, 0xFFFF);
  result |= EndDocumentRecording(pdev);
  return result;
}

INT record_sheet(PDEV* pdev, DWORD kinds, WORD capacity) {
  RecordingControl* r = rec(pdev);
  WORD page = sheet_number(pdev);
  if (r->word == 0 && BeginDocumentRecording(pdev, page, capacity) != 0) return -1;
  return BeginRecordedPage(kinds, pdev, page, pdev->document->job.colour_mode == 2 ? 2 : 1);
}

}  // namespace

INT RecordSheetStart(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  if (!r) return -1;
  if (r->word & kRecordPage) return -1;  // one page at a time
  if (r->playing) return 0;
  const ImpositionJob& j = r->job;
  if (j.booklet) return record_sheet(pdev, kKindsBooklet, kBookletCapacity);
  if (j.tiling) return record_sheet(pdev, kKindsTiling, j.copies_by_playback ? kCopiesCapacity : 1);
  // The render plug-in needs each page's end (and its transforms) as
  // records, to take the page out of its side file there.
  if (j.copies_by_playback) return record_sheet(pdev, kKindsCopies | plugin_kinds(pdev), kCopiesCapacity);
  // An undecided colour: the page is held back until its colour is known.
  if (colour_undecided(pdev)) return record_sheet(pdev, kKindsColour | plugin_kinds(pdev), 1);
  return 0;
}

INT RecordSheetEnd(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  if (!r) return -1;
  // An image whose header promised bytes that never came breaks the page.
  INT placed = CheckPlacedImagesComplete(pdev);
  if (!(r->word & kRecordPage)) return placed;
  const ImpositionJob& j = r->job;
  WORD page = sheet_number(pdev);
  if (!(r->word & kRecordKeep)) return play_colour_page(pdev, page) | placed;
  if (colour_undecided(pdev) && store_page_colour(pdev, page) != 0) return -1;
  INT result = EndRecordedPage(pdev, page);
  if (result != 0) return -1;
  result = placed;
  if (j.tiling && !j.copies_by_playback) {
    // Each tiled page is played as soon as it ends.
    result |= PlayBackTiledPage(pdev, page);
    result |= EndDocumentRecording(pdev);
  } else if (j.booklet && j.booklet_kind == 2 && !j.copies_by_playback) {
    // A complete set is played at once, and the next set is recorded anew.
    SpoolStream* s = pdev->stream;
    int first = s->base_page, last = s->base_page + s->recorded_pages - 1;
    if (SheetFitsSignature(first, last, static_cast<int>(j.booklet_value), BookletCoverRule(pdev)) == 1) {
      result |= PlayBackBookletRange(pdev, first, last);
      result |= EndDocumentRecording(pdev);
    }
  }
  return result;
}

INT ResumeAfterColourDecision(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  DocumentControl* d = doc(pdev);
  if (!r || !d) return -1;
  constexpr DWORD kDrawing = kDocOpen | kDocOutputBegun | kDocSheetOpen | kDocPageOpen;
  if ((d->state & kDrawing) != kDrawing || (r->word & (kRecordPage | kRecordKeep)) != kRecordPage) return 0;
  const render::PageColourSet* set = PageColourSetOf(pdev);
  if (!IsPageColourKnown(pdev) || (set && set->enabled) || pdev->stream->recorded_pages != 0) return 0;
  return play_colour_page(pdev, sheet_number(pdev));
}

INT PageLayoutOfPdev(PDEV* pdev, bool own_sheet, PageLayout* out) {
  DocumentControl* d = doc(pdev);
  if (!d || !out) return -1;
  const ImpositionJob& j = d->rec.job;
  PrintableArea area{};
  if (!ComputePrintableArea(pdev, FALSE, &area)) return -1;
  double res = j.resolution;
  auto dots = [&](double tenths) { return TenthMmToDots(tenths, res); };
  PageLayout l;
  l.page_width = dots(area.phys_width);
  l.page_height = dots(area.phys_height);
  l.printable_left = dots(area.left);
  l.printable_top = dots(area.top);
  l.printable_right = l.printable_left + dots(area.width);
  l.printable_bottom = l.printable_top + dots(area.height);
  l.margin_left = l.printable_left;
  l.margin_top = l.printable_top;
  l.margin_right = l.page_width - l.printable_right;
  l.margin_bottom = l.page_height - l.printable_bottom;
  // The cells of a booklet page lie on the half sheet enlarged to the
  // sheet's scale; the booklet placement puts that page on its half.
  if (!own_sheet && j.booklet && j.nup > 1) {
    GeometryTenths g;
    double left, top;
    if (UprightSheetOfPdev(pdev, &g, &left, &top, nullptr, nullptr) != 0) return -1;
    const double cover = d->page.booklet_cover ? d->page.booklet_cover_value : 0;
    CellBox rect;
    if (ComputeSheetPlacement(res, g, left, top, cover, &rect, &l.sheet_width, &l.sheet_height) != 0) return -1;
    l.area_left = rect.left, l.area_bottom = rect.bottom, l.area_right = rect.right, l.area_top = rect.top;
  }
  // The N-up sheet goes through the printer upright.
  bool turn = !own_sheet && j.landscape;
  if (own_sheet || !j.booklet || j.nup <= 1) {
    l.sheet_width = turn ? l.page_height : l.page_width;
    l.sheet_height = turn ? l.page_width : l.page_height;
    l.area_left = turn ? l.printable_top : l.printable_left;
    l.area_top = turn ? l.printable_left : l.printable_top;
    l.area_right = l.area_left + (turn ? dots(area.height) : dots(area.width));
    l.area_bottom = l.area_top + (turn ? dots(area.width) : dots(area.height));
  }
  l.pages_per_sheet = static_cast<WORD>(own_sheet ? 1 : j.nup);
  l.columns = own_sheet ? 1 : j.columns;
  l.rows = own_sheet ? 1 : j.rows;
  l.halving = !own_sheet && (j.nup == 2 || j.nup == 8 || j.nup == 32);
  l.cells_turned = own_sheet ? 0 : j.cells_turned;
  l.nup_order = j.print_kind;
  *out = l;
  return 0;
}

INT UprightSheetOfPdev(PDEV* pdev, GeometryTenths* g, double* left, double* top, double* width, double* height) {
  DocumentControl* d = doc(pdev);
  PrintableArea area{};
  if (!d || !ComputePrintableArea(pdev, FALSE, &area)) return -1;
  const bool turn = d->rec.job.landscape != 0;
  const double w = turn ? area.phys_height : area.phys_width, h = turn ? area.phys_width : area.phys_height;
  const double l = turn ? area.top : area.left, t = turn ? area.left : area.top;
  const double pw = turn ? area.height : area.width, ph = turn ? area.width : area.height;
  *g = GeometryTenths{w, h, l, w - l - pw, t, h - t - ph};
  *left = l, *top = t;
  if (width) *width = pw;
  if (height) *height = ph;
  return 0;
}

INT SetCellTransform(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d) return -1;
  const ImpositionJob& j = d->rec.job;
  // Booklet and tiled pages are placed on their sheets at playback and
  // record the page alone (or, for a booklet, its N-up cell on the page).
  bool own_sheet = j.tiling || j.nup <= 1;
  PageLayout l;
  if (PageLayoutOfPdev(pdev, own_sheet, &l) != 0) return -1;
  Affine m;
  int cell = own_sheet ? 0 : d->cells_on_sheet % std::max<DWORD>(j.nup, 1);
  int side = d->job.duplex >= 2 && !j.booklet ? d->sides_on_sheet % 2 : 0;
  if (PlacementMatrix(&m, l, cell, side, 0, j.resolution, j.resolution, true) != 0) return -1;
  float f[6];
  ToFloats(m, f);
  return RecordOrSetPageTransform(pdev, f);
}

}  // namespace morva::gfx
