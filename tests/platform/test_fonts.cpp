// The installed fonts: matching, metrics and glyphs checked against
// FreeType itself, Japanese text, enumeration.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BBOX_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "temp_root.h"
#include "win/codepage.h"
#include "win/fonts.h"
#include "win/strings.h"

namespace {

namespace fonts = morva::platform::fonts;

LOGFONTW logfont(const char16_t* face, LONG height = -20, LONG weight = FW_NORMAL, bool italic = false,
                 BYTE charset = DEFAULT_CHARSET, BYTE pitch_family = 0) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfCharSet = charset;
  lf.lfPitchAndFamily = pitch_family;
  morva::u16view(face).copy(lf.lfFaceName, LF_FACESIZE - 1);
  return lf;
}

// FreeType opened directly on a face's file, as the reference.
class Reference {
 public:
  Reference(const std::string& file, double em) {
    EXPECT_EQ(FT_Init_FreeType(&library_), 0);
    EXPECT_EQ(FT_New_Face(library_, file.c_str(), 0, &face_), 0);
    FT_Set_Char_Size(face_, 0, std::lround(em * 64), 72, 72);
  }
  ~Reference() {
    FT_Done_Face(face_);
    FT_Done_FreeType(library_);
  }
  FT_Face face() const { return face_; }
  const TT_OS2* os2() const { return static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2)); }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

class Fonts : public ::testing::Test {
 protected:
  void SetUp() override { fonts::reload_installed_faces(); }
  morva::test::TempRoot root_;
};

TEST_F(Fonts, SystemFacesAreListedWithTheirCharacterSets) {
  auto sans = fonts::family_faces(u"DejaVu Sans");
  ASSERT_EQ(sans.size(), 2u);
  EXPECT_EQ(sans[0]->weight, FW_NORMAL);
  EXPECT_EQ(sans[1]->weight, FW_BOLD);
  EXPECT_EQ(sans[0]->family_class, FF_SWISS);
  EXPECT_FALSE(sans[0]->fixed_pitch);
  EXPECT_EQ(fonts::family_faces(u"dejavu serif")[0]->family_class, FF_ROMAN);
  auto mono = fonts::family_faces(u"DejaVu Sans Mono");
  ASSERT_FALSE(mono.empty());
  EXPECT_TRUE(mono[0]->fixed_pitch);

  auto gothic = fonts::family_faces(u"IPAGothic");
  ASSERT_EQ(gothic.size(), 1u);
  const auto& charsets = gothic[0]->charsets;
  EXPECT_NE(std::find(charsets.begin(), charsets.end(), SHIFTJIS_CHARSET), charsets.end());
  // The family's Japanese name finds the same face.
  ASSERT_EQ(fonts::family_faces(u"IPAゴシック").size(), 1u);
  EXPECT_EQ(fonts::family_faces(u"IPAゴシック")[0]->file, gothic[0]->file);
}

