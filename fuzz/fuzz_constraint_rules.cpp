// Evaluates mutated constraint rules against a small database and a
// settings pair. Input: one selector byte (bit 0: the rule is of kind 8;
// bits 1-2: the check mode), then the stored body of the rule after its
// record id. The database around it has items with choices, a value table,
// trays, papers and dimension records, so every kind of condition, post-
// check and action can find what it looks for.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ddd_builder.h"
#include "ddm/ddmid.h"
#include "fuzz_machine_root.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "settings/items/item_access.h"
#include "win/memory.h"

namespace {

using nlohmann::json;
using namespace morva::ddm;

std::string hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

json word(long v) { return {{"type", 3}, {"value", v}}; }

json description(bool alt, std::string_view body) {
  json rule = {{"kind", alt ? 8 : 7}, {"body_hex", hex(body)}};
  json other = {{"kind", alt ? 7 : 8}, {"head", {{"ddmid", 333}, {"op", 1}, {"value", word(1)}}}, {"flags", 3}};
  json records = json::array({
      rule,
      other,
      {{"kind", 4}, {"id", 333}, {"name", "Item"}, {"default", 1}, {"choices", {1, 2}}, {"rules", {1}},
       {"rules_alt", {1}}, {"dimension", 5}},
      {{"kind", 14}, {"id", 1}, {"name", "One"}, {"value", word(1)}, {"rules", {1}}, {"rules_alt", {1}},
       {"dimension", 5}},
      {{"kind", 14}, {"id", 2}, {"name", "Two"}, {"value", word(2)}},
      {{"kind", 4}, {"id", 271}, {"name", "Other"}, {"default", 1}, {"choices", {1, 2}}, {"rules", {1}}},
      {{"kind", 20}, {"id", 1}, {"type", 3}, {"element_size", 2}, {"elements", {1, 2, 3}}},
      {{"kind", 5}, {"id", 4}, {"name", "Tray"}, {"dimension", 5}, {"ddmids", {262}}},
      {{"kind", 6}, {"id", 1}, {"name", "Finisher"}, {"dimension", 6}, {"ddmids", {262}}},
      {{"kind", 10}, {"id", 9}, {"name", "A4"}, {"size", 6}, {"area", 6}, {"margin", 6}},
      {{"kind", 10}, {"id", 262}, {"name", "User"}, {"size", 5}, {"area", 5}, {"margin", 5}},
      {{"kind", 17}, {"id", 5}, {"first", {1000, 1000}}, {"second", {3000, 4000}}},
      {{"kind", 17}, {"id", 6}, {"first", {2100, 2970}}, {"second", {2100, 2970}}},
  });
  return {{"main",
           {{"file", "R.DDD"}, {"title", "rules"}, {"version", "R:1.0.0"}, {"level", 0x2000}, {"model", "M"},
            {"records", records}}}};
}

void set(void* dm, void* pd, WORD ddmid, DWORD value) {
  const DdmidDescriptor* d = dma_Descriptor(ddmid);
  if (d) SetItemValueRaw(ddmid, dm, pd, d->type, dma_TypeSize(d->type), &value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = (morva::fuzz::machine_root(), true);
  (void)ready;
  if (size < 1) return 0;
  const bool alt = data[0] & 1;
  const WORD mode = (data[0] >> 1) & 3;
  std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
  morva::ddd_build::Images images;
  try {
    images = morva::ddd_build::build_images(description(alt, body));
  } catch (const morva::ddd_build::BuildError&) {
    return 0;
  }
  for (const auto& [name, bytes] : images)
    if (!morva::fuzz::write_drive_c_file("r/" + name, bytes)) std::abort();
  DddStatus status = 0;
  DddHandle* h = DddOpenPath(u"C:\\r\\R.DDD", &status);
  if (!h) return 0;

  std::vector<BYTE> dm(kPrivateDevmodeSize), pd(kPrinterDataSize);
  set(dm.data(), pd.data(), 262, 262);
  set(dm.data(), pd.data(), 5889, 1500);
  set(dm.data(), pd.data(), 5909, 4500);
  set(dm.data(), pd.data(), 265, 4);
  set(dm.data(), pd.data(), 271, 1);
  set(dm.data(), pd.data(), 333, 1);
  const HANDLE printer = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(1));

  const WORD values[] = {1, 2, 3};
  for (const WORD& v : values) {
    ConflictReport* report = NewConflictReport();
    WORD* out = nullptr;
    CheckSettingChange(mode, printer, h, dm.data(), pd.data(), nullptr, 333, kTypeWord, &v, report, &out, 0);
    if (out) GlobalFree(out);
    CheckSettingChange(mode, printer, h, dm.data(), pd.data(), nullptr, 333, kTypeWord, nullptr, report, &out, 1);
    if (out) GlobalFree(out);
    FreeConflictReport(report);
  }

  // The rule's own parts, one at a time, and its actions.
  DddValue* loaded = nullptr;
  if (DddLoadValue(DDD_LOAD_FULL, &h->main, &h->linked, alt ? DDD_KIND_RULE_ALT : DDD_KIND_RULE, 1, &loaded) ==
          DDD_OK &&
      loaded) {
    const auto* rule = static_cast<const DddRule*>(loaded);
    const SettingsTarget target{h, dm.data(), pd.data()};
    const WORD one = 1;
    const SettingChange change{333, kTypeWord, &one};
    for (WORD i = 0; i < rule->conditions.count; ++i) {
      WORD flags = 0;
      EvaluateRuleCondition(&target, &change, &rule->conditions.items[i], nullptr, &flags);
      CheckPaperRangeRule(printer, &target, &rule->conditions.items[i]);
    }
    WORD flags = 0;
    CheckSourceSizePostCondition(mode, &target, rule, &change, &flags);
    CheckPaperLimitsPostCondition(mode, &target, rule, &change, &flags);
    ApplyRuleActionList(&target, rule, nullptr);
    DddFreeValue(&loaded, 0xFFFF);
  }
  DddClose(h);
  return 0;
}
