// One direct-fax destination as the fax page edits it and as blobs store it:
// 820 bytes, little-endian, texts UTF-16 with a terminator and zero filling.
#pragma once

#include <cstddef>

#include "fax/fax_blob.h"
#include "win/types.h"

namespace morva::fax {

enum FaxDestinationKind : WORD { kFaxKindNumber = 0, kFaxKindSpeedDial = 1, kFaxKindIpAddress = 2 };

struct FaxDestination {
  WORD Kind;                  // FaxDestinationKind
  WCHAR Number[129];          // as typed, dial characters kept
  WORD Line;                  // 0 none, 1 extension prefix, 2 outside-line prefix
  WCHAR Name[41];
  WCHAR Company[83];          // may hold one CR LF pair
  WORD CommMode;              // 0, 1 or 2
  WORD BoxMode;               // 0 none, 1 mailbox, 2 relay broadcast
  WORD MailboxId;
  WCHAR MailboxPassword[9];
  WORD RelayId;
  WORD RelayPrint;            // 1: the relay station prints too
  WCHAR RelayNumbers[60];     // comma-separated 1- or 2-digit numbers
  WCHAR FCode[21];            // sub-address
  WCHAR FCodePassword[21];
  WORD Reserved1;
  DWORD SourceKind;           // 1: taken from the device address book
  DWORD SourceValue;          // 0 for a device entry: not confirmed by the validator
  BYTE OldSourceId[16];       // identifier of an entry converted from the older form
  WCHAR SourceId[25];         // Base64 text of the address-book identifier
  WORD Reserved2;
};
static_assert(sizeof(FaxDestination) == kFaxEntrySize);
static_assert(offsetof(FaxDestination, Number) == 2);
static_assert(offsetof(FaxDestination, Line) == 260);
static_assert(offsetof(FaxDestination, Name) == 262);
static_assert(offsetof(FaxDestination, Company) == 344);
static_assert(offsetof(FaxDestination, CommMode) == 510);
static_assert(offsetof(FaxDestination, BoxMode) == 512);
static_assert(offsetof(FaxDestination, MailboxId) == 514);
static_assert(offsetof(FaxDestination, MailboxPassword) == 516);
static_assert(offsetof(FaxDestination, RelayId) == 534);
static_assert(offsetof(FaxDestination, RelayPrint) == 536);
static_assert(offsetof(FaxDestination, RelayNumbers) == 538);
static_assert(offsetof(FaxDestination, FCode) == 658);
static_assert(offsetof(FaxDestination, FCodePassword) == 700);
static_assert(offsetof(FaxDestination, Reserved1) == 742);
static_assert(offsetof(FaxDestination, SourceKind) == 744);
static_assert(offsetof(FaxDestination, SourceValue) == 748);
static_assert(offsetof(FaxDestination, OldSourceId) == kFaxEntryKeyOffset);
static_assert(offsetof(FaxDestination, SourceId) == kFaxEntryKeyTextOffset);
static_assert(sizeof(FaxDestination::SourceId) / sizeof(WCHAR) == kFaxEntryKeyTextChars);
static_assert(offsetof(FaxDestination, Reserved2) == 818);

// Writes the record as its 820 stored bytes, field by field.
void FaxDestination_Encode(const FaxDestination& record, BYTE* out);
// Reads 820 stored bytes into the record. The texts are copied as stored;
// each is cut at its last character so that it always ends.
void FaxDestination_Decode(const BYTE* in, FaxDestination* record);

}  // namespace morva::fax
