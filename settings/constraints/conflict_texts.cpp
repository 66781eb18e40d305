// Item texts, line collectors and message builders of the conflict messages.
#include "settings/constraints/conflict_texts.h"

#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/items/item_access.h"
#include "win/memory.h"
#include "win/resources.h"

using namespace morva::ddm;

namespace {

constexpr WORD kActionSkip[] = {346, 348, 8205, 391, 342, 343, 470};
constexpr WORD kConditionSkip[] = {342, 343, 470};
constexpr WORD kItemListSkip[] = {346, 348, 8205, 443, 270, 342, 343, 1794, 1809};

// Conflict flag -> item, in listing order.
constexpr struct {
  WORD flag;
  WORD ddmid;
} kFlaggedItems[] = {{0x1, 8},     {0x2, 262},   {0x4, 13},    {0x8, 265},   {0x10, 389},  {0x20, 266},
                     {0x40, 410},  {0x80, 411},  {0x100, 407}, {0x200, 408}, {0x400, 409}, {0x800, 333}};

constexpr WORD kCustomPaper = 256;
constexpr WORD kUserPaperNameBase = 5929;

template <size_t N>
bool on_list(const WORD (&list)[N], WORD ddmid) {
  for (WORD d : list)
    if (d == ddmid) return true;
  return false;
}

bool in_listed(const WORD* listed, WORD ddmid) {
  for (WORD i = 0; listed && i < kListedDdmidRoom && listed[i]; ++i)
    if (listed[i] == ddmid) return true;
  return false;
}

// A current or new value held for showing: scalars in 4 little-endian
// bytes, texts copied.
struct HeldValue {
  WORD type = 0;
  BYTE scalar[4] = {};
  std::u16string text;
  ShownValue shown() const { return ShownValue{type, type == kTypeString ? static_cast<const void*>(text.c_str()) : scalar}; }
};

bool read_current(const SettingsTarget* target, WORD ddmid, HeldValue* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, target->devmode, target->printer_data, &type, &size, &value) != 0) return false;
  out->type = type;
  if (type == kTypeString) {
    out->text = ItemText(value, size);
  } else if (type == kTypeLogFont) {
    return false;
  } else {
    std::memcpy(out->scalar, &value.dw, 4);
  }
  return true;
}

bool hold_change(const SettingChange* change, HeldValue* out) {
  if (!change || !change->value) return false;
  out->type = change->type;
  if (change->type == kTypeString) {
    out->text = static_cast<const WCHAR*>(change->value);
    return true;
  }
  const WORD width = change->type == 2 || change->type == 3 ? 2 : change->type == 8 ? 1 : 4;
  if (change->type == kTypeLogFont || change->type == 7) return false;
  std::memcpy(out->scalar, change->value, width);
  return true;
}

WORD word_of(const ShownValue* v) {
  WORD w = 0;
  if (v->type == 8) return *static_cast<const BYTE*>(v->value);
  std::memcpy(&w, v->value, 2);
  return w;
}

