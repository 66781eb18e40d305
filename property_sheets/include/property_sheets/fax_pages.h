// The fax page of the sheets and its dialogs: the destination list with the
// entry being edited, the recipient details, the cover sheet with its
// preview and test print, and the sender records. The control sets are
// the dialog tables' entries of these dialog kinds; the plain checks are
// public for the tests.
#pragma once

#include <string>

#include "property_sheets/sheet_engine.h"
#include "win/types.h"

namespace morva::fax {
struct FaxDestination;
struct FaxDestinationList;
}  // namespace morva::fax

// Control sets by dialog kind: 0 the fax page, 30 the cover sheet, 31 and
// 49 the recipient details (full and reduced), 32 the sender records, 57
// the sender notice, 59 the number confirmation, 60 the address book, 33
// the cover-sheet form list.
extern const ControlSet kFaxPageSet;
extern const ControlSet kCoverSheetSet;
extern const ControlSet kFormListSet;
extern const ControlSet kRecipientSet;
extern const ControlSet kRecipientReducedSet;
extern const ControlSet kSenderSet;
extern const ControlSet kSenderNoticeSet;
extern const ControlSet kConfirmNumberSet;
extern const ControlSet kAddressBookSet;

// The fax page's dialog procedure: the engine's, with the page's own apply.
INT_PTR FaxPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The destination list of a page or fax dialog; null when it has none.
morva::fax::FaxDestinationList* GetDialogFaxList(HWND window);

// ---- plain checks ----------------------------------------------------------------

// Relay destination numbers: 0 accepted, 1 refused, 2 refused for more
// than 19 commas.
INT CheckRelayNumbers(const std::u16string& text);
// A mailbox password of 1 to 3 characters is refused (TRUE).
BOOL IsRefusedMailboxPassword(const std::u16string& text);
// The number as the list shows it: a fax number behind its line prefix, a
// speed-dial number padded with "0" to three digits (four when
// `four_digits`) and followed by `speed_dial_suffix`, an IP-fax address
// followed by `ip_suffix`.
std::u16string FaxDisplayNumber(const morva::fax::FaxDestination& destination, const std::u16string& outside_prefix,
                                const std::u16string& extension_prefix, BOOL four_digits,
                                const std::u16string& speed_dial_suffix, const std::u16string& ip_suffix);
// The text cut at its first CR and fitted to `bytes` ANSI bytes: a longer
// one ends with "..." within the count (a double-byte character is not
// split), a shorter one is padded with blanks when `pad` is set.
std::u16string FitTextToBytes(const std::u16string& text, INT bytes, BOOL pad);
// The folder (the path cut at its last backslash, or the whole path) and
// the name (after it, cut at its first "."); answers the length after the
// last backslash.
INT SplitFormPath(const std::u16string& path, std::u16string* folder, std::u16string* name);
// 0 when the whole path holds exactly one "." and the name before it has at
// most 8 characters; 1 otherwise (also for an empty path).
INT IsValidFormFileName(const std::u16string& path);
// Whether an edit text fits `lines` lines of `bytes` ANSI bytes each (a
// double-byte character that would end on a line's last byte moves to the
// next line; a line break starts a new line). FALSE when it does not fit or
// has no ANSI form.
BOOL TextFitsLines(const std::u16string& text, INT bytes, INT lines);
