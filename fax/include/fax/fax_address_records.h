// Destinations as the outside fax components take them: fixed ANSI address
// records, the block that tells them how to reach the device, and the
// ANSI line settings; and the validation of device address-book entries by
// the outside address validator.
//
// Beyond what the components ask: the record array always has room for
// every destination it is told about, and the destination list is replaced
// only by a complete conversion of records that the validator returned; a
// validator that did not run, or a record that cannot be converted back,
// leaves the destinations as they were.
#pragma once

#include <cstddef>
#include <string>

#include "fax/fax_destination.h"
#include "fax/fax_list.h"
#include "win/types.h"

struct DddHandle;

namespace morva::fax {

#pragma pack(push, 1)
// One destination, 402 bytes, texts in the ANSI code page, zero-terminated.
struct FaxAddressRecord {
  WORD Kind;
  char Number[129];
  WORD Line;
  char Name[41];
  char Company[83];
  WORD CommMode;  // record numbering: CommMode 0 → 0, 1 → 2, 2 → 1
  WORD BoxMode;
  WORD MailboxId;
  char MailboxPassword[9];
  WORD RelayId;
  WORD RelayPrint;
  char RelayNumbers[60];
  char FCode[21];
  char FCodePassword[21];
  DWORD SourceKind;
  DWORD SourceValue;  // left 0 by the validator in a destination it rejects
  BYTE SourceId[16];  // the identifier whose Base64 text is FaxDestination::SourceId
};
#pragma pack(pop)
static_assert(sizeof(FaxAddressRecord) == 402);
static_assert(offsetof(FaxAddressRecord, Line) == 131);
static_assert(offsetof(FaxAddressRecord, Company) == 174);
static_assert(offsetof(FaxAddressRecord, CommMode) == 257);
static_assert(offsetof(FaxAddressRecord, MailboxPassword) == 263);
static_assert(offsetof(FaxAddressRecord, RelayId) == 272);
static_assert(offsetof(FaxAddressRecord, RelayNumbers) == 276);
static_assert(offsetof(FaxAddressRecord, FCode) == 336);
static_assert(offsetof(FaxAddressRecord, FCodePassword) == 357);
static_assert(offsetof(FaxAddressRecord, SourceKind) == 378);
static_assert(offsetof(FaxAddressRecord, SourceValue) == 382);
static_assert(offsetof(FaxAddressRecord, SourceId) == 386);

// How the outside components reach the device: 464 ANSI bytes, zeroed.
struct PortAddressBlock {
  char DeviceAddress[42];     // from the port address helper
  char DeviceSelection[260];  // database field 37, element 0
  char UserName[33];          // account user name
  char Password[129];         // account password in plain text
};
static_assert(sizeof(PortAddressBlock) == 464);

// The job's line settings in ANSI, 22 bytes.
struct FaxLineSettingsAnsi {
  WORD Word4111;
  WORD Reserved;
  char OutsideLinePrefix[6];  // 5141
  WORD OutsideLineDial;       // 5142
  char ExtensionPrefix[6];    // 5143
  WORD ExtensionDial;         // 5144
  WORD DirectDial;            // 5145
};
static_assert(sizeof(FaxLineSettingsAnsi) == 22);
static_assert(offsetof(FaxLineSettingsAnsi, OutsideLinePrefix) == 4);
static_assert(offsetof(FaxLineSettingsAnsi, OutsideLineDial) == 10);
static_assert(offsetof(FaxLineSettingsAnsi, ExtensionPrefix) == 12);
static_assert(offsetof(FaxLineSettingsAnsi, DirectDial) == 20);

// The outside components' exports.
using FaxAddressValidationFn = int (*)(HWND owner, FaxAddressRecord* records, int count, PortAddressBlock* block);
using GetIPAddressFromPortFn = int (*)(LPCSTR port, char* address44);
using WaitForRunningThreadsFn = void (*)();
inline constexpr char kValidatorExport[] = "FaxAddressValidation";
inline constexpr WORD kValidatorDatabaseString = 10;
inline constexpr WORD kPortHelperDatabaseString = 7;
inline constexpr UINT kMsgNoPortAddress = 5245;
// Validator results the page acts on.
inline constexpr INT kValidationAccepted = 6;
inline constexpr INT kValidationSomeRejected = 7;

// Converts one destination. Texts longer than their field are cut at a
// character boundary. 0 when a text cannot be converted, the communication
// mode is not 0-2, or the identifier text decodes to more than 16 bytes.
INT ToFaxAddressRecord(FaxAddressRecord* record, const FaxDestination* destination);
// Converts a record back over `destination` (fields the record does not
// carry are kept). An all-zero identifier gives an empty identifier text.
// 0 when the communication mode is not 0-2 or a text cannot be converted.
INT FromFaxAddressRecord(FaxDestination* destination, const FaxAddressRecord* record);

// A zeroed GlobalAlloc'ed array with room for max(maxCount, destinations)
// records, one per destination in list order. 0 (nothing handed out) when
// maxCount is 0, a conversion fails or memory runs out.
INT BuildFaxAddressRecords(const FaxDestinationList* list, WORD maxCount, FaxAddressRecord** records, INT* count);
// Replaces the list's destinations by the `count` records converted back
// (over the entries in the same place). 1 done; 0, with the list as it
// was, when a record cannot be converted or memory runs out.
INT StoreFaxAddressRecords(FaxDestinationList* list, const FaxAddressRecord* records, INT count);

// The account user name (32 characters) and plain password (128) the
// device is reached with, chosen from the account settings.
INT GetAccountCredentials(DddHandle* database, void* devmode, void* printerData, LPWSTR user, LPWSTR password);
// Settings 4111, 5141-5145 in ANSI.
INT ReadFaxLineSettingsAnsi(void* devmode, void* printerData, FaxLineSettingsAnsi* out);

// What a validation needs of the sheet.
struct FaxValidationContext {
  HWND owner;
  DddHandle* database;
  LPCWSTR portName;
  void* devmode;
  void* printerData;
  FaxDestinationList* list;
};
// A new GlobalAlloc'ed block (device address from the port address helper,
// device selection, account). 1 with the block; 0 when the helper or its
// exports are missing or it finds no address (warning 5245 shown), or on
// another failure.
INT BuildPortAddressBlock(const FaxValidationContext& context, PortAddressBlock** block);
// Hands the list to the outside validator. The validator's result; -1 when
// it could not run (nothing changed then). With a result the list is
// replaced by the records the validator returned, when every one converts
// back. `records`/`count` (may be null) receive a GlobalAlloc'ed copy of
// the returned records for ShowRejectedDestinations.
INT ValidateFaxAddresses(const FaxValidationContext& context, FaxAddressRecord** records, INT* count);
// The warning that names the rejected destinations (SourceValue 0).
void ShowRejectedDestinations(HWND owner, HMODULE resources, const FaxAddressRecord* records, INT count);
// The check made when a fax sheet is left with destinations from the
// device's address book: 0 lets the sheet go (every destination accepted);
// 1 keeps it (some rejected, named by the warning, or the validator could
// not decide).
INT CheckDeviceDestinations(const FaxValidationContext& context, HMODULE resources);
// The text of that warning; empty when nothing was rejected.
std::u16string RejectedDestinationsText(HMODULE resources, const FaxAddressRecord* records, INT count);

}  // namespace morva::fax
