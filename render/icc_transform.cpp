// Colour transforms: presets, the ICC profile reader and the pixel
// conversion.

#include "render/icc_transform.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "settings/devmode/placement_colour.h"
#include "win/endian.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/memory.h"

namespace morva::render {

namespace {

// ---- constant tables --------------------------------------------------------

struct TemperaturePreset {
  DWORD kelvin;
  double rgb_to_xyz[3][3];  // columns red, green, blue; each (X, Y, Z)
  INT near_white;
};

constexpr TemperaturePreset kPresets[] = {
    {5000, {{0.4333, 0.2178, 0.0147}, {0.3961, 0.7125, 0.0911}, {0.1349, 0.0697, 0.7236}}, 1},
    {6500, {{0.4124, 0.2126, 0.0193}, {0.3576, 0.7152, 0.1192}, {0.1805, 0.0722, 0.9505}}, 0},
    {9300, {{0.3918, 0.2074, 0.0249}, {0.3208, 0.7177, 0.1534}, {0.2368, 0.0749, 1.2275}}, 1},
};

struct ToneType {
  DWORD code;
  double gamma;
};

constexpr ToneType kToneTypes[] = {{0x0A, 1.0}, {0x0E, 1.4}, {0x12, 1.8}, {0x16, 2.2}, {0x1A, 2.6}};

constexpr double kXyzToSrgb[9] = {3.2410, -1.5374, -0.4986, -0.9692, 1.8760, 0.0416, 0.0556, -0.2040, 1.0570};

// Cone matrix of the white adaptation (rows).
constexpr double kAdaptation[9] = {0.7465, -5.9428, 0.1748, 0.2535, 6.9140, 0.0044, 0, 0.0288, 0.8208};

constexpr double kD65Chromaticity[3] = {0.3127036, 0.3290231, 1 - 0.3127036 - 0.3290231};
constexpr double kD50White[3] = {0.9642, 1.0, 0.8249};

// Components of the near-white cell's low and high corners.
constexpr std::int64_t kNearWhiteLow = 0xEFFF;
constexpr std::int64_t kNearWhiteHigh = 0xFFFF;

constexpr DWORD sig(const char (&t)[5]) {
  return (static_cast<DWORD>(static_cast<BYTE>(t[0])) << 24) | (static_cast<DWORD>(static_cast<BYTE>(t[1])) << 16) |
         (static_cast<DWORD>(static_cast<BYTE>(t[2])) << 8) | static_cast<BYTE>(t[3]);
}

// ---- computed tables ----------------------------------------------------------

struct SrgbTable {
  BYTE bytes[4096];
};

const SrgbTable& srgb_table() {
  static const SrgbTable table = [] {
    SrgbTable t{};
    for (int i = 0; i < 4096; ++i) {
      const double v = i / 4095.0;
      const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
      t.bytes[i] = static_cast<BYTE>(std::clamp(std::lround(e * 255), 0L, 255L));
    }
    return t;
  }();
  return table;
}

struct GammaTables {
  WORD table[std::size(kToneTypes)][256];
};

const GammaTables& gamma_tables() {
  static const GammaTables tables = [] {
    GammaTables t{};
    for (std::size_t k = 0; k < std::size(kToneTypes); ++k) {
      for (int i = 0; i < 256; ++i) {
        t.table[k][i] = static_cast<WORD>(std::lround(std::pow(i / 255.0, kToneTypes[k].gamma) * 65535));
      }
    }
    return t;
  }();
  return tables;
}

// ---- small helpers ------------------------------------------------------------

void multiply3(const double a[9], const double b[9], double out[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
  }
  std::memcpy(out, r, sizeof r);
}

bool invert3(const double m[9], double out[9]) {
  const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                     m[2] * (m[3] * m[7] - m[4] * m[6]);
  if (det == 0 || !std::isfinite(det)) return false;
  out[0] = (m[4] * m[8] - m[5] * m[7]) / det;
  out[1] = (m[2] * m[7] - m[1] * m[8]) / det;
  out[2] = (m[1] * m[5] - m[2] * m[4]) / det;
  out[3] = (m[5] * m[6] - m[3] * m[8]) / det;
  out[4] = (m[0] * m[8] - m[2] * m[6]) / det;
  out[5] = (m[2] * m[3] - m[0] * m[5]) / det;
  out[6] = (m[3] * m[7] - m[4] * m[6]) / det;
  out[7] = (m[1] * m[6] - m[0] * m[7]) / det;
  out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
  return true;
}

// A real matrix as 16.16 entries; false when an entry is not finite or does
// not fit.
bool to_fixed(const double m[9], std::int32_t out[9]) {
  for (int i = 0; i < 9; ++i) {
    const double v = std::round(m[i] * 65536);
    if (!std::isfinite(v) || v > std::numeric_limits<std::int32_t>::max() ||
        v < std::numeric_limits<std::int32_t>::min()) {
      return false;
    }
    out[i] = static_cast<std::int32_t>(v);
  }
  return true;
}

// Tetrahedral interpolation inside one cell. `corner(i)` answers the value
// at corner i = (red << 2) | (green << 1) | blue; the fractions are out of
// `whole`. The axes are taken in falling order of their fractions, so the
// path runs from corner 0 to corner 7 through the two corners between.
template <class T, class Corner>
T tetrahedral(T fr, T fg, T fb, T whole, Corner corner) {
  struct Axis {
    T f;
    int bit;
  };
  Axis a[3] = {{fr, 4}, {fg, 2}, {fb, 1}};
  if (a[1].f > a[0].f) std::swap(a[0], a[1]);
  if (a[2].f > a[1].f) std::swap(a[1], a[2]);
  if (a[1].f > a[0].f) std::swap(a[0], a[1]);
  const int c1 = a[0].bit;
  const int c2 = c1 | a[1].bit;
  return corner(0) * (whole - a[0].f) + corner(c1) * (a[0].f - a[1].f) + corner(c2) * (a[1].f - a[2].f) +
         corner(7) * a[2].f;
}

// ---- transform lifecycle ------------------------------------------------------

void free_grid(IccTransform* t) {
  if (t->grid != nullptr) {
    HGLOBAL h = GlobalHandle(t->grid);
    GlobalUnlock(h);
    GlobalFree(h);
    t->grid = nullptr;
  }
  t->mode = kIccModeNone;
  t->near_white_flag = 0;
}

WORD* alloc_grid() {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, kIccGridEntries * sizeof(WORD));
  if (h == nullptr) return nullptr;
  auto* p = static_cast<WORD*>(GlobalLock(h));
  if (p == nullptr) GlobalFree(h);
  return p;
}

// The 16-bit output of the near-white corners: the matrix on components of
// 0xEFFF or 0xFFFF; the all-0xFFFF corner stays white.
void compute_near_white(IccTransform* t) {
  for (int c = 0; c < 8; ++c) {
    const std::int64_t comp[3] = {(c & 4) ? kNearWhiteHigh : kNearWhiteLow, (c & 2) ? kNearWhiteHigh : kNearWhiteLow,
                                  (c & 1) ? kNearWhiteHigh : kNearWhiteLow};
    for (int row = 0; row < 3; ++row) {
      std::int64_t v = 0xFFFF;
      if (c != 7) {
        std::int64_t sum = 0;
        for (int col = 0; col < 3; ++col) sum += static_cast<std::int64_t>(t->matrix[row * 3 + col] >> 2) * comp[col];
        v = std::clamp<std::int64_t>(sum >> 14, 0, 0xFFFF);
      }
      t->near_white[c * 3 + row] = static_cast<DWORD>(v);
    }
  }
}

}  // namespace

