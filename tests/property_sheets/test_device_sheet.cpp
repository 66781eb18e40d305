// The demo printer's device sheet as a user drives it: the installable
// options page reads the options, trays and network address from a real
// SNMP agent through the device-configuration library, and OK stores them
// for the printer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "netns_test.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/user_setting_info.h"
#include "snmp_agent.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr INT kOptionsTab = 1;
constexpr INT kDuplexUnit = 4711, kDeviceInfo = 1749, kAddress = 1750;
constexpr INT kAccountMode = 3474, kIdType = 1061, kUserId = 1343, kPassword = 1347;
constexpr WORD kAccountModeId = 5163;

// Trays measured in micrometres, as the device-configuration library
// hands sizes on.
constexpr const char* kTrayUnits =
    "1.3.6.1.2.1.43.8.2.1.3.1.1 integer 3\n"
    "1.3.6.1.2.1.43.8.2.1.3.1.2 integer 3\n";
// Letter in tray 1 (the driver's default paper there is A4).
constexpr const char* kLetterInTray1 =
    "1.3.6.1.2.1.43.8.2.1.4.1.1 integer 279400\n"
    "1.3.6.1.2.1.43.8.2.1.5.1.1 integer 215900\n";
constexpr INT kTrayPaper = 1743, kTrayList = 1739;

// The demo printer with the account settings of the device settings page
// in its database, and `capabilities` added to its capability bits.
const char* const kAccountRecords[] = {
    R"({"kind": 4, "id": 5163, "name": "Account Mode", "default": 1, "choices": [3601, 3602], "name2": "Account Mode"})",
    R"({"kind": 4, "id": 5127, "name": "Identification", "default": 1, "choices": [3603, 3604, 3760], "name2": "Identification"})",
    R"({"kind": 14, "id": 3760, "name": "Card number", "value": {"type": 3, "value": 4}})",
    R"({"kind": 4, "id": 5121, "name": "User ID", "flags": 6, "name2": "User ID", "choices": [52], "default": 1})",
    R"({"kind": 4, "id": 5178, "name": "Identification", "default": 1, "choices": [3605, 3606], "name2": "Identification"})",
    R"({"kind": 14, "id": 3601, "name": "Administrator", "value": {"type": 8, "value": 0}})",
    R"({"kind": 14, "id": 3602, "name": "Each user", "value": {"type": 8, "value": 1}})",
    R"({"kind": 14, "id": 3603, "name": "Login name", "value": {"type": 3, "value": 0}})",
    R"({"kind": 14, "id": 3604, "name": "User ID", "value": {"type": 3, "value": 7}})",
    R"({"kind": 14, "id": 3605, "name": "Login name", "value": {"type": 3, "value": 0}})",
    R"({"kind": 14, "id": 3606, "name": "User ID", "value": {"type": 3, "value": 7}})",
    R"({"kind": 4, "id": 5203, "name": "Accounts", "default": 2, "choices": [3607, 3608], "name2": "Accounts"})",
    R"({"kind": 14, "id": 3607, "name": "Not used", "value": {"type": 8, "value": 0}})",
    R"({"kind": 14, "id": 3608, "name": "Used", "value": {"type": 8, "value": 1}})",
    R"({"kind": 4, "id": 5141, "name": "Outside line", "flags": 6, "name2": "Outside line", "choices": [52], "default": 1})",
    R"({"kind": 4, "id": 5143, "name": "Extension", "flags": 6, "name2": "Extension", "choices": [52], "default": 1})",
    R"({"kind": 4, "id": 5152, "name": "Password", "flags": 6, "name2": "Password", "choices": [52], "default": 1})",
    // The account dialog's own settings.
    R"({"kind": 4, "id": 5164, "name": "Popup", "default": 1, "choices": [3709, 3710], "name2": "Popup"})",
    R"({"kind": 4, "id": 5165, "name": "Popup", "default": 1, "choices": [3709, 3710], "name2": "Popup"})",
    R"({"kind": 14, "id": 3709, "name": "Use these settings", "value": {"type": 8, "value": 0}})",
    R"({"kind": 14, "id": 3710, "name": "Ask when printing", "value": {"type": 8, "value": 1}})",
    R"({"kind": 4, "id": 5204, "name": "Account lock", "default": 1, "choices": [3607, 3608], "name2": "Lock"})",
    R"({"kind": 4, "id": 4367, "name": "Policy", "default": 1, "choices": [3711, 3712, 3713, 3714], "name2": "Policy"})",
    R"({"kind": 14, "id": 3711, "name": "Open", "value": {"type": 8, "value": 0}})",
    R"({"kind": 14, "id": 3712, "name": "User", "value": {"type": 8, "value": 1}})",
    R"({"kind": 14, "id": 3713, "name": "Device", "value": {"type": 8, "value": 2}})",
    R"({"kind": 14, "id": 3714, "name": "Fixed", "value": {"type": 8, "value": 3}})",
    R"({"kind": 4, "id": 5167, "name": "Code", "flags": 6, "name2": "Code", "choices": [52], "default": 1})",
    R"({"kind": 4, "id": 5150, "name": "User ID", "flags": 6, "name2": "User ID", "choices": [52], "default": 1})",
    R"({"kind": 4, "id": 5180, "name": "User code", "flags": 6, "name2": "User code", "choices": [52], "default": 1})",
    R"({"kind": 4, "id": 5182, "name": "Code password", "flags": 6, "name2": "Code password", "choices": [52], "default": 1})",
    R"({"kind": 4, "id": 5169, "name": "Account option", "default": 1, "choices": [3607, 3608], "name2": "Option"})"};

