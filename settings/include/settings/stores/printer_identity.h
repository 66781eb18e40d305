// The printer identity: 16 bytes kept in the printer data value "PRNID"
// (REG_BINARY). It names the printer's per-user settings key, so per-user
// settings follow the printer rather than its (renameable) name. It is made
// once, from the creation time and the printer name through MD5, and never
// recomputed or overwritten.
#pragma once

#include "win/crypt.h"
#include "win/types.h"

inline constexpr DWORD kPrinterIdBytes = 16;
// 32 upper-case hexadecimal digits and the terminator.
inline constexpr DWORD kPrinterIdTextChars = 33;

// MD5 (RFC 1321) through the system's CryptoAPI. A context lives on the
// caller's stack; Md5Final releases what Md5Init acquired, also when it
// fails. Md5Init answers FALSE when no hash can be had (then Update and
// Final fail too).
struct Md5Context {
  HCRYPTPROV provider;
  HCRYPTHASH hash;
  BOOL failed;
};
BOOL Md5Init(Md5Context* context);
BOOL Md5Update(Md5Context* context, const void* data, DWORD bytes);
BOOL Md5Final(Md5Context* context, BYTE digest[16]);

// 1 with the printer's stored identity; 0 when "PRNID" is missing, cannot
// be read or is not exactly 16 bytes.
INT ReadPrinterId(HANDLE printer, BYTE id[16]);

// 1 with a new identity: MD5 over the current time (seconds since 1970,
// 32-bit little-endian) followed by the UTF-16 bytes of the printer name of
// PRINTER_INFO_1 (without the terminator). 0 when the printer's name cannot
// be read or no digest can be made, and for a null out pointer.
INT CreatePrinterId(HANDLE printer, BYTE id[16]);

// Stores the identity unless the printer already holds one: 1 when a
// 16-byte "PRNID" exists (left untouched) or the write succeeded; 0 when the
// write failed. A "PRNID" of any other size is no identity and is replaced.
INT WritePrinterId(HANDLE printer, const BYTE id[16]);

// The text form: two upper-case hexadecimal digits per byte in stored
// order, cut to `capacity` characters with the terminator. 1 when written;
// 0 for a missing identity or destination or a capacity of 0.
INT FormatPrinterIdHex(const BYTE id[16], LPWSTR destination, DWORD capacity);
