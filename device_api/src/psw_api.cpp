// The exported PSW functions: each checks its pointer arguments, forwards
// to one of the objects the handle owns and returns that object's result
// unchanged.
#include "device_api/psw.h"

#include <cstring>
#include <new>

#include "device_api/device_finder.h"
#include "device_api/device_info_reader.h"
#include "device_api/device_option.h"
#include "device_api/usm_param.h"
#include "snmp/adapter_queries.h"
#include "snmp/pms_base.h"

namespace {

constexpr int32_t kBadArgument = pms::kBadArgument;
constexpr int32_t kNoMemory = pms::kNoMemory;
constexpr int32_t kNotSupported = pms::kNotSupported;
constexpr int32_t kNotOpened = pms::kNothing;
constexpr int32_t kHandleNotAllocated = 3;
constexpr PSWBOOL kNullHandleAnswer = 0xFFFE;

constexpr std::size_t kCommunitySize = 256;
constexpr std::size_t kOptionTextSize = 256;

// The address protocol a transport code stands for; protocol 3 has no
// transport.
constexpr auto kNoTransportProtocol = static_cast<IPmcNetworkAddress::EProtocol>(3);
struct TransportRow {
  int32_t transport;
  IPmcNetworkAddress::EProtocol protocol;
};
constexpr TransportRow kTransports[] = {
    {PSW_TRANSPORT_IPV4, IPmcNetworkAddress::kIPv4},
    {PSW_TRANSPORT_IPX, IPmcNetworkAddress::kIPX},
    {PSW_TRANSPORT_NONE, kNoTransportProtocol},
    {PSW_TRANSPORT_IPV6, IPmcNetworkAddress::kIPv6},
};

bool map_transport(int32_t transport, IPmcNetworkAddress::EProtocol* protocol) {
  for (const TransportRow& row : kTransports) {
    if (row.transport == transport) {
      *protocol = row.protocol;
      return true;
    }
  }
  return false;
}

// The broadcast address a discovery without address goes to.
const char* default_broadcast(IPmcNetworkAddress::EProtocol protocol) {
  return protocol == IPmcNetworkAddress::kIPv6 ? "ff02::1" : "255.255.255.255";
}

}  // namespace

// The object behind the opaque handle.
class CPSWHandle {
 public:
  CPSWHandle() = default;
  CPSWHandle(const CPSWHandle&) = delete;
  CPSWHandle& operator=(const CPSWHandle&) = delete;
  virtual ~CPSWHandle() {
    drop_device();
    delete finder;
    if (usm) usm->release();
  }

  // Destroys the option object and the reader of an earlier device.
  void drop_device() {
    if (option) option->destroy();
    option = nullptr;
    delete reader;
    reader = nullptr;
  }

  IPSWDeviceOption* option = nullptr;
  CPSWDeviceFinder* finder = nullptr;
  char find_community[kCommunitySize] = {};
  char get_option_community[kCommunitySize] = {};
  char write_community[kCommunitySize] = {};
  CPSWDeviceInfoReader* reader = nullptr;
  IPSWPluginUSM* usm = nullptr;
};

struct PSWHandleOpaque : CPSWHandle {};

namespace {

PSWHandleOpaque* as_handle(PSWHANDLE h) { return h; }

// Each community command and the field it fills.
struct CommunityCommand {
  const char* name;
  char (CPSWHandle::*field)[kCommunitySize];
};
constexpr CommunityCommand kCommunityCommands[] = {
    {"CmdSetCommunityGetOption", &CPSWHandle::get_option_community},
    {"CmdSetCommunityFind", &CPSWHandle::find_community},
    {"CmdSetCommunityWrite", &CPSWHandle::write_community},
};

// Row index as the reader compares it: unsigned, so -1 is out of range.
long row_index(int32_t index) { return static_cast<long>(static_cast<uint32_t>(index)); }

// Count function of one status table: re-reads the table.
template <long (CPSWDeviceInfoReader::*Count)(long*)>
int32_t count_rows(PSWHANDLE h, int32_t* count) {
  if (!h || !count) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  if (!handle->reader) return kNotOpened;
  long n = 0;
  const long r = (handle->reader->*Count)(&n);
  *count = static_cast<int32_t>(n);
  return static_cast<int32_t>(r);
}

// Row function of one status table: copies a row of the last read.
template <typename Record, long (CPSWDeviceInfoReader::*Get)(long, Record*) const>
int32_t copy_row(PSWHANDLE h, int32_t index, Record* out) {
  if (!h || !out) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  if (!handle->reader) return kNotOpened;
  return static_cast<int32_t>((handle->reader->*Get)(row_index(index), out));
}

// Checks shared by the option getters: -2 for null arguments, -8 before a
// device is opened.
int32_t option_check(PSWHANDLE h, const char* name, const void* out) {
  if (!h || !name || !out) return kBadArgument;
  if (!as_handle(h)->option) return kNotOpened;
  return 0;
}

}  // namespace

