// Paper margins against their paper, and the start-up warnings of a sheet.
#include "property_sheets/margin_checks.h"

#include <cstring>
#include <string>

#include "property_sheets/sheet_records.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_messages.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/constraints/entry_checks.h"
#include "settings/constraints/settings_validation.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/items/item_access.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

constexpr WORD kCustomPaper = 256;
constexpr WORD kMarginPlaceDdmid = 463;
constexpr INT kNewText = -3;
constexpr INT kWarningChars = 1024;

int user_slot(WORD id) {
  if (id >= 262 && id <= 266) return id - 262;
  if (id >= 287 && id <= 301) return id - 282;
  return -1;
}

bool read(const MarginCheckContext* c, WORD ddmid, LONG* value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, c->devmode, c->printer_data, &type, &size, &v) != 0) return false;
  *value = GetTypedValue(type, &v);
  return true;
}

std::u16string read_text(const MarginCheckContext* c, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, c->devmode, c->printer_data, &type, &size, &v) != 0 || type != 6) return {};
  return ItemText(v, size);
}

std::u16string resource_text(UINT id) {
  WCHAR buffer[128] = {};
  const INT n = LoadStringW(GetResourceModule(), id, buffer, 128);
  return std::u16string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

// A paper's width and length: user slots and the custom paper from their
// settings, others from the database.
bool paper_size(const MarginCheckContext* c, WORD paper, LONG size[2]) {
  const int slot = user_slot(paper);
  if (slot >= 0) return read(c, static_cast<WORD>(5889 + slot), &size[0]) && read(c, static_cast<WORD>(5909 + slot), &size[1]);
  if (paper == kCustomPaper) return read(c, 1863, &size[0]) && read(c, 1864, &size[1]);
  SettingsTarget target{c->database, c->devmode, c->printer_data};
  DddPair pair{};
  if (!GetPaperDimensions(&target, paper, &pair)) return false;
  size[0] = pair.first;
  size[1] = pair.second;
  return true;
}

// Sum of the two margins across side `side` (0 width, 1 length) of margins
// in the caller's order: in portrait the first and third lie across the
// width, in landscape across the length.
LONG across(const PaperMargin& m, LONG orientation, int side) {
  const bool odd_pair = (side == 0) != (orientation == 1);
  return odd_pair ? m.m[1] + m.m[3] : m.m[0] + m.m[2];
}

LPWSTR new_text(const std::u16string& s, INT chars) {
  auto* out = static_cast<LPWSTR>(GlobalAlloc(GPTR, static_cast<SIZE_T>(chars) * sizeof(WCHAR)));
  if (!out) return nullptr;
  const size_t n = std::min(s.size(), static_cast<size_t>(chars - 1));
  std::memcpy(out, s.data(), n * sizeof(WCHAR));
  return out;
}

}  // namespace

INT CheckPaperMargins(const MarginCheckContext* c, WORD paper, INT index, const PaperMargin* margins,
                      const LONG* dimensions, const PaperMarginArray* array, BOOL store_flag, BOOL from_store) {
  if (!c) return 0;
  LONG orientation = 0;
  if (!read(c, 7, &orientation) || (orientation != 1 && orientation != 2)) return 0;
  PaperMargin m{};
  int side;
  LONG length;
  if (from_store) {
    if (!dimensions || index < 0 || index > 1) return 0;
    PaperMargin stored{};
    if (GetStoredPaperMargins(c->printer, c->database, nullptr, paper, &stored, store_flag, array,
                              static_cast<INT>(orientation)) != 1)
      return 0;
    m = PaperMargin{{stored.m[3], stored.m[0], stored.m[2], stored.m[1]}};
    side = index;
    length = dimensions[index];
  } else {
    if (!margins || index < 0 || index > 3) return 0;
    m = *margins;
    LONG size[2];
    if (!paper_size(c, paper, size)) return 0;
    side = ((index % 2) == 0) == (orientation == 1) ? 0 : 1;
    length = size[side];
  }
  return across(m, orientation, side) < length ? 1 : -1;
}

