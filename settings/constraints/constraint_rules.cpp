// The meaning of the database's constraint rules and their evaluation
// against a settings pair.
#include "settings/constraints/constraint_rules.h"

#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/devmode/paper_size_list.h"
#include "win/endian.h"
#include "win/memory.h"

using namespace morva::ddm;

namespace {

// Settings the paper conditions read.
constexpr WORD kInputPaper = 8;
constexpr WORD kPaperSource = 13;
constexpr WORD kOutputPaper = 262;
constexpr WORD kOutputTray = 265;
constexpr WORD kSameAsInputPaper = 267;  // value of 262
constexpr WORD kPaperSourceTray = 258;   // value of 265
constexpr DWORD kTrayFollowsSourceBit = 0x10;  // capability word 0: 265 = 258 keeps 265

constexpr WORD kPaperFlags = kConflictFlagInputPaper | kConflictFlagOutputPaper;
constexpr WORD kTrayFlags = kConflictFlagSource | kConflictFlagTray;

WORD type_width(WORD type) {
  switch (type) {
    case kTypeLong:
    case kTypeLong4:
    case kTypeDword:
    case kTypeLong10: return 4;
    case kTypeShort:
    case kTypeWord: return 2;
    case kTypeByte: return 1;
    default: return 0;
  }
}

bool is_item_kind(WORD kind) {
  return kind == DDD_KIND_ITEM || kind == DDD_KIND_ITEM_ALT || kind == DDD_KIND_CHOICE || kind == DDD_KIND_CHOICE_ALT;
}

// The dimension-record id that items and choices carry.
WORD range_id_of(const DddValue* value) {
  if (!value) return 0;
  if (value->kind == DDD_KIND_ITEM || value->kind == DDD_KIND_ITEM_ALT)
    return static_cast<const DddItem*>(value)->dimension_id;
  if (value->kind == DDD_KIND_CHOICE || value->kind == DDD_KIND_CHOICE_ALT)
    return static_cast<const DddChoice*>(value)->dimension_id;
  return 0;
}

WORD post_check_kind(const DddRule* rule) { return (rule->flags & kRulePostCheckMask) >> kRulePostCheckShift; }

// A setting's value as the rules see it: scalars in a zero-padded slot,
// texts copied so they are aligned and terminated.
struct SettingValue {
  WORD type = 0;
  BYTE slot[8] = {};
  std::u16string text;
  const WCHAR* change_text = nullptr;

  const void* data() const {
    if (type == kTypeString) return change_text ? static_cast<const void*>(change_text) : text.c_str();
    return slot;
  }
  LONG number() const { return GetTypedValue(type, slot); }
};

enum class Read { kOk, kAbsent, kFailed };

// Reads `ddmid`, taking the change's new value when it names that setting.
Read read_setting(const SettingsTarget* target, const SettingChange* change, WORD ddmid, SettingValue* out) {
  out->type = 0;
  std::memset(out->slot, 0, sizeof(out->slot));
  out->text.clear();
  out->change_text = nullptr;
  if (change && change->value && change->ddmid == ddmid) {
    out->type = change->type;
    if (change->type == kTypeString) {
      out->change_text = static_cast<const WCHAR*>(change->value);
      return Read::kOk;
    }
    const WORD width = type_width(change->type);
    if (!width) return Read::kFailed;
    std::memcpy(out->slot, change->value, width);
    return Read::kOk;
  }
  if (!dma_Descriptor(ddmid)) return Read::kAbsent;
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  const WORD status = GetItemValue(ddmid, target->devmode, target->printer_data, &type, &size, &value);
  if (status == kDdmNoRange) return Read::kAbsent;
  if (status != kDdmOk) return Read::kFailed;
  out->type = type;
  if (type == kTypeString) {
    out->text = ItemText(value, size);
  } else {
    const WORD width = type_width(type);
    if (!width) return Read::kFailed;
    std::memcpy(out->slot, &value, width);
  }
  return Read::kOk;
}

bool read_word(const SettingsTarget* target, const SettingChange* change, WORD ddmid, WORD* out) {
  SettingValue v;
  if (read_setting(target, change, ddmid, &v) != Read::kOk || v.type == kTypeString) return false;
  *out = static_cast<WORD>(v.number());
  return true;
}

// The i-th value of a typed value, or null when the element cannot hold a
// value of its type (a damaged record).
const void* value_at(const DddTypedValue& values, WORD i) {
  if (!values.data || i >= values.count) return nullptr;
  if (values.type == kTypeString) return i == 0 ? values.data : nullptr;
  const WORD width = type_width(values.type);
  if (width && values.element_size < width) return nullptr;
  return static_cast<const BYTE*>(values.data) + static_cast<size_t>(i) * values.element_size;
}

// An operand's values with a table reference resolved; releases what it
// loaded.
class OperandValues {
 public:
  OperandValues(const SettingsTarget* target, const DddValue* owner, const DddTypedValue& stored) : values_(stored) {
    if (stored.type != DDD_TYPE_TABLE_REF) return;
    values_ = DddTypedValue{};
    DddFile* file = owner && owner->file ? owner->file : &target->database->main;
    loaded_ = true;
    ok_ = stored.data && stored.element_size >= 2 &&
          DddLoadRecordTable(file, &target->database->main, &target->database->linked,
                             static_cast<const BYTE*>(stored.data), stored.element_size, &values_) == DDD_OK;
  }
  ~OperandValues() {
    if (loaded_) DddReleaseTypedValue(&values_);
  }
  OperandValues(const OperandValues&) = delete;
  OperandValues& operator=(const OperandValues&) = delete;