void install_account_printer(const morva::test::TempRoot& root, long capabilities) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  d["main"]["fields"]["26"] = d["main"]["fields"]["26"].get<long>() | capabilities;
  for (const char* r : kAccountRecords) d["main"]["records"].push_back(nlohmann::json::parse(r));
  const std::string folder = root.path() + "/account_database";
  std::filesystem::create_directories(folder);
  morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
  std::string error;
  ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
}

class DeviceSheet : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
  }

  // Opens the device sheet (with the header's `flags`) and runs `script`
  // in it, on the calling thread.
  LONG device_sheet(ui::ModalScript script, DWORD flags = 0) {
    ui::reset();
    morva::platform::reset_message_boxes();
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
    HMODULE dll = LoadLibraryW(u"morvaui.dll");
    EXPECT_NE(dll, nullptr) << morva::platform::last_load_error();
    auto sheets = morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(dll, "DrvDevicePropertySheets"));
    DEVICEPROPERTYHEADER header{sizeof header, static_cast<WORD>(flags), printer, const_cast<LPWSTR>(kDemoPrinter)};
    ui::script_modal(std::move(script));
    DWORD result = 0;
    const LONG answer = CommonPropertySheetUIW(nullptr, sheets, reinterpret_cast<LPARAM>(&header), &result);
    ui::reset();
    FreeLibrary(dll);
    ClosePrinter(printer);
    return answer;
  }

  // The printer's stored settings as a fresh load reads them.
  struct Stored {
    std::vector<BYTE> block = std::vector<BYTE>(kPrinterDataBlockSize);
    LONG number(WORD ddmid) {
      WORD type = 0;
      DWORD size = 0;
      ItemValue v{};
      EXPECT_EQ(GetItemValue(ddmid, nullptr, block.data(), &type, &size, &v), 0) << ddmid;
      return GetTypedValue(type, &v);
    }
    std::u16string text(WORD ddmid) {
      WORD type = 0;
      DWORD size = 0;
      ItemValue v{};
      EXPECT_EQ(GetItemValue(ddmid, nullptr, block.data(), &type, &size, &v), 0) << ddmid;
      return ItemText(v, size);
    }
  };
  // Writes the printer's settings as an administrator would have stored
  // them: byte-sized choices and texts.
  void preset(std::initializer_list<std::pair<WORD, BYTE>> numbers,
              std::initializer_list<std::pair<WORD, std::u16string>> texts = {}) {
    Stored s = stored();
    std::vector<BYTE> devmode(5988);
    for (const auto& [ddmid, value] : numbers) {
      WORD type = 0;
      DWORD size = 0;
      ItemValue v{};
      ASSERT_EQ(GetItemValue(ddmid, devmode.data(), s.block.data(), &type, &size, &v), 0) << ddmid;
      const DWORD wide = value;
      ASSERT_EQ(SetItemValueRaw(ddmid, devmode.data(), s.block.data(), type, size, &wide), 0) << ddmid << " " << type << " " << size;
    }
    for (const auto& [ddmid, value] : texts) {
      const char16_t* text = value.c_str();
      ASSERT_EQ(SetItemValueRaw(ddmid, devmode.data(), s.block.data(), 6, 2 * value.size() + 2, &text), 0) << ddmid;
    }
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE admin = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &admin, &all));
    EXPECT_TRUE(WritePrinterDataKind(admin, s.block.data(), kPrinterDataBlockSize, kPrinterDataPrinterData));
    // Each user's account settings live in the user's own record.
    DddHandle* database = DddOpen(admin);
    ASSERT_NE(database, nullptr);
    std::vector<BYTE> record(kUserRecordSize);
    EXPECT_EQ(FillUserSettingInfoFromSettings(admin, database, s.block.data(), record.data()), 1);
    EXPECT_EQ(WriteUserSettingInfo(admin, database, record.data(), 7), 1);
    DddClose(database);
    ClosePrinter(admin);
  }

  Stored stored() {
    Stored s;
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
    DddHandle* database = DddOpen(printer);
    EXPECT_NE(database, nullptr);
    EXPECT_EQ(ReadPrinterSettings(printer, s.block.data(), database), 1);
    DddClose(database);
    ClosePrinter(printer);
    return s;
  }

  morva::test::TempRoot root_;
};

