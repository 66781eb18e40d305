// Whole-settings validation.
#include "settings/constraints/settings_validation.h"

#include <cstring>
#include <iterator>
#include <string>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/constraints/conflict_texts.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/model_config.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/devmode/placement_colour.h"
#include "settings/items/item_access.h"
#include "win/memory.h"

using namespace morva::ddm;

namespace {

constexpr WORD kPaper = 8;
constexpr WORD kFields = 6;
constexpr WORD kOrientation = 7;
constexpr WORD kCopies = 12;
constexpr WORD kCustomPaper = 256;
constexpr DWORD kPaperLength = 0x4;  // DM_PAPERLENGTH
constexpr DWORD kPaperWidth = 0x8;   // DM_PAPERWIDTH
constexpr WORD kJobType = 334;
constexpr WORD kJobCodeText = 5129;
constexpr WORD kOutputDestination = 266;

constexpr DWORD kCapNoJobTypeCheck = 0xFFFF002E;
constexpr DWORD kCapOutputTrays = 0xFFFF0028;
constexpr DWORD kCapFinisherFlag = 0xFFFF002D;
constexpr DWORD kCapPunchTray = 0xFFFF003A;
constexpr DWORD kCodeLengthMask = 0x40000000;

constexpr ValidationRange kPass1[] = {{4097, 4371}, {5121, 5215}, {8, 8},   {16, 16},   {13, 13},    {7, 7},
                                 {12, 12},     {262, 262},   {265, 265}, {14, 14}, {18, 18},   {1354, 1354},
                                 {1321, 1321}};
constexpr ValidationRange kPass2[] = {{8, 8},     {16, 16},   {13, 13}, {7, 7},       {12, 12},     {262, 262},
                                 {265, 265}, {14, 14}, {18, 18}, {1354, 1354}, {1321, 1321}};

bool read_value(const SettingsTarget* target, WORD ddmid, WORD* type, DWORD* size, ItemValue* value) {
  return GetItemValue(ddmid, target->devmode, target->printer_data, type, size, value) == 0;
}

bool read_number(const SettingsTarget* target, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (!read_value(target, ddmid, &type, &size, &v) || type == kTypeString || type == kTypeLogFont) return false;
  *out = GetTypedValue(type, &v);
  return true;
}

// Writes a number with the setting's own type.
bool write_number(const SettingsTarget* target, WORD ddmid, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (!read_value(target, ddmid, &type, &size, &v) || type == kTypeString || type == kTypeLogFont) return false;
  return SetItemValueRaw(ddmid, target->devmode, target->printer_data, type, size, &value) == 0;
}

bool record(const DdmidListRef* changed, WORD ddmid) {
  return AddChangedItem(ddmid, changed->room, changed->ids, changed->count) == 0;
}

bool in_list(const DdmidListRef* list, WORD ddmid) {
  for (WORD i = 0; i < *list->count; ++i)
    if ((*list->ids)[i] == ddmid) return true;
  return false;
}

// A changed-item list of its own, freed on leaving.
struct LocalChanged {
  WORD inline_ids[kChangedItemRoom] = {};
  WORD* ids = inline_ids;
  WORD count = 0;
  DdmidListRef ref{&ids, &count, kChangedItemRoom, inline_ids};
  ~LocalChanged() { ClearDdmidList(&ref); }
};

bool paper_is_known(const SettingsTarget* target, WORD paper) {
  if (HasPaperSizeList(target->database)) {
    WORD id = 0;
    return FindPaperSize(target->database, kPaperKeyDriverId, paper, kPaperResultDriverId, &id) == 1;
  }
  DddValue* value = nullptr;
  const DddStatus s =
      DddLoadRecord(DDD_LOAD_HEADER, &target->database->main, &target->database->linked, DDD_KIND_PAPER, paper, 0, &value);
  if (value) DddFreeValue(&value, 0xFFFF);
  return s == DDD_OK;
}

// The custom paper whose DEVMODE gives both its length and width.
bool custom_with_size(const SettingsTarget* target, LONG paper) {
  LONG fields = 0;
  return paper == kCustomPaper && read_number(target, kFields, &fields) &&
         (static_cast<DWORD>(fields) & (kPaperLength | kPaperWidth)) == (kPaperLength | kPaperWidth);
}

// The rules of one DDMID in apply mode. 0 done or skipped, 1 fatal.
INT apply_item_rules(HANDLE printer, const SettingsTarget* target, const DdmidListRef* changed, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (!read_value(target, ddmid, &type, &size, &value) || type == kTypeLogFont) return 0;
  std::u16string text;
  BYTE scalar[4] = {};
  const void* new_value = scalar;
  if (type == kTypeString) {
    text = ItemText(value, size);
    new_value = text.c_str();
  } else {
    std::memcpy(scalar, &value.dw, 4);
  }
  // While the orientation's rules run, the other orientation is stored and
  // the real one is the change's new value.
  const bool orientation = ddmid == kOrientation;
  const LONG real = GetTypedValue(type, scalar);
  if (orientation && !write_number(target, ddmid, real == 2 ? 1 : 2)) return 1;
  LocalChanged local;
  DddHandle* db = target->database;
  WORD kind = 0;
  DddValue* item = nullptr;
  const DddStatus status =
      DddGetItemValue(DDD_LOAD_FULL, &db->main, &db->linked, ddmid, ddmid == kCopies ? nullptr : new_value, &kind, &item);
  INT result = 0;
  if (status == DDD_OK && item) {
    const SettingChange change{ddmid, type, new_value};
    const SettingChange bare{ddmid, 0, nullptr};
    if (WalkConstraintRules(kCheckModeView, FALSE, 0, printer, target, &change, nullptr, item, &local.ref, nullptr) ||
        WalkConstraintRules(kCheckModeView, FALSE, 1, printer, target, &bare, nullptr, item, &local.ref, nullptr))
      result = 1;
  } else if (status != 2) {
    result = 1;
  }
  if (item) DddFreeValue(&item, 0xFFFF);
  // The real orientation goes back unless a rule action chose one: undoing
  // the action would leave the conflict it resolves in place.
  if (orientation && !in_list(&local.ref, kOrientation) && !write_number(target, ddmid, real)) result = 1;
  for (WORD i = 0; i < *local.ref.count; ++i)
    if (!record(changed, (*local.ref.ids)[i])) result = 1;
  return result;
}

// Item `ddmid` re-derived and written when it differs. false on a failed
// read or write; a position without a request leaves the item as it is.
bool rederive(const SettingsTarget* target, const DdmidListRef* changed, WORD ddmid, WORD code_ddmid) {
  LONG orientation = 0, page_class = 0, code = 0, stored = 0;
  if (!read_number(target, kOrientation, &orientation) || !read_number(target, 295, &page_class) ||
      !read_number(target, code_ddmid, &code) || !read_number(target, ddmid, &stored))
    return false;
  const FinishingContext context{static_cast<WORD>(orientation), static_cast<WORD>(page_class), 0,
                                 static_cast<WORD>(code)};
  WORD derived = 0;
  const INT r = ddmid == 267 ? DeriveFinishingItem267(&context, &derived)
                             : DeriveFinishingPositionItem(ddmid, &context, &derived);
  if (r != 0 || derived == static_cast<WORD>(stored)) return true;
  return write_number(target, ddmid, derived) && record(changed, ddmid);
}

struct FinisherState {
  BYTE finisher;     // 4359
  BYTE item4368;
  BYTE row;          // low byte of 444
  DWORD item4098;
  BYTE item331;
  BYTE staple;       // 320
  BYTE item321;
  bool flag;
  BYTE punch;        // 341
  BYTE item448;
  DWORD item4126;
  bool tray264;
};

bool collect_finisher_state(const SettingsTarget* target, FinisherState* s) {
  LONG v[11] = {};
  static constexpr WORD kItems[11] = {4359, 4368, 444, 4098, 331, 320, 321, 341, 448, 4126, 469};
  for (int i = 0; i < 11; ++i)
    if (!read_number(target, kItems[i], &v[i])) return false;
  s->finisher = static_cast<BYTE>(v[0]);
  s->item4368 = static_cast<BYTE>(v[1]);
  s->row = static_cast<BYTE>(v[2]);
  s->item4098 = static_cast<DWORD>(v[3]);
  s->item331 = static_cast<BYTE>(v[4]);
  s->staple = static_cast<BYTE>(v[5]);
  s->item321 = static_cast<BYTE>(v[6]);
  s->punch = static_cast<BYTE>(v[7]);
  s->item448 = static_cast<BYTE>(v[8]);
  s->item4126 = static_cast<DWORD>(v[9]);
  LONG flag = 0;
  if (HasDeviceCapability(target->database, kCapFinisherFlag)) {
    if (!read_number(target, 465, &flag)) return false;
    s->flag = flag == 2;
  } else {
    if (!read_number(target, 1328, &flag)) return false;
    s->flag = flag != 0;
  }
  s->tray264 = v[10] == 264;
  static constexpr WORD kTrays[3][2] = {{404, 407}, {405, 408}, {406, 409}};
  for (const auto& t : kTrays) {
    LONG on = 0, kind = 0;
    if (!read_number(target, t[0], &on) || !read_number(target, t[1], &kind)) return false;
    if (on == 1 && kind == 264) s->tray264 = true;
  }
  return true;
}

WORD output_value(const FinisherState& s, bool punch_capability) {
  auto rest = [&](WORD value) { return s.item331 != 0 && s.item4098 == 0 ? WORD{12} : value; };
  const bool bound = (s.item321 == 2 && s.flag) || s.item448 == 4 || s.item448 == 5;
  switch (s.row) {
    case 0: break;
    case 1: return 12;
    case 2: return 15;
    case 13: return s.finisher == 0 && s.item4126 != 0 ? 25 : 1;
    case 14: return s.finisher == 3 || s.finisher == 5 ? 23 : 1;
    case 18: return 27;
    default:
      if (s.row >= 3 && s.row <= 12) return static_cast<WORD>(s.row - 1);
      return 1;
  }
  switch (s.finisher) {
    case 0: return s.item4368 == 1 ? 28 : s.item4126 != 0 ? 26 : 1;
    case 1:
    case 2: {
      const WORD base = s.finisher == 2 ? 24 : 1;
      if (s.staple == 0 || s.staple == 11) return rest(base);
      return 12;
    }
    case 3:
    case 5: {
      WORD value = punch_capability && s.punch == 0 ? 24 : 23;
      if (s.staple == 11) return 21;
      if (s.staple != 0) return 12;
      if (bound) value = 21;
      return value;
    }
    case 4:
    case 6: {
      WORD value = s.item4368 == 1 && s.punch == 0 && s.item448 != 1 && !s.tray264 ? 28 : 1;
      if (s.staple == 11) return 21;
      if (s.staple != 0) return 12;
      if (bound) return 21;
      if (s.item448 == 2 || s.item448 == 3) return 20;
      if (s.item331 != 0) return 12;
      return value;
    }
    case 7:
      if (s.punch != 0 || s.staple != 0 || bound) return 12;
      return rest(24);
    case 10: return 12;
    default: return 1;
  }
}

}  // namespace

