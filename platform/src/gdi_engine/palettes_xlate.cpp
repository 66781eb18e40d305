// Palettes and colour translations. Device colours are 0x00RRGGBB (the
// PAL_BGR layout: blue in the low byte, as 24-bit pixels store it).
#include "gdi_engine/engine_internal.h"
#include "win/errors.h"

namespace morva::platform::engine {

namespace {

class PaletteObject final : public KernelObject {
 public:
  ULONG mode = 0;
  std::vector<ULONG> colors;
  FLONG masks[3]{};
};

XlateObject* xlate_of(XLATEOBJ* pxlo) {
  auto* object = reinterpret_cast<XlateObject*>(pxlo);
  return object && object->magic == kXlateMagic ? object : nullptr;
}

// A channel of a packed pixel scaled to 8 bits.
ULONG channel(ULONG pixel, ULONG mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  int width = 0;
  while (shift + width < 32 && ((mask >> (shift + width)) & 1)) ++width;
  const ULONG value = (pixel & mask) >> shift;
  if (width >= 8) return value >> (width - 8);
  // Widen by repeating the high bits, so full scale stays full scale.
  ULONG out = 0;
  for (int filled = 0; filled < 8; filled += width) out = (out << width) | value;
  return (out >> (((8 + width - 1) / width) * width - 8)) & 0xFF;
}

}  // namespace

XLATEOBJ* create_xlate_trivial() {
  auto* object = new XlateObject;
  object->head.flXlate = XO_TRIVIAL;
  return &object->head;
}

XLATEOBJ* create_xlate_table(const std::vector<ULONG>& entries) {
  auto* object = new XlateObject;
  object->kind = XlateObject::Kind::kTable;
  object->table = entries;
  object->head.flXlate = XO_TABLE;
  object->head.cEntries = static_cast<ULONG>(entries.size());
  object->head.pulXlate = object->table.data();
  return &object->head;
}

XLATEOBJ* create_xlate_bitfields(ULONG red, ULONG green, ULONG blue) {
  auto* object = new XlateObject;
  object->kind = XlateObject::Kind::kBitfields;
  object->masks[0] = red;
  object->masks[1] = green;
  object->masks[2] = blue;
  // Masks that are the device layout itself translate nothing.
  if (red == 0xFF0000 && green == 0xFF00 && blue == 0xFF) {
    object->kind = XlateObject::Kind::kTrivial;
    object->head.flXlate = XO_TRIVIAL;
  }
  return &object->head;
}

void delete_xlate(XLATEOBJ* pxlo) { delete xlate_of(pxlo); }

}  // namespace morva::platform::engine

using namespace morva::platform;
using namespace morva::platform::engine;

extern "C" HPALETTE EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed, FLONG flGreen,
                                     FLONG flBlue) {
  auto palette = std::make_shared<PaletteObject>();
  palette->mode = iMode;
  switch (iMode) {
    case PAL_INDEXED:
      if (cColors == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      palette->colors.assign(cColors, 0);
      if (pulColors) palette->colors.assign(pulColors, pulColors + cColors);
      break;
    case PAL_BITFIELDS:
      palette->masks[0] = flRed;
      palette->masks[1] = flGreen;
      palette->masks[2] = flBlue;
      break;
    case PAL_RGB:
    case PAL_BGR:
    case PAL_CMYK:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  return static_cast<HPALETTE>(insert_handle(palette));
}

extern "C" BOOL EngDeletePalette(HPALETTE hpal) {
  if (!std::dynamic_pointer_cast<PaletteObject>(find_handle(hpal))) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return remove_handle(hpal) ? TRUE : FALSE;
}

extern "C" ULONG XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor) {
  if (!pxlo || (pxlo->flXlate & XO_TRIVIAL)) return iColor;
  if (pxlo->flXlate & XO_TABLE) return pxlo->pulXlate && iColor < pxlo->cEntries ? pxlo->pulXlate[iColor] : 0;
  XlateObject* object = xlate_of(pxlo);
  if (!object || object->kind != XlateObject::Kind::kBitfields) return iColor;
  return (channel(iColor, object->masks[0]) << 16) | (channel(iColor, object->masks[1]) << 8) |
         channel(iColor, object->masks[2]);
}

extern "C" ULONG XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal) {
  if (!pxlo || iPal != XO_SRCPALETTE || !(pxlo->flXlate & XO_TABLE)) return 0;
  const ULONG n = std::min(cPal, pxlo->cEntries);
  for (ULONG i = 0; pPal && i < n; ++i) pPal[i] = pxlo->pulXlate[i];
  return pPal ? n : pxlo->cEntries;
}
