// The security-marking client with the stand-in plug-in registered in a
// fresh machine's registry: availability, session open and close with the
// module loaded and freed, the setting list, the conflict check, the
// settings dialog and the output count; and every path without the plug-in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../settings/ddd_fixture.h"
#include "ddm/ddmid.h"
#include "settings/constraints/conflict_check.h"
#include "pi/security_marking.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/errors.h"
#include "win/msgbox.h"
#include "win/registry.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(UINT_PTR{0x99});
const DeviceCapabilityBits kWithBit{{0, 1u << 4, 0}};  // bit 36
const DeviceCapabilityBits kWithoutBit{{0xFFFFFFFFu, 0, 0}};

std::string bin_native() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string dir = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  return dir.substr(0, dir.rfind('/') + 1);
}
std::u16string windows_form(const std::string& native) {
  std::u16string out = u"Z:";
  for (char ch : native) out += ch == '/' ? u'\\' : static_cast<char16_t>(ch);
  return out;
}

void set_string(const char* key_path, const char* name, const std::string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

constexpr char kKey[] = "SOFTWARE\\Selmar Quillan\\Sealmark Basic";
constexpr char kPrinters[] = "SOFTWARE\\Selmar Quillan\\Sealmark Basic\\PRINTERS";

class SecurityMarkingTest : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  std::string log_path;
  std::vector<BYTE> dm = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(morva::ddm::kPrinterDataSize);

  void SetUp() override {
    const std::u16string bin = windows_form(bin_native());
    morva::settings::set_module_directory_for_test(bin.c_str());
    log_path = root.file("sealmark.log");
    setenv("MV_SEALMARK_LOG", log_path.c_str(), 1);
    setenv("MV_SEALMARK_IDS", "1104", 1);
    unsetenv("MV_SEALMARK_MODE");
    morva::platform::reset_message_boxes();
  }
  void TearDown() override {
    unsetenv("MV_SEALMARK_LOG");
    unsetenv("MV_SEALMARK_IDS");
    unsetenv("MV_SEALMARK_MODE");
    morva::settings::set_module_directory_for_test(nullptr);
  }
  void install() {
    std::string path;
    for (char16_t ch : windows_form(bin_native() + "libmvsealmark.so")) path += static_cast<char>(ch);
    set_string(kKey, "DRVIFInstallPath", path);
  }
  std::vector<std::string> log() const {
    std::ifstream in(log_path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  SealmarkSession* open() {
    SealmarkSession* session = nullptr;
    EXPECT_EQ(Sealmark_OpenSession(u"Model X", u"Office", kSealmarkPdlVantiq, &session), kSealmarkOk);
    return session;
  }
};

TEST_F(SecurityMarkingTest, AvailabilityNeedsBitPluginAndRegisteredPrinter) {
  EXPECT_EQ(Sealmark_IsAvailable(nullptr, u"Office"), -1);
  EXPECT_EQ(Sealmark_IsAvailable(&kWithBit, nullptr), -1);
  EXPECT_EQ(Sealmark_IsAvailable(&kWithBit, u"Office"), 0);  // nothing installed
  set_string(kKey, "DRVIFInstallPath", "C:\\absent\\plugin.dll");
  set_string(kPrinters, "TYPE_1", "x\"Office\"");
  EXPECT_EQ(Sealmark_IsAvailable(&kWithBit, u"Office"), 0);  // the file is missing
  install();
  EXPECT_EQ(Sealmark_IsAvailable(&kWithBit, u"Office"), 1);
  EXPECT_EQ(Sealmark_IsAvailable(&kWithoutBit, u"Office"), 0);

  struct Case {
    const char* name;
    const char* data;
    int available;
  } cases[] = {
      {"TYPE_1", "x\"Other\"", 0},        {"TYPE_X", "x\"Other\" x\"Office\"", 0},
      {"TYPE_7b", "ab \"Office\" cd", 1}, {"TYPE_2", "\"Office\"", 0},  // quote first in the data
      {"TYPE_3", "x Office x", 0},        {"PRE_TYPE_4", "x\"Office\"", 0},
      {"TYPE_5", "x\"Office Two\"", 0},
  };
  HKEY printers = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrinters, 0, KEY_ALL_ACCESS, &printers), ERROR_SUCCESS);
  for (const Case& c : cases) {
    RegDeleteValueA(printers, "TYPE_1");
    RegDeleteValueA(printers, "TYPE_X");
    set_string(kPrinters, c.name, c.data);
    EXPECT_EQ(Sealmark_IsAvailable(&kWithBit, u"Office"), c.available) << c.name << " " << c.data;
    RegDeleteValueA(printers, c.name);
  }
  RegCloseKey(printers);
}

