// Database records: a builder round trip per kind, the level gates, typed
// values and tables, header loads and DddFreeValue.
#include <functional>

#include "ddd_fixture.h"
#include "win/endian.h"

namespace morva::test {
namespace {

json cond(WORD ddmid, unsigned value, unsigned connector = 0) {
  return {{"tag", 1}, {"op", 2}, {"ddmid", ddmid}, {"value", {{"type", 3}, {"value", value}}},
          {"connector", connector}};
}

// One record of every kind, the pieces they refer to, and a second file.
json every_kind(unsigned level) {
  json records = json::array({
      {{"kind", 3}, {"id", 4097}, {"name", "Item"}, {"flags", 5}, {"default", 2}, {"dimension", 1},
       {"choices", {1, 2}}, {"rules", {1}}, {"rules_alt", {1}}, {"blob", 1}, {"name2", "Item two"}},
      {{"kind", 4}, {"id", 8}, {"name", "Paper"}, {"default", 1}, {"choices", {1}}},
      {{"kind", 5}, {"name", "Range"}, {"dimension", 2}, {"word", 3}, {"ddmids", {8, 9}},
       {"second", {4}}, {"byte", 6}, {"name2", "Range two"}},
      {{"kind", 6}, {"name", "Range6"}, {"dimension", 1}},
      {{"kind", 7}, {"head", cond(8, 9)}, {"flags", 0x0102}, {"text", "Rule"},
       {"conditions", {cond(10, 1, 1), cond(11, 2)}}, {"actions", {cond(12, 3)}}},
      {{"kind", 8}, {"head", cond(1, 1)}},
      {{"kind", 9}, {"conditions", {cond(4, 4)}}, {"picture", {7, 8, 1}}},
      {{"kind", 10}, {"id", 9}, {"name", "A4"}, {"byte", 1}, {"size", 1}, {"area", 2}, {"margin", 3},
       {"word1", 11}, {"word2", 12}, {"byte2", 13}, {"fourth", 4}, {"last_word", 14}},
      {{"kind", 11}, {"name", "Font"}, {"family", "Family"}, {"faces", {"Arial", "", "Times"}},
       {"second", {"x"}}, {"skipped", "0102"}, {"data", "AABBCC"}, {"word", 15},
       {"values", {{{"type", 6}, {"value", "v"}}, {{"type", 3}, {"value", 513}}}}},
      {{"kind", 12}, {"format", 2}, {"word1", 16}, {"word2", 17}, {"skipped", "00"},
       {"bitmap", "424D0000000000000000000000002800"}},
      {{"kind", 13}, {"name", "Choice one"}, {"target_kind", 10}, {"target_id", 9}, {"dimension", 1},
       {"rules", {1}}, {"rules_alt", {1, 1}}, {"value", {{"type", 1}, {"value", 1}, {"size", 2}}}, {"blob", 1}},
      {{"kind", 13}, {"name", "Choice two"}, {"value", {{"type", 128}, {"table", 1}}}},
      {{"kind", 14}, {"name", "Letter"}, {"target_kind", 10}, {"target_id", 9},
       {"value", {{"type", 6}, {"value", "text value"}}}},
      {{"kind", 15}, {"ddmid", 4100}, {"conditions", {cond(5, 5)}}, {"command", "@PJL SET"},
       {"text", "ON"}, {"flags", 3}},
      {{"kind", 16}, {"conditions", {cond(6, 6)}}, {"byte1", 1}, {"byte2", 2}, {"bytes", "DEAD"}},
      {{"kind", 17}, {"first", {2100, 2970}}, {"second", {2200, 3000}}},
      {{"kind", 17}, {"first", {100, 200}}, {"second", {300, 400}}},
      {{"kind", 17}, {"first", {41, 42}}, {"second", {43, 44}}},
      {{"kind", 17}, {"first", {7, 8}}, {"second", {9, 10}}},
      {{"kind", 18}, {"bytes", "0102030405"}},
      {{"kind", 19}, {"text", "K19"}, {"byte", 9}, {"text2", "K19 two"}},
      {{"kind", 20}, {"word", 1}, {"type", 3}, {"element_size", 2}, {"elements", {5, 6, 7}}},
      {{"kind", 20}, {"type", 1}, {"element_size", 1}, {"elements", {0, 2, 1}}},
      {{"kind", 21}, {"name", "Set"}, {"entries", {{{"key", 1}, {"value", {{"type", 10}, {"value", 70000}}}}}}},
      {{"kind", 22}, {"word1", 1}, {"word2", 2}, {"type", 1}, {"size", 1}, {"byte", 3}, {"word3", 4},
       {"word4", 5}, {"strings", {"s1", "s2"}}, {"values", {{{"type", 1}, {"value", 7}}}}},
      {{"kind", 23}, {"conditions", {cond(7, 7)}}, {"triples", {{1, 2, 3}, {4, 5, 6}}}},
      {{"kind", 24}, {"name", "Set24"}, {"entries", {{{"key", 2}, {"value", {{"type", 6}, {"value", "sv"}}}}}}},
      {{"kind", 25}, {"text1", "one"}, {"text2", "two"}},
  });
  return one_file(records, level);
}

TEST_F(DddTest, EveryKindRoundTrips) {
  open(every_kind(0x2000));
  DddFile* f = &handle->main;

  auto* item = load<DddItem>(3, 4097);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->kind, 3);
  EXPECT_EQ(item->id, 4097);
  EXPECT_EQ(item->file_flag, DDD_ROLE_MAIN);
  EXPECT_EQ(wide(item->name), u"Item");
  EXPECT_EQ(item->name_bytes, 10);
  EXPECT_EQ(item->flags, 5);
  EXPECT_EQ(item->default_choice, 2);
  ASSERT_EQ(item->choices.count, 2);
  EXPECT_EQ(item->choices.items[1].value, 2);
  EXPECT_EQ(item->choices.items[1].kind, DDD_ELEM_WORD);
  EXPECT_EQ(item->choices.items[1].file, f);
  EXPECT_EQ(item->rules.count, 1);
  EXPECT_EQ(item->blob_id, 1);
  EXPECT_EQ(wide(item->name2), u"Item two");
  free_value(item);