TEST_F(Fonts, RequestsMatchAFaceWithTheSimulationsItNeeds) {
  struct Case {
    LOGFONTW request;
    const char16_t* family;
    LONG face_weight;
    bool bold, italic;
    BYTE charset;
  } cases[] = {
      {logfont(u"DejaVu Sans"), u"DejaVu Sans", FW_NORMAL, false, false, ANSI_CHARSET},
      {logfont(u"DejaVu Sans", -20, FW_BOLD), u"DejaVu Sans", FW_BOLD, false, false, ANSI_CHARSET},
      {logfont(u"DejaVu Sans", -20, FW_NORMAL, true), u"DejaVu Sans", FW_NORMAL, false, true, ANSI_CHARSET},
      {logfont(u"DejaVu Sans Mono", -20, FW_HEAVY, true), u"DejaVu Sans Mono", FW_BOLD, false, true, ANSI_CHARSET},
      {logfont(u"IPAGothic", -20, FW_BOLD), u"IPAGothic", FW_NORMAL, true, false, ANSI_CHARSET},
      {logfont(u"DejaVu Sans Bold"), u"DejaVu Sans", FW_BOLD, false, false, ANSI_CHARSET},  // full name
      {logfont(u"Arial"), u"DejaVu Sans", FW_NORMAL, false, false, ANSI_CHARSET},
      {logfont(u"Courier New"), u"DejaVu Sans Mono", FW_NORMAL, false, false, ANSI_CHARSET},
      {logfont(u"Times New Roman"), u"DejaVu Serif", FW_NORMAL, false, false, ANSI_CHARSET},
      {logfont(u"ＭＳ ゴシック", -20, FW_NORMAL, false, SHIFTJIS_CHARSET), u"IPAGothic", FW_NORMAL, false, false,
       SHIFTJIS_CHARSET},
      {logfont(u"ＭＳ Ｐゴシック"), u"IPAPGothic", FW_NORMAL, false, false, ANSI_CHARSET},
      {logfont(u"@ＭＳ ゴシック"), u"IPAGothic", FW_NORMAL, false, false, ANSI_CHARSET},
      // Unknown names: by character set, then pitch and family.
      {logfont(u"No Such Face", -20, FW_NORMAL, false, SHIFTJIS_CHARSET), u"IPAGothic", FW_NORMAL, false, false,
       SHIFTJIS_CHARSET},
      {logfont(u"No Such Face", -20, FW_NORMAL, false, DEFAULT_CHARSET, FIXED_PITCH), u"DejaVu Sans Mono", FW_NORMAL,
       false, false, ANSI_CHARSET},
      {logfont(u"", -20, FW_NORMAL, false, DEFAULT_CHARSET, FF_ROMAN | VARIABLE_PITCH), u"DejaVu Serif", FW_NORMAL,
       false, false, ANSI_CHARSET},
      {logfont(u"No Such Face"), u"DejaVu Sans", FW_NORMAL, false, false, ANSI_CHARSET},
      // A family without the character set gives way to one that has it.
      {logfont(u"DejaVu Sans", -20, FW_NORMAL, false, SHIFTJIS_CHARSET), u"IPAPGothic", FW_NORMAL, false, false,
       SHIFTJIS_CHARSET},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(morva::u16_to_utf8(c.request.lfFaceName));
    fonts::FontMatch m = fonts::match_font(c.request);
    ASSERT_TRUE(m.face);
    EXPECT_EQ(morva::u16_to_utf8(m.face->family), morva::u16_to_utf8(c.family));
    EXPECT_EQ(m.face->weight, c.face_weight);
    EXPECT_EQ(m.simulate_bold, c.bold);
    EXPECT_EQ(m.simulate_italic, c.italic);
    EXPECT_EQ(m.charset, c.charset);
  }
}

TEST_F(Fonts, MetricsAndAdvancesAgreeWithFreeType) {
  fonts::FontMatch m = fonts::match_font(logfont(u"DejaVu Sans"));
  for (LONG height : {-11, -20, -57, 30}) {
    SCOPED_TRACE(height);
    const double em = fonts::em_height_for(*m.face, height);
    auto font = fonts::open_font(m, {em, 0, 0});
    ASSERT_TRUE(font);
    Reference ref(m.face->file, em);
    const TT_OS2* os2 = ref.os2();
    const double scale = em / ref.face()->units_per_EM;
    TEXTMETRICW tm = font->text_metrics();
    EXPECT_EQ(tm.tmAscent, std::lround(os2->usWinAscent * scale));
    EXPECT_EQ(tm.tmDescent, std::lround(os2->usWinDescent * scale));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmAveCharWidth, std::lround(os2->xAvgCharWidth * scale));
    EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - std::lround(em));
    if (height > 0) {
      EXPECT_NEAR(tm.tmHeight, height, 1);
    }
    EXPECT_EQ(tm.tmWeight, FW_NORMAL);
    EXPECT_EQ(tm.tmCharSet, ANSI_CHARSET);
    EXPECT_EQ(tm.tmPitchAndFamily, FF_SWISS | TMPF_TRUETYPE | TMPF_VECTOR | TMPF_FIXED_PITCH);
    for (char16_t ch : std::u16string(u"Hello, W")) {
      UINT glyph = font->glyph_index(ch);
      ASSERT_EQ(glyph, FT_Get_Char_Index(ref.face(), ch));
      fonts::GlyphMetrics gm;
      ASSERT_TRUE(font->glyph_metrics(glyph, &gm));
      ASSERT_EQ(FT_Load_Glyph(ref.face(), glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP), 0);
      EXPECT_EQ(gm.advance_x, ref.face()->glyph->advance.x);
      EXPECT_EQ(gm.advance_y, 0);
    }
  }
}

