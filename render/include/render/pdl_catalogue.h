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
#include <string_view>

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

// The whole catalogue, in PdlOp order.
const PdlOperatorInfo* PdlCatalogue();
std::size_t PdlCatalogueSize();
const PdlOperatorInfo& PdlOperator(PdlOp op);
// The entry of an opcode word, or null when the catalogue has none.
const PdlOperatorInfo* PdlFindOpcode(WORD opcode);

}  // namespace morva::render
