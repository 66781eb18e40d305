#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "ddm/ddmid.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_info.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/items/setting_items.h"
#include "settings/items/stamp_defaults.h"
#include "win/resources.h"
#include "win/win.h"
#include "xrs_compiler.h"

namespace {

using namespace morva::ddm;
using morva::test::json;
using morva::test::wide;

json choice(const char* name, json value, json extra = json::object()) {
  json c = {{"kind", 14}, {"name", name}, {"value", value}};
  c.update(extra);
  return c;
}
json word(unsigned v) { return {{"type", 3}, {"value", v}}; }

// A paper item with the custom size and a user paper, a tray's paper item,
// a two-level list with a blob, a list of texts and an unusable item.
json item_database() {
  return morva::test::one_file(json::array({
      {{"kind", 4}, {"id", 8}, {"name", "Paper Size"}, {"default", 1}, {"choices", {1, 2, 3, 4}}},
      choice("A4", word(9)),
      choice("Letter", word(1)),
      choice("Custom Size", word(256)),
      choice("User Paper", word(262)),
      {{"kind", 4}, {"id", 7}, {"name", "Orientation"}, {"flags", 2}, {"choices", {5, 6}}},
      choice("Portrait", {{"type", 2}, {"value", 1}}),
      choice("Landscape", {{"type", 2}, {"value", 2}}, {{"blob", 1}}),
      {{"kind", 4}, {"id", 297}, {"name", "Stamp"}, {"choices", {7, 8}}},
      choice("Draft stamp", {{"type", 6}, {"value", "Draft"}}),
      choice("Copy stamp", {{"type", 6}, {"value", "Copy"}}),
      {{"kind", 4}, {"id", 6145}, {"name", "Tray 1"}, {"choices", {9, 10, 11}}},
      choice("A4", word(9)),
      choice("User Paper", word(262)),
      choice("Tray Size", word(275)),
      {{"kind", 4}, {"id", 16}, {"name", "Two-Sided"}, {"flags", 0}, {"choices", {12}}},
      choice("Off", {{"type", 2}, {"value", 1}}),
      {{"kind", 18}, {"id", 1}, {"bytes", "0a0b0c"}},
  }));
}

std::u16string text_of(const ItemInfo* info, LONG i) { return wide(ItemInfo_GetChoiceText(info, i)); }

LONG value_of(const ItemInfo* info, LONG i) { return GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, i)); }

void set_number(void* dm, void* pd, WORD ddmid, LONG value) {
  const DdmidDescriptor* d = dma_Descriptor(ddmid);
  ASSERT_NE(d, nullptr);
  ItemValue v{};
  StoreTypedValue(d->type, &v, &value);
  ASSERT_EQ(SetItemValueRaw(ddmid, dm, pd, d->type, dma_TypeSize(d->type), &v), kDdmOk) << ddmid;
}

void set_text(void* dm, void* pd, WORD ddmid, const char16_t* text) {
  const void* p = text;
  ASSERT_EQ(SetItemValueRaw(ddmid, dm, pd, kTypeString, static_cast<DWORD>((wide(text).size() + 1) * 2), &p), kDdmOk);
}

class ItemInfoTest : public morva::test::DddTest {
 protected:
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);
  HMODULE resources = nullptr;

  void SetUp() override {
    resources = morva::platform::open_resource_container(std::string(MORVA_BIN_DIR) + "/morvares.xrs");
    ASSERT_NE(resources, nullptr);
  }
  void TearDown() override {
    morva::platform::close_resource_container(resources);
    DddTest::TearDown();
  }
  ItemInfo* build(WORD ddmid, const ItemInfoOptions* options = nullptr) {
    return BuildItemInfo(handle, ddmid, dm.data(), pd.data(), resources, options);
  }
  // The stored sizes the paper texts show: the custom size, user paper
  // slot 0 and the size of tray 1.
  void store_paper_sizes() {
    set_number(dm.data(), pd.data(), 1863, 1000);
    set_number(dm.data(), pd.data(), 1864, 1500);
    set_text(dm.data(), pd.data(), 5929, u"Mine");
    set_number(dm.data(), pd.data(), 5889, 1000);
    set_number(dm.data(), pd.data(), 5909, 2000);
    set_number(dm.data(), pd.data(), 6190, 1480);
    set_number(dm.data(), pd.data(), 6205, 2100);
  }
};

