// Device tray mapping: the device's input trays become the driver's
// per-tray settings (paper, sizes, feed orientation, media type and second
// media attribute) through the tray rules of the device database, whose
// conditions are tested against the options the device reported.
#include <algorithm>
#include <cstring>

#include "property_sheets/device_query.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/devmode/paper_source_table.h"

namespace {

constexpr WORD kPaperOutOfRange = 273;
constexpr WORD kPaperCustom = 275;
constexpr WORD kMediaUnknown = 28;
constexpr WORD kSecondUnknown = 17;
constexpr LONG kSizeTolerance = 1000;

bool is_user_paper(WORD id) { return (id >= 262 && id <= 266) || (id >= 287 && id <= 301); }

LONG read_number(WORD type, const BYTE* p) {
  switch (type) {
    case 8: return p[0];
    case 2: { SHORT v; std::memcpy(&v, p, 2); return v; }
    case 3: { WORD v; std::memcpy(&v, p, 2); return v; }
    default: { LONG v; std::memcpy(&v, p, 4); return v; }
  }
}

bool is_unsigned(WORD type) { return type == 3 || type == 5 || type == 8; }

// -1 error, 0 false, 1 true.
int compare(BYTE op, WORD type, const OptionCondition& c, const SettingValueRecord& answer) {
  if (op == 0 || op == 9 || op >= 13) return -1;
  if (type == 6 || type == 1) {
    if (op != 1 && op != 2) return -1;
    bool equal;
    if (type == 6) {
      std::u16string want(c.value.size() / 2, u'\0');
      std::memcpy(want.data(), c.value.data(), want.size() * 2);
      want = want.c_str();
      equal = want == answer.text;
    } else {
      equal = (read_number(4, c.value.data()) != 0) == (answer.value != 0);
    }
    return (op == 1) == equal ? 1 : 0;
  }
  if (type != 2 && type != 3 && type != 4 && type != 5 && type != 8 && type != 10) return -1;
  const LONG mine = read_number(type, c.value.data());
  BYTE device[4];
  std::memcpy(device, &answer.value, 4);
  const LONG theirs = read_number(type, device);
  int order;
  if (is_unsigned(type)) {
    const DWORD a = static_cast<DWORD>(mine), b = static_cast<DWORD>(theirs);
    order = a < b ? -1 : a > b ? 1 : 0;
  } else {
    order = mine < theirs ? -1 : mine > theirs ? 1 : 0;
  }
  switch (op) {
    case 2: return order != 0;
    case 3: return order > 0;
    case 4: return order >= 0;
    case 5: return order < 0;
    case 6: return order <= 0;
    default: return order == 0;  // 1, 7, 8, 10, 11, 12
  }
}

// -1 error, 0 false, 1 true.
int evaluate_condition(const OptionCondition& c, const std::vector<SettingValueRecord>& options) {
  if (c.value.empty()) return 0;
  const auto it = std::find_if(options.begin(), options.end(),
                               [&](const SettingValueRecord& r) { return r.ddmid == c.ddmid; });
  if (it == options.end() || it->type != c.type) return -1;
  if (c.type != 6 && c.value.size() < (c.type == 8 ? 1u : c.type == 2 || c.type == 3 ? 2u : 4u)) return -1;
  return compare(c.op, c.type, c, *it);
}

bool ends_group(BYTE connector) { return connector == 3 || connector == 4; }

bool within(LONG a, LONG b, LONG tolerance) { return a >= b - tolerance && a <= b + tolerance; }

// The first database paper whose sides lie within `tolerance`: 1 and its
// id when the tray takes it, 0 when it does not (the search ends), -1 when
// none fits.
int find_paper(const std::vector<PaperSizeEntry>& papers, LONG short_side, LONG long_side, LONG tolerance,
               const TrayRule& rule, WORD* id) {
  for (const PaperSizeEntry& p : papers) {
    if (is_user_paper(p.id)) continue;
    if (!within(p.short_side * 100L, short_side, tolerance) || !within(p.long_side * 100L, long_side, tolerance))
      continue;
    if (std::find(rule.papers.begin(), rule.papers.end(), p.id) == rule.papers.end()) return 0;
    *id = p.id;
    return 1;
  }
  return -1;
}

SettingValueRecord word_record(WORD ddmid, WORD value) {
  SettingValueRecord r;
  r.ddmid = ddmid;
  r.type = 3;
  r.size = 2;
  r.value = value;
  return r;
}

SettingValueRecord name_record(WORD ddmid, const std::u16string& name) {
  SettingValueRecord r;
  r.ddmid = ddmid;
  r.type = 6;
  r.size = static_cast<DWORD>(2 * name.size() + 2);
  r.text = name;
  return r;
}

OptionCondition condition_of(const DddCondition& d) {
  OptionCondition c;
  c.op = d.operand.op;
  c.ddmid = d.operand.ddmid;
  c.type = d.operand.value.type;
  c.connector = d.connector;
  const void* data = d.operand.value.data;
  if (data && d.operand.value.count > 0) {
    if (c.type == 6) {
      const std::u16string text(static_cast<const char16_t*>(data));
      c.value.resize(2 * text.size() + 2);
      std::memcpy(c.value.data(), text.c_str(), c.value.size());
    } else {
      const size_t n = std::max<size_t>(d.operand.value.element_size, 4);
      c.value.assign(n, 0);
      std::memcpy(c.value.data(), data, d.operand.value.element_size);
    }
  }
  return c;
}

}  // namespace

