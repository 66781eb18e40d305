// The GDI engine's objects and services as a driver sees them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "temp_root.h"
#include "win/ddi_engine.h"
#include "win/memory.h"

namespace {

namespace engine = morva::platform::engine;

POINTFIX fx(LONG x, LONG y) { return {x * 16, y * 16}; }

struct Record {
  FLONG flags;
  std::vector<POINTFIX> points;
};

std::vector<Record> enumerate(PATHOBJ* path) {
  std::vector<Record> records;
  PATHOBJ_vEnumStart(path);
  PATHDATA data;
  BOOL more;
  do {
    more = PATHOBJ_bEnum(path, &data);
    if (data.count) records.push_back({data.flags, {data.pptfx, data.pptfx + data.count}});
  } while (more);
  return records;
}

TEST(GdiEngine, LongFiguresComeInSeveralRecords) {
  // One closed figure: a move, 7 lines, 3 Bezier curves, 2 lines; then an
  // open figure of one line.
  PATHOBJ* path = EngCreatePath();
  PATHOBJ_bMoveTo(path, fx(0, 0));
  std::vector<POINTFIX> lines, curves, tail;
  for (LONG i = 1; i <= 7; ++i) lines.push_back(fx(i, i));
  for (LONG i = 0; i < 9; ++i) curves.push_back(fx(10 + i, 20 - i));
  tail = {fx(30, 30), fx(0, 30)};
  ASSERT_TRUE(PATHOBJ_bPolyLineTo(path, lines.data(), 7));
  ASSERT_TRUE(PATHOBJ_bPolyBezierTo(path, curves.data(), 9));
  EXPECT_FALSE(PATHOBJ_bPolyBezierTo(path, curves.data(), 4));  // not whole curves
  ASSERT_TRUE(PATHOBJ_bPolyLineTo(path, tail.data(), 2));
  PATHOBJ_bCloseFigure(path);
  PATHOBJ_bMoveTo(path, fx(50, 50));
  POINTFIX end = fx(60, 50);
  PATHOBJ_bPolyLineTo(path, &end, 1);
  EXPECT_EQ(path->fl, PO_BEZIERS | PO_ALL_INTEGERS);
  EXPECT_EQ(path->cCurves, 7u + 3u + 2u + 1u);

  struct Case {
    ULONG limit;
    std::vector<std::pair<FLONG, ULONG>> records;  // flags, count
  } cases[] = {
      {64,
       {{PD_BEGINSUBPATH | PD_RESETSTYLE, 8}, {PD_BEZIERS, 9}, {PD_ENDSUBPATH | PD_CLOSEFIGURE, 2},
        {PD_BEGINSUBPATH | PD_RESETSTYLE | PD_ENDSUBPATH, 2}}},
      {4,
       {{PD_BEGINSUBPATH | PD_RESETSTYLE, 5}, {0, 3}, {PD_BEZIERS, 3}, {PD_BEZIERS, 3}, {PD_BEZIERS, 3},
        {PD_ENDSUBPATH | PD_CLOSEFIGURE, 2}, {PD_BEGINSUBPATH | PD_RESETSTYLE | PD_ENDSUBPATH, 2}}},
      {7,
       {{PD_BEGINSUBPATH | PD_RESETSTYLE, 8}, {PD_BEZIERS, 6}, {PD_BEZIERS, 3}, {PD_ENDSUBPATH | PD_CLOSEFIGURE, 2},
        {PD_BEGINSUBPATH | PD_RESETSTYLE | PD_ENDSUBPATH, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    engine::set_path_batch_limit(path, c.limit);
    auto records = enumerate(path);
    ASSERT_EQ(records.size(), c.records.size());
    std::vector<POINTFIX> first_figure;
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].flags, c.records[i].first) << i;
      EXPECT_EQ(records[i].points.size(), c.records[i].second) << i;
      if (i + 1 < records.size())
        first_figure.insert(first_figure.end(), records[i].points.begin(), records[i].points.end());
    }
    // The records of the first figure hold its points in order.
    ASSERT_EQ(first_figure.size(), 1u + 7 + 9 + 2);
    EXPECT_EQ(first_figure[8].x, curves[0].x);
    EXPECT_EQ(first_figure.back().y, tail.back().y);
  }
  RECTFX bounds;
  PATHOBJ_vGetBounds(path, &bounds);
  EXPECT_EQ(bounds.xLeft, 0);
  EXPECT_EQ(bounds.xRight, 60 * 16);
  EXPECT_EQ(bounds.yBottom, 50 * 16);
  EngDeletePath(path);
}

std::vector<RECTL> enum_rects(CLIPOBJ* clip, ULONG direction, ULONG room) {
  std::vector<RECTL> out;
  CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, direction, 0);
  std::vector<ULONG> buffer(1 + room * 4);
  BOOL more;
  do {
    more = CLIPOBJ_bEnum(clip, static_cast<ULONG>(buffer.size() * 4), buffer.data());
    auto* rects = reinterpret_cast<ENUMRECTS*>(buffer.data());
    out.insert(out.end(), rects->arcl, rects->arcl + rects->c);
  } while (more);
  return out;
}

