#include "settings/devmode/paper_selection.h"

#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/devmode/devmode_internal.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/items/setting_items.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/strings.h"

using namespace morva::ddm;
using devmode_detail::read_number;
using devmode_detail::write_number;

namespace {

constexpr WORD kPaperSizeItem = 8;
constexpr WORD kPaperLengthId = 9;
constexpr WORD kPaperWidthId = 10;
constexpr WORD kFormNameId = 19;
constexpr WORD kFieldsId = 6;
constexpr WORD kCustomCode = 256;  // DMPAPER_USER
constexpr WORD kCustomFirstId = 1353;
constexpr WORD kPaperDimensionsId = 1331;
constexpr WORD kUserPaperSlots = 20;
constexpr WORD kUserWidthBase = 5889;
constexpr WORD kUserLengthBase = 5909;
constexpr WORD kUserNameBase = 5929;
// Characters of a requested name the selection keeps.
constexpr int kRequestNameChars = 32;
// dmFormName holds 32 characters with its terminator.
constexpr int kFormNameChars = CCHFORMNAME - 1;
constexpr DWORD kPaperFieldBits = DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_FORMNAME;
constexpr DWORD kDimensionBits = DM_PAPERLENGTH | DM_PAPERWIDTH;
constexpr DWORD kDmSizeOffset = 68;
constexpr DWORD kDmDriverExtraOffset = 70;

// A GlobalAlloc'ed copy of at most `limit` characters (0: all), terminated.
WCHAR* copy_name(const WCHAR* text, int limit = 0) {
  if (!text) return nullptr;
  int n = lstrlenW(text);
  if (limit > 0 && n > limit) n = limit;
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, (static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, text, static_cast<SIZE_T>(n) * sizeof(WCHAR));
  return out;
}

// Sets `out` to {code, width, length, a copy of name}; FALSE when the copy
// cannot be made. The previous name is freed.
BOOL give(PaperSelection* out, WORD code, WORD width, WORD length, const WCHAR* name) {
  FreePaperSelectionName(out);
  out->code = code;
  out->width = width;
  out->length = length;
  if (!name) return TRUE;
  out->name = copy_name(name);
  return out->name != nullptr;
}

// A form's size in tenths of a millimetre; FALSE when it does not fit a WORD.
bool form_size(const FORM_INFO_1W& form, WORD* width, WORD* length) {
  const LONG w = form.Size.cx / 100, l = form.Size.cy / 100;
  if (w < 0 || l < 0 || w > 0xFFFF || l > 0xFFFF) return false;
  *width = static_cast<WORD>(w);
  *length = static_cast<WORD>(l);
  return true;
}

// A string setting as text; FALSE when it cannot be read.
bool read_text(WORD ddmid, void* devmode, void* printer_data, std::u16string* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) != kDdmOk || type != kTypeString) return false;
  *out = ItemText(v, size);
  return true;
}

// Writes a name into dmFormName, cut to what the field holds.
bool write_form_name(void* devmode, void* printer_data, const WCHAR* name) {
  WCHAR text[CCHFORMNAME] = {};
  lstrcpynW(text, name, kFormNameChars + 1);
  const WCHAR* p = text;
  const DWORD bytes = (static_cast<DWORD>(lstrlenW(text)) + 1) * sizeof(WCHAR);
  return SetItemValueRaw(kFormNameId, devmode, printer_data, kTypeString, bytes, &p) == kDdmOk;
}

// The request taken as the custom size: needs a length and a width.
BOOL take_as_custom(const PaperSelection* request, PaperSelection* found) {
  if (request->width == 0 || request->length == 0) return FALSE;
  return give(found, request->code, request->width, request->length, request->name);
}

}  // namespace

void FreePaperSelectionName(PaperSelection* selection) {
  if (selection && selection->name) {
    GlobalFree(selection->name);
    selection->name = nullptr;
  }
}

BOOL IsOwnPrivatePart(DddHandle* database, void* devmode) {
  if (!devmode) return FALSE;
  const auto* head = static_cast<const BYTE*>(devmode);
  const DWORD extent = DWORD{morva::load_le16(head + kDmSizeOffset)} + morva::load_le16(head + kDmDriverExtraOffset);
  if (extent < kShortDevmodeSize) return FALSE;
  for (WORD ddmid : {WORD{2}, WORD{4}, WORD{5}, WORD{257}, WORD{259}})
    if (!CallItemHandler(database, ddmid, devmode, nullptr, kItemModeCheck)) return FALSE;
  return TRUE;
}

