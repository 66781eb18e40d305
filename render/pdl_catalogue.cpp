#include "render/pdl_catalogue.h"

#include <array>

namespace morva::render {

namespace {

#define OP(n, code, layout, meaning) {PdlOp::n, #n, code, layout, meaning}

constexpr PdlOperatorInfo kCatalogue[] = {
    // Graphics state and clipping
    OP(AA, 0x4141, "wwwww=0w=0", "page orientation matrix"),
    OP(Aa, 0x4161, "ffffff", "transformation matrix"),
    OP(AR, 0x4152, "", "reset clip"),
    OP(AB, 0x4142, "wwww", "clip rectangle"),
    OP(Ab, 0x4162, "ffff", "clip rectangle (reals)"),
    OP(AC, 0x4143, "", "clip to path"),
    OP(AD, 0x4144, "w", "line width"),
    OP(Ad, 0x4164, "f", "line width (real)"),
    OP(AE, 0x4145, "b", "line cap"),
    OP(AF, 0x4146, "b", "line join"),
    OP(AG, 0x4147, "s", "miter limit"),
    OP(Ag, 0x4167, "f", "miter limit (real)"),
    OP(AH, 0x4148, "b?6(w*b(w))", "line dash"),
    OP(Ah, 0x4168, "b?6(f*b(f))", "line dash (reals)"),
    OP(AI, 0x4149, "b", "job flag"),
    OP(AJ, 0x414A, "b", "fill rule"),
    OP(AK, 0x414B, "b", "paint mode"),
    OP(AL, 0x414C, "bd", "raster operation"),
    OP(AM, 0x414D, "bC", "solid colour"),
    OP(AN, 0x414E, "wwbCb", "hatch brush"),
    OP(An, 0x416E, "ffbRb", "hatch brush (reals)"),
    OP(AO, 0x414F, "wwbCb=1WWP", "monochrome pattern brush"),
    OP(Ao, 0x416F, "ffbRb=1WWP", "monochrome pattern brush (reals)"),
    OP(AP, 0x4150, "wwbbbWWb$d", "colour pattern brush"),
    OP(AQ, 0x4151, "bbC", "brush background"),
    OP(AV, 0x4156, "bbW$w", "palette"),
    OP(FF, 0x4646, "b", "job flags"),
    // Paths and figures
    OP(BA, 0x4241, "", "new path"),
    OP(BB, 0x4242, "ww", "move to"),
    OP(Bb, 0x4262, "ff", "move to (reals)"),
    OP(BP, 0x4250, "*w(ww)", "lines to points"),
    OP(Bp, 0x4270, "*w(ff)", "lines to points (reals)"),
    OP(B0, 0x4230, "*w(vv)", "lines by relative steps"),
    OP(BU, 0x4255, "*3(ww)", "Bezier segments"),
    OP(Bu, 0x4275, "*3(ff)", "Bezier segments (reals)"),
    OP(BC, 0x4243, "", "close subpath"),
    OP(BD, 0x4244, "", "paint path"),
    OP(CG, 0x4347, "wwww", "rectangle"),
    OP(Cg, 0x4367, "ffff", "rectangle (reals)"),
    OP(Cc, 0x4363, "ffffff", "ellipse"),
    // Images
    OP(Cq, 0x4371, "ffffffffWWb?2(b=0%)b?2(b?8-11(bW$w)b=1bb%)", "image"),
    OP(Cp, 0x4370, "ffWWbffffff%", "stencil image"),
    // Text and downloaded glyphs
    OP(DA, 0x4441, "W", "select device font"),
    OP(Db, 0x4462, "ffffff", "text matrix"),
    OP(DC, 0x4443, "wwb=1w*h(W)", "text at position, one advance"),
    OP(Dc, 0x4463, "ffb=1f*h(W)", "text at position, one advance (reals)"),
    OP(DD, 0x4444, "wwb=2*w(w)*h(W)", "text at position, advances"),
    OP(Dd, 0x4464, "ffb=2*w(f)*h(W)", "text at position, advances (reals)"),
    OP(BX, 0x4258, "b=1w*h(W)", "text, one advance"),
    OP(BY, 0x4259, "b=2*w(w)*h(W)", "text, advances"),
    OP(DH, 0x4448, "dG", "download glyph"),
    OP(DL, 0x444C, "WG", "download glyph (64-byte units)"),
    OP(DI, 0x4449, "wwd", "draw cached glyph"),
    OP(DM, 0x444D, "wwW", "draw cached glyph (64-byte units)"),
    OP(Di, 0x4469, "ffd", "draw cached glyph (reals)"),
    OP(Dm, 0x446D, "ffW", "draw cached glyph (reals, 64-byte units)"),
    OP(DE, 0x4445, "wwb?&1(w=0)?&2(w)WG", "inline glyph"),
    OP(De, 0x4465, "ffb?&1(f=0)?&2(f)WG", "inline glyph (reals)"),
    OP(DF, 0x4446, "wwb=2b*F(w)WG", "inline glyph, arrays"),
    OP(Df, 0x4466, "ffb=2b*F(f)WG", "inline glyph, arrays (reals)"),
    // Job and page framing
    OP(EA, 0x4541, "b", "job mode"),
    OP(EB, 0x4542, "", "job end"),
    OP(Ec, 0x4563, "bbb?81(ff)", "page begin"),
    OP(ED, 0x4544, "", "page end"),
    OP(EE, 0x4545, "$w", "store name"),
    OP(EF, 0x4546, "", "store page end"),
    OP(Eg, 0x4567, "$wffffffb?2(b?81(ff))", "text with matrix"),
    OP(EH, 0x4548, "W=1$w", "annotation"),
    OP(EP, 0x4550, "$b", "comment"),
    OP(FA, 0x4641, "bW", "value by selector"),
    OP(FB, 0x4642, "", "sheet end"),
    OP(FC, 0x4643, "", "sheet change"),
    OP(FE, 0x4645, "b", "sheet end with value"),
    OP(FH, 0x4648, "bb", "page duplex"),
    OP(FI, 0x4649, "b", "cells rotated"),
};

#undef OP

static_assert(std::size(kCatalogue) == static_cast<std::size_t>(PdlOp::Count));

constexpr bool CatalogueInOrder() {
  for (std::size_t i = 0; i < std::size(kCatalogue); ++i) {
    const PdlOperatorInfo& e = kCatalogue[i];
    if (static_cast<std::size_t>(e.op) != i) return false;
    if (e.opcode != ((static_cast<WORD>(e.name[0]) << 8) | static_cast<WORD>(e.name[1]))) return false;
  }
  return true;
}
static_assert(CatalogueInOrder(), "catalogue rows follow PdlOp and opcodes follow names");

constexpr bool OpcodesUnique() {
  for (std::size_t i = 0; i < std::size(kCatalogue); ++i)
    for (std::size_t j = i + 1; j < std::size(kCatalogue); ++j)
      if (kCatalogue[i].opcode == kCatalogue[j].opcode) return false;
  return true;
}
static_assert(OpcodesUnique(), "every operator has an opcode of its own");

// Opcode to catalogue row; both opcode bytes are printable ASCII.
struct OpcodeIndex {
  std::array<signed char, 96 * 96> row{};
  constexpr OpcodeIndex() {
    for (auto& r : row) r = -1;
    for (std::size_t i = 0; i < std::size(kCatalogue); ++i) {
      WORD c = kCatalogue[i].opcode;
      row[((c >> 8) - 32) * 96 + ((c & 0xFF) - 32)] = static_cast<signed char>(i);
    }
  }
};
constexpr OpcodeIndex kIndex;

}  // namespace

const PdlOperatorInfo* PdlCatalogue() { return kCatalogue; }
std::size_t PdlCatalogueSize() { return std::size(kCatalogue); }
const PdlOperatorInfo& PdlOperator(PdlOp op) { return kCatalogue[static_cast<std::size_t>(op)]; }

const PdlOperatorInfo* PdlFindOpcode(WORD opcode) {
  unsigned hi = opcode >> 8, lo = opcode & 0xFF;
  if (hi < 32 || hi >= 128 || lo < 32 || lo >= 128) return nullptr;
  signed char r = kIndex.row[(hi - 32) * 96 + (lo - 32)];
  return r < 0 ? nullptr : &kCatalogue[static_cast<std::size_t>(r)];
}

}  // namespace morva::render