TEST_F(Fonts, GlyphBitmapsAreFreeTypesRendering) {
  fonts::FontMatch m = fonts::match_font(logfont(u"DejaVu Serif"));
  auto font = fonts::open_font(m, {24, 0, 0});
  ASSERT_TRUE(font);
  Reference ref(m.face->file, 24);
  for (bool one_bit : {true, false}) {
    for (char16_t ch : std::u16string(u"gQ%")) {
      SCOPED_TRACE(std::to_string(one_bit) + " " + static_cast<char>(ch));
      fonts::GlyphBitmap bitmap;
      ASSERT_TRUE(font->render(font->glyph_index(ch), one_bit, &bitmap));
      FT_Load_Char(ref.face(), ch, FT_LOAD_NO_BITMAP | (one_bit ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL));
      FT_Render_Glyph(ref.face()->glyph, one_bit ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL);
      const FT_Bitmap& expected = ref.face()->glyph->bitmap;
      ASSERT_EQ(bitmap.width, static_cast<LONG>(expected.width));
      ASSERT_EQ(bitmap.height, static_cast<LONG>(expected.rows));
      EXPECT_EQ(bitmap.left, ref.face()->glyph->bitmap_left);
      EXPECT_EQ(bitmap.top, ref.face()->glyph->bitmap_top);
      EXPECT_EQ(bitmap.pitch, one_bit ? (bitmap.width + 7) / 8 : bitmap.width);
      bool ink = false;
      for (LONG row = 0; row < bitmap.height; ++row) {
        const BYTE* got = bitmap.bits.data() + row * bitmap.pitch;
        EXPECT_EQ(std::memcmp(got, expected.buffer + row * expected.pitch, bitmap.pitch), 0) << "row " << row;
        for (LONG i = 0; i < bitmap.pitch; ++i) ink = ink || got[i];
      }
      EXPECT_TRUE(ink);
    }
  }
}

