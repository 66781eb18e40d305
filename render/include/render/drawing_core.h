// The drawing core: bit-block transfers and paths handed to the device
// surface become VANTIQ operators at once, with the engine's clip made the
// printer's clip and its line attributes made line state.
#pragma once

#include <vector>

#include "render/pdev.h"
#include "win/ddi.h"

namespace morva::gfx {

inline constexpr int kPathStroke = 1;
inline constexpr int kPathFill = 2;
inline constexpr int kPathBoth = 3;

// Clip state of the page.
inline constexpr DWORD kClipNone = 0;
inline constexpr DWORD kClipRect = 1;
inline constexpr DWORD kClipPath = 2;
inline constexpr DWORD kClipResetPending = 3;

BOOL RenderBlt(SURFOBJ* pso, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
               RECTL* prclSrc, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4,
               int mode);
// 1 success, 0 failure, -1 invalid PDEV or a page that cannot be started.
int RenderPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke, LINEATTRS* plineattrs,
               BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mix, FLONG flOptions, int mode);
// Makes the printer's clip equal to the engine's for a drawing within
// bounds (null: unknown); 1 or 0.
int ApplyClip(PDEV* pdev, CLIPOBJ* pco, const RECTL* bounds);
// A clip kept beyond its CLIPOBJ (images queued for the page): complexity,
// bounds and, for a complex clip, a flat copy of its path.
struct StoredClip {
  BYTE complexity = DC_TRIVIAL;
  RECTL bounds{};
  std::vector<BYTE> path;
};
// Copies a trivial, rectangle or complex clip; FALSE for one that cannot
// be kept.
BOOL StoreClip(CLIPOBJ* pco, StoredClip* out);
// ApplyClip with a stored clip; 1 or 0.
int ApplyStoredClip(PDEV* pdev, const StoredClip& clip, const RECTL* bounds);
int EmitPathObj(PdlWriter* w, PATHOBJ* ppo, BOOL* drawn);
int SetLineAttributes(PDEV* pdev, LINEATTRS* la);
void ResetPageDrawingState(PDEV* pdev);
// Frees the cached clip path (page start and PDEV end).
void FreeClipPathCache(PDEV* pdev);

// Mix (foreground bits 0-3, background bits 8-11) to a four-operand raster
// operation, and a raster-operation byte back to its binary code (13 when
// it has none).
ROP4 MixToRop4(MIX mix);
BYTE Rop3ToBinaryRop(BYTE rop3);

BOOL RealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoPattern, XLATEOBJ* pxlo, ULONG iHatch);

}  // namespace morva::gfx
