#include <gtest/gtest.h>

#include <string>

#include "temp_root.h"
#include "win/codepage.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/profile.h"
#include "win/strings.h"

namespace {

using morva::test::read_file;
using morva::test::write_file;

// A UTF-16 literal with embedded 0s, whole.
template <size_t N>
std::u16string whole(const char16_t (&s)[N]) {
  return std::u16string(s, N - 1);
}

const char kIni[] =
    "; leading comment\r\n"
    "orphan=before any section\r\n"
    "[LOG]\r\n"
    "  Trace = 0x3 \r\n"
    "Level=-12\r\n"
    "; Level=99\r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Half=\"open\r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    "level=7\r\n"
    "[ Paths ]\n"
    "Dir=C:\\Data\n"
    "[log]\n"
    "Extra=second section\n";

class Profile : public ::testing::Test {
 protected:
  void SetUp() override { write_file(root_.file("drive_c/cfg/morva.cfg"), kIni); }
  std::u16string get(const char16_t* section, const char16_t* key, const char16_t* dflt = u"dflt", DWORD size = 256) {
    std::u16string buf(size, u'#');
    DWORD n = GetPrivateProfileStringW(section, key, dflt, buf.data(), size, u"C:\\cfg\\morva.cfg");
    last_n_ = n;
    return buf.substr(0, n);
  }
  std::u16string list(const char16_t* section, DWORD size = 256) {
    std::u16string buf(size, u'#');
    DWORD n = GetPrivateProfileStringW(section, nullptr, u"", buf.data(), size, u"C:\\cfg\\morva.cfg");
    last_n_ = n;
    return buf.substr(0, n + 1);  // with the closing 0
  }
  DWORD last_n_ = 0;
  morva::test::TempRoot root_;
};

TEST_F(Profile, Values) {
  struct Case {
    const char16_t* section;
    const char16_t* key;
    std::u16string value;
  } cases[] = {
      {u"LOG", u"Trace", u"0x3"},       {u"log", u"TRACE", u"0x3"},          {u"LOG", u"Level", u"-12"},
      {u"LOG", u"Quoted", u"  spaced  "}, {u"LOG", u"Single", u"x"},        {u"LOG", u"Half", u"\"open"},
      {u"LOG", u"Empty", u""},          {u"LOG", u"NoEquals", u""},          {u"Paths", u"dir", u"C:\\Data"},
      {u"LOG", u"Missing", u"dflt"},    {u"Nope", u"Trace", u"dflt"},        {u"LOG", u"orphan", u"dflt"},
      {u"LOG", u"Extra", u"dflt"},  // only the first of duplicate sections is read
  };
  for (const auto& c : cases)
    EXPECT_EQ(get(c.section, c.key), c.value) << morva::u16_to_utf8(c.section) << "/" << morva::u16_to_utf8(c.key);
  EXPECT_EQ(get(u"LOG", u"Missing", u"spaces   "), u"spaces");  // the default loses trailing blanks
  EXPECT_EQ(get(u"LOG", u"Missing", nullptr), u"");
  EXPECT_EQ(GetPrivateProfileIntW(u"LOG", u"Level", 5, u"C:\\cfg\\morva.cfg"), static_cast<UINT>(-12));
  EXPECT_EQ(GetPrivateProfileIntW(u"LOG", u"Trace", 5, u"C:\\cfg\\morva.cfg"), 0u);  // decimal only
  EXPECT_EQ(GetPrivateProfileIntW(u"LOG", u"Empty", 5, u"C:\\cfg\\morva.cfg"), 5u);
  EXPECT_EQ(GetPrivateProfileIntW(u"LOG", u"Missing", 9, u"C:\\cfg\\morva.cfg"), 9u);
}

TEST_F(Profile, ListsAndTruncation) {
  EXPECT_EQ(list(nullptr), whole(u"LOG\0Paths\0log\0\0"));
  EXPECT_EQ(list(u"log"), whole(u"Trace\0Level\0Quoted\0Single\0Half\0Empty\0NoEquals\0level\0\0"));
  EXPECT_EQ(list(u"none"), whole(u"\0"));
  // A list that does not fit: cut, two 0s, size-2.
  EXPECT_EQ(list(nullptr, 7), whole(u"LOG\0P\0"));
  EXPECT_EQ(last_n_, 5u);
  // A value that does not fit: cut, one 0, size-1.
  EXPECT_EQ(get(u"Paths", u"Dir", u"", 4), u"C:\\");
  EXPECT_EQ(last_n_, 3u);

  WCHAR section[128];
  DWORD n = GetPrivateProfileSectionW(u"LOG", section, 128, u"C:\\cfg\\morva.cfg");
  std::u16string got(section, n + 1);
  EXPECT_EQ(got, whole(u"Trace=0x3\0Level=-12\0Quoted=\"  spaced  \"\0Single='x'\0Half=\"open\0Empty=\0"
                                u"NoEquals\0level=7\0\0"));
}

TEST_F(Profile, EncodingsAndMissingFiles) {
  // UTF-16LE with a byte-order mark.
  std::u16string text = u"[Fax]\r\nName=\u65e5\u672c\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  write_file(root_.file("drive_c/cfg/wide.ini"), bytes);
  WCHAR buf[32];
  EXPECT_EQ(GetPrivateProfileStringW(u"fax", u"name", u"", buf, 32, u"C:\\cfg\\wide.ini"), 2u);
  EXPECT_EQ(std::u16string(buf), u"\u65e5\u672c");
  // ANSI through the machine's code page.
  write_file(root_.file("drive_c/cfg/ansi.ini"), "[A]\nK=caf\xe9\n");
  EXPECT_EQ(GetPrivateProfileStringW(u"A", u"K", u"", buf, 32, u"C:\\cfg\\ansi.ini"), 4u);
  EXPECT_EQ(std::u16string(buf), u"caf\u00e9");
  ASSERT_TRUE(morva::platform::set_ansi_code_page(932));
  write_file(root_.file("drive_c/cfg/sjis.ini"), "[A]\nK=\x93\xfa\x96\x7b\n");
  EXPECT_EQ(GetPrivateProfileStringW(u"A", u"K", u"", buf, 32, u"C:\\cfg\\sjis.ini"), 2u);
  char abuf[8];
  EXPECT_EQ(GetPrivateProfileStringA("A", "K", "", abuf, 8, "C:\\cfg\\sjis.ini"), 4u);
  EXPECT_STREQ(abuf, "\x93\xfa\x96\x7b");
  // A missing file gives the default.
  EXPECT_EQ(GetPrivateProfileStringW(u"A", u"K", u"d", buf, 32, u"C:\\cfg\\none.ini"), 1u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A bare file name lives in the Windows folder.
  write_file(root_.file("drive_c/Windows/bare.ini"), "[S]\nk=v\n");
  EXPECT_EQ(GetPrivateProfileStringW(u"S", u"k", u"", buf, 32, u"bare.ini"), 1u);
}

TEST_F(Profile, Writes) {
  const char16_t* file = u"C:\\cfg\\morva.cfg";
  ASSERT_TRUE(WritePrivateProfileStringW(u"log", u"TRACE", u"0x7", file));
  EXPECT_EQ(get(u"LOG", u"Trace"), u"0x7");
  ASSERT_TRUE(WritePrivateProfileStringW(u"Paths", u"New", u"v", file));
  EXPECT_EQ(get(u"Paths", u"new"), u"v");
  ASSERT_TRUE(WritePrivateProfileStringW(u"Added", u"k", u"1", file));
  EXPECT_EQ(get(u"added", u"K"), u"1");
  // Deleting a key removes its first occurrence; a duplicate then shows.
  ASSERT_TRUE(WritePrivateProfileStringW(u"LOG", u"Level", nullptr, file));
  EXPECT_EQ(get(u"LOG", u"Level"), u"7");
  ASSERT_TRUE(WritePrivateProfileStringW(u"LOG", u"Level", nullptr, file));
  EXPECT_EQ(get(u"LOG", u"Level"), u"dflt");
  ASSERT_TRUE(WritePrivateProfileStringW(u"Paths", nullptr, nullptr, file));
  EXPECT_EQ(get(u"Paths", u"Dir"), u"dflt");
  // Comments and unrelated lines stay.
  std::string after = read_file(root_.file("drive_c/cfg/morva.cfg"));
  EXPECT_NE(after.find("; leading comment"), std::string::npos);
  EXPECT_NE(after.find("; Level=99"), std::string::npos);
  // A read-only file is refused and left alone.
  ASSERT_TRUE(SetFileAttributesW(file, FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WritePrivateProfileStringW(u"LOG", u"Trace", u"1", file));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(get(u"LOG", u"Trace"), u"0x7");
  // A UTF-16 file stays UTF-16.
  write_file(root_.file("drive_c/cfg/w.ini"), std::string("\xFF\xFE[\0A\0]\0", 8));
  ASSERT_TRUE(WritePrivateProfileStringW(u"A", u"k", u"\u00e9", u"C:\\cfg\\w.ini"));
  EXPECT_EQ(read_file(root_.file("drive_c/cfg/w.ini")).substr(0, 2), "\xFF\xFE");
  WCHAR buf[8];
  EXPECT_EQ(GetPrivateProfileStringW(u"A", u"k", u"", buf, 8, u"C:\\cfg\\w.ini"), 1u);
  EXPECT_EQ(buf[0], u'\u00e9');
}

}  // namespace
