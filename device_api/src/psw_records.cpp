// Conversions from decoded status-table rows into the public PSW records.
#include "device_api/psw_records.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "win/endian.h"

namespace devlink::psw {
namespace {

using Arcs = std::vector<std::uint32_t>;

// A family of type OIDs: the prefix followed by exactly one arc in one of the
// ranges gives that arc as the code.
struct ArcRange {
  std::uint32_t first;
  std::uint32_t last;
};
struct CodeFamily {
  std::string_view prefix;
  std::span<const ArcRange> ranges;
};

constexpr ArcRange kStorageRanges[] = {{1, 8}};
constexpr ArcRange kStandardDeviceRanges[] = {{1, 6}, {10, 21}};
constexpr ArcRange kPrivateDeviceRanges[] = {{101, 109}, {151, 154}, {201, 207}};
constexpr ArcRange kJobStateRanges[] = {{1, 12}};

constexpr CodeFamily kStorageTypes[] = {{"1.3.6.1.2.1.25.2.1", kStorageRanges}};
constexpr CodeFamily kDeviceTypes[] = {{"1.3.6.1.2.1.25.3.1", kStandardDeviceRanges},
                                       {"1.3.6.1.4.1.32473.1.8.52.2", kPrivateDeviceRanges}};
constexpr CodeFamily kJobStates[] = {{"1.3.6.1.4.1.32473.1.8.58.2", kJobStateRanges}};

constexpr std::string_view kJobTextTable = "1.3.6.1.4.1.32473.1.8.51.5.1.1.4";
constexpr std::string_view kCancelColumn = "1.3.6.1.4.1.32473.1.8.76.3.2.1.1";
constexpr std::uint32_t kCancelIndexArc = 101;
constexpr std::size_t kJobIdLength = 8;

struct CharsetTables {
  std::string_view walk_column;
  std::string_view value_column;
};
constexpr CharsetTables kCharsetTables[] = {
    {"1.3.6.1.2.1.43.5.1.1.2", "1.3.6.1.2.1.43.7.1.1.4"},
    {"1.3.6.1.4.1.32473.1.8.51.3.1.1.1", "1.3.6.1.4.1.32473.1.8.51.4.1.1.7"},
};

std::int32_t code_of(std::span<const CodeFamily> families, std::span<const std::uint32_t> oid) {
  for (const CodeFamily& f : families) {
    const auto prefix = parse_oid(f.prefix);
    if (!prefix || oid.size() != prefix->size() + 1) continue;
    if (!std::equal(prefix->begin(), prefix->end(), oid.begin())) continue;
    const std::uint32_t arc = oid.back();
    for (const ArcRange& r : f.ranges)
      if (arc >= r.first && arc <= r.last) return static_cast<std::int32_t>(arc);
  }
  return 0;
}

const Cell& at(const Row& row, std::size_t i) {
  static const Cell missing;
  return i < row.size() ? row[i] : missing;
}

template <std::size_t N>
void put_text(char (&field)[N], const Cell& c) {
  copy_text(field, N, c);
}

}  // namespace

Cell Cell::of_integer(std::int64_t v, std::vector<std::uint32_t> idx) {
  Cell c;
  c.kind = Kind::integer;
  c.integer = v;
  c.index = std::move(idx);
  return c;
}
Cell Cell::of_text(std::string_view s, std::vector<std::uint32_t> idx) {
  return of_octets(std::vector<std::uint8_t>(s.begin(), s.end()), std::move(idx));
}
Cell Cell::of_octets(std::vector<std::uint8_t> b, std::vector<std::uint32_t> idx) {
  Cell c;
  c.kind = Kind::octets;
  c.octets = std::move(b);
  c.index = std::move(idx);
  return c;
}
Cell Cell::of_oid(std::vector<std::uint32_t> arcs, std::vector<std::uint32_t> idx) {
  Cell c;
  c.kind = Kind::oid;
  c.oid = std::move(arcs);
  c.index = std::move(idx);
  return c;
}

std::optional<std::vector<std::uint32_t>> parse_oid(std::string_view text) {
  Arcs arcs;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t dot = std::min(text.find('.', pos), text.size());
    std::uint32_t v = 0;
    const char* b = text.data() + pos;
    const char* e = text.data() + dot;
    if (b == e) return std::nullopt;
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || p != e) return std::nullopt;
    arcs.push_back(v);
    pos = dot + 1;
  }
  if (arcs.empty()) return std::nullopt;
  return arcs;
}

std::string oid_text(std::span<const std::uint32_t> arcs) {
  std::string s;
  for (std::size_t i = 0; i < arcs.size(); ++i) {
    if (i) s += '.';
    s += std::to_string(arcs[i]);
  }
  return s;
}

