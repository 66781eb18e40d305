#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "win/types.h"

// The shared library as the spooler loads it: only its listed exports are
// visible, and its entry accepts attach and detach.
TEST(MorvauiLibrary, ExportsItsEntryOnly) {
  std::string path = std::string(MORVA_BIN_DIR) + "/libmorvaui.so";
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  using Entry = BOOL (*)(HINSTANCE, DWORD, LPVOID);
  auto entry = reinterpret_cast<Entry>(dlsym(lib, "DllInitialize"));
  ASSERT_NE(entry, nullptr);
  auto module = reinterpret_cast<HINSTANCE>(lib);
  EXPECT_TRUE(entry(module, 1, nullptr));
  EXPECT_TRUE(entry(module, 2, nullptr));  // thread attach: nothing
  EXPECT_TRUE(entry(module, 0, nullptr));
  // The common code inside stays private to the library.
  EXPECT_EQ(dlsym(lib, "_Z15InitDriverLocksv"), nullptr);
  EXPECT_EQ(dlsym(lib, "_Z16EnterDriverLockj"), nullptr);
  dlclose(lib);
}
