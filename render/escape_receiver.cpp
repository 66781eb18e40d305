// DrvEscape: the standard escapes, the private protocol that outside
// programs switch on (feature queries, image mode, duplex and depth
// overrides, the stored block), and the private escapes through which the
// printer-interface library pushes and pulls job data.
//
// Every payload is read only within the size received: fixed records are
// taken at their exact size, a header set is measured by its own count and
// block size with 64-bit arithmetic before anything is copied, and the
// stored block's announced length must lie within what arrived. Nothing is
// stored on a refused escape.
#include "render/escape_receiver.h"

#include <algorithm>
#include <utility>
#include <cstring>
#include <new>

#include "output/document_control.h"
#include "output/fax_jobs.h"
#include "output/imposition.h"
#include "output/placed_image.h"
#include "output/recorded_pages.h"
#include "render/drawing_core.h"
#include "render/images.h"
#include "pi/private_escapes.h"
#include "settings/database/ddd_queries.h"
#include "settings/gfx/graphics_module.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/printer_dc.h"

namespace morva::gfx {

namespace pe = morva::pi;

struct EscapeReceiver {
  // Private protocol state.
  DWORD protocol_on = 0;
  DWORD pdl_version = 0;
  DWORD depth_feature = 0;
  DWORD image_feature = 0;
  SHORT overrides[6] = {-1, -1, -1, -1, -1, -1};  // DDMIDs 295, 264, 294, 321, 296, 16
  WORD image_sub_mode = 0xFFFF;
  DWORD image_mode = 0;
  std::vector<BYTE> stored_block;  // 0x1078, handed back by 0x502E
  // The placed image being received through 0x1072: its id (1 to 0x3FFF,
  // 0 when none is open), the announced total and the bytes taken so far.
  WORD transfer_counter = 0;
  WORD transfer_id = 0;
  DWORD transfer_total = 0;
  DWORD transfer_received = 0;