LONG area(const std::vector<RECTL>& rects) {
  LONG a = 0;
  for (const RECTL& r : rects) a += (r.right - r.left) * (r.bottom - r.top);
  return a;
}

TEST(GdiEngine, ClipsAreDisjointRectangles) {
  // Two overlapping rectangles: an L of bands without overlap.
  CLIPOBJ* clip = engine::create_clip_rects({{0, 0, 10, 10}, {5, 5, 20, 15}});
  EXPECT_EQ(clip->iDComplexity, DC_COMPLEX);
  EXPECT_EQ(clip->rclBounds.right, 20);
  EXPECT_EQ(clip->rclBounds.bottom, 15);
  auto down = enum_rects(clip, CD_RIGHTDOWN, 1);
  EXPECT_EQ(area(down), 100 + 150 - 25);
  ASSERT_EQ(down.size(), 3u);
  EXPECT_EQ(down[0].bottom, 5);
  auto up = enum_rects(clip, CD_LEFTUP, 2);
  EXPECT_EQ(up.front().top, 10);  // the bottom band first
  // The clip as a path: one closed rectangle per band.
  PATHOBJ* outline = CLIPOBJ_ppoGetPath(clip);
  auto records = enumerate(outline);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].flags, PD_BEGINSUBPATH | PD_RESETSTYLE | PD_ENDSUBPATH | PD_CLOSEFIGURE);
  EXPECT_EQ(records[0].points.size(), 4u);
  EngDeletePath(outline);
  engine::delete_clip(clip);

  CLIPOBJ* one = engine::create_clip_rects({{3, 4, 8, 9}, {3, 4, 5, 5}});
  EXPECT_EQ(one->iDComplexity, DC_RECT);
  EXPECT_EQ(one->rclBounds.left, 3);
  engine::delete_clip(one);
}

TEST(GdiEngine, PathClipsFollowTheFillMode) {
  // Two squares drawn the same way round, overlapping in a 10 x 10 square.
  PATHOBJ* path = EngCreatePath();
  for (LONG o : {0, 10}) {
    PATHOBJ_bMoveTo(path, fx(o, o));
    POINTFIX pts[3] = {fx(o + 20, o), fx(o + 20, o + 20), fx(o, o + 20)};
    PATHOBJ_bPolyLineTo(path, pts, 3);
    PATHOBJ_bCloseFigure(path);
  }
  CLIPOBJ* winding = engine::create_clip_path(path, true);
  CLIPOBJ* alternate = engine::create_clip_path(path, false);
  EXPECT_EQ(area(engine::clip_rects(winding)), 400 + 400 - 100);
  EXPECT_EQ(area(engine::clip_rects(alternate)), 400 + 400 - 200);
  EXPECT_EQ(winding->iDComplexity, DC_COMPLEX);
  engine::delete_clip(winding);
  engine::delete_clip(alternate);
  EngDeletePath(path);
}

TEST(GdiEngine, GlyphSetOfACodePage) {
  morva::test::TempRoot root;
  FD_GLYPHSET* set = EngComputeGlyphSet(0, 0, 256);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->flAccel, GS_8BIT_HANDLES);
  EXPECT_EQ(GlobalSize(set), set->cjThis);
  // The euro sign of code page 1252 is byte 0x80; runs ascend without gaps.
  bool euro = false;
  ULONG glyphs = 0;
  for (ULONG r = 0; r < set->cRuns; ++r) {
    const WCRUN& run = set->awcrun[r];
    glyphs += run.cGlyphs;
    if (r) {
      EXPECT_GT(run.wcLow, set->awcrun[r - 1].wcLow + set->awcrun[r - 1].cGlyphs - 1);
    }
    for (USHORT i = 0; i < run.cGlyphs; ++i) {
      if (run.wcLow + i == 0x20AC) euro = run.phg[i] == 0x80;
    }
  }
  EXPECT_TRUE(euro);
  EXPECT_EQ(glyphs, set->cGlyphsSupported);
  EXPECT_EQ(set->awcrun[0].wcLow, 0);
  EXPECT_EQ(set->awcrun[0].phg[0x41], 0x41u);
  EXPECT_EQ(GlobalFree(set), nullptr);
  EXPECT_EQ(EngComputeGlyphSet(0, 200, 100), nullptr);
}

HSURF bitmap(LONG cx, LONG cy, ULONG format, const std::vector<BYTE>& rows = {}) {
  HBITMAP bm = EngCreateBitmap({cx, cy}, 0, format, BMF_TOPDOWN, nullptr);
  SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(bm));
  if (!rows.empty()) std::memcpy(so->pvBits, rows.data(), std::min<size_t>(rows.size(), so->cjBits));
  return reinterpret_cast<HSURF>(bm);
}

ULONG pixel24(HSURF surface, LONG x, LONG y) {
  SURFOBJ* so = EngLockSurface(surface);
  const BYTE* p = static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta + 3 * x;
  return p[0] | (p[1] << 8) | (p[2] << 16);
}

