// Glyph records of TrueType glyphs: a bitmap record (the glyph's 1-bit
// rows) or an outline record (its points and drawing commands), each a
// sequence of typed values sized in whole 4-byte units and padded.
#pragma once

#include <cstddef>
#include <vector>

#include "render/pdl_writer.h"
#include "win/ddi.h"

namespace morva::gfx {

// One glyph fetched from the font object and laid out as a record.
struct GlyphRecord {
  bool outline = false;
  DWORD size = 0;  // record bytes, the header included
  // Bitmap
  float origin_x = 0, origin_y = 0;
  WORD height = 0, width = 0;
  BYTE row_bytes = 0;
  std::vector<BYTE> bits;
  // Outline
  bool reals = false;
  bool thin = false;
  std::vector<POINTFIX> points;  // 28.4, relative to the glyph origin
  std::vector<BYTE> commands;    // one 4-bit code each
};

// Outline commands.
inline constexpr BYTE kGlyphCmdStart = 1;
inline constexpr BYTE kGlyphCmdLine = 2;
inline constexpr BYTE kGlyphCmdCurve = 4;
inline constexpr BYTE kGlyphCmdClose = 5;
inline constexpr BYTE kGlyphCmdEnd = 6;

// Record sizes: bitmap bytes + 21, and points x coordinate size +
// (commands + 1) / 2 + 11, both cut down to a multiple of 4.
DWORD BitmapGlyphSize(std::size_t bitmap_bytes);
DWORD OutlineGlyphSize(std::size_t points, std::size_t coordinate_bytes, std::size_t commands);

// Fetch and lay out one glyph; false when the font object has no such
// glyph, a curve record does not hold whole curves, or the record would be
// larger than its header can say.
bool GetBitmapGlyph(FONTOBJ* pfo, HGLYPH hg, GlyphRecord* out);
bool GetOutlineGlyph(FONTOBJ* pfo, HGLYPH hg, bool reals, bool thin, GlyphRecord* out);
// The path of a glyph as commands and points.
bool PathToGlyphCommands(PATHOBJ* ppo, std::vector<POINTFIX>* points, std::vector<BYTE>* commands);

// Writes the record's typed values; 0 or -1.
int WriteGlyphRecord(PdlWriter* w, const GlyphRecord& r);

}  // namespace morva::gfx
