#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "pdl_decode.h"
#include "render/pdl_operators.h"

using namespace morva::render;
using morva::tools::DecodeOperators;
using morva::tools::PdlDecodeResult;
using morva::tools::PdlItem;

namespace {

std::vector<BYTE> Bytes(const MemorySink& s) { return {s.data(), s.data() + s.size()}; }

PdlDecodeResult Decode(const MemorySink& s) {
  PdlDecodeResult r = DecodeOperators(s.data(), s.size());
  EXPECT_TRUE(r.ok) << r.error << " at " << r.error_offset;
  return r;
}

std::vector<std::string> Names(const PdlDecodeResult& r) {
  std::vector<std::string> names;
  for (const PdlItem& it : r.items)
    if (it.kind == PdlItem::Operator) names.push_back(it.text);
  return names;
}

}  // namespace

TEST(PdlOperators, ClipRectBytes) {
  MemorySink s;
  ASSERT_EQ(Pdl_OpClipRect(&s, {10, 20, 30, 40}), 0);
  EXPECT_EQ(Bytes(s), (std::vector<BYTE>{0x41, 0x42, 0x00, 0x0A, 0x00, 0x14, 0x00, 0x1E, 0x00, 0x28}));
}

TEST(PdlOperators, RelativeLinesBytes) {
  MemorySink s;
  const PdlPoint pts[] = {{110, 100}, {111, 99}};
  ASSERT_EQ(Pdl_OpLineToRelative(&s, {100, 100}, 2, pts), 0);
  EXPECT_EQ(Bytes(s), (std::vector<BYTE>{0x42, 0x30, 0x00, 0x02, 0x0A, 0x00, 0x01, 0x41}));
}

