#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "win/win.h"

TEST(GlobalMemory, ZeroInitSizeAndFree) {
  HGLOBAL h = GlobalAlloc(GPTR, 100);
  ASSERT_NE(h, nullptr);
  auto* p = static_cast<BYTE*>(GlobalLock(h));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_EQ(GlobalSize(h), 100u);
  h = GlobalReAlloc(h, 200, GMEM_ZEROINIT);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 200u);
  EXPECT_EQ(static_cast<BYTE*>(h)[150], 0);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, ForeignPointerIsRefused) {
  alignas(16) char buffer[64] = {};
  SetLastError(0);
  EXPECT_EQ(GlobalSize(buffer + 32), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GlobalMemory, InjectedFailureReportsOutOfMemory) {
  morva::platform::inject_allocation_failure(1, 1);
  HGLOBAL ok = GlobalAlloc(GPTR, 8);
  EXPECT_NE(ok, nullptr);
  EXPECT_EQ(GlobalAlloc(GPTR, 8), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  HGLOBAL again = GlobalAlloc(GPTR, 8);
  EXPECT_NE(again, nullptr);
  GlobalFree(ok);
  GlobalFree(again);
}

TEST(PrivateHeap, DestroyFreesEverything) {
  HANDLE heap = HeapCreate(0, 0, 0);
  ASSERT_NE(heap, nullptr);
  void* a = HeapAlloc(heap, HEAP_ZERO_MEMORY, 32);
  void* b = HeapAlloc(heap, 0, 64);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(HeapSize(heap, 0, a), 32u);
  a = HeapReAlloc(heap, HEAP_ZERO_MEMORY, a, 48);
  EXPECT_EQ(static_cast<BYTE*>(a)[40], 0);
  EXPECT_TRUE(HeapFree(heap, 0, b));
  EXPECT_FALSE(HeapFree(heap, 0, b));  // freed twice: refused, no crash
  EXPECT_TRUE(HeapDestroy(heap));      // frees `a` (the sanitizer would report a leak)
}

TEST(CriticalSection, RecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 4000));
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // same thread enters again
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        EnterCriticalSection(&cs);
        ++counter;
        LeaveCriticalSection(&cs);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
  DeleteCriticalSection(&cs);
}

TEST(ThreadLocalStorage, SlotsArePerThread) {
  DWORD slot = TlsAlloc();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  int mine = 1, theirs = 2;
  TlsSetValue(slot, &mine);
  std::thread([&] {
    EXPECT_EQ(TlsGetValue(slot), nullptr);
    TlsSetValue(slot, &theirs);
    EXPECT_EQ(TlsGetValue(slot), &theirs);
  }).join();
  EXPECT_EQ(TlsGetValue(slot), &mine);
  EXPECT_TRUE(TlsFree(slot));
  EXPECT_FALSE(TlsFree(slot));
}

TEST(LastError, IsPerThread) {
  SetLastError(42);
  std::thread([] { EXPECT_EQ(GetLastError(), 0u); }).join();
  EXPECT_EQ(GetLastError(), 42u);
}

TEST(Endian, LoadStoreRoundTrip) {
  BYTE b[8];
  morva::store_be32(b, 0x01020304u);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(morva::load_be32(b), 0x01020304u);
  morva::store_le32(b, 0x01020304u);
  EXPECT_EQ(b[0], 4);
  EXPECT_EQ(morva::load_le32(b), 0x01020304u);
  morva::store_le64(b, 0x1122334455667788ull);
  EXPECT_EQ(morva::load_le64(b), 0x1122334455667788ull);
  morva::store_be16(b, 0xABCD);
  EXPECT_EQ(morva::load_be16(b), 0xABCD);
}
