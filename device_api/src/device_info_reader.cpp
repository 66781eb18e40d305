#include "device_api/device_info_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "device_api/request_objects.h"
#include "device_api/text_field.h"
#include "snmp/asn_value.h"
#include "snmp/log.h"

namespace psw = devlink::psw;

namespace {

constexpr const char* kLog = "PSW";
constexpr long kOutOfRange = -11;

void log_error(const char* text) { pmc_log_printf(kLog, kPmcLogError, "%s", text); }

const char* const kStorageColumns[] = {"1.3.6.1.2.1.25.2.3.1.2", "1.3.6.1.2.1.25.2.3.1.4", "1.3.6.1.2.1.25.2.3.1.5",
                                       "1.3.6.1.2.1.25.2.3.1.3"};
const char* const kDeviceColumns[] = {"1.3.6.1.2.1.25.3.2.1.2", "1.3.6.1.2.1.25.3.2.1.5", "1.3.6.1.2.1.25.3.2.1.3"};
const char* const kPrinterColumns[] = {"1.3.6.1.2.1.25.3.5.1.1", "1.3.6.1.2.1.25.3.5.1.2"};
const char* const kInputTrayColumns[] = {
    "1.3.6.1.2.1.43.8.2.1.2",  "1.3.6.1.2.1.43.8.2.1.3",  "1.3.6.1.2.1.43.8.2.1.4",  "1.3.6.1.2.1.43.8.2.1.5",
    "1.3.6.1.2.1.43.8.2.1.6",  "1.3.6.1.2.1.43.8.2.1.7",  "1.3.6.1.2.1.43.8.2.1.8",  "1.3.6.1.2.1.43.8.2.1.9",
    "1.3.6.1.2.1.43.8.2.1.10", "1.3.6.1.2.1.43.8.2.1.11", "1.3.6.1.2.1.43.8.2.1.12", "1.3.6.1.2.1.43.8.2.1.13",
    "1.3.6.1.2.1.43.8.2.1.18", "1.3.6.1.2.1.43.8.2.1.21", "1.3.6.1.2.1.43.8.2.1.22"};
const char* const kPrivateInputTypeColumn[] = {"1.3.6.1.4.1.32473.2.2.9999.43.8.2.1.2"};
const char* const kOutputTrayColumns[] = {"1.3.6.1.2.1.43.9.2.1.2", "1.3.6.1.2.1.43.9.2.1.6", "1.3.6.1.2.1.43.9.2.1.7",
                                          "1.3.6.1.2.1.43.9.2.1.12"};
const char* const kSupplyColumns[] = {"1.3.6.1.2.1.43.11.1.1.5", "1.3.6.1.2.1.43.11.1.1.7", "1.3.6.1.2.1.43.11.1.1.8",
                                      "1.3.6.1.2.1.43.11.1.1.9", "1.3.6.1.2.1.43.11.1.1.6"};
const char* const kAlertColumns[] = {"1.3.6.1.2.1.43.18.1.1.2", "1.3.6.1.2.1.43.18.1.1.4", "1.3.6.1.2.1.43.18.1.1.5",
                                     "1.3.6.1.2.1.43.18.1.1.6", "1.3.6.1.2.1.43.18.1.1.7", "1.3.6.1.2.1.43.18.1.1.8"};
const char* const kJobColumns[] = {
    "1.3.6.1.4.1.32473.1.8.59.6.1.1.4",  "1.3.6.1.4.1.32473.1.8.59.6.1.1.9",  "1.3.6.1.4.1.32473.1.8.59.6.1.1.10",
    "1.3.6.1.4.1.32473.1.8.59.16.1.1.5", "1.3.6.1.4.1.32473.1.8.59.16.1.1.6", "1.3.6.1.4.1.32473.1.8.59.6.1.1.5",
    "1.3.6.1.4.1.32473.1.8.59.6.1.1.6",  "1.3.6.1.4.1.32473.1.8.59.10.1.1.7", "1.3.6.1.4.1.32473.1.8.59.6.1.1.3",
    "1.3.6.1.4.1.32473.1.8.59.10.1.1.10", "1.3.6.1.4.1.32473.1.8.59.16.1.1.4", "1.3.6.1.4.1.32473.1.8.59.16.1.1.7"};
constexpr std::size_t kJobCodedColumns[] = {5, 6, 7};  // J6.5, J6.6, J10.7
constexpr const char* kCancelColumn = "1.3.6.1.4.1.32473.1.8.76.3.2.1.1";

static_assert(std::size(kStorageColumns) == psw::kStorageColumns);
static_assert(std::size(kDeviceColumns) == psw::kDeviceColumns);
static_assert(std::size(kInputTrayColumns) == psw::kInputTrayColumns);
static_assert(std::size(kOutputTrayColumns) == psw::kOutputTrayColumns);
static_assert(std::size(kSupplyColumns) == psw::kSupplyColumns);
static_assert(std::size(kAlertColumns) == psw::kAlertColumns);
static_assert(std::size(kJobColumns) == psw::kJobColumns);

// One answer binding as a decoded cell; its index is the OID's arcs after
// the column it was asked for.
psw::Cell to_cell(const IPmsVarBind* b, const char* column) {
  psw::Cell c;
  if (!b) return c;
  if (const IPmsObjectId* oid = b->get_oid()) {
    const auto col = psw::parse_oid(column);
    const auto arcs = oid->arcs();
    if (col && arcs.size() > col->size() && std::equal(col->begin(), col->end(), arcs.begin()))
      c.index.assign(arcs.begin() + static_cast<std::ptrdiff_t>(col->size()), arcs.end());
  }
  const IPmsAsnValue* v = b->get_value();
  if (!v) return c;
  int err = 0;
  switch (v->get_tag()) {
    case kPmsInteger:
      c.integer = v->get_int(&err);
      c.kind = psw::Cell::Kind::integer;
      break;
    case kPmsCounter32:
    case kPmsGauge32:
    case kPmsTimeTicks:
      c.integer = v->get_uint(&err);
      c.kind = psw::Cell::Kind::integer;
      break;
    case kPmsOctetString:
    case kPmsOpaque: {
      std::uint32_t n = 0;
      const std::uint8_t* p = v->get_bytes(&n, &err);
      if (p && !err) c.octets.assign(p, p + n);
      c.kind = psw::Cell::Kind::octets;
      break;
    }
    case kPmsObjectId:
      if (const IPmsObjectId* o = v->as_object_id()) {
        const auto arcs = o->arcs();
        c.oid.assign(arcs.begin(), arcs.end());
        c.kind = psw::Cell::Kind::oid;
      }
      break;
    default:
      break;
  }
  if (err) c.kind = psw::Cell::Kind::missing;
  return c;
}

template <class R>
long copy_row(const std::vector<R>& rows, long index, R* out) {
  if (!out) return pms::kBadArgument;
  if (static_cast<unsigned long>(index) >= rows.size()) return kOutOfRange;
  *out = rows[static_cast<std::size_t>(index)];
  return 0;
}

}  // namespace

