// Stand-in of the outside compression library: mode 1 codes each run of
// equal bytes as (count, byte), mode 2 does the same with every byte
// inverted. qzcmp_test_control steers its failures and counts its handles.
#include <cstdint>
#include <cstring>
#include <vector>

#include "win/types.h"

#define QZCMP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Coder {
  int mode = 0;
  int width = 0, height = 0, row_bytes = 0;
  std::vector<BYTE> coded;
};

// Faults by number: 0 no handle, 1 init fails, 2 compress fails, 3 get
// fails, 4 finish fails.
bool g_fail[5] = {};
int g_live = 0;

}  // namespace

QZCMP_EXPORT void qzcmp_test_control(int fault, int on) {
  if (fault >= 0 && fault < 5) g_fail[fault] = on != 0;
  if (fault < 0) std::memset(g_fail, 0, sizeof g_fail);
}
QZCMP_EXPORT int qzcmp_test_live_handles() { return g_live; }

QZCMP_EXPORT HANDLE qzcmp_LoadCompress() {
  if (g_fail[0]) return nullptr;
  ++g_live;
  return new Coder;
}

QZCMP_EXPORT INT qzcmp_InitBitmap(HANDLE handle, INT mode, INT width, INT height, INT row_bytes) {
  auto* c = static_cast<Coder*>(handle);
  if (g_fail[1] || (mode != 1 && mode != 2) || row_bytes != (width + 7) / 8) return 5;
  c->mode = mode;
  c->width = width;
  c->height = height;
  c->row_bytes = row_bytes;
  c->coded.clear();
  return 0;
}

QZCMP_EXPORT INT qzcmp_CompressBitmap(HANDLE handle, const BYTE* data, INT rows, DWORD* size) {
  auto* c = static_cast<Coder*>(handle);
  if (g_fail[2] || rows != c->height) return 6;
  const std::size_t n = static_cast<std::size_t>(rows) * c->row_bytes;
  const BYTE flip = c->mode == 2 ? 0xFF : 0x00;
  for (std::size_t i = 0; i < n;) {
    std::size_t k = 1;
    while (i + k < n && k < 255 && data[i + k] == data[i]) ++k;
    c->coded.push_back(static_cast<BYTE>(k));
    c->coded.push_back(static_cast<BYTE>(data[i] ^ flip));
    i += k;
  }
  *size = static_cast<DWORD>(c->coded.size());
  return 0;
}

QZCMP_EXPORT INT qzcmp_GetBitmap(HANDLE handle, BYTE* out) {
  auto* c = static_cast<Coder*>(handle);
  if (g_fail[3]) return 7;
  std::memcpy(out, c->coded.data(), c->coded.size());
  return 0;
}

QZCMP_EXPORT INT qzcmp_FinishBitmap(HANDLE handle) {
  static_cast<Coder*>(handle)->coded.clear();
  return g_fail[4] ? 8 : 0;
}

#ifndef QZCMP_WITHOUT_FREE
QZCMP_EXPORT INT qzcmp_FreeCompress(HANDLE handle) {
  --g_live;
  delete static_cast<Coder*>(handle);
  return 0;
}
#endif
