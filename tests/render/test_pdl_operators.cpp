#include <gtest/gtest.h>

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