// ---------------------------------------------------------------- user papers

BOOL FindUserPaperSlot(const void* code, WORD type, UserPaperSlotIds* ids, LPWSTR name) {
  // The codes (262-301) never fit a byte.
  if (!code || type == kTypeByte) return FALSE;
  const bool wide = type == kTypeLong || type == kTypeLong4 || type == kTypeDword || type == kTypeLong10;
  for (WORD slot = 0; slot < kUserPaperSlots; ++slot) {
    // The slot's code as a value of the caller's type.
    ItemValue as_type{};
    if (wide) as_type.dw = UserPaperCodeOfSlot(slot);
    else as_type.w = UserPaperCodeOfSlot(slot);
    if (GetTypeCompare(type, code, &as_type) != 0) continue;
    if (ids) *ids = {static_cast<WORD>(kUserWidthBase + slot), static_cast<WORD>(kUserLengthBase + slot),
                     static_cast<WORD>(kUserNameBase + slot)};
    if (name) FormatUserPaperName(slot, name, kUserPaperNameChars);
    return TRUE;
  }
  return FALSE;
}

BOOL UserPaperSlotDdmids(void* devmode, void* printer_data, const void* code, WORD type, UserPaperRecord* record,
                         LPWSTR name) {
  if (!record) return FALSE;
  *record = {};
  if (!FindUserPaperSlot(code, type, &record->ids, name)) return FALSE;
  LONG width = 0, length = 0;
  std::u16string stored;
  if (!read_number(record->ids.width, devmode, printer_data, &width) ||
      !read_number(record->ids.length, devmode, printer_data, &length) ||
      !read_text(record->ids.name, devmode, printer_data, &stored))
    return FALSE;
  record->width = static_cast<WORD>(width);
  record->length = static_cast<WORD>(length);
  lstrcpynW(record->name, stored.c_str(), kUserPaperNameChars);
  return TRUE;
}

BOOL FindUserPaperName(WORD kind, void* devmode, void* printer_data, LPCWSTR name) {
  if (!name || (kind != kUserPaperStoredNames && kind != kUserPaperDefaultNames)) return FALSE;
  const std::u16string wanted(name);
  for (WORD slot = 0; slot < kUserPaperSlots; ++slot) {
    std::u16string slot_name;
    if (kind == kUserPaperStoredNames) {
      if (!read_text(static_cast<WORD>(kUserNameBase + slot), devmode, printer_data, &slot_name)) return FALSE;
    } else {
      WCHAR text[kUserPaperNameChars] = {};
      FormatUserPaperName(slot, text, kUserPaperNameChars);
      slot_name = text;
    }
    // An empty slot name would begin every name.
    if (!slot_name.empty() && wanted.compare(0, slot_name.size(), slot_name) == 0) return TRUE;
  }
  return FALSE;
}

// ---------------------------------------------------------------- searches

namespace {

// One search. An allocation that fails on the way marks it failed: a
// search step that could not be made must not send the walk on to another
// paper, so the whole selection then fails instead.
struct Search {
  DddHandle* database;
  void* app;
  void* printer_data;
  HANDLE printer;
  bool failed = false;

  // Runs a query and notes whether memory ran out inside it.
  template <typename F>
  auto watch(F&& query) {
    SetLastError(ERROR_SUCCESS);
    auto result = query();
    if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY) failed = true;
    return result;
  }
  bool give(PaperSelection* out, WORD code, WORD width, WORD length, const WCHAR* name) {
    if (!::give(out, code, width, length, name)) failed = true;
    return !failed;
  }
  // The paper-size item knows a paper named `name` (ignoring case).
  bool knows_name(const WCHAR* name) {
    if (!name) return false;
    DddChoiceTargetQuery query{0, {}, name};
    DddChoiceTargetResult result{};
    const INT found = watch([&] { return DddFindChoiceTarget(database, kPaperSizeItem, 3, &query, &result); });
    DddFreeChoiceTargetName(&result);
    if (found == 3) failed = true;
    return found == 0 && !failed;
  }
  // The size as a custom size, when it lies within the model's range.
  bool custom_size(WORD width, WORD length, PaperSelection* out) {
    CustomSizeRange range{};
    const BOOL known = watch([&] { return GetCustomSizeRange(database, &range); });
    if (failed || !known || !IsWithinCustomSizeRange(range, width, length)) return false;
    return give(out, kCustomCode, width, length, nullptr);
  }
};