INT FindPapersWithBadMargins(const MarginCheckContext* c, BOOL store_flag, BadPaperList* out) {
  if (!c || !c->database || !out) return 0;
  *out = BadPaperList{};
  DddHandle* db = c->database;
  WORD papers[kBadPaperSlots] = {};
  int count = 0;
  const WORD records = DddGetRecordCount(&db->main, DDD_KIND_PAPER);
  for (WORD position = 1; position <= records && count < kBadPaperSlots; ++position) {
    DddValue* v = nullptr;
    if (DddLoadValue(DDD_LOAD_HEADER, &db->main, &db->linked, DDD_KIND_PAPER, position, &v) != DDD_OK) return 0;
    const WORD id = v->id;
    DddFreeValue(&v, 0xFFFF);
    if (id == kCustomPaper || user_slot(id) >= 0) papers[count++] = id;
  }
  PaperMarginArray* array = LoadPaperMarginArray(c->printer);
  if (!array) return 0;
  INT result = 1;
  int bad = 0;
  for (int k = 0; k < count && result != 0; ++k) {
    LONG size[2];
    if (!paper_size(c, papers[k], size)) {
      result = 0;
      break;
    }
    // A paper whose size was never given (a custom or user paper still
    // 0 x 0) holds no margins to check: resetting them would only repeat
    // the same warning at every start.
    if (size[0] <= 0 || size[1] <= 0) continue;
    for (int side = 0; side < 2; ++side) {
      const INT r = CheckPaperMargins(c, papers[k], side, nullptr, size, array, store_flag, TRUE);
      if (r == 0) {
        result = 0;
        break;
      }
      if (r == -1) {
        out->ids[bad++] = papers[k];
        result = -1;
        break;
      }
    }
  }
  FreePaperMarginArray(array);
  return result;
}

INT ResetBadPaperMargins(const MarginCheckContext* c, BOOL to_registry, const BadPaperList* list) {
  if (!c || !list) return 0;
  LONG orientation = 0;
  if (!read(c, 7, &orientation)) return 0;
  PaperMargin defaults{};
  if (GetDefaultPaperMargins(&defaults, static_cast<INT>(orientation)) != 1) return 0;
  PaperMarginArray* array = to_registry ? nullptr : LoadPaperMarginArray(c->printer);
  if (!to_registry && !array) return 0;
  bool ok = true;
  for (WORD id : list->ids) {
    if (id == 0) continue;
    if (to_registry)
      ok = SavePaperMargin(c->printer, c->database, nullptr, id, &defaults, static_cast<INT>(orientation)) == 1 && ok;
    else
      ok = StoreTemporaryPaperMargin(array, id, &defaults, static_cast<INT>(orientation)) == 1 && ok;
  }
  if (array) {
    ok = ok && SavePaperMarginArray(c->printer, array) == 1;
    FreePaperMarginArray(array);
  }
  const BYTE flag = to_registry ? 1 : 0;
  ok = ok && SetItemValue(kMarginPlaceDdmid, c->devmode, c->printer_data, 1, 8, &flag);
  return ok ? 1 : 0;
}

INT FormatDefaultMarginText(LPWSTR out, INT chars) {
  if (!out || chars <= 0) return 0;
  PaperMargin m{};
  GetDefaultPaperMargins(&m, 1);
  std::u16string text;
  for (char ch : std::to_string(m.m[3] / 10) + "." + std::to_string(m.m[3] % 10)) text += static_cast<char16_t>(ch);
  text += u" " + resource_text(460);
  const size_t n = std::min(text.size(), static_cast<size_t>(chars - 1));
  std::memcpy(out, text.data(), n * sizeof(WCHAR));
  out[n] = 0;
  return static_cast<INT>(n);
}

INT FormatPaperDisplayName(const MarginCheckContext* c, WORD paper, LPWSTR out, INT chars) {
  if (!c || !out || chars <= 0) return 0;
  std::u16string name;
  if (paper == kCustomPaper) {
    WCHAR* record = nullptr;
    if (DddGetRecordName(&c->database->main, &c->database->linked, DDD_KIND_PAPER, kCustomPaper, 0, &record) !=
            DDD_OK ||
        !record)
      return 0;
    name = record;
    GlobalFree(record);
  } else {
    const int slot = user_slot(paper);
    LONG size[2];
    if (slot < 0 || !paper_size(c, paper, size)) return 0;
    const std::u16string unit = resource_text(460);
    WCHAR line[160] = {};
    FormatResourceMessage(line, 160, u"%s (%d%s%d%s)", read_text(c, static_cast<WORD>(5929 + slot)).c_str(),
                          static_cast<INT>(size[0] / 10), resource_text(736).c_str(), static_cast<INT>(size[1] / 10),
                          unit.c_str());
    name = line;
  }
  WCHAR joined[200] = {};
  FormatResourceMessage(joined, 200, u"%s %s", name.c_str(), resource_text(729).c_str());
  const std::u16string result = joined;
  const size_t n = std::min(result.size(), static_cast<size_t>(chars - 1));
  std::memcpy(out, result.data(), n * sizeof(WCHAR));
  out[n] = 0;
  return 1;
}

