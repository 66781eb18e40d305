// The store file's folder: which levels a folder path creates, the user's
// answer when one cannot be created, and the length limit of the path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/store_mode.h"
#include "temp_root.h"
#include "win/msgbox.h"
#include "win/paths.h"

namespace {

using morva::gfx::CreateFolderTree;
using morva::gfx::FolderTreeLevels;
using morva::gfx::JoinStoreFilePath;

TEST(StoreFolders, LevelsOfAFolderPath) {
  struct Case {
    std::u16string path;
    std::vector<std::u16string> levels;
  } cases[] = {
      {u"", {}},
      {u"C:\\Jobs\\Forms", {u"C:\\Jobs", u"C:\\Jobs\\Forms"}},
      {u"C:\\Jobs\\Forms\\", {u"C:\\Jobs", u"C:\\Jobs\\Forms"}},
      {u"C:/Jobs\u00A5Forms", {u"C:/Jobs", u"C:/Jobs\u00A5Forms"}},
      {u"\\\\server\\share\\a\\b", {u"\\\\server\\share\\a", u"\\\\server\\share\\a\\b"}},
      {u"\\\\server\\share", {}},
      {u"\\\\server\\share\\", {}},
      {u"\\top\\sub", {u"\\top", u"\\top\\sub"}},
      {u"C:\\a\\\\b", {u"C:\\a", u"C:\\a\\\\b"}},
  };
  for (const Case& c : cases) {
    std::string shown(c.path.begin(), c.path.end());
    EXPECT_EQ(FolderTreeLevels(c.path), c.levels) << shown;
  }
}

TEST(StoreFolders, PathLimitAndSeparator) {
  EXPECT_EQ(JoinStoreFilePath(u"C:\\Jobs", u"Invoice", u"PRNX"), u"C:\\Jobs\\Invoice.PRN");
  EXPECT_EQ(JoinStoreFilePath(u"C:\\Jobs\\", u"Invoice", u"PRN"), u"C:\\Jobs\\Invoice.PRN");
  // 8 + 248 + 4 = 260 characters fit; one more does not.
  EXPECT_EQ(JoinStoreFilePath(u"C:\\Jobs", std::u16string(248, u'n'), u"PRN").size(), 260u);
  EXPECT_TRUE(JoinStoreFilePath(u"C:\\Jobs", std::u16string(249, u'n'), u"PRN").empty());
}

TEST(StoreFolders, CreatesEveryLevelOrReportsTheUsersAnswer) {
  morva::test::TempRoot root;
  morva::platform::reset_message_boxes();
  EXPECT_EQ(CreateFolderTree(nullptr, u"C:\\Jobs\\Forms\\Week"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(morva::platform::native_path(u"C:\\Jobs\\Forms\\Week")));
  EXPECT_EQ(CreateFolderTree(nullptr, u"C:\\Jobs\\Forms\\"), 0);  // existing levels are fine
  EXPECT_TRUE(morva::platform::message_box_log().empty());

  morva::test::write_file(morva::platform::native_path(u"C:\\Blocked"), "x");
  morva::platform::script_message_box_answers({IDOK, IDCANCEL});
  EXPECT_EQ(CreateFolderTree(nullptr, u"C:\\Blocked\\a\\b"), -1);
  EXPECT_EQ(CreateFolderTree(nullptr, u"C:\\Blocked\\a\\b"), -2);
  // The walk stops at the first level that failed.
  EXPECT_EQ(morva::platform::message_box_log().size(), 2u);
  morva::platform::reset_message_boxes();
}

}  // namespace
