// Network tables over the IP Helper library or the MIB-II extension agent,
// and the local IPv4 address for a destination.
#include "snmp/network_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "snmp/asn_value.h"
#include "snmp/critical_section.h"
#include "win/clock.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/iphlpapi.h"
#include "win/modules.h"
#include "win/snmp_extension.h"

namespace {

using Lock = CPmcCriticalSection;
using Guard = CPmcLockGuard;

template <class F>
bool bind_proc(HMODULE m, const char* name, F* slot) {
  FARPROC p = GetProcAddress(m, name);
  *slot = p ? morva_proc_as<F>(p) : nullptr;
  return p != nullptr;
}

// A system library held by a provider: loaded with LoadLibraryExA(name, no
// file, 0) and freed when the provider goes.
class CPmcSystemLibraryHolder {
 public:
  ~CPmcSystemLibraryHolder() {
    if (module_) FreeLibrary(module_);
  }
  int load(const char* name) {
    module_ = LoadLibraryExA(name, nullptr, 0);
    return module_ ? 0 : pms::kCannotOpen;
  }
  HMODULE module() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

// ---------------------------------------------------------------- IP Helper

class CPmcIpHelperProvider final : public IPmcNetworkTableProvider {
 public:
  int open() {
    int r = library_.load("iphlpapi.dll");
    if (r) return r;
    HMODULE m = library_.module();
    // Every entry point is bound, even after one is missing.
    const bool bound[] = {bind_proc(m, "GetIpForwardTable", &forward_), bind_proc(m, "GetNumberOfInterfaces", &count_),
                          bind_proc(m, "GetIfTable", &if_table_), bind_proc(m, "GetIpAddrTable", &addr_table_)};
    return std::all_of(std::begin(bound), std::end(bound), [](bool b) { return b; }) ? 0 : pms::kCannotOpen;
  }

  void release() override { delete this; }

  PmsOwn<CPmcRouteList> route_table(int* err) override {
    return read<MIB_IPFORWARDTABLE, MIB_IPFORWARDROW, PmcRouteRow>(
        forward_, err, [](const MIB_IPFORWARDROW& in, PmcRouteRow& out) {
          out.destination = morva::load_be32(&in.dwForwardDest);
          out.mask = morva::load_be32(&in.dwForwardMask);
          out.next_hop = morva::load_be32(&in.dwForwardNextHop);
          out.type = static_cast<std::int32_t>(in.dwForwardType);
          out.if_index = static_cast<std::int32_t>(in.dwForwardIfIndex);
          return true;
        });
  }

  std::uint32_t interface_count(int* err) override {
    DWORD n = 0;
    if (count_(&n) != NO_ERROR) {
      pms::set_err(err, pms::kCannotOpen);
      return 0;
    }
    pms::set_err(err, 0);
    return n;
  }

  PmsOwn<CPmcInterfaceList> interface_table(int* err) override {
    return read<MIB_IFTABLE, MIB_IFROW, PmcInterfaceRow>(if_table_, err, [](const MIB_IFROW& in, PmcInterfaceRow& out) {
      // A length beyond the field is the provider's fault; stay inside it.
      std::size_t n = in.dwDescrLen < MAXLEN_IFDESCR ? in.dwDescrLen : MAXLEN_IFDESCR;
      out.description.reset(new (std::nothrow) char[n + 1]);
      if (!out.description) return false;
      std::memcpy(out.description.get(), in.bDescr, n);
      out.description[n] = 0;
      out.index = static_cast<std::int32_t>(in.dwIndex);
      out.type = static_cast<std::int32_t>(in.dwType);
      return true;
    });
  }

  PmsOwn<CPmcAddressList> address_table(int* err) override {
    return read<MIB_IPADDRTABLE, MIB_IPADDRROW, PmcAddressRow>(
        addr_table_, err, [](const MIB_IPADDRROW& in, PmcAddressRow& out) {
          out.if_index = static_cast<std::int32_t>(in.dwIndex);
          out.mask = morva::load_be32(&in.dwMask);
          out.broadcast = static_cast<std::int32_t>(in.dwBCastAddr);
          out.address = morva::load_be32(&in.dwAddr);
          return true;
        });
  }