CPSWDeviceInfoReader::CPSWDeviceInfoReader() { psw_copy_text(write_community_, "private"); }

CPSWDeviceInfoReader::~CPSWDeviceInfoReader() = default;

namespace {

// The answer says the agent has no such object: error status noSuchName, or
// an exception value in place of the value.
bool object_missing(const IPmsPdu* answer) {
  if (!answer) return false;
  constexpr std::int32_t kNoSuchName = 2;
  if (answer->get_error_status() == kNoSuchName) return true;
  if (answer->get_error_status() != 0) return false;
  const IPmsVarBindList* list = answer->get_var_bind_list();
  const IPmsVarBind* first = list && list->count() ? list->get_at(0) : nullptr;
  const IPmsAsnValue* v = first ? first->get_value() : nullptr;
  if (!v) return false;
  const std::int32_t tag = v->get_tag();
  return tag == kPmsNoSuchObject || tag == kPmsNoSuchInstance || tag == kPmsEndOfMibView;
}

}  // namespace

long CPSWDeviceInfoReader::Init(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm,
                                unsigned long timeout, unsigned long retries, unsigned long max_message_size) {
  return psw_take_target(*this, protocol, address, usm, timeout, retries, max_message_size);
}

void CPSWDeviceInfoReader::SetReadCommunity(const char* community) {
  psw_copy_text(read_community_, community);
  use_read_community_ = true;
}