  auto* range = load<DddRange>(5, 1);
  ASSERT_NE(range, nullptr);
  EXPECT_EQ(wide(range->name), u"Range");
  EXPECT_EQ(range->word, 3);
  ASSERT_EQ(range->ddmids.count, 2);
  EXPECT_EQ(range->ddmids.items[0].value, 8);
  EXPECT_EQ(range->byte, 6);
  EXPECT_EQ(wide(range->name2), u"Range two");
  EXPECT_EQ(range->minimum.first, 100);  // dimension record 2
  EXPECT_EQ(range->maximum.second, 400);
  free_value(range);

  auto* rule = load<DddRule>(7, 1);
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->head.ddmid, 8);
  EXPECT_EQ(rule->head.tag, 1);
  EXPECT_EQ(rule->head.op, 2);
  EXPECT_EQ(rule->head.value.count, 1);
  EXPECT_EQ(morva::load_le16(rule->head.value.data), 9);
  EXPECT_EQ(rule->flags, 0x0102);
  EXPECT_EQ(wide(rule->text), u"Rule");
  ASSERT_EQ(rule->conditions.count, 2);
  EXPECT_EQ(rule->conditions.items[0].connector, 1);
  EXPECT_EQ(rule->conditions.items[1].operand.ddmid, 11);
  ASSERT_EQ(rule->actions.count, 1);
  EXPECT_EQ(rule->actions.items[0].ddmid, 12);
  free_value(rule);

  auto* picture_rule = load<DddPictureRule>(9, 1);
  ASSERT_NE(picture_rule, nullptr);
  EXPECT_EQ(picture_rule->conditions.count, 1);
  EXPECT_EQ(picture_rule->picture.third, 1);
  free_value(picture_rule);