void InitIccTransform(IccTransform* transform) {
  if (transform == nullptr) return;
  std::memset(transform, 0, sizeof *transform);
  transform->mode = kIccModeNone;
}

void FreeIccTransform(IccTransform* transform) {
  if (transform != nullptr) free_grid(transform);
}

BYTE EncodeSrgb12(DWORD value) { return srgb_table().bytes[std::min<DWORD>(value, 4095)]; }

bool WhiteAdaptationMatrix(const double w[3], double out[9]) {
  const double sum = w[0] + w[1] + w[2];
  if (!(sum > 0) || !std::isfinite(sum)) return false;
  const double x = w[0] / sum;
  const double y = w[1] / sum;
  const double white[3] = {x, y, 1 - x - y};
  double b[9];
  if (!invert3(kAdaptation, b)) return false;
  for (int r = 0; r < 3; ++r) {
    const double* row = b + r * 3;
    const double num = row[0] * kD65Chromaticity[0] + row[1] * kD65Chromaticity[1] + row[2] * kD65Chromaticity[2];
    const double den = row[0] * white[0] + row[1] * white[1] + row[2] * white[2];
    if (den == 0) return false;
    const double k = 3.0393 * y * num / den;
    for (int c = 0; c < 3; ++c) b[r * 3 + c] *= k;
  }
  double m[9];
  multiply3(kXyzToSrgb, kAdaptation, m);
  multiply3(m, b, out);
  for (int i = 0; i < 9; ++i) {
    if (!std::isfinite(out[i])) return false;
  }
  return true;
}

