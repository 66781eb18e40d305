// The engine's own raster operations on bitmap surfaces. A device surface
// is not the engine's: its pixels are read back through the driver's
// DrvCopyBits, combined in a 24-bit bitmap and copied back the same way.
#include <algorithm>
#include <vector>

#include "gdi_engine/engine_internal.h"
#include "win/errors.h"

namespace morva::platform::engine {

namespace {

RECTL ordered(const RECTL& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
}

bool intersect(const RECTL& a, const RECTL& b, RECTL* out) {
  out->left = std::max(a.left, b.left);
  out->top = std::max(a.top, b.top);
  out->right = std::min(a.right, b.right);
  out->bottom = std::min(a.bottom, b.bottom);
  return out->left < out->right && out->top < out->bottom;
}

// A ternary raster operation on every bit of the three values.
ULONG rop3(BYTE rop, ULONG p, ULONG s, ULONG d) {
  ULONG out = 0;
  for (int index = 0; index < 8; ++index) {
    if (!((rop >> index) & 1)) continue;
    out |= ((index & 4) ? p : ~p) & ((index & 2) ? s : ~s) & ((index & 1) ? d : ~d);
  }
  return out;
}

bool uses_source(BYTE rop) { return ((rop >> 2) & 0x33) != (rop & 0x33); }

// A bitmap copy of part of a device surface, read through the driver.
HSURF read_device(SURFOBJ* device_surface, const RECTL& area) {
  Device* device = Device::from_hdev(device_surface->hdev);
  auto copy_bits = device ? device->get<PFN_DrvCopyBits>(INDEX_DrvCopyBits) : nullptr;
  if (!copy_bits) return nullptr;
  SIZEL size{area.right - area.left, area.bottom - area.top};
  HSURF temp = reinterpret_cast<HSURF>(EngCreateBitmap(size, 0, BMF_24BPP, BMF_TOPDOWN, nullptr));
  if (!temp) return nullptr;
  RECTL dst{0, 0, size.cx, size.cy};
  POINTL src{area.left, area.top};
  if (!copy_bits(EngLockSurface(temp), device_surface, nullptr, nullptr, &dst, &src)) {
    EngDeleteSurface(temp);
    return nullptr;
  }
  return temp;
}

}  // namespace

}  // namespace morva::platform::engine

using namespace morva::platform;
using namespace morva::platform::engine;

extern "C" BOOL EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                          RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                          ROP4 rop4) {
  if (!psoTrg || !prclTrg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const BYTE fore = static_cast<BYTE>(rop4 & 0xFF);
  const BYTE back = static_cast<BYTE>((rop4 >> 8) & 0xFF);
  const bool masked = fore != back;
  if ((uses_source(fore) || uses_source(back)) && (!psoSrc || !pptlSrc)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (masked && (!psoMask || psoMask->iBitmapFormat != BMF_1BPP)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const RECTL target = ordered(*prclTrg);
  if (target.left == target.right || target.top == target.bottom) return TRUE;

  // A device destination: read back, combine in a bitmap, copy back.
  if (psoTrg->iType != STYPE_BITMAP) {
    Device* device = Device::from_hdev(psoTrg->hdev);
    auto copy_bits = device ? device->get<PFN_DrvCopyBits>(INDEX_DrvCopyBits) : nullptr;
    HSURF temp = copy_bits ? read_device(psoTrg, target) : nullptr;
    if (!temp) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return FALSE;
    }
    RECTL local{0, 0, target.right - target.left, target.bottom - target.top};
    POINTL brush{pptlBrush ? pptlBrush->x - target.left : -target.left,
                 pptlBrush ? pptlBrush->y - target.top : -target.top};
    POINTL src = pptlSrc ? *pptlSrc : POINTL{0, 0};
    POINTL mask = pptlMask ? *pptlMask : POINTL{0, 0};
    BOOL ok = EngBitBlt(EngLockSurface(temp), psoSrc, psoMask, nullptr, pxlo, &local, pptlSrc ? &src : nullptr,
                        pptlMask ? &mask : nullptr, pbo, &brush, rop4);
    POINTL origin{0, 0};
    RECTL back_target = target;
    if (ok) ok = copy_bits(psoTrg, EngLockSurface(temp), pco, nullptr, &back_target, &origin);
    EngDeleteSurface(temp);
    return ok;
  }
  // A device source: read the part that is used into a bitmap first.
  HSURF source_copy = nullptr;
  POINTL source_origin = pptlSrc ? *pptlSrc : POINTL{0, 0};
  if (psoSrc && psoSrc->iType != STYPE_BITMAP && pptlSrc) {
    RECTL area{pptlSrc->x, pptlSrc->y, pptlSrc->x + (target.right - target.left),
               pptlSrc->y + (target.bottom - target.top)};
    source_copy = read_device(psoSrc, area);
    if (!source_copy) {
      SetLastError(ERROR_NOT_SUPPORTED);
      return FALSE;
    }
    psoSrc = EngLockSurface(source_copy);
    source_origin = {0, 0};
  }
  if (!psoTrg->pvScan0) return FALSE;

  std::vector<RECTL> areas;
  RECTL surface{0, 0, psoTrg->sizlBitmap.cx, psoTrg->sizlBitmap.cy};
  RECTL limited;
  if (intersect(target, surface, &limited)) {
    if (!pco || pco->iDComplexity == DC_TRIVIAL) {
      areas.push_back(limited);
    } else {
      for (const RECTL& r : clip_rects(pco)) {
        RECTL part;
        if (intersect(limited, r, &part)) areas.push_back(part);
      }
    }
  }
  const ULONG bits = format_bits(psoTrg->iBitmapFormat);
  const ULONG value_mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
  for (const RECTL& area : areas) {
    for (LONG y = area.top; y < area.bottom; ++y) {
      for (LONG x = area.left; x < area.right; ++x) {
        const LONG dx = x - target.left, dy = y - target.top;
        BYTE rop = fore;
        if (masked) {
          const LONG mx = (pptlMask ? pptlMask->x : 0) + dx, my = (pptlMask ? pptlMask->y : 0) + dy;
          const bool inside = mx >= 0 && my >= 0 && mx < psoMask->sizlBitmap.cx && my < psoMask->sizlBitmap.cy;
          rop = inside && read_pixel(psoMask, mx, my) ? fore : back;
        }
        ULONG s = 0;
        if (uses_source(rop)) {
          const LONG sx = source_origin.x + dx, sy = source_origin.y + dy;
          if (sx < 0 || sy < 0 || sx >= psoSrc->sizlBitmap.cx || sy >= psoSrc->sizlBitmap.cy) continue;
          s = XLATEOBJ_iXlate(pxlo, read_pixel(psoSrc, sx, sy));
        }
        const ULONG p = pbo ? brush_color_at(pbo, pptlBrush, x, y) : 0;
        const ULONG d = read_pixel(psoTrg, x, y);
        write_pixel(psoTrg, x, y, rop3(rop, p, s, d) & value_mask);
      }
    }
  }
  if (source_copy) EngDeleteSurface(source_copy);
  return TRUE;
}

extern "C" BOOL EngCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                            POINTL* pptlSrc) {
  return EngBitBlt(psoDst, psoSrc, nullptr, pco, pxlo, prclDst, pptlSrc, nullptr, nullptr, nullptr, 0xCCCC);
}
