// The settings summary line and the zoom from the document paper onto the
// output paper.
#include "property_sheets/settings_summary.h"

#include <algorithm>
#include <string>

#include "property_sheets/sheet_records.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_access.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "win/codepage.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

constexpr LONG kCustomPaper = 256;
constexpr LONG kSameAsDocument = 267;

bool read(const SheetContext* c, WORD ddmid, LONG* value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, c->current.devmode, c->current.printer_data, &type, &size, &v) != 0) return false;
  *value = GetTypedValue(type, &v);
  return true;
}

// The slot of a user-defined paper, or -1.
int user_slot(LONG id) {
  if (id >= 262 && id <= 266) return static_cast<int>(id - 262);
  if (id >= 287 && id <= 301) return static_cast<int>(id - 282);
  return -1;
}

WORD clamp_word(LONG v) { return static_cast<WORD>(std::clamp<LONG>(v, 0, 0xFFFF)); }

std::u16string resource_text(UINT id, int max_chars) {
  WCHAR buffer[64] = {};
  const INT n = LoadStringW(GetResourceModule(), id, buffer, std::min(64, max_chars + 1));
  return std::u16string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

std::u16string paper_name(const SheetContext* c, LONG id) {
  DddHandle* db = c->state->database;
  WCHAR* name = nullptr;
  std::u16string out;
  if (DddGetRecordName(&db->main, &db->linked, DDD_KIND_PAPER, clamp_word(id), 0, &name) == DDD_OK && name) {
    out = name;
    GlobalFree(name);
  }
  return out;
}

}  // namespace

INT GetPlacedArea(const PaperAreas* paper, BOOL whole, const PlacementSettings* p, LONG* width, LONG* length) {
  if (!paper || !p || !width || !length) return 0;
  LONG w = whole ? paper->size[0] : paper->printable[0];
  LONG l = whole ? paper->size[1] : paper->printable[1];
  if (p->binding_on && p->binding_position != 0) {
    const LONG lead_w = whole ? 0 : paper->lead[0], lead_l = whole ? 0 : paper->lead[1];
    const LONG trail_w = whole ? 0 : paper->trail[0], trail_l = whole ? 0 : paper->trail[1];
    const LONG m = p->binding_margin;
    switch (p->binding_position) {
      case 1: case 3: if (lead_w < m) w = paper->size[0] - trail_w - m; break;
      case 2: case 7: if (trail_w < m) w = paper->size[0] - lead_w - m; break;
      case 4: case 8: if (lead_l < m) l = paper->size[1] - m - trail_l; break;
      case 5: case 6: if (trail_l < m) l = paper->size[1] - m - lead_l; break;
      default: break;
    }
  }
  if (p->layout_mode == 1) {
    if (p->layout_code == 258) {
      const LONG old_w = w;
      w = l;
      l = 2 * old_w;
    } else {
      w *= (p->layout_code >> 8) & 0xFF;
      l *= p->layout_code & 0xFF;
    }
  }
  *width = w;
  *length = l;
  return 1;
}

INT ComputeZoomFromAreas(LONG w1, LONG l1, LONG w2, LONG l2, INT* percent) {
  if (!percent || w1 <= 0 || l1 <= 0) return 0;
  const LONG by_width = (w2 * 1000 / w1 + 5) / 10;
  const LONG by_length = (l2 * 1000 / l1 + 5) / 10;
  *percent = static_cast<INT>(std::min(by_width, by_length));
  return 1;
}

INT GetPaperAreas(const SheetContext* c, LONG id, PaperAreas* out) {
  if (!c || !c->state || !c->state->database || !out) return 0;
  *out = PaperAreas{};
  DddHandle* db = c->state->database;
  DddValue* v = nullptr;
  if (DddLoadValueEx(DDD_LOAD_FULL, &db->main, &db->linked, DDD_KIND_PAPER, clamp_word(id), 0, &v) != DDD_OK)
    return 0;
  DddPair size{}, area{}, area2{}, lead{}, trail{};
  const bool ok = DddGetPaperSize(v, &size) == DDD_OK && DddGetPaperArea(v, &area) == DDD_OK &&
                  DddGetPaperMarginPairs(v, &lead, &trail) == DDD_OK;
  const bool has_upper = ok && DddGetPaperArea2(v, &area2) == DDD_OK;
  DddFreeValue(&v, 0xFFFF);
  if (!ok) return 0;
  out->lead[0] = lead.first;
  out->lead[1] = lead.second;
  out->trail[0] = trail.first;
  out->trail[1] = trail.second;
  LONG w = size.first, l = size.second;
  const int slot = user_slot(id);
  const bool own_size = slot >= 0 || id == kCustomPaper;
  if (slot >= 0 && !(read(c, static_cast<WORD>(5889 + slot), &w) && read(c, static_cast<WORD>(5909 + slot), &l)))
    return 0;
  if (id == kCustomPaper && !(read(c, 1863, &w) && read(c, 1864, &l))) return 0;
  out->size[0] = clamp_word(w);
  out->size[1] = clamp_word(l);
  if (own_size) {
    // The size less both margin pairs, kept between the record's areas.
    LONG pw = w - lead.first - trail.first, pl = l - lead.second - trail.second;
    if (has_upper) {
      pw = std::min<LONG>(pw, area2.first);
      pl = std::min<LONG>(pl, area2.second);
    }
    pw = std::max<LONG>(pw, area.first);
    pl = std::max<LONG>(pl, area.second);
    out->printable[0] = clamp_word(pw);
    out->printable[1] = clamp_word(pl);
  } else {
    out->printable[0] = area.first;
    out->printable[1] = area.second;
  }
  return 1;
}

