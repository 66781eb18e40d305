// The page's paper and the output sheet's paper of a PDEV, from the
// DEVMODE's form, paper code or custom size, the spooler's forms and the
// device database's papers.
#include "render/paper_select.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/gfx/graphics_module.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {

constexpr WORD kDdmidFields = 6;
constexpr WORD kDdmidPaperSize = 8;
constexpr WORD kDdmidPaperLength = 9;
constexpr WORD kDdmidPaperWidth = 10;
constexpr WORD kDdmidFormName = 19;
constexpr WORD kDdmidOutputPaper = 262;
constexpr WORD kDdmidEdgeToEdge = 383;
constexpr WORD kPaperIdentifier = 0x8001;
constexpr WORD kCustomPaper = 256;
constexpr WORD kCustomRangePaper = 262;
constexpr WORD kFollowsPage = 267;
constexpr WORD kAlignmentField = 10;
constexpr LONG kCustomMatchTenths = 10;

LONG units(LONG tenths) { return static_cast<LONG>(static_cast<LONGLONG>(tenths) * 100 * 18432 / 25400); }
LONG tenths(LONG units) { return static_cast<LONG>((static_cast<LONGLONG>(units) * 254 + 9216) / 18432); }

bool same_name(const WCHAR* a, const WCHAR* b) {
  if (!a || !b) return false;
  auto lower = [](WCHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + 32) : c; };
  for (; *a && *b; ++a, ++b)
    if (lower(*a) != lower(*b)) return false;
  return *a == *b;
}

struct Paper {
  DddValue* value = nullptr;
  Paper() = default;
  explicit Paper(DddValue* v) : value(v) {}
  Paper(const Paper&) = delete;
  Paper& operator=(const Paper&) = delete;
  ~Paper() {
    if (value) DddFreeValue(&value, 0xFFFF);
  }
  DddValue* release() {
    DddValue* v = value;
    value = nullptr;
    return v;
  }
  explicit operator bool() const { return value != nullptr; }
  WORD id() const { return value->id; }
  bool sizes(DddPair* first, DddPair* second) const {
    return DddGetPaperSize(value, first) == DDD_OK && DddGetPaperSizeAlt(value, second) == DDD_OK;
  }
  bool equal_widths() const {
    DddPair a{}, b{};
    return sizes(&a, &b) && a.first == b.first;
  }
  bool equal_sizes() const {
    DddPair a{}, b{};
    return sizes(&a, &b) && a.first == b.first && a.second == b.second;
  }
  // Left, bottom, right and top margins in tenths; none edge to edge.
  void margins(bool edge, LONG m[4]) const {
    DddPair lb{}, rt{};
    if (edge || DddGetPaperMarginPairs(value, &lb, &rt) != DDD_OK) lb = rt = {0, 0};
    m[0] = lb.first, m[1] = lb.second, m[2] = rt.first, m[3] = rt.second;
  }
};

DddValue* paper_by_id(PDEV* pdev, WORD id) {
  DddValue* v = nullptr;
  WORD kind = 0;
  if (DddGetItemValue(DDD_LOAD_FULL, &pdev->database->main, &pdev->database->linked, kPaperIdentifier, &id, &kind,
                      &v) != DDD_OK)
    return nullptr;
  if (v && v->kind != DDD_KIND_PAPER) DddFreeValue(&v, 0xFFFF);
  return v;
}

// Calls `visit` with each database paper until it answers true (it then
// keeps the value).
template <typename Visit>
DddValue* find_paper(PDEV* pdev, Visit visit) {
  for (WORD n = 1; n < 0xFFFF; ++n) {
    DddValue* v = nullptr;
    if (DddGetNthChoice(DDD_LOAD_FULL, &pdev->database->main, &pdev->database->linked, kPaperIdentifier, n, nullptr,
                        &v) != DDD_OK)
      return nullptr;
    if (v && v->kind == DDD_KIND_PAPER && visit(v)) return v;
    if (v) DddFreeValue(&v, 0xFFFF);
  }
  return nullptr;
}

DddValue* paper_by_name(PDEV* pdev, const WCHAR* name) {
  if (!name || !*name) return nullptr;
  return find_paper(pdev, [&](DddValue* v) { return same_name(DddGetValueName(v), name); });
}

// The paper the database's paper-size item falls back to.
DddValue* paper_by_code(PDEV* pdev, WORD code) {
  DddValue* target = nullptr;
  if (DddLoadItemValueTarget(pdev->database, kDdmidPaperSize, &code, &target) != DDD_OK) return nullptr;
  if (target && target->kind != DDD_KIND_PAPER) DddFreeValue(&target, 0xFFFF);
  return target;
}

DddValue* default_paper(PDEV* pdev) {
  void* data = nullptr;
  WORD type = 0, bytes = 0;
  if (DddGetItemDefault(&pdev->database->main, &pdev->database->linked, kDdmidPaperSize, &data, &type, &bytes) !=
          DDD_OK ||
      !data)
    return nullptr;
  WORD code = 0;
  if (bytes >= 2) std::memcpy(&code, data, 2);
  GlobalFree(data);
  return bytes >= 2 ? paper_by_code(pdev, code) : nullptr;
}

