// Per-user values of a printer under HKEY_CURRENT_USER. The printer's key is
// the device database's per-user base path followed by the 32 hexadecimal
// digits of the printer's identity ("PRNID"), optionally followed by "\" and
// a sub-key; the whole path stays within 260 characters.
#pragma once

#include "win/registry.h"
#include "win/types.h"

struct DddHandle;

inline constexpr DWORD kUserKeyPathChars = 260;

// Destination = base path (cut to the capacity); when base length + 33 is
// not below the capacity only the base path is given; otherwise the 32 hex
// digits follow, and "\" + sub-key when it fits (its length + the current
// length + 1 below the capacity). 1 written, 0 for missing arguments.
INT BuildUserRegistryKey(LPCWSTR base, const BYTE* prnid, LPCWSTR sub_key, LPWSTR destination, DWORD capacity);

// Sub-keys of the printer's key used by the stores built on it.
inline constexpr char16_t kUserSubKeyStamps[] = u"Stamps";
inline constexpr char16_t kUserSubKeyOtherStamps[] = u"Stamps\\Others";
inline constexpr char16_t kUserSubKeyPaperMargin[] = u"Paper Margin";
inline constexpr char16_t kUserSubKeyDirectFax[] = u"DirectFax";

// The key path of the printer's stamps: kind 0 "Stamps", kind 1
// "Stamps\Others"; any other kind gives 0. The printer gets an identity
// first when it has none (0 when that fails). 1 written.
INT GetStampsKeyPath(HANDLE printer, DddHandle* database, LPWSTR destination, DWORD capacity, INT kind);
// The key path of the printer's paper margins ("Paper Margin"), with the
// same identity guarantee. 1 written.
INT GetPaperMarginKeyPath(HANDLE printer, DddHandle* database, LPWSTR destination, DWORD capacity);
// Opens the printer's key (with the sub-key when given) under
// HKEY_CURRENT_USER, creating it when missing; the printer gets an identity
// first when it has none. 1 with the open key, which the caller closes.
INT OpenUserRegistryKey(HANDLE printer, DddHandle* database, LPCWSTR sub_key, HKEY* key);

// Reads a per-user value of the printer into a new global block that the
// caller frees. 0 read; 1 not there (no identity, no key, no value, or a
// value of another type); -1 error (missing arguments, no memory, no base
// path). The identity is not created.
INT ReadUserRegistryValueAlloc(HANDLE printer, BYTE** block, DWORD* size, DWORD type, LPCWSTR sub_key,
                               LPCWSTR name, DddHandle* database);

// As ReadUserRegistryValueAlloc, copying the value into the caller's buffer
// (at most `capacity` bytes; `copied`, when given, receives the bytes
// copied). Same results.
INT ReadUserRegistryValue(HANDLE printer, DddHandle* database, void* destination, DWORD capacity, DWORD type,
                          LPCWSTR sub_key, LPCWSTR name, DWORD* copied = nullptr);

// Writes a per-user value: makes sure the printer has an identity (creating
// and storing one when missing), opens or creates the key, writes the value
// and records the printer's attributes in the printer's own key. 1 when all
// of that succeeded.
INT WriteUserRegistryValue(HANDLE printer, DddHandle* database, const void* data, DWORD size, DWORD type,
                           LPCWSTR sub_key, LPCWSTR name);

// Deletes the value "UserSettingInfo" of the printer's key. 1 when deleted.
INT DeleteUserSettingInfoValue(HANDLE printer, DddHandle* database);

// Copies every value of `source` (names up to 260 characters, data of any
// size) into `destination`, then every sub-key recursively (created in the
// destination). 0 when a value cannot be read or written or a sub-key
// cannot be opened or created; what was copied before stays.
INT CopyRegistryTree(HKEY destination, HKEY source);

// When `key` has no unnamed value yet, writes the printer's Attributes
// (PRINTER_INFO_4, else PRINTER_INFO_5) there as 4 bytes of REG_BINARY. 1
// when the value was present or written.
INT RecordPrinterAttributes(HANDLE printer, HKEY key);

// Clean-up of per-user keys.
// Deletes `sub_key` of `key` with everything below it, sub-keys first. 1
// when deleted.
INT DeleteRegistryTree(HKEY key, LPCWSTR sub_key);
// Deletes the key `base` + `name` under HKEY_CURRENT_USER: with a mask of 0
// always, otherwise only when the key's recorded attributes (its unnamed
// 4-byte value) share a bit with the mask. 1 when deleted.
INT DeleteUserKeyOfPrinter(LPCWSTR name, LPCWSTR base, DWORD mask);
// Deletes the keys under `base` that no local printer's identity names and
// whose recorded attributes say "local" (0x40); the number deleted. When the
// local printers' identities cannot all be had, nothing is deleted.
DWORD PurgeStaleUserKeys(LPCWSTR base);
// With a printer, deletes its key when the recorded attributes say "local";
// without, purges the stale keys. 1 done (also when there was nothing to
// delete), 0 when the base path or the printer's identity key cannot be
// handled.
INT DeleteUserRegistryKeys(HANDLE printer, DddHandle* database);
