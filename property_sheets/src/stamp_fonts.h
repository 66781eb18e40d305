// The sheet's font lists: the TrueType families of the screen and the
// printer's own fonts, the face choices built from them for the stamp and
// item fonts (settings 305 and 358), and the choice of a usable font for a
// face name with the font settings written from it.
#pragma once

#include <string>
#include <vector>

#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "win/fonts.h"

struct DddHandle;

// The fonts usable on the sheet, searched by face name; GlobalAlloc'ed.
struct FontEntryArray {
  INT count;
  LOGFONTW* entries;
};

// The screen's TrueType families in enumeration order (each LOGFONTW with
// lfWidth 0) and the names of the database's fonts, a name equal to the
// one before it kept once.
struct FontList {
  std::vector<LOGFONTW> families;
  std::vector<std::u16string> database_names;
};
bool BuildFontList(DddHandle* database, FontList* out);

// Statuses of the font look-ups.
inline constexpr SHORT kFontFound = 0;
inline constexpr SHORT kFontNullArgument = 2;
inline constexpr SHORT kFontNoArray = 10;
inline constexpr SHORT kFontNotFound = 11;

const LOGFONTW* FindFontEntryByName(const FontEntryArray* fonts, LPCWSTR name, SHORT* status);
// The usable font for the face-name setting `ddmid`: the face itself
// (status 1); for a printer font the screen face its display name names
// (status 3, with the character set and pitch of the printer font); else
// the fallback face of string 735 (status 2, or 4 for a printer font);
// null when none of them is usable.
const LOGFONTW* ResolveFontSelection(ControlEvent* event, const FontEntryArray* fonts, WORD ddmid, SHORT* status,
                                     BYTE* charset, BYTE* pitch_and_family);
// Writes the nine font settings of group 1 (stamp: 305, 312-319) or 2
// (items: 358, 365-372) from the font resolved for the group's face; the
// face is kept as it is for a printer font. The settings written come back
// in a new GlobalAlloc'ed list (zero-ended) with their count. 1 or 0.
INT ApplyFontSelection(ControlEvent* event, WORD** changed, INT* count, INT group);

// The stamp page's font lists, from its activation until it is left.
INT BuildStampFontLists(HWND page);
void ReleaseStampFontLists(HWND page);

// Bold and bold-italic label fonts of two controls, kept in the SheetState.
INT SetupLabelFonts(HWND dialog, const INT controls[2]);
void DeleteLabelFonts(HWND dialog);
