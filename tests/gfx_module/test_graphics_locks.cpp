// The graphics library's eight-slot lock table and the caches it guards.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "settings/common/driver_locks.h"
#include "settings/gfx/graphics_module.h"
#include "settings/common/system_utils.h"

namespace {

class GraphicsLocks : public ::testing::Test {
 protected:
  void SetUp() override { UseGraphicsLockLayout(); }
  void TearDown() override {
    DeleteDriverLocks();
    SelectDriverLockLayout(nullptr);
    morva::settings::reset_system_caches_for_test();
  }
};

// True when `work` waits while another thread holds `slot`.
template <class Work>
bool waits_for_slot(UINT slot, Work work) {
  std::atomic<bool> held{false}, release{false}, done{false};
  std::thread holder([&] {
    EnterLockSlot(slot);
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    LeaveLockSlot(slot);
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread other([&] {
    work();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  bool waited = !done;
  release = true;
  holder.join();
  other.join();
  return waited && done;
}

}  // namespace

TEST_F(GraphicsLocks, EightSlotsCreatedOnceAndDeleted) {
  EXPECT_EQ(DriverLockSlotCount(), kGraphicsLockCount);
  for (UINT slot = 0; slot < kGraphicsLockCount; ++slot) {
    EXPECT_TRUE(InitLockSlot(slot)) << slot;
    EXPECT_EQ(morva::settings::driver_lock_slot_state_for_test(slot), 1) << slot;
  }
  EXPECT_TRUE(InitLockSlot(kSlotLocale));  // already created
  EXPECT_FALSE(InitLockSlot(8));
  EXPECT_EQ(EnterLockSlot(8), 8u);
  EXPECT_EQ(LeaveLockSlot(8), 8u);
  EXPECT_EQ(EnterLockSlot(kSlotModule), kSlotModule);  // recursive for its owner
  EXPECT_EQ(EnterLockSlot(kSlotModule), kSlotModule);
  LeaveLockSlot(kSlotModule);
  LeaveLockSlot(kSlotModule);
  DeleteLockSlot(kSlotFontTable);
  EXPECT_EQ(morva::settings::driver_lock_slot_state_for_test(kSlotFontTable), 0);
  EXPECT_EQ(morva::settings::driver_lock_slot_state_for_test(kSlotLocale), 1);
}

// The common code's caches are guarded by the graphics numbering: the
// Windows-version cache by slot 6, the locale caches by slot 7, module
// state by slot 1.
TEST_F(GraphicsLocks, CommonCachesUseTheGraphicsSlots) {
  EXPECT_TRUE(waits_for_slot(kSlotOsVersion, [] { IsOsVersion51OrLater(); }));
  EXPECT_TRUE(waits_for_slot(kSlotLocale, [] { GetPaperRegion(TRUE); }));
  EXPECT_TRUE(waits_for_slot(kSlotLocale, [] { GetCountryOptionA(); }));
  EXPECT_TRUE(waits_for_slot(kSlotFontTable, [] { SelectFontSubstitutionTable(1); }));
  // Slot 5 of the printer-interface numbering (its version cache) is the
  // job-time slot here: the version cache does not wait for it.
  EXPECT_FALSE(waits_for_slot(kSlotJobTimes, [] { IsOsVersion60OrLater(); }));
}

TEST_F(GraphicsLocks, PaperRegionTakesOnlyOneOrTwo) {
  EXPECT_EQ(GetPaperRegion(FALSE), 2);
  ASSERT_TRUE(SetPaperRegion(1));
  EXPECT_EQ(GetPaperRegion(TRUE), 1);
  for (INT refused : {0, 3, -1}) EXPECT_FALSE(SetPaperRegion(refused)) << refused;
  EXPECT_EQ(GetPaperRegion(TRUE), 1);
  ASSERT_TRUE(SetPaperRegion(2));
  EXPECT_EQ(GetPaperRegion(TRUE), 2);
  EXPECT_EQ(GetPaperRegion(FALSE), 2);
}

TEST_F(GraphicsLocks, FontSubstitutionTableChoice) {
  UINT groups = 0;
  ASSERT_TRUE(SelectFontSubstitutionTable(0));
  EXPECT_EQ(CurrentFontSubstitutionTable(&groups), 1u);
  EXPECT_EQ(groups, 7u);
  EXPECT_FALSE(SelectFontSubstitutionTable(2));
  EXPECT_EQ(CurrentFontSubstitutionTable(&groups), 1u);
  EXPECT_EQ(groups, 7u);
  ASSERT_TRUE(SelectFontSubstitutionTable(1));
  EXPECT_EQ(CurrentFontSubstitutionTable(&groups), 0u);
  EXPECT_EQ(groups, 15u);
}