  auto* paper = load<DddPaper>(10, 9);
  ASSERT_NE(paper, nullptr);
  EXPECT_EQ(wide(paper->name), u"A4");
  EXPECT_EQ(paper->size.first, 2100);
  EXPECT_EQ(paper->size.second, 2970);
  EXPECT_EQ(paper->size_max.first, 2200);
  EXPECT_EQ(paper->area.first, 100);
  EXPECT_EQ(paper->margin_lb.first, 41);
  EXPECT_EQ(paper->margin_lb.second, 42);
  EXPECT_EQ(paper->margin_rt.first, 43);
  EXPECT_EQ(paper->margin_rt.second, 44);
  EXPECT_EQ(paper->fourth.first, 7);
  EXPECT_EQ(paper->fourth2.second, 10);
  EXPECT_EQ(paper->byte2, 13);
  EXPECT_EQ(paper->last_word, 14);
  free_value(paper);

  auto* font = load<DddDeviceFont>(11, 1);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(wide(font->family), u"Family");
  ASSERT_EQ(font->faces.count, 3);
  EXPECT_EQ(wide(font->faces.items[0].text), u"Arial");
  EXPECT_EQ(font->faces.items[1].text, nullptr);
  EXPECT_EQ(wide(font->faces.items[2].text), u"Times");
  EXPECT_EQ(font->second.count, 1);
  ASSERT_EQ(font->data_size, 3u);
  EXPECT_EQ(font->data[2], 0xCC);
  EXPECT_EQ(font->word, 15);
  ASSERT_EQ(font->values.count, 2);
  EXPECT_EQ(wide(font->values.items[0].text), u"v");
  EXPECT_EQ(font->values.items[1].size, 2);
  EXPECT_EQ(font->values.items[1].inline_value[1], 2);
  free_value(font);