std::u16string resource_text(HMODULE module, UINT id, INT chars = kConflictTextChars) {
  std::u16string text(static_cast<size_t>(chars) + 1, u'\0');
  const INT n = module ? LoadStringW(module, id, text.data(), chars) : 0;
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

// The database name of the item (null key) or of its value; empty when missing.
bool database_name(const SettingsTarget* target, WORD ddmid, const void* key, std::u16string* out) {
  WCHAR* text = nullptr;
  if (DddGetItemString(&target->database->main, &target->database->linked, ddmid, key, &text) != DDD_OK || !text) {
    if (text) GlobalFree(text);
    return false;
  }
  *out = text;
  GlobalFree(text);
  return true;
}

// A text cut at its first line end.
std::u16string first_line(std::u16string text) {
  const size_t end = text.find_first_of(u"\r\n");
  if (end != std::u16string::npos) text.resize(end);
  return text;
}

// main + extra + suffix into the work buffer, the main text cut so that
// the whole fits.
INT put_item_text(LPWSTR out, std::u16string main, const std::u16string& extra, const std::u16string& suffix) {
  main = first_line(std::move(main));
  const size_t room = static_cast<size_t>(kConflictTextChars - 1);
  std::u16string tail = extra + suffix;
  if (tail.size() > room) tail.resize(room);
  if (main.size() + tail.size() > room) main.resize(room - tail.size());
  const std::u16string all = main + tail;
  std::memcpy(out, all.c_str(), (all.size() + 1) * sizeof(WCHAR));
  return 1;
}

bool append_line(ConflictLines* lines, LPCWSTR line) {
  const size_t have = std::char_traits<char16_t>::length(lines->text);
  const size_t add = std::char_traits<char16_t>::length(line);
  if (have + add + 1 > static_cast<size_t>(lines->capacity)) return false;
  std::memcpy(lines->text + have, line, (add + 1) * sizeof(WCHAR));
  return true;
}

// The item's current value as one line, appended and counted.
bool append_current_item(BOOL with_range, HMODULE module, const SettingsTarget* target, ConflictLines* lines, WORD ddmid,
                         const ConflictMessageOptions* options) {
  HeldValue held;
  if (!read_current(target, ddmid, &held)) return false;
  WCHAR line[kConflictLineChars] = {};
  const ShownValue shown = held.shown();
  if (!FormatItemLine(with_range, module, target, line, kConflictLineChars, ddmid, &shown, options)) return false;
  if (!append_line(lines, line)) return false;
  ++lines->count;
  return true;
}

// A rule of the database's type-7 rules, freed on leaving.
struct LoadedRule {
  DddValue* value = nullptr;
  LoadedRule(const SettingsTarget* target, WORD id) {
    if (DddLoadValue(DDD_LOAD_FULL, &target->database->main, &target->database->linked, DDD_KIND_RULE, id, &value) !=
        DDD_OK)
      value = nullptr;
  }
  ~LoadedRule() {
    if (value) DddFreeValue(&value, 0xFFFF);
  }
  LoadedRule(const LoadedRule&) = delete;
  LoadedRule& operator=(const LoadedRule&) = delete;
  const DddRule* rule() const { return static_cast<const DddRule*>(value); }
};

bool valid_target(const SettingsTarget* target) { return target && target->database; }

// Hands out a made message. `text` is read only here, after the call that
// made it has run.
INT finish(LPWSTR* out, INT made, const LPWSTR& text) {
  if (!made) return 0;
  *out = text;
  return 1;
}

struct LineBuffer {
  std::vector<WCHAR> chars;
  ConflictLines lines;
  explicit LineBuffer(INT capacity) : chars(static_cast<size_t>(capacity) + 1, 0), lines{chars.data(), capacity, 0} {}
  LPCWSTR text() const { return chars.data(); }
  bool empty() const { return chars[0] == 0; }
};

std::u16string item_name(HMODULE module, const SettingsTarget* target, WORD ddmid,
                         const ConflictMessageOptions* options, bool* ok) {
  WCHAR name[kConflictTextChars] = {};
  *ok = FormatItemValueText(FALSE, module, target, name, ddmid, nullptr, options) != 0;
  return name;
}

}  // namespace

INT FormatRangeText(HMODULE module, DddHandle* database, WORD kind, WORD value, LPWSTR out) {
  if (!out) return 0;
  out[0] = 0;
  DddPair smallest{}, largest{};
  if (!database || GetSourceSizeRange(database, kind, value, &smallest, &largest) != 0) return 0;
  const WORD sizes[4] = {smallest.first, largest.first, smallest.second, largest.second};
  WCHAR texts[4][kConflictTextChars] = {};
  for (int i = 0; i < 4; ++i)
    if (!FormatScaledNumber(&sizes[i], 10, 3, TRUE, texts[i], module)) return 0;
  LPWSTR text = nullptr;
  if (!FormatResourceString(module, &text, kConflictTextChars, 704, texts[0], texts[1], texts[2], texts[3])) return 0;
  std::memcpy(out, text, (std::char_traits<char16_t>::length(text) + 1) * sizeof(WCHAR));
  GlobalFree(text);
  return 1;
}

