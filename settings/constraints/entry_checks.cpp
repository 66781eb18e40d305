// Entry checks of edit fields, the stamp checks and the image placement check.
#include "settings/constraints/entry_checks.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_texts.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/stores/stamp_store.h"
#include "win/memory.h"
#include "win/resources.h"

using namespace morva::ddm;

namespace {

constexpr WORD kStampName = 297;
constexpr WORD kStampText = 299;
constexpr WORD kStampPlacement = 296;
constexpr WORD kStampOff = 321;
constexpr WORD kAddStamp = 36865;
constexpr WORD kImageFlag = 1281;
constexpr WORD kScale = 263;
constexpr WORD kCopies = 12;
constexpr WORD kTextColumns = 258;

// The fixed ranges of fields with kFieldFixedRange.
struct FixedRange {
  WORD ddmid;
  LONG smallest;
  LONG largest;
  LONG divisor;  // the bounds are shown divided by it
  UINT text_id;
};
constexpr FixedRange kFixedRanges[] = {
    {306, 7, 600, 1, 301}, {359, 5, 24, 1, 301}, {385, 50, 240, 10, 301},
    {309, -900, 900, 10, 300}, {310, -900, 900, 10, 300}, {311, -900, 900, 10, 300},
};

// A number setting as the engine gives it: its type and its value widened.
bool read_number(const SettingsTarget* target, WORD ddmid, WORD* type, LONG* value) {
  WORD t = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, target->devmode, target->printer_data, &t, &size, &v) != 0 || t == kTypeString ||
      t == kTypeLogFont)
    return false;
  if (type) *type = t;
  *value = GetTypedValue(t, &v);
  return true;
}

// The value the change gives `ddmid`, or its current value, widened by the
// setting's own type.
bool read_changed_or_current(const SettingsTarget* target, const SettingChange* change, WORD ddmid, LONG* value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, target->devmode, target->printer_data, &type, &size, &v) != 0 || type == kTypeString ||
      type == kTypeLogFont)
    return false;
  BYTE bytes[4] = {};
  if (!ReadChangedOrCurrentValue(target, change, ddmid, size > 4 ? 4 : size, bytes)) return false;
  *value = GetTypedValue(type, bytes);
  return true;
}

std::u16string resource_text(UINT id) {
  WCHAR text[kConflictTextChars] = {};
  HMODULE module = GetResourceModule();
  const INT n = module ? LoadStringW(module, id, text, kConflictTextChars) : 0;
  return n > 0 ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
}

// A conflict item that empties a text setting.
bool empty_text_item(WORD ddmid, ConflictItem* item) {
  auto* text = static_cast<LPWSTR>(GlobalAlloc(GPTR, sizeof(WCHAR)));
  auto* cell = static_cast<LPWSTR*>(GlobalAlloc(GPTR, sizeof(LPWSTR)));
  if (!text || !cell) {
    if (text) GlobalFree(text);
    if (cell) GlobalFree(cell);
    return false;
  }
  *cell = text;
  *item = ConflictItem{ddmid, kTypeString, 4, cell};
  return true;
}

}  // namespace

bool ClockSettingLargest(WORD ddmid, LONG* largest) {
  if (ddmid != 451 && ddmid != 452) return false;
  *largest = ddmid == 451 ? 23 : 59;
  return true;
}

namespace {

// The range a database item's first two choices give (kinds 13 or 14).
bool item_range(const SettingsTarget* target, WORD ddmid, WORD type, LONG* smallest, LONG* largest) {
  DddHandle* db = target->database;
  WORD kind = 0;
  DddValue* item = nullptr;
  if (DddGetItemValue(DDD_LOAD_FULL, &db->main, &db->linked, ddmid, nullptr, &kind, &item) != DDD_OK || !item)
    return false;
  bool ok = kind == 3 || kind == 4;
  LONG bounds[2] = {};
  for (WORD n = 1; ok && n <= 2; ++n) {
    WORD choice_kind = 0;
    DddValue* choice = nullptr;
    ok = DddLoadItemChoice(DDD_LOAD_FULL, FALSE, &db->main, &db->linked, item, n, &choice_kind, &choice) == DDD_OK &&
         choice;
    if (ok) {
      const DddTypedValue& v = static_cast<const DddChoice*>(choice)->value;
      const WORD width = type == 2 || type == 3 ? 2 : 4;
      ok = v.data && v.count && v.element_size >= width;
      if (ok) {
        BYTE bytes[4] = {};
        std::memcpy(bytes, v.data, width);
        bounds[n - 1] = GetTypedValue(type, bytes);
      }
    }
    if (choice) DddFreeValue(&choice, 0xFFFF);
    // Only the smallest given: a clock bounds the largest.
    if (!ok && n == 2) ok = ClockSettingLargest(ddmid, &bounds[1]);
  }
  DddFreeValue(&item, 0xFFFF);
  *smallest = bounds[0];
  *largest = bounds[1];
  return ok;
}

}  // namespace

