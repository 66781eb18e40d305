// Placement of a turned box, finishing derivation, colour adjustment and
// the ICC profile header check.
#include "settings/devmode/placement_colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ddm/ddmid.h"
#include "win/endian.h"
#include "win/files.h"
#include "win/handles.h"

namespace {

struct SinCos {
  float s;
  float c;
};

// Sine and cosine of whole degrees. Quarter turns are exact, so a box
// turned by 90 degrees keeps its exact size and its grid of cells.
SinCos sin_cos(int degrees) {
  if (degrees % 90 == 0) {
    static constexpr SinCos kQuarters[] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
    return kQuarters[((degrees / 90) % 4 + 4) % 4];
  }
  const float a = static_cast<float>(degrees) * 3.1415926536f / 180.0f;
  return {std::sin(a), std::cos(a)};
}

// Cells of `extent` needed to cover `length`, rounded up, limited to what
// the transform's WORD count holds.
DWORD cells_to_cover(float length, float extent) {
  if (!(length > 0)) return 0;
  const double quotient = static_cast<double>(length) / extent;
  if (quotient >= 0xFFFF) return 0xFFFF;
  DWORD n = static_cast<DWORD>(quotient);
  if (static_cast<float>(n) * extent < length) ++n;
  return std::min<DWORD>(n, 0xFFFF);
}

}  // namespace

INT ComputeRotatedPlacement(const PlacementSize* area, const PlacementSize* box, SHORT angle, WORD mode,
                            WORD alignment, PlacementTransform* out) {
  if (area == nullptr || box == nullptr || out == nullptr) return -1;
  const SinCos t = sin_cos(angle);
  const float bw = box->width;
  const float bh = box->height;
  float extentW, extentH, offsetX, offsetY;
  if (mode == 2) {
    // Turned about the box centre: the centre stays where it was.
    offsetX = bw / 2 - (bw / 2 * t.c + bh / 2 * t.s);
    offsetY = bh / 2 - (-t.s * bw / 2 + bh / 2 * t.c);
    extentW = bw;
    extentH = bh;
  } else {
    // The turned box's bounding box, moved to the origin. Between -90 and
    // 90 degrees this is (c bw + |s| bh, |s| bw + c bh) with the offset
    // (|s| bh, 0) for negative angles and (0, s bw) otherwise; beyond them
    // the same rule keeps the box on the area instead of giving a negative
    // extent.
    const float xs[4] = {0, bw * t.c, bh * t.s, bw * t.c + bh * t.s};
    const float ys[4] = {0, -bw * t.s, bh * t.c, -bw * t.s + bh * t.c};
    extentW = std::fabs(t.c) * bw + std::fabs(t.s) * bh;
    extentH = std::fabs(t.s) * bw + std::fabs(t.c) * bh;
    offsetX = 0.0f - *std::min_element(xs, xs + 4);
    offsetY = 0.0f - *std::min_element(ys, ys + 4);
  }

  PlacementTransform r{};
  r.m11 = t.c;
  r.m12 = t.s;
  r.m21 = -t.s;
  r.m22 = t.c;
  INT result = 1;
  if (alignment == 0) {
    // A cell without a positive, finite size would cover nothing.
    if (!(extentW > 0) || !(extentH > 0) || !std::isfinite(extentW) || !std::isfinite(extentH)) return -1;
    r.cellWidth = extentW;
    r.cellHeight = extentH;
    r.columns = static_cast<WORD>(cells_to_cover(area->width, extentW));
    r.rows = static_cast<WORD>(cells_to_cover(area->height, extentH));
    const DWORD cells = static_cast<DWORD>(r.columns) * r.rows;
    result = static_cast<INT>(std::min<DWORD>(cells, kMaxPlacementCells));
  } else {
    switch (alignment & 0xF00) {
      case 0x200: offsetX += area->width / 2 - extentW / 2; break;
      case 0x300: offsetX += area->width - extentW; break;
      default: break;  // 0x100 left
    }
    switch (alignment & 0xF) {
      case 2: offsetY += area->height / 2 - extentH / 2; break;
      case 3: offsetY += area->height - extentH; break;
      default: break;  // 1 top
    }
  }
  r.offsetX = offsetX;
  r.offsetY = offsetY;
  *out = r;
  return result;
}

INT TransformPlacementPoint(const PlacementTransform* transform, const PlacementPoint* point, DWORD cell,
                            PlacementPoint* out) {
  if (transform == nullptr || point == nullptr || out == nullptr) return -1;
  const PlacementTransform& t = *transform;
  float x = point->x * t.m11 + point->y * t.m12 + t.offsetX;
  float y = point->x * t.m21 + point->y * t.m22 + t.offsetY;
  const DWORD cells = static_cast<DWORD>(t.columns) * t.rows;
  if (cells == 0) {
    if (cell != 0) return -1;
  } else {
    if (cell >= cells) return -1;
    x += static_cast<float>(cell % t.columns) * t.cellWidth;
    y += static_cast<float>(cell / t.columns) * t.cellHeight;
  }
  *out = {x, y};
  return 0;
}

// ---- finishing -------------------------------------------------------------

INT DeriveFinishingItem267(const FinishingContext* context, WORD* value) {
  if (context == nullptr || value == nullptr) return 1;
  WORD request = 0;
  if (!morva::ddm::dma_DeriveLinkedRequest(context->positionCode, static_cast<SHORT>(context->orientation),
                                           context->pageClass, &request)) {
    return 1;
  }
  *value = request;
  return 0;
}

