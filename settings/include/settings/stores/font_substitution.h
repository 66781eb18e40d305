// The font substitution list: which device font replaces which TrueType
// face. A global block of zero-terminated UTF-16 strings in pairs (face
// name, then the device font name), ended by an empty string. It is stored
// as printer-data kind 0 and built from the database's device fonts when
// the printer has none stored.
#pragma once

#include "win/types.h"

struct DddHandle;

// Longest pair the list editor takes: face and font name with their
// terminators.
inline constexpr DWORD kFontPairMaxChars = 66;

// For every device font of the database (by position, until none is left),
// a pair per face of its face list: face, then the font's name. Null when a
// font record cannot be read, has no name, or a face cannot be read.
WCHAR* BuildFontSubstitutionTable(DddHandle* database);

// The stored table when it is a well-formed list, else null.
WCHAR* ReadStoredFontSubstitutionTable(HANDLE printer);
// The stored table, else one built from the printer's database; null on
// failure. The second form is the property sheets', whose middle argument
// is not used.
WCHAR* GetFontSubstitutionTable(HANDLE printer);
WCHAR* GetFontSubstitutionTable(HANDLE printer, DWORD unused);
// Stores the list as kind 0, its size counted up to and including the
// final empty string. 1 written.
INT WriteFontSubstitutionTable(HANDLE printer, const WCHAR* list);
INT WriteFontSubstitutionTable(HANDLE printer, DWORD unused, const WCHAR* list);
// 1 when a table is stored already, else builds and writes one (1 when
// written).
INT EnsureFontSubstitutionTable(HANDLE printer, DddHandle* database);

// Characters of a well-formed list (up to and including its final empty
// string) that lies within `max_chars`; 0 when it does not end in time.
DWORD MultiSzPairListChars(const WCHAR* list, DWORD max_chars);
// The value of the first pair whose first string equals `key` (case
// matters), or null.
const WCHAR* FindMultiSzPairValue(const WCHAR* list, const WCHAR* key);
// A new global list (the input is left alone; a null list is an empty one):
// the key's value replaced, the pair removed (null value), the pair
// appended before the final empty string, or an unchanged copy. Null for a
// missing key, a pair longer than kFontPairMaxChars, or no memory.
WCHAR* EditMultiSzPairList(const WCHAR* list, const WCHAR* key, const WCHAR* value);
