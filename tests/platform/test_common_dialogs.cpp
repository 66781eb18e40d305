// Scripted file and colour dialogs, help and the shell's open, recorded.
#include <gtest/gtest.h>

#include "win/win.h"

namespace {

using morva::platform::CommonDialogAnswer;
using morva::platform::CommonDialogRecord;

class CommonDialogs : public ::testing::Test {
 protected:
  void SetUp() override { morva::platform::reset_common_dialogs(); }
  void TearDown() override { morva::platform::reset_common_dialogs(); }
};

TEST_F(CommonDialogs, FileDialogsAnswerFromTheScript) {
  morva::platform::script_common_dialog_answers({
      {true, u"C:\\data\\stamp.bmp", 0, 0},
      {false, u"", 0, 0},
      {false, u"", 0, CDERR_INITIALIZATION},
      {true, u"C:\\a\\much_too_long_name.txt", 0, 0},
  });
  struct Case {
    bool save;
    DWORD max_file;
    BOOL result;
    DWORD error;
    std::u16string file;  // after the call
  };
  const Case cases[] = {
      {false, 260, TRUE, 0, u"C:\\data\\stamp.bmp"},
      {true, 260, FALSE, 0, u"initial"},  // cancelled: the buffer keeps its text
      {false, 260, FALSE, CDERR_INITIALIZATION, u"initial"},
      {false, 10, FALSE, FNERR_BUFFERTOOSMALL, u""},
  };
  for (const Case& c : cases) {
    WCHAR file[260] = u"initial";
    WCHAR title[64] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = u"Bitmaps\0*.bmp\0All\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = c.max_file;
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = 64;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    EXPECT_EQ(c.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn), c.result);
    EXPECT_EQ(CommDlgExtendedError(), c.error);
    if (c.error == FNERR_BUFFERTOOSMALL) {
      EXPECT_EQ(*reinterpret_cast<WORD*>(file), 28);  // the size needed, in characters with the end
    } else {
      EXPECT_EQ(std::u16string(file), c.file);
    }
    if (c.result) {
      EXPECT_EQ(std::u16string(title), u"stamp.bmp");
      EXPECT_EQ(ofn.nFileOffset, 8);
      EXPECT_EQ(ofn.nFileExtension, 14);
    }
  }
  auto log = morva::platform::common_dialog_log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].kind, CommonDialogRecord::kOpenFile);
  EXPECT_EQ(log[0].extra, u"Bitmaps|*.bmp|All|*.*");
  EXPECT_EQ(log[0].text, u"initial");
  EXPECT_EQ(log[1].kind, CommonDialogRecord::kSaveFile);
  EXPECT_FALSE(log[1].accepted);
  EXPECT_EQ(log[0].flags, static_cast<DWORD>(OFN_PATHMUSTEXIST | OFN_HIDEREADONLY));
}

TEST_F(CommonDialogs, ColourDialogStartsFromTheGivenColour) {
  morva::platform::script_common_dialog_answers({{true, u"", RGB(1, 2, 3), 0}});
  COLORREF custom[16] = {};
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.rgbResult = RGB(200, 0, 0);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  EXPECT_TRUE(ChooseColorW(&cc));
  EXPECT_EQ(cc.rgbResult, RGB(1, 2, 3));
  EXPECT_FALSE(ChooseColorW(&cc));  // nothing scripted: the user cancels
  EXPECT_EQ(cc.rgbResult, RGB(1, 2, 3));
  auto log = morva::platform::common_dialog_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].data, RGB(200, 0, 0));
  cc.lStructSize = 3;
  EXPECT_FALSE(ChooseColorW(&cc));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
}

TEST_F(CommonDialogs, HelpWindowOpensAndClosesAndShellOpenIsRecorded) {
  EXPECT_EQ(HtmlHelpW(GetDesktopWindow(), u"C:\\help\\driver.chm", HH_GET_WIN_HANDLE, reinterpret_cast<DWORD_PTR>(u"main")), nullptr);
  EXPECT_NE(HtmlHelpW(GetDesktopWindow(), u"C:\\help\\driver.chm", HH_HELP_CONTEXT, 9999), nullptr);
  EXPECT_TRUE(morva::platform::help_window_open());
  EXPECT_NE(HtmlHelpW(GetDesktopWindow(), u"C:\\help\\driver.chm", HH_GET_WIN_HANDLE, reinterpret_cast<DWORD_PTR>(u"main")), nullptr);
  HtmlHelpW(nullptr, nullptr, HH_CLOSE_ALL, 0);
  EXPECT_FALSE(morva::platform::help_window_open());
  EXPECT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"https://example.invalid/", u"", u"", SW_SHOW)), 32);
  morva::platform::script_shell_result(2);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"missing.txt", nullptr, nullptr, SW_SHOW)), 2);
  auto log = morva::platform::common_dialog_log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1].kind, CommonDialogRecord::kHtmlHelp);
  EXPECT_EQ(log[1].flags, static_cast<DWORD>(HH_HELP_CONTEXT));
  EXPECT_EQ(log[1].data, 9999u);
  EXPECT_EQ(log[1].title, u"C:\\help\\driver.chm");
  EXPECT_EQ(log[4].kind, CommonDialogRecord::kShellExecute);
  EXPECT_EQ(log[4].title, u"open");
  EXPECT_EQ(log[4].text, u"https://example.invalid/");
  EXPECT_EQ(log[4].flags, static_cast<DWORD>(SW_SHOW));
  EXPECT_FALSE(log[5].accepted);
}

}  // namespace
