#include <gtest/gtest.h>

#include "settings/driver_locks.h"
#include "settings/module_state.h"

TEST(ModuleState, AttachAndDetach) {
  auto module = reinterpret_cast<HINSTANCE>(0x1234);
  EXPECT_TRUE(DllInitialize(module, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(GetDriverModuleHandle(), module);
  for (UINT id = 0; id < kDriverLockCount; ++id) EXPECT_EQ(morva::settings::driver_lock_state_for_test(id), 1);
  // A second attach (a second load path) creates nothing twice.
  EXPECT_TRUE(DllInitialize(module, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_TRUE(DllInitialize(module, 3, nullptr));
  EXPECT_EQ(morva::settings::driver_lock_state_for_test(kLockModule), 1);
  EXPECT_TRUE(DllInitialize(module, DLL_PROCESS_DETACH, nullptr));
  for (UINT id = 0; id < kDriverLockCount; ++id) EXPECT_EQ(morva::settings::driver_lock_state_for_test(id), 0);
}
