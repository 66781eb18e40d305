// SNMP extension-agent interface: the records a master agent and an
// extension agent exchange, and the entry points of an extension agent.
// The built-in module "inetmib1.dll" is the MIB-II agent of this machine
// (interfaces, IP addresses, IPv4 routes) over the same data as the IP
// Helper stand-in (win/iphlpapi.h).
//
// Memory: names' identifier arrays and dynamic octet strings are
// GlobalAlloc'ed; whoever replaces or drops one frees it with GlobalFree.
#pragma once

#include <cstddef>

#include "win/types.h"

#define ASN_INTEGER 0x02
#define ASN_OCTETSTRING 0x04
#define ASN_NULL 0x05
#define ASN_OBJECTIDENTIFIER 0x06
#define ASN_SEQUENCE 0x30
#define ASN_IPADDRESS 0x40
#define ASN_COUNTER32 0x41
#define ASN_GAUGE32 0x42
#define ASN_TIMETICKS 0x43
#define ASN_OPAQUE 0x44

#define SNMP_PDU_GET 0xA0
#define SNMP_PDU_GETNEXT 0xA1
#define SNMP_PDU_SET 0xA3

#define SNMP_ERRORSTATUS_NOERROR 0
#define SNMP_ERRORSTATUS_TOOBIG 1
#define SNMP_ERRORSTATUS_NOSUCHNAME 2
#define SNMP_ERRORSTATUS_BADVALUE 3
#define SNMP_ERRORSTATUS_READONLY 4
#define SNMP_ERRORSTATUS_GENERR 5

using AsnInteger32 = LONG;

struct AsnOctetString {
  BYTE* stream;
  UINT length;
  BOOL dynamic;  // stream is GlobalAlloc'ed and owned by the value
};

struct AsnObjectIdentifier {
  UINT idLength;
  UINT* ids;
};

struct AsnAny {
  BYTE asnType;
  union {
    AsnInteger32 number;
    UINT unsigned32;
    ULONGLONG counter64;
    AsnOctetString string;  // also SEQUENCE, IpAddress, Opaque
    AsnObjectIdentifier object;
  } asnValue;
};

struct SnmpVarBind {
  AsnObjectIdentifier name;
  AsnAny value;
};

struct SnmpVarBindList {
  SnmpVarBind* list;
  UINT len;
};

static_assert(sizeof(AsnOctetString) == 16 && sizeof(AsnObjectIdentifier) == 16);
static_assert(sizeof(AsnAny) == 24 && offsetof(AsnAny, asnValue) == 8);
static_assert(sizeof(SnmpVarBind) == 40 && offsetof(SnmpVarBind, value) == 16);
static_assert(sizeof(SnmpVarBindList) == 16);

using PFNSNMPEXTENSIONINIT = BOOL (*)(DWORD uptime_reference, HANDLE* trap_event, AsnObjectIdentifier* first_region);
using PFNSNMPEXTENSIONINITEX = BOOL (*)(AsnObjectIdentifier* next_region);
using PFNSNMPEXTENSIONQUERY = BOOL (*)(BYTE pdu_type, SnmpVarBindList* bindings, AsnInteger32* error_status,
                                       AsnInteger32* error_index);
using PFNSNMPEXTENSIONTRAP = BOOL (*)(AsnObjectIdentifier* enterprise, AsnInteger32* generic_trap,
                                      AsnInteger32* specific_trap, DWORD* time_stamp, SnmpVarBindList* bindings);

// Frees what a value owns (a dynamic octet string, an identifier array)
// and leaves it an ASN_NULL.
MORVA_EXPORT void SnmpUtilAsnAnyFree(AsnAny* value);
