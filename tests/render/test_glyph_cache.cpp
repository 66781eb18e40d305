// The model of the printer's glyph memory: placement at the top end of
// the least recently used block, eviction, merging of neighbours, and the
// probe answering exactly where the commit then places the glyph.
#include <gtest/gtest.h>

#include <vector>

#include "render/glyph_cache.h"

namespace {

using namespace morva::gfx;

struct Cache {
  GlyphCache* c = nullptr;
  explicit Cache(DWORD capacity) { EXPECT_EQ(CreateDownloadCache(&c, capacity), kCacheOk); }
  ~Cache() { DestroyDownloadCache(c); }
  // Probes, then commits; both must agree.
  LONG place(WORD code, DWORD bytes) {
    DWORD probed = 0, placed = 0, flag = 7;
    if (AllocateDownloadCache(c, code, 1, kGlyphKindOutline, &probed, &flag, bytes, 0) != kCacheOk) return -1;
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(AllocateDownloadCache(c, code, 1, kGlyphKindOutline, &placed, &flag, bytes, 1), kCacheOk);
    EXPECT_EQ(probed, placed);
    return static_cast<LONG>(placed);
  }
  LONG find(WORD code) {
    DWORD at = 0;
    return LookupDownloadCache(c, code, 1, kGlyphKindOutline, &at) == kCacheOk ? static_cast<LONG>(at) : -1;
  }
  // The blocks still tile 0 .. capacity.
  void expect_tiled() {
    std::vector<bool> seen(c->capacity / 64, false);
    for (const GlyphBlock& b : c->blocks)
      for (DWORD u = b.address / 64; u < (b.address + b.size) / 64; ++u) {
        ASSERT_LT(u, seen.size());
        EXPECT_FALSE(seen[u]) << "unit " << u << " twice";
        seen[u] = true;
      }
    for (bool s : seen) EXPECT_TRUE(s);
  }
};

TEST(GlyphCache, GlyphsTakeTheTopEndOfTheLeastRecentlyUsedBlock) {
  Cache k(1000);  // 960 in whole units
  EXPECT_EQ(k.c->capacity, 960u);
  EXPECT_EQ(k.place(1, 960), -1);  // never fits
  EXPECT_EQ(k.place(2, 100), 832);  // 128 bytes at the top
  k.expect_tiled();
}

TEST(GlyphCache, TheLeastRecentlyUsedGlyphIsEvictedFirst) {
  Cache k(256);
  EXPECT_EQ(k.place('a', 128), 128);
  EXPECT_EQ(k.place('b', 128), 0);
  EXPECT_EQ(k.place('c', 128), 128);  // evicts a
  EXPECT_EQ(k.find('a'), -1);
  EXPECT_EQ(k.find('b'), 0);  // b is now the most recent
  EXPECT_EQ(k.place('d', 100), 128);  // evicts c, not b
  EXPECT_EQ(k.find('b'), 0);
  EXPECT_EQ(k.find('c'), -1);
  k.expect_tiled();
}

TEST(GlyphCache, NeighbouringBlocksMergeForALargerGlyph) {
  Cache k(256);
  EXPECT_EQ(k.place('a', 64), 192);
  EXPECT_EQ(k.place('b', 64), 128);
  EXPECT_EQ(k.place('c', 64), 64);
  EXPECT_EQ(k.place('d', 64), 0);
  // No block holds 192 bytes: the back block (a) merges with b and c.
  EXPECT_EQ(k.place('e', 150), 64);
  EXPECT_EQ(k.find('a'), -1);
  EXPECT_EQ(k.find('b'), -1);
  EXPECT_EQ(k.find('c'), -1);
  EXPECT_EQ(k.find('d'), 0);
  EXPECT_EQ(k.find('e'), 64);
  k.expect_tiled();
}

TEST(GlyphCache, AGlyphLargerThanTheFreeRunDoesNotFit) {
  Cache k(256);
  EXPECT_EQ(k.place('a', 150), 64);
  DWORD at = 0;
  EXPECT_EQ(LookupDownloadCache(k.c, 'x', 1, kGlyphKindOutline, &at), kCacheAbsent);
  EXPECT_EQ(k.place('b', 256), -1);
  EXPECT_EQ(LookupDownloadCache(nullptr, 'x', 1, kGlyphKindOutline, &at), kCacheNoCache);
  EXPECT_EQ(DestroyDownloadCache(nullptr), kCacheNoRoom);
}

TEST(GlyphCache, KindsAndFontsKeepGlyphsApart) {
  Cache k(1024);
  DWORD a = 0, b = 0, flag = 0;
  ASSERT_EQ(AllocateDownloadCache(k.c, 'a', 1, kGlyphKindBitmap, &a, &flag, 64, 1), kCacheOk);
  ASSERT_EQ(AllocateDownloadCache(k.c, 'a', 2, kGlyphKindBitmap, &b, &flag, 64, 1), kCacheOk);
  EXPECT_NE(a, b);
  DWORD at = 0;
  EXPECT_EQ(LookupDownloadCache(k.c, 'a', 1, kGlyphKindOutline, &at), kCacheAbsent);
  ASSERT_EQ(LookupDownloadCache(k.c, 'a', 2, kGlyphKindBitmap, &at), kCacheOk);
  EXPECT_EQ(at, b);
}

}  // namespace