TEST(PdlOperators, TextPicksWordOrRealForm) {
  const WORD codes[] = {0x41, 0x42, 0x43};
  struct Case {
    int position_kind;
    PdlPoint pos;
    int advance_kind;
    std::vector<float> advances;
    const char* op;
  };
  const Case cases[] = {
      {1, {100, 200}, 1, {10.0f, 12.5f}, "Dd"},
      {1, {100, 200}, 1, {10.0f, 12.0f}, "DD"},
      {1, {100, 200}, 0, {10.5f}, "Dc"},
      {1, {100, 200}, 0, {10.0f}, "DC"},
      {0, {0, 0}, 0, {7.0f}, "BX"},
      {0, {0, 0}, 1, {7.0f, 8.0f}, "BY"},
      // A position outside the word range goes out as reals instead of wrapping.
      {1, {40000, 200}, 0, {10.0f}, "Dc"},
      {1, {100, -40000}, 1, {10.0f, 12.0f}, "Dd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    MemorySink s;
    ASSERT_EQ(Pdl_OpText(&s, c.position_kind, c.pos, 3, codes, c.advance_kind, c.advances.size(),
                         c.advances.data()),
              0);
    PdlDecodeResult r = Decode(s);
    ASSERT_EQ(Names(r), std::vector<std::string>{c.op});
  }
  // A long run with word advances: every advance goes out as a word.
  std::vector<WORD> many(100, 0x41);
  std::vector<float> gaps(99, 10.0f);
  MemorySink long_run;
  ASSERT_EQ(Pdl_OpText(&long_run, 1, {5, 6}, many.size(), many.data(), 1, gaps.size(), gaps.data()), 0);
  PdlDecodeResult lr = Decode(long_run);
  ASSERT_EQ(Names(lr), std::vector<std::string>{"DD"});
  EXPECT_EQ(lr.items[0].operands.size(), 2u + 1u + 1u + 99u + 1u + 100u);
  EXPECT_EQ(lr.items[0].operands[4 + 98].i, 10);

  // Without a position there is no real form: a fraction is truncated, a
  // whole advance beyond a word is refused.
  MemorySink s;
  const float huge = 70000.0f;
  EXPECT_EQ(Pdl_OpText(&s, 0, {0, 0}, 3, codes, 0, 1, &huge), -1);
  EXPECT_EQ(s.size(), 0u);
}

TEST(PdlOperators, CommentIsCutTo255Bytes) {
  std::string text(300, 'x');
  MemorySink s;
  ASSERT_EQ(Pdl_OpComment(&s, text.c_str(), 0), 0);
  ASSERT_EQ(s.size(), 2u + 1u + 255u);
  EXPECT_EQ(s.data()[2], 255);
  MemorySink t;
  ASSERT_EQ(Pdl_OpComment(&t, "EndJob", 0), 0);
  EXPECT_EQ(t.size(), 2u + 1u + 6u);
  EXPECT_EQ(std::memcmp(t.data() + 3, "EndJob", 6), 0);
}

TEST(PdlOperators, PageBeginSizeInWholeTenths) {
  MemorySink s;
  const float size[] = {210.04f, 296.96f};
  ASSERT_EQ(Pdl_OpBeginPage(&s, 2, 7, 0x51, size), 0);
  PdlDecodeResult r = Decode(s);
  ASSERT_EQ(r.items[0].operands.size(), 5u);
  EXPECT_FLOAT_EQ(r.items[0].operands[3].f, 210.0f);
  EXPECT_FLOAT_EQ(r.items[0].operands[4].f, 297.0f);
  MemorySink t;
  ASSERT_EQ(Pdl_OpBeginPage(&t, 1, 1, 5, nullptr), 0);
  EXPECT_EQ(Bytes(t), (std::vector<BYTE>{0x45, 0x63, 1, 1, 5}));
}

// Arguments an operator cannot carry are refused before any byte is
// written, so the stream stays readable.
TEST(PdlOperators, RefusedArgumentsWriteNothing) {
  const BYTE bits[4] = {};
  std::vector<WORD> many_codes(32768, 0x41);
  const LONG lengths[256] = {};
  std::string long_text(65536, 'a');
  struct Case {
    const char* what;
    std::function<int(PdlSink*)> write;
  };
  const Case cases[] = {
      {"orientation 0", [](PdlSink* s) { return Pdl_OpOrientation(s, 0); }},
      {"orientation 5", [](PdlSink* s) { return Pdl_OpOrientation(s, 5); }},
      {"colour space 5", [](PdlSink* s) { return Pdl_OpSetColour(s, 1, 5, 0); }},
      {"hatch space 0", [](PdlSink* s) { return Pdl_OpHatchBrushReal(s, 0, 0, 1, 0, 0, 2); }},
      {"background space 2", [](PdlSink* s) { return Pdl_OpBrushBackground(s, 2, 1, 2, 0); }},
      {"page 0x51 without size", [](PdlSink* s) { return Pdl_OpBeginPage(s, 1, 1, 0x51, nullptr); }},
      {"miter 200", [](PdlSink* s) { return Pdl_OpMiterLimit(s, 200); }},
      {"256 dashes", [&](PdlSink* s) { return Pdl_OpDash(s, 6, 0, 256, lengths); }},
      {"mask 70000 wide", [&](PdlSink* s) { return Pdl_OpMaskBrush(s, 0, 0, 1, 3, 0, 70000, 1, bits); }},
      {"32768 codes", [&](PdlSink* s) { return Pdl_OpTextAt(s, 0, 0, 10, many_codes.size(), many_codes.data()); }},
      {"store name 65536", [&](PdlSink* s) { return Pdl_OpStoreName(s, long_text.data(), long_text.size()); }},
      {"annotation 65536", [&](PdlSink* s) { return Pdl_OpAnnotation(s, long_text.data(), long_text.size()); }},
      {"short address 0x400000", [](PdlSink* s) { return Pdl_OpDownloadGlyphShort(s, 0x400000); }},
      {"short address not in 64-byte units", [](PdlSink* s) { return Pdl_OpDrawGlyphShort(s, 0, 0, 100); }},
      {"inline array 2 x 32768", [&](PdlSink* s) {
         std::vector<LONG> v(32768);
         return Pdl_OpInlineGlyphArray(s, 0, 0, 3, v.size(), v.data(), v.data(), 0);
       }},
      {"step beyond 32 bits", [](PdlSink* s) {
         const PdlPoint pts[] = {{5, 5}, {-6, 7}, {INT32_MAX, 7}, {8, 9}};
         return Pdl_OpLineToRelative(s, {-2, 0}, 4, pts);
       }},
      {"image 65536 high", [](PdlSink* s) {
         PdlImageHeader h{};
         h.width = 10;
         h.height = 65536;
         h.mask_kind = 1;
         h.source_kind = 1;
         return Pdl_OpImage(s, h);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySink s;
    EXPECT_EQ(c.write(&s), -1);
    EXPECT_EQ(s.size(), 0u);
    // The same into a buffer with room, where operators are built in place.
    MemorySink roomy;
    ASSERT_EQ(Pdl_PutByte(&roomy, 0x55), 0);
    EXPECT_EQ(c.write(&roomy), -1);
    EXPECT_EQ(roomy.size(), 1u);
  }
}

// Point lists longer than a word count are split into operators of the
// same kind that continue one another.
TEST(PdlOperators, LongPointListsAreSplit) {
  const std::size_t n = 70000;
  std::vector<PdlPoint> pts(n);
  for (std::size_t i = 0; i < n; ++i) pts[i] = {static_cast<LONG>(i % 1000), static_cast<LONG>(i / 1000)};

  MemorySink s;
  ASSERT_EQ(Pdl_OpLineTo(&s, n, pts.data()), 0);
  ASSERT_EQ(Pdl_OpLineToRelative(&s, {0, 0}, n, pts.data()), 0);
  ASSERT_EQ(Pdl_OpCurveTo(&s, n / 3, pts.data()), 0);
  PdlDecodeResult r = Decode(s);
  ASSERT_EQ(Names(r), (std::vector<std::string>{"BP", "BP", "B0", "B0", "BU", "BU"}));
  EXPECT_EQ(r.items[0].operands[0].i, 65535);
  EXPECT_EQ(r.items[1].operands[0].i, static_cast<std::int64_t>(n - 65535));
  EXPECT_EQ(r.items[4].operands[0].i, 21845);
  EXPECT_EQ(r.items[5].operands[0].i, static_cast<std::int64_t>(n / 3 - 21845));

  // The relative steps of the second B0 start from the last point of the first.
  PdlPoint at{0, 0};
  for (int k : {2, 3}) {
    const auto& ops = r.items[static_cast<std::size_t>(k)].operands;
    for (std::size_t i = 1; i < ops.size(); i += 2) {
      at.x += static_cast<LONG>(ops[i].i);
      at.y += static_cast<LONG>(ops[i + 1].i);
    }
  }
  EXPECT_EQ(at.x, pts[n - 1].x);
  EXPECT_EQ(at.y, pts[n - 1].y);
  // The last point of the second BP is the last point of the list.
  const auto& last = r.items[1].operands;
  EXPECT_EQ(last[last.size() - 2].i, pts[n - 1].x);
  EXPECT_EQ(last[last.size() - 1].i, pts[n - 1].y);
}

// The real forms of the inline glyph operators have opcodes of their own,
// so a reader can tell them from the word forms.
TEST(PdlOperators, InlineGlyphRealFormsHaveOwnOpcodes) {
  MemorySink s;
  ASSERT_EQ(Pdl_OpInlineGlyphReal(&s, 40000.0f, 5.0f, 2, 3.0f, 7), 0);
  EXPECT_EQ(s.data()[0], 'D');
  EXPECT_EQ(s.data()[1], 'e');
  MemorySink t;
  const float a[] = {1, 2};
  ASSERT_EQ(Pdl_OpInlineGlyphArrayReal(&t, 40000.0f, 5.0f, 1, 2, a, nullptr, 7), 0);
  EXPECT_EQ(t.data()[1], 'f');
}

TEST(PdlOperators, FailingSinkFailsTheWriter) {
  MemorySink s;
  s.FailAbove(5);
  EXPECT_EQ(Pdl_OpClipRect(&s, {1, 2, 3, 4}), -1);
  EXPECT_LE(s.size(), 5u);
  MemorySink t;
  t.FailAbove(0);
  const WORD codes[] = {1, 2};
  EXPECT_EQ(Pdl_OpTextAt(&t, 0, 0, 1, 2, codes), -1);
  EXPECT_EQ(Pdl_OpResetClip(&t), -1);
}

TEST(PdlOperators, DuplexPairs) {
  BYTE a = 9, b = 9;
  ASSERT_TRUE(Pdl_DuplexToFH(1, &a, &b));
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 2);
  ASSERT_TRUE(Pdl_DuplexToFH(3, &a, &b));
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);
  EXPECT_FALSE(Pdl_DuplexToFH(4, &a, &b));
  EXPECT_FALSE(Pdl_DuplexToFH(0, &a, &b));
}

namespace {

// A sink that offers its storage in windows of a few bytes, so that every
// operator meets a full buffer somewhere in the middle.
class NarrowSink final : public PdlSink {
 public:
  explicit NarrowSink(std::size_t window) : window_(window) { Open(); }
  const std::vector<BYTE>& bytes() {
    Close();
    Open();
    return bytes_;
  }

 protected:
  long Overflow(const BYTE* data, std::size_t n) override {
    Close();
    bytes_.insert(bytes_.end(), data, data + n);
    Open();
    return static_cast<long>(n);
  }

 private:
  void Open() {
    cur_ = window_buf_;
    end_ = window_buf_ + window_;
  }
  void Close() { bytes_.insert(bytes_.end(), window_buf_, cur_); }

  std::size_t window_;
  BYTE window_buf_[512];
  std::vector<BYTE> bytes_;
};

// A page that calls every operator writer: word and real forms, relative
// steps of every length up to the 32-bit edges, text, glyphs, images and
// point lists long enough to be split.
void WriteMixedPage(PdlSink* s) {
  const float size[2] = {210.0f, 297.0f};
  const float m6[6] = {1.5f, -0.25f, 0.0f, 2.0f, 100.25f, -7.0f};
  const float r4[4] = {1.0f, 2.5f, 300.0f, 400.75f};
  const WORD codes[] = {0x48, 0x65, 0x6C, 0x6C, 0x6F, 0x20, 0x3042, 0xFFFF};
  const LONG dashes[] = {5, -3, 40000, 0};
  const float dashes_f[] = {5.5f, 3.0f};
  const LONG adv[] = {10, 12, -4, 32767, -32768, 7, 9};
  const float adv_f[] = {10.5f, 12.0f, 3.25f, 7.0f, 1.0f, 2.0f, 3.0f};
  const BYTE bits[] = {0xAA, 0x55, 0xF0, 0x0F, 0x81, 0x42};
  const BYTE palette[] = {0, 0, 0, 255, 255, 255, 128, 64, 32};
  const char text[] = "Quarterly report, page 1";
  Pdl_OpFlagsFF(s, 1);
  Pdl_OpJobMode(s, 2);
  Pdl_OpFlagAI(s, 1);
  Pdl_OpBeginPage(s, 1, 7, 0x51, size);
  Pdl_OpBeginPage(s, 2, 1, 0x04, nullptr);
  Pdl_OpPageDuplex(s, 1, 2);
  Pdl_OpCellsRotated(s, 1);
  Pdl_OpSetValue(s, 3, 0xBEEF);
  for (int t = 1; t <= 4; ++t) Pdl_OpOrientation(s, t);
  Pdl_OpMatrix(s, m6);
  Pdl_OpResetClip(s);
  Pdl_OpClipRect(s, {-5, 10, 70000, -70000});
  Pdl_OpClipRectReal(s, r4);
  Pdl_OpClipToPath(s);
  Pdl_OpLineWidth(s, 3);
  Pdl_OpLineWidth(s, -100000);
  Pdl_OpLineWidthReal(s, 0.35f);
  Pdl_OpLineCap(s, 2);
  Pdl_OpLineJoin(s, 1);
  Pdl_OpMiterLimit(s, -128);
  Pdl_OpMiterLimitReal(s, 10.0f);
  Pdl_OpDash(s, 6, 7, 4, dashes);
  Pdl_OpDash(s, 1, 0, 0, nullptr);
  Pdl_OpDashReal(s, 6, 0.5f, 2, dashes_f);
  Pdl_OpFillRule(s, 2);
  Pdl_OpPaintMode(s, 1);
  Pdl_OpRasterOp(s, 1, 0xCC0020);
  Pdl_OpSetColour(s, 1, kPdlSpaceRgb, 0x102030);
  Pdl_OpSetColour(s, 2, kPdlSpaceGrey, 0x7F);
  Pdl_OpHatchBrush(s, 4, -8, 1, kPdlSpaceRgb, 0xFF8000, 3);
  Pdl_OpHatchBrushReal(s, 4.5f, -8.0f, 1, kPdlSpaceGrey, 0x40, 5);
  Pdl_OpMaskBrush(s, 1, 2, 1, kPdlSpaceRgb, 0x010203, 12, 3, bits);
  Pdl_OpMaskBrushReal(s, 1.5f, 2.0f, 2, kPdlSpaceRgb, 0xA0B0C0, 8, 2, bits);
  Pdl_OpPatternBrush(s, 0, 0, 1, kPdlSpaceGrey, 8, 3, 2, 1, sizeof bits, bits);
  Pdl_OpBrushBackground(s, 1, 2, kPdlSpaceRgb, 0xFFFFFF);
  Pdl_OpPalette(s, 4, 8, 3, sizeof palette, palette);
  Pdl_OpNewPath(s);
  Pdl_OpMoveTo(s, 100, -200);
  Pdl_OpMoveTo(s, 1 << 20, -(1 << 27));
  Pdl_OpMoveToReal(s, 1.25f, 2.5f);
  // Relative steps across every length of the variable-length number.
  std::vector<PdlPoint> pts;
  PdlPoint at{0, 0};
  const LONG steps[] = {0, 1, -1, 63, -63, 64, -64, 8191, -8192, 8192, (1 << 20) - 1, -(1 << 20), 1 << 20,
                        (1 << 27) - 1, -(1 << 27), 1 << 27, 0x7FFFFFFF - (1 << 27), 5, -77, 300};
  for (LONG d : steps) {
    at = {static_cast<LONG>(static_cast<std::int64_t>(at.x) + d), static_cast<LONG>(static_cast<std::int64_t>(at.y) - d / 2)};
    pts.push_back(at);
  }
  Pdl_OpLineToRelative(s, {0, 0}, pts.size(), pts.data());
  const PdlPoint edges[] = {{INT32_MAX, INT32_MIN}, {0, 0}, {INT32_MIN, INT32_MAX}};
  Pdl_OpLineToRelative(s, {INT32_MIN / 2, INT32_MAX / 2 + 1}, 3, edges);
  Pdl_OpLineToRelative(s, {0, 0}, 0, nullptr);
  // Long lists, split into several operators.
  std::vector<PdlPoint> many(70000);
  std::vector<PdlPointF> many_f(70000);
  for (std::size_t i = 0; i < many.size(); ++i) {
    many[i] = {static_cast<LONG>((i * 37) % 20011) - 10000, static_cast<LONG>((i * i) % 9973)};
    many_f[i] = {static_cast<float>(many[i].x) / 4.0f, static_cast<float>(many[i].y) * 1.5f};
  }
  Pdl_OpLineToRelative(s, {3, 4}, many.size(), many.data());
  Pdl_OpLineTo(s, many.size(), many.data());
  Pdl_OpLineToReal(s, 300, many_f.data());
  Pdl_OpCurveTo(s, many.size() / 3, many.data());
  Pdl_OpCurveToReal(s, 100, many_f.data());
  Pdl_OpCloseSubpath(s);
  Pdl_OpPaintPath(s);
  Pdl_OpRectangle(s, {1, 2, 300, 400});
  Pdl_OpRectangle(s, {-70000, 2, 300, 1 << 30});
  Pdl_OpRectangleReal(s, r4);
  Pdl_OpEllipse(s, m6);
  PdlImageHeader h{};
  h.x = 500.0f;
  h.y = 600.5f;
  h.matrix[0] = h.matrix[3] = 0.5f;
  h.width = 64;
  h.height = 48;
  h.mask_kind = 2;
  h.mask_bytes = 384;
  h.source_kind = 2;
  h.format = 10;
  h.entry_bits = 8;
  h.entries = 3;
  h.palette_bytes = sizeof palette;
  h.palette = palette;
  h.bits_per_component = 8;
  h.method = 8;
  h.data_bytes = 1234;
  Pdl_OpImage(s, h);
  h.mask_kind = 1;
  h.format = 4;
  h.method = 4;
  Pdl_OpImage(s, h);
  Pdl_PutBytes(s, bits, sizeof bits);
  Pdl_OpStencil(s, 1.0f, 2.0f, 16, 8, 1, m6, 16);
  Pdl_OpSelectFont(s, 0x0231);
  Pdl_OpTextMatrix(s, m6);
  Pdl_OpTextAt(s, 300, -400, 25, std::size(codes), codes);
  Pdl_OpTextAtReal(s, 300.5f, 400.0f, 25.25f, std::size(codes), codes);
  Pdl_OpTextAtAdvances(s, 1, 2, std::size(adv), adv, std::size(codes), codes);
  Pdl_OpTextAtAdvancesReal(s, 1.0f, 2.0f, std::size(adv_f), adv_f, std::size(codes), codes);
  Pdl_OpTextHere(s, -9, std::size(codes), codes);
  Pdl_OpTextHereAdvances(s, std::size(adv), adv, std::size(codes), codes);
  Pdl_OpText(s, 1, {40000, 5}, std::size(codes), codes, 1, std::size(adv_f), adv_f);
  std::vector<WORD> long_text(200);
  for (std::size_t i = 0; i < long_text.size(); ++i) long_text[i] = static_cast<WORD>(0x20 + i * 131);
  Pdl_OpTextAt(s, 0, 0, 1, long_text.size(), long_text.data());
  Pdl_OpDownloadGlyph(s, 0x123456);
  Pdl_OpDownloadGlyphShort(s, 64 * 1000);
  Pdl_OpDrawGlyph(s, -3, 4, 0xABCDEF);
  Pdl_OpDrawGlyphShort(s, 300, 400, 64 * 77);
  Pdl_OpDrawGlyphReal(s, 3.5f, 4.0f, 99);
  Pdl_OpDrawGlyphShortReal(s, 3.5f, 4.0f, 640);
  for (BYTE flags = 0; flags < 4; ++flags) {
    Pdl_OpInlineGlyph(s, 5, 6, flags, -300, 0x4142);
    Pdl_OpInlineGlyphReal(s, 5.5f, 6.0f, flags, 2.5f, 0x4142);
    Pdl_OpInlineGlyphArray(s, 5, 6, flags, 4, adv, adv + 3, 0x44);
    Pdl_OpInlineGlyphArrayReal(s, 5.0f, 6.0f, flags, 4, adv_f, adv_f + 3, 0x44);
  }
  for (int type = 0; type <= 14; ++type) {
    const DWORD value[2] = {0x01020304, 0x05060708};
    Pdl_PutTypedValue(s, type, value, 5);
    Pdl_PutTypedValueAlt(s, type, value, 3);
  }
  Pdl_OpStoreName(s, text, sizeof text - 1);
  Pdl_OpTextWithMatrix(s, text, 9, m6, 2, 0x51, 2100.0f, 2970.0f);
  Pdl_OpTextWithMatrix(s, text, 4, m6, 1, 0, 0.0f, 0.0f);
  Pdl_OpAnnotation(s, text, sizeof text - 1);
  Pdl_OpComment(s, "\"[2026,12,10,14:00:00][document][port][12ms]StartPage\"", 0);
  Pdl_OpStorePageEnd(s);
  Pdl_OpEndPage(s);
  Pdl_OpSheetEnd(s);
  Pdl_OpSheetChange(s);
  Pdl_OpSheetEndValue(s, 3);
  Pdl_OpJobEnd(s);
}

std::uint64_t Fnv1a(const std::vector<BYTE>& b) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (BYTE c : b) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

}  // namespace

// The bytes of a page that uses every writer are pinned: a faster encoder
// must produce the same stream, whatever room the sink offers.
TEST(PdlOperators, MixedPageBytesArePinned) {
  MemorySink s;
  WriteMixedPage(&s);
  const std::vector<BYTE> page = Bytes(s);
  EXPECT_EQ(page.size(), 778389u);
  EXPECT_EQ(Fnv1a(page), 15435026671324230203ull);
  for (std::size_t window : {1, 7, 255, 256, 300, 512}) {
    SCOPED_TRACE(window);
    NarrowSink narrow(window);
    WriteMixedPage(&narrow);
    EXPECT_TRUE(narrow.bytes() == page);
  }
}