  bool ok() const { return ok_; }
  const DddTypedValue& values() const { return values_; }
  WORD count() const { return values_.data ? values_.count : 0; }

 private:
  DddTypedValue values_;
  bool loaded_ = false;
  bool ok_ = true;
};

bool within(const DddPair& smallest, const DddPair& largest, WORD width, WORD length) {
  return smallest.first <= width && width <= largest.first && smallest.second <= length && length <= largest.second;
}

// Mode gate of a rule's flag word: true when the rule is evaluated.
bool rule_in_mode(WORD mode, WORD flags) {
  switch (mode) {
    case kCheckModeChange: return !(flags & (kRuleSkipMode1 | kRuleOnlyMode3));
    case kCheckModeView: return !(flags & (kRuleSkipMode2 | kRuleOnlyMode3));
    case kCheckModeDefault: return (flags & kRuleOnlyMode3) != 0;
    default: return true;
  }
}

INT add_ddmid(const DdmidListRef* list, WORD ddmid) { return AddChangedItem(ddmid, list->room, list->ids, list->count); }

// A local list with inline room, for callers that pass none.
template <WORD Room>
struct LocalList {
  WORD inline_ids[Room] = {};
  WORD* ids = inline_ids;
  WORD count = 0;
  DdmidListRef ref{&ids, &count, Room, inline_ids};
  LocalList() = default;
  LocalList(const LocalList&) = delete;
  LocalList& operator=(const LocalList&) = delete;
  ~LocalList() { ReleaseChangedItems(Room, inline_ids, &ids, &count); }
  void clear() { ReleaseChangedItems(Room, inline_ids, &ids, &count); }
};

// Paper-range condition (operators 9 and 13).
INT check_paper_range_condition(const SettingsTarget* target, const SettingChange* change, const DddOperand& cond,
                                const DddValue* item, WORD* flags) {
  DddHandle* db = target->database;
  WORD range_id = 0;
  bool from_item = false;
  if (change && item && cond.ddmid == change->ddmid) {
    if ((item->kind == DDD_KIND_ITEM || item->kind == DDD_KIND_ITEM_ALT) && cond.value.count == 0) {
      from_item = true;
    } else if ((item->kind == DDD_KIND_CHOICE || item->kind == DDD_KIND_CHOICE_ALT) && change->value &&
               cond.value.count) {
      from_item = CompareRuleValue(0, cond.value.type, value_at(cond.value, 0), change->type, change->value) ==
                  kCompareTrue;
    }
  }
  if (from_item) {
    range_id = range_id_of(item);
  } else {
    WORD kind = 0;
    DddValue* found = nullptr;
    const void* key = cond.value.count ? cond.value.data : nullptr;
    if (DddGetItemValue(DDD_LOAD_FULL, &db->main, &db->linked, cond.ddmid, key, &kind, &found) == DDD_OK &&
        found) {
      if (is_item_kind(found->kind)) range_id = range_id_of(found);
      DddFreeValue(&found, 0xFFFF);
    }
  }
  if (!range_id) return 0;

  WORD paper = 0;
  WORD flag = 0;
  if (cond.op == 9) {
    if (!read_word(target, change, kOutputPaper, &paper)) return 2;
    flag = kConflictFlagOutputPaper;
    if (paper == kSameAsInputPaper) {
      if (!read_word(target, change, kInputPaper, &paper)) return 2;
      if (!IsUserOrCustomPaperCode(paper)) return 0;
    } else if (!IsUserPaperCode(paper)) {
      return 0;
    }
  } else {
    if (!read_word(target, change, kInputPaper, &paper)) return 2;
    flag = kConflictFlagInputPaper;
    if (!IsUserOrCustomPaperCode(paper)) return 0;
  }
  DddPair smallest{}, largest{}, size{};
  if (DddLoadDimensionRecord(&db->main, &db->linked, DDD_ROLE_MAIN, range_id, &smallest, &largest) != DDD_OK)
    return 2;
  if (!GetPaperDimensions(target, paper, &size)) return 2;
  if (within(smallest, largest, size.first, size.second)) return 0;
  *flags |= flag;
  return 1;
}

// Source-size test of conditions with operators 7, 8, 10, 11 and 12.
INT check_source_size_condition(const SettingsTarget* target, const SettingChange* change, BYTE op, WORD* flags) {
  PaperSnapshot snap{};
  if (!CollectPaperSnapshot(target, change, &snap)) return 2;
  if (!IsUserOrCustomPaperCode(snap.output_paper)) return 0;
  DddPair size{};
  if (!GetPaperDimensions(target, snap.output_paper, &size)) return 2;
  const WORD w = size.first, l = size.second;
  WORD remaining = snap.mask;
  DddPair smallest{}, largest{};
  if (op == 8) {
    // The finisher's range alone decides: the tray plays no part.
    remaining &= ~kTrayFlags;
    const INT r = GetSourceSizeRange(target->database, DDD_KIND_RANGE, snap.item389, &smallest, &largest);
    if (r == 0 && within(smallest, largest, w, l)) remaining &= ~(kConflictFlag389 | kPaperFlags);
  } else {
    // Only the tray's range decides; the finisher flag is not this test's.
    remaining &= ~kConflictFlag389;
    const INT r = GetSourceSizeRange(target->database, DDD_KIND_RANGE, snap.tray, &smallest, &largest);
    bool in_range = false;
    if (r == 0) {
      const bool normal = within(smallest, largest, w, l);
      const bool turned = within(smallest, largest, l, w);
      in_range = op == 11 ? turned : op == 12 ? (normal || turned) : normal;
    }
    if (in_range) remaining &= ~(kTrayFlags | kPaperFlags);
  }
  remaining &= 0x1F;
  if (!remaining) return 0;
  *flags |= remaining;
  return 1;
}

// A condition on an operand (a rule's condition, or a type-8 rule's head).
INT evaluate_operand(const SettingsTarget* target, const SettingChange* change, const DddValue* owner,
                     const DddOperand& cond, const DddValue* item, WORD* flags) {
  if (cond.op == 9 || cond.op == 13) return check_paper_range_condition(target, change, cond, item, flags);
  SettingValue setting;
  switch (read_setting(target, change, cond.ddmid, &setting)) {
    case Read::kAbsent: return 0;
    case Read::kFailed: return 2;
    case Read::kOk: break;
  }
  OperandValues loaded(target, owner, cond.value);
  if (!loaded.ok()) return 2;
  const DddTypedValue& values = loaded.values();
  const WORD count = values.type == kTypeString ? (loaded.count() ? 1 : 0) : loaded.count();
  if (count == 0) {
    if (cond.op == 1) return 0;
    if (cond.op == 2) return 1;
    return 2;
  }
  bool result = cond.op == 2;
  for (WORD i = 0; i < count; ++i) {
    const INT r = CompareRuleValue(cond.op, values.type, value_at(values, i), setting.type, setting.data());
    if (r != kCompareTrue && r != kCompareFalse) return 2;
    if (cond.op == 2) {
      if (r == kCompareFalse) {
        result = false;
        break;
      }
    } else if (r == kCompareTrue) {
      result = true;
      break;
    }
  }
  if (!result) return 0;
  switch (cond.op) {
    case 7:
    case 8:
    case 10:
    case 11:
    case 12: return check_source_size_condition(target, change, cond.op, flags);
    default: return 1;
  }
}

// Fixed DDMIDs that a post-check kind involves.
struct PostCheckDdmids {
  WORD kind;
  WORD ddmids[4];
};
constexpr PostCheckDdmids kPostCheckDdmids[] = {
    {1, {262, 8, 265, 13}}, {2, {262, 8, 389, 0}}, {3, {262, 8, 266, 0}}, {5, {410, 0, 0, 0}},
    {6, {411, 0, 0, 0}},    {7, {411, 266, 0, 0}}, {8, {410, 266, 0, 0}}, {9, {262, 8, 333, 0}},
};

INT add_conflict_ddmids(const DddRule* rule, ConflictReport* report) {
  if (rule->kind == DDD_KIND_RULE_ALT) return AddToIdList(&report->ddmids, rule->head.ddmid) ? 2 : 0;
  for (WORD i = 0; i < rule->conditions.count; ++i)
    if (AddToIdList(&report->ddmids, rule->conditions.items[i].operand.ddmid)) return 2;
  const WORD kind = post_check_kind(rule);
  for (const auto& row : kPostCheckDdmids) {
    if (row.kind != kind) continue;
    for (WORD ddmid : row.ddmids)
      if (ddmid && AddToIdList(&report->ddmids, ddmid)) return 2;
  }
  return 0;
}

// Which paper, size-range record and flags a source-size post-check uses.
enum class PostPaper { kOutput, k410, k411 };
enum class PostRange { kTray, k389, k266, kFixed4, kFixed264, k333 };
struct SourcePostCheck {
  WORD kind;
  WORD enable;  // 0 always, else the DDMID that must be non-zero (1313 or 332)
  PostPaper paper;
  WORD range_kind;
  PostRange range;
  WORD mask;
  WORD finisher_value;  // 407-409 holding this value add their flags; 0 none
};
constexpr SourcePostCheck kSourcePostChecks[] = {
    {1, 0, PostPaper::kOutput, DDD_KIND_RANGE, PostRange::kTray, 0x0F, 0},
    {2, 1313, PostPaper::kOutput, DDD_KIND_RANGE, PostRange::k389, 0x13, 0},
    {3, 0, PostPaper::kOutput, DDD_KIND_RANGE_ALT, PostRange::k266, 0x23, 0},
    {5, 0, PostPaper::k410, DDD_KIND_RANGE, PostRange::kFixed4, 0x40, 4},
    {6, 0, PostPaper::k411, DDD_KIND_RANGE, PostRange::kFixed264, 0x80, 264},
    {7, 0, PostPaper::k411, DDD_KIND_RANGE_ALT, PostRange::k266, 0xA0, 0},
    {8, 0, PostPaper::k410, DDD_KIND_RANGE_ALT, PostRange::k266, 0x60, 0},
    {9, 332, PostPaper::kOutput, DDD_KIND_RANGE, PostRange::k333, 0x803, 0},
};

}  // namespace

