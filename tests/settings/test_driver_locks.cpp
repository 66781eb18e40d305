#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "settings/common/driver_locks.h"

namespace {

BOOL failing_creator(LPCRITICAL_SECTION, DWORD) { return FALSE; }

class DriverLocks : public ::testing::Test {
 protected:
  void TearDown() override {
    morva::settings::set_lock_creator_for_test(nullptr);
    DeleteDriverLocks();
  }
};

// While one thread holds `id`, another thread's EnterDriverLock must wait.
void expect_exclusive(UINT id) {
  std::atomic<bool> held{false}, release{false}, other_in{false};
  std::thread holder([&] {
    EnterDriverLock(id);
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    LeaveDriverLock(id);
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread other([&] {
    EnterDriverLock(id);
    other_in = true;
    LeaveDriverLock(id);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(other_in) << "lock " << id << " let a second thread in";
  release = true;
  holder.join();
  other.join();
  EXPECT_TRUE(other_in);
}

}  // namespace

TEST_F(DriverLocks, CreatedOnceAndDeleted) {
  EXPECT_TRUE(InitDriverLocks());
  for (UINT id = 0; id < kDriverLockCount; ++id) EXPECT_EQ(morva::settings::driver_lock_state_for_test(id), 1);
  EXPECT_TRUE(InitDriverLock(3));  // already created: left as it is
  EXPECT_FALSE(InitDriverLock(7));
  // Recursive for the owner, as a critical section is.
  EnterDriverLock(kLockModule);
  EnterDriverLock(kLockModule);
  LeaveDriverLock(kLockModule);
  LeaveDriverLock(kLockModule);
  // Ids above 6 do nothing.
  EnterDriverLock(7);
  LeaveDriverLock(7);
  expect_exclusive(kLockJobContexts);
  DeleteDriverLocks();
  for (UINT id = 0; id < kDriverLockCount; ++id) EXPECT_EQ(morva::settings::driver_lock_state_for_test(id), 0);
}

TEST_F(DriverLocks, FailedCreationStillGuards) {
  morva::settings::set_lock_creator_for_test(failing_creator);
  EXPECT_FALSE(InitDriverLocks());
  EXPECT_EQ(morva::settings::driver_lock_state_for_test(kLockLocale), 0);
  // The first enter finds no lock, cannot create one either, and guards with
  // the fallback mutex instead of running unguarded.
  expect_exclusive(kLockLocale);
  EXPECT_EQ(morva::settings::driver_lock_state_for_test(kLockLocale), 2);

  // Once creation works again, a lock that was never entered is created on
  // first use.
  morva::settings::set_lock_creator_for_test(nullptr);
  expect_exclusive(kLockOsVersion);
  EXPECT_EQ(morva::settings::driver_lock_state_for_test(kLockOsVersion), 1);
}

TEST_F(DriverLocks, CountersStayExactUnderContention) {
  ASSERT_TRUE(InitDriverLocks());
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      DriverLockGuard g(kLockDatabase);
      long v = counter;
      counter = v + 1;
    }
  };
  std::thread a(work), b(work), c(work);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(counter, 60000);
}
