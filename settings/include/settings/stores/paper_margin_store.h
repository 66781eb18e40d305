// The four page margins a user sets for each paper size: per printer in
// the "PaperMarginArray" printer data and per user under the printer's
// "Paper Margin" key. Both stores keep the margins in one fixed order;
// callers work in the order of the page orientation (RotatePaperMargins).
#pragma once

#include "win/registry.h"
#include "win/types.h"

struct DddHandle;

// Four margins in stored order m1..m4.
struct PaperMargin {
  LONG m[4];
};
static_assert(sizeof(PaperMargin) == 16);

// One entry of the array, 20 bytes as stored: {WORD paper id, WORD 0, margins}.
struct PaperMarginEntry {
  WORD paper;
  WORD reserved;
  PaperMargin margins;
};
static_assert(sizeof(PaperMarginEntry) == 20);

// The printer's margins in memory: `entries` is GlobalAlloc'ed (null when
// empty), `bytes` = 20 x `count`.
struct PaperMarginArray {
  PaperMarginEntry* entries;
  DWORD bytes;
  DWORD count;
};

inline constexpr LONG kDefaultPaperMargin = 46;
inline constexpr DWORD kPaperMarginValueBytes = 20;

// Results.
inline constexpr INT kMarginOk = 1;
inline constexpr INT kMarginMissing = -2;
inline constexpr INT kMarginWriteFailed = -3;
inline constexpr INT kMarginBadArgument = -5;
inline constexpr INT kMarginNotFound = -100;

// Directions of RotatePaperMargins.
inline constexpr INT kMarginsToStored = 1;
inline constexpr INT kMarginsToCaller = 2;

// Exchanges margins between stored order `stored` and the caller's order
// `caller` for orientation 1 (portrait: caller = s1, s2, s4, s3) or 2
// (landscape: caller = s3, s4, s1, s2). Direction 1 writes `stored` from
// `caller`, 2 writes `caller` from `stored`. 1, or -5 for another
// orientation or direction or a null pointer.
INT RotatePaperMargins(INT direction, INT orientation, PaperMargin* stored, PaperMargin* caller);
// 46 for each margin.
void InitDefaultPaperMargins(PaperMargin* margins);
// The defaults in the caller's order (they are all equal); 1, -5 for null.
INT GetDefaultPaperMargins(PaperMargin* margins, INT orientation);

// The printer's array: empty (null entries, 0, 0) when nothing is stored or
// the stored blob cannot be read; null only when out of memory.
PaperMarginArray* LoadPaperMarginArray(HANDLE printer);
// 1 stored, -3 write failure, -5 empty array or bad arguments.
INT SavePaperMarginArray(HANDLE printer, const PaperMarginArray* array);
// 1, -100 for null.
INT FreePaperMarginArray(PaperMarginArray* array);
// Stored-order margins of `paper`: 1, -100 when absent.
INT FindPaperMargin(const PaperMarginArray* array, WORD paper, PaperMargin* margins);
// Replaces the entry of `paper` or appends one: 1, -100 out of memory.
INT SetPaperMargin(PaperMarginArray* array, WORD paper, const PaperMargin* margins);
// Caller-order margins converted to stored order and set.
INT StoreTemporaryPaperMargin(PaperMarginArray* array, WORD paper, const PaperMargin* caller, INT orientation);
// The entry of `paper` in the caller's order: 1, -100 absent, -5.
INT FindPaperMarginRotated(const PaperMarginArray* array, WORD paper, INT orientation, PaperMargin* caller);

// The per-user key (HKEY_CURRENT_USER, the printer's key + "Paper Margin"),
// created when missing; a new key is seeded from HKEY_LOCAL_MACHINE's
// `base_path` + "Paper Margin" when that exists. A null `base_path` means
// the database's global field 30. `path` (260 characters) receives the key
// path when given. 1 open; -100 when the path cannot be built; a create
// failure is returned as its status.
INT OpenPaperMarginKey(HANDLE printer, DddHandle* database, LPCWSTR base_path, HKEY* key, LPWSTR path = nullptr);
// The user's value of `paper` (stored order): 1, -2 missing or damaged.
INT ReadPaperMargin(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, PaperMargin* margins);
// 1 written, -3 failure.
INT WritePaperMargin(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, const PaperMargin* margins);
// The same in the caller's order.
INT ReadPaperMarginRotated(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, INT orientation,
                           PaperMargin* caller);
INT SavePaperMargin(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, const PaperMargin* caller,
                    INT orientation);
// Flag 0 deletes the printer's array (1, -100 on failure); flag 1 deletes
// the user's key and creates it again empty (1, or the failure).
INT ResetPaperMargins(HANDLE printer, DddHandle* database, LPCWSTR base_path, INT flag);
// The margins of `paper` in the caller's order: the user's value when
// `use_registry` is set and it exists, else the array's entry, else the
// defaults. 1, -5 for a bad orientation or null `caller`.
INT GetStoredPaperMargins(HANDLE printer, DddHandle* database, LPCWSTR base_path, WORD paper, PaperMargin* caller,
                          BOOL use_registry, const PaperMarginArray* array, INT orientation);