INT BuildMarginWarningText(const MarginCheckContext* c, INT message_id, const BadPaperList* list, LPWSTR* text,
                           BOOL append) {
  if (!c || !list || !text) return 0;
  bool any = false;
  for (WORD id : list->ids) any = any || id != 0;
  if (!any) return 1;
  WCHAR margin[32] = {};
  FormatDefaultMarginText(margin, 32);
  std::u16string lines;
  for (WORD id : list->ids) {
    if (id == 0) continue;
    WCHAR name[200] = {};
    if (!FormatPaperDisplayName(c, id, name, 200)) return 0;
    LPWSTR line = nullptr;
    if (!FormatResourceString(GetResourceModule(), &line, 512, 706, name, margin)) return 0;
    lines += line;
    GlobalFree(line);
  }
  LPWSTR made = nullptr;
  if (message_id == kNewText) {
    made = new_text(lines, kWarningChars);
  } else if (!FormatResourceString(GetResourceModule(), &made, kWarningChars, static_cast<UINT>(message_id),
                                   lines.c_str())) {
    return 0;
  }
  if (!made) return 0;
  if (append && *text) {
    const std::u16string joined = std::u16string(*text) + made;
    GlobalFree(made);
    made = new_text(joined, static_cast<INT>(joined.size() + 1));
    if (!made) return 0;
    GlobalFree(*text);
  } else if (*text) {
    GlobalFree(*text);
  }
  *text = made;
  return 1;
}

INT GetPendingWarning(const PendingWarnings* holder, INT index, LPCWSTR* text) {
  if (text) *text = nullptr;
  if (!holder || !text || index < 0 || index > 1) return 1;
  *text = holder->texts[index];
  return 0;
}

INT CollectApplyWarnings(const MarginCheckContext* c, DWORD flags, BOOL check_margins, INT message_id, INT host_class,
                         PendingWarnings** out, const ConflictMessageOptions* options) {
  if (!out) return 0;
  *out = nullptr;
  if (!c) return 0;
  auto* holder = static_cast<PendingWarnings*>(GlobalAlloc(GPTR, sizeof(PendingWarnings)));
  if (!holder) return 0;
  auto fail = [&]() {
    FreePendingWarnings(&holder);
    return 0;
  };
  const HMODULE module = GetResourceModule();
  if (flags & kWarnValidate) {
    LPWSTR text = nullptr;
    const INT r = ValidateSettings(FALSE, module, c->printer, c->database, c->devmode, c->printer_data, kNewText,
                                   options, &text);
    if (r == 4) holder->texts[0] = text;
    else if (text) GlobalFree(text);
  }
  LONG place = 0;
  if (!read(c, kMarginPlaceDdmid, &place)) return fail();
  bool skip = false;
  BOOL to_registry = TRUE;
  if (host_class >= 0) to_registry = host_class != 0;
  else skip = place != 1;
  if (check_margins && !skip) {
    BadPaperList list{};
    const INT found = FindPapersWithBadMargins(c, to_registry, &list);
    if (found == 0) return fail();
    if (found == -1) {
      if (!ResetBadPaperMargins(c, to_registry, &list)) return fail();
      if (!BuildMarginWarningText(c, message_id, &list, &holder->texts[0], holder->texts[0] != nullptr)) return fail();
    }
  }
  if (flags & kWarnImagePlacement) {
    LPWSTR text = nullptr;
    if (CheckImageFitsPaperText(module, c->database, c->devmode, c->printer_data, nullptr, &text) == 11) {
      holder->texts[holder->texts[0] ? 1 : 0] = text;
    } else if (text) {
      GlobalFree(text);
    }
  }
  if (!holder->texts[0] && !holder->texts[1]) {
    FreePendingWarnings(&holder);
    return 1;
  }
  *out = holder;
  return 1;
}

INT QueueStartupWarnings(SheetContext* context, DWORD flags, INT message_id, INT host_class,
                         const ConflictMessageOptions* options) {
  if (!context || !context->state) return 0;
  SheetState* state = context->state;
  if (state->startup_warning_shown) return 0;
  const MarginCheckContext c{state->database, state->printer, context->current.devmode, context->current.printer_data};
  PendingWarnings* holder = nullptr;
  if (!CollectApplyWarnings(&c, flags, TRUE, message_id, host_class, &holder, options)) return 0;
  if (state->pending_warnings) FreePendingWarnings(&state->pending_warnings);
  state->pending_warnings = holder;
  state->startup_warning_shown = TRUE;
  return 1;
}
