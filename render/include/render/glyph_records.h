// Glyph records of TrueType glyphs: a bitmap record (the glyph's 1-bit
// rows) or an outline record (its points and drawing commands), each a
// sequence of typed values sized in whole 4-byte units and padded.
#pragma once

#include <cstddef>
#include <vector>

#include "render/compression_plugin.h"
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
  bool compressed = false;  // bits coded by the compression library
  // Outline
  bool reals = false;
  bool thin = false;
  bool bold_bounds = false;      // the first figure is the path's bounds (simulated bold)
  float em_box = 0;              // the em box in points ahead of the points; 0: none
  std::vector<POINTFIX> points;  // 28.4, relative to the glyph origin
  std::vector<BYTE> commands;    // one 4-bit code each
};

// How an outline glyph is laid out.
struct OutlineOptions {
  bool reals = false;           // real coordinates (else words when they fit)
  std::size_t thin_points = 0;  // thin-line hint from this many points on; 0: never
  float em_points = 0;          // the font's em height in points
  bool em_box = false;          // lead the points with the em box (render plug-in)
  bool bold_bounds = false;     // simulated bold for older systems
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
bool GetOutlineGlyph(FONTOBJ* pfo, HGLYPH hg, const OutlineOptions& how, GlyphRecord* out);
// Lays out an outline record from a glyph's path.
bool OutlineGlyphFromPath(PATHOBJ* ppo, const OutlineOptions& how, GlyphRecord* out);
// A bitmap glyph's bits offered to the compression library (mode 2): its
// output replaces the bits when it is not larger. False when the library
// is not bound or refuses.
bool CompressGlyphBits(const render::CompressPlugin* plugin, GlyphRecord* r);
// The path of a glyph as commands and points.
bool PathToGlyphCommands(PATHOBJ* ppo, std::vector<POINTFIX>* points, std::vector<BYTE>* commands);

// Writes the record's typed values; 0 or -1.
int WriteGlyphRecord(PdlWriter* w, const GlyphRecord& r);

}  // namespace morva::gfx
