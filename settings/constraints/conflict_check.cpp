// The conflict check of one setting change.
#include "settings/constraints/conflict_check.h"

#include <atomic>
#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/common/system_utils.h"
#include "settings/stores/stamp_store.h"
#include "win/memory.h"
#include "win/sysinfo.h"

using namespace morva::ddm;

namespace {

constexpr WORD kStampName = 297;
constexpr WORD kStampOff = 321;
constexpr WORD kStampOptionsOwner = 5186;
constexpr WORD kPrinterModel = 259;
constexpr DWORD kMaxStoredStamps = 32;

// A working list of DDMIDs with its inline room.
template <WORD Room>
struct WorkList {
  WORD inline_ids[Room] = {};
  WORD* ids = inline_ids;
  WORD count = 0;
  DdmidListRef ref{&ids, &count, Room, inline_ids};
  WorkList() = default;
  WorkList(const WorkList&) = delete;
  WorkList& operator=(const WorkList&) = delete;
  ~WorkList() { clear(); }
  void clear() { ReleaseChangedItems(Room, inline_ids, &ids, &count); }
};

// A report freed when it goes out of scope.
struct ScopedReport {
  ConflictReport* report = NewConflictReport();
  ScopedReport() = default;
  ScopedReport(const ScopedReport&) = delete;
  ScopedReport& operator=(const ScopedReport&) = delete;
  ~ScopedReport() { FreeConflictReport(report); }
};

bool in_filter(const WORD* filter, WORD ddmid) {
  for (; *filter; ++filter)
    if (*filter == ddmid) return true;
  return false;
}

bool read_number(const SettingsTarget* target, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, target->devmode, target->printer_data, &type, &size, &value) != kDdmOk ||
      type == kTypeString || type == kTypeLogFont)
    return false;
  *out = GetTypedValue(type, &value);
  return true;
}

bool read_text(const SettingsTarget* target, WORD ddmid, std::u16string* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, target->devmode, target->printer_data, &type, &size, &value) != kDdmOk ||
      type != kTypeString)
    return false;
  *out = ItemText(value, size);
  return true;
}

// ---- the stamp store and the security-marking plug-in, seen from here --------

INT stamp_store_check_new(HANDLE printer, const std::u16string& name, DddHandle* database) {
  return CheckNewStampName(printer, name.empty() ? nullptr : name.c_str(), database);
}

bool stamp_store_count(HANDLE printer, DddHandle* database, DWORD* count) {
  return CountStoredStamps(printer, count, database) == kStampOk;
}

INT stamp_store_has(HANDLE printer, const std::u16string& name, DddHandle* database) {
  return StampExists(printer, name.c_str(), database);
}

std::atomic<SecurityMarkingCheck> g_marking_check{nullptr};

// The security-marking plug-in is an optional outside component, asked
// through the client's check; without the client marking is not available.
bool security_marking_available(const std::u16string& printer, const DeviceCapabilityBits& bits) {
  const SecurityMarkingCheck check = g_marking_check.load();
  return check && check(&bits, printer.c_str()) == 1;
}

// 1 Windows 95 or NT 4.0 and older, 0 newer, -1 unknown.
INT is_old_windows() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(&info)) return -1;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
    return info.dwMajorVersion < 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion == 0) ? 1 : 0;
  if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) return info.dwMajorVersion <= 4 ? 1 : 0;
  return 0;
}

struct SpecialOutcome {
  bool applies = false;
  WORD kind = 0;
  WORD ddmids[2] = {};
};

SpecialOutcome applies(WORD kind, WORD a = 0, WORD b = 0) { return SpecialOutcome{true, kind, {a, b}}; }

}  // namespace

void SetSecurityMarkingCheck(SecurityMarkingCheck check) { g_marking_check.store(check); }

