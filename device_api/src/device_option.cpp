#include "device_api/device_option.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "device_api/request_objects.h"
#include "device_api/text_field.h"
#include "snmp/asn_value.h"
#include "snmp/log.h"

const SupportedModel SupportedModelTable[kSupportedModelCount] = {
    {"1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21", "Corvane M10"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.37.24.17", "Corvane M20"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.37.24.8", "Corvane M30"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.37.24.6", "Corvane M40"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.37.24.4", "Corvane M50"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.37.24.2", "Corvane M60"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.35.34.21", "Tessaly M10"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.35.34.17", "Tessaly M20"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.35.34.8", "Tessaly M30"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.35.34.6", "Tessaly M40"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.35.34.4", "Tessaly M50"},
    {"1.3.6.1.4.1.32473.2.1.11.93.1.35.34.2", "Tessaly M60"},
};

const MediumSize MediumSizeTable[kMediumSizeCount] = {
    {215900, 279400, 1},       {215900, 355600, 2},       {254000, 330200, 3},      {228600, 304800, 4},
    {104775, 241300, 5},       {177800, 228600, 6},       {228600, 279400, 7},      {254000, 355600, 8},
    {152400, 228600, 10},      {254000, 381000, 11},      {431800, 558800, 15},     {558800, 863600, 16},
    {863600, 1117600, 17},     {841000, 1189000, 21},     {594000, 841000, 22},     {420000, 594000, 23},
    {297000, 420000, 24},      {210000, 297000, 25},      {148000, 210000, 26},     {105000, 148000, 27},
    {74000, 105000, 28},       {52000, 74000, 29},        {37000, 52000, 30},       {26000, 37000, 31},
    {1000000, 1414000, 41},    {707000, 1000000, 42},     {500000, 707000, 43},     {353000, 500000, 44},
    {250000, 353000, 45},      {176000, 250000, 46},      {125000, 176000, 47},     {88000, 125000, 48},
    {62000, 88000, 49},        {44000, 62000, 50},        {31000, 44000, 51},       {917000, 1297000, 61},
    {648000, 917000, 62},      {458000, 648000, 63},      {324000, 458000, 64},     {229000, 324000, 65},
    {162000, 229000, 66},      {114000, 162000, 67},      {81000, 114000, 68},      {57000, 81000, 69},
    {110000, 220000, 70},      {1030000, 1456000, 81},    {728000, 1030000, 82},    {515000, 728000, 83},
    {364000, 515000, 84},      {257000, 364000, 85},      {182000, 257000, 86},     {128000, 182000, 87},
    {91000, 128000, 88},       {64000, 91000, 89},        {45000, 64000, 90},       {32000, 45000, 91},
    {279400, 431800, 10001},   {215900, 330200, 10002},   {100000, 148000, 10003},  {267000, 388000, 10005},
    {194000, 267000, 10006},   {140000, 215900, 10007},   {203200, 254000, 10008},  {304800, 457200, 10009},
    {304800, 482600, 10010},   {320000, 457200, 10011},   {320000, 450000, 10012},  {120000, 235000, 10013},
};

bool psw_matches_model_oid(const char* oid, const char* model_oid) {
  if (!oid || !model_oid) return false;
  std::size_t n = std::strlen(model_oid);
  return std::strncmp(oid, model_oid, n) == 0 && (oid[n] == '\0' || oid[n] == '.');
}