TEST_F(ItemInfoTest, DatabaseItemsGiveKindNameAndChoices) {
  open(item_database());
  struct Case {
    WORD ddmid;
    WORD kind;
    std::u16string name;
    std::vector<LONG> values;
    std::vector<std::u16string> texts;
  } cases[] = {
      {7, 2, u"Orientation", {1, 2}, {u"Portrait", u"Landscape"}},
      {16, 0, u"Two-Sided", {1}, {u"Off"}},
      {13, 0, u"", {}, {}},  // no database item and no handler: not built
  };
  for (const Case& c : cases) {
    ItemInfo* info = build(c.ddmid);
    if (c.name.empty()) {
      EXPECT_EQ(info, nullptr) << c.ddmid;
      continue;
    }
    ASSERT_NE(info, nullptr) << c.ddmid;
    EXPECT_EQ(wide(ItemInfo_GetName(info)), c.name);
    EXPECT_EQ(ItemInfo_GetKind(info), c.kind) << c.ddmid;
    ASSERT_EQ(ItemInfo_GetChoiceCount(info), static_cast<LONG>(c.values.size())) << c.ddmid;
    for (size_t i = 0; i < c.values.size(); ++i) {
      EXPECT_EQ(value_of(info, static_cast<LONG>(i)), c.values[i]) << c.ddmid << " choice " << i;
      EXPECT_EQ(text_of(info, static_cast<LONG>(i)), c.texts[i]) << c.ddmid << " choice " << i;
      EXPECT_EQ(ItemInfo_GetChoiceIcon(info, static_cast<LONG>(i)), nullptr);  // database choices have none
    }
    EXPECT_TRUE(ItemInfo_Free(info));
  }

  // A choice's blob is its data.
  ItemInfo* info = build(7);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ItemInfo_GetChoiceData(info, 0), nullptr);
  const auto* blob = static_cast<const DddBlob*>(ItemInfo_GetChoiceData(info, 1));
  ASSERT_NE(blob, nullptr);
  ASSERT_EQ(blob->size, 3);
  EXPECT_EQ(blob->data[2], 0x0c);
  ItemInfo_Free(info);

  // Text values are the choices' own copies, compared as texts.
  info = build(297);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ItemInfo_GetKind(info), kItemKindList);  // the builder's kind for an item with choices
  EXPECT_EQ(info->value_type, kTypeString);
  EXPECT_EQ(GetTypeCompare(kTypeString, ItemInfo_GetChoiceAt(info, 1), u"Copy"), 0);
  EXPECT_EQ(text_of(info, 0), u"Draft stamp");
  ItemInfo_Free(info);
}

