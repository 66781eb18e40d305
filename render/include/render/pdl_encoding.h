// Lowest layer of the VANTIQ stream: how opcodes and operands become bytes.
//
// Every multi-byte value goes out most significant byte first. Each
// primitive writes into the document's sink and answers 0 on success and
// -1 when the sink failed; none keeps state or allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/pdl_sink.h"
#include "win/types.h"

namespace morva::render {

// A device point in whole units, in 28.4 fixed point, or as reals.
struct PdlPoint {
  LONG x;
  LONG y;
};
struct PdlPointF {
  float x;
  float y;
};
// left, top, right, bottom
struct PdlRect {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// Colour spaces of colour operands.
inline constexpr BYTE kPdlSpaceGrey = 3;
inline constexpr BYTE kPdlSpaceRgb = 4;

// Longest PdlVarNumber in bytes.
inline constexpr std::size_t kPdlVarNumberMax = 5;

// The primitives are inline: the writers hand over one operand at a time,
// and most operands are one to four bytes.
inline int Pdl_PutBytes(PdlSink* s, const void* data, std::size_t n) {
  if (s == nullptr) return -1;
  return s->Write(data, n) == -1 ? -1 : 0;
}
inline int Pdl_PutText(PdlSink* s, const char* text, std::size_t n) { return Pdl_PutBytes(s, text, n); }

namespace detail {
template <std::size_t N>
inline int PutN(PdlSink* s, const BYTE* b) {
  if (s == nullptr) return -1;
  return s->WriteN<N>(b) == -1 ? -1 : 0;
}
}  // namespace detail

inline int Pdl_PutByte(PdlSink* s, DWORD v) {
  const BYTE b[1] = {static_cast<BYTE>(v)};
  return detail::PutN<1>(s, b);
}
// Also writes every opcode.
inline int Pdl_PutWord(PdlSink* s, DWORD v) {
  const BYTE b[2] = {static_cast<BYTE>(v >> 8), static_cast<BYTE>(v)};
  return detail::PutN<2>(s, b);
}
inline int Pdl_PutTriple(PdlSink* s, DWORD v) {
  const BYTE b[3] = {static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v)};
  return detail::PutN<3>(s, b);
}
inline int Pdl_PutDword(PdlSink* s, DWORD v) {
  const BYTE b[4] = {static_cast<BYTE>(v >> 24), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 8),
                     static_cast<BYTE>(v)};
  return detail::PutN<4>(s, b);
}
inline int Pdl_PutReal(PdlSink* s, float x) {
  DWORD bits;
  std::memcpy(&bits, &x, 4);
  return Pdl_PutDword(s, bits);
}
// One PdlVarNumber, handed over as one run of 1 to 5 bytes.
int Pdl_PutVarNumberLong(PdlSink* s, LONG v);
inline int Pdl_PutVarNumber(PdlSink* s, LONG v) {
  // Steps of a polyline are mostly small: one and two bytes inline.
  DWORD m = v < 0 ? 0u - static_cast<DWORD>(v) : static_cast<DWORD>(v);
  BYTE sign = v < 0 ? 0x40 : 0;
  if (m < (1u << 6)) {
    const BYTE b[1] = {static_cast<BYTE>(sign | m)};
    return detail::PutN<1>(s, b);
  }
  if (m < (1u << 13)) {
    const BYTE b[2] = {static_cast<BYTE>(0x80 | sign | (m >> 7)), static_cast<BYTE>(m & 0x7F)};
    return detail::PutN<2>(s, b);
  }
  return Pdl_PutVarNumberLong(s, v);
}

// The opcode word of a two-character name: "AB" is 0x4142.
constexpr WORD Pdl_Opcode(const char name[2]) {
  return static_cast<WORD>((static_cast<BYTE>(name[0]) << 8) | static_cast<BYTE>(name[1]));
}

// Encodes v as the shortest PdlVarNumber into out; answers the length (1-5).
// INT32_MIN is encoded with the magnitude 2^31 and decodes back to itself.
std::size_t PdlEncodeVarNumber(LONG v, BYTE out[kPdlVarNumberMax]);
// Decodes one PdlVarNumber from at most avail bytes. Answers its length, or
// 0 when the bytes end inside the number, it is longer than 5 bytes, or its
// value does not fit 32 signed bits.
std::size_t PdlDecodeVarNumber(const BYTE* p, std::size_t avail, LONG* out);

// Typed values of glyph records. data points at the value in its natural
// width: DWORD for types 0, 1 and 14; BYTE for 2, 6, 7 and 12; float for 3
// and 11; WORD for 4, 5, 9, 10 and 13; n raw bytes for type 8.
int Pdl_PutTypedValue(PdlSink* s, int type, const void* data, std::size_t n);
int Pdl_PutTypedValueAlt(PdlSink* s, int type, const void* data, std::size_t n);

// Non-zero when x has a fraction that survives to four decimal places. A
// single-precision real that lies within one unit of its own precision below
// a step of 1/10000 counts as having reached it, so 2.0001f (stored as
// 2.00009990) has a fraction while 2.00004f has none.
int Pdl_HasFraction(float x);

// Form tests: 1 when the word form of an operator may be used, else 0.
int Pdl_RealsFitWords(const float* values, std::size_t n);
int Pdl_RectFitsWords(const PdlRect& r);
int Pdl_FixPointsFitWords(const PdlPoint* points, std::size_t n);
int Pdl_FixRectFitsWords(const PdlRect& r);
int Pdl_DeltasFitWords(std::size_t n, PdlPoint current, const PdlPoint* points);
void Pdl_FixToWhole(PdlPoint* out, std::size_t n, const PdlPoint* points);

// The 24-bit colour operand: grey (space 3) repeats its one byte, RGB
// (space 4) packs three bytes as bits 16-23, 8-15 and 0-7.
DWORD Pdl_PackColour(const BYTE* bytes, BYTE space);

}  // namespace morva::render