TEST_F(DeviceSheet, DeviceInformationFillsTheOptionsAndTrays) {
  if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
  MORVA_SKIP_WITHOUT_NETNS();
  morva::test::run_in_netns([&](morva::test::NetNamespace&) {
    morva::test::SnmpAgentOptions o;
    o.port = 161;
    o.fixture_text = std::string(kTrayUnits) + kLetterInTray1;
    morva::test::SnmpAgent agent(o);
    EXPECT_EQ(stored().number(4103), 0);
    // MORVA_PNG_DIR keeps the page's picture for a look after the test.
    const char* keep = std::getenv("MORVA_PNG_DIR");
    const std::string png = (keep ? std::string(keep) : root_.path()) + "/installable_options.png";
    const LONG answer = device_sheet([&](HWND sheet) {
      EXPECT_TRUE(ui::write_png(sheet, (keep ? std::string(keep) : root_.path()) + "/device_settings.png"));
      ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kOptionsTab));
      EXPECT_EQ(ui::state(ui::find(sheet, kDuplexUnit)).check, BST_UNCHECKED);
      EXPECT_EQ(ui::text(ui::find(sheet, kAddress)), u"");
      EXPECT_EQ(ui::text(ui::find(sheet, kTrayPaper)), u"A4");
      ASSERT_TRUE(ui::click(ui::find(sheet, kDeviceInfo)));
      EXPECT_EQ(ui::text(ui::find(sheet, kTrayPaper)), u"Letter") << "tray 1 is the tray chosen";
      // The demo device has a duplex module; the page shows it at once.
      EXPECT_EQ(ui::state(ui::find(sheet, kDuplexUnit)).check, BST_CHECKED);
      EXPECT_EQ(ui::text(ui::find(sheet, kAddress)), u"127.0.0.1");
      EXPECT_TRUE(morva::platform::message_box_log().empty());
      EXPECT_TRUE(ui::write_png(sheet, png));
      EXPECT_TRUE(ui::press_ok(sheet));
    });
    EXPECT_EQ(answer, CPSUI_OK);
    Stored s = stored();
    EXPECT_EQ(s.number(4103), 1);
    EXPECT_EQ(s.text(8213), u"127.0.0.1");
    // Both device trays hold Letter long side first, plain stationery.
    // Tray 2 is paper source 2, whose settings follow those of source 3.
    const struct {
      WORD ddmid;
      LONG value;
    } trays[] = {{6145, 1}, {6190, 2159}, {6205, 2794}, {6160, 1}, {6175, 1},
                 {6147, 1}, {6192, 2159}, {6207, 2794}, {6162, 1}, {6177, 1}};
    for (const auto& t : trays) EXPECT_EQ(s.number(t.ddmid), t.value) << t.ddmid;
  });
}