INT ReadChangedOrCurrentValue(const SettingsTarget* target, const SettingChange* change, WORD ddmid, DWORD size,
                              void* out) {
  if (!target || !out || size > 4) return 0;
  if (change && change->ddmid == ddmid) {
    if (!change->value) return 0;
    std::memcpy(out, change->value, size);
    return 1;
  }
  WORD type = 0;
  DWORD have = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, target->devmode, target->printer_data, &type, &have, &v) != 0) return 0;
  std::memcpy(out, &v.dw, size);
  return 1;
}

INT CheckNumericItemRange(const SettingsTarget* target, const SettingChange* change, const ConflictReport* report,
                          INT* message, EntryCheckState* state) {
  (void)report;
  if (!target || !target->database || !change || !message || !state) return kAnswerError;
  if (!change->value) return kAnswerRefused;
  if (state->field_flags & kFieldFixedRange) {
    for (const FixedRange& row : kFixedRanges) {
      if (row.ddmid != change->ddmid) continue;
      LONG value;
      if (row.smallest < 0) {
        std::memcpy(&value, change->value, 4);
      } else {
        WORD w;
        std::memcpy(&w, change->value, 2);
        value = w;
      }
      if (row.smallest <= value && value <= row.largest) return kAnswerGoAhead;
      const std::u16string text = resource_text(row.text_id);
      std::memset(state->text, 0, sizeof state->text);
      text.copy(state->text, std::min<size_t>(text.size(), kConflictTextChars - 1));
      const bool signed_row = row.smallest < 0;  // shown in tenths
      state->smallest = signed_row ? row.smallest : row.smallest / row.divisor;
      state->largest = signed_row ? row.largest : row.largest / row.divisor;
      state->integer_only = 1;
      state->divisor = static_cast<WORD>(signed_row ? row.divisor : 1);
      state->type = change->type;
      *message = kMessageRange;
      return kAnswerShowMessage;
    }
    return kAnswerError;
  }
  if (change->ddmid == kScale) {
    LONG flag = 0;
    if (!read_number(target, kImageFlag, nullptr, &flag)) return kAnswerError;
    if (!flag) return kAnswerGoAhead;
  }
  LONG smallest = 0, largest = 0;
  if (!item_range(target, change->ddmid, change->type, &smallest, &largest)) return kAnswerError;
  const LONG value = GetTypedValue(change->type, change->value);
  if (change->ddmid == kCopies) {
    DeviceCapabilityBits bits{};
    DWORD limit = static_cast<DWORD>(largest);
    if (!LoadCapabilityBits(target->database, &bits) ||
        !AdjustCopiesLimit(target->devmode, target->printer_data, target->database, &bits, &limit))
      return kAnswerError;
    largest = static_cast<LONG>(limit);
  }
  if (smallest <= value && value <= largest) return kAnswerGoAhead;
  LONG divisor = 1;
  BOOL integer_only = TRUE;
  if ((state->field_flags & (kFieldConvertedUnits | kFieldAdjustmentSteps)) && state->decimals > 0) {
    divisor = 1;
    for (LONG d = 0; d < state->decimals && divisor < 1000000; ++d) divisor *= 10;
    integer_only = FALSE;
  }
  LONG bounds[2] = {smallest, largest};
  for (LONG& bound : bounds) {
    if (state->field_flags & kFieldConvertedUnits) {
      LONG converted = 0;
      BYTE bytes[4];
      std::memcpy(bytes, &bound, 4);
      if (ConvertSettingUnits(2, change->ddmid, change->type, bytes, &converted)) bound = converted;
    }
    if ((state->field_flags & kFieldAdjustmentSteps) && state->step_switch == 1)
      bound = ClampAdjustmentStep(bound, change->ddmid);
  }
  state->text[0] = 0;
  state->smallest = bounds[0];
  state->largest = bounds[1];
  state->type = 4;
  state->integer_only = integer_only;
  state->divisor = static_cast<WORD>(divisor);
  *message = kMessageRange;
  return kAnswerShowMessage;
}

INT CheckStampCount(HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                    const ConflictReport* report, INT* message) {
  (void)report;
  if (!target || !change) return kAnswerError;
  if (change->ddmid == 272) return kAnswerGoAhead;
  if (change->ddmid != kAddStamp || !printer) return kAnswerError;
  DWORD count = 0;
  if (CountStoredStamps(printer, &count, target->database) != kStampOk) return kAnswerError;
  if (count < kMaxUserStamps) return kAnswerRefused;
  if (message) *message = kMessageStampLimit;
  return kAnswerShowMessage;
}