// The spooler's forms for one search, freed with the object. A spooler
// failure leaves no forms; running out of memory fails the search.
struct Forms {
  FORM_INFO_1W* list = nullptr;
  DWORD count = 0;
  bool ok = false;
  explicit Forms(Search& search) {
    DWORD bytes = 0;
    const INT status = AllocEnumForms(search.printer, &list, &bytes, &count);
    ok = status == kFormsOk;
    if (status == kFormsNoMemory) search.failed = true;
  }
  ~Forms() {
    if (list) GlobalFree(list);
  }
  Forms(const Forms&) = delete;
  Forms& operator=(const Forms&) = delete;
  // 0-based index of the first form named `name` ignoring case, or -1.
  long find_by_name(const WCHAR* name) const {
    for (DWORD i = 0; name && i < count; ++i)
      if (list[i].pName && lstrcmpiW(list[i].pName, name) == 0) return static_cast<long>(i);
    return -1;
  }
};

bool pick_among_matches(Search& s, const FORM_INFO_1W* forms, const DWORD* positions, DWORD count, WORD method,
                        const PaperSelection* request, PaperSelection* out) {
  const bool by_name = method == kPaperByName;
  if (by_name && (!request->name || FindUserPaperName(kUserPaperStoredNames, s.app, s.printer_data, request->name)))
    return false;
  for (DWORD k = 0; k < count && !s.failed; ++k) {
    const FORM_INFO_1W& f = forms[positions[k]];
    const WORD code = static_cast<WORD>(positions[k] + 1);
    const bool candidate = by_name ? f.pName && lstrcmpiW(f.pName, request->name) == 0 : code == request->code;
    if (!candidate) continue;
    WORD width = 0, length = 0;
    if (form_size(f, &width, &length) && s.knows_name(f.pName)) return s.give(out, code, width, length, f.pName);
    if (!by_name) return false;
  }
  return false;
}

bool find_by_size(Search& s, WORD mask, const PaperSelection* request, PaperSelection* out) {
  Forms forms(s);
  if (s.failed) return false;
  DWORD* matches =
      forms.count ? static_cast<DWORD*>(GlobalAlloc(GPTR, sizeof(DWORD) * forms.count)) : nullptr;
  if (forms.count && !matches) {
    s.failed = true;
    return false;
  }
  DWORD n = 0;
  for (DWORD i = 0; i < forms.count; ++i) {
    WORD width = 0, length = 0;
    if (form_size(forms.list[i], &width, &length) && PaperSizesMatch(width, length, request->width, request->length))
      matches[n++] = i;
  }
  bool found = false;
  if (n > 0 && (mask & kPaperByCode))
    found = pick_among_matches(s, forms.list, matches, n, kPaperByCode, request, out);
  if (!found && n > 0 && (mask & kPaperByName) && request->name && request->name[0])
    found = pick_among_matches(s, forms.list, matches, n, kPaperByName, request, out);
  for (DWORD k = 0; k < n && !found && !s.failed; ++k) {
    const FORM_INFO_1W& f = forms.list[matches[k]];
    WORD width = 0, length = 0;
    form_size(f, &width, &length);
    if (s.knows_name(f.pName)) found = s.give(out, static_cast<WORD>(matches[k] + 1), width, length, f.pName);
  }
  if (matches) GlobalFree(matches);
  if (found || s.failed) return found && !s.failed;
  return s.custom_size(request->width, request->length, out);
}

bool check_known(Search& s, PaperSelection* candidate) {
  if (s.knows_name(candidate->name)) return true;
  if (s.failed) return false;
  DddChoiceTargetQuery query{0, {candidate->width, candidate->length}, nullptr};
  DddChoiceTargetResult result{};
  const INT by_size = s.watch([&] { return DddFindChoiceTarget(s.database, kPaperSizeItem, 2, &query, &result); });
  if (by_size == 3) s.failed = true;
  if (by_size != 0 || s.failed) {
    DddFreeChoiceTargetName(&result);
    return false;
  }
  // The printer's form named like the database's paper of that size.
  Forms forms(s);
  const long i = forms.ok ? forms.find_by_name(result.name) : -1;
  DddFreeChoiceTargetName(&result);
  WORD width = 0, length = 0;
  if (s.failed || i < 0 || !form_size(forms.list[i], &width, &length)) return false;
  candidate->code = static_cast<WORD>(i + 1);
  candidate->width = width;
  candidate->length = length;
  return true;
}

