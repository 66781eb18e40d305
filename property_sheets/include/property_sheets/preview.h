// The print-settings preview: a snapshot of the settings it shows and the
// choice of the bitmap layers that make the picture.
#pragma once

#include "property_sheets/pictures.h"
#include "property_sheets/preview_tables.h"
#include "win/types.h"

struct SheetContext;

// The settings the preview shows; the defaults are kept by a setting that
// is unavailable.
struct PreviewSettings {
  LONG documentTurn = 0;      // 294
  LONG orientation = 1;       // 7: 1 portrait, 2 landscape
  LONG flag18 = 0;            // 1 when 18 is 1
  LONG duplex = 1;            // 16: 1 one-sided, 2 and 3 two-sided
  LONG mode270 = 0;           // 270
  LONG option1313 = 0;
  LONG pagesPerSheet = 1;     // 295
  LONG order264 = 0;
  LONG value1337 = 0;
  LONG layoutMode = 0;        // 321
  LONG layoutCode = 514;      // 296
  LONG option1285 = 0;
  BOOL hasText297 = FALSE;    // 297 holds a text that is not empty
  LONG position320 = 0;       // staple position
  LONG position341 = 0;       // punch position
  LONG count445 = 0;          // punch holes: 0-2
  LONG paperSize = 9;         // 8
  LONG flag322 = 0;
  LONG option446 = 0;
  LONG sheetOrientation = 1;  // derived
  LONG side437 = 0;
  LONG kind441 = 0;
  LONG option56 = 0;
  LONG value332 = 0;
  LONG value458 = 2;
  LONG value339 = 0;
  LONG value1330 = 0;
  LONG kind448 = 0;
  LONG value449 = 0;
  LONG value450 = 0;
  LONG value404 = 0;
  LONG value1340 = 0;
  LONG value405 = 0;
  LONG value406 = 0;
  LONG firstOf1296 = 0;       // first non-zero of 1296-1301
  // The device, which decides the common icons.
  BOOL colourCapable = FALSE;
  BOOL optionMask08000000 = FALSE;
};

// The sheet orientation the pages-per-sheet and orientation give.
LONG DeriveSheetOrientation(LONG orientation, LONG pagesPerSheet);

// Reads one governed setting: 0 read, 1 unavailable now (the value keeps
// its default), 2 no context, 4 read failure.
INT ReadGovernedItem(const SheetContext* context, WORD ddmid, LONG* value);
// Fills the snapshot from the sheet's current settings: 0, 2 (no context),
// 4 (a read failed).
INT ReadPreviewSettings(const SheetContext* context, PreviewSettings* out);

// Room of the work list: the longest layer sequence adds 16 entries.
inline constexpr int kPreviewMaxLayers = 16;
// Walks the layers the settings choose: 0 with the entries in layer order
// (bitmap-0 rows dropped); 1 when a layer met a value its tables do not
// know; 3 for a layout mode other than 0-2.
INT CollectPreviewLayers(const PreviewSettings* settings, PreviewLayerEntry out[kPreviewMaxLayers], INT* count);
// CollectPreviewLayers and the bitmaps of the entries from `module`: 0, or
// the collection's code, or 5 when a bitmap failed to load (the others are
// still in the list), 2 no memory. *out is null when nothing was loaded.
INT ComposePreviewLayers(const PreviewSettings* settings, HMODULE module, HWND window, PreviewImage** out,
                         HPALETTE* palette);
// The builder of the preview control: 0 ok; 1 bad arguments or an unknown
// value; 3 a read failed or the layout mode is unknown; 5 a bitmap failed
// or the device (class 3 or 4) has no preview; 6 no sheet context.
INT SelectPreviewImages(HMODULE module, HWND dialog, UINT control_id, PreviewImage** out, HPALETTE* palette);
