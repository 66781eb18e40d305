// Which destinations the fax page accepts, by the fax hardware of the
// device: the direct-fax mode (0-3), SIP fax, the highest speed-dial
// number, the largest destination count and the restrictions of the
// settings. Four-digit mode is mode 2 or SIP fax on: speed-dial numbers
// have four digits there and three otherwise.
#pragma once

#include "fax/fax_destination.h"
#include "fax/fax_job_attr.h"
#include "fax/fax_list.h"
#include "win/types.h"

struct DddHandle;

namespace morva::fax {

// What the checks read of the settings and the device database.
struct FaxDeviceRules {
  WORD Mode;              // direct-fax mode (GetDirectFaxMode)
  BOOL SipFax;            // setting 4142
  DWORD MaxSpeedDial;     // setting 8207
  WORD MaxDestinations;   // database field 25: the limit in four-digit mode (0: none)
  BOOL CoverSheet;        // setting 376 is 1
  BOOL OneJobForAll;      // setting 379 is 1
  BOOL SingleDestination; // setting 5212: at most one destination, no relay, no wildcard
  BOOL NoNumbers;         // setting 5211 is 1: only speed-dial numbers
  BOOL KeepCommMode2;     // setting 4112 is 1
};

// Reads the rules; 1 done, 0 when a setting cannot be read or the mode is
// unknown.
INT LoadFaxDeviceRules(BOOL faxUnitOption, void* devmode, void* printerData, DddHandle* database,
                       FaxDeviceRules* rules);
bool IsFourDigitMode(const FaxDeviceRules& rules);

// The stored list mode (setting 1881) of a page mode, and back.
BYTE ListModeFromRules(const FaxDeviceRules& rules);
// 0 → 3, 1 → 4 (four-digit), 2 → 0, 3 → 1; 0xFFFF for another value.
WORD PageModeFromListMode(BYTE listMode);

// What the number edit accepts for an entry kind in the current mode: its
// length limit, the resource strings listing the accepted single-byte
// characters (up to two; 0 none) and double-byte ranges, the list of
// refused single-byte characters (0 none) and the message shown for a
// refused text. `checked` false: no character check at all.
struct FaxNumberRule {
  WORD limit;
  UINT singleByte[2];
  UINT doubleByte;
  UINT refused;
  UINT message;
  bool checked;
};
// The rule of an entry kind (FaxDestinationKind) in the page's mode.
FaxNumberRule GetFaxNumberRule(const FaxDeviceRules& rules, WORD kind);

// Codes of a refused destination.
enum FaxAddCode : WORD {
  kFaxAddOk = 0,
  kFaxAddListFull = 1,        // 50 destinations
  kFaxAddDuplicate = 2,
  kFaxAddTooLong = 3,         // the job attribute would exceed its limits
  kFaxAddUnitLimit = 4,       // mode 1: 12 units already
  kFaxAddDeviceListFull = 5,  // four-digit mode: the database's count
  kFaxAddTooManyUnits = 6,    // more than 600 units
};
// Codes of the single-destination restriction.
enum FaxRestrictCode : WORD { kFaxRestrictRelay = 1, kFaxRestrictSecond = 2, kFaxRestrictWildcard = 3 };

// Message ids of the number rules.
inline constexpr DWORD kMsgSpeedDialMode0 = 5042;
inline constexpr DWORD kMsgSpeedDialAboveMaxMode0 = 5035;
inline constexpr DWORD kMsgSpeedDialMode1 = 5101;
inline constexpr DWORD kMsgSpeedDialAboveMaxMode1 = 5100;
inline constexpr DWORD kMsgSpeedDialFourDigit = 5194;

// *message = 0 when the speed-dial number (ANSI) is accepted, else the id
// of the message to show. 0 for missing arguments, else 1.
INT ValidateSpeedDialNumber(const FaxDeviceRules& rules, LPCSTR number, DWORD* message);
// How many device destinations one entry stands for.
INT CountDestinationUnits(const FaxDeviceRules& rules, const FaxDestination* destination, DWORD* units);
// The units of the whole list (in modes 0 and 1 of the fax-number entries
// only).
INT SumDestinationUnits(const FaxDeviceRules& rules, const FaxDestinationList* list, DWORD* sum);
// 1 when the destination may be added, else 0 with the code (kFaxAddOk
// when a check could not run).
INT CheckNewDestination(const FaxDeviceRules& rules, const FaxDestinationList* list,
                        const FaxDestination* destination, const FaxLineSettings* line, WORD* code);
// 1 when allowed under the single-destination restriction with `rows`
// destinations shown, else 0 with a FaxRestrictCode.
INT CheckRestrictedDestination(INT rows, const FaxDestination* destination, WORD* code);
// 1 when the two differ as the page tells destinations apart.
INT IsDifferentDestination(const FaxDeviceRules& rules, const FaxDestination* stored, const FaxDestination* added);
// Mode 1 limits: before adding (12 units) and on leaving (13); 1 within,
// else 0 with code 4.
INT CheckUnitLimitBeforeAdd(const FaxDeviceRules& rules, const FaxDestinationList* list,
                            const FaxDestination* destination, WORD* code);
INT CheckUnitLimit(const FaxDeviceRules& rules, const FaxDestinationList* list, WORD* code);

// Options used by destinations of a broadcast (bits).
enum FaxBroadcastOption : DWORD { kFaxOptMailbox = 1, kFaxOptFCode = 2, kFaxOptFCodePassword = 4 };
// The options that stop a list of several destinations from going out as
// one job (0 when it may go as it is).
DWORD CollectBroadcastOptions(const FaxDeviceRules& rules, const FaxDestinationList* list);
// The same check with its message: mode 1 warns and refuses; other modes
// ask OK/Cancel. 1 when the list may be sent.
INT CheckBroadcastOptions(HWND owner, HMODULE resources, const FaxDeviceRules& rules,
                          const FaxDestinationList* list);

// Pending-message flags of a refresh.
enum FaxPendingFlag : WORD {
  kFaxPendingNumbersRemoved = 0x1,
  kFaxPendingIpRemoved = 0x2,
  kFaxPendingDigitsChanged = 0x4,
  kFaxPendingNoNumbers = 0x8,
  kFaxPendingSingle = 0x10,
};
// Removes from a stored list the destinations that the device can no
// longer take (a marked refresh is the first after the page opened, or the
// one when a fax sheet is left) and trims speed-dial numbers; the flags of
// the messages to show.
WORD FilterStoredDestinations(const FaxDeviceRules& rules, FaxDestinationList* list, BOOL marked, BYTE listMode);
// Keeps the last four (four-digit mode) or three digits of a longer
// speed-dial number.
void TrimSpeedDialNumber(const FaxDeviceRules& rules, FaxDestination* destination);

}  // namespace morva::fax
