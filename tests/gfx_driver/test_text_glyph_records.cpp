// Glyph records as the text path lays them out: an outline record with the
// thin-line hint, the render plug-in's em box and the bounds figure of a
// simulated-bold glyph for older systems; a bitmap record whose bits the
// compression library codes. Each record is written into memory and read
// back value by value.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/glyph_records.h"
#include "render/pdl_sink.h"
#include "render/pdl_writer.h"
#include "win/ddi_engine.h"
#include "win/modules.h"

namespace {

using namespace morva::gfx;

// Reads the big-endian values of a record.
struct Reader {
  const BYTE* p;
  std::size_t at = 0;
  DWORD d() {
    DWORD v = (DWORD{p[at]} << 24) | (DWORD{p[at + 1]} << 16) | (DWORD{p[at + 2]} << 8) | p[at + 3];
    at += 4;
    return v;
  }
  WORD w() {
    WORD v = static_cast<WORD>((p[at] << 8) | p[at + 1]);
    at += 2;
    return v;
  }
  BYTE b() { return p[at++]; }
  float f() {
    DWORD bits = d();
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
  }
};

struct Written {
  morva::render::MemorySink sink;
  PdlWriter* w = PdlWriter_Create(&sink, 0x01010901, 1, 0);
  ~Written() { PdlWriter_Destroy(w); }
};

// A triangle of one closed figure: 3 points; start, 2 lines, close, end.
PATHOBJ* triangle() {
  PATHOBJ* path = EngCreatePath();
  PATHOBJ_bMoveTo(path, POINTFIX{16, -160});
  POINTFIX lines[2] = {{160, -160}, {96, -32}};
  PATHOBJ_bPolyLineTo(path, lines, 2);
  PATHOBJ_bCloseFigure(path);
  return path;
}

TEST(TextGlyphRecords, OutlineRecordsCarryTheirHintsAndBoxes) {
  struct Case {
    const char* name;
    OutlineOptions how;
    DWORD flags;  // header bits above the size
    WORD points, commands;
  } cases[] = {
      {"plain words", {}, 0, 3, 5},
      {"thin from 3 points", {false, 3, 0, false, false}, 0x1000000, 3, 5},
      {"thin from 4 points", {false, 4, 0, false, false}, 0, 3, 5},
      {"em box", {false, 0, 12.0f, true, false}, 0x200000, 5, 9},
      {"bold bounds", {false, 0, 12.0f, false, true}, 0x38000000, 5, 9},
  };
  for (const Case& c : cases) {
    PATHOBJ* path = triangle();
    GlyphRecord r;
    ASSERT_TRUE(OutlineGlyphFromPath(path, c.how, &r)) << c.name;
    EngDeletePath(path);
    Written out;
    ASSERT_EQ(WriteGlyphRecord(out.w, r), 0) << c.name;
    Reader in{out.sink.data()};
    const DWORD header = in.d();
    EXPECT_EQ(header & ~0x3FFFFu, c.flags) << c.name;
    const bool reals = header & 0x200000;
    const std::size_t size = header & 0x3FFFF;
    EXPECT_EQ(size, out.sink.size()) << c.name;  // the header counts every byte
    EXPECT_EQ(size, (c.points * (reals ? 8u : 4u) + (c.commands + 1u) / 2 + 11) & ~3u) << c.name;
    ASSERT_EQ(in.w(), c.points) << c.name;
    ASSERT_EQ(in.w(), c.commands) << c.name;
    std::vector<BYTE> commands;
    if (c.how.em_box) {
      for (int i = 0; i < 4; ++i) EXPECT_EQ(in.f(), 12.0f) << c.name;
      in.at += 3 * 8;  // the glyph's points
      EXPECT_EQ(in.b(), 0x15) << c.name;
      EXPECT_EQ(in.b(), 0x15) << c.name;
      EXPECT_EQ(in.b(), 0x12) << c.name;  // the glyph's own commands follow
      continue;
    }
    if (c.how.bold_bounds) {
      // The bounds figure comes first: (left, top) and the em height.
      EXPECT_EQ(static_cast<short>(in.w()), 16 * 4) << c.name;
      EXPECT_EQ(static_cast<short>(in.w()), -160 * 4) << c.name;
      EXPECT_EQ(static_cast<short>(in.w()), 12 * 16 * 4) << c.name;
      EXPECT_EQ(static_cast<short>(in.w()), 12 * 16 * 4) << c.name;
    }
    // The triangle's points, in 1/64 pixel.
    EXPECT_EQ(static_cast<short>(in.w()), 16 * 4) << c.name;
    EXPECT_EQ(static_cast<short>(in.w()), -160 * 4) << c.name;
    in.at += 2 * 4;
    for (std::size_t i = 0; i < (c.commands + 1u) / 2; ++i) commands.push_back(in.b());
    const std::vector<BYTE> triangle_codes = {0x12, 0x25, 0x60};
    const std::vector<BYTE> with_bounds = {0x15, 0x15, 0x12, 0x25, 0x60};
    EXPECT_EQ(commands, c.how.bold_bounds ? with_bounds : triangle_codes) << c.name;
    while (in.at < size) EXPECT_EQ(in.b(), 0x22) << c.name;  // padding
  }
}

TEST(TextGlyphRecords, GlyphBitmapsGoCodedWhenTheLibraryMakesThemSmaller) {
  using namespace morva::render;
  CompressPlugin* plugin = LoadCompressionPlugin(u"morva_test_qzcmp_full.dll");
  ASSERT_NE(plugin, nullptr);
  auto bitmap = [](std::vector<BYTE> bits) {
    GlyphRecord r;
    r.width = 16;
    r.height = static_cast<WORD>(bits.size() / 2);
    r.row_bytes = 2;
    r.bits = std::move(bits);
    r.size = BitmapGlyphSize(r.bits.size());
    return r;
  };
  // Solid rows code to two bytes (count, inverted byte); a pattern without
  // runs would grow, so its bits stay raw.
  GlyphRecord solid = bitmap(std::vector<BYTE>(32, 0xFF));
  ASSERT_TRUE(CompressGlyphBits(plugin, &solid));
  EXPECT_TRUE(solid.compressed);
  EXPECT_EQ(solid.bits, (std::vector<BYTE>{32, 0x00}));
  EXPECT_EQ(solid.size, BitmapGlyphSize(2));
  std::vector<BYTE> varied(32);
  for (std::size_t i = 0; i < varied.size(); ++i) varied[i] = static_cast<BYTE>(i);
  GlyphRecord raw = bitmap(varied);
  EXPECT_FALSE(CompressGlyphBits(plugin, &raw));
  EXPECT_FALSE(raw.compressed);
  EXPECT_EQ(raw.bits, varied);
  // Without a binding nothing changes.
  GlyphRecord unbound = bitmap(std::vector<BYTE>(32, 0xFF));
  EXPECT_FALSE(CompressGlyphBits(nullptr, &unbound));
  EXPECT_EQ(unbound.bits.size(), 32u);
  // A coded record says so in its header and is sized from the coded bytes.
  Written out;
  ASSERT_EQ(WriteGlyphRecord(out.w, solid), 0);
  Reader in{out.sink.data()};
  EXPECT_EQ(in.d(), 0x400000u | 0x2000000u | BitmapGlyphSize(2));
  EXPECT_EQ(out.sink.size(), BitmapGlyphSize(2));
  UnloadCompressionPlugin(plugin);
}

}  // namespace
