// Queries on small built databases.
#include <cstring>

#include "ddd_fixture.h"
#include "settings/database/ddd_queries.h"
#include "settings/common/system_utils.h"
#include "win/machine_settings.h"

using namespace morva::test;

namespace {

// Choice ids of item 4097 differ from their table positions: id 12 stands
// first in the kind-13 table, id 11 second.
json query_records() {
  return json::array({
      {{"kind", 3}, {"id", 4097}, {"name", "Tray"}, {"default", 2}, {"choices", {11, 12}}, {"blob", 1}},
      {{"kind", 3}, {"id", 4098}, {"name", "Broken"}, {"default", 3}, {"choices", {11, 12}}},
      {{"kind", 13}, {"id", 12}, {"name", "Second"}, {"target_kind", 10}, {"target_id", 256},
       {"value", {{"type", 3}, {"value", 7}}}},
      {{"kind", 13}, {"id", 11}, {"name", "First"}, {"target_kind", 10}, {"target_id", 9},
       {"value", {{"type", 3}, {"value", 5}}}, {"blob", 1}},
      {{"kind", 4}, {"id", 274}, {"name", "Quality"}, {"default", 1}, {"choices", {1, 2, 3}}},
      {{"kind", 14}, {"id", 1}, {"name", "Fine"}, {"value", {{"type", 6}, {"value", "fine"}}}},
      {{"kind", 14}, {"id", 2}, {"name", "Draft"}, {"value", {{"type", 10}, {"value", 300}}}},
      {{"kind", 14}, {"id", 3}, {"name", "Half"}, {"value", {{"type", 7}, {"value", 0.5}}}},
      {{"kind", 4}, {"id", 2}, {"name", "Two"}, {"default", 1}, {"choices", json::array()}},
      {{"kind", 10}, {"id", 9}, {"name", "A4"}, {"size", 1}, {"margin", 3}, {"area", 3}, {"last_word", 77}},
      {{"kind", 10}, {"id", 256}, {"name", "Custom"}, {"size", 2}, {"margin", 3}, {"area", 3}},
      {{"kind", 17}, {"id", 1}, {"first", {2100, 2970}}, {"second", {0, 0}}},
      {{"kind", 17}, {"id", 2}, {"first", {1000, 1480}}, {"second", {3000, 4000}}},
      {{"kind", 17}, {"id", 3}, {"first", {40, 50}}, {"second", {60, 70}}},
      {{"kind", 18}, {"id", 1}, {"bytes", "0102"}},
      {{"kind", 15}, {"id", 1}, {"ddmid", 16}, {"command", "@PJL SET"}, {"text", "DUPLEX"}, {"flags", 5}},
  });
}

json query_fields() {
  json strings36 = json::array();
  for (int i = 0; i < 17; ++i) strings36.push_back("s" + std::to_string(i));
  return json{{"4", 99},
              {"5", 2},
              {"7", 0x11},
              {"12", (1u << 14) | 1u},
              {"17", "driver0"},
              {"19", "driver2"},
              {"29", "https://printers.example/demo"},
              {"30", "Software\\Base"},
              {"31", "Driver Name"},
              {"32", "Notice"},
              {"28", {"COVER.DAT", "second"}},
              {"37", "DEVSEL"},
              {"33", "User\\Base"},
              {"36", strings36}};
}

class DddQueries : public DddTest {
 protected:
  void SetUp() override { open(one_file(query_records(), 0x500, query_fields())); }
  DddFile* m() { return &handle->main; }
  DddFile* l() { return &handle->linked; }
};

TEST_F(DddQueries, ClassifiesIdentifiersByTable) {
  struct Case {
    WORD identifier, key, kind, id;
  } cases[] = {
      {4130, 0, 3, 4130},      {4129, 0, 4, 4129},     {4364, 0, 4, 4364}, {4371, 0, 3, 4371},
      {1, 0, 1, 1},            {259, 0, 1, 259},       {276, 0, 4, 274},   {281, 0, 4, 278},
      {285, 0, 4, 282},        {0x8001, 256, 10, 256}, {0x8001, 0, 10, 0}, {0x8002, 5, 5, 5},
      {0x8003, 6, 6, 6},       {0x800B, 3, 19, 3},     {2, 0, 4, 2},       {4372, 0, 4, 4372},
  };
  for (const Case& c : cases) {
    WORD kind = 0, id = 0;
    DddClassifyId(c.identifier, c.key, &kind, &id);
    EXPECT_EQ(kind, c.kind) << c.identifier;
    EXPECT_EQ(id, c.id) << c.identifier;
  }
}

TEST_F(DddQueries, GetItemValueGivesHeaderRecordOrKeyedRecord) {
  WORD kind = 0;
  DddValue* v = nullptr;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 1, nullptr, &kind, &v), DDD_OK);
  EXPECT_EQ(kind, DDD_KIND_HEADER);
  EXPECT_EQ(wide(static_cast<DddHeaderValue*>(v)->model), u"Model X");
  DddFreeValue(&v, 0xFFFF);

  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 2, nullptr, &kind, &v), DDD_OK);
  EXPECT_EQ(kind, 4);
  EXPECT_EQ(wide(DddGetValueName(v)), u"Two");
  DddFreeValue(&v, 0xFFFF);

  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 276, nullptr, &kind, &v), DDD_OK);
  EXPECT_EQ(v->id, 274);
  DddFreeValue(&v, 0xFFFF);

  WORD key = 256;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 0x8001, &key, &kind, &v), DDD_OK);
  EXPECT_EQ(kind, DDD_KIND_PAPER);
  EXPECT_EQ(wide(DddGetValueName(v)), u"Custom");
  DddFreeValue(&v, 0xFFFF);

  EXPECT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 0x8001, nullptr, &kind, &v), DDD_NOT_FOUND);
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 4130, nullptr, &kind, &v), DDD_NOT_FOUND);
}

