// The engine's objects behind the public records it hands a driver. Each
// object begins with its public record, so the record's address is the
// object's; a magic word tells the engine's objects from foreign records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "win/ddi_engine.h"
#include "win/handles.h"

namespace morva::platform::engine {

// A surface: a device surface (no bits) or a bitmap (own or caller memory).
class SurfaceObject final : public KernelObject {
 public:
  SURFOBJ so{};
  std::vector<BYTE> memory;
};
std::shared_ptr<SurfaceObject> surface_of(HSURF hsurf);

// Bits per pixel of a BMF_ format, 0 for formats without pixels.
ULONG format_bits(ULONG format);
// Bytes of a DWORD-aligned row.
inline LONG aligned_row(LONG width, ULONG bits) { return static_cast<LONG>(((width * bits + 31) / 32) * 4); }
ULONG read_pixel(const SURFOBJ* so, LONG x, LONG y);
void write_pixel(SURFOBJ* so, LONG x, LONG y, ULONG value);

constexpr std::uint32_t kXlateMagic = 0x584C4154;  // "XLAT"
struct XlateObject {
  XLATEOBJ head{};
  std::uint32_t magic = kXlateMagic;
  enum class Kind { kTrivial, kTable, kBitfields } kind = Kind::kTrivial;
  std::vector<ULONG> table;
  ULONG masks[3]{};
};

constexpr std::uint32_t kBrushMagic = 0x42525348;  // "BRSH"
struct BrushObject {
  BRUSHOBJ head{};
  std::uint32_t magic = kBrushMagic;
  Device* device = nullptr;
  HSURF pattern = nullptr;
  HSURF mask = nullptr;
  XLATEOBJ* xlate = nullptr;
  ULONG hatch = HS_DDI_MAX;
  bool realize_tried = false;
  std::unique_ptr<BYTE[]> realization;
};
BrushObject* brush_of(BRUSHOBJ* pbo);
// The brush's colour at a device pixel, for the engine's own raster
// operations (the pattern repeats from the brush origin).
ULONG brush_color_at(BRUSHOBJ* pbo, const POINTL* origin, LONG x, LONG y);

constexpr std::uint32_t kXformMagic = 0x58464F52;  // "XFOR"
struct XformObject {
  XFORMOBJ head{};
  std::uint32_t magic = kXformMagic;
  XFORML m{};
};

}  // namespace morva::platform::engine