TEST_F(ItemInfoTest, AccessorsCheckTheIndex) {
  open(item_database());
  ItemInfo* info = build(7);
  ASSERT_NE(info, nullptr);
  for (LONG i : {-1L, 2L, 1000L}) {
    EXPECT_EQ(ItemInfo_GetChoice(info, i), nullptr) << i;
    EXPECT_EQ(ItemInfo_GetChoiceAt(info, i), nullptr) << i;
    EXPECT_EQ(ItemInfo_GetChoiceText(info, i), nullptr) << i;
    EXPECT_EQ(ItemInfo_GetChoiceIcon(info, i), nullptr) << i;
    EXPECT_EQ(ItemInfo_GetChoiceData(info, i), nullptr) << i;
  }
  EXPECT_EQ(ItemInfo_GetChoice(info, 1), &info->choices[1]);
  // By the beginning of the text, over the given text's length.
  EXPECT_EQ(ItemInfo_FindChoiceByText(info, u"Land"), &info->choices[1]);
  EXPECT_EQ(ItemInfo_FindChoiceByText(info, u""), &info->choices[0]);
  EXPECT_EQ(ItemInfo_FindChoiceByText(info, u"Landscapes"), nullptr);
  EXPECT_EQ(ItemInfo_FindChoiceByText(info, nullptr), nullptr);
  EXPECT_TRUE(ItemInfo_SetKind(info, kItemKindList));
  EXPECT_EQ(ItemInfo_GetKind(info), kItemKindList);
  EXPECT_TRUE(ItemInfo_Free(info));

  // A null info answers nothing.
  EXPECT_EQ(ItemInfo_GetName(nullptr), nullptr);
  EXPECT_EQ(ItemInfo_GetKind(nullptr), 0);
  EXPECT_FALSE(ItemInfo_SetKind(nullptr, 1));
  EXPECT_EQ(ItemInfo_GetChoiceCount(nullptr), -1);
  EXPECT_EQ(ItemInfo_GetChoiceText(nullptr, 0), nullptr);
  EXPECT_EQ(ItemInfo_FindChoiceByText(nullptr, u"A"), nullptr);
  EXPECT_FALSE(ItemInfo_Free(nullptr));
  // No item for the DDMID at all.
  EXPECT_EQ(build(0), nullptr);
  EXPECT_EQ(build(9999), nullptr);
}

TEST_F(ItemInfoTest, HandlerItems) {
  open(item_database(), u"C:\\drivers\\T.DDD");
  // dmCopies: a number with its minimum, maximum and step; the model's
  // maximum is global field 4 (none here).
  ItemInfo* info = build(12);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ItemInfo_GetKind(info), kItemKindNumber);
  EXPECT_EQ(wide(ItemInfo_GetName(info)), u"");
  EXPECT_EQ(info->value_type, kTypeShort);
  ASSERT_EQ(ItemInfo_GetChoiceCount(info), 3);
  EXPECT_EQ(value_of(info, 0), 1);
  EXPECT_EQ(value_of(info, 1), 0);
  EXPECT_EQ(value_of(info, 2), 1);
  EXPECT_EQ(text_of(info, 0), u"1");
  ItemInfo_Free(info);

  // The stamp names: "none" (an empty name) first; no stamps are stored.
  info = build(298);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ItemInfo_GetKind(info), kItemKindList);
  ASSERT_EQ(ItemInfo_GetChoiceCount(info), 1);
  EXPECT_EQ(wide(static_cast<const WCHAR*>(ItemInfo_GetChoiceAt(info, 0))), u"");
  EXPECT_EQ(text_of(info, 0), u"None");
  ItemInfo_Free(info);

  // Face names come from the page's list; without one there are none.
  const LPCWSTR faces[] = {u"DejaVu Sans", u"DejaVu Serif"};
  const ItemInfoOptions with_faces{FALSE, FALSE, 2, faces};
  for (WORD ddmid : {WORD{305}, WORD{358}}) {
    info = build(ddmid, &with_faces);
    ASSERT_NE(info, nullptr) << ddmid;
    ASSERT_EQ(ItemInfo_GetChoiceCount(info), 2);
    EXPECT_EQ(wide(static_cast<const WCHAR*>(ItemInfo_GetChoiceAt(info, 1))), u"DejaVu Serif");
    EXPECT_EQ(text_of(info, 1), u"DejaVu Serif");
    ItemInfo_Free(info);
    info = build(ddmid);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(ItemInfo_GetChoiceCount(info), -1);
    EXPECT_EQ(ItemInfo_GetChoice(info, 0), nullptr);
    ItemInfo_Free(info);
  }
  const LPCWSTR broken[] = {u"A", nullptr};
  const ItemInfoOptions with_gap{FALSE, FALSE, 2, broken};
  EXPECT_EQ(build(305, &with_gap), nullptr);

  // A handler without the kind mode and no database item: not built.
  EXPECT_EQ(build(2), nullptr);
}

