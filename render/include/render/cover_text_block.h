// The text block of a fax cover page: positioned items set in the
// printer's resident fonts, written as one ready block of operators in
// which every character is placed by the widths of its device font.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "render/device_fonts.h"
#include "win/types.h"

namespace morva::gfx {

// One positioned text: tenths of a millimetre from the page's top left,
// size in tenths of a point, the font kind (1 or 2) choosing the device
// font named by the database.
struct CoverTextItem {
  LONG x, y;
  LONG size;
  LONG font_kind;
  std::u16string text;
};

struct CoverTextContext {
  LONG xres, yres;    // dots per inch
  LONG left_offset;   // device dots taken off every x
  // The metrics and id of the device font of a font kind, or null.
  std::function<const DeviceFontMetrics*(LONG kind, WORD* id)> font;
};

// The block's size from what it will hold; -1 when an item's font or a
// character's width is missing.
INT CoverTextBlockSize(const CoverTextContext& c, const std::vector<CoverTextItem>& items);
// The block: clip reset, fill mode, raster operation, black; per item the
// font when its kind changes, the text matrix when its size changes, and
// the text with one advance per character. The bytes appended, or -1
// (nothing appended) when an item fails.
INT BuildCoverTextBlock(const CoverTextContext& c, const std::vector<CoverTextItem>& items, std::vector<BYTE>* out);
// The "Eg" block of a document name: the file name without folder and
// extension, in the ANSI code page (at most 255 bytes); empty for an
// empty name.
std::vector<BYTE> DocumentNameBlock(const std::u16string& path);

}  // namespace morva::gfx
