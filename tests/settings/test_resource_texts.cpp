#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "settings/common/export_shape.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

class ResourceTexts : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  void SetUp() override {
    DllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr);
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    morva::settings::reset_trace_for_test();
    morva::settings::reset_system_caches_for_test();
  }
  void TearDown() override {
    morva::platform::unregister_builtin_module(u"ieframe.dll");
    morva::settings::reset_trace_for_test();
    DllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
    morva::settings::set_module_directory_for_test(nullptr);
    morva::settings::reset_system_caches_for_test();
  }
  void install_resources() {
    std::filesystem::create_directories(root.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
  }
};

HRESULT protected_yes(BOOL* answer) {
  *answer = TRUE;
  return S_OK;
}

}  // namespace

TEST_F(ResourceTexts, UserPaperNameAndNumber) {
  WCHAR name[40];
  // No resource module: the built-in name.
  EXPECT_EQ(FormatUserPaperName(0, name, 40), 7);
  EXPECT_EQ(std::u16string(name), u"\u30e6\u30fc\u30b6\u30fc\u5b9a\u7fa91");
  INT number = -1;
  EXPECT_FALSE(ReadResourceNumber(&number));
  EXPECT_EQ(number, 0);

  install_resources();
  EXPECT_EQ(FormatUserPaperName(19, name, 40), 15);
  EXPECT_EQ(std::u16string(name), u"User Defined 20");
  EXPECT_EQ(FormatUserPaperName(19, name, 5), 4);  // cut to the buffer
  EXPECT_EQ(std::u16string(name), u"User");
  EXPECT_TRUE(ReadResourceNumber(&number));
  EXPECT_EQ(number, 0);
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);  // no reference kept
}

TEST_F(ResourceTexts, ProtectedModeAskedOfTheBrowserLibrary) {
  EXPECT_FALSE(IsIEProtectedModeProcess());  // no such library
  morva::platform::register_builtin_module(u"ieframe.dll",
                                           {{"IEIsProtectedModeProcess", morva_proc(&protected_yes)}});
  EXPECT_TRUE(IsIEProtectedModeProcess());
  morva::platform::set_machine_setting("os_version", "5.1.2600");
  morva::settings::reset_system_caches_for_test();
  EXPECT_FALSE(IsIEProtectedModeProcess());  // before Vista there is no protected mode
}

TEST_F(ResourceTexts, ExportsNestWithOneReferenceEach) {
  install_resources();
  morva::test::write_file(root.file("drive_c/driver/morva.cfg"), "[LOG]\nLog=3\n");
  ReloadTraceSettings();
  UINT inner_count = 0;
  INT result = RunExport(u"DrvDocumentProperties", [&] {
    return RunExport(u"DrvDeviceCapabilities", [&] {
      inner_count = morva::settings::resource_module_count_for_test();
      return 7;
    });
  });
  EXPECT_EQ(result, 7);
  EXPECT_EQ(inner_count, 2u);
  EXPECT_EQ(morva::settings::resource_module_count_for_test(), 0u);
  EXPECT_EQ(morva::test::read_file(root.file("drive_c/DEBUG_LOG/WIN2000/DDI_FAXUI_TRACE_LOG.txt")),
            "IN <<DrvDocumentProperties\nIN <<DrvDeviceCapabilities\nOUT>>DrvDeviceCapabilities RetValue = 7\n\n"
            "OUT>>DrvDocumentProperties RetValue = 7\n\n");
}