INT SelectColourTemperature(IccTransform* transform, DWORD temperature, DWORD tone_type) {
  if (transform == nullptr) return -1;
  free_grid(transform);
  const TemperaturePreset* preset = nullptr;
  for (const TemperaturePreset& p : kPresets) {
    if (p.kelvin == temperature) preset = &p;
  }
  std::size_t tone = std::size(kToneTypes);
  for (std::size_t k = 0; k < std::size(kToneTypes); ++k) {
    if (kToneTypes[k].code == tone_type) tone = k;
  }
  if (preset == nullptr || tone == std::size(kToneTypes)) return -1;

  for (auto& curve : transform->input_curves) std::memcpy(curve, gamma_tables().table[tone], sizeof curve);
  double rgb_to_xyz[9];
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) rgb_to_xyz[row * 3 + col] = preset->rgb_to_xyz[col][row];
  }
  double m[9];
  multiply3(kXyzToSrgb, rgb_to_xyz, m);
  to_fixed(m, transform->matrix);  // the preset values always fit
  if (preset->near_white) compute_near_white(transform);
  transform->near_white_flag = preset->near_white;
  transform->mode = kIccModeMatrix;
  return 0;
}

void CurveToTable(const BYTE* entries, DWORD count, WORD out[256]) {
  if (count == 0 || entries == nullptr) {
    for (int i = 0; i < 256; ++i) out[i] = static_cast<WORD>(i * 257);
  } else if (count == 1) {
    // u8.8 exponent; (i / 255)^e held within 0..1, truncated.
    const double exponent = load_be16(entries) / 256.0;
    for (int i = 0; i < 256; ++i) {
      const double v = std::clamp(std::pow(i / 255.0, exponent), 0.0, 1.0);
      out[i] = static_cast<WORD>(v * 65535);
    }
  } else if (count == 256) {
    for (int i = 0; i < 256; ++i) out[i] = load_be16(entries + 2 * i);
  } else {
    for (int i = 0; i < 256; ++i) {
      const double pos = i * static_cast<double>(count - 1) / 255;
      const DWORD k = std::min<DWORD>(static_cast<DWORD>(pos), count - 1);
      const DWORD k1 = std::min<DWORD>(k + 1, count - 1);
      const double f = pos - k;
      const double v = load_be16(entries + 2 * k) * (1 - f) + load_be16(entries + 2 * k1) * f;
      out[i] = static_cast<WORD>(std::lround(v));
    }
  }
}

// ---- profile reading ----------------------------------------------------------

namespace {

// A tag's bytes, read from the file into global memory.
class TagBytes {
 public:
  TagBytes() = default;
  TagBytes(const TagBytes&) = delete;
  TagBytes& operator=(const TagBytes&) = delete;
  ~TagBytes() { reset(); }
  BYTE* allocate(DWORD size) {
    reset();
    mem_ = GlobalAlloc(GMEM_FIXED, size == 0 ? 1 : size);
    size_ = mem_ ? size : 0;
    return static_cast<BYTE*>(mem_);
  }
  void reset() {
    if (mem_) GlobalFree(mem_);
    mem_ = nullptr;
    size_ = 0;
  }
  const BYTE* data() const { return static_cast<const BYTE*>(mem_); }
  DWORD size() const { return size_; }
  bool present() const { return mem_ != nullptr; }

 private:
  HGLOBAL mem_ = nullptr;
  DWORD size_ = 0;
};

// The bytes of [offset, offset + size) of the file. 0, -3 or -8.
INT read_at(HANDLE file, DWORD offset, BYTE* buffer, DWORD size) {
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) return -3;
  DWORD total = 0;
  while (total < size) {
    DWORD got = 0;
    if (!ReadFile(file, buffer + total, size - total, &got, nullptr) || got == 0) return -3;
    total += got;
  }
  return 0;
}