TEST_F(Fonts, OutlinesAreClosedFiguresInDeviceOrientation) {
  fonts::FontMatch m = fonts::match_font(logfont(u"DejaVu Sans"));
  auto font = fonts::open_font(m, {64, 0, 0});
  Reference ref(m.face->file, 64);
  fonts::GlyphOutline outline;
  const UINT glyph = font->glyph_index(u'O');
  ASSERT_TRUE(font->outline(glyph, &outline));
  ASSERT_EQ(outline.points.size(), outline.types.size());
  int figures = 0;
  for (size_t i = 0; i < outline.types.size(); ++i) {
    if (outline.types[i] == PT_MOVETO) {
      ++figures;
      if (i > 0) {
        EXPECT_TRUE(outline.types[i - 1] & PT_CLOSEFIGURE);
      }
    }
  }
  EXPECT_TRUE(outline.types.back() & PT_CLOSEFIGURE);
  EXPECT_EQ(figures, 2);  // outer and inner ring
  // Same extent as FreeType's unhinted outline, with y turned downward.
  FT_Load_Glyph(ref.face(), glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
  FT_BBox box;
  FT_Outline_Get_BBox(&ref.face()->glyph->outline, &box);
  LONG top = 0, bottom = 0;
  for (const POINT& p : outline.points) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  EXPECT_NEAR(top, -box.yMax, 2);
  EXPECT_NEAR(bottom, -box.yMin, 2);
}

TEST_F(Fonts, SimulatedBoldWidensAndItalicSlants) {
  fonts::FontMatch plain = fonts::match_font(logfont(u"IPAGothic"));
  fonts::FontMatch bold = fonts::match_font(logfont(u"IPAGothic", -20, FW_BOLD, true));
  ASSERT_TRUE(bold.simulate_bold && bold.simulate_italic);
  auto a = fonts::open_font(plain, {40, 0, 0});
  auto b = fonts::open_font(bold, {40, 0, 0});
  fonts::GlyphMetrics ma, mb;
  ASSERT_TRUE(a->glyph_metrics(a->glyph_index(u'I'), &ma));
  ASSERT_TRUE(b->glyph_metrics(b->glyph_index(u'I'), &mb));
  EXPECT_GT(mb.advance_x, ma.advance_x);
  EXPECT_GT(mb.box.right - mb.box.left, ma.box.right - ma.box.left);
  EXPECT_EQ(b->text_metrics().tmWeight, FW_BOLD);
  EXPECT_EQ(b->text_metrics().tmItalic, 1);
}

TEST_F(Fonts, JapaneseTextIsFoundInTheJapaneseFace) {
  // "日本語" as code page 932 bytes, as a Japanese document carries it.
  const char sjis[] = "\x93\xfa\x96\x7b\x8c\xea";
  WCHAR text[8] = {};
  ASSERT_EQ(MultiByteToWideChar(932, 0, sjis, 6, text, 8), 3);
  auto japanese = fonts::open_font(fonts::match_font(logfont(u"ＭＳ 明朝", -32, FW_NORMAL, false, SHIFTJIS_CHARSET)),
                                   {32, 0, 0});
  auto latin = fonts::open_font(fonts::match_font(logfont(u"DejaVu Sans")), {32, 0, 0});
  ASSERT_TRUE(japanese && latin);
  EXPECT_EQ(japanese->text_metrics().tmCharSet, SHIFTJIS_CHARSET);
  for (int i = 0; i < 3; ++i) {
    UINT glyph = japanese->glyph_index(text[i]);
    ASSERT_NE(glyph, 0u);
    EXPECT_EQ(latin->glyph_index(text[i]), 0u);
    fonts::GlyphBitmap bitmap;
    ASSERT_TRUE(japanese->render(glyph, true, &bitmap));
    EXPECT_GE(bitmap.width, 16);
    EXPECT_GE(bitmap.height, 16);
    fonts::GlyphMetrics gm;
    ASSERT_TRUE(japanese->glyph_metrics(glyph, &gm));
    EXPECT_EQ(gm.advance_x, 32 * 64);  // full width
  }
}

struct Seen {
  std::vector<ENUMLOGFONTEXW> fonts;
  std::vector<NEWTEXTMETRICEXW> metrics;
  std::vector<DWORD> types;
  size_t stop_after = 0;
};

int CALLBACK collect(const LOGFONTW* lf, const TEXTMETRICW* tm, DWORD type, LPARAM lParam) {
  auto* seen = reinterpret_cast<Seen*>(lParam);
  seen->fonts.push_back(*reinterpret_cast<const ENUMLOGFONTEXW*>(lf));
  seen->metrics.push_back(*reinterpret_cast<const NEWTEXTMETRICEXW*>(tm));
  seen->types.push_back(type);
  return seen->fonts.size() == seen->stop_after ? 0 : 1;
}

std::vector<std::string> face_names(const Seen& seen) {
  std::vector<std::string> names;
  for (const auto& f : seen.fonts) names.push_back(morva::u16_to_utf8(f.elfLogFont.lfFaceName));
  return names;
}

TEST_F(Fonts, EnumFontFamiliesListsFamiliesThenFaces) {
  Seen all;
  EXPECT_EQ(EnumFontFamiliesW(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&all)), 1);
  EXPECT_EQ(face_names(all), (std::vector<std::string>{"DejaVu Sans", "DejaVu Sans Mono", "DejaVu Serif", "IPAGothic",
                                                       "IPAPGothic"}));
  for (size_t i = 0; i < all.fonts.size(); ++i) {
    EXPECT_EQ(all.types[i], static_cast<DWORD>(TRUETYPE_FONTTYPE));
    EXPECT_EQ(all.fonts[i].elfLogFont.lfWeight, FW_NORMAL);
    EXPECT_EQ(all.fonts[i].elfLogFont.lfCharSet, ANSI_CHARSET);  // the system code page is 1252
    EXPECT_EQ(all.fonts[i].elfLogFont.lfHeight, all.metrics[i].ntmTm.tm.tmHeight);
  }
  EXPECT_EQ(all.fonts[1].elfLogFont.lfPitchAndFamily, FF_MODERN | FIXED_PITCH);
  EXPECT_EQ(all.metrics[0].ntmTm.ntmSizeEM, 2048u);

  Seen sans;
  EnumFontFamiliesW(nullptr, u"dejavu sans", collect, reinterpret_cast<LPARAM>(&sans));
  ASSERT_EQ(sans.fonts.size(), 2u);
  EXPECT_EQ(morva::u16_to_utf8(sans.fonts[1].elfFullName), "DejaVu Sans Bold");
  EXPECT_EQ(morva::u16_to_utf8(sans.fonts[1].elfStyle), "Bold");
  EXPECT_EQ(sans.metrics[0].ntmTm.ntmFlags, static_cast<DWORD>(NTM_REGULAR));
  EXPECT_EQ(sans.metrics[1].ntmTm.ntmFlags, static_cast<DWORD>(NTM_BOLD));

  Seen none;
  EXPECT_EQ(EnumFontFamiliesW(nullptr, u"No Such Face", collect, reinterpret_cast<LPARAM>(&none)), 1);
  EXPECT_TRUE(none.fonts.empty());

  Seen stopped;
  stopped.stop_after = 2;
  EXPECT_EQ(EnumFontFamiliesW(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&stopped)), 0);
  EXPECT_EQ(stopped.fonts.size(), 2u);
}