 private:
  // The sizing call, then the call that fills a buffer of the reported
  // size. A machine without rows (ERROR_NO_DATA) has an empty table; any
  // other failure is -10. Only the entries the buffer holds are read.
  template <class Table, class Row, class Out, class Call, class Convert>
  PmsOwn<CPmcNetRowList<Out>> read(Call call, int* err, Convert convert) {
    pms::set_err(err, 0);
    auto list = CPmcNetRowList<Out>::create(err);
    if (!list) return list;
    ULONG size = 0;
    DWORD r = call(nullptr, &size, TRUE);
    std::unique_ptr<BYTE[]> buffer;
    if (r == ERROR_INSUFFICIENT_BUFFER) {
      buffer.reset(size ? new (std::nothrow) BYTE[size] : nullptr);
      if (!buffer) {
        pms::set_err(err, pms::kNoMemory);
        return nullptr;
      }
      r = call(reinterpret_cast<Table*>(buffer.get()), &size, TRUE);
    }
    if (r == ERROR_NO_DATA) return list;
    if (r != NO_ERROR || !buffer) {
      pms::set_err(err, pms::kCannotOpen);
      return nullptr;
    }
    DWORD entries = morva::load_le32(buffer.get());
    std::size_t room = size >= offsetof(Table, table) ? (size - offsetof(Table, table)) / sizeof(Row) : 0;
    if (entries > room) entries = static_cast<DWORD>(room);
    for (DWORD k = 0; k < entries; ++k) {
      Row in;
      std::memcpy(&in, buffer.get() + offsetof(Table, table) + k * sizeof(Row), sizeof(Row));
      std::unique_ptr<Out> row(new (std::nothrow) Out);
      if (!row || !convert(in, *row) || list->push_back(std::move(row))) {
        pms::set_err(err, pms::kNoMemory);
        return nullptr;
      }
    }
    return list;
  }

