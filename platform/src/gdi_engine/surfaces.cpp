// Surfaces and devices: device surfaces owned by a driver, engine bitmaps,
// and the HDEV that ties a surface to the PDEV that draws on it.
#include <cstring>
#include <mutex>
#include <set>

#include "gdi_engine/engine_internal.h"
#include "win/errors.h"

namespace morva::platform::engine {

namespace {

std::mutex& device_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}
std::set<Device*>& devices() {
  static std::set<Device*>* set = new std::set<Device*>;
  return *set;
}

HSURF register_surface(std::shared_ptr<SurfaceObject> surface) {
  HANDLE handle = insert_handle(surface);
  if (!handle) return nullptr;
  surface->so.hsurf = static_cast<HSURF>(handle);
  return surface->so.hsurf;
}

}  // namespace

Device::Device() {
  std::lock_guard lock(device_lock());
  devices().insert(this);
}

Device::~Device() {
  std::lock_guard lock(device_lock());
  devices().erase(this);
}

Device* Device::from_hdev(HDEV hdev) {
  std::lock_guard lock(device_lock());
  auto* device = reinterpret_cast<Device*>(hdev);
  return devices().count(device) ? device : nullptr;
}

bool Device::set_functions(const DRVENABLEDATA& data) {
  bool any = false;
  for (ULONG i = 0; data.pdrvfn && i < data.c; ++i) {
    if (data.pdrvfn[i].iFunc <= INDEX_LAST && data.pdrvfn[i].pfn) {
      functions_[data.pdrvfn[i].iFunc] = data.pdrvfn[i].pfn;
      any = true;
    }
  }
  return any;
}

SURFOBJ* Device::surface_object() const { return surface ? EngLockSurface(surface) : nullptr; }

std::shared_ptr<SurfaceObject> surface_of(HSURF hsurf) {
  return std::dynamic_pointer_cast<SurfaceObject>(find_handle(static_cast<HANDLE>(hsurf)));
}

ULONG format_bits(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
  }
}

ULONG read_pixel(const SURFOBJ* so, LONG x, LONG y) {
  const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
  switch (so->iBitmapFormat) {
    case BMF_1BPP: return (row[x / 8] >> (7 - x % 8)) & 1;
    case BMF_4BPP: return (x & 1) ? row[x / 2] & 0xF : row[x / 2] >> 4;
    case BMF_8BPP: return row[x];
    case BMF_16BPP: return row[2 * x] | (row[2 * x + 1] << 8);
    case BMF_24BPP: return row[3 * x] | (row[3 * x + 1] << 8) | (static_cast<ULONG>(row[3 * x + 2]) << 16);
    case BMF_32BPP: {
      ULONG v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
    default: return 0;
  }
}

void write_pixel(SURFOBJ* so, LONG x, LONG y, ULONG v) {
  BYTE* row = static_cast<BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
  switch (so->iBitmapFormat) {
    case BMF_1BPP: {
      const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
      row[x / 8] = (v & 1) ? (row[x / 8] | bit) : (row[x / 8] & ~bit);
      break;
    }
    case BMF_4BPP:
      row[x / 2] = (x & 1) ? static_cast<BYTE>((row[x / 2] & 0xF0) | (v & 0xF))
                           : static_cast<BYTE>((row[x / 2] & 0x0F) | ((v & 0xF) << 4));
      break;
    case BMF_8BPP: row[x] = static_cast<BYTE>(v); break;
    case BMF_16BPP:
      row[2 * x] = static_cast<BYTE>(v);
      row[2 * x + 1] = static_cast<BYTE>(v >> 8);
      break;
    case BMF_24BPP:
      row[3 * x] = static_cast<BYTE>(v);
      row[3 * x + 1] = static_cast<BYTE>(v >> 8);
      row[3 * x + 2] = static_cast<BYTE>(v >> 16);
      break;
    case BMF_32BPP: std::memcpy(row + 4 * x, &v, 4); break;
    default: break;
  }
}

}  // namespace morva::platform::engine

using namespace morva::platform;
using namespace morva::platform::engine;

extern "C" HSURF EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
  if (sizl.cx <= 0 || sizl.cy <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto surface = std::make_shared<SurfaceObject>();
  surface->so.dhsurf = dhsurf;
  surface->so.sizlBitmap = sizl;
  surface->so.iBitmapFormat = iFormatCompat;
  surface->so.iType = STYPE_DEVICE;
  return register_surface(surface);
}

extern "C" HBITMAP EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  const ULONG bits = format_bits(iFormat);
  if (sizl.cx <= 0 || sizl.cy <= 0 || bits == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const LONG stride = lWidth > 0 ? lWidth : aligned_row(sizl.cx, bits);
  if (stride < static_cast<LONG>((sizl.cx * bits + 7) / 8)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto surface = std::make_shared<SurfaceObject>();
  SURFOBJ& so = surface->so;
  so.sizlBitmap = sizl;
  so.iBitmapFormat = iFormat;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = static_cast<USHORT>(fl & (BMF_TOPDOWN | BMF_NOZEROINIT | BMF_DONTCACHE | BMF_USERMEM));
  so.cjBits = static_cast<ULONG>(stride) * sizl.cy;
  if (pvBits) {
    so.pvBits = pvBits;
  } else {
    surface->memory.assign(so.cjBits, 0);
    so.pvBits = surface->memory.data();
  }
  if (fl & BMF_TOPDOWN) {
    so.pvScan0 = so.pvBits;
    so.lDelta = stride;
  } else {
    so.pvScan0 = static_cast<BYTE*>(so.pvBits) + static_cast<std::ptrdiff_t>(stride) * (sizl.cy - 1);
    so.lDelta = -stride;
  }
  return reinterpret_cast<HBITMAP>(register_surface(surface));
}

extern "C" BOOL EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  auto surface = surface_of(hsurf);
  Device* device = Device::from_hdev(hdev);
  if (!surface || !device) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  surface->so.hdev = hdev;
  surface->so.dhpdev = device->dhpdev;
  if (surface->so.iType == STYPE_DEVICE) {
    device->surface = hsurf;
    device->hooks = flHooks;
  }
  return TRUE;
}

extern "C" BOOL EngDeleteSurface(HSURF hsurf) {
  if (!surface_of(hsurf)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return remove_handle(static_cast<HANDLE>(hsurf)) ? TRUE : FALSE;
}

extern "C" SURFOBJ* EngLockSurface(HSURF hsurf) {
  auto surface = surface_of(hsurf);
  return surface ? &surface->so : nullptr;
}

extern "C" void EngUnlockSurface(SURFOBJ*) {}

extern "C" BOOL EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor) {
  if (!pso || !prcl || pso->iType != STYPE_BITMAP || !pso->pvScan0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const LONG left = std::max<LONG>(0, std::min(prcl->left, prcl->right));
  const LONG right = std::min<LONG>(pso->sizlBitmap.cx, std::max(prcl->left, prcl->right));
  const LONG top = std::max<LONG>(0, std::min(prcl->top, prcl->bottom));
  const LONG bottom = std::min<LONG>(pso->sizlBitmap.cy, std::max(prcl->top, prcl->bottom));
  for (LONG y = top; y < bottom; ++y)
    for (LONG x = left; x < right; ++x) write_pixel(pso, x, y, iColor);
  return TRUE;
}