extern "C" {

int32_t PSWInit(PSWHANDLE* out) {
  if (!out) return kBadArgument;
  auto* handle = new (std::nothrow) PSWHandleOpaque();
  if (!handle) return kHandleNotAllocated;
  handle->finder = new (std::nothrow) CPSWDeviceFinder();
  handle->usm = handle->finder ? psw_create_plugin_usm() : nullptr;
  if (!handle->finder || !handle->usm) {
    delete handle;
    return kNoMemory;
  }
  *out = handle;
  return 0;
}

void PSWUnInit(PSWHANDLE h) { delete as_handle(h); }

int32_t PSWCommandString(PSWHANDLE h, const char* command, const char* value) {
  if (!h || !command || !value) return kBadArgument;
  for (const CommunityCommand& c : kCommunityCommands) {
    if (std::strcmp(command, c.name) != 0) continue;
    // A cut community would be another community: refuse it instead.
    const std::size_t length = strnlen(value, kCommunitySize);
    if (length >= kCommunitySize) return kBadArgument;
    char(&field)[kCommunitySize] = as_handle(h)->*(c.field);
    std::memset(field, 0, kCommunitySize);
    std::memcpy(field, value, length);
    return 0;
  }
  return kNotSupported;
}

int32_t PSWCommandInteger(PSWHANDLE h, const char* /*command*/, int32_t* value) {
  if (!h || !value) return kBadArgument;
  return kNotSupported;
}

int32_t PSWFindAddFilter(PSWHANDLE h, const char* prefix) {
  if (!h || !prefix) return kBadArgument;
  return static_cast<int32_t>(as_handle(h)->finder->AddFilter(prefix));
}

void PSWFindClearFilter(PSWHANDLE h) {
  if (h) as_handle(h)->finder->ClearFilter();
}

int32_t PSWFindDeviceSNMP(PSWHANDLE h, const char* address, int32_t transport, uint32_t timeout_ms,
                          uint32_t retries, int32_t* device_count) {
  return PSWFindDeviceSNMPEx(h, address, transport, PSW_SNMP_V1, PSWUsmParam{}, timeout_ms, retries,
                             device_count);
}

int32_t PSWFindDeviceSNMPEx(PSWHANDLE h, const char* address, int32_t transport, int32_t snmp_version,
                            PSWUsmParam usm, uint32_t timeout_ms, uint32_t retries, int32_t* device_count) {
  if (!h || !device_count) return kBadArgument;
  IPmcNetworkAddress::EProtocol protocol{};
  if (!map_transport(transport, &protocol)) return kBadArgument;
  if (protocol == kNoTransportProtocol) return kNotSupported;
  if (!address) address = default_broadcast(protocol);
  CPSWHandle* handle = as_handle(h);
  *device_count = 0;
  handle->usm->load_param(snmp_version, usm);
  // Always handed on, so that setting the find community back to empty
  // brings back the default community instead of keeping the old one.
  handle->finder->SetCommunity(handle->find_community);
  long r = handle->finder->Find(protocol, address, handle->usm, timeout_ms, retries, 0);
  if (r) return static_cast<int32_t>(r);
  long count = 0;
  r = handle->finder->Collect(SupportedModelTable, kSupportedModelCount, &count);
  *device_count = static_cast<int32_t>(count);
  return static_cast<int32_t>(r);
}

void PSWFindResetPosition(PSWHANDLE h) {
  if (h) as_handle(h)->finder->ResetPosition();
}

PSWBOOL PSWGetDeviceNext(PSWHANDLE h, char* address, char* model_name, char* reserved, char* sys_object_id) {
  if (!h || !address || !model_name || !reserved || !sys_object_id) return 0;
  return as_handle(h)->finder->Next(address, model_name, reserved, sys_object_id) ? 1 : 0;
}

int32_t PSWInitDevice(PSWHANDLE h, const char* address, int32_t transport, uint32_t timeout_ms, uint32_t retries) {
  return PSWInitDeviceEx(h, address, transport, PSW_SNMP_V1, PSWUsmParam{}, timeout_ms, retries);
}

int32_t PSWInitDeviceEx(PSWHANDLE h, const char* address, int32_t transport, int32_t snmp_version, PSWUsmParam usm,
                        uint32_t timeout_ms, uint32_t retries) {
  if (!h || !address) return kBadArgument;
  IPmcNetworkAddress::EProtocol protocol{};
  if (!map_transport(transport, &protocol)) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  handle->drop_device();
  handle->option = new (std::nothrow) CPSWRustmossOption();
  if (!handle->option) return kNoMemory;
  handle->usm->load_param(snmp_version, usm);
  if (handle->get_option_community[0]) handle->option->SetCommunityStr(handle->get_option_community);
  if (long r = handle->option->Init(protocol, address, handle->usm, timeout_ms, retries, 0))
    return static_cast<int32_t>(r);
  handle->reader = new (std::nothrow) CPSWDeviceInfoReader();
  if (!handle->reader) return kNoMemory;
  if (handle->get_option_community[0]) handle->reader->SetReadCommunity(handle->get_option_community);
  if (handle->write_community[0]) handle->reader->SetWriteCommunity(handle->write_community);
  return static_cast<int32_t>(handle->reader->Init(protocol, address, handle->usm, timeout_ms, retries, 0));
}

PSWBOOL PSWIsSupportedOID(PSWHANDLE h, const char* prefix) {
  if (!h) return kNullHandleAnswer;
  CPSWHandle* handle = as_handle(h);
  if (!handle->option) return 0;
  if (!prefix || !prefix[0]) return 1;
  return handle->option->is_supported_OID(prefix) ? 1 : 0;
}

int32_t PSWRefreshOptions(PSWHANDLE h) {
  if (!h) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  if (!handle->option) return kNotOpened;
  return static_cast<int32_t>(handle->option->refresh_options());
}

int32_t PSWGetOptionValueBoolean(PSWHANDLE h, const char* name, uint16_t index, PSWBOOL* value) {
  if (int32_t r = option_check(h, name, value)) return r;
  bool on = false;
  const long r = as_handle(h)->option->get_option(name, &on, static_cast<int>(index));
  if (r == 0) *value = on ? 1 : 0;
  return static_cast<int32_t>(r);
}

int32_t PSWGetOptionValueInteger(PSWHANDLE h, const char* name, uint16_t index, long* value) {
  if (int32_t r = option_check(h, name, value)) return r;
  return static_cast<int32_t>(as_handle(h)->option->get_option(name, value, static_cast<int>(index)));
}

int32_t PSWGetOptionValueUInteger(PSWHANDLE h, const char* name, uint16_t index, unsigned long* value) {
  if (int32_t r = option_check(h, name, value)) return r;
  return static_cast<int32_t>(as_handle(h)->option->get_option(name, value, static_cast<int>(index)));
}

int32_t PSWGetOptionValueString(PSWHANDLE h, const char* name, uint16_t index, char* buffer) {
  if (int32_t r = option_check(h, name, buffer)) return r;
  const char* text = nullptr;
  const long r = as_handle(h)->option->get_option(name, &text, static_cast<int>(index));
  if (r == 0) {
    const std::size_t length = text ? strnlen(text, kOptionTextSize - 1) : 0;
    if (length) std::memcpy(buffer, text, length);
    buffer[length] = '\0';
  }
  return static_cast<int32_t>(r);
}

int32_t PSWGetNumberOfStorageInfo(PSWHANDLE h, int32_t* count) {
  return count_rows<&CPSWDeviceInfoReader::GetNumberOfStorageInfo>(h, count);
}
int32_t PSWGetStorageInfo(PSWHANDLE h, int32_t index, PSWStorageInfo* info) {
  return copy_row<PSWStorageInfo, &CPSWDeviceInfoReader::GetStorageInfo>(h, index, info);
}
int32_t PSWGetNumberOfDeviceInfo(PSWHANDLE h, int32_t* count) {
  return count_rows<&CPSWDeviceInfoReader::GetNumberOfDeviceInfo>(h, count);
}
int32_t PSWGetDeviceInfo(PSWHANDLE h, int32_t index, PSWDeviceInfo* info) {
  return copy_row<PSWDeviceInfo, &CPSWDeviceInfoReader::GetDeviceInfo>(h, index, info);
}
int32_t PSWGetNumberOfInputTrayInfo(PSWHANDLE h, int32_t* count) {
  return count_rows<&CPSWDeviceInfoReader::GetNumberOfInputTrayInfo>(h, count);
}
int32_t PSWGetInputTrayInfo(PSWHANDLE h, int32_t index, PSWInputTrayInfo* info) {
  return copy_row<PSWInputTrayInfo, &CPSWDeviceInfoReader::GetInputTrayInfo>(h, index, info);
}
int32_t PSWGetNumberOfInputTrayInfoEx(PSWHANDLE h, int32_t* count) {
  return count_rows<&CPSWDeviceInfoReader::GetNumberOfInputTrayInfoEx>(h, count);
}
int32_t PSWGetInputTrayInfoEx(PSWHANDLE h, int32_t index, PSWInputTrayInfoEx* info) {
  return copy_row<PSWInputTrayInfoEx, &CPSWDeviceInfoReader::GetInputTrayInfoEx>(h, index, info);
}
int32_t PSWGetNumberOfOutputTrayInfo(PSWHANDLE h, int32_t* count) {
  return count_rows<&CPSWDeviceInfoReader::GetNumberOfOutputTrayInfo>(h, count);
}
int32_t PSWGetOutputTrayInfo(PSWHANDLE h, int32_t index, PSWOutputTrayInfo* info) {
  return copy_row<PSWOutputTrayInfo, &CPSWDeviceInfoReader::GetOutputTrayInfo>(h, index, info);
}
int32_t PSWGetNumberOfTonerInfo(PSWHANDLE h, int32_t* count) {
  return count_rows<&CPSWDeviceInfoReader::GetNumberOfTonerInfo>(h, count);
}
int32_t PSWGetTonerInfo(PSWHANDLE h, int32_t index, PSWTonerInfo* info) {
  return copy_row<PSWTonerInfo, &CPSWDeviceInfoReader::GetTonerInfo>(h, index, info);
}
int32_t PSWGetNumberOfAlertInfo(PSWHANDLE h, int32_t* count) {
  return count_rows<&CPSWDeviceInfoReader::GetNumberOfAlertInfo>(h, count);
}
int32_t PSWGetAlertInfo(PSWHANDLE h, int32_t index, PSWAlertInfo* info) {
  return copy_row<PSWAlertInfo, &CPSWDeviceInfoReader::GetAlertInfo>(h, index, info);
}
int32_t PSWGetJobInfo(PSWHANDLE h, int32_t index, PSWJobInfo* info) {
  return copy_row<PSWJobInfo, &CPSWDeviceInfoReader::GetJobInfo>(h, index, info);
}

int32_t PSWGetPrinterInfo(PSWHANDLE h, int32_t info[2]) {
  if (!h || !info) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  if (!handle->reader) return kNotOpened;
  long status = 0, error_state = 0;
  const long r = handle->reader->GetPrinterInfo(&status, &error_state);
  info[0] = static_cast<int32_t>(status);
  info[1] = static_cast<int32_t>(static_cast<uint32_t>(error_state));
  return static_cast<int32_t>(r);
}

int32_t PSWGetNumberOfJobInfo(PSWHANDLE h, int32_t job_class, int32_t* count) {
  if (!h || !count || job_class < 0 || job_class > 2) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  if (!handle->reader) return kNotOpened;
  long n = 0;
  const long r = handle->reader->GetNumberOfJobInfo(job_class, &n);
  *count = static_cast<int32_t>(n);
  return static_cast<int32_t>(r);
}

int32_t PSWCancelJob(PSWHANDLE h, const char* job_id) {
  if (!h || !job_id) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  if (!handle->reader) return kNotOpened;
  return static_cast<int32_t>(handle->reader->CancelJob(job_id));
}

int32_t PSWGetCharSet(PSWHANDLE h, int32_t selector, int32_t* charset) {
  if (!h || !charset || selector < 0 || selector > 1) return kBadArgument;
  CPSWHandle* handle = as_handle(h);
  if (!handle->reader) return kNotOpened;
  long value = 0;
  const long r = handle->reader->GetCharSet(selector, &value);
  if (r == 0) *charset = static_cast<int32_t>(value);
  return static_cast<int32_t>(r);
}

PSWBOOL PSWTransportAvailable(int32_t transport) {
  IPmcNetworkAddress::EProtocol protocol{};
  if (!map_transport(transport, &protocol) || protocol == kNoTransportProtocol) return 0;
  std::uint8_t available = 0;
  return pmc_socket_is_transport_available(protocol, &available) == 0 && available ? 1 : 0;
}

}  // extern "C"
