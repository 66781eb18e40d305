// Text and message helpers of the property sheets.
#pragma once

#include <cstdarg>

#include "win/types.h"

struct SheetState;
struct ConflictMessageOptions;

// Caption and text from the resource module (caption at most 128, text at
// most 512 characters), or the literal when the id is -3. MessageBoxW's
// answer; -1 without a text or when the caption cannot be loaded.
INT ShowResourceMessageBox(HWND owner, INT caption_id, LPCWSTR caption, UINT type, INT text_id, LPCWSTR text);
// Loads resource string `id` and formats it with the positional arguments
// into a new GlobalAlloc'ed buffer of `maximum` characters (0 or less:
// 512). 1; 0 with *out null when the string is missing or the text needs
// more than maximum - 1 characters.
INT FormatResourceStringV(LPWSTR* out, INT maximum, UINT id, ...);
INT FormatResourceStringVA(LPWSTR* out, INT maximum, UINT id, va_list args);
// The part of `path` behind its last backslash, or the whole path.
LPCWSTR GetFileNamePart(LPCWSTR path);
// The message options of the sheet's conflict texts: paper sizes in inches
// when capability 0xFFFF0022 is set and the sheet's measurement is not
// metric; inch values in tenths with capability 0xFFFF0023. 1 filled, 0 a
// missing pointer.
INT GetConflictMessageOptions(const SheetState* state, ConflictMessageOptions* options);
// Converts in the user-interface code page without best-fit mappings into
// a new GlobalAlloc'ed buffer; 0 (nothing allocated) when a character has
// no mapping, 1 with the length without the terminator.
INT WideToMultiByteStrict(LPCWSTR text, LPSTR* out, INT* length);
