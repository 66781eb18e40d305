// The fax cover page's text and the document-name block, written into the
// document of a PDEV.
#pragma once

#include <string>
#include <vector>

#include "render/cover_text_block.h"
#include "render/pdev.h"

namespace morva::gfx {

// Builds the block and writes it whole into the document; 0 or -1.
INT WriteCoverText(PDEV* pdev, const std::vector<CoverTextItem>& items, LONG left_offset);
// The document name (setting 1830 without folder and extension) as one
// "Eg" block; nothing for an empty name. 0 or -1.
INT WriteDocumentNameBlock(PDEV* pdev);

}  // namespace morva::gfx