void CPSWDeviceInfoReader::SetWriteCommunity(const char* community) { psw_copy_text(write_community_, community); }

long CPSWDeviceInfoReader::open_request(IPmcGetData** out, const char* community) const {
  int err = 0;
  PmsOwn<IPmcGetData> request = pmc_create_get_data(&err);
  if (!request) {
    log_error("pmc_create_get_data()");
    return err ? err : pms::kNoMemory;
  }
  if (community) request->set_community(community);
  int r = request->init(address_, protocol_, port_, v3_version_, v3_security_name_, v3_security_level_,
                        v3_auth_protocol_, v3_priv_protocol_, v3_auth_passphrase_, v3_priv_passphrase_,
                        v3_context_name_, timeout_, retries_, max_message_size_);
  if (r) {
    log_error("pGetData->init()");
    return r;
  }
  *out = request.release();
  return 0;
}

// Walks the columns; rows answered before a failure are handed back too.
long CPSWDeviceInfoReader::walk(const char* const* columns, std::size_t n, std::vector<psw::Row>& rows) const {
  rows.clear();
  IPmcGetData* raw = nullptr;
  if (long r = open_request(&raw, use_read_community_ ? read_community_ : nullptr)) return r;
  PmsOwn<IPmcGetData> request(raw);
  for (std::size_t i = 0; i < n; ++i) {
    if (int r = request->add_oid_string(columns[i], false)) {
      log_error("pGetData->add_oid_string()");
      return r;
    }
  }
  int err = 0;
  PmsOwn<IPmsRowList> list = pms_create_row_list(&err);
  if (!list) return err ? err : pms::kNoMemory;
  const int result = request->get_data(list.get(), columns[0]);
  PmsOwn<IPmsListIterator> it = list->create_iterator(&err);
  if (!it) return err ? err : pms::kNoMemory;
  for (IPmsVarBindList* row = list->current(it.get()); row; list->next(it.get()), row = list->current(it.get())) {
    psw::Row cells;
    for (std::size_t i = 0; i < n; ++i) cells.push_back(to_cell(row->get_at(static_cast<std::uint32_t>(i)), columns[i]));
    rows.push_back(std::move(cells));
  }
  if (result) {
    log_error("pGetData->get_data()");
    return result;
  }
  return 0;
}

long CPSWDeviceInfoReader::get_text(const char* oid, char (&buffer)[256], bool missing_is_empty) const {
  std::memset(buffer, 0, sizeof buffer);
  IPmcGetData* raw = nullptr;
  if (long r = open_request(&raw, use_read_community_ ? read_community_ : nullptr)) return r;
  PmsOwn<IPmcGetData> request(raw);
  if (int r = request->add_oid_string(oid, false)) {
    log_error("pGetData->add_oid_string()");
    return r;
  }
  if (int r = request->get_text(buffer, sizeof buffer)) {
    if (missing_is_empty && r == kPmcNoValue && object_missing(request->pdu())) {
      std::memset(buffer, 0, sizeof buffer);
      return 0;
    }
    log_error("pGetData->get_text()");
    return r;
  }
  return 0;
}

