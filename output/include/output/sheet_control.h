// Sheets under document control: the page source of each sheet, banner and
// blank pages, two-sided back faces, per-page duplex and paper changes and
// the sheet's page begin. Every call answers 0 or -1.
#pragma once

#include "output/document_control.h"

namespace morva::gfx {

// The input source of the next sheet, by the banner rules.
INT SelectPageSource(PDEV* pdev, WORD* source);
// Whether the banner tray can be used for the job's paper.
BOOL IsBannerTrayUsable(PDEV* pdev);
// Mode 1 at the document end, 2 after a banner or separator page.
BOOL NeedsBackFaceFill(PDEV* pdev, int mode);
// Closes a two-sided sheet with one printed side: a blank back face when
// forced or in reverse order, then the skipped side is counted.
INT FillBlankBackFace(PDEV* pdev, BOOL force);
INT WriteBlankPage(PDEV* pdev, WORD source);
// The colour byte of a blank page: grey unless the job has a colour mode
// of its own (an automatic job's blank page has nothing to decide on).
BYTE BlankPageColour(const JobSettings& job);
INT FinishSpecialSheet(PDEV* pdev, WORD source, int mode);
// A sheet's end counted: printed unless `skipped`.
void CountSheet(PDEV* pdev, BOOL skipped);
// New source, paper or duplex value of the sheet about to open; operators
// for the per-page changes.
INT DetectPageChanges(PDEV* pdev);
// The sheet's page begin: cells-rotated flag, colour, source, paper.
INT WriteSheetStart(PDEV* pdev);
// The PDL media code of the output sheet (a custom size has its own).
BYTE SheetMediaCode(PDEV* pdev);

}  // namespace morva::gfx
