#include "settings/devmode/paper_size_list.h"

#include <cstring>

#include "settings/database/capability_maps.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/strings.h"

namespace {

constexpr WORD kPaperSizeItem = 8;     // dmPaperSize
constexpr WORD kCustomPaperId = 256;   // DMPAPER_USER
constexpr WORD kCustomRangePaper = 262;
constexpr WORD kCapacityField = 41;
constexpr WORD kPaperListModeId = 5201;
constexpr WORD kFieldsId = 6;
constexpr DWORD kLengthAndWidth = DM_PAPERLENGTH | DM_PAPERWIDTH;

WCHAR* copy_text(const WCHAR* text) {
  if (!text) return nullptr;
  const int n = lstrlenW(text);
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, (static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, text, static_cast<SIZE_T>(n) * sizeof(WCHAR));
  return out;
}

void set_name(PaperSizeEntry& e, const WCHAR* name) {
  lstrcpynW(e.name, name ? name : u"", kPaperNameChars);
}

// Entry by key; null when none.
const PaperSizeEntry* find_entry(const PaperSizeList* list, INT key_kind, DWORD_PTR key) {
  const WORD count = list->standard_count + list->custom_count;
  for (WORD i = 0; i < count; ++i) {
    const PaperSizeEntry& e = list->entries[i];
    switch (key_kind) {
      case kPaperKeyDriverId:
        if (e.driver_paper_id == static_cast<WORD>(key)) return &e;
        break;
      case kPaperKeyWindowsNumber:
        if (e.windows_number == static_cast<WORD>(key)) return &e;
        break;
      case kPaperKeyName:
        if (lstrcmpW(e.name, reinterpret_cast<LPCWSTR>(key)) == 0) return &e;
        break;
    }
  }
  return nullptr;
}

bool valid_result_kind(INT kind) { return kind >= kPaperResultDriverId && kind <= kPaperResultSize; }

void give_result(const PaperSizeEntry& e, INT result_kind, void* out) {
  switch (result_kind) {
    case kPaperResultDriverId: *static_cast<WORD*>(out) = e.driver_paper_id; break;
    case kPaperResultWindowsNumber: *static_cast<WORD*>(out) = e.windows_number; break;
    case kPaperResultName: *static_cast<const WCHAR**>(out) = e.name; break;
    case kPaperResultSize: *static_cast<PaperSizeTenths*>(out) = {e.width / 100, e.length / 100}; break;
  }
}

// Checks the handle and its list: 0 when both are there.
INT check_list(const DddHandle* handle) {
  if (!handle) return kPaperListNoHandle;
  if (!handle->papers) return kPaperListNoList;
  return 0;
}

// Standard entries: every database paper by position, sized like the
// spooler form of its name (the custom paper like the default paper).
bool add_database_papers(DddHandle* handle, PaperSizeList* list, WORD papers, const FORM_INFO_1W* forms,
                         DWORD form_count) {
  for (WORD position = 1; position <= papers; ++position) {
    DddValue* value = nullptr;
    if (DddLoadValue(DDD_LOAD_FULL, &handle->main, &handle->linked, DDD_KIND_PAPER, position, &value) != DDD_OK)
      return false;
    const auto* paper = static_cast<const DddPaper*>(value);
    PaperSizeEntry& e = list->entries[list->standard_count];
    e = {};
    set_name(e, paper->name);
    e.driver_paper_id = paper->id;
    bool ok = true;
    if (paper->id == kCustomPaperId) {
      DddPair size{};
      ok = DddGetDefaultPaperSize(handle, kPaperSizeItem, &size);
      e.width = size.first * 100;
      e.length = size.second * 100;
      e.imageable_left = paper->margin_lb.first * 100;
      e.imageable_top = paper->margin_rt.second * 100;
      e.imageable_right = e.width - paper->margin_rt.first * 100;
      e.imageable_bottom = e.length - paper->margin_lb.second * 100;
    } else {
      ok = false;
      for (DWORD i = 0; i < form_count && !ok; ++i) {
        if (!forms[i].pName || !paper->name || lstrcmpiW(forms[i].pName, paper->name) != 0) continue;
        e.windows_number = static_cast<WORD>(i + 1);
        e.width = forms[i].Size.cx;
        e.length = forms[i].Size.cy;
        e.imageable_left = forms[i].ImageableArea.left;
        e.imageable_top = forms[i].ImageableArea.top;
        e.imageable_right = forms[i].ImageableArea.right;
        e.imageable_bottom = forms[i].ImageableArea.bottom;
        ok = true;
      }
    }
    DddFreeValue(&value, 0xFFFF);
    if (!ok) return false;
    ++list->standard_count;
  }
  return true;
}

bool named_like_standard(const PaperSizeList* list, const WCHAR* name) {
  for (WORD i = 0; i < list->standard_count; ++i)
    if (lstrcmpiW(list->entries[i].name, name) == 0) return true;
  return false;
}

// Custom entries: spooler forms within the custom size limits that no
// database paper already stands for, in enumeration order, up to the room
// left. Without a custom size range none are added; memory running out
// while the range is read fails the build rather than leave them out.
bool add_custom_forms(DddHandle* handle, PaperSizeList* list, const FORM_INFO_1W* forms, DWORD form_count) {
  CustomSizeRange range{};
  SetLastError(ERROR_SUCCESS);
  if (!GetCustomSizeRange(handle, &range)) return GetLastError() != ERROR_NOT_ENOUGH_MEMORY;
  const WORD room = list->capacity - list->standard_count;
  for (DWORD i = 0; i < form_count && list->custom_count < room; ++i) {
    const FORM_INFO_1W& f = forms[i];
    if (!f.pName || named_like_standard(list, f.pName)) continue;
    if (f.Size.cx < range.min_width * 100 || f.Size.cx > range.max_width * 100) continue;
    if (f.Size.cy < range.min_length * 100 || f.Size.cy > range.max_length * 100) continue;
    PaperSizeEntry& e = list->entries[list->standard_count + list->custom_count];
    e = {};
    e.windows_number = static_cast<WORD>(i + 1);
    set_name(e, f.pName);
    e.width = f.Size.cx;
    e.length = f.Size.cy;
    e.driver_paper_id = static_cast<WORD>(kFirstAddedPaperId + list->custom_count);
    e.imageable_left = f.ImageableArea.left;
    e.imageable_top = f.ImageableArea.top;
    e.imageable_right = f.ImageableArea.right;
    e.imageable_bottom = f.ImageableArea.bottom;
    ++list->custom_count;
  }
  return true;
}

void free_list(PaperSizeList* list) {
  if (!list) return;
  if (list->entries) GlobalFree(list->entries);
  GlobalFree(list);
}

}  // namespace

