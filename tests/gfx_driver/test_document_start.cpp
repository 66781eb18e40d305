// The start of a document in the interface library. The print-time prompt
// of a job: a model that asks every job for a user
// name and password shows the interface library's dialog at the start of
// the document; what the user answers reaches the job's PJL header, a
// cancelled prompt stops the job, and a value out of its bounds keeps the
// dialog open with the field's message. The outside prompt component, when
// installed, is asked instead, and its reply is read within its buffer.
// A secure-print code out of its bounds is asked about before the prompt.
// In a browser's protected-mode process the user's direct-fax lists are
// cleared.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "output_collating_printer.h"
#include "pdl_decode.h"
#include "pi/print_prompt.h"
#include "print_job.h"
#include "settings/common/prompt_component.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::tools::PdlItem;

constexpr INT kPromptUserName = 1343, kPromptPassword = 1347;
constexpr UINT kPromptCapabilityBit = 11;  // capability 0xFFFF002B: bit 11 of word 1

class DocumentStart : public ::testing::Test {
 protected:
  // The demo database with a PJL line carrying the user name (before the
  // language switch), and, when asked, the capability of the outside
  // prompt component.
  void install(bool component_capability) {
    std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
    nlohmann::json d = nlohmann::json::parse(in);
    auto& records = d["main"]["records"];
    for (auto it = records.begin(); it != records.end(); ++it) {
      if ((*it).value("kind", 0) == 15 && (*it).value("text", "") == "VANTIQ") {
        records.insert(it, nlohmann::json{{"kind", 15}, {"ddmid", 5174}, {"command", "@PJL SET USERNAME="},
                                          {"flags", 1}});
        break;
      }
    }
    if (component_capability) d["main"]["fields"]["39"] = nlohmann::json::array({1u << kPromptCapabilityBit, 0});
    const std::string folder = root_.path() + "/prompt_database";
    std::filesystem::create_directories(folder);
    morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;
  }

  // The printer's stored settings with the prompt switched on for every job.
  void store_prompt_settings(std::vector<std::pair<WORD, DWORD>> settings) {
    morva::test::StorePrinterSettings(settings);
  }

  void SetUp() override {
    ui::reset();
    morva::platform::reset_message_boxes();
  }
  void TearDown() override {
    ui::reset();
    morva::platform::reset_message_boxes();
  }

  // Prints a one-page document; the header lines of its job, or none when
  // the job did not print.
  std::vector<std::string> print(bool* printed, const std::string& ddmids = "") {
    const std::string json = R"({"printer": "Morva Demo Printer", "document": "Prompted", "units": "px",
      "ddmid": {)" + ddmids + R"(}, "pages": [{"ops": [{"op": "line", "from": [10, 10], "to": [200, 10]}]}]})";
    morva::print_host::Document doc;
    std::string error;
    EXPECT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
    auto r = morva::print_host::print_document(doc);
    *printed = r.ok;
    std::vector<std::string> lines;
    if (!r.ok) return lines;
    auto job = morva::tools::DecodeSpoolFilePath(morva::platform::job_spool_file(r.job_id));
    EXPECT_TRUE(job.ok) << job.error;
    for (const PdlItem& i : job.items)
      if (i.kind == PdlItem::HeaderLine) lines.push_back(i.text);
    return lines;
  }

  static bool has_line(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& l : lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

  morva::test::TempRoot root_;
};

// Prompt on, its switch on, user fields asked (4367 = 0).
const std::vector<std::pair<WORD, DWORD>> kAskEveryJob = {{5203, 1}, {5163, 0}, {5164, 1}, {4367, 0}};