  auto* picture = load<DddPicture>(12, 1);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->format, 2);
  EXPECT_EQ(picture->word2, 17);
  ASSERT_EQ(picture->bitmap_size, 2u);  // the 14-byte file header is dropped
  EXPECT_EQ(picture->bitmap[0], 0x28);
  free_value(picture);

  // Type 1 stored with size 2 takes one byte and loads as a 4-byte 1; the
  // blob id after it is read right.
  auto* choice = load<DddChoice>(13, 1);
  ASSERT_NE(choice, nullptr);
  EXPECT_EQ(choice->value.type, 1);
  EXPECT_EQ(choice->value.element_size, 4);
  EXPECT_TRUE(choice->value.owned);
  EXPECT_EQ(*static_cast<DWORD*>(choice->value.data), 1u);
  EXPECT_EQ(choice->blob_id, 1);
  EXPECT_EQ(choice->rules_alt.count, 2);
  EXPECT_EQ(choice->target_id, 9);
  free_value(choice);

  auto* text_choice = load<DddChoice>(14, 1);
  ASSERT_NE(text_choice, nullptr);
  EXPECT_EQ(text_choice->value.type, 6);
  EXPECT_EQ(wide(static_cast<WCHAR*>(text_choice->value.data)), u"text value");
  EXPECT_EQ(text_choice->value.element_size, 22);
  free_value(text_choice);

  auto* pjl = load<DddPjlEntry>(15, 1);
  ASSERT_NE(pjl, nullptr);
  EXPECT_EQ(pjl->ddmid, 4100);
  EXPECT_EQ(wide(pjl->command), u"@PJL SET");
  EXPECT_EQ(wide(pjl->text), u"ON");
  EXPECT_EQ(pjl->flags, 3);
  free_value(pjl);

  auto* bytes = load<DddConditionalBytes>(16, 1);
  ASSERT_NE(bytes, nullptr);
  ASSERT_EQ(bytes->size, 2);
  EXPECT_EQ(bytes->bytes[1], 0xAD);
  EXPECT_EQ(bytes->byte2, 2);
  free_value(bytes);

  auto* blob = load<DddBlob>(18, 1);
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(blob->kind, DDD_KIND_BLOB_DATA);
  ASSERT_EQ(blob->size, 5);
  EXPECT_EQ(blob->data[4], 5);
  DddValue* as_value = blob;
  EXPECT_EQ(DddFreeValue(&as_value, DDD_KIND_BLOB), 0);  // either kind frees it

  auto* k19 = load<DddKind19>(19, 1);
  ASSERT_NE(k19, nullptr);
  EXPECT_EQ(wide(k19->text2), u"K19 two");
  EXPECT_EQ(k19->byte, 9);
  free_value(k19);

  auto* table = load<DddRecordTable>(20, 1);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->count, 3);
  EXPECT_EQ(table->element_size, 2);
  EXPECT_EQ(table->elements[4], 7);
  free_value(table);

  auto* set = load<DddKeyValueSet>(21, 1);
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->entries.count, 1);
  EXPECT_EQ(set->entries.items[0].value.size, 4);
  EXPECT_EQ(morva::load_le32(set->entries.items[0].value.inline_value), 70000u);
  free_value(set);

  auto* config = load<DddDeviceConfigKey>(22, 1);
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->value_size, 4);  // type 1
  EXPECT_EQ(config->word4, 5);
  ASSERT_EQ(config->strings.count, 2);
  EXPECT_EQ(wide(config->strings.items[1].text), u"s2");
  ASSERT_EQ(config->values.count, 1);
  EXPECT_EQ(config->values.items[0].inline_value[0], 1);
  free_value(config);

  auto* triples = load<DddConditionalTriples>(23, 1);
  ASSERT_NE(triples, nullptr);
  ASSERT_EQ(triples->triples.count, 2);
  EXPECT_EQ(triples->triples.items[1].third, 6);
  EXPECT_EQ(triples->triples.items[1].kind, DDD_ELEM_WORD3);
  free_value(triples);

  auto* set24 = load<DddKeyValueSet>(24, 1);
  ASSERT_NE(set24, nullptr);
  EXPECT_EQ(wide(set24->entries.items[0].value.text), u"sv");
  free_value(set24);

  auto* k25 = load<DddKind25>(25, 1);
  ASSERT_NE(k25, nullptr);
  EXPECT_EQ(wide(k25->text2), u"two");
  free_value(k25);

  // Kinds without a loader.
  DddValue* v = nullptr;
  EXPECT_EQ(DddLoadValueByKind(DDD_LOAD_FULL, f, f, nullptr, 2, &v), DDD_BAD);
  EXPECT_EQ(DddLoadValueByKind(DDD_LOAD_FULL, f, f, nullptr, 26, &v), DDD_BAD);
}

TEST_F(DddTest, TableReferencesBecomeTheirTables) {
  json d = every_kind(0x2000);
  d["main"]["records"].push_back({{"kind", 14}, {"name", "Bools"}, {"value", {{"type", 128}, {"table", 2}}}});
  open(d);
  auto* words = load<DddChoice>(13, 2);
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(words->value.type, 3);
  EXPECT_EQ(words->value.count, 3);
  EXPECT_EQ(words->value.element_size, 2);
  EXPECT_FALSE(words->value.owned);  // points at the table in the image
  EXPECT_EQ(static_cast<BYTE*>(words->value.data)[2], 6);
  free_value(words);

  auto* bools = load<DddChoice>(14, 2);
  ASSERT_NE(bools, nullptr);
  EXPECT_EQ(bools->value.type, 1);
  ASSERT_EQ(bools->value.count, 3);
  EXPECT_TRUE(bools->value.owned);  // widened to 4-byte values
  const auto* wide_values = static_cast<const DWORD*>(bools->value.data);
  EXPECT_EQ(wide_values[0], 0u);
  EXPECT_EQ(wide_values[1], 1u);
  EXPECT_EQ(wide_values[2], 1u);
  free_value(bools);

  // An owned copy of a table-referenced value (used for defaults).
  WORD flag = 0;
  ASSERT_EQ(DddSeekRecord(FALSE, &handle->main, &handle->linked, DDD_ROLE_MAIN, 13, 2, &flag), DDD_OK);
  // Length and id, "Choice two" (2 + 11), three WORDs, two empty lists.
  ASSERT_EQ(DddSeek(&handle->main, TRUE, 6 + 13 + 6 + 6 + 6), DDD_OK);
  DddTypedValue copy{};
  ASSERT_EQ(DddReadTypedValueCopy(&handle->main, &copy), DDD_OK);
  EXPECT_TRUE(copy.owned);
  EXPECT_EQ(copy.count, 3);
  EXPECT_EQ(static_cast<BYTE*>(copy.data)[4], 7);
  DddReleaseTypedValue(&copy);
  EXPECT_EQ(copy.data, nullptr);
}