long CPSWDeviceInfoReader::get_integer(const char* oid, std::int32_t* value) const {
  IPmcGetData* raw = nullptr;
  if (long r = open_request(&raw, use_read_community_ ? read_community_ : nullptr)) return r;
  PmsOwn<IPmcGetData> request(raw);
  if (int r = request->add_oid_string(oid, false)) {
    log_error("pGetData->add_oid_string()");
    return r;
  }
  if (int r = request->get_integer(value)) {
    log_error("pGetData->get_integer()");
    return r;
  }
  return 0;
}

// ---- tables -----------------------------------------------------------------

#define PSW_SIMPLE_TABLE(Count, Get, Record, member, columns, convert)  \
  long CPSWDeviceInfoReader::Count(long* count) {                       \
    if (!count) return pms::kBadArgument;                               \
    member.clear();                                                     \
    std::vector<psw::Row> rows;                                         \
    const long r = walk(columns, std::size(columns), rows);             \
    for (const psw::Row& row : rows) member.push_back(convert(row));    \
    *count = static_cast<long>(member.size());                          \
    return r;                                                           \
  }                                                                     \
  long CPSWDeviceInfoReader::Get(long index, Record* out) const { return copy_row(member, index, out); }

PSW_SIMPLE_TABLE(GetNumberOfStorageInfo, GetStorageInfo, PSWStorageInfo, storage_, kStorageColumns, psw::storage_row)
PSW_SIMPLE_TABLE(GetNumberOfDeviceInfo, GetDeviceInfo, PSWDeviceInfo, devices_, kDeviceColumns, psw::device_row)
PSW_SIMPLE_TABLE(GetNumberOfInputTrayInfo, GetInputTrayInfo, PSWInputTrayInfo, input_trays_, kInputTrayColumns,
                 psw::input_tray_row)
PSW_SIMPLE_TABLE(GetNumberOfOutputTrayInfo, GetOutputTrayInfo, PSWOutputTrayInfo, output_trays_, kOutputTrayColumns,
                 psw::output_tray_row)
PSW_SIMPLE_TABLE(GetNumberOfAlertInfo, GetAlertInfo, PSWAlertInfo, alerts_, kAlertColumns, psw::alert_row)
#undef PSW_SIMPLE_TABLE

long CPSWDeviceInfoReader::GetNumberOfTonerInfo(long* count) {
  if (!count) return pms::kBadArgument;
  toners_.clear();
  std::vector<psw::Row> rows;
  const long r = walk(kSupplyColumns, std::size(kSupplyColumns), rows);
  for (const psw::Row& row : rows)
    if (auto t = psw::toner_row(row)) toners_.push_back(*t);
  *count = static_cast<long>(toners_.size());
  return r;
}
long CPSWDeviceInfoReader::GetTonerInfo(long index, PSWTonerInfo* out) const { return copy_row(toners_, index, out); }

long CPSWDeviceInfoReader::GetPrinterInfo(long* status, long* error_state) {
  if (!status || !error_state) return pms::kBadArgument;
  printer_status_ = 0;
  error_state_ = 0;
  std::vector<psw::Row> rows;
  const long r = walk(kPrinterColumns, std::size(kPrinterColumns), rows);
  const psw::PrinterStatus s = psw::printer_status(rows);
  printer_status_ = s.status;
  error_state_ = s.error_state;
  *status = printer_status_;
  *error_state = static_cast<long>(error_state_);
  return r;
}