// Choice references are record ids in every query: the search by value
// finds id 12 although it stands first in the table and the item names it
// second.
TEST_F(DddQueries, ChoicesFoundByValueNumberAndDefaultAgree) {
  WORD kind = 0;
  DddValue* v = nullptr;
  WORD seven = 7;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 4097, &seven, &kind, &v), DDD_OK);
  EXPECT_EQ(kind, DDD_KIND_CHOICE);
  EXPECT_EQ(v->id, 12);
  EXPECT_EQ(wide(DddGetValueName(v)), u"Second");
  DddFreeValue(&v, 0xFFFF);

  ASSERT_EQ(DddGetNthChoice(DDD_LOAD_FULL, m(), l(), 4097, 2, &kind, &v), DDD_OK);
  EXPECT_EQ(v->id, 12);
  DddFreeValue(&v, 0xFFFF);
  EXPECT_EQ(DddGetNthChoice(DDD_LOAD_FULL, m(), l(), 4097, 3, &kind, &v), DDD_NOT_FOUND);
  EXPECT_EQ(DddGetNthChoice(DDD_LOAD_FULL, m(), l(), 4097, 0, &kind, &v), DDD_BAD);
  EXPECT_EQ(DddGetNthChoice(DDD_LOAD_FULL, m(), l(), 1, 1, &kind, &v), DDD_NOT_FOUND);

  void* data = nullptr;
  WORD type = 0, size = 0;
  ASSERT_EQ(DddGetDefaultChoiceValue(m(), l(), 4097, &data, &type, &size), DDD_OK);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(size, 2);
  EXPECT_EQ(*static_cast<WORD*>(data), 7);
  GlobalFree(data);

  WORD missing = 6;
  EXPECT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 4097, &missing, &kind, &v), DDD_NOT_FOUND);
  EXPECT_FALSE(DddHasItemValue(handle, 4097, &missing));
  EXPECT_TRUE(DddHasItemValue(handle, 4097, &seven));
}

TEST_F(DddQueries, SearchComparesByTheChoiceType) {
  DddValue* v = nullptr;
  WORD kind = 0;
  DWORD draft = 300;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 274, &draft, &kind, &v), DDD_OK);
  EXPECT_EQ(kind, DDD_KIND_CHOICE_ALT);
  EXPECT_EQ(v->id, 2);
  DddFreeValue(&v, 0xFFFF);
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 274, u"fine", &kind, &v), DDD_OK);
  EXPECT_EQ(v->id, 1);
  DddFreeValue(&v, 0xFFFF);
  EXPECT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 274, u"Fine", &kind, &v), DDD_NOT_FOUND);
  float half = 0.5f;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 274, &half, &kind, &v), DDD_OK);
  EXPECT_EQ(v->id, 3);
  DddFreeValue(&v, 0xFFFF);
}

