// Mutexes: ownership and recursion within a process, and a named mutex
// holding off another process of the same machine root.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "child_process.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

constexpr char16_t kName[] = u"Local\\MorvaTestMutex";

TEST(Mutex, OwnedByOneThreadAndTakenAgainByIt) {
  morva::test::TempRoot root;
  HANDLE m = CreateMutexW(nullptr, TRUE, kName);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE same = CreateMutexW(nullptr, FALSE, kName);
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitForSingleObject(same, 0), WAIT_OBJECT_0);  // recursion
  std::atomic<DWORD> other{1};
  std::thread([&] { other = WaitForSingleObject(m, 20); }).join();
  EXPECT_EQ(other, WAIT_TIMEOUT);
  std::thread([&] {
    other = ReleaseMutex(m) ? 0 : GetLastError();
  }).join();
  EXPECT_EQ(other, static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(same));
  EXPECT_FALSE(ReleaseMutex(m));  // taken twice, released twice
  std::thread([&] {
    other = WaitForSingleObject(m, 1000);
    ReleaseMutex(m);
  }).join();
  EXPECT_EQ(other, WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  CloseHandle(same);
  CloseHandle(m);
}

TEST(Mutex, ANamedMutexHoldsOffAnotherProcess) {
  morva::test::TempRoot root;
  HANDLE m = CreateMutexW(nullptr, FALSE, kName);
  ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(morva::test::run_child_tests("MutexChild.*", root.path(), "busy"), 0);
  ASSERT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(morva::test::run_child_tests("MutexChild.*", root.path(), "free"), 0);
  CloseHandle(m);
}

TEST(MutexChild, SeesTheParentsLock) {
  const std::string role = morva::test::child_role();
  if (role.empty()) GTEST_SKIP() << "runs in the child process only";
  HANDLE m = CreateMutexW(nullptr, FALSE, kName);
  ASSERT_NE(m, nullptr);
  if (role == "busy") {
    EXPECT_EQ(WaitForSingleObject(m, 50), WAIT_TIMEOUT);
  } else {
    EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m));
  }
  CloseHandle(m);
}

}  // namespace
