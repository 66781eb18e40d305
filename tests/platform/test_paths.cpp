#include <gtest/gtest.h>

#include <filesystem>

#include "temp_root.h"
#include "win/errors.h"
#include "win/paths.h"
#include "win/strings.h"

namespace {

using morva::platform::native_path;
using morva::platform::windows_path;

class Paths : public ::testing::Test {
 protected:
  void SetUp() override { SetCurrentDirectoryW(u"C:\\"); }
  morva::test::TempRoot root_;
};

TEST_F(Paths, MapsDrivesIntoTheRoot) {
  std::filesystem::create_directories(root_.file("drive_c/Program Files/Morva"));
  morva::test::write_file(root_.file("drive_c/Program Files/Morva/Data.BIN"), "x");
  const std::string r = root_.path();
  struct Case {
    std::u16string in;
    std::string out;
  } cases[] = {
      {u"C:\\a\\b", r + "/drive_c/a/b"},
      {u"c:/a/b", r + "/drive_c/a/b"},
      {u"D:\\x", r + "/drive_d/x"},
      {u"C:\\PROGRAM FILES\\morva\\data.bin", r + "/drive_c/Program Files/Morva/Data.BIN"},
      {u"C:\\program files\\MORVA\\new.txt", r + "/drive_c/Program Files/Morva/new.txt"},
      {u"C:\\a\\.\\b\\..\\c", r + "/drive_c/a/c"},
      {u"C:\\..\\..\\a", r + "/drive_c/a"},
      {u"C:\\a\\name. .", r + "/drive_c/a/name"},
      {u"\\\\?\\C:\\a", r + "/drive_c/a"},
      {u"\\\\srv\\share\\f", r + "/unc/srv/share/f"},
      {u"Z:\\tmp\\x", "/tmp/x"},
      {u"C:\\", r + "/drive_c"},
      {u"\\top", r + "/drive_c/top"},
  };
  for (const auto& c : cases) EXPECT_EQ(native_path(c.in), c.out) << morva::u16_to_utf8(c.in);
}

TEST_F(Paths, RelativePathsFollowTheCurrentDirectory) {
  std::filesystem::create_directories(root_.file("drive_c/Work/Sub"));
  ASSERT_TRUE(SetCurrentDirectoryW(u"c:\\work\\"));
  WCHAR buf[MAX_PATH];
  EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH, buf), 7u);
  EXPECT_EQ(std::u16string(buf), u"C:\\work");
  EXPECT_EQ(GetCurrentDirectoryW(3, buf), 8u);  // too small: size needed
  EXPECT_EQ(native_path(u"sub\\f.txt"), root_.file("drive_c/Work/Sub/f.txt"));
  EXPECT_EQ(native_path(u"..\\x"), root_.file("drive_c/x"));
  LPWSTR file = nullptr;
  EXPECT_EQ(GetFullPathNameW(u"sub/f.txt", MAX_PATH, buf, &file), 17u);
  EXPECT_EQ(std::u16string(buf), u"C:\\work\\sub\\f.txt");
  EXPECT_EQ(std::u16string(file), u"f.txt");
  EXPECT_FALSE(SetCurrentDirectoryW(u"C:\\missing"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Paths, InvalidNames) {
  std::string out;
  DWORD error = 0;
  for (const char16_t* bad : {u"C:\\a<b", u"C:\\a|b", u"C:\\a\\b:c", u"C:\\a\"b"}) {
    EXPECT_FALSE(native_path(bad, &out, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_NAME));
  }
  EXPECT_FALSE(native_path(u"", &out, &error));
}

TEST_F(Paths, WindowsNamesOfNativePaths) {
  EXPECT_EQ(windows_path(root_.file("drive_c/a/b")), u"C:\\a\\b");
  EXPECT_EQ(windows_path(root_.file("drive_c")), u"C:\\");
  EXPECT_EQ(windows_path(root_.file("drive_e/x")), u"E:\\x");
  EXPECT_EQ(windows_path("/usr/lib/x.so"), u"Z:\\usr\\lib\\x.so");
  EXPECT_EQ(native_path(windows_path("/usr/lib")), "/usr/lib");
}

}  // namespace
