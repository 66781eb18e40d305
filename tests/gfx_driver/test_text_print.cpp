// Text printed on the demo printer through the print host and the real
// graphics driver: the printer's resident fonts as GDI sees them, text in
// device fonts, TrueType glyphs downloaded into the printer's glyph memory
// or drawn inline, faces replaced by device fonts, and long runs. Every
// spool file is read whole by the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_settings_store.h"
#include "settings/database/ddd_file.h"
#include "settings/stores/printer_settings.h"
#include "printer_dc.h"
#include "temp_root.h"
#include "win/ddi_engine.h"
#include "win/errors.h"
#include "win/fonts.h"
#include "win/modules.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlDecodeResult;
using morva::tools::PdlItem;

// TrueType faces printed with the printer's resident fonts.
constexpr char kSubstitute[] = R"("devmode": {"dmTTOption": 3})";
// Store mode: the first sheet is kept as a form, without glyph memory.
constexpr char kStore[] = R"("ddmid": {"336": 1, "338": "Form", "1829": "C:\\Jobs"})";

class TextPrint : public morva::test::PrintTest {
 protected:
  void SetUp() override { morva::test::InstallDemoPrinter(); }

  // Prints pages of drawing calls (device pixels) with the given settings
  // (members of the document: "ddmid" or "devmode").
  morva::print_host::PrintResult print(const std::vector<std::string>& pages, const std::string& settings = "") {
    return PrintPages("Text", pages, settings);
  }
  morva::print_host::PrintResult print(const std::string& ops, const std::string& settings = "") {
    return print(std::vector<std::string>{ops}, settings);
  }

  static std::string font(const std::string& face, double size, const std::string& extra = "") {
    return R"({"op": "font", "face": ")" + face + R"(", "size": )" + std::to_string(size) + extra + "}";
  }
  static std::string text(int x, int y, const std::string& s, const std::string& extra = "") {
    return R"({"op": "text", "x": )" + std::to_string(x) + R"(, "y": )" + std::to_string(y) + R"(, "text": ")" + s +
           "\"" + extra + "}";
  }

  std::size_t glyph_records(const std::string& kind_prefix) const {
    std::size_t n = 0;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Glyph && i.text.rfind(kind_prefix, 0) == 0) ++n;
    return n;
  }
  // The character codes of a text operator: after x, y, the kind byte and
  // one advance ("DC", "Dc") or a counted list of advances ("DD", "Dd"),
  // the byte count and the codes.
  static std::vector<std::int64_t> codes(const PdlItem* item) {
    const auto& v = item->operands;
    const bool list = item->text == "DD" || item->text == "Dd";
    const std::size_t count_at = list ? 4 + static_cast<std::size_t>(v.at(3).i) : 4;
    std::vector<std::int64_t> out;
    for (std::size_t k = count_at + 1; k < v.size(); ++k) out.push_back(v[k].i);
    EXPECT_EQ(static_cast<std::size_t>(v.at(count_at).i), 2 * out.size());
    return out;
  }
  // Glyph addresses of the downloads and of the draws by address, in
  // bytes, whichever form (bytes or 64-byte units) the target takes.
  std::vector<std::int64_t> addresses(const char* bytes_form, const char* units_form, std::size_t operand_index) const {
    std::vector<std::int64_t> out;
    for (const PdlItem& i : decoded_.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == bytes_form) out.push_back(operand(&i, operand_index));
      if (i.text == units_form) out.push_back(operand(&i, operand_index) * 64);
    }
    return out;
  }
  std::vector<std::int64_t> downloads() const { return addresses("DH", "DL", 0); }
  std::vector<std::int64_t> draws() const {
    auto a = addresses("DI", "DM", 2);
    auto b = addresses("Di", "Dm", 2);
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  std::vector<std::int64_t> all_codes() const {
    std::vector<std::int64_t> out;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator && (i.text == "DC" || i.text == "Dc" || i.text == "DD" || i.text == "Dd")) {
        auto c = codes(&i);
        out.insert(out.end(), c.begin(), c.end());
      }
    return out;
  }

  // Where glyphs were drawn: by address, or inline with the single form
  // and the array form (the first place, then the further places by their
  // x and y distances), in the order written.
  using Place = std::pair<double, double>;
  static double value(const morva::tools::PdlValue& v) {
    return v.kind == morva::tools::PdlValue::Real ? static_cast<double>(v.f) : static_cast<double>(v.i);
  }
  std::vector<Place> cached_places() const {
    std::vector<Place> out;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator && (i.text == "DI" || i.text == "DM" || i.text == "Di" || i.text == "Dm"))
        out.emplace_back(value(i.operands[0]), value(i.operands[1]));
    return out;
  }
  std::vector<Place> inline_places(std::set<std::int64_t>* array_flags = nullptr) const {
    std::vector<Place> out;
    for (const PdlItem& i : decoded_.items) {
      if (i.kind != PdlItem::Operator) continue;
      const auto& v = i.operands;
      if (i.text == "DE" || i.text == "De") out.emplace_back(value(v[0]), value(v[1]));
      if (i.text != "DF" && i.text != "Df") continue;
      const double x = value(v[0]), y = value(v[1]);
      const std::int64_t flags = v[3].i, count = v[4].i;
      if (array_flags) array_flags->insert(flags);
      const std::size_t n = static_cast<std::size_t>(flags == 3 ? count / 2 : count);
      out.emplace_back(x, y);
      for (std::size_t k = 0; k < n; ++k) {
        const double dx = (flags & 1) ? value(v[5 + k]) : 0;
        const double dy = (flags & 2) ? value(v[5 + ((flags & 1) ? n : 0) + k]) : 0;
        out.emplace_back(x + dx, y + dy);
      }
    }
    return out;
  }
};

