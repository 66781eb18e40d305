// The paper-margin store: the printer's array and the user's registry
// values, in both orientations and across processes.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "child_process.h"
#include "demo_printer_fixture.h"
#include "settings/stores/paper_margin_store.h"
#include "settings/stores/printer_data_kinds.h"
#include "win/errors.h"
#include "win/registry.h"

namespace {

using Margins = std::array<LONG, 4>;

Margins of(const PaperMargin& m) { return {m.m[0], m.m[1], m.m[2], m.m[3]}; }
PaperMargin make(Margins m) { return PaperMargin{{m[0], m[1], m[2], m[3]}}; }

class PaperMargins : public morva::test::DemoPrinterTest {
 protected:
  Margins stored_of(WORD paper, BOOL registry, const PaperMarginArray* array, INT orientation) {
    PaperMargin out{};
    EXPECT_EQ(GetStoredPaperMargins(printer, database, nullptr, paper, &out, registry, array, orientation), 1);
    return of(out);
  }
};

TEST(PaperMarginRotation, OrderOfEachOrientation) {
  struct {
    INT orientation;
    Margins caller, stored;
  } cases[] = {{1, {10, 20, 30, 40}, {10, 20, 40, 30}}, {2, {10, 20, 30, 40}, {30, 40, 10, 20}}};
  for (const auto& c : cases) {
    PaperMargin caller = make(c.caller), stored{}, back{};
    ASSERT_EQ(RotatePaperMargins(kMarginsToStored, c.orientation, &stored, &caller), 1);
    EXPECT_EQ(of(stored), c.stored) << c.orientation;
    ASSERT_EQ(RotatePaperMargins(kMarginsToCaller, c.orientation, &stored, &back), 1);
    EXPECT_EQ(of(back), c.caller) << c.orientation;
  }
  PaperMargin a{}, b{};
  EXPECT_EQ(RotatePaperMargins(1, 3, &a, &b), -5);
  EXPECT_EQ(RotatePaperMargins(3, 1, &a, &b), -5);
  EXPECT_EQ(RotatePaperMargins(1, 1, nullptr, &b), -5);
}

TEST_F(PaperMargins, NothingStoredGivesTheDefaults) {
  PaperMarginArray* array = LoadPaperMarginArray(printer);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->count, 0u);
  EXPECT_EQ(array->entries, nullptr);
  for (INT orientation : {1, 2})
    for (BOOL registry : {FALSE, TRUE}) EXPECT_EQ(stored_of(9, registry, array, orientation), (Margins{46, 46, 46, 46}));
  EXPECT_EQ(SavePaperMarginArray(printer, array), -5);
  EXPECT_EQ(FreePaperMarginArray(array), 1);
  EXPECT_EQ(FreePaperMarginArray(nullptr), -100);
}

TEST_F(PaperMargins, ArrayKeepsOneEntryPerPaper) {
  PaperMarginArray* array = LoadPaperMarginArray(printer);
  ASSERT_NE(array, nullptr);
  PaperMargin first = make({1, 2, 3, 4});
  ASSERT_EQ(SetPaperMargin(array, 9, &first), 1);
  ASSERT_EQ(StoreTemporaryPaperMargin(array, 1, &first, 2), 1);
  PaperMargin portrait = make({10, 20, 30, 40});
  ASSERT_EQ(StoreTemporaryPaperMargin(array, 9, &portrait, 1), 1);
  EXPECT_EQ(array->count, 2u);
  EXPECT_EQ(array->bytes, 40u);
  PaperMargin found{};
  ASSERT_EQ(FindPaperMargin(array, 9, &found), 1);
  EXPECT_EQ(of(found), (Margins{10, 20, 40, 30}));
  ASSERT_EQ(FindPaperMarginRotated(array, 9, 2, &found), 1);
  EXPECT_EQ(of(found), (Margins{40, 30, 10, 20}));
  EXPECT_EQ(FindPaperMargin(array, 256, &found), -100);
  ASSERT_EQ(SavePaperMarginArray(printer, array), 1);
  FreePaperMarginArray(array);

  array = LoadPaperMarginArray(printer);
  ASSERT_NE(array, nullptr);
  ASSERT_EQ(array->count, 2u);
  EXPECT_EQ(stored_of(9, TRUE, array, 1), (Margins{10, 20, 30, 40}));  // no user value: the array
  EXPECT_EQ(stored_of(1, FALSE, array, 2), (Margins{1, 2, 3, 4}));
  FreePaperMarginArray(array);

  // A blob that is not a whole number of entries reads as empty.
  const BYTE odd[21] = {};
  ASSERT_EQ(WritePrinterDataKind(printer, odd, sizeof odd, kPrinterDataPaperMarginArray), 1);
  array = LoadPaperMarginArray(printer);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->count, 0u);
  FreePaperMarginArray(array);
  EXPECT_EQ(ResetPaperMargins(printer, database, nullptr, 0), 1);
}