TEST(GdiEngine, BitBltOnBitmaps) {
  // 4 x 2 1-bit source 1010 / 0101 with a two-colour table.
  HSURF src = bitmap(4, 2, BMF_1BPP, {0xA0, 0, 0, 0, 0x50, 0, 0, 0});
  HSURF mask = bitmap(4, 2, BMF_1BPP, {0xF0, 0, 0, 0, 0x00, 0, 0, 0});
  XLATEOBJ* xlate = engine::create_xlate_table({0x0000FF, 0xFF0000});
  BRUSHOBJ* green = engine::create_brush_solid(0x00FF00);
  struct Case {
    ROP4 rop;
    bool use_mask;
    ULONG top_left, top_second, bottom_left;
  } cases[] = {
      {0xCCCC, false, 0xFF0000, 0x0000FF, 0x0000FF},  // source copy through the table
      {0xF0F0, false, 0x00FF00, 0x00FF00, 0x00FF00},  // pattern copy
      {0x5555, false, 0x000000, 0x000000, 0x000000},  // invert white
      {0xAACC, true, 0xFF0000, 0x0000FF, 0xFFFFFF},   // source where the mask is set
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rop);
    HSURF dst = bitmap(4, 2, BMF_24BPP);
    RECTL all{0, 0, 4, 2};
    ASSERT_TRUE(EngEraseSurface(EngLockSurface(dst), &all, 0xFFFFFF));
    POINTL origin{0, 0};
    ASSERT_TRUE(EngBitBlt(EngLockSurface(dst), EngLockSurface(src), c.use_mask ? EngLockSurface(mask) : nullptr,
                          nullptr, xlate, &all, &origin, &origin, green, &origin, c.rop));
    EXPECT_EQ(pixel24(dst, 0, 0), c.top_left);
    EXPECT_EQ(pixel24(dst, 1, 0), c.top_second);
    EXPECT_EQ(pixel24(dst, 0, 1), c.bottom_left);
    EngDeleteSurface(dst);
  }
  // A complex clip leaves the pixels outside it.
  HSURF dst = bitmap(4, 2, BMF_24BPP);
  CLIPOBJ* clip = engine::create_clip_rects({{0, 0, 1, 1}, {3, 1, 4, 2}});
  RECTL all{0, 0, 4, 2};
  ASSERT_TRUE(EngBitBlt(EngLockSurface(dst), nullptr, nullptr, clip, nullptr, &all, nullptr, nullptr, green, nullptr,
                        0xF0F0));
  EXPECT_EQ(pixel24(dst, 0, 0), 0x00FF00u);
  EXPECT_EQ(pixel24(dst, 1, 0), 0u);
  EXPECT_EQ(pixel24(dst, 3, 1), 0x00FF00u);
  engine::delete_clip(clip);
  EngDeleteSurface(dst);
  engine::delete_brush(green);
  engine::delete_xlate(xlate);
  EngDeleteSurface(src);
  EngDeleteSurface(mask);
}

TEST(GdiEngine, TranslationsAndTransforms) {
  XLATEOBJ* rgb565 = engine::create_xlate_bitfields(0xF800, 0x07E0, 0x001F);
  EXPECT_EQ(XLATEOBJ_iXlate(rgb565, 0xFFFF), 0xFFFFFFu);
  EXPECT_EQ(XLATEOBJ_iXlate(rgb565, 0xF800), 0xFF0000u);
  EXPECT_EQ(XLATEOBJ_iXlate(rgb565, 0x0010), 0x000084u);
  EXPECT_EQ(XLATEOBJ_iXlate(nullptr, 0x123456), 0x123456u);
  engine::delete_xlate(rgb565);

  XFORMOBJ* xo = engine::create_xform({2, 0, 0, 3, 10, 20});
  XFORML m;
  EXPECT_EQ(XFORMOBJ_iGetXform(xo, &m), static_cast<ULONG>(GX_SCALE));
  POINTL in{5, 7}, out;
  ASSERT_TRUE(XFORMOBJ_bApplyXform(xo, XF_LTOL, 1, &in, &out));
  EXPECT_EQ(out.x, 20);
  EXPECT_EQ(out.y, 41);
  ASSERT_TRUE(XFORMOBJ_bApplyXform(xo, XF_LTOFX, 1, &in, &out));
  EXPECT_EQ(out.x, 20 * 16);
  POINTL device{20, 41}, back;
  ASSERT_TRUE(XFORMOBJ_bApplyXform(xo, XF_INV_LTOL, 1, &device, &back));
  EXPECT_EQ(back.x, 5);
  EXPECT_EQ(back.y, 7);
  engine::delete_xform(xo);
  XFORMOBJ* turn = engine::create_xform({0, -1, 1, 0, 0, 0});
  EXPECT_EQ(XFORMOBJ_iGetXform(turn, nullptr), static_cast<ULONG>(GX_GENERAL));
  engine::delete_xform(turn);
}

}  // namespace
