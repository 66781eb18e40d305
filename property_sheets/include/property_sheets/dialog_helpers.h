// Small helpers of the pages and dialogs: number parsing and formatting,
// help topics of controls, and the one
// formatter of the sheets' message texts.
#pragma once

#include "win/types.h"

// An optional sign then 1 to 10 decimal digits and nothing else; ten-digit
// texts are bounded by 4294967295 (by -2147483648 with a minus sign). The
// value comes back as a 32-bit pattern: a positive text above 2147483647
// keeps its unsigned bits. 1 parsed, 0 not.
INT ParseDecimalText(const char* text, INT* value);
// Fixed-point text of `value` with `decimals` places (flags must hold 0x40;
// 0x100 drops a zero fraction), in a new GlobalAlloc'ed text. 1 or 0.
INT FormatFixedPoint(LPWSTR* out, INT decimals, BOOL is_signed, WORD flags, LONG value);
// The value paired with the control's id in a {id, value} table ended by
// id 0; 0 when absent.
INT FindControlHelpTopic(const INT* table, HWND control);
// Appends as much of `text` as fits `limit` characters with the terminator.
INT AppendTextBounded(LPWSTR dest, LPCWSTR text, INT limit);

// One argument of a message text: a number or a text.
struct MessageArg {
  bool is_text;
  LONG number;
  LPCWSTR text;
};
inline MessageArg MessageNumber(LONG n) { return {false, n, nullptr}; }
inline MessageArg MessageText(LPCWSTR t) { return {true, 0, t}; }

// The argument list every message id of the sheets is formatted with:
// 'd' a number, 's' a text, in placeholder order. Null for an id the
// sheets do not format.
const char* MessageArgumentList(UINT id);
// Every id of that table, and their count.
const UINT* SheetMessageIds(INT* count);
// Formats message `id` of the resource module with `args`, which must
// match the id's argument list. A new GlobalAlloc'ed text (at most 512
// characters) or null.
LPWSTR FormatSheetMessage(UINT id, const MessageArg* args, INT count);
