#include "render/pdl_encoding.h"

#include <cmath>
#include <cstring>

#include "win/endian.h"

namespace morva::render {

std::size_t PdlEncodeVarNumber(LONG v, BYTE out[kPdlVarNumberMax]) {
  // The magnitude is taken in unsigned arithmetic so that INT32_MIN has one.
  DWORD m = v < 0 ? 0u - static_cast<DWORD>(v) : static_cast<DWORD>(v);
  BYTE sign = v < 0 ? 0x40 : 0;
  std::size_t len = m < (1u << 6) ? 1 : m < (1u << 13) ? 2 : m < (1u << 20) ? 3 : m < (1u << 27) ? 4 : 5;
  std::size_t shift = 7 * (len - 1);
  out[0] = static_cast<BYTE>(sign | ((m >> shift) & 0x3F));
  for (std::size_t i = 1; i < len; ++i) {
    shift -= 7;
    out[i] = static_cast<BYTE>((m >> shift) & 0x7F);
  }
  for (std::size_t i = 0; i + 1 < len; ++i) out[i] |= 0x80;
  return len;
}

std::size_t PdlDecodeVarNumber(const BYTE* p, std::size_t avail, LONG* out) {
  if (avail == 0) return 0;
  bool negative = (p[0] & 0x40) != 0;
  std::uint64_t m = p[0] & 0x3F;
  std::size_t len = 1;
  BYTE last = p[0];
  while (last & 0x80) {
    if (len == kPdlVarNumberMax || len == avail) return 0;
    last = p[len++];
    m = (m << 7) | (last & 0x7F);
  }
  if (negative ? m > 0x80000000ull : m > 0x7FFFFFFFull) return 0;
  *out = negative ? static_cast<LONG>(0u - static_cast<DWORD>(m)) : static_cast<LONG>(m);
  return len;
}

int Pdl_PutVarNumberLong(PdlSink* s, LONG v) {
  BYTE b[kPdlVarNumberMax];
  return Pdl_PutBytes(s, b, PdlEncodeVarNumber(v, b));
}

namespace {

enum class TypedForm : BYTE { None, Triple, Byte, Word, Dword, Real, Raw };

struct TypedRow {
  TypedForm first;
  TypedForm second;
};

// Encodings of the glyph-record type codes 0-14 in the two tables.
constexpr TypedRow kTypedTable[] = {
    {TypedForm::Triple, TypedForm::Triple},  // 0
    {TypedForm::Triple, TypedForm::Triple},  // 1
    {TypedForm::Byte, TypedForm::Byte},      // 2
    {TypedForm::None, TypedForm::Real},      // 3
    {TypedForm::None, TypedForm::Word},      // 4
    {TypedForm::None, TypedForm::Word},      // 5
    {TypedForm::None, TypedForm::Byte},      // 6
    {TypedForm::None, TypedForm::Byte},      // 7
    {TypedForm::Raw, TypedForm::Raw},        // 8
    {TypedForm::Word, TypedForm::None},      // 9
    {TypedForm::Word, TypedForm::None},      // 10
    {TypedForm::Real, TypedForm::None},      // 11
    {TypedForm::Byte, TypedForm::None},      // 12
    {TypedForm::Word, TypedForm::None},      // 13
    {TypedForm::Dword, TypedForm::Dword},    // 14
};

int PutTyped(PdlSink* s, TypedForm form, const void* data, std::size_t n) {
  if (form == TypedForm::None || data == nullptr) return -1;
  switch (form) {
    case TypedForm::Triple: {
      DWORD v;
      std::memcpy(&v, data, 4);
      return Pdl_PutTriple(s, v);
    }
    case TypedForm::Byte:
      return Pdl_PutByte(s, *static_cast<const BYTE*>(data));
    case TypedForm::Word: {
      WORD v;
      std::memcpy(&v, data, 2);
      return Pdl_PutWord(s, v);
    }
    case TypedForm::Dword: {
      DWORD v;
      std::memcpy(&v, data, 4);
      return Pdl_PutDword(s, v);
    }
    case TypedForm::Real: {
      float v;
      std::memcpy(&v, data, 4);
      return Pdl_PutReal(s, v);
    }
    case TypedForm::Raw:
      return Pdl_PutBytes(s, data, n);
    case TypedForm::None:
      break;
  }
  return -1;
}

int PutTypedFrom(PdlSink* s, int type, const void* data, std::size_t n, bool second) {
  if (type < 0 || type >= static_cast<int>(std::size(kTypedTable))) return -1;
  const TypedRow& row = kTypedTable[type];
  return PutTyped(s, second ? row.second : row.first, data, n);
}

}  // namespace

int Pdl_PutTypedValue(PdlSink* s, int type, const void* data, std::size_t n) {
  // Offered to the first table; a refusal there (or a failed write) is
  // retried with the second.
  if (PutTypedFrom(s, type, data, n, false) == 0) return 0;
  return PutTypedFrom(s, type, data, n, true);
}

int Pdl_PutTypedValueAlt(PdlSink* s, int type, const void* data, std::size_t n) {
  return PutTypedFrom(s, type, data, n, true);
}

int Pdl_HasFraction(float x) {
  if (!std::isfinite(x)) return 0;
  double v = std::fabs(static_cast<double>(x));
  double frac = v - std::trunc(v);
  if (frac == 0.0) return 0;
  // One unit in the last place of x: the real stands for any decimal within
  // it, so a value just below a 1/10000 step has reached that step.
  double ulp = static_cast<double>(std::nextafter(static_cast<float>(v), INFINITY)) - v;
  return std::trunc((frac + ulp) * 10000.0) != 0.0 ? 1 : 0;
}

namespace {
constexpr bool FitsWord(std::int64_t v) { return v >= -32768 && v <= 32767; }
}  // namespace

int Pdl_RealsFitWords(const float* values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    float x = values[i];
    if (!std::isfinite(x) || std::trunc(x) != x || x < -32768.0f || x > 32767.0f) return 0;
  }
  return 1;
}