// The tray list picks the tray by its paper source: tray 2 (source 2)
// edits the paper setting of source 2, not the second tray setting.
TEST_F(DeviceSheet, TheChosenTrayEditsThePaperOfItsSource) {
  const LONG answer = device_sheet([&](HWND sheet) {
    ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kOptionsTab));
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kTrayList), u"Tray 2"));
    EXPECT_EQ(ui::text(ui::find(sheet, kTrayPaper)), u"A4");
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kTrayPaper), u"Letter"));
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kTrayList), u"Tray 1"));
    EXPECT_EQ(ui::text(ui::find(sheet, kTrayPaper)), u"A4") << "tray 1 keeps its own paper";
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kTrayList), u"Tray 2"));
    EXPECT_EQ(ui::text(ui::find(sheet, kTrayPaper)), u"Letter");
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(answer, CPSUI_OK);
  Stored s = stored();
  EXPECT_EQ(s.number(6145), 9);
  EXPECT_EQ(s.number(6147), 1);
}

TEST_F(DeviceSheet, NoDeviceAnswersChangesNoOption) {
  MORVA_SKIP_WITHOUT_NETNS();
  morva::test::run_in_netns([&](morva::test::NetNamespace&) {
    // No agent in this namespace: the library finds no device there.
    const LONG answer = device_sheet([&](HWND sheet) {
      ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kOptionsTab));
      ASSERT_TRUE(ui::click(ui::find(sheet, kDeviceInfo)));
      EXPECT_EQ(ui::state(ui::find(sheet, kDuplexUnit)).check, BST_UNCHECKED);
      EXPECT_EQ(ui::text(ui::find(sheet, kAddress)), u"");
      EXPECT_TRUE(ui::press_ok(sheet));
    });
    EXPECT_EQ(answer, CPSUI_OK);
    EXPECT_EQ(stored().number(4103), 0);
  });
}

// The identification list edits the setting of the account mode shown:
// the administrator's in mode 0, each user's in mode 1. The user id is
// bound to nothing for a login name without the login-name option, and
// usable for a typed user id.
class AccountSheet : public DeviceSheet {
 protected:
  void SetUp() override { install_account_printer(root_, 0); }
};

TEST_F(AccountSheet, AccountModeChoosesTheSettingsTheFieldsEdit) {
  const LONG answer = device_sheet([&](HWND sheet) {
    EXPECT_EQ(ui::text(ui::find(sheet, kAccountMode)), u"Administrator");
    EXPECT_EQ(ui::text(ui::find(sheet, kIdType)), u"Login name");
    EXPECT_FALSE(ui::state(ui::find(sheet, kUserId)).enabled) << "a login name without the option binds nothing";
    EXPECT_TRUE(ui::state(ui::find(sheet, kPassword)).visible);
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kIdType), u"User ID"));
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kAccountMode), u"Each user"));
    // Mode 1 shows each user's identification type, still the default.
    EXPECT_EQ(ui::text(ui::find(sheet, kIdType)), u"Login name");
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kIdType), u"User ID"));
    EXPECT_TRUE(ui::state(ui::find(sheet, kUserId)).visible);
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(answer, CPSUI_OK);
  Stored s = stored();
  EXPECT_EQ(s.number(5163), 1);
  EXPECT_EQ(s.number(5127), 7) << "chosen in mode 0";
  EXPECT_EQ(s.number(5178), 7) << "chosen in mode 1";
}

// A user id and password typed into the page are the ones stored.
TEST_F(AccountSheet, TypedUserIdAndPasswordAreStored) {
  const LONG answer = device_sheet([&](HWND sheet) {
    ASSERT_TRUE(ui::select_text(ui::find(sheet, kIdType), u"User ID"));
    ASSERT_TRUE(ui::state(ui::find(sheet, kUserId)).enabled);
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kUserId), u"alice"));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kPassword), u"4711"));
    EXPECT_TRUE(morva::platform::message_box_log().empty());
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(answer, CPSUI_OK);
  Stored s = stored();
  EXPECT_EQ(s.text(5121), u"alice");
  EXPECT_EQ(s.text(5152), u"4711");
}

// The fax line prefixes take what the direct-fax mode dials (here mode 0,
// fax line setting 2: printable characters but those the fax header
// cannot carry).
TEST_F(AccountSheet, FaxPrefixesTakeTheCharactersOfTheFaxMode) {
  preset({{4369, 2}});
  if (HasFatalFailure()) return;
  const LONG answer = device_sheet([&](HWND sheet) {
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, 4611), u"*12"));
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, 4610), u"9;"));
    ui::press_ok(sheet);
    ASSERT_FALSE(morva::platform::message_box_log().empty()) << "the semicolon is refused";
    EXPECT_NE(morva::platform::message_box_log()[0].text.find(u"outside-line"), std::u16string::npos);
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, 4610), u"9"));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(answer, CPSUI_OK);
  Stored s = stored();
  EXPECT_EQ(s.text(5141), u"9");
  EXPECT_EQ(s.text(5143), u"*12");
}