TEST_F(Fonts, EnumFontFamiliesExGoesByCharacterSet) {
  LOGFONTW lf = logfont(u"", 0, 0, false, DEFAULT_CHARSET);
  Seen all;
  EnumFontFamiliesExW(nullptr, &lf, collect, reinterpret_cast<LPARAM>(&all), 0);
  std::vector<std::string> japanese;
  for (const auto& f : all.fonts) {
    if (f.elfLogFont.lfCharSet == SHIFTJIS_CHARSET) {
      japanese.push_back(morva::u16_to_utf8(f.elfLogFont.lfFaceName));
      EXPECT_EQ(morva::u16_to_utf8(f.elfScript), "Japanese");
    }
  }
  EXPECT_EQ(japanese, (std::vector<std::string>{"IPAGothic", "IPAPGothic"}));
  EXPECT_GT(all.fonts.size(), 5u);  // Latin faces come in several character sets

  lf.lfCharSet = SHIFTJIS_CHARSET;
  Seen only;
  EnumFontFamiliesExW(nullptr, &lf, collect, reinterpret_cast<LPARAM>(&only), 0);
  EXPECT_EQ(face_names(only), japanese);

  LOGFONTW named = logfont(u"DejaVu Serif", 0, 0, false, ANSI_CHARSET);
  Seen serif;
  EnumFontFamiliesExW(nullptr, &named, collect, reinterpret_cast<LPARAM>(&serif), 0);
  ASSERT_EQ(serif.fonts.size(), 2u);
  EXPECT_EQ(morva::u16_to_utf8(serif.fonts[0].elfScript), "Western");
  EXPECT_EQ(serif.metrics[0].ntmFontSig.fsCsb[0] & 1u, 1u);
}

TEST_F(Fonts, FontFilesOfTheMachineAreInstalledToo) {
  const std::string folder = root_.file("drive_c/Windows/Fonts");
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(fonts::family_faces(u"DejaVu Serif")[0]->file, folder + "/serif.TTF");
  fonts::reload_installed_faces();
  auto serif = fonts::family_faces(u"DejaVu Serif");
  ASSERT_EQ(serif.size(), 3u);
  EXPECT_EQ(serif.back()->file, folder + "/serif.TTF");
  // A family is still enumerated once.
  Seen all;
  EnumFontFamiliesW(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&all));
  EXPECT_EQ(all.fonts.size(), 5u);
}

TEST_F(Fonts, TranslateCharsetInfo) {
  CHARSETINFO cs;
  ASSERT_TRUE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(SHIFTJIS_CHARSET)), &cs,
                                   TCI_SRCCHARSET));
  EXPECT_EQ(cs.ciACP, 932u);
  EXPECT_EQ(cs.fs.fsCsb[0], 1u << 17);
  ASSERT_TRUE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(1250)), &cs, TCI_SRCCODEPAGE));
  EXPECT_EQ(cs.ciCharset, static_cast<UINT>(EASTEUROPE_CHARSET));
  DWORD signature[2] = {(1u << 17) | (1u << 31), 0};
  ASSERT_TRUE(TranslateCharsetInfo(signature, &cs, TCI_SRCFONTSIG));
  EXPECT_EQ(cs.ciCharset, static_cast<UINT>(SHIFTJIS_CHARSET));
  EXPECT_FALSE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(99)), &cs, TCI_SRCCHARSET));
  EXPECT_FALSE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(437)), &cs, TCI_SRCCODEPAGE));
}

}  // namespace