TEST_F(DddTest, ChoicesOfAnItemAndHeaderLoads) {
  open(every_kind(0x2000));
  DddValue* v = nullptr;
  ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, 3, 4097, 2, &v), DDD_OK);
  EXPECT_EQ(v->kind, DDD_KIND_CHOICE);
  EXPECT_EQ(wide(static_cast<DddChoice*>(v)->name), u"Choice two");
  DddFreeValue(&v, 0xFFFF);
  EXPECT_EQ(DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, 3, 4097, 3, &v), DDD_NOT_FOUND);
  EXPECT_EQ(DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, 10, 9, 1, &v), DDD_BAD);
  ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, 4, 8, 1, &v), DDD_OK);
  EXPECT_EQ(v->kind, DDD_KIND_CHOICE_ALT);
  DddFreeValue(&v, 0xFFFF);

  // Header loads: a choice skips its lists, a picture its bitmap, a font its data.
  auto* choice = load<DddChoice>(13, 1, DDD_LOAD_HEADER);
  ASSERT_NE(choice, nullptr);
  EXPECT_EQ(choice->rules_alt.count, 0);
  EXPECT_EQ(choice->dimension_id, 0);
  EXPECT_EQ(choice->blob_id, 1);
  free_value(choice);
  auto* picture = load<DddPicture>(12, 1, DDD_LOAD_HEADER);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->word1, 16);
  EXPECT_EQ(picture->bitmap, nullptr);
  free_value(picture);
  auto* font = load<DddDeviceFont>(11, 1, DDD_LOAD_HEADER);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->data, nullptr);
  EXPECT_EQ(font->word, 15);
  free_value(font);

  // Reading a name only.
  WORD flag = 0;
  ASSERT_EQ(DddSeekRecord(FALSE, &handle->main, &handle->linked, DDD_ROLE_MAIN, 10, 9, &flag), DDD_OK);
  WCHAR* name = nullptr;
  WORD bytes = 0;
  ASSERT_EQ(DddLoadChoiceName(&handle->main, 10, &name, &bytes), DDD_OK);
  EXPECT_EQ(wide(name), u"A4");
  EXPECT_EQ(bytes, 6);
  GlobalFree(name);
  EXPECT_EQ(DddLoadChoiceName(&handle->main, 12, &name, &bytes), DDD_BAD);
}