void ClearDdmidList(const DdmidListRef* list) {
  if (list) ReleaseChangedItems(list->room, list->inline_ids, list->ids, list->count);
}

// ------------------------------------------------------------ comparisons

namespace {

// One comparison of the rule operators, for signed and unsigned values alike.
template <typename T>
INT compare_values(BYTE op, T s, T v) {
  switch (op) {
    case 0: case 1: case 7: case 8: case 10: case 11: case 12: return s == v ? kCompareTrue : kCompareFalse;
    case 2: return s != v ? kCompareTrue : kCompareFalse;
    case 3: return s < v ? kCompareTrue : kCompareFalse;
    case 4: return s <= v ? kCompareTrue : kCompareFalse;
    case 5: return s > v ? kCompareTrue : kCompareFalse;
    case 6: return s >= v ? kCompareTrue : kCompareFalse;
    default: return kCompareNotApplicable;
  }
}

}  // namespace

INT CompareSignedValues(BYTE op, LONG s, LONG v) { return compare_values(op, s, v); }

INT CompareUnsignedValues(BYTE op, DWORD s, DWORD v) { return compare_values(op, s, v); }

INT CompareRuleValue(BYTE op, WORD rule_type, const void* rule_value, WORD setting_type, const void* setting_value) {
  if (rule_type != setting_type) return kCompareTypesDiffer;
  const bool equality_only = rule_type == kTypeLong || rule_type == kTypeString;
  if (!equality_only && !type_width(rule_type)) return kCompareUnsupported;
  if (!rule_value || !setting_value) return kCompareMissing;
  if (equality_only) {
    bool equal;
    if (rule_type == kTypeString) {
      const auto* a = static_cast<const WCHAR*>(setting_value);
      const auto* b = static_cast<const WCHAR*>(rule_value);
      while (*a && *a == *b) ++a, ++b;
      equal = *a == *b;
    } else {
      equal = morva::load_le32(setting_value) == morva::load_le32(rule_value);
    }
    switch (op) {
      case 0: case 1: case 7: case 8: case 10: case 11: case 12: return equal ? kCompareTrue : kCompareFalse;
      case 2: return equal ? kCompareFalse : kCompareTrue;
      default: return kCompareNotApplicable;
    }
  }
  switch (rule_type) {
    case kTypeShort:
      return CompareSignedValues(op, static_cast<SHORT>(morva::load_le16(setting_value)),
                                 static_cast<SHORT>(morva::load_le16(rule_value)));
    case kTypeWord: return CompareUnsignedValues(op, morva::load_le16(setting_value), morva::load_le16(rule_value));
    case kTypeLong4:
    case kTypeLong10:
      return CompareSignedValues(op, static_cast<LONG>(morva::load_le32(setting_value)),
                                 static_cast<LONG>(morva::load_le32(rule_value)));
    case kTypeDword: return CompareUnsignedValues(op, morva::load_le32(setting_value), morva::load_le32(rule_value));
    case kTypeByte:
      return CompareUnsignedValues(op, *static_cast<const BYTE*>(setting_value), *static_cast<const BYTE*>(rule_value));
    default: return kCompareUnsupported;
  }
}