long CPSWDeviceInfoReader::GetNumberOfInputTrayInfoEx(long* count) {
  if (!count) return pms::kBadArgument;
  input_trays_ex_.clear();
  std::vector<psw::Row> rows;
  const long r = walk(kInputTrayColumns, std::size(kInputTrayColumns), rows);
  for (const psw::Row& row : rows) {
    PSWInputTrayInfoEx e{};
    e.tray = psw::input_tray_row(row);
    e.private_type = -1;
    input_trays_ex_.push_back(e);
  }
  *count = static_cast<long>(input_trays_ex_.size());
  if (r) return r;
  // The private column is optional: its failure only leaves the fields -1.
  std::vector<psw::Row> private_rows;
  const bool ok = walk(kPrivateInputTypeColumn, 1, private_rows) == 0;
  std::vector<psw::Cell> column;
  for (const psw::Row& row : private_rows) column.push_back(row.empty() ? psw::Cell{} : row[0]);
  return psw::merge_private_input_types(input_trays_ex_, ok, column) < 0 ? -1 : 0;
}
long CPSWDeviceInfoReader::GetInputTrayInfoEx(long index, PSWInputTrayInfoEx* out) const {
  return copy_row(input_trays_ex_, index, out);
}

long CPSWDeviceInfoReader::GetCharSet(int selector, long* value) {
  if (!value || selector < 0 || selector > 1) return pms::kBadArgument;
  const std::string column(psw::charset_walk_column(selector));
  const char* columns[] = {column.c_str()};
  std::vector<psw::Row> rows;
  if (long r = walk(columns, 1, rows)) return r;
  std::int32_t charset = 0;
  for (const psw::Row& row : rows) {
    const auto oid = psw::charset_oid(selector, row.empty() ? psw::Cell{} : row[0]);
    if (!oid) return pms::kBadArgument;
    if (long r = get_integer(oid->c_str(), &charset)) return r;
  }
  (selector == 0 ? standard_charset_ : private_charset_) = charset;
  *value = charset;
  return 0;
}

long CPSWDeviceInfoReader::GetNumberOfJobInfo(int job_class, long* count) {
  if (!count || job_class < 0 || job_class > 2) return pms::kBadArgument;
  jobs_.clear();
  job_ids_.clear();
  *count = 0;
  if (private_charset_ == 0) {
    long cs = 0;
    if (long r = GetCharSet(1, &cs)) return r;
  }
  std::vector<psw::Row> rows;
  const long walked = walk(kJobColumns, std::size(kJobColumns), rows);
  long r = 0;
  for (const psw::Row& row : rows) {
    std::string texts[3];
    for (std::size_t k = 0; k < 3; ++k) {
      const auto oid = psw::job_text_oid(row[kJobCodedColumns[k]], private_charset_);
      if (!oid) {
        r = pms::kBadArgument;
        break;
      }
      char buffer[256];
      // A job whose text the device lacks keeps an empty text.
      if (long g = get_text(oid->c_str(), buffer, true)) {
        r = g;
        break;
      }
      texts[k] = buffer;
    }
    if (r) break;
    PSWJobInfo job;
    psw::JobId id;
    if (int j = psw::job_row(row, texts[0], texts[1], texts[2], job, id)) {
      r = j;
      break;
    }
    if (psw::job_class_keeps(job_class, job.j6_9)) {
      jobs_.push_back(job);
      job_ids_.push_back(std::move(id));
    }
  }
  *count = static_cast<long>(jobs_.size());
  return r ? r : walked;
}
long CPSWDeviceInfoReader::GetJobInfo(long index, PSWJobInfo* out) const { return copy_row(jobs_, index, out); }

long CPSWDeviceInfoReader::CancelJob(const char* job_id) {
  if (!job_id) return pms::kBadArgument;
  const auto id = psw::cancel_identifier(job_id, job_ids_);
  if (!id) return pms::kBadArgument;
  IPmcGetData* raw = nullptr;
  if (long r = open_request(&raw, write_community_)) return r;
  PmsOwn<IPmcGetData> request(raw);
  const std::string full = psw::cancel_oid(*id);
  const std::string sub_ids = full.substr(std::strlen(kCancelColumn) + 1);
  if (int r = request->add_oid_value(kCancelColumn, sub_ids.c_str(), psw::kCancelJobValue)) {
    log_error("pGetData->add_oid_string()");
    return r;
  }
  if (int r = request->set_data()) {
    log_error("pGetData->set_data()");
    return r;
  }
  return 0;
}