  CPmcSystemLibraryHolder library_;
  LPFN_GETIPFORWARDTABLE forward_ = nullptr;
  LPFN_GETNUMBEROFINTERFACES count_ = nullptr;
  LPFN_GETIFTABLE if_table_ = nullptr;
  LPFN_GETIPADDRTABLE addr_table_ = nullptr;
};

// ---------------------------------------------------------- extension agent

// The MIB-II columns the walks use, by their index in the column list.
struct Column {
  int index;
  const char* object;
  UINT ids[11];
  UINT length;
};
constexpr Column kColumns[] = {
    {1, "ifNumber", {1, 3, 6, 1, 2, 1, 2, 1}, 8},
    {2, "ifIndex", {1, 3, 6, 1, 2, 1, 2, 2, 1, 1}, 10},
    {3, "ifDescr", {1, 3, 6, 1, 2, 1, 2, 2, 1, 2}, 10},
    {4, "ifType", {1, 3, 6, 1, 2, 1, 2, 2, 1, 3}, 10},
    {5, "ipAdEntAddr", {1, 3, 6, 1, 2, 1, 4, 20, 1, 1}, 10},
    {6, "ipAdEntIfIndex", {1, 3, 6, 1, 2, 1, 4, 20, 1, 2}, 10},
    {7, "ipAdEntNetMask", {1, 3, 6, 1, 2, 1, 4, 20, 1, 3}, 10},
    {8, "ipAdEntBcastAddr", {1, 3, 6, 1, 2, 1, 4, 20, 1, 4}, 10},
    {9, "ipRouteDest", {1, 3, 6, 1, 2, 1, 4, 21, 1, 1}, 10},
    {10, "ipRouteIfIndex", {1, 3, 6, 1, 2, 1, 4, 21, 1, 2}, 10},
    {11, "ipRouteNextHop", {1, 3, 6, 1, 2, 1, 4, 21, 1, 7}, 10},
    {12, "ipRouteType", {1, 3, 6, 1, 2, 1, 4, 21, 1, 8}, 10},
    {13, "ipRouteMask", {1, 3, 6, 1, 2, 1, 4, 21, 1, 11}, 10},
};
constexpr int kEndOfColumns = 14;

constexpr int kIfNumberColumns[] = {1, kEndOfColumns};
constexpr int kRouteColumns[] = {9, 10, 11, 12, 13, kEndOfColumns};
constexpr int kInterfaceColumns[] = {2, 3, 4, kEndOfColumns};
constexpr int kAddressColumns[] = {5, 6, 7, 8, kEndOfColumns};

const Column& column(int index) { return kColumns[index - 1]; }

// Compares identifier by identifier up to the smallest of `count` and both
// lengths: the first difference, else 0.
long oid_prefix_compare(const AsnObjectIdentifier& a, const AsnObjectIdentifier& b, UINT count) {
  UINT n = count;
  if (a.idLength < n) n = a.idLength;
  if (b.idLength < n) n = b.idLength;
  for (UINT k = 0; k < n; ++k)
    if (a.ids[k] != b.ids[k]) return static_cast<long>(a.ids[k]) - static_cast<long>(b.ids[k]);
  return 0;
}

// Whether `after` lies beyond `before` in OID order.
bool oid_after(const AsnObjectIdentifier& after, const AsnObjectIdentifier& before) {
  UINT n = after.idLength < before.idLength ? after.idLength : before.idLength;
  for (UINT k = 0; k < n; ++k)
    if (after.ids[k] != before.ids[k]) return after.ids[k] > before.ids[k];
  return after.idLength > before.idLength;
}

// A binding list for the extension agent, built from a column list and
// freed whole when it goes.
class Bindings {
 public:
  ~Bindings() {
    if (!list_.list) return;
    for (UINT k = 0; k < list_.len; ++k) {
      if (list_.list[k].name.ids) GlobalFree(list_.list[k].name.ids);
      SnmpUtilAsnAnyFree(&list_.list[k].value);
    }
    GlobalFree(list_.list);
  }
  int build(const int* columns) {
    UINT n = 0;
    while (columns[n] != kEndOfColumns) ++n;
    list_.list = static_cast<SnmpVarBind*>(GlobalAlloc(GPTR, n * sizeof(SnmpVarBind)));
    if (!list_.list) return pms::kNoMemory;
    list_.len = n;
    for (UINT k = 0; k < n; ++k) {
      const Column& c = column(columns[k]);
      SnmpVarBind& b = list_.list[k];
      b.value.asnType = ASN_NULL;
      b.name.ids = static_cast<UINT*>(GlobalAlloc(GPTR, c.length * sizeof(UINT)));
      if (!b.name.ids) return pms::kNoMemory;
      std::memcpy(b.name.ids, c.ids, c.length * sizeof(UINT));
      b.name.idLength = c.length;
    }
    return 0;
  }
  SnmpVarBindList* list() { return &list_; }
  const SnmpVarBind& at(UINT k) const { return list_.list[k]; }

 private:
  SnmpVarBindList list_{nullptr, 0};
};

// Values read defensively: a value of another type, or an address shorter
// than four bytes, reads as 0.
std::int32_t number_of(const AsnAny& v) {
  switch (v.asnType) {
    case ASN_INTEGER:
    case ASN_COUNTER32:
    case ASN_GAUGE32:
    case ASN_TIMETICKS: return v.asnValue.number;
    default: return 0;
  }
}
std::uint32_t address_of(const AsnAny& v) {
  if (v.asnType != ASN_IPADDRESS && v.asnType != ASN_OCTETSTRING) return 0;
  if (!v.asnValue.string.stream || v.asnValue.string.length < 4) return 0;
  return morva::load_be32(v.asnValue.string.stream);
}

class CPmcExtensionAgentProvider final : public IPmcNetworkTableProvider {
 public:
  int open() {
    int r = library_.load("inetmib1.dll");
    if (r) return r;
    HMODULE m = library_.module();
    const bool bound[] = {bind_proc(m, "SnmpExtensionInit", &init_), bind_proc(m, "SnmpExtensionInitEx", &init_ex_),
                          bind_proc(m, "SnmpExtensionQuery", &query_), bind_proc(m, "SnmpExtensionTrap", &trap_)};
    if (!std::all_of(std::begin(bound), std::end(bound), [](bool b) { return b; })) return pms::kCannotOpen;
    HANDLE trap_event = nullptr;
    AsnObjectIdentifier view{};
    return init_(GetTickCount(), &trap_event, &view) ? 0 : pms::kCannotOpen;
  }

