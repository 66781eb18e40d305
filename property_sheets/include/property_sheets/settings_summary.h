// The one-line summary of the paper settings (document paper, output paper
// and the zoom that results) and the zoom computation it shares with the
// zoom edit.
#pragma once

#include "win/types.h"

struct SheetContext;
struct ControlEvent;
struct ControlRecord;

// One paper's size pairs, tenths of a millimetre: the paper, its printable
// area, and the leading and trailing margin pairs.
struct PaperAreas {
  WORD size[2];       // width, length
  WORD printable[2];
  WORD lead[2];       // first margin pair (left, bottom)
  WORD trail[2];      // second margin pair (right, top)
};

// The settings that reduce the area placed on the output paper.
struct PlacementSettings {
  LONG binding_on = 0;        // DDMID 1283
  LONG binding_position = 0;  // DDMID 267
  LONG binding_margin = 0;    // DDMID 268
  LONG layout_mode = 0;       // DDMID 321
  LONG layout_code = 0;       // DDMID 296: high byte columns, low byte rows
};

// The area available on the output paper: the paper (whole) or its
// printable area, less a binding margin wider than the paper's own margin
// on that side, times the poster layout. 1, 0 without arguments.
INT GetPlacedArea(const PaperAreas* paper, BOOL whole, const PlacementSettings* placement, LONG* width, LONG* length);
// min(W2 x 1000 / W1 + 5, L2 x 1000 / L1 + 5) / 10 in integer arithmetic:
// 1, or 0 when the source size is not positive (no zoom can be given).
INT ComputeZoomFromAreas(LONG source_width, LONG source_length, LONG placed_width, LONG placed_length, INT* percent);

// A paper's areas from the sheet's database and settings (user papers from
// their slot settings, the custom paper from DDMIDs 1863 and 1864): 1 or 0.
INT GetPaperAreas(const SheetContext* context, LONG paper_id, PaperAreas* out);
// The zoom from paper `source` onto paper `output` for the sheet's
// settings: 1 or 0.
INT ComputeZoomPercent(const SheetContext* context, LONG source, LONG output, INT* percent);
// The fixed zoom (DDMID 263) when DDMID 1281 is set, else the computed one
// from DDMID 8 onto DDMID 262 (267: the document paper). 1 or 0.
INT GetSummaryZoom(const SheetContext* context, INT* percent);
// The summary line into `text` (`chars` characters): the document paper,
// the output paper when it differs, and the zoom or the remark for imposed
// pages. 1, or 0 with `text` untouched when a read fails.
INT BuildSettingsSummary(const SheetContext* context, LPWSTR text, INT chars);

// The item handler of the summary control: hidden on devices of class 3
// or 4; otherwise it shows the summary whenever the page shows its
// settings, and a tip over it repeats the line.
INT SummaryTextHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
