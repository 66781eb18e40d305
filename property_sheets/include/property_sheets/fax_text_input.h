// Text checks and multi-line edit helpers of the fax dialogs: the
// character-class check of typed texts, the fitting of an edit's text into
// lines of ANSI bytes, and the font and formatting rectangle of the
// company and comment fields.
#pragma once

#include <string>

#include "win/types.h"

// Flags of ValidateTextInput.
inline constexpr WORD kTextSign = 0x0001;          // a leading sign is allowed
inline constexpr WORD kTextDropSign = 0x0010;      // the sign is removed before the check
inline constexpr WORD kTextRefuseSign = 0x0020;    // a leading sign makes the text invalid
inline constexpr WORD kTextDecimal = 0x0040;       // one decimal separator is allowed
inline constexpr WORD kTextNotBlank = 0x0100;      // a text of blanks only is invalid
inline constexpr WORD kTextEmptyValid = 0x0200;    // an empty text is valid; any number of decimals

// 1 when the text passes: its strict ANSI form exists (an empty one only
// with kTextEmptyValid), every single byte lies in one of the ranges of
// `sbcs_ranges` and is none of `sbcs_forbidden`, every double-byte
// character lies in one of `dbcs_ranges` and is none of `dbcs_forbidden`
// (each a zero-ended list of resource string ids holding hexadecimal byte
// values separated by commas; null: no restriction), and, with
// kTextNotBlank, not all of it is blank. 0 otherwise.
INT ValidateTextInput(LPCWSTR text, const UINT* sbcs_ranges, const UINT* dbcs_ranges, const UINT* sbcs_forbidden,
                      const UINT* dbcs_forbidden, WORD flags, INT max_decimals);

// Lays the text out in lines of at most `bytes` ANSI bytes (a line break
// starts a new line, a full line goes on in the next one, a double-byte
// character is not split). 1 when it needs more than `lines` lines, has no
// ANSI form or is longer than 2 x lines x (bytes + 2) - 2 bytes; 2 when it
// fits only with line breaks put in, which `wrapped` then holds; 0 when it
// fits as it is.
INT WrapTextToLines(const std::u16string& text, INT bytes, INT lines, std::u16string* wrapped);

// The edit's text after a change: 1 when it does not fit and the change is
// to be undone; otherwise 0, with the text rewritten into its wrapped lines
// where a line ran full, the caret kept behind the same character.
INT FitEditTextToLines(HWND dialog, INT edit_id, INT bytes, INT lines);
// Undoes the edit's last change when it was refused; empties its undo
// buffer in every case.
void UndoEditIfRefused(HWND dialog, INT edit_id, BOOL refused);
// The word breaks of the company and comment fields: no character is a
// delimiter.
INT CALLBACK NoDelimiterWordBreak(LPWSTR text, INT position, INT length, INT action);
// The company field's font: the dialog's font with the face of resource
// string 5096 and the height of string 4646 (96 dpi) or 4647 (other
// screens), made even in the 1041 user interface. Also installs the
// no-delimiter word breaks. The font is kept with the control until
// FreeCompanyEditFont. FALSE when it cannot be made.
BOOL SetCompanyEditFont(HWND dialog, INT edit_id);
void FreeCompanyEditFont(HWND dialog, INT edit_id);
// On screens other than 96 dpi, the field's formatting rectangle ends at
// the right edge of resource string 4648 and takes the full height.
void SetCompanyEditMargins(HWND dialog, INT edit_id);