  void release() override { delete this; }

  PmsOwn<CPmcRouteList> route_table(int* err) override {
    return walk<PmcRouteRow>(kRouteColumns, err, [](const Bindings& b, PmcRouteRow& row) {
      row.destination = address_of(b.at(0).value);
      row.if_index = number_of(b.at(1).value);
      row.next_hop = address_of(b.at(2).value);
      row.type = number_of(b.at(3).value);
      row.mask = address_of(b.at(4).value);
      return true;
    });
  }

  std::uint32_t interface_count(int* err) override {
    Bindings b;
    int r = b.build(kIfNumberColumns);
    if (r) {
      pms::set_err(err, r);
      return 0;
    }
    AsnInteger32 status = 0, index = 0;
    if (!query_(SNMP_PDU_GETNEXT, b.list(), &status, &index) || status != SNMP_ERRORSTATUS_NOERROR ||
        b.at(0).value.asnType != ASN_INTEGER) {
      pms::set_err(err, pms::kCannotOpen);
      return 0;
    }
    pms::set_err(err, 0);
    return static_cast<std::uint32_t>(b.at(0).value.asnValue.number);
  }

  PmsOwn<CPmcInterfaceList> interface_table(int* err) override {
    return walk<PmcInterfaceRow>(kInterfaceColumns, err, [](const Bindings& b, PmcInterfaceRow& row) {
      row.index = number_of(b.at(0).value);
      const AsnAny& d = b.at(1).value;
      bool text = (d.asnType == ASN_OCTETSTRING) && d.asnValue.string.stream;
      UINT n = text ? d.asnValue.string.length : 0;
      row.description.reset(new (std::nothrow) char[n + 1]);
      if (!row.description) return false;
      if (n) std::memcpy(row.description.get(), d.asnValue.string.stream, n);
      row.description[n] = 0;
      row.type = number_of(b.at(2).value);
      return true;
    });
  }

  PmsOwn<CPmcAddressList> address_table(int* err) override {
    return walk<PmcAddressRow>(kAddressColumns, err, [](const Bindings& b, PmcAddressRow& row) {
      row.address = address_of(b.at(0).value);
      row.if_index = number_of(b.at(1).value);
      row.mask = address_of(b.at(2).value);
      row.broadcast = number_of(b.at(3).value);
      return true;
    });
  }

 private:
  // GETNEXT over the columns until the first binding leaves its column.
  // The walk also ends when the agent answers with an error status (the
  // bindings then stay as they were, and asking again would give the same
  // row forever) or when the first name does not move forward.
  template <class Row, class Make>
  PmsOwn<CPmcNetRowList<Row>> walk(const int* columns, int* err, Make make) {
    pms::set_err(err, 0);
    auto list = CPmcNetRowList<Row>::create(err);
    if (!list) return list;
    Bindings b;
    int r = b.build(columns);
    if (r) {
      pms::set_err(err, r);
      return nullptr;
    }
    const Column& first = column(columns[0]);
    const AsnObjectIdentifier first_column{first.length, const_cast<UINT*>(first.ids)};
    std::vector<UINT> previous(first.ids, first.ids + first.length);
    for (;;) {
      AsnInteger32 status = 0, index = 0;
      if (!query_(SNMP_PDU_GETNEXT, b.list(), &status, &index)) {
        pms::set_err(err, pms::kCannotOpen);
        return nullptr;
      }
      if (status != SNMP_ERRORSTATUS_NOERROR) break;
      const AsnObjectIdentifier& name = b.at(0).name;
      if (!name.ids || name.idLength < first.length || oid_prefix_compare(name, first_column, first.length) != 0) break;
      const AsnObjectIdentifier before{static_cast<UINT>(previous.size()), previous.data()};
      if (!oid_after(name, before)) break;
      previous.assign(name.ids, name.ids + name.idLength);
      std::unique_ptr<Row> row(new (std::nothrow) Row);
      if (!row || !make(b, *row) || list->push_back(std::move(row))) {
        pms::set_err(err, pms::kNoMemory);
        return nullptr;
      }
    }
    return list;
  }

