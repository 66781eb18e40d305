// The database file layer: opening the pair, header, version and level,
// global fields, kind tables and database strings.
#include <cstring>

#include "ddd_fixture.h"
#include "win/errors.h"
#include "win/machine_store.h"
#include "win/spooler.h"
#include "test_printer.h"

namespace morva::test {
namespace {

// A paper whose size, area and margins are dimension record 1 (dims()).
json paper(WORD id, const json& name) {
  return json{{"kind", 10}, {"id", id}, {"name", name}, {"size", 1}, {"area", 1}, {"margin", 1}};
}
json dims() { return json{{"kind", 17}, {"first", {1, 2}}, {"second", {3, 4}}}; }

TEST_F(DddTest, OpensAPairAndReadsBothHeaders) {
  json d = one_file(json::array({paper(9, "A4"), dims()}), 0x500);
  d["linked"] = {{"file", "TL.DDD"}, {"version", "L:2.0.7"}, {"level", 0x400},
                 {"records", json::array({paper(5, "Linked paper")})}};
  // A main-table entry whose record lives in the linked file.
  json far_paper = paper(7, "Far");
  far_paper["in"] = "linked";
  d["main"]["records"].push_back(far_paper);
  open(d);
  EXPECT_TRUE(handle->main.open);
  EXPECT_TRUE(handle->linked.open);
  EXPECT_EQ(handle->main.role, DDD_ROLE_MAIN);
  EXPECT_EQ(handle->linked.role, DDD_ROLE_LINKED);
  EXPECT_EQ(handle->main.version, 0x01020003u);
  EXPECT_EQ(handle->linked.version, 0x02000007u);
  EXPECT_EQ(handle->main.level, 0x500u);
  EXPECT_EQ(handle->linked.level, 0x400u);
  EXPECT_EQ(handle->linked.main, &handle->main);
  EXPECT_EQ(handle->linked.pool, handle->main.pool);
  EXPECT_EQ(DddGetProcessFormatLevel(), 0x500u);

  DddHeaderValue* header = nullptr;
  ASSERT_EQ(DddReadHeader(&handle->main, &header), DDD_OK);
  EXPECT_EQ(wide(header->model), u"Model X");
  EXPECT_EQ(wide(header->linked_name), u"TL.DDD");
  EXPECT_EQ(wide(header->title), u"test");
  EXPECT_EQ(header->major, 1);
  EXPECT_EQ(header->build, 3);
  free_value(header);

  auto* far = load<DddPaper>(DDD_KIND_PAPER, 7);
  ASSERT_NE(far, nullptr);
  EXPECT_EQ(far->file_flag, DDD_ROLE_LINKED);
  EXPECT_EQ(far->file, &handle->linked);
  EXPECT_EQ(wide(far->name), u"Far");
  free_value(far);
  // Records are found through the main file's tables only.
  load<DddPaper>(DDD_KIND_PAPER, 5, DDD_LOAD_FULL, DDD_NOT_FOUND);

  EXPECT_EQ(DddClose(handle), TRUE);
  handle = nullptr;
}

TEST_F(DddTest, PathRulesAndMissingFiles) {
  auto images = ddd_build::build_images(one_file(json::array()));
  write({{"low.ddd", images["T.DDD"]}, {"T.DAT", images["T.DDD"]}, {"T", images["T.DDD"]}});
  DddHandle* h = DddOpenPath(u"C:\\drivers\\low.ddd", nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(h->linked.open);  // no linked file: not an error
  EXPECT_EQ(DddClose(h), FALSE);
  EXPECT_EQ(open_status(u"C:\\drivers\\T.DAT"), DDD_BAD);
  EXPECT_EQ(open_status(u"C:\\drivers\\T"), DDD_BAD);
  EXPECT_EQ(open_status(u"C:\\drivers\\none.ddd"), DDD_BAD);
  EXPECT_EQ(DddOpenFile(nullptr, &h->main, &h->linked), DDD_BAD);

  // A linked name naming a missing file fails the whole open.
  json d = one_file(json::array());
  d["main"]["linked_name"] = "GONE.DDD";
  write(ddd_build::build_images(d));
  EXPECT_EQ(open_status(), DDD_BAD);
}

TEST(DddVersion, ParsesTheVersionText) {
  struct Case {
    const char* text;
    bool ok;
    DWORD packed;
  } cases[] = {
      {"x:1.2.3", true, 0x01020003},       {"DDD:255.255.65535", true, 0xFFFFFFFF},
      {"x:256.0.0", false, 0},             {"x:1.256.0", false, 0},
      {"x:1.2.65536", false, 0},           {"x:1.2", false, 0},
      {"1.2.3", false, 0},                 {"x:1.2.", true, 0x01020000},
      {"v:10-20/30", true, 0x0A14001E},    {"x:0.0.0", true, 0},
  };
  for (const auto& c : cases) {
    char field[24] = {};
    std::strncpy(field, c.text, sizeof(field) - 1);
    WORD major = 0, minor = 0, build = 0;
    ASSERT_EQ(DddParseVersion(field, sizeof(field), &major, &minor, &build), c.ok ? TRUE : FALSE) << c.text;
    if (c.ok) {
      EXPECT_EQ(DddPackVersion(major, minor, build), c.packed) << c.text;
    }
  }
  // A text filling its whole field without a terminator stays inside it.
  char full[24];
  std::memset(full, '9', sizeof(full));
  full[0] = 'x';
  full[1] = ':';
  WORD a, b, c;
  EXPECT_FALSE(DddParseVersion(full, sizeof(full), &a, &b, &c));
}

TEST_F(DddTest, FormatLevelBytesAreUnsigned) {
  const BYTE cases[][4] = {{0, 0, 5, 0}, {0, 0, 4, 0x80}, {0x80, 0, 0, 0}, {0, 0xFF, 0xFF, 0xFF}};
  const DWORD expected[] = {0x500, 0x480, 0x80000000u, 0x00FFFFFF};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(DddReadBigEndian32(cases[i]), expected[i]);

  // 0x480 reaches the 0x400 gate: the item's second name is read.
  open(one_file(json::array({{{"kind", 3}, {"id", 4097}, {"name", "n"}, {"name2", "second"}}}), 0x480));
  EXPECT_EQ(handle->main.level, 0x480u);
  EXPECT_EQ(DddGetProcessFormatLevel(), 0x480u);
  auto* item = load<DddItem>(DDD_KIND_ITEM, 4097);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(wide(item->name2), u"second");
  free_value(item);
}

TEST_F(DddTest, BadHeadersFailTheOpen) {
  auto base = ddd_build::build_images(one_file(json::array()))["T.DDD"];
  struct Case {
    const char* what;
    size_t offset;
    std::string bytes;
  } cases[] = {
      {"version without colon", DDD_HEADER_VERSION, std::string("1.2.3\0", 6)},
      {"major above 255", DDD_HEADER_VERSION, std::string("x:300.1.1\0", 10)},
      {"title without terminator", DDD_HEADER_TITLE, std::string(64, 'T')},
      {"model without terminator", DDD_HEADER_MODEL, std::string(64, 'M')},
  };
  for (const auto& c : cases) {
    std::string image = base;
    image.replace(c.offset, c.bytes.size(), c.bytes);
    write({{"T.DDD", image}});
    EXPECT_EQ(open_status(), DDD_BAD) << c.what;
  }
  write({{"T.DDD", base.substr(0, 100)}});
  EXPECT_EQ(open_status(), DDD_BAD) << "truncated header";
}

TEST_F(DddTest, GlobalFieldsAndKindTables) {
  json fields = {{"4", 999}, {"3", {1, 2, 3}}, {"17", "Driver"}, {"28", {"a", "bb"}},
                 {"35", {"S1.DLL", "S2.DLL"}}, {"39", {0x11223344, 5}}, {"41", 7}};
  open(one_file(json::array({paper(9, "A4"), paper(1, "Letter")}), 0x500, fields));
  DddFile* f = &handle->main;
  WORD size = 0, value = 0;
  ASSERT_EQ(DddSeekFieldElement(f, 4, 0, &size), DDD_OK);
  ASSERT_EQ(DddReadWord(f, &value), DDD_OK);
  EXPECT_EQ(value, 999);
  ASSERT_EQ(DddSeekFieldElement(f, 3, 2, &size), DDD_OK);
  ASSERT_EQ(DddReadWord(f, &value), DDD_OK);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(DddSeekFieldElement(f, 3, 3, &size), DDD_NOT_FOUND);
  DWORD dword = 0;
  ASSERT_EQ(DddSeekFieldElement(f, 39, 0, &size), DDD_OK);
  ASSERT_EQ(DddReadDword(f, &dword), DDD_OK);
  EXPECT_EQ(dword, 0x11223344u);
  ASSERT_EQ(DddSeekFieldElement(f, 41, 0, &size), DDD_OK);
  ASSERT_EQ(DddReadWord(f, &value), DDD_OK);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(DddSeekGlobalField(f, 42), DDD_BAD);

  WCHAR* text = nullptr;
  ASSERT_EQ(DddReadFieldString(f, 28, 1, &text), DDD_OK);
  EXPECT_EQ(wide(text), u"bb");
  GlobalFree(text);
  ASSERT_EQ(DddReadFieldString(f, 17, 0, &text), DDD_OK);
  EXPECT_EQ(wide(text), u"Driver");
  GlobalFree(text);
  EXPECT_EQ(DddReadFieldString(f, 35, 2, &text), DDD_NOT_FOUND);
  EXPECT_EQ(DddReadFieldString(f, 4, 0, &text), DDD_BAD);

  // Kind tables: by id, by 1-based index, unknown kinds.
  ASSERT_EQ(DddFindRecordById(f, DDD_KIND_PAPER, 1), DDD_OK);
  BYTE flag = 0;
  WORD id = 0;
  ASSERT_EQ(DddReadByte(f, &flag), DDD_OK);
  ASSERT_EQ(DddReadWord(f, &id), DDD_OK);
  EXPECT_EQ(flag, DDD_ROLE_MAIN);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(DddFindRecordById(f, DDD_KIND_PAPER, 2), DDD_NOT_FOUND);
  EXPECT_EQ(DddFindRecordByIndex(f, DDD_KIND_PAPER, 2), DDD_OK);
  EXPECT_EQ(DddFindRecordByIndex(f, DDD_KIND_PAPER, 3), DDD_NOT_FOUND);
  EXPECT_EQ(DddFindRecordByIndex(f, DDD_KIND_PAPER, 0), DDD_NOT_FOUND);
  EXPECT_EQ(DddSeekKindTable(f, 26), DDD_NOT_FOUND);
  EXPECT_EQ(DddSeekKindTable(f, 1), DDD_NOT_FOUND);

  // Cursor bounds.
  EXPECT_EQ(DddSeek(f, FALSE, static_cast<LONG>(f->size)), DDD_OK);
  EXPECT_EQ(DddRead(f, &value, 1), DDD_BAD);
  EXPECT_EQ(DddSeek(f, TRUE, 1), DDD_BAD);
  EXPECT_EQ(DddSeek(f, FALSE, -1), DDD_BAD);
  EXPECT_EQ(DddSeekBack(f, f->size + 1), DDD_BAD);
  EXPECT_EQ(DddRead(f, nullptr, 1), DDD_BAD);
}

// ------------------------------------------------------------------ strings

class DddStrings : public DddTest {
 protected:
  // Opens a database whose paper 9 is named `name` and paper 1 refers to
  // string 1 of library 2; field 35 names the libraries S1.DLL and S2.DLL.
  void open_with(const json& name) {
    if (handle) DddClose(handle);
    handle = nullptr;
    open(one_file(json::array({paper(9, name), paper(1, json{{"lib", 2}, {"id", 1}, {"text", "two"}}), dims()}), 0x500,
                  json{{"35", {"S1.DLL", "S2.DLL"}}}));
  }
  std::u16string name_of(WORD id, DddStatus expect = DDD_OK) {
    auto* p = load<DddPaper>(DDD_KIND_PAPER, id, DDD_LOAD_FULL, expect);
    std::u16string text = p ? wide(p->name) : u"<none>";
    if (p) free_value(p);
    return text;
  }
  std::u16string read_name(const json& name, DddStatus expect = DDD_OK) {
    open_with(name);
    return name_of(9, expect);
  }
  void libraries(bool s1, bool s2) {
    json libs = json::object();
    if (s1) libs["S1.DLL"] = {{"7", "Seven"}, {"8", "\u00c9t\u00e9"}};
    if (s2) libs["S2.DLL"] = {{"1", "Library two"}};
    json d = one_file(json::array());
    d["string_libraries"] = libs;
    auto images = ddd_build::build_images(d);
    images.erase("T.DDD");
    if (!images.empty()) write(images);
  }
};

TEST_F(DddStrings, InvertedTextDecodes) {
  EXPECT_EQ(read_name("A4"), u"A4");
  // Windows-1252 characters above 0x7F.
  EXPECT_EQ(read_name("\u20ac \u00e9"), u"\u20ac \u00e9");
}

TEST_F(DddStrings, ReferenceResolvesThroughTheLibrary) {
  libraries(true, true);
  EXPECT_EQ(read_name(json{{"lib", 1}, {"id", 7}, {"text", "fallback"}}), u"Seven");
  EXPECT_EQ(read_name(json{{"lib", 1}, {"id", 8}, {"text", "fallback"}}), u"\u00c9t\u00e9");
  // A library that lacks the string gives an empty one, not the fallback.
  EXPECT_EQ(read_name(json{{"lib", 1}, {"id", 9}, {"text", "fallback"}}), u"");
  // Library 2 is element 1 of field 35, loaded for the one call.
  EXPECT_EQ(name_of(1), u"Library two");
  // Id 0 and library 0 are not references.
  EXPECT_EQ(read_name(json{{"lib", 1}, {"id", 0}, {"text", "plain"}}), u"plain");
  EXPECT_EQ(read_name(json{{"lib", 0}, {"id", 7}, {"text", "plain"}}), u"plain");
}

TEST_F(DddStrings, MissingMainLibraryStopsEveryLaterReference) {
  libraries(false, true);
  EXPECT_EQ(read_name(json{{"lib", 1}, {"id", 7}, {"text", "fallback"}}), u"fallback");
  EXPECT_FALSE(handle->main.pool->retry);
  // Library 2 exists, but the pair no longer tries references.
  EXPECT_EQ(name_of(1), u"two");
}

TEST_F(DddStrings, MissingOtherLibraryFallsBackButKeepsTrying) {
  libraries(true, false);
  open_with(json{{"lib", 1}, {"id", 7}, {"text", "fallback"}});
  EXPECT_EQ(name_of(1), u"two");
  EXPECT_TRUE(handle->main.pool->retry);
  EXPECT_EQ(name_of(9), u"Seven");
}

TEST_F(DddStrings, MalformedStoredTextIsRefused) {
  // Inverted bytes without a terminator ("AB" inverted, no 0xFF).
  EXPECT_EQ(read_name(json{{"hex", "BEBD"}}, DDD_BAD), u"<none>");
  // A reference with neither fallback nor terminator: bytes 01 00 07 00 00
  // inverted hold no zero.
  EXPECT_EQ(read_name(json{{"hex", "41 01 00 07 00 00"}}, DDD_BAD), u"<none>");
}

TEST_F(DddStrings, PoolExhaustionIsOutOfMemory) {
  read_name("A4");
  BYTE* held[DDD_POOL_SLOTS];
  for (auto& b : held) ASSERT_NE(b = DddPoolTake(handle->main.pool, 10), nullptr);
  EXPECT_EQ(DddPoolTake(handle->main.pool, 10), nullptr);
  load<DddPaper>(DDD_KIND_PAPER, 9, DDD_LOAD_FULL, DDD_NO_MEMORY);
  for (auto* b : held) DddPoolRelease(handle->main.pool, b);
  EXPECT_EQ(read_name("A4"), u"A4");
  EXPECT_EQ(handle->main.pool->slots[0].capacity, DDD_POOL_MIN_BUFFER);
}

}  // namespace
}  // namespace morva::test

namespace morva::test {
namespace {

// DddOpen finds the main file through the printer's driver data file.
TEST_F(DddTest, OpensThePrintersDataFile) {
  platform::use_in_memory_store(true);
  HANDLE printer = morva::test::add_test_printer(u"Demo", u"Demo Driver", u"T.DDD", u"IP_127.0.0.1");
  ASSERT_NE(printer, nullptr) << GetLastError();

  EXPECT_EQ(DddOpen(printer), nullptr);  // the data file is not there yet
  ddd_build::write_images(ddd_build::build_images(one_file(json::array())),
                          root.file("drive_c/Windows/System32/spool/DRIVERS/x64/3"));
  handle = DddOpen(printer);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->main.version, 0x01020003u);
  ClosePrinter(printer);
  platform::use_in_memory_store(false);
}

}  // namespace
}  // namespace morva::test