TEST_F(DddQueries, DefaultOutsideTheChoiceListHasNoValue) {
  void* data = reinterpret_cast<void*>(1);
  WORD type = 9;
  EXPECT_EQ(DddGetDefaultChoiceValue(m(), l(), 4098, &data, &type), DDD_BAD);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(DddGetDefaultChoiceValue(m(), l(), 2, &data, &type), DDD_BAD);  // no choices
  EXPECT_EQ(DddGetDefaultChoiceValue(m(), l(), 0x8001, &data, &type), DDD_BAD);
  EXPECT_EQ(DddGetDefaultChoiceValue(m(), l(), 4130, &data, &type), DDD_NOT_FOUND);
}

TEST_F(DddQueries, ChoiceTargetsAndPaperSizes) {
  DddPair size{};
  ASSERT_TRUE(DddGetDefaultPaperSize(handle, 4097, &size));  // default "Second" -> Custom
  EXPECT_EQ(size.first, 1000);
  EXPECT_EQ(size.second, 1480);

  DddChoiceTargetQuery q{};
  DddChoiceTargetResult r{};
  q.size = {2975, 2095};  // A4 turned, within 5
  ASSERT_EQ(DddFindChoiceTarget(handle, 4097, 2, &q, &r), 0);
  EXPECT_EQ(r.id, 9);
  EXPECT_EQ(wide(r.name), u"A4");
  DddFreeChoiceTargetName(&r);
  EXPECT_EQ(r.name, nullptr);
  q.name = u"custom";
  ASSERT_EQ(DddFindChoiceTarget(handle, 4097, 3, &q, &r), 0);
  EXPECT_EQ(r.id, 256);
  DddFreeChoiceTargetName(&r);
  q.id = 10;
  EXPECT_EQ(DddFindChoiceTarget(handle, 4097, 1, &q, &r), 2);
  q.name = nullptr;
  EXPECT_EQ(DddFindChoiceTarget(handle, 4097, 3, &q, &r), 1);

  WORD five = 5;
  DddValue* target = nullptr;
  ASSERT_EQ(DddLoadItemValueTarget(handle, 4097, &five, &target), DDD_OK);
  DddPair lb{}, rt{};
  ASSERT_EQ(DddGetPaperMarginPairs(target, &lb, &rt), DDD_OK);
  EXPECT_EQ(lb.first, 40);
  EXPECT_EQ(rt.second, 70);
  EXPECT_EQ(DddGetValueRange(target, &size), DDD_BAD);  // not a range
  DddFreeValue(&target, 0xFFFF);
}

TEST_F(DddQueries, PaperSizesMatchWithinTenInEitherOrientation) {
  struct Case {
    WORD w1, l1, w2, l2;
    BOOL match;
  } cases[] = {
      {2100, 2970, 2975, 2095, TRUE}, {2100, 2970, 2100, 2981, FALSE}, {2100, 2970, 2110, 2980, TRUE},
      {2970, 2100, 2960, 2110, TRUE}, {2100, 2970, 2089, 2970, FALSE},
  };
  for (const Case& c : cases) EXPECT_EQ(PaperSizesMatch(c.w1, c.l1, c.w2, c.l2), c.match) << c.w2 << "x" << c.l2;
}

