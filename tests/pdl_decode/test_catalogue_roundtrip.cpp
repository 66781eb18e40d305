// Every operator of the catalogue, written by its writer and read back by
// the decoder, gives back the operands it was written with.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "glyph_fixtures.h"
#include "pdl_decode.h"
#include "render/pdl_operators.h"

using namespace morva::render;
using morva::tools::DecodeOperators;
using morva::tools::PdlDecodeResult;
using morva::tools::PdlItem;
using morva::tools::PdlValue;

namespace {

struct E {
  PdlValue::Kind kind;
  double v;
};
E I(double v) { return {PdlValue::Int, v}; }
E F(double v) { return {PdlValue::Real, v}; }
E X(double n) { return {PdlValue::Bytes, n}; }
float C255(int b) { return static_cast<float>(b / 255.0); }

enum Follow { kNone, kBitmap, kOutline };

struct Row {
  PdlOp op;
  std::function<int(PdlSink*)> write;
  std::vector<E> operands;
  std::vector<std::size_t> data = {};  // data bytes written after the operator
  Follow glyph = kNone;
};

const float kM[6] = {1.0f, 0.0f, 0.0f, -1.0f, 12.5f, 300.0f};
const WORD kCodes[2] = {0x41, 0x42};
const BYTE kBytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
std::vector<E> M6() {
  std::vector<E> v;
  for (float x : kM) v.push_back(F(x));
  return v;
}
std::vector<E> Cat(std::vector<E> a, const std::vector<E>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<Row> Rows() {
  PdlImageHeader indexed{};
  indexed.x = 10;
  indexed.y = 20;
  for (int i = 0; i < 6; ++i) indexed.matrix[i] = kM[i];
  indexed.width = 40;
  indexed.height = 2;
  indexed.mask_kind = 2;
  indexed.mask_bytes = 10;
  indexed.source_kind = 2;
  indexed.format = 11;
  indexed.entry_bits = 8;
  indexed.entries = 2;
  indexed.palette_bytes = 6;
  indexed.palette = kBytes;
  indexed.bits_per_component = 8;
  indexed.method = 1;
  indexed.data_bytes = 80;
  PdlImageHeader rgb = indexed;
  rgb.mask_kind = 1;
  rgb.format = 4;
  rgb.data_bytes = 240;

  const LONG dashes[2] = {4, 5};
  const float rdashes[2] = {2.5f, 3.0f};
  const PdlPoint pts[3] = {{1, 2}, {-3, 4}, {5, -6}};
  const PdlPointF fpts[3] = {{0.5f, 1.0f}, {1.5f, 2.0f}, {-2.5f, 3.0f}};
  const PdlPoint steps[2] = {{100, 0}, {100, -300}};
  const float rect[4] = {1.5f, 2.5f, 3.5f, 4.5f};
  const float ellipse[6] = {50, 60, 10, 20, 0, 360};
  const float size[2] = {210.0f, 297.0f};
  const LONG adv[1] = {12};
  const float radv[1] = {12.5f};
  const LONG a1[2] = {1, 2}, a2[2] = {3, 4};
  const float f1[2] = {1.5f, 2.5f};

  return {
      {PdlOp::AA, [](PdlSink* s) { return Pdl_OpOrientation(s, 3); }, {I(0), I(1), I(1), I(0), I(0), I(0)}},
      {PdlOp::AA, [](PdlSink* s) { return Pdl_OpOrientation(s, 1); }, {I(1), I(0), I(0), I(-1), I(0), I(0)}},
      {PdlOp::Aa, [](PdlSink* s) { return Pdl_OpMatrix(s, kM); }, M6()},
      {PdlOp::AR, [](PdlSink* s) { return Pdl_OpResetClip(s); }, {}},
      {PdlOp::AB, [](PdlSink* s) { return Pdl_OpClipRect(s, {10, -20, 30, 40}); }, {I(10), I(-20), I(30), I(40)}},
      {PdlOp::Ab, [=](PdlSink* s) { return Pdl_OpClipRectReal(s, rect); }, {F(1.5), F(2.5), F(3.5), F(4.5)}},
      {PdlOp::AC, [](PdlSink* s) { return Pdl_OpClipToPath(s); }, {}},
      {PdlOp::AD, [](PdlSink* s) { return Pdl_OpLineWidth(s, 7); }, {I(7)}},
      {PdlOp::Ad, [](PdlSink* s) { return Pdl_OpLineWidthReal(s, 2.5f); }, {F(2.5)}},
      {PdlOp::AE, [](PdlSink* s) { return Pdl_OpLineCap(s, 2); }, {I(2)}},
      {PdlOp::AF, [](PdlSink* s) { return Pdl_OpLineJoin(s, 3); }, {I(3)}},
      {PdlOp::AG, [](PdlSink* s) { return Pdl_OpMiterLimit(s, -5); }, {I(-5)}},
      {PdlOp::Ag, [](PdlSink* s) { return Pdl_OpMiterLimitReal(s, 200.0f); }, {F(200)}},
      {PdlOp::AH, [=](PdlSink* s) { return Pdl_OpDash(s, 6, -3, 2, dashes); }, {I(6), I(-3), I(2), I(4), I(5)}},
      {PdlOp::AH, [](PdlSink* s) { return Pdl_OpDash(s, 1, 0, 0, nullptr); }, {I(1)}},
      {PdlOp::Ah, [=](PdlSink* s) { return Pdl_OpDashReal(s, 6, 1.5f, 2, rdashes); },
       {I(6), F(1.5), I(2), F(2.5), F(3)}},
      {PdlOp::AI, [](PdlSink* s) { return Pdl_OpFlagAI(s, 1); }, {I(1)}},
      {PdlOp::AJ, [](PdlSink* s) { return Pdl_OpFillRule(s, 2); }, {I(2)}},
      {PdlOp::AK, [](PdlSink* s) { return Pdl_OpPaintMode(s, 3); }, {I(3)}},
      {PdlOp::AL, [](PdlSink* s) { return Pdl_OpRasterOp(s, 3, 0xB8E2); }, {I(3), I(0xB8E2)}},
      {PdlOp::AM, [](PdlSink* s) { return Pdl_OpSetColour(s, 2, 4, 0x112233); },
       {I(2), I(4), I(0x11), I(0x22), I(0x33)}},
      {PdlOp::AM, [](PdlSink* s) { return Pdl_OpSetColour(s, 1, 3, 0x404040); }, {I(1), I(3), I(0x40)}},
      {PdlOp::AN, [](PdlSink* s) { return Pdl_OpHatchBrush(s, -5, 6, 2, 3, 0x808080, 4); },
       {I(-5), I(6), I(2), I(3), I(0x80), I(4)}},
      {PdlOp::An, [](PdlSink* s) { return Pdl_OpHatchBrushReal(s, 1.5f, 2.0f, 2, 4, 0xFF0080, 7); },
       {F(1.5), F(2), I(2), I(4), F(1.0), F(0), F(C255(0x80)), I(7)}},
      {PdlOp::AO, [](PdlSink* s) { return Pdl_OpMaskBrush(s, 1, 2, 2, 4, 0x010203, 10, 2, kBytes); },
       {I(1), I(2), I(2), I(4), I(1), I(2), I(3), I(1), I(10), I(2), X(4)}},
      {PdlOp::Ao, [](PdlSink* s) { return Pdl_OpMaskBrushReal(s, 1.5f, 2.0f, 2, 3, 0xFFFFFF, 8, 3, kBytes); },
       {F(1.5), F(2), I(2), I(3), F(1.0), I(1), I(8), I(3), X(3)}},
      {PdlOp::AP, [](PdlSink* s) { return Pdl_OpPatternBrush(s, 3, 4, 2, 4, 8, 2, 2, 1, 12, kBytes); },
       {I(3), I(4), I(2), I(4), I(8), I(2), I(2), I(1), I(12), X(12)}},
      {PdlOp::AQ, [](PdlSink* s) { return Pdl_OpBrushBackground(s, 2, 1, 4, 0x0A0B0C); },
       {I(2), I(1), I(4), I(10), I(11), I(12)}},
      {PdlOp::AV, [](PdlSink* s) { return Pdl_OpPalette(s, 11, 8, 2, 6, kBytes); }, {I(11), I(8), I(2), I(6), X(6)}},
      {PdlOp::FF, [](PdlSink* s) { return Pdl_OpFlagsFF(s, 5); }, {I(5)}},
      {PdlOp::BA, [](PdlSink* s) { return Pdl_OpNewPath(s); }, {}},
      {PdlOp::BB, [](PdlSink* s) { return Pdl_OpMoveTo(s, -1, 2); }, {I(-1), I(2)}},
      {PdlOp::Bb, [](PdlSink* s) { return Pdl_OpMoveToReal(s, 0.5f, -0.5f); }, {F(0.5), F(-0.5)}},
      {PdlOp::BP, [=](PdlSink* s) { return Pdl_OpLineTo(s, 2, pts); }, {I(2), I(1), I(2), I(-3), I(4)}},
      {PdlOp::Bp, [=](PdlSink* s) { return Pdl_OpLineToReal(s, 2, fpts); }, {I(2), F(0.5), F(1), F(1.5), F(2)}},
      {PdlOp::B0, [=](PdlSink* s) { return Pdl_OpLineToRelative(s, {0, 0}, 2, steps); },
       {I(2), I(100), I(0), I(0), I(-300)}},
      {PdlOp::BU, [=](PdlSink* s) { return Pdl_OpCurveTo(s, 1, pts); },
       {I(1), I(1), I(2), I(-3), I(4), I(5), I(-6)}},
      {PdlOp::Bu, [=](PdlSink* s) { return Pdl_OpCurveToReal(s, 1, fpts); },
       {I(1), F(0.5), F(1), F(1.5), F(2), F(-2.5), F(3)}},
      {PdlOp::BC, [](PdlSink* s) { return Pdl_OpCloseSubpath(s); }, {}},
      {PdlOp::BD, [](PdlSink* s) { return Pdl_OpPaintPath(s); }, {}},
      {PdlOp::CG, [](PdlSink* s) { return Pdl_OpRectangle(s, {0, 0, 100, 200}); }, {I(0), I(0), I(100), I(200)}},
      {PdlOp::Cg, [=](PdlSink* s) { return Pdl_OpRectangleReal(s, rect); }, {F(1.5), F(2.5), F(3.5), F(4.5)}},
      {PdlOp::Cc, [=](PdlSink* s) { return Pdl_OpEllipse(s, ellipse); },
       {F(50), F(60), F(10), F(20), F(0), F(360)}},
      {PdlOp::Cq, [=](PdlSink* s) { return Pdl_OpImage(s, indexed); },
       Cat(Cat({F(10), F(20)}, M6()),
           {I(40), I(2), I(2), I(0), I(10), I(2), I(11), I(8), I(2), I(6), X(6), I(1), I(8), I(1), I(80)}),
       {10, 80}},
      {PdlOp::Cq, [=](PdlSink* s) { return Pdl_OpImage(s, rgb); },
       Cat(Cat({F(10), F(20)}, M6()), {I(40), I(2), I(1), I(2), I(4), I(1), I(8), I(1), I(240)}), {240}},
      {PdlOp::Cp, [](PdlSink* s) { return Pdl_OpStencil(s, 1.0f, 2.0f, 16, 2, 1, kM, 4); },
       Cat(Cat({F(1), F(2), I(16), I(2), I(1)}, M6()), {I(4)}), {4}},
      {PdlOp::DA, [](PdlSink* s) { return Pdl_OpSelectFont(s, 0x1234); }, {I(0x1234)}},
      {PdlOp::Db, [](PdlSink* s) { return Pdl_OpTextMatrix(s, kM); }, M6()},
      {PdlOp::DC, [](PdlSink* s) { return Pdl_OpTextAt(s, 10, 20, 30, 2, kCodes); },
       {I(10), I(20), I(1), I(30), I(4), I(0x41), I(0x42)}},
      {PdlOp::Dc, [](PdlSink* s) { return Pdl_OpTextAtReal(s, 10.5f, 20.0f, 30.25f, 2, kCodes); },
       {F(10.5), F(20), I(1), F(30.25), I(4), I(0x41), I(0x42)}},
      {PdlOp::DD, [=](PdlSink* s) { return Pdl_OpTextAtAdvances(s, 10, 20, 1, adv, 2, kCodes); },
       {I(10), I(20), I(2), I(1), I(12), I(4), I(0x41), I(0x42)}},
      {PdlOp::Dd, [=](PdlSink* s) { return Pdl_OpTextAtAdvancesReal(s, 10.0f, 20.0f, 1, radv, 2, kCodes); },
       {F(10), F(20), I(2), I(1), F(12.5), I(4), I(0x41), I(0x42)}},
      {PdlOp::BX, [](PdlSink* s) { return Pdl_OpTextHere(s, 9, 2, kCodes); }, {I(1), I(9), I(4), I(0x41), I(0x42)}},
      {PdlOp::BY, [=](PdlSink* s) { return Pdl_OpTextHereAdvances(s, 1, adv, 2, kCodes); },
       {I(2), I(1), I(12), I(4), I(0x41), I(0x42)}},
      {PdlOp::DH, [](PdlSink* s) { return Pdl_OpDownloadGlyph(s, 0x1000); }, {I(0x1000)}, {}, kBitmap},
      {PdlOp::DL, [](PdlSink* s) { return Pdl_OpDownloadGlyphShort(s, 0x1000); }, {I(0x40)}, {}, kOutline},
      {PdlOp::DI, [](PdlSink* s) { return Pdl_OpDrawGlyph(s, 1, -2, 0x2000); }, {I(1), I(-2), I(0x2000)}},
      {PdlOp::DM, [](PdlSink* s) { return Pdl_OpDrawGlyphShort(s, 1, -2, 0x3FFFC0); }, {I(1), I(-2), I(0xFFFF)}},
      {PdlOp::Di, [](PdlSink* s) { return Pdl_OpDrawGlyphReal(s, 1.5f, 2.5f, 0x2000); }, {F(1.5), F(2.5), I(0x2000)}},
      {PdlOp::Dm, [](PdlSink* s) { return Pdl_OpDrawGlyphShortReal(s, 1.5f, 2.5f, 0x2000); },
       {F(1.5), F(2.5), I(0x80)}},
      {PdlOp::DE, [](PdlSink* s) { return Pdl_OpInlineGlyph(s, 3, 4, 3, 9, 11); },
       {I(3), I(4), I(3), I(0), I(9), I(11)}, {}, kBitmap},
      {PdlOp::DE, [](PdlSink* s) { return Pdl_OpInlineGlyph(s, 3, 4, 0, 9, 11); }, {I(3), I(4), I(0), I(11)}, {},
       kOutline},
      {PdlOp::De, [](PdlSink* s) { return Pdl_OpInlineGlyphReal(s, 40000.0f, 4.0f, 2, 9.5f, 11); },
       {F(40000), F(4), I(2), F(9.5), I(11)}, {}, kBitmap},
      {PdlOp::DF, [=](PdlSink* s) { return Pdl_OpInlineGlyphArray(s, 3, 4, 3, 2, a1, a2, 5); },
       {I(3), I(4), I(2), I(3), I(4), I(1), I(2), I(3), I(4), I(5)}, {}, kOutline},
      {PdlOp::DF, [=](PdlSink* s) { return Pdl_OpInlineGlyphArray(s, 3, 4, 2, 2, nullptr, a2, 5); },
       {I(3), I(4), I(2), I(2), I(2), I(3), I(4), I(5)}, {}, kBitmap},
      {PdlOp::Df, [=](PdlSink* s) { return Pdl_OpInlineGlyphArrayReal(s, -40000.0f, 4.0f, 1, 2, f1, nullptr, 5); },
       {F(-40000), F(4), I(2), I(1), I(2), F(1.5), F(2.5), I(5)}, {}, kBitmap},
      {PdlOp::EA, [](PdlSink* s) { return Pdl_OpJobMode(s, 0x90); }, {I(0x90)}},
      {PdlOp::EB, [](PdlSink* s) { return Pdl_OpJobEnd(s); }, {}},
      {PdlOp::Ec, [=](PdlSink* s) { return Pdl_OpBeginPage(s, 2, 7, 0x51, size); },
       {I(2), I(7), I(0x51), F(210), F(297)}},
      {PdlOp::Ec, [](PdlSink* s) { return Pdl_OpBeginPage(s, 1, 7, 5, nullptr); }, {I(1), I(7), I(5)}},
      {PdlOp::ED, [](PdlSink* s) { return Pdl_OpEndPage(s); }, {}},
      {PdlOp::EE, [](PdlSink* s) { return Pdl_OpStoreName(s, "STORE", 5); }, {I(5), X(5)}},
      {PdlOp::EF, [](PdlSink* s) { return Pdl_OpStorePageEnd(s); }, {}},
      {PdlOp::Eg, [](PdlSink* s) { return Pdl_OpTextWithMatrix(s, "Doc", 3, kM, 2, 0x51, 2100.0f, 2970.0f); },
       Cat(Cat({I(3), X(3)}, M6()), {I(2), I(0x51), F(210), F(297)})},
      {PdlOp::Eg, [](PdlSink* s) { return Pdl_OpTextWithMatrix(s, "Doc", 3, kM, 0, 0, 0, 0); },
       Cat(Cat({I(3), X(3)}, M6()), {I(0)})},
      {PdlOp::EH, [](PdlSink* s) { return Pdl_OpAnnotation(s, "Note", 4); }, {I(1), I(4), X(4)}},
      {PdlOp::EP, [](PdlSink* s) { return Pdl_OpComment(s, "hi", 0); }, {I(2), X(2)}},
      {PdlOp::FA, [](PdlSink* s) { return Pdl_OpSetValue(s, 1, 600); }, {I(1), I(600)}},
      {PdlOp::FB, [](PdlSink* s) { return Pdl_OpSheetEnd(s); }, {}},
      {PdlOp::FC, [](PdlSink* s) { return Pdl_OpSheetChange(s); }, {}},
      {PdlOp::FE, [](PdlSink* s) { return Pdl_OpSheetEndValue(s, 17); }, {I(17)}},
      {PdlOp::FH, [](PdlSink* s) { return Pdl_OpPageDuplex(s, 1, 2); }, {I(1), I(2)}},
      {PdlOp::FI, [](PdlSink* s) { return Pdl_OpCellsRotated(s, 1); }, {I(1)}},
  };
}

}  // namespace

TEST(PdlCatalogue, EveryOperatorRoundTrips) {
  std::set<PdlOp> seen;
  for (const Row& row : Rows()) {
    const PdlOperatorInfo& info = PdlOperator(row.op);
    SCOPED_TRACE(info.name);
    seen.insert(row.op);
    MemorySink s;
    ASSERT_EQ(row.write(&s), 0);
    if (row.glyph == kBitmap) {
      ASSERT_EQ(morva::test::WriteBitmapGlyph(&s), 0);
    }
    if (row.glyph == kOutline) {
      ASSERT_EQ(morva::test::WriteOutlineGlyph(&s), 0);
    }
    for (std::size_t n : row.data) {
      std::vector<BYTE> data(n, 0xAB);
      ASSERT_EQ(Pdl_PutBytes(&s, data.data(), n), 0);
    }

    PdlDecodeResult r = DecodeOperators(s.data(), s.size());
    ASSERT_TRUE(r.ok) << r.error << " at " << r.error_offset;
    ASSERT_GE(r.items.size(), 1u);
    const PdlItem& op = r.items[0];
    EXPECT_EQ(op.kind, PdlItem::Operator);
    EXPECT_EQ(op.text, info.name);
    ASSERT_EQ(op.operands.size(), row.operands.size());
    for (std::size_t i = 0; i < row.operands.size(); ++i) {
      SCOPED_TRACE(i);
      const PdlValue& got = op.operands[i];
      const E& want = row.operands[i];
      ASSERT_EQ(got.kind, want.kind);
      if (want.kind == PdlValue::Real) {
        EXPECT_EQ(got.f, static_cast<float>(want.v));
      } else {
        EXPECT_EQ(got.i, static_cast<std::int64_t>(want.v));
      }
    }
    // What follows the operator: its glyph record, then its data runs.
    std::size_t next = 1;
    if (row.glyph != kNone) {
      ASSERT_GT(r.items.size(), next);
      EXPECT_EQ(r.items[next].kind, PdlItem::Glyph);
      EXPECT_EQ(r.items[next].length, row.glyph == kBitmap ? 24u : 32u);
      ++next;
    }
    for (std::size_t n : row.data) {
      ASSERT_GT(r.items.size(), next);
      EXPECT_EQ(r.items[next].kind, PdlItem::Data);
      EXPECT_EQ(r.items[next].length, n);
      ++next;
    }
    EXPECT_EQ(r.items.size(), next);
  }
  EXPECT_EQ(seen.size(), PdlCatalogueSize()) << "every catalogue operator has a row";
}

TEST(PdlCatalogue, OpcodesFollowNamesAndLookUp) {
  for (std::size_t i = 0; i < PdlCatalogueSize(); ++i) {
    const PdlOperatorInfo& e = PdlCatalogue()[i];
    EXPECT_EQ(e.opcode, Pdl_Opcode(e.name));
    EXPECT_EQ(PdlFindOpcode(e.opcode), &e);
  }
  EXPECT_EQ(PdlFindOpcode(0x5A5A), nullptr);
  EXPECT_EQ(PdlFindOpcode(0x1B25), nullptr);
  EXPECT_EQ(PdlFindOpcode(0xFFFF), nullptr);
}
