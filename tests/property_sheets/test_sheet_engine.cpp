// The sheet engine's tables and helpers: which dialogs a sheet collects and
// in what order, the event map's lookups, every message id the sheets
// format against the shipped resource texts, and the number helpers.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "property_sheets/dialog_helpers.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

class SheetEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::platform::reset_message_boxes();
    std::filesystem::create_directories(root_.file("drive_c/driver"));
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root_.file("drive_c/driver/morvares.xrs"));
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    resources_.emplace();
    ASSERT_NE(GetResourceModule(), nullptr);
  }
  void TearDown() override {
    resources_.reset();
    morva::settings::set_module_directory_for_test(nullptr);
    morva::platform::reset_message_boxes();
  }
  // The kinds of a sheet's collected dialogs, pages marked by their resource.
  std::vector<std::string> collected(INT type, BOOL fax, INT device_class) {
    SheetState state{};
    INT count = 0;
    const DialogDescriptor** list = AllocatePageList(type, &state, &count, fax, device_class);
    std::vector<std::string> out;
    if (!list) return out;
    EXPECT_EQ(CollectSheetDialogs(type, &state, list, fax, device_class), 1);
    for (INT i = 0; i < count; ++i)
      out.push_back(list[i]->page ? "page " + std::to_string(list[i]->page->resource) : std::to_string(list[i]->kind));
    GlobalFree(list);
    return out;
  }
  morva::test::TempRoot root_;
  std::optional<ResourceModuleRef> resources_;
};