TEST_F(DddQueries, NamesAndEntryCopies) {
  WCHAR* name = nullptr;
  ASSERT_EQ(DddGetRecordName(m(), l(), 3, 4097, 1, &name), DDD_OK);  // choice 1 = id 11
  EXPECT_EQ(wide(name), u"First");
  GlobalFree(name);
  WORD key = 9;
  ASSERT_EQ(DddGetItemString(m(), l(), 0x8001, &key, &name), DDD_OK);
  EXPECT_EQ(wide(name), u"A4");
  GlobalFree(name);

  void* data = nullptr;
  WORD type = 0;
  ASSERT_EQ(DddGetChoiceNameAndValue(m(), l(), 274, 1, &name, &data, &type), DDD_OK);
  EXPECT_EQ(wide(name), u"Fine");
  EXPECT_EQ(type, 6);
  EXPECT_EQ(wide(static_cast<WCHAR*>(data)), u"fine");
  GlobalFree(name);
  GlobalFree(data);

  DddEntryCopy* copy = nullptr;
  ASSERT_EQ(DddGetEntryCopy(handle, 4097, 1, &copy), DDD_OK);
  EXPECT_EQ(copy->kind, DDD_KIND_ENTRY_COPY);
  EXPECT_EQ(wide(copy->name), u"First");
  EXPECT_EQ(copy->value_type, 3);
  ASSERT_EQ(copy->data_size, 2);
  EXPECT_EQ(*static_cast<WORD*>(copy->data), 5);
  ASSERT_NE(copy->blob, nullptr);
  EXPECT_EQ(copy->blob->size, 2);
  DddValue* p = copy;
  EXPECT_EQ(DddFreeValue(&p, 0xFFFF), 0);

  ASSERT_EQ(DddGetEntryCopy(handle, 4097, 2, &copy), DDD_OK);  // no blob: not an error
  EXPECT_EQ(copy->blob, nullptr);
  p = copy;
  DddFreeValue(&p, 0xFFFF);
  EXPECT_EQ(DddGetEntryCopy(handle, 1, 0, &copy), DDD_BAD);
}

TEST_F(DddQueries, GlobalFieldsAndDatabaseStrings) {
  EXPECT_EQ(DddGetMaxCopies(handle), 99);
  EXPECT_EQ(DddGetColorCapability(handle), 2);
  EXPECT_EQ(DddGetFeatureFlagByte(handle), 0x11);
  EXPECT_EQ(DddGetFieldCount(m(), 36), 17);
  EXPECT_EQ(DddGetFieldCount(m(), 4), 1);
  EXPECT_EQ(DddGetRecordCount(m(), 14), 3);
  EXPECT_EQ(DddGetRecordCount(m(), 1), 0);

  struct Case {
    WORD number;
    DddStatus status;
    const char16_t* text;
  } cases[] = {
      {0, DDD_OK, u"driver0"}, {2, DDD_OK, u"driver2"}, {6, DDD_OK, u"s0"},    {11, DDD_OK, u"s5"},
      {12, DDD_BAD, u""},      {13, DDD_BAD, u""},      {14, DDD_OK, u"s6"},   {22, DDD_OK, u"s14"},
      {23, DDD_BAD, u""},      {24, DDD_OK, u"s15"},    {25, DDD_OK, u"s16"},  {26, DDD_BAD, u""},
  };
  for (const Case& c : cases) {
    WCHAR* text = nullptr;
    EXPECT_EQ(DddGetDatabaseString(m(), c.number, &text), c.status) << c.number;
    EXPECT_EQ(wide(text), c.text) << c.number;
    if (text) GlobalFree(text);
  }
  WCHAR* text = nullptr;
  ASSERT_EQ(DddGetProductString(m(), 1, &text), DDD_OK);
  EXPECT_EQ(wide(text), u"User\\Base");
  GlobalFree(text);
  DddStatus status = 1;
  text = DddGetModelName(handle, &status);
  EXPECT_EQ(status, DDD_OK);
  EXPECT_EQ(wide(text), u"Model X");
  GlobalFree(text);
}

// The database's text records by record number and element; a number
// that holds no texts is refused, one the file lacks is not found.
TEST_F(DddQueries, TextRecords) {
  struct Case {
    WORD record, index;
    DddStatus status;
    const char16_t* text;
  } const cases[] = {
      {29, 0, DDD_OK, u"https://printers.example/demo"},
      {30, 0, DDD_OK, u"Software\\Base"},
      {31, 0, DDD_OK, u"Driver Name"},
      {32, 0, DDD_OK, u"Notice"},
      {37, 0, DDD_OK, u"DEVSEL"},
      {28, 1, DDD_OK, u"second"},
      {38, 0, DDD_NOT_FOUND, u""},
      {26, 0, DDD_BAD, u""},  // a number, not texts
      {60, 0, DDD_BAD, u""},
  };
  for (const Case& c : cases) {
    WCHAR* text = nullptr;
    EXPECT_EQ(DddReadVarRecord(m(), c.record, c.index, &text), c.status) << c.record << "/" << c.index;
    EXPECT_EQ(wide(text), c.text) << c.record << "/" << c.index;
    if (text) GlobalFree(text);
  }
  EXPECT_EQ(DddReadVarRecord(m(), 29, 0, nullptr), DDD_BAD);
}

