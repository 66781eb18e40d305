// The graphics library's binding to the real libmorvadat.so: loaded from
// the module's folder, counted across users, settings read and written
// through it, and a missing or incomplete library reported.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "settings/common/driver_locks.h"
#include "settings/gfx/graphics_module.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/win.h"

namespace fs = std::filesystem;

namespace {

constexpr WORD kOne = 1;

// A setting read through the linked engine, as a number.
LONG GetItemValueNumber(WORD ddmid, void* dm, void* pd) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, dm, pd, &type, &size, &v) != 0) return -1;
  return GetTypedValue(type, &v);
}

// The folder of the build's libraries (this program's folder).
fs::path bin_folder() {
  return fs::path(morva::platform::module_native_path(morva::platform::module_from_address(
                      reinterpret_cast<const void*>(&bin_folder))))
      .parent_path();
}

std::u16string windows_folder(const fs::path& native) {
  std::string p = "Z:" + native.string() + "/";
  std::u16string w(p.begin(), p.end());
  for (auto& c : w)
    if (c == u'/') c = u'\\';
  return w;
}

class DataManagerBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    UseGraphicsLockLayout();
    self_ = morva::platform::module_from_address(reinterpret_cast<const void*>(&bin_folder));
  }
  void TearDown() override {
    UseSettingsFrontEnd(nullptr);
    while (morva::gfx::data_manager_count_for_test() > 0) ReleaseDataManager();
    morva::settings::set_module_directory_for_test(nullptr);
    DeleteDriverLocks();
  }
  // Makes the module's folder a fresh folder under the machine root.
  fs::path use_empty_folder() {
    fs::path folder = root_.file("drive_c/driver");
    fs::create_directories(folder);
    morva::settings::set_module_directory_for_test(windows_folder(folder).c_str());
    return folder;
  }
  morva::test::TempRoot root_;
  HMODULE self_ = nullptr;
  std::vector<BYTE> devmode_ = std::vector<BYTE>(5988);
  std::vector<BYTE> printer_data_ = std::vector<BYTE>(7972);
};

}  // namespace

TEST_F(DataManagerBinding, LoadedOnceSharedByUsersFreedByTheLast) {
  ASSERT_FALSE(morva::gfx::data_manager_loaded_for_test());
  ASSERT_TRUE(LoadDataManager(self_)) << morva::platform::last_load_error();
  HMODULE held = GetModuleHandleW(u"morvadat.dll");
  ASSERT_NE(held, nullptr);
  ASSERT_TRUE(LoadDataManager(self_));
  EXPECT_EQ(morva::gfx::data_manager_count_for_test(), 2u);
  ReleaseDataManager();
  EXPECT_TRUE(morva::gfx::data_manager_loaded_for_test());
  EXPECT_EQ(GetModuleHandleW(u"morvadat.dll"), held);
  ReleaseDataManager();
  EXPECT_FALSE(morva::gfx::data_manager_loaded_for_test());
  EXPECT_EQ(GetModuleHandleW(u"morvadat.dll"), nullptr);
  // Unbound: every access answers 16 and touches nothing.
  WORD type = 77;
  DWORD size = 77;
  DWORD_PTR value = 77;
  EXPECT_EQ(GetDdmValue(260, devmode_.data(), printer_data_.data(), &type, &size, &value), kDdmNotBound);
  EXPECT_EQ(type, 77);
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(value, 77u);
  DWORD one = 1;
  EXPECT_EQ(SetDdmValue(1289, devmode_.data(), printer_data_.data(), 1, 4, &one), kDdmNotBound);
  ReleaseDataManager();  // one release too many stays at zero
  EXPECT_EQ(morva::gfx::data_manager_count_for_test(), 0u);
}

TEST_F(DataManagerBinding, MissingOrIncompleteLibraryFailsAndALaterLoadRetries) {
  fs::path folder = use_empty_folder();
  EXPECT_FALSE(LoadDataManager(self_));
  EXPECT_EQ(morva::gfx::data_manager_count_for_test(), 0u);
  // A library of that name without the two entry points.
  fs::copy_file(bin_folder() / "libmorvaui.so", folder / "libmorvadat.so");
  EXPECT_FALSE(LoadDataManager(self_));
  EXPECT_EQ(morva::gfx::data_manager_count_for_test(), 0u);
  EXPECT_FALSE(morva::gfx::data_manager_loaded_for_test());
  EXPECT_EQ(GetModuleHandleW(u"morvadat.dll"), nullptr);
  EXPECT_FALSE(LoadDataManager(nullptr));
  // The real one installed: the next user binds it.
  fs::copy_file(bin_folder() / "libmorvadat.so", folder / "libmorvadat.so", fs::copy_options::overwrite_existing);
  ASSERT_TRUE(LoadDataManager(self_)) << morva::platform::last_load_error();
  WORD type = 0;
  DWORD size = 0;
  DWORD_PTR value = 0;
  EXPECT_EQ(GetDdmValue(260, devmode_.data(), printer_data_.data(), &type, &size, &value), 0);
}