INT CheckEnteredValue(HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                      const ConflictReport* report, WORD check_kind, INT* message, EntryCheckState* state) {
  if (!target || !change || !report || !message || !state) return kAnswerError;
  *message = kMessageConflict;
  switch (check_kind) {
    case 8: return CheckNumericItemRange(target, change, report, message, state);
    case 12: {
      const INT r = CheckNumericItemRange(target, change, report, message, state);
      if (r != kAnswerGoAhead) return r;
      *message = kMessageConflict;
      return kAnswerShowMessage;
    }
    case 16: return CheckStampCount(printer, target, change, report, message);
    case 1: return kAnswerRefused;
    case 4:
    case 36:
    case 132: return kAnswerShowMessage;
    case 68:
    case 100: *message = kMessageImagePlacement; return kAnswerShowMessage;
    default: return kAnswerError;
  }
}

void FreeConflictExtras(ConflictExtras* extras) {
  if (!extras) return;
  if (extras->condition_line) GlobalFree(extras->condition_line);
  if (extras->action_line) GlobalFree(extras->action_line);
  if (extras->items) {
    for (WORD i = 0; i < extras->item_count; ++i) {
      ConflictItem& item = extras->items[i];
      if (item.type == kTypeString && item.value) {
        auto* cell = static_cast<LPWSTR*>(item.value);
        if (*cell) GlobalFree(*cell);
      }
      if (item.value) GlobalFree(item.value);
    }
    GlobalFree(extras->items);
  }
  *extras = ConflictExtras{};
}

INT BuildStampConflictTexts(void* devmode, void* printer_data, ConflictExtras* extras) {
  if (!extras) return 1;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(kStampName, devmode, printer_data, &type, &size, &v) != 0 || type != kTypeString) return 1;
  const std::u16string name = ItemText(v, size);
  const std::u16string label = resource_text(302);
  const std::u16string none = resource_text(426);
  HMODULE module = GetResourceModule();
  LPWSTR condition = nullptr, action = nullptr;
  if (!FormatResourceString(module, &condition, kConflictLineChars, 706, label.c_str(), name.c_str()) ||
      !FormatResourceString(module, &action, kConflictLineChars, 706, label.c_str(), none.c_str())) {
    if (condition) GlobalFree(condition);
    return 2;
  }
  ConflictExtras built{};
  built.condition_line = condition;
  built.action_line = action;
  built.items = static_cast<ConflictItem*>(GlobalAlloc(GPTR, 2 * sizeof(ConflictItem)));
  if (!built.items) {
    FreeConflictExtras(&built);
    return 2;
  }
  for (WORD d : {kStampName, kStampText}) {
    if (!empty_text_item(d, &built.items[built.item_count])) {
      FreeConflictExtras(&built);
      return 2;
    }
    ++built.item_count;
  }
  *extras = built;
  return 0;
}

INT CheckStampItemConflict(const SettingsTarget* target, const SettingChange* change, ConflictExtras* extras) {
  if (!target || !change || !extras) return 1;
  const WORD d = change->ddmid;
  if (d != 8 && d != kStampPlacement && d != kStampOff) return 1;
  if (d != kStampPlacement && !change->value) return 0;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(kStampName, target->devmode, target->printer_data, &type, &size, &v) != 0 || type != kTypeString)
    return 1;
  if (ItemText(v, size).empty()) return 0;
  const LONG value = change->value ? GetTypedValue(change->type, change->value) : 0;
  const bool conflicts = (d == 8 && value >= 307 && value <= 310) || d == kStampPlacement || (d == kStampOff && value == 1);
  if (!conflicts) return 0;
  return BuildStampConflictTexts(target->devmode, target->printer_data, extras);
}

INT GetPaperPrintableArea(const SettingsTarget* target, WORD paper, LONG* width, LONG* length) {
  if (!target || !target->database || !width || !length) return 1;
  const bool sized = IsUserPaperCode(paper) || paper == 256;
  DddPair size{};
  if (sized && !GetPaperDimensions(target, paper, &size)) return 1;
  DddValue* value = nullptr;
  if (DddLoadRecord(DDD_LOAD_FULL, &target->database->main, &target->database->linked, DDD_KIND_PAPER, paper, 0,
                    &value) != DDD_OK ||
      !value)
    return 1;
  const auto* record = static_cast<const DddPaper*>(value);
  INT result = 0;
  if (!sized) {
    *width = record->area.first;
    *length = record->area.second;
  } else if (!record->margin_id) {
    result = 1;
  } else {
    // Width less the left and right margins, length less bottom and top,
    // kept within the paper's two area pairs.
    DWORD w = static_cast<DWORD>(size.first) - record->margin_lb.first - record->margin_rt.first;
    DWORD l = static_cast<DWORD>(size.second) - record->margin_lb.second - record->margin_rt.second;
    w = std::min<DWORD>(w, record->area2.first);
    l = std::min<DWORD>(l, record->area2.second);
    w = std::max<DWORD>(w, record->area.first);
    l = std::max<DWORD>(l, record->area.second);
    *width = static_cast<LONG>(w);
    *length = static_cast<LONG>(l);
  }
  DddFreeValue(&value, 0xFFFF);
  return result;
}