int Pdl_RectFitsWords(const PdlRect& r) {
  return FitsWord(r.left) && FitsWord(r.top) && FitsWord(r.right) && FitsWord(r.bottom) ? 1 : 0;
}

namespace {
bool FixFitsWord(LONG v) { return (v & 0xF) == 0 && FitsWord(v >> 4); }
}  // namespace

int Pdl_FixPointsFitWords(const PdlPoint* points, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!FixFitsWord(points[i].x) || !FixFitsWord(points[i].y)) return 0;
  return 1;
}

int Pdl_FixRectFitsWords(const PdlRect& r) {
  return FixFitsWord(r.left) && FixFitsWord(r.top) && FixFitsWord(r.right) && FixFitsWord(r.bottom) ? 1 : 0;
}

int Pdl_DeltasFitWords(std::size_t n, PdlPoint current, const PdlPoint* points) {
  if (n < 1) return 0;
  PdlPoint prev = current;
  for (std::size_t i = 0; i < n; ++i) {
    std::int64_t dx = static_cast<std::int64_t>(points[i].x) - prev.x;
    std::int64_t dy = static_cast<std::int64_t>(points[i].y) - prev.y;
    if (!FitsWord(dx) || !FitsWord(dy)) return 0;
    prev = points[i];
  }
  return 1;
}

void Pdl_FixToWhole(PdlPoint* out, std::size_t n, const PdlPoint* points) {
  for (std::size_t i = 0; i < n; ++i) out[i] = {points[i].x >> 4, points[i].y >> 4};
}

DWORD Pdl_PackColour(const BYTE* bytes, BYTE space) {
  if (space == kPdlSpaceGrey) return bytes[0] * 0x010101u;
  return (static_cast<DWORD>(bytes[0]) << 16) | (static_cast<DWORD>(bytes[1]) << 8) | bytes[2];
}

}  // namespace morva::render