BOOL IsWithinCustomSizeRange(const CustomSizeRange& range, LONG width, LONG length) {
  return range.min_width <= width && width <= range.max_width && range.min_length <= length &&
         length <= range.max_length;
}

BOOL GetCustomSizeRange(DddHandle* database, CustomSizeRange* range) {
  if (!database || !range) return FALSE;
  DddValue* value = nullptr;
  if (DddLoadRecord(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_PAPER, kCustomRangePaper, 0,
                    &value) != DDD_OK)
    return FALSE;
  const auto* p = static_cast<const DddPaper*>(value);
  const LONG across = LONG{p->margin_lb.first} + p->margin_rt.first;   // left + right
  const LONG along = LONG{p->margin_lb.second} + p->margin_rt.second;  // bottom + top
  *range = {p->area.first + across, p->area.second + along, p->area2.first + across, p->area2.second + along};
  DddFreeValue(&value, 0xFFFF);
  return TRUE;
}

DWORD GetPaperListMode(const DddHandle* handle, void* printer_data) {
  if (!handle || !printer_data || !IsFormDbEnabled(handle->capabilities)) return 0;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(kPaperListModeId, nullptr, printer_data, &type, &size, &v) != 0) return 0;
  return static_cast<DWORD>(GetTypedValue(type, &v));
}

INT AllocEnumForms(HANDLE printer, FORM_INFO_1W** forms, DWORD* bytes, DWORD* count) {
  if (forms) *forms = nullptr;
  if (bytes) *bytes = 0;
  if (count) *count = 0;
  if (!forms || !bytes || !count) return kFormsFailed;
  DWORD needed = 0, returned = 0;
  if (EnumFormsW(printer, 1, nullptr, 0, &needed, &returned)) return kFormsOk;  // no forms at all
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return kFormsFailed;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
  if (!block) return kFormsNoMemory;
  if (!EnumFormsW(printer, 1, block, needed, &needed, &returned)) {
    GlobalFree(block);
    return kFormsFailed;
  }
  *forms = reinterpret_cast<FORM_INFO_1W*>(block);
  *bytes = needed;
  *count = returned;
  return kFormsOk;
}

