/* The printer-management interface of libdevlink.so for outside callers.
 *
 * A caller creates a handle (PSWInit), sets the community strings, finds
 * devices by broadcast, opens one device by address, reads its installed
 * options by name and its status tables as fixed-size records, cancels
 * jobs and destroys the handle (PSWUnInit). Every call runs synchronously
 * on the caller's thread; one handle is used by one thread at a time,
 * different handles may be used on different threads.
 *
 * Result codes: 0 success; -2 a required pointer is null, a transport or
 * selector is out of range, or the device does not fit; -3 out of memory;
 * -5 unknown command, unknown option name or a transport that discovery
 * does not serve; -8 the device is not opened yet; -11 a row or tray index
 * is out of range; other negative codes come from the SNMP layer (-203
 * timeout, -214 SNMPv3 security failure, ...). PSWInit alone answers the
 * positive 3 when the handle itself cannot be allocated.
 *
 * Transports: 1 IPv4 over UDP, 2 IPX, 3 a protocol without transport,
 * 5 IPv6 over UDP. Timeouts are milliseconds per try; retries count the
 * tries after the first. */
#ifndef DEVICE_API_PSW_H
#define DEVICE_API_PSW_H

#include <stdint.h>

#include "device_api/psw_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PSW_API __attribute__((visibility("default")))

/* Opaque handle. */
typedef struct PSWHandleOpaque* PSWHANDLE;
/* 16-bit boolean: 0 or 1 (PSWIsSupportedOID also answers 0xFFFE). */
typedef uint16_t PSWBOOL;

#define PSW_TRANSPORT_IPV4 1
#define PSW_TRANSPORT_IPX 2
#define PSW_TRANSPORT_NONE 3
#define PSW_TRANSPORT_IPV6 5

/* SNMP version selectors of the Ex forms: 2 selects SNMPv3 with the
 * PSWUsmParam record; any other value SNMPv1 with a community. */
#define PSW_SNMP_V1 0
#define PSW_SNMP_V3 2

/* Handle and commands. PSWCommandString's commands are
 * "CmdSetCommunityGetOption", "CmdSetCommunityFind" and
 * "CmdSetCommunityWrite"; a value holds at most 255 characters (a longer
 * one is refused with -2). No integer command exists. */
PSW_API int32_t PSWInit(PSWHANDLE* handle);
PSW_API void PSWUnInit(PSWHANDLE handle);
PSW_API int32_t PSWCommandString(PSWHANDLE handle, const char* command, const char* value);
PSW_API int32_t PSWCommandInteger(PSWHANDLE handle, const char* command, int32_t* value);

/* Discovery. A filter is a sysObjectID prefix of at most 63 characters
 * (a longer one is refused with -2); 50 filters at most, more are ignored.
 * A null address broadcasts to 255.255.255.255 (IPv4) or ff02::1 (IPv6).
 * PSWGetDeviceNext fills four 64-byte buffers: address, model name, an
 * empty reserved text and the sysObjectID. */
PSW_API int32_t PSWFindAddFilter(PSWHANDLE handle, const char* sys_object_id_prefix);
PSW_API void PSWFindClearFilter(PSWHANDLE handle);
PSW_API int32_t PSWFindDeviceSNMP(PSWHANDLE handle, const char* address, int32_t transport, uint32_t timeout_ms,
                                  uint32_t retries, int32_t* device_count);
PSW_API int32_t PSWFindDeviceSNMPEx(PSWHANDLE handle, const char* address, int32_t transport, int32_t snmp_version,
                                    PSWUsmParam usm, uint32_t timeout_ms, uint32_t retries, int32_t* device_count);
PSW_API void PSWFindResetPosition(PSWHANDLE handle);
PSW_API PSWBOOL PSWGetDeviceNext(PSWHANDLE handle, char* address, char* model_name, char* reserved,
                                 char* sys_object_id);

/* Device and options. Option texts are copied into a 256-byte buffer. */
PSW_API int32_t PSWInitDevice(PSWHANDLE handle, const char* address, int32_t transport, uint32_t timeout_ms,
                              uint32_t retries);
