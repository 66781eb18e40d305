// The device information reader turns whatever an agent answers into its
// public records. This target decodes the input into table cells, as a
// hostile agent could answer them (any kind, any length, any index), and
// runs every conversion of the records over them: each row kind, the
// printer status, the private tray types, job rows, job ids and the
// cancel and character-set OIDs.
//
// Input: one byte of job class and charset selector, then cells of a kind
// byte (low two bits: missing, integer, octets, OID; the next bits: the
// number of index arcs) followed by the value (8 bytes of integer, a
// length byte and octets, or a count byte and 16-bit arcs) and the arcs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device_api/psw_records.h"

namespace {

using devlink::psw::Cell;
using devlink::psw::Row;

struct Reader {
  const std::uint8_t* p;
  const std::uint8_t* end;
  bool more() const { return p < end; }
  std::uint8_t byte() { return p < end ? *p++ : 0; }
  std::uint32_t arc() {
    const std::uint32_t lo = byte();
    return lo | static_cast<std::uint32_t>(byte()) << 8;
  }
  std::vector<std::uint32_t> arcs(std::size_t n) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < n && more(); ++i) out.push_back(arc());
    return out;
  }
};

Cell cell(Reader& r) {
  const std::uint8_t kind = r.byte();
  Cell c;
  switch (kind & 3) {
    case 1: {
      std::uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(r.byte()) << (8 * i);
      c = Cell::of_integer(static_cast<std::int64_t>(v));
      break;
    }
    case 2: {
      const std::size_t stated = r.byte();
      const std::size_t n = std::min<std::size_t>(stated, r.end - r.p);
      c = Cell::of_octets(std::vector<std::uint8_t>(r.p, r.p + n));
      r.p += n;
      break;
    }
    case 3: c = Cell::of_oid(r.arcs(r.byte() % 24)); break;
    default: break;
  }
  c.index = r.arcs(kind >> 2);
  return c;
}

Row row(const std::vector<Cell>& cells, std::size_t from, std::size_t n) {
  Row out;
  for (std::size_t i = 0; i < n; ++i) out.push_back(from + i < cells.size() ? cells[from + i] : Cell{});
  return out;
}

std::string text_of(const Cell& c) { return std::string(c.octets.begin(), c.octets.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 8192) return 0;
  namespace psw = devlink::psw;
  Reader r{data + 1, data + size};
  const int job_class = data[0] & 0x1F;
  const int selector = data[0] >> 5;
  std::vector<Cell> cells;
  while (r.more() && cells.size() < 200) cells.push_back(cell(r));

  // Every row kind at every start, so each column sees every cell.
  const std::size_t starts = std::max<std::size_t>(cells.size(), 1);
  std::vector<Row> rows;
  for (std::size_t at = 0; at < starts; at += 3) {
    psw::storage_row(row(cells, at, psw::kStorageColumns));
    psw::device_row(row(cells, at, psw::kDeviceColumns));
    psw::input_tray_row(row(cells, at, psw::kInputTrayColumns));
    psw::output_tray_row(row(cells, at, psw::kOutputTrayColumns));
    psw::toner_row(row(cells, at, psw::kSupplyColumns));
    psw::alert_row(row(cells, at, psw::kAlertColumns));
    rows.push_back(row(cells, at, 2));
    const Row job = row(cells, at, psw::kJobColumns);
    PSWJobInfo info{};
    psw::JobId id;
    const std::string t1 = text_of(job[0]), t2 = text_of(job[1]), t3 = text_of(job[2]);
    psw::job_row(job, t1, t2, t3, info, id);
  }
  psw::printer_status(rows);

  std::vector<PSWInputTrayInfoEx> trays;
  std::vector<psw::JobId> ids;
  for (const Cell& c : cells) {
    psw::cell_int(c);
    psw::cell_uint(c);
    psw::date_time(c);
    psw::error_state(c);
    char field[16];
    psw::copy_text(field, sizeof field, c);
    psw::storage_type_code(c.oid);
    psw::device_type_code(c.oid);
    psw::job_state_code(c.oid);
    psw::oid_text(c.oid);
    psw::parse_oid(text_of(c));
    psw::job_text_oid(c, c.integer);
    psw::charset_oid(selector, c);
    psw::job_class_keeps(job_class, static_cast<std::int32_t>(c.integer));
    psw::JobId id;
    if (psw::job_id_from_index(c.index, id) == 0) {
      psw::cancel_oid(id);
      ids.push_back(id);
    }
    psw::cancel_identifier(text_of(c), ids);
    PSWInputTrayInfoEx tray{};
    tray.private_type = -1;
    trays.push_back(tray);
  }
  psw::merge_private_input_types(trays, (data[0] & 1) != 0, cells);
  psw::charset_walk_column(selector);
  return 0;
}