// A card number (identification type 4) keeps nine bytes of the user-id
// field back: a longer stored id is shortened when the user agrees, and
// the identification type goes back when not.
TEST_F(AccountSheet, ACardNumberAsksToShortenALongerUserId) {
  const std::u16string stored_id = u"ABCDEFGHIJKLMNOPQRSTUVWXY";  // 25 bytes, 22 fit
  const struct {
    INT answer;
    LONG id_type;
    std::u16string user_id;
  } cases[] = {{IDOK, 4, stored_id.substr(0, 22)}, {IDCANCEL, 7, stored_id}};
  for (const auto& c : cases) {
    // The administrator's user id, typed earlier as a user id (type 7).
    {
      Stored s = stored();
      std::vector<BYTE> devmode(5988);
      const DWORD user_id_type = 7;
      const char16_t* text = stored_id.c_str();
      ASSERT_EQ(SetItemValueRaw(5127, devmode.data(), s.block.data(), 3, 2, &user_id_type), 0);
      ASSERT_EQ(SetItemValueRaw(5121, devmode.data(), s.block.data(), 6, 2 * 25 + 2, &text), 0);
      PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
      HANDLE admin = nullptr;
      ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &admin, &all));
      EXPECT_TRUE(WritePrinterDataKind(admin, s.block.data(), kPrinterDataBlockSize, kPrinterDataPrinterData));
      ClosePrinter(admin);
    }
    size_t asked = 0;
    const LONG answer = device_sheet([&](HWND sheet) {
      EXPECT_EQ(ui::text(ui::find(sheet, kIdType)), u"User ID");
      morva::platform::script_message_box_answers({c.answer});
      EXPECT_TRUE(ui::select_text(ui::find(sheet, kIdType), u"Card number"));
      asked = morva::platform::message_box_log().size();
      EXPECT_TRUE(ui::press_ok(sheet));
    });
    EXPECT_EQ(answer, CPSUI_OK);
    EXPECT_EQ(asked, 1u) << c.answer;
    Stored s = stored();
    EXPECT_EQ(s.number(5127), c.id_type) << c.answer;
    EXPECT_EQ(s.text(5121), c.user_id) << c.answer;
  }
}

// The account dialog of a model whose account fields have a dialog of
// their own, opened from the user settings page in each user's mode.
class AccountDialog : public DeviceSheet {
 protected:
  void SetUp() override { install_account_printer(root_, 0x3000000); }

  // Runs `script` in the account dialog of the device sheet opened with
  // the header's `flags`.
  void account_dialog(DWORD flags, const std::function<void(HWND)>& script) {
    bool seen = false;
    device_sheet(
        [&](HWND sheet) {
          ui::script_modal([&](HWND dialog) {
            seen = true;
            script(dialog);
            EXPECT_TRUE(ui::click(ui::find(dialog, 3534)));
          });
          ASSERT_TRUE(ui::click(ui::find(sheet, 3581)));
          EXPECT_TRUE(ui::press_ok(sheet));
        },
        flags);
    EXPECT_TRUE(seen);
  }
};

constexpr INT kAskWhenPrinting = 3524, kUseTheseSettings = 3521;
// The account controls whose states the popup flag, the lock and the
// device's account policy decide, in the order of `enabled` below.
constexpr INT kVariantControls[] = {kIdType, kUserId, 3523, 3531, 3532, 3525};

std::string enabled_states(HWND dialog) {
  std::string out;
  for (INT id : kVariantControls) out += ui::state(ui::find(dialog, id)).enabled ? '1' : '0';
  return out;
}

