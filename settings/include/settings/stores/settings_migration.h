// Settings written by older versions of this driver: a private DEVMODE an
// application hands in and a PrinterData block a printer still holds are
// recognised, compared with the current format and copied, converted field
// by field, or replaced by the database defaults. Every conversion starts
// from the defaults and brings over what the old data holds.
#pragma once

#include <cstddef>

#include "win/types.h"

struct DddHandle;

// The identity of a private DEVMODE (DDMIDs 4, 2, 5, 257, 258 and the
// driver name 259, cut to 31 characters).
struct DevmodeIdentity {
  WORD size = 0;
  WORD spec_version = 0;
  WORD driver_extra = 0;
  WORD version = 0;
  WORD layout = 0;
  WCHAR name[32] = {};
};

// The identity of a PrinterData block (DDMIDs 8203, 8204, 8202, 5137).
struct PrinterDataIdentity {
  WORD layout = 0;
  WORD version = 0;
  WORD size = 0;
  WORD model = 0;
};

// Versions that separate the conversions.
inline constexpr WORD kDevmodeFieldStepVersion = 20483;  // field steps from here on
inline constexpr WORD kPrinterDataFieldStepVersion = 20480;
// A DEVMODE whose private part is shorter is not recognised.
inline constexpr WORD kMinimumDriverExtra = 69;
// Tells the conversion to take the DEVMODE's extent from its own header.
inline constexpr DWORD kDevmodeSizeFromHeader = 0xFFFFFFFFu;

// Reads the identity of the DEVMODE `devmode`, of which `available` bytes
// may be read (kDevmodeSizeFromHeader: dmSize + dmDriverExtra). FALSE when
// the head is not there, dmDriverExtra is below 69, or dmSize +
// dmDriverExtra exceeds what is available.
BOOL ReadDevmodeHeaderInfo(const void* devmode, DWORD available, DevmodeIdentity* out);
// Reads a PrinterData block's identity; `old_version` decides whether the
// stored model code is trusted (see the .cpp). FALSE for null arguments.
BOOL ReadPrinterDataIdentity(const void* block, const PrinterDataIdentity* current, PrinterDataIdentity* out);

// 1 foreign (or newer), 2 same version, 3 older but at least 20483, 4
// older than 20483.
INT ComparePrivateDevmodeHeader(const DevmodeIdentity& current, const DevmodeIdentity& source);

// Brings the private DEVMODE `source` into `destination` (1604 bytes
// written). `source_size` bounds what is read of `source` beside its own
// dmSize + dmDriverExtra. 1 same version copied, 0 converted, 2 replaced by
// the defaults for `printer_name`, -1 when not even the defaults can be
// made.
INT ConvertPrivateDevmode(const void* source, void* destination, LPCWSTR printer_name, DddHandle* database,
                          DWORD source_size = kDevmodeSizeFromHeader);

// Brings the stored PrinterData block `stored` (`stored_size` readable
// bytes) into the 7972-byte `destination`. 1 same version copied, 0
// converted, 2 replaced by the defaults, -1 when not even the defaults can
// be made.
INT ConvertPrinterDataBlock(const void* stored, DWORD stored_size, void* destination, DddHandle* database);

// ---- old layouts ---------------------------------------------------------

// One field of an old DEVMODE layout: the setting, its value type, its
// offset in the old DEVMODE and, for texts and blocks, its size.
struct LegacyDevmodeField {
  WORD ddmid;
  WORD type;
  DWORD offset;
  DWORD size;
};
// The fields an old DEVMODE of `version` carries (every field table of its
// range up to that version) into `out` (room for `capacity` rows). Returns
// the count, 0 for a version outside the known ranges.
std::size_t CollectLegacyDevmodeFields(WORD version, LegacyDevmodeField* out, std::size_t capacity);

// The user paper slots of old PrinterData blocks. Blocks before 16390 keep
// five slots at byte 896; later ones ten 34-byte rows at byte 1840.
struct LegacyUserPaperSlots {
  WORD width[5];
  WORD length[5];
  WCHAR name[5][15];
};
static_assert(sizeof(LegacyUserPaperSlots) == 170);
static_assert(offsetof(LegacyUserPaperSlots, length) == 10);
static_assert(offsetof(LegacyUserPaperSlots, name) == 20);
inline constexpr DWORD kLegacyUserPaperOffset = 896;

struct LegacyUserPaperRow {
  WORD width;
  WORD length;
  WCHAR name[15];
};
static_assert(sizeof(LegacyUserPaperRow) == 34);
static_assert(offsetof(LegacyUserPaperRow, name) == 4);
inline constexpr DWORD kLegacyUserPaperRowsOffset = 1840;
inline constexpr DWORD kLegacyUserPaperRowCount = 10;