TEST_F(PaperMargins, UserValuesComeBeforeTheArrayAndReset) {
  PaperMargin landscape = make({5, 6, 7, 8});
  ASSERT_EQ(SavePaperMargin(printer, database, nullptr, 9, &landscape, 2), 1);
  PaperMargin raw{};
  ASSERT_EQ(ReadPaperMargin(printer, database, nullptr, 9, &raw), 1);
  EXPECT_EQ(of(raw), (Margins{7, 8, 5, 6}));
  EXPECT_EQ(ReadPaperMargin(printer, database, nullptr, 1, &raw), -2);

  PaperMarginArray* array = LoadPaperMarginArray(printer);
  PaperMargin other = make({1, 1, 1, 1});
  ASSERT_EQ(SetPaperMargin(array, 9, &other), 1);
  EXPECT_EQ(stored_of(9, TRUE, array, 2), (Margins{5, 6, 7, 8}));
  EXPECT_EQ(stored_of(9, FALSE, array, 2), (Margins{1, 1, 1, 1}));

  ASSERT_EQ(ResetPaperMargins(printer, database, nullptr, 1), 1);
  EXPECT_EQ(ReadPaperMargin(printer, database, nullptr, 9, &raw), -2);
  EXPECT_EQ(stored_of(9, TRUE, array, 1), (Margins{1, 1, 1, 1}));
  FreePaperMarginArray(array);
}

TEST_F(PaperMargins, NewUserKeyStartsFromTheMachineWideMargins) {
  HKEY machine = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Morva\\Demo Printer\\Paper Margin", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &machine, nullptr),
            ERROR_SUCCESS);
  const BYTE value[20] = {9, 0, 0, 0, 11, 0, 0, 0, 12, 0, 0, 0, 13, 0, 0, 0, 14, 0, 0, 0};
  ASSERT_EQ(RegSetValueExW(machine, u"9", 0, REG_BINARY, value, sizeof value), ERROR_SUCCESS);
  RegCloseKey(machine);
  EXPECT_EQ(stored_of(9, TRUE, nullptr, 1), (Margins{11, 12, 14, 13}));
  // A value of the wrong size is not taken.
  HKEY key = nullptr;
  WCHAR path[260] = {};
  ASSERT_EQ(OpenPaperMarginKey(printer, database, nullptr, &key, path), 1);
  ASSERT_EQ(RegSetValueExW(key, u"1", 0, REG_BINARY, value, 16), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(stored_of(1, TRUE, nullptr, 1), (Margins{46, 46, 46, 46}));
}

TEST_F(PaperMargins, WrittenHereReadInAnotherProcess) {
  PaperMarginArray* array = LoadPaperMarginArray(printer);
  PaperMargin portrait = make({10, 20, 30, 40}), user = make({50, 60, 70, 80});
  ASSERT_EQ(StoreTemporaryPaperMargin(array, 9, &portrait, 1), 1);
  ASSERT_EQ(SavePaperMarginArray(printer, array), 1);
  FreePaperMarginArray(array);
  ASSERT_EQ(SavePaperMargin(printer, database, nullptr, 1, &user, 1), 1);
  DddClose(database);
  database = nullptr;
  ClosePrinter(printer);
  printer = nullptr;
  EXPECT_EQ(morva::test::run_child_tests("PaperMarginChild.*", root.path(), "margins"), 0);
}

// Runs in the child on the parent's machine root (no root of its own).
TEST(PaperMarginChild, SeesTheStoredMargins) {
  if (morva::test::child_role() != "margins") GTEST_SKIP() << "runs in the child process only";
  HANDLE printer = morva::test::DemoPrinterTest::open_printer();
  ASSERT_NE(printer, nullptr);
  DddHandle* database = DddOpen(printer);
  ASSERT_NE(database, nullptr);
  PaperMarginArray* array = LoadPaperMarginArray(printer);
  ASSERT_NE(array, nullptr);
  PaperMargin out{};
  ASSERT_EQ(GetStoredPaperMargins(printer, database, nullptr, 9, &out, TRUE, array, 2), 1);
  EXPECT_EQ(of(out), (Margins{40, 30, 10, 20}));
  ASSERT_EQ(GetStoredPaperMargins(printer, database, nullptr, 1, &out, TRUE, array, 1), 1);
  EXPECT_EQ(of(out), (Margins{50, 60, 70, 80}));
  FreePaperMarginArray(array);
  DddClose(database);
  ClosePrinter(printer);
}

}  // namespace