INT FormatItemValueText(BOOL with_range, HMODULE module, const SettingsTarget* target, LPWSTR out, WORD ddmid,
                        const ShownValue* value, const ConflictMessageOptions* options) {
  if (!out) return 0;
  out[0] = 0;
  if (!valid_target(target)) return 0;
  std::u16string main, extra, suffix;
  if (!value) {
    if (!database_name(target, ddmid, nullptr, &main)) return 0;
    if (ddmid == 327 || ddmid == 328) suffix = resource_text(module, 305);
    return put_item_text(out, main, extra, suffix);
  }
  if (!value->value) return 0;
  BYTE key[4] = {};
  if (value->type != kTypeString) std::memcpy(key, value->value, value->type == 8 ? 1 : value->type == 2 || value->type == 3 ? 2 : 4);
  const bool plain_number = ddmid == 12 || ddmid == 263 || ddmid == 268 || ddmid == 269 ||
                            (ddmid >= 274 && ddmid <= 285) || ddmid == 323;
  if (plain_number) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue current{};
    if (GetItemValue(ddmid, target->devmode, target->printer_data, &type, &size, &current) != 0) return 0;
    return FormatRangeValue(FALSE, out, ddmid == 268 || ddmid == 269 ? 10 : 1, type, key);
  }
  WCHAR size_text[kConflictTextChars] = {};
  auto paper_text = [&](WORD paper) -> bool {
    if (IsUserPaperCode(paper)) {
      const WORD slot = UserPaperSlotOfCode(paper);
      HeldValue name;
      if (slot == 0xFFFF || !read_current(target, static_cast<WORD>(kUserPaperNameBase + slot), &name)) return false;
      main = name.text;
      FormatPaperSizeText(paper, target, module, size_text, options);
      extra = size_text;
      return true;
    }
    const WORD paper_key[2] = {paper, 0};
    if (!database_name(target, ddmid == 262 ? 8 : ddmid, paper_key, &main)) return false;
    if (paper == kCustomPaper) {
      FormatPaperSizeText(paper, target, module, size_text, options);
      extra = size_text;
    }
    return true;
  };
  const WORD number = value->type == kTypeString ? 0 : word_of(value);
  if (ddmid == 8) {
    if (HasPaperSizeList(target->database)) {
      const WCHAR* name = nullptr;
      if (FindPaperSize(target->database, kPaperKeyDriverId, number, kPaperResultName, &name) != 1 || !name) return 0;
      return put_item_text(out, name, u"", u"");
    }
    if (!paper_text(number)) return 0;
  } else if (ddmid == 262) {
    if (number == 267) {
      if (!database_name(target, ddmid, key, &main)) return 0;
    } else if (!paper_text(number)) {
      return 0;
    }
  } else if ((ddmid == 13 && number != 15) || (ddmid == 265 && number != 258) || ddmid == 389 || ddmid == 266) {
    if (!database_name(target, ddmid, key, &main)) return 0;
    if (with_range && FormatRangeText(module, target->database, ddmid == 266 ? 6 : 5, number, size_text)) extra = size_text;
  } else if (ddmid == 5129) {
    main = value->type == kTypeString ? static_cast<const WCHAR*>(value->value) : u"";
    if (main.empty()) main = resource_text(module, 306);
  } else if (!database_name(target, ddmid, value->type == kTypeString ? value->value : key, &main)) {
    return 0;
  }
  return put_item_text(out, main, extra, suffix);
}

INT FormatItemLine(BOOL with_range, HMODULE module, const SettingsTarget* target, LPWSTR out, INT capacity, WORD ddmid,
                   const ShownValue* value, const ConflictMessageOptions* options) {
  if (!out || capacity <= 0) return 0;
  out[0] = 0;
  WCHAR name[kConflictTextChars] = {};
  if (!FormatItemValueText(FALSE, module, target, name, ddmid, nullptr, options)) return 0;
  if (name[0] == u'!') return 1;  // a hidden item
  WCHAR text[kConflictTextChars] = {};
  if (!FormatItemValueText(with_range, module, target, text, ddmid, value, options)) return 0;
  LPWSTR line = nullptr;
  if (!FormatResourceString(module, &line, capacity, 706, name, text)) return 0;
  std::memcpy(out, line, (std::char_traits<char16_t>::length(line) + 1) * sizeof(WCHAR));
  GlobalFree(line);
  return 1;
}

