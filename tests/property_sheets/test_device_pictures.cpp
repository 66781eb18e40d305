// The device picture from the database's picture records and their
// conditions, the colour-mode picture and the position icons.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../settings/ddd_fixture.h"
#include "picture_fixture.h"
#include "preview_art.h"
#include "property_sheets/device_pictures.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace {

using morva::test::json;
using morva::test::pixel;
namespace art = morva::preview_art;

std::string hex(const std::vector<std::uint8_t>& bytes) {
  std::string s;
  char b[3];
  for (auto c : bytes) {
    std::snprintf(b, sizeof b, "%02X", c);
    s += b;
  }
  return s;
}

// A BMP of one colour with a dark frame, `bits` 8 (a palette picture) or 4.
std::string block(int w, int h, art::Colour colour, int bits) {
  art::Canvas c(w, h, colour);
  c.frame(0, 0, w, h, art::kDark);
  return hex(art::bmp_bytes(c, bits));
}

json cond(WORD ddmid, json value, int connector, int op = 1) {
  return json{{"op", op}, {"ddmid", ddmid}, {"value", value}, {"connector", connector}};
}
json flag(int v) { return json{{"type", 1}, {"value", v}}; }

// Settings the conditions read: a DEVMODE and PrinterData pair.
struct Settings {
  std::vector<BYTE> dm = std::vector<BYTE>(5988, 0), pd = std::vector<BYTE>(7972, 0);
  void set(WORD ddmid, WORD type, DWORD v) {
    ASSERT_TRUE(SetItemValue(ddmid, dm.data(), pd.data(), static_cast<DWORD>(-1), type, &v)) << ddmid;
  }
};

class DevicePictureTest : public morva::test::DddTest {
 protected:
  // The printer body, a finisher on option 4114, a duplex unit shown for
  // two-sided printing (16 in {2, 3}, a table), a large tray (4100 = 1 or
  // 4101 = 1) and a cover tray unless 4102 is 1.
  void open_device() {
    json records = json::array({
        {{"kind", 9}, {"picture", {0, 0, 1}}},
        {{"kind", 9}, {"conditions", {cond(4114, flag(1), 3)}}, {"picture", {0, 0, 2}}},
        {{"kind", 9}, {"conditions", {cond(16, json{{"type", 128}, {"table", 1}}, 3)}}, {"picture", {0, 0, 3}}},
        {{"kind", 9}, {"conditions", {cond(4100, flag(1), 2), cond(4101, flag(1), 3)}}, {"picture", {0, 0, 4}}},
        {{"kind", 9}, {"conditions", {cond(4102, flag(1), 3, 2)}}, {"picture", {0, 0, 5}}},
        {{"kind", 12}, {"id", 1}, {"format", 1}, {"word1", 10}, {"word2", 20}, {"bitmap", block(60, 40, art::kLight, 8)}},
        {{"kind", 12}, {"id", 2}, {"format", 1}, {"word1", 70}, {"word2", 20}, {"bitmap", block(20, 40, art::kBlue, 8)}},
        {{"kind", 12}, {"id", 3}, {"format", 1}, {"word1", 10}, {"word2", 60}, {"bitmap", block(60, 10, art::kGreen, 4)}},
        {{"kind", 12}, {"id", 4}, {"format", 1}, {"word1", 10}, {"word2", 70}, {"bitmap", block(60, 12, art::kOrange, 8)}},
        {{"kind", 12}, {"id", 5}, {"format", 1}, {"word1", 10}, {"word2", 8}, {"bitmap", block(60, 12, art::kPurple, 8)}},
        {{"kind", 20}, {"id", 1}, {"type", 3}, {"element_size", 2}, {"elements", {2, 3}}},
    });
    open(morva::test::one_file(records));
  }

