// The per-user lists the fax dialogs keep from one use to the next: sender
// records, cover-sheet form files, address-book files, the fax page's
// column widths and its history of typed numbers. Each list is a run of
// values named by a prefix and the numbers 1, 2, ... under a key of
// HKEY_CURRENT_USER, read up to the first missing number and always
// rewritten whole (at most 10 entries).
//
// Beyond the lists' own rules: a writer removes every number above the new
// list up to 10, across gaps, so that a later, longer list never brings
// back an older entry; and while the process runs in the browser's
// protected mode, where nothing may be written, writers write nothing and
// report failure (last error ERROR_ACCESS_DENIED) rather than success.
#pragma once

#include <cstddef>

#include "win/types.h"

struct DddHandle;

namespace morva::fax {

inline constexpr INT kFaxListMaxEntries = 10;
inline constexpr DWORD kFaxUserKeyChars = 260;

// Key tails after the database's per-user bases (30 and 33).
inline constexpr char16_t kSenderInfoKeyTail[] = u"DirectFax\\SenderInfo";        // base 30
inline constexpr char16_t kCoverSheetFormsKeyTail[] = u"DirectFax\\CoverSheetForms";  // base 33
inline constexpr char16_t kAddressHistoryKeyTail[] = u"DirectFax\\AddressHistory";    // under the printer's key
// Value prefixes.
inline constexpr char16_t kSenderValuePrefix[] = u"VKM_FAX_SENDER";
inline constexpr char16_t kFormPathValuePrefix[] = u"VKM_FAX_FORMPATH";
inline constexpr char16_t kAddressBookValuePrefix[] = u"ADDRESSBOOK_FILENAME";
inline constexpr char16_t kColumnWidthValuePrefix[] = u"COLUMN_WIDTH";
inline constexpr char16_t kHistoryValuePrefix[] = u"ADDRESS_HISTORY";
inline constexpr char16_t kHistorySwitchValue[] = u"USE_ADDRESS_HISTORY";
inline constexpr INT kColumnWidthCount = 4;
inline constexpr DWORD kHistoryEntryChars = 129;

// How a list names its values: prefix + "%d", or for the number history
// prefix + "%2d" (a blank before the numbers 1 to 9).
enum class FaxListNaming { kPlain, kHistory };

// `out` = database string 30 (which 0) or 33 (which 1) + `tail` (may be
// null); 0 without database or output, or when the path does not fit.
int GetFaxUserKeyPath(DddHandle* database, int which, LPCWSTR tail, LPWSTR out, DWORD capacity);

// Reads the values numbered 1..count into the buffers (each `capacityBytes`
// long; a longer value is cut to fit, terminated) and stops at the first
// number that is missing or not a string. The number read; 0 when the key
// does not exist; -1 for missing arguments.
INT ReadNumberedStrings(LPCWSTR keyPath, LPCWSTR prefix, LPWSTR* buffers, DWORD capacityBytes, INT count,
                        FaxListNaming naming = FaxListNaming::kPlain);
// Writes the strings as values 1..count (REG_SZ with the terminator), then
// deletes every number from count + 1 up to 10. 1 done; 0 when the key can
// be neither opened nor created, a value cannot be written, the count is
// above 10, or in protected mode (nothing written).
INT WriteNumberedStrings(LPCWSTR keyPath, LPCWSTR prefix, const LPCWSTR* strings, INT count,
                         FaxListNaming naming = FaxListNaming::kPlain);

// One sender, 968 bytes; UTF-16 texts, zero-terminated and zero-filled.
struct SenderRecord {
  WCHAR SenderName[41];  // 1819: the record's key and its text in the list
  WCHAR Text1820[41];
  WCHAR Text1821[209];   // edited as at most 5 lines of 40 characters
  WCHAR Text1822[31];
  WCHAR Text1823[31];
  WCHAR Text1876[129];
  DWORD Confirmed;       // 1 confirmed; 0 the user must confirm it before use
};
static_assert(sizeof(SenderRecord) == 968);
static_assert(offsetof(SenderRecord, Text1820) == 82);
static_assert(offsetof(SenderRecord, Text1821) == 164);
static_assert(offsetof(SenderRecord, Text1822) == 582);
static_assert(offsetof(SenderRecord, Text1823) == 644);
static_assert(offsetof(SenderRecord, Text1876) == 706);
static_assert(offsetof(SenderRecord, Confirmed) == 964);
// The part stored under the "SenderInfo" key itself.
inline constexpr DWORD kSenderHeadBytes = 706;

// Reads the sender list of the "SenderInfo" key (heads) and of the same key
// with "2" appended (whole records) into `count` records: each head with
// Confirmed 1, and, from a whole record of the same sender name, its 1876
// text; with that text not empty the record reads unconfirmed when the two
// heads differ or the whole record is itself unconfirmed. The number read,
// 0 without key, -1 for missing arguments.
INT ReadSenderRecords(LPCWSTR keyPath, LPCWSTR prefix, SenderRecord* records, INT count);
// Writes heads and whole records (numbers 1..count) into both keys and
// deletes the numbers count + 1 up to 10 from both. 1 done; 0 on a failure
// (values written before it stay) or in protected mode (nothing written).
INT WriteSenderRecords(LPCWSTR keyPath, LPCWSTR prefix, const SenderRecord* records, INT count);

// Writes the six texts into settings 1819, 1820, 1821, 1822, 1823 and 1876.
// TRUE when all were written.
BOOL ApplySenderRecord(void* devmode, void* printerData, const SenderRecord* record);
// Reads the six settings into the record's texts. TRUE when all were read.
BOOL CaptureSenderRecord(void* devmode, void* printerData, SenderRecord* record);
// 0 when the six texts equal the settings, 1 at the first difference, -1
// when a setting cannot be read.
INT CompareSenderWithSettings(const SenderRecord* record, void* devmode, void* printerData);

// The number history's key: base 33, the printer's identity and
// "DirectFax\AddressHistory" (an identity is made and stored first when the
// printer has none). 1 with the path (260 characters), 0 on failure.
INT GetAddressHistoryKeyPath(HANDLE printer, DddHandle* database, LPWSTR out);
// "USE_ADDRESS_HISTORY" (missing counts as 0) into setting 1367 when it is
// 0 or 1. 1 written or no key; 0 for another stored value or a failed
// write.
INT LoadAddressHistorySwitch(LPCWSTR keyPath, void* devmode, void* printerData);
// The history entries (numbers 1, 2, ... up to 10), each 129 characters.
// The number read; 0 without key; -1 for missing arguments.
INT ReadAddressHistory(LPCWSTR keyPath, WCHAR (*entries)[kHistoryEntryChars]);
// Stores the drop-down's entries when setting 1367 is on (switch 1), else
// none (switch 0); numbers above the stored ones are deleted up to 10.
// 1 done; 0 when the setting cannot be read, more than 10 entries are
// given, a write fails, or in protected mode (nothing written).
INT StoreAddressHistory(LPCWSTR keyPath, void* devmode, void* printerData, const LPCWSTR* entries, INT count);

// The direct-fax mode: 1 when the fax-unit device option (bit 0xFFFF0029)
// is on; otherwise from setting 4369: 0 → 3, 1 → 2, 2 → 0. 1 with the mode;
// 0 for another value or when the setting cannot be read.
INT GetDirectFaxMode(BOOL faxUnitOption, void* devmode, void* printerData, WORD* mode);

// 1 when every character is U+0020 (an empty text included).
INT IsSpaceOnlyText(LPCWSTR text);

}  // namespace morva::fax
