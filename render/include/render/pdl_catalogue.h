// The VANTIQ operator catalogue: every operator the driver writes, its
// opcode and the layout of its operands. The writers and the stream decoder
// both read this one table.
//
// Layout language (one character per operand unless noted):
//   b  byte (unsigned)        s  byte (signed)
//   w  word (signed)          W  word (unsigned: sizes, counts, codes)
//   t  triple                 d  double word (unsigned)
//   f  real                   v  PdlVarNumber
//   =N after b, w, W or f: the operand always holds N (decimal)
//   C  colour: space byte (3 grey, 4 RGB), then 1 or 3 bytes
//   R  real colour: space byte, then 1 or 3 reals
//   *X(...)  a count operand, then the group that many times. X is
//            b (byte count), w (word count), 3 (word count of segments,
//            group repeated three times per segment), h (word count of
//            bytes, group repeated once per two bytes; the count is even),
//            F (word count, group repeated only when bit 0 or 1 of the
//            last byte operand is set)
//   $X  a count operand X (b, w or d), then that many raw bytes
//   P   ((W1 + 7) / 8) x W2 raw bytes, W1 and W2 the last two words read
//   ?N(...)    group present when the last byte operand equals N
//   ?N-M(...)  ... lies within N..M;  ?&N(...)  ... has a bit of N set
//   %   a double-word count of data bytes that follow the whole operator
//       (several of them follow in the order of their counts)
//   G   a glyph record (typed values) follows the operator
#pragma once

#include <cstddef>
#include <iterator>

#include "win/types.h"