void set_name(PaperRecord* out, const WCHAR* name) {
  std::memset(out->form_name, 0, sizeof out->form_name);
  if (name) CopyWideStringPadded(out->form_name, name, 33);
}

// Size and imageable area from tenths of a millimetre: the sheet and its
// left, top, right and bottom margins.
void set_geometry(PaperRecord* out, LONG width, LONG height, LONG left, LONG top, LONG right, LONG bottom) {
  out->width = units(width);
  out->height = units(height);
  out->left = units(left);
  out->top = units(top);
  out->right = out->width - units(right);
  out->bottom = out->height - units(bottom);
}

// A record built from a database paper: its size and its margins.
bool from_paper(Paper& paper, bool edge, PaperRecord* out) {
  DddPair size{}, alt{};
  if (!paper.sizes(&size, &alt)) return false;
  LONG m[4];
  paper.margins(edge, m);
  set_name(out, DddGetValueName(paper.value));
  set_geometry(out, size.first, size.second, m[0], m[3], m[2], m[1]);
  out->rotated = 0;
  out->custom = 0;
  out->paper = paper.release();
  return true;
}

// A spooler form's imageable area, looked up by index, name or exact size
// (micrometres); tenths of a millimetre with top and bottom in order.
bool form_area(PDEV* pdev, const WCHAR* name, DWORD index, LONG width, LONG height, LONG area[4]) {
  LONG g[6];
  bool found = false;
  if (index && GetFormGeometry(pdev->printer, nullptr, index, g) == kFormStatusOk) found = true;
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  if (!found && AllocEnumForms(pdev->printer, &forms, &bytes, &count) == kFormsOk && forms) {
    for (DWORD i = 0; i < count && !found; ++i)
      if (name && *name && same_name(forms[i].pName, name)) found = GetFormGeometry(pdev->printer, nullptr, i + 1, g) == kFormStatusOk;
    for (DWORD i = 0; i < count && !found; ++i)
      if (forms[i].Size.cx == width * 100 && forms[i].Size.cy == height * 100)
        found = GetFormGeometry(pdev->printer, nullptr, i + 1, g) == kFormStatusOk;
  }
  if (forms) GlobalFree(forms);
  if (!found) return false;
  area[0] = g[2];
  area[1] = std::min(g[3], g[5]);
  area[2] = g[4];
  area[3] = std::max(g[3], g[5]);
  return true;
}

// The imageable area of a sheet whose size is set: the spooler form's when
// the printer interface asked for form areas, else the database's custom
// size range paper centred on the sheet.
bool form_or_custom(PDEV* pdev, PaperRecord* out, const WCHAR* name, DWORD index, LONG width, LONG height) {
  LONG area[4];
  if (pdev->paper_list_mode && form_area(pdev, name, index, width, height, area)) {
    set_geometry(out, width, height, area[0], area[1], width - area[2], height - area[3]);
    return true;
  }
  Paper range(paper_by_id(pdev, kCustomRangePaper));
  LONG m[4] = {0, 0, 0, 0};  // left, bottom, right, top
  DddPair printable{0xFFFF, 0xFFFF};
  if (range) {
    range.margins(PdevGetEffective(pdev, kDdmidEdgeToEdge) == 1, m);
    if (DddGetPaperArea2(range.value, &printable) != DDD_OK) printable = {0xFFFF, 0xFFFF};
  }
  LONG left = m[0], right = m[2], top = m[3], bottom = m[1];
  if (width > printable.first + left + right) {
    left = (width - printable.first + 1) / 2;
    right = width - printable.first - left;
  }
  if (height > printable.second + top + bottom) {
    top = (height - printable.second + 1) / 2;
    bottom = height - printable.second - top;
  }
  LONG unit = static_cast<LONG>(DddGetFieldValue(&pdev->database->main, kAlignmentField, 2, 0) & 0xFFFF);
  if (unit > 1) {
    right += width % unit;
    bottom += height % unit;
  }
  set_geometry(out, width, height, left, top, right, bottom);
  return true;
}

}  // namespace

