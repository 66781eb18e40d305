// The cover page's text written into the document: the device fonts of
// the cover's font kinds come from the database (global field 27), the
// resolution from the PDEV.
#include "output/cover_text.h"

#include "render/pdl_writer.h"
#include "settings/database/ddd_queries.h"

namespace morva::gfx {

namespace {

LONG resolution(PDEV* pdev, WORD ddmid) {
  const LONG v = PdevGetNumber(pdev, ddmid);
  return v > 0 ? v : PdevResolution(pdev);
}

CoverTextContext context(PDEV* pdev, LONG left_offset) {
  CoverTextContext c{resolution(pdev, 20), resolution(pdev, 21), left_offset, nullptr};
  c.font = [pdev](LONG kind, WORD* id) -> const DeviceFontMetrics* {
    if (!pdev->database || !pdev->device_fonts) return nullptr;
    const WORD index = kind == 2 ? 1 : 0;
    if (DddGetFieldCount(&pdev->database->main, 27) <= index) return nullptr;
    *id = static_cast<WORD>(DddGetFieldValue(&pdev->database->main, 27, 2, index));
    for (const auto& b : pdev->device_fonts->blocks)
      if (b->font_id == *id && b->lookup_ok) return &b->lookup;
    return nullptr;
  };
  return c;
}

INT write_all(PDEV* pdev, const std::vector<BYTE>& block) {
  return PdlWriter_WriteText(pdev->writer, block.size(), reinterpret_cast<const char*>(block.data())) == 0 ? 0 : -1;
}

}  // namespace

INT WriteCoverText(PDEV* pdev, const std::vector<CoverTextItem>& items, LONG left_offset) {
  if (!IsValidPdev(pdev) || !pdev->writer) return -1;
  const CoverTextContext c = context(pdev, left_offset);
  const INT size = CoverTextBlockSize(c, items);
  std::vector<BYTE> block;
  if (size < 0 || BuildCoverTextBlock(c, items, &block) != size) return -1;
  return write_all(pdev, block);
}

INT WriteDocumentNameBlock(PDEV* pdev) {
  if (!IsValidPdev(pdev) || !pdev->writer) return -1;
  const WCHAR* path = PdevGetString(pdev, 1830);
  const std::vector<BYTE> block = DocumentNameBlock(path ? std::u16string(path) : std::u16string());
  return block.empty() ? 0 : write_all(pdev, block);
}

}  // namespace morva::gfx