TEST_F(DataManagerBinding, ValuesReadAndWrittenThroughTheLibrary) {
  ASSERT_TRUE(LoadDataManager(self_)) << morva::platform::last_load_error();
  BYTE* dm = devmode_.data();
  BYTE* pd = printer_data_.data();
  WORD type = 0;
  DWORD size = 0;
  DWORD_PTR value = 0;
  // A flag written by its type, read back and seen in its whole DWORD.
  ASSERT_EQ(SetDdmValueByType(1289, dm, pd, 1, 1), 0);
  ASSERT_EQ(GetDdmValue(1289, dm, pd, &type, &size, &value), 0);
  EXPECT_EQ(value, 1u);
  ASSERT_EQ(GetDdmValue(260, dm, pd, &type, &size, &value), 0);
  EXPECT_EQ(value, 1u << 8);
  // String settings: the engine's offset in its store becomes an address
  // inside the caller's own buffer (the extension starts at byte 1604).
  dm[1604] = 21072 & 0xFF;
  dm[1605] = 21072 >> 8;
  struct Case {
    WORD ddmid;
    BYTE* expected;
  };
  const Case cases[] = {{259, dm + 224}, {1806, dm + 1604 + 3786}, {5129, pd + 88}};
  for (const Case& c : cases) {
    const char16_t* text = u"Billing";
    ASSERT_EQ(SetDdmValue(c.ddmid, dm, pd, 6, 16, &text), 0) << c.ddmid;
    ASSERT_EQ(GetDdmValue(c.ddmid, dm, pd, &type, &size, &value), 0) << c.ddmid;
    EXPECT_EQ(type, 6);
    EXPECT_EQ(size, 16u);
    ASSERT_EQ(value, reinterpret_cast<DWORD_PTR>(c.expected)) << c.ddmid;
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value)), u"Billing");
  }
  // DDMID 36905 is answered here, bound or not, and only with all outputs.
  value = 5;
  ASSERT_EQ(GetDdmValue(kDdmidAlwaysZero, dm, pd, &type, &size, &value), 0);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(value, 0u);
  type = 9;
  EXPECT_EQ(GetDdmValue(kDdmidAlwaysZero, dm, pd, &type, nullptr, &value), kDdmNotBound);
  EXPECT_EQ(type, 9);
  ReleaseDataManager();
  ASSERT_EQ(GetDdmValue(kDdmidAlwaysZero, dm, pd, &type, &size, &value), 0);
}

// The common ways to read and write a setting go through the binding in
// the graphics library: nothing bound answers nothing, a bound library
// answers the settings.
TEST_F(DataManagerBinding, CommonSettingAccessGoesThroughTheBinding) {
  UseDataManagerFrontEnd();
  BYTE* dm = devmode_.data();
  BYTE* pd = printer_data_.data();
  ASSERT_EQ(SetItemValueRaw(1289, dm, pd, 1, 2, &kOne), 0) << "written through the linked engine";
  EXPECT_EQ(GetItemNumber(dm, pd, 1289, 1), 0u) << "nothing bound";
  EXPECT_EQ(GetEffectiveItemValue(dm, pd, 1289), -1);
  EXPECT_EQ(SetItemNumber(dm, pd, 1290, 1, 2, 1), 0);
  EXPECT_EQ(GetItemValueNumber(1290, dm, pd), 0) << "a write without the library changes nothing";

  ASSERT_TRUE(LoadDataManager(self_)) << morva::platform::last_load_error();
  EXPECT_EQ(GetItemNumber(dm, pd, 1289, 1), 1u);
  EXPECT_EQ(GetEffectiveItemValue(dm, pd, 1289), 1);
  EXPECT_EQ(SetItemNumber(dm, pd, 1290, 1, 2, 1), 0);
  EXPECT_EQ(GetItemValueNumber(1290, dm, pd), 1);
  // A string setting comes back as its address in the caller's DEVMODE.
  const char16_t* text = u"Billing";
  ASSERT_EQ(SetDdmValue(259, dm, pd, 6, 16, &text), 0);
  EXPECT_EQ(GetItemNumber(dm, pd, 259, 6), reinterpret_cast<DWORD_PTR>(dm + 224));
}

// PDEVs of several threads share one binding; the count stays exact.
TEST_F(DataManagerBinding, ThreadsShareOneCountedBinding) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        if (!LoadDataManager(self_)) {
          ++failures;
          continue;
        }
        WORD type = 0;
        DWORD size = 0;
        DWORD_PTR value = 0;
        std::vector<BYTE> dm(5988), pd(7972);
        if (GetDdmValue(260, dm.data(), pd.data(), &type, &size, &value) != 0) ++failures;
        ReleaseDataManager();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(morva::gfx::data_manager_count_for_test(), 0u);
  EXPECT_FALSE(morva::gfx::data_manager_loaded_for_test());
}