INT AppendRuleActionLines(BOOL with_range, HMODULE module, const SettingsTarget* target, ConflictLines* lines,
                          WORD count, const WORD* ids, const ConflictMessageOptions* options) {
  if (!valid_target(target) || !lines || (count && !ids)) return 0;
  std::vector<ResolvedAction> collected;
  for (WORD r = 0; r < count; ++r) {
    LoadedRule loaded(target, ids[r]);
    if (!loaded.rule()) return 0;
    const DddRule* rule = loaded.rule();
    for (WORD a = 0; a < rule->actions.count; ++a) {
      const DddOperand& action = rule->actions.items[a];
      ResolvedAction* have = nullptr;
      for (auto& c : collected)
        if (c.ddmid == action.ddmid) have = &c;
      if (have) {
        // A later rule of flag word 4 shows its own value.
        if (rule->flags != 4) continue;
        ResolvedAction resolved;
        if (ResolveActionValue(target, rule, &action, &resolved) || resolved.type != have->type) return 0;
        *have = resolved;
        continue;
      }
      if (on_list(kActionSkip, action.ddmid) || collected.size() >= kListedActionRoom) continue;
      ResolvedAction resolved;
      if (ResolveActionValue(target, rule, &action, &resolved)) return 0;
      collected.push_back(resolved);
    }
  }
  for (const auto& c : collected) {
    const ShownValue shown{c.type, c.type == kTypeString ? static_cast<const void*>(c.text.c_str()) : c.value};
    WCHAR line[kConflictLineChars] = {};
    if (!FormatItemLine(with_range, module, target, line, kConflictLineChars, c.ddmid, &shown, options)) return 0;
    if (!append_line(lines, line)) return 0;
    ++lines->count;
  }
  return 1;
}

INT AppendConditionItemLines(BOOL with_range, HMODULE module, const SettingsTarget* target,
                             const SettingChange* change, ConflictLines* lines, WORD count, const WORD* ids,
                             WORD* listed, const ConflictMessageOptions* options) {
  if (!valid_target(target) || !lines || !listed || (count && !ids)) return 0;
  const WORD changed = change ? change->ddmid : 0;
  for (WORD r = 0; r < count; ++r) {
    LoadedRule loaded(target, ids[r]);
    if (!loaded.rule()) return 0;
    const DddRule* rule = loaded.rule();
    if (rule->flags == 4) continue;
    const WORD n = rule->conditions.count;
    const DddCondition* c = rule->conditions.items;
    WORD start = 0;
    for (WORD i = 0; i < n;) {
      WORD flags = 0;
      const INT result = EvaluateRuleCondition(target, change, &c[i], nullptr, &flags);
      if (result == 2) return 0;
      if (result == 1) {
        if (c[i].connector == 2)  // true in an OR run: go to its last condition
          while (i + 1 < n && c[i].connector == 2) ++i;
        if (c[i].connector == 1) {
          ++i;
          continue;
        }
        // The group holds: list its items.
        for (WORD k = start; k <= i; ++k) {
          const DddOperand& op = c[k].operand;
          if (op.ddmid == changed || op.op == 9 || op.op == 13 || in_listed(listed, op.ddmid) ||
              on_list(kConditionSkip, op.ddmid))
            continue;
          if (!append_current_item(with_range, module, target, lines, op.ddmid, options)) return 0;
          AddToDdmidList(op.ddmid, listed, kListedDdmidRoom);
        }
        start = ++i;
        continue;
      }
      if (c[i].connector == 2) {
        ++i;  // the next alternative
        continue;
      }
      // The group fails: on to the next group.
      while (i < n && c[i].connector != 3 && c[i].connector != 4) ++i;
      start = ++i;
    }
  }
  return 1;
}

