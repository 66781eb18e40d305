// A run of the outside fax address-book library: the destination list is
// handed over as address records, the library lets the user choose from an
// address-book file or from the device's address book, and the records it
// hands back replace the list. The library is loaded for the one call.
//
// Beyond the library's own rules: records that do not convert back leave
// the whole list as it was, never a list converted half-way.
#pragma once

#include <cstddef>

#include "fax/fax_address_records.h"
#include "win/types.h"

namespace morva::fax {

inline constexpr char kFileAddressBookExport[] = "FaxRecipShowDialog";
inline constexpr char kDeviceAddressBookExport[] = "FaxDeviceRecipShowDialog";
inline constexpr INT kAddressBookDefaultMax = 50;

#pragma pack(push, 1)
// What the library is told, ANSI, zero-filled.
struct AddressBookParams {
  char File[261];      // the address-book file (file source only)
  char HelpFile[261];  // the driver's help file
  char KeyPath[261];   // the library's key under HKEY_CURRENT_USER
  DWORD Language;      // the user-interface language number
};
#pragma pack(pop)
static_assert(sizeof(AddressBookParams) == 787);
static_assert(offsetof(AddressBookParams, Language) == 783);

using FaxRecipShowDialogFn = int (*)(HWND owner, AddressBookParams* params, DWORD flags, FaxLineSettingsAnsi* line,
                                     int maximum, FaxAddressRecord* records, int* count, int reserved);
using FaxDeviceRecipShowDialogFn = int (*)(HWND owner, AddressBookParams* params, DWORD flags,
                                           FaxLineSettingsAnsi* line, int maximum, FaxAddressRecord* records,
                                           int* count, PortAddressBlock* port, DWORD speed_dial);

// The flags word of the settings: 0x1 setting 4112 on, 0x2 direct-fax
// mode 1, 0x4 mode 2 or SIP fax, 0x8 also setting 4113 on, 0x10 mode not
// 3, 0x20 SIP fax, 0x40 the capability 0xFFFF0040, 0x80 setting 5212.
DWORD AddressBookFlags(WORD mode, BOOL sip, BOOL keep_comm_mode, BOOL setting4113, BOOL capability,
                       BOOL single_destination);

struct AddressBookRequest {
  FaxValidationContext context;  // owner, database, port, settings and list
  LPCWSTR file;                  // null: the device's address book
  LPCWSTR helpFile;              // may be null
  BOOL faxUnitOption;            // the device option bit 0xFFFF0029
  BOOL capability;               // the device capability 0xFFFF0040
  HMODULE resources;             // null: the resource module
};

// Runs the library. 1 when the run ended as the library wanted (the list
// replaced, nothing to change, or a refusal shown as a warning), 0 on a
// failure; `closes` is 1 when the dialog that asked may close. The list
// changes only when every record converts back.
INT RunAddressBook(const AddressBookRequest& request, INT* closes);

}  // namespace morva::fax