bool find_by_code_or_name(Search& s, WORD method, const PaperSelection* request, PaperSelection* out) {
  if (method != kPaperByName && method != kPaperByCode) return false;
  if (method == kPaperByName && (!request->name || !request->name[0])) return false;
  Forms forms(s);
  if (!forms.ok) return false;
  long index = -1;
  if (method == kPaperByName) index = forms.find_by_name(request->name);
  else if (request->code >= 1 && request->code <= forms.count) index = request->code - 1;
  PaperSelection candidate{static_cast<WORD>(index + 1), 0, 0, nullptr};
  if (index < 0 || !form_size(forms.list[index], &candidate.width, &candidate.length)) return false;
  const WCHAR* form_name = forms.list[index].pName;
  if (GetPaperListMode(s.database, s.printer_data) != 0)
    return s.give(out, candidate.code, candidate.width, candidate.length, form_name);
  if (!s.give(&candidate, candidate.code, candidate.width, candidate.length, form_name)) return false;
  const WORD form_width = candidate.width, form_length = candidate.length;
  bool result = false;
  if (check_known(s, &candidate)) {
    // Named by the form at the candidate's (possibly replaced) code.
    const WCHAR* name = candidate.code >= 1 && candidate.code <= forms.count ? forms.list[candidate.code - 1].pName
                                                                             : nullptr;
    result = s.give(out, candidate.code, candidate.width, candidate.length, name);
  } else if (!s.failed) {
    result = s.custom_size(form_width, form_length, out);
  }
  FreePaperSelectionName(&candidate);
  return result && !s.failed;
}

bool resolve(Search& s, const PaperSelection* request, PaperSelection* out, DWORD fields, BOOL custom_first) {
  *out = {};
  if (!(fields & kPaperFieldBits)) return false;
  static constexpr WORD kSizeFirst[] = {kPaperBySize, kPaperByCode, kPaperByName};
  static constexpr WORD kCodeFirst[] = {kPaperByCode, kPaperByName, kPaperBySize};
  const WORD* order = (request->code != kCustomCode && custom_first) ? kCodeFirst : kSizeFirst;

  const bool custom_request = request->code == kCustomCode;
  const bool setting_5200 = custom_request && ReadSetting5200(s.app, s.printer_data) != 0;
  PaperSelection found{};
  bool resolved = false;
  bool searched = true;
  if (custom_request) {
    if (setting_5200) {
      if ((fields & kDimensionBits) == kDimensionBits) {
        searched = false;
        resolved = take_as_custom(request, &found);
      } else {
        fields = DM_PAPERSIZE;
      }
    } else if (request->length != 0 && request->width != 0) {
      fields = kDimensionBits;
    }
  }

  out->code = request->code;
  out->width = request->width;
  out->length = request->length;
  if (request->name && !(out->name = copy_name(request->name, kRequestNameChars))) s.failed = true;

  WORD applicable = 0;
  if (fields & DM_PAPERSIZE) applicable |= kPaperByCode;
  if (fields & DM_FORMNAME) applicable |= kPaperByName;
  if ((fields & kDimensionBits) && request->length != 0 && request->width != 0) applicable |= kPaperBySize;

  for (int k = 0; searched && !resolved && !s.failed && k < 3; ++k) {
    const WORD method = order[k];
    if (!(applicable & method)) continue;
    if (method == kPaperBySize) {
      resolved = find_by_size(s, applicable, request, &found);
      break;
    }
    resolved = find_by_code_or_name(s, method, request, &found);
    if (!resolved && !s.failed && method == kPaperByCode && setting_5200) {
      // A custom size the forms do not name. Without a length and width
      // there is nothing to select.
      resolved = take_as_custom(request, &found);
      break;
    }
  }
  if (resolved && !s.failed) {
    FreePaperSelectionName(out);
    *out = found;
    return true;
  }
  FreePaperSelectionName(&found);
  return false;
}

}  // namespace

