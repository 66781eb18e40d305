#include <gtest/gtest.h>

#include "settings/devmode/paper_source_table.h"

namespace {

TEST(PaperSourceTable, Lookups) {
  WORD ids[kPaperSourceIds] = {};
  ASSERT_EQ(GetSourceSettingIds(11, ids), 1);
  const WORD expected[kPaperSourceIds] = {6151, 6166, 6181, 6301, 6196, 6211};
  for (int i = 0; i < kPaperSourceIds; ++i) EXPECT_EQ(ids[i], expected[i]);
  EXPECT_EQ(GetSourceSettingIds(4, ids), 0);
  EXPECT_EQ(GetSourceSettingIds(11, nullptr), 0);
  ASSERT_EQ(GetSourceSettingIds(277, ids), 1);
  EXPECT_EQ(ids[3], 6314);

  WORD width = 0, length = 0;
  ASSERT_EQ(GetSourceSizeSettingIds(6222, &width, &length), 1);
  EXPECT_EQ(width, 6267);
  EXPECT_EQ(length, 6282);
  EXPECT_EQ(GetSourceSizeSettingIds(6160, &width, &length), 0);
  EXPECT_EQ(GetSourceSizeSettingIds(6222, nullptr, &length), 0);
}

}  // namespace