// What the reader keeps of a lookup-table tag once it has checked its sizes.
struct LutView {
  const BYTE* tag;
  bool sixteen;         // "mft2"
  DWORD grid;           // points per axis
  DWORD in_entries;     // entries of each input table
  DWORD out_entries;    // entries of each output table
  std::size_t in_at;    // byte offsets inside the tag
  std::size_t clut_at;
  std::size_t out_at;
};

// Checks a lut8 or lut16 tag with three inputs and three outputs against its
// size. Every product is formed in 64 bits.
bool view_lut(const BYTE* tag, DWORD size, LutView* view) {
  if (size < 48) return false;
  const DWORD type = load_be32(tag);
  if (type != sig("mft1") && type != sig("mft2")) return false;
  const DWORD inputs = tag[8], outputs = tag[9], grid = tag[10];
  if (inputs != 3 || outputs != 3 || grid < 2) return false;
  LutView v{};
  v.tag = tag;
  v.sixteen = type == sig("mft2");
  v.grid = grid;
  std::uint64_t width = 1;
  if (v.sixteen) {
    if (size < 52) return false;
    v.in_entries = load_be16(tag + 48);
    v.out_entries = load_be16(tag + 50);
    if (v.in_entries < 2 || v.in_entries > 4096 || v.out_entries < 2 || v.out_entries > 4096) return false;
    v.in_at = 52;
    width = 2;
  } else {
    v.in_entries = v.out_entries = 256;
    v.in_at = 48;
  }
  const std::uint64_t in_bytes = std::uint64_t{v.in_entries} * 3 * width;
  const std::uint64_t clut_bytes = std::uint64_t{grid} * grid * grid * 3 * width;
  const std::uint64_t out_bytes = std::uint64_t{v.out_entries} * 3 * width;
  if (v.in_at + in_bytes + clut_bytes + out_bytes > size) return false;
  v.clut_at = v.in_at + static_cast<std::size_t>(in_bytes);
  v.out_at = v.clut_at + static_cast<std::size_t>(clut_bytes);
  *view = v;
  return true;
}

// Entry k of a table, on the 16-bit scale (8-bit entries times 257).
double lut_entry(const LutView& v, std::size_t at, std::size_t k) {
  return v.sixteen ? load_be16(v.tag + at + 2 * k) : v.tag[at + k] * 257.0;
}

// A table of n entries resampled linearly to `count` points.
double resample(const LutView& v, std::size_t at, DWORD n, int i, int count) {
  const double pos = i * static_cast<double>(n - 1) / (count - 1);
  const DWORD k = std::min<DWORD>(static_cast<DWORD>(pos), n - 1);
  const DWORD k1 = std::min<DWORD>(k + 1, n - 1);
  const double f = pos - k;
  return lut_entry(v, at, k) * (1 - f) + lut_entry(v, at, k1) * f;
}

// Tetrahedral interpolation of channel `ch` of the table's grid at (u, v, w)
// in 0..1, on the 16-bit scale, plus 0.5 and truncated (Interpolate8 and
// Interpolate16 in one: 8-bit entries are widened by 257).
DWORD interpolate_lut(const LutView& lut, double u, double v, double w, int ch) {
  const DWORD n = lut.grid;
  auto cell = [n](double t, DWORD* i0, DWORD* i1, double* f) {
    const double p = std::clamp(t, 0.0, 1.0) * (n - 1);
    *i0 = std::min<DWORD>(static_cast<DWORD>(p), n - 1);
    *i1 = std::min<DWORD>(*i0 + 1, n - 1);
    *f = *i0 == n - 1 ? 0.0 : p - *i0;
  };
  DWORD r[2], g[2], b[2];
  double fr, fg, fb;
  cell(u, &r[0], &r[1], &fr);
  cell(v, &g[0], &g[1], &fg);
  cell(w, &b[0], &b[1], &fb);
  auto corner = [&](int c) {
    const std::size_t index = ((std::size_t{r[(c >> 2) & 1]} * n + g[(c >> 1) & 1]) * n + b[c & 1]) * 3 + ch;
    return lut_entry(lut, lut.clut_at, index);
  };
  const double sum = tetrahedral<double>(fr, fg, fb, 1.0, corner) + 0.5;
  return static_cast<DWORD>(std::clamp(sum, 0.0, 65535.0));
}