TEST_F(DddTest, PictureFormatAndFourthPaperRecord) {
  open(one_file(json::array({
      {{"kind", 12}, {"format", 3}, {"bitmap", "424D000000000000000000000000AA"}},
      {{"kind", 10}, {"id", 1}, {"name", "No fourth"}, {"size", 1}, {"area", 1}, {"margin", 1}, {"fourth", 0}},
      {{"kind", 10}, {"id", 2}, {"name", "Missing size"}, {"size", 5}, {"area", 1}, {"margin", 1}},
      {{"kind", 10}, {"id", 3}, {"name", "No area"}, {"size", 1}, {"margin", 1}},
      {{"kind", 17}, {"first", {1, 2}}, {"second", {3, 4}}},
  })));
  load<DddPicture>(12, 1, DDD_LOAD_FULL, DDD_BAD);
  auto* header_only = load<DddPicture>(12, 1, DDD_LOAD_HEADER);
  ASSERT_NE(header_only, nullptr);
  EXPECT_EQ(header_only->format, 3);
  free_value(header_only);

  auto* paper = load<DddPaper>(10, 1);
  ASSERT_NE(paper, nullptr);
  EXPECT_EQ(paper->size.second, 2);
  EXPECT_EQ(paper->fourth.first, 0);
  EXPECT_EQ(paper->fourth2.second, 0);

  // DddFreeValue: a wrong kind frees nothing and answers 1; -1 frees.
  DddValue* v = paper;
  DddValue* same = paper;
  EXPECT_EQ(DddFreeValue(&v, DDD_KIND_DEVICE_FONT), 1);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(DddFreeValue(&same, 0xFFFF), 0);
  EXPECT_EQ(DddFreeValue(&same, 0xFFFF), 1);
  EXPECT_EQ(DddFreeValue(nullptr, 0xFFFF), 1);

  // A paper naming a dimension record that does not exist fails its load;
  // only the fourth record is optional.
  load<DddPaper>(10, 2, DDD_LOAD_FULL, DDD_NOT_FOUND);
  load<DddPaper>(10, 3, DDD_LOAD_FULL, DDD_NOT_FOUND);
}

// Level gates: each optional field is read from the level that introduces
// it, and not below.
TEST_F(DddTest, LevelGates) {
  struct Gate {
    WORD kind;
    WORD id;
    DWORD level;
    std::function<bool(DddValue*)> present;
  };
  const std::vector<Gate> gates = {
      {3, 4097, 0x400, [](DddValue* v) { return static_cast<DddItem*>(v)->name2 != nullptr; }},
      {5, 1, 0x200, [](DddValue* v) { return static_cast<DddRange*>(v)->byte == 6; }},
      {5, 1, 0x400, [](DddValue* v) { return static_cast<DddRange*>(v)->name2 != nullptr; }},
      {10, 9, 0x200, [](DddValue* v) { return static_cast<DddPaper*>(v)->fourth.first == 7; }},
      {10, 9, 0x500, [](DddValue* v) { return static_cast<DddPaper*>(v)->last_word == 14; }},
      {11, 1, 0x400, [](DddValue* v) { return static_cast<DddDeviceFont*>(v)->values.count == 2; }},
      {15, 1, 0x500, [](DddValue* v) { return static_cast<DddPjlEntry*>(v)->flags == 3; }},
      {19, 1, 0x400, [](DddValue* v) { return static_cast<DddKind19*>(v)->text2 != nullptr; }},
  };
  for (const auto& g : gates) {
    for (DWORD level : {g.level - 1, g.level}) {
      if (handle) DddClose(handle);
      handle = nullptr;
      open(every_kind(level));
      DddValue* v = nullptr;
      ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, g.kind, g.id, 0, &v), DDD_OK)
          << "kind " << g.kind << " level " << std::hex << level;
      EXPECT_EQ(g.present(v), level >= g.level) << "kind " << g.kind << " level " << std::hex << level;
      DddFreeValue(&v, 0xFFFF);
    }
  }
  // Kinds that exist only from a level.
  for (auto [kind, level] : {std::pair<WORD, DWORD>{19, 0x200}, {25, 0x2000}}) {
    for (DWORD at : {level - 1, level}) {
      if (handle) DddClose(handle);
      handle = nullptr;
      open(every_kind(at));
      DddValue* v = nullptr;
      EXPECT_EQ(DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, kind, 1, 0, &v),
                at >= level ? DDD_OK : DDD_BAD)
          << "kind " << kind;
      DddFreeValue(&v, 0xFFFF);
    }
  }
}