INT DeriveFinishingPositionItem(WORD ddmid, const FinishingContext* context, WORD* value) {
  if (context == nullptr || value == nullptr) return 1;
  WORD request = 0;
  if (!morva::ddm::dma_DeriveFinishingRequest(ddmid, context->positionCode,
                                              static_cast<SHORT>(context->orientation), context->pageClass,
                                              &request)) {
    return 1;
  }
  *value = request;
  return 0;
}

// ---- colour adjustment -----------------------------------------------------

namespace {

// Luminance weights of the three channels (row order: byte 2, 1, 0), in
// hundredths.
constexpr std::int64_t kLuminance[3] = {30, 59, 11};

}  // namespace

INT BuildColorAdjustMatrix(ColorAdjustMatrix* out, INT brightness, INT saturation, INT contrast) {
  if (out == nullptr) return -1;
  const std::int64_t b = std::clamp(brightness, -100, 100);
  const std::int64_t t = std::clamp(saturation, -100, 100);
  const std::int64_t k = std::clamp(contrast, -100, 100);
  // K = 1 + 0.003 k and S = 1 + 0.005 t (t < 0) or 1 + 0.01 t, in
  // thousandths, so every entry is an exact fraction and its 16.16 value is
  // truncated exactly (floating point would make 0.3 + 0.7 fall short of 1).
  const std::int64_t kn = 1000 + 3 * k;
  const std::int64_t sn = t < 0 ? 1000 + 5 * t : 1000 + 10 * t;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      // lum K + (1 - lum) S on the diagonal, lum (K - S) elsewhere.
      const std::int64_t weight = kLuminance[col];
      const std::int64_t num = weight * kn + ((row == col ? 100 : 0) - weight) * sn;  // / 100000
      out->m[row * 3 + col] = static_cast<std::int32_t>(num * 65536 / 100000);
    }
  }
  // (1 - K) 255 + 0.5 b, in thousandths.
  const std::int64_t offset = (-3 * k * 255 + 500 * b) * 65536 / 1000;
  for (std::int32_t& o : out->offset) o = static_cast<std::int32_t>(offset);
  return 0;
}

void ApplyColorAdjustMatrix(const ColorAdjustMatrix* matrix, const BYTE* source, BYTE* destination,
                            DWORD count) {
  if (source == nullptr || destination == nullptr || count == 0) return;
  if (matrix == nullptr) {
    std::memmove(destination, source, static_cast<std::size_t>(count) * 3);
    return;
  }
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* p = source + static_cast<std::size_t>(i) * 3;
    // Input bytes 2, 1, 0 widened to 16 bits.
    const std::int64_t in[3] = {p[2] * 257, p[1] * 257, p[0] * 257};
    BYTE result[3];
    for (int row = 0; row < 3; ++row) {
      std::int64_t sum = 0;
      for (int col = 0; col < 3; ++col) sum += static_cast<std::int64_t>(matrix->m[row * 3 + col] >> 2) * in[col];
      const std::int64_t v = (matrix->offset[row] >> 16) + (sum >> 22);
      result[row] = static_cast<BYTE>(std::clamp<std::int64_t>(v, 0, 255));
    }
    BYTE* q = destination + static_cast<std::size_t>(i) * 3;
    q[2] = result[0];
    q[1] = result[1];
    q[0] = result[2];
  }
}

void RgbToGrayRow(const BYTE* source, BYTE* destination, DWORD pixels, DWORD rows) {
  if (source == nullptr || destination == nullptr) return;
  const std::size_t n = static_cast<std::size_t>(pixels) * rows;
  for (std::size_t i = 0; i < n; ++i) {
    const BYTE* p = source + i * 3;
    destination[i] = (p[0] == p[1] && p[1] == p[2])
                         ? p[0]
                         : static_cast<BYTE>(((p[0] + p[2]) * 85 + p[1] * 86) >> 8);
  }
}

// ---- colour profiles -------------------------------------------------------

INT IsLocalFilePath(LPCSTR path) {
  if (path == nullptr || path[0] == 0) return 0;
  static constexpr char kPipe[] = "\\\\.\\pipe\\";
  static_assert(sizeof kPipe - 1 == 9);
  for (std::size_t i = 0; i < sizeof kPipe - 1; ++i) {
    const char c = path[i];
    if (c == 0) return 1;
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != kPipe[i]) return 1;
  }
  return 0;
}

DWORD SwapBytes32(DWORD value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

namespace {

constexpr DWORD tag(const char (&t)[5]) {
  return (static_cast<DWORD>(static_cast<BYTE>(t[0])) << 24) | (static_cast<DWORD>(static_cast<BYTE>(t[1])) << 16) |
         (static_cast<DWORD>(static_cast<BYTE>(t[2])) << 8) | static_cast<BYTE>(t[3]);
}

}  // namespace

INT CheckIccProfile(LPCSTR path) {
  if (!IsLocalFilePath(path)) return -1;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return -2;
  BYTE header[132];
  DWORD total = 0;
  while (total < sizeof header) {
    DWORD got = 0;
    if (!ReadFile(file, header + total, sizeof header - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  CloseHandle(file);
  if (total < sizeof header) return -3;
  const DWORD signature = morva::load_be32(header + 36);
  INT result;
  if (signature == tag("acsp")) {
    result = 1;
  } else if (signature == tag("nicc")) {
    result = 2;
  } else {
    return -5;
  }
  if (morva::load_be32(header + 16) != tag("RGB ")) return -6;
  const DWORD connection = morva::load_be32(header + 20);
  if (connection != tag("XYZ ") && connection != tag("Lab ")) return -7;
  const DWORD deviceClass = morva::load_be32(header + 12);
  if (deviceClass != tag("mntr") && deviceClass != tag("scnr")) return -6;
  return result;
}
