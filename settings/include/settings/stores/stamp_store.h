// The stamp (watermark) store: six built-in stamps and up to 32 of the
// user's own, kept as 308-byte records under the printer's per-user
// "Stamps" key, one REG_BINARY value per stamp named by the stamp.
#pragma once

#include <cstddef>

#include "win/gdi_types.h"
#include "win/registry.h"
#include "win/types.h"

struct DddHandle;

// A stored stamp, 308 bytes as stored.
struct StampRecord {
  WCHAR name[33];     // DDMID 297
  WCHAR text[65];     // DDMID 299
  DWORD colour;       // DDMID 301 (COLORREF)
  LONG field200;     // DDMID 300
  LONG field204;     // DDMID 1287
  WORD frame;         // DDMID 302: 0 none, 1 box, 2 circle
  WORD placement;     // DDMID 303: horizontal alignment high byte, vertical low byte
  LONG field212;     // DDMID 1288
  LOGFONTW font;      // DDMID 304, height and width in points
};
static_assert(sizeof(StampRecord) == 308);
static_assert(offsetof(StampRecord, text) == 66 && offsetof(StampRecord, colour) == 196 &&
              offsetof(StampRecord, field200) == 200 && offsetof(StampRecord, field204) == 204 &&
              offsetof(StampRecord, frame) == 208 && offsetof(StampRecord, placement) == 210 &&
              offsetof(StampRecord, field212) == 212 && offsetof(StampRecord, font) == 216);

inline constexpr DWORD kMaxUserStamps = 32;
inline constexpr INT kBuiltInStampCount = 6;

// Results of the store.
inline constexpr INT kStampOk = 1;
inline constexpr INT kStampNameTaken = 2;
inline constexpr INT kStampBuiltInName = 3;
inline constexpr INT kStampStoreFull = 4;
inline constexpr INT kStampNotStored = 6;
inline constexpr INT kStampDiffers = 7;
inline constexpr INT kStampNoKey = 8;
inline constexpr INT kStampRegistryError = 9;
inline constexpr INT kStampWriteFailed = 10;
inline constexpr INT kStampDeleteFailed = 11;
inline constexpr INT kStampBufferTooSmall = 12;
inline constexpr INT kStampNotFound = 99;

// Entry 0 of the built-in table is the default record, 1-6 the built-in
// stamps. Texts and numbers come from the resource module ("Undefined" for
// a missing text). TRUE, FALSE for another index or null.
BOOL BuiltInStampToRecord(INT index, StampRecord* record);
// TRUE when `name` is the name of an entry of the built-in table (the
// default record included), compared without regard to case.
BOOL IsBuiltInStampName(LPCWSTR name);

// Opens the user's Stamps key; a missing key is copied from the
// machine-wide key (HKEY_LOCAL_MACHINE, global field 30 + "Stamps") or,
// without one, made with the built-in stamps. 1 with the key (the caller
// closes it), 8 when no key can be had, 99 bad arguments or no path.
INT OpenStampsKey(HANDLE printer, DddHandle* database, HKEY* key);
// Creates "Stamps" with the six built-in stamps and "Stamps\Others" with
// "Stamp Version" = "0.01"; on a failure both keys are deleted again. 1, 10
// write failure, 99 a key cannot be created.
INT CreateDefaultStamps(HANDLE printer, DddHandle* database);

// No name: the default record. With `built_in_only`: the built-in stamp of
// that name, else the default record. Otherwise the stored stamp whose
// record name is `name` (1, 99 not stored, 9 registry error) or, without a
// Stamps key, the built-in stamp of that name (8 when none).
INT ReadStamp(HANDLE printer, LPCWSTR name, StampRecord* record, BOOL built_in_only, DddHandle* database);
// The names of the stored stamps (at most 32), each ended by a zero and the
// list by an empty string; *size (bytes) is the buffer's room in and the
// bytes needed out. 1, 12 no or too small a buffer (names are copied while
// they fit), 9 enumeration error; without a Stamps key the six built-in
// names.
INT ListStampNames(HANDLE printer, LPWSTR buffer, DWORD* count, DWORD* size, DddHandle* database);
// The six built-in names in the same form; a null buffer with a null count
// asks only for the size. 1, 12, 99.
INT ListBuiltInStampNames(LPWSTR buffer, DWORD* count, DWORD* size);
// 1 stored, 3 built-in name, 8, 99 not stored, 9.
INT StampExists(HANDLE printer, LPCWSTR name, DddHandle* database);
// 1 deleted, 3 built-in name, 8, 99 not stored, 11 delete failure, 9.
INT DeleteStamp(HANDLE printer, LPCWSTR name, DddHandle* database);
// 1 free (also a null name), 2 stored or built-in, 4 already 32 stamps, 8, 9.
INT CheckNewStampName(HANDLE printer, LPCWSTR name, DddHandle* database);
// Writes the record as the value named by its name: 1, 3 a built-in name,
// 4 when 32 are stored and none has this name, 8, 9, 10, 99 an empty name.
INT SaveStamp(HANDLE printer, const StampRecord* record, DddHandle* database);
// 1 the stored stamp of the record's name equals it (all but the font's
// quality), 7 it differs, 6 none stored, 8, 9.
INT CompareStoredStamp(HANDLE printer, const StampRecord* record, DddHandle* database);
// 1 with the number of stored stamps, 8, 9.
INT CountStoredStamps(HANDLE printer, DWORD* count, DddHandle* database);