// Without the right to change the printer, each user's account fields in
// the dialog follow the user's popup flag, the lock and the policy.
TEST_F(AccountDialog, EachUsersFieldsFollowPopupLockAndPolicy) {
  const struct {
    BYTE popup, locked, policy;
    const char* enabled;  // 1061, 1343, 3523, 3531, 3532, 3525
  } cases[] = {
      {1, 0, 1, "000000"},  // asked when printing: nothing to enter here
      {0, 1, 0, "001101"},  // locked: the device's codes and the user code, no code password
      {0, 0, 1, "110111"},  // the user's own ids; the code password follows the user code
      {0, 0, 2, "000111"},  // ids set by the device
  };
  for (const auto& c : cases) {
    preset({{kAccountModeId, 1}, {5165, c.popup}, {5204, c.locked}, {4367, c.policy}, {5178, 7}},
           {{5180, u"1234"}});
    if (HasFatalFailure()) return;
    account_dialog(DPS_NOPERMISSION, [&](HWND dialog) {
      EXPECT_EQ(enabled_states(dialog), c.enabled) << int(c.popup) << int(c.locked) << int(c.policy);
    });
  }
}

// Switching the popup flag in each user's mode changes the states at once.
TEST_F(AccountDialog, ChangingThePopupFlagSetsTheStates) {
  preset({{kAccountModeId, 1}, {4367, 1}, {5178, 7}});
  if (HasFatalFailure()) return;
  account_dialog(0, [&](HWND dialog) {
    ASSERT_TRUE(ui::click(ui::find(dialog, kAskWhenPrinting)));
    EXPECT_EQ(enabled_states(dialog), "000000");
    ASSERT_TRUE(ui::click(ui::find(dialog, kUseTheseSettings)));
    EXPECT_EQ(enabled_states(dialog), "110101") << "no user code yet: no code password";
    ASSERT_TRUE(ui::enter_text(ui::find(dialog, kUserId), u"bob"));
  });
  Stored s = stored();
  EXPECT_EQ(s.number(5165), 0);
  EXPECT_EQ(s.text(5150), u"bob");
}

// A model whose account fields have a dialog of their own: the first page
// is the user settings page, and its account button opens the dialog,
// whose identification list edits the setting of the account mode.
TEST(UserSettings, AccountDialogOfTheUserSettingsPage) {
  morva::test::TempRoot root;
  install_account_printer(root, 0x3000000);
  if (::testing::Test::HasFatalFailure()) return;
  const char* keep = std::getenv("MORVA_PNG_DIR");
  const std::string pictures = keep ? std::string(keep) : root.path();

  ui::reset();
  morva::platform::reset_message_boxes();
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kDemoPrinter), &printer, nullptr));
  HMODULE dll = LoadLibraryW(u"morvaui.dll");
  ASSERT_NE(dll, nullptr);
  auto sheets = morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(dll, "DrvDevicePropertySheets"));
  DEVICEPROPERTYHEADER header{sizeof header, 0, printer, const_cast<LPWSTR>(kDemoPrinter)};
  bool dialog_seen = false;
  ui::script_modal([&](HWND sheet) {
    EXPECT_EQ(ui::items(GetDlgItem(sheet, IDC_PS_TABCONTROL)).at(0), u"User Settings");
    EXPECT_TRUE(ui::write_png(sheet, pictures + "/user_settings.png"));
    ui::script_modal([&](HWND dialog) {
      dialog_seen = true;
      EXPECT_EQ(ui::text(ui::find(dialog, kIdType)), u"Login name");
      // The login name (with the option that makes it usable) is shown
      // read-only: the user alone on this variant.
      EXPECT_EQ(ui::text(ui::find(dialog, kUserId)), u"user");
      ASSERT_TRUE(ui::select_text(ui::find(dialog, kIdType), u"User ID"));
      EXPECT_TRUE(ui::write_png(dialog, pictures + "/account_dialog.png"));
      EXPECT_TRUE(ui::click(ui::find(dialog, 3534)));
    });
    ASSERT_TRUE(ui::click(ui::find(sheet, 3581)));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  DWORD result = 0;
  EXPECT_EQ(CommonPropertySheetUIW(nullptr, sheets, reinterpret_cast<LPARAM>(&header), &result), CPSUI_OK);
  EXPECT_TRUE(dialog_seen);
  ui::reset();
  FreeLibrary(dll);

  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  std::vector<BYTE> block(kPrinterDataBlockSize);
  EXPECT_EQ(ReadPrinterSettings(printer, block.data(), database), 1);
  DddClose(database);
  ClosePrinter(printer);
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  ASSERT_EQ(GetItemValue(5127, nullptr, block.data(), &type, &size, &v), 0);
  EXPECT_EQ(GetTypedValue(type, &v), 7);
}

}  // namespace