namespace {

constexpr const char* kLog = "PSW";

void log_error(const char* text) { pmc_log_printf(kLog, kPmcLogError, "%s", text); }

// Readers of a row binding; a missing or unreadable value reads as 0 / "".
std::int32_t row_int(const IPmsVarBindList* row, std::uint32_t i) {
  IPmsVarBind* b = row->get_at(i);
  const IPmsAsnValue* v = b ? b->get_value() : nullptr;
  if (!v) return 0;
  int err = 0;
  std::int32_t n = v->get_int(&err);
  if (err) {
    err = 0;
    n = static_cast<std::int32_t>(v->get_uint(&err));
  }
  return err ? 0 : n;
}

template <std::size_t N>
void row_text(const IPmsVarBindList* row, std::uint32_t i, char (&out)[N]) {
  std::memset(out, 0, N);
  IPmsVarBind* b = row->get_at(i);
  const IPmsAsnValue* v = b ? b->get_value() : nullptr;
  if (!v) return;
  int err = 0;
  PmsOwn<IPmsOctetBuffer> text = v->to_text_buffer(&err);
  if (!text || !text->length()) return;
  std::size_t n = text->length() < N - 1 ? text->length() : N - 1;
  std::memcpy(out, text->data(), n);
}

using Request = PmsOwn<IPmcGetData>;

// Walks the columns and calls each(row, row_number from 1) per row.
template <class Each>
long walk(const CPSWDevCommOption& self, long (CPSWDevCommOption::*open)(IPmcGetData**) const,
          long (CPSWDevCommOption::*add)(IPmcGetData*, const char* const*, std::size_t, bool) const,
          const char* const* columns, std::size_t n, Each each) {
  IPmcGetData* raw = nullptr;
  if (long r = (self.*open)(&raw)) return r;
  Request request(raw);
  if (long r = (self.*add)(raw, columns, n, false)) return r;
  int err = 0;
  PmsOwn<IPmsRowList> rows = pms_create_row_list(&err);
  if (!rows) return err ? err : pms::kNoMemory;
  if (int r = raw->get_data(rows.get(), columns[0])) {
    log_error("pGetData->get_data()");
    return r;
  }
  PmsOwn<IPmsListIterator> it = rows->create_iterator(&err);
  if (!it) return err ? err : pms::kNoMemory;
  std::int32_t number = 0;
  for (IPmsVarBindList* row = rows->current(it.get()); row; rows->next(it.get()), row = rows->current(it.get()))
    each(row, ++number);
  return 0;
}

}  // namespace

// ---- construction and set-up ----------------------------------------------

CPSWDevCommOption::CPSWDevCommOption(const CPSWDevCommOption&) = default;
CPSWDevCommOption& CPSWDevCommOption::operator=(const CPSWDevCommOption&) = default;
CPSWDevCommOption::~CPSWDevCommOption() = default;
void CPSWDevCommOption::destroy() { delete this; }

CPSWDevCommOption::CPSWDevCommOption() {
  std::memset(address_, 0, sizeof address_);
  std::memset(v3_security_name_, 0, sizeof v3_security_name_);
  std::memset(v3_auth_passphrase_, 0, sizeof v3_auth_passphrase_);
  std::memset(v3_priv_passphrase_, 0, sizeof v3_priv_passphrase_);
  std::memset(v3_context_name_, 0, sizeof v3_context_name_);
  std::memset(community_, 0, sizeof community_);
  initialize_data();
}

void CPSWDevCommOption::initialize_data() {
  std::memset(rom_version_, 0, sizeof rom_version_);
  std::memset(sys_name_, 0, sizeof sys_name_);
  std::memset(netware_sap_unit_name_, 0, sizeof netware_sap_unit_name_);
  duplex_ = manual_tray_ = offset_stacking_ = fax_isdn_g4_kit_ = fax_line_switch_kit_ = false;
  memory_size_ = fax_speed_dials_ = fax_type_ = 0;
  rom_major_ = rom_minor_ = rom_revision_ = 0;
  paper_size_group_ = paper_size_8k_ = booklet_max_impression_ = limited_color_ = 0;
  min_password_length_ = user_prompt_ = long_size_detection_ = envelope_as_paper_type_ = 0;
  device_count_ = input_tray_count_ = output_tray_count_ = 0;
  std::memset(devices_, 0, sizeof devices_);
  std::memset(input_trays_, 0, sizeof input_trays_);
  std::memset(output_trays_, 0, sizeof output_trays_);
}

void CPSWDevCommOption::SetCommunityStr(const char* community) {
  psw_copy_text(community_, community);
  use_community_ = true;
}

long CPSWDevCommOption::Init(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm,
                             unsigned long timeout, unsigned long retries, unsigned long max_message_size) {
  return psw_take_target(*this, protocol, address, usm, timeout, retries, max_message_size);
}

