// Page output composed by the driver itself: images handed in, already
// coded, through the private image protocol and drawn in place, and the
// marks at the edges of every tile of a poster.
#pragma once

#include "output/recorded_pages.h"
#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

// Largest piece of image data one transfer block carries.
inline constexpr DWORD kPlacedPieceMax = 0xFF00;

// Offsets within an image-transfer block.
inline constexpr DWORD kXferBlockSize = 0;
inline constexpr DWORD kXferDescription = 8;
inline constexpr DWORD kXferTotal = 12;
inline constexpr DWORD kXferPieceOffset = 16;
inline constexpr DWORD kXferPieceLength = 20;
inline constexpr DWORD kXferId = 24;
inline constexpr DWORD kXferRotation = 26;
inline constexpr DWORD kXferClip = 36;
inline constexpr DWORD kXferHeaderBytes = 40;
// Offsets within the image description.
inline constexpr DWORD kDescX = 4;
inline constexpr DWORD kDescY = 6;
inline constexpr DWORD kDescWidth = 8;
inline constexpr DWORD kDescHeight = 10;
inline constexpr DWORD kDescZero1 = 12;
inline constexpr DWORD kDescZero2 = 14;
inline constexpr DWORD kDescImageWidth = 16;
inline constexpr DWORD kDescImageHeight = 18;
inline constexpr DWORD kDescData = 20;
inline constexpr DWORD kDescBitmapInfo = 24;
inline constexpr DWORD kDescRop = 28;
inline constexpr DWORD kDescBytes = 32;

// Queued drawing goes out before a piece; 1, or -1 when the flush fails.
INT FlushPendingDrawing(PDEV* pdev, const void* block);
// One piece of a placed image: 0 drawn, -5 invalid description or
// rotation (nothing written), -1 any other failure. A piece longer than
// 0xFF00 bytes, out of its place in the data or beyond the announced total
// fails the image.
INT RenderPlacedObject(PDEV* pdev, const BYTE* block, DWORD block_size);
// The image header ("Cq") of a placed image; 0 or -1.
INT EmitPlacedImage(PDEV* pdev, const BYTE* data, DWORD total, WORD rotation, const BYTE* description,
                    const BYTE* bitmap_info);
// The image matrix for a rotation of 0, 90, 180 or 270 degrees.
INT SetPlacedImageRotation(float matrix[6], float sx, float sy, WORD rotation, float width, float height);
// 0 when no image is incomplete; -1 (and the image forgotten) when one
// announced more bytes than it received or had a piece refused.
INT CheckPlacedImagesComplete(PDEV* pdev);

// Tile marks: twelve dashed lines at the edges of the printable area.
INT DrawPageMarks(PDEV* pdev);
INT SetMarkPen(PDEV* pdev, LONG wx, LONG wy);
INT DrawMarkLine(PDEV* pdev, LONG x1, LONG y1, LONG x2, LONG y2);

}  // namespace morva::gfx
