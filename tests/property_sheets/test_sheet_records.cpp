// The sheet records and the text helpers that the settings model and the
// printer interface use.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fax/fax_list.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_messages.h"
#include "temp_root.h"
#include "win/win.h"

namespace morva::settings {
void set_module_directory_for_test(LPCWSTR directory);
}

namespace {

using namespace morva::fax;

const HWND kPage = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x9001));

TEST(SheetContext, DeepCopiesOfTheSnapshotAndTheWindowsRecord) {
  std::vector<BYTE> dm(5988, 0x11), pd(7972, 0x22);
  BYTE marking[3] = {1, 2, 3};
  BYTE spinfo[5] = {9, 8, 7, 6, 5};
  FaxDestinationList* fax = FaxList_Create();
  ASSERT_NE(fax, nullptr);
  FaxDestination destination{};
  ASSERT_TRUE(FaxList_Append(fax, destination));
  SheetSnapshot given{dm.data(), pd.data(), fax, sizeof marking, marking, spinfo, sizeof spinfo};
  SheetState state{};

  EXPECT_EQ(CreateSheetContext(nullptr, nullptr, &given, nullptr), nullptr);
  SheetSnapshot no_devmode = given;
  no_devmode.devmode = nullptr;
  EXPECT_EQ(CreateSheetContext(nullptr, &state, &no_devmode, nullptr), nullptr);

  SheetContext* context = CreateSheetContext(kPage, &state, &given, nullptr);
  ASSERT_NE(context, nullptr);
  dm[0] = 0x99;  // the caller keeps its own
  for (const SheetSnapshot* s : {&context->current, &context->initial}) {
    ASSERT_NE(s->devmode, given.devmode);
    EXPECT_EQ(static_cast<BYTE*>(s->devmode)[0], 0x11);
    EXPECT_EQ(std::memcmp(s->printer_data, pd.data(), pd.size()), 0);
    ASSERT_EQ(s->marking_size, sizeof marking);
    EXPECT_EQ(std::memcmp(s->marking, marking, sizeof marking), 0);
    ASSERT_EQ(s->spinfo_size, sizeof spinfo);
    EXPECT_EQ(FaxList_Count(s->fax_list), 1);
  }
  EXPECT_EQ(context->applied.devmode, nullptr);
  for (KeyList* list : context->lists) EXPECT_NE(list, nullptr);

  EXPECT_EQ(GetSheetState(kPage), nullptr);
  SetSheetContext(kPage, context);
  EXPECT_EQ(GetSheetState(kPage), &state);
  SetSheetContext(kPage, nullptr);
  EXPECT_EQ(GetSheetState(kPage), nullptr);

  EXPECT_EQ(DestroySheetContext(&context), 1);
  EXPECT_EQ(context, nullptr);
  EXPECT_EQ(DestroySheetContext(&context), 1);
  EXPECT_EQ(DestroySheetContext(nullptr), 0);
  FaxList_Destroy(fax);
}

TEST(SheetState, FlagsAndOwnedMembers) {
  SheetState state{};
  state.change_guard = TRUE;
  state.startup_warning_shown = TRUE;
  EXPECT_EQ(ResetChangeGuard(&state), 1);
  EXPECT_FALSE(state.change_guard);
  EXPECT_TRUE(state.startup_warning_shown);  // a flag of its own
  EXPECT_EQ(ResetStartupWarningFlag(&state), 1);
  EXPECT_FALSE(state.startup_warning_shown);
  EXPECT_EQ(ResetChangeGuard(nullptr), 0);

  state.page_titles = static_cast<LPWSTR*>(GlobalAlloc(GPTR, 3 * sizeof(LPWSTR)));
  for (int i = 0; i < 2; ++i) state.page_titles[i] = static_cast<LPWSTR>(GlobalAlloc(GPTR, 8));
  state.scratch = GlobalAlloc(GPTR, 16);
  state.dpi_metrics = GlobalAlloc(GPTR, 16);
  state.pending_warnings = static_cast<PendingWarnings*>(GlobalAlloc(GPTR, sizeof(PendingWarnings)));
  state.pending_warnings->texts[1] = static_cast<LPWSTR>(GlobalAlloc(GPTR, 8));
  EXPECT_EQ(FreeStringArray(&state), 1);
  FreeSheetScratch(&state);
  EXPECT_EQ(FreeDpiLayoutMetrics(&state), 1);
  EXPECT_EQ(FreePendingWarnings(&state.pending_warnings), 1);
  EXPECT_EQ(FreePendingWarnings(nullptr), 0);
  EXPECT_EQ(FreePortName(&state), 0);
  EXPECT_EQ(state.page_titles, nullptr);
  EXPECT_EQ(state.scratch, nullptr);
  EXPECT_EQ(state.pending_warnings, nullptr);
}