INT CheckFormNameItem(HANDLE printer, const SettingsTarget* target) {
  if (!target || !target->database) return 1;
  LONG paper = 0;
  if (!read_number(target, kPaper, &paper)) return 1;
  if (custom_with_size(target, paper) && ReadSetting5200(target->devmode, target->printer_data)) return 0;
  if (HasPaperSizeList(target->database)) {
    WORD id = 0;
    if (FindPaperSize(target->database, kPaperKeyWindowsNumber, static_cast<WORD>(paper), kPaperResultDriverId, &id) != 1)
      return 1;
    return write_number(target, kPaper, id) ? 0 : 1;
  }
  LONG found = 0;
  if (!printer || FindPaperByFormName(printer, target->devmode, target->printer_data, static_cast<WORD>(paper), &found) !=
                      kFormPaperFound)
    return 1;
  return write_number(target, kPaper, found) ? 0 : 1;
}

INT CheckPaperSizeItem(const SettingsTarget* target, BOOL form_name, HANDLE printer, const DdmidListRef* changed) {
  if (!target || !target->database || !changed) return 1;
  LONG paper = 0;
  if (!read_number(target, kPaper, &paper)) return 1;
  bool replace = false;
  const bool custom = custom_with_size(target, paper);
  if (custom && ReadSetting5200(target->devmode, target->printer_data) &&
      !CopyStoredCustomSize(1, target->devmode, target->printer_data))
    return 1;
  if (form_name && !custom) replace = CheckFormNameItem(printer, target) != 0 || !read_number(target, kPaper, &paper);
  if (!replace && paper_is_known(target, static_cast<WORD>(paper))) return 0;
  void* data = nullptr;
  WORD type = 0, size = 0;
  const DddStatus s = DddGetItemDefault(&target->database->main, &target->database->linked, kPaper, &data, &type, &size);
  WORD fallback = 0;
  const bool ok = s == DDD_OK && data && size >= 2;
  if (ok) std::memcpy(&fallback, data, 2);
  if (data) GlobalFree(data);
  if (!ok || !write_number(target, kPaper, fallback) || !record(changed, kPaper)) return 1;
  return 0;
}