TEST_F(ItemInfoTest, HandlerItemsOfADatabaseWithoutItems) {
  open(morva::test::one_file(json::array()));
  // The papers come only from the database (or a paper-size list).
  EXPECT_EQ(build(8), nullptr);
  // Copies and the stamp name need nothing from it.
  for (WORD ddmid : {WORD{12}, WORD{298}}) {
    ItemInfo* info = build(ddmid);
    ASSERT_NE(info, nullptr) << ddmid;
    EXPECT_NE(ItemInfo_GetKind(info), 0) << ddmid;
    ItemInfo_Free(info);
  }
}

TEST_F(ItemInfoTest, PaperChoiceTexts) {
  struct Case {
    WORD width;
    WORD length;
    BOOL inches;
    BOOL tenths;
    std::u16string text;
  } cases[] = {
      {2100, 2970, FALSE, FALSE, u"A4 (210 x 297 mm)"},
      {2159, 2794, TRUE, FALSE, u"A4 (8.50 x 11.00 in)"},
      {2100, 2970, TRUE, FALSE, u"A4 (8.27 x 11.69 in)"},  // rounded to hundredths
      {2100, 2970, TRUE, TRUE, u"A4 (8.2 x 11.6 in)"},     // tenths are cut, not rounded
      {1005, 99, FALSE, FALSE, u"A4 (100 x 9 mm)"},
      {3, 0, TRUE, FALSE, u"A4 (0.01 x 0.00 in)"},
  };
  for (const Case& c : cases) {
    const ItemInfoOptions units{c.inches, c.tenths, 0, nullptr};
    for (HMODULE module : {resources, HMODULE{nullptr}}) {  // the module's texts or the built-in ones
      LPWSTR text = PaperChoiceText(module, u"A4", c.width, c.length, &units);
      ASSERT_NE(text, nullptr);
      EXPECT_EQ(wide(text), c.text) << c.width << " x " << c.length;
      GlobalFree(text);
    }
  }
}

TEST_F(ItemInfoTest, PaperItemsShowStoredSizes) {
  open(item_database());
  store_paper_sizes();
  ItemInfo* info = build(8);
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(ItemInfo_GetChoiceCount(info), 4);
  EXPECT_EQ(text_of(info, 0), u"A4");
  EXPECT_EQ(text_of(info, 2), u"Custom Size (100 x 150 mm)");
  EXPECT_EQ(text_of(info, 3), u"Mine (100 x 200 mm)");
  EXPECT_EQ(value_of(info, 3), 262);
  ItemInfo_Free(info);

  // A tray's paper: the user paper, and the tray's own size without a name.
  const ItemInfoOptions inches{TRUE, FALSE, 0, nullptr};
  info = build(6145, &inches);
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(ItemInfo_GetChoiceCount(info), 3);
  EXPECT_EQ(text_of(info, 0), u"A4");
  EXPECT_EQ(text_of(info, 1), u"Mine (3.94 x 7.87 in)");
  EXPECT_EQ(text_of(info, 2), u" (5.83 x 8.27 in)");
  ItemInfo_Free(info);

  // Without the stored settings the sizes cannot be shown: no info.
  EXPECT_EQ(BuildItemInfo(handle, 8, dm.data(), nullptr, resources), nullptr);
  EXPECT_EQ(BuildItemInfo(handle, 8, nullptr, pd.data(), resources), nullptr);
  // An item without paper choices needs none.
  info = BuildItemInfo(handle, 7, nullptr, nullptr, resources);
  EXPECT_NE(info, nullptr);
  ItemInfo_Free(info);
}