BOOL TrayColumnIds(WORD tray_key, TrayColumns* out) {
  WORD ids[kPaperSourceIds] = {};
  if (!out || !GetSourceSettingIds(tray_key, ids)) return FALSE;
  *out = {ids[0], ids[1], ids[2], ids[3], ids[4], ids[5]};
  return TRUE;
}

WORD MediaCustomNameId(WORD media_type) {
  return media_type >= 13 && media_type <= 17 ? static_cast<WORD>(6401 + media_type - 13) : kNoSettingId;
}

WORD SecondCustomNameId(WORD attribute) {
  return attribute >= 11 && attribute <= 15 ? static_cast<WORD>(6411 + attribute - 11) : kNoSettingId;
}

INT EvaluateConditionList(const std::vector<OptionCondition>& conditions,
                          const std::vector<SettingValueRecord>& options) {
  if (conditions.empty()) return 1;
  INT count = 0;
  size_t i = 0;
  while (i < conditions.size()) {
    const OptionCondition& c = conditions[i];
    const int r = evaluate_condition(c, options);
    if (r < 0) return -1;
    if (r > 0) {
      ++count;
      if (ends_group(c.connector)) return count;
      if (c.connector == 2) {
        // The rest of the OR run does not matter.
        size_t j = i + 1;
        while (j < conditions.size() && conditions[j].connector == 2) ++j;
        if (j >= conditions.size()) return count;
        if (ends_group(conditions[j].connector)) return count;
        i = j + 1;
        continue;
      }
      ++i;
      continue;
    }
    if (c.connector == 2) {
      ++i;
      continue;
    }
    // This AND run fails: go on after the end of the current group.
    count = 0;
    size_t j = i;
    while (j < conditions.size() && !ends_group(conditions[j].connector)) ++j;
    i = j < conditions.size() ? j + 1 : i + 1;
  }
  return count;
}

WORD ResolveDeviceTrayNumber(const std::vector<TrayMapRule>& rules, WORD tray_key,
                             const std::vector<SettingValueRecord>& options) {
  for (const TrayMapRule& rule : rules) {
    const INT r = EvaluateConditionList(rule.conditions, options);
    if (r < 0) return 0;
    if (r == 0) continue;
    for (const auto& [key, device_tray] : rule.map)
      if (key == tray_key) return device_tray;
  }
  return 0;
}

