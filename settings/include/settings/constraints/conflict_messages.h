// Texts of the conflict messages: resource templates filled with numbers
// formatted by their item's scale, and the listed-DDMID list that keeps
// one message from naming an item twice.
#pragma once

#include "win/types.h"

// Work buffer of one item name, value text or template, in characters.
inline constexpr INT kConflictTextChars = 128;
// A built message unless the caller gives another size.
inline constexpr INT kConflictMessageChars = 1024;
// Room of a listed-DDMID list (19 DDMIDs and the 0 terminator).
inline constexpr WORD kListedDdmidRoom = 20;

// Loads template `id` (at most `size` characters; 0 or less means 1024)
// and formats it with the positional arguments into a GlobalAlloc'ed
// buffer of `size` characters. The text must be at most size - 2
// characters long. 1 made; 0 for a longer text, a missing template or no
// memory, with *out null.
INT FormatResourceString(HMODULE module, LPWSTR* out, INT size, UINT id, ...);

// The number at `value` of `type` (2, 3, 4, 5, 8, 10; 6 copies the text)
// scaled by `divisor`, with resource string 9241 as decimal separator and
// the fraction padded with leading zeros. Writes at most
// kConflictTextChars characters to `out`. 1 made, 0 for another type or a
// text that does not fit. A null `module` means the resource module.
INT FormatScaledNumber(const void* value, LONG divisor, WORD type, BOOL integer_only, LPWSTR out,
                       HMODULE module = nullptr);
// GlobalAlloc'ed "0"s by which the divisor's decimal places exceed the
// digits of `fraction`; null when none are needed or out of memory.
LPWSTR ZeroPadding(DWORD fraction, LONG divisor);
// As FormatScaledNumber for divisors 1 and 10, with a full stop and no
// leading zeros in the fraction.
INT FormatRangeValue(BOOL integer_only, LPWSTR out, LONG divisor, WORD type, const void* value);

// Appends `ddmid` to a 0-terminated list of `room` entries when it is not
// there yet and fewer than room - 1 entries are used. 1 appended, 0 not.
INT AddToDdmidList(WORD ddmid, WORD* list, WORD room);

struct SettingsTarget;

// Message options that the property sheet supplies: [0] paper sizes in
// inches, [1] inch values in tenths rather than hundredths.
struct ConflictMessageOptions {
  DWORD inches;
  DWORD tenths;
};

// "(width x length)" of a user paper (from its slot's settings) or of the
// custom paper 256 (from the DEVMODE's custom size), in millimetres
// (template 703) or inches (template 9247). 1 made; 0 for any other paper,
// an unreadable size or a missing template, with `out` empty.
INT FormatPaperSizeText(WORD paper, const SettingsTarget* target, HMODULE module, LPWSTR out,
                        const ConflictMessageOptions* options);
