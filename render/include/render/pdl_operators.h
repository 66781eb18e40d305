// One writer per VANTIQ operator. Each writes the opcode and its operands
// (layouts in render/pdl_catalogue.h) into the sink and answers 0, or -1
// when the sink failed or an argument cannot be carried by the operator.
// An argument that cannot be carried (a colour space other than grey or
// RGB, an orientation type outside 1-4, a count that does not fit its
// field) is refused before anything is written, so the stream never holds a
// partial operator of our making. Writers keep no state.
//
// Counts: point lists longer than a word count can hold are split into
// several operators of the same kind, which draw the same path; every other
// count that does not fit its field is refused.
//
// The fixed-layout writers a page issues most (state changes, path
// construction, rectangles, font selection, cached glyphs) are defined
// inline below: each is a room check and a few stores into the sink's
// buffer (render/pdl_store.h), which a call and its set-up would double.
#pragma once

#include <cstddef>

#include "render/pdl_catalogue.h"
#include "render/pdl_encoding.h"
#include "render/pdl_store.h"

namespace morva::render {

// Most points one path operator carries; curves carry whole segments.
inline constexpr std::size_t kPdlMaxPointsPerOp = 65535;
inline constexpr std::size_t kPdlMaxSegmentsPerOp = 21845;
// Highest glyph address the 64-byte-unit operators can carry.
inline constexpr DWORD kPdlMaxShortAddress = 0x3FFFC0;

// Graphics state and clipping
int Pdl_OpOrientation(PdlSink* s, int type);                         // AA, type 1-4
int Pdl_OpMatrix(PdlSink* s, const float m[6]);                      // Aa
// AR
inline int Pdl_OpResetClip(PdlSink* s) { return pdl_store::PutFixed<PdlOp::AR>(s); }
// AB
inline int Pdl_OpClipRect(PdlSink* s, const PdlRect& r) {
  return pdl_store::PutFixed<PdlOp::AB>(s, r.left, r.top, r.right, r.bottom);
}
int Pdl_OpClipRectReal(PdlSink* s, const float r[4]);                // Ab
int Pdl_OpClipToPath(PdlSink* s);                                    // AC
// AD
inline int Pdl_OpLineWidth(PdlSink* s, LONG width) { return pdl_store::PutFixed<PdlOp::AD>(s, width); }
int Pdl_OpLineWidthReal(PdlSink* s, float width);                    // Ad
// AE
inline int Pdl_OpLineCap(PdlSink* s, BYTE cap) { return pdl_store::PutFixed<PdlOp::AE>(s, cap); }
// AF
inline int Pdl_OpLineJoin(PdlSink* s, BYTE join) { return pdl_store::PutFixed<PdlOp::AF>(s, join); }
int Pdl_OpMiterLimit(PdlSink* s, LONG limit);                        // AG, -128..127
int Pdl_OpMiterLimitReal(PdlSink* s, float limit);                   // Ag
// AH: kind 6 carries the offset and n (at most 255) lengths; other kinds
// carry the kind byte alone.
int Pdl_OpDash(PdlSink* s, BYTE kind, LONG offset, std::size_t n, const LONG* lengths);
int Pdl_OpDashReal(PdlSink* s, BYTE kind, float offset, std::size_t n, const float* lengths);  // Ah
int Pdl_OpFlagAI(PdlSink* s, BYTE flag);                             // AI
// AJ
inline int Pdl_OpFillRule(PdlSink* s, BYTE rule) { return pdl_store::PutFixed<PdlOp::AJ>(s, rule); }
// AK
inline int Pdl_OpPaintMode(PdlSink* s, BYTE mode) { return pdl_store::PutFixed<PdlOp::AK>(s, mode); }
// AL
inline int Pdl_OpRasterOp(PdlSink* s, BYTE kind, DWORD code) {
  return pdl_store::PutFixed<PdlOp::AL>(s, kind, code);
}
// Colours are packed as by Pdl_PackColour; space 3 grey or 4 RGB.
inline int Pdl_OpSetColour(PdlSink* s, BYTE target, BYTE space, DWORD colour) {  // AM
  if (space != kPdlSpaceGrey && space != kPdlSpaceRgb) return -1;
  auto fill = [&](BYTE* q) {
    q = pdl_store::StoreWord(q, PdlOperator(PdlOp::AM).opcode);
    q[0] = target;
    q[1] = space;
    if (space != kPdlSpaceRgb) {
      q[2] = static_cast<BYTE>(colour);
      return q + 3;
    }
    q[2] = static_cast<BYTE>(colour >> 16);
    return pdl_store::StoreWord(q + 3, colour);
  };
  if (pdl_store::StoreDirect(s, 7, fill)) return 0;
  BYTE run[7];
  return Pdl_PutBytes(s, run, static_cast<std::size_t>(fill(run) - run));
}
int Pdl_OpHatchBrush(PdlSink* s, LONG x, LONG y, BYTE target, BYTE space, DWORD colour,
                     BYTE style);                                    // AN
int Pdl_OpHatchBrushReal(PdlSink* s, float x, float y, BYTE target, BYTE space, DWORD colour,
                         BYTE style);                                // An
// bits: ((width + 7) / 8) x height bytes, top row first.
int Pdl_OpMaskBrush(PdlSink* s, LONG x, LONG y, BYTE target, BYTE space, DWORD colour,
                    std::size_t width, std::size_t height, const BYTE* bits);  // AO
int Pdl_OpMaskBrushReal(PdlSink* s, float x, float y, BYTE target, BYTE space, DWORD colour,
                        std::size_t width, std::size_t height, const BYTE* bits);  // Ao
int Pdl_OpPatternBrush(PdlSink* s, LONG x, LONG y, BYTE target, BYTE space, BYTE bits,
                       std::size_t width, std::size_t height, BYTE one, DWORD n,
                       const BYTE* data);                            // AP
int Pdl_OpBrushBackground(PdlSink* s, BYTE target, BYTE mode, BYTE space, DWORD colour);  // AQ
int Pdl_OpPalette(PdlSink* s, BYTE format, BYTE entry_bits, std::size_t entries, std::size_t n,
                  const BYTE* data);                                 // AV
int Pdl_OpFlagsFF(PdlSink* s, BYTE flags);                           // FF

// Paths and figures
// BA
inline int Pdl_OpNewPath(PdlSink* s) { return pdl_store::PutFixed<PdlOp::BA>(s); }
// BB
inline int Pdl_OpMoveTo(PdlSink* s, LONG x, LONG y) { return pdl_store::PutFixed<PdlOp::BB>(s, x, y); }
// Bb
inline int Pdl_OpMoveToReal(PdlSink* s, float x, float y) { return pdl_store::PutFixed<PdlOp::Bb>(s, x, y); }
int Pdl_OpLineTo(PdlSink* s, std::size_t n, const PdlPoint* points);       // BP
int Pdl_OpLineToReal(PdlSink* s, std::size_t n, const PdlPointF* points);  // Bp
// B0: steps from current to the first point, then from point to point.
int Pdl_OpLineToRelative(PdlSink* s, PdlPoint current, std::size_t n, const PdlPoint* points);
// n segments of three points each (two control points and the end point).
int Pdl_OpCurveTo(PdlSink* s, std::size_t n, const PdlPoint* points);        // BU
int Pdl_OpCurveToReal(PdlSink* s, std::size_t n, const PdlPointF* points);   // Bu
// BC
inline int Pdl_OpCloseSubpath(PdlSink* s) { return pdl_store::PutFixed<PdlOp::BC>(s); }
// BD
inline int Pdl_OpPaintPath(PdlSink* s) { return pdl_store::PutFixed<PdlOp::BD>(s); }
// CG
inline int Pdl_OpRectangle(PdlSink* s, const PdlRect& r) {
  return pdl_store::PutFixed<PdlOp::CG>(s, r.left, r.top, r.right, r.bottom);
}
int Pdl_OpRectangleReal(PdlSink* s, const float r[4]);               // Cg
int Pdl_OpEllipse(PdlSink* s, const float e[6]);                     // Cc: cx, cy, rx, ry, start, end

// Images. The data (mask bytes, then image bytes) follows as raw bytes.
struct PdlImageHeader {
  float x, y;
  float matrix[6];
  std::size_t width, height;
  BYTE mask_kind;        // 1 none, 2 a 1-bit mask
  DWORD mask_bytes;      // mask kind 2
  BYTE source_kind;      // 1 none, 2 image data with the tail below
  BYTE format;           // 3 grey, 4 RGB, 5 JPEG, 10/11 indexed, 15 palette of "AV"
  BYTE entry_bits;       // formats 8-11
  std::size_t entries;   // formats 8-11
  std::size_t palette_bytes;
  const BYTE* palette;
  BYTE bits_per_component;
  BYTE method;           // 1 none, 4 JPEG, 6/7 outside coder, 8 run length
  DWORD data_bytes;
};
int Pdl_OpImage(PdlSink* s, const PdlImageHeader& h);                // Cq
int Pdl_OpStencil(PdlSink* s, float x, float y, std::size_t width, std::size_t height,
                  BYTE polarity, const float m[6], DWORD n);         // Cp

// Text
// DA
inline int Pdl_OpSelectFont(PdlSink* s, WORD code) { return pdl_store::PutFixed<PdlOp::DA>(s, code); }
// Db
inline int Pdl_OpTextMatrix(PdlSink* s, const float m[6]) {
  return pdl_store::PutFixed<PdlOp::Db>(s, m[0], m[1], m[2], m[3], m[4], m[5]);
}
int Pdl_OpTextAt(PdlSink* s, LONG x, LONG y, LONG advance, std::size_t m, const WORD* codes);  // DC
int Pdl_OpTextAtReal(PdlSink* s, float x, float y, float advance, std::size_t m,
                     const WORD* codes);                             // Dc
int Pdl_OpTextAtAdvances(PdlSink* s, LONG x, LONG y, std::size_t k, const LONG* advances,
                         std::size_t m, const WORD* codes);          // DD
int Pdl_OpTextAtAdvancesReal(PdlSink* s, float x, float y, std::size_t k, const float* advances,
                             std::size_t m, const WORD* codes);      // Dd
int Pdl_OpTextHere(PdlSink* s, LONG advance, std::size_t m, const WORD* codes);  // BX
int Pdl_OpTextHereAdvances(PdlSink* s, std::size_t k, const LONG* advances, std::size_t m,
                           const WORD* codes);                       // BY
// Picks BX, BY, DC, Dc, DD or Dd: position kind 0 none, 1 given; advance
// kind 0 one advance, 1 one per gap. The real forms are chosen when an
// advance has a fraction (the first for one advance, any for a list), and
// also when the position or a whole advance lies outside the word range,
// which the word forms cannot carry.
int Pdl_OpText(PdlSink* s, int position_kind, PdlPoint position, std::size_t m, const WORD* codes,
               int advance_kind, std::size_t n_advances, const float* advances);

// Glyphs. The glyph record follows "DH", "DL" and the inline forms as
// typed values (Pdl_PutTypedValue).
int Pdl_OpDownloadGlyph(PdlSink* s, DWORD address);                  // DH
int Pdl_OpDownloadGlyphShort(PdlSink* s, DWORD address);             // DL, address / 64
// DI
inline int Pdl_OpDrawGlyph(PdlSink* s, LONG x, LONG y, DWORD address) {
  return pdl_store::PutFixed<PdlOp::DI>(s, x, y, address);
}
// DM
inline int Pdl_OpDrawGlyphShort(PdlSink* s, LONG x, LONG y, DWORD address) {
  if (address > kPdlMaxShortAddress || address % 64 != 0) return -1;
  return pdl_store::PutFixed<PdlOp::DM>(s, x, y, address / 64);
}
int Pdl_OpDrawGlyphReal(PdlSink* s, float x, float y, DWORD address);       // Di
int Pdl_OpDrawGlyphShortReal(PdlSink* s, float x, float y, DWORD address);  // Dm
// DE: flags bit 0 adds a zero value, bit 1 the given value.
int Pdl_OpInlineGlyph(PdlSink* s, LONG x, LONG y, BYTE flags, LONG value, WORD last);
// De: the real form of DE. It has an opcode of its own so that a reader can
// tell the two forms apart.
int Pdl_OpInlineGlyphReal(PdlSink* s, float x, float y, BYTE flags, float value, WORD last);
// DF: flags bit 0 adds the n values of first, bit 1 the n values of second;
// the count is 2n when both are present.
int Pdl_OpInlineGlyphArray(PdlSink* s, LONG x, LONG y, BYTE flags, std::size_t n,
                           const LONG* first, const LONG* second, WORD last);
// Df: the real form of DF, with an opcode of its own; the count stays a word.
int Pdl_OpInlineGlyphArrayReal(PdlSink* s, float x, float y, BYTE flags, std::size_t n,
                               const float* first, const float* second, WORD last);

// Job and page framing
int Pdl_OpJobMode(PdlSink* s, BYTE mode);                            // EA
int Pdl_OpJobEnd(PdlSink* s);                                        // EB
// Ec: with paper code 0x51 the size (width, height in millimetres) is
// required; it is rounded to whole tenths.
int Pdl_OpBeginPage(PdlSink* s, BYTE colour, BYTE source, BYTE paper_code, const float* size);
int Pdl_OpEndPage(PdlSink* s);                                       // ED
int Pdl_OpStoreName(PdlSink* s, const char* text, std::size_t n);    // EE
int Pdl_OpStorePageEnd(PdlSink* s);                                  // EF
// Eg: kind 2 adds the sub byte; sub 0x51 adds two sizes given in tenths.
int Pdl_OpTextWithMatrix(PdlSink* s, const char* text, std::size_t n, const float m[6], BYTE kind,
                         BYTE sub, float width_tenths, float height_tenths);
int Pdl_OpAnnotation(PdlSink* s, const char* text, std::size_t n);   // EH
// EP: n 0 measures the text up to its NUL; at most 255 bytes are written.
int Pdl_OpComment(PdlSink* s, const char* text, std::size_t n);
int Pdl_OpSetValue(PdlSink* s, BYTE selector, WORD value);           // FA
int Pdl_OpSheetEnd(PdlSink* s);                                      // FB
int Pdl_OpSheetChange(PdlSink* s);                                   // FC
int Pdl_OpSheetEndValue(PdlSink* s, BYTE value);                     // FE
int Pdl_OpPageDuplex(PdlSink* s, BYTE a, BYTE b);                    // FH
int Pdl_OpCellsRotated(PdlSink* s, BYTE value);                      // FI

// The FH pair of a duplex value (1, 2 or 3); false for any other value.
bool Pdl_DuplexToFH(DWORD duplex, BYTE* a, BYTE* b);

}  // namespace morva::render