namespace morva::render {

// Index of each operator in the catalogue.
enum class PdlOp : BYTE {
  AA, Aa, AR, AB, Ab, AC, AD, Ad, AE, AF, AG, Ag, AH, Ah, AI, AJ, AK, AL, AM,
  AN, An, AO, Ao, AP, AQ, AV, FF,
  BA, BB, Bb, BP, Bp, B0, BU, Bu, BC, BD, CG, Cg, Cc,
  Cq, Cp,
  DA, Db, DC, Dc, DD, Dd, BX, BY, DH, DL, DI, DM, Di, Dm, DE, De, DF, Df,
  EA, EB, Ec, ED, EE, EF, Eg, EH, EP, FA, FB, FC, FE, FH, FI,
  Count
};

struct PdlOperatorInfo {
  PdlOp op;
  char name[3];
  WORD opcode;
  const char* layout;
  const char* meaning;
};

// The catalogue, in PdlOp order.
#define MORVA_PDL_OP(n, code, layout, meaning) {PdlOp::n, #n, code, layout, meaning}
inline constexpr PdlOperatorInfo kPdlCatalogue[] = {
    // Graphics state and clipping
    MORVA_PDL_OP(AA, 0x4141, "wwwww=0w=0", "page orientation matrix"),
    MORVA_PDL_OP(Aa, 0x4161, "ffffff", "transformation matrix"),
    MORVA_PDL_OP(AR, 0x4152, "", "reset clip"),
    MORVA_PDL_OP(AB, 0x4142, "wwww", "clip rectangle"),
    MORVA_PDL_OP(Ab, 0x4162, "ffff", "clip rectangle (reals)"),
    MORVA_PDL_OP(AC, 0x4143, "", "clip to path"),
    MORVA_PDL_OP(AD, 0x4144, "w", "line width"),
    MORVA_PDL_OP(Ad, 0x4164, "f", "line width (real)"),
    MORVA_PDL_OP(AE, 0x4145, "b", "line cap"),
    MORVA_PDL_OP(AF, 0x4146, "b", "line join"),
    MORVA_PDL_OP(AG, 0x4147, "s", "miter limit"),
    MORVA_PDL_OP(Ag, 0x4167, "f", "miter limit (real)"),
    MORVA_PDL_OP(AH, 0x4148, "b?6(w*b(w))", "line dash"),
    MORVA_PDL_OP(Ah, 0x4168, "b?6(f*b(f))", "line dash (reals)"),
    MORVA_PDL_OP(AI, 0x4149, "b", "job flag"),
    MORVA_PDL_OP(AJ, 0x414A, "b", "fill rule"),
    MORVA_PDL_OP(AK, 0x414B, "b", "paint mode"),
    MORVA_PDL_OP(AL, 0x414C, "bd", "raster operation"),
    MORVA_PDL_OP(AM, 0x414D, "bC", "solid colour"),
    MORVA_PDL_OP(AN, 0x414E, "wwbCb", "hatch brush"),
    MORVA_PDL_OP(An, 0x416E, "ffbRb", "hatch brush (reals)"),
    MORVA_PDL_OP(AO, 0x414F, "wwbCb=1WWP", "monochrome pattern brush"),
    MORVA_PDL_OP(Ao, 0x416F, "ffbRb=1WWP", "monochrome pattern brush (reals)"),
    MORVA_PDL_OP(AP, 0x4150, "wwbbbWWb$d", "colour pattern brush"),
    MORVA_PDL_OP(AQ, 0x4151, "bbC", "brush background"),
    MORVA_PDL_OP(AV, 0x4156, "bbW$w", "palette"),
    MORVA_PDL_OP(FF, 0x4646, "b", "job flags"),
    // Paths and figures
    MORVA_PDL_OP(BA, 0x4241, "", "new path"),
    MORVA_PDL_OP(BB, 0x4242, "ww", "move to"),
    MORVA_PDL_OP(Bb, 0x4262, "ff", "move to (reals)"),
    MORVA_PDL_OP(BP, 0x4250, "*w(ww)", "lines to points"),
    MORVA_PDL_OP(Bp, 0x4270, "*w(ff)", "lines to points (reals)"),
    MORVA_PDL_OP(B0, 0x4230, "*w(vv)", "lines by relative steps"),
    MORVA_PDL_OP(BU, 0x4255, "*3(ww)", "Bezier segments"),
    MORVA_PDL_OP(Bu, 0x4275, "*3(ff)", "Bezier segments (reals)"),
    MORVA_PDL_OP(BC, 0x4243, "", "close subpath"),
    MORVA_PDL_OP(BD, 0x4244, "", "paint path"),
    MORVA_PDL_OP(CG, 0x4347, "wwww", "rectangle"),
    MORVA_PDL_OP(Cg, 0x4367, "ffff", "rectangle (reals)"),
    MORVA_PDL_OP(Cc, 0x4363, "ffffff", "ellipse"),
    // Images
    MORVA_PDL_OP(Cq, 0x4371, "ffffffffWWb?2(b=0%)b?2(b?8-11(bW$w)b=1bb%)", "image"),
    MORVA_PDL_OP(Cp, 0x4370, "ffWWbffffff%", "stencil image"),
    // Text and downloaded glyphs
    MORVA_PDL_OP(DA, 0x4441, "W", "select device font"),
    MORVA_PDL_OP(Db, 0x4462, "ffffff", "text matrix"),
    MORVA_PDL_OP(DC, 0x4443, "wwb=1w*h(W)", "text at position, one advance"),
    MORVA_PDL_OP(Dc, 0x4463, "ffb=1f*h(W)", "text at position, one advance (reals)"),
    MORVA_PDL_OP(DD, 0x4444, "wwb=2*w(w)*h(W)", "text at position, advances"),
    MORVA_PDL_OP(Dd, 0x4464, "ffb=2*w(f)*h(W)", "text at position, advances (reals)"),
    MORVA_PDL_OP(BX, 0x4258, "b=1w*h(W)", "text, one advance"),
    MORVA_PDL_OP(BY, 0x4259, "b=2*w(w)*h(W)", "text, advances"),
    MORVA_PDL_OP(DH, 0x4448, "dG", "download glyph"),
    MORVA_PDL_OP(DL, 0x444C, "WG", "download glyph (64-byte units)"),
    MORVA_PDL_OP(DI, 0x4449, "wwd", "draw cached glyph"),
    MORVA_PDL_OP(DM, 0x444D, "wwW", "draw cached glyph (64-byte units)"),
    MORVA_PDL_OP(Di, 0x4469, "ffd", "draw cached glyph (reals)"),
    MORVA_PDL_OP(Dm, 0x446D, "ffW", "draw cached glyph (reals, 64-byte units)"),
    MORVA_PDL_OP(DE, 0x4445, "wwb?&1(w=0)?&2(w)WG", "inline glyph"),
    MORVA_PDL_OP(De, 0x4465, "ffb?&1(f=0)?&2(f)WG", "inline glyph (reals)"),
    MORVA_PDL_OP(DF, 0x4446, "wwb=2b*F(w)WG", "inline glyph, arrays"),
    MORVA_PDL_OP(Df, 0x4466, "ffb=2b*F(f)WG", "inline glyph, arrays (reals)"),
    // Job and page framing
    MORVA_PDL_OP(EA, 0x4541, "b", "job mode"),
    MORVA_PDL_OP(EB, 0x4542, "", "job end"),
    MORVA_PDL_OP(Ec, 0x4563, "bbb?81(ff)", "page begin"),
    MORVA_PDL_OP(ED, 0x4544, "", "page end"),
    MORVA_PDL_OP(EE, 0x4545, "$w", "store name"),
    MORVA_PDL_OP(EF, 0x4546, "", "store page end"),
    MORVA_PDL_OP(Eg, 0x4567, "$wffffffb?2(b?81(ff))", "text with matrix"),
    MORVA_PDL_OP(EH, 0x4548, "W=1$w", "annotation"),
    MORVA_PDL_OP(EP, 0x4550, "$b", "comment"),
    MORVA_PDL_OP(FA, 0x4641, "bW", "value by selector"),
    MORVA_PDL_OP(FB, 0x4642, "", "sheet end"),
    MORVA_PDL_OP(FC, 0x4643, "", "sheet change"),
    MORVA_PDL_OP(FE, 0x4645, "b", "sheet end with value"),
    MORVA_PDL_OP(FH, 0x4648, "bb", "page duplex"),
    MORVA_PDL_OP(FI, 0x4649, "b", "cells rotated"),
};

#undef MORVA_PDL_OP

static_assert(std::size(kPdlCatalogue) == static_cast<std::size_t>(PdlOp::Count));

constexpr const PdlOperatorInfo& PdlOperator(PdlOp op) { return kPdlCatalogue[static_cast<std::size_t>(op)]; }

const PdlOperatorInfo* PdlCatalogue();
std::size_t PdlCatalogueSize();
// The entry of an opcode word, or null when the catalogue has none.
const PdlOperatorInfo* PdlFindOpcode(WORD opcode);

}  // namespace morva::render
