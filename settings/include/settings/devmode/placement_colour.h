// Small computations of the settings library: the placement of a rotated
// box on a page (stamps and their previews), the derivation of requested
// finishing positions from stored position codes, the brightness /
// saturation / contrast matrix for 8-bit pixels with its application and a
// grey conversion, and the check of an ICC profile file header.
#pragma once

#include <cstdint>

#include "win/types.h"

// ---- placement ---------------------------------------------------------

struct PlacementSize {
  float width;
  float height;
};
struct PlacementPoint {
  float x;
  float y;
};

// A point (x, y) of the box goes to (x m11 + y m12 + offset x,
// x m21 + y m22 + offset y), plus the offset of its cell in a grid.
struct PlacementTransform {
  float m11, m12, m21, m22;  // cos a, sin a, -sin a, cos a
  float offsetX, offsetY;
  float cellWidth, cellHeight;
  WORD columns, rows;        // both 0 for a single aligned position
};

inline constexpr INT kMaxPlacementCells = 0x7FFFFFF;

// Places a box of `box` size, turned by `angle` whole degrees (negative
// angles turn the other way), on an area of `area` size. `mode` 2 turns the
// box about its centre; any other mode keeps the turned box's bounding box
// at the box origin. `alignment` 0 covers the area with cells of the turned
// box's extent (columns and rows rounded up) and answers the number of
// cells, at most kMaxPlacementCells; -1 when the extent is not a positive
// size. Otherwise the box is placed once: horizontal part 0x100 left, 0x200
// centre, 0x300 right; vertical part 1 top, 2 centre, 3 bottom; answer 1.
// -1 for a missing pointer.
INT ComputeRotatedPlacement(const PlacementSize* area, const PlacementSize* box, SHORT angle, WORD mode,
                            WORD alignment, PlacementTransform* out);

// 0 with the page position of `point` in cell `cell`; -1 for a missing
// pointer or a cell beyond the grid (a single position has cell 0 only).
INT TransformPlacementPoint(const PlacementTransform* transform, const PlacementPoint* point, DWORD cell,
                            PlacementPoint* out);

// ---- finishing ---------------------------------------------------------

// The page and stored position a requested finishing item is derived from.
struct FinishingContext {
  WORD orientation;   // dmOrientation (setting 7)
  WORD pageClass;     // setting 295: 1, 4, 16 class 1; 2, 8, 32 class 2
  WORD reserved;
  WORD positionCode;  // setting 325 (for 267), 326 (for 320), 344 (for 341)
};
static_assert(sizeof(FinishingContext) == 8);

// Setting 267 from its stored position (setting 325) on the given page.
// 0 with the value; 1 when no request gives that position on this page.
INT DeriveFinishingItem267(const FinishingContext* context, WORD* value);
// Setting 320 (staple) or 341 (punch) from its stored position code on the
// given page. 0 with the value; 1 when no request gives that code there.
INT DeriveFinishingPositionItem(WORD ddmid, const FinishingContext* context, WORD* value);

// ---- colour adjustment ---------------------------------------------------

// 16.16 fixed point. Row 0 gives output byte 2, row 1 byte 1, row 2 byte 0;
// the columns take input bytes 2, 1, 0. The three offsets are equal.
struct ColorAdjustMatrix {
  std::int32_t m[9];
  std::int32_t offset[3];
};
static_assert(sizeof(ColorAdjustMatrix) == 48);

// Brightness, saturation and contrast, each clamped to -100..100. 0, or -1
// without a matrix.
INT BuildColorAdjustMatrix(ColorAdjustMatrix* out, INT brightness, INT saturation, INT contrast);
// Applies the matrix to `count` byte triplets (source and destination may be
// the same); without a matrix the triplets are copied.
void ApplyColorAdjustMatrix(const ColorAdjustMatrix* matrix, const BYTE* source, BYTE* destination,
                            DWORD count);
// rows x pixels triplets to one grey byte per pixel.
void RgbToGrayRow(const BYTE* source, BYTE* destination, DWORD pixels, DWORD rows);

// ---- colour profiles -----------------------------------------------------

// 0 for a missing or empty path or one that starts with "\\.\pipe\"
// (ignoring case), else 1.
INT IsLocalFilePath(LPCSTR path);
DWORD SwapBytes32(DWORD value);

// Checks the header of an ICC profile: 1 (signature "acsp") or 2 ("nicc")
// for an RGB monitor or scanner profile with an XYZ or Lab connection
// space. -1 path refused (IsLocalFilePath), -2 cannot be opened, -3 shorter
// than 132 bytes, -5 signature, -6 colour space or device class, -7
// connection space.
INT CheckIccProfile(LPCSTR path);
