// The colour context: which corrections the settings ask for, the warning
// for a profile that cannot be used, and the conversion of image data,
// palettes and single colours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/colour_context.h"
#include "win/modules.h"
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

TEST(ColourContext, BandsOfOnePictureMakeOneBatch) {
  ImageBatchState st{};
  struct Step {
    DWORD bits, w, h, kind, rop;
    int decision;
  } steps[] = {
      {24, 100, 10, 2, 0xCC, kBatchNew},       // first image
      {24, 100, 10, 2, 0xCC, kBatchContinue},  // a band of the same width
      {24, 100, 7, 2, 0xCC, kBatchContinue},   // the last, shorter band
      {24, 50, 30, 2, 0xCC, kBatchNew},        // shares nothing: a new batch
      {24, 50, 8, 2, 0xCC, kBatchContinue},
      {32, 50, 8, 2, 0xCC, kBatchNew},         // another depth
      {24, 50, 8, 3, 0xCC, kBatchNone},        // with a mask
      {24, 50, 8, 2, 0x88, kBatchNone},        // not a plain copy
      {8, 50, 8, 2, 0xCC, kBatchNone},
  };
  for (const Step& s : steps)
    EXPECT_EQ(ImageBatchDecision(&st, s.bits, s.w, s.h, s.kind, s.rop, false), s.decision) << s.w << "x" << s.h;
  // Equal depths alone may make the batch.
  st = {};
  EXPECT_EQ(ImageBatchDecision(&st, 24, 10, 10, 2, 0xCC, true), kBatchNew);
  EXPECT_EQ(ImageBatchDecision(&st, 24, 99, 77, 2, 0xCC, true), kBatchContinue);
}

TEST(ColourContext, TheOutsideLibraryConvertsQueuedImagesAsOneBatch) {
  ColourSettings s = colour();
  s.library_parameter = 3;
  s.library_path = u"morva_test_kpe.dll";
  s.library_data_path = "kpe.dat";
  ColourContext* c = nullptr;
  ASSERT_EQ(ColourContext_CreateFrom(&c, s, nullptr), 0);
  ASSERT_NE(c->library.handle, nullptr);
  ImageBatchState batch{};
  bool flush = false;
  EXPECT_TRUE(PrepareImageConversion(c, &batch, 24, 2, 1, 2, 0xCC, &flush) & kPlanLibrary);
  EXPECT_TRUE(flush);
  EXPECT_EQ(ImageColourSpace(c), 4);
  EXPECT_TRUE(PrepareImageConversion(c, &batch, 24, 2, 1, 2, 0xCC, &flush) & kPlanLibrary);
  EXPECT_FALSE(flush);
  // Two bands whose brightest value is 200: both stretch by 255 / 200.
  Bytes a = {100, 0, 200, 50, 50, 50}, b = {20, 40, 80, 0, 0, 0};
  std::vector<QueuedImageData> queue = {{&a, 2, 1}, {&b, 2, 1}};
  ASSERT_EQ(ColourContext_ConvertQueuedImages(c, queue, TRUE), 0);
  EXPECT_EQ(a, (Bytes{127, 0, 255, 63, 63, 63}));
  EXPECT_EQ(b, (Bytes{25, 51, 102, 0, 0, 0}));
  // A batch that already reaches 255 is left as it is; so is every batch
  // when the flush does not use the library.
  Bytes full = {255, 10, 10};
  std::vector<QueuedImageData> one = {{&full, 1, 1}};
  ASSERT_EQ(ColourContext_ConvertQueuedImages(c, one, TRUE), 0);
  EXPECT_EQ(full, (Bytes{255, 10, 10}));
  Bytes dim = {10, 20, 30};
  one = {{&dim, 1, 1}};
  ASSERT_EQ(ColourContext_ConvertQueuedImages(c, one, FALSE), 0);
  EXPECT_EQ(dim, (Bytes{10, 20, 30}));
  // An 8-bit image goes without the library and asks for the queue first.
  EXPECT_FALSE(PrepareImageConversion(c, &batch, 8, 2, 1, 2, 0xCC, &flush) & kPlanLibrary);
  EXPECT_TRUE(flush);
  EXPECT_EQ(ImageColourSpace(c), 3);
  ColourContext_Destroy(&c);
}

TEST(ColourContext, AMissingLibraryIsLeftOffSilently) {
  ColourSettings s = colour();
  s.library_parameter = 3;
  s.library_path = u"no_such_kpe.dll";
  ColourContext* c = nullptr;
  ASSERT_EQ(ColourContext_CreateFrom(&c, s, nullptr), 0);
  EXPECT_EQ(c->library.handle, nullptr);
  EXPECT_EQ(c->correction & kCorrectLibrary, kCorrectLibrary);
  ImageBatchState batch{};
  EXPECT_FALSE(PrepareImageConversion(c, &batch, 24, 2, 1, 2, 0xCC, nullptr) & kPlanLibrary);
  ColourContext_Destroy(&c);
}

}  // namespace