// ------------------------------------------------------------ papers

BOOL GetPaperDimensions(const SettingsTarget* target, WORD paper, DddPair* size) {
  if (!target || !size) return FALSE;
  if (IsUserPaperCode(paper)) {
    const WORD slot = UserPaperSlotOfCode(paper);
    WORD width = 0, length = 0;
    if (!read_word(target, nullptr, static_cast<WORD>(5889 + slot), &width) ||
        !read_word(target, nullptr, static_cast<WORD>(5909 + slot), &length))
      return FALSE;
    *size = {width, length};
    return TRUE;
  }
  if (paper == 256) {
    SHORT width = 0, length = 0;
    if (!GetStoredCustomSize(target->devmode, target->printer_data, &width, &length)) return FALSE;
    *size = {static_cast<WORD>(width), static_cast<WORD>(length)};
    return TRUE;
  }
  if (!target->database) return FALSE;
  DddValue* value = nullptr;
  if (DddLoadRecord(DDD_LOAD_HEADER, &target->database->main, &target->database->linked, DDD_KIND_PAPER, paper, 0,
                    &value) != DDD_OK)
    return FALSE;
  const BOOL ok = DddGetPaperSize(value, size) == DDD_OK;
  DddFreeValue(&value, 0xFFFF);
  return ok;
}