TEST(SheetTexts, MessageOptionsByCapabilityAndMeasurement) {
  struct {
    DWORD word1;  // bits 32-63: 0x22 is bit 2, 0x23 bit 3
    WORD measurement;
    DWORD inches, tenths;
  } cases[] = {{0, 1, 0, 0}, {0x4, 1, 1, 0}, {0x4, 0, 0, 0}, {0xC, 1, 1, 1}, {0x8, 0, 0, 1}};
  for (const auto& c : cases) {
    SheetState state{};
    state.capabilities.words[1] = c.word1;
    state.measurement = c.measurement;
    ConflictMessageOptions options{9, 9};
    ASSERT_EQ(GetConflictMessageOptions(&state, &options), 1);
    EXPECT_EQ(options.inches, c.inches) << c.word1;
    EXPECT_EQ(options.tenths, c.tenths) << c.word1;
  }
  ConflictMessageOptions options{};
  EXPECT_EQ(GetConflictMessageOptions(nullptr, &options), 0);
}

TEST(SheetTexts, ResourceTextsAndBoxes) {
  morva::test::TempRoot root;
  std::filesystem::create_directories(root.file("drive_c/driver"));
  std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/morvares.xrs", root.file("drive_c/driver/morvares.xrs"));
  morva::settings::set_module_directory_for_test(u"C:\\driver\\");
  {
    ResourceModuleRef held;
    LPWSTR text = nullptr;
    ASSERT_EQ(FormatResourceStringV(&text, 0, 706, u"Paper Size", u"A4"), 1);
    EXPECT_EQ(std::u16string(text), u"Paper Size: A4\n");
    GlobalFree(text);
    // 15 characters need a maximum of 16.
    ASSERT_EQ(FormatResourceStringV(&text, 16, 706, u"Paper Size", u"A4"), 1);
    GlobalFree(text);
    EXPECT_EQ(FormatResourceStringV(&text, 15, 706, u"Paper Size", u"A4"), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(FormatResourceStringV(&text, 0, 60001), 0);

    morva::platform::reset_message_boxes();
    morva::platform::script_message_box_answers({IDCANCEL});
    EXPECT_EQ(ShowResourceMessageBox(nullptr, 265, nullptr, MB_OKCANCEL, -3, u"Literal"), IDCANCEL);
    EXPECT_EQ(ShowResourceMessageBox(nullptr, -3, u"Caption", MB_OK, 302, nullptr), IDOK);
    EXPECT_EQ(ShowResourceMessageBox(nullptr, 60001, nullptr, MB_OK, -3, u"x"), -1);
    EXPECT_EQ(ShowResourceMessageBox(nullptr, -3, u"Caption", MB_OK, -3, nullptr), -1);
    const auto log = morva::platform::message_box_log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text, u"Literal");
    EXPECT_EQ(log[1].caption, u"Caption");
    EXPECT_EQ(log[1].text, u"Stamp");
    morva::platform::reset_message_boxes();
  }
  morva::settings::set_module_directory_for_test(nullptr);
}

TEST(SheetTexts, FileNamesAndStrictConversion) {
  EXPECT_EQ(std::u16string(GetFileNamePart(u"C:\\Windows\\help\\driver.chm")), u"driver.chm");
  EXPECT_EQ(std::u16string(GetFileNamePart(u"plain.chm")), u"plain.chm");
  EXPECT_EQ(std::u16string(GetFileNamePart(u"C:\\dir\\")), u"");
  EXPECT_EQ(GetFileNamePart(nullptr), nullptr);

  LPSTR out = nullptr;
  INT length = 0;
  ASSERT_EQ(WideToMultiByteStrict(u"Caf\u00e9", &out, &length), 1);  // fits code page 1252
  EXPECT_EQ(length, 4);
  EXPECT_EQ(static_cast<unsigned char>(out[3]), 0xE9);
  GlobalFree(out);
  EXPECT_EQ(WideToMultiByteStrict(u"\u0100 only by best fit", &out, &length), 0);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