TEST_F(DddQueries, OptionBitsOfFieldTwelve) {
  struct Case {
    WORD identifier;
    INT bit;
    INT test;  // 0 when set
  } cases[] = {
      {4097, 0, 0}, {4129, 0, 0}, {4111, 14, 0}, {4143, 14, 0}, {4161, 14, 0},
      {4098, 1, 1}, {4160, 31, 1}, {4162, -1, 1}, {4200, -1, 1}, {16, -1, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ItemOptionBit(c.identifier), c.bit) << c.identifier;
    EXPECT_EQ(DddTestOptionBit(m(), l(), c.identifier), c.test) << c.identifier;
  }
}

TEST_F(DddQueries, AccessorsRefuseOtherKindsAndCountsPastTheEnd) {
  DddValue* pjl = nullptr;
  ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, m(), l(), 15, 1, 0, &pjl), DDD_OK);
  EXPECT_EQ(wide(DddGetPjlCommandText(pjl)), u"@PJL SET");
  EXPECT_EQ(wide(DddGetPjlValueText(pjl)), u"DUPLEX");
  EXPECT_EQ(DddGetValueName(pjl), nullptr);
  EXPECT_EQ(DddGetEntryCount(pjl), 0);
  WORD type = 0;
  EXPECT_EQ(DddGetEntry(pjl, 1, &type, nullptr, nullptr), DDD_BAD);
  WORD w = 0;
  ASSERT_EQ(DddGetLevelWord(pjl, &w), DDD_OK);
  EXPECT_EQ(w, 5);
  DddFreeValue(&pjl, 0xFFFF);
}

// Each value reads its gated fields by the level of its own file, whatever
// database the process opened since.
TEST_F(DddQueries, LevelWordFollowsTheValuesOwnFile) {
  WORD key = 9;
  DddValue* paper = nullptr;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 0x8001, &key, nullptr, &paper), DDD_OK);

  json older = one_file(query_records(), 0x400, query_fields());
  older["main"]["file"] = "U.DDD";
  write(morva::ddd_build::build_images(older));
  DddStatus status = 0;
  DddHandle* second = DddOpenPath(u"C:\\drivers\\U.DDD", &status);
  ASSERT_NE(second, nullptr) << status;
  EXPECT_EQ(DddGetProcessFormatLevel(), 0x400u);

  WORD w = 0;
  EXPECT_EQ(DddGetLevelWord(paper, &w), DDD_OK);
  EXPECT_EQ(w, 77);

  DddValue* old_paper = nullptr;
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, &second->main, &second->linked, 0x8001, &key, nullptr, &old_paper),
            DDD_OK);
  EXPECT_EQ(DddGetLevelWord(old_paper, &w), DDD_BAD);
  EXPECT_EQ(w, 0);
  DddFreeValue(&old_paper, 0xFFFF);
  DddClose(second);

  EXPECT_EQ(DddGetLevelWord(paper, &w), DDD_OK);
  DddFreeValue(&paper, 0xFFFF);
}

TEST_F(DddQueries, KeyValueSetsNeedLevel1F00InTheirFile) {
  json records = json::array({{{"kind", 24},
                               {"id", 1},
                               {"name", "kv"},
                               {"entries", {{{"key", 3}, {"value", {{"type", 3}, {"value", 9}}}}}}}});
  for (unsigned level : {0x1EFFu, 0x1F00u}) {
    json d = one_file(records, level);
    d["main"]["file"] = "K.DDD";
    write(morva::ddd_build::build_images(d));
    DddHandle* h = DddOpenPath(u"C:\\drivers\\K.DDD", nullptr);
    ASSERT_NE(h, nullptr);
    DddValue* v = nullptr;
    ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, &h->main, &h->linked, 24, 1, 0, &v), DDD_OK);
    EXPECT_EQ(DddGetKeyValueCount(v), 1);
    WORD key = 0, type = 0, size = 0;
    const void* data = nullptr;
    DddStatus s = DddGetKeyValueEntry(v, 1, &key, &type, &size, &data);
    if (level < 0x1F00) {
      EXPECT_EQ(s, DDD_BAD);
    } else {
      ASSERT_EQ(s, DDD_OK);
      EXPECT_EQ(key, 3);
      EXPECT_EQ(type, 3);
      WORD value = 0;
      std::memcpy(&value, data, 2);
      EXPECT_EQ(value, 9);
      EXPECT_EQ(DddGetKeyValueEntry(v, 2, &key, &type, &size, &data), DDD_NOT_FOUND);
    }
    DddFreeValue(&v, 0xFFFF);
    DddClose(h);
  }
}