BOOL CollectPaperSnapshot(const SettingsTarget* target, const SettingChange* change, PaperSnapshot* out) {
  if (!target || !out) return FALSE;
  *out = PaperSnapshot{};
  WORD v = 0;
  if (!read_word(target, change, kOutputPaper, &v)) return FALSE;
  out->mask |= kConflictFlagOutputPaper;
  if (v == kSameAsInputPaper) {
    if (!read_word(target, change, kInputPaper, &v)) return FALSE;
    out->mask |= kConflictFlagInputPaper;
  }
  out->output_paper = v;

  if (!read_word(target, change, kOutputTray, &v)) return FALSE;
  out->mask |= kConflictFlagTray;
  if (v == kPaperSourceTray) {
    DeviceCapabilityBits bits{};
    const bool keeps = target->database && LoadCapabilityBits(target->database, &bits) &&
                       (bits.words[0] & kTrayFollowsSourceBit);
    if (!keeps) {
      if (!read_word(target, change, kPaperSource, &v)) return FALSE;
      out->mask |= kConflictFlagSource;
    }
  }
  out->tray = v;

  struct Field {
    WORD ddmid;
    WORD* word;
    WORD flag;
  } const fields[] = {
      {389, &out->item389, kConflictFlag389}, {333, &out->item333, kConflictFlag333},
      {332, &out->item332, kConflictFlag333}, {266, &out->item266, kConflictFlag266},
      {410, &out->item410, kConflictFlag410}, {411, &out->item411, kConflictFlag411},
  };
  for (const auto& f : fields) {
    if (!read_word(target, change, f.ddmid, f.word)) return FALSE;
    out->mask |= f.flag;
  }
  SettingValue v1313;
  if (read_setting(target, change, 1313, &v1313) != Read::kOk || v1313.type == kTypeString) return FALSE;
  out->item1313 = static_cast<DWORD>(v1313.number());
  return TRUE;
}

INT GetSourceSizeRange(DddHandle* database, WORD kind, WORD id, DddPair* smallest, DddPair* largest) {
  if (!database || (kind != DDD_KIND_RANGE && kind != DDD_KIND_RANGE_ALT)) return 1;
  DddValue* value = nullptr;
  if (DddLoadRecord(DDD_LOAD_FULL, &database->main, &database->linked, kind, id, 0, &value) != DDD_OK || !value)
    return 1;
  const auto* range = static_cast<const DddRange*>(value);
  INT result = 2;
  for (WORD i = 0; i < range->ddmids.count; ++i)
    if (range->ddmids.items[i].value == kOutputPaper) {
      if (smallest) *smallest = range->minimum;
      if (largest) *largest = range->maximum;
      result = 0;
      break;
    }
  DddFreeValue(&value, 0xFFFF);
  return result;
}

// ------------------------------------------------------------ writes

INT SetTargetItemValue(const SettingsTarget* target, WORD ddmid, WORD type, const void* value) {
  if (!target || !value) return 1;
  if (type == kTypeString) {
    const auto* text = static_cast<const WCHAR*>(value);
    DWORD chars = 0;
    while (text[chars]) ++chars;
    return SetItemValueRaw(ddmid, target->devmode, target->printer_data, type, (chars + 1) * sizeof(WCHAR), &text) ==
                   kDdmOk
               ? 0
               : 1;
  }
  const WORD width = type_width(type);
  if (!width) return 1;
  // Scalars travel in a 32-bit slot whose other bytes are zero.
  BYTE slot[4] = {};
  std::memcpy(slot, value, width);
  return SetItemValueRaw(ddmid, target->devmode, target->printer_data, type, width, slot) == kDdmOk ? 0 : 1;
}

// ------------------------------------------------------------ conditions

INT EvaluateRuleCondition(const SettingsTarget* target, const SettingChange* change, const DddCondition* condition,
                          const DddValue* item, WORD* flags) {
  if (!target || !target->database || !condition) return 2;
  WORD local = 0;
  return evaluate_operand(target, change, condition, condition->operand, item, flags ? flags : &local);
}

INT EvaluateRuleConditions(WORD mode, HANDLE printer, const SettingsTarget* target, const DddRule* rule,
                           const SettingChange* change, const DddValue* item, const DdmidListRef* groups,
                           WORD* flags) {
  if (!target || !target->database || !rule || !flags) return 2;
  if (!rule_in_mode(mode, rule->flags)) return 0;

  if (rule->kind == DDD_KIND_RULE_ALT) {
    WORD found = 0;
    const INT r = evaluate_operand(target, change, rule, rule->head, item, &found);
    if (r != 1) return r;
    if (groups && add_ddmid(groups, rule->head.ddmid) == 2) return 2;
    *flags |= found;
    return 1;
  }

  const WORD n = rule->conditions.count;
  const DddCondition* conds = rule->conditions.items;
  auto ends_group = [&](WORD i) { return conds[i].connector == 3 || conds[i].connector == 4; };
  LocalList<kCheckDdmidRoom> group;
  WORD group_flags = 0;
  bool fired = false;
  WORD i = 0;
  while (i < n) {
    WORD found = 0;
    const INT r = evaluate_operand(target, change, rule, conds[i].operand, item, &found);
    if (r == 2) return 2;
    WORD landed = i;
    if (r == 1) {
      if (add_ddmid(&group.ref, conds[i].operand.ddmid) == 2) return 2;
      group_flags |= found;
      if (conds[i].connector == 2) {
        // The rest of the OR-run (the alternatives and the first condition
        // without connector 2) is passed over unevaluated.
        landed = static_cast<WORD>(i + 1);
        while (landed < n - 1 && conds[landed].connector == 2) ++landed;
        if (landed >= n) landed = static_cast<WORD>(n - 1);
      }
      if (!ends_group(landed)) {
        i = static_cast<WORD>(landed + 1);
        continue;
      }
    } else {
      if (conds[i].connector == 2) {
        ++i;
        continue;
      }
      // The group fails: skip to the condition that ends it.
      while (landed < n - 1 && !ends_group(landed)) ++landed;
      group.clear();
      group_flags = 0;
      i = static_cast<WORD>(landed + 1);
      continue;
    }
    // A complete group.
    i = static_cast<WORD>(landed + 1);
    if (mode == kCheckModeChange) {
      const INT recheck = RecheckGroupItems(target, printer, group.ids, group.count);
      if (recheck == 2) return 2;
      if (recheck == 1) {
        group.clear();
        group_flags = 0;
        continue;
      }
    }
    *flags |= group_flags;
    fired = true;
    if (!groups) return 1;
    for (WORD k = 0; k < group.count; ++k)
      if (add_ddmid(groups, group.ids[k]) == 2) return 2;
    group.clear();
    group_flags = 0;
  }
  return fired ? 1 : 0;
}

