// The owner-drawn drop-down of stored sender records that the sender
// dialog and the cover-sheet dialog share: one item per record (the item
// owns a copy of it), the most recent first, and the "no sender" item
// with a zeroed record always last.
#pragma once

#include <string>
#include <vector>

#include "fax/fax_registry_lists.h"
#include "win/win.h"

namespace fax_ui {

using morva::fax::SenderRecord;

// Reads the stored records of the window's sheet (at most 11); -1 when
// they cannot be read, else their count.
INT ReadStoredSenders(HWND window, std::vector<SenderRecord>* records);
// Stores the records as the sheet's sender list; false on failure.
bool WriteStoredSenders(HWND window, const std::vector<SenderRecord>& records);

INT SenderItemCount(HWND dialog, INT list);
INT SenderSelection(HWND dialog, INT list);
// The record an item owns; null for a bad index.
SenderRecord* SenderItemRecord(HWND dialog, INT list, INT index);
// A stored record (not the placeholder, which is last) is selected.
bool StoredSenderSelected(HWND dialog, INT list);
// Inserts a copy of the record at `at`; its index, -1 when it cannot be made.
INT InsertSenderItem(HWND dialog, INT list, INT at, const SenderRecord& record);
void DeleteSenderItem(HWND dialog, INT list, INT index);
// Frees every item's record and empties the list.
void FreeSenderListData(HWND dialog, INT list);
// The six sender settings take the record's values.
void ApplySenderToSettings(HWND dialog, const SenderRecord& record);
// Selects the placeholder and empties the six sender settings.
void SelectSenderPlaceholder(HWND dialog, INT list);
// Re-inserts the item (index, or the selection for -1) at the top and
// selects it; the placeholder stays where it is.
void MoveSenderToTop(HWND dialog, INT list, INT index);
// Fills the list from the stored records and selects the one named by
// setting 1819: mode 0 (the sender dialog) also moves it to the top and
// answers 1 when found; mode 1 (the cover sheet) answers 0. Not found: the
// placeholder is selected, the sender settings emptied, and warning 5216
// (mode 0) or 5044 (mode 1) shown when a name was set; 0. -1 when the
// stored records cannot be read (the list is then empty).
INT FillSenderList(HWND dialog, INT list, INT mode);
// Stores the records of the items that have a name, in item order; false
// when they cannot be stored.
bool SaveSenderList(HWND dialog, INT list);
// Reselects the item whose record carries the name of setting 1819 (no
// change when none does).
void ReselectCurrentSender(HWND dialog, INT list);
// A row of an owner-drawn drop-down: filled in the colours of its state,
// and its text drawn `indent` pixels in, greyed when the row is disabled
// or `greyed`.
void FillOwnerDrawnRow(const DRAWITEMSTRUCT* item);
void DrawOwnerDrawnRowText(const DRAWITEMSTRUCT* item, const std::u16string& text, INT indent, bool greyed);
// Draws one item: the name (or the placeholder text) 20 pixels in, the
// note icon 860 at the left edge for a record not yet confirmed, in the
// colours of the item's state.
void DrawSenderItem(const DRAWITEMSTRUCT* item);
// Makes items and field high enough for the note icon.
void SetSenderItemHeight(HWND dialog, INT list);

}  // namespace fax_ui
