// Fixture of the outside colour-conversion library: it analyses a batch of
// images for its brightest channel value and stretches every image of the
// batch so that value becomes 255. A batch already reaching 255 needs no
// conversion (KPE_CreateParam_End32 answers 1).
#include <algorithm>
#include <cstring>
#include <string>

#include "win/types.h"

#define KPE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Kpe {
  std::string data_path;
  BYTE brightest = 0;
  bool open = false;
  int batches = 0;
};

Kpe g_kpe;

}  // namespace

KPE_EXPORT HANDLE KPE_LoadKPE32(LPCSTR data_path) {
  g_kpe = Kpe{};
  g_kpe.data_path = data_path ? data_path : "";
  return &g_kpe;
}
KPE_EXPORT INT KPE_FreeKPE32(HANDLE handle) { return handle == &g_kpe ? 0 : -1; }
KPE_EXPORT INT KPE_CreateParam_Begin32(HANDLE handle, BYTE) {
  if (handle != &g_kpe || g_kpe.open) return -1;
  g_kpe.open = true;
  g_kpe.brightest = 0;
  ++g_kpe.batches;
  return 0;
}
KPE_EXPORT INT KPE_CreateParam32(HANDLE handle, const BYTE* rgb, DWORD width, DWORD rows) {
  if (handle != &g_kpe || !g_kpe.open || !rgb) return -1;
  for (std::size_t i = 0; i < std::size_t{width} * rows * 3; ++i) g_kpe.brightest = std::max(g_kpe.brightest, rgb[i]);
  return 0;
}
KPE_EXPORT INT KPE_CreateParam_End32(HANDLE handle) {
  if (handle != &g_kpe || !g_kpe.open) return -1;
  return g_kpe.brightest == 255 || g_kpe.brightest == 0 ? 1 : 0;
}
KPE_EXPORT INT KPE_DeleteParam32(HANDLE handle) {
  if (handle != &g_kpe) return -1;
  g_kpe.open = false;
  return 0;
}
KPE_EXPORT INT KPE_ColorConvert32(HANDLE handle, const BYTE* source, BYTE* destination, DWORD width, DWORD rows) {
  if (handle != &g_kpe || !g_kpe.open || !g_kpe.brightest) return -1;
  for (std::size_t i = 0; i < std::size_t{width} * rows * 3; ++i)
    destination[i] = static_cast<BYTE>(std::min(255, source[i] * 255 / g_kpe.brightest));
  return 0;
}
// Test view: the batches begun since the library was loaded.
KPE_EXPORT INT kpe_fixture_batches() { return g_kpe.batches; }
