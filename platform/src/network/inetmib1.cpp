// MIB-II extension agent stand-in: the built-in module "inetmib1.dll".
//
// It serves, under the region 1.3.6.1.2.1, the objects a local agent keeps
// for the IP layer, over the same data as the IP Helper stand-in:
// ifNumber, ifTable (index, description, type, MTU, speed, hardware address,
// admin and oper status), ipAddrTable (address, interface, mask, broadcast
// bit, reassembly size) and ipRouteTable (destination, interface, metric,
// next hop, type, origin, mask). ipRouteTable is indexed by destination
// alone, so of several routes to one destination it shows the first.
//
// Behaviour kept from agents of this kind: a request is answered whole or
// not at all. When one binding has no object (GET) or no next object in the
// agent's view (GETNEXT), the query answers TRUE with noSuchName and that
// binding's 1-based index and leaves every binding as it was.
#include <algorithm>
#include <cstring>

#include "network_internal.h"
#include "win/memory.h"
#include "win/snmp_extension.h"

namespace morva::platform::net {
namespace {

using Oid = std::vector<UINT>;

struct Value {
  BYTE type = ASN_NULL;
  LONG number = 0;
  std::vector<BYTE> bytes;
};

struct Object {
  Oid oid;
  Value value;
};

Value integer(LONG n) { return Value{ASN_INTEGER, n, {}}; }
Value gauge(DWORD n) { return Value{ASN_GAUGE32, static_cast<LONG>(n), {}}; }
Value octets(const void* p, std::size_t n) {
  const auto* b = static_cast<const BYTE*>(p);
  return Value{ASN_OCTETSTRING, 0, n ? std::vector<BYTE>(b, b + n) : std::vector<BYTE>()};
}
Value ip(std::uint32_t host) {
  return Value{ASN_IPADDRESS, 0,
               {static_cast<BYTE>(host >> 24), static_cast<BYTE>(host >> 16), static_cast<BYTE>(host >> 8),
                static_cast<BYTE>(host)}};
}

Oid ip_index(std::uint32_t v) { return {v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF}; }

Oid cat(Oid a, const Oid& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Oid kIfNumber = {1, 3, 6, 1, 2, 1, 2, 1, 0};
const Oid kIfEntry = {1, 3, 6, 1, 2, 1, 2, 2, 1};
const Oid kIpAddrEntry = {1, 3, 6, 1, 2, 1, 4, 20, 1};
const Oid kIpRouteEntry = {1, 3, 6, 1, 2, 1, 4, 21, 1};

// Every object of the view, in OID order.
std::vector<Object> build_view() {
  NetFixture s = network_snapshot();
  std::vector<Object> view;
  view.push_back({kIfNumber, integer(static_cast<LONG>(s.interfaces.size()))});
  for (const NetInterface* i : interfaces_by_index(s)) {
    Oid index = {i->index};
    const std::string& d = description_of(*i);
    std::size_t mac = std::min<std::size_t>(i->mac.size(), MAXLEN_PHYSADDR);
    view.push_back({cat(cat(kIfEntry, {1}), index), integer(static_cast<LONG>(i->index))});
    view.push_back({cat(cat(kIfEntry, {2}), index), octets(d.data(), std::min<std::size_t>(d.size(), 255))});
    view.push_back({cat(cat(kIfEntry, {3}), index), integer(static_cast<LONG>(i->type))});
    view.push_back({cat(cat(kIfEntry, {4}), index), integer(static_cast<LONG>(i->mtu))});
    view.push_back({cat(cat(kIfEntry, {5}), index), gauge(0)});
    view.push_back({cat(cat(kIfEntry, {6}), index), octets(i->mac.data(), mac)});
    view.push_back({cat(cat(kIfEntry, {7}), index), integer(MIB_IF_ADMIN_STATUS_UP)});
    view.push_back({cat(cat(kIfEntry, {8}), index), integer(i->up ? 1 : 2)});
  }
  for (const auto& a : ipv4_addresses(s)) {
    Oid index = ip_index(a.address);
    view.push_back({cat(cat(kIpAddrEntry, {1}), index), ip(a.address)});
    view.push_back({cat(cat(kIpAddrEntry, {2}), index), integer(static_cast<LONG>(a.if_index))});
    view.push_back({cat(cat(kIpAddrEntry, {3}), index), ip(a.mask)});
    view.push_back({cat(cat(kIpAddrEntry, {4}), index), integer(static_cast<LONG>(a.broadcast))});
    view.push_back({cat(cat(kIpAddrEntry, {5}), index), integer(65535)});
  }
  std::vector<Ipv4Route> routes = ipv4_routes(s);
  for (std::size_t k = 0; k < routes.size(); ++k) {
    const Ipv4Route& r = routes[k];
    if (k > 0 && routes[k - 1].destination == r.destination) continue;  // one row per destination
    Oid index = ip_index(r.destination);
    view.push_back({cat(cat(kIpRouteEntry, {1}), index), ip(r.destination)});
    view.push_back({cat(cat(kIpRouteEntry, {2}), index), integer(static_cast<LONG>(r.if_index))});
    view.push_back({cat(cat(kIpRouteEntry, {3}), index), integer(static_cast<LONG>(r.metric))});
    view.push_back({cat(cat(kIpRouteEntry, {7}), index), ip(r.next_hop)});
    view.push_back({cat(cat(kIpRouteEntry, {8}), index), integer(static_cast<LONG>(r.type))});
    view.push_back({cat(cat(kIpRouteEntry, {9}), index), integer(static_cast<LONG>(r.proto))});
    view.push_back({cat(cat(kIpRouteEntry, {11}), index), ip(r.mask)});
  }
  std::stable_sort(view.begin(), view.end(), [](const Object& a, const Object& b) { return a.oid < b.oid; });
  return view;
}

Oid name_of(const AsnObjectIdentifier& name) {
  if (!name.ids) return {};
  return Oid(name.ids, name.ids + name.idLength);
}

// Stores one answer into a binding; false when memory runs out (the
// binding is then left as it was).
bool store(SnmpVarBind& b, const Object& o) {
  auto* ids = static_cast<UINT*>(GlobalAlloc(GPTR, o.oid.size() * sizeof(UINT)));
  BYTE* stream = nullptr;
  bool has_bytes = o.value.type == ASN_OCTETSTRING || o.value.type == ASN_IPADDRESS;
  if (has_bytes && !o.value.bytes.empty()) stream = static_cast<BYTE*>(GlobalAlloc(GPTR, o.value.bytes.size()));
  if (!ids || (has_bytes && !o.value.bytes.empty() && !stream)) {
    if (ids) GlobalFree(ids);
    if (stream) GlobalFree(stream);
    return false;
  }
  std::memcpy(ids, o.oid.data(), o.oid.size() * sizeof(UINT));
  if (stream) std::memcpy(stream, o.value.bytes.data(), o.value.bytes.size());
  if (b.name.ids) GlobalFree(b.name.ids);
  b.name.ids = ids;
  b.name.idLength = static_cast<UINT>(o.oid.size());
  SnmpUtilAsnAnyFree(&b.value);
  b.value.asnType = o.value.type;
  if (has_bytes) {
    b.value.asnValue.string.stream = stream;
    b.value.asnValue.string.length = static_cast<UINT>(o.value.bytes.size());
    b.value.asnValue.string.dynamic = stream != nullptr;
  } else {
    b.value.asnValue.number = o.value.number;
  }
  return true;
}

UINT g_region[] = {1, 3, 6, 1, 2, 1};

BOOL SnmpExtensionInit_(DWORD, HANDLE* trap_event, AsnObjectIdentifier* first_region) {
  if (trap_event) *trap_event = nullptr;  // this agent sends no traps
  if (first_region) {
    first_region->idLength = static_cast<UINT>(std::size(g_region));
    first_region->ids = g_region;
  }
  return TRUE;
}

BOOL SnmpExtensionInitEx_(AsnObjectIdentifier*) { return FALSE; }  // one region only

BOOL SnmpExtensionQuery_(BYTE pdu_type, SnmpVarBindList* bindings, AsnInteger32* error_status,
                         AsnInteger32* error_index) {
  if (!bindings || !error_status || !error_index || (bindings->len && !bindings->list)) return FALSE;
  *error_status = SNMP_ERRORSTATUS_NOERROR;
  *error_index = 0;
  if (pdu_type == SNMP_PDU_SET) {
    *error_status = bindings->len ? SNMP_ERRORSTATUS_READONLY : SNMP_ERRORSTATUS_NOERROR;
    *error_index = bindings->len ? 1 : 0;
    return TRUE;
  }
  if (pdu_type != SNMP_PDU_GET && pdu_type != SNMP_PDU_GETNEXT) {
    *error_status = SNMP_ERRORSTATUS_GENERR;
    return TRUE;
  }
  std::vector<Object> view = build_view();
  std::vector<const Object*> answers;
  for (UINT k = 0; k < bindings->len; ++k) {
    Oid name = name_of(bindings->list[k].name);
    auto it = pdu_type == SNMP_PDU_GET
                  ? std::lower_bound(view.begin(), view.end(), name,
                                     [](const Object& o, const Oid& n) { return o.oid < n; })
                  : std::upper_bound(view.begin(), view.end(), name,
                                     [](const Oid& n, const Object& o) { return n < o.oid; });
    if (it == view.end() || (pdu_type == SNMP_PDU_GET && it->oid != name)) {
      *error_status = SNMP_ERRORSTATUS_NOSUCHNAME;
      *error_index = static_cast<AsnInteger32>(k + 1);
      return TRUE;
    }
    answers.push_back(&*it);
  }
  for (UINT k = 0; k < bindings->len; ++k)
    if (!store(bindings->list[k], *answers[k])) {
      *error_status = SNMP_ERRORSTATUS_GENERR;
      *error_index = static_cast<AsnInteger32>(k + 1);
      return TRUE;
    }
  return TRUE;
}

BOOL SnmpExtensionTrap_(AsnObjectIdentifier*, AsnInteger32*, AsnInteger32*, DWORD*, SnmpVarBindList*) {
  return FALSE;  // no traps pending, ever
}

}  // namespace

const std::vector<BuiltinExport>& inetmib1_exports() {
  static const std::vector<BuiltinExport> all = {
      {"SnmpExtensionInit", morva_proc(&SnmpExtensionInit_)},
      {"SnmpExtensionInitEx", morva_proc(&SnmpExtensionInitEx_)},
      {"SnmpExtensionQuery", morva_proc(&SnmpExtensionQuery_)},
      {"SnmpExtensionTrap", morva_proc(&SnmpExtensionTrap_)},
  };
  return all;
}

namespace {
const HMODULE g_inetmib1 = register_builtin_module(u"inetmib1.dll", inetmib1_exports());
}  // namespace

}  // namespace morva::platform::net

MORVA_EXPORT void SnmpUtilAsnAnyFree(AsnAny* value) {
  if (!value) return;
  AsnAny& v = *value;
  switch (v.asnType) {
    case ASN_OCTETSTRING:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
      if (v.asnValue.string.dynamic && v.asnValue.string.stream) GlobalFree(v.asnValue.string.stream);
      break;
    case ASN_OBJECTIDENTIFIER:
      if (v.asnValue.object.ids) GlobalFree(v.asnValue.object.ids);
      break;
    default: break;
  }
  v = AsnAny{};
  v.asnType = ASN_NULL;
}