TrayPaperMatch MatchTrayPaper(const DeviceTrayEntry& tray, const std::vector<PaperSizeEntry>& papers,
                              const std::vector<UserPaperSlot>& slots, const TrayRule& rule) {
  if (tray.first < 0 || tray.second < 0) return {kPaperOutOfRange, 0, 0};
  const LONG short_side = std::min(tray.first, tray.second);
  const LONG long_side = std::max(tray.first, tray.second);
  TrayPaperMatch m{0, static_cast<WORD>(short_side / 100), static_cast<WORD>(long_side / 100)};
  WORD id = 0;
  int found = find_paper(papers, short_side, long_side, 0, rule, &id);
  if (found < 0) found = find_paper(papers, short_side, long_side, kSizeTolerance, rule, &id);
  if (found > 0) {
    m.paper = id;
    return m;
  }
  for (const UserPaperSlot& s : slots) {
    if (within(s.a * 100L, short_side, kSizeTolerance) && within(s.b * 100L, long_side, kSizeTolerance)) {
      m.paper = s.id;
      return m;
    }
  }
  const bool in_range = m.short_side >= rule.min_short && m.short_side <= rule.max_short &&
                        m.long_side >= rule.min_long && m.long_side <= rule.max_long;
  m.paper = in_range ? kPaperCustom : kPaperOutOfRange;
  return m;
}

WORD MatchMediaName(const std::u16string& tray_name, const std::vector<MediaNameEntry>& table, bool second,
                    std::u16string* custom_name) {
  const WORD unknown = second ? kSecondUnknown : kMediaUnknown;
  if (custom_name) custom_name->clear();
  for (const MediaNameEntry& e : table) {
    if (!e.custom) {
      if (tray_name == e.name) return e.id;
      continue;
    }
    if (tray_name.compare(0, e.name.size(), e.name) != 0) continue;
    if (tray_name.size() == e.name.size()) {
      // The bare name of a custom entry.
      if (second) return e.id;
      return unknown;
    }
    if (tray_name[e.name.size()] != u'(') continue;
    const size_t close = tray_name.rfind(u')');
    if (close == std::u16string::npos || close <= e.name.size()) return unknown;
    if (custom_name) *custom_name = tray_name.substr(e.name.size() + 1, close - e.name.size() - 1);
    return e.id;
  }
  return unknown;
}

void MapDeviceTrays(const std::vector<DeviceTrayEntry>& trays, const TrayTables& tables,
                    const std::vector<UserPaperSlot>& slots, bool second_names, std::vector<SettingValueRecord>* out) {
  if (!out) return;
  for (const DeviceTrayEntry& tray : trays) {
    const auto rule = std::find_if(tables.rules.begin(), tables.rules.end(),
                                   [&](const TrayRule& r) { return r.device_tray == tray.number; });
    TrayColumns columns{};
    if (rule == tables.rules.end() || !TrayColumnIds(rule->tray_key, &columns)) continue;
    const TrayPaperMatch paper = MatchTrayPaper(tray, tables.papers, slots, *rule);
    out->push_back(word_record(columns.paper, paper.paper));
    out->push_back(word_record(columns.short_side, paper.short_side));
    out->push_back(word_record(columns.long_side, paper.long_side));
    WORD orientation;
    if (tables.orientation_sign < 0)
      orientation = tray.first >= tray.second ? 2 : 1;
    else
      orientation = tray.first <= tray.second ? 2 : 1;
    out->push_back(word_record(columns.feed, orientation));
    std::u16string custom;
    const WORD media = MatchMediaName(tray.name, tables.media, false, &custom);
    out->push_back(word_record(columns.media, media));
    if (MediaCustomNameId(media) != kNoSettingId && !custom.empty())
      out->push_back(name_record(MediaCustomNameId(media), custom));
    if (second_names) {
      const WORD attribute = MatchMediaName(tray.name2, tables.second, true, &custom);
      out->push_back(word_record(columns.second, attribute));
      if (SecondCustomNameId(attribute) != kNoSettingId && !custom.empty())
        out->push_back(name_record(SecondCustomNameId(attribute), custom));
    }
  }
}

