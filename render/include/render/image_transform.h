// Two changes of an image's pixels before it is compressed and sent: a
// quarter turn clockwise, for pages whose paper runs through the printer
// the other way, and a reduction of resolution by area averaging with
// integer weights in 1/256, at most 14:1 per axis.
#pragma once

#include <vector>

#include "win/types.h"

namespace morva::render {

// The buffer turned images are written into; one per document, grown as
// needed.
struct FlipBuffer {
  DWORD size;
  BYTE* buffer;
};
FlipBuffer* CreateFlipBuffer();
void FreeFlipBuffer(FlipBuffer* buffer);
// 0, or 1 when the buffer cannot grow to `bytes`.
INT EnsureFlipBuffer(DWORD bytes, FlipBuffer* buffer);

// Turns width x height pixels of 8, 16, 24 or 32 bits (rows of row_bytes)
// a quarter clockwise into the flip buffer: the top-left pixel becomes the
// top-right one. New rows are height x bytes per pixel rounded up to
// `alignment`. 0 with *out set, 1 for another depth or no memory.
INT TurnImage(FlipBuffer* buffer, DWORD width, DWORD height, DWORD row_bytes, DWORD bits, const BYTE* data,
              DWORD alignment, BYTE** out);

// Images wider and taller than this are turned.
inline constexpr DWORD kTurnMinimumSide = 64;
inline constexpr DWORD kReduceMaxRatio = 14;
inline constexpr DWORD kReduceMaxRows = 16;

// One output pixel's share of the source: from `start` (weight in 1/256)
// to `end` (weight), whole pixels between.
struct ReduceWeight {
  WORD start, start_weight, end, end_weight;
};
// m source pixels to n output pixels (0 < n <= m).
std::vector<ReduceWeight> ImageReducer_BuildWeights(DWORD m, DWORD n);

struct ImageReducer;
ImageReducer* ImageReducer_Create();
void ImageReducer_Destroy(ImageReducer* reducer);
// Mode 1 with the device resolutions and the target resolution; 1 or 0.
INT ImageReducer_Init(ImageReducer* reducer, DWORD mode, DWORD x_dpi, DWORD y_dpi, DWORD target);
// Output size for a source drawn over a destination of the given device
// pixels: target x destination / resolution, at least 1, within 14:1 of
// the source and never above it. 1 or 0.
INT ImageReducer_OutputSize(const ImageReducer* reducer, DWORD src_w, DWORD src_h, DWORD dst_w, DWORD dst_h,
                            DWORD* out_w, DWORD* out_h);
// 1, or 0 for zero sizes, an output larger than the source or a ratio
// above 14 in either axis.
INT ImageReducer_SetSizes(ImageReducer* reducer, DWORD src_w, DWORD src_h, DWORD out_w, DWORD out_h);
// Feeds one source row of RGB pixels (3 bytes each): the byte count of the
// output row when one is complete (ImageReducer_GetRow copies it), 0 when
// more rows are needed, -1 when 16 rows are buffered already.
INT ImageReducer_PutRow(ImageReducer* reducer, const BYTE* row, DWORD bytes, DWORD bits);
void ImageReducer_GetRow(const ImageReducer* reducer, BYTE* out);
DWORD ImageReducer_OutputWidth(const ImageReducer* reducer);
DWORD ImageReducer_OutputHeight(const ImageReducer* reducer);

// The per-page decision to turn images: the direction the page's paper
// runs through the printer (1 or 2; 0 when unknown) against the direction
// the page layout needs.
// From the job's two tray feed words: 0x0101 and 0x0202 give 1, 0x0303 and
// 0x0404 give 2, 0x0606 depends on the paper code; the second word is
// tried when the first does not decide.
DWORD FeedDirectionFromTrayWords(WORD first, WORD second, WORD paper_code);
// From the device database's feed value of the paper (0 when it has none):
// 1 and 2 as they are; 3 means 2, except for paper source 4, where setting
// 438 = 1 gives 2 and anything else 1.
DWORD FeedDirectionFromDatabase(DWORD feed_value, DWORD paper_source, DWORD setting_438);
// Layout kinds 2 and 8 (N-up pages count as 2) need 1 for portrait
// (orientation 1) and 2 otherwise; other kinds the opposite.
DWORD WantedFeedDirection(DWORD layout_kind, DWORD orientation);
// 1 when images are to be turned: a known direction that differs from the
// wanted one.
DWORD ShouldTurnImagesFor(DWORD feed_direction, DWORD wanted_direction);

}  // namespace morva::render
