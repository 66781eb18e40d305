// Paper selection of a PDEV: the logical page's paper record and the paper
// record of the sheet it is printed on.
#pragma once

#include "render/pdev.h"

namespace morva::gfx {

// The page's paper from the DEVMODE's form name, paper code or custom
// size; FALSE when none can be had.
BOOL SelectPaperRecord(PDEV* pdev, PaperRecord* out);
// The output sheet's paper for `page` (before it is turned for landscape):
// the sheet paper the settings name, the database paper of the page, or
// the default paper standing in for a custom page size (marked custom).
BOOL SelectOutputPaperRecord(PDEV* pdev, const PaperRecord& page, PaperRecord* out);

}  // namespace morva::gfx
