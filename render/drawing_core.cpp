#include "render/drawing_core.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "output/document_control.h"
#include "render/images.h"
#include "render/pdl_operators.h"
#include "win/ddi_engine.h"
#include "win/errors.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {

constexpr std::size_t kMaxCurvePoints = 65535;
constexpr std::size_t kCurveChunkSegments = 21845;

// Binary raster codes by the raster-operation byte they stand for.
constexpr BYTE kMixRop[16] = {0xFF, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A,
                              0x5F, 0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA};

// One path record in a flat form: flags, count, then the points.
struct PathRecord {
  FLONG flags;
  std::vector<POINTFIX> points;
};

std::vector<PathRecord> records_of(PATHOBJ* ppo) {
  std::vector<PathRecord> out;
  PATHOBJ_vEnumStart(ppo);
  PATHDATA pd{};
  BOOL more;
  do {
    more = PATHOBJ_bEnum(ppo, &pd);
    if (pd.count == 0 && !(pd.flags & PD_CLOSEFIGURE)) continue;
    out.push_back({pd.flags, std::vector<POINTFIX>(pd.pptfx, pd.pptfx + pd.count)});
  } while (more);
  return out;
}

// The flat copy kept for the clip path: records as {flags, count, points}.
std::vector<BYTE> flatten(const std::vector<PathRecord>& records) {
  std::vector<BYTE> out;
  for (const auto& r : records) {
    DWORD head[2] = {r.flags, static_cast<DWORD>(r.points.size())};
    const BYTE* h = reinterpret_cast<const BYTE*>(head);
    out.insert(out.end(), h, h + sizeof head);
    const BYTE* p = reinterpret_cast<const BYTE*>(r.points.data());
    out.insert(out.end(), p, p + r.points.size() * sizeof(POINTFIX));
  }
  return out;
}

std::vector<PathRecord> unflatten(const std::vector<BYTE>& flat) {
  std::vector<PathRecord> out;
  for (std::size_t at = 0; at + 2 * sizeof(DWORD) <= flat.size();) {
    DWORD head[2];
    std::memcpy(head, flat.data() + at, sizeof head);
    at += sizeof head;
    const std::size_t bytes = std::size_t{head[1]} * sizeof(POINTFIX);
    if (bytes > flat.size() - at) break;
    PathRecord r{head[0], std::vector<POINTFIX>(head[1])};
    std::memcpy(r.points.data(), flat.data() + at, bytes);
    at += bytes;
    out.push_back(std::move(r));
  }
  return out;
}

int emit_records(PdlWriter* w, const std::vector<PathRecord>& records, BOOL* drawn) {
  if (drawn) *drawn = FALSE;
  int r = PdlWriter_NewPath(w);
  for (const auto& rec : records) {
    std::size_t first = 0;
    if ((rec.flags & PD_BEGINSUBPATH) && !rec.points.empty()) {
      r |= PdlWriter_MoveTo(w, rec.points[0]);
      first = 1;
    }
    std::size_t rest = rec.points.size() - first;
    if (rest) {
      const POINTFIX* p = rec.points.data() + first;
      if (rec.flags & PD_BEZIERS) {
        if (rest % 3 != 0) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return -1;
        }
        if (rest <= kMaxCurvePoints) {
          r |= PdlWriter_CurveTo(w, rest / 3, p);
        } else {
          for (std::size_t done = 0; done < rest / 3; done += kCurveChunkSegments) {
            std::size_t n = std::min(kCurveChunkSegments, rest / 3 - done);
            r |= PdlWriter_CurveTo(w, n, p + done * 3);
          }
        }
      } else {
        r |= PdlWriter_LineTo(w, rest, p);
      }
      if (drawn) *drawn = TRUE;
    }
    if ((rec.flags & PD_ENDSUBPATH) && (rec.flags & PD_CLOSEFIGURE)) r |= PdlWriter_CloseSubpath(w);
  }
  return r;
}

RECTL ordered(const RECTL& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
}

