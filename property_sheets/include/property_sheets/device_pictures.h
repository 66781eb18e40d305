// The built-in pictures of the sheets: the device with its installed
// options (from the device database's picture records and their
// conditions), the colour-mode picture and the small position icons.
#pragma once

#include "property_sheets/pictures.h"
#include "win/types.h"

struct DddHandle;
struct DddCondition;
struct SheetContext;

// Controls of the device picture: 1187 everything the records show, 1310
// only what conditions on installed options (DDMIDs 4097-4371, 5123) decide.
inline constexpr UINT kDevicePictureControl = 1187;
inline constexpr UINT kInstalledOptionsPictureControl = 1310;
// Capability bit that hides the records conditioned on DDMID 4114.
inline constexpr DWORD kCapabilityHides4114 = 0x100000;

// Whether a condition on `ddmid` takes part for the control.
BOOL PictureConditionApplies(WORD ddmid, UINT control_id, DWORD capability_word);
// 0 satisfied, 1 not satisfied, -1 the setting or the condition's value
// list cannot be read, -2 bad arguments.
INT EvaluatePictureCondition(const DddCondition* condition, void* devmode, void* printer_data);
// Whether a record with these conditions is drawn: 1 drawn, 0 not drawn,
// -1 a read failed, -2 bad arguments.
INT PictureRecordIsDrawn(const DddCondition* conditions, WORD count, UINT control_id, DWORD capability_word,
                         void* devmode, void* printer_data);

// The device picture of the database's records for the settings: 0 ok (the
// list may be empty), 1 bad arguments, 2 no memory, 3 a setting read
// failed, 4 database error.
INT BuildDeviceOptionPictureFor(DddHandle* database, void* devmode, void* printer_data, HWND window, UINT control_id,
                                PreviewImage** out, HPALETTE* palette);
// The same for the sheet of `dialog`: 6 without a sheet context.
INT BuildDeviceOptionPicture(HMODULE module, HWND dialog, UINT control_id, PreviewImage** out, HPALETTE* palette);

// The model's own picture (the version dialog's 1217): the picture the
// database's global field 1 names, at (0, 0). 0, 5 when the model has
// none, 6 without a sheet context, 2 out of memory.
inline constexpr UINT kModelPictureControl = 1217;
INT BuildModelPicture(HMODULE module, HWND dialog, UINT control_id, PreviewImage** out, HPALETTE* palette);

// The colour-mode picture's bitmap for DDMIDs 270, 271, 390 and 293;
// `offers_colour_choice` says whether DDMID 270's choices on this sheet
// include the value 2. 0 when these values have no picture.
WORD ColourModeBitmapId(LONG v270, LONG v271, LONG v390, LONG v293, BOOL offers_colour_choice);
// The colour sample: DIB 373 of the resource module, whose colour table
// follows the colour-balance settings. Kept while its page is active.
inline constexpr WORD kColourSampleBitmap = 373;
struct ColourSampleRecord {
  BYTE* dib;    // GlobalAlloc'ed copy: header, colour table and bits
  DWORD size;
};
// 0, 2 no memory, 5 the DIB is missing or is not a palette picture.
INT LoadColourSample(HMODULE module, ColourSampleRecord** out);
void FreeColourSample(ColourSampleRecord** record);
// Recolours a copy of the sample by the settings: patches of palette
// entries (with DDMID 1314 set: entries 2-97, 98-113 and 114-127 by their
// own adjustments, else 2-127 together) get brightness, saturation and
// contrast; colour mode 1 (DDMID 270) turns them grey and ignores the
// saturation. A one-entry list and its palette: 0, 2 no memory, 3 a read
// failed, 6 no bitmap.
INT BuildColourSample(const ColourSampleRecord* record, void* devmode, void* printer_data, HWND window,
                      PreviewImage** out, HPALETTE* palette);

// The position icon of control 1199, 1205, 1508 or 1531 for the settings
// (DDMIDs 437 and 267, or 1291 and 322); 0 when there is none.
WORD PositionIconId(UINT control_id, LONG side437, LONG position267, LONG v1291, LONG v322);
// Shows the position icon of the control for the settings (STM_SETICON;
// the icon it showed before is destroyed): 0, 1 no icon for these values
// (the control shows none), 3 a read failed, 5 the icon is missing, 6 no
// control.
INT SetPositionIcon(HMODULE module, HWND dialog, UINT control_id, void* devmode, void* printer_data);
// Takes the control's icon away and destroys it.
void ClearPositionIcon(HWND dialog, UINT control_id);

// The colour sample of the sheet of `dialog` for its current settings,
// from the sample record kept on the dialog (LoadDialogColourSample): 6
// without one.
INT BuildColourSamplePicture(HMODULE module, HWND dialog, UINT control_id, PreviewImage** out, HPALETTE* palette);
// Loads the sample record onto the dialog when it holds none: 0 (also when
// one is held), else LoadColourSample's error.
INT LoadDialogColourSample(HMODULE module, HWND dialog);
void FreeDialogColourSample(HWND dialog);