TEST_F(TextPrint, ResidentFontsAreReportedToGdi) {
  std::string error;
  auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  ASSERT_TRUE(dc) << error;
  auto fonts = dc->device_fonts();
  std::sort(fonts.begin(), fonts.end());
  EXPECT_EQ(fonts, (std::vector<std::u16string>{u"CS Courier", u"CS Times Roman", u"CS Triumvirate", u"QZ Gothic"}));
}

TEST_F(TextPrint, DeviceFontTextGoesAsCharacterCodes) {
  auto r = print(font("CS Times Roman", 12) + "," + text(100, 200, "Hello"));
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
  ASSERT_EQ(count("DA"), 1u);
  EXPECT_EQ(operand(ops("DA")[0], 0), 0x0201);
  EXPECT_EQ(count("Db"), 1u);
  EXPECT_EQ(all_codes(), (std::vector<std::int64_t>{'H', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(decoded_.summary.glyph_records, 0u);
}

TEST_F(TextPrint, TrueTypeGlyphsAreDownloadedOnceAndDrawnByAddress) {
  // Outline records by default; bitmap records when setting 1335 asks.
  struct Case {
    std::string ddmid;
    const char* record;
  } cases[] = {{"", "outline glyph"}, {R"("ddmid": {"1335": "1"})", "bitmap glyph"}};
  for (const Case& c : cases) {
    auto r = print(font("DejaVu Sans", 10) + "," + text(100, 200, "abcabca"), c.ddmid);
    ASSERT_TRUE(r.ok) << c.ddmid << ": " << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    // Three distinct characters: three downloads, seven draws by address.
    EXPECT_EQ(glyph_records(c.record), 3u) << c.ddmid;
    const auto loaded = downloads();
    const std::set<std::int64_t> distinct(loaded.begin(), loaded.end());
    EXPECT_EQ(distinct.size(), 3u) << c.ddmid;
    ASSERT_EQ(draws().size(), 7u) << c.ddmid;
    for (std::int64_t at : draws()) EXPECT_TRUE(distinct.count(at)) << at;
    EXPECT_EQ(count("DA"), 0u);
  }
}

TEST_F(TextPrint, AFullGlyphMemoryEvictsTheLeastRecentlyUsedGlyphs) {
  // Large Japanese glyphs: more distinct outlines than the 64 KB model
  // holds, so addresses are reused; every draw names an address whose last
  // download is the glyph drawn.
  std::u16string line;
  for (char16_t c = 0x4E00; c < 0x4E00 + 200; ++c) line += c;
  std::string utf8;
  for (char16_t c : line) {
    utf8 += static_cast<char>(0xE0 | (c >> 12));
    utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
  }
  auto r = print(font("IPAGothic", 72, R"(, "charset": 128)") + "," + text(50, 300, utf8));
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
  ASSERT_EQ(downloads().size(), 200u);
  std::map<std::int64_t, int> uses;
  for (std::int64_t at : downloads()) ++uses[at];
  EXPECT_LT(uses.size(), 200u);  // some addresses were taken twice
  for (const auto& [at, n] : uses) EXPECT_LT(at, 65536) << at;
  // Each draw names the address its glyph was just downloaded to.
  EXPECT_EQ(draws(), downloads());
}

TEST_F(TextPrint, TrueTypeFacesAreReplacedByDeviceFontsWhenAsked) {
  // dmTTOption 3 with the substitution list: DejaVu Serif prints in
  // CS Times Roman (0x0200), bold as weight class 7.
  struct Case {
    std::string font;
    std::int64_t code;
  } cases[] = {{font("DejaVu Serif", 12), 0x0201}, {font("DejaVu Serif", 12, R"(, "weight": 700)"), 0x0271}};
  for (const Case& c : cases) {
    auto r = print(c.font + "," + text(100, 200, "Text"), kSubstitute);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error;
    ASSERT_EQ(count("DA"), 1u) << c.font;
    EXPECT_EQ(operand(ops("DA")[0], 0), c.code) << c.font;
    EXPECT_EQ(all_codes(), (std::vector<std::int64_t>{'T', 'e', 'x', 't'}));
    EXPECT_EQ(decoded_.summary.glyph_records, 0u);
  }
  // dmTTOption 1: TrueType text always goes as glyphs.
  auto r = print(font("DejaVu Serif", 12) + "," + text(100, 200, "Text"), R"("devmode": {"dmTTOption": 1})");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(count("DA"), 0u);
  EXPECT_EQ(decoded_.summary.glyph_records, 4u);
}

TEST_F(TextPrint, CharactersTheDeviceFontLacksGoAsGlyphsBetweenDeviceRuns) {
  // CS Courier has codes 32-126: the euro sign is drawn as a glyph.
  auto r = print(font("DejaVu Sans Mono", 12) + "," + text(100, 200, "ab\u20accd"), kSubstitute);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  std::vector<std::string> seq;
  for (const PdlItem& i : decoded_.items)
    if (i.kind == PdlItem::Operator && (i.text == "DC" || i.text == "DD" || i.text == "DH" || i.text == "DL"))
      seq.push_back(i.text == "DD" ? "DC" : i.text == "DL" ? "DH" : i.text);
  EXPECT_EQ(seq, (std::vector<std::string>{"DC", "DH", "DC"}));
  EXPECT_EQ(all_codes(), (std::vector<std::int64_t>{'a', 'b', 'c', 'd'}));
}

TEST_F(TextPrint, LongRunsAreSplitAtTheOperatorCountLimit) {
  const std::string run(40000, 'x');
  auto r = print(font("CS Courier", 2) + "," + text(0, 100, run));
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  std::vector<const PdlItem*> texts;
  for (const PdlItem& i : decoded_.items)
    if (i.kind == PdlItem::Operator && (i.text == "DC" || i.text == "Dc")) texts.push_back(&i);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(codes(texts[0]).size(), 32767u);
  EXPECT_EQ(codes(texts[1]).size(), 40000u - 32767u);
  // The second run starts where the first run's last glyph advanced to
  // (beyond the word range, so its position goes as reals).
  auto value = [](const PdlItem* item, std::size_t n) {
    const auto& v = item->operands[n];
    return v.kind == morva::tools::PdlValue::Real ? static_cast<double>(v.f) : static_cast<double>(v.i);
  };
  EXPECT_EQ(value(texts[1], 0), value(texts[0], 0) + 32767 * value(texts[0], 3));
}

TEST_F(TextPrint, GlyphIndexStringsPrintThroughTheGlyphPath) {
  auto r = print(font("DejaVu Sans", 10) + "," + text(100, 200, "abca", R"(, "glyph_index": true)"));
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  EXPECT_EQ(downloads().size(), 3u);
  EXPECT_EQ(draws().size(), 4u);
}

TEST_F(TextPrint, JapaneseTextInTheDeviceFontUsesShiftJisCodes) {
  // 日本 in QZ Gothic: two double-byte codes; the font reports the resource
  // glyph set, whose handles are the codes.
  auto r = print(font("QZ Gothic", 12, R"(, "charset": 128)") + "," + text(100, 200, "\u65e5\u672cA"));
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  ASSERT_EQ(count("DA"), 1u);
  EXPECT_EQ(operand(ops("DA")[0], 0), 0x0401);
  EXPECT_EQ(all_codes(), (std::vector<std::int64_t>{0x93FA, 0x967B, 'A'}));
}

TEST_F(TextPrint, DownloadedBitmapsAreFreeTypesRenderingOfTheGlyph) {
  std::string error;
  LONG dpi = 0;
  {
    auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
    ASSERT_TRUE(dc) << error;
    dpi = dc->dpi_y();
  }
  auto r = print(font("DejaVu Sans", 10) + "," + text(100, 200, "aQ"), R"("ddmid": {"1335": "1"})");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error;
  std::ifstream in(morva::platform::job_spool_file(r.job_id), std::ios::binary);
  const std::vector<unsigned char> spool((std::istreambuf_iterator<char>(in)), {});
  std::vector<const PdlItem*> records;
  for (const PdlItem& i : decoded_.items)
    if (i.kind == PdlItem::Glyph) records.push_back(&i);
  ASSERT_EQ(records.size(), 2u);
  const double em = 10.0 * dpi / 72.0;
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(em));
  std::u16string(u"DejaVu Sans").copy(lf.lfFaceName, LF_FACESIZE - 1);
  auto face = morva::platform::fonts::open_font(morva::platform::fonts::match_font(lf), {em, 0, 0});
  ASSERT_TRUE(face);
  const char16_t chars[] = {u'a', u'Q'};
  for (std::size_t g = 0; g < 2; ++g) {
    morva::platform::fonts::GlyphBitmap bitmap;
    ASSERT_TRUE(face->render(face->glyph_index(chars[g]), true, &bitmap));
    const unsigned char* p = spool.data() + records[g]->offset;
    auto word = [&](std::size_t at) { return (p[at] << 8) | p[at + 1]; };
    const int height = word(12), width = word(14), row = p[16];
    ASSERT_EQ(width, bitmap.width);
    ASSERT_EQ(height, bitmap.height);
    ASSERT_EQ(row, (bitmap.width + 7) / 8);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < row; ++x)
        ASSERT_EQ(p[18 + y * row + x], bitmap.bits[y * bitmap.pitch + x]) << "glyph " << g << " row " << y;
  }
}

TEST_F(TextPrint, InStoreModeDeviceFontsKeepTheirCodesAndTrueTypeTextGoesAsGlyphs) {
  // Store mode: no glyph memory and no device font for a TrueType face,
  // but a device font has no shapes to send, so its codes go.
  const std::string store = std::string(kStore) + ", " + kSubstitute;
  auto r = print(font("CS Times Roman", 12) + "," + text(100, 200, "Hi") + "," + font("DejaVu Serif", 12) + "," +
                     text(100, 300, "Text"),
                 store);
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
  ASSERT_EQ(count("DA"), 1u);
  EXPECT_EQ(operand(ops("DA")[0], 0), 0x0201);
  EXPECT_EQ(all_codes(), (std::vector<std::int64_t>{'H', 'i'}));
  EXPECT_EQ(downloads().size(), 0u);
  EXPECT_EQ(decoded_.summary.glyph_records, 4u);
  EXPECT_EQ(inline_places().size(), 4u);
}

TEST_F(TextPrint, InlineGlyphsGoOnceAndAreDrawnWhereCachedGlyphsWouldBe) {
  // Without glyph memory (store mode) each distinct glyph goes once, with the array
  // form for its further places: x distances along a level line, y
  // distances down a vertical one, both on a slant.
  struct Case {
    int escapement;
    std::int64_t flags;
  } cases[] = {{0, 1}, {2700, 2}, {450, 3}};
  for (const Case& c : cases) {
    const std::string page = font("DejaVu Sans", 10, R"(, "escapement": )" + std::to_string(c.escapement)) + "," +
                             text(400, 400, "abcabca");
    auto r = print(page);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    auto expected = cached_places();
    ASSERT_EQ(expected.size(), 7u) << c.escapement;
    r = print(page, kStore);
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    EXPECT_EQ(decoded_.summary.glyph_records, 3u) << c.escapement;
    EXPECT_EQ(count("DE") + count("De"), 0u) << c.escapement;
    std::set<std::int64_t> flags;
    auto drawn = inline_places(&flags);
    EXPECT_EQ(flags, std::set<std::int64_t>{c.flags}) << c.escapement;
    std::sort(expected.begin(), expected.end());
    std::sort(drawn.begin(), drawn.end());
    EXPECT_EQ(drawn, expected) << c.escapement;
  }
}

TEST_F(TextPrint, GlyphBitmapsGoThroughTheCompressionLibraryFromItsPdlVersion) {
  // The database names the library; it lives beside the graphics library.
  morva::test::InstallDemoPrinterWith(root_.path() + "/compression_database", [](nlohmann::json& description) {
    description["main"]["fields"]["22"] = "morva_test_qzcmp_full.dll";
  });
  morva::test::CopyBesideDriver("libmorva_test_qzcmp_full.so");
  // A large underscore: rows of solid bytes, which the library's runs code
  // smaller than the bits themselves.
  struct Case {
    DWORD version;
    const char* record;
  } cases[] = {{0x1010801, "bitmap glyph, compressed"}, {0x1010800, "bitmap glyph"}};
  for (const Case& c : cases) {
    store_printer_settings({{8205, c.version}});
    auto r = print(font("DejaVu Sans", 72) + "," + text(100, 400, "_"), R"("ddmid": {"1335": "1"})");
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    EXPECT_EQ(decoded_.summary.glyph_records, 1u) << c.version;
    EXPECT_EQ(glyph_records(c.record), 1u) << c.version;
    if (std::string(c.record) == "bitmap glyph") {
      EXPECT_EQ(glyph_records("bitmap glyph, compressed"), 0u);
    }
  }
}

TEST_F(TextPrint, SimulatedAndRotatedTextPrints) {
  // Simulated bold and italic of a TrueType face go as outlines; a device
  // font's italic and bold are marked in its code.
  struct Case {
    std::string font;
    std::int64_t code;  // the device font code, or -1 for glyphs
  } cases[] = {
      {font("IPAGothic", 14, R"(, "weight": 700)"), -1},
      {font("IPAGothic", 14, R"(, "italic": true)"), -1},
      {font("DejaVu Sans", 14, R"(, "escapement": 300)"), -1},
      {font("CS Times Roman", 12, R"(, "italic": true)"), 0x0209},
      {font("CS Times Roman", 12, R"(, "weight": 700)"), 0x0231},
  };
  for (const Case& c : cases) {
    auto r = print(c.font + "," + text(300, 300, "Wave"));
    ASSERT_TRUE(r.ok) << c.font << ": " << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    if (c.code < 0) {
      EXPECT_EQ(count("DA"), 0u) << c.font;
      EXPECT_EQ(glyph_records("outline glyph"), 4u) << c.font;
      EXPECT_EQ(draws().size(), 4u) << c.font;
    } else {
      ASSERT_EQ(count("DA"), 1u) << c.font;
      EXPECT_EQ(operand(ops("DA")[0], 0), c.code) << c.font;
      EXPECT_EQ(all_codes(), (std::vector<std::int64_t>{'W', 'a', 'v', 'e'})) << c.font;
    }
  }
}

TEST_F(TextPrint, SmallBlackOutlinesOfManyPointsCarryTheThinLineHint) {
  // Setting 1307 on, outlines from every size (346 at 0), an em of about
  // 12 pixels: black text takes the hint and the cache kind of its own; red
  // text and a glyph of few points do not.
  std::string error;
  LONG dpi = 0;
  {
    auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
    ASSERT_TRUE(dc) << error;
    dpi = dc->dpi_y();
  }
  const double points = 12.0 * 72.0 / dpi;
  struct Case {
    const char* colour;
    const char* text;
    std::size_t thin;
  } cases[] = {{"#000000", "@", 1}, {"#FF0000", "@", 0}, {"#000000", "l", 0}};
  for (const Case& c : cases) {
    auto r = print(std::string(R"({"op": "text_color", "color": ")") + c.colour + R"("},)" + font("DejaVu Sans", points) +
                       "," + text(200, 200, c.text),
                   R"("ddmid": {"1307": "1", "346": 0})");
    ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    EXPECT_EQ(glyph_records("outline glyph"), 1u) << c.colour << c.text;
    EXPECT_EQ(glyph_records("outline glyph, word points, thin line"), c.thin) << c.colour << c.text;
  }
}

TEST_F(TextPrint, FontQueriesAnswerMetricsGlyphSetsAndWidths) {
  std::string error;
  auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  ASSERT_TRUE(dc) << error;
  const auto* device = dc->device();
  auto query_font = device->get<PFN_DrvQueryFont>(INDEX_DrvQueryFont);
  auto query_tree = device->get<PFN_DrvQueryFontTree>(INDEX_DrvQueryFontTree);
  auto query_data = device->get<PFN_DrvQueryFontData>(INDEX_DrvQueryFontData);
  auto query_widths = device->get<PFN_DrvQueryAdvanceWidths>(INDEX_DrvQueryAdvanceWidths);
  ULONG_PTR id = 7;
  std::map<std::u16string, ULONG> faces;
  for (ULONG face = 1; face <= 4; ++face) {
    IFIMETRICS* ifi = query_font(device->dhpdev, 0, face, &id);
    ASSERT_NE(ifi, nullptr) << face;
    EXPECT_EQ(id, 0u);
    faces[reinterpret_cast<const char16_t*>(reinterpret_cast<BYTE*>(ifi) + ifi->dpwszFaceName)] = face;
  }
  for (ULONG bad : {0u, 5u}) {
    SetLastError(0);
    EXPECT_EQ(query_font(device->dhpdev, 0, bad, &id), nullptr) << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  // A fixed-pitch Latin font and a double-byte one.
  const IFIMETRICS* courier = query_font(device->dhpdev, 0, faces[u"CS Courier"], &id);
  EXPECT_EQ(courier->flInfo & (FM_INFO_CONSTANT_WIDTH | FM_INFO_OPTICALLY_FIXED_PITCH),
            FM_INFO_CONSTANT_WIDTH | FM_INFO_OPTICALLY_FIXED_PITCH);
  EXPECT_EQ(courier->fwdAveCharWidth, 600);
  EXPECT_EQ(courier->jWinPitchAndFamily, FF_MODERN | FIXED_PITCH);
  EXPECT_EQ(courier->fwdUnitsPerEm, 1000);
  const IFIMETRICS* gothic = query_font(device->dhpdev, 0, faces[u"QZ Gothic"], &id);
  EXPECT_EQ(gothic->jWinCharSet, SHIFTJIS_CHARSET);
  EXPECT_TRUE(gothic->flInfo & FM_INFO_DBCS_FIXED_PITCH);
  EXPECT_FALSE(gothic->flInfo & FM_INFO_CONSTANT_WIDTH);
  EXPECT_EQ(gothic->wcDefaultChar, 0xFF65);
  // The double-byte font's glyph set comes from the resource module.
  auto* set = static_cast<FD_GLYPHSET*>(query_tree(device->dhpdev, 0, faces[u"QZ Gothic"], QFT_GLYPHSET, &id));
  ASSERT_NE(set, nullptr);
  HGLYPH sun = 0;
  for (ULONG r = 0; r < set->cRuns; ++r)
    if (set->awcrun[r].wcLow <= 0x65E5 && 0x65E5 < set->awcrun[r].wcLow + set->awcrun[r].cGlyphs)
      sun = set->awcrun[r].phg[0x65E5 - set->awcrun[r].wcLow];
  EXPECT_EQ(sun, 0x93FAu);
  // Kerning pairs, ended by an empty pair; none for a font without them.
  auto* pairs = static_cast<FD_KERNINGPAIR*>(query_tree(device->dhpdev, 0, faces[u"CS Times Roman"], QFT_KERNPAIRS, &id));
  ASSERT_NE(pairs, nullptr);
  EXPECT_EQ(pairs[0].wcFirst, u'A');
  EXPECT_EQ(pairs[0].wcSecond, u'V');
  EXPECT_EQ(pairs[0].fwdKern, -80);
  EXPECT_EQ(pairs[2].wcFirst, 0);
  EXPECT_EQ(query_tree(device->dhpdev, 0, faces[u"CS Courier"], QFT_KERNPAIRS, &id), nullptr);
  EXPECT_EQ(query_tree(device->dhpdev, 0, faces[u"CS Courier"], QFT_LIGATURES, &id), nullptr);
  // Widths under a transform of 0.05 pixel per font unit: 600 units are 30
  // pixels (480 in 28.4).
  XFORML scale{0.05f, 0, 0, 0.05f, 0, 0};
  IFIMETRICS* ifi = query_font(device->dhpdev, 0, faces[u"CS Courier"], &id);
  FONTOBJ* pfo = morva::platform::engine::create_font_device(faces[u"CS Courier"], ifi, scale, dc->dpi_y());
  HGLYPH glyphs[2] = {'A', 'i'};
  USHORT widths[2] = {};
  ASSERT_TRUE(query_widths(device->dhpdev, pfo, QAW_GETWIDTHS, glyphs, widths, 2));
  EXPECT_EQ(widths[0], 480);
  EXPECT_EQ(widths[1], 480);
  GLYPHDATA gd{};
  EXPECT_EQ(query_data(device->dhpdev, pfo, QFD_GLYPHANDBITMAP, 'A', &gd, nullptr, 0), 0);
  EXPECT_EQ(gd.fxD, 480);
  EXPECT_EQ(gd.ptqD.x.u.HighPart, 480);
  EXPECT_EQ(query_data(device->dhpdev, pfo, QFD_MAXEXTENTS, 0, nullptr, nullptr, 0),
            static_cast<LONG>(sizeof(FD_DEVICEMETRICS)));
  FD_DEVICEMETRICS dm{};
  EXPECT_EQ(query_data(device->dhpdev, pfo, QFD_MAXEXTENTS, 0, nullptr, &dm, sizeof dm),
            static_cast<LONG>(sizeof(FD_DEVICEMETRICS)));
  EXPECT_FLOAT_EQ(dm.pteBase.x, 1.0f);
  EXPECT_EQ(dm.lD, 480);  // constant width
  EXPECT_EQ(dm.fxMaxAscender, 40 * 16);  // 800 units
  morva::platform::engine::delete_font(pfo);
}

TEST_F(TextPrint, FontsHiddenByATrueTypeFaceOrARepeatedFamilyAreNotReported) {
  // The demo database with two more font records: one named like an
  // installed TrueType face, and one of the same family as the record
  // before it.
  morva::test::InstallDemoPrinterWith(root_.path() + "/font_database", [](nlohmann::json& description) {
    const nlohmann::json metrics = {0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto& records = description["main"]["records"];
    records.push_back({{"kind", 11}, {"name", "DejaVu Serif"}, {"family", "Serif Family"}, {"word", 0x500},
                       {"font", {{"face", "DejaVu Serif"}, {"id", "0500"}, {"width", 500}, {"metrics", metrics}}}});
    records.push_back({{"kind", 11}, {"name", "CS Serif Bold"}, {"family", "Serif Family"}, {"word", 0x600},
                       {"font", {{"face", "CS Serif Bold"}, {"id", "0600"}, {"width", 550}, {"metrics", metrics}}}});
  });
  std::string error;
  auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  ASSERT_TRUE(dc) << error;
  auto fonts = dc->device_fonts();
  std::sort(fonts.begin(), fonts.end());
  EXPECT_EQ(fonts, (std::vector<std::u16string>{u"CS Courier", u"CS Times Roman", u"CS Triumvirate", u"QZ Gothic"}));
}

}  // namespace
