// Brush objects. A pattern or hatch brush is realised by the driver the
// first time the driver asks for its realisation: DrvRealizeBrush gets the
// pattern, its mask and its translation and allocates the realisation with
// BRUSHOBJ_pvAllocRbrush; it lives as long as the brush.
#include <atomic>
#include <cstring>
#include <new>

#include "gdi_engine/engine_internal.h"
#include "win/errors.h"

namespace morva::platform::engine {

namespace {

std::atomic<long>& live_realizations() {
  static std::atomic<long> count{0};
  return count;
}

void free_realization(BrushObject* brush) {
  if (brush->realization) {
    brush->realization.reset();
    --live_realizations();
  }
  brush->head.pvRbrush = nullptr;
}

}  // namespace

BrushObject* brush_of(BRUSHOBJ* pbo) {
  auto* object = reinterpret_cast<BrushObject*>(pbo);
  return object && object->magic == kBrushMagic ? object : nullptr;
}

BRUSHOBJ* create_brush_solid(ULONG color) {
  auto* brush = new BrushObject;
  brush->head.iSolidColor = color;
  return &brush->head;
}

BRUSHOBJ* create_brush_pattern(Device* device, HSURF pattern, HSURF mask, XLATEOBJ* xlate, ULONG hatch) {
  auto* brush = new BrushObject;
  brush->head.iSolidColor = 0xFFFFFFFFu;
  brush->device = device;
  brush->pattern = pattern;
  brush->mask = mask;
  brush->xlate = xlate;
  brush->hatch = hatch;
  return &brush->head;
}

void delete_brush(BRUSHOBJ* pbo) {
  BrushObject* brush = brush_of(pbo);
  if (!brush) return;
  free_realization(brush);
  if (brush->pattern) EngDeleteSurface(brush->pattern);
  if (brush->mask) EngDeleteSurface(brush->mask);
  delete_xlate(brush->xlate);
  delete brush;
}

long live_brush_realizations() { return live_realizations(); }

ULONG brush_color_at(BRUSHOBJ* pbo, const POINTL* origin, LONG x, LONG y) {
  BrushObject* brush = brush_of(pbo);
  if (!brush || pbo->iSolidColor != 0xFFFFFFFFu || !brush->pattern) return pbo->iSolidColor;
  SURFOBJ* pattern = EngLockSurface(brush->pattern);
  if (!pattern || pattern->sizlBitmap.cx <= 0 || pattern->sizlBitmap.cy <= 0) return 0;
  const LONG w = pattern->sizlBitmap.cx, h = pattern->sizlBitmap.cy;
  LONG px = (x - (origin ? origin->x : 0)) % w, py = (y - (origin ? origin->y : 0)) % h;
  if (px < 0) px += w;
  if (py < 0) py += h;
  return XLATEOBJ_iXlate(brush->xlate, read_pixel(pattern, px, py));
}

}  // namespace morva::platform::engine

using namespace morva::platform;
using namespace morva::platform::engine;

extern "C" PVOID BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj) {
  BrushObject* brush = brush_of(pbo);
  if (!brush || cj == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  free_realization(brush);
  brush->realization.reset(new (std::nothrow) BYTE[cj]());
  if (!brush->realization) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  ++live_realizations();
  return brush->realization.get();
}

extern "C" PVOID BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo) {
  BrushObject* brush = brush_of(pbo);
  if (!brush) return pbo ? pbo->pvRbrush : nullptr;
  if (pbo->pvRbrush || brush->realize_tried || pbo->iSolidColor != 0xFFFFFFFFu) return pbo->pvRbrush;
  brush->realize_tried = true;
  auto realize = brush->device ? brush->device->get<PFN_DrvRealizeBrush>(INDEX_DrvRealizeBrush) : nullptr;
  SURFOBJ* target = brush->device ? brush->device->surface_object() : nullptr;
  if (!realize || !target) return nullptr;
  if (!realize(pbo, target, EngLockSurface(brush->pattern), brush->mask ? EngLockSurface(brush->mask) : nullptr,
               brush->xlate, brush->hatch)) {
    free_realization(brush);
    return nullptr;
  }
  if (!pbo->pvRbrush) pbo->pvRbrush = brush->realization.get();
  return pbo->pvRbrush;
}

extern "C" ULONG BRUSHOBJ_ulGetBrushColor(BRUSHOBJ* pbo) { return pbo ? pbo->iSolidColor : 0xFFFFFFFFu; }
