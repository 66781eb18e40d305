// The graphics library's database value accessors, with the format-level
// gate taken from the database opened last.
#include <gtest/gtest.h>

#include "../settings/ddd_fixture.h"
#include "settings/gfx/gfx_ddd_accessors.h"

namespace {

class GfxAccessors : public morva::test::DddTest {
 protected:
  void open_level(unsigned level) {
    if (handle) DddClose(handle);
    handle = nullptr;
    ASSERT_NO_FATAL_FAILURE(open(morva::test::one_file(nlohmann::json::array(), level)));
  }
};

}  // namespace

TEST_F(GfxAccessors, ResultsByKindAndLevel) {
  DddRange range{};
  range.kind = 5;
  range.word = 0x1234;
  range.byte = 7;
  DddPaper paper{};
  paper.kind = 10;
  paper.word1 = 0x51;
  paper.byte2 = 2;
  paper.fourth = {100, 200};
  paper.fourth2 = {300, 400};
  DddDeviceFont font{};
  font.kind = 11;
  font.data_size = 4096;
  DddKind19 k19{};
  k19.kind = 19;
  k19.byte = 9;

  ASSERT_NO_FATAL_FAILURE(open_level(0x100));
  WORD w = 0;
  BYTE b = 0;
  DWORD d = 0;
  const DddPair* first = nullptr;
  const DddPair* second = nullptr;
  // Ungated accessors work at any level.
  ASSERT_EQ(DddGetKind5Code(&range, &w), 0);
  EXPECT_EQ(w, 0x1234);
  ASSERT_EQ(GetPaperObjectMediaCode(&paper, &w), 0);
  EXPECT_EQ(w, 0x51);
  ASSERT_EQ(GetFontObjectDataSize(&font, &d), 0);
  EXPECT_EQ(d, 4096u);
  // Gated ones refuse below 0x200.
  EXPECT_EQ(DddGetChoiceFlagByte(&range, &b), 1);
  EXPECT_EQ(DddGetKind19Flag(&k19, &b), 1);
  EXPECT_EQ(DddGetPaperExtent(&paper, &b, &first, &second), 1);

  ASSERT_NO_FATAL_FAILURE(open_level(0x200));
  ASSERT_EQ(DddGetChoiceFlagByte(&range, &b), 0);
  EXPECT_EQ(b, 7);
  range.kind = 6;
  ASSERT_EQ(DddGetChoiceFlagByte(&range, &b), 0);
  ASSERT_EQ(DddGetKind19Flag(&k19, &b), 0);
  EXPECT_EQ(b, 9);
  ASSERT_EQ(DddGetPaperExtent(&paper, &b, &first, &second), 0);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(first, &paper.fourth);
  EXPECT_EQ(second->first, 300);

  // Another kind or a null argument: status 1; the two size answers read 0.
  EXPECT_EQ(DddGetKind5Code(&range, &w), 1);  // kind 6 now
  w = 5;
  EXPECT_EQ(GetPaperObjectMediaCode(&font, &w), 1);
  EXPECT_EQ(w, 0);
  d = 5;
  EXPECT_EQ(GetFontObjectDataSize(&paper, &d), 1);
  EXPECT_EQ(d, 0u);
  EXPECT_EQ(DddGetKind19Flag(nullptr, &b), 1);
  EXPECT_EQ(DddGetPaperExtent(&paper, &b, nullptr, &second), 1);
}