TEST_F(DocumentStart, TheAnswerReachesTheJobHeaderAndCancelStopsTheJob) {
  install(false);
  store_prompt_settings(kAskEveryJob);
  const std::string picture = root_.path() + "/print_prompt.png";
  ui::script_modal([&](HWND dialog) {
    EXPECT_TRUE(ui::state(ui::find(dialog, kPromptUserName)).enabled);
    EXPECT_TRUE(ui::enter_text(ui::find(dialog, kPromptUserName), u"alice"));
    EXPECT_TRUE(ui::enter_text(ui::find(dialog, kPromptPassword), u"s3cret"));
    EXPECT_TRUE(ui::write_png(dialog, picture));
    ui::press_ok(dialog);
  });
  bool printed = false;
  auto lines = print(&printed);
  ASSERT_TRUE(printed);
  EXPECT_TRUE(has_line(lines, "@PJL SET USERNAME=\"alice\"")) << ::testing::PrintToString(lines);
  EXPECT_TRUE(std::filesystem::exists(picture));
  if (const char* keep = std::getenv("MORVA_KEEP_PNG"))
    std::filesystem::copy_file(picture, keep, std::filesystem::copy_options::overwrite_existing);

  // Cancelled: the user is told and the job does not print.
  ui::script_modal([](HWND dialog) { ui::press_cancel(dialog); });
  lines = print(&printed);
  EXPECT_FALSE(printed);
  const auto boxes = morva::platform::message_box_log();
  ASSERT_FALSE(boxes.empty());
  EXPECT_NE(boxes.back().text.find(u"cancelled"), std::u16string::npos);
}

TEST_F(DocumentStart, AValueOutOfItsBoundsKeepsTheDialogOpen) {
  install(false);
  store_prompt_settings(kAskEveryJob);
  ui::script_modal([](HWND dialog) {
    // A user name of 33 characters, one of blanks alone and ones with a
    // character the field does not take (a blank, a quote) are refused;
    // the dialog stays open until the name fits.
    for (const std::u16string& refused : {std::u16string(33, u'x'), std::u16string(u"   "), std::u16string(u"bo b"),
                                          std::u16string(u"bob\""), std::u16string(u"o'neil")}) {
      HWND name = ui::find(dialog, kPromptUserName);
      SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(refused.c_str()));
      const size_t before = morva::platform::message_box_log().size();
      ui::press_ok(dialog);
      EXPECT_TRUE(IsWindowEnabled(dialog));
      EXPECT_EQ(morva::platform::message_box_log().size(), before + 1);
      EXPECT_EQ(ui::text(name), u"");  // the stored value is shown again
    }
    EXPECT_TRUE(ui::enter_text(ui::find(dialog, kPromptUserName), u"bob_9"));
    ui::press_ok(dialog);
  });
  bool printed = false;
  auto lines = print(&printed);
  ASSERT_TRUE(printed);
  EXPECT_TRUE(has_line(lines, "@PJL SET USERNAME=\"bob_9\"")) << ::testing::PrintToString(lines);
  const auto boxes = morva::platform::message_box_log();
  ASSERT_GE(boxes.size(), 1u);
  EXPECT_NE(boxes.front().text.find(u"32"), std::u16string::npos);
}

TEST_F(DocumentStart, NoPromptWhenTheSettingsDoNotAskForOne) {
  install(false);
  // Prompt off; prompt on but this job's switch off.
  for (auto settings : {std::vector<std::pair<WORD, DWORD>>{{5203, 0}, {5164, 1}},
                        std::vector<std::pair<WORD, DWORD>>{{5203, 1}, {5163, 0}, {5164, 0}}}) {
    store_prompt_settings(settings);
    bool printed = false;
    print(&printed);
    EXPECT_TRUE(printed);
    EXPECT_TRUE(ui::modal_log().empty());
  }
}

// Secure print with a code (here empty) shorter than the model's minimum:
// the user is asked whether to print without the code; Cancel stops the job.
TEST_F(DocumentStart, ASecureCodeOutOfItsBoundsIsAskedAbout) {
  install(false);
  store_prompt_settings({{4366, 4}});
  for (INT answer : {IDOK, IDCANCEL}) {
    SCOPED_TRACE(answer);
    morva::platform::reset_message_boxes();
    morva::platform::script_message_box_answers({answer});
    bool printed = false;
    print(&printed, R"("334": 1)");
    EXPECT_EQ(printed, answer == IDOK);
    const auto boxes = morva::platform::message_box_log();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_NE(boxes[0].text.find(u"secure print code"), std::u16string::npos);
  }
  // Without a minimum the (empty) code is within its bounds: no question.
  store_prompt_settings({{4366, 0}});
  morva::platform::reset_message_boxes();
  bool printed = false;
  print(&printed, R"("334": 1)");
  EXPECT_TRUE(printed);
  EXPECT_TRUE(morva::platform::message_box_log().empty());
}

// ---- the outside prompt component ------------------------------------------------------

