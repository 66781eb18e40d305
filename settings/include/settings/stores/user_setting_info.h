// The per-user settings record UserSettingInfo (version 4, 2096 bytes) of a
// printer: filled from a settings block or from the database defaults,
// written back into a block, and kept per user in the registry ("UserSettingInfo"
// in the printer's key) or machine-wide as printer-data kind
// "UserSettingInfo".
//
// Record layout used here (little-endian): WORD version 4 at 0, the header
// words DDMID 8203 at 2, 8204 at 4, 5137 at 6, the model name (32 UTF-16
// characters) at 8, WORD section mask at 72, then three sections, each a
// WORD byte count followed by its settings:
//   mask bit 2: count at 74,   354 bytes at 76   (DDMIDs 5129-5159)
//   mask bit 1: count at 430,  968 bytes at 432  (DDMIDs 5150-5182)
//   mask bit 4: count at 1400, 694 bytes at 1402 (DDMIDs 5174-5183)
#pragma once

#include "win/types.h"

struct DddHandle;

inline constexpr DWORD kUserRecordSize = 2096;
inline constexpr DWORD kUserRecordVersion = 4;
inline constexpr DWORD kUserRecordVersionOffset = 0;
inline constexpr DWORD kUserRecordModelOffset = 8;
inline constexpr DWORD kUserRecordModelChars = 32;
inline constexpr DWORD kUserRecordMaskOffset = 72;
inline constexpr DWORD kUserSectionsAll = 7;

// Flags of the record's readers and writer: the low byte names sections;
// this bit selects the machine-wide copy in printer data.
inline constexpr DWORD kUserRecordMachineWide = 0x100;

// One section of the record.
struct UserRecordSection {
  DWORD mask;
  DWORD size_offset;
  DWORD offset;
  DWORD size;
  DWORD list;  // its field list of dma_UserSettingInfoFields
};
inline constexpr UserRecordSection kUserRecordSections[] = {
    {2, 74, 76, 354, 1},
    {1, 430, 432, 968, 2},
    {4, 1400, 1402, 694, 3},
};
static_assert(76 + 354 <= 430 && 432 + 968 <= 1400 && 1402 + 694 == kUserRecordSize);

// 1 for the DDMIDs the record holds (those of its three sections).
INT IsUserSettingItem(WORD ddmid);

// The record's section mask (WORD at 72).
WORD UserRecordMask(const BYTE* record);

// Zeroes the record, sets version 4, the section sizes and mask 7, copies
// DDMIDs 8203, 8204 and 5137 of the block into the header words, every
// section setting from the block and the database's model name. 1 filled,
// 0 when a setting cannot be read.
INT FillUserSettingInfoFromSettings(HANDLE printer, DddHandle* database, void* settings, BYTE* record);
// Sets the section sizes and mask 7 and writes each section setting's
// database default; a setting without one keeps what the record held. 1
// filled, 0 when a default cannot be read.
INT FillUserSettingInfoFromDatabase(HANDLE printer, DddHandle* database, BYTE* record);
// Writes the settings of the sections named in `mask` from the record into
// the block. 1 written, 0 at the first setting the block refuses.
INT ApplyUserSettingInfo(void* settings, const BYTE* record, DWORD mask);

// Loads the user's record (or, with kUserRecordMachineWide in `flags`, only
// the machine-wide copy; the machine-wide copy also when the user has
// none) over the database defaults, converting an older version; sections
// the stored record's mask does not name keep the defaults. A record from
// the machine-wide copy gets the mask 2. 1 loaded, 0 when the per-user
// store or the defaults fail.
INT LoadUserSettingInfo(HANDLE printer, DddHandle* database, BYTE* record, DWORD flags, BOOL convert);
// As LoadUserSettingInfo; when `flags` name section 2 and the loaded record
// lacks it, section 2 comes from the machine-wide copy (or the defaults).
INT ReadUserSettingInfo(HANDLE printer, DddHandle* database, BYTE* record, DWORD flags, BOOL convert);
// Stores the record: with kUserRecordMachineWide as printer-data kind
// "UserSettingInfo" (mask := low byte of the flags); otherwise as the
// user's value, keeping the sections of the stored record that the flags
// do not name (mask := flags' low byte | stored mask). 1 stored.
INT WriteUserSettingInfo(HANDLE printer, DddHandle* database, BYTE* record, DWORD flags);
// 1 when the printer's key holds the older generation's " UserSettingInfo".
INT ReadLegacyUserSettingInfo(HANDLE printer, DddHandle* database);
// Compares DDMIDs 5168 and 5169 of `settings` with the printer's block;
// when either differs, section 4 of the database defaults is written into
// `settings` and *changed becomes 1. 1 done, 0 on a failed read.
INT SyncUserSettingsFromPrinter(HANDLE printer, DddHandle* database, void* settings, BOOL* changed);