BOOL GetCustomFirstFlag(DddHandle* database, void* driver, void* app, void* printer_data, BOOL* flag) {
  *flag = FALSE;
  // The item checks read the database: memory running out there is a
  // failed read, not a foreign private part.
  Search s{database, app, printer_data, nullptr};
  void* source = nullptr;
  if (s.watch([&] { return IsOwnPrivatePart(database, app); })) source = app;
  else if (s.watch([&] { return IsOwnPrivatePart(database, driver); })) source = driver;
  if (s.failed) return FALSE;
  if (!source) return TRUE;
  LONG custom_first = 0, dimensions = 0;
  if (!read_number(kCustomFirstId, source, printer_data, &custom_first)) return FALSE;
  if (custom_first != 0) {
    *flag = TRUE;
    return TRUE;
  }
  if (!read_number(kPaperDimensionsId, source, printer_data, &dimensions)) return FALSE;
  *flag = dimensions != 0;
  return TRUE;
}

BOOL PickFormAmongMatches(DddHandle* database, void* app, void* printer_data, const FORM_INFO_1W* forms,
                          const DWORD* positions, DWORD count, WORD method, const PaperSelection* request,
                          PaperSelection* out) {
  if (!forms || !positions || !request || !out || (method != kPaperByCode && method != kPaperByName)) return FALSE;
  Search s{database, app, printer_data, nullptr};
  return pick_among_matches(s, forms, positions, count, method, request, out) && !s.failed;
}

BOOL FindPaperBySize(DddHandle* database, void* app, void* printer_data, HANDLE printer, WORD mask,
                     const PaperSelection* request, PaperSelection* out) {
  if (!request || !out) return FALSE;
  Search s{database, app, printer_data, printer};
  return find_by_size(s, mask, request, out);
}

BOOL CheckFormKnownToDatabase(DddHandle* database, void* app, void* printer_data, HANDLE printer,
                              PaperSelection* candidate) {
  if (!candidate) return FALSE;
  Search s{database, app, printer_data, printer};
  return check_known(s, candidate) && !s.failed;
}

BOOL FindPaperByCodeOrName(DddHandle* database, void* app, void* printer_data, HANDLE printer, WORD method,
                           WORD mask, const PaperSelection* request, PaperSelection* out) {
  (void)mask;  // the search by code or name looks at its own method only
  if (!request || !out) return FALSE;
  Search s{database, app, printer_data, printer};
  return find_by_code_or_name(s, method, request, out);
}

BOOL ResolvePaper(DddHandle* database, void* app, void* printer_data, HANDLE printer, const PaperSelection* request,
                  PaperSelection* out, DWORD fields, BOOL custom_first) {
  if (!request || !out) return FALSE;
  Search s{database, app, printer_data, printer};
  return resolve(s, request, out, fields, custom_first);
}

// ---------------------------------------------------------------- DEVMODE level

BOOL ApplyPrinterDefaultPaper(DddHandle* database, void* devmode, void* printer_data, HANDLE printer) {
  if (!devmode) return FALSE;
  void* scratch = AllocPrivateDevmode(kDevmodeKindFull);
  if (!scratch) return FALSE;
  DWORD size = kPrivateDevmodeSize;
  BOOL converted = FALSE;
  PRINTER_INFO_2W* info = GetPrinterDefaultDevmode(printer, database, scratch, &size, &converted);
  BOOL ok = info != nullptr;
  if (info) GlobalFree(info);
  for (WORD ddmid : {kPaperSizeItem, kPaperLengthId, kPaperWidthId, kFormNameId}) {
    if (!ok) break;
    WORD type = 0;
    DWORD bytes = 0;
    ItemValue v{};
    ok = GetItemValue(ddmid, scratch, printer_data, &type, &bytes, &v) == kDdmOk;
    if (!ok) break;
    const void* arg = type == kTypeString ? static_cast<const void*>(&v.ptr) : static_cast<const void*>(&v);
    ok = SetItemValueRaw(ddmid, devmode, printer_data, type, bytes, arg) == kDdmOk;
  }
  GlobalFree(scratch);
  return ok;
}