INT AppendFlaggedItemLines(ConflictLines* lines, WORD* listed, HMODULE module, const SettingsTarget* target,
                           WORD changed_ddmid, WORD flags, const ConflictMessageOptions* options) {
  if (!valid_target(target) || !lines || !listed) return 0;
  for (const auto& row : kFlaggedItems) {
    if (!(flags & row.flag) || row.ddmid == changed_ddmid || in_listed(listed, row.ddmid)) continue;
    if (!append_current_item(TRUE, module, target, lines, row.ddmid, options)) return 0;
    AddToDdmidList(row.ddmid, listed, kListedDdmidRoom);
  }
  return 1;
}

INT AppendItemListLines(const SettingsTarget* target, ConflictLines* lines, HMODULE module, const WORD* ddmids,
                        WORD count, const ConflictMessageOptions* options) {
  if (!valid_target(target) || !lines || !ddmids) return 0;
  HeldValue mode;
  if (!read_current(target, 5202, &mode)) return 0;
  const bool show_colour = GetTypedValue(mode.type, mode.scalar) != 1;
  std::vector<WORD> shown;
  for (WORD i = 0; count ? i < count : ddmids[i] != 0; ++i) {
    const WORD d = ddmids[i];
    if (on_list(kItemListSkip, d) && !(d == 270 && show_colour)) continue;
    bool seen = false;
    for (WORD s : shown) seen = seen || s == d;
    if (seen) continue;
    if (!append_current_item(FALSE, module, target, lines, d, options)) return 0;
    shown.push_back(d);
  }
  return 1;
}

INT BuildItemListText(const SettingsTarget* target, ConflictLines* lines, HMODULE module, const WORD* ddmids,
                      WORD count, const ConflictMessageOptions* options) {
  return AppendItemListLines(target, lines, module, ddmids, count, options) && lines->text[0] ? 1 : 0;
}

INT BuildRangeWarningText(HMODULE module, const SettingsTarget* target, LONG divisor, BOOL integer_only, WORD ddmid,
                          LPCWSTR item_text, WORD type, LONG smallest, LONG largest,
                          const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  WCHAR name[kConflictTextChars] = {};
  if (item_text && item_text[0]) {
    put_item_text(name, item_text, u"", u"");
  } else if (!FormatItemValueText(FALSE, module, target, name, ddmid, nullptr, options)) {
    return 0;
  }
  WCHAR low[kConflictTextChars] = {}, high[kConflictTextChars] = {};
  if (!FormatScaledNumber(&smallest, divisor, type, integer_only, low, module) ||
      !FormatScaledNumber(&largest, divisor, type, integer_only, high, module))
    return 0;
  LPWSTR text = nullptr;
  return finish(out, FormatResourceString(module, &text, kConflictMessageChars, 700, name, low, high), text);
}

INT BuildValueWarningText(HMODULE module, const SettingsTarget* target, const SettingChange* change,
                          const ConflictReport* report, const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  if (!report || !change) return 0;
  const UINT templ = report->kind == 10 || report->kind == 11 ? 708 : report->kind == 12 || report->kind == 13 ? 4733 : 0;
  if (!templ) return 0;
  bool ok = false;
  const std::u16string name = item_name(module, target, change->ddmid, options, &ok);
  HeldValue held;
  if (!ok || !hold_change(change, &held)) return 0;
  WCHAR value[kConflictTextChars] = {};
  const ShownValue shown = held.shown();
  if (!FormatItemValueText(FALSE, module, target, value, change->ddmid, &shown, options)) return 0;
  LPWSTR text = nullptr;
  return finish(out, FormatResourceString(module, &text, kConflictMessageChars, templ, name.c_str(), value), text);
}