BOOL SelectPaperRecord(PDEV* pdev, PaperRecord* out) {
  std::memset(out, 0, sizeof *out);
  const DWORD fields = static_cast<DWORD>(PdevGetNumber(pdev, kDdmidFields));
  const bool edge = PdevGetEffective(pdev, kDdmidEdgeToEdge) == 1;
  const WCHAR* form = PdevGetString(pdev, kDdmidFormName);
  if ((fields & DM_FORMNAME) && form && *form) {
    LONG g[6];
    INT status = GetFormGeometry(pdev->printer, form, 0, g);
    if (status == kFormStatusOk) {
      Paper paper(paper_by_name(pdev, form));
      LONG m[4];
      if (paper && paper.equal_widths()) {
        paper.margins(edge, m);
        set_geometry(out, g[0], g[1], m[0], m[3], m[2], m[1]);
      } else {
        form_or_custom(pdev, out, form, 0, g[0], g[1]);
      }
      set_name(out, form);
      out->paper = paper.release();
      return TRUE;
    }
    if (status != kFormStatusNotFound) return FALSE;
  }
  if (!(fields & (DM_PAPERLENGTH | DM_PAPERWIDTH))) {
    if (fields & DM_PAPERSIZE) {
      const WORD code = static_cast<WORD>(PdevGetNumber(pdev, kDdmidPaperSize));
      Paper paper(paper_by_code(pdev, code));
      if (paper && paper.equal_widths()) return from_paper(paper, edge, out);
      LONG g[6];
      if (code && GetFormGeometry(pdev->printer, nullptr, code, g) == kFormStatusOk)
        return form_or_custom(pdev, out, nullptr, code, g[0], g[1]);
    }
    Paper fallback(default_paper(pdev));
    if (!fallback || !from_paper(fallback, edge, out)) return FALSE;
    // The default stands in: the record keeps no database paper.
    DddFreeValue(&out->paper, 0xFFFF);
    out->paper = nullptr;
    return TRUE;
  }
  const LONG width = PdevGetNumber(pdev, kDdmidPaperWidth);
  const LONG length = PdevGetNumber(pdev, kDdmidPaperLength);
  if (width <= 0 || length <= 0) return FALSE;
  Paper near(find_paper(pdev, [&](DddValue* v) {
    if (v->id == kCustomPaper || v->id == kCustomRangePaper || v->id == kFollowsPage) return false;
    DddPair size{};
    return DddGetPaperSize(v, &size) == DDD_OK && std::abs(size.first - width) <= kCustomMatchTenths &&
           std::abs(size.second - length) <= kCustomMatchTenths;
  }));
  if (near && near.equal_widths()) {
    LONG m[4];
    near.margins(edge, m);
    set_geometry(out, width, length, m[0], m[3], m[2], m[1]);
    set_name(out, DddGetValueName(near.value));
    out->paper = near.release();
    return TRUE;
  }
  form_or_custom(pdev, out, nullptr, 0, width, length);
  if (near) {
    set_name(out, DddGetValueName(near.value));
    out->paper = near.release();
  }
  return TRUE;
}

BOOL SelectOutputPaperRecord(PDEV* pdev, const PaperRecord& page, PaperRecord* out) {
  std::memset(out, 0, sizeof *out);
  const bool edge = PdevGetEffective(pdev, kDdmidEdgeToEdge) == 1;
  const WORD output = static_cast<WORD>(PdevGetNumber(pdev, kDdmidOutputPaper));
  auto copy_page = [&](Paper& paper) {
    *out = page;
    out->paper = paper.release();
    return TRUE;
  };
  auto from_default = [&](bool custom) -> BOOL {
    Paper fallback(default_paper(pdev));
    if (!fallback || !from_paper(fallback, edge, out)) return FALSE;
    out->custom = custom ? 1 : 0;
    return TRUE;
  };
  // 1. A sheet paper of its own.
  if (output != kFollowsPage) {
    Paper paper(paper_by_id(pdev, output));
    if (paper) {
      LONG g[6];
      const WCHAR* name = DddGetValueName(paper.value);
      if (name && *name && GetFormGeometry(pdev->printer, name, 0, g) == kFormStatusOk) {
        LONG m[4];
        paper.margins(edge, m);
        set_geometry(out, g[0], g[1], m[0], m[3], m[2], m[1]);
        set_name(out, name);
        out->paper = paper.release();
        return TRUE;
      }
      if (paper.equal_sizes()) return from_paper(paper, edge, out);
    }
  }
  // 2. The database paper of the page's name.
  Paper named(paper_by_name(pdev, page.form_name));
  if (named) {
    if (named.id() != kCustomPaper && named.id() != kCustomRangePaper) {
      DddPair a{}, b{};
      if (named.sizes(&a, &b)) {
        const LONG w = tenths(page.width), h = tenths(page.height);
        auto between = [](LONG v, WORD x, WORD y) { return v >= std::min<LONG>(x, y) && v <= std::max<LONG>(x, y); };
        if ((a.first == b.first && a.second == b.second) || (between(w, a.first, b.first) && between(h, a.second, b.second)))
          return copy_page(named);
      }
    } else {
      // A custom page: the default paper, standing in when the page fits.
      Paper fallback(default_paper(pdev));
      DddPair size{}, alt{};
      if (!fallback || !fallback.sizes(&size, &alt)) return FALSE;
      const LONG w = tenths(page.width), h = tenths(page.height);
      const bool fits = w <= size.first && h <= size.second;
      if (!from_paper(fallback, edge, out)) return FALSE;
      out->custom = fits ? 1 : 0;
      return TRUE;
    }
  }
  // 3. The custom size range paper, or the default paper standing in.
  if (PdevGetNumber(pdev, kDdmidPaperSize) != kCustomPaper && pdev->paper_list_mode == 0) return from_default(true);
  Paper range(paper_by_id(pdev, kCustomRangePaper));
  if (range) return copy_page(range);
  return from_default(true);
}

}  // namespace morva::gfx
