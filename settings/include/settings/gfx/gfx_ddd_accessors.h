// Device-database value accessors that only the graphics library uses.
// Each answers 0 with its result, 1 for a null argument or a value of
// another kind; those marked "gated" also answer 1 while the process-wide
// format level (of the main database opened last) is below 0x200.
#pragma once

#include "settings/database/ddd_records.h"

inline constexpr DWORD kGfxAccessorLevel = 0x200;

// Kind 5: its 16-bit code.
DddStatus DddGetKind5Code(const DddValue* value, WORD* code);
// Kinds 5 and 6: the flag byte (gated).
DddStatus DddGetChoiceFlagByte(const DddValue* value, BYTE* flag);
// Kind 10: the PDL media-size code (0 for a value of another kind).
DddStatus GetPaperObjectMediaCode(const DddValue* value, WORD* code);
// Kind 10: the extent kind byte and the two pairs of its extent record
// (gated).
DddStatus DddGetPaperExtent(const DddValue* value, BYTE* kind, const DddPair** first, const DddPair** second);
// Kind 11: the byte size of the font data (0 for a value of another kind).
DddStatus GetFontObjectDataSize(const DddValue* value, DWORD* size);
// Kind 19: its flag byte (gated).
DddStatus DddGetKind19Flag(const DddValue* value, BYTE* flag);
