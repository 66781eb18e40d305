// Two deliverables link the same static code (a counter with visible
// symbols). Loaded together in this process, each must keep its own
// counter and export only the names of its version script.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "win/modules.h"

namespace {

TEST(Isolation, DeliverablesKeepSeparateCopiesOfCommonCode) {
  HMODULE a = LoadLibraryW(u"isoa.dll");
  HMODULE b = LoadLibraryW(u"isob.dll");
  ASSERT_NE(a, nullptr) << morva::platform::last_load_error();
  ASSERT_NE(b, nullptr) << morva::platform::last_load_error();
  ASSERT_NE(a, b);
  auto next_a = morva_proc_as<int (*)()>(GetProcAddress(a, "iso_next"));
  auto next_b = morva_proc_as<int (*)()>(GetProcAddress(b, "iso_next"));
  ASSERT_NE(next_a, nullptr);
  ASSERT_NE(next_b, nullptr);
  EXPECT_NE(reinterpret_cast<void*>(next_a), reinterpret_cast<void*>(next_b));
  EXPECT_EQ(next_a(), 1);
  EXPECT_EQ(next_a(), 2);
  EXPECT_EQ(next_a(), 3);
  EXPECT_EQ(next_b(), 1);  // b's counter was untouched by a
  EXPECT_EQ(next_a(), 4);

  auto state_a = morva_proc_as<const void* (*)()>(GetProcAddress(a, "iso_state_address"));
  auto state_b = morva_proc_as<const void* (*)()>(GetProcAddress(b, "iso_state_address"));
  EXPECT_NE(state_a(), state_b());
  EXPECT_EQ(morva::platform::module_from_address(state_a()), a);
  EXPECT_EQ(morva::platform::module_from_address(state_b()), b);

  // The common code's own names stay inside each library.
  for (const char* hidden : {"iso_bump", "iso_counter_state", "_Z8iso_bumpv"}) {
    EXPECT_EQ(GetProcAddress(a, hidden), nullptr) << hidden;
    EXPECT_EQ(GetProcAddress(b, hidden), nullptr) << hidden;
    EXPECT_EQ(dlsym(RTLD_DEFAULT, hidden), nullptr) << hidden;
  }
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_TRUE(FreeLibrary(b));
}

}  // namespace