INT BuildConflictQuestionText(BOOL with_actions, HMODULE module, const SettingsTarget* target,
                              const SettingChange* change, LPCWSTR extra_condition, LPCWSTR extra_action,
                              LPCWSTR name_override, LPCWSTR value_override, const ConflictReport* report,
                              const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  if (!report || !change || !valid_target(target)) return 0;
  const BOOL with_range = report->flags != 0;
  WORD listed[kListedDdmidRoom] = {};
  LineBuffer conditions(kConflictLongLinesChars);
  if (!AppendConditionItemLines(with_range, module, target, change, &conditions.lines, report->rules.count,
                                report->rules.ids, listed, options))
    return 0;
  if (extra_condition && !append_line(&conditions.lines, extra_condition)) return 0;
  if (with_range && !AppendFlaggedItemLines(&conditions.lines, listed, module, target, change->ddmid, report->flags,
                                            options))
    return 0;
  LineBuffer actions(kConflictLongLinesChars);
  if (with_actions) {
    if (!AppendRuleActionLines(FALSE, module, target, &actions.lines, report->rules.count, report->rules.ids, options))
      return 0;
    if (extra_action && !append_line(&actions.lines, extra_action)) return 0;
  }
  WCHAR name[kConflictTextChars] = {};
  if (name_override) {
    put_item_text(name, name_override, u"", u"");
  } else if (!FormatItemValueText(FALSE, module, target, name, change->ddmid, nullptr, options)) {
    return 0;
  }
  WCHAR value[kConflictTextChars] = {};
  bool has_value = false;
  if (value_override) {
    put_item_text(value, value_override, u"", u"");
    has_value = true;
  } else if (change->value) {
    HeldValue held;
    if (!hold_change(change, &held)) return 0;
    const ShownValue shown = held.shown();
    if (!FormatItemValueText(FALSE, module, target, value, change->ddmid, &shown, options)) return 0;
    has_value = true;
  }
  LPWSTR text = nullptr;
  INT made;
  if (with_actions)
    made = has_value ? FormatResourceString(module, &text, kConflictMessageChars, 705, name, value, conditions.text(),
                                            actions.text())
                     : FormatResourceString(module, &text, kConflictMessageChars, 725, name, conditions.text(),
                                            actions.text());
  else
    made = has_value
               ? FormatResourceString(module, &text, kConflictMessageChars, 701, name, value, conditions.text())
               : FormatResourceString(module, &text, kConflictMessageChars, 724, name, conditions.text());
  return finish(out, made, text);
}

INT BuildFinishingPositionText(HMODULE module, const SettingsTarget* target, const SettingChange* change,
                               const ConflictReport* report, const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  if (!report || !change || !valid_target(target)) return 0;
  LineBuffer actions(kConflictLongLinesChars);
  if (!AppendRuleActionLines(report->flags != 0, module, target, &actions.lines, report->rules.count,
                             report->rules.ids, options))
    return 0;
  WCHAR name[kConflictTextChars] = {}, value[kConflictTextChars] = {};
  HeldValue held;
  if (!FormatItemValueText(FALSE, module, target, name, change->ddmid, nullptr, options) || !hold_change(change, &held))
    return 0;
  const ShownValue shown = held.shown();
  if (!FormatItemValueText(FALSE, module, target, value, change->ddmid, &shown, options)) return 0;
  // The position: the first condition on item 267 or 320 whose current
  // value has a database name.
  std::u16string position;
  for (WORD r = 0; r < report->rules.count && position.empty(); ++r) {
    LoadedRule loaded(target, report->rules.ids[r]);
    if (!loaded.rule()) return 0;
    for (WORD i = 0; i < loaded.rule()->conditions.count; ++i) {
      const WORD d = loaded.rule()->conditions.items[i].operand.ddmid;
      if (d != 267 && d != 320) continue;
      HeldValue current;
      if (!read_current(target, d, &current)) return 0;
      if (database_name(target, d, current.scalar, &position)) break;
    }
  }
  if (position.empty()) return 0;
  WCHAR position_text[kConflictTextChars] = {};
  put_item_text(position_text, position, u"", u"");
  LPWSTR text = nullptr;
  return finish(out,
                FormatResourceString(module, &text, kConflictMessageChars, 709, name, value, position_text,
                                     actions.text()),
                text);
}

INT BuildConflictNoteText(HMODULE module, const SettingsTarget* target, const SettingChange* change,
                          const ConflictReport* report, const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  if (!report || !change || !valid_target(target)) return 0;
  WORD listed[kListedDdmidRoom] = {};
  LineBuffer conditions(kConflictLinesChars);
  if (!AppendConditionItemLines(report->flags != 0, module, target, change, &conditions.lines, report->rules.count,
                                report->rules.ids, listed, options))
    return 0;
  WCHAR name[kConflictTextChars] = {};
  if (!FormatItemValueText(FALSE, module, target, name, change->ddmid, nullptr, options)) return 0;
  LPWSTR text = nullptr;
  return finish(out, FormatResourceString(module, &text, kConflictMessageChars, 710, name, conditions.text()), text);
}