WCHAR* GetFormNameByNumber(HANDLE printer, DWORD number) {
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  if (AllocEnumForms(printer, &forms, &bytes, &count) != kFormsOk) return nullptr;
  WCHAR* name = (number >= 1 && number <= count) ? copy_text(forms[number - 1].pName) : nullptr;
  if (forms) GlobalFree(forms);
  return name;
}

WCHAR* GetFormName(HANDLE printer, DWORD number) { return GetFormNameByNumber(printer, number); }

INT BuildPaperSizeList(HANDLE printer, DddHandle* handle, void* printer_data) {
  if (!handle) return kPaperListNoHandle;
  FreePaperSizeList(handle);
  if (GetPaperListMode(handle, printer_data) == 0) return kPaperListOk;

  const WORD capacity = static_cast<WORD>(DddGetFieldValue(&handle->main, kCapacityField, 2, 0));
  const WORD papers = DddGetRecordCount(&handle->main, DDD_KIND_PAPER);
  if (capacity < papers) return kPaperListFailed;
  auto* list = static_cast<PaperSizeList*>(GlobalAlloc(GPTR, sizeof(PaperSizeList)));
  if (!list) return kPaperListFailed;
  list->capacity = capacity;
  // A database without papers and without room still gets its (empty) list.
  list->entries = static_cast<PaperSizeEntry*>(GlobalAlloc(GPTR, sizeof(PaperSizeEntry) * (capacity ? capacity : 1)));
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, form_count = 0;
  bool ok = list->entries && AllocEnumForms(printer, &forms, &bytes, &form_count) == kFormsOk &&
            add_database_papers(handle, list, papers, forms, form_count);
  ok = ok && add_custom_forms(handle, list, forms, form_count);
  if (forms) GlobalFree(forms);
  if (!ok) {
    free_list(list);
    return kPaperListFailed;
  }
  handle->papers = list;
  return kPaperListOk;
}

INT FreePaperSizeList(DddHandle* handle) {
  if (!handle) return kPaperListNoHandle;
  free_list(handle->papers);
  handle->papers = nullptr;
  return kPaperListOk;
}

INT HasPaperSizeList(const DddHandle* handle) { return handle && handle->papers ? 1 : 0; }

INT CountPaperSizes(const DddHandle* handle, WORD* count, INT kind) {
  if (INT e = check_list(handle)) return e;
  const PaperSizeList* list = handle->papers;
  const WORD all = list->standard_count + list->custom_count;
  WORD n = 0;
  switch (kind) {
    case kPaperCountStandard: n = list->standard_count; break;
    case kPaperCountCustom: n = list->custom_count; break;
    case kPaperCountAll: n = all; break;
    case kPaperCountWithoutCustomPaper: {
      n = all;
      for (WORD i = 0; i < all; ++i)
        if (list->entries[i].windows_number == 0) {
          --n;
          break;
        }
      break;
    }
    default: return kPaperListFailed;
  }
  if (!count) return kPaperListFailed;
  *count = n;
  return kPaperListOk;
}

INT FindPaperSize(const DddHandle* handle, INT key_kind, DWORD_PTR key, INT result_kind, void* out) {
  if (INT e = check_list(handle)) return e;
  if (key_kind < kPaperKeyDriverId || key_kind > kPaperKeyName || !valid_result_kind(result_kind) || !out ||
      (key_kind == kPaperKeyName && key == 0))
    return kPaperListFailed;
  const PaperSizeEntry* e = find_entry(handle->papers, key_kind, key);
  if (!e) return kPaperListNotFound;
  give_result(*e, result_kind, out);
  return kPaperListOk;
}

INT FindPaperSizeByIndex(const DddHandle* handle, WORD index, INT result_kind, void* out) {
  if (INT e = check_list(handle)) return e;
  if (!valid_result_kind(result_kind) || !out) return kPaperListFailed;
  const PaperSizeList* list = handle->papers;
  if (index >= list->standard_count + list->custom_count) return kPaperListNotFound;
  give_result(list->entries[index], result_kind, out);
  return kPaperListOk;
}

