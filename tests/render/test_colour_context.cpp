// The colour context: which corrections the settings ask for, the warning
// for a profile that cannot be used, and the conversion of image data,
// palettes and single colours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/colour_context.h"
#include "win/msgbox.h"

using namespace morva::gfx;

namespace {

using Bytes = std::vector<BYTE>;

ColourSettings colour() {
  ColourSettings s{};
  s.colour_mode = 2;
  return s;
}

TEST(ColourContext, SettingsChooseTheCorrections) {
  struct Case {
    const char* what;
    void (*set)(ColourSettings&);
    WORD bits;
  } cases[] = {
      {"nothing", [](ColourSettings&) {}, 0},
      {"set A with gain", [](ColourSettings& s) { s.per_object = 1; s.sets_on = 1; s.set_a[0] = 10; s.gain_a = 1; },
       kCorrectMatrixA | kCorrectGainA},
      {"set A in black and white: no gain",
       [](ColourSettings& s) { s.colour_mode = 1; s.per_object = 1; s.sets_on = 1; s.set_a[2] = 5; s.gain_a = 1; },
       kCorrectMatrixA},
      {"set B and C", [](ColourSettings& s) { s.per_object = 1; s.sets_on = 6; s.set_b[1] = 1; s.set_c[0] = 1; },
       kCorrectMatrixB | kCorrectMatrixC},
      {"a set on but all zero", [](ColourSettings& s) { s.per_object = 1; s.sets_on = 1; }, 0},
      {"common set", [](ColourSettings& s) { s.sets_on = 4; s.common[0] = 3; s.gain_b = 1; },
       kCorrectMatrixCommon | kCorrectGainCommon},
      {"preset", [](ColourSettings& s) { s.correction_kind = 1; s.temperature = 2; s.tone = 4; }, kCorrectPreset},
      {"preset with no such temperature", [](ColourSettings& s) { s.correction_kind = 1; s.temperature = 4; }, 0},
      {"profiles", [](ColourSettings& s) {
         s.correction_kind = 2; s.profile1_on = 1; s.profile1_path = u"a.icc"; s.profile2_on = 1; s.profile2_same = 1; },
       kCorrectProfile1 | kCorrectProfile2},
      {"second profile without its path",
       [](ColourSettings& s) { s.correction_kind = 2; s.profile2_on = 1; s.profile2_same = 0; }, 0},
      {"outside library", [](ColourSettings& s) { s.library_parameter = 7; }, kCorrectLibrary},
  };
  for (const Case& c : cases) {
    ColourSettings s = colour();
    c.set(s);
    EXPECT_EQ(BuildColourParams(s), c.bits) << c.what;
  }
}

TEST(ColourContext, AProfileThatCannotBeUsedIsReportedAndMayBeSkipped) {
  ColourSettings s = colour();
  s.correction_kind = 2;
  s.profile1_on = 1;
  s.profile1_path = u"/no/such/profile.icc";
  for (INT answer : {IDOK, IDCANCEL}) {
    morva::platform::reset_message_boxes();
    morva::platform::script_message_box_answers({answer});
    ColourContext* c = reinterpret_cast<ColourContext*>(1);
    const INT r = ColourContext_CreateFrom(&c, s, nullptr);
    auto log = morva::platform::message_box_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].caption, u"警告");
    EXPECT_NE(log[0].text.find(u"ICC"), std::u16string::npos);
    EXPECT_EQ(log[0].style, static_cast<UINT>(MB_ICONINFORMATION | MB_OKCANCEL));
    if (answer == IDOK) {
      ASSERT_EQ(r, 0);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->first, nullptr);
      EXPECT_EQ(ColourContext_Destroy(&c), 0);
    } else {
      EXPECT_EQ(r, -3);
      EXPECT_EQ(c, nullptr);
    }
  }
  morva::platform::reset_message_boxes();
}

TEST(ColourContext, ImagesBecomeInvertedGreyInBlackAndWhite) {
  ColourSettings s = colour();
  s.colour_mode = 1;
  ColourContext* c = nullptr;
  ASSERT_EQ(ColourContext_CreateFrom(&c, s, nullptr), 0);
  Bytes data = {255, 255, 255, 0, 0, 0, 255, 0, 0}, palette;
  EXPECT_EQ(ColourContext_ConvertImage(c, nullptr, &data, &palette, 4, 3, 1, true), 2);
  EXPECT_EQ(data, (Bytes{0, 255, static_cast<BYTE>(255 - ((77 * 255) >> 8))}));
  ColourContext_Destroy(&c);
}

TEST(ColourContext, BlackAndWhitePalettesOfOtherOperationsTurnGrey) {
  ColourContext* c = nullptr;
  ASSERT_EQ(ColourContext_CreateFrom(&c, colour(), nullptr), 0);
  struct Case {
    Bytes palette;
    bool plain_copy;
    INT result;
    Bytes after;
  } cases[] = {
      {{0, 0, 0, 255, 255, 255}, false, 2, {255, 0}},
      {{0, 0, 0, 255, 255, 255}, true, 1, {0, 0, 0, 255, 255, 255}},
      {{0, 0, 0, 255, 0, 0}, false, 1, {0, 0, 0, 255, 0, 0}},
  };
  for (const Case& k : cases) {
    Bytes data = {0, 1}, palette = k.palette;
    EXPECT_EQ(ColourContext_ConvertImage(c, nullptr, &data, &palette, 11, 2, 1, k.plain_copy), k.result);
    EXPECT_EQ(palette, k.after);
    EXPECT_EQ(data, (Bytes{0, 1}));
  }
  Bytes data(3), palette;
  EXPECT_EQ(ColourContext_ConvertImage(c, nullptr, &data, &palette, 4, 0x10000, 1, true), -5);
  ColourContext_Destroy(&c);
}

TEST(ColourContext, SingleColoursGoGreyOnlyWhenEligible) {
  struct Case {
    LONG grey_choice, parts;
    Bytes in;
    INT result;
    Bytes out;
  } cases[] = {
      {2, 0, {90, 90, 90}, 2, {90}},
      {0, 0, {90, 90, 90}, 1, {90, 90, 90}},
      {2, 0, {90, 10, 90}, 1, {90, 10, 90}},
      {0, 3, {254, 255, 255}, 1, {0, 0, 0}},  // white-or-black
      {0, 3, {255, 255, 255}, 1, {255, 255, 255}},
  };
  for (const Case& k : cases) {
    ColourSettings s = colour();
    s.grey_choice = k.grey_choice;
    s.single_colour_parts = k.parts;
    ColourContext* c = nullptr;
    ASSERT_EQ(ColourContext_CreateFrom(&c, s, nullptr), 0);
    Bytes out(3, 0xAA);
    EXPECT_EQ(ColourContext_ConvertRgb(c, nullptr, k.in.data(), out.data(), 1, 1), k.result);
    out.resize(k.out.size());
    EXPECT_EQ(out, k.out);
    ColourContext_Destroy(&c);
  }
}

}  // namespace