bool contains(const RECTL& outer, const RECTL& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

bool same_rect(const RECTL& a, const RECTL& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int reset_clip(PDEV* pdev) {
  pdev->clip_state = kClipNone;
  return PdlWriter_ResetClip(pdev->writer) == 0 ? 1 : 0;
}

// The printer's colour for 0x00RRGGBB: grey when the three agree.
int set_colour(PdlWriter* w, BYTE target, ULONG rgb) {
  BYTE bytes[3] = {static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb)};
  BYTE space = bytes[0] == bytes[1] && bytes[1] == bytes[2] ? render::kPdlSpaceGrey : render::kPdlSpaceRgb;
  return PdlWriter_SetColour(w, target, space, bytes);
}

// A brush becomes the colour or pattern of its target under the raster
// operation (the image and brush code); a missing one draws black.
int set_brush(PDEV* pdev, BYTE target, BRUSHOBJ* pbo, ROP4 rop4, const POINTL* origin) {
  if (pbo) return SetBrush(pdev, target, origin, pbo, rop4) ? 0 : -1;
  PdlWriter* w = pdev->writer;
  int r = PdlWriter_SetRasterOp(w, 1, Rop3ToBinaryRop(static_cast<BYTE>(rop4)));
  return r | set_colour(w, target, 0);
}

// Common entry of both cores: a valid PDEV whose document did not fail and
// whose page is started. A cover-only fax job prints none of the
// application's pages: its drawing calls succeed without output (*skip).
// Queued images go out before anything else is drawn; an image blt lets
// the image code decide.
PDEV* enter(SURFOBJ* pso, bool* skip, bool flush_images = true) {
  *skip = false;
  PDEV* pdev = PdevOf(pso);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (pdev->flags & kPdevDocFailed) return nullptr;
  if (pdev->device_class_flag && PdevGetNumber(pdev, 381) == 1) {
    // The job output still begins here, as at any first drawing.
    if (EnsurePageStarted(pdev) != 0) {
      pdev->flags |= kPdevDocFailed;
      return nullptr;
    }
    *skip = true;
    return nullptr;
  }
  if (EnsurePageStarted(pdev) != 0) {
    pdev->flags |= kPdevDocFailed;
    return nullptr;
  }
  if (flush_images && FlushQueuedImages(pdev, TRUE) != 0) return nullptr;
  if (!pdev->writer) return nullptr;
  return pdev;
}

bool no_source_rop(ROP4 rop4) {
  static constexpr ROP4 kBrushOnly[] = {0x0505, 0x0A0A, 0x0F0F, 0x5050, 0x5555, 0x5A5A, 0x5F5F, 0xA0A0,
                                        0xA5A5, 0xAFAF, 0xF0F0, 0xF5F5, 0xFAFA, 0xAAA0, 0xAAF0};
  return std::find(std::begin(kBrushOnly), std::end(kBrushOnly), rop4) != std::end(kBrushOnly);
}

// A single clip rectangle that cuts a rectangle of unchanged size: the
// rectangle is cut geometrically instead of setting a clip.
bool rect_clip_cutting(CLIPOBJ* pco, const RECTL& dst, const RECTL* src) {
  if (!pco || pco->iDComplexity != DC_RECT) return false;
  if (src && (src->right - src->left != dst.right - dst.left || src->bottom - src->top != dst.bottom - dst.top))
    return false;
  return !contains(pco->rclBounds, dst);
}

RECTL intersect(const RECTL& a, const RECTL& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

}  // namespace

ROP4 MixToRop4(MIX mix) {
  BYTE fg = kMixRop[(mix & 0xFF) % 16];
  BYTE bg = kMixRop[((mix >> 8) & 0xFF) % 16];
  return static_cast<ROP4>(bg << 8 | fg);
}

BYTE Rop3ToBinaryRop(BYTE rop3) {
  for (BYTE code = 1; code <= 16; ++code)
    if (kMixRop[code % 16] == rop3) return code;
  return 13;
}

void FreeClipPathCache(PDEV* pdev) {
  if (pdev->clip_path) HeapFree(pdev->heap, 0, pdev->clip_path);
  pdev->clip_path = nullptr;
  pdev->clip_path_bytes = 0;
  pdev->clip_path_records = 0;
}

void ResetPageDrawingState(PDEV* pdev) {
  pdev->clip_state = kClipResetPending;
  pdev->clip_rect = {0, 0, 0, 0};
  FreeClipPathCache(pdev);
}

int EmitPathObj(PdlWriter* w, PATHOBJ* ppo, BOOL* drawn) {
  return emit_records(w, records_of(ppo), drawn) == 0 ? 1 : 0;
}

namespace {

// Makes a clip path the printer's clip, unless it is the one in force.
int apply_clip_path(PDEV* pdev, const std::vector<PathRecord>& records, const std::vector<BYTE>& flat) {
  PdlWriter* w = pdev->writer;
  if (pdev->clip_state == kClipPath && pdev->clip_path && pdev->clip_path_bytes == flat.size() &&
      pdev->clip_path_records == records.size() && std::memcmp(pdev->clip_path, flat.data(), flat.size()) == 0)
    return 1;
  FreeClipPathCache(pdev);
  // A clip path that cannot be kept is still sent; it is only compared
  // again when it could be kept.
  if (void* copy = HeapAlloc(pdev->heap, 0, flat.size())) {
    std::memcpy(copy, flat.data(), flat.size());
    pdev->clip_path = copy;
    pdev->clip_path_bytes = flat.size();
    pdev->clip_path_records = static_cast<ULONG>(records.size());
  }
  if (pdev->clip_state != kClipNone && !reset_clip(pdev)) return 0;
  int r = emit_records(w, records, nullptr);
  r |= PdlWriter_SetPaintMode(w, 2);
  r |= PdlWriter_ClipToPath(w);
  if (r != 0) return 0;
  pdev->clip_state = kClipPath;
  return 1;
}

}  // namespace

int ApplyClip(PDEV* pdev, CLIPOBJ* pco, const RECTL* bounds) {
  PdlWriter* w = pdev->writer;
  if (pdev->clip_state == kClipResetPending && !reset_clip(pdev)) return 0;
  if (!pco || pco->iDComplexity == DC_TRIVIAL) return pdev->clip_state == kClipNone ? 1 : reset_clip(pdev);
  if (pco->iDComplexity == DC_RECT) {
    RECTL clip = ordered(pco->rclBounds);
    if (bounds && contains(clip, *bounds)) return pdev->clip_state == kClipNone ? 1 : reset_clip(pdev);
    if (pdev->clip_state == kClipRect && same_rect(pdev->clip_rect, clip)) return 1;
    // Clip operators intersect with the clip in force: only a rectangle
    // inside the current one can go without a reset.
    if ((pdev->clip_state == kClipRect && !contains(pdev->clip_rect, clip)) || pdev->clip_state == kClipPath)
      if (!reset_clip(pdev)) return 0;
    if (PdlWriter_SetClipRect(w, clip) != 0) return 0;
    pdev->clip_rect = clip;
    pdev->clip_state = kClipRect;
    return 1;
  }
  if (pco->iDComplexity != DC_COMPLEX) return 0;
  PATHOBJ* path = CLIPOBJ_ppoGetPath(pco);
  if (!path) return 0;
  auto records = records_of(path);
  EngDeletePath(path);
  if (records.empty()) return 0;
  return apply_clip_path(pdev, records, flatten(records));
}

BOOL StoreClip(CLIPOBJ* pco, StoredClip* out) {
  if (!out) return FALSE;
  *out = StoredClip{};
  if (!pco) return TRUE;
  out->complexity = pco->iDComplexity;
  out->bounds = pco->rclBounds;
  if (pco->iDComplexity == DC_TRIVIAL || pco->iDComplexity == DC_RECT) return TRUE;
  if (pco->iDComplexity != DC_COMPLEX) return FALSE;
  PATHOBJ* path = CLIPOBJ_ppoGetPath(pco);
  if (!path) return FALSE;
  auto records = records_of(path);
  EngDeletePath(path);
  out->path = flatten(records);
  return !records.empty();
}

int ApplyStoredClip(PDEV* pdev, const StoredClip& clip, const RECTL* bounds) {
  if (clip.complexity != DC_COMPLEX) {
    CLIPOBJ pco{};
    pco.iDComplexity = clip.complexity;
    pco.rclBounds = clip.bounds;
    return ApplyClip(pdev, &pco, bounds);
  }
  if (pdev->clip_state == kClipResetPending && !reset_clip(pdev)) return 0;
  auto records = unflatten(clip.path);
  if (records.empty()) return 0;
  return apply_clip_path(pdev, records, clip.path);
}

int SetLineAttributes(PDEV* pdev, LINEATTRS* la) {
  PdlWriter* w = pdev->writer;
  int r = 0;
  std::vector<float> lengths;
  float offset = 0;
  if (la->fl & LA_GEOMETRIC) {
    static constexpr BYTE kJoin[] = {2, 3, 1};  // round, bevel, miter
    static constexpr BYTE kCap[] = {2, 3, 1};   // round, square, butt
    r |= PdlWriter_SetLineJoin(w, la->iJoin < 3 ? kJoin[la->iJoin] : 2);
    r |= PdlWriter_SetLineCap(w, la->iEndCap < 3 ? kCap[la->iEndCap] : 2);
    r |= PdlWriter_SetMiterLimit(w, std::max(1.0f, la->eMiterLimit));
    r |= PdlWriter_SetLineWidth(w, la->elWidth.e);
    for (ULONG i = 0; la->pstyle && i < la->cstyle; ++i) lengths.push_back(la->pstyle[i].e);
    offset = la->elStyleState.e;
  } else {
    r |= PdlWriter_SetLineWidth(w, static_cast<float>(la->elWidth.l));
    if (la->fl & LA_ALTERNATE) {
      lengths = {1, 1};
    } else if (la->pstyle && la->cstyle) {
      LONG unit = PdevGetNumber(pdev, 467);
      if (unit > 24 || unit <= 0) unit = 24;
      LONG dpi = PdevResolution(pdev);
      for (ULONG i = 0; i < la->cstyle; ++i)
        lengths.push_back(static_cast<float>(la->pstyle[i].l * unit * dpi / 600));
    }
    offset = static_cast<float>(la->elStyleState.l);
  }
  if (lengths.empty()) return (r | PdlWriter_SetDash(w, 1, 0, 0, nullptr)) == 0 ? 1 : 0;
  // A style list longer than the operator carries cannot be drawn as it
  // was asked for: the call fails instead of drawing a solid line.
  if (lengths.size() > 255) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (la->fl & LA_STARTGAP) std::rotate(lengths.rbegin(), lengths.rbegin() + 1, lengths.rend());
  r |= PdlWriter_SetDash(w, 6, offset, lengths.size(), lengths.data());
  return r == 0 ? 1 : 0;
}

BOOL RenderBlt(SURFOBJ* pso, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
               RECTL* prclSrc, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4,
               int) {
  bool skip;
  PDEV* pdev = enter(pso, &skip, false);
  if (!pdev || !prclDst) return skip ? TRUE : FALSE;
  RECTL dst = ordered(*prclDst);
  if (IsRenderPluginOn(pdev) && ((rop4 >> 8) & 0xFF) != (rop4 & 0xFF)) {
    FlushQueuedImages(pdev, FALSE);
    return EngBitBlt(pso, psoSrc, psoMask, pco, pxlo, prclDst, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
  }
  rop4 &= 0xFFFF;
  if (rop4 == 0xAAAA) return FlushQueuedImages(pdev, FALSE) == 0;
  bool solid = rop4 == 0x0000 || rop4 == 0xFFFF;
  if ((solid || no_source_rop(rop4)) && FlushQueuedImages(pdev, TRUE) != 0) return FALSE;
  if (!solid && !no_source_rop(rop4)) {
    // An image. When both bytes agree the mask plays no part; with a mask
    // the raster operation is the whole rop4 (kind 3).
    bool masked = ((rop4 >> 8) & 0xFF) != (rop4 & 0xFF) && psoMask && pptlMask;
    RECTL src = prclSrc ? ordered(*prclSrc) : dst;
    POINTL so = pptlSrc ? *pptlSrc : POINTL{src.left, src.top};
    POINTL mo = pptlMask ? *pptlMask : POINTL{0, 0};
    return RenderImage(pdev, pco, psoSrc, masked ? psoMask : nullptr, src.right - src.left, src.bottom - src.top, so,
                       mo, prclDst, dst, pxlo, pbo, pptlBrush, masked ? 3 : 2, masked ? rop4 : (rop4 & 0xFF));
  }
  PdlWriter* w = pdev->writer;
  int r = 0;
  if (rect_clip_cutting(pco, dst, prclSrc ? prclSrc : nullptr)) {
    if (pdev->clip_state != kClipNone && !reset_clip(pdev)) return FALSE;
    dst = intersect(dst, ordered(pco->rclBounds));
    if (dst.left >= dst.right || dst.top >= dst.bottom) return TRUE;
  } else if (!ApplyClip(pdev, pco, &dst)) {
    return FALSE;
  }
  if (solid) {
    r |= set_colour(w, 2, rop4 == 0xFFFF ? 0xFFFFFF : 0);
    r |= PdlWriter_SetFillRule(w, 1);
    r |= PdlWriter_SetRasterOp(w, 1, 13);
    // The raster operation makes the printer forget the colour: set it
    // again after it.
    r |= set_colour(w, 2, rop4 == 0xFFFF ? 0xFFFFFF : 0);
  } else {
    r |= set_brush(pdev, 2, pbo, rop4, pptlBrush);
    r |= PdlWriter_SetFillRule(w, 1);
  }
  r |= PdlWriter_SetPaintMode(w, 2);
  r |= PdlWriter_Rectangle(w, dst);
  return r == 0;
}

int RenderPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke, LINEATTRS* la,
               BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mix, FLONG flOptions, int mode) {
  bool skip;
  PDEV* pdev = enter(pso, &skip);
  if (!pdev) return skip ? 1 : -1;
  PdlWriter* w = pdev->writer;
  auto records = records_of(ppo);
  RECTFX b{};
  PATHOBJ_vGetBounds(ppo, &b);
  RECTL bounds{b.xLeft >> 4, b.yTop >> 4, (b.xRight + 16) >> 4, (b.yBottom + 16) >> 4};

  // A one-rectangle path: four axis-aligned corners in one closed record.
  bool rect_path = false;
  RECTFX rect{};
  if (records.size() == 1 && records[0].points.size() == 4 && !(records[0].flags & PD_BEZIERS)) {
    const auto& p = records[0].points;
    bool h = p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x;
    bool v = p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y;
    if (h || v) {
      rect_path = true;
      rect = {std::min(p[0].x, p[2].x), std::min(p[0].y, p[2].y), std::max(p[0].x, p[2].x), std::max(p[0].y, p[2].y)};
    }
  }
  bool cut_fill = mode == kPathFill && rect_path && pco && pco->iDComplexity == DC_RECT &&
                  !contains(ordered(pco->rclBounds), bounds);
  if (cut_fill) {
    if (pdev->clip_state != kClipNone && !reset_clip(pdev)) return 0;
  } else if (!ApplyClip(pdev, pco, &bounds)) {
    return 0;
  }

  bool styled = la && la->pstyle && la->cstyle;
  bool cosmetic = la && !(la->fl & LA_GEOMETRIC);
  bool identity = !pxo || XFORMOBJ_iGetXform(pxo, nullptr) == GX_IDENTITY;
  int kind = 3;
  if ((ppo->fl & PO_ELLIPSE) && (mode == kPathFill || (!styled && cosmetic))) kind = 1;
  else if (rect_path && (mode == kPathFill || (!styled && (cosmetic || identity)))) kind = 2;

  LINEATTRS round_join;
  if (kind == 2 && mode != kPathFill && (rect.xLeft == rect.xRight || rect.yTop == rect.yBottom)) {
    round_join = *la;
    round_join.iJoin = JOIN_ROUND;
    la = &round_join;
  }

  int r = 0;
  BYTE paint = mode == kPathStroke ? 1 : mode == kPathFill ? 2 : 3;
  ROP4 rop4 = MixToRop4(mix);
  if (mode != kPathFill) {
    if (!SetLineAttributes(pdev, la)) return 0;
    if (set_brush(pdev, 1, pboStroke, rop4, pptlBrushOrg) != 0) return 0;
  }
  if (mode != kPathStroke) {
    if (set_brush(pdev, 2, pboFill, rop4, pptlBrushOrg) != 0) return 0;
    if (flOptions != FP_ALTERNATEMODE && flOptions != FP_WINDINGMODE) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    r |= PdlWriter_SetFillRule(w, flOptions == FP_ALTERNATEMODE ? 1 : 2);
  }

  if (kind == 1) {
    float x0 = b.xLeft / 16.0f, y0 = b.yTop / 16.0f;
    float rx = (b.xRight / 16.0f - x0) / 2, ry = (b.yBottom / 16.0f - y0) / 2;
    r |= PdlWriter_SetPaintMode(w, paint);
    if (rx > 0 && ry > 0) {
      const float e[6] = {x0 + rx, y0 + ry, rx, ry, 0, 360};
      r |= PdlWriter_Ellipse(w, e);
    } else {
      r |= PdlWriter_RectangleFix(w, b);
    }
  } else if (kind == 2) {
    if (rect.xLeft == rect.xRight) rect.xRight += 1;
    if (rect.yTop == rect.yBottom) rect.yBottom += 1;
    if (cut_fill) {
      RECTL c = ordered(pco->rclBounds);
      rect = {std::max(rect.xLeft, c.left * 16), std::max(rect.yTop, c.top * 16), std::min(rect.xRight, c.right * 16),
              std::min(rect.yBottom, c.bottom * 16)};
      if (rect.xLeft >= rect.xRight || rect.yTop >= rect.yBottom) return 1;
    }
    r |= PdlWriter_SetPaintMode(w, paint);
    r |= PdlWriter_RectangleFix(w, rect);
  } else {
    if (emit_records(w, records, nullptr) != 0) return 0;
    bool pen_transform = mode != kPathFill && la && (la->fl & LA_GEOMETRIC) && !identity;
    if (pen_transform) {
      // The pen's width and style are in world units: stroke under the
      // world transform, then put the page's matrix back.
      XFORML x{};
      XFORMOBJ_iGetXform(pxo, &x);
      float saved[6];
      std::memcpy(saved, w->cache.matrix, sizeof saved);
      float m[6] = {x.eM11, x.eM12, x.eM21, x.eM22, 0, 0};
      float product[6] = {m[0] * saved[0] + m[1] * saved[2], m[0] * saved[1] + m[1] * saved[3],
                          m[2] * saved[0] + m[3] * saved[2], m[2] * saved[1] + m[3] * saved[3],
                          saved[4], saved[5]};
      r |= PdlWriter_SetMatrix(w, product);
      r |= PdlWriter_SetPaintMode(w, paint);
      r |= PdlWriter_PaintPath(w);
      r |= PdlWriter_SetMatrix(w, saved);
    } else {
      r |= PdlWriter_SetPaintMode(w, paint);
      r |= PdlWriter_PaintPath(w);
    }
  }
  return r == 0 ? 1 : 0;
}

BOOL RealizeBrush(BRUSHOBJ* pbo, SURFOBJ* pattern, XLATEOBJ* pxlo, ULONG hatch) {
  ULONG bits = 0, format = pattern->iBitmapFormat;
  LONG width = pattern->sizlBitmap.cx, height = pattern->sizlBitmap.cy;
  if (hatch >= HS_DDI_MAX) {
    switch (format) {
      case BMF_1BPP: bits = 1; break;
      case BMF_4BPP: bits = 4; break;
      case BMF_8BPP: bits = 8; break;
      case BMF_16BPP: case BMF_24BPP: case BMF_32BPP: bits = 24; break;
      default: return FALSE;
    }
  }
  ULONG row = hatch >= HS_DDI_MAX ? (static_cast<ULONG>(width) * bits + 31) / 32 * 4 : 0;
  ULONG data = row * (hatch >= HS_DDI_MAX ? static_cast<ULONG>(height) : 0);
  ULONG entries = (pxlo->flXlate & XO_TABLE) ? XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, 0, nullptr) : 0;
  auto* block = static_cast<BYTE*>(BRUSHOBJ_pvAllocRbrush(pbo, data + 4 * entries + 36));
  if (!block) return FALSE;
  auto* words = reinterpret_cast<DWORD*>(block);
  if (hatch >= HS_DDI_MAX) {
    words[0] = static_cast<DWORD>(width);
    words[1] = static_cast<DWORD>(height);
    words[2] = bits == 24 ? BMF_24BPP : format;
    words[3] = pattern->fjBitmap | 1u;
    const BYTE* src = static_cast<const BYTE*>(pattern->pvScan0);
    for (LONG y = 0; y < height; ++y, src += pattern->lDelta) {
      BYTE* out = block + 28 + y * row;
      if (bits != 24) {
        std::memcpy(out, src, (static_cast<ULONG>(width) * bits + 7) / 8);
        continue;
      }
      for (LONG x = 0; x < width; ++x) {
        ULONG pixel;
        if (format == BMF_24BPP) {
          std::memcpy(out + 3 * x, src + 3 * x, 3);
          continue;
        }
        pixel = format == BMF_16BPP ? reinterpret_cast<const WORD*>(src)[x] : reinterpret_cast<const DWORD*>(src)[x];
        ULONG c = XLATEOBJ_iXlate(pxlo, pixel);
        out[3 * x] = static_cast<BYTE>(c);
        out[3 * x + 1] = static_cast<BYTE>(c >> 8);
        out[3 * x + 2] = static_cast<BYTE>(c >> 16);
      }
    }
  }
  words[4] = entries;
  words[5] = data + 36;
  words[6] = hatch;
  if (entries) XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, entries, reinterpret_cast<ULONG*>(block + 36 + data));
  pbo->pvRbrush = block;
  return TRUE;
}

}  // namespace morva::gfx
