// JobSettings and PageState: the job's settings read once, by setting id,
// from the PDEV's settings copy and turned into the decisions document and
// page control needs while it produces pages.
#include "output/job_settings.h"

#include <algorithm>
#include <cstring>

#include "settings/database/ddd_queries.h"
#include "settings/gfx/graphics_module.h"
#include "win/sysinfo.h"

namespace morva::gfx {

namespace {

bool is_set(PDEV* pdev, WORD id) { return PdevGetNumber(pdev, id) != 0; }
bool is_one(PDEV* pdev, WORD id) { return PdevGetNumber(pdev, id) == 1; }
bool non_empty(PDEV* pdev, WORD id) {
  const WCHAR* s = PdevGetString(pdev, id);
  return s && *s;
}

WORD to_tenths(LONG units) {
  return static_cast<WORD>((static_cast<ULONGLONG>(static_cast<DWORD>(units)) * 254 + 9216) / 18432);
}

struct CapabilityReader {
  DeviceCapabilityBits bits{};
  explicit CapabilityReader(PDEV* pdev) {
    if (!LoadCapabilityBits(pdev->database, &bits)) bits = {};
  }
  bool has(DWORD id) const { return TestCapabilityBit(&bits, id) != FALSE; }
};

// Geometry of a paper record: size, printable area from the imageable
// area, centred offsets and the margins around it.
void geometry_of(const PaperRecord& r, bool swap, PageGeometry* g) {
  std::memset(g, 0, sizeof *g);
  WORD w = to_tenths(r.width), h = to_tenths(r.height);
  WORD pw = to_tenths(r.right - r.left), ph = to_tenths(r.bottom - r.top);
  if (swap) {
    std::swap(w, h);
    std::swap(pw, ph);
  }
  if (pw > w) pw = w;
  if (ph > h) ph = h;
  g->width = w;
  g->height = h;
  g->printable_width = pw;
  g->printable_height = ph;
  g->left_offset = static_cast<WORD>((w - pw + 1) / 2);
  g->top_offset = static_cast<WORD>((h - ph + 1) / 2);
  g->left = g->left_offset;
  g->right = static_cast<WORD>(w - pw - g->left_offset);
  g->top = g->top_offset;
  g->bottom = static_cast<WORD>(h - ph - g->top_offset);
  g->flag = 1;
}

void edge_to_edge(PageGeometry* g) {
  g->left_offset = g->top_offset = 0;
  g->printable_width = g->width;
  g->printable_height = g->height;
}

}  // namespace

DWORD GetTargetPdlVersion(PDEV* pdev) {
  DWORD v = static_cast<DWORD>(PdevGetNumber(pdev, 8205));
  if (v > kPdlVersionMax) return kPdlVersionMax;
  if (v < kPdlVersionMin) return kPdlVersionMin;
  return v;
}

BOOL IsPdlVersionAtLeast(PDEV* pdev, DWORD version) { return IsVersionAtLeast(GetTargetPdlVersion(pdev), version); }

BOOL HasCapability(PDEV* pdev, DWORD id, BOOL* present) {
  DeviceCapabilityBits bits{};
  if (!pdev || !LoadCapabilityBits(pdev->database, &bits)) return FALSE;
  if (present) *present = TestCapabilityBit(&bits, id);
  return TRUE;
}

INT FillJobSettings(PDEV* pdev, JobSettings* job) {
  std::memset(job, 0, sizeof *job);
  INT r = 0;
  CapabilityReader cap(pdev);
  DWORD version = GetTargetPdlVersion(pdev);
  auto at_least = [&](DWORD v) { return IsVersionAtLeast(version, v) != FALSE; };
  job->pdl_version = version;
  OSVERSIONINFOW os{};
  os.dwOSVersionInfoSize = sizeof os;
  if (GetVersionExW(&os)) {
    job->os_major = static_cast<WORD>(os.dwMajorVersion);
    job->os_minor = static_cast<WORD>(os.dwMinorVersion);
  }
  job->copies = static_cast<WORD>(PdevGetNumber(pdev, 12));
  job->collate = is_one(pdev, 18);
  job->setting_1320 = is_set(pdev, 1320);
  job->capability_40000 = cap.has(0x40000);
  LONG type = PdevGetNumber(pdev, 334);
  job->job_type = type >= 1 && type <= 3 ? static_cast<DWORD>(type) : 0;
  const bool type3_special = cap.has(0xFFFF002A) && job->job_type == 3;

  // Colour.
  job->setting_1289 = is_set(pdev, 1289);
  switch (PdevGetNumber(pdev, 270)) {
    case 1: job->colour_mode = 1; break;
    case 2: job->colour_mode = 2; break;
    case 3: job->colour_mode = job->setting_1289 ? 0 : 2; break;
    default: job->colour_mode = 0; break;
  }
  job->device_colour_override = is_set(pdev, 4129) && PdevGetNumber(pdev, 5153) == 1 && job->colour_mode == 0;
  DWORD override = static_cast<DWORD>(PdevGetNumber(pdev, 5126));
  job->override_value = override & 0xFF;
  job->override_kind = (override >> 8) & 0xF;
  if (job->override_kind > 2) job->device_colour_override = 0;

  // Duplex and N-up.
  // A device without two-sided printing leaves the setting 0.
  switch (PdevGetNumber(pdev, 16)) {
    case 0:
    case 1: job->duplex = 1; break;
    case 2:
    case 3: job->duplex = 2; break;
    default: r = -1; break;
  }
  LONG nup = PdevGetNumber(pdev, 295);
  job->nup = static_cast<WORD>(nup == 2 || nup == 4 || nup == 8 || nup == 16 || nup == 32 ? nup : 1);

  // Tiling or booklet.
  LONG layout = PdevGetNumber(pdev, 321);
  job->tiling = layout == 1;
  if (job->tiling) {
    switch (PdevGetNumber(pdev, 296)) {
      case 0x0102: job->tiles_across = 2, job->tiles_down = 1; break;
      case 0x0103: job->tiles_across = 1, job->tiles_down = 3; break;
      case 0x0104: job->tiles_across = 1, job->tiles_down = 4; break;
      case 0x0202: job->tiles_across = 2, job->tiles_down = 2; break;
      case 0x0303: job->tiles_across = 3, job->tiles_down = 3; break;
      case 0x0404: job->tiles_across = 4, job->tiles_down = 4; break;
      default: job->tiling = 0; break;
    }
    if (job->tiling) job->tiling_option = is_set(pdev, 1285);
  }
  job->booklet = layout == 2 && !type3_special;
  if (job->booklet) {
    LONG kind = PdevGetNumber(pdev, 446) & 0xFF;
    job->booklet_kind = kind <= 2 ? static_cast<DWORD>(kind) : 0;
    if (job->booklet_kind == 1) job->booklet_value = static_cast<DWORD>(PdevGetNumber(pdev, 4364));
    if (job->booklet_kind == 2) job->booklet_value = static_cast<DWORD>(PdevGetNumber(pdev, 323));
    job->booklet_page_order = !cap.has(0x400);
    bool staple_setting = cap.has(0xFFFF002D) ? PdevGetNumber(pdev, 465) == 2 : PdevGetNumber(pdev, 1328) == 1;
    job->booklet_staple = cap.has(0x4000000) && job->booklet_kind == 1 && staple_setting;
  }

  // Output suppression.
  if (non_empty(pdev, 297) && non_empty(pdev, 299)) {
    if (is_set(pdev, 1288))
      job->suppression_a = 1;
    else
      job->suppression_b = 1;
    job->suppression_values[0] = static_cast<DWORD>(PdevGetNumber(pdev, 1286));
    job->suppression_values[1] = static_cast<DWORD>(PdevGetNumber(pdev, 1287));
  }
  job->store_mode = is_one(pdev, 336);
  job->annotation = is_one(pdev, 339);
  if (is_set(pdev, 1313)) job->secure_print_kind = (PdevGetNumber(pdev, 441) & 0xFF) ? 2 : 1;

  // Per-page paper and duplex.
  const bool combined = job->nup > 1 || job->booklet;
  job->output_follows_page = PdevGetNumber(pdev, 262) == kPaperFollowsPage && !combined;
  job->per_page_sheet = !combined;
  job->per_page_duplex = is_set(pdev, 1350) && is_set(pdev, 4103) && at_least(0x01020008) && !combined &&
                         job->job_type != 3 && !job->tiling && !job->store_mode && !job->secure_print_kind;
  if (at_least(0x01010701)) {
    job->setting_1293 = is_set(pdev, 1293);
    job->setting_1294 = is_set(pdev, 1294);
  } else {
    job->setting_1293 = job->setting_1294 = -1;
  }

  // Banner, banner sheet and page list.
  if (cap.has(0xFFFF0026) && is_one(pdev, 404)) {
    job->banner_tray = static_cast<WORD>(PdevGetNumber(pdev, 407));
    job->banner = is_set(pdev, 1340) && job->banner_tray != 264 ? 1 : 2;
  } else {
    LONG banner = PdevGetNumber(pdev, 332);
    job->banner = banner == 1 ? 1 : (banner == 2 && at_least(0x01020000) ? 2 : 0);
    job->banner_tray = static_cast<WORD>(PdevGetNumber(pdev, 333));
  }
  if (cap.has(0xFFFF0026)) {
    job->banner_sheet = is_one(pdev, 405);
    if (job->banner_sheet) job->banner_sheet_tray = static_cast<WORD>(PdevGetNumber(pdev, 408));
    job->page_list = is_one(pdev, 406);
    if (job->page_list) {
      job->page_list_tray = static_cast<WORD>(PdevGetNumber(pdev, 409));
      for (WORD i = 0; i < 20; ++i) job->page_list_pages[i] = static_cast<WORD>(PdevGetNumber(pdev, 1834 + i));
    }
  }
  if (type3_special) job->banner = job->banner_sheet = job->page_list = 0;

  // Print header.
  for (WORD i = 0; i < 6; ++i) {
    bool on = (PdevGetNumber(pdev, 1296 + i) & 0xFF) == 1;
    if (on) job->print_header = 1;
    job->header_positions[i] = on ? static_cast<WORD>(PdevGetNumber(pdev, 351 + i)) : 0xFFFF;
  }
  job->booklet_header = job->print_header && layout == 2 && nup == 1 && cap.has(0xFFFF0035);
  job->setting_383 = is_one(pdev, 383);
  job->setting_387 = is_one(pdev, 387);
  job->render_plugin = is_set(pdev, 1343);
  job->image_queue = !job->render_plugin;
  job->finishing_positions[0] = static_cast<WORD>(PdevGetNumber(pdev, 326));
  job->finishing_positions[1] = static_cast<WORD>(PdevGetNumber(pdev, 344));

  // Copies and marking.
  DeviceCapabilityBits bits = cap.bits;
  job->driver_collation =
      job->copies > 1 && job->collate && GetDeviceDataLevel(pdev->settings, pdev->printer_data, &bits) == 2;
  job->reverse_order = is_set(pdev, 1312);
  job->per_output_marking = is_set(pdev, 1339) && job->marking_counts[0] != 0;
  job->copies_by_playback =
      job->driver_collation || job->reverse_order || job->per_output_marking || job->render_plugin;
  job->recording_needed = job->booklet_staple || job->per_output_marking || job->store_mode;

  LONG quality = PdevGetNumber(pdev, is_one(pdev, 386) ? 14 : 348);
  job->quality = quality > 0 ? static_cast<DWORD>(quality) : 200;
  return r;
}

INT FillPageLayout(PDEV* pdev, const JobSettings& job, PageState* p) {
  CapabilityReader cap(pdev);
  const bool tiling = job.tiling != 0, booklet = job.booklet != 0;
  LONG staple = PdevGetNumber(pdev, 437) & 0xFF;
  p->staple_kind = staple >= 1 && staple <= 3 ? static_cast<DWORD>(staple) : 0;
  switch (PdevGetNumber(pdev, 16)) {
    case 0:
    case 1: p->duplex_binding = 0; break;
    case 2: p->duplex_binding = 2; break;
    case 3: p->duplex_binding = 1; break;
    default: return -1;
  }
  if (tiling || booklet) p->duplex_binding = 0;
  static constexpr DWORD kFinishing[] = {0, 1, 2, 1, 4, 3, 3, 2, 4};
  LONG finishing = PdevGetNumber(pdev, 267);
  if (finishing < 0 || finishing > 8) return -1;
  p->finishing_position = kFinishing[finishing];
  if (tiling || booklet || (cap.has(0xFFFF002A) && job.job_type == 3)) p->finishing_position = 0;
  p->finishing_values[0] = p->finishing_position ? static_cast<WORD>(PdevGetNumber(pdev, 268)) : 0;
  p->finishing_values[1] = p->finishing_position ? static_cast<WORD>(PdevGetNumber(pdev, 269)) : 0;
  p->scaling = is_set(pdev, 1281);
  p->scale = p->scaling ? static_cast<DWORD>(PdevGetNumber(pdev, 263)) : 100;
  p->setting_1283 = p->scaling ? 0 : is_set(pdev, 1283);
  LONG kind = PdevGetNumber(pdev, 264);
  if (kind < 0 || kind > 6) return -1;
  p->print_kind = tiling ? 0 : static_cast<DWORD>(kind);
  // A device without N-up leaves the setting 0: one page per sheet.
  LONG nup = PdevGetNumber(pdev, 295);
  if (nup == 0) nup = 1;
  if (nup != 1 && nup != 2 && nup != 4 && nup != 8 && nup != 16 && nup != 32) return -1;
  p->nup = tiling ? 1 : static_cast<DWORD>(nup);
  if (p->nup > 1) {
    p->scaling = 0;
    p->scale = 100;
  }
  if (p->scale < 25 || p->scale > 400) return -1;
  p->nup_rotated = p->nup == 2 || p->nup == 8 || p->nup == 32;
  switch (p->nup) {
    case 2: p->grid_columns = 1, p->grid_rows = 2; break;
    case 4: p->grid_columns = 2, p->grid_rows = 2; break;
    case 8: p->grid_columns = 2, p->grid_rows = 4; break;
    case 16: p->grid_columns = 4, p->grid_rows = 4; break;
    case 32: p->grid_columns = 4, p->grid_rows = 8; break;
    default: p->grid_columns = 1, p->grid_rows = 1; break;
  }
  LONG landscape = PdevGetNumber(pdev, 294);
  if (landscape == 0) landscape = PdevGetNumber(pdev, 7);
  if (landscape == 0) landscape = 1;  // no orientation setting: portrait
  if (landscape != 1 && landscape != 2) return -1;
  p->landscape = landscape == 2;
  p->cells_rotated = p->landscape ^ p->nup_rotated;
  p->resolution_x = p->resolution_y = static_cast<WORD>(PdevResolution(pdev));
  p->booklet_with_nup = booklet && p->nup > 1;
  if (booklet) {
    p->booklet_cover = is_set(pdev, 1291);
    if (p->booklet_cover) {
      p->booklet_option = is_set(pdev, 1292);
      p->booklet_cover_value = static_cast<WORD>(PdevGetNumber(pdev, 324));
    }
    LONG binding = PdevGetNumber(pdev, 322);
    if (binding != 0 && binding != 1) return -1;
    p->booklet_binding = static_cast<DWORD>(binding) + 1;
  }
  p->tiles_across = tiling ? job.tiles_across : 1;
  p->tiles_down = tiling ? job.tiles_down : 1;
  LONG option = PdevGetNumber(pdev, 382);
  p->print_option = tiling ? 0 : (option >= 1 && option <= 4 ? static_cast<DWORD>(option) : 0);
  p->page_paper_code = static_cast<WORD>(PdevGetNumber(pdev, 8));
  LONG fold = PdevGetNumber(pdev, 459) & 0xFF;
  p->fold_kind = fold == 1 || fold == 2 ? static_cast<DWORD>(fold) : 0;
  if (p->fold_kind == 1) {
    p->fold_values[0] = static_cast<WORD>(PdevGetNumber(pdev, 460));
    p->fold_values[1] = static_cast<WORD>(PdevGetNumber(pdev, 461));
  }
  return 0;
}

INT FillPageGeometry(PDEV* pdev, PageState* p) {
  const PaperRecord& r = pdev->page_paper;
  PageGeometry* g = &p->page;
  geometry_of(r, false, g);
  g->paper_code = static_cast<WORD>(PdevGetNumber(pdev, 8));
  LONG orientation = PdevGetNumber(pdev, 7);
  INT result = 0;
  if (orientation == 0) orientation = 1;  // no orientation setting: portrait
  if (orientation == 1 || orientation == 2)
    p->orientation = orientation == 2;
  else
    result = -1;
  if (g->paper_code != kPaperCustom && PdevGetEffective(pdev, 383) == 1) {
    edge_to_edge(g);
  } else if (PdevGetNumber(pdev, 387) == 1) {
    // The margins the printer interface stored for this paper.
    const DcPaperRecord& m = pdev->margins[1].paper_size ? pdev->margins[1] : pdev->margins[0];
    if (m.paper_size == g->paper_code && m.left + m.right < g->width && m.top + m.bottom < g->height) {
      g->left = m.left;
      g->right = m.right;
      g->top = m.top;
      g->bottom = m.bottom;
    }
  }
  return result;
}

INT FillSheetGeometry(PDEV* pdev, PageState* p) {
  const PaperRecord& r = pdev->output_paper;
  PageGeometry* g = &p->sheet;
  geometry_of(r, r.rotated != 0, g);
  g->paper_code = static_cast<WORD>(PdevGetNumber(pdev, 262));
  g->left = g->left_offset;
  g->top = g->top_offset;
  // The sheet is of the paper's own size unless it stands in for a custom
  // size or lies outside the paper's size range.
  g->flag = 0;
  if (r.paper) {
    DddPair a{}, b{};
    if (DddGetPaperSize(r.paper, &a) == DDD_OK && DddGetPaperSizeAlt(r.paper, &b) == DDD_OK) {
      auto within = [](WORD v, WORD x, WORD y) { return v + 10 >= std::min(x, y) && v <= std::max(x, y) + 10; };
      g->flag = within(g->width, a.first, b.first) && within(g->height, a.second, b.second) ? 1 : 0;
    }
  }
  if (r.custom) g->flag = 0;
  if (g->paper_code != kPaperCustom && PdevGetEffective(pdev, 383) == 1) edge_to_edge(g);
  return 0;
}

DWORD SheetOrientationCode(const JobSettings& job, const PageState& page) {
  if (job.booklet) {
    bool landscape = page.nup > 1 ? page.cells_rotated : page.landscape;
    if (page.booklet_binding == 2) return landscape ? 1 : 4;
    return landscape ? 2 : 3;
  }
  if (page.nup > 1) return page.cells_rotated ? 3 : 1;
  if (job.tiling && job.tiles_across == 2 && job.tiles_down == 1) return page.landscape ? 1 : 3;
  return page.landscape ? 3 : 1;
}

void CopySettingValue(WORD ddmid, void* to, void* from, void* printer_data) {
  WORD type = 0;
  DWORD size = 0;
  DWORD_PTR value = 0;
  if (GetDdmValue(ddmid, from, printer_data, &type, &size, &value) != 0) return;
  // A string goes in by the address of its pointer.
  if (type == 6)
    SetDdmValue(ddmid, to, printer_data, type, size, &value);
  else
    SetDdmValueByType(ddmid, to, printer_data, type, static_cast<DWORD>(value));
}

}  // namespace morva::gfx