  // What the interface library pushed.
  DWORD transfer_word = 0;  // kIgnoring while a transfer is ignored, kTransferEnded after it
  BYTE sealmark_setup[pe::kSealmarkSetupSize] = {};
  std::vector<BYTE> sealmark_settings, copy_ids, spinfo, blob5041;
  bool has_header_parts = false;
  std::u16string header_items[6];  // user, owner, document, -, date, time
  WCHAR document_name[261] = {};
  std::vector<BYTE> pjl_set;
  DWORD warning_confirmed = 0;
  DWORD sealmark_active = 0, sealmark_outputs = 0;
  bool has_page_paper = false;
  WORD page_paper_id = 0;
  WORD page_margins[4] = {};
  BYTE paper_region = 0;
  DWORD page_option = 0;
  float saved_matrix[6] = {};  // the page's matrix while a stamp is drawn
  bool has_saved_matrix = false;
  std::vector<BYTE> fax_addresses;  // 0x5024 on a fax device: a destination list
};

namespace {

constexpr DWORD kIgnoring = 0x10;
constexpr DWORD kTransferEnded = 0x1;

constexpr DWORD kCapOwnerOverride = 0x2000000;

struct Feature {
  WORD feature;
  WORD reply;
  DWORD min_version;
  DWORD values[3];
};
constexpr Feature kFeatures[] = {
    {0x1101, 0x1071, 0x01010501, {143, 0xFF00, 0xFF00}}, {0x1102, 0x1072, 0x01010701, {48, 0, 0}},
    {0x1102, 0x1072, 0x01010601, {16, 0, 0}},            {0x1102, 0x1072, 0x01010501, {0, 0, 0}},
    {0x1103, 0x1073, 0x01010601, {31, 0, 0}},            {0x1104, 0x1074, 0x01010501, {799, 139, 0}},
    {0x1108, 0x1078, 0x01010501, {1, 0, 0}},             {0x1105, 0x1075, 0x01010501, {0, 0, 0}},
    {0x1106, 0x1077, 0x01010501, {0, 0, 0}},             {0x1107, 0x1077, 0x01010501, {0, 0, 0}},
};

DWORD capabilities(PDEV* pdev) {
  return pdev->database ? DddGetFieldValue(&pdev->database->main, 26, 4, 0) : 0;
}

bool has_capability(PDEV* pdev, DWORD bits) { return (capabilities(pdev) & bits) == bits; }

void set_number(PDEV* pdev, WORD ddmid, DWORD value) {
  WORD type = 0;
  DWORD size = 0;
  DWORD_PTR current = 0;
  if (GetDdmValue(ddmid, pdev->settings, pdev->printer_data, &type, &size, &current) != 0) return;
  SetDdmValueByType(ddmid, pdev->settings, pdev->printer_data, type, value);
}

EscapeReceiver* receiver(PDEV* pdev) {
  if (pdev->escapes) return pdev->escapes;
  auto* r = new (std::nothrow) EscapeReceiver;
  if (!r) return nullptr;
  r->pdl_version = PdevGetNumber(pdev, 1332) ? GetTargetPdlVersion(pdev) : 0x01010501;
  r->depth_feature = static_cast<DWORD>(PdevGetNumber(pdev, 4103));
  r->image_feature =
      pdev->database && DddGetFieldValue(&pdev->database->main, 5, 1, 0) == 2 ? 1 : 0;
  pdev->escapes = r;
  return r;
}

// The first feature entry that answers for `code` at this PDL version.
const Feature* find_feature(PDEV* pdev, EscapeReceiver* r, WORD code) {
  for (const Feature& f : kFeatures) {
    if (f.feature != code || f.min_version > r->pdl_version) continue;
    if (code == 0x1102 && PdevGetNumber(pdev, 1333)) continue;
    if (code == 0x1103 &&
        (!r->image_feature || (PdevGetNumber(pdev, 5202) & 0xFF) == 1 || pdev->colour_enforced))
      continue;
    return &f;
  }
  return nullptr;
}

// The print header's switches and positions of the settings copy.
bool header_item_on(PDEV* pdev, int i) { return PdevGetNumber(pdev, static_cast<WORD>(1296 + i)) == 1; }

bool print_header_flag(PDEV* pdev) {
  for (int i = 0; i < 6; ++i)
    if (header_item_on(pdev, i)) return true;
  return false;
}

// Stamps switch output suppression: mode A for sheet stamps, B for page
// stamps, both only when a stamp is named and has a text.
void suppression_modes(PDEV* pdev, bool* a, bool* b) {
  const WCHAR* name = PdevGetString(pdev, 297);
  const WCHAR* text = PdevGetString(pdev, 299);
  bool stamps = name && *name && text && *text;
  *a = stamps && PdevGetNumber(pdev, 1288) != 0;
  *b = stamps && !*a;
}

WORD printed_side_counter(PDEV* pdev) {
  const DocumentControl* d = pdev->document;
  if (!d) return 0;
  return static_cast<WORD>(d->sheet_count + ((d->state & kDocSheetOpen) ? 1 : 0));
}

float to_dots(LONG units, LONG dpi) {
  return static_cast<float>(static_cast<LONGLONG>(units) * dpi / 18432);
}

// A length in tenths of a millimetre (100 micrometres each) in 1/18432 inch.
LONG tenths_to_units(LONG tenths) { return static_cast<LONG>(static_cast<LONGLONG>(tenths) * 100 * 18432 / 25400); }

// Moves the page's imageable rectangle (left, top, right, bottom) in by
// the page's margins where they lie beyond its offsets, so that a page
// stamp keeps to the margins the job asked for. A landscape page takes its
// left edge from the bottom margin and its top from the left margin.
void move_by_page_margins(const PageState& p, LONG r[4]) {
  const PageGeometry& g = p.page;
  const LONG lo = g.left_offset, to = g.top_offset;
  if (p.orientation == 1) {
    r[0] += tenths_to_units(g.bottom - to);
    r[1] += tenths_to_units(g.left - lo);
    r[2] -= tenths_to_units(g.top - to);
    r[3] -= tenths_to_units(g.right - lo);
  } else {
    r[0] += tenths_to_units(g.left - lo);
    r[1] += tenths_to_units(g.top - to);
    r[2] -= tenths_to_units(g.right - lo);
    r[3] -= tenths_to_units(g.bottom - to);
  }
}

// The half-sheet fit of a booklet page: the scale that puts a page of the
// sheet's printable size on one half of it.
double booklet_fit_scale(double width, double height) {
  return width > 0 && height > 0 ? std::min(width / height, 0.5 * height / width) : 0;
}

// Whether the sheet is turned against the frame stamps are drawn in: the
// output paper's record is kept upright, while the page's own transform
// lays out a landscape page across. An N-up sheet is laid out upright.
bool sheet_frame_turned(const DocumentControl* d) { return d->page.orientation == 1 && d->page.nup <= 1; }

INT page_draw_info(PDEV* pdev, ULONG in_size, const void* in, ULONG out_size, void* out) {
  if (out_size != pe::kPageDrawInfoSize || !out) return -1;
  pe::PageDrawInfo info{};
  DocumentControl* d = pdev->document;
  const DWORD needed = kDocOpen | kDocOutputBegun | kDocSheetOpen;
  if (!d || (d->state & needed) != needed) {
    pe::PackPageDrawInfo(info, static_cast<BYTE*>(out));
    return 1;
  }
  const DWORD n = std::max<DWORD>(1, d->job.nup);
  if (n == 0) return -1;
  DWORD ask_only = 0;
  const bool asking = in_size == 4 && pe::ReadEscapeDword(in, in_size, &ask_only) && ask_only != 0;
  const DWORD p = d->logical_pages;
  const DWORD s = d->sheet_count;
  DWORD p2, r, s2;
  if (!asking) {
    p2 = p + 1;
    r = p2 % n;
    s2 = r == 0 ? s + 1 : s;
  } else {
    p2 = p;
    r = p % n;
    s2 = r != 0 ? s + 1 : s;
  }
  const bool page_open = (d->state & kDocPageOpen) != 0;
  const bool cell_first = r == 0 && (PdevGetNumber(pdev, 1334) == 0 || page_open);
  bool next = !asking;
  bool first = asking ? !cell_first : cell_first;
  bool mode_a = false, mode_b = false;
  suppression_modes(pdev, &mode_a, &mode_b);
  const LONG first_value = PdevGetNumber(pdev, 1286);
  if (!(mode_b && page_open && (first_value == 0 || p2 == 1))) next = false;
  if (!(d->state & kDocDrawn)) first = false;
  bool header = false;
  if (first) {
    header = print_header_flag(pdev);
    if (!(mode_a && (first_value == 0 || s2 == 1))) first = false;
  }
  info.sheetStampDue = first;
  info.pageStampDue = next;
  info.headerDue = header;
  const LONG dpi = PdevResolution(pdev);
  const PaperRecord& page = pdev->page_paper;
  const PaperRecord& sheet = pdev->output_paper;
  LONG rects[8] = {page.left, page.top, page.right, page.bottom, sheet.left, sheet.top, sheet.right, sheet.bottom};
  if (next || d->job.booklet_header) move_by_page_margins(d->page, rects);
  for (int i = 0; i < 8; ++i) info.rects[i] = to_dots(rects[i], dpi);
  float* sheet_rect = info.rects + 4;
  if (d->page.booklet_with_nup && d->second_suppressed) {
    // A header per booklet sheet is drawn on the N-up sheet that goes,
    // shrunk, on one half of the paper: its area is that half taken back
    // to the N-up sheet's scale, less the cover's share.
    const double s = booklet_fit_scale(TenthMmToDots(d->page.sheet.printable_width, dpi),
                                       TenthMmToDots(d->page.sheet.printable_height, dpi));
    if (s > 0) {
      const LONG l = static_cast<LONG>(sheet_rect[0]), t = static_cast<LONG>(sheet_rect[1]);
      const LONG r = static_cast<LONG>(sheet_rect[2]), b = static_cast<LONG>(sheet_rect[3]);
      sheet_rect[3] = static_cast<float>(l + (r - l) / s);
      sheet_rect[2] = static_cast<float>(t + ((t + b) / 2 - t) / s);
      if (d->page.booklet_cover)
        sheet_rect[2] -= static_cast<float>(TenthMmToDots(d->page.booklet_cover_value, dpi) / s);
    }
  }
  if (sheet_frame_turned(d)) {
    std::swap(sheet_rect[0], sheet_rect[1]);
    std::swap(sheet_rect[2], sheet_rect[3]);
  }
  pe::PackPageDrawInfo(info, static_cast<BYTE*>(out));
  return 1;
}

// An escape's offset in device dots, taken through whole tenths of a
// millimetre as the page geometry holds it.
double offset_dots(LONG v, LONG res) {
  return TenthMmToDots(static_cast<double>(static_cast<LONGLONG>(v) * 254 / res), res);
}

// The placement transform of `l` with its printable area moved across and
// down (dots).
INT moved_area_placement(PageLayout* l, double across, double down, LONG res, float out[6]) {
  l->area_left += across;
  l->area_right += across;
  l->area_top += down;
  l->area_bottom += down;
  Affine m;
  if (PlacementMatrix(&m, *l, 0, 0, 0, res, res, true) != 0) return -1;
  ToFloats(m, out);
  return 0;
}

// The page transform that puts a drawing at (dx, dy) device dots from where
// the page's own transform puts it: the page taken as one page on a sheet of
// its own, whose printable area is moved by the offset (as whole tenths of a
// millimetre, as the page geometry holds it).
INT escape_placement(PDEV* pdev, LONG dx, LONG dy, float out[6]) {
  PageLayout l;
  if (PageLayoutOfPdev(pdev, true, &l) != 0) return -1;
  const LONG res = PdevResolution(pdev);
  auto moved = [res](LONG v) { return offset_dots(v, res); };
  const double across = moved(dx), down = moved(-dy);
  return moved_area_placement(&l, across, down, res, out);
}

// The transform of the N-up sheet of a booklet page taken as one page of
// its own, moved by (dx, dy) device dots: across and down on an upright
// sheet, down and across on a turned one.
INT booklet_sheet_placement(PDEV* pdev, LONG dx, LONG dy, bool turned, float out[6]) {
  PageLayout l;
  if (PageLayoutOfPdev(pdev, false, &l) != 0) return -1;
  const LONG res = PdevResolution(pdev);
  l.page_width = l.sheet_width;
  l.page_height = l.sheet_height;
  l.printable_left = l.area_left;
  l.printable_top = l.area_top;
  l.printable_right = l.area_right;
  l.printable_bottom = l.area_bottom;
  l.margin_left = l.area_left;
  l.margin_top = l.area_top;
  l.margin_right = l.sheet_width - l.area_right;
  l.margin_bottom = l.sheet_height - l.area_bottom;
  l.pages_per_sheet = 1;
  l.columns = l.rows = 1;
  l.halving = 0;
  l.cells_turned = 0;
  l.cell_turn_direction = 0;
  l.landscape = 0;
  l.nup_order = 0;
  auto moved = [res](LONG v) { return offset_dots(v, res); };
  const double across = turned ? moved(dy) : moved(dx), down = turned ? moved(dx) : moved(-dy);
  return moved_area_placement(&l, across, down, res, out);
}

// The width and height (dots) of a booklet page's N-up sheet: the page
// scaled up from its half sheet, less the cover's share across.
void booklet_sheet_size(const PageState& p, LONG res, double* width, double* height) {
  const double w = TenthMmToDots(p.page.width, res), h = TenthMmToDots(p.page.height, res);
  const double s = booklet_fit_scale(w, h);
  const double k = s > 0 ? 1 / s : 1;
  *width = h * 0.5 * k;
  *height = w * k;
  if (p.booklet_cover) *width -= k * TenthMmToDots(p.booklet_cover_value, res);
}

// Writes the page transform through the page records with the given
// transform flags set for this write alone (the render plug-in's flag is
// added while it takes the page).
INT flagged_page_transform(PDEV* pdev, const float m[6], DWORD flags) {
  DocumentControl* d = pdev->document;
  if (d->render_plugin) flags |= 0x40;
  const DWORD saved = d->rec.word;
  d->rec.word |= flags;
  const INT r = RecordOrSetPageTransform(pdev, m);
  d->rec.word = saved;
  return r;
}

// 0x5004: the origin of the stamp or header text drawn next.
INT stamp_origin(PDEV* pdev, LONG x, LONG y) {
  if (EnsurePageStarted(pdev) != 0) return -1;
  INT result = FlushQueuedImages(pdev, TRUE) == 0 ? 1 : -1;
  DocumentControl* d = pdev->document;
  if (!d) return -1;
  bool mode_a = false, mode_b = false;
  suppression_modes(pdev, &mode_a, &mode_b);
  const bool booklet_nup = d->page.booklet_with_nup != 0;
  const bool turned = sheet_frame_turned(d);
  const bool sheet_stamp = booklet_nup && mode_a && d->suppressed;
  float m[6];
  if (sheet_stamp) {
    // The stamp goes over the whole N-up sheet of the booklet page: its
    // origin and a clip of that sheet, written as the sheet's transform.
    d->suppression_data = 1;
    if (booklet_sheet_placement(pdev, 0, 0, turned, m) != 0 || flagged_page_transform(pdev, m, 0x80 | 0x100) != 0)
      result = -1;
    double w = 0, h = 0;
    booklet_sheet_size(d->page, PdevResolution(pdev), &w, &h);
    if (turned) std::swap(w, h);
    const RECTL clip{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
    if (PdlWriter_ResetClip(pdev->writer) != 0 || PdlWriter_SetClipRect(pdev->writer, clip) != 0) result = -1;
    d->suppression_data = 0;
  }
  const bool on_sheet = booklet_nup && (sheet_stamp || d->second_suppressed);
  const INT placed = on_sheet ? booklet_sheet_placement(pdev, x, y, turned, m) : escape_placement(pdev, x, y, m);
  if (placed != 0) return -1;
  INT written;
  if (booklet_nup && d->second_suppressed) written = flagged_page_transform(pdev, m, 0x80);
  else if (d->render_plugin) written = flagged_page_transform(pdev, m, 0);
  else written = PdlWriter_SetMatrix(pdev->writer, m);
  if (written != 0) result = -1;
  if (sheet_stamp) {
    if (RecordOrEmitAR(pdev) != 0) result = -1;
  } else if (!d->job.booklet_header || !mode_a) {
    pdev->clip_state = kClipNone;
    if (PdlWriter_ResetClip(pdev->writer) != 0) result = -1;
  }
  return result;
}

// 0x5003 and 0x5008 with 1: the stamp and header drawing modes. A sheet
// stamp of a booklet header, a booklet stamp or an N-up page stamp is drawn
// with the page's matrix kept aside and a clip of the logical page; the
// header puts that matrix back.
INT enter_stamp_mode(PDEV* pdev, EscapeReceiver* r) {
  DocumentControl* d = pdev->document;
  if (!d) return -1;
  bool mode_a = false, mode_b = false;
  suppression_modes(pdev, &mode_a, &mode_b);
  const bool booklet = d->job.booklet && PdevGetNumber(pdev, 321) == 2;
  const DWORD sheet_open = kDocOpen | kDocOutputBegun | kDocSheetOpen;
  INT result = 1;
  if (pdev->writer && (d->state & sheet_open) == sheet_open &&
      ((d->job.booklet_header && mode_a) || (booklet && mode_b) || (d->job.nup > 1 && mode_b))) {
    std::memcpy(r->saved_matrix, pdev->writer->cache.matrix, sizeof r->saved_matrix);
    r->has_saved_matrix = true;
    const LONG res = PdevResolution(pdev);
    LONG w = d->page.page.printable_width * res / 254, h = d->page.page.printable_height * res / 254;
    if (d->page.orientation == 1) std::swap(w, h);
    if (PdlWriter_ResetClip(pdev->writer) != 0 || PdlWriter_SetClipRect(pdev->writer, RECTL{0, 0, w, h}) != 0)
      result = -1;
    pdev->clip_state = kClipNone;
  }
  if (SetOutputSuppression(pdev, 1, 0) != 0) result = -1;
  return result;
}

INT enter_header_mode(PDEV* pdev, EscapeReceiver* r) {
  DocumentControl* d = pdev->document;
  if (!d) return -1;
  bool mode_a = false, mode_b = false;
  suppression_modes(pdev, &mode_a, &mode_b);
  INT result = 1;
  if (d->job.booklet_header && mode_a && r->has_saved_matrix && RecordOrSetPageTransform(pdev, r->saved_matrix) != 0)
    result = -1;
  if (SetOutputSuppression(pdev, 0, 1) != 0) result = -1;
  return result;
}

// 0x5007: the header texts, each kept in a slot of its own.
INT store_header_parts(PDEV* pdev, EscapeReceiver* r, ULONG in_size, const void* in) {
  pe::PrintHeaderInfo info;
  if (!pe::UnpackPrintHeaderInfo(in, in_size, &info)) return -1;
  r->has_header_parts = true;
  if (!info.userName.empty()) r->header_items[0] = info.userName;
  if (!info.jobOwner.empty()) {
    // A job-owner setting stands in for the text when the job names one.
    const bool alt = PdevGetNumber(pdev, 5163) != 0;
    const WCHAR* owner = nullptr;
    if (has_capability(pdev, kCapOwnerOverride) && PdevGetNumber(pdev, alt ? 5165 : 5164) == 1)
      owner = PdevGetString(pdev, 5174);
    else if (PdevGetNumber(pdev, alt ? 5178 : 5127) == 7)
      owner = PdevGetString(pdev, alt ? 5150 : 5121);
    r->header_items[1] = owner && *owner ? std::u16string(owner).substr(0, 31) : info.jobOwner;
  }
  if (!info.documentName.empty()) r->header_items[2] = info.documentName;
  if (!info.date.empty()) r->header_items[4] = info.date;
  if (!info.time.empty()) r->header_items[5] = info.time.substr(0, 6);
  return 1;
}

// 0x5006: the header as the graphics driver holds it now.
INT answer_header_info(PDEV* pdev, EscapeReceiver* r, ULONG out_size, void* out) {
  if (out_size != pe::kPrintHeaderInfoSize || !out) return -1;
  pe::PrintHeaderInfo info{};
  if (!r->has_header_parts) {
    pe::PackPrintHeaderInfo(info, static_cast<BYTE*>(out));
    return -1;
  }
  info.anyItemOn = print_header_flag(pdev) ? 1 : 0;
  for (int i = 0; i < 6; ++i) {
    info.positions[i] = header_item_on(pdev, i) ? static_cast<WORD>(PdevGetNumber(pdev, static_cast<WORD>(351 + i)))
                                                : pe::kHeaderItemHidden;
  }
  auto item = [&](int i) { return info.positions[i] == pe::kHeaderItemHidden ? std::u16string() : r->header_items[i]; };
  info.userName = item(0);
  info.jobOwner = item(1);
  if (info.positions[2] != pe::kHeaderItemHidden) info.documentName = r->document_name;
  info.headerNumber = printed_side_counter(pdev);
  info.date = item(4);
  info.time = item(5);
  pe::PackPrintHeaderInfo(info, static_cast<BYTE*>(out));
  return 1;
}

INT paper_region(PDEV*, EscapeReceiver* r, ULONG in_size, const void* in) {
  BYTE region = 0;
  if (!in || in_size < 1) return -1;
  std::memcpy(&region, in, 1);
  if (region != 1 && region != 2) return -1;
  r->paper_region = region;
  return 1;
}

INT copy_blob(std::vector<BYTE>* blob, ULONG size, const void* in) {
  if (size && !in) return -1;
  try {
    blob->assign(static_cast<const BYTE*>(in), static_cast<const BYTE*>(in) + size);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 1;
}

// 0x5025: (block size + 4) x count + 16 bytes as the set's own head says,
// refused when that does not fit 32 bits or reaches past what arrived.
INT store_pjl_set(EscapeReceiver* r, ULONG in_size, const void* in) {
  if (!in || in_size < pe::kPjlHeaderSetHeadSize) return -1;
  std::vector<pe::PjlHeader> headers;
  if (!pe::UnpackPjlHeaderSet(in, in_size, &headers)) return -1;
  const auto* p = static_cast<const BYTE*>(in);
  const std::uint64_t count = load_le32(p), block = load_le32(p + 4);
  const std::uint64_t size = (block + 4) * count + pe::kPjlHeaderSetHeadSize;
  if (copy_blob(&r->pjl_set, static_cast<ULONG>(size), in) != 1) return -1;
  store_le32(r->pjl_set.data() + 8, pe::kPjlHeaderSetHeadSize);
  store_le32(r->pjl_set.data() + 12, static_cast<DWORD>(pe::kPjlHeaderSetHeadSize + block * count));
  return 1;
}

INT private_escape(PDEV* pdev, EscapeReceiver* r, ULONG code, ULONG in_size, PVOID in, ULONG out_size,
                   PVOID out) {
  const bool ignoring = (r->transfer_word & kIgnoring) != 0;
  DocumentControl* d = pdev->document;
  switch (code) {
    case pe::DRVESC_GET_PAGE_INFO: return page_draw_info(pdev, in_size, in, out_size, out);
    case pe::DRVESC_GET_DEVMODE:
      if (out_size != pe::kDriverDevmodeSize || !out) return -1;
      std::memcpy(out, pdev->settings, kDriverDevmodeBytes);
      return 1;
    case pe::DRVESC_STAMP_DRAW_MODE:
    case pe::DRVESC_HEADER_DRAW_MODE: {
      const bool stamp = code == pe::DRVESC_STAMP_DRAW_MODE;
      if (out_size == 4 && out)
        pe::WriteEscapeDword(out, !d ? 0 : stamp ? (IsOutputSuppressed(pdev) ? 1 : 0) : d->second_suppressed);
      DWORD on = 0;
      if (in_size != 4 || !pe::ReadEscapeDword(in, in_size, &on)) return 1;
      if (on == 1) return stamp ? enter_stamp_mode(pdev, r) : enter_header_mode(pdev, r);
      return SetOutputSuppression(pdev, 0, 0) == 0 ? 1 : -1;
    }
    case pe::DRVESC_STAMP_OFFSET: {
      pe::StampOffset offset{};
      if (!pe::UnpackStampOffset(in, in_size, &offset)) return 1;
      return stamp_origin(pdev, offset.x, offset.y);
    }
    case pe::DRVESC_SET_DEVMODE:
      if (in_size != pe::kDriverDevmodeSize || !in) return -1;
      if (!ignoring) std::memcpy(pdev->settings, in, kDriverDevmodeBytes);
      return 1;
    case pe::DRVESC_GET_HEADER_INFO: return answer_header_info(pdev, r, out_size, out);
    case pe::DRVESC_SET_HEADER_INFO:
      if (in_size != pe::kPrintHeaderInfoSize || !in) return -1;
      return ignoring ? 1 : store_header_parts(pdev, r, in_size, in);
    case pe::DRVESC_QUERY_FAX_JOB:
      if (out_size < 4 || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      pe::WriteEscapeDword(out, pdev->device_class_flag ? 1 : 0);
      return 1;
    case 0x500A:
      if (out_size < 4 || !out) return -1;
      pe::WriteEscapeDword(out, d ? d->sheet_count : 0);
      return 1;
    case pe::DRVESC_SET_SETTINGS_BLOCK:
      if (in_size != pe::kSettingsBlockSize || !in) return -1;
      if (!ignoring) std::memcpy(pdev->printer_data, in, kPrinterDataBytes);
      return 1;
    case pe::DRVESC_GET_SETTINGS_BLOCK:
      if (out_size != pe::kSettingsBlockSize || !out) return -1;
      std::memcpy(out, pdev->printer_data, kPrinterDataBytes);
      return 1;
    case pe::DRVESC_GET_HEADER_WORD:
      if (out_size < 4 || !out) return -1;
      pe::WriteEscapeDword(out, printed_side_counter(pdev));
      return 1;
    case pe::DRVESC_SET_PAGE_PAPER: {
      pe::PagePaperRecord record{};
      if (!pe::UnpackPagePaperRecord(in, in_size, &record)) return -1;
      r->page_paper_id = record.paperId;
      if (record.paperId == pdev->margins[0].paper_id) {
        const DcPaperRecord& m = pdev->margins[0];
        const WORD own[4] = {m.left, m.right, m.top, m.bottom};
        std::copy(own, own + 4, r->page_margins);
      } else {
        std::copy(record.margins, record.margins + 4, r->page_margins);
      }
      r->has_page_paper = true;
      return 1;
    }
    case pe::DRVESC_ANNOUNCE_DOCUMENT: pdev->announced = 1; return 1;
    case pe::DRVESC_TRANSFER_MARK: {
      WORD mark = 0;
      if (!pe::ReadEscapeWord(in, in_size, &mark)) return 1;
      if (mark == 0) {
        const bool open = d && (d->state & kDocOpen);
        if (!open || IsJobOutputBegun(pdev)) r->transfer_word |= kIgnoring;
      } else if (mark == 1) {
        r->transfer_word = (r->transfer_word & ~kIgnoring) | kTransferEnded;
      }
      return 1;
    }
    case pe::DRVESC_SET_DOC_NAME: {
      std::u16string name;
      if (!pe::UnpackDocumentName(in, in_size, &name)) return -1;
      if (ignoring) return 1;
      std::memset(r->document_name, 0, sizeof r->document_name);
      std::copy(name.begin(), name.end(), r->document_name);
      if (d) std::memcpy(d->document_name, r->document_name, sizeof d->document_name);
      return 1;
    }
    case pe::DRVESC_SET_FAX_ADDRESS_DATA:
      if (!in) return 0;
      if (in_size == 0) return -1;
      // A device that is no fax device takes the data without effect.
      if (ignoring || !pdev->device_class_flag) return 1;
      return ReplaceFaxJobContext(pdev, static_cast<const BYTE*>(in), in_size) == 0 ? 1 : -1;
    case pe::DRVESC_SET_PJL_HEADERS:
      if (!in || in_size < pe::kPjlHeaderSetHeadSize) return -1;
      return ignoring ? 1 : store_pjl_set(r, in_size, in);
    case pe::DRVESC_GET_JOB_BLOCK: {
      if (out_size != pe::kJobBlockSize || !out) return -1;
      pe::JobBlock block{r->protocol_on, r->image_mode, r->image_sub_mode};
      pe::PackJobBlock(block, static_cast<BYTE*>(out));
      return 1;
    }
    case pe::DRVESC_SET_JOB_BLOCK: {
      pe::JobBlock block{};
      if (!pe::UnpackJobBlock(in, in_size, &block)) return -1;
      r->protocol_on = block.protocolSwitch;
      r->image_mode = block.imageMode;
      r->image_sub_mode = block.imageSubMode;
      return 1;
    }
    case pe::DRVESC_QUERY_FIRST_START: {
      if (out_size != 4 || !out) return -1;
      const bool started = d && (d->state & kDocOpen);
      if (pdev->announced) {
        pe::WriteEscapeDword(out, started ? 0 : 1);
        return 1;
      }
      pe::WriteEscapeDword(out, started ? 1 : 0);
      return started ? 1 : -1;
    }
    case pe::DRVESC_SET_WARNING_CONFIRMED:
      if (in_size != 4 || !pe::ReadEscapeDword(in, in_size, &r->warning_confirmed)) return -1;
      return 1;
    case pe::DRVESC_SET_SEALMARK_SETUP:
      if (in_size != pe::kSealmarkSetupSize || !in) return -1;
      std::memcpy(r->sealmark_setup, in, pe::kSealmarkSetupSize);
      return 1;
    case pe::DRVESC_SET_SEALMARK_SETTINGS: return ignoring ? -1 : copy_blob(&r->sealmark_settings, in_size, in);
    case pe::DRVESC_SET_SEALMARK_EXTRA: return ignoring ? -1 : copy_blob(&r->stored_block, in_size, in);
    case pe::DRVESC_SET_SPINFO: return ignoring ? -1 : copy_blob(&r->spinfo, in_size, in);
    case 0x5041: return ignoring ? -1 : copy_blob(&r->blob5041, in_size, in);
    case pe::DRVESC_SET_COPY_JOB_IDS: return ignoring ? -1 : copy_blob(&r->copy_ids, in_size, in);
    case pe::DRVESC_GET_SEALMARK_DATA:
      return pe::AnswerSealmarkDataRequest(r->stored_block.data(), static_cast<DWORD>(r->stored_block.size()),
                                           in_size, in, out_size, out);
    case 0x5042:
      return pe::AnswerSealmarkDataRequest(r->blob5041.data(), static_cast<DWORD>(r->blob5041.size()), in_size, in,
                                           out_size, out);
    case pe::DRVESC_SET_SEALMARK_COUNTS: {
      pe::SealmarkCounts counts{};
      if (!pe::UnpackSealmarkCounts(in, in_size, &counts)) return -1;
      r->sealmark_active = counts.active;
      r->sealmark_outputs = counts.outputs;
      return 1;
    }
    case 0x5040: {
      if (out_size == 4 && out) pe::WriteEscapeDword(out, d ? d->keep_page_state : 0);
      DWORD value = 0;
      if (in_size == 4 && pe::ReadEscapeDword(in, in_size, &value)) SetKeepPageState(pdev, value == 1);
      return 1;
    }
    case pe::DRVESC_GET_JOB_ID:
      if (out_size < 4 || !out) return -1;
      pe::WriteEscapeDword(out, pdev->job_id);
      return 1;
    case pe::DRVESC_ADDED_PAGE_MARK: {
      if (out_size == 4 && out) pe::WriteEscapeDword(out, r->page_option);
      DWORD value = 0;
      if (in_size == 4 && pe::ReadEscapeDword(in, in_size, &value)) r->page_option = value;
      return 1;
    }
    case pe::DRVESC_SET_PAPER_FAMILY: return paper_region(pdev, r, in_size, in);
    default: return 0;
  }
}

// ---- the private protocol of outside programs -----------------------------------

INT protocol_control(PDEV* pdev, EscapeReceiver* r, ULONG in_size, const void* in, ULONG out_size, void* out) {
  if (!in || in_size < 8) return -1;
  const auto* p = static_cast<const BYTE*>(in);
  if (load_le32(p) != 8) return -4;
  const WORD request = load_le16(p + 4), feature = load_le16(p + 6);
  switch (request) {
    case 1: r->protocol_on = 1; return 1;
    case 2: r->protocol_on = 0; return 1;
    case 3: {
      if (!out) return -1;
      if (out_size != 18 && (out_size < 4 || load_le32(out) != 18)) return -4;
      if (out_size < 18) return -4;
      const Feature* f = find_feature(pdev, r, feature);
      if (!f) return -3;
      auto* o = static_cast<BYTE*>(out);
      DWORD first = f->values[0];
      if (feature == 0x1104 && r->depth_feature == 0) first &= ~0xCu;
      store_le16(o + 4, f->reply);
      store_le32(o + 6, first);
      store_le32(o + 10, f->values[1]);
      store_le32(o + 14, f->values[2]);
      return 1;
    }
    case 0x6585:
      if (!out || out_size < 4) return -1;
      std::memcpy(out, "EPZQ", 4);
      return 1;
    default: return -2;
  }
}

// 0x1072: one piece of a placed image, already coded by the sender. The
// answer is the transfer's id; a piece out of its transfer or place, or one
// that would run past the announced total, is refused (-4) and changes
// nothing. Only plain copies are taken (raster operation SRCCOPY).
INT image_transfer(PDEV* pdev, EscapeReceiver* r, ULONG in_size, const void* in) {
  if (!r->protocol_on || !find_feature(pdev, r, 0x1102)) return 0;
  if (!in || in_size < kXferHeaderBytes) return -1;
  const BYTE* block = static_cast<const BYTE*>(in);
  // Items are read only within the bytes that arrived.
  DWORD size = load_le32(block + kXferBlockSize);
  if (size == 0 || size > in_size) size = in_size;
  const DWORD desc_at = load_le32(block + kXferDescription);
  if (desc_at == 0 || desc_at > size || size - desc_at < kDescBytes) return -1;
  if (load_le32(block + desc_at + kDescRop) != SRCCOPY) return 0;
  if (EnsurePageStarted(pdev) != 0) return -1;

  const WORD id = load_le16(block + kXferId);
  const DWORD total = load_le32(block + kXferTotal);
  const DWORD offset = load_le32(block + kXferPieceOffset);
  const DWORD length = load_le32(block + kXferPieceLength);
  if (r->transfer_id == 0) {
    if (offset != 0 || id != 0) return -4;
    r->transfer_counter = r->transfer_counter >= 0x3FFF ? 1 : static_cast<WORD>(r->transfer_counter + 1);
    r->transfer_id = r->transfer_counter;
    r->transfer_total = total;
    r->transfer_received = 0;
  } else if (id != r->transfer_id) {
    // A piece of another transfer ends the open one, which the drawing then
    // reports as broken.
    r->transfer_id = 0;
    return -4;
  } else if (offset != r->transfer_received || length > r->transfer_total - r->transfer_received) {
    return -4;
  }
  if (FlushQueuedImages(pdev, TRUE) != 0) return -1;
  const INT drawn = RenderPlacedObject(pdev, block, size);
  if (drawn != 0) return drawn;
  const WORD answer = r->transfer_id;
  r->transfer_received += length;
  if (r->transfer_received == r->transfer_total) r->transfer_id = 0;
  // The page carries a colour image from here on.
  if (DocumentControl* d = pdev->document; d && d->page_colour_mode == 0) SetPageColourMode(pdev, 2);
  DisablePageColourSet(pdev);
  return answer;
}

INT image_mode(PDEV* pdev, EscapeReceiver* r, ULONG in_size, const void* in) {
  if (!r->protocol_on || !find_feature(pdev, r, 0x1103)) return 0;
  if (!in || in_size < 2) return -1;
  const WORD request = load_le16(in);
  if (request < 0x1201 || request > 0x1205) return -3;
  const bool started = pdev->flags & kPdevDocStarted;
  switch (request) {
    case 0x1201:
      if (started) return -6;
      r->image_mode = 1;
      r->image_sub_mode = 0;
      return 1;
    case 0x1202:
      if (started) return -6;
      r->image_mode = 0;
      return 1;
    default:
      if (!r->image_mode) return -6;
      r->image_sub_mode = request == 0x1203 ? 1 : request == 0x1204 ? 2 : 0;
      return 1;
  }
}

INT duplex_and_depth(PDEV* pdev, EscapeReceiver* r, ULONG in_size, const void* in, ULONG out_size, void* out) {
  if (!r->protocol_on || !find_feature(pdev, r, 0x1104)) return 0;
  if (!in || in_size < 8) return -1;
  const auto* p = static_cast<const BYTE*>(in);
  if (load_le32(p) != 8) return -4;
  const DWORD word = load_le32(p + 4);
  const WORD request = static_cast<WORD>(word & 0xFFFF), value = static_cast<WORD>(word >> 16);
  switch (request) {
    case 0x1301: {
      if (!out || out_size < 2) return -4;
      const LONG duplex = PdevGetNumber(pdev, 16);
      if (duplex < 1 || duplex > 3) return -1;
      store_le16(out, static_cast<WORD>(0x1310 + duplex));
      return 1;
    }
    case 0x1302:
      if (value == 0x1311) {
        r->overrides[5] = 1;
      } else if (value == 0x1312 || value == 0x1313) {
        if (!(static_cast<DWORD>(PdevGetNumber(pdev, 6)) & 0x1000)) return -6;  // dmFields lacks DM_DUPLEX
        r->overrides[5] = static_cast<SHORT>(value - 0x1310);
      } else if (value == 0x1314) {
        r->overrides[5] = -1;
      } else {
        return -5;
      }
      return 1;
    case 0x1303: {
      if (!out || out_size < 2) return -4;
      if (PdevGetNumber(pdev, 321) != 0) {
        store_le16(out, 0);
        return 1;
      }
      const LONG depth = PdevGetNumber(pdev, 295);
      if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16 && depth != 32) return -1;
      store_le16(out, static_cast<WORD>(depth));
      return 1;
    }
    case 0x1304: {
      static constexpr WORD kDepths[] = {1, 2, 4, 8, 16, 32};
      static constexpr SHORT kKinds[] = {0, 1, 3, 3, 3, 3};
      if (value == 0) {
        for (int i = 0; i < 5; ++i) r->overrides[i] = -1;
        return 1;
      }
      for (int i = 0; i < 6; ++i) {
        if (kDepths[i] != value) continue;
        r->overrides[0] = static_cast<SHORT>(value);
        r->overrides[1] = kKinds[i];
        r->overrides[2] = 1;
        r->overrides[4] = 0;
        return 1;
      }
      return -5;
    }
    default: return -3;
  }
}

// 0x1078: DWORD n, then n bytes that must all have arrived.
INT store_block(EscapeReceiver* r, ULONG in_size, const void* in) {
  if (!r->protocol_on) return 0;
  if (!in || in_size < 4) return -1;
  const std::uint64_t n = load_le32(in);
  if (n + 4 > 0x10000) return -4;
  if (n + 4 > in_size) return -4;
  if (n >= 1 && n <= 3) {
    r->stored_block.clear();
    return -1;
  }
  return copy_blob(&r->stored_block, static_cast<ULONG>(n), static_cast<const BYTE*>(in) + 4);
}

// QUERYESCSUPPORT's answer for `code`.
ULONG query_support(PDEV* pdev, DWORD code) {
  const bool valid = IsValidPdev(pdev);
  EscapeReceiver* r = valid ? receiver(pdev) : nullptr;
  switch (code) {
    case SETCOPYCOUNT: return valid && PdevGetNumber(pdev, 1333) ? 0 : 999;
    case PASSTHROUGH: return valid && PdevGetNumber(pdev, 1358) ? 1 : 0;
    case GETTECHNOLOGY: return 0x1071;
    case 0x1071: return 1;
    case 0x1072:
    case 0x1073:
    case 0x1074:
    case 0x1078: return r && r->protocol_on ? 1 : 0;
    default: return pe::FindPrivateEscape(code) || code == 0x500A || code == 0x5040 || code == 0x5041 ||
                            code == 0x5042
                        ? 1
                        : 0;
  }
}

INT set_copy_count(PDEV* pdev, ULONG in_size, const void* in, ULONG out_size, void* out) {
  DWORD wanted = 0;
  if (PdevGetNumber(pdev, 1333) || !pe::ReadEscapeDword(in, in_size, &wanted)) return -1;
  const DWORD limit = pdev->database ? DddGetFieldValue(&pdev->database->main, 4, 2, 0) & 0xFFFF : 0;
  DWORD copies = limit != 0 ? std::min(wanted, limit) : wanted;
  if (static_cast<LONG>(copies) < 1) copies = 1;
  if (out && out_size >= 4) pe::WriteEscapeDword(out, copies);
  set_number(pdev, 12, copies);
  pdev->copies = static_cast<LONG>(copies);
  return 1;
}

}  // namespace

ULONG ReceiveEscape(SURFOBJ* pso, ULONG code, ULONG in_size, PVOID in, ULONG out_size, PVOID out) {
  if (!pso) return static_cast<ULONG>(-1);
  PDEV* pdev = PdevOf(pso);
  if (code == QUERYESCSUPPORT) {
    DWORD asked = 0;
    if (!in || !pe::ReadEscapeDword(in, in_size, &asked)) return static_cast<ULONG>(-1);
    return query_support(pdev, asked & 0xFFFF);
  }
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  EscapeReceiver* r = receiver(pdev);
  if (!r) return static_cast<ULONG>(-1);
  INT result = 0;
  switch (code) {
    case SETCOPYCOUNT: result = set_copy_count(pdev, in_size, in, out_size, out); break;
    case PASSTHROUGH: result = 0; break;
    case GETTECHNOLOGY:
      if (!in) return 0;
      if (out_size < 4 || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      std::memcpy(out, "VKM", 4);
      result = 1;
      break;
    case 0x1071: result = protocol_control(pdev, r, in_size, in, out_size, out); break;
    case 0x1072: result = image_transfer(pdev, r, in_size, in); break;
    case 0x1073: result = image_mode(pdev, r, in_size, in); break;
    case 0x1074: result = duplex_and_depth(pdev, r, in_size, in, out_size, out); break;
    case 0x1078: result = store_block(r, in_size, in); break;
    default: result = private_escape(pdev, r, code, in_size, in, out_size, out); break;
  }
  return static_cast<ULONG>(result);
}

BOOL GetReceivedPjlHeader(PDEV* pdev, UINT copy, std::string* text, DWORD* bktp_offset) {
  if (!pdev || !pdev->escapes || pdev->escapes->pjl_set.empty()) return FALSE;
  std::vector<pe::PjlHeader> headers;
  const auto& set = pdev->escapes->pjl_set;
  if (!pe::UnpackPjlHeaderSet(set.data(), static_cast<DWORD>(set.size()), &headers) || headers.empty()) return FALSE;
  const pe::PjlHeader& h = headers[std::min<std::size_t>(copy, headers.size() - 1)];
  *text = h.text;
  *bktp_offset = h.bookletOffset;
  return TRUE;
}

const std::vector<BYTE>* GetReceivedFaxAddresses(PDEV* pdev) {
  return pdev && pdev->escapes && !pdev->escapes->fax_addresses.empty() ? &pdev->escapes->fax_addresses : nullptr;
}

BOOL KeepFaxAddresses(PDEV* pdev, const BYTE* block, DWORD size) {
  if (!pdev || !pdev->escapes) return FALSE;
  if (block) pdev->escapes->fax_addresses.assign(block, block + size);
  else pdev->escapes->fax_addresses.clear();
  return TRUE;
}

BOOL GetReceivedPagePaper(PDEV* pdev, WORD* paper_id, WORD margins[4]) {
  if (!pdev || !pdev->escapes || !pdev->escapes->has_page_paper) return FALSE;
  *paper_id = pdev->escapes->page_paper_id;
  std::copy(pdev->escapes->page_margins, pdev->escapes->page_margins + 4, margins);
  return TRUE;
}

void CarryEscapeReceiver(PDEV* old_pdev, PDEV* new_pdev) {
  if (!old_pdev || !new_pdev || !old_pdev->escapes) return;
  FreeEscapeReceiver(new_pdev);
  new_pdev->escapes = old_pdev->escapes;
  old_pdev->escapes = nullptr;
}

void FreeEscapeReceiver(PDEV* pdev) {
  if (!pdev) return;
  delete pdev->escapes;
  pdev->escapes = nullptr;
}

}  // namespace morva::gfx