// Every allocation of a load may fail: the load answers 4 and keeps nothing.
TEST_F(DddTest, AllocationFailuresLeaveNothingBehind) {
  open(every_kind(0x2000));
  const WORD kinds[] = {3, 5, 7, 10, 11, 12, 13, 15, 16, 18, 21, 22, 23};
  for (WORD kind : kinds) {
    bool loaded = false;
    for (int skip = 0; !loaded && skip < 64; ++skip) {
      platform::inject_allocation_failure(skip, 1);
      DddValue* v = nullptr;
      DddStatus s = DddLoadValue(DDD_LOAD_FULL, &handle->main, &handle->linked, kind, 1, &v);
      platform::inject_allocation_failure(0, 0);
      if (s == DDD_OK) {
        loaded = true;
        DddFreeValue(&v, 0xFFFF);
      } else {
        EXPECT_EQ(s, DDD_NO_MEMORY) << "kind " << kind << " skip " << skip;
        EXPECT_EQ(v, nullptr);
      }
    }
    EXPECT_TRUE(loaded) << "kind " << kind;
  }
}

// Loads every record of every kind, in both modes, from an open pair;
// answers how many loaded. Statuses other than the reader's own are faults.
int load_everything(DddHandle* h) {
  int loaded = 0;
  for (WORD kind : kDddKindOrder) {
    WORD count = 0;
    DddFile copy = h->main;
    if (DddSeekKindTable(&copy, kind) == DDD_OK) DddReadWord(&copy, &count);
    for (WORD n = 1; n <= count + 1 && n < 64; ++n) {
      for (WORD mode : {DDD_LOAD_HEADER, DDD_LOAD_FULL}) {
        DddValue* v = nullptr;
        DddStatus s = DddLoadValue(mode, &h->main, &h->linked, kind, n, &v);
        EXPECT_TRUE(s == DDD_OK || s == DDD_BAD || s == DDD_NOT_FOUND) << s;
        EXPECT_EQ(s == DDD_OK, v != nullptr);
        if (v) {
          ++loaded;
          DddFreeValue(&v, 0xFFFF);
        }
      }
    }
  }
  return loaded;
}

// A truncated database never reads past its end: every prefix either fails
// to open or loads what lies inside it.
TEST_F(DddTest, TruncatedDatabasesStayInsideTheImage) {
  json d = every_kind(0x2000);
  d["linked"] = {{"file", "TL.DDD"}, {"records", json::array()}};
  d["main"]["records"].push_back({{"kind", 10}, {"id", 77}, {"in", "linked"}, {"name", "Far"}, {"size", 1}, {"area", 1}, {"margin", 1}});
  auto images = ddd_build::build_images(d);
  const std::string full = images["T.DDD"];
  write(images);
  DddStatus status = 0;
  handle = DddOpenPath(u"C:\\drivers\\T.DDD", &status);
  ASSERT_NE(handle, nullptr);
  const int all = load_everything(handle);
  DddClose(handle);
  handle = nullptr;
  for (size_t length = 0; length < full.size(); length += 1) {
    write({{"T.DDD", full.substr(0, length)}});
    handle = DddOpenPath(u"C:\\drivers\\T.DDD", &status);
    if (length < DDD_HEADER_SIZE) {
      EXPECT_EQ(handle, nullptr);
    }
    if (!handle) continue;
    EXPECT_LT(load_everything(handle), all) << length;
    DddClose(handle);
    handle = nullptr;
  }
  // A truncated linked file fails its records only.
  write({{"T.DDD", full}, {"TL.DDD", images["TL.DDD"].substr(0, images["TL.DDD"].size() - 3)}});
  handle = DddOpenPath(u"C:\\drivers\\T.DDD", &status);
  ASSERT_NE(handle, nullptr);
  load<DddPaper>(10, 77, DDD_LOAD_FULL, DDD_BAD);
}

// Any single damaged byte gives a status, never a read outside the image.
TEST_F(DddTest, DamagedBytesGiveAStatus) {
  auto images = ddd_build::build_images(every_kind(0x2000));
  const std::string full = images["T.DDD"];
  for (size_t at = DDD_HEADER_SIZE; at < full.size(); ++at) {
    for (unsigned char mask : {0xFFu}) {
      std::string image = full;
      image[at] = static_cast<char>(image[at] ^ mask);
      write({{"T.DDD", image}});
      DddStatus status = 0;
      handle = DddOpenPath(u"C:\\drivers\\T.DDD", &status);
      ASSERT_NE(handle, nullptr);  // the header is intact
      load_everything(handle);
      DddClose(handle);
      handle = nullptr;
    }
  }
}