INT BuildRuleWarningText(HMODULE module, const SettingsTarget* target, const ConflictReport* report,
                         const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  if (!report || !valid_target(target)) return 0;
  std::vector<WORD> ids;
  for (WORD r = 0; r < report->rules.count; ++r) {
    LoadedRule loaded(target, report->rules.ids[r]);
    if (!loaded.rule()) return 0;
    if (loaded.rule()->flags == 9) ids.push_back(report->rules.ids[r]);
  }
  if (ids.empty()) return 1;
  LineBuffer actions(kConflictLinesChars);
  if (!AppendRuleActionLines(FALSE, module, target, &actions.lines, static_cast<WORD>(ids.size()), ids.data(), options))
    return 0;
  LPWSTR text = nullptr;
  return finish(out, FormatResourceString(module, &text, kConflictMessageChars, 711, actions.text()), text);
}

INT BuildConfirmChangesText(HMODULE module, const SettingsTarget* target, const WORD* ddmids, WORD count,
                            const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  LineBuffer lines(kConflictLinesChars);
  if (!AppendItemListLines(target, &lines.lines, module, ddmids, count, options)) return 0;
  if (lines.empty()) return 1;
  LPWSTR text = nullptr;
  return finish(out, FormatResourceString(module, &text, kConflictMessageChars, 712, lines.text()), text);
}

INT BuildChangeReport(HMODULE module, const SettingsTarget* target, const WORD* ddmids, WORD count, INT template_id,
                      const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  LineBuffer lines(kConflictLinesChars);
  if (!BuildItemListText(target, &lines.lines, module, ddmids, count, options)) return 0;
  if (template_id == -3) {
    auto* text = static_cast<LPWSTR>(GlobalAlloc(GPTR, kConflictMessageChars * sizeof(WCHAR)));
    if (!text) return 0;
    std::memcpy(text, lines.text(), (std::char_traits<char16_t>::length(lines.text()) + 1) * sizeof(WCHAR));
    *out = text;
    return 1;
  }
  LPWSTR text = nullptr;
  return finish(out,
                FormatResourceString(module, &text, kConflictMessageChars, static_cast<UINT>(template_id), lines.text()),
                text);
}

INT BuildConstraintText(WORD kind_flags, HMODULE module, const SettingsTarget* target, const SettingChange* change,
                        LPCWSTR name_override, LPCWSTR value_override, const WORD* ddmids,
                        const ConflictMessageOptions* options, LPWSTR* out) {
  if (!out) return 0;
  *out = nullptr;
  const WORD kind = kind_flags & 0xF;
  if (kind > 3) return 0;
  LineBuffer lines(kConflictLinesChars);
  if (!BuildItemListText(target, &lines.lines, module, ddmids, 0, options)) return 0;
  LPWSTR text = nullptr;
  if (kind >= 2)
    return finish(out, FormatResourceString(module, &text, kConflictMessageChars, kind == 2 ? 714 : 713, lines.text()),
                  text);
  if (!change) return 0;
  WCHAR name[kConflictTextChars] = {}, value[kConflictTextChars] = {};
  if (name_override) {
    put_item_text(name, name_override, u"", u"");
  } else if (!FormatItemValueText(FALSE, module, target, name, change->ddmid, nullptr, options)) {
    return 0;
  }
  if (value_override) {
    put_item_text(value, value_override, u"", u"");
  } else {
    HeldValue held;
    if (!hold_change(change, &held)) return 0;
    const ShownValue shown = held.shown();
    if (!FormatItemValueText(FALSE, module, target, value, change->ddmid, &shown, options)) return 0;
  }
  return finish(out,
                FormatResourceString(module, &text, kConflictMessageChars, kind == 0 ? 716 : 715, name, value,
                                     lines.text()),
                text);
}