std::int32_t storage_type_code(std::span<const std::uint32_t> oid) { return code_of(kStorageTypes, oid); }
std::int32_t device_type_code(std::span<const std::uint32_t> oid) { return code_of(kDeviceTypes, oid); }
std::int32_t job_state_code(std::span<const std::uint32_t> oid) { return code_of(kJobStates, oid); }

std::int32_t cell_int(const Cell& c) {
  return c.kind == Cell::Kind::integer ? static_cast<std::int32_t>(c.integer) : 0;
}
std::uint32_t cell_uint(const Cell& c) {
  return c.kind == Cell::Kind::integer ? static_cast<std::uint32_t>(c.integer) : 0;
}

void copy_text(char* field, std::size_t size, const Cell& c) {
  if (size == 0) return;
  std::memset(field, 0, size);
  std::string text;
  if (c.kind == Cell::Kind::octets)
    text.assign(c.octets.begin(), c.octets.end());
  else if (c.kind == Cell::Kind::oid)
    text = oid_text(c.oid);
  // Texts end at their first zero byte, as C text does.
  const std::size_t len = std::min({text.find('\0') == std::string::npos ? text.size() : text.find('\0'),
                                    size - 1});
  std::memcpy(field, text.data(), len);
}

PSWDateTime date_time(const Cell& c) {
  PSWDateTime t{};
  if (c.kind != Cell::Kind::octets) return t;
  std::array<std::uint8_t, 7> b{};
  std::copy_n(c.octets.begin(), std::min(c.octets.size(), b.size()), b.begin());
  t.year = static_cast<std::int16_t>(morva::load_be16(b.data()));
  t.month = b[2];
  t.day = b[3];
  t.hour = b[4];
  t.minutes = b[5];
  t.seconds = b[6];
  return t;
}

std::uint32_t error_state(const Cell& c) {
  std::array<std::uint8_t, 4> b{};
  if (c.kind == Cell::Kind::octets)
    std::copy_n(c.octets.begin(), std::min(c.octets.size(), b.size()), b.begin());
  return morva::load_le32(b.data());
}

PSWStorageInfo storage_row(const Row& row) {
  PSWStorageInfo r{};
  r.type = storage_type_code(at(row, 0).oid);
  r.allocation_units = cell_int(at(row, 1));
  r.size = cell_int(at(row, 2));
  put_text(r.description, at(row, 3));
  return r;
}

PSWDeviceInfo device_row(const Row& row) {
  PSWDeviceInfo r{};
  r.type = device_type_code(at(row, 0).oid);
  r.status = cell_int(at(row, 1));
  put_text(r.description, at(row, 2));
  return r;
}

PSWInputTrayInfo input_tray_row(const Row& row) {
  PSWInputTrayInfo r{};
  std::int32_t* numbers[] = {&r.type,           &r.dim_unit,         &r.feed_dir_declared, &r.xfeed_dir_declared,
                             &r.feed_dir_chosen, &r.xfeed_dir_chosen, &r.capacity_unit,     &r.max_capacity,
                             &r.current_level,   &r.status};
  std::size_t i = 0;
  for (std::int32_t* n : numbers) *n = cell_int(at(row, i++));
  put_text(r.media_name, at(row, i++));
  put_text(r.name, at(row, i++));
  put_text(r.description, at(row, i++));
  put_text(r.media_type, at(row, i++));
  put_text(r.media_color, at(row, i++));
  return r;
}

PSWOutputTrayInfo output_tray_row(const Row& row) {
  PSWOutputTrayInfo r{};
  r.type = cell_int(at(row, 0));
  r.status = cell_int(at(row, 1));
  put_text(r.name, at(row, 2));
  put_text(r.description, at(row, 3));
  return r;
}

std::optional<PSWTonerInfo> toner_row(const Row& row) {
  if (at(row, 0).kind != Cell::Kind::integer || cell_int(at(row, 0)) != kTonerSupplyType) return std::nullopt;
  PSWTonerInfo r{};
  r.supply_unit = cell_int(at(row, 1));
  r.max_capacity = cell_int(at(row, 2));
  r.level = cell_int(at(row, 3));
  put_text(r.description, at(row, 4));
  return r;
}

PSWAlertInfo alert_row(const Row& row) {
  PSWAlertInfo r{};
  r.severity_level = cell_int(at(row, 0));
  r.group = cell_int(at(row, 1));
  r.group_index = cell_int(at(row, 2));
  r.location = cell_int(at(row, 3));
  r.code = cell_int(at(row, 4));
  put_text(r.description, at(row, 5));
  return r;
}

