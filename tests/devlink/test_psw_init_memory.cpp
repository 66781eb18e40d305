// PSWInit when memory runs out: this program's own nothrow operator new
// fails the allocations it is told to, and libdevlink.so (loaded with
// dlopen) allocates its handle and the handle's objects through it.
#include <gtest/gtest.h>

#include <atomic>
#include <new>

#include "devlink_library.h"
#include "temp_root.h"

namespace {
// Counts nothrow allocations down; the one that reaches zero fails.
std::atomic<int> g_fail_in{0};
}  // namespace

__attribute__((visibility("default"))) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_fail_in.load() > 0 && g_fail_in.fetch_sub(1) == 1) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

TEST(PswInitMemory, HandleAndMemberAllocationsThatFail) {
  morva::test::TempRoot root;
  devlink_test::Devlink d;
  PSWHANDLE sentinel = reinterpret_cast<PSWHANDLE>(0x1);
  PSWHANDLE h = sentinel;

  g_fail_in = 1;  // the handle itself
  EXPECT_EQ(d.PSWInit(&h), 3);
  EXPECT_EQ(h, sentinel) << "the pointer is left untouched";
  g_fail_in = 2;  // the finder: the half-built handle is destroyed
  EXPECT_EQ(d.PSWInit(&h), -3);
  EXPECT_EQ(h, sentinel);
  g_fail_in = 3;  // the SNMPv3 parameter object
  EXPECT_EQ(d.PSWInit(&h), -3);
  EXPECT_EQ(h, sentinel);

  g_fail_in = 0;
  ASSERT_EQ(d.PSWInit(&h), 0);
  ASSERT_NE(h, sentinel);
  g_fail_in = 1;  // the option object of a device being opened
  EXPECT_EQ(d.PSWInitDevice(h, "127.0.0.1", 1, 100, 0), -3);
  g_fail_in = 0;
  int32_t n = 0;
  EXPECT_EQ(d.PSWGetNumberOfAlertInfo(h, &n), -8);
  EXPECT_EQ(d.PSWRefreshOptions(h), -8);
  d.PSWUnInit(h);
}
