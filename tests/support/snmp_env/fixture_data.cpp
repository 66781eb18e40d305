#include "fixture_data.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace morva::test {
namespace {

constexpr std::array<std::string_view, 11> kTypes = {"integer", "unsigned", "gauge",    "counter",
                                                     "counter64", "timeticks", "ipaddress", "objectid",
                                                     "string",   "octet",     "opaque"};

// The SNMP type a pass word stands for; types with one SNMP type compare equal.
std::string_view kind_of(std::string_view type) {
  if (type == "unsigned") return "gauge";
  if (type == "string") return "octet";
  return type;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool is_number(std::string_view s, bool allow_sign) {
  if (allow_sign && !s.empty() && s.front() == '-') s.remove_prefix(1);
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool is_hex_octets(std::string_view s) {
  std::istringstream in{std::string(s)};
  std::string tok;
  while (in >> tok)
    if (tok.size() > 2 || !std::all_of(tok.begin(), tok.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
      return false;
  return true;
}

bool value_fits(std::string_view type, std::string_view value) {
  if (type == "integer") return is_number(value, true);
  if (type == "unsigned" || type == "gauge" || type == "counter" || type == "counter64" || type == "timeticks")
    return is_number(value, false);
  if (type == "objectid") return wire::parse_oid(value).has_value();
  if (type == "ipaddress") {
    auto o = wire::parse_oid(value);
    return o && o->size() == 4 && std::all_of(o->begin(), o->end(), [](auto a) { return a < 256; });
  }
  if (type == "octet" || type == "opaque") return is_hex_octets(value);
  return true;  // string: any single line
}

bool oid_at_or_under(const wire::Oid& o, const wire::Oid& prefix) {
  return o.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), o.begin());
}

}  // namespace

void FixtureData::put(FixtureEntry e) {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), e.oid,
                             [](const FixtureEntry& a, const wire::Oid& b) { return a.oid < b; });
  if (it != entries_.end() && it->oid == e.oid)
    *it = std::move(e);
  else
    entries_.insert(it, std::move(e));
}

FixtureData FixtureData::parse(std::string_view text) {
  FixtureData d;
  std::map<wire::Oid, FixtureEntry> objects;  // sorted by OID; a later line replaces an earlier one
  std::size_t line_no = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view t = trim(line);
    if (t.empty() || t.front() == '#') continue;
    auto fail = [&](const std::string& why) {
      throw std::runtime_error("fixture line " + std::to_string(line_no) + ": " + why + ": " + std::string(t));
    };
    std::size_t sp1 = t.find_first_of(" \t");
    std::string_view first = t.substr(0, sp1);
    std::string_view rest = sp1 == std::string_view::npos ? std::string_view{} : t.substr(sp1 + 1);
    if (first == "@set" || first == "@delete") {
      std::string_view r = trim(rest);
      std::size_t sp = r.find_first_of(" \t");
      auto prefix = wire::parse_oid(r.substr(0, sp));
      if (!prefix) fail("bad OID");
      if (first == "@set") {
        std::string result(trim(sp == std::string_view::npos ? std::string_view{} : r.substr(sp + 1)));
        if (result.empty()) fail("@set needs a result");
        d.rules_.push_back({*prefix, result});
      } else {
        std::erase_if(objects, [&](const auto& kv) { return oid_at_or_under(kv.first, *prefix); });
      }
      continue;
    }
    auto oid = wire::parse_oid(first);
    if (!oid) fail("bad OID");
    // The value is the rest of the line after exactly one separator, so
    // strings keep their inner and trailing spaces.
    std::size_t sp2 = rest.find_first_of(" \t");
    std::string_view type = rest.substr(0, sp2);
    std::string_view value = sp2 == std::string_view::npos ? std::string_view{} : rest.substr(sp2 + 1);
    if (std::find(kTypes.begin(), kTypes.end(), type) == kTypes.end()) fail("unknown type");
    if (type != "string") value = trim(value);
    if (!value_fits(type, value)) fail("value does not fit its type");
    objects[*oid] = FixtureEntry{*oid, std::string(type), std::string(value)};
  }
  d.entries_.reserve(objects.size());
  for (auto& kv : objects) d.entries_.push_back(std::move(kv.second));
  return d;
}

FixtureData FixtureData::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open fixture " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return parse(s.str());
}

const FixtureEntry* FixtureData::get(const wire::Oid& oid) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), oid,
                             [](const FixtureEntry& a, const wire::Oid& b) { return a.oid < b; });
  return it != entries_.end() && it->oid == oid ? &*it : nullptr;
}

const FixtureEntry* FixtureData::next(const wire::Oid& oid, const wire::Oid& root) const {
  auto it = std::upper_bound(entries_.begin(), entries_.end(), oid,
                             [](const wire::Oid& a, const FixtureEntry& b) { return a < b.oid; });
  return it != entries_.end() && oid_at_or_under(it->oid, root) ? &*it : nullptr;
}

std::string FixtureData::set(const wire::Oid& oid, std::string_view set_line, FixtureEntry* applied) {
  std::string result = "not-writable";
  for (const auto& r : rules_)
    if (oid_at_or_under(oid, r.prefix)) result = r.result;
  if (result != "ok") return result;

  set_line = trim(set_line);
  std::size_t sp = set_line.find(' ');
  std::string type(set_line.substr(0, sp));
  std::string_view value = sp == std::string_view::npos ? std::string_view{} : set_line.substr(sp + 1);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  if (type != "string") value = trim(value);
  if (std::find(kTypes.begin(), kTypes.end(), type) == kTypes.end() || !value_fits(type, value)) return "wrong-type";
  const FixtureEntry* old = get(oid);
  if (old && kind_of(old->type) != kind_of(type)) return "wrong-type";
  FixtureEntry e{oid, old ? old->type : type, std::string(value)};
  if (old && kind_of(old->type) == "octet") e.type = type;  // string or octet as sent
  if (applied) *applied = e;
  put(std::move(e));
  return "DONE";
}

std::string fixture_line(const FixtureEntry& e) {
  return wire::oid_text(e.oid) + " " + e.type + " " + e.value;
}

std::string big_table_fixture(int rows, const std::string& table_oid) {
  std::string out;
  out.reserve(static_cast<std::size_t>(rows) * 3 * 48);
  for (int col = 1; col <= 3; ++col)
    for (int row = 1; row <= rows; ++row) {
      out += table_oid + "." + std::to_string(col) + "." + std::to_string(row);
      if (col == 1)
        out += " integer " + std::to_string(row);
      else if (col == 2)
        out += " string row " + std::to_string(row);
      else
        out += " integer " + std::to_string(row * 7 % 1000);
      out += '\n';
    }
  return out;
}

}  // namespace morva::test
