// Network tables: this machine's IPv4 routes, interfaces and addresses,
// read from the IP Helper library ("iphlpapi.dll", preferred) or, where it
// is missing, by walking the MIB-II extension agent ("inetmib1.dll") with
// GETNEXT. Both are loaded at run time. The one user is the choice of the
// local IPv4 address that reaches a destination (local_address_for).
//
// Addresses and masks in rows are in host order: the first dotted number
// is the most significant byte.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "snmp/network_address.h"
#include "win/memory.h"

struct PmcRouteRow {
  std::uint32_t destination = 0;
  std::uint32_t mask = 0;
  std::uint32_t next_hop = 0;
  std::int32_t type = 0;  // as the provider reports it
  std::int32_t if_index = 0;
};

struct PmcInterfaceRow {
  std::unique_ptr<char[]> description;  // zero-terminated
  std::int32_t index = 0;
  std::int32_t type = 0;
};

struct PmcAddressRow {
  std::int32_t if_index = 0;
  std::uint32_t mask = 0;
  std::int32_t broadcast = 0;  // as the provider reports it
  std::uint32_t address = 0;
};

// A growable list of owned rows; one list type per row kind.
template <class Row>
class CPmcNetRowList {
 public:
  static PmsOwn<CPmcNetRowList> create(int* err) {
    auto* l = new (std::nothrow) CPmcNetRowList;
    if (!l) pms::set_err(err, pms::kNoMemory);
    return PmsOwn<CPmcNetRowList>(l);
  }
  void release() { delete this; }
  bool is_empty() const { return rows_.empty(); }
  std::uint32_t count() const { return static_cast<std::uint32_t>(rows_.size()); }
  Row* at(std::uint32_t index) const { return index < rows_.size() ? rows_[index].get() : nullptr; }
  Row* front() const { return rows_.empty() ? nullptr : rows_.front().get(); }
  void clear() { rows_.clear(); }
  void pop_back() {
    if (!rows_.empty()) rows_.pop_back();
  }
  // Takes the row over; -3 (and the row destroyed) when the list cannot grow.
  int push_back(std::unique_ptr<Row> row) {
    try {
      rows_.push_back(std::move(row));
    } catch (const std::bad_alloc&) {
      return pms::kNoMemory;
    }
    return 0;
  }

 private:
  CPmcNetRowList() = default;
  ~CPmcNetRowList() = default;
  std::vector<std::unique_ptr<Row>> rows_;
};

using CPmcRouteList = CPmcNetRowList<PmcRouteRow>;
using CPmcInterfaceList = CPmcNetRowList<PmcInterfaceRow>;
using CPmcAddressList = CPmcNetRowList<PmcAddressRow>;

class IPmcNetworkTableProvider {
 public:
  virtual void release() = 0;
  virtual PmsOwn<CPmcRouteList> route_table(int* err) = 0;
  virtual std::uint32_t interface_count(int* err) = 0;
  virtual PmsOwn<CPmcInterfaceList> interface_table(int* err) = 0;
  virtual PmsOwn<CPmcAddressList> address_table(int* err) = 0;

 protected:
  virtual ~IPmcNetworkTableProvider() = default;
};

// Provider kinds of select_provider.
enum PmcNetworkProviderKind : int {
  kPmcProviderAutomatic = 0,  // IP Helper, else the extension agent
  kPmcProviderExtensionAgent = 1,
  kPmcProviderIpHelper = 2,
};

class CPmcNetworkInfo {
 public:
  CPmcNetworkInfo();
  ~CPmcNetworkInfo();
  CPmcNetworkInfo(const CPmcNetworkInfo&) = delete;
  CPmcNetworkInfo& operator=(const CPmcNetworkInfo&) = delete;

  // Chooses the provider once: 0 and nothing changes when one is kept;
  // -2 unknown kind, -3 memory, -10 library, entry point or start-up failed.
  int select_provider(int kind);
  bool has_provider() const { return provider_ != nullptr; }

  // The kept provider's tables; without one err -8 and none.
  PmsOwn<CPmcRouteList> route_table(int* err);
  std::uint32_t interface_count(int* err);
  PmsOwn<CPmcInterfaceList> interface_table(int* err);
  PmsOwn<CPmcAddressList> address_table(int* err);

  // The local IPv4 address whose interface reaches `destination`, with the
  // destination's protocol and port. -2 invalid destination or no address
  // on the chosen interface, -5 not IPv4, -1 no route, or a table error.
  int local_address_for(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out);

 private:
  int find_interface_address(std::int32_t if_index, std::uint32_t* address);

  CRITICAL_SECTION lock_;
  PmsOwn<IPmcNetworkTableProvider> provider_;
  PmsOwn<CPmcRouteList> routes_;
  PmsOwn<CPmcAddressList> addresses_;
};

// The providers themselves, loaded and bound: null with err set when the
// library, an entry point or the agent's start-up fails.
PmsOwn<IPmcNetworkTableProvider> pmc_create_ip_helper_provider(int* err);
PmsOwn<IPmcNetworkTableProvider> pmc_create_extension_agent_provider(int* err);

// local_address_for on the process-wide CPmcNetworkInfo, which is created
// on first use and keeps its provider for the life of the process; the
// whole call runs under one process-wide critical section.
int pmc_network_local_address_for(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out);

// Test hook: forgets the process-wide CPmcNetworkInfo and its provider.
void pmc_network_info_test_reset();