INT ApplyRangeRules(HANDLE printer, const SettingsTarget* target, const DdmidListRef* changed, const ValidationRange* ranges,
                    WORD range_count) {
  if (!target || !target->database || !changed || !ranges) return 1;
  for (WORD r = 0; r < range_count; ++r)
    for (DWORD d = ranges[r].first; d <= ranges[r].last; ++d)
      if (apply_item_rules(printer, target, changed, static_cast<WORD>(d))) return 1;
  if (!rederive(target, changed, 267, 325) || !rederive(target, changed, 320, 326) ||
      !rederive(target, changed, 341, 344))
    return 1;
  return 0;
}

INT ChooseOutputDestination(DddHandle* database, void* devmode, void* printer_data, WORD* value) {
  const SettingsTarget target{database, devmode, printer_data};
  LONG current = 0;
  FinisherState state{};
  if (!database || !read_number(&target, kOutputDestination, &current) || !collect_finisher_state(&target, &state))
    return 0;
  const WORD wanted = output_value(state, HasDeviceCapability(database, kCapPunchTray) != FALSE);
  if (value) *value = wanted;
  if (static_cast<WORD>(current) == wanted) return 1;
  return write_number(&target, kOutputDestination, wanted) ? 1 : 0;
}

INT CheckOutputTrayRules(DddHandle* database, void* devmode, void* printer_data) {
  const SettingsTarget target{database, devmode, printer_data};
  if (!database || !HasDeviceCapability(database, kCapOutputTrays)) return 1;
  LONG finisher = 0;
  if (!read_number(&target, 4359, &finisher)) return 0;
  if (finisher == 15) return 1;
  WORD value = 0;
  if (!ChooseOutputDestination(database, devmode, printer_data, &value)) return 0;
  WORD kind = 0;
  DddValue* item = nullptr;
  const WORD key[2] = {value, 0};
  if (DddGetItemValue(DDD_LOAD_FULL, &database->main, &database->linked, kOutputDestination, key, &kind, &item) !=
          DDD_OK ||
      !item)
    return 1;  // no record: no rules to apply
  LocalChanged local;
  WORD type = 0;
  DWORD size = 0;
  ItemValue current{};
  INT result = 1;
  if (read_value(&target, kOutputDestination, &type, &size, &current)) {
    const SettingChange change{kOutputDestination, type, &current.dw};
    if (WalkConstraintRules(kCheckModeView, FALSE, 0, nullptr, &target, &change, nullptr, item, &local.ref, nullptr))
      result = 0;
  } else {
    result = 0;
  }
  DddFreeValue(&item, 0xFFFF);
  return result;
}