TEST_F(SecurityMarkingTest, WithoutPluginOpenFails) {
  SealmarkSession* session = reinterpret_cast<SealmarkSession*>(1);
  EXPECT_EQ(Sealmark_OpenSession(u"Model X", u"Office", 2, &session), -1);
  EXPECT_EQ(Sealmark_OpenSession(nullptr, u"Office", 0, &session), -1);
  EXPECT_EQ(Sealmark_OpenSession(u"Model X", u"Office", 0, &session), -101);
  EXPECT_EQ(session, nullptr);
  set_string(kKey, "DRVIFInstallPath", "C:\\absent\\plugin.dll");
  EXPECT_EQ(Sealmark_OpenSession(u"Model X", u"Office", 0, &session), -101);
  EXPECT_EQ(morva::pi::sealmark_module_for_test(), nullptr);
  // The plug-in refuses a handle: the module is freed again.
  install();
  setenv("MV_SEALMARK_MODE", "no_handle", 1);
  EXPECT_EQ(Sealmark_OpenSession(u"Model X", u"Office", 1, &session), -101);
  EXPECT_EQ(morva::pi::sealmark_module_for_test(), nullptr);
  EXPECT_EQ(log(), std::vector<std::string>{"create Model X Office PCLXL 0"});
  EXPECT_EQ(Sealmark_CloseSession(nullptr), -1);
  EXPECT_EQ(Sealmark_FreeIdList(nullptr), -1);
}

TEST_F(SecurityMarkingTest, SessionListCheckAndOutputs) {
  install();
  SealmarkSession* session = open();
  ASSERT_NE(session, nullptr);
  EXPECT_NE(morva::pi::sealmark_module_for_test(), nullptr);

  ASSERT_EQ(SetItemNumber(dm.data(), pd.data(), 5200, 1, 4, 7), 0);
  SealmarkIdList list{};
  ASSERT_EQ(Sealmark_CollectDriverSettings(session, dm.data(), pd.data(), &list), kSealmarkOk);
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(list.items[0].size, 12u);
  EXPECT_EQ(list.items[0].value, 7u);
  EXPECT_EQ(Sealmark_SetDriverSettings(session, &list), kSealmarkOk);

  BYTE blob[] = {'a', 'b', 'c'};
  const SealmarkSettings settings{3, blob, 0, nullptr};
  EXPECT_EQ(Sealmark_CheckConflict(kWindow, session, &list, &settings), kSealmarkOk);
  setenv("MV_SEALMARK_MODE", "conflict", 1);
  EXPECT_EQ(Sealmark_CheckConflict(kWindow, session, &list, &settings), kSealmarkConflict);
  setenv("MV_SEALMARK_MODE", "error", 1);
  EXPECT_EQ(Sealmark_CheckConflict(kWindow, session, &list, &settings), -1);
  ASSERT_EQ(morva::platform::message_box_log().size(), 1u);
  EXPECT_EQ(morva::platform::message_box_log()[0].caption, u"Warning");
  EXPECT_EQ(Sealmark_CheckConflict(nullptr, session, &list, &settings), -1);
  EXPECT_EQ(morva::platform::message_box_log().size(), 1u);  // no window, no box
  unsetenv("MV_SEALMARK_MODE");
  EXPECT_EQ(Sealmark_FreeIdList(&list), kSealmarkOk);
  EXPECT_EQ(list.items, nullptr);

  DWORD count = 0;
  BYTE extra[] = {1, 2};
  const SealmarkSettings both{3, blob, 2, extra};
  EXPECT_EQ(Sealmark_GetOutputCount(session, &both, &count), kSealmarkOk);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(session->output_count, 3u);

  EXPECT_EQ(Sealmark_CloseSession(session), kSealmarkOk);
  EXPECT_EQ(morva::pi::sealmark_module_for_test(), nullptr);
  EXPECT_EQ(log(), (std::vector<std::string>{"create Model X Office VANTIQ 0", "driver 1104=7", "check 3 7",
                                             "check 3 7", "check 3 7", "check 3 7", "settings abc 2", "release"}));
}

