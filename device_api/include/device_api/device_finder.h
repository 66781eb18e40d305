// Discovers supported devices by one broadcast GET of sysObjectID.0 and
// hands them out one by one, newest answer first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_api/device_option.h"
#include "device_api/usm_param.h"
#include "snmp/network_address.h"

class IPmcFindDeviceSnmp;

struct PSWFoundDevice {
  char sys_object_id[64];
  char model_name[64];
  char address[64];
  PSWFoundDevice* next;
};

struct FoundDeviceList {
  std::int32_t count;
  std::int32_t cursor;
  PSWFoundDevice* head;
};

class CPSWDeviceFinder {
 public:
  static constexpr std::size_t kFilterSlots = 50;
  static constexpr std::size_t kTextSize = 64;

  CPSWDeviceFinder();
  virtual ~CPSWDeviceFinder();
  CPSWDeviceFinder(const CPSWDeviceFinder&) = delete;
  CPSWDeviceFinder& operator=(const CPSWDeviceFinder&) = delete;

  // 0, or -2 for a null text or one that does not fit a slot (a cut prefix
  // would let more devices through than asked for).
  long AddFilter(const char* prefix);
  void ClearFilter();
  void SetCommunity(const char* community);
  long Find(IPmcNetworkAddress::EProtocol protocol, const char* address, IPSWPluginUSM* usm, unsigned long timeout,
            unsigned long retries, unsigned long max_message_size);
  long Collect(const SupportedModel* table, std::size_t rows, long* count);
  // Each output receives at most 64 bytes with the terminator.
  bool Next(char* address, char* model_name, char* reserved, char* sys_object_id);
  void ResetPosition();

 private:
  void release_results();
  bool passes_filters(const char* sys_object_id) const;

  IPmcFindDeviceSnmp* request_ = nullptr;
  FoundDeviceList* list_ = nullptr;
  char filters_[kFilterSlots][kTextSize] = {};
  const SupportedModel* naming_table_ = nullptr;
  char community_[256] = {};
};