INT CheckSpecialItemRules(HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                          const ConflictReport* previous, ConflictReport* report, const DdmidListRef* out) {
  if (!target || !change || !report) return 1;
  const WORD ddmid = change->ddmid;
  const bool has_value = change->value != nullptr;
  LONG new_number = 0;
  if (has_value && change->type != kTypeString) new_number = GetTypedValue(change->type, change->value);

  // What each rule needs, read first.
  std::u16string stamp_name;
  LONG stamp_off = 0, owner = 0, scratch = 0;
  BOOL component = FALSE;
  DWORD stored_stamps = 0;
  auto probe = [&]() { return ProbeComComponent(target->database, &component) != FALSE; };
  switch (ddmid) {
    case 8:
    case kStampOff:
      if (!read_text(target, kStampName, &stamp_name)) return 1;
      break;
    case 301:
      if (!read_number(target, 300, &scratch)) return 1;
      break;
    case 303:
      if (!read_number(target, 1288, &scratch)) return 1;
      break;
    case 5163:
    case 5204:
      if (!read_number(target, kStampOptionsOwner, &owner) || !probe()) return 1;
      break;
    case kStampOptionsOwner:
      if (!probe()) return 1;
      break;
    case 36865: {
      const INT answer = stamp_store_check_new(printer, std::u16string(), target->database);
      if (answer == 1) {
        if (!stamp_store_count(printer, target->database, &stored_stamps)) return 1;
      } else if (answer == 4) {
        stored_stamps = kMaxStoredStamps;
      }
    }
      [[fallthrough]];
    case 1286:
    case 298:
    case 36866:
    case 36867:
      if (!read_number(target, kStampOff, &stamp_off) || !read_text(target, kStampName, &stamp_name)) return 1;
      break;
    default: break;
  }

  SpecialOutcome outcome;
  switch (ddmid) {
    case 8:
      outcome = has_value && new_number >= 307 && new_number <= 310 && !stamp_name.empty() ? applies(3, kStampName)
                                                                                           : applies(0);
      break;
    case 293:
      if (has_value && change->type == kTypeWord && new_number == 3) {
        const INT old = is_old_windows();
        if (old < 0) return 1;
        if (old) outcome = applies(1);
      }
      break;
    case kStampOff: {
      // The new value as the setting stores it (a flag).
      outcome = has_value && new_number == 1 && !stamp_name.empty() ? applies(3, kStampName) : applies(0);
      break;
    }
    case 1284: outcome = applies(6); break;
    case 1286:
    case 36866:
      outcome = !has_value && (stamp_off == 1 || stamp_name.empty()) ? applies(1, 296, kStampName) : applies(0);
      break;
    case 1333:
    case 5138: outcome = applies(0); break;
    case 1341:
      if (!has_value && IsWindowsVistaOrLater()) outcome = applies(6);
      break;
    case 5163:
      if (!has_value && owner != 0 && component) outcome = applies(1, kStampOptionsOwner);
      break;
    case kStampOptionsOwner:
      if (!has_value && !component) outcome = applies(6);
      break;
    case 5204:
      if (!has_value && owner != 0 && component && !(previous && previous->kind == 6))
        outcome = applies(1, kStampOptionsOwner);
      break;
    case 36865:
      if (!has_value && stamp_off == 1) outcome = applies(1, 296);
      else if (stored_stamps >= kMaxStoredStamps) outcome = applies(8, kStampName);
      else outcome = applies(0);
      break;
    case 36867:
      outcome = !has_value && (stamp_off == 1 || stamp_name.empty() ||
                               stamp_store_has(printer, stamp_name, target->database) != 1)
                    ? applies(1, 296, kStampName)
                    : applies(0);
      break;
    case 36903:
      if (!has_value) {
        std::u16string model;
        DeviceCapabilityBits bits{};
        if (!read_text(target, kPrinterModel, &model) || !LoadCapabilityBits(target->database, &bits)) return 1;
        if (!security_marking_available(model, bits)) outcome = applies(6);
      }
      break;
    default: break;
  }
  if (!outcome.applies) return 6;

  report->kind = outcome.kind;
  if (out) {
    ClearDdmidList(out);
    for (WORD id : outcome.ddmids)
      if (id && AddChangedItem(id, out->room, out->ids, out->count)) return 2;
  }
  static constexpr WORD kStampFollowers[] = {296, kStampName};
  static constexpr WORD kOwnerFollowers[] = {kStampOptionsOwner};
  const WORD* followers = nullptr;
  WORD follower_count = 0;
  if (ddmid == 1286 || (ddmid >= 36865 && ddmid <= 36867)) followers = kStampFollowers, follower_count = 2;
  if (ddmid == 5163 || ddmid == 5204) followers = kOwnerFollowers, follower_count = 1;
  for (WORD i = 0; i < follower_count; ++i)
    if (AddToIdList(&report->ddmids, followers[i])) return 2;
  return 0;
}