TEST_F(SheetEngine, SheetsCollectTheirPagesWithTheirChildrenInOrder) {
  using V = std::vector<std::string>;
  const V document = {"page 4701", "15", "14", "39", "28", "29", "22", "42", "44", "43", "55", "page 505", "11",
                      "26", "27", "page 524", "18", "19", "25", "page 504", "4", "8", "56"};
  V with_fax = {"page 4000", "31", "49", "30", "33", "32", "57", "58", "59", "60"};
  with_fax.insert(with_fax.end(), document.begin(), document.end());
  struct Case {
    INT type;
    BOOL fax;
    INT device_class;
    V expected;
  } const cases[] = {
      {kSheetTypeDocument, FALSE, 1, document},
      {kSheetTypeDocument, TRUE, 1, with_fax},
      // No fax page on devices of class 3 and 4, nor on the device sheet.
      {kSheetTypeDocument, TRUE, 3, document},
      {kSheetTypeDevice, TRUE, 1, {"page 4702", "23", "24", "45", "page 503"}},
      {kSheetTypeFax, FALSE, 1, {"page 4000", "31", "49", "30", "33", "32", "57", "58", "59", "60"}},
      {3, FALSE, 1, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(collected(c.type, c.fax, c.device_class), c.expected) << c.type << c.fax;
}

TEST_F(SheetEngine, PagesGetTheirTemplatesTitlesAndOneTableCopyPerKind) {
  SheetState state{};
  INT count = 0;
  const DialogDescriptor** list = AllocatePageList(kSheetTypeDevice, &state, &count, FALSE, 1);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(CollectSheetDialogs(kSheetTypeDevice, &state, list, FALSE, 1), 1);
  INT pages = 0;
  PROPSHEETPAGEW* records = BuildPropertyPages(list, &state, count, &pages);
  ASSERT_NE(records, nullptr);
  ASSERT_EQ(pages, 2);
  EXPECT_EQ(records[0].pszTemplate, MAKEINTRESOURCEW(4702));
  EXPECT_EQ(records[0].dwFlags, static_cast<DWORD>(PSP_HASHELP));  // the template's own caption
  EXPECT_EQ(records[1].pszTemplate, MAKEINTRESOURCEW(503));
  EXPECT_EQ(records[1].dwFlags, static_cast<DWORD>(PSP_HASHELP | PSP_USETITLE));
  EXPECT_EQ(records[1].pszTitle, MAKEINTRESOURCEW(4623));
  DialogTableSet* tables = CreateDialogTables(list, count);
  ASSERT_NE(tables, nullptr);
  for (INT kind : {5, 6, 23, 24, 45}) EXPECT_NE(tables->sets[kind], nullptr) << kind;
  for (INT kind : {0, 1, 3, 46}) EXPECT_EQ(tables->sets[kind], nullptr) << kind;
  DestroyDialogTables(tables);
  GlobalFree(records);
  GlobalFree(list);
  FreeStringArray(&state);
}

TEST_F(SheetEngine, EventMapFindsHandlersByMessageAndNotificationCode) {
  struct Case {
    UINT message;
    UINT code;
    WORD type;
    INT found;
    INT event;
    bool handler;
  } const cases[] = {
      {WM_COMMAND, 0, kDialogTypePage, 1, 0, true},
      {WM_NOTIFY, PSN_APPLY, kDialogTypeDialog, 1, 5, true},
      {WM_NOTIFY, static_cast<UINT>(-551), kDialogTypePage, 1, 7, false},  // listed, no handler
      {WM_NOTIFY, static_cast<UINT>(-9999), kDialogTypePage, 0, -1, false},
      {WM_ERASEBKGND, 0, kDialogTypePage, 1, 24, false},
      {WM_KEYDOWN, 0, kDialogTypePage, 0, -1, false},
      {WM_COMMAND, 0, 7, 0, -1, false},
  };
  for (const Case& c : cases) {
    NMHDR nm{nullptr, 0, c.code};
    EventHandler handler = nullptr;
    INT event = -1;
    EXPECT_EQ(FindDialogHandler(c.message, 0, reinterpret_cast<LPARAM>(&nm), c.type, &handler, &event), c.found)
        << c.message;
    EXPECT_EQ(event, c.event) << c.message;
    EXPECT_EQ(handler != nullptr, c.handler) << c.message;
  }
}

// Every message id the sheets format has its text in the resource module,
// and the text's placeholders take exactly the agreed argument list.
TEST_F(SheetEngine, EveryMessageIdFormatsWithItsAgreedArguments) {
  INT count = 0;
  const UINT* ids = SheetMessageIds(&count);
  ASSERT_GT(count, 0);
  for (INT i = 0; i < count; ++i) {
    const std::string list = MessageArgumentList(ids[i]);
    std::vector<std::u16string> texts;
    for (size_t a = 0; a < list.size(); ++a) texts.push_back(u"<" + std::u16string(1, static_cast<char16_t>(u'A' + a)) + u">");
    std::vector<MessageArg> args;
    for (size_t a = 0; a < list.size(); ++a)
      args.push_back(list[a] == 's' ? MessageText(texts[a].c_str()) : MessageNumber(static_cast<LONG>(9001 + a)));
    LPWSTR formatted = FormatSheetMessage(ids[i], args.data(), static_cast<INT>(args.size()));
    ASSERT_NE(formatted, nullptr) << ids[i];
    const std::u16string out(formatted);
    GlobalFree(formatted);
    for (size_t a = 0; a < list.size(); ++a) {
      const std::string number = std::to_string(9001 + a);
      const std::u16string want = list[a] == 's' ? texts[a] : std::u16string(number.begin(), number.end());
      EXPECT_NE(out.find(want), std::u16string::npos) << ids[i] << " argument " << a;
    }
    EXPECT_EQ(out.find(u'%'), std::u16string::npos) << ids[i];
    // The same count of arguments of the other kinds is refused.
    if (!list.empty()) {
      std::vector<MessageArg> flipped;
      for (char k : list) flipped.push_back(k == 's' ? MessageNumber(1) : MessageText(u"x"));
      EXPECT_EQ(FormatSheetMessage(ids[i], flipped.data(), static_cast<INT>(flipped.size())), nullptr) << ids[i];
    }
  }
  EXPECT_EQ(MessageArgumentList(1), nullptr);
}

TEST_F(SheetEngine, ResolutionPolicyOfASettingWithAndWithoutAValue) {
  struct Case {
    WORD ddmid;
    BOOL value;
    WORD flags;
  } const cases[] = {
      {12, TRUE, 12}, {263, FALSE, 8}, {272, TRUE, 16}, {296, FALSE, 36}, {296, TRUE, 68},
      {8, TRUE, 100}, {7, FALSE, 1},   {7, TRUE, 132},  {295, TRUE, 132}, {16, TRUE, 4},
  };
  for (const Case& c : cases) {
    WORD flags = 0;
    EXPECT_EQ(GetResolutionPolicy(&flags, c.ddmid, c.value), 1) << c.ddmid;
    EXPECT_EQ(flags, c.flags) << c.ddmid << " " << c.value;
  }
  WORD flags = 0;
  EXPECT_EQ(GetResolutionPolicy(&flags, 0, TRUE), 0);
}

TEST_F(SheetEngine, ParseDecimalText) {
  struct Case {
    const char* text;
    INT ok;
    INT value;
  } const cases[] = {
      {"0", 1, 0},
      {"+17", 1, 17},
      {"-17", 1, -17},
      {"4294967295", 1, -1},
      {"2147483647", 1, 2147483647},
      {"-2147483648", 1, INT(-2147483647 - 1)},
      {"4294967296", 0, 0},
      {"-2147483649", 0, 0},
      {"+4294967296", 0, 0},
      {"", 0, 0},
      {"-", 0, 0},
      {"12a", 0, 0},
      {"12345678901", 0, 0},
  };
  for (const Case& c : cases) {
    INT value = 0;
    EXPECT_EQ(ParseDecimalText(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST_F(SheetEngine, FormatFixedPoint) {
  struct Case {
    INT decimals;
    BOOL is_signed;
    WORD flags;
    LONG value;
    const char16_t* text;
  } const cases[] = {
      {2, FALSE, 0x40, 5, u"0.05"},
      {2, TRUE, 0x40, -1234, u"-12.34"},
      {2, FALSE, 0x140, 1200, u"12"},
      {2, FALSE, 0x40, 1200, u"12.00"},
      {0, FALSE, 0x40, 7, u"7"},
      {2, FALSE, 0x00, 7, nullptr},
  };
  for (const Case& c : cases) {
    LPWSTR out = nullptr;
    EXPECT_EQ(FormatFixedPoint(&out, c.decimals, c.is_signed, c.flags, c.value), c.text ? 1 : 0) << c.value;
    if (c.text && out) {
      EXPECT_EQ(std::u16string(out), std::u16string(c.text));
    }
    if (out) GlobalFree(out);
  }
}

}  // namespace
