// The fonts the sheet offers: the TrueType families of the screen and the
// printer's device fonts, the face list that font-name settings (305, 358)
// choose from, the resolution of a stored face name to a usable font with
// its companion settings, and the two label fonts of the item placement
// dialog.
#pragma once

#include <string>
#include <vector>

#include "win/gdi.h"
#include "win/types.h"

struct ControlEvent;
struct DddHandle;
struct ItemInfoOptions;
struct SheetState;

// The screen's TrueType families (each LOGFONTW with lfWidth 0, in
// enumeration order) and the names of the database's device fonts (at most
// 32 characters each, a name equal to the one before it left out).
struct FontList {
  std::vector<LOGFONTW> families;
  std::vector<std::u16string> device_fonts;
};
// False when the database cannot be read (the list is then empty).
bool BuildFontList(DddHandle* database, FontList* out);
// The device font names of the database in record order, each cut to 32
// characters; repeats dropped when `skip_repeats`. False on a read failure.
bool ReadDeviceFontNames(DddHandle* database, std::vector<std::u16string>* out, bool skip_repeats);

// The fonts usable on a sheet.
struct FontEntryArray {
  std::vector<LOGFONTW> entries;
};
// Status of the lookups: 0 found, 2 null argument, 10 no array, 11 not
// found; ResolveFontSelection adds 1 (found by name), 2 (the default face),
// 3 (a device font's display face), 4 (the default face for a device font).
const LOGFONTW* FindFontEntryByName(const FontEntryArray* array, LPCWSTR name, SHORT* status);
// The font a face-name setting stands for; null when none can be chosen.
// For statuses 3 and 4 `charset` and `pitch_family` get the device font's.
const LOGFONTW* ResolveFontSelection(ControlEvent* event, const FontEntryArray* array, WORD ddmid, SHORT* status,
                                     BYTE* charset, BYTE* pitch_family);
// Resolves the face of font group 1 (the stamp font, 305 and 312-319) or 2
// (the item font, 358 and 365-372) and writes the group's nine settings
// from the chosen font (the face itself not for a device font). *changed
// gets a new GlobalAlloc'ed list of the DDMIDs written and *count their
// number. 1, or 0 on a failed write or another group.
INT ApplyFontSelection(ControlEvent* event, WORD** changed, INT* count, INT group);

// The sheet's font lists: the FontEntryArray of the TrueType families whose
// names do not begin with "@", and the face list (those names, then the
// device font names not yet in it) that the font-name settings choose
// from. Counted: each Build is matched by one Release, the last Release
// frees them. Choices of 305 and 358 cached before the build keep their
// old list until rebuilt. 1, 0 on failure (nothing kept).
INT BuildStampFontLists(HWND window);
void ReleaseStampFontLists(HWND window);
const FontEntryArray* GetSheetFontEntries(const SheetState* state);
// True while the sheet holds its font lists.
bool HasSheetFontLists(const SheetState* state);
// A dialog opened where no page holds the sheet's font lists (the page let
// them go on Apply, or the dialog is opened from elsewhere) builds them for
// as long as it is open and gives its face list (the record `face_control`
// of dialog kind `kind`, bound to `face_ddmid`) the faces. 1 when the
// dialog now holds the lists, 0 when a page already does or they cannot be
// built. The dialog lets them go with LetGoDialogFontLists (on WM_DESTROY).
INT HoldDialogFontLists(HWND dialog, INT kind, INT face_control, WORD face_ddmid);
void LetGoDialogFontLists(HWND dialog);
// Gives the options of a font-name setting the sheet's face list; other
// settings and sheets without lists are left as they are.
void AddSheetFaceChoices(const SheetState* state, WORD ddmid, ItemInfoOptions* options);

// Adds `count` DDMIDs to the event's changed settings and asks for a
// refresh. 1, 0 when out of memory.
INT AppendChangedSettings(ControlEvent* event, const WORD* ddmids, INT count);

// Two 10-point "Times New Roman" fonts, bold and bold italic, set on the two
// controls and kept for the dialog until ReleaseLabelFonts. 1 or 0.
INT SetupLabelFonts(HWND dialog, const INT controls[2]);
void ReleaseLabelFonts(HWND dialog);