INT CheckItemConstraints(WORD mode, HANDLE printer, const SettingsTarget* target, const SettingChange* change,
                         const WORD* filter, const ConflictReport* previous, ConflictReport* report,
                         const DdmidListRef* out, WORD record_by_value) {
  if (!target || !target->database || !change || !report) return 1;
  if (filter && *filter) {
    bool wanted = in_filter(filter, change->ddmid);
    if (!wanted && previous)
      for (WORD i = 0; i < previous->ddmids.count && !wanted; ++i) wanted = in_filter(filter, previous->ddmids.ids[i]);
    if (!wanted) return 6;
  }
  DddHandle* db = target->database;
  WORD kind = 0;
  DddValue* item = nullptr;
  const void* key = record_by_value == 1 ? nullptr : change->value;
  const DddStatus status = DddGetItemValue(DDD_LOAD_FULL, &db->main, &db->linked, change->ddmid, key, &kind, &item);
  // Running out of memory is no sign that the item has no rules.
  if (status == DDD_NO_MEMORY) return 2;
  if (status != DDD_OK || !item) return 6;
  INT result = 0;
  if (item->kind == DDD_KIND_ITEM || item->kind == DDD_KIND_ITEM_ALT || item->kind == DDD_KIND_CHOICE ||
      item->kind == DDD_KIND_CHOICE_ALT) {
    result = WalkConstraintRules(mode, TRUE, 0, printer, target, change, report, item, nullptr, out);
    if (!result) result = WalkConstraintRules(mode, TRUE, 1, printer, target, change, report, item, nullptr, out);
  }
  DddFreeValue(&item, 0xFFFF);
  return result;
}

namespace {

INT check_change(WORD mode, HANDLE printer, const SettingsTarget* target, const WORD* filter,
                 const SettingChange* change, ConflictReport* report, const DdmidListRef* out, WORD record_by_value) {
  if (mode == kCheckModeChange && change->value) {
    // An item whose current value is already in a blocking conflict may
    // be changed without further checks.
    ScopedReport copy;
    if (!copy.report) return 2;
    if (CopyConflictReport(copy.report, report)) return 2;
    const SettingChange current{change->ddmid, change->type, nullptr};
    const INT r = check_change(kCheckModeChange, printer, target, filter, &current, copy.report, out, record_by_value);
    const WORD kind = copy.report->kind;
    ClearDdmidList(out);
    if (r == 0 && (kind == 1 || kind == 6 || kind == 7 || kind == 8)) {
      if (CopyConflictReport(report, copy.report)) return 2;
      report->kind = 0;
      return 0;
    }
  }
  ScopedReport previous;
  if (!previous.report) return 2;
  if (CopyConflictReport(previous.report, report)) return 2;
  ResetConflictReport(report);
  if (!printer) return 1;
  const INT special = CheckSpecialItemRules(printer, target, change, previous.report, report, out);
  if (special != 0 && special != 6) return special;
  INT r = CheckItemConstraints(mode, printer, target, change, filter, previous.report, report, out, record_by_value);
  if (r == 6) {
    r = 0;
    if (special == 6 && CopyConflictReport(report, previous.report)) return 2;
  }
  return r;
}

}  // namespace

INT CheckSettingChange(WORD mode, HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                       const WORD* filter, WORD ddmid, WORD type, const void* value, ConflictReport* report,
                       WORD** out_list, WORD record_by_value) {
  if (out_list) *out_list = nullptr;
  if (!database || !devmode || !printer_data || !report) return 1;
  const SettingsTarget target{database, devmode, printer_data};
  // A scalar is held in a zeroed slot, so that whoever reads it by another
  // width (a database choice of a wider type) stays inside it.
  DWORD slot[2] = {};
  if (value && type != kTypeString && type != kTypeLogFont) {
    const DWORD width = dma_TypeSize(type);
    if (!width || width > sizeof(slot)) return 1;
    std::memcpy(slot, value, width);
    value = slot;
  }
  const SettingChange change{ddmid, type, value};
  WorkList<kCheckDdmidRoom> collected;
  const INT r = check_change(mode, printer, &target, filter, &change, report, &collected.ref, record_by_value);
  if (r || !out_list || collected.count == 0) return r;
  // Hand out the involved DDMIDs, the changed one last, then 0.
  auto* list = static_cast<WORD*>(GlobalAlloc(GMEM_FIXED, (collected.count + 2) * sizeof(WORD)));
  if (!list) return 2;
  WORD n = 0;
  for (WORD i = 0; i < collected.count; ++i)
    if (collected.ids[i] != ddmid && collected.ids[i] != 0) list[n++] = collected.ids[i];
  list[n++] = ddmid;
  list[n] = 0;
  *out_list = list;
  return 0;
}

INT RecheckGroupItems(const SettingsTarget* target, HANDLE printer, const WORD* ddmids, WORD count) {
  if (!target || (count && !ddmids)) return 2;
  ScopedReport fresh;
  if (!fresh.report) return 2;
  for (WORD i = 0; i < count; ++i) {
    if (CheckSettingChange(kCheckModeAll, printer, target->database, target->devmode, target->printer_data, nullptr,
                           ddmids[i], 0, nullptr, fresh.report, nullptr, 0))
      return 2;
    if (fresh.report->kind == 1) return 1;
    ResetConflictReport(fresh.report);
  }
  return 0;
}