TEST_F(ItemInfoTest, PaperSizeListGivesThePaperChoices) {
  open(item_database());
  store_paper_sizes();
  // A list as the paper-size list builder leaves it in the context: the
  // database's papers, then a spooler form of the user's.
  auto* list = static_cast<PaperSizeList*>(GlobalAlloc(GPTR, sizeof(PaperSizeList)));
  ASSERT_NE(list, nullptr);
  list->capacity = 3;
  list->entries = static_cast<PaperSizeEntry*>(GlobalAlloc(GPTR, 3 * sizeof(PaperSizeEntry)));
  ASSERT_NE(list->entries, nullptr);
  const struct {
    WORD number;
    const char16_t* name;
    WORD id;
  } papers[] = {{9, u"A4", 9}, {0, u"Custom Size", 256}, {30, u"Own Form", kFirstAddedPaperId}};
  for (int i = 0; i < 3; ++i) {
    list->entries[i].windows_number = papers[i].number;
    std::u16string(papers[i].name).copy(list->entries[i].name, kPaperNameChars - 1);
    list->entries[i].driver_paper_id = papers[i].id;
  }
  list->standard_count = 2;
  list->custom_count = 1;
  handle->papers = list;

  ItemInfo* info = build(8);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ItemInfo_GetKind(info), kItemKindList);
  EXPECT_EQ(wide(ItemInfo_GetName(info)), u"Paper Size");
  ASSERT_EQ(ItemInfo_GetChoiceCount(info), 3);
  for (LONG i = 0; i < 3; ++i) {
    EXPECT_EQ(value_of(info, i), papers[i].id);
    EXPECT_EQ(text_of(info, i), papers[i].name);  // the list's names, without sizes
  }
  ItemInfo_Free(info);
  // Other paper items keep their database choices and texts.
  info = build(6145);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(text_of(info, 1), u"Mine (100 x 200 mm)");
  ItemInfo_Free(info);
  FreePaperSizeList(handle);
}

TEST_F(ItemInfoTest, FailedAllocationFreesThePartialInfo) {
  open(item_database());
  store_paper_sizes();
  // Each allocation of the build fails once in turn: the build then gives
  // nothing (and leaks nothing) or, where the failing step has a way
  // round, the whole info.
  int failures = 0;
  for (int skip = 0; skip < 300; ++skip) {
    morva::platform::inject_allocation_failure(skip, 1);
    ItemInfo* info = build(8);
    morva::platform::inject_allocation_failure(0, 0);
    if (!info) {
      ++failures;
      continue;
    }
    ASSERT_EQ(ItemInfo_GetChoiceCount(info), 4) << skip;
    EXPECT_EQ(text_of(info, 2), u"Custom Size (100 x 150 mm)") << skip;
    EXPECT_EQ(text_of(info, 3), u"Mine (100 x 200 mm)") << skip;
    ItemInfo_Free(info);
  }
  EXPECT_GT(failures, 10);
}

// A resource module with icon 300 and no icon 301.
std::vector<BYTE> icon_module(const morva::test::TempRoot& root) {
  std::string ico;
  auto put16 = [&](unsigned v) { ico += static_cast<char>(v & 0xFF), ico += static_cast<char>(v >> 8); };
  auto put32 = [&](unsigned v) { put16(v & 0xFFFF), put16(v >> 16); };
  const unsigned image_bytes = 40 + 16 * 16 * 4 + 4 * 16;
  put16(0), put16(1), put16(1);
  ico += '\x10', ico += '\x10', ico += '\0', ico += '\0';
  put16(1), put16(32), put32(image_bytes), put32(22);
  put32(40), put32(16), put32(32), put16(1), put16(32);
  for (int i = 0; i < 6; ++i) put32(0);
  ico.append(image_bytes - 40, '\x7f');
  morva::test::write_file(root.file("icons/choice.ico"), ico);
  auto result = morva::xrs::compile_resource_text(R"({"icons": [{"id": 300, "file": "choice.ico"}]})",
                                                  root.file("icons"));
  EXPECT_TRUE(result.error.empty()) << result.error;
  return std::vector<BYTE>(result.container.begin(), result.container.end());
}