TEST_F(DddQueries, HandleWrappersOverDefaultsRecordsAndCopies) {
  WORD type = 0;
  DWORD_PTR value = 0;
  INT error = -1;
  ASSERT_TRUE(DddGetItemDefaultValue(handle, 4097, &type, &value, &error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(value, 7u);
  ASSERT_TRUE(DddGetItemDefaultValue(handle, 274, &type, &value, &error));
  EXPECT_EQ(type, 6);
  EXPECT_EQ(wide(reinterpret_cast<const WCHAR*>(value)), u"fine");
  DddFreeItemDefaultValue(type, value);
  EXPECT_FALSE(DddGetItemDefaultValue(handle, 4130, &type, &value, &error));
  EXPECT_EQ(error, 2);
  EXPECT_FALSE(DddGetItemDefaultValue(handle, 4098, &type, &value, &error));
  EXPECT_EQ(error, 1);

  BYTE flags = 9;
  WORD choices = 0;
  const WCHAR* name = nullptr;
  DddItem* item = DddOpenItemRecord(handle, 4097, &flags, &choices, &name, &error);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(flags, 1);  // the builder makes an item with choices a choice list
  EXPECT_EQ(choices, 2);
  EXPECT_EQ(wide(name), u"Tray");
  DddFreeRecord(item);
  EXPECT_EQ(DddOpenItemRecord(handle, 0x8001, nullptr, nullptr, nullptr, &error), nullptr);
  EXPECT_EQ(error, 1);

  WCHAR* target = DddGetDefaultTargetName(handle, 4097);
  EXPECT_EQ(wide(target), u"Custom");
  GlobalFree(target);
  DddPair size{}, size_max{};
  WORD seven = 7;
  ASSERT_TRUE(DddGetChoicePaperSize(handle, 4097, &seven, &size, &size_max));
  EXPECT_EQ(size_max.first, 3000);
  EXPECT_EQ(size_max.second, 4000);

  DddEntryCopy* copy = nullptr;
  WORD key = 9;
  ASSERT_EQ(DddGetEntryCopy(handle, 0x8001, 0, &copy), DDD_NOT_FOUND);  // a paper needs its key
  ASSERT_EQ(DddGetItemValue(DDD_LOAD_FULL, m(), l(), 0x8001, &key, nullptr, nullptr), DDD_BAD);
  ASSERT_EQ(DddGetEntryCopy(handle, 4097, 0, &copy), DDD_OK);
  const void* data = nullptr;
  const DddBlob* blob = nullptr;
  ASSERT_TRUE(DddGetEntryCopyParts(copy, &name, &data, nullptr, &type, &blob));
  EXPECT_EQ(wide(name), u"Tray");
  EXPECT_EQ(data, nullptr);  // an item carries no value
  ASSERT_NE(blob, nullptr);
  DddFreeEntryCopy(copy);
}

// Locale and country adjustments of item defaults.
class DddItemDefaults : public DddTest {
 protected:
  void SetUp() override {
    json records = json::array({
        {{"kind", 4}, {"id", 327}, {"name", "Paper"}, {"default", 1}, {"choices", {1}}},
        {{"kind", 14}, {"id", 1}, {"name", "A4"}, {"value", {{"type", 3}, {"value", 5}}}},
        {{"kind", 3}, {"id", 4356}, {"name", "Setting"}, {"default", 1}, {"choices", {1}}},
        {{"kind", 13}, {"id", 1}, {"name", "Zero"}, {"value", {{"type", 8}, {"value", 0}}}},
    });
    // Bit 22 of word 0: the locale's paper family; bit 0 of word 1
    // (0xFFFF0020): the country default of item 4356.
    open(one_file(records, 0x2000, json{{"26", 1u << 22}, {"39", {1, 0}}}));
  }
  LONG default_of(WORD identifier) {
    void* data = nullptr;
    WORD type = 0, size = 0;
    EXPECT_EQ(DddGetItemDefault(&handle->main, &handle->linked, identifier, &data, &type, &size), DDD_OK);
    LONG v = size >= 2 ? *static_cast<WORD*>(data) : *static_cast<BYTE*>(data);
    GlobalFree(data);
    return v;
  }
};

TEST_F(DddItemDefaults, LetterPaperLocaleAndCountryDefaults) {
  struct Case {
    const char* lcid;
    LONG paper, setting;
  } cases[] = {
      {"0x0409", 3, 4},  // letter paper; the country's default 4
      {"0x0407", 5, 0},  // the database's own values
  };
  for (const Case& c : cases) {
    morva::settings::reset_system_caches_for_test();
    morva::platform::set_machine_setting("lcid", c.lcid);
    EXPECT_EQ(default_of(327), c.paper) << c.lcid;
    EXPECT_EQ(default_of(4356), c.setting) << c.lcid;
    void* data = nullptr;
    WORD type = 0;
    ASSERT_EQ(DddGetDefaultChoiceValue(&handle->main, &handle->linked, 327, &data, &type), DDD_OK);
    EXPECT_EQ(*static_cast<WORD*>(data), 5);  // the plain read stays unadjusted
    GlobalFree(data);
  }
}

TEST_F(DddTest, PicturesAndDeviceFontAccessors) {
  json records = json::array({
      {{"kind", 9}, {"picture", {7, 8, 5}}},
      {{"kind", 12}, {"id", 5}, {"format", 1}, {"word1", 16}, {"word2", 17},
       {"bitmap", "424D000000000000000000000000AABBCC"}},
      {{"kind", 11}, {"name", "Font"}, {"family", "Family"}, {"faces", {"Arial", "Times"}}, {"data", "0102"},
       {"word", 3}, {"values", {{{"type", 6}, {"value", "v"}}, {{"type", 3}, {"value", 9}}}}},
  });
  open(one_file(records, 0x500, json{{"1", 5}}));
  DddFile* m = &handle->main;
  DddFile* l = &handle->linked;

  WORD w1 = 0, w2 = 0;
  BYTE* bitmap = DddLoadPictureByField(m, l, 1, &w1, &w2);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(w1, 16);
  EXPECT_EQ(w2, 17);
  EXPECT_EQ(bitmap[0], 0xAA);  // the file header is dropped
  GlobalFree(bitmap);
  EXPECT_EQ(DddLoadPictureByField(m, l, 4, &w1, &w2), nullptr);  // no picture id there

  DddValue* rule = nullptr;
  ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, m, l, 9, 1, 0, &rule), DDD_OK);
  ASSERT_EQ(DddLoadRulePicture(m, l, rule, &w1, &w2, &bitmap), DDD_OK);
  EXPECT_EQ(bitmap[2], 0xCC);
  GlobalFree(bitmap);
  EXPECT_EQ(DddLoadRulePicture(m, l, nullptr, &w1, &w2, &bitmap), DDD_BAD);
  DddFreeValue(&rule, 0xFFFF);

  DddValue* font = nullptr;
  ASSERT_EQ(DddLoadRecord(DDD_LOAD_FULL, m, l, 11, 1, 0, &font), DDD_OK);
  EXPECT_EQ(wide(DddGetValueName(font)), u"Font");
  EXPECT_EQ(wide(DddGetFontFace(font, 2)), u"Times");
  EXPECT_EQ(DddGetFontFace(font, 3), nullptr);
  DWORD size = 0;
  const BYTE* data = DddGetDeviceFontData(font, &size);
  ASSERT_EQ(size, 2u);
  EXPECT_EQ(data[1], 2);
  WORD word = 0;
  ASSERT_EQ(DddGetLevelWord(font, &word), DDD_OK);
  EXPECT_EQ(word, 3);
  ASSERT_EQ(DddGetEntryCount(font), 2);
  WORD type = 0, bytes = 0;
  const void* value = nullptr;
  ASSERT_EQ(DddGetEntry(font, 1, &type, &bytes, &value), DDD_OK);
  EXPECT_EQ(type, 6);
  EXPECT_EQ(wide(static_cast<const WCHAR*>(value)), u"v");
  ASSERT_EQ(DddGetEntry(font, 2, &type, &bytes, &value), DDD_OK);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(static_cast<const BYTE*>(value)[0], 9);
  EXPECT_EQ(DddGetEntry(font, 3, &type, &bytes, &value), DDD_NOT_FOUND);
  DddFreeValue(&font, 0xFFFF);
}

}  // namespace