PSW_API int32_t PSWInitDeviceEx(PSWHANDLE handle, const char* address, int32_t transport, int32_t snmp_version,
                                PSWUsmParam usm, uint32_t timeout_ms, uint32_t retries);
PSW_API PSWBOOL PSWIsSupportedOID(PSWHANDLE handle, const char* sys_object_id_prefix);
PSW_API int32_t PSWRefreshOptions(PSWHANDLE handle);
PSW_API int32_t PSWGetOptionValueBoolean(PSWHANDLE handle, const char* name, uint16_t index, PSWBOOL* value);
PSW_API int32_t PSWGetOptionValueInteger(PSWHANDLE handle, const char* name, uint16_t index, long* value);
PSW_API int32_t PSWGetOptionValueUInteger(PSWHANDLE handle, const char* name, uint16_t index, unsigned long* value);
PSW_API int32_t PSWGetOptionValueString(PSWHANDLE handle, const char* name, uint16_t index, char* buffer);

/* Status tables: each count function reads its table from the device
 * again; each row function copies one row of the last read (-11 when the
 * index is not below that count). */
PSW_API int32_t PSWGetNumberOfStorageInfo(PSWHANDLE handle, int32_t* count);
PSW_API int32_t PSWGetStorageInfo(PSWHANDLE handle, int32_t index, PSWStorageInfo* info);
PSW_API int32_t PSWGetNumberOfDeviceInfo(PSWHANDLE handle, int32_t* count);
PSW_API int32_t PSWGetDeviceInfo(PSWHANDLE handle, int32_t index, PSWDeviceInfo* info);
/* info[0] printer status, info[1] detected error state. */
PSW_API int32_t PSWGetPrinterInfo(PSWHANDLE handle, int32_t info[2]);
PSW_API int32_t PSWGetNumberOfInputTrayInfo(PSWHANDLE handle, int32_t* count);
PSW_API int32_t PSWGetInputTrayInfo(PSWHANDLE handle, int32_t index, PSWInputTrayInfo* info);
PSW_API int32_t PSWGetNumberOfInputTrayInfoEx(PSWHANDLE handle, int32_t* count);
PSW_API int32_t PSWGetInputTrayInfoEx(PSWHANDLE handle, int32_t index, PSWInputTrayInfoEx* info);
PSW_API int32_t PSWGetNumberOfOutputTrayInfo(PSWHANDLE handle, int32_t* count);
PSW_API int32_t PSWGetOutputTrayInfo(PSWHANDLE handle, int32_t index, PSWOutputTrayInfo* info);
PSW_API int32_t PSWGetNumberOfTonerInfo(PSWHANDLE handle, int32_t* count);
PSW_API int32_t PSWGetTonerInfo(PSWHANDLE handle, int32_t index, PSWTonerInfo* info);
PSW_API int32_t PSWGetNumberOfAlertInfo(PSWHANDLE handle, int32_t* count);
PSW_API int32_t PSWGetAlertInfo(PSWHANDLE handle, int32_t index, PSWAlertInfo* info);
/* Job classes: 0 every job, 1 jobs not marked 17, 2 jobs marked 17. */
PSW_API int32_t PSWGetNumberOfJobInfo(PSWHANDLE handle, int32_t job_class, int32_t* count);
PSW_API int32_t PSWGetJobInfo(PSWHANDLE handle, int32_t index, PSWJobInfo* info);
PSW_API int32_t PSWCancelJob(PSWHANDLE handle, const char* job_id);
/* Selector 0: standard Printer-MIB localization, 1: the private objects. */
PSW_API int32_t PSWGetCharSet(PSWHANDLE handle, int32_t selector, int32_t* charset);

/* 1 when the transport can be used on this machine. */
PSW_API PSWBOOL PSWTransportAvailable(int32_t transport);

#ifdef __cplusplus
}
#endif

#endif /* DEVICE_API_PSW_H */
