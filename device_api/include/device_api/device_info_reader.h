// Reads a device's status tables over SNMP into the public PSW records:
// storage areas, devices, printer status, input and output trays, toner,
// alerts and jobs; reads the character sets and cancels jobs.
#pragma once

#include <cstdint>
#include <vector>

#include "device_api/psw_records.h"
#include "device_api/usm_param.h"
#include "snmp/network_address.h"

class IPmcGetData;

class CPSWDeviceInfoReader {
 public:
  CPSWDeviceInfoReader();
  virtual ~CPSWDeviceInfoReader();

  long Init(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm, unsigned long timeout,
            unsigned long retries, unsigned long max_message_size);
  void SetReadCommunity(const char* community);
  void SetWriteCommunity(const char* community);

  long GetNumberOfStorageInfo(long* count);
  long GetStorageInfo(long index, PSWStorageInfo* out) const;
  long GetNumberOfDeviceInfo(long* count);
  long GetDeviceInfo(long index, PSWDeviceInfo* out) const;
  long GetPrinterInfo(long* status, long* error_state);
  long GetNumberOfInputTrayInfo(long* count);
  long GetInputTrayInfo(long index, PSWInputTrayInfo* out) const;
  long GetNumberOfInputTrayInfoEx(long* count);
  long GetInputTrayInfoEx(long index, PSWInputTrayInfoEx* out) const;
  long GetNumberOfOutputTrayInfo(long* count);
  long GetOutputTrayInfo(long index, PSWOutputTrayInfo* out) const;
  long GetNumberOfTonerInfo(long* count);
  long GetTonerInfo(long index, PSWTonerInfo* out) const;
  long GetNumberOfAlertInfo(long* count);
  long GetAlertInfo(long index, PSWAlertInfo* out) const;
  long GetNumberOfJobInfo(int job_class, long* count);
  long GetJobInfo(long index, PSWJobInfo* out) const;
  long GetCharSet(int selector, long* value);
  long CancelJob(const char* job_id);

 private:
  template <typename Device>
  friend long psw_take_target(Device&, IPmcNetworkAddress::EProtocol, const char*, IPSWPluginUSM*, unsigned long,
                              unsigned long, unsigned long);
  long open_request(IPmcGetData** out, const char* community) const;
  long walk(const char* const* columns, std::size_t n, std::vector<devlink::psw::Row>& rows) const;
  // GET of one text. With `missing_is_empty`, an object the agent does not
  // have (noSuchName, or an exception value) is an empty text, not a
  // failure; other failures still fail.
  long get_text(const char* oid, char (&buffer)[256], bool missing_is_empty = false) const;
  long get_integer(const char* oid, std::int32_t* value) const;

  IPmcNetworkAddress::EProtocol protocol_ = IPmcNetworkAddress::kUnspecified;
  char address_[64] = {};
  std::uint16_t port_ = 0;
  std::uint32_t timeout_ = 0;
  std::uint32_t retries_ = 0;
  std::uint32_t max_message_size_ = 0;
  char read_community_[256] = {};
  bool use_read_community_ = false;
  char write_community_[256] = {};
  std::vector<PSWStorageInfo> storage_;
  std::vector<PSWDeviceInfo> devices_;
  std::int32_t printer_status_ = 0;
  std::uint32_t error_state_ = 0;
  std::vector<PSWInputTrayInfo> input_trays_;
  std::vector<PSWInputTrayInfoEx> input_trays_ex_;
  std::vector<PSWOutputTrayInfo> output_trays_;
  std::vector<PSWTonerInfo> toners_;
  std::vector<PSWAlertInfo> alerts_;
  std::vector<PSWJobInfo> jobs_;
  // Full identifiers of the kept jobs: a zero byte cuts the text form in
  // the record, and a cancel by that text must still reach its job.
  std::vector<devlink::psw::JobId> job_ids_;
  std::int32_t standard_charset_ = 0;
  std::int32_t private_charset_ = 0;
  std::int32_t v3_version_ = 0;
  char v3_security_name_[256] = {};
  std::int32_t v3_security_level_ = 0;
  std::int32_t v3_auth_protocol_ = 0;
  std::int32_t v3_priv_protocol_ = 0;
  char v3_auth_passphrase_[256] = {};
  char v3_priv_passphrase_[256] = {};
  char v3_context_name_[256] = {};
};
