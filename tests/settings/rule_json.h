// JSON pieces of test databases with items, choices and constraint rules.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace morva::test {

using nlohmann::json;

inline json word(long v) { return {{"type", 3}, {"value", v}}; }
inline json no_value() { return {{"type", 3}, {"hex", ""}}; }
inline json table_ref(int n) { return {{"type", 128}, {"table", n}}; }
inline json cond(int ddmid, int op, json value, int connector) {
  return {{"ddmid", ddmid}, {"op", op}, {"value", value}, {"connector", connector}};
}
inline json rule7(json conditions, int flags, json head = json{{"op", 0}, {"value", no_value()}},
                  json actions = json::array()) {
  return {{"kind", 7}, {"head", head}, {"flags", flags}, {"conditions", conditions}, {"actions", actions}};
}
inline json rule8(json head, int flags) { return {{"kind", 8}, {"head", head}, {"flags", flags}}; }
inline json item(int ddmid, json choices, json rules = json::array(), json rules_alt = json::array(),
                 int dimension = 0) {
  return {{"kind", 4},         {"id", ddmid},         {"name", "Item " + std::to_string(ddmid)},
          {"default", 1},      {"choices", choices},  {"rules", rules},
          {"rules_alt", rules_alt}, {"dimension", dimension}};
}
inline json choice(int id, long value, json rules = json::array(), json rules_alt = json::array(), int dimension = 0) {
  return {{"kind", 14},  {"id", id},           {"name", "Choice " + std::to_string(id)},
          {"value", word(value)}, {"rules", rules}, {"rules_alt", rules_alt},
          {"dimension", dimension}};
}
inline json table(int id, std::vector<long> values) {
  return {{"kind", 20}, {"id", id}, {"type", 3}, {"element_size", 2}, {"elements", values}};
}

}  // namespace morva::test