INT CheckConstraintRule(WORD mode, HANDLE printer, const SettingsTarget* target, const DddRule* rule,
                        const void* head_value, const SettingChange* change, const DddValue* item,
                        ConflictReport* report, const DdmidListRef* groups, WORD* flags) {
  if (!target || !target->database || !rule || !flags) return 2;
  if (report && add_conflict_ddmids(rule, report)) return 2;
  if (head_value) {
    if (!change || rule->head.ddmid != change->ddmid) return 2;
    SettingValue current;
    if (read_setting(target, change, change->ddmid, &current) != Read::kOk) return 2;
    const INT r = CompareRuleValue(rule->head.op, rule->head.value.type, head_value, current.type, current.data());
    if (r == kCompareFalse) return 0;
    if (r != kCompareTrue) return 2;
  }
  // A rule without conditions fires in every mode its flag word admits; a
  // type-8 rule is its head alone.
  if (rule->kind == DDD_KIND_RULE && rule->conditions.count == 0) return rule_in_mode(mode, rule->flags) ? 3 : 0;
  return EvaluateRuleConditions(mode, printer, target, rule, change, item, groups, flags);
}

// ------------------------------------------------------------ post-checks

INT CheckSourceSizePostCondition(WORD mode, const SettingsTarget* target, const DddRule* rule,
                                 const SettingChange* change, WORD* flags) {
  if (!target || !target->database || !rule || !flags) return 2;
  if (!rule_in_mode(mode, rule->flags)) return 0;
  const WORD kind = post_check_kind(rule);
  const SourcePostCheck* check = nullptr;
  for (const auto& row : kSourcePostChecks)
    if (row.kind == kind) check = &row;
  if (!check) return 2;
  PaperSnapshot snap{};
  if (!CollectPaperSnapshot(target, change, &snap)) return 2;
  const bool enabled = check->enable == 0 || (check->enable == 1313 ? snap.item1313 != 0 : snap.item332 != 0);
  if (!enabled) {
    *flags = 0;
    return 0;
  }
  const WORD paper = check->paper == PostPaper::k410   ? snap.item410
                     : check->paper == PostPaper::k411 ? snap.item411
                                                       : snap.output_paper;
  WORD range_id = 0;
  switch (check->range) {
    case PostRange::kTray: range_id = snap.tray; break;
    case PostRange::k389: range_id = snap.item389; break;
    case PostRange::k266: range_id = snap.item266; break;
    case PostRange::kFixed4: range_id = 4; break;
    case PostRange::kFixed264: range_id = 264; break;
    case PostRange::k333: range_id = snap.item333; break;
  }
  DddPair size{}, smallest{}, largest{};
  if (!GetPaperDimensions(target, paper, &size)) return 2;
  const INT r = GetSourceSizeRange(target->database, check->range_kind, range_id, &smallest, &largest);
  if (r == 1) return 2;
  // A record without an entry for item 262 gives no range to fit in.
  if (r == 0 && within(smallest, largest, size.first, size.second)) {
    *flags = 0;
    return 0;
  }
  WORD found = snap.mask & check->mask;
  if (check->finisher_value) {
    const WORD finisher_flags[] = {kConflictFlag407, kConflictFlag408, kConflictFlag409};
    for (WORD k = 0; k < 3; ++k) {
      WORD value = 0;
      if (!read_word(target, change, static_cast<WORD>(407 + k), &value)) return 2;
      if (value == check->finisher_value) found |= finisher_flags[k];
    }
  }
  *flags |= found;
  return 1;
}