PrinterStatus printer_status(std::span<const Row> rows) {
  PrinterStatus s;
  for (const Row& row : rows) {
    s.status = cell_int(at(row, 0));
    s.error_state = error_state(at(row, 1));
  }
  return s;
}

int merge_private_input_types(std::vector<PSWInputTrayInfoEx>& trays, bool private_walk_ok,
                              std::span<const Cell> private_column) {
  for (std::size_t i = 0; i < trays.size(); ++i) {
    const bool have = private_walk_ok && i < private_column.size();
    trays[i].private_type = have ? cell_int(private_column[i]) : -1;
  }
  return trays.empty() ? -1 : static_cast<int>(trays.size());
}

bool job_class_keeps(int job_class, std::int32_t j6_9) {
  switch (job_class) {
    case 0: return true;
    case 1: return j6_9 != kSecondJobClassMark;
    case 2: return j6_9 == kSecondJobClassMark;
    default: return false;
  }
}

std::optional<std::string> job_text_oid(const Cell& coded, std::int64_t charset) {
  // Every part becomes one arc, so none may be negative or wider than an arc.
  if (coded.index.empty() || coded.kind != Cell::Kind::integer) return std::nullopt;
  const std::int64_t parts[] = {coded.index.front(), coded.integer, charset};
  std::string s(kJobTextTable);
  for (std::int64_t p : parts) {
    if (p < 0 || p > 0xFFFFFFFF) return std::nullopt;
    s += '.' + std::to_string(p);
  }
  return s;
}

std::string_view charset_walk_column(int selector) {
  return selector == 1 ? kCharsetTables[1].walk_column : kCharsetTables[0].walk_column;
}

std::optional<std::string> charset_oid(int selector, const Cell& localization) {
  if (selector < 0 || selector > 1) return std::nullopt;
  if (localization.index.empty() || localization.kind != Cell::Kind::integer) return std::nullopt;
  if (localization.integer < 0 || localization.integer > 0xFFFFFFFF) return std::nullopt;
  return std::string(kCharsetTables[selector].value_column) + '.' + std::to_string(localization.index.front()) +
         '.' + std::to_string(localization.integer);
}

int job_id_from_index(std::span<const std::uint32_t> index, JobId& id) {
  id.clear();
  if (index.size() < 2) return -401;
  const auto bytes = index.subspan(2, std::min(kJobIdLength, index.size() - 2));
  for (std::uint32_t arc : bytes) {
    if (arc > 255) return -401;
    id.push_back(static_cast<std::uint8_t>(arc));
  }
  return 0;
}

int job_row(const Row& row, const std::string& text_j6_5, const std::string& text_j6_6,
            const std::string& text_j10_7, PSWJobInfo& out, JobId& id) {
  out = PSWJobInfo{};
  out.state = job_state_code(at(row, 0).oid);
  out.j6_9 = cell_int(at(row, 1));
  out.j6_10 = cell_int(at(row, 2));
  out.j16_5 = cell_uint(at(row, 3));
  out.j16_6 = cell_uint(at(row, 4));
  put_text(out.text_j6_5, Cell::of_text(text_j6_5));
  put_text(out.text_j6_6, Cell::of_text(text_j6_6));
  put_text(out.text_j10_7, Cell::of_text(text_j10_7));
  if (int rc = job_id_from_index(at(row, 7).index, id); rc != 0) return rc;
  put_text(out.job_id, Cell::of_octets(id));
  put_text(out.j6_3, at(row, 8));
  out.time_j10_10 = date_time(at(row, 9));
  out.time_j16_4 = date_time(at(row, 10));
  out.time_j16_7 = date_time(at(row, 11));
  return 0;
}

std::optional<JobId> cancel_identifier(std::string_view text, std::span<const JobId> kept_ids) {
  std::optional<JobId> cut_match;
  for (const JobId& id : kept_ids) {
    const auto zero = std::find(id.begin(), id.end(), std::uint8_t{0});
    if (zero == id.end()) continue;
    if (!std::equal(id.begin(), zero, text.begin(), text.end())) continue;
    if (cut_match && *cut_match != id) return std::nullopt;
    cut_match = id;
  }
  if (cut_match) return cut_match;
  return JobId(text.begin(), text.end());
}

std::string cancel_oid(std::span<const std::uint8_t> id) {
  std::string s(kCancelColumn);
  s += '.' + std::to_string(kCancelIndexArc) + '.' + std::to_string(id.size());
  for (std::uint8_t b : id) s += '.' + std::to_string(b);
  return s;
}

}  // namespace devlink::psw