TEST_F(ItemInfoTest, ChoiceIconsLoadWhenTheModuleHasThem) {
  HMODULE icons = morva::platform::open_resource_container(icon_module(root));
  ASSERT_NE(icons, nullptr);
  auto* info = static_cast<ItemInfo*>(GlobalAlloc(GPTR, sizeof(ItemInfo)));
  ASSERT_NE(info, nullptr);
  info->ddmid = 7;
  ASSERT_TRUE(ItemInfoAllocChoices(info, 2));
  const SHORT one = 1, two = 2;
  ASSERT_TRUE(ItemInfoSetChoice(info, 0, kTypeShort, &one, u"With icon", icons, 300));
  ASSERT_TRUE(ItemInfoSetChoice(info, 1, kTypeShort, &two, u"Missing icon", icons, 301));
  HICON icon = ItemInfo_GetChoiceIcon(info, 0);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(morva::platform::resource_image(icon)->width, 16);
  EXPECT_EQ(ItemInfo_GetChoiceIcon(info, 1), nullptr);
  // Texts and numbers do not mix in one list.
  EXPECT_FALSE(ItemInfoSetChoice(info, 1, kTypeString, u"x", u"x", nullptr, 0));
  EXPECT_TRUE(ItemInfo_Free(info));  // frees the icon too
  morva::platform::close_resource_container(icons);
}

// The demo printer as the installer ships it.
class DemoPrinterItems : public ItemInfoTest {
 protected:
  void SetUp() override {
    ItemInfoTest::SetUp();
    open_demo();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  }
};

TEST_F(DemoPrinterItems, EveryBuiltItemIsUsable) {
  // Every item either has no ItemInfo on this model or one that the
  // default self-check can use: a kind other than 0, and texts on all
  // choices.
  int built = 0;
  for (const SettingItemGroup* g = GetItemGroups(); g->id != kItemGroupEnd; ++g) {
    for (WORD i = 0; i < g->count; ++i) {
      ItemInfo* info = build(g->items[i].ddmid);
      if (!info) continue;
      ++built;
      const bool face_list = info->ddmid == 305 || info->ddmid == 358;
      EXPECT_NE(ItemInfo_GetKind(info), 0) << info->ddmid;
      EXPECT_TRUE(ItemInfo_GetChoiceCount(info) > 0 || face_list) << info->ddmid;
      for (LONG c = 0; c < ItemInfo_GetChoiceCount(info); ++c)
        EXPECT_NE(ItemInfo_GetChoiceText(info, c), nullptr) << info->ddmid;
      ItemInfo_Free(info);
    }
  }
  EXPECT_GE(built, 10);
}

TEST_F(DemoPrinterItems, ChoicesFollowTheDescription) {
  struct Case {
    WORD ddmid;
    WORD kind;
    std::vector<LONG> values;
    std::vector<std::u16string> texts;
  } cases[] = {
      {8, 1, {9, 1}, {u"A4", u"Letter"}},
      {13, 1, {7, 1, 4}, {u"Automatic", u"Tray 1", u"Manual Feed"}},
      {16, 1, {1, 2, 3}, {u"Off", u"Long Edge", u"Short Edge"}},
      {270, 1, {1, 2}, {u"Black and White", u"Colour"}},
      {12, 4, {1, 999, 1}, {u"1", u"999", u"1"}},
  };
  for (const Case& c : cases) {
    ItemInfo* info = build(c.ddmid);
    ASSERT_NE(info, nullptr) << c.ddmid;
    EXPECT_EQ(ItemInfo_GetKind(info), c.kind) << c.ddmid;
    ASSERT_EQ(ItemInfo_GetChoiceCount(info), static_cast<LONG>(c.values.size())) << c.ddmid;
    for (size_t i = 0; i < c.values.size(); ++i) {
      EXPECT_EQ(value_of(info, static_cast<LONG>(i)), c.values[i]) << c.ddmid;
      EXPECT_EQ(text_of(info, static_cast<LONG>(i)), c.texts[i]) << c.ddmid;
    }
    ItemInfo_Free(info);
  }
  // The paper name comes from the database's string library.
  ItemInfo* info = build(8);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(wide(ItemInfo_GetName(info)), u"Paper Size");
  ItemInfo_Free(info);
}

}  // namespace
