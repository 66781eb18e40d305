// Lowest layer of the VANTIQ stream: how opcodes and operands become bytes.
//
// Every multi-byte value goes out most significant byte first. Each
// primitive writes into the document's sink and answers 0 on success and
// -1 when the sink failed; none keeps state or allocates.
#pragma once

#include <cstddef>
#include <cstdint>

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

int Pdl_PutBytes(PdlSink* s, const void* data, std::size_t n);
int Pdl_PutText(PdlSink* s, const char* text, std::size_t n);
int Pdl_PutByte(PdlSink* s, DWORD v);
int Pdl_PutWord(PdlSink* s, DWORD v);  // also every opcode
int Pdl_PutTriple(PdlSink* s, DWORD v);
int Pdl_PutDword(PdlSink* s, DWORD v);
int Pdl_PutReal(PdlSink* s, float x);
int Pdl_PutVarNumber(PdlSink* s, LONG v);

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