// A value on the 16-bit scale, held within 0..65535 before rounding so that
// no out-of-range or non-finite value reaches the conversion.
WORD to_word(double v) {
  if (!(v > 0)) return 0;
  if (v >= 65535) return 65535;
  return static_cast<WORD>(std::lround(v));
}

// L*a*b* (D50) to XYZ.
void lab_to_xyz(double l, double a, double b, double xyz[3]) {
  double ty, y;
  if (l < 8) {
    y = l / 903.3;
    ty = y * 7.787 + 16.0 / 116;
  } else {
    ty = (l + 16) / 116;
    y = ty * ty * ty;
  }
  auto f = [](double t) { return t > 0.206893 ? t * t * t : (t - 16.0 / 116) * 0.1284192; };
  xyz[0] = kD50White[0] * f(ty + a / 500);
  xyz[1] = kD50White[1] * y;
  xyz[2] = kD50White[2] * f(ty - b / 200);
}

// The 17-point grid from a lookup table (BuildGridFromLut8/16).
bool build_grid(IccTransform* t, const LutView& lut, bool lab, const double white[3], WORD* grid) {
  double adapt[9];
  if (!WhiteAdaptationMatrix(white, adapt)) return false;
  for (int ch = 0; ch < 3; ++ch) {
    for (int i = 0; i < 256; ++i) {
      const double v = resample(lut, lut.in_at + (lut.sixteen ? 2u : 1u) * lut.in_entries * ch, lut.in_entries, i, 256);
      t->input_curves[ch][i] = to_word(v);
    }
  }
  // Output curves resampled to 4096 entries.
  static_assert(sizeof(WORD) * 3 * 4096 < 32768);
  WORD out_curves[3][4096];
  for (int ch = 0; ch < 3; ++ch) {
    const std::size_t at = lut.out_at + (lut.sixteen ? 2u : 1u) * std::size_t{lut.out_entries} * ch;
    for (int i = 0; i < 4096; ++i) {
      out_curves[ch][i] = to_word(resample(lut, at, lut.out_entries, i, 4096));
    }
  }
  const double relative[3] = {white[0] / kD50White[0], white[1], white[2] / kD50White[2]};
  for (int r = 0; r < kIccGridPoints; ++r) {
    for (int g = 0; g < kIccGridPoints; ++g) {
      for (int b = 0; b < kIccGridPoints; ++b) {
        double pcs[3];
        for (int ch = 0; ch < 3; ++ch) {
          const DWORD v = interpolate_lut(lut, r / 16.0, g / 16.0, b / 16.0, ch);
          pcs[ch] = out_curves[ch][v / 16];
        }
        double xyz[3];
        if (lab) {
          lab_to_xyz(pcs[0] * 100 / 65280, pcs[1] / 256 - 128, pcs[2] / 256 - 128, xyz);
        } else {
          for (int ch = 0; ch < 3; ++ch) xyz[ch] = pcs[ch] / 32768;
        }
        for (int ch = 0; ch < 3; ++ch) xyz[ch] *= relative[ch];
        WORD* out = grid + ((static_cast<std::size_t>(r) * kIccGridPoints + g) * kIccGridPoints + b) * 3;
        for (int row = 0; row < 3; ++row) {
          const double v = (adapt[row * 3] * xyz[0] + adapt[row * 3 + 1] * xyz[1] + adapt[row * 3 + 2] * xyz[2]) * 65535;
          out[row] = to_word(v);
        }
      }
    }
  }
  return true;
}

// The s15.16 values at bytes 8, 12 and 16 of an "XYZ " tag.
bool read_xyz(const TagBytes& tag, double out[3]) {
  if (tag.size() < 20 || load_be32(tag.data()) != sig("XYZ ")) return false;
  for (int i = 0; i < 3; ++i) out[i] = static_cast<std::int32_t>(load_be32(tag.data() + 8 + 4 * i)) / 65536.0;
  return true;
}

bool read_curve(const TagBytes& tag, WORD out[256]) {
  if (tag.size() < 12 || load_be32(tag.data()) != sig("curv")) return false;
  const DWORD count = load_be32(tag.data() + 8);
  if (12 + std::uint64_t{count} * 2 > tag.size()) return false;
  CurveToTable(tag.data() + 12, count, out);
  return true;
}

enum TagSlot { kA2B0, kRTRC, kGTRC, kBTRC, kRXYZ, kGXYZ, kBXYZ, kWtpt, kSlots };