INT CheckPaperLimitsPostCondition(WORD mode, const SettingsTarget* target, const DddRule* rule,
                                  const SettingChange* change, WORD* flags) {
  if (!target || !target->database || !rule || !flags) return 2;
  if (!rule_in_mode(mode, rule->flags)) return 0;
  PaperSnapshot snap{};
  if (!CollectPaperSnapshot(target, change, &snap)) return 2;
  if (!IsUserOrCustomPaperCode(snap.output_paper)) {
    *flags = 0;
    return 0;
  }
  DddPair size{};
  if (!GetPaperDimensions(target, snap.output_paper, &size)) return 2;
  DddValue* value = nullptr;
  if (DddLoadRecord(DDD_LOAD_HEADER, &target->database->main, &target->database->linked, DDD_KIND_PAPER,
                    snap.output_paper, 0, &value) != DDD_OK) {
    // No record of the paper: no limits it could break.
    *flags = 0;
    return 0;
  }
  DddPair smallest{}, largest{};
  const bool have = DddGetPaperSize(value, &smallest) == DDD_OK && DddGetPaperSizeAlt(value, &largest) == DDD_OK;
  DddFreeValue(&value, 0xFFFF);
  if (!have || within(smallest, largest, size.first, size.second)) {
    *flags = 0;
    return 0;
  }
  *flags |= snap.mask & kPaperFlags;
  return 1;
}

// ------------------------------------------------------------ actions

INT ResolveActionValue(const SettingsTarget* target, const DddRule* rule, const DddOperand* action,
                       ResolvedAction* out) {
  if (!target || !target->database || !action || !out) return 1;
  *out = ResolvedAction{};
  out->ddmid = action->ddmid;
  OperandValues loaded(target, rule, action->value);
  if (!loaded.ok()) return 1;
  const DddTypedValue& values = loaded.values();
  const void* source = value_at(values, 0);
  if (!source) return 1;
  out->type = values.type;
  if (out->type == kTypeString) {
    // A copy of the text, so that nothing of the rule is written from.
    out->text = static_cast<const WCHAR*>(source);
    return 0;
  }
  const WORD width = type_width(out->type);
  if (!width) return 1;
  std::memcpy(out->value, source, width);
  if (width == 2) {
    const WORD word = morva::load_le16(out->value);
    if (word == 0x8000 || word == 0x8001) {
      // Placeholders: the database default of the action's own item or of
      // the paper size.
      const WORD item = word == 0x8000 ? action->ddmid : kInputPaper;
      void* data = nullptr;
      WORD default_type = 0, size = 0;
      const DddStatus s =
          DddGetDefaultChoiceValue(&target->database->main, &target->database->linked, item, &data, &default_type, &size);
      const bool ok = s == DDD_OK && data && size >= 2;
      if (ok) std::memcpy(out->value, data, 2);
      if (data) GlobalFree(data);
      if (!ok) return 1;
    }
  }
  return 0;
}

INT ApplyRuleActionList(const SettingsTarget* target, const DddRule* rule, const DdmidListRef* changed) {
  if (!target || !target->database || !rule) return 1;
  if (rule->actions.count == 0) return 3;
  LocalList<kChangedItemRoom> local;
  const DdmidListRef* list = changed ? changed : &local.ref;
  for (WORD i = 0; i < rule->actions.count; ++i) {
    const DddOperand& action = rule->actions.items[i];
    bool present = false;
    for (WORD k = 0; k < *list->count; ++k)
      if ((*list->ids)[k] == action.ddmid) present = true;
    // A plain kind-3 rule leaves alone what was changed already.
    if (present && rule->flags == 3) continue;
    ResolvedAction resolved;
    if (ResolveActionValue(target, rule, &action, &resolved)) return 1;
    const INT r = SetTargetItemValue(target, action.ddmid, resolved.type,
                                     resolved.type == kTypeString ? static_cast<const void*>(resolved.text.c_str())
                                                                  : resolved.value);
    if (r) return 1;
    if (add_ddmid(list, action.ddmid)) return 1;
  }
  return 4;
}

// ------------------------------------------------------------ the walk

