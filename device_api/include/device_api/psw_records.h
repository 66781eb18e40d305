// Public status records of the device information reader and the pure
// conversions that turn decoded table rows into them. The records cross the
// exported boundary: little-endian 32-bit integers, texts zero-terminated and
// zero-padded, sizes and offsets fixed.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device_api/psw_types.h"

static_assert(std::endian::native == std::endian::little,
              "the public records are laid out for a little-endian host");

// The records themselves are in the C header psw_types.h.

namespace devlink::psw {

// One decoded cell of a walked row: what the request layer answered for one
// column. `index` holds the arcs after the column OID.
struct Cell {
  enum class Kind { missing, integer, octets, oid };
  Kind kind = Kind::missing;
  std::int64_t integer = 0;
  std::vector<std::uint8_t> octets;
  std::vector<std::uint32_t> oid;
  std::vector<std::uint32_t> index;

  static Cell of_integer(std::int64_t v, std::vector<std::uint32_t> idx = {});
  static Cell of_text(std::string_view s, std::vector<std::uint32_t> idx = {});
  static Cell of_octets(std::vector<std::uint8_t> b, std::vector<std::uint32_t> idx = {});
  static Cell of_oid(std::vector<std::uint32_t> arcs, std::vector<std::uint32_t> idx = {});
};
using Row = std::vector<Cell>;

// OID text "1.3.6" <-> arcs; parse answers nullopt on malformed text.
std::optional<std::vector<std::uint32_t>> parse_oid(std::string_view text);
std::string oid_text(std::span<const std::uint32_t> arcs);

// Code tables.
std::int32_t storage_type_code(std::span<const std::uint32_t> oid);
std::int32_t device_type_code(std::span<const std::uint32_t> oid);
std::int32_t job_state_code(std::span<const std::uint32_t> oid);

// Value conversions.
std::int32_t cell_int(const Cell& c);
std::uint32_t cell_uint(const Cell& c);
// Copies text into a fixed field, cut to size - 1, zero-padded.
void copy_text(char* field, std::size_t size, const Cell& c);
PSWDateTime date_time(const Cell& c);
// First four octets as a little-endian integer; missing octets read 0.
std::uint32_t error_state(const Cell& c);

// Rows in the column order the reader walks them.
inline constexpr std::size_t kStorageColumns = 4;
inline constexpr std::size_t kDeviceColumns = 3;
inline constexpr std::size_t kInputTrayColumns = 15;
inline constexpr std::size_t kOutputTrayColumns = 4;
inline constexpr std::size_t kSupplyColumns = 5;
inline constexpr std::size_t kAlertColumns = 6;
inline constexpr std::size_t kJobColumns = 12;
inline constexpr std::int32_t kTonerSupplyType = 3;
inline constexpr std::int32_t kSecondJobClassMark = 17;

PSWStorageInfo storage_row(const Row& row);
PSWDeviceInfo device_row(const Row& row);
PSWInputTrayInfo input_tray_row(const Row& row);
PSWOutputTrayInfo output_tray_row(const Row& row);
// nullopt for supplies other than toner.
std::optional<PSWTonerInfo> toner_row(const Row& row);
PSWAlertInfo alert_row(const Row& row);

struct PrinterStatus {
  std::int32_t status = 0;
  std::uint32_t error_state = 0;
};
// hrPrinterStatus, hrPrinterDetectedErrorState rows; the last row wins.
PrinterStatus printer_status(std::span<const Row> rows);

// Puts the private input types on the trays, in order; records beyond the
// private rows, or all of them when the private walk failed, get -1.
// Answers the tray count, or -1 when there is no tray.
int merge_private_input_types(std::vector<PSWInputTrayInfoEx>& trays, bool private_walk_ok,
                              std::span<const Cell> private_column);

// Job classes: 0 every job, 1 jobs whose J6.9 is not 17, 2 those whose J6.9 is 17.
bool job_class_keeps(int job_class, std::int32_t j6_9);

// OID whose GET gives the text of a job's coded column (J6.5, J6.6, J10.7):
// the text table, then the cell's first index arc, its value and the
// private character set.
std::optional<std::string> job_text_oid(const Cell& coded, std::int64_t charset);

// OID read for a character set: selector 0 standard, 1 private; `localization`
// is the row's first index arc and value.
std::optional<std::string> charset_oid(int selector, const Cell& localization);
// The column walked before the character-set GETs.
std::string_view charset_walk_column(int selector);

// The job's 8 identifier bytes from the J10.7 index (arcs after the column,
// less the first two); -401 when they are no valid index.
using JobId = std::vector<std::uint8_t>;
int job_id_from_index(std::span<const std::uint32_t> index, JobId& id);

// Builds one job record; the three looked-up texts come in order J6.5, J6.6,
// J10.7. Answers 0 or the identifier's error.
int job_row(const Row& row, const std::string& text_j6_5, const std::string& text_j6_6,
            const std::string& text_j10_7, PSWJobInfo& out, JobId& id);

// The bytes a cancel addresses. Text identifiers are taken as given, except
// when they are the text form of a kept job identifier that a zero byte cut:
// then the job's full identifier is used, and a text that stands for more
// than one such job is refused (nullopt) rather than cancel another job.
std::optional<JobId> cancel_identifier(std::string_view text, std::span<const JobId> kept_ids);

// The OID set to cancel a job: the cancel column, 101, length, bytes.
std::string cancel_oid(std::span<const std::uint8_t> id);
inline constexpr std::int32_t kCancelJobValue = 1414;

}  // namespace devlink::psw