constexpr DWORD kTagSignatures[kSlots] = {sig("A2B0"), sig("rTRC"), sig("gTRC"), sig("bTRC"),
                                          sig("rXYZ"), sig("gXYZ"), sig("bXYZ"), sig("wtpt")};

// Everything between opening and closing the file.
INT read_profile(IccTransform* t, HANDLE file) {
  const DWORD file_size = GetFileSize(file, nullptr);
  if (file_size == INVALID_FILE_SIZE) return -3;
  BYTE header[132];
  if (file_size < sizeof header) return -3;
  if (INT r = read_at(file, 0, header, sizeof header); r != 0) return r;
  const DWORD signature = load_be32(header + 36);
  if (signature != sig("acsp") && signature != sig("nicc")) return -5;
  if (load_be32(header + 16) != sig("RGB ")) return -6;
  const DWORD pcs = load_be32(header + 20);
  const DWORD device_class = load_be32(header + 12);
  if (pcs != sig("XYZ ") && pcs != sig("Lab ")) return -7;
  if (device_class != sig("scnr") && device_class != sig("mntr")) return -7;
  if (device_class == sig("mntr") && pcs != sig("XYZ ")) return -7;

  const DWORD count = load_be32(header + 128);
  if (count > (file_size - sizeof header) / 12) return -3;
  TagBytes table;
  BYTE* entries = table.allocate(count * 12);
  if (entries == nullptr) return -8;
  if (INT r = read_at(file, sizeof header, entries, count * 12); r != 0) return r;

  TagBytes tags[kSlots];
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* entry = entries + 12 * i;
    const DWORD tag_sig = load_be32(entry);
    const DWORD offset = load_be32(entry + 4);
    const DWORD size = load_be32(entry + 8);
    for (int slot = 0; slot < kSlots; ++slot) {
      if (tag_sig != kTagSignatures[slot] || tags[slot].present()) continue;
      if (std::uint64_t{offset} + size > file_size) return -3;
      BYTE* bytes = tags[slot].allocate(size);
      if (bytes == nullptr) return -8;
      if (INT r = read_at(file, offset, bytes, size); r != 0) return r;
    }
  }

  double white[3];
  const bool has_white = tags[kWtpt].present() && read_xyz(tags[kWtpt], white);
  LutView lut{};
  if (device_class == sig("scnr") && has_white && tags[kA2B0].present() &&
      view_lut(tags[kA2B0].data(), tags[kA2B0].size(), &lut)) {
    t->grid = alloc_grid();
    if (t->grid == nullptr) return -8;
    if (!build_grid(t, lut, pcs == sig("Lab "), white, t->grid)) return -7;
    t->mode = kIccModeGrid;
    return 0;
  }

  double colorants[3][3];
  WORD curves[3][256];
  if (!has_white) return -7;
  for (int c = 0; c < 3; ++c) {
    if (!tags[kRXYZ + c].present() || !read_xyz(tags[kRXYZ + c], colorants[c])) return -7;
    if (!tags[kRTRC + c].present() || !read_curve(tags[kRTRC + c], curves[c])) return -7;
  }
  // Colorants as columns, each row scaled so that RGB (1, 1, 1) gives the
  // white point.
  double p[9];
  for (int row = 0; row < 3; ++row) {
    const double sum = colorants[0][row] + colorants[1][row] + colorants[2][row];
    if (sum == 0) return -7;
    for (int col = 0; col < 3; ++col) p[row * 3 + col] = colorants[col][row] * white[row] / sum;
  }
  double adapt[9];
  if (!WhiteAdaptationMatrix(white, adapt)) return -7;
  double m[9];
  multiply3(adapt, p, m);
  if (!to_fixed(m, t->matrix)) return -7;
  std::memcpy(t->input_curves, curves, sizeof curves);
  t->mode = kIccModeMatrix;
  return 0;
}

}  // namespace

INT LoadIccProfile(IccTransform* transform, LPCSTR path) {
  if (transform == nullptr) return -1;
  free_grid(transform);
  if (!IsLocalFilePath(path)) return -1;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -2;
  INT result = read_profile(transform, file);
  if (!CloseHandle(file) && result == 0) result = -4;
  if (result != 0) free_grid(transform);
  return result;
}

// ---- pixel conversion ---------------------------------------------------------