  // The pictures drawn for the control, as the colour at each picture's
  // middle: the body, finisher, duplex unit, large tray, cover tray.
  std::vector<bool> shown(Settings& s, UINT control, INT* result = nullptr, const std::string& png = {}) {
    PreviewImage* list = nullptr;
    HPALETTE palette = nullptr;
    const INT r = BuildDeviceOptionPictureFor(handle, s.dm.data(), s.pd.data(), nullptr, control, &list, &palette);
    if (result) *result = r;
    std::vector<bool> out;
    if (r != 0) {
      EXPECT_EQ(list, nullptr);
      return out;
    }
    HBITMAP b = RenderPictureBitmap(nullptr, list, palette, 100, 90, TRUE);
    FreePreviewImages(list);
    if (palette) DeleteObject(palette);
    if (!png.empty()) {
      EXPECT_TRUE(morva::platform::write_png(b, png));
    }
    const struct {
      int x, y;
      COLORREF c;
    } probes[] = {{40, 40, RGB(215, 215, 215)}, {80, 40, RGB(40, 90, 200)}, {40, 65, RGB(40, 160, 60)},
                  {40, 76, RGB(240, 150, 30)},  {40, 14, RGB(140, 60, 160)}};
    for (const auto& p : probes) out.push_back(pixel(b, p.x, p.y) == p.c);
    DeleteObject(b);
    return out;
  }
};

TEST_F(DevicePictureTest, RecordsFollowTheInstalledOptionsAndTheControl) {
  open_device();
  Settings s;
  s.set(16, 2, 1);
  s.set(4114, 1, 1);
  s.set(4100, 1, 0);
  s.set(4101, 1, 1);
  s.set(4102, 1, 1);
  // Finisher shown, duplex off, large tray through the second alternative,
  // cover tray hidden.
  EXPECT_EQ(shown(s, kDevicePictureControl, nullptr, root.file("device.png")),
            (std::vector<bool>{true, true, false, true, false}));
  // Control 1310 ignores the condition on 16 (the duplex record is never
  // drawn there) but follows the installed options.
  s.set(16, 2, 2);
  EXPECT_EQ(shown(s, kDevicePictureControl), (std::vector<bool>{true, true, true, true, false}));
  EXPECT_EQ(shown(s, kInstalledOptionsPictureControl), (std::vector<bool>{true, true, false, true, false}));
  s.set(4101, 1, 0);
  s.set(4102, 1, 0);
  s.set(4114, 1, 0);
  EXPECT_EQ(shown(s, kDevicePictureControl), (std::vector<bool>{true, false, true, false, true}));
}

TEST_F(DevicePictureTest, AnUnreadableSettingGivesNoPicture) {
  json records = json::array({
      {{"kind", 9}, {"picture", {0, 0, 1}}},
      {{"kind", 9}, {"conditions", {cond(65000, flag(1), 3)}}, {"picture", {0, 0, 1}}},
      {{"kind", 12}, {"id", 1}, {"format", 1}, {"bitmap", block(8, 8, art::kLight, 8)}},
  });
  open(morva::test::one_file(records));
  Settings s;
  INT result = 0;
  EXPECT_TRUE(shown(s, kDevicePictureControl, &result).empty());
  EXPECT_EQ(result, 3);
}

// Conditions built in memory, for the evaluation rules alone.
struct Conditions {
  std::vector<DddCondition> list;
  std::vector<std::vector<BYTE>> data;
  void add(WORD ddmid, std::vector<WORD> values, BYTE connector, BYTE op = 1) {
    std::vector<BYTE> bytes;
    for (WORD v : values) {
      bytes.push_back(static_cast<BYTE>(v & 0xFF));
      bytes.push_back(static_cast<BYTE>(v >> 8));
      bytes.push_back(0);
      bytes.push_back(0);
    }
    data.push_back(bytes);
    DddCondition c{};
    c.operand.op = op;
    c.operand.ddmid = ddmid;
    c.operand.value.type = 1;
    c.operand.value.element_size = 4;
    c.operand.value.count = static_cast<WORD>(values.size());
    c.connector = connector;
    list.push_back(c);
  }
  const DddCondition* get() {
    for (size_t k = 0; k < list.size(); ++k) list[k].operand.value.data = data[k].empty() ? nullptr : data[k].data();
    return list.data();
  }
};