TEST_F(SecurityMarkingTest, ListFailures) {
  install();
  struct Case {
    const char* ids;
    INT result;
  } cases[] = {{"", kSealmarkEmptyList}, {"26", kSealmarkMappingFailed}, {"1104,26", kSealmarkMappingFailed}};
  for (const Case& c : cases) {
    setenv("MV_SEALMARK_IDS", c.ids, 1);
    SealmarkSession* session = open();
    ASSERT_NE(session, nullptr);
    SealmarkIdList list{};
    EXPECT_EQ(Sealmark_CollectDriverSettings(session, dm.data(), pd.data(), &list), c.result) << c.ids;
    EXPECT_EQ(list.items, nullptr);
    EXPECT_EQ(Sealmark_CloseSession(session), kSealmarkOk);
  }
  setenv("MV_SEALMARK_MODE", "release_fail", 1);
  EXPECT_EQ(Sealmark_CloseSession(open()), -101);
  EXPECT_EQ(morva::pi::sealmark_module_for_test(), nullptr);
}

TEST_F(SecurityMarkingTest, SettingsDialog) {
  install();
  BYTE blob[] = {'o', 'l', 'd'};
  const SealmarkSettings settings{3, blob, 0, nullptr};
  struct Case {
    const char* mode;
    INT result;
    size_t boxes;
  } cases[] = {{"", kSealmarkChanged, 0}, {"cancel", kSealmarkCancelled, 0}, {"error", -1, 1},
               {"no_size", kSealmarkMappingFailed, 0}};
  for (const Case& c : cases) {
    morva::platform::reset_message_boxes();
    setenv("MV_SEALMARK_MODE", c.mode, 1);
    SealmarkSession* session = open();
    ASSERT_NE(session, nullptr);
    DWORD size = 0;
    BYTE* out = nullptr;
    BYTE changed = 0;
    EXPECT_EQ(Sealmark_ShowSettingsUI(kWindow, session, &settings, &size, &out, &changed), c.result) << c.mode;
    EXPECT_EQ(morva::platform::message_box_log().size(), c.boxes) << c.mode;
    if (c.result == kSealmarkChanged) {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(size, 16u);
      EXPECT_STREQ(reinterpret_cast<char*>(out), "MARK16");
      EXPECT_EQ(changed, 1);
      delete[] out;
    } else {
      EXPECT_EQ(out, nullptr) << c.mode;
      EXPECT_EQ(changed, 0) << c.mode;
    }
    Sealmark_CloseSession(session);
  }
}

}  // namespace

namespace {

using morva::test::json;
using namespace morva::ddm;

// The conflict check's rule for the marking setting (36903) asks the
// installed plug-in: with it and the printer registered the setting is
// offered; without the plug-in the rule marks it not available (kind 6).
class MarkingRuleTest : public morva::test::DddTest {
 protected:
  std::vector<BYTE> dm = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  void TearDown() override {
    morva::settings::set_module_directory_for_test(nullptr);
    DddTest::TearDown();
  }
  // 0 applied with the report's kind in *kind, 6 not applicable.
  INT check(WORD* kind) {
    ConflictReport* report = NewConflictReport();
    const SettingsTarget target{handle, dm.data(), pd.data()};
    const SettingChange change{36903, 0, nullptr};
    WORD inline_ids[10];
    WORD* ids = inline_ids;
    WORD count = 0;
    const DdmidListRef out{&ids, &count, 10, inline_ids};
    const INT r = CheckSpecialItemRules(reinterpret_cast<HANDLE>(UINT_PTR{0x5150}), &target, &change, nullptr,
                                        report, &out);
    *kind = report->kind;
    ClearDdmidList(&out);
    FreeConflictReport(report);
    return r;
  }
};

TEST_F(MarkingRuleTest, FollowsTheInstalledPlugin) {
  // Capability bit 36 lies in the second word of field 39.
  open(morva::test::one_file(json::array(), 0x2000, json{{"2", 2000}, {"39", json::array({16, 0})}}));
  const char16_t* name = u"Office";
  const DWORD size = 14;
  ASSERT_EQ(SetItemValueRaw(259, dm.data(), pd.data(), kTypeString, size, &name), kDdmOk);

  WORD kind = 0xFFFF;
  EXPECT_EQ(check(&kind), 0) << "no plug-in: the rule applies";
  EXPECT_EQ(kind, 6);

  const std::u16string bin = windows_form(bin_native());
  morva::settings::set_module_directory_for_test(bin.c_str());
  std::string path;
  for (char16_t ch : windows_form(bin_native() + "libmvsealmark.so")) path += static_cast<char>(ch);
  set_string(kKey, "DRVIFInstallPath", path);
  set_string(kPrinters, "TYPE_1", "x\"Office\"");
  EXPECT_EQ(check(&kind), 6) << "plug-in installed and printer registered: the setting is offered";
}

}  // namespace
