// The version information dialog's texts, fonts and logo mode.
#include <gtest/gtest.h>

#include <string>

#include "picture_fixture.h"
#include "property_sheets/version_dialog.h"
#include "win/win.h"

namespace {

using morva::test::ResourceModule;

TEST(VersionDialog, VersionNumberAndLine) {
  EXPECT_EQ(DisplayedVersionNumber(0x02090105), 261u);
  EXPECT_EQ(DisplayedVersionNumber(0x02080105), 0x02080105u);
  EXPECT_EQ(DisplayedVersionNumber(42), 42u);
  ResourceModule res;
  WCHAR line[256] = {};
  ASSERT_EQ(BuildAboutVersionLine(res.get(), 0x02090105, 1, FALSE, line, 256), 1);
  EXPECT_EQ(std::u16string(line), u"Version 2.9.7.1, build 261, language 0, host 1, interface 02080101");
  ASSERT_EQ(BuildAboutVersionLine(res.get(), 7, 0, TRUE, line, 256), 1);
  EXPECT_EQ(std::u16string(line), u"Version 2.9.7.1 (build 7)  language 0  host 0  interface 02080101.");
  WCHAR block[256] = {};
  ASSERT_EQ(BuildAboutVersionBlock(res.get(), u"Driver", u"v1", u"Notice", FALSE, block, 256), 1);
  EXPECT_EQ(std::u16string(block), u"Driver v1\nAll rights reserved.\n\nNotice");
  ASSERT_EQ(BuildAboutVersionBlock(res.get(), u"Driver", u"v1", u"Notice", TRUE, block, 256), 1);
  EXPECT_EQ(std::u16string(block), u"Driver\nv1\nAll rights reserved.");
}

TEST(VersionDialog, CommentHeadingAndLongComments) {
  ResourceModule res;
  WCHAR out[kAboutCommentChars];
  EXPECT_EQ(BuildAboutComment(res.get(), u"Duplex unit fitted", out), 34);
  EXPECT_EQ(std::u16string(out), u"Configuration:\r\nDuplex unit fitted");
  const std::u16string longer(500, u'x');
  EXPECT_EQ(BuildAboutComment(res.get(), longer.c_str(), out), kAboutCommentShown);
  EXPECT_EQ(std::u16string(out).substr(kAboutCommentShown - 3), u"...");
  HMODULE empty = nullptr;
  EXPECT_EQ(BuildAboutComment(empty, nullptr, out), 0);  // nothing to show: the control is hidden
}

TEST(VersionDialog, FontsFromTheTemplateAndTheStrings) {
  ResourceModule res;
  struct Case {
    AboutFont which;
    BYTE charset;
    BOOL logo, logo_first;
    INT dpi;
    LONG height, weight;
    BYTE out_charset;
  } cases[] = {
      {AboutFont::kTitle, 0, FALSE, FALSE, 96, -24, FW_BOLD, 1},      // string 1790 names charset 1
      {AboutFont::kTitle, 0, TRUE, TRUE, 120, -30, FW_NORMAL, 1},
      {AboutFont::kVersion, 161, FALSE, FALSE, 120, -23, FW_NORMAL, 161},  // a single-byte charset is kept
      {AboutFont::kVersion, 128, TRUE, FALSE, 120, -12, FW_NORMAL, ANSI_CHARSET},  // logo strings, 96 dpi; double-byte charset: the template's
      {AboutFont::kSmall, 0, TRUE, FALSE, 144, -12, FW_NORMAL, ANSI_CHARSET},
  };
  for (const Case& c : cases) {
    LOGFONTW lf{};
    ASSERT_TRUE(MakeAboutLogFont(res.get(), c.which, c.charset, c.logo, c.logo_first, c.dpi, &lf));
    EXPECT_EQ(lf.lfHeight, c.height) << static_cast<int>(c.which);
    EXPECT_EQ(lf.lfWeight, c.weight) << static_cast<int>(c.which);
    EXPECT_EQ(lf.lfCharSet, c.out_charset) << static_cast<int>(c.which);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"DejaVu Sans");
  }
}

TEST(VersionDialog, FontsAreMadeAgainAndTheLogoModeFollowsEachDialog) {
  ResourceModule res;
  AboutDialogState* s = GetAboutDialogState();
  ASSERT_EQ(AboutDialogInit(res.get(), 0, TRUE, 96), 1);
  EXPECT_TRUE(s->logo_mode);
  EXPECT_TRUE(AboutAnswersStaticColour(TRUE));
  ASSERT_NE(s->small, nullptr);
  AboutDialogDestroy();
  EXPECT_EQ(s->title, nullptr);
  // The next dialog has no logo: plain mode, and live fonts again.
  ASSERT_EQ(AboutDialogInit(res.get(), 0, FALSE, 96), 1);
  EXPECT_FALSE(s->logo_mode);
  EXPECT_FALSE(AboutAnswersStaticColour(TRUE));
  LOGFONTW lf{};
  ASSERT_NE(s->title, nullptr);
  EXPECT_EQ(GetObjectW(s->title, sizeof lf, &lf), static_cast<INT>(sizeof lf));
  EXPECT_EQ(GetObjectW(s->version, sizeof lf, &lf), static_cast<INT>(sizeof lf));
  AboutDialogDestroy();
}

}  // namespace