TEST(PictureConditions, ConnectorsGroupsAndModes) {
  Settings s;
  s.set(4097, 1, 1);
  s.set(4098, 1, 0);
  struct Case {
    const char* name;
    std::function<void(Conditions&)> build;
    INT drawn;
  } cases[] = {
      {"satisfied, last of its group", [](Conditions& c) { c.add(4097, {1}, 3); }, 1},
      {"mode 2: none of the values", [](Conditions& c) { c.add(4097, {2, 3}, 3, 2); }, 1},
      {"mode 2 with an equal value", [](Conditions& c) { c.add(4097, {3, 1}, 3, 2); }, 0},
      {"no values: mode 1 fails", [](Conditions& c) { c.add(4097, {}, 3); }, 0},
      {"no values: mode 2 holds", [](Conditions& c) { c.add(4097, {}, 3, 2); }, 1},
      {"and: both must hold", [](Conditions& c) { c.add(4097, {1}, 0); c.add(4098, {1}, 3); }, 0},
      {"a failed group, the next group holds",
       [](Conditions& c) { c.add(4097, {5}, 0); c.add(4098, {0}, 3); c.add(4098, {0}, 4); }, 1},
      {"or: the first alternative skips the rest",
       [](Conditions& c) { c.add(4097, {1}, 2); c.add(9999, {1}, 3); }, 1},
      {"or: the second alternative", [](Conditions& c) { c.add(4097, {7}, 2); c.add(4098, {0}, 3); }, 1},
      {"or, then more of the group", [](Conditions& c) {
         c.add(4097, {1}, 2); c.add(4098, {9}, 2); c.add(4098, {9}, 0); c.add(4098, {5}, 3); }, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    Conditions list;
    c.build(list);
    const DddCondition* conditions = list.get();
    EXPECT_EQ(PictureRecordIsDrawn(conditions, static_cast<WORD>(list.list.size()), kDevicePictureControl, 0,
                                   s.dm.data(), s.pd.data()),
              c.drawn);
  }
}

TEST(PictureConditions, AListThatCannotBeReadFailsTheEvaluation) {
  Settings s;
  s.set(4097, 1, 1);
  Conditions list;
  list.add(4097, {1}, 3);
  list.list[0].operand.value.type = 128;  // the table it names was not resolved
  EXPECT_EQ(EvaluatePictureCondition(list.get(), s.dm.data(), s.pd.data()), -1);
  EXPECT_EQ(PictureRecordIsDrawn(list.get(), 1, kDevicePictureControl, 0, s.dm.data(), s.pd.data()), -1);
  Conditions missing;
  missing.add(4097, {1}, 3);
  missing.data[0].clear();  // entries without data
  EXPECT_EQ(EvaluatePictureCondition(missing.get(), s.dm.data(), s.pd.data()), -1);
  EXPECT_EQ(EvaluatePictureCondition(nullptr, s.dm.data(), s.pd.data()), -2);
}

TEST(PictureConditions, WhichConditionsTakePart) {
  const struct {
    WORD ddmid;
    UINT control;
    DWORD capability;
    BOOL applies;
  } cases[] = {
      {4114, 1187, 0, TRUE},      {4114, 1187, 0x100000, FALSE}, {4114, 1310, 0x100000, TRUE},
      {16, 1310, 0, FALSE},       {5123, 1310, 0, TRUE},         {4371, 1310, 0, TRUE},
      {4372, 1310, 0, FALSE},     {16, 1187, 0x100000, TRUE},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PictureConditionApplies(c.ddmid, c.control, c.capability), c.applies) << c.ddmid << "/" << c.control;
}

TEST(ColourModePicture, BitmapByModeAndSettings) {
  const struct {
    LONG v270, v271, v390, v293;
    BOOL offers;
    WORD id;
  } cases[] = {
      {1, 1, 0, 0, FALSE, 903},     {1, 769, 0, 0, FALSE, 902},    {1, 513, 0, 0, FALSE, 901},
      {1, 2, 0, 0, FALSE, 0},       {2, 257, 4, 2, FALSE, 943},    {2, 1032, 6, 2, FALSE, 930},
      {2, 8, 3, 2, FALSE, 0},       {0, 264, 3, 2, FALSE, 1333},   {3, 1288, 9, 2, FALSE, 1014},
      {0, 257, 1, 2, FALSE, 0},     {0, 1032, 2, 2, FALSE, 948},   {0, 1, 0, 3, TRUE, 914},
      {0, 1, 0, 3, FALSE, 915},     {2, 1, 0, 4, TRUE, 917},       {3, 1, 0, 1, TRUE, 895},
      {4, 1, 0, 1, FALSE, 0},       {0, 1, 0, 5, FALSE, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ColourModeBitmapId(c.v270, c.v271, c.v390, c.v293, c.offers), c.id)
        << c.v270 << " " << c.v271 << " " << c.v390 << " " << c.v293;
}

TEST(PositionIcons, IconBySideAndPosition) {
  const struct {
    UINT control;
    LONG side, position, v1291, v322;
    WORD id;
  } cases[] = {
      {1199, 0, 0, 0, 0, 363}, {1199, 2, 3, 0, 0, 999}, {1199, 1, 7, 0, 0, 360}, {1205, 1, 8, 0, 0, 372},
      {1205, 2, 6, 0, 0, 367}, {1205, 3, 9, 0, 0, 0},   {1508, 0, 0, 1, 0, 804}, {1531, 0, 0, 1, 1, 802},
      {1508, 0, 0, 0, 1, 805}, {1531, 0, 0, 0, 0, 807}, {1000, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PositionIconId(c.control, c.side, c.position, c.v1291, c.v322), c.id) << c.control;
}

}  // namespace

namespace {

// The colour sample painted for the settings: the colour at a point of the
// hue band, of the warm tones and of the grey steps.
struct SampleColours {
  COLORREF hue, warm, grey;
};

SampleColours sample(const ColourSampleRecord* record, Settings& s, const std::string& png = {}) {
  PreviewImage* list = nullptr;
  HPALETTE palette = nullptr;
  EXPECT_EQ(BuildColourSample(record, s.dm.data(), s.pd.data(), nullptr, &list, &palette), 0);
  if (!list) return {};
  HBITMAP b = RenderPictureBitmap(nullptr, list, palette, 96, 48, FALSE);
  FreePreviewImages(list);
  DeleteObject(palette);
  if (!png.empty()) {
    EXPECT_TRUE(morva::platform::write_png(b, png));
  }
  const SampleColours c{pixel(b, 20, 10), pixel(b, 40, 30), pixel(b, 50, 42)};
  DeleteObject(b);
  return c;
}

bool is_grey(COLORREF c) { return GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c); }
int level(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); }

TEST(ColourSample, TheSettingsRecolourThePatches) {
  morva::test::ResourceModule res;
  ColourSampleRecord* record = nullptr;
  ASSERT_EQ(LoadColourSample(res.get(), &record), 0);
  Settings s;
  const SampleColours plain = sample(record, s);
  EXPECT_FALSE(is_grey(plain.hue));
  EXPECT_FALSE(is_grey(plain.warm));
  EXPECT_TRUE(is_grey(plain.grey));

  s.set(274, 2, 60);  // brightness of the whole chart
  const SampleColours brighter = sample(record, s);
  EXPECT_GT(level(brighter.grey), level(plain.grey));
  EXPECT_GT(level(brighter.warm), level(plain.warm));

  s.set(274, 2, 0);  // separate patches: only the greys get brighter
  s.set(1314, 1, 1);
  s.set(276, 2, 60);
  const SampleColours greys_only = sample(record, s);
  EXPECT_EQ(greys_only.hue, plain.hue);
  EXPECT_EQ(greys_only.warm, plain.warm);
  EXPECT_GT(level(greys_only.grey), level(plain.grey));

  s.set(270, 8, 1);  // grey mode: every patch grey, saturation ignored
  s.set(280, 2, 100);
  const SampleColours grey = sample(record, s);
  EXPECT_TRUE(is_grey(grey.hue));
  EXPECT_TRUE(is_grey(grey.warm));
  FreeColourSample(&record);
  EXPECT_EQ(record, nullptr);

  HMODULE empty = morva::platform::open_resource_container(std::vector<BYTE>{});
  EXPECT_EQ(LoadColourSample(empty, &record), 5);
  if (empty) morva::platform::close_resource_container(empty);
}

}  // namespace
