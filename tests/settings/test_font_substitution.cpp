#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blobs_fixture.h"
#include "settings/stores/font_substitution.h"
#include "settings/stores/printer_data_kinds.h"
#include "win/memory.h"

namespace morva::test {
namespace {

// A list from its strings (the final empty string is added).
std::u16string list_of(std::initializer_list<std::u16string> strings) {
  std::u16string out;
  for (const auto& s : strings) out += s + u'\0';
  return out + u'\0';
}

// The strings of a list, up to and including the final empty string.
std::u16string chars_of(const WCHAR* list) {
  if (list == nullptr) return u"<null>";
  const DWORD n = MultiSzPairListChars(list, 1 << 20);
  return n ? std::u16string(list, n) : u"<malformed>";
}

json font(const std::string& name, json faces) {
  return {{"kind", 11}, {"name", name}, {"family", "F"}, {"faces", faces}, {"data", "01"}};
}

class FontSubstitution : public PrinterTest {};

TEST_F(FontSubstitution, BuiltFromTheDeviceFonts) {
  install(json::array({font("Font1", {"A", "B"}), font("Font2", {"C"}), font("Font3", json::array())}));
  WCHAR* list = BuildFontSubstitutionTable(handle);
  EXPECT_EQ(chars_of(list), list_of({u"A", u"Font1", u"B", u"Font1", u"C", u"Font2"}));
  GlobalFree(list);
  EXPECT_EQ(BuildFontSubstitutionTable(nullptr), nullptr);
}

TEST_F(FontSubstitution, BuildGrowsItsBuffer) {
  // 3 x 30 pairs of 31-character names: far beyond the first 1279 bytes.
  json fonts = json::array();
  std::u16string expected;
  for (int f = 0; f < 3; ++f) {
    json faces = json::array();
    const std::string name = "Device font number " + std::to_string(f) + std::string(11, 'x');
    for (int i = 0; i < 30; ++i) {
      const std::string face = "TrueType face " + std::to_string(f * 100 + i) + std::string(14, 'y');
      faces.push_back(face);
      expected += std::u16string(face.begin(), face.end()) + u'\0' + std::u16string(name.begin(), name.end()) + u'\0';
    }
    fonts.push_back(font(name, faces));
  }
  install(fonts);
  WCHAR* list = BuildFontSubstitutionTable(handle);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(chars_of(list), expected + u'\0');
  EXPECT_EQ((GlobalSize(list) - 1279) % 1280, 0u);
  GlobalFree(list);
}

TEST_F(FontSubstitution, NoFontsAndUnusableFonts) {
  install(json::array({font("", {"A"})}));
  EXPECT_EQ(BuildFontSubstitutionTable(handle), nullptr) << "a font without a name";
}

TEST_F(FontSubstitution, EmptyDatabaseGivesAnEmptyList) {
  install();
  WCHAR* list = BuildFontSubstitutionTable(handle);
  EXPECT_EQ(chars_of(list), list_of({}));
  GlobalFree(list);
}

TEST(FontSubstitutionList, Find) {
  const std::u16string list = list_of({u"Arial", u"Font1", u"arial", u"Font2", u"Times", u"", u"Courier", u"Font3"});
  struct Case {
    const char16_t* key;
    const char16_t* value;  // null: not found
  } cases[] = {{u"Arial", u"Font1"}, {u"arial", u"Font2"}, {u"ARIAL", nullptr}, {u"Times", u""},
               {u"Courier", u"Font3"}, {u"Font1", nullptr}, {u"", nullptr}, {u"Aria", nullptr}};
  for (const Case& c : cases) {
    const WCHAR* v = FindMultiSzPairValue(list.c_str(), c.key);
    if (c.value == nullptr) {
      EXPECT_EQ(v, nullptr) << std::string(c.key, c.key + std::char_traits<char16_t>::length(c.key));
    } else {
      ASSERT_NE(v, nullptr);
      EXPECT_EQ(std::u16string(v), c.value);
    }
  }
  EXPECT_EQ(FindMultiSzPairValue(nullptr, u"A"), nullptr);
  EXPECT_EQ(FindMultiSzPairValue(list.c_str(), nullptr), nullptr);
}

TEST(FontSubstitutionList, Edit) {
  const std::u16string two = list_of({u"A", u"F1", u"B", u"F2"});
  const std::u16string one = list_of({u"A", u"F1"});
  const std::u16string limit_face(31, u'f'), limit_font(33, u'g');  // 32 + 34 = 66 with terminators
  const std::u16string over_font = limit_font + u"g";
  struct Case {
    const char* what;
    std::u16string list;
    const char16_t* key;
    const char16_t* value;
    std::u16string expected;  // empty: refused
  } cases[] = {
      {"replace", two, u"B", u"F9", list_of({u"A", u"F1", u"B", u"F9"})},
      {"remove", two, u"A", nullptr, list_of({u"B", u"F2"})},
      {"append", two, u"C", u"F3", list_of({u"A", u"F1", u"B", u"F2", u"C", u"F3"})},
      {"absent key without value", two, u"C", nullptr, two},
      {"remove the only pair", one, u"A", nullptr, list_of({})},
      {"append to an empty list", list_of({}), u"A", u"F1", one},
      {"keys are case-sensitive", one, u"a", u"F2", list_of({u"A", u"F1", u"a", u"F2"})},
      {"longest pair", one, limit_face.c_str(), limit_font.c_str(), list_of({u"A", u"F1", limit_face, limit_font})},
      {"pair too long", one, limit_face.c_str(), over_font.c_str(), u""},
  };
  for (const Case& c : cases) {
    const std::u16string before = c.list;
    WCHAR* out = EditMultiSzPairList(c.list.c_str(), c.key, c.value);
    if (c.expected.empty()) {
      EXPECT_EQ(out, nullptr) << c.what;
    } else {
      EXPECT_EQ(chars_of(out), c.expected) << c.what;
    }
    EXPECT_EQ(c.list, before) << c.what << ": the input is left alone";
    if (out) GlobalFree(out);
  }
  WCHAR* from_null = EditMultiSzPairList(nullptr, u"A", u"F1");
  EXPECT_EQ(chars_of(from_null), one);
  GlobalFree(from_null);
  EXPECT_EQ(EditMultiSzPairList(one.c_str(), nullptr, u"F"), nullptr);
}

TEST(FontSubstitutionList, WellFormedWithinItsSize) {
  const std::u16string good = list_of({u"A", u"F1"});
  EXPECT_EQ(MultiSzPairListChars(good.c_str(), DWORD(good.size())), good.size());
  EXPECT_EQ(MultiSzPairListChars(good.c_str(), DWORD(good.size() - 1)), 0u) << "no final empty string";
  const std::u16string odd = std::u16string(u"A\0F1\0B\0", 7);  // a face without its font
  EXPECT_EQ(MultiSzPairListChars(odd.c_str(), DWORD(odd.size())), 0u);
  EXPECT_EQ(MultiSzPairListChars(u"", 0), 0u);
}

// The stored table, the database's when none (or a damaged one) is stored,
// and the sheet's edit written back.
TEST_F(FontSubstitution, StoredTable) {
  install(json::array({font("Font1", {"A", "B"}), font("Font2", {"C"})}));
  const std::u16string from_database = list_of({u"A", u"Font1", u"B", u"Font1", u"C", u"Font2"});
  EXPECT_EQ(ReadStoredFontSubstitutionTable(printer), nullptr);
  WCHAR* list = GetFontSubstitutionTable(printer);
  EXPECT_EQ(chars_of(list), from_database);

  WCHAR* edited = EditMultiSzPairList(list, u"B", nullptr);
  GlobalFree(list);
  ASSERT_EQ(WriteFontSubstitutionTable(printer, 0, edited), 1);
  DWORD size = 0;
  ASSERT_EQ(ReadPrinterDataKind(printer, kPrinterDataFontSubTable, nullptr, &size), 1);
  EXPECT_EQ(size, chars_of(edited).size() * sizeof(WCHAR));
  list = GetFontSubstitutionTable(printer, 0);
  EXPECT_EQ(chars_of(list), list_of({u"A", u"Font1", u"C", u"Font2"}));
  GlobalFree(list);
  EXPECT_EQ(EnsureFontSubstitutionTable(printer, handle), 1);
  list = ReadStoredFontSubstitutionTable(printer);
  EXPECT_EQ(chars_of(list), chars_of(edited)) << "a stored table is kept";
  GlobalFree(list);
  GlobalFree(edited);

  // A stored table without its final empty string is not a table.
  const std::u16string damaged(u"A\0Font9", 7);
  ASSERT_EQ(WritePrinterDataKind(printer, damaged.data(), DWORD(damaged.size() * 2), kPrinterDataFontSubTable), 1);
  EXPECT_EQ(ReadStoredFontSubstitutionTable(printer), nullptr);
  list = GetFontSubstitutionTable(printer);
  EXPECT_EQ(chars_of(list), from_database);
  GlobalFree(list);
  ASSERT_EQ(EnsureFontSubstitutionTable(printer, handle), 1);
  list = ReadStoredFontSubstitutionTable(printer);
  EXPECT_EQ(chars_of(list), from_database) << "the damaged table was replaced";
  GlobalFree(list);

  EXPECT_EQ(WriteFontSubstitutionTable(printer, nullptr), 0);
  EXPECT_EQ(GetFontSubstitutionTable(nullptr), nullptr);
}

}  // namespace
}  // namespace morva::test