INT ComputeZoomPercent(const SheetContext* c, LONG source, LONG output, INT* percent) {
  if (!c || !percent) return 0;
  LONG whole_setting = 0;
  PlacementSettings p;
  if (!read(c, 383, &whole_setting) || !read(c, 1283, &p.binding_on) || !read(c, 267, &p.binding_position) ||
      !read(c, 268, &p.binding_margin) || !read(c, 321, &p.layout_mode) || !read(c, 296, &p.layout_code))
    return 0;
  const BOOL whole = whole_setting == 1;
  PaperAreas from{}, to{};
  if (!GetPaperAreas(c, source, &from) || !GetPaperAreas(c, output, &to)) return 0;
  LONG w2 = 0, l2 = 0;
  if (!GetPlacedArea(&to, whole, &p, &w2, &l2)) return 0;
  const LONG w1 = whole ? from.size[0] : from.printable[0];
  const LONG l1 = whole ? from.size[1] : from.printable[1];
  return ComputeZoomFromAreas(w1, l1, w2, l2, percent);
}

INT GetSummaryZoom(const SheetContext* c, INT* percent) {
  if (!c || !percent) return 0;
  LONG fixed = 0;
  if (!read(c, 1281, &fixed)) return 0;
  if (fixed) {
    LONG zoom = 0;
    if (!read(c, 263, &zoom)) return 0;
    *percent = static_cast<INT>(zoom);
    return 1;
  }
  LONG source = 0, output = 0;
  if (!read(c, 8, &source) || !read(c, 262, &output)) return 0;
  if (output == 0) output = kSameAsDocument;  // a model without an output paper
  return ComputeZoomPercent(c, source, output == kSameAsDocument ? source : output, percent);
}

INT BuildSettingsSummary(const SheetContext* c, LPWSTR text, INT chars) {
  if (!c || !c->state || !c->state->database || !text || chars <= 0) return 0;
  LONG pages = 0, layout = 0, source = 0, output = 0;
  if (!read(c, 295, &pages) || !read(c, 321, &layout) || !read(c, 8, &source) || !read(c, 262, &output)) return 0;
  // A model without pages per sheet or output paper leaves their places 0:
  // one page, on the document's paper.
  if (pages == 0) pages = 1;
  if (output == 0) output = kSameAsDocument;
  std::u16string line = paper_name(c, source);
  if (output != kSameAsDocument) line += resource_text(9242, 8) + paper_name(c, output);
  if (pages != 1 || layout == 2) {
    line += resource_text(9244, 16);
  } else {
    INT zoom = 0;
    if (!GetSummaryZoom(c, &zoom)) return 0;
    const std::u16string templ = resource_text(9243, 16);
    WCHAR formatted[64] = {};
    FormatResourceMessage(formatted, 64, templ.c_str(), zoom);
    line += formatted;
  }
  const size_t n = std::min(line.size(), static_cast<size_t>(chars - 1));
  std::copy_n(line.data(), n, text);
  text[n] = 0;
  return 1;
}

namespace {

constexpr INT kSummaryTipWidth = 256;
// The line a tip keeps must convert to fewer than 128 ANSI bytes.
constexpr INT kSummaryLineBytes = 128;

HWND summary_tooltip(ControlEvent* event, bool create) {
  SheetState* state = GetSheetState(event->window);
  if (!state) return nullptr;
  HWND& tooltip = event->type == kDialogTypeDialog ? state->dialog_tooltip : state->page_tooltip;
  if (!tooltip && create) tooltip = CreateTooltipWindow(event->window, kSummaryTipWidth);
  return tooltip;
}

}  // namespace

INT SummaryTextHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                       const void*) {
  const SheetContext* context = GetSheetContext(event->window);
  HWND control = GetDlgItem(event->window, record->id);
  if (!context || !context->state || !control) return 0;
  const UINT tool = static_cast<UINT>(record->id);
  if (message == WM_INITDIALOG) {
    if (IsDeviceClass3or4(context->state->database)) {
      ShowWindow(control, SW_HIDE);
      return 0;
    }
    if (HWND tooltip = summary_tooltip(event, true)) AddTooltip(event->window, tooltip, tool, TTF_SUBCLASS, u"");
    return 0;
  }
  if (!ShowsAgain(message, lParam) && message != UM_RESTORE_CONTROLS) return 0;
  if (IsDeviceClass3or4(context->state->database)) return 0;
  WCHAR text[128] = {};
  if (!BuildSettingsSummary(context, text, 128)) return 0;  // the control keeps its text
  SetWindowTextW(control, text);
  HWND tooltip = summary_tooltip(event, false);
  if (!tooltip) return 0;
  RECT area{};
  GetWindowRect(control, &area);
  MapWindowPoints(nullptr, event->window, reinterpret_cast<POINT*>(&area), 2);
  SetTooltipRect(event->window, tooltip, tool, TTF_SUBCLASS, area.left, area.top, area.right, area.bottom);
  // A line too long for the tip leaves the one it holds.
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes > 0 && bytes - 1 < kSummaryLineBytes) UpdateTooltipText(event->window, tooltip, tool, TTF_SUBCLASS, text);
  return 0;
}