INT WalkConstraintRules(WORD mode, BOOL collect, WORD selector, HANDLE printer, const SettingsTarget* target,
                        const SettingChange* change, ConflictReport* report, const DddValue* item,
                        const DdmidListRef* changed, const DdmidListRef* groups) {
  if (!target || !target->database || !item) return 1;
  if (collect ? !report : !changed) return 1;
  const DddList<DddWordElement>* ids = nullptr;
  if (item->kind == DDD_KIND_ITEM || item->kind == DDD_KIND_ITEM_ALT) {
    const auto* it = static_cast<const DddItem*>(item);
    ids = selector ? &it->rules_alt : &it->rules;
  } else if (item->kind == DDD_KIND_CHOICE || item->kind == DDD_KIND_CHOICE_ALT) {
    const auto* choice = static_cast<const DddChoice*>(item);
    ids = selector ? &choice->rules_alt : &choice->rules;
  } else {
    return 1;
  }
  const WORD rule_kind = selector ? DDD_KIND_RULE_ALT : DDD_KIND_RULE;
  DddHandle* db = target->database;

  for (WORD n = 0; n < ids->count; ++n) {
    const WORD rule_id = ids->items[n].value;
    DddValue* loaded_rule = nullptr;
    if (DddLoadValue(DDD_LOAD_FULL, &db->main, &db->linked, rule_kind, rule_id, &loaded_rule) != DDD_OK ||
        !loaded_rule)
      return 1;
    const auto* rule = static_cast<const DddRule*>(loaded_rule);
    INT outcome = 0;
    WORD flags = 0;
    {
      OperandValues head(target, rule, rule->head.value);
      if (!head.ok()) {
        DddFreeValue(&loaded_rule, 0xFFFF);
        continue;
      }
      const DddTypedValue& values = head.values();
      const WORD count = values.type == kTypeString ? (head.count() ? 1 : 0) : head.count();
      const BYTE op = rule->head.op;

      // The passes over the head's values.
      WORD first = 0, last = count;  // [first, last)
      bool single_null = false;
      if (count == 0) {
        single_null = op == 0 || op == 2;
        last = 0;
      } else if (count > 1 && values.element_size == 2 && op == 1) {
        // Only the value the change sets gives a pass.
        last = first = count;
        SettingValue now;
        if (change && read_setting(target, change, change->ddmid, &now) == Read::kOk && now.type != kTypeString) {
          const WORD wanted = morva::load_le16(now.slot);
          for (WORD k = 0; k < count; ++k) {
            const void* v = value_at(values, k);
            if (v && morva::load_le16(v) == wanted) {
              first = k;
              last = static_cast<WORD>(k + 1);
              break;
            }
          }
        }
      }
      auto run_pass = [&](const void* head_value) -> INT {
        WORD pass_flags = 0;
        INT r = CheckConstraintRule(mode, printer, target, rule, head_value, change, item,
                                    collect ? report : nullptr, groups, &pass_flags);
        if (r == 1 || r == 3) {
          const WORD post = post_check_kind(rule);
          if (post == 4) r = CheckPaperLimitsPostCondition(mode, target, rule, change, &pass_flags);
          else if (post >= 1 && post <= 9) r = CheckSourceSizePostCondition(mode, target, rule, change, &pass_flags);
        }
        if (r == 1 || r == 3) flags |= pass_flags;
        return r;
      };
      if (single_null) {
        outcome = run_pass(nullptr);
      } else {
        for (WORD k = first; k < last; ++k) {
          const void* v = value_at(values, k);
          if (!v) {
            outcome = 2;
            break;
          }
          outcome = run_pass(v);
          if (outcome != 0) break;
        }
      }
    }
    if (outcome == 2) {
      DddFreeValue(&loaded_rule, 0xFFFF);
      return 1;
    }
    if (outcome == 1 || outcome == 3) {
      if (collect) {
        const INT added = rule_kind == DDD_KIND_RULE ? AddToIdList(&report->rules, rule_id)
                                                     : AddToIdList(&report->rules_alt, rule_id);
        if (added) {
          DddFreeValue(&loaded_rule, 0xFFFF);
          return 1;
        }
        RaiseConflictSeverity(&report->kind, rule->flags & kRuleKindMask);
        report->flags |= flags;
      } else if (ApplyRuleActionList(target, rule, changed) == 1) {
        DddFreeValue(&loaded_rule, 0xFFFF);
        return 1;
      }
    }
    DddFreeValue(&loaded_rule, 0xFFFF);
  }
  return 0;
}

// ------------------------------------------------------------ PJL paper range

namespace {

// The paper that DDMID 8 names for the job: the paper-size choice named
// like the printer's form of that number, else the stored value.
bool resolve_job_paper(HANDLE printer, const SettingsTarget* target, WORD* paper) {
  if (!read_word(target, nullptr, kInputPaper, paper)) return false;
  LONG found = 0;
  if (printer && FindPaperByFormName(printer, target->devmode, target->printer_data, *paper, &found) ==
                     kFormPaperFound)
    *paper = static_cast<WORD>(found);
  return true;
}

}  // namespace

INT CheckPaperRangeRule(HANDLE printer, const SettingsTarget* target, const DddCondition* condition) {
  if (!target || !target->database || !condition || condition->operand.op != 9) return 2;
  DddHandle* db = target->database;
  const DddOperand& cond = condition->operand;
  WORD kind = 0, range_id = 0;
  DddValue* found = nullptr;
  const void* key = cond.value.count ? cond.value.data : nullptr;
  if (DddGetItemValue(DDD_LOAD_FULL, &db->main, &db->linked, cond.ddmid, key, &kind, &found) == DDD_OK && found) {
    if (is_item_kind(found->kind)) range_id = range_id_of(found);
    DddFreeValue(&found, 0xFFFF);
  }
  if (!range_id) return 2;
  WORD paper = 0;
  if (!read_word(target, nullptr, kOutputPaper, &paper)) return 2;
  if (paper == kSameAsInputPaper && !resolve_job_paper(printer, target, &paper)) return 2;
  if (!IsUserOrCustomPaperCode(paper)) return 0;
  DddPair smallest{}, largest{}, size{};
  if (DddLoadDimensionRecord(&db->main, &db->linked, DDD_ROLE_MAIN, range_id, &smallest, &largest) != DDD_OK)
    return 0;
  if (!GetPaperDimensions(target, paper, &size)) return 2;
  return within(smallest, largest, size.first, size.second) ? 0 : 1;
}