INT CheckImageFitsPaper(const SettingsTarget* target, const SettingChange* change, WORD** list) {
  if (!list || !target) return 1;
  *list = nullptr;
  LONG placement = 0, off = 0, flag = 0, input = 0, output = 0, scale = 0;
  if (!read_changed_or_current(target, change, kStampPlacement, &placement)) return 1;
  if (!read_changed_or_current(target, change, kStampOff, &off)) return 1;
  if (off != 1) return 0;
  if (!read_number(target, kImageFlag, nullptr, &flag)) return 1;
  if (!flag) return 0;
  if (!read_changed_or_current(target, change, 8, &input) || !read_changed_or_current(target, change, 262, &output))
    return 1;
  if (output == 267) output = input;
  // The scale is judged by its new value when it is the item changing.
  if (!read_changed_or_current(target, change, kScale, &scale)) return 1;
  scale = static_cast<SHORT>(scale);
  LONG wp = 0, lp = 0, wo = 0, lo_len = 0;
  if (GetPaperPrintableArea(target, static_cast<WORD>(input), &wp, &lp)) return 1;
  if (output == input) {
    wo = wp;
    lo_len = lp;
  } else if (GetPaperPrintableArea(target, static_cast<WORD>(output), &wo, &lo_len)) {
    return 1;
  }
  const long long hi = (placement >> 8) & 0xFF, lo = placement & 0xFF;
  // In 64 bits: a product of a paper length and the scale does not fit 32.
  long long a, b;
  if (placement == kTextColumns) {
    a = lo_len * hi * 100 - static_cast<long long>(wp) * scale;
    b = wo * lo * 100 - static_cast<long long>(lp) * scale;
  } else {
    a = wo * hi * 100 - static_cast<long long>(wp) * scale;
    b = lo_len * lo * 100 - static_cast<long long>(lp) * scale;
  }
  INT result = 0;
  if (a < 0 || b < 0) result = 13;
  if ((placement == kTextColumns && b > static_cast<long long>(wo) * 100) ||
      (placement != kTextColumns && a >= static_cast<long long>(wo) * 100 && b >= static_cast<long long>(lo_len) * 100))
    result = 14;
  if (!result) return 0;
  static constexpr WORD kInvolved[] = {8, 262, kStampPlacement, kImageFlag, kScale};
  auto* out = static_cast<WORD*>(GlobalAlloc(GPTR, (std::size(kInvolved) + 1) * sizeof(WORD)));
  if (!out) return 1;
  WORD n = 0;
  for (WORD d : kInvolved)
    if (!change || d != change->ddmid) out[n++] = d;
  *list = out;
  return result;
}

INT CheckImageFitsPaperText(HMODULE module, DddHandle* database, void* devmode, void* printer_data,
                            const ConflictMessageOptions* options, LPWSTR* text) {
  if (!module || !devmode || !printer_data || !text || !database) return kAnswerError;
  *text = nullptr;
  const SettingsTarget target{database, devmode, printer_data};
  const SettingChange as_they_are{0, 0, nullptr};
  WORD* list = nullptr;
  const INT fits = CheckImageFitsPaper(&target, &as_they_are, &list);
  if (fits == 0) return kAnswerFits;
  INT result = kAnswerError;
  if (fits == 13 || fits == 14) {
    LPWSTR made = nullptr;
    if (BuildConstraintText(fits == 13 ? 19 : 18, module, &target, &as_they_are, nullptr, nullptr, list, options,
                            &made) &&
        made) {
      // The message buffer holds any text the builder makes.
      *text = made;
      result = kAnswerShowMessage;
    }
  }
  if (list) GlobalFree(list);
  return result;
}

INT TestItemRuleValue(const SettingsTarget* target, const SettingChange* item) {
  if (!target || !item || !item->value) return kAnswerError;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(item->ddmid, target->devmode, target->printer_data, &type, &size, &v) != 0) return kAnswerError;
  std::u16string text;
  const void* current = &v;
  if (type == kTypeString) {
    text = ItemText(v, size);
    current = text.c_str();
  }
  return CompareRuleValue(0, item->type, item->value, type, current);
}