void ConvertPixelsGrid(const IccTransform* transform, const BYTE* source, BYTE* destination, DWORD count) {
  if (source == nullptr || destination == nullptr || count == 0) return;
  const std::size_t bytes = static_cast<std::size_t>(count) * 3;
  if (transform == nullptr || transform->mode == kIccModeNone ||
      (transform->mode == kIccModeGrid && transform->grid == nullptr) ||
      (transform->mode != kIccModeGrid && transform->mode != kIccModeMatrix)) {
    if (source != destination) std::memmove(destination, source, bytes);
    return;
  }
  const SrgbTable& encode = srgb_table();
  for (std::size_t i = 0; i < bytes; i += 3) {
    const std::int64_t c[3] = {transform->input_curves[0][source[i + 2]], transform->input_curves[1][source[i + 1]],
                               transform->input_curves[2][source[i]]};
    std::int64_t out[3];
    if (transform->mode == kIccModeGrid) {
      const std::int64_t base[3] = {c[0] >> 12, c[1] >> 12, c[2] >> 12};
      const WORD* grid = transform->grid;
      for (int ch = 0; ch < 3; ++ch) {
        auto corner = [&](int k) -> std::int64_t {
          const std::size_t index = ((static_cast<std::size_t>(base[0] + ((k >> 2) & 1)) * kIccGridPoints +
                                      static_cast<std::size_t>(base[1] + ((k >> 1) & 1))) *
                                         kIccGridPoints +
                                     static_cast<std::size_t>(base[2] + (k & 1))) *
                                        3 +
                                    ch;
          return grid[index];
        };
        std::int64_t v = tetrahedral<std::int64_t>(c[0] & 0xFFF, c[1] & 0xFFF, c[2] & 0xFFF, 4096, corner) >> 16;
        out[ch] = v > 4094 ? 4095 : std::max<std::int64_t>(v, 0);
      }
    } else if (transform->near_white_flag && c[0] > 0xEFFF && c[1] > 0xEFFF && c[2] > 0xEFFF) {
      for (int ch = 0; ch < 3; ++ch) {
        auto corner = [&](int k) -> std::int64_t { return transform->near_white[k * 3 + ch]; };
        const std::int64_t v = tetrahedral<std::int64_t>(c[0] & 0xFFF, c[1] & 0xFFF, c[2] & 0xFFF, 4096, corner) >> 16;
        out[ch] = std::clamp<std::int64_t>(v, 0, 4095);
      }
    } else {
      for (int row = 0; row < 3; ++row) {
        std::int64_t sum = 0;
        for (int col = 0; col < 3; ++col) sum += static_cast<std::int64_t>(transform->matrix[row * 3 + col] >> 2) * c[col];
        out[row] = std::clamp<std::int64_t>(sum >> 18, 0, 4095);
      }
    }
    destination[i] = encode.bytes[out[2]];
    destination[i + 1] = encode.bytes[out[1]];
    destination[i + 2] = encode.bytes[out[0]];
  }
}

// ---- grey brightness and contrast ----------------------------------------------

INT ColourGainOffset(GainOffset* out, INT brightness, INT contrast) {
  if (out == nullptr) return -1;
  const std::int64_t b = std::clamp(brightness, -100, 100);
  const std::int64_t k = std::clamp(contrast, -100, 100);
  // In thousandths, so that the 16.16 values are exact truncations.
  out->gain = static_cast<std::int32_t>((1000 + 3 * k) * 65536 / 1000);
  out->offset = static_cast<std::int32_t>((-3 * k * 255 + 500 * b) * 65536 / 1000);
  return 0;
}

void ApplyGainOffsetGrey(const GainOffset* gain_offset, const BYTE* source, BYTE* destination, DWORD count) {
  if (source == nullptr || destination == nullptr || count == 0) return;
  if (gain_offset == nullptr) {
    if (source != destination) std::memmove(destination, source, count);
    return;
  }
  const std::int64_t offset = gain_offset->offset >> 16;
  const std::int64_t gain = gain_offset->gain >> 2;
  for (DWORD i = 0; i < count; ++i) {
    const std::int64_t v = offset + ((std::int64_t{source[i]} * 257 * gain) >> 22);
    destination[i] = static_cast<BYTE>(std::clamp<std::int64_t>(v, 0, 255));
  }
}

}  // namespace morva::render
