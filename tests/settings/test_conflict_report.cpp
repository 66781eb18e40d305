#include <gtest/gtest.h>

#include <vector>

#include "settings/constraints/conflict_report.h"
#include "win/memory.h"

namespace {

TEST(ConflictSeverity, KeepsTheMoreSevereKind) {
  struct Case {
    WORD current, incoming, expected;
  } cases[] = {
      {2, 13, 13}, {9, 3, 3}, {3, 9, 3}, {7, 7, 7},  {0, 4, 4},   {4, 0, 4},
      {15, 14, 15}, {11, 13, 13}, {5, 2, 2},
      // An unranked kind is never taken, and counts as rank 0 when current.
      {0, 16, 0}, {40, 0, 0}, {40, 99, 40},
  };
  for (const auto& c : cases) {
    WORD kind = c.current;
    RaiseConflictSeverity(&kind, c.incoming);
    EXPECT_EQ(kind, c.expected) << c.current << " vs " << c.incoming;
  }
  // Kind 6 outranks every other kind.
  for (WORD other = 0; other < 20; ++other) {
    WORD kind = 6;
    RaiseConflictSeverity(&kind, other);
    EXPECT_EQ(kind, 6) << other;
  }
}

TEST(ChangedItems, GrowByFiveBeyondTheInlineRoom) {
  WORD inline_ids[kChangedItemRoom];
  WORD* list = inline_ids;
  WORD count = 0;
  for (WORD id = 1; id <= 5; ++id) ASSERT_EQ(AddChangedItem(id, kChangedItemRoom, &list, &count), 0);
  EXPECT_EQ(list, inline_ids);
  ASSERT_EQ(AddChangedItem(6, kChangedItemRoom, &list, &count), 0);
  ASSERT_NE(list, inline_ids);
  EXPECT_EQ(GlobalSize(list), 10 * sizeof(WORD));
  for (WORD id = 7; id <= 10; ++id) ASSERT_EQ(AddChangedItem(id, kChangedItemRoom, &list, &count), 0);
  WORD* ten = list;
  EXPECT_EQ(AddChangedItem(3, kChangedItemRoom, &list, &count), 0);  // present: not added
  EXPECT_EQ(count, 10);
  ASSERT_EQ(AddChangedItem(11, kChangedItemRoom, &list, &count), 0);
  EXPECT_NE(list, ten);
  EXPECT_EQ(GlobalSize(list), 15 * sizeof(WORD));
  ASSERT_EQ(count, 11);
  for (WORD i = 0; i < count; ++i) EXPECT_EQ(list[i], i + 1);
  EXPECT_EQ(ChangedItemCapacity(5, 11), 15);
  EXPECT_EQ(ChangedItemCapacity(5, 3), 5);

  // Out of memory leaves the list as it was.
  for (WORD id = 12; id <= 15; ++id) ASSERT_EQ(AddChangedItem(id, kChangedItemRoom, &list, &count), 0);
  WORD* full = list;
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(AddChangedItem(16, kChangedItemRoom, &list, &count), 2);
  morva::platform::inject_allocation_failure(0, 0);
  EXPECT_EQ(list, full);
  EXPECT_EQ(count, 15);

  EXPECT_EQ(AddChangedItem(1, kChangedItemRoom, nullptr, &count), 1);
  EXPECT_EQ(AddChangedItem(1, kChangedItemRoom, &list, nullptr), 1);
  ReleaseChangedItems(kChangedItemRoom, inline_ids, &list, &count);
  EXPECT_EQ(list, inline_ids);
  EXPECT_EQ(count, 0);
}

TEST(ConflictReports, CopyDuplicatesGrownListsAndResetReattaches) {
  ConflictReport* report = NewConflictReport();
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->kind, 0);
  EXPECT_EQ(report->ddmids.ids, report->ddmids.inline_ids);
  report->user_field = 7;
  report->kind = 3;
  report->flags = 0x12;
  for (WORD id = 100; id < 125; ++id) ASSERT_EQ(AddToIdList(&report->ddmids, id), 0);
  ASSERT_EQ(AddToIdList(&report->rules, 4), 0);

  ConflictReport* copy = NewConflictReport();
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(CopyConflictReport(copy, report), 0);
  EXPECT_EQ(copy->user_field, 7);
  EXPECT_EQ(copy->kind, 3);
  EXPECT_EQ(copy->flags, 0x12);
  ASSERT_EQ(copy->ddmids.count, 25);
  EXPECT_NE(copy->ddmids.ids, report->ddmids.ids);
  EXPECT_EQ(copy->ddmids.ids[24], 124);
  EXPECT_EQ(copy->rules.ids, copy->rules.inline_ids);
  EXPECT_EQ(copy->rules.ids[0], 4);

  // A failed copy leaves the target reset.
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(CopyConflictReport(copy, report), 2);
  morva::platform::inject_allocation_failure(0, 0);
  EXPECT_EQ(copy->kind, 0);
  EXPECT_EQ(copy->ddmids.count, 0);

  ResetConflictReport(report);
  EXPECT_EQ(report->kind, 0);
  EXPECT_EQ(report->user_field, 0);
  EXPECT_EQ(report->ddmids.ids, report->ddmids.inline_ids);
  ASSERT_EQ(AddToIdList(&report->ddmids, 5), 0);
  FreeConflictReport(report);
  FreeConflictReport(copy);
  FreeConflictReport(nullptr);
}

}  // namespace