INT ValidateSettings(BOOL form_name, HMODULE module, HANDLE printer, DddHandle* database, void* devmode,
                     void* printer_data, INT template_id, const ConflictMessageOptions* options, LPWSTR* text) {
  if (text) *text = nullptr;
  if (!devmode || !module || !printer_data || !printer || !text || !database) return 1;
  const SettingsTarget target{database, devmode, printer_data};
  LocalChanged changed;
  if (CheckPaperSizeItem(&target, form_name, printer, &changed.ref)) return 1;
  ApplyRangeRules(printer, &target, &changed.ref, kPass1, static_cast<WORD>(std::size(kPass1)));
  if (ApplyRangeRules(printer, &target, &changed.ref, kPass2, static_cast<WORD>(std::size(kPass2))) == 1) return 1;
  if (!HasDeviceCapability(database, kCapNoJobTypeCheck)) {
    LONG job_type = 0;
    WORD type = 0;
    DWORD size = 0;
    ItemValue code{};
    if (!read_number(&target, kJobType, &job_type) || !read_value(&target, kJobCodeText, &type, &size, &code)) return 1;
    const bool empty_code = ItemText(code, size).empty();
    bool clear = (job_type == 1 || job_type == 2) && empty_code;
    if (!clear && job_type == 1) {
      DeviceCapabilityBits bits{};
      INT maximum = 0, minimum = 0;
      clear = !CheckCodeLength(devmode, printer_data,
                               LoadCapabilityBits(database, &bits) && TestCapabilityBit(&bits, kCodeLengthMask),
                               &maximum, &minimum);
    }
    if (clear && (!write_number(&target, kJobType, 0) || !record(&changed.ref, kJobType))) return 1;
  }
  if (!CheckOutputTrayRules(database, devmode, printer_data)) return 0;
  INT result = 3;
  if (*changed.ref.count) {
    LPWSTR report = nullptr;
    if (!BuildChangeReport(module, &target, *changed.ref.ids, *changed.ref.count, template_id, options, &report)) {
      result = 1;
    } else if (report && report[0]) {
      *text = report;
      result = 4;
    } else if (report) {
      GlobalFree(report);
    }
  }
  ApplyForcedSettings(database->config, devmode, printer_data, 1);
  return result;
}
