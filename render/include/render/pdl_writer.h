// The document's operator layer: every drawing and framing path writes its
// VANTIQ operators through one PdlWriter, which leaves out graphics state
// that is unchanged since it was last written, picks the word or real form
// of each operator by its values, and tracks the current point so that
// polylines go out as relative steps. Calls answer 0 or -1.
#pragma once

#include <cstddef>

#include "render/pdl_encoding.h"
#include "render/pdl_operators.h"
#include "render/pdl_sink.h"
#include "win/ddi.h"
#include "win/types.h"

namespace morva::gfx {

// The last value written for each piece of graphics state.
struct GraphicsStateCache {
  DWORD enabled;
  float matrix[6];
  float line_width;
  LONG line_join;
  LONG line_cap;
  float miter_limit;
  LONG flag_ai;
  WORD fill_rule;
  WORD paint_mode;
  WORD rop_kind;
  DWORD rop_code;
  BYTE colour_target, colour_space;
  DWORD colour;
  BYTE dash_kind;
  LONG ff[2];
  // Page level: kept across page resets.
  WORD fa_quality, fa_other;
  DWORD font_code;
  float text_matrix[6];
  LONG fh[2];
  // The palette of the last "AV" (indexed images); entries 0 when none.
  WORD palette_entries;
  BYTE palette_format;
  WORD palette_bytes;
  BYTE palette[769];
  // The last colour pattern ("AP") and an owned GlobalAlloc copy of its
  // data (null when none is cached).
  LONG pattern_x, pattern_y;
  BYTE pattern_target, pattern_space;
  std::size_t pattern_width, pattern_height;
  DWORD pattern_bytes;
  BYTE* pattern_data;
};
// Drops the cached colour pattern and frees its copy.
void GraphicsStateCache_ForgetPattern(GraphicsStateCache* c);

struct PdlWriter {
  DWORD first_mode;
  DWORD page_forget;
  DWORD glyph_cache_open;
  DWORD glyph_capacity;
  DWORD has_point;
  LONG point_x, point_y;
  GraphicsStateCache cache;
  render::PdlSink* sink;  // not owned
  DWORD short_address;
  DWORD pdl_version;
  DWORD glyph_download_off;
  // Glyph download: the document's model of the printer's glyph memory.
  struct GlyphCache* glyph_cache;
};

void GraphicsStateCache_Reset(GraphicsStateCache* c);
void GraphicsStateCache_ResetPageLevel(GraphicsStateCache* c);

// pdl_version is the target version word; glyph_download_off the value of
// the setting that switches glyph download off.
PdlWriter* PdlWriter_Create(render::PdlSink* sink, DWORD pdl_version, DWORD glyph_download_off, DWORD capacity);
void PdlWriter_Destroy(PdlWriter* w);
// The version the writer's operators are chosen for, until set again.
void PdlWriter_SetPdlVersion(PdlWriter* w, DWORD pdl_version);
void PdlWriter_SetMode(PdlWriter* w, DWORD first, DWORD page_forget);
int PdlWriter_ResetForPage(PdlWriter* w);
DWORD PdlWriter_EnableCache(PdlWriter* w, DWORD on);

int PdlWriter_SetMatrix(PdlWriter* w, const float m[6]);
int PdlWriter_SetLineWidth(PdlWriter* w, float width);
int PdlWriter_SetMiterLimit(PdlWriter* w, float limit);
int PdlWriter_SetLineCap(PdlWriter* w, BYTE cap);
int PdlWriter_SetLineJoin(PdlWriter* w, BYTE join);
int PdlWriter_SetFillRule(PdlWriter* w, BYTE rule);
int PdlWriter_SetPaintMode(PdlWriter* w, BYTE mode);
int PdlWriter_SetRasterOp(PdlWriter* w, BYTE kind, DWORD code);
int PdlWriter_SetColour(PdlWriter* w, BYTE target, BYTE space, const BYTE* colour);
// Kind 6 carries the offset and lengths; other kinds the kind byte alone.
int PdlWriter_SetDash(PdlWriter* w, BYTE kind, float offset, std::size_t n, const float* lengths);
int PdlWriter_SetFA(PdlWriter* w, BYTE selector, WORD value);

int PdlWriter_ResetClip(PdlWriter* w);
int PdlWriter_ClipToPath(PdlWriter* w);
int PdlWriter_SetClipRect(PdlWriter* w, const RECTL& r);
int PdlWriter_NewPath(PdlWriter* w);
int PdlWriter_CloseSubpath(PdlWriter* w);
int PdlWriter_PaintPath(PdlWriter* w);
int PdlWriter_MoveTo(PdlWriter* w, POINTFIX p);
int PdlWriter_LineTo(PdlWriter* w, std::size_t n, const POINTFIX* points);
int PdlWriter_CurveTo(PdlWriter* w, std::size_t segments, const POINTFIX* points);
int PdlWriter_RectangleFix(PdlWriter* w, const RECTFX& r);
int PdlWriter_Rectangle(PdlWriter* w, const RECTL& r);
int PdlWriter_Ellipse(PdlWriter* w, const float e[6]);

int PdlWriter_BeginPage(PdlWriter* w, BYTE colour, BYTE source, BYTE size_code, float width, float height);
int PdlWriter_EndPage(PdlWriter* w);
int PdlWriter_PutEA(PdlWriter* w, BYTE p, BYTE q, BYTE r);
int PdlWriter_PutEB(PdlWriter* w);
int PdlWriter_PutFB(PdlWriter* w);
int PdlWriter_SetOrientation(PdlWriter* w, int type);
int PdlWriter_PutTextEE(PdlWriter* w, std::size_t n, const WCHAR* text);
int PdlWriter_PutTextEH(PdlWriter* w, std::size_t n, const WCHAR* text);
// Text with a matrix; kind 2 with sub 0x51 carries two sizes in tenths.
int PdlWriter_PutTextEg(PdlWriter* w, std::size_t n, const WCHAR* text, const float m[6], BYTE kind, BYTE sub,
                        float width_tenths, float height_tenths);
int PdlWriter_PutComment(PdlWriter* w, BYTE length, const char* text);
int PdlWriter_WriteText(PdlWriter* w, std::size_t n, const char* text);

// Images: "AV" (for indexed images on versions above 0x101FFFF, unless
// the palette equals the last one sent, after which "Cq" carries format 15)
// and "Cq"; the raw data after "Cq" or "Cp"; the cached raster operation.
int PdlWriter_BeginImage(PdlWriter* w, render::PdlImageHeader* header);
int PdlWriter_PutStencil(PdlWriter* w, float x, float y, std::size_t width, std::size_t height, BYTE polarity,
                         const float m[6], DWORD n);
int PdlWriter_WriteData(PdlWriter* w, const void* bytes, std::size_t n);
void PdlWriter_GetRasterOp(const PdlWriter* w, BYTE* kind, DWORD* code);
// Brushes: hatch and monochrome patterns in the word form when the origin
// fits a word, else the real form; colour patterns; the brush background.
// Each forgets the cached colour.
int PdlWriter_SetHatchBrush(PdlWriter* w, POINTL origin, BYTE target, BYTE space, BYTE style, DWORD colour);
int PdlWriter_SetMaskBrush(PdlWriter* w, POINTL origin, BYTE target, BYTE space, DWORD colour, std::size_t width,
                           std::size_t height, const BYTE* bits);
int PdlWriter_SetPatternBrush(PdlWriter* w, POINTL origin, BYTE target, BYTE space, std::size_t width,
                              std::size_t height, DWORD n, const BYTE* data);
int PdlWriter_SetBrushBackground(PdlWriter* w, BYTE target, BYTE mode, BYTE space, DWORD colour);

// Text and glyphs (render/glyph_records.cpp). The glyph cache: capacity 0
// opens nothing and succeeds; find and allocate answer the address or -1
// (no cache, absent, no room).
int PdlWriter_OpenGlyphCache(PdlWriter* w, DWORD capacity);
void PdlWriter_CloseGlyphCache(PdlWriter* w);
int PdlWriter_ResetGlyphCache(PdlWriter* w);
BOOL PdlWriter_HasGlyphCache(const PdlWriter* w);
LONG PdlWriter_FindGlyph(PdlWriter* w, WORD code, WORD font_id, BYTE kind);
LONG PdlWriter_AllocGlyph(PdlWriter* w, WORD code, WORD font_id, BYTE kind, DWORD bytes, int commit);
int PdlWriter_DownloadAt(PdlWriter* w, DWORD address);
int PdlWriter_DrawCachedGlyph(PdlWriter* w, float x, float y, DWORD address);
int PdlWriter_DrawInlineGlyph(PdlWriter* w, float x, float y, WORD last);
// One inline glyph at (x, y) and at n further places given by their
// distances: flags bit 0 the x distances, bit 1 the y distances.
int PdlWriter_DrawInlineGlyphArray(PdlWriter* w, float x, float y, BYTE flags, std::size_t n, const float* dx,
                                   const float* dy, WORD last);
int PdlWriter_PutGlyphValue(PdlWriter* w, int type, const void* data, std::size_t n);
// Page-level state: written only when it differs from the last value.
int PdlWriter_SelectDeviceFont(PdlWriter* w, WORD code);
int PdlWriter_SetTextMatrix(PdlWriter* w, const float m[6]);
// A text run: with a position (kind 1) or at the current text position,
// one advance (advance kind 0) or one per gap (1).
int PdlWriter_PutText(PdlWriter* w, int position_kind, POINTL position, std::size_t m, const WORD* codes,
                      int advance_kind, std::size_t n_advances, const float* advances);

}  // namespace morva::gfx