BOOL LoadTrayTables(DddHandle* database, bool second_names, const std::vector<SettingValueRecord>& options,
                    TrayTables* out) {
  if (!database || !out) return FALSE;
  TrayTables t;
  DddFile* main = &database->main;
  DddFile* linked = &database->linked;
  // Each record kind is read in database order; a kind without records or
  // with an unreadable record fails the whole table set.
  auto each = [&](WORD kind, auto&& take) {
    const WORD count = DddGetRecordCount(main, kind);
    if (count == 0) return false;
    for (WORD n = 1; n <= count; ++n) {
      DddValue* v = nullptr;
      if (DddLoadValue(DDD_LOAD_FULL, main, linked, kind, n, &v) != DDD_OK || !v) return false;
      take(v, n);
      DddFreeValue(&v, kind);
    }
    return true;
  };
  const bool papers = each(DDD_KIND_PAPER, [&](DddValue* v, WORD) {
    DddPair size{};
    DddGetPaperSize(v, &size);
    t.papers.push_back({v->id, std::min(size.first, size.second), std::max(size.first, size.second)});
  });
  auto names = [&](std::vector<MediaNameEntry>* table, WORD low, WORD high) {
    return [=](DddValue* v, WORD) {
      const WCHAR* text = v->kind == DDD_KIND_19 ? static_cast<DddKind19*>(v)->text : static_cast<DddKind25*>(v)->text1;
      table->push_back({v->id, text ? std::u16string(text) : std::u16string(), v->id >= low && v->id <= high});
    };
  };
  const bool media = each(DDD_KIND_19, names(&t.media, 13, 17));
  const bool second = !second_names || each(DDD_KIND_25, names(&t.second, 11, 15));
  std::vector<TrayMapRule> map_rules;
  const WORD map_count = DddGetRecordCount(main, DDD_KIND_CONDITIONAL_TRIPLES);
  for (WORD n = 1; n <= map_count; ++n) {
    DddValue* v = nullptr;
    // The rule search stops at a rule that cannot be loaded.
    if (DddLoadValue(DDD_LOAD_FULL, main, linked, DDD_KIND_CONDITIONAL_TRIPLES, n, &v) != DDD_OK || !v) break;
    const auto* r = static_cast<const DddConditionalTriples*>(v);
    TrayMapRule rule;
    for (WORD i = 0; i < r->conditions.count; ++i) rule.conditions.push_back(condition_of(r->conditions.items[i]));
    for (WORD i = 0; i < r->triples.count; ++i) rule.map.emplace_back(r->triples.items[i].first, r->triples.items[i].second);
    map_rules.push_back(std::move(rule));
    DddFreeValue(&v, DDD_KIND_CONDITIONAL_TRIPLES);
  }
  const bool trays = each(DDD_KIND_RANGE, [&](DddValue* v, WORD) {
    const auto* r = static_cast<const DddRange*>(v);
    TrayRule rule;
    rule.tray_key = v->id;
    rule.min_short = r->minimum.first;
    rule.min_long = r->minimum.second;
    rule.max_short = r->maximum.first;
    rule.max_long = r->maximum.second;
    for (WORD i = 0; i < r->ddmids.count; ++i) rule.papers.push_back(r->ddmids.items[i].value);
    rule.device_tray = ResolveDeviceTrayNumber(map_rules, rule.tray_key, options);
    t.rules.push_back(std::move(rule));
  });
  if (!papers || !media || !second || !trays) return FALSE;
  *out = std::move(t);
  return TRUE;
}
