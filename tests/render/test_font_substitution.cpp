// The choice of a device font for a TrueType face: the substitution list,
// then scoring by character set, name group, pitch and family, weight and
// italics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/device_fonts.h"
#include "win/fonts.h"

namespace {

using namespace morva::gfx;

DeviceFontNameRecord record(const std::u16string& face, BYTE pitch_family, BYTE charset, WORD weight = 400,
                            BYTE italic = 0) {
  DeviceFontNameRecord r;
  face.copy(r.face, 31);
  r.pitch_family = pitch_family;
  r.charset = charset;
  r.weight = weight;
  r.flag = italic;
  return r;
}

struct Fixture {
  std::vector<DeviceFontNameRecord> records = {
      record(u"CS Courier", 0x30, ANSI_CHARSET),          // 0 fixed, modern
      record(u"CS Times Roman", 0x11, ANSI_CHARSET),      // 1 variable, roman
      record(u"CS Times Roman", 0x11, ANSI_CHARSET, 700), // 2 bold
      record(u"CS Triumvirate", 0x21, ANSI_CHARSET),      // 3 variable, swiss
      record(u"QZ Gothic", 0x30, SHIFTJIS_CHARSET),       // 4
      record(u"@QZ Gothic", 0x30, SHIFTJIS_CHARSET),      // 5 vertical
      record(u"QZ リョービ ゴシック-B", 0x11, SHIFTJIS_CHARSET),  // 6 variable, roman
  };
  std::u16string list = std::u16string(u"Times New Roman\0CS Times Roman\0Mapped Away\0No Such Font\0", 56) + u'\0';
  IFIMETRICS ifi{};

  int select(const std::u16string& face, BYTE charset, BYTE pitch_family, USHORT weight, std::size_t* index,
             bool find_only = false, UINT table = kSubstTableFull) {
    ifi.jWinCharSet = charset;
    ifi.jWinPitchAndFamily = pitch_family;
    ifi.usWinWeight = weight;
    SubstituteRequest r{list.c_str(), face.c_str(), &ifi, false, records.data(), records.size(), table};
    return find_only ? FindSubstituteFont(r, index) : SelectSubstituteFont(r, index);
  }
};

TEST(FontSubstitution, TheListNamesTheDeviceFontClosestInWeight) {
  Fixture f;
  std::size_t index = 99;
  EXPECT_EQ(f.select(u"Times New Roman", ANSI_CHARSET, VARIABLE_PITCH | FF_ROMAN, 400, &index, true), kSubstFound);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(f.select(u"Times New Roman", ANSI_CHARSET, VARIABLE_PITCH | FF_ROMAN, 700, &index, true), kSubstFound);
  EXPECT_EQ(index, 2u);
  // Not in the list, or mapped to a font no record has.
  EXPECT_EQ(f.select(u"Unlisted", ANSI_CHARSET, VARIABLE_PITCH, 400, &index, true), kSubstNotApplicable);
  EXPECT_EQ(f.select(u"Mapped Away", ANSI_CHARSET, VARIABLE_PITCH, 400, &index, true), kSubstNotApplicable);
}

TEST(FontSubstitution, ScoringFallsBackOnNameGroupsAndPitch) {
  Fixture f;
  struct Case {
    std::u16string face;
    BYTE charset, pitch_family;
    std::size_t index;
    UINT table = kSubstTableFull;
  } cases[] = {
      {u"Mapped Away", ANSI_CHARSET, FIXED_PITCH | FF_MODERN, 0},      // pitch and family
      {u"Arial Black", ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS, 3},    // group of Arial by its prefix
      {u"Courier New", ANSI_CHARSET, FIXED_PITCH | FF_MODERN, 0},      // group of Courier New
      {u"Unlisted Serif", ANSI_CHARSET, VARIABLE_PITCH | FF_ROMAN, 1}, // pitch and roman family
      {u"Gothic", SHIFTJIS_CHARSET, FIXED_PITCH | FF_MODERN, 4},       // character set
      {u"@Gothic", SHIFTJIS_CHARSET, FIXED_PITCH | FF_MODERN, 5},      // only the vertical name scores
      // A Japanese group names its printer face in the full table; the
      // Latin table has no such group, so pitch and family decide.
      {u"ＭＳ ゴシック", SHIFTJIS_CHARSET, FIXED_PITCH | FF_MODERN, 6},
      {u"ＭＳ ゴシック", SHIFTJIS_CHARSET, FIXED_PITCH | FF_MODERN, 4, kSubstTableLatin},
      {u"Courier New", ANSI_CHARSET, FIXED_PITCH | FF_MODERN, 0, kSubstTableLatin},
  };
  for (const Case& c : cases) {
    std::size_t index = 99;
    EXPECT_EQ(f.select(c.face, c.charset, c.pitch_family, 400, &index, false, c.table), kSubstFound);
    EXPECT_EQ(index, c.index) << c.table;
  }
}

TEST(FontSubstitution, MissingArgumentsAndEmptyFaces) {
  Fixture f;
  std::size_t index = 0;
  SubstituteRequest none{nullptr, u"Times New Roman", &f.ifi, false, f.records.data(), f.records.size()};
  EXPECT_EQ(FindSubstituteFont(none, &index), kSubstBadArgument);
  SubstituteRequest empty{f.list.c_str(), u"", &f.ifi, false, f.records.data(), f.records.size()};
  EXPECT_EQ(FindSubstituteFont(empty, &index), kSubstNotApplicable);
  SubstituteRequest no_metrics{f.list.c_str(), u"Times New Roman", nullptr, false, f.records.data(), f.records.size()};
  EXPECT_EQ(FindSubstituteFont(no_metrics, &index), kSubstNoMetrics);
  EXPECT_TRUE(NamePrefixCompare(u"arial black", u"Arial"));
  EXPECT_FALSE(NamePrefixCompare(u"Arial", u"Courier"));
}

}  // namespace