TEST_F(DddTest, InconsistentLengthsAndCounts) {
  open(one_file(json::array({
      {{"kind", 3}, {"id", 4097}, {"name", "Item"}, {"choices", {1, 2}}},
      {{"kind", 22}, {"body_hex", "0000 0000 05 0200 00 0000 0000  06000000 FFFF 0000"}},
      {{"kind", 21}, {"body_hex", "0000  09000000 0100 0100 02 0800 0102030405060708"}},
      {{"kind", 12}, {"body_hex", "01 0000 0000 0000  0A000000 424D"}},
      {{"kind", 20}, {"body_hex", "0000 03 0400 00000000 FFFF 00"}},
      {{"kind", 11}, {"body_hex", "0000 0000 FFFF"}},
      {{"kind", 13}, {"body_hex", "0000 0000 0000 0000 060000000000 060000000000 80 0100 00"}},
  })));
  // A list count the record cannot hold.
  load<DddDeviceConfigKey>(22, 1, DDD_LOAD_FULL, DDD_BAD);
  // A non-string inline value longer than its 4-byte slot.
  load<DddKeyValueSet>(21, 1, DDD_LOAD_FULL, DDD_BAD);
  // A bitmap shorter than its file header.
  load<DddPicture>(12, 1, DDD_LOAD_FULL, DDD_BAD);
  // Table elements past the end; a face count past the end.
  load<DddRecordTable>(20, 1, DDD_LOAD_FULL, DDD_BAD);
  load<DddDeviceFont>(11, 1, DDD_LOAD_FULL, DDD_BAD);
  // A table reference shorter than its WORD.
  load<DddChoice>(13, 1, DDD_LOAD_FULL, DDD_BAD);

  // A kind-table entry whose offset lies outside the image.
  auto images = ddd_build::build_images(one_file(json::array({{{"kind", 17}, {"first", {1, 2}}, {"second", {3, 4}}}})));
  std::string image = images["T.DDD"];
  DddClose(handle);
  handle = nullptr;
  write({{"T.DDD", image}});
  DddStatus status = 0;
  handle = DddOpenPath(u"C:\\drivers\\T.DDD", &status);
  ASSERT_NE(handle, nullptr);
  WORD flag = 0;
  ASSERT_EQ(DddFindRecordById(&handle->main, 17, 1), DDD_OK);
  size_t entry = handle->main.cursor;
  DddClose(handle);
  handle = nullptr;
  for (DWORD offset : {0xFFFFFFF0u, static_cast<DWORD>(image.size()), 0x7FFFFFFFu}) {
    std::string bad = image;
    store_le32(bad.data() + entry + 3, offset);
    write({{"T.DDD", bad}});
    handle = DddOpenPath(u"C:\\drivers\\T.DDD", &status);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(DddSeekRecord(FALSE, &handle->main, &handle->linked, DDD_ROLE_MAIN, 17, 1, &flag),
              offset == image.size() ? DDD_OK : DDD_BAD);
    load<DddDimensions>(17, 1, DDD_LOAD_FULL, DDD_BAD);
    DddClose(handle);
    handle = nullptr;
  }
  // A global area longer than the file.
  std::string bad = image;
  store_le32(bad.data() + DDD_HEADER_SIZE, 0xFFFFFF00u);
  write({{"T.DDD", bad}});
  handle = DddOpenPath(u"C:\\drivers\\T.DDD", &status);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(DddSeekKindTable(&handle->main, 17), DDD_BAD);
  // A record of the linked file when there is none.
  EXPECT_EQ(DddSeekRecord(FALSE, &handle->main, &handle->linked, DDD_ROLE_LINKED, 17, 1, &flag), DDD_BAD);
}

}  // namespace
}  // namespace morva::test