INT GetPaperSizeArray(const DddHandle* handle, INT kind, void** array, DWORD* bytes, BOOL include, WORD* position) {
  if (array) *array = nullptr;
  if (bytes) *bytes = 0;
  if (position) *position = 0xFFFF;
  if (INT e = check_list(handle)) return e;
  static constexpr DWORD kElementSize[] = {0, sizeof(WORD), sizeof(WORD), kPaperNameChars * sizeof(WCHAR),
                                           sizeof(PaperSizeTenths)};
  if (kind < kPaperArrayDriverIds || kind > kPaperArraySizes || !array || !bytes) return kPaperListFailed;
  const PaperSizeList* list = handle->papers;
  const WORD all = list->standard_count + list->custom_count;
  WORD n = 0;
  for (WORD i = 0; i < all; ++i)
    if (include || list->entries[i].windows_number != 0) ++n;
  const DWORD size = kElementSize[kind] * n;
  auto* out = static_cast<BYTE*>(GlobalAlloc(GPTR, size ? size : 1));
  if (!out) return kPaperListFailed;
  WORD k = 0;
  for (WORD i = 0; i < all; ++i) {
    const PaperSizeEntry& e = list->entries[i];
    if (e.windows_number == 0) {
      if (!include) continue;
      if (position) *position = k;
    }
    BYTE* slot = out + kElementSize[kind] * k++;
    switch (kind) {
      case kPaperArrayDriverIds: std::memcpy(slot, &e.driver_paper_id, sizeof(WORD)); break;
      case kPaperArrayWindowsNumbers: std::memcpy(slot, &e.windows_number, sizeof(WORD)); break;
      case kPaperArrayNames: std::memcpy(slot, e.name, sizeof e.name); break;
      case kPaperArraySizes: {
        const PaperSizeTenths s{e.width / 100, e.length / 100};
        std::memcpy(slot, &s, sizeof s);
        break;
      }
    }
  }
  *array = out;
  *bytes = size;
  return kPaperListOk;
}

INT GetPaperGeometry(const DddHandle* handle, WORD driver_paper_id, PaperLengths* size, PaperLengths* printable,
                     PaperLengths* left_bottom, PaperLengths* right_top) {
  if (INT e = check_list(handle)) return e;
  if (!size || !printable || !left_bottom || !right_top) return kPaperListFailed;
  const PaperSizeEntry* e = find_entry(handle->papers, kPaperKeyDriverId, driver_paper_id);
  if (!e) return kPaperListNotFound;
  *size = {e->width / 100, e->length / 100};
  *printable = {(e->imageable_right - e->imageable_left) / 100, (e->imageable_bottom - e->imageable_top) / 100};
  *left_bottom = {e->imageable_left / 100, (e->length - e->imageable_bottom) / 100};
  *right_top = {(e->width - e->imageable_right) / 100, e->imageable_top / 100};
  return kPaperListOk;
}

INT FindPaperByFormName(HANDLE printer, void* devmode, void* printer_data, WORD form_number, LONG* value) {
  if (!value) return 0;
  *value = 0;
  if (form_number == kCustomPaperId && ReadSetting5200(devmode, printer_data) != 0) {
    const LONG fields = GetEffectiveItemValue(devmode, printer_data, kFieldsId);
    if (fields != -1 && (static_cast<DWORD>(fields) & kLengthAndWidth) == kLengthAndWidth) {
      *value = kCustomPaperId;
      return kFormPaperFound;
    }
  }
  WCHAR* form = GetFormName(printer, form_number);
  if (!form) return kFormPaperNoForm;
  DddHandle* database = DddOpen(printer);
  if (!database) {
    GlobalFree(form);
    return kFormPaperNoForm;
  }
  INT status = 0;
  for (WORD n = 1;; ++n) {
    DddValue* choice = nullptr;
    DddStatus s = DddGetNthChoice(DDD_LOAD_HEADER, &database->main, &database->linked, kPaperSizeItem, n, nullptr,
                                  &choice);
    if (s != DDD_OK) {
      status = s;
      break;
    }
    DddValue* target = nullptr;
    const WCHAR* name = nullptr;
    if (DddLoadChoiceTarget(DDD_LOAD_HEADER, &database->main, &database->linked, choice, nullptr, &target) ==
        DDD_OK)
      name = DddGetValueName(target);
    if (!name) {
      if (target) DddFreeValue(&target, 0xFFFF);
      DddFreeValue(&choice, 0xFFFF);
      status = 0;
      break;
    }
    const bool same = lstrcmpiW(name, form) == 0;
    if (same) {
      const auto* c = static_cast<const DddChoice*>(choice);
      WORD first = 0;
      if (c->value.data && c->value.element_size * c->value.count >= sizeof(WORD))
        std::memcpy(&first, c->value.data, sizeof first);
      *value = static_cast<SHORT>(first);
      status = kFormPaperFound;
    }
    DddFreeValue(&target, 0xFFFF);
    DddFreeValue(&choice, 0xFFFF);
    if (same) break;
  }
  DddClose(database);
  GlobalFree(form);
  return status;
}