long CPSWDevCommOption::open_request(IPmcGetData** out) const {
  int err = 0;
  Request request = pmc_create_get_data(&err);
  if (!request) {
    log_error("pmc_create_get_data()");
    return err ? err : pms::kNoMemory;
  }
  if (use_community_) request->set_community(community_);
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

long CPSWDevCommOption::add_oids(IPmcGetData* request, const char* const* oids, std::size_t n, bool scalar) const {
  for (std::size_t i = 0; i < n; ++i) {
    if (int r = request->add_oid_string(oids[i], scalar)) {
      log_error("pGetData->add_oid_string()");
      return r;
    }
  }
  return 0;
}

// ---- readers ----------------------------------------------------------------

namespace {

enum class Quiet { no, yes };

// GET of scalars as integers into out[0..n).
long get_ints(const CPSWDevCommOption& self, long (CPSWDevCommOption::*open)(IPmcGetData**) const,
              long (CPSWDevCommOption::*add)(IPmcGetData*, const char* const*, std::size_t, bool) const,
              const char* const* oids, std::size_t n, bool scalar, std::int32_t* out, Quiet quiet) {
  IPmcGetData* raw = nullptr;
  if (long r = (self.*open)(&raw)) return r;
  Request request(raw);
  if (long r = (self.*add)(raw, oids, n, scalar)) return r;
  if (int r = raw->get_integers(out, static_cast<std::uint32_t>(n))) {
    if (quiet == Quiet::no) log_error("pGetData->get_data()");
    return r;
  }
  return 0;
}

template <std::size_t N>
long get_text(const CPSWDevCommOption& self, long (CPSWDevCommOption::*open)(IPmcGetData**) const,
              long (CPSWDevCommOption::*add)(IPmcGetData*, const char* const*, std::size_t, bool) const,
              const char* oid, bool scalar, char (&out)[N], Quiet quiet) {
  IPmcGetData* raw = nullptr;
  if (long r = (self.*open)(&raw)) return r;
  Request request(raw);
  if (long r = (self.*add)(raw, &oid, 1, scalar)) return r;
  char text[256] = {};
  if (int r = raw->get_text(text, sizeof text)) {
    if (quiet == Quiet::no) log_error("pGetData->get_data()");
    return r;
  }
  psw_copy_text(out, text);
  return 0;
}

}  // namespace

#define PSW_SELF *this, &CPSWDevCommOption::open_request, &CPSWDevCommOption::add_oids

long CPSWDevCommOption::refresh_system_attributes() {
  return get_text(PSW_SELF, "1.3.6.1.2.1.1.5", true, sys_name_, Quiet::yes);
}

long CPSWDevCommOption::refresh_hrdevice_table() {
  static const char* const kColumns[] = {"1.3.6.1.2.1.25.3.2.1.1", "1.3.6.1.2.1.25.3.2.1.3", "1.3.6.1.2.1.25.3.2.1.5"};
  return walk(PSW_SELF, kColumns, std::size(kColumns), [this](const IPmsVarBindList* row, std::int32_t) {
    if (device_count_ >= kMaxDevices) return;
    DeviceRow& d = devices_[device_count_++];
    d.index = row_int(row, 0);
    row_text(row, 1, d.description);
    d.status = row_int(row, 2);
    if (d.index == 10) {
      psw_copy_text(rom_version_, d.description);
      // An unreadable version text is logged and leaves the version numbers
      // at 0; it does not cost the caller every other option of the device.
      parse_version_value();
    }
  });
}

long CPSWDevCommOption::refresh_input_tray_table() {
  static const char* const kColumns[] = {
      "1.3.6.1.2.1.43.8.2.1.2",  "1.3.6.1.2.1.43.8.2.1.3",  "1.3.6.1.2.1.43.8.2.1.6", "1.3.6.1.2.1.43.8.2.1.7",
      "1.3.6.1.2.1.43.8.2.1.8",  "1.3.6.1.2.1.43.8.2.1.9",  "1.3.6.1.2.1.43.8.2.1.10", "1.3.6.1.2.1.43.8.2.1.13",
      "1.3.6.1.2.1.43.8.2.1.18", "1.3.6.1.2.1.43.8.2.1.21"};
  return walk(PSW_SELF, kColumns, std::size(kColumns), [this](const IPmsVarBindList* row, std::int32_t number) {
    InputTrayRow t = {};
    t.row = number;
    t.type = row_int(row, 0);
    std::int32_t dim_unit = row_int(row, 1);
    t.dim_feed = row_int(row, 2);
    t.dim_xfeed = row_int(row, 3);
    std::int32_t capacity_unit = row_int(row, 4);
    std::int32_t max_capacity = row_int(row, 5);
    std::int32_t level = row_int(row, 6);
    row_text(row, 7, t.name);
    row_text(row, 8, t.description);
    row_text(row, 9, t.media_type);
    t.media_size = 10000;
    t.media_direction = 1;
    MediaDimensionToMediumSize(dim_unit, t.dim_feed, t.dim_xfeed, &t.media_size, &t.media_direction);
    t.max_capacity = -1;
    t.level_percent = -1;
    ConvertMediumLevel(capacity_unit, max_capacity, level, &t.max_capacity, &t.level_percent);
    if (t.type == 5) manual_tray_ = true;
    if (input_tray_count_ < kMaxInputTrays) input_trays_[input_tray_count_++] = t;
  });
}

long CPSWDevCommOption::refresh_output_tray_table() {
  static const char* const kColumns[] = {"1.3.6.1.2.1.43.9.2.1.2", "1.3.6.1.2.1.43.9.2.1.7", "1.3.6.1.2.1.43.9.2.1.24"};
  return walk(PSW_SELF, kColumns, std::size(kColumns), [this](const IPmsVarBindList* row, std::int32_t number) {
    OutputTrayRow o{number, row_int(row, 0), row_int(row, 2)};
    if (o.offset_stacking == 3) offset_stacking_ = true;
    if (output_tray_count_ < kMaxOutputTrays) output_trays_[output_tray_count_++] = o;
  });
}

long CPSWDevCommOption::refresh_memory_size() {
  static const char* const kOid[] = {"1.3.6.1.2.1.25.2.2"};
  return get_ints(PSW_SELF, kOid, 1, true, &memory_size_, Quiet::no);
}

long CPSWDevCommOption::refresh_prt_media_table() {
  static const char* const kColumns[] = {"1.3.6.1.2.1.43.13.4.1.9"};
  return walk(PSW_SELF, kColumns, 1, [this](const IPmsVarBindList* row, std::int32_t) {
    std::int32_t v = row_int(row, 0);
    if (v == 3 || v == 4) duplex_ = true;
  });
}

long CPSWDevCommOption::refresh_netware_attributes() {
  return get_text(PSW_SELF, "1.3.6.1.4.1.32473.1.8.64.4.2.1.7.10.19159104", false, netware_sap_unit_name_, Quiet::no);
}

long CPSWDevCommOption::refresh_fax_attributes() {
  if (!has_device_index(104, nullptr)) return 0;
  static const char* const kOids[] = {"1.3.6.1.4.1.32473.1.8.64.4.2.1.5.10.13124141",
                                      "1.3.6.1.4.1.32473.1.8.64.4.2.1.5.10.13124142",
                                      "1.3.6.1.4.1.32473.1.8.64.4.2.1.5.10.13124143"};
  std::int32_t v[3] = {};
  if (long r = get_ints(PSW_SELF, kOids, 3, false, v, Quiet::no)) return r;
  fax_isdn_g4_kit_ = v[0] == 1;
  fax_line_switch_kit_ = v[1] == 1;
  fax_speed_dials_ = v[2];
  return 0;
}

long CPSWDevCommOption::refresh_vcm_hrdev_detail_setting() {
  static const char* const kOids[] = {
      "1.3.6.1.4.1.32473.1.8.53.13.2.1.6.1.1.1", "1.3.6.1.4.1.32473.1.8.53.13.2.1.6.1.1.2",
      "1.3.6.1.4.1.32473.1.8.53.13.2.1.6.1.1.4", "1.3.6.1.4.1.32473.1.8.53.13.2.1.6.1.1.5",
      "1.3.6.1.4.1.32473.1.8.53.13.2.1.6.1.1.6", "1.3.6.1.4.1.32473.1.8.53.13.2.1.6.104.1.1"};
  std::int32_t* const fields[] = {&paper_size_group_, &paper_size_8k_, &limited_color_,
                                  &min_password_length_, &user_prompt_, &fax_type_};
  std::size_t n = has_device_index(104, nullptr) ? 6 : 5;
  std::int32_t v[6] = {};
  if (long r = get_ints(PSW_SELF, kOids, n, false, v, Quiet::no)) return r;
  for (std::size_t i = 0; i < n; ++i)
    if (v[i] >= 0) *fields[i] = v[i];
  return 0;
}

long CPSWDevCommOption::refresh_vcm_hrdev_detail_setting2() {
  static const char* const kOid[] = {"1.3.6.1.4.1.32473.1.8.53.13.2.1.6.1.1.12"};
  std::int32_t v = -1;
  if (long r = get_ints(PSW_SELF, kOid, 1, false, &v, Quiet::yes)) return r;
  if (v >= 0) envelope_as_paper_type_ = v;
  return 0;
}

long CPSWDevCommOption::refresh_vcm_hrdev_detail_setting3() {
  static const char* const kOid[] = {"1.3.6.1.4.1.32473.1.8.53.13.2.1.6.1.1.23"};
  std::int32_t v = -1;
  if (long r = get_ints(PSW_SELF, kOid, 1, false, &v, Quiet::yes)) return r;
  if (v >= 0) long_size_detection_ = v;
  return 0;
}

long CPSWDevCommOption::refresh_finisher_booklet_info() {
  if (!has_device_index(124, nullptr)) return 0;
  char text[256] = {};
  if (long r = get_text(PSW_SELF, "1.3.6.1.4.1.32473.1.8.53.13.2.1.8.124.6.1", false, text, Quiet::no)) return r;
  int n = 0;
  if (std::sscanf(text, "Max Impression = %d", &n) == 1) booklet_max_impression_ = n;
  return 0;
}

#undef PSW_SELF

long CPSWDevCommOption::refresh_options() {
  initialize_data();
  long (CPSWDevCommOption::*const kSteps[])() = {
      &CPSWDevCommOption::refresh_system_attributes, &CPSWDevCommOption::refresh_hrdevice_table,
      &CPSWDevCommOption::refresh_input_tray_table,  &CPSWDevCommOption::refresh_output_tray_table,
      &CPSWDevCommOption::refresh_memory_size,       &CPSWDevCommOption::refresh_prt_media_table,
      &CPSWDevCommOption::refresh_netware_attributes, &CPSWDevCommOption::refresh_fax_attributes,
      &CPSWDevCommOption::refresh_vcm_hrdev_detail_setting, &CPSWDevCommOption::refresh_vcm_hrdev_detail_setting2};
  for (auto step : kSteps)
    if (long r = (this->*step)()) return r;
  refresh_vcm_hrdev_detail_setting3();
  return refresh_finisher_booklet_info();
}

// ---- helpers ----------------------------------------------------------------

bool CPSWDevCommOption::has_device_index(std::int32_t index, std::int32_t* status) const {
  for (std::int32_t i = 0; i < device_count_; ++i) {
    if (devices_[i].index == index) {
      if (status) *status = devices_[i].status;
      return true;
    }
  }
  return false;
}

long CPSWDevCommOption::parse_version_value() {
  int major = 0, minor = 0, revision = 0;
  if (std::sscanf(rom_version_, "Printer Controller v%d.%d.%d - Processor", &major, &minor, &revision) == 3) {
    rom_major_ = major;
    rom_minor_ = minor;
    rom_revision_ = revision;
    return 0;
  }
  log_error("invalid PrinterROMVersion format");
  return -1;
}

void CPSWDevCommOption::MediaDimensionToMediumSize(std::int32_t unit, std::int32_t feed, std::int32_t xfeed,
                                                   std::int32_t* code, std::int32_t* direction) {
  if (unit != 4 || feed < 0 || xfeed < 0) return;
  std::int32_t short_edge = feed < xfeed ? feed : xfeed;
  std::int32_t long_edge = feed < xfeed ? xfeed : feed;
  auto near = [](std::int32_t a, std::int32_t b) { return a - b <= 2000 && b - a <= 2000; };
  for (const MediumSize& m : MediumSizeTable) {
    if (near(m.short_edge_um, short_edge) && near(m.long_edge_um, long_edge)) {
      *code = m.code;
      *direction = feed >= xfeed ? 3 : 2;
      return;
    }
  }
}

void CPSWDevCommOption::ConvertMediumLevel(std::int32_t unit, std::int32_t maximum, std::int32_t level,
                                           std::int32_t* capacity, std::int32_t* percent) {
  if (unit != 8) return;
  *capacity = maximum;
  // In 64 bits: level * 100 of a large level would overflow 32.
  *percent = (level >= 0 && maximum > 0)
                 ? static_cast<std::int32_t>((static_cast<std::int64_t>(level) * 100 + 50) / maximum)
                 : -1;
}

// ---- option queries ---------------------------------------------------------

// A boolean option is true when a flag is set, or when any device of
// any_of is present and none of none_of is (device lists end with 0).
struct CPSWDevCommOption::BoolOption {
  const char* name;
  bool CPSWDevCommOption::*flag;
  std::int32_t any_of[4];
  std::int32_t none_of[4];
};

const CPSWDevCommOption::BoolOption CPSWDevCommOption::kBoolOptions[] = {
    {"Scanner", nullptr, {102}, {}},
    {"Copier", nullptr, {103}, {}},
    {"FAXUnit", nullptr, {104}, {}},
    {"HardDisk", nullptr, {11}, {}},
    {"DuplexModule", &CPSWDevCommOption::duplex_, {}, {}},
    {"OffsetCatch", &CPSWDevCommOption::offset_stacking_, {}, {}},
    {"InTrayMSI", &CPSWDevCommOption::manual_tray_, {}, {}},
    {"OutTraySide", nullptr, {113}, {}},
    {"InTrayExistHCF", nullptr, {107}, {}},
    {"InTrayExistHCF2", nullptr, {133}, {}},
    {"InTrayExistTTM", nullptr, {135}, {}},
    {"InTrayExistHCFA3", nullptr, {136}, {}},
    {"InTrayExistHCFPF35", nullptr, {167}, {}},
    {"InTrayExistHCFPF31", nullptr, {169}, {}},
    {"InTrayExistHCF21", nullptr, {185}, {}},
    {"OutTrayOffsetCatch", nullptr, {171}, {}},
    {"OutTrayCenter2", nullptr, {171}, {175, 184, 162}},
    {"Finisher", nullptr, {175, 184, 162}, {}},
    {"FinisherStaple", nullptr, {121}, {}},
    {"FinisherPunch", nullptr, {122, 128, 129}, {}},
    {"FinisherPunchHole2", nullptr, {122}, {}},
    {"FinisherPunchHole3", nullptr, {128}, {}},
    {"FinisherPunchHole4", nullptr, {129}, {}},
    {"FinisherBooklet", nullptr, {124}, {}},
    {"FinisherFolder", nullptr, {127}, {}},
    {"FAXISDNG4Kit", &CPSWDevCommOption::fax_isdn_g4_kit_, {}, {}},
    {"FAXLineSwitchKit", &CPSWDevCommOption::fax_line_switch_kit_, {}, {}},
};

enum class IntKind { field, tray, memory_mb, input_trays, finisher_type, fax_sip_status };

struct CPSWDevCommOption::IntOption {
  const char* name;
  IntKind kind;
  std::int32_t CPSWDevCommOption::*field;
  std::int32_t InputTrayRow::*tray_field;
};

const CPSWDevCommOption::IntOption CPSWDevCommOption::kIntOptions[] = {
    {"MemorySizeInKByte", IntKind::field, &CPSWDevCommOption::memory_size_, nullptr},
    {"MemorySizeInMByte", IntKind::memory_mb, nullptr, nullptr},
    {"FAXMaxSpeedDial", IntKind::field, &CPSWDevCommOption::fax_speed_dials_, nullptr},
    {"FAXType", IntKind::field, &CPSWDevCommOption::fax_type_, nullptr},
    {"NumberOfInputTray", IntKind::input_trays, nullptr, nullptr},
    {"InputTrayIndex", IntKind::tray, nullptr, &InputTrayRow::row},
    {"InputTrayType", IntKind::tray, nullptr, &InputTrayRow::type},
    {"InputTrayMaxCapacityInSheets", IntKind::tray, nullptr, &InputTrayRow::max_capacity},
    {"InputTrayCurrentLevelInPercent", IntKind::tray, nullptr, &InputTrayRow::level_percent},
    {"InputTrayMediaSize", IntKind::tray, nullptr, &InputTrayRow::media_size},
    {"InputTrayMediaDirection", IntKind::tray, nullptr, &InputTrayRow::media_direction},
    {"InputTrayMediaDimFeedDirChosen", IntKind::tray, nullptr, &InputTrayRow::dim_feed},
    {"InputTrayMediaDimXFeedDirChosen", IntKind::tray, nullptr, &InputTrayRow::dim_xfeed},
    {"PrinterRomVersionMajor", IntKind::field, &CPSWDevCommOption::rom_major_, nullptr},
    {"PrinterRomVersionMinor", IntKind::field, &CPSWDevCommOption::rom_minor_, nullptr},
    {"PrinterRomVersionRevision", IntKind::field, &CPSWDevCommOption::rom_revision_, nullptr},
    {"PaperSizeGroupSetting", IntKind::field, &CPSWDevCommOption::paper_size_group_, nullptr},
    {"PaperSize8KSetting", IntKind::field, &CPSWDevCommOption::paper_size_8k_, nullptr},
    {"FinisherBookletImpression", IntKind::field, &CPSWDevCommOption::booklet_max_impression_, nullptr},
    {"FinisherType", IntKind::finisher_type, nullptr, nullptr},
    {"PrintLimitedColorSetting", IntKind::field, &CPSWDevCommOption::limited_color_, nullptr},
    {"UserPromptSetting", IntKind::field, &CPSWDevCommOption::user_prompt_, nullptr},
    {"MinPasswordLength", IntKind::field, &CPSWDevCommOption::min_password_length_, nullptr},
    {"FAXSIPStatus", IntKind::fax_sip_status, nullptr, nullptr},
    {"UseEnvelopeAsPaperType", IntKind::field, &CPSWDevCommOption::envelope_as_paper_type_, nullptr},
    {"LongSizePrintDetection", IntKind::field, &CPSWDevCommOption::long_size_detection_, nullptr},
};

struct CPSWDevCommOption::TextOption {
  const char* name;
  char (CPSWDevCommOption::*field256)[256];
  char (InputTrayRow::*tray64)[64];
  char (InputTrayRow::*tray256)[256];
};

const CPSWDevCommOption::TextOption CPSWDevCommOption::kTextOptions[] = {
    {"PrinterRomVersion", nullptr, nullptr, nullptr},
    {"SysName", &CPSWDevCommOption::sys_name_, nullptr, nullptr},
    {"NetWareSAPUnitName", &CPSWDevCommOption::netware_sap_unit_name_, nullptr, nullptr},
    {"InputTrayName", nullptr, &InputTrayRow::name, nullptr},
    {"InputTrayDescription", nullptr, nullptr, &InputTrayRow::description},
    {"InputTrayMediaType", nullptr, nullptr, &InputTrayRow::media_type},
};

namespace {
template <class Table, std::size_t N>
const Table* find_option(const Table (&table)[N], const char* name) {
  for (const Table& t : table)
    if (std::strcmp(t.name, name) == 0) return &t;
  return nullptr;
}
}  // namespace

bool CPSWDevCommOption::any_device(const std::int32_t* indexes) const {
  for (int i = 0; i < 4 && indexes[i]; ++i)
    if (has_device_index(indexes[i], nullptr)) return true;
  return false;
}

long CPSWDevCommOption::get_option(const char* name, bool* value, int) const {
  if (!name || !value) return pms::kBadArgument;
  const BoolOption* o = find_option(kBoolOptions, name);
  if (!o) return pms::kNotSupported;
  *value = o->flag ? this->*(o->flag) : any_device(o->any_of) && !any_device(o->none_of);
  return 0;
}

long CPSWDevCommOption::get_option(const char* name, long* value, int index) const {
  if (!name || !value) return pms::kBadArgument;
  const IntOption* o = find_option(kIntOptions, name);
  if (!o) return pms::kNotSupported;
  switch (o->kind) {
    case IntKind::field:
      *value = this->*(o->field);
      break;
    case IntKind::tray:
      if (index < 0 || index >= input_tray_count_) return pms::kIndexOutOfRange;
      *value = input_trays_[index].*(o->tray_field);
      break;
    case IntKind::memory_mb:
      *value = memory_size_ / 1024;
      break;
    case IntKind::input_trays:
      *value = input_tray_count_;
      break;
    case IntKind::finisher_type:
      *value = has_device_index(175, nullptr) ? 9 : has_device_index(184, nullptr) ? 10
                                              : has_device_index(162, nullptr) ? 7 : 0;
      break;
    case IntKind::fax_sip_status: {
      std::int32_t status = 0;
      *value = has_device_index(141, &status) ? status : 0;
      break;
    }
  }
  return 0;
}

long CPSWDevCommOption::get_option(const char* name, const char** value, int index) const {
  if (!name || !value) return pms::kBadArgument;
  const TextOption* o = find_option(kTextOptions, name);
  if (!o) return pms::kNotSupported;
  if (o->tray64 || o->tray256) {
    if (index < 0 || index >= input_tray_count_) return pms::kIndexOutOfRange;
    const InputTrayRow& t = input_trays_[index];
    *value = o->tray64 ? t.*(o->tray64) : t.*(o->tray256);
  } else {
    *value = o->field256 ? this->*(o->field256) : rom_version_;
  }
  return 0;
}

long CPSWDevCommOption::get_option(const char* name, unsigned long* value, int) const {
  if (!name || !value) return pms::kBadArgument;
  return pms::kNotSupported;
}

// ---- CPSWRustmossOption -----------------------------------------------------

CPSWRustmossOption::CPSWRustmossOption() { std::memset(sys_object_id_, 0, sizeof sys_object_id_); }
CPSWRustmossOption::CPSWRustmossOption(const CPSWRustmossOption&) = default;
CPSWRustmossOption& CPSWRustmossOption::operator=(const CPSWRustmossOption&) = default;
CPSWRustmossOption::~CPSWRustmossOption() = default;

long CPSWRustmossOption::get_option(const char* name, unsigned long* value, int index) const {
  return CPSWDevCommOption::get_option(name, value, index);
}

const char* CPSWRustmossOption::sys_object_id() const { return sys_object_id_; }

long CPSWRustmossOption::Init(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm,
                              unsigned long timeout, unsigned long retries, unsigned long max_message_size) {
  long r = CPSWDevCommOption::Init(protocol, address, usm, timeout, retries, max_message_size);
  return r ? r : is_supported_device();
}

bool CPSWRustmossOption::is_supported_OID(const char* prefix) {
  return !prefix || std::strncmp(sys_object_id_, prefix, std::strlen(prefix)) == 0;
}

long CPSWRustmossOption::get_option(const char* name, const char** value, int index) const {
  if (!name || !value) return pms::kBadArgument;
  return CPSWDevCommOption::get_option(name, value, index);
}

long CPSWRustmossOption::get_option(const char* name, long* value, int index) const {
  if (!name || !value) return pms::kBadArgument;
  return CPSWDevCommOption::get_option(name, value, index);
}

long CPSWRustmossOption::get_option(const char* name, bool* value, int index) const {
  if (!name || !value) return pms::kBadArgument;
  return CPSWDevCommOption::get_option(name, value, index);
}

long CPSWRustmossOption::is_supported_device() {
  int err = 0;
  Request request = pmc_create_get_data(&err);
  if (!request) {
    log_error("pmc_create_get_data()");
    return err ? err : pms::kNoMemory;
  }
  IPmcNetworkAddress::EProtocol protocol = IPmcNetworkAddress::kUnspecified;
  if (int r = request->address_protocol(address_, &protocol)) return r;
  if (protocol != protocol_) return pms::kBadArgument;
  if (use_community_) request->set_community(community_);
  int r = request->init(address_, protocol_, port_, v3_version_, v3_security_name_, v3_security_level_,
                        v3_auth_protocol_, v3_priv_protocol_, v3_auth_passphrase_, v3_priv_passphrase_,
                        v3_context_name_, timeout_, retries_, max_message_size_);
  if (r) {
    log_error("pGetData->init()");
    return r;
  }
  if (int a = request->add_oid_string("1.3.6.1.2.1.1.2", true)) {
    log_error("pGetData->add_oid_string()");
    return a;
  }
  char oid[256] = {};
  if (int g = request->get_text(oid, sizeof oid)) return g;
  const char* text = oid[0] == '.' ? oid + 1 : oid;
  bool supported = false;
  for (const SupportedModel& m : SupportedModelTable) {
    if (std::strncmp(text, m.sys_object_id, std::strlen(m.sys_object_id)) == 0) psw_copy_text(sys_object_id_, text);
    if (psw_matches_model_oid(text, m.sys_object_id)) supported = true;
  }
  return supported ? 0 : pms::kBadArgument;
}