// A stand-in of the component: answers Show with a reply of its own.
struct PromptComponent final : IPrintPromptComponent {
  HRESULT DefineField(LPCSTR key, LPCSTR description) override {
    keys.push_back(key);
    descriptions.push_back(description ? description : "");
    return S_OK;
  }
  HRESULT Show(HWND, LPCSTR, LPSTR reply, DWORD size) override {
    shown_size = size;
    std::memcpy(reply, this->reply.data(), std::min<std::size_t>(size, this->reply.size()));
    return S_OK;
  }
  HRESULT QueryInterface(REFIID, void** object) override {
    *object = this;
    ++refs;
    return S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }

  std::string reply;
  std::vector<std::string> keys, descriptions;
  DWORD shown_size = 0;
  int refs = 0;
};

struct ComponentFactory final : IClassFactory {
  explicit ComponentFactory(PromptComponent* c) : component(c) {}
  HRESULT QueryInterface(REFIID, void** object) override {
    *object = this;
    return S_OK;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown*, REFIID, void** object) override {
    component->AddRef();
    *object = static_cast<IPrintPromptComponent*>(component);
    return S_OK;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
  PromptComponent* component;
};

TEST_F(DocumentStart, TheOutsideComponentIsAskedAndItsReplyReadWithinItsBuffer) {
  install(true);
  store_prompt_settings({{5203, 1}, {5163, 0}, {5164, 1}, {4367, 0}, {5186, 1}});
  PromptComponent component;
  ComponentFactory factory(&component);
  morva::platform::register_com_class(CLSID_PromptComponentPrimary, &factory);
  struct Case {
    const char* what;
    std::string reply;
    bool printed;
    std::string user;
  } cases[] = {
      {"four fields", std::string("USERNAME=carol\0LOGINNAME=cl\0PASSWORD=pw\0DOMAIN=east\0", 50), true, "carol"},
      // The last text runs to the end of the 1024-byte buffer without its
      // terminator: it is read up to the buffer's end and no further, and
      // refused as longer than its setting.
      {"last text fills the buffer", [] {
         std::string r("USERNAME=dave\0LOGINNAME=dl\0PASSWORD=pw\0", 39);
         r += "DOMAIN=";
         r += std::string(1024 - r.size(), 'd');
         return r;
       }(), false, ""},
      {"a text without its key", std::string("carol\0", 6) + std::string(1018, '\0'), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    component.reply = c.reply;
    component.keys.clear();
    bool printed = false;
    auto lines = print(&printed);
    EXPECT_EQ(printed, c.printed);
    EXPECT_EQ(component.shown_size, 1024u);
    EXPECT_EQ(component.keys.size(), 4u);
    EXPECT_TRUE(ui::modal_log().empty());
    if (c.printed) {
      EXPECT_TRUE(has_line(lines, "@PJL SET USERNAME=\"" + c.user + "\"")) << ::testing::PrintToString(lines);
    }
  }
  EXPECT_EQ(component.refs, 0);
  morva::platform::register_com_class(CLSID_PromptComponentPrimary, nullptr);
}

}  // namespace

namespace {

HRESULT protected_yes(BOOL* answer) {
  *answer = TRUE;
  return S_OK;
}

bool key_exists(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

TEST_F(DocumentStart, AProtectedModeProcessClearsTheUsersDirectFaxLists) {
  install(false);
  const std::u16string users = u"Software\\Morva\\Demo Printer\\Users\\DirectFax\\";
  const std::u16string own = u"Software\\Morva\\Demo Printer\\DirectFax\\";
  const std::u16string keys[] = {users + u"AddressBookFiles\\Book1", users + u"CoverSheetForms", own + u"SenderInfo",
                                 own + u"Other"};
  for (const auto& path : keys) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  morva::platform::register_builtin_module(u"ieframe.dll", {{"IEIsProtectedModeProcess", morva_proc(&protected_yes)}});
  bool printed = false;
  print(&printed);
  morva::platform::unregister_builtin_module(u"ieframe.dll");
  EXPECT_TRUE(printed);
  EXPECT_FALSE(key_exists(users + u"AddressBookFiles"));
  EXPECT_FALSE(key_exists(users + u"CoverSheetForms"));
  EXPECT_FALSE(key_exists(own + u"SenderInfo"));
  EXPECT_TRUE(key_exists(own + u"Other"));
}

}  // namespace