BOOL SelectPaperFromDevmode(DddHandle* database, void* driver, void* app, void* printer_data, HANDLE printer,
                            DWORD fields) {
  if (!app) return FALSE;
  const bool fall_back = driver == nullptr;
  void* target = driver ? driver : app;

  LONG length = 0, width = 0, code = 0;
  std::u16string name;
  if (!read_number(kPaperLengthId, app, printer_data, &length) ||
      !read_number(kPaperWidthId, app, printer_data, &width) ||
      !read_number(kPaperSizeItem, app, printer_data, &code) || !read_text(kFormNameId, app, printer_data, &name))
    return FALSE;
  BOOL custom_first = FALSE;
  if (!GetCustomFirstFlag(database, driver, app, printer_data, &custom_first)) return FALSE;

  PaperSelection request{static_cast<WORD>(code), static_cast<WORD>(width), static_cast<WORD>(length),
                         name.empty() ? nullptr : name.data()};
  PaperSelection selected{};
  Search search{database, app, printer_data, printer};
  if (!resolve(search, &request, &selected, fields, custom_first)) {
    FreePaperSelectionName(&selected);
    // A search that ran out of memory selects nothing, not a fallback.
    if (search.failed) return FALSE;
    if (fall_back) return ApplyPrinterDefaultPaper(database, app, printer_data, printer);
    return TRUE;
  }

  BOOL ok = write_number(kPaperLengthId, target, printer_data, selected.length) &&
            write_number(kPaperWidthId, target, printer_data, selected.width) &&
            write_number(kPaperSizeItem, target, printer_data, selected.code) &&
            (!selected.name || write_form_name(target, printer_data, selected.name));
  LONG app_fields = 0, target_fields = 0;
  ok = ok && read_number(kFieldsId, app, printer_data, &app_fields) &&
       read_number(kFieldsId, target, printer_data, &target_fields);
  if (ok) {
    DWORD f = static_cast<DWORD>(target_fields) | (static_cast<DWORD>(app_fields) & (DM_PAPERSIZE | DM_FORMNAME));
    if (custom_first) f |= kDimensionBits;
    if (selected.code == kCustomCode) f = (f & ~DM_FORMNAME) | kDimensionBits;
    ok = write_number(kFieldsId, target, printer_data, static_cast<LONG>(f));
  }
  FreePaperSelectionName(&selected);
  return ok;
}

BOOL SyncFormName(DddHandle* database, HANDLE printer, void* devmode, void* printer_data) {
  if (!database || !devmode) return FALSE;
  WORD type = 0;
  DWORD size = 0;
  ItemValue code{};
  if (GetItemValue(kPaperSizeItem, devmode, printer_data, &type, &size, &code) != kDdmOk) return FALSE;
  const WORD paper = static_cast<WORD>(GetTypedValue(type, &code));
  if (paper == kCustomCode) {
    LONG fields = 0;
    if (!read_number(kFieldsId, devmode, printer_data, &fields)) return FALSE;
    return SelectPaperFromDevmode(database, nullptr, devmode, printer_data, printer, static_cast<DWORD>(fields));
  }
  {
    WORD name_type = 0;
    DWORD name_size = 0;
    ItemValue ignored{};
    if (GetItemValue(kFormNameId, devmode, printer_data, &name_type, &name_size, &ignored) != kDdmOk) return FALSE;
  }
  WCHAR name[kPaperNameChars] = {};
  UserPaperRecord record{};
  if (UserPaperSlotDdmids(devmode, printer_data, &code, type, &record, name)) {
    // the slot's default name, already in `name`
  } else if (HasPaperSizeList(database)) {
    const WCHAR* listed = nullptr;
    if (FindPaperSize(database, kPaperKeyDriverId, paper, kPaperResultName, &listed) != kPaperListOk || !listed)
      return FALSE;
    lstrcpynW(name, listed, kPaperNameChars);
  } else {
    DddChoiceTargetQuery query{paper, {}, nullptr};
    DddChoiceTargetResult result{};
    if (DddFindChoiceTarget(database, kPaperSizeItem, 1, &query, &result) != 0 || !result.name) {
      DddFreeChoiceTargetName(&result);
      return FALSE;
    }
    lstrcpynW(name, result.name, kPaperNameChars);
    DddFreeChoiceTargetName(&result);
  }
  if (!name[0] || !write_form_name(devmode, printer_data, name)) return FALSE;
  return SelectPaperFromDevmode(database, nullptr, devmode, printer_data, printer, DM_FORMNAME);
}