  CPmcSystemLibraryHolder library_;
  PFNSNMPEXTENSIONINIT init_ = nullptr;
  PFNSNMPEXTENSIONINITEX init_ex_ = nullptr;
  PFNSNMPEXTENSIONQUERY query_ = nullptr;
  PFNSNMPEXTENSIONTRAP trap_ = nullptr;
};

template <class P>
PmsOwn<IPmcNetworkTableProvider> create_provider(int* err) {
  auto* p = new (std::nothrow) P;
  if (!p) {
    pms::set_err(err, pms::kNoMemory);
    return nullptr;
  }
  PmsOwn<IPmcNetworkTableProvider> owned(p);
  int r = p->open();
  pms::set_err(err, r);
  if (r) return nullptr;  // destroyed, its library freed
  return owned;
}

}  // namespace

PmsOwn<IPmcNetworkTableProvider> pmc_create_ip_helper_provider(int* err) {
  return create_provider<CPmcIpHelperProvider>(err);
}

PmsOwn<IPmcNetworkTableProvider> pmc_create_extension_agent_provider(int* err) {
  return create_provider<CPmcExtensionAgentProvider>(err);
}

// ---------------------------------------------------------- CPmcNetworkInfo

CPmcNetworkInfo::CPmcNetworkInfo() { InitializeCriticalSection(&lock_); }

CPmcNetworkInfo::~CPmcNetworkInfo() {
  routes_.reset();
  addresses_.reset();
  provider_.reset();
  DeleteCriticalSection(&lock_);
}

int CPmcNetworkInfo::select_provider(int kind) {
  Guard g(lock_);
  if (provider_) return 0;
  int err = 0;
  switch (kind) {
    case kPmcProviderAutomatic:
      provider_ = pmc_create_ip_helper_provider(&err);
      if (!provider_) provider_ = pmc_create_extension_agent_provider(&err);
      break;
    case kPmcProviderExtensionAgent: provider_ = pmc_create_extension_agent_provider(&err); break;
    case kPmcProviderIpHelper: provider_ = pmc_create_ip_helper_provider(&err); break;
    default: return pms::kBadArgument;
  }
  return provider_ ? 0 : err;
}

PmsOwn<CPmcRouteList> CPmcNetworkInfo::route_table(int* err) {
  if (!provider_) {
    pms::set_err(err, pms::kNothing);
    return nullptr;
  }
  return provider_->route_table(err);
}

std::uint32_t CPmcNetworkInfo::interface_count(int* err) {
  if (!provider_) {
    pms::set_err(err, pms::kNothing);
    return 0;
  }
  return provider_->interface_count(err);
}

PmsOwn<CPmcInterfaceList> CPmcNetworkInfo::interface_table(int* err) {
  if (!provider_) {
    pms::set_err(err, pms::kNothing);
    return nullptr;
  }
  return provider_->interface_table(err);
}

PmsOwn<CPmcAddressList> CPmcNetworkInfo::address_table(int* err) {
  if (!provider_) {
    pms::set_err(err, pms::kNothing);
    return nullptr;
  }
  return provider_->address_table(err);
}

// The first non-zero address of an interface: 0 and *address set, -2 when
// it has none, or the error of reading the address table (read on first
// need in a call).
int CPmcNetworkInfo::find_interface_address(std::int32_t if_index, std::uint32_t* address) {
  if (!addresses_) {
    int err = 0;
    addresses_ = address_table(&err);
    if (!addresses_) return err ? err : pms::kNoMemory;
  }
  for (std::uint32_t k = 0; k < addresses_->count(); ++k) {
    const PmcAddressRow* a = addresses_->at(k);
    if (a->if_index == if_index && a->address != 0) {
      *address = a->address;
      return 0;
    }
  }
  return pms::kBadArgument;
}

int CPmcNetworkInfo::local_address_for(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out) {
  if (out) out->reset();
  if (!destination || !out || !destination->is_valid()) return pms::kBadArgument;
  if (destination->get_protocol() != IPmcNetworkAddress::kIPv4) return pms::kNotSupported;

  routes_.reset();
  addresses_.reset();
  struct Release {
    CPmcNetworkInfo* self;
    ~Release() {
      self->routes_.reset();
      self->addresses_.reset();
    }
  } release{this};

  if (!provider_) {
    int r = select_provider(kPmcProviderAutomatic);
    if (r) return r;
  }
  int err = 0;
  routes_ = route_table(&err);
  if (!routes_) return err ? err : pms::kNoMemory;

  auto result = pmc_create_network_address(&err);
  if (!result) return err;

  int n[4];
  char extra;
  if (std::sscanf(destination->host_text(), "%d.%d.%d.%d%c", &n[0], &n[1], &n[2], &n[3], &extra) != 4)
    return pms::kBadArgument;
  const std::uint32_t v = (static_cast<std::uint32_t>(n[0] & 0xFF) << 24) |
                          (static_cast<std::uint32_t>(n[1] & 0xFF) << 16) |
                          (static_cast<std::uint32_t>(n[2] & 0xFF) << 8) | static_cast<std::uint32_t>(n[3] & 0xFF);

  // A route whose interface has no address does not count: the search goes
  // on with the other routes rather than giving up on the first one.
  bool matched = false;
  std::uint32_t found = 0;
  auto address_of_route = [&](const PmcRouteRow& route, std::uint32_t* address) {
    matched = true;
    int r = find_interface_address(route.if_index, address);
    return r == pms::kBadArgument ? 1 : r;  // 1: no address here
  };
  const std::uint32_t routes = routes_->count();
  // a. a host route for the destination
  for (std::uint32_t k = 0; k < routes && !found; ++k) {
    const PmcRouteRow& route = *routes_->at(k);
    if (route.destination != v) continue;
    int r = address_of_route(route, &found);
    if (r < 0) return r;
  }
  // b. the longest matching prefix; of equal ones the first
  if (!found) {
    std::uint32_t best = 0, best_mask = 0;
    for (std::uint32_t k = 0; k < routes; ++k) {
      const PmcRouteRow& route = *routes_->at(k);
      if (route.mask <= best_mask || (v & route.mask) != (route.mask & route.destination)) continue;
      std::uint32_t a = 0;
      int r = address_of_route(route, &a);
      if (r < 0) return r;
      if (r == 0) {
        best = a;
        best_mask = route.mask;
      }
    }
    found = best;
  }
  // c. the default route
  for (std::uint32_t k = 0; k < routes && !found; ++k) {
    const PmcRouteRow& route = *routes_->at(k);
    if (route.destination != 0) continue;
    int r = address_of_route(route, &found);
    if (r < 0) return r;
  }
  if (!found) return matched ? pms::kBadArgument : -1;

  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", found >> 24, (found >> 16) & 0xFF, (found >> 8) & 0xFF, found & 0xFF);
  int r = result->set(text, destination->get_protocol(), destination->get_port());
  if (r) return r;
  *out = std::move(result);
  return 0;
}

// ------------------------------------------------------- process-wide object

namespace {

Lock& local_address_lock() {
  static Lock l;
  return l;
}
CPmcNetworkInfo* g_info = nullptr;

struct InfoReleaser {
  ~InfoReleaser() {
    delete g_info;
    g_info = nullptr;
  }
} g_info_releaser;

}  // namespace

int pmc_network_local_address_for(const IPmcNetworkAddress* destination, PmsOwn<IPmcNetworkAddress>* out) {
  Guard g(local_address_lock().cs);
  if (!g_info) {
    g_info = new (std::nothrow) CPmcNetworkInfo;
    if (!g_info) {
      if (out) out->reset();
      return pms::kNoMemory;
    }
  }
  return g_info->local_address_for(destination, out);
}

void pmc_network_info_test_reset() {
  Guard g(local_address_lock().cs);
  delete g_info;
  g_info = nullptr;
}
