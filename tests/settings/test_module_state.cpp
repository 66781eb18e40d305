#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/common/driver_locks.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/resources.h"
#include "win/win.h"

namespace {

class ModuleState : public ::testing::Test {
 protected:
  morva::test::TempRoot root;

  void SetUp() override {
    ASSERT_TRUE(DllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
  }
  void TearDown() override {
    DllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
    morva::settings::set_module_directory_for_test(nullptr);
  }
  // The real resource module of the build, placed beside the driver.
  void install_resources() {
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
  }
  static bool loaded(HMODULE m) {
    const BYTE* data = nullptr;
    SIZE_T size = 0;
    return m && morva::platform::module_image(m, &data, &size);
  }
};

}  // namespace

TEST_F(ModuleState, AttachAndDetach) {
  auto module = reinterpret_cast<HINSTANCE>(0x1234);
  EXPECT_TRUE(DllInitialize(module, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(GetDriverModuleHandle(), module);
  for (UINT id = 0; id < kDriverLockCount; ++id) EXPECT_EQ(morva::settings::driver_lock_state_for_test(id), 1);
  EXPECT_TRUE(DllInitialize(module, DLL_THREAD_ATTACH, nullptr));
  EXPECT_EQ(GetDriverModuleHandle(), module);
  install_resources();
  LoadResourceModule();
  HMODULE res = GetResourceModule();
  ASSERT_TRUE(loaded(res));
  // Detach frees what is still held and deletes the locks.
  EXPECT_TRUE(DllInitialize(module, DLL_PROCESS_DETACH, nullptr));
  for (UINT id = 0; id < kDriverLockCount; ++id) EXPECT_EQ(morva::settings::driver_lock_state_for_test(id), 0);
  EXPECT_FALSE(loaded(res));
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);
}

TEST_F(ModuleState, ResourceModuleCountedAcrossNestedExports) {
  install_resources();
  HMODULE outer = nullptr;
  {
    ResourceModuleRef export_a;
    outer = GetResourceModule();
    ASSERT_TRUE(loaded(outer));
    {
      ResourceModuleRef export_b;  // an export called from inside another
      EXPECT_EQ(morva::settings::resource_module_count_for_test(), 2u);
      EXPECT_EQ(GetResourceModule(), outer);
      WCHAR text[64] = {};
      EXPECT_GT(LoadStringW(GetResourceInstance(), 16, text, 64), 0);  // "User Defined "
    }
    EXPECT_EQ(morva::settings::resource_module_count_for_test(), 1u);
    EXPECT_TRUE(loaded(outer));
  }
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);
  EXPECT_FALSE(loaded(outer));  // unloaded between exports

  // A release without a matching load leaves the count at 0.
  ReleaseResourceModule();
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);
  // Asking for the handle with no reference held loads it and counts one.
  HMODULE again = GetResourceModule();
  EXPECT_TRUE(loaded(again));
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 1u);
  ReleaseResourceModule();
  EXPECT_FALSE(loaded(again));
}

TEST_F(ModuleState, MissingOrTooLongResourcePathLoadsNothing) {
  LoadResourceModule();  // no file beside the driver
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);
  EXPECT_EQ(GetResourceModule(), nullptr);
  ReleaseResourceModule();
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);

  // Directory + "morvares.xrs" longer than 260 characters.
  std::u16string dir = u"C:\\" + std::u16string(245, u'd') + u"\\";
  ASSERT_EQ(dir.size() + 12, 261u);
  morva::settings::set_module_directory_for_test(dir.c_str());
  LoadResourceModule();
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);
}

TEST_F(ModuleState, ModuleDirectory) {
  WCHAR buffer[300];
  EXPECT_TRUE(GetModuleDirectory(buffer, 520));
  EXPECT_EQ(std::u16string(buffer), u"C:\\driver\\");
  EXPECT_FALSE(GetModuleDirectory(buffer, 519));
  EXPECT_FALSE(GetModuleDirectory(nullptr, 600));
  // Without an override: the directory of the module holding the code (here
  // the test program in the build's bin folder).
  morva::settings::set_module_directory_for_test(nullptr);
  ASSERT_TRUE(GetModuleDirectory(buffer, sizeof(buffer)));
  std::u16string expected = morva::platform::windows_path(std::string(MORVA_BIN_DIR) + "/");
  EXPECT_EQ(std::u16string(buffer), expected);
  EXPECT_EQ(buffer[expected.size() - 1], u'\\');
}
